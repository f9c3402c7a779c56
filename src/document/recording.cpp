// A take: the worker drains the input's ring into a version file of its own, keeps it
// recoverable as it grows, and once it ends places it in the document as one undo step.
#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <QFileInfo>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "apperror.h"
#include "capturering.h"
#include "fileio.h"
#include "loadingpeaks.h"
#include "messages.h"
#include "peakfile.h"
#include "session.h"
#include "uithread.h"
#include "versionfiles.h"
#include "wavcopy.h"
#include "wavfile.h"

struct TTakeShared {
    explicit TTakeShared(uint16_t channels) : table(std::make_shared<TLoadingPeaks>(channels)) {}
    std::atomic<int64_t> frames{0};
    std::array<std::atomic<int32_t>, kMaxPeakChannels> peaks{};
    std::atomic<int64_t> clips{0};
    std::atomic<double> diskSecondsLeft{-1};
    std::atomic<bool> stop{false};
    std::atomic<bool> paused{false};
    std::mutex mutex;  // dropoutFrames
    std::vector<int64_t> dropoutFrames;
    // The take's waveform as it grows (for a new sound, the document's own load table).
    std::shared_ptr<TLoadingPeaks> table;
};

namespace {

constexpr int64_t kTakeBlockFrames = 16384;
// Room taken on the disk ahead of the samples, so a full disk shows before a write fails.
constexpr int64_t kReserveStep = 16 << 20;
// A take is written behind a 44-byte RIFF header, which names at most this much; a longer one
// is moved behind an RF64 header once it has ended.
constexpr uint64_t kMaxTakeBytes = kMaxRiffFileBytes - kWavHeaderBytes;

struct TDiskFull {};

// The take's file: 16-bit PCM appended behind a header that the syncer brings up to date.
class TTakeFile {
public:
    TTakeFile(const QString& path, uint16_t channels, uint32_t rate)
        : header_(TWavHeader::Pcm16(channels, rate, 0)), block_(channels * 2) {
        fd_ = FileIO().Open(QFile::encodeName(path).constData(), O_WRONLY | O_CLOEXEC);
        if (fd_ < 0) RaiseLastOSError();
        WriteHeader(0);
    }
    ~TTakeFile() {
        if (fd_ >= 0) FileIO().Close(fd_);
    }
    TTakeFile(const TTakeFile&) = delete;
    TTakeFile& operator=(const TTakeFile&) = delete;

    int64_t Frames() const { return frames_.load(std::memory_order_acquire); }
    // Room taken ahead on the disk and not written yet: free for the take.
    int64_t Unwritten() const {
        const uint64_t used = kWavHeaderBytes + uint64_t(Frames()) * block_;
        return reserved_ != UINT64_MAX && reserved_ > used ? int64_t(reserved_ - used) : 0;
    }

    void Append(const int16_t* samples, int64_t frames) {
        const uint64_t at = kWavHeaderBytes + uint64_t(Frames()) * block_;
        const uint64_t bytes = uint64_t(frames) * block_;
        Reserve(at + bytes);
        const auto* p = reinterpret_cast<const uint8_t*>(samples);
        for (uint64_t done = 0; done < bytes;) {
            const ssize_t n = FileIO().PWrite(fd_, p + done, bytes - done, off_t(at + done));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno == ENOSPC) throw TDiskFull{};
            if (n <= 0) RaiseLastOSError();
            done += uint64_t(n);
        }
        frames_.fetch_add(frames, std::memory_order_acq_rel);
    }

