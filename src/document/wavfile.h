#pragma once
// Twavefile: the one open sound. Holds the decoded audio as 16-bit PCM in a chain of temporary
// WAV files (one per version), runs every long operation on its worker thread (one at a time,
// requests made meanwhile are ignored), and keeps the peak table used for drawing.
//
// Threads: every public member is called on the user-interface thread. Events are raised there.
// While an operation runs (Busy()), requests are refused, so nothing on the user-interface thread
// writes the document's fields; the worker may then read them (the format, the current version's
// path, the operation's parameters) but changes them only inside RunOnUiThread hand-overs, which
// run on the user-interface thread while the worker waits. The worker reads samples through a
// store of its own, never through Store().
//
// Store-release listeners: whoever reads the current store (the player, the waveform view)
// attaches a listener under its own address and detaches it before it goes away. Before anything
// replaces or releases the store (load, edits, undo, redo, close) every listener is called, in the
// order attached, on the user-interface thread, and must stop using the store there. Attaching
// again under the same address replaces that listener only; a listener may detach itself or
// others while being called.
//
// Positions and ranges are frame numbers; ranges are [start, end). Ranges are ordered and clamped
// to 0 <= start <= end <= frames before use. Frames are counted in signed 64 bits everywhere:
// a sound is as long as the disk allows (a day at 44.1 kHz passes 2^32 frames), and a
// difference of two positions stays a plain signed number.

#include <QDateTime>
#include <QString>
#include <QThread>
#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "cache.h"
#include "filtereffects.h"
#include "ffencode.h"
#include "largefile.h"
#include "loudness.h"
#include "markers.h"
#include "mp3format.h"
#include "tags.h"
#include "notifier.h"
#include "peakbuilder.h"
#include "stack.h"
#include "take.h"
#include "wavlayout.h"

class TDecoder;
class TLoadingPeaks;
class TSession;
class Twavefile;
struct TTakeShared;

enum TOperation : int32_t {
    opRebuild = 1,
    opLoad = 2,
    opSaveMp3 = 3,
    opSaveWav = 4,
    opCut = 5,
    opCopy = 6,
    opPaste = 7,
    opDelete = 8,
    opInsertSilence = 9,
    opNormalize = 10,
    opFadeIn = 11,
    opFadeOut = 12,
    opReverse = 13,
    opInvert = 14,
    opAmplify = 15,
    opMeasureLoudness = 16,
    opNormalizeLoudness = 17,
    opToMono = 18,
    opToStereo = 19,
    opSwapChannels = 20,
    opTrimSilence = 21,
    opSaveEncoded = 22,
    opExportRegions = 23,
    opFilter = 24,
    opNoiseProfile = 25,
    opReduceNoise = 26,
    opPreview = 27,
    opRecord = 28,
};

// An effect to hear before it is applied, with the values its step takes.
struct TPreviewEffect {
    enum TKind { kAmplify, kFilter, kNormalize, kFadeIn, kFadeOut, kLoudness, kDenoise, kTrim };
    TKind kind = kFilter;
    int32_t percent = 100;  // amplify's and normalize's
    TFilterSettings filter;
    // The fades': the range faded, which the previewed range may cut anywhere.
    int64_t fadeStart = 0, fadeEnd = 0;
    // Normalize Loudness's, measured on the previewed range as its step measures its range.
    double targetLufs = -16, ceilingDbtp = -1;
    // Noise reduction's, with the profile the document holds.
    double denoiseDb = 12, sensitivity = 0.3;
    // Trim Silence's: the range keeps what the trim of the whole sound keeps of it.
    double trimDb = -50;
    int32_t trimMarginMs = 100;
};

// What the window showed of a version: restored when Undo, Redo or a recovery returns to it.
struct TViewState {
    int64_t cursor = 0;
    int64_t selStart = 0, selStop = 0;
    bool selected = false;
    int64_t viewStart = 0, viewEnd = 0;  // the visible range [viewStart, viewEnd)
};

// Source formats shown by the file properties.
enum TSourceFormat : int32_t { sfUnknown = 0, sfWav = 1, sfMp3 = 2, sfWma = 3 };

