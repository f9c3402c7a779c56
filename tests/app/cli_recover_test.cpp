// Crash recovery: orvane-cli runs a random script of edits, effects, undos, redos and saves on
// a sound and is killed with SIGKILL at a random moment; the next start must find the session as
// the steps reported done left it (or with the step in flight, whole), through the document and
// through --recover, keep exactly the versions it names, and leave nothing after.
// ORVANE_KILL_RUNS sets the number of runs (8 unless set; 200 by bench/recovery.sh) and
// ORVANE_KILL_SECONDS the length of the stereo sound (30 unless set).
#include <gtest/gtest.h>
#include <signal.h>

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <random>

#include "doctest_util.h"
#include "session.h"
#include "settings.h"
#include "versionfiles.h"

namespace {

using TSound = std::vector<int16_t>;  // stereo, interleaved

// The document's history as the steps should leave it: versions by number in a pool shared by
// every state, so a state is a few numbers.
struct TModel {
    std::vector<TSound>* pool = nullptr;
    int current = 0, saved = 0;
    std::vector<int> undo, redo;  // top last

    const TSound& Sound() const { return (*pool)[size_t(current)]; }
    bool Modified() const { return current != saved; }
    bool HasWork() const { return !undo.empty() || !redo.empty() || Modified(); }
    void Edit(TSound next) {
        undo.push_back(current);
        if (std::find(redo.begin(), redo.end(), saved) != redo.end()) saved = -1;
        redo.clear();
        pool->push_back(std::move(next));
        current = int(pool->size()) - 1;
    }
};

struct TKind {
    const char* name;
    // The step's arguments for the sound it applies to, and its effect on the model.
    std::function<QStringList(const TSound&, std::mt19937&)> args;
    std::function<void(TModel&, const QStringList& args)> apply;
};

// Frames [s, e) of "--delete S:E".
std::pair<size_t, size_t> Range(const QString& arg) {
    const QStringList p = arg.split(':');
    return {p[0].toULongLong(), p[1].toULongLong()};
}

const std::vector<TKind>& Kinds() {
    static const std::vector<TKind> kinds{
        {"reverse", [](const TSound&, std::mt19937&) { return QStringList{"--reverse"}; },
         [](TModel& m, const QStringList&) {
             TSound v = m.Sound();
             for (size_t f = 0; f < v.size() / 4; ++f) {  // frames swap, channels stay
                 std::swap(v[2 * f], v[v.size() - 2 - 2 * f]);
                 std::swap(v[2 * f + 1], v[v.size() - 1 - 2 * f]);
             }
             m.Edit(std::move(v));
         }},
        {"invert", [](const TSound&, std::mt19937&) { return QStringList{"--invert"}; },
         [](TModel& m, const QStringList&) {
             TSound v = m.Sound();
             for (int16_t& x : v) x = int16_t(-int32_t(x));  // -32768 stays
             m.Edit(std::move(v));
         }},
        {"swap", [](const TSound&, std::mt19937&) { return QStringList{"--swap-channels"}; },
         [](TModel& m, const QStringList&) {
             TSound v = m.Sound();
             for (size_t f = 0; f + 1 < v.size(); f += 2) std::swap(v[f], v[f + 1]);
             m.Edit(std::move(v));
         }},
        {"delete",
         [](const TSound& s, std::mt19937& r) {
             const size_t frames = s.size() / 2, start = r() % (frames / 2);
             const size_t end = start + 1 + r() % (frames / 8);
             return QStringList{"--delete", QString("%1:%2").arg(start).arg(end)};
         },
         [](TModel& m, const QStringList& a) {
             const auto [s, e] = Range(a[1]);
             TSound v = m.Sound();
             v.erase(v.begin() + ptrdiff_t(2 * s), v.begin() + ptrdiff_t(2 * e));
             m.Edit(std::move(v));
         }},
        {"undo", [](const TSound&, std::mt19937&) { return QStringList{"--undo"}; },
         [](TModel& m, const QStringList&) {
             if (m.undo.empty()) return;
             m.redo.push_back(std::exchange(m.current, m.undo.back()));
             m.undo.pop_back();
         }},
        {"redo", [](const TSound&, std::mt19937&) { return QStringList{"--redo"}; },
         [](TModel& m, const QStringList&) {
             if (m.redo.empty()) return;
             m.undo.push_back(std::exchange(m.current, m.redo.back()));
             m.redo.pop_back();
         }},
        {"save",
         [](const TSound&, std::mt19937&) {
             return QStringList{"-o", "SONG"};
         },
         [](TModel& m, const QStringList&) { m.saved = m.current; }},
    };
    return kinds;
}

// One scripted session: the arguments and the model after each step (states[0]: loaded).
struct TScript {
    QStringList args;
    std::vector<TModel> states;
};

TScript MakeScript(const QString& song, std::vector<TSound>& pool, std::mt19937& random) {
    TScript s;
    s.args << song << "--timings";
    TModel m;
    m.pool = &pool;
    s.states.push_back(m);
    const int count = 5 + int(random() % 6);
    for (int i = 0; i < count; ++i) {
        const TKind& k = Kinds()[random() % Kinds().size()];
        QStringList a = k.args(m.Sound(), random);
        k.apply(m, a);
        a.replaceInStrings("SONG", song);
        s.args << a;
        s.states.push_back(m);
    }
    return s;
}

// Steps reported done: the timing lines after the load's (-1: the load was not reported).
int StepsDone(const QByteArray& err) {
    int done = -1;
    for (const QString& l : QString::fromLocal8Bit(err).split('\n')) {
        if (l.startsWith("timing: load"))
            done = 0;
        else if (done >= 0 && l.startsWith("timing: ") && !l.startsWith("timing: close"))
            ++done;
    }
    return done;
}

QStringList VersionFiles() {
    QStringList files = QDir(DefaultTempFolder()).entryList({"~ov??????"}, QDir::Files);
    files.sort(Qt::CaseSensitive);
    return files;
}

std::vector<int16_t> DocSamples(Twavefile& doc) {
    std::vector<int16_t> got(doc.Store()->SampleCount());
    doc.Store()->ReadSamples(got.data(), 0, int64_t(got.size()) - 1);
    return got;
}

void WaitIdle(Twavefile& doc) {
    while (doc.Busy()) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

TEST(Recovery, AKilledRunComesBackAsItsStepsLeftIt) {
    const int requested = qEnvironmentVariableIntValue("ORVANE_KILL_RUNS");
    const int runs = requested > 0 ? requested : 8;
    TTempFolder dir;
    const int seconds = qEnvironmentVariableIntValue("ORVANE_KILL_SECONDS");
    TSound sound(2 * 44100 * size_t(seconds > 0 ? seconds : 30));
    for (size_t i = 0; i < sound.size(); ++i) sound[i] = int16_t((i * 2654435761u) >> 17);
    const QString song = dir.path("song.wav");
    std::mt19937 random(200);

    // The time a whole script takes after its load, per step: the kills are spread over it.
    qint64 perStepMs = 0;
    {
        WriteWav(song, 2, 44100, sound);
        QStringList args{song, "--timings"};
        for (int i = 0; i < 5; ++i)
            args << "--invert"
                 << "--undo"
                 << "--redo"
                 << "-o" << song;
        QProcess p;
        p.start(ORVANE_CLI, args);
        ASSERT_TRUE(p.waitForFinished(60000));
        double seconds = 0;
        for (const QString& l : QString::fromLocal8Bit(p.readAllStandardError()).split('\n')) {
            const QStringList w = l.split(' ');
            if (w.size() == 3 && w[0] == "timing:" && w[1] != "start" && w[1] != "load")
                seconds += w[2].toDouble();
        }
        perStepMs = std::max<qint64>(1, qint64(seconds * 1000 / 20));
    }

    struct {
        int finished = 0, beforeLoad = 0, nothing = 0, asDone = 0, inFlight = 0, viaCli = 0,
            discarded = 0, closing = 0;
    } n;
    for (int run = 0; run < runs; ++run) {
        WriteWav(song, 2, 44100, sound);
        std::vector<TSound> pool{sound};
        const TScript script = MakeScript(song, pool, random);
        const int count = int(script.states.size()) - 1;
        QProcess p;
        p.setReadChannel(QProcess::StandardError);
        p.start(ORVANE_CLI, script.args);
        ASSERT_TRUE(p.waitForStarted());
        // Every fourth run counts from the start (the load may be cut), the others from the load.
        QByteArray err;
        if (run % 4 != 0) {
            while (!err.contains("timing: load") && p.state() != QProcess::NotRunning) {
                p.waitForReadyRead(50);
                err += p.readAllStandardError();
            }
        }
        const int window = int(perStepMs * (count + 1) + (run % 4 == 0 ? 300 : 0));
        p.waitForFinished(int(random() % uint32_t(window)));
        if (p.state() == QProcess::NotRunning) {
            ++n.finished;
            RemoveStaleVersionFiles(QString());
            continue;
        }
        ::kill(pid_t(p.processId()), SIGKILL);
        p.waitForFinished();
        err += p.readAllStandardError();
        const int done = StepsDone(err);
        const std::string where = "run " + std::to_string(run) + " after " + std::to_string(done) +
                                  " of " + script.args.mid(2).join(' ').toStdString();

        // The restart's sweep: every version the session names stays, nothing else does.
        RemoveStaleVersionFiles(QString());
        const auto sessions = Twavefile::RecoverableSessions();
        if (done < 0) {
            ++n.beforeLoad;
            EXPECT_TRUE(sessions.empty()) << where;
            for (const auto& s : sessions) Twavefile::DiscardSession(s.id);
            RemoveStaleVersionFiles(QString());
            EXPECT_TRUE(VersionFiles().isEmpty()) << where;
            continue;
        }
        const TModel& model = script.states[size_t(done)];
        const TModel* next = done < count ? &script.states[size_t(done) + 1] : nullptr;
        if (sessions.empty()) {
            ++(done == count ? n.closing : n.nothing);
            // Nothing changed yet, or the last step was done and the run was closing.
            EXPECT_TRUE(!model.HasWork() || done == count || (next && !next->HasWork())) << where;
            EXPECT_TRUE(VersionFiles().isEmpty()) << where;
            continue;
        }
        ASSERT_EQ(sessions.size(), 1u) << where;
        EXPECT_EQ(sessions[0].fileName, song) << where;
        TSessionInfo info;
        ASSERT_TRUE(ReadSession(sessions[0].id, info));
        QStringList named;
        for (const QString& v : QStringList{info.last.current} + info.last.undo + info.last.redo)
            named << QFileInfo(v).fileName();
        named.sort(Qt::CaseSensitive);
        EXPECT_EQ(VersionFiles().join(' ').toStdString(), named.join(' ').toStdString()) << where;

        if (run % 5 == 4) {
            // Without a display: --recover saves the current version and ends the session.
            const QString out = dir.path("out.wav");
            QProcess r;
            r.start(ORVANE_CLI, {"--recover", sessions[0].id, "-o", out});
            ASSERT_TRUE(r.waitForFinished(60000));
            EXPECT_EQ(r.exitCode(), 0) << r.readAllStandardError().toStdString();
            const TSound got = ReadWavSamples(out);
            EXPECT_TRUE(got == model.Sound() || (next && got == next->Sound())) << where;
            ++n.viaCli;
        } else if (run % 5 == 1 || run % 5 == 3) {
            // Refused: the journal agrees with the model, and the session goes with its files.
            auto same = [&](const TModel& m) {
                return info.last.undo.size() == qsizetype(m.undo.size()) &&
                       info.last.redo.size() == qsizetype(m.redo.size()) &&
                       info.last.modified == m.Modified();
            };
            EXPECT_TRUE(same(model) || (next && same(*next))) << where;
            EXPECT_TRUE(Twavefile::DiscardSession(sessions[0].id)) << where;
            ++n.discarded;
        } else {
            TRecordingNotifier notifier;
            Twavefile doc(&notifier);
            bool loaded = false;
            doc.OnLoaded = [&](Twavefile*) { loaded = true; };
            ASSERT_TRUE(doc.Recover(sessions[0].id));
            WaitIdle(doc);
            ASSERT_TRUE(doc.Ready() && loaded) << where;
            const TSound got = DocSamples(doc);
            auto same = [&](const TModel& m) {
                return got == m.Sound() &&
                       doc.UndoStack().Items().size() == qsizetype(m.undo.size()) &&
                       doc.RedoStack().Items().size() == qsizetype(m.redo.size()) &&
                       doc.Modified() == m.Modified();
            };
            const bool asDone = same(model), asNext = next && next->HasWork() && same(*next);
            auto describe = [](const TModel& m) {
                return std::to_string(m.Sound().size()) + " samples, undo " +
                       std::to_string(m.undo.size()) + ", redo " + std::to_string(m.redo.size()) +
                       (m.Modified() ? ", modified" : "");
            };
            EXPECT_TRUE(asDone || asNext)
                << where << "\ngot " << got.size() << " samples, undo "
                << doc.UndoStack().Items().size() << ", redo " << doc.RedoStack().Items().size()
                << (doc.Modified() ? ", modified" : "") << "; done: " << describe(model)
                << (got == model.Sound() ? " (same samples)" : "")
                << (next ? "; next: " + describe(*next) : std::string());
            if (!asDone && !asNext) {
                doc.Close();
                continue;
            }
            const TModel& m = asDone ? model : *next;
            asDone ? ++n.asDone : ++n.inFlight;
            // Undo works as before: it gives the version below.
            if (!m.undo.empty()) {
                doc.Undo();
                WaitIdle(doc);
                ASSERT_TRUE(doc.Ready()) << where;
                EXPECT_TRUE(DocSamples(doc) == (*m.pool)[size_t(m.undo.back())]) << where;
            }
            // Kept, then closed: nothing stays.
            doc.Close();
        }
        RemoveStaleVersionFiles(QString());
        EXPECT_TRUE(VersionFiles().isEmpty()) << VersionFiles().join(' ').toStdString();
        EXPECT_TRUE(Twavefile::RecoverableSessions().empty()) << where;
    }
    const int killed = runs - n.finished;
    RecordProperty("killed", killed);
    RecordProperty("recovered", n.asDone + n.inFlight + n.viaCli);
    RecordProperty("discarded", n.discarded);
    std::printf(
        "runs %d: finished before the kill %d, killed %d (before the load was reported %d, "
        "no work yet %d, all steps done and closing %d, recovered as the steps done %d, with the "
        "step in flight %d, "
        "through --recover %d, refused %d)\n",
        runs, n.finished, killed, n.beforeLoad, n.nothing, n.closing, n.asDone, n.inFlight,
        n.viaCli, n.discarded);
}

}  // namespace