    // The data synced, then a header that says as much: a power cut leaves a header that
    // never names more than the disk holds.
    void Sync() {
        const int64_t frames = Frames();
        FileIO().Sync(fd_);
        WriteHeader(frames);
    }
    void Finish() {
        WriteHeader(Frames());
        if (FileIO().Sync(fd_) != 0) RaiseLastOSError();
    }

private:
    void Reserve(uint64_t end) {
        if (end <= reserved_) return;
        uint64_t length = std::max<uint64_t>(end - reserved_, kReserveStep);
        // The file keeps its size: a take killed meanwhile has no tail of zeros. Near a full
        // disk the step shrinks to what the next write needs.
        int failed = ::fallocate(fd_, FALLOC_FL_KEEP_SIZE, off_t(reserved_), off_t(length));
        if (failed != 0 && errno == ENOSPC && length > end - reserved_) {
            length = end - reserved_;
            failed = ::fallocate(fd_, FALLOC_FL_KEEP_SIZE, off_t(reserved_), off_t(length));
        }
        if (failed != 0) {
            if (errno == ENOSPC) throw TDiskFull{};
            // A file system without it: the writes find a full disk themselves.
            reserved_ = UINT64_MAX;
            return;
        }
        reserved_ += length;
    }
    void WriteHeader(int64_t frames) {
        std::lock_guard lock(headerMutex_);
        TWavHeader h = header_;
        h.SetSizes(std::min<uint64_t>(uint64_t(frames) * block_, kMaxTakeBytes));
        const TWavHeaderBytes bytes = h.Bytes();
        if (FileIO().PWrite(fd_, bytes.data(), bytes.size(), 0) != ssize_t(bytes.size()))
            RaiseLastOSError();
    }

    TWavHeader header_;
    const uint32_t block_;
    int fd_ = -1;
    std::atomic<int64_t> frames_{0};
    uint64_t reserved_ = 0;
    std::mutex headerMutex_;
};

// Syncs the take's file twice a second on a thread of its own, so a slow disk never holds up
// the draining of the ring.
class TSyncer {
public:
    explicit TSyncer(TTakeFile& file)
        : thread_([this, &file] {
              std::unique_lock lock(mutex_);
              while (!done_) {
                  wake_.wait_for(lock, std::chrono::milliseconds(500));
                  if (done_) break;
                  lock.unlock();
                  try {
                      file.Sync();
                  } catch (const std::exception&) {
                      // The writer meets the same failure and ends the take.
                  }
                  lock.lock();
              }
          }) {}
    ~TSyncer() {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        wake_.notify_one();
        thread_.join();
    }

private:
    std::mutex mutex_;
    std::condition_variable wake_;
    bool done_ = false;
    std::thread thread_;
};

// The bytes free for us on the disk of `folder`; INT64_MAX when it cannot be told.
int64_t FreeBytes(const QString& folder) {
    struct statvfs s {};
    if (::statvfs(QFile::encodeName(folder).constData(), &s) != 0) return INT64_MAX;
    return int64_t(s.f_bavail) * int64_t(s.f_frsize);
}

}  // namespace

bool Twavefile::Record(std::unique_ptr<TTakeInput> input, const TTakeRequest& request) {
    if (busy_ || !input) return false;
    TTakeRequest r = request;
    if (r.place == TTakePlace::kNewSound) {
        Close();
    } else {
        if (!ready_ || input->Channels() != channels_ || input->SampleRate() != sampleRate_)
            return false;
        r.at = ClampFrame(r.at);
        if (r.place == TTakePlace::kAppend) r.at = frames_;
        if (r.place == TTakePlace::kReplace) {
            r.end = ClampFrame(r.end);
            if (r.end <= r.at) return false;
            r.maxFrames = r.end - r.at;
        }
    }
    takeInput_ = std::move(input);
    takeRequest_ = r;
    take_ = std::make_shared<TTakeShared>(takeInput_->Channels());
    takeStatus_ = {};
    takeStatus_.channels = takeInput_->Channels();
    takeStatus_.sampleRate = takeInput_->SampleRate();
    takeStatus_.running = true;
    takeEnd_ = TTakeEnd::kNone;
    takePeaks_.clear();
    takeDropoutsSeen_ = 0;
    if (Dispatch(opRecord, nullptr)) return true;
    takeInput_.reset();
    take_.reset();
    return false;
}

void Twavefile::StopRecording() {
    if (Recording() && take_) take_->stop = true;
}

void Twavefile::PauseRecording(bool paused) {
    if (!Recording() || !take_ || take_->paused == paused) return;
    takeInput_->Pause(paused);
    take_->paused = paused;
    takeStatus_.paused = paused;
}

const Tindexdata& Twavefile::TakePeakTable() const {
    return takeRequest_.place == TTakePlace::kNewSound ? peakTable_ : takePeaks_;
}