// The worker thread of one operation. Created per operation; its end runs the document's
// completion routine on the user-interface thread.
class CThread : public QThread {
public:
    using TRoutine = std::function<void(Twavefile&)>;
    CThread(TRoutine routine, Twavefile* document);
    // 1: success; -1: an error was shown; 0: the routine reported failure itself.
    std::atomic<int> returnValue{1};

protected:
    void run() override;
    // Shows the error on the user-interface thread and marks the run failed.
    virtual void HandleError(const std::exception& e);

private:
    TRoutine routine_;
    Twavefile* document_;
};

class Twavefile {
public:
    explicit Twavefile(TNotifier* notifier = nullptr, TClipboard* clipboard = nullptr);
    // Waits for a running operation. Does not delete version files: Close does.
    ~Twavefile();
    Twavefile(const Twavefile&) = delete;
    Twavefile& operator=(const Twavefile&) = delete;

    // --- requests (ignored while busy) ---
    void LoadFile(const QString& path);
    void Close();
    void Undo();
    void Redo();
    void Cut(int64_t start, int64_t end);
    void Copy(int64_t start, int64_t end);
    void Delete(int64_t start, int64_t end);
    void Paste(int64_t at);
    // Smooth edit joins: Cut, Delete and Paste requested from now on cross-fade the two sides
    // of each join over `ms` milliseconds (equal power). 0, the default, keeps the edits exact.
    void SetJoinFade(int32_t ms) { joinFadeMs_ = std::max(0, ms); }
    int32_t JoinFade() const { return joinFadeMs_; }
    // The frame nearest to `frame`, at most `radius` frames away, where the sum of the channels
    // is zero or changes sign; `frame` itself when there is none. Reads the current version.
    int64_t NearestZeroCrossing(int64_t frame, int64_t radius) const;
    // Refused (returns false) for a negative count.
    bool InsertSilence(int64_t at, int64_t count);
    void FadeIn(int64_t start, int64_t end);
    void FadeOut(int64_t start, int64_t end);
    void Normalize(int32_t percent);
    void Amplify(int32_t percent);
    void Reverse();
    void Invert();
    // Measures the whole sound's loudness; Loudness() gives it once done.
    void MeasureLoudness();
    // One gain over the range (the whole sound when it is empty) that takes its integrated
    // loudness to the target, lowered so the true peak stays at or under the ceiling (a notice
    // says what was reached then). A silent range is left as it is, with a notice.
    void NormalizeLoudness(int64_t start, int64_t end, double targetLufs, double ceilingDbtp);
    // Channel operations; each refuses (false) a sound of the wrong channel count.
    bool ToMono();
    bool ToStereo();
    bool SwapChannels();
    // Removes what is quieter than the threshold at the start and the end, keeping a margin;
    // a sound silent throughout is left as it is, with a notice.
    void TrimSilence(double thresholdDb, int32_t marginMs);
    // One of the filter effects (filtereffects.h) over the range, the whole sound when it is
    // empty. False (nothing started) when the settings do not make a graph.
    bool ApplyFilter(const TFilterSettings& settings, int64_t start, int64_t end);
    // Takes the noise profile from frames [start, end), which should hold the noise alone; no
    // new version. HasNoiseProfile() says whether one is held (it stays across edits).
    bool GetNoiseProfile(int64_t start, int64_t end);
    bool HasNoiseProfile() const { return !noiseProfile_.empty(); }
    // Reduces the noise of the profile by strengthDb over the range (the whole sound when it is
    // empty). False when no profile is held or the values are out of range.
    bool ReduceNoise(int64_t start, int64_t end, double strengthDb, double sensitivity);
    // Renders what `effect` would make of frames [start, end) (the whole sound when empty) into
    // a WAV file of its own, PreviewPath() once done: no version, no undo step, the document
    // unchanged. It runs the same routine as the effect's step, on the worker, with cancel.
    // False (nothing started) when busy, not ready or the effect's values are refused.
    bool Preview(const TPreviewEffect& effect, int64_t start, int64_t end);
    // The last preview's file (empty before one, or after a failed or cancelled one). The
    // document deletes it with the next preview, Close and its own end.
    const QString& PreviewPath() const { return previewPath_; }
    // Deletes the preview file now.
    void DropPreview();
    // While a preview renders: its file, written in order from its first frame, and how many
    // bytes of its samples are there so far (all of them once it is done, until the next
    // preview). Empty and 0 otherwise. Lets the player start before the render ends.
    const QString& RenderingPreview() const { return renderingPath_; }
    uint64_t PreviewBytesReady() const { return uint64_t(previewWritten_.load()) * 2; }
    // Saves everything to FileName(). Returns whether a save was started.
    bool Save();
    // ".wav", ".mp3", ".flac", ".ogg" or ".oga" (Vorbis), ".opus" by the lower-cased extension;
    // anything else starts nothing, and neither
    // does a document that is not ready (a failed edit). Only the whole sound saved under
    // FileName() clears Modified().
    bool SaveRange(const QString& path, int64_t start, int64_t end);

