// A journal damaged by a crash (cut short anywhere, garbage after it, a line in the middle
// spoilt): what comes back is the last whole step, the start-up sweep keeps exactly the versions
// that step names, and a recovered session goes on journaling where it stopped.
#include <gtest/gtest.h>

#include <QDir>
#include <functional>
#include <memory>

#include "doctest_util.h"
#include "session.h"
#include "versionfiles.h"

namespace {

// The session of a run that was editing: loaded A, edited to B and C, undid to B, saved B,
// edited to D. Versions are written by hand, unlocked, as a killed run leaves them; E is the
// version of an edit in flight that no line names.
class DamagedJournal : public ::testing::Test {
protected:
    struct TExpect {
        const char* current;
        int undo, redo;
        bool modified;
    };
    // Per whole line, 1-based; line 1 (just loaded) has nothing to recover.
    const std::vector<TExpect> expect{{"A", 0, 0, false}, {"B", 1, 0, true},  {"C", 2, 0, true},
                                      {"B", 1, 1, true},  {"B", 1, 1, false}, {"D", 2, 0, true}};

    void SetUp() override {
        for (const char* v : {"A", "B", "C", "D", "E"}) WriteVersion(v);
        const auto step = [&](const char* cur, QStringList undo, QStringList redo,
                              const char* saved, bool modified) {
            TJournalStep s;
            s.fileName = dir.path("song.wav");
            s.current = Path(cur);
            for (QString& p : undo) p = Path(p.toLatin1().constData());
            for (QString& p : redo) p = Path(p.toLatin1().constData());
            s.undo = undo;
            s.redo = redo;
            s.saved = Path(saved);
            s.modified = modified;
            return s;
        };
        TSession session;
        ASSERT_TRUE(session.Start());
        id = session.Id();
        for (const TJournalStep& s :
             {step("A", {}, {}, "A", false), step("B", {"A"}, {}, "A", true),
              step("C", {"B", "A"}, {}, "A", true), step("B", {"A"}, {"C"}, "A", true),
              step("B", {"A"}, {"C"}, "B", false), step("D", {"B", "A"}, {}, "B", true)}) {
            ASSERT_TRUE(session.Append(s));
        }
        journal = SessionsFolder() + "/" + id + "/journal";
        whole = ReadAll(journal);
        for (qsizetype at = 0; (at = whole.indexOf('\n', at)) >= 0; ++at) ends.push_back(at + 1);
        ASSERT_EQ(ends.size(), expect.size());
    }
    // The session folder goes with the test's state folder; the versions with `dir`.
    void TearDown() override { DeleteSession(id); }