bool Twavefile::PollRecord() {
    if (!Recording() || !take_ || !takeInput_) return false;
    TTakeShared& t = *take_;
    TTakeStatus& s = takeStatus_;
    const TCaptureRing& ring = takeInput_->Ring();
    s.frames = t.frames.load();
    for (size_t c = 0; c < s.peak.size(); ++c) s.peak[c] = int16_t(t.peaks[c].exchange(0));
    s.clips = t.clips.load();
    s.dropouts = ring.Dropouts();
    s.lostFrames = ring.LostFrames();
    {
        std::lock_guard lock(t.mutex);
        s.dropoutFrames = t.dropoutFrames;
    }
    // The gap the writer has not reached yet is known by where it began.
    if (int64_t(s.dropoutFrames.size()) < s.dropouts)
        s.dropoutFrames.push_back(ring.LastDropoutFrame());
    s.diskSecondsLeft = t.diskSecondsLeft.load();
    s.paused = t.paused.load();
    if (takeRequest_.place == TTakePlace::kNewSound) {
        PollLoad();
    } else {
        int64_t contiguous = 0, furthest = 0;
        t.table->Take(takePeaks_, contiguous, furthest);
    }
    while (takeDropoutsSeen_ < s.dropouts) {
        const size_t i = size_t(takeDropoutsSeen_++);
        const int64_t frame =
            i < s.dropoutFrames.size() ? s.dropoutFrames[i] : ring.LastDropoutFrame();
        if (OnTakeDropout) OnTakeDropout(this, frame);
    }
    return true;
}

void Twavefile::JournalTake(const QString& take) {
    if (!session_->Ok() && !session_->Start()) return;
    TJournalStep step;
    step.fileName = fileName_;
    step.current = take;
    // What was there before is one Undo away from the take.
    if (takeRequest_.place != TTakePlace::kNewSound)
        step.undo = QStringList{tempPath_} + undo_.Items();
    step.saved = savedVersion_;
    step.modified = true;
    session_->Append(step, false);
}