    // --- events (called only when set, on the user-interface thread) ---
    std::function<void(Twavefile* sender, bool canUndo, bool canRedo)> OnAction;
    std::function<void(Twavefile* sender)> OnReady;
    std::function<void(Twavefile* sender)> OnLoaded;
    // The MP3 settings dialog of a save: the chosen settings, or nothing when cancelled.
    std::function<std::optional<TMp3Choices>(Twavefile* sender)> OnMp3Settings;
    // The settings of a FLAC, Vorbis or Opus save (`format` says which): nothing when cancelled.
    std::function<std::optional<TEncodeSettings>(Twavefile* sender, TEncodeFormat format)>
        OnEncodeSettings;
    // Asked whenever the current version is left (an edit or effect request, Undo, Redo), so
    // that version's view is remembered with it (and journaled).
    std::function<TViewState(Twavefile* sender)> OnSaveView;
    // Raised after Undo, Redo or a recovery has switched to a version that has a remembered
    // view, after OnReady of that switch.
    std::function<void(Twavefile* sender, const TViewState& view)> OnRestoreView;
    // Raised once an effect that changes the length (tempo, speed) has been adopted: frames
    // [start, oldEnd) of the version before are now [start, newEnd). Whatever is placed on the
    // sound by time (markers) moves by it.
    std::function<void(Twavefile* sender, int64_t start, int64_t oldEnd, int64_t newEnd)>
        OnStretched;

    // --- recording (take.h) ---
    // Starts a take from `input`, which the document owns from here on, placed as `request`
    // says; a new sound closes what is open first. False (nothing started) when busy, when an
    // insert, replace or append finds no ready document or an input of another rate or channel
    // count, or for an empty replace range. Busy until the take is in: OnTakeEnded, then
    // OnReady (after OnLoaded for a new sound). The take is one undo step.
    bool Record(std::unique_ptr<TTakeInput> input, const TTakeRequest& request);
    bool Recording() const { return busy_ && operation_ == opRecord; }
    // Ends the take with what has come so far (a replace then covers that much of its range).
    void StopRecording();
    // Pauses or resumes the input; the take goes on in the same file on resuming.
    void PauseRecording(bool paused);
    // Takes in the running take's state (TakeStatus, TakePeakTable; for a new sound also what
    // PollLoad takes) and raises OnTakeDropout for each dropout since the call before. Called
    // by the front end's timer on the user-interface thread; true while a take runs.
    bool PollRecord();
    const TTakeStatus& TakeStatus() const { return takeStatus_; }
    // The running take's own peak table, from its frame 0 (512-frame blocks, as PeakTable).
    const Tindexdata& TakePeakTable() const;
    TTakeEnd LastTakeEnd() const { return takeEnd_; }
    // The frame of the take where a dropout began (add the take's place for the document's).
    std::function<void(Twavefile* sender, int64_t takeFrame)> OnTakeDropout;
    // Once the take's frames are in, before it becomes an undo step: why it ended. A cancel or
    // a failure raises it too, before OnReady.
    std::function<void(Twavefile* sender, TTakeEnd end)> OnTakeEnded;

    // --- cancel ---
    // Cancels the running operation (load, save, edit, effect; ignored when idle or for undo and
    // redo): the document is exactly as before it was requested. Its OnReady still arrives;
    // Cancelled() is true until the next request.
    void Cancel();
    bool Cancelled() const { return cancelled_; }

