// Every file call an operation makes, failed in turn: for each operation the calls are counted on
// a clean run, then the operation is repeated once per call with that call failing (ENOSPC, EIO).
// After each failure the user has been told once, the samples are what they were (after Undo
// when the edit was left broken), a save's target is whole, and no stray file is left.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QSet>
#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>

#include "doctest_util.h"
#include "fileio.h"
#include "messages.h"

namespace {

constexpr uint16_t kChannels = 2;
constexpr uint32_t kFrames = 3000;

std::vector<int16_t> Source() {
    std::vector<int16_t> v(size_t(kFrames) * kChannels);
    for (size_t i = 0; i < v.size(); ++i) v[i] = int16_t((i * 7919) % 30000 - 15000);
    return v;
}

QByteArray ClipImage() {
    const std::vector<int16_t> s = {100, -100, 200, -200, 300, -300};
    QByteArray img(44, '\0');
    TWavHeader::Pcm16(kChannels, 44100, uint32_t(s.size() * 2))
        .WriteTo(reinterpret_cast<uint8_t*>(img.data()));
    img.append(reinterpret_cast<const char*>(s.data()), qsizetype(s.size() * 2));
    return img;
}

// Passes every call to the failing one and notes whether the call that failed was on a peak file:
// those are a shortcut for undo and redo, and losing one costs only a rebuild later, so their
// failure is not reported.
class TPeakAwareIO final : public TFileIO {
    // The call, noting whether it is the one that fails and concerns a peak file.
    template <typename F>
    auto Watch(bool peak, F call) {
        const bool before = inner_.Fired();
        auto result = call();
        if (!before && inner_.Fired() && peak) peakFailed_ = true;
        return result;
    }

public:
    explicit TPeakAwareIO(TFailingFileIO& inner) : inner_(inner) {}
    bool PeakFileFailed() const { return peakFailed_; }
    void Reset() {
        std::lock_guard<std::mutex> g(m_);
        peakFailed_ = false;
        peakFds_.clear();
    }

    int Open(const char* path, int flags, mode_t mode = 0) override {
        const int fd = Watch(IsPeak(path), [&] { return inner_.Open(path, flags, mode); });
        std::lock_guard<std::mutex> g(m_);
        if (fd >= 0 && IsPeak(path)) peakFds_.insert(fd);
        return fd;
    }
    int OpenUnique(char* t, int flags) override {
        return Watch(false, [&] { return inner_.OpenUnique(t, flags); });
    }
    ssize_t Read(int fd, void* d, size_t n) override {
        return Watch(Peak(fd), [&] { return inner_.Read(fd, d, n); });
    }
    ssize_t PRead(int fd, void* d, size_t n, off_t o) override {
        return Watch(Peak(fd), [&] { return inner_.PRead(fd, d, n, o); });
    }
    ssize_t Write(int fd, const void* d, size_t n) override {
        return Watch(Peak(fd), [&] { return inner_.Write(fd, d, n); });
    }
    ssize_t PWrite(int fd, const void* d, size_t n, off_t o) override {
        return Watch(Peak(fd), [&] { return inner_.PWrite(fd, d, n, o); });
    }
    int Allocate(int fd, off_t o, off_t n) override {
        return Watch(Peak(fd), [&] { return inner_.Allocate(fd, o, n); });
    }
    void* Map(size_t n, int prot, int flags, int fd, off_t o) override {
        return Watch(Peak(fd), [&] { return inner_.Map(n, prot, flags, fd, o); });
    }
    int Sync(int fd) override {
        return Watch(Peak(fd), [&] { return inner_.Sync(fd); });
    }
    ssize_t CopyRange(int in, loff_t* oi, int out, loff_t* oo, size_t n) override {
        return Watch(false, [&] { return inner_.CopyRange(in, oi, out, oo, n); });
    }
    int Rename(const char* from, const char* to) override {
        return Watch(false, [&] { return inner_.Rename(from, to); });
    }
    int Unlink(const char* path) override {
        return Watch(IsPeak(path), [&] { return inner_.Unlink(path); });
    }
    int Close(int fd) override {
        const bool peak = Peak(fd);
        {
            std::lock_guard<std::mutex> g(m_);
            peakFds_.erase(fd);
        }
        return Watch(peak, [&] { return inner_.Close(fd); });
    }

private:
    // Peak files and the session journal only help: their failure may cost the peaks (which
    // then come from the samples) or the recovery, never the operation.
    static bool IsPeak(const char* path) {
        const QByteArray p(path);
        return p.endsWith(".pk") || p.contains("/orvane/sessions/");
    }
    bool Peak(int fd) {
        {
            std::lock_guard<std::mutex> g(m_);
            if (peakFds_.count(fd) != 0) return true;
        }
        // The journal is opened once, before the watched run: known by its path.
        char path[4096];
        const ssize_t n = ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), path,
                                     sizeof path - 1);
        return n > 0 && IsPeak(std::string(path, size_t(n)).c_str());
    }

    TFailingFileIO& inner_;
    std::mutex m_;
    std::set<int> peakFds_;
    std::atomic<bool> peakFailed_{false};
};