    QString Path(const char* version) const {
        return dir.path(QString("~ov%1aaaaa").arg(QChar(version[0])));
    }
    static std::vector<int16_t> Sound(const char* version) {
        std::vector<int16_t> s(2 * 500);
        for (size_t i = 0; i < s.size(); ++i) s[i] = int16_t(version[0] * 100 + int(i % 7));
        return s;
    }
    void WriteVersion(const char* v) {
        WriteWav(Path(v), 2, 44100, Sound(v));
        QFile peaks(PeakFilePath(Path(v)));
        peaks.open(QIODevice::WriteOnly);
        peaks.write("not a peak file");
    }
    void Replace(const QByteArray& bytes) {
        QFile f(journal);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
    // Whole lines in the first `size` bytes; a line that lacks only its newline is whole.
    int LinesIn(qsizetype size) const {
        int n = 0;
        for (const qsizetype end : ends) n += end - 1 <= size ? 1 : 0;
        return n;
    }

    TTempFolder dir;
    TEnv state{"XDG_STATE_HOME", QFile::encodeName(dir.path("state")).toStdString()};
    QString id, journal;
    QByteArray whole;
    std::vector<qsizetype> ends;  // the offset after each line's newline
};

TEST_F(DamagedJournal, CutAnywhereReadsUpToTheLastWholeLine) {
    // Every fifth offset, and each line's last two bytes and the first of the next.
    std::vector<qsizetype> sizes;
    for (qsizetype size = 0; size <= whole.size(); size += 5) sizes.push_back(size);
    for (const qsizetype end : ends) sizes.insert(sizes.end(), {end - 2, end - 1, end, end + 1});
    for (const qsizetype size : sizes) {
        Replace(whole.left(size));
        TSessionInfo info;
        const int lines = LinesIn(size);
        ASSERT_EQ(ReadSession(id, info), lines > 0) << "cut at " << size;
        if (lines == 0) continue;
        EXPECT_EQ(info.steps, lines) << "cut at " << size;
        const TExpect& e = expect[size_t(lines - 1)];
        EXPECT_EQ(info.last.current, Path(e.current)) << "cut at " << size;
        EXPECT_EQ(info.last.undo.size(), e.undo) << "cut at " << size;
        EXPECT_EQ(info.last.redo.size(), e.redo) << "cut at " << size;
        EXPECT_EQ(info.last.modified, e.modified) << "cut at " << size;
    }
}

struct TDamage {
    const char* name;
    // The journal as the crash left it, from the whole one and each line's end.
    std::function<QByteArray(const QByteArray&, const std::vector<qsizetype>&)> damage;
    int lastWhole;          // the line recovered (0: nothing to recover)
    bool cDeleted = false;  // the redo version C was deleted by the step after the last line
};

void PrintTo(const TDamage& d, std::ostream* os) {
    *os << d.name;
}

class Damaged : public DamagedJournal, public ::testing::WithParamInterface<TDamage> {};

TEST_P(Damaged, RecoversTheLastWholeStepAndSweepsTheRest) {
    const TDamage& p = GetParam();
    Replace(p.damage(whole, ends));
    if (p.cDeleted) RemoveVersionFile(Path("C"));
    const bool offered = p.lastWhole > 1;
    // The start-up sweep: versions of a session that is offered stay, with their peak files.
    RemoveStaleVersionFiles(dir.path());
    QStringList named;
    if (offered) {
        const TExpect& e = expect[size_t(p.lastWhole - 1)];
        TSessionInfo info;
        ASSERT_TRUE(ReadSession(id, info));
        named = QStringList{info.last.current} + info.last.undo + info.last.redo;
        if (p.cDeleted) named.removeAll(Path("C"));
        ASSERT_EQ(info.last.current, Path(e.current));
    }
    for (const char* v : {"A", "B", "C", "D", "E"}) {
        const bool keep = named.contains(Path(v));
        EXPECT_EQ(QFile::exists(Path(v)), keep) << v;
        EXPECT_EQ(QFile::exists(PeakFilePath(Path(v))), keep) << v;
    }
    const auto sessions = Twavefile::RecoverableSessions();
    ASSERT_EQ(sessions.size(), offered ? 1u : 0u);
    if (!offered) return;

    // The document comes back as that step left it, and goes on from there.
    const TExpect& e = expect[size_t(p.lastWhole - 1)];
    TRecordingNotifier notifier;
    auto doc = std::make_unique<Twavefile>(&notifier);
    ASSERT_TRUE(doc->Recover(id));
    while (doc->Busy()) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    ASSERT_TRUE(doc->Ready()) << (notifier.errors.empty() ? "" : notifier.errors[0]);
    std::vector<int16_t> got(doc->Store()->SampleCount());
    doc->Store()->ReadSamples(got.data(), 0, int64_t(got.size()) - 1);
    EXPECT_EQ(got, Sound(e.current));
    EXPECT_EQ(doc->UndoStack().Items().size(), e.undo);
    EXPECT_EQ(doc->RedoStack().Items().size(), p.cDeleted ? 0 : e.redo);
    EXPECT_EQ(doc->Modified(), e.modified);
    EXPECT_EQ(doc->FileName(), dir.path("song.wav"));

    // A second crash after one more step must find that step, not the damaged tail.
    doc->Invert();
    while (doc->Busy()) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    const QString inverted = doc->TempPath();
    doc.reset();
    TSessionInfo again;
    ASSERT_TRUE(ReadSession(id, again));
    EXPECT_EQ(again.last.current, inverted);
    EXPECT_EQ(again.last.undo.size(), e.undo + 1);
    EXPECT_TRUE(again.last.modified);
    // Refusing it leaves nothing behind.
    EXPECT_TRUE(Twavefile::DiscardSession(id));
    RemoveStaleVersionFiles(dir.path());
    EXPECT_TRUE(dir.tempFiles().isEmpty()) << dir.tempFiles().join(' ').toStdString();
    EXPECT_TRUE(dir.peakFiles().isEmpty()) << dir.peakFiles().join(' ').toStdString();
}

using TEnds = std::vector<qsizetype>;
INSTANTIATE_TEST_SUITE_P(
    Journals, Damaged,
    ::testing::Values(
        TDamage{"Whole", [](const QByteArray& j, const TEnds&) { return j; }, 6},
        TDamage{"Empty", [](const QByteArray&, const TEnds&) { return QByteArray(); }, 0},
        TDamage{"OnlyTheLoad", [](const QByteArray& j, const TEnds& e) { return j.left(e[0]); }, 1},
        TDamage{"CutInsideTheSecondLine",
                [](const QByteArray& j, const TEnds& e) { return j.left(e[0] + 30); }, 1},
        TDamage{"CutInsideTheLastLine",
                [](const QByteArray& j, const TEnds& e) { return j.left(e[4] + 40); }, 5},
        TDamage{"LastLineWithoutItsNewline",
                [](const QByteArray& j, const TEnds& e) { return j.left(e[5] - 1); }, 6},
        TDamage{"CutAtALineEnd", [](const QByteArray& j, const TEnds& e) { return j.left(e[3]); },
                4},
        TDamage{"LastLineTornAfterItsRedoVersionWent",
                [](const QByteArray& j, const TEnds& e) { return j.left(e[5] - 20); }, 5, true},
        TDamage{"ZerosAppended",
                [](const QByteArray& j, const TEnds&) { return j + QByteArray(4096, '\0'); }, 6},
        TDamage{"GarbageLinesAppended",
                [](const QByteArray& j, const TEnds&) {
                    return j + "0123456789abcdef {\"current\":\"x\"}\n\xff\xfe garbage\n{}";
                },
                6},
        TDamage{"AMiddleLineSpoilt",
                [](const QByteArray& j, const TEnds& e) {
                    QByteArray d = j;
                    d[e[2] + 25] = d[e[2] + 25] ^ 0x20;
                    return d;
                },
                6},
        TDamage{"TheLastLineSpoilt",
                [](const QByteArray& j, const TEnds& e) {
                    QByteArray d = j;
                    d[e[4] + 3] = 'x';
                    return d;
                },
                5},
        TDamage{"AHalfLineInTheMiddle",
                [](const QByteArray& j, const TEnds& e) {
                    return j.left(e[2]) + j.mid(e[2], 50) + "\n" + j.mid(e[3]);
                },
                6}),
    [](const auto& info) { return std::string(info.param.name); });

// Tags edited and not saved come back with the sound; without such an edit, the file's own.
TEST(RecoveredTags, AreTheEditedOnesElseTheFiles) {
    const auto wait = [](Twavefile& d) {
        while (d.Busy()) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    };
    for (const bool edited : {true, false}) {
        TTempFolder dir;
        TEnv state{"XDG_STATE_HOME", QFile::encodeName(dir.path("state")).toStdString()};
        const QString song = dir.path("song.wav");
        WriteWav(song, 2, 44100, std::vector<int16_t>(2 * 300, 7));
        TTags own;
        own.values["title"] = "Old";
        WriteWavTagsOrThrow(song, own);
        // A document destroyed without Close leaves its session as a killed run would.
        TKilledRun run;
        {
            TRecordingNotifier notifier;
            Twavefile doc(&notifier);
            doc.LoadFile(song);
            wait(doc);
            doc.Invert();
            wait(doc);
            if (edited) {
                TTags tags = doc.Tags();
                tags.values["title"] = "New";
                tags.picture = QByteArray("\x89PNG fake", 9);
                tags.pictureMime = "image/png";
                ASSERT_TRUE(doc.SetTags(tags));
            }
            ASSERT_TRUE(run.Keep(doc));
        }
        run.PutBack();
        TRecordingNotifier notifier;
        Twavefile back(&notifier);
        ASSERT_TRUE(back.Recover(run.id));
        wait(back);
        EXPECT_EQ(back.Tags().values.value("title"), edited ? "New" : "Old") << edited;
        EXPECT_EQ(back.Tags().pictureMime, edited ? "image/png" : "") << edited;
        // A save writes them, and the note goes with the edit it held.
        ASSERT_TRUE(back.Save());
        wait(back);
        EXPECT_EQ(ReadTags(song).values.value("title"), edited ? "New" : "Old") << edited;
        EXPECT_FALSE(QFile::exists(SessionsFolder() + "/" + run.id + "/note-tags")) << edited;
    }
}

}  // namespace