    // --- history size ---
    // Disk bytes taken by the undo and redo versions with their peak files, less the blocks
    // they share with the current version or with each other (counted once); with the
    // `droppingOldest` oldest undo steps left out.
    int64_t HistoryBytes(int32_t droppingOldest = 0) const;
    // Drops the `count` oldest undo steps (their files deleted); returns how many were dropped.
    int32_t DropOldestSteps(int32_t count);

    // --- recovery ---
    // The sessions of runs that are gone, newest first.
    struct TRecoverable {
        QString id;
        QString fileName;
        int32_t steps;
        QDateTime lastChange;
    };
    static std::vector<TRecoverable> RecoverableSessions();
    // Reopens a recovered session like LoadFile (busy until OnLoaded and OnReady): its sound,
    // file name, modified flag, undo and redo, then OnRestoreView. False when it cannot start.
    bool Recover(const QString& id);
    // Deletes a recoverable session with all its files.
    static bool DiscardSession(const QString& id);

    // --- store-release listeners (see the top of this file) ---
    void AttachStoreListener(const void* owner, std::function<void()> release);
    void DetachStoreListener(const void* owner);
    bool HasStoreListener(const void* owner) const;

    // --- a load in progress ---
    // From the moment a load knows the source's shape until it ends, what has been decoded can
    // be drawn and played: Frames() is the length the source declares (or, where it declares
    // none, what has come so far), PeakTable() grows in place, Duration() is what has come so
    // far, and Store() reads the LoadedFrames() frames from 0 that are already in the file
    // (null until there are some). Ready() stays false and every request but Cancel stays
    // refused until the load ends; a cancelled load takes all of it away again.
    bool Loading() const { return loading_; }
    // A sound to show: ready, or loading.
    bool Showable() const { return ready_ || loading_; }
    int64_t LoadedFrames() const { return loading_ ? loadedFrames_ : frames_; }
    // Takes in what the load has decoded since the last call; true when something changed.
    // Called by the front end a few times a second (the window's timer), on the user-interface
    // thread.
    bool PollLoad();

    // --- attributes ---
    uint16_t Channels() const { return channels_; }
    uint32_t SampleRate() const { return sampleRate_; }
    int64_t Frames() const { return frames_; }
    double Duration() const { return duration_; }
    uint64_t DataBytes() const { return dataBytes_; }
    int32_t Level() const { return levels_.level; }
    int16_t Peak() const { return levels_.peak; }
    const std::array<int16_t, kMaxPeakChannels>& ChannelPeak() const { return levels_.channelPeak; }
    const Tindexdata& PeakTable() const { return peakTable_; }
    int32_t SourceFormat() const { return sourceFormat_; }
    const QString& FileName() const { return fileName_; }
    void SetFileName(const QString& name) { fileName_ = name; }
    bool Modified() const { return modified_; }
    bool Ready() const { return ready_; }
    bool Busy() const { return busy_; }
    bool NotPcm() const { return notPcm_; }
    int32_t Progress() const { return progress_.load(std::memory_order_relaxed); }
    int32_t Operation() const { return operation_; }
    TLargeFile* Store() const { return store_.get(); }
    const QString& TempPath() const { return tempPath_; }
    const TStack& UndoStack() const { return undo_; }
    const TStack& RedoStack() const { return redo_; }
    bool CanUndo() const { return !undo_.IsEmpty(); }
    bool CanRedo() const { return !redo_.IsEmpty(); }
    TClipboard* Clipboard() const { return clipboard_; }
    const BE_CONFIG& Mp3Config() const { return mp3Config_; }
    // The current version's loudness when it has been measured.
    std::optional<TLoudness> Loudness() const;

    // --- tags ---
    // Read from the source when it loads, written by every save. Not part of the undo history:
    // changing them is no edit of the sound, but it makes the document modified.
    const TTags& Tags() const { return tags_; }
    // Refused (false) while busy or with nothing loaded.
    bool SetTags(const TTags& tags);