// One document through one attempt of the operation.
struct TRun : TDocFixture {
    TRun() {
        QDir().mkpath(dir.path("out"));
        doc.OnMp3Settings = [](Twavefile*) { return std::optional<TMp3Choices>(TMp3Choices{}); };
    }
    QString Target(const char* name) const { return dir.path("out/") + name; }
    // Version files in the temporary folder that the document does not name.
    QStringList Strays() const {
        QSet<QString> own;
        for (const QString& p : doc.UndoStack().Items()) own.insert(QFileInfo(p).fileName());
        for (const QString& p : doc.RedoStack().Items()) own.insert(QFileInfo(p).fileName());
        if (!doc.TempPath().isEmpty()) own.insert(QFileInfo(doc.TempPath()).fileName());
        QStringList strays;
        for (const QString& f : dir.tempFiles()) {
            if (!own.contains(f)) strays << f;
        }
        for (const QString& f : dir.peakFiles()) {
            if (!own.contains(f.chopped(3))) strays << f;
        }
        return strays;
    }
    QStringList OutFolder() const {
        return QDir(dir.path("out")).entryList(QDir::Files | QDir::Hidden | QDir::System);
    }
    // What an operation's outcome is compared on.
    struct TState {
        std::vector<int16_t> samples;
        qsizetype undo = 0, redo = 0;
        bool operator==(const TState&) const = default;
    };
    TState State() {
        return {doc.Store() ? Samples() : std::vector<int16_t>{}, doc.UndoStack().Items().size(),
                doc.RedoStack().Items().size()};
    }
    // The drawn peaks are those of the samples the document holds.
    void ExpectPeaksMatchSamples() {
        if (!doc.Store()) return;
        Tindexdata table;
        TLevels levels;
        std::atomic<int32_t> progress{0};
        RebuildPeaks(*doc.Store(), doc.Frames(), doc.Channels(), progress, table, levels);
        // A table made while decoding has a spare zero block at its end.
        Tindexdata drawn = doc.PeakTable();
        if (drawn.size() == table.size() + doc.Channels()) drawn.resize(table.size());
        EXPECT_EQ(drawn, table) << "the peak table is not that of the samples";
        EXPECT_EQ(doc.Peak(), levels.peak);
    }
};

enum class TKind { kLoad, kEdit, kUndoRedo, kSave };

struct TOperation {
    const char* name;
    TKind kind;
    std::function<void(TRun&)> prepare;
    std::function<void(TRun&)> run;
    const char* target = nullptr;  // a save's file in out/
    bool targetExists = false;
};

void Loaded(TRun& r) {
    r.LoadSamples(kChannels, Source());
}

void Edited(TRun& r) {
    Loaded(r);
    r.doc.Invert();
    r.Wait();
}

void Undone(TRun& r) {
    Edited(r);
    r.doc.Undo();
    r.Wait();
}

// An edit left broken by a failing file call: the first call whose failure leaves it so.
void BrokenEdit(TRun& r) {
    Loaded(r);
    TFailingFileIO io;
    TScopedFileIO seam(io);
    for (uint64_t n = 1; r.doc.Ready() && n < 100; ++n) {
        io.Arm(n, EIO);
        r.doc.Invert();
        r.Wait();
    }
    ASSERT_FALSE(r.doc.Ready());
    r.notifier.errors.clear();
}

const QByteArray kOldTarget = "the complete old file";

