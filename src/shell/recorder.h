#pragma once
// TRecorder: the window's side of a take. Record starts one where the window stands (a new sound
// without a document, at the cursor, over the selection, or at the end); a timer then takes in
// the take's state and shows it: its waveform growing in the view, the input in the level
// meter, and in the status bar's record panel its length, the disk time left, the clipped
// samples and a dropout the moment it happens. The monitor shows the input's level before a
// take. The take itself (its file, its place, its undo step) is the document's.
//
// Thread: user-interface thread only.

#include <QString>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>

#include "markers.h"
#include "take.h"
#include "waverender.h"

class QLabel;
class TInputMonitor;
class Tmainform;

class TRecorder {
public:
    // A take's input at `channels` and `rate`: SDL's capture of the chosen device unless
    // replaced (tests). May raise the device's error.
    using TInputMaker =
        std::function<std::unique_ptr<TTakeInput>(uint16_t channels, uint32_t rate)>;

    // Adds its panel to the window's status bar, hidden until a take starts.
    explicit TRecorder(Tmainform& form);
    ~TRecorder();
    TRecorder(const TRecorder&) = delete;
    TRecorder& operator=(const TRecorder&) = delete;

    // Starts a take: with no document a new sound at the settings' rate and channels; with
    // one, over the selection (ending at its length), at the end (`append`) or at the cursor.
    // False when none started (the document busy, or it refused).
    bool Record(bool append);
    // From Record until the document's job for the take is over.
    bool Active() const { return active_; }
    void Stop();
    // Pauses or resumes the input: the take goes on in the same file.
    void TogglePause();
    bool Paused() const;
    // The input's level in the meter while no take runs; a take closes it and opens it again
    // after. Raises the device's error when it cannot be opened.
    void SetMonitor(bool on);
    bool Monitoring() const { return monitor_ != nullptr; }
    // The document's job has ended (the window's OnReady): after a take, the view shows the
    // document again, the dropouts are told and OnFinished is raised.
    void JobEnded();
    // The panel again in the active language.
    void RefreshTexts();

    TInputMaker MakeInput;
    // After a take's job, for the window's enabled states.
    std::function<void()> OnFinished;

    // For tests and the window.
    QLabel* Panel() const { return panel_; }
    const TMarkerList& DropoutMarks() const { return marks_; }
    TTakeEnd LastEnd() const { return end_; }
    // The text of the status panel as a take with `status` stands (no dropout yet).
    static QString StatusText(const TTakeStatus& status);
    // A number of seconds as "h:mm:ss", the disk time left.
    static QString ClockText(double seconds);
    // The meter's scale (1 silence ... 128 full scale) for a peak sample, as the player's.
    static int16_t MeterLevel(int32_t peak);

private:
    void Poll();
    void ShowStatus();
    void ShowTakeInView();
    void Dropout(int64_t takeFrame);
    void ShowLevels(const int16_t* peaks, uint16_t channels);
    void ReopenMonitor();
    std::unique_ptr<TTakeInput> DefaultInput(uint16_t channels, uint32_t rate) const;

    Tmainform& form_;
    QLabel* panel_ = nullptr;
    QTimer timer_;
    std::unique_ptr<TInputMonitor> monitor_;
    // The dropouts at the take's own frames, drawn over the take while it runs.
    TMarkerList marks_;
    TWaveSource source_;
    QString lastDropout_;
    TTakeEnd end_ = TTakeEnd::kNone;
    int ticks_ = 0;
    bool active_ = false;
};