    // --- markers and regions ---
    // The current version's markers, in time order. Every edit moves them with the sound (see
    // markers.h); Undo and Redo give back those of the version they return to. Read from the
    // file on load, written by every save (a range save keeps those inside it).
    const TMarkerList& Markers() const { return markers_; }
    // Makes `marks` (put in time order, positions clamped to the sound) the markers: an undo
    // step of its own that writes no sound, ends the redo history, marks the document modified
    // and is journaled. Refused (false) while busy or with nothing ready; the same markers
    // again make no step.
    bool SetMarkers(TMarkerList marks);
    // Export Regions: writes each piece (see ExportPieces) to its own file, `folder` + the
    // name from `pattern` (PieceFileName), in the format of `extension` (wav, mp3, flac, ogg,
    // opus; the settings asked once, as a save asks them), with the document's tags plus
    // title = the piece's name and track = its number. A file in the way is replaced: the
    // front end asks first (ExportTargets). Returns whether it started. Exported() lists the
    // files written, in order, also after a failure or a cancel (those written stay).
    bool ExportRegions(const QString& folder, const QString& pattern, const QString& extension);
    // The files ExportRegions would write, in order.
    QStringList ExportTargets(const QString& folder, const QString& pattern,
                              const QString& extension) const;
    const QStringList& Exported() const { return exported_; }
    // Names a state of the history: its version's path, with the marker step that made it.
    QString StateKey() const { return StateKey(tempPath_, {{}, markStep_}); }
    static QString StateKey(const QString& path, const TVersionMarks& marks);

private:
    friend class CThread;
    struct TRange {
        int64_t start = 0, end = 0;
    };

    bool Dispatch(int32_t code, const std::function<void()>& record);
    void Complete(CThread* worker);
    void RunRoutine(int32_t code);
    TRange Clamp(int64_t start, int64_t end) const;
    int64_t ClampFrame(int64_t at) const;
    void ReleaseStore();
    // The version file at `path` opened for reading; nothing (the error shown) when it cannot be.
    std::unique_ptr<TLargeFile> OpenVersion(const QString& path);
    void ShowError(const QString& message);
    void InterpretCurrentHeader();
    void ApplyHeader(const TWavHeader& header);
    // After Undo or Redo: the switch kept (its peaks are rebuilt) or taken back (they could not
    // be), on the user-interface thread.
    void FinishSwitch();
    void SwitchBack();
    // Undo or Redo of a marker step: the same version with the markers it had, at once.
    void SwitchMarks(TStack& from, TStack& to);
    TVersionMarks CurrentMarks() const { return {markers_, markStep_}; }
    // Whether a version file is still named by the document (current, undo or redo).
    TStack::TInUse InUse() const;
    // The tags a save of `r` writes: the document's, with the markers inside it.
    TTags TagsWithMarkers(TRange r) const;
    // After the current version changed by Undo or Redo: modified unless it is the saved one.
    void UpdateModified();
    // After versions were deleted: forgets the saved version when it was among them.
    void ForgetSavedIfGone();
    // Appends the state after a step to the session's journal, on the user-interface thread,
    // before the step is reported done. Written, not synced: a killed program loses nothing
    // written. An edit's line is then synced on the worker (RunEdit), so a power loss never costs
    // an edit; Undo, Redo, a save's mark and a load stay unsynced, so no sync waits on the
    // user-interface thread and a power loss costs at most the history position.
    void JournalStep();
    // Asks for the view of the version about to be left.
    void RememberView();

    // Worker routines.
    void DoLoad();
    // On the worker: takes the decoded version at `temp` as the document's sound.
    void AdoptDecoded(TDecoder& decoder, const QString& temp);
    // On the worker, once the decoder is open: shows the load as it goes (loading.cpp).
    void ShowLoad(TDecoder& decoder);
    // On the user-interface thread: nothing of the load is shown any more (its file is about to
    // be written again, or it ended without a sound).
    void HideLoad();
    // Lets a store opened during the load read the whole file of `bytes`; false when it cannot.
    static bool FollowWhole(TLargeFile& store, uint64_t bytes);
    void DoSaveWav();
    void DoSaveMp3();
    void DoSaveEncoded();
    void DoExportRegions();
    // On the worker: frames `r` of `source` as a WAV file at `path` with `tags`; true when it
    // took the RF64 form.
    bool WriteWav(TLargeFile& source, const QString& path, TRange r, const TTags& tags);
    void DoRebuild();