void Twavefile::DoRecord() {
    const std::shared_ptr<TTakeShared> shared = take_;
    TTakeShared& t = *shared;
    TTakeInput& input = *takeInput_;
    TCaptureRing& ring = input.Ring();
    const uint16_t ch = input.Channels();
    const uint32_t rate = input.SampleRate();
    const bool newSound = takeRequest_.place == TTakePlace::kNewSound;
    int64_t cap = takeRequest_.maxFrames;
    if (ring.LimitFrames() > 0)
        cap = cap > 0 ? std::min(cap, ring.LimitFrames()) : ring.LimitFrames();
    const QString path = CreateVersionFile(tempFolder_);
    // On the user-interface thread: the document as it was before the take.
    auto restore = [&] {
        if (newSound) {
            HideLoad();
            loading_ = false;
            loadingPeaks_.reset();
            tempPath_.clear();
            frames_ = 0;
            duration_ = 0;
            peakTable_.clear();
        }
        JournalStep();
    };
    auto ended = [&](TTakeEnd end) {
        RunOnUiThread([&] {
            takeEnd_ = end;
            takeStatus_.running = false;
            takeStatus_.frames = t.frames.load();
            takeStatus_.clips = t.clips.load();
            takeStatus_.dropouts = ring.Dropouts();
            takeStatus_.lostFrames = ring.LostFrames();
            {
                std::lock_guard lock(t.mutex);
                takeStatus_.dropoutFrames = t.dropoutFrames;
            }
            if (OnTakeEnded && !destroying_) OnTakeEnded(this, end);
        });
    };
    TTakeEnd end = TTakeEnd::kLength;
    std::vector<int64_t> dropouts;
    int64_t frames = 0;
    try {
        TTakeFile file(path, ch, rate);
        RunOnUiThread([&] {
            if (newSound) {
                tempPath_ = path;
                channels_ = ch;
                sampleRate_ = rate;
                header_ = TWavHeader::Pcm16(ch, rate, 0);
                frames_ = loadExpected_ = std::max<int64_t>(cap, 0);
                loadedFrames_ = 0;
                duration_ = 0;
                peakTable_.assign(size_t(frames_ / kPeakBlockFrames + 1) * ch, TPeakEntry{});
                loadingPeaks_ = t.table;
                loading_ = true;
            }
            JournalTake(path);
        });
        // The device starts before the journal's sync: the ring holds what comes meanwhile.
        input.Start();
        session_->Sync();
        {
            TLoadingPeaks::TWriter shown(*t.table, 0);
            std::vector<int16_t> block(size_t(kTakeBlockFrames) * ch);
            const std::vector<int16_t> silence(size_t(kTakeBlockFrames) * ch, 0);
            // False when the take is whole (its length, the disk, the header's limit).
            auto drain = [&]() -> bool {
                bool more = true;
                while (more) {
                    const int64_t room = cap > 0 ? cap - file.Frames() : INT64_MAX;
                    if (room <= 0) return false;
                    int64_t gap = 0;
                    const int64_t n = ring.Pop(block.data(), std::min(kTakeBlockFrames, room), gap);
                    if (gap > 0) {
                        {
                            std::lock_guard lock(t.mutex);
                            t.dropoutFrames.push_back(file.Frames());
                        }
                        dropouts.push_back(file.Frames());
                        for (int64_t left = std::min(gap, room); left > 0;) {
                            const int64_t k = std::min(left, kTakeBlockFrames);
                            file.Append(silence.data(), k);
                            shown.Add(silence.data(), size_t(k));
                            left -= k;
                        }
                    } else if (n > 0) {
                        ScanInput(block.data(), n, ch, t.peaks, t.clips);
                        file.Append(block.data(), n);
                        shown.Add(block.data(), size_t(n));
                    } else {
                        more = false;
                    }
                    t.frames.store(file.Frames());
                    if (cap > 0) progress_ = int32_t(file.Frames() * 100 / cap);
                }
                shown.Publish();
                return true;
            };
            TSyncer syncer(file);
            auto nextCheck = std::chrono::steady_clock::now();
            try {
                for (;;) {
                    const bool whole = ring.Ended();
                    if (!drain() || whole) break;
                    if (cancelled_) {
                        end = TTakeEnd::kCancelled;
                        break;
                    }
                    if (t.stop) {
                        end = TTakeEnd::kStopped;
                        break;
                    }
                    if (!input.Failure().empty()) {
                        end = TTakeEnd::kInputFailed;
                        break;
                    }
                    if (const auto now = std::chrono::steady_clock::now(); now >= nextCheck) {
                        nextCheck = now + std::chrono::seconds(1);
                        int64_t freeBytes = FreeBytes(tempFolder_);
                        if (freeBytes != INT64_MAX) {
                            // A take into a sound is placed by writing a new version of the
                            // sound and the take: that room is kept back, and each second more
                            // takes its bytes twice.
                            const int64_t second = int64_t(rate) * ch * 2;
                            const int64_t placing =
                                newSound ? 0 : int64_t(dataBytes_) + file.Frames() * ch * 2;
                            freeBytes += file.Unwritten() - placing;
                            t.diskSecondsLeft = double(std::max<int64_t>(
                                                    freeBytes - takeRequest_.reserveBytes, 0)) /
                                                double(newSound ? second : 2 * second);
                        }
                        if (freeBytes < takeRequest_.reserveBytes) {
                            end = TTakeEnd::kDiskFull;
                            break;
                        }
                    }
                    ring.Wait(50);
                }
                input.Stop();
                // What the device delivered before it closed belongs to the take.
                if (end != TTakeEnd::kCancelled && end != TTakeEnd::kDiskFull) drain();
            } catch (const TDiskFull&) {
                input.Stop();
                end = TTakeEnd::kDiskFull;
            }
            shown.Publish(true);
        }
        file.Finish();
        frames = file.Frames();
        if (const uint64_t bytes = uint64_t(frames) * ch * 2; bytes > kMaxTakeBytes) {
            // Nothing may read the samples while they move.
            if (newSound) RunOnUiThread([&] { HideLoad(); });
            MoveUnderHeader(path, kWavHeaderBytes, TWavHeader::Pcm16(ch, rate, bytes));
        }
    } catch (...) {
        input.Stop();
        const bool cancelled = cancelled_;
        RunOnUiThread(restore);
        ended(cancelled ? TTakeEnd::kCancelled : TTakeEnd::kFailed);
        RemoveVersionFile(path);
        if (cancelled) throw EAbort();
        throw;
    }
    if (end == TTakeEnd::kDiskFull) Notice("recdiskfull", "recording");
    if (end == TTakeEnd::kInputFailed) Notice("recinputfailed", "recording");
    if (end == TTakeEnd::kCancelled || frames == 0) {
        RunOnUiThread(restore);
        ended(end == TTakeEnd::kCancelled ? TTakeEnd::kCancelled : end);
        RemoveVersionFile(path);
        if (end == TTakeEnd::kCancelled) throw EAbort();
        // Nothing came: nothing to place, and no step.
        worker_->returnValue = 0;
        return;
    }
    ended(end);
    PlaceTake(path, frames, dropouts);
}