const std::vector<TOperation>& Operations() {
    auto edit = [](const char* name, std::function<void(Twavefile&)> op) {
        return TOperation{name, TKind::kEdit, Loaded, [op](TRun& r) {
                              op(r.doc);
                              r.Wait();
                          }};
    };
    static const std::vector<TOperation> table = {
        {"Load", TKind::kLoad,
         [](TRun& r) { WriteWav(r.dir.path("source.wav"), kChannels, 44100, Source()); },
         [](TRun& r) { r.Load(r.dir.path("source.wav")); }},
        edit("Cut", [](Twavefile& d) { d.Cut(100, 2100); }),
        edit("Copy", [](Twavefile& d) { d.Copy(100, 2100); }),
        {"Paste", TKind::kEdit,
         [](TRun& r) {
             Loaded(r);
             r.clipboard.SetWave(ClipImage());
         },
         [](TRun& r) {
             r.doc.Paste(1500);
             r.Wait();
         }},
        edit("Delete", [](Twavefile& d) { d.Delete(10, 20); }),
        edit("InsertSilence", [](Twavefile& d) { d.InsertSilence(700, 5000); }),
        edit("Normalize", [](Twavefile& d) { d.Normalize(100); }),
        edit("FadeIn", [](Twavefile& d) { d.FadeIn(0, 1000); }),
        edit("FadeOut", [](Twavefile& d) { d.FadeOut(2000, 3000); }),
        edit("Reverse", [](Twavefile& d) { d.Reverse(); }),
        edit("Invert", [](Twavefile& d) { d.Invert(); }),
        edit("Amplify", [](Twavefile& d) { d.Amplify(150); }),
        {"Undo", TKind::kUndoRedo, Edited,
         [](TRun& r) {
             r.doc.Undo();
             r.Wait();
         }},
        {"UndoBrokenEdit", TKind::kUndoRedo, BrokenEdit,
         [](TRun& r) {
             r.doc.Undo();
             r.Wait();
         }},
        {"Redo", TKind::kUndoRedo, Undone,
         [](TRun& r) {
             r.doc.Redo();
             r.Wait();
         }},
        {"SaveWav", TKind::kSave,
         [](TRun& r) {
             Edited(r);
             QFile old(r.Target("song.wav"));
             ASSERT_TRUE(old.open(QIODevice::WriteOnly));
             old.write(kOldTarget);
         },
         [](TRun& r) {
             ASSERT_TRUE(r.doc.SaveRange(r.Target("song.wav"), 0, r.doc.Frames()));
             r.Wait();
         },
         "song.wav", true},
        {"SaveMp3", TKind::kSave, Edited,
         [](TRun& r) {
             ASSERT_TRUE(r.doc.SaveRange(r.Target("song.mp3"), 0, r.doc.Frames()));
             r.Wait();
         },
         "song.mp3", false},
    };
    return table;
}

struct TSweepCase {
    size_t operation;
    int error;
};

void PrintTo(const TSweepCase& c, std::ostream* os) {
    *os << Operations()[c.operation].name << (c.error == ENOSPC ? " ENOSPC" : " EIO");
}

std::string CaseName(const ::testing::TestParamInfo<TSweepCase>& info) {
    return std::string(Operations()[info.param.operation].name) +
           (info.param.error == ENOSPC ? "_ENOSPC" : "_EIO");
}

std::vector<TSweepCase> AllCases() {
    std::vector<TSweepCase> cases;
    for (size_t i = 0; i < Operations().size(); ++i) {
        for (const int error : {ENOSPC, EIO}) cases.push_back({i, error});
    }
    return cases;
}

// Says what failed in words: the system's text for the error, or the program's own message
// for a full disk or a failed write.
bool ClearText(const std::string& message, int error) {
    return message.find(std::strerror(error)) != std::string::npos ||
           (error == ENOSPC && message.find(Msg("outofmemory")) != std::string::npos) ||
           message.rfind(Msg("writeerror"), 0) == 0;
}

class FailureSweep : public ::testing::TestWithParam<TSweepCase> {};