    // The edit frame, on the worker: makes the new version of `newFrames` frames, lets `fill`
    // write its samples from the current version, then adopts it with the peaks gathered while
    // it was written. Used by every edit and effect.
    using TFill = std::function<void(TLargeFile& source, TVersionWriter& target)>;
    // `newChannels`, when given, is the new version's channel count.
    // `marks`, when given, are the new version's markers; without, they stay as they are.
    void RunEdit(int64_t newFrames, const TFill& fill, uint16_t newChannels = 0,
                 const TMarkerList* marks = nullptr);

    // The routines of the edits and effects (editing.cpp, effects.cpp), on the worker.
    void DoCopy();
    void DoDelete();
    void DoCut();
    void DoPaste();
    void DoInsertSilence();
    void DoFade(bool fadeIn);
    void DoNormalize();
    void DoAmplify();
    void DoReverse();
    void DoInvert();
    // loudness.cpp, channels.cpp
    void DoMeasureLoudness();
    void DoNormalizeLoudness();
    void DoChannels(int32_t code);
    void DoTrimSilence();
    void DoFilter();  // filters.cpp
    // The routines a step and its preview share: frames [from, to) of src through the effect
    // into dst from frame `at`. FilterFrames returns the frames written (FilterLength's).
    void AmplifyFrames(TLargeFile& src, TVersionWriter& dst, int64_t from, int64_t to,
                       int64_t at, int32_t percent);
    // Normalize scales by the whole sound's peak, whatever part of it is written.
    void NormalizeFrames(TLargeFile& src, TVersionWriter& dst, int64_t from, int64_t to,
                         int64_t at, int32_t percent);
    // Frames [from, to) (inside [fadeStart, fadeEnd)) of the fade over [fadeStart, fadeEnd).
    void FadeFrames(TLargeFile& src, TVersionWriter& dst, int64_t fadeStart, int64_t fadeEnd,
                    int64_t from, int64_t to, int64_t at, bool fadeIn);
    // Normalize Loudness's gain for frames [from, to) of src, measured there; false for a
    // silent range. GainFrames applies a linear factor as that step does.
    bool LoudnessFactor(TLargeFile& src, int64_t from, int64_t to, double targetLufs,
                        double ceilingDbtp, TLoudnessGain& gain);
    void GainFrames(TLargeFile& src, TVersionWriter& dst, int64_t from, int64_t to, int64_t at,
                    double factor);
    // What Trim Silence keeps of the whole sound, [start, end); false for a silent sound.
    bool TrimBounds(double thresholdDb, int32_t marginMs, int64_t& start, int64_t& end);
    int64_t FilterFrames(const TFilterSettings& settings, TLargeFile& src, TVersionWriter& dst,
                         int64_t from, int64_t to, int64_t at);
    int64_t FilterLength(const TFilterSettings& settings, int64_t frames) const;
    void DoPreview();  // preview.cpp
    // Frames [s, e) through the preview's effect into writer from frame 0.
    void RenderPreview(TLargeFile& source, TVersionWriter& writer, int64_t s, int64_t e);
    void DoNoiseProfile();
    void DoReduceNoise();
    void Notice(const char* messageKey, const char* captionKey, const QString& arg1 = {},
                const QString& arg2 = {});
    // A status-bar text from the catalogue with its arguments (editing.cpp).
    void Status(const char* messageKey, const QString& arg1, const QString& arg2);

    // Parameters of the running operation, recorded by its request.
    TRange range_;
    // The join cross-fade of the running edit in frames (0: exact), and the setting it came from.
    int64_t joinFrames_ = 0;
    int32_t joinFadeMs_ = 0;
    int64_t insertCount_ = 0;
    int32_t amplifyPercent_ = 0;
    int32_t normalizePercent_ = 0;
    TWavHeader header_;
    double loudnessTarget_ = 0, loudnessCeiling_ = 0, trimThreshold_ = 0;
    int32_t trimMarginMs_ = 0;
    TFilterSettings filter_;
    // noiseprof's text of the stretch last taken, for the channel count it was taken at.
    std::string noiseProfile_;
    uint16_t noiseChannels_ = 0;
    double denoiseDb_ = 0, denoiseSensitivity_ = 0;
    TPreviewEffect preview_;
    QString previewPath_;
    QString renderingPath_;
    std::atomic<int64_t> previewWritten_{0};  // samples
    // The last loudness measured, and the version it belongs to.
    TLoudness loudness_;
    QString loudnessPath_;
    // Tags edited and not yet saved, kept beside the session's journal for a recovery.
    static constexpr const char* kTagsNote = "note-tags";
    void JournalTags();
    TTags tags_;
    TTags saveTags_;   // what the running save writes
    TTags savedTags_;  // what the file holds, beside savedVersion_
    // The running Export Regions: its pieces and their files, the format; what it wrote.
    std::vector<TPiece> pieces_;
    QStringList pieceFiles_, exported_;
    QString exportExtension_;