void Twavefile::PlaceTake(const QString& take, int64_t frames,
                          const std::vector<int64_t>& dropouts) {
    const QString dropoutName = QString::fromStdString(Msg("dropoutmarker"));
    auto dropoutMarks = [&](int64_t at, TMarkerList marks) {
        for (const int64_t d : dropouts) marks.push_back(TMarker{at + d, at + d, dropoutName});
        SortMarkers(marks);
        return marks;
    };
    if (takeRequest_.place == TTakePlace::kNewSound) {
        Tindexdata table;
        TLevels levels;
        std::unique_ptr<TLargeFile> store;
        try {
            {
                TLargeFile reader(take);
                RebuildPeaks(reader, frames, channels_, progress_, table, levels);
            }
            WritePeakFile(take, frames, channels_, table, levels);
            store = std::make_unique<TLargeFile>(take);
        } catch (...) {
            RunOnUiThread([&] {
                HideLoad();
                loading_ = false;
                loadingPeaks_.reset();
                tempPath_.clear();
            });
            RemoveVersionFile(take);
            throw;
        }
        const TMarkerList marks = dropoutMarks(0, {});
        bool adopted = false;
        RunOnUiThread([&] {
            if (cancelled_) {
                HideLoad();
                loading_ = false;
                loadingPeaks_.reset();
                tempPath_.clear();
                return;
            }
            adopted = true;
            loading_ = false;
            loadingPeaks_.reset();
            if (!store_ || store_->DataOffset() != store->DataOffset() ||
                !FollowWhole(*store_, store->FileSize())) {
                ReleaseStore();
                store_ = std::move(store);
            }
            InterpretCurrentHeader();
            peakTable_ = std::move(table);
            loadTable_.clear();
            exactPeaks_ = &peakTable_;
            levels_ = levels;
            markers_ = marks;
            markStep_ = 0;
            fileName_.clear();
            sourceFormat_ = sfUnknown;
            savedVersion_.clear();
            modified_ = true;
            JournalStep();
        });
        if (!adopted) {
            RemoveVersionFile(take);
            throw EAbort();
        }
        session_->Sync();
        return;
    }
    const int64_t n = channels_, total = frames_, at = takeRequest_.at;
    // A punch-in stopped early covers as much of its range as it lasted.
    const int64_t removed =
        takeRequest_.place == TTakePlace::kReplace ? std::min(frames, takeRequest_.end - at) : 0;
    const TMarkerList marks =
        dropoutMarks(at, MarkersAfterInsert(MarkersAfterDelete(markers_, at, removed), at, frames));
    try {
        TLargeFile source(take);
        RunEdit(
            total - removed + frames,
            [&](TLargeFile& src, TVersionWriter& dst) {
                dst.CopyFrom(src, 0, 0, at * n);
                std::vector<int16_t> block(size_t(kTakeBlockFrames * n));
                for (int64_t f = 0; f < frames; f += kTakeBlockFrames) {
                    const int64_t k = std::min(kTakeBlockFrames, frames - f);
                    source.ReadSamples(block.data(), f * n, (f + k) * n - 1);
                    dst.WriteSamples(block.data(), (at + f) * n, (at + f + k) * n - 1);
                    progress_ = int32_t((f + k) * 100 / frames);
                }
                dst.CopyFrom(src, (at + removed) * n, (at + frames) * n,
                             (total - at - removed) * n);
            },
            0, &marks);
    } catch (...) {
        RunOnUiThread([&] { JournalStep(); });
        RemoveVersionFile(take);
        throw;
    }
    RemoveVersionFile(take);
}