TEST_P(FailureSweep, EveryCallFailingLeavesTheDocumentAndTheFilesWhole) {
    const TOperation& op = Operations()[GetParam().operation];
    const int error = GetParam().error;
    TFailingFileIO io;
    TPeakAwareIO aware(io);

    // The clean run: how many calls, and what a successful run leaves.
    TRun::TState before, after;
    QByteArray saved;
    uint64_t calls = 0;
    {
        TRun r;
        op.prepare(r);
        before = r.State();
        {
            TScopedFileIO seam(aware);
            io.Arm(0, 0);
            op.run(r);
            calls = io.Calls();
        }
        ASSERT_TRUE(r.notifier.errors.empty()) << r.notifier.errors[0];
        ASSERT_TRUE(r.doc.Ready());
        after = r.State();
        if (op.target) saved = ReadAll(r.Target(op.target));
        ASSERT_GT(calls, 0u);
    }

    for (uint64_t n = 1; n <= calls; ++n) {
        SCOPED_TRACE("call " + std::to_string(n) + " of " + std::to_string(calls) + " fails");
        TRun r;
        op.prepare(r);
        {
            TScopedFileIO seam(aware);
            aware.Reset();
            io.Arm(n, error);
            op.run(r);
        }
        ASSERT_TRUE(io.Fired());
        SCOPED_TRACE(std::string("the failing call: ") + io.FailedCall());
        EXPECT_TRUE(r.notifier.warnings.empty());
        const bool closing = std::strcmp(io.FailedCall(), "close") == 0;
        const bool removing = std::strcmp(io.FailedCall(), "unlink") == 0;
        if (r.notifier.errors.empty() && (closing || removing || aware.PeakFileFailed())) {
            // Closing a file cannot lose what was written through it on a local disk, and a
            // version that cannot be removed is all a failed removal leaves: either way the
            // operation itself has done its work. Nor may a peak file that could not be read or
            // written change anything: the peaks come from the samples instead.
            EXPECT_TRUE(r.doc.Ready());
            EXPECT_EQ(r.State(), after);
            EXPECT_EQ(r.Strays().size(), removing ? 1 : 0);
            if (op.target) {
                EXPECT_EQ(ReadAll(r.Target(op.target)), saved);
            }
            r.ExpectPeaksMatchSamples();
            continue;
        }
        ASSERT_EQ(r.notifier.errors.size(), 1u);
        EXPECT_TRUE(ClearText(r.notifier.errors[0], error)) << r.notifier.errors[0];
        EXPECT_EQ(r.Strays(), QStringList());

        switch (op.kind) {
            case TKind::kLoad:
                EXPECT_FALSE(r.doc.Ready());
                EXPECT_EQ(r.doc.Store(), nullptr);
                EXPECT_EQ(r.dir.tempFiles(), QStringList());
                r.Load(r.dir.path("source.wav"));  // and it loads once the disk is well again
                EXPECT_EQ(r.State(), after);
                break;
            case TKind::kEdit:
                if (!r.doc.Ready()) {  // the broken edit: Undo brings the old version back
                    ASSERT_EQ(r.doc.UndoStack().Items().size(), before.undo + 1);
                    r.doc.Undo();
                    r.Wait();
                    EXPECT_TRUE(r.doc.Ready());
                    EXPECT_EQ(r.notifier.errors.size(), 1u);
                    EXPECT_EQ(r.Strays(), QStringList());
                    EXPECT_EQ(r.State(), (TRun::TState{before.samples, before.undo, 0}));
                } else {
                    EXPECT_EQ(r.State(), before);
                }
                break;
            case TKind::kUndoRedo:
                EXPECT_EQ(r.State(), before);
                if (!r.doc.Ready()) {  // still the broken edit, and Undo still mends it
                    r.doc.Undo();
                    r.Wait();
                    EXPECT_TRUE(r.doc.Ready());
                    EXPECT_EQ(r.notifier.errors.size(), 1u);
                    EXPECT_EQ(r.State(), after);
                }
                break;
            case TKind::kSave: {
                EXPECT_TRUE(r.doc.Ready());
                EXPECT_EQ(r.State(), before);
                EXPECT_TRUE(r.doc.Modified());
                const QString target = r.Target(op.target);
                const QStringList whole = {op.target};
                if (QFileInfo::exists(target)) {
                    // Once the rename is made the new file is whole, even if syncing the
                    // folder failed after it.
                    const QByteArray now = ReadAll(target);
                    EXPECT_TRUE((op.targetExists && now == kOldTarget) || now == saved)
                        << "the target holds " << now.size() << " bytes";
                    EXPECT_EQ(r.OutFolder(), whole);
                } else {
                    EXPECT_FALSE(op.targetExists) << "the old target is gone";
                    EXPECT_EQ(r.OutFolder(), QStringList());
                }
                break;
            }
        }
        r.ExpectPeaksMatchSamples();
        r.doc.Close();
        EXPECT_EQ(r.dir.tempFiles(), QStringList());
        EXPECT_EQ(r.dir.peakFiles(), QStringList());
        if (HasFailure()) break;  // one call's report is enough to go on
    }
    RecordProperty("calls", std::to_string(calls));
}

INSTANTIATE_TEST_SUITE_P(Operations, FailureSweep, ::testing::ValuesIn(AllCases()), CaseName);

}  // namespace