    TStack undo_, redo_;
    TMarkerList markers_;
    TMarkerList savedMarkers_;  // what the file holds, beside savedTags_
    // The marker step that made the current state (0: an edit or a load), and the last given.
    uint64_t markStep_ = 0, markSerial_ = 0;
    int32_t operation_ = 0;
    QString tempPath_;
    QString savePath_;
    // The running save writes the whole sound to the document's own file name.
    bool savesDocument_ = false;
    // The temporary folder as it was when the running operation was requested.
    QString tempFolder_;
    std::unique_ptr<CThread> worker_;
    bool busy_ = false;
    std::unique_ptr<TLargeFile> store_;
    QString fileName_;
    int32_t sourceFormat_ = sfUnknown;
    bool modified_ = false;
    // The version last loaded from or saved to the document's file: Undo or Redo landing on any
    // other version makes the document modified, landing on it makes it unmodified. Empty once
    // that version is gone (a new edit ended the redo history holding it).
    QString savedVersion_;
    TLevels levels_;
    bool notPcm_ = false;
    bool ready_ = false;
    bool brokenEdit_ = false;
    // What Undo or Redo switched away from, held until the new version's peaks are rebuilt.
    struct TSwitchBack {
        std::unique_ptr<TLargeFile> store;
        TWavHeader header;
        QString path;
        bool undo;
        bool broken;  // the version left was a broken edit's: removed once the switch holds
        TVersionMarks marks;
    };
    std::unique_ptr<TSwitchBack> switchBack_;
    Tindexdata peakTable_;
    // After a load, the table a rebuild would give (the accumulator's differs); empty when the
    // decoder could not give it.
    Tindexdata loadTable_;
    // The table that describes the current version as RebuildPeaks would, for edits to take
    // whole blocks from; null while unknown.
    const Tindexdata* exactPeaks_ = nullptr;
    uint64_t dataBytes_ = 0;
    uint16_t channels_ = 0;
    uint32_t sampleRate_ = 0;
    int64_t frames_ = 0;
    double duration_ = 0;
    std::atomic<int32_t> progress_{0};
    BE_CONFIG mp3Config_{};
    TEncodeSettings encodeSettings_;
    std::vector<std::pair<const void*, std::function<void()>>> storeListeners_;
    TNotifier* notifier_;
    TClipboard* clipboard_;
    bool destroying_ = false;
    std::atomic<bool> cancelled_{false};
    std::unique_ptr<TSession> session_;
    std::map<QString, TViewState> views_;
    // The running rebuild finishes a recovery: it ends like a load.
    bool recovering_ = false;
    // The load being shown (see Loading()): what its threads publish, the length its source
    // declares (0: none), and the frames from 0 that are in its file.
    bool loading_ = false;
    std::shared_ptr<TLoadingPeaks> loadingPeaks_;
    int64_t loadExpected_ = 0;
    int64_t loadedFrames_ = 0;

    // The take (recording.cpp): its input, request, the state its worker shares with the
    // user-interface thread, and what PollRecord last took in.
    void DoRecord();
    void JournalTake(const QString& take);
    void PlaceTake(const QString& take, int64_t frames, const std::vector<int64_t>& dropouts);
    std::unique_ptr<TTakeInput> takeInput_;
    TTakeRequest takeRequest_;
    std::shared_ptr<TTakeShared> take_;
    TTakeStatus takeStatus_;
    TTakeEnd takeEnd_ = TTakeEnd::kNone;
    Tindexdata takePeaks_;
    int64_t takeDropoutsSeen_ = 0;
};
