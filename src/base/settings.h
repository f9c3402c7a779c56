#pragma once
// The per-user settings record. One process-wide instance (`Settings`), loaded once when the
// main window is created and saved once when it closes. Only the user-interface thread touches
// it: workers are handed the temporary folder when their operation starts (TempFolder) and make
// their version files there (CreateVersionFile in the store, which also locks them).

#include <QString>
#include <QStringList>
#include <cstdint>

struct TSettings {
    QString tempfolder;         // folder for the document's temporary files, ends with '/'
    int32_t selectiontype = 0;  // 0: times in milliseconds; anything else: frame numbers
    int32_t backcolor = 0;      // colours: red in the lowest byte, then green, then blue
    int32_t scalecolor = 14474460;
    int32_t wavecolor = 11268124;
    int32_t posx = -1;
    int32_t posy = -1;
    int32_t width = -1;
    int32_t height = -1;
    int32_t lang = -1;       // language identifier; -1: none chosen yet
    int32_t volume = -8000;  // volume control position, -10000 ... 0
    // The wheel over the window: 0 scrolls (Ctrl zooms), 1 zooms. Read only: set by hand in the
    // settings file, kept there as it is.
    int32_t wheelzoom = 0;
    // Smooth edit joins: Cut, Delete and Paste cross-fade each join over joinfade ms when not 0.
    int32_t smoothjoins = 0;
    int32_t joinfade = 5;
    // Mouse selections: each end moves to the nearest zero crossing within 10 ms when not 0.
    int32_t snapzero = 0;
    // The undo history's cap in MiB on disk (0: no cap); past it the oldest steps are offered
    // for dropping.
    int32_t historylimit = 0;
    // The view: a spectrogram instead of the waveform when not 0, its FFT size in frames (a power
    // of two, 256 to 8192) and a logarithmic frequency axis when not 0.
    int32_t spectrogram = 0;
    int32_t spectrumwindow = 2048;
    int32_t spectrumlog = 0;
    // Recording: the capture device by name (empty: the default), and the rate and channel
    // count of a take that makes a new sound (44,100 or 48,000 Hz; 1 or 2).
    QString recdevice;
    int32_t recrate = 44100;
    int32_t recchannels = 2;
    int32_t savetype = 0;    // last file type chosen in the save dialog; never stored
    // The folder the file dialogs last used, and the recently opened files, newest first.
    QString lastfolder;
    QStringList recentfiles;

    bool operator==(const TSettings&) const = default;
};

extern TSettings Settings;

// The longest join cross-fade the settings and the command line offer, in milliseconds.
constexpr int32_t kMaxJoinFadeMs = 100;

// The largest history cap the settings offer, in MiB (a million MiB, about a terabyte).
constexpr int32_t kMaxHistoryLimit = 1000000;

// The platform's temporary folder with a trailing separator.
QString DefaultTempFolder();

// Reads the record from the store; missing values and values of another type take defaults.
TSettings LoadSettings();

// Writes the record. A store that cannot be written is left alone, silently.
void SaveSettings(const TSettings& record);

// The folder for temporary files: Settings.tempfolder, or the platform's when that is empty.
// User-interface thread.
QString TempFolder();

// Creates a new empty file "~ovXXXXXX" in `folder` (TempFolder() when empty) and returns its
// full path. Any thread. Raises EAppError naming the folder and the system's reason when no
// file can be made there.
QString MakeTempFileName(const QString& folder);
// The same in TempFolder(); user-interface thread.
QString MakeTempFileName();

// Bytes available to the user on the file system holding `folder`, or -1 when unknown.
int64_t FreeDiskSpace(const QString& folder);
