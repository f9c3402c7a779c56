// Crash recovery: orvane-cli runs random steps on a sound and is killed with SIGKILL at a random
// moment; the session it leaves must come back as the steps reported done said (or with the
// step in flight, whole), through the document and through --recover, and leave nothing after.
// ORVANE_KILL_RUNS sets the number of runs (8 unless set; 200 by bench/recovery.sh).
#include <gtest/gtest.h>
#include <signal.h>

#include <QDir>
#include <QProcess>
#include <random>

#include "doctest_util.h"
#include "settings.h"
#include "versionfiles.h"

namespace {

// The steps as the document should have them: versions by number, their samples, the stacks.
struct TModel {
    std::vector<std::vector<int16_t>> versions;
    int current = 0, saved = 0;
    std::vector<int> undo, redo;  // top last
    void Edit(const std::vector<int16_t>& next) {
        undo.push_back(current);
        if (std::find(redo.begin(), redo.end(), saved) != redo.end()) saved = -1;
        redo.clear();
        versions.push_back(next);
        current = int(versions.size()) - 1;
    }
    void Step(const QString& s) {
        std::vector<int16_t> v = versions[size_t(current)];
        if (s == "reverse") {
            for (size_t f = 0; f < v.size() / 4; ++f) {  // stereo frames swap, channels stay
                std::swap(v[2 * f], v[v.size() - 2 - 2 * f]);
                std::swap(v[2 * f + 1], v[v.size() - 1 - 2 * f]);
            }
            Edit(v);
        } else if (s == "invert") {
            for (int16_t& x : v) x = int16_t(-int32_t(x));
            Edit(v);
        } else if (s == "undo" && !undo.empty()) {
            redo.push_back(current);
            current = undo.back();
            undo.pop_back();
        } else if (s == "redo" && !redo.empty()) {
            undo.push_back(current);
            current = redo.back();
            redo.pop_back();
        } else if (s == "save") {
            saved = current;
        }
    }
    bool Modified() const { return current != saved; }
};

TEST(Recovery, AKilledRunComesBackAsItsStepsLeftIt) {
    const int runs = std::max(1, qEnvironmentVariableIntValue("ORVANE_KILL_RUNS"));
    const int requested = qEnvironmentVariableIntValue("ORVANE_KILL_RUNS");
    TTempFolder dir;
    std::vector<int16_t> sound(2 * 44100 * 20);
    for (size_t i = 0; i < sound.size(); ++i) sound[i] = int16_t((i * 2654435761u) >> 17);
    std::mt19937 random(200);
    const QStringList kinds{"reverse", "invert", "undo", "redo", "save"};
    int recovered = 0, inFlight = 0;
    for (int run = 0; run < (requested > 0 ? runs : 8); ++run) {
        const QString song = dir.path("song.wav");
        WriteWav(song, 2, 44100, sound);
        TModel model;
        model.versions.push_back(sound);
        QStringList args{song, "--timings"}, steps;
        const int count = 5 + int(random() % 6);
        for (int i = 0; i < count; ++i) {
            steps << kinds[int(random() % kinds.size())];
            args << (steps.back() == "save" ? QStringList{"-o", song}
                                            : QStringList{"--" + steps.back()});
        }
        QProcess p;
        p.start(ORVANE_CLI, args);
        ASSERT_TRUE(p.waitForStarted());
        p.waitForFinished(100 + int(random() % 900));
        if (p.state() == QProcess::NotRunning) continue;  // finished first: nothing to recover
        ::kill(pid_t(p.processId()), SIGKILL);
        p.waitForFinished();
        // Steps reported done: each timing line after "load".
        const QStringList lines = QString::fromLocal8Bit(p.readAllStandardError()).split('\n');
        int done = -1;
        for (const QString& l : lines) {
            if (l.startsWith("timing: load"))
                done = 0;
            else if (done >= 0 && l.startsWith("timing: ") && !l.startsWith("timing: close"))
                ++done;
        }
        const auto sessions = Twavefile::RecoverableSessions();
        if (done < 0) {
            // Killed before the load was reported: nothing to offer; its files are swept.
            EXPECT_LE(sessions.size(), 1u);
            for (const auto& s : sessions) Twavefile::DiscardSession(s.id);
            RemoveStaleVersionFiles(QString());
            continue;
        }
        for (int i = 0; i < done; ++i) model.Step(steps[i]);
        TModel next = model;
        if (done < count) next.Step(steps[done]);
        // A run with nothing changed has nothing to offer.
        const bool work = !model.undo.empty() || !model.redo.empty() || model.Modified();
        const bool workNext = !next.undo.empty() || !next.redo.empty() || next.Modified();
        if (sessions.empty()) {
            EXPECT_TRUE(!work) << "run " << run << " after " << done << " steps";
            RemoveStaleVersionFiles(QString());
            continue;
        }
        ASSERT_EQ(sessions.size(), 1u) << "run " << run;
        EXPECT_EQ(sessions[0].fileName, song);
        TRecordingNotifier notifier;
        Twavefile doc(&notifier);
        bool loaded = false;
        doc.OnLoaded = [&](Twavefile*) { loaded = true; };
        ASSERT_TRUE(doc.Recover(sessions[0].id));
        while (doc.Busy()) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        ASSERT_TRUE(doc.Ready() && loaded);
        std::vector<int16_t> got(doc.Store()->SampleCount());
        doc.Store()->ReadSamples(got.data(), 0, int64_t(got.size()) - 1);
        auto same = [&](const TModel& m) {
            return got == m.versions[size_t(m.current)] &&
                   doc.UndoStack().Items().size() == qsizetype(m.undo.size()) &&
                   doc.RedoStack().Items().size() == qsizetype(m.redo.size()) &&
                   doc.Modified() == m.Modified();
        };
        const bool asDone = same(model), asNext = workNext && same(next);
        EXPECT_TRUE(asDone || asNext)
            << "run " << run << " after " << done << " of " << steps.join(' ').toStdString();
        ++recovered;
        if (!asDone && asNext) ++inFlight;
        // Undo works as before: it reaches the version below.
        if (!model.undo.empty() && asDone) {
            doc.Undo();
            while (doc.Busy()) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            EXPECT_TRUE(doc.Ready());
        }
        // Half the runs keep the work (then close), half refuse it; nothing stays either way.
        if (run % 2 == 0) {
            doc.Close();
        } else {
            Twavefile::DiscardSession(sessions[0].id);
        }
        RemoveStaleVersionFiles(QString());
        const QStringList left = QDir(DefaultTempFolder()).entryList({"~ov*"}, QDir::Files);
        EXPECT_TRUE(left.isEmpty()) << left.join(' ').toStdString();
        EXPECT_TRUE(Twavefile::RecoverableSessions().empty());
    }
    RecordProperty("recovered", recovered);
    RecordProperty("inflight", inFlight);
    std::printf("recovered %d, of which with the step in flight %d\n", recovered, inFlight);
}

}  // namespace
