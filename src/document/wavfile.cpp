#include "wavfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QSet>
#include <algorithm>
#include <cerrno>

#include "apperror.h"
#include "decoder.h"
#include "diskusage.h"
#include "fileio.h"
#include "filenames.h"
#include "messages.h"
#include "mp3writer.h"
#include "peakfile.h"
#include "pendingfile.h"
#include "session.h"
#include "settings.h"
#include "uithread.h"
#include "versionfiles.h"

namespace {

constexpr const char* kLoadFailure =
    "Could not import audio file. Format not supported or file broken";
constexpr const char* kLoadFailureCaption = "File Loading Error!";
// A save copies in blocks of 8 MiB: few enough calls for the kernel to copy at full speed, small
// enough for the progress bar to move and for the disk to start on each block while the next
// one is copied.

int32_t SourceFormatOf(TDecoder::TSourceKind kind) {
    switch (kind) {
        case TDecoder::TSourceKind::kWav:
            return sfWav;
        case TDecoder::TSourceKind::kMp3:
            return sfMp3;
        case TDecoder::TSourceKind::kWma:
            return sfWma;
        default:
            return sfUnknown;
    }
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Worker thread

CThread::CThread(TRoutine routine, Twavefile* document)
    : routine_(std::move(routine)), document_(document) {}

void CThread::run() {
    // Writes of this thread fail once the document's operation is cancelled.
    const TCancelScope cancelScope(&document_->cancelled_);
    try {
        routine_(*document_);
    } catch (const EAbort&) {
        // Silent, and the routine has put everything back.
        returnValue = 0;
    } catch (const std::exception& e) {
        HandleError(e);
    } catch (...) {
        HandleError(EAppError("Unexpected error"));
    }
}

void CThread::HandleError(const std::exception& e) {
    returnValue = -1;
    // A cancelled operation's writes fail on purpose: nothing to show.
    if (document_->cancelled_) return;
    const QString message = QString::fromStdString(e.what());
    RunOnUiThread([&] { document_->ShowError(message); });
}

// ---------------------------------------------------------------------------------------------
// Document

Twavefile::Twavefile(TNotifier* notifier, TClipboard* clipboard)
    : notifier_(notifier), clipboard_(clipboard), session_(std::make_unique<TSession>()) {}

Twavefile::~Twavefile() {
    destroying_ = true;
    // A take runs until it is stopped: it ends here with what came, kept for recovery.
    StopRecording();
    if (worker_) {
        // The worker may be waiting for a hand-over to this thread: keep serving them.
        while (!worker_->wait(10)) {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
        }
        worker_.reset();
    }
    DropPreview();
}

void Twavefile::ShowError(const QString& message) {
    if (notifier_ && !destroying_) notifier_->ShowError(message);
}

Twavefile::TRange Twavefile::Clamp(int64_t start, int64_t end) const {
    if (start > end) std::swap(start, end);
    start = std::clamp<int64_t>(start, 0, frames_);
    end = std::clamp<int64_t>(end, 0, frames_);
    return {start, end};
}

int64_t Twavefile::ClampFrame(int64_t at) const {
    return std::clamp<int64_t>(at, 0, frames_);
}

void Twavefile::AttachStoreListener(const void* owner, std::function<void()> release) {
    for (auto& [key, fn] : storeListeners_) {
        if (key == owner) {
            fn = std::move(release);
            return;
        }
    }
    storeListeners_.emplace_back(owner, std::move(release));
}

void Twavefile::DetachStoreListener(const void* owner) {
    std::erase_if(storeListeners_, [owner](const auto& l) { return l.first == owner; });
}

bool Twavefile::HasStoreListener(const void* owner) const {
    return std::any_of(storeListeners_.begin(), storeListeners_.end(),
                       [owner](const auto& l) { return l.first == owner; });
}

void Twavefile::ReleaseStore() {
    // A listener may detach listeners while it runs: call only those still attached, each once.
    std::vector<const void*> owners;
    owners.reserve(storeListeners_.size());
    for (const auto& l : storeListeners_) owners.push_back(l.first);
    for (const void* owner : owners) {
        for (const auto& [key, fn] : storeListeners_) {
            if (key != owner) continue;
            const std::function<void()> release = fn;
            if (release) release();
            break;
        }
    }
}

bool Twavefile::Dispatch(int32_t code, const std::function<void()>& record) {
    if (busy_) return false;
    if (code >= opCut && code != opCopy && code != opPreview) RememberView();
    if (record) record();
    // Taken here, on the user-interface thread: the settings dialog may change it meanwhile.
    tempFolder_ = TempFolder();
    cancelled_ = false;
    operation_ = code;
    busy_ = true;
    worker_ = std::make_unique<CThread>([code](Twavefile& doc) { doc.RunRoutine(code); }, this);
    CThread* worker = worker_.get();
    // The thread object lives on this thread, so its end arrives here as a queued call.
    QObject::connect(worker, &QThread::finished, worker, [this, worker] { Complete(worker); });
    worker->start();
    return true;
}

void Twavefile::Complete(CThread* worker) {
    if (destroying_ || worker != worker_.get()) return;
    worker->wait();
    const int result = worker->returnValue;
    worker_.release()->deleteLater();
    // A cancel that came when the work was already whole let it finish.
    if (result == 1) cancelled_ = false;
    if (cancelled_ && operation_ == opLoad) fileName_.clear();
    if (operation_ == opLoad) loading_ = false;
    const bool newTake = operation_ == opRecord && takeRequest_.place == TTakePlace::kNewSound;
    if (operation_ == opRecord) {
        // The device is closed by now; it goes where it was made.
        loading_ = false;
        takeInput_.reset();
        takeStatus_.running = false;
    }
    const bool recovered = std::exchange(recovering_, false);
    if (result == 1) {
        ready_ = true;
        if (operation_ == opLoad) {
            savedVersion_ = tempPath_;
            savedTags_ = tags_;
            savedMarkers_ = markers_;
        }
        const bool savedDocument =
            (operation_ == opSaveMp3 || operation_ == opSaveWav || operation_ == opSaveEncoded) &&
            savesDocument_;
        if (savedDocument) {
            savedVersion_ = tempPath_;
            savedTags_ = saveTags_;
            savedMarkers_ = savedTags_.TakeMarkers();
            UpdateModified();
        }
        if (operation_ == opLoad || operation_ == opRebuild || savedDocument) {
            JournalTags();
            JournalStep();
        }
        if ((operation_ == opLoad || recovered || newTake) && OnLoaded) OnLoaded(this);
    }
    progress_ = 0;
    if (OnReady) OnReady(this);
    busy_ = false;
    if (result == 1 && operation_ == opRebuild && OnRestoreView) {
        if (const auto it = views_.find(tempPath_); it != views_.end()) {
            OnRestoreView(this, it->second);
        }
    }
}

void Twavefile::RunRoutine(int32_t code) {
    switch (code) {
        case opRebuild:
            DoRebuild();
            break;
        case opLoad:
            DoLoad();
            break;
        case opSaveMp3:
            DoSaveMp3();
            break;
        case opSaveWav:
            DoSaveWav();
            break;
        case opSaveEncoded:
            DoSaveEncoded();
            break;
        case opExportRegions:
            DoExportRegions();
            break;
        case opCut:
            DoCut();
            break;
        case opCopy:
            DoCopy();
            break;
        case opPaste:
            DoPaste();
            break;
        case opDelete:
            DoDelete();
            break;
        case opInsertSilence:
            DoInsertSilence();
            break;
        case opNormalize:
            DoNormalize();
            break;
        case opFadeIn:
            DoFade(true);
            break;
        case opFadeOut:
            DoFade(false);
            break;
        case opReverse:
            DoReverse();
            break;
        case opInvert:
            DoInvert();
            break;
        case opAmplify:
            DoAmplify();
            break;
        case opMeasureLoudness:
            DoMeasureLoudness();
            break;
        case opNormalizeLoudness:
            DoNormalizeLoudness();
            break;
        case opToMono:
        case opToStereo:
        case opSwapChannels:
            DoChannels(code);
            break;
        case opTrimSilence:
            DoTrimSilence();
            break;
        case opFilter:
            DoFilter();
            break;
        case opNoiseProfile:
            DoNoiseProfile();
            break;
        case opReduceNoise:
            DoReduceNoise();
            break;
        case opPreview:
            DoPreview();
            break;
        case opRecord:
            DoRecord();
            break;
        default:
            break;
    }
}

void Twavefile::InterpretCurrentHeader() {
    ApplyHeader(TWavHeader::Parse(store_->ReadHeader().data()));
}

void Twavefile::ApplyHeader(const TWavHeader& header) {
    header_ = header;
    const TWavFormat f = InterpretHeader(header_);
    dataBytes_ = f.dataBytes;
    if (!f.pcm) notPcm_ = true;
    channels_ = f.channels;
    sampleRate_ = f.sampleRate;
    frames_ = f.frames;
    duration_ = f.duration;
}

// --- requests --------------------------------------------------------------------------------

void Twavefile::LoadFile(const QString& path) {
    if (busy_) return;
    // A copy: `path` may be FileName() itself (reopening), which Close clears.
    const QString source = path;
    Close();
    fileName_ = source;
    const QString ext = LowerSuffix(source);
    if (ext == "mp3")
        sourceFormat_ = sfMp3;
    else if (ext == "wav")
        sourceFormat_ = sfWav;
    else if (ext == "wma")
        sourceFormat_ = sfWma;
    Dispatch(opLoad, nullptr);
}

void Twavefile::Close() {
    if (busy_) return;
    // The journal first: a crash while the versions go leaves files nobody names, which the
    // next start-up sweep removes.
    session_->Remove();
    views_.clear();
    ready_ = false;
    ReleaseStore();
    store_.reset();
    fileName_.clear();
    tags_ = savedTags_ = {};
    markers_.clear();
    savedMarkers_.clear();
    markStep_ = 0;
    modified_ = false;
    savedVersion_.clear();
    // A file that a marker step shares between the stacks goes once, after both.
    redo_.Clear([this](const QString& p) { return p == tempPath_ || undo_.Items().contains(p); });
    undo_.Clear([this](const QString& p) { return p == tempPath_; });
    RemoveVersionFile(tempPath_);
    tempPath_.clear();
    brokenEdit_ = false;
    exactPeaks_ = nullptr;
    loadTable_.clear();
    loudnessPath_.clear();
    loading_ = false;
    loadingPeaks_.reset();
    DropPreview();
}

std::unique_ptr<TLargeFile> Twavefile::OpenVersion(const QString& path) {
    // On the user-interface thread: a failure is shown here, never thrown into the event loop.
    try {
        return std::make_unique<TLargeFile>(path);
    } catch (const std::exception& e) {
        ShowError(QString::fromStdString(e.what()));
        return nullptr;
    }
}

void Twavefile::Undo() {
    if (busy_ || undo_.IsEmpty()) return;
    if (!brokenEdit_ && undo_.Items().front() == tempPath_) return SwitchMarks(undo_, redo_);
    RememberView();
    // Open the earlier version first: if it cannot be opened nothing has changed.
    auto restored = OpenVersion(undo_.Items().front());
    if (!restored) return;
    ReleaseStore();
    switchBack_.reset(new TSwitchBack{std::move(store_), header_, tempPath_, true, brokenEdit_,
                                      CurrentMarks()});
    // A half-written version is never offered for Redo; it goes once the switch has held.
    if (!brokenEdit_) redo_.Push(tempPath_, CurrentMarks());
    brokenEdit_ = false;
    TVersionMarks marks;
    tempPath_ = undo_.Pop(&marks);
    markers_ = std::move(marks.marks);
    markStep_ = marks.step;
    store_ = std::move(restored);
    InterpretCurrentHeader();
    UpdateModified();
    Dispatch(opRebuild, nullptr);
    if (OnAction) OnAction(this, !undo_.IsEmpty(), !redo_.IsEmpty());
}

void Twavefile::Redo() {
    if (busy_ || redo_.IsEmpty()) return;
    if (redo_.Items().front() == tempPath_) return SwitchMarks(redo_, undo_);
    RememberView();
    auto restored = OpenVersion(redo_.Items().front());
    if (!restored) return;
    ReleaseStore();
    switchBack_.reset(
        new TSwitchBack{std::move(store_), header_, tempPath_, false, false, CurrentMarks()});
    undo_.Push(tempPath_, CurrentMarks());
    TVersionMarks marks;
    tempPath_ = redo_.Pop(&marks);
    markers_ = std::move(marks.marks);
    markStep_ = marks.step;
    store_ = std::move(restored);
    InterpretCurrentHeader();
    UpdateModified();
    Dispatch(opRebuild, nullptr);
    if (OnAction) OnAction(this, !undo_.IsEmpty(), !redo_.IsEmpty());
}

void Twavefile::FinishSwitch() {
    if (!switchBack_) return;
    if (switchBack_->broken && !switchBack_->path.isEmpty()) {
        RemoveVersionFile(switchBack_->path);
    }
    switchBack_.reset();
}

void Twavefile::SwitchBack() {
    if (!switchBack_) return;
    const std::unique_ptr<TSwitchBack> back = std::move(switchBack_);
    ReleaseStore();
    if (back->undo) {
        undo_.Push(tempPath_, CurrentMarks());
        if (!back->broken) redo_.Pop();
        brokenEdit_ = back->broken;
    } else {
        redo_.Push(tempPath_, CurrentMarks());
        undo_.Pop();
    }
    tempPath_ = back->path;
    markers_ = std::move(back->marks.marks);
    markStep_ = back->marks.step;
    store_ = std::move(back->store);
    ApplyHeader(back->header);
    // A broken edit's version is never the saved one, so this gives back the flag it had.
    UpdateModified();
    if (OnAction) OnAction(this, !undo_.IsEmpty(), !redo_.IsEmpty());
}

void Twavefile::UpdateModified() {
    modified_ = savedVersion_.isEmpty() || tempPath_ != savedVersion_ || tags_ != savedTags_ ||
                markers_ != savedMarkers_;
}

void Twavefile::ForgetSavedIfGone() {
    if (savedVersion_.isEmpty() || savedVersion_ == tempPath_ ||
        undo_.Items().contains(savedVersion_) || redo_.Items().contains(savedVersion_)) {
        return;
    }
    // Its path may be given to a new version now; that one was never saved.
    savedVersion_.clear();
}

bool Twavefile::Save() {
    return SaveRange(fileName_, 0, frames_);
}

bool Twavefile::SaveRange(const QString& path, int64_t start, int64_t end) {
    // After a failed edit the current version is unfinished: nothing to save until undone.
    if (busy_ || !store_ || !ready_) return false;
    const QString ext = LowerSuffix(path);
    const TRange r = Clamp(start, end);
    // Only the whole sound under the document's own name makes it unmodified.
    const bool savesDocument = path == fileName_ && r.start == 0 && r.end == frames_;
    if (ext == "mp3") {
        if (!OnMp3Settings) return false;
        const std::optional<TMp3Choices> choices = OnMp3Settings(this);
        if (!choices) return false;
        return Dispatch(opSaveMp3, [&] {
            mp3Config_ = MakeMp3Config(sampleRate_, channels_, *choices);
            saveTags_ = TagsWithMarkers(r);
            savePath_ = path;
            range_ = r;
            savesDocument_ = savesDocument;
        });
    }
    if (const std::optional<TEncodeFormat> format = EncodeFormatOf(ext)) {
        if (!OnEncodeSettings) return false;
        std::optional<TEncodeSettings> settings = OnEncodeSettings(this, *format);
        if (!settings) return false;
        settings->format = *format;
        return Dispatch(opSaveEncoded, [&] {
            encodeSettings_ = *settings;
            saveTags_ = TagsWithMarkers(r);
            savePath_ = path;
            range_ = r;
            savesDocument_ = savesDocument;
        });
    }
    if (ext == "wav") {
        return Dispatch(opSaveWav, [&] {
            saveTags_ = TagsWithMarkers(r);
            savePath_ = path;
            range_ = r;
            savesDocument_ = savesDocument;
        });
    }
    return false;
}

// --- worker routines -------------------------------------------------------------------------

void Twavefile::DoLoad() {
    const QString temp = CreateVersionFile(tempFolder_);
    RunOnUiThread([&] { tempPath_ = temp; });
    // A load that fails leaves no version: its unfinished file goes at once.
    auto discard = [&] {
        // The view lets go of the file before it goes.
        RunOnUiThread([&] {
            HideLoad();
            loading_ = false;
            loadingPeaks_.reset();
            tempPath_.clear();
        });
        RemoveVersionFile(temp);
    };
    bool decoded = false;
    try {
        TDecoder decoder(fileName_, temp);
        if (decoder.Supported()) ShowLoad(decoder);
        decoded = decoder.Supported() && decoder.Decode(progress_);
        if (decoded) AdoptDecoded(decoder, temp);
    } catch (...) {
        discard();
        throw;
    }
    if (decoded) return;
    discard();
    if (cancelled_) throw EAbort();
    worker_->returnValue = 0;
    RunOnUiThread([&] {
        if (notifier_ && !destroying_) notifier_->ShowWarning(kLoadFailure, kLoadFailureCaption);
    });
}

void Twavefile::AdoptDecoded(TDecoder& decoder, const QString& temp) {
    auto store = std::make_unique<TLargeFile>(temp);
    Tindexdata table, exact;
    TLevels levels;
    decoder.Filter()->ExportPeaks(table);
    decoder.Filter()->ExportLevels(levels.channelPeak, levels.peak, levels.level);
    // The accumulator's own table becomes the exact one rather than a third copy beside the
    // two: for a long sound each is tens of megabytes.
    decoder.Filter()->TakeRebuiltPeaks(exact);
    *decoder.Filter() = TFilter(decoder.Channels());
    const TWavFormat f = InterpretHeader(TWavHeader::Parse(store->ReadHeader().data()));
    if (f.frames == 0) {
        levels.peak = 0;
        levels.level = kSilenceLevel;
    }
    // What an undo back to this version will take instead of reading it again.
    if (!WritePeakFile(temp, f.frames, f.channels, exact, levels)) exact.clear();
    const int32_t format = SourceFormatOf(decoder.SourceKind());
    TTags tags = ReadTags(fileName_, f.sampleRate, f.frames);
    TMarkerList marks = tags.TakeMarkers();
    const QString warning = decoder.LengthWarning();
    const QString caption =
        warning.isEmpty() ? QString() : QString::fromStdString(Msg("loadwarning"));
    bool adopted = false;
    RunOnUiThread([&] {
        // Decided here, where Cancel runs: either the load is whole or it never happened.
        if (cancelled_) return;
        adopted = true;
        sourceFormat_ = format;
        tags_ = std::move(tags);
        markers_ = std::move(marks);
        markStep_ = 0;
        // The store that showed the load reads on, now to the end: a playback started during
        // the load goes on undisturbed.
        if (!store_ || store_->DataOffset() != store->DataOffset() ||
            !FollowWhole(*store_, store->FileSize())) {
            ReleaseStore();
            store_ = std::move(store);
        }
        loadingPeaks_.reset();
        peakTable_ = std::move(table);
        loadTable_ = std::move(exact);
        exactPeaks_ = loadTable_.empty() ? nullptr : &loadTable_;
        levels_ = levels;
        InterpretCurrentHeader();
        if (!warning.isEmpty() && notifier_ && !destroying_)
            notifier_->ShowNotice(warning, caption);
    });
    if (!adopted) throw EAbort();
}

void Twavefile::DoRebuild() {
    Tindexdata table;
    TLevels levels;
    try {
        // The version's peak file, written with it, spares the pass over the sound; one that is
        // missing or does not match is replaced by a rebuild.
        if (!ReadPeakFile(tempPath_, frames_, channels_, table, levels)) {
            TLargeFile reader(tempPath_);
            RebuildPeaks(reader, frames_, channels_, progress_, table, levels);
            WritePeakFile(tempPath_, frames_, channels_, table, levels);
        }
    } catch (...) {
        // Without its peaks the version cannot be shown: Undo or Redo did not happen.
        RunOnUiThread([&] { SwitchBack(); });
        throw;
    }
    RunOnUiThread([&] {
        peakTable_ = std::move(table);
        levels_ = levels;
        loadTable_.clear();
        exactPeaks_ = &peakTable_;
        FinishSwitch();
    });
}

// --- the edit frame --------------------------------------------------------------------------

void Twavefile::RunEdit(int64_t newFrames, const TFill& fill, uint16_t newChannels,
                        const TMarkerList* marks) {
    const uint16_t channels = newChannels ? newChannels : channels_;
    const uint64_t newBytes = uint64_t(newFrames) * channels * 2;
    if (WavFileBytes(newBytes) > TLargeFile::kMaxFileBytes) {
        throw EAppError("The result would be larger than a sample store can address.");
    }
    const QString previous = tempPath_;
    const bool wasModified = modified_;
    // The redo versions are deleted only once the edit holds or has failed: a cancel gives them
    // back.
    TStack heldRedo;
    // From here until the new version is adopted, a failure leaves a broken edit: the previous
    // version on top of the undo stack and the temp path naming the unfinished one (if any).
    RunOnUiThread([&] {
        ready_ = false;
        undo_.Push(previous, CurrentMarks());
        heldRedo = redo_.Take();
        modified_ = true;
        brokenEdit_ = true;
        tempPath_.clear();
        if (OnAction) OnAction(this, true, false);
    });
    // On the user-interface thread: the document as it was before the request.
    auto rollBack = [&] {
        RemoveVersionFile(tempPath_);
        tempPath_ = undo_.Pop();
        redo_ = std::move(heldRedo);
        modified_ = wasModified;
        brokenEdit_ = false;
        ready_ = true;
        if (OnAction) OnAction(this, !undo_.IsEmpty(), !redo_.IsEmpty());
    };
    auto dropRedo = [&] {
        heldRedo.Clear(InUse());
        ForgetSavedIfGone();
    };
    TWavHeader h = header_;
    h.SetDataBytes(newBytes);
    if (newChannels) {
        h.channels = channels;
        h.blockAlign = static_cast<uint16_t>(channels * 2);
        h.byteRate = h.sampleRate * h.blockAlign;
    }
    const TWavFormat f = InterpretHeader(h);
    Tindexdata table;
    TLevels levels;
    std::unique_ptr<TLargeFile> store;
    try {
        const QString next = CreateVersionFile(tempFolder_);
        RunOnUiThread([&] { tempPath_ = next; });
        {
            TLargeFile source(previous);
            TLargeFile target(next, WavFileBytes(newBytes));
            target.WriteHeader(h);
            static const Tindexdata kUnknown;
            // A table of another channel count describes nothing in the new version.
            const bool sameShape = f.channels == channels_;
            const TPeakSource known{&source, exactPeaks_ && sameShape ? exactPeaks_ : &kUnknown,
                                    frames_};
            TVersionWriter writer(target, known, f.frames, f.channels);
            fill(source, writer);
            writer.Finish(table, levels);
        }
        store = std::make_unique<TLargeFile>(next);
        WritePeakFile(next, f.frames, f.channels, table, levels);
    } catch (...) {
        if (cancelled_) {
            RunOnUiThread(rollBack);
            throw EAbort();
        }
        RunOnUiThread(dropRedo);
        throw;
    }
    bool adopted = false;
    RunOnUiThread([&] {
        // Decided here, where Cancel runs: either the edit is whole or it never happened.
        if (cancelled_) {
            store.reset();
            rollBack();
            return;
        }
        adopted = true;
        ReleaseStore();
        store_ = std::move(store);
        header_ = h;
        dataBytes_ = f.dataBytes;
        channels_ = f.channels;
        frames_ = f.frames;
        duration_ = f.duration;
        peakTable_ = std::move(table);
        levels_ = levels;
        loadTable_.clear();
        exactPeaks_ = &peakTable_;
        brokenEdit_ = false;
        ready_ = true;
        if (marks) markers_ = *marks;
        markStep_ = 0;
        // Journaled before the redo versions go: the journal never names a deleted file.
        JournalStep();
        dropRedo();
        if (OnAction) OnAction(this, true, false);
    });
    if (!adopted) throw EAbort();
    // Here, not on the user-interface thread: the edit is reported done once the worker ends.
    session_->Sync();
}

// --- cancel, history size, recovery ----------------------------------------------------------

void Twavefile::Cancel() {
    // Undo and Redo switch at once; their peak rebuild is not theirs to cancel.
    if (!busy_ || operation_ == opRebuild) return;
    cancelled_ = true;
}

int64_t Twavefile::HistoryBytes(int32_t droppingOldest) const {
    // The oldest step is the bottom of the undo stack, the list's end.
    QStringList versions = undo_.Items().mid(0, std::max<qsizetype>(undo_.Items().size() - droppingOldest, 0));
    versions += redo_.Items();
    // A file that marker steps name more than once counts once; the current one not at all.
    QSet<QString> seen{tempPath_};
    QStringList files;
    for (const QString& path : versions) {
        if (seen.contains(path)) continue;
        seen.insert(path);
        files << path << PeakFilePath(path);
    }
    return BytesCountingSharedOnce(files, tempPath_.isEmpty() ? QStringList() : QStringList{tempPath_});
}

int32_t Twavefile::DropOldestSteps(int32_t count) {
    if (busy_ || count <= 0) return 0;
    const int32_t dropped = undo_.DropOldest(count, InUse());
    ForgetSavedIfGone();
    if (dropped > 0) JournalStep();
    if (dropped > 0 && OnAction) OnAction(this, !undo_.IsEmpty(), !redo_.IsEmpty());
    return dropped;
}

void Twavefile::RememberView() {
    if (OnSaveView && !tempPath_.isEmpty()) views_[tempPath_] = OnSaveView(this);
}

