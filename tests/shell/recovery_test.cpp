// The start-up offer of work a run left behind when it ended without closing its document.
#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QProcess>
#include <signal.h>

#include "settings.h"
#include "shell_fixture.h"
#include "shelltexts.h"
#include "versionfiles.h"
#include "wavfile.h"

namespace {

struct TOfferCase {
    const char* name;
    bool commandLineFile;     // the program was started with a file
    QMessageBox::StandardButton answer;
    const char* shownName;    // in the question
    const char* loaded;       // the document's file after ("" none)
    bool recovered;           // the document holds the run's work
    bool quitWhileAsking = false;  // a quit signal ends the program with the question open
};

class RecoveryOffer : public ::testing::TestWithParam<TOfferCase>, public TShellFixture {
protected:
    // A run of the command-line editor killed once it has inverted the sound (a reverse or
    // two may have followed).
    static void LeaveWorkBehind(const QString& path) {
        QStringList args{path, "--timings", "--invert"};
        for (int i = 0; i < 40; ++i) args << "--reverse";
        QProcess p;
        p.start(ORVANE_CLI, args);
        ASSERT_TRUE(p.waitForStarted());
        QByteArray err;
        while (!err.contains("timing: invert") && p.state() == QProcess::Running) {
            p.waitForReadyRead(20);
            err += p.readAllStandardError();
        }
        ASSERT_EQ(p.state(), QProcess::Running) << err.toStdString();
        ::kill(pid_t(p.processId()), SIGKILL);
        p.waitForFinished();
    }
};

TEST_P(RecoveryOffer, OffersTheWorkBackAndFollowsTheAnswer) {
    const TOfferCase& c = GetParam();
    const QString song = WriteStereo("song.wav", 44100 * 20, 44100);
    const QString other = WriteStereo("other.wav", 800);
    const std::vector<int16_t> original = ReadWavSamples(song);
    LeaveWorkBehind(song);
    ASSERT_EQ(Twavefile::RecoverableSessions().size(), 1u);

    form.reset();
    dialogs.answers = {c.answer};
    if (c.quitWhileAsking) dialogs.whileAsking = [this] { form->Terminate(); };
    Make(c.commandLineFile ? QStringList{other} : QStringList{}, true);
    for (int i = 0; i < 5; ++i) Wait();

    ASSERT_EQ(dialogs.questions.size(), 1);
    if (c.quitWhileAsking) {
        // No answer was given: the work waits for the next start.
        EXPECT_EQ(Twavefile::RecoverableSessions().size(), 1u);
        EXPECT_EQ(form->Document().FileName(), QString());
        for (const auto& s : Twavefile::RecoverableSessions()) Twavefile::DiscardSession(s.id);
        return;
    }
    EXPECT_EQ(dialogs.questions[0], MsgText("recoveroffer").arg(c.shownName));
    EXPECT_EQ(form->Document().FileName(), *c.loaded ? dir.path(c.loaded) : QString());
    // Taken or refused, the session is gone.
    EXPECT_TRUE(Twavefile::RecoverableSessions().empty());
    Twavefile& doc = form->Document();
    if (c.recovered) {
        ASSERT_TRUE(form->Loaded());
        EXPECT_TRUE(doc.Modified());
        EXPECT_TRUE(doc.CanUndo());
        EXPECT_TRUE(Cmd().UndoAction->isEnabled());
        EXPECT_EQ(form->windowTitle(), "*song.wav - Orvane");  // recovered work is unsaved
        std::vector<int16_t> got(doc.Store()->SampleCount());
        doc.Store()->ReadSamples(got.data(), 0, int64_t(got.size()) - 1);
        ASSERT_EQ(got.size(), original.size());
        // Inverted, and reversed an even or odd number of times.
        EXPECT_TRUE(got[0] == int16_t(-original[0]) ||
                    got[0] == int16_t(-original[original.size() - 2]));
        // Undo works as it did in the run that ended.
        Cmd().UndoAction->trigger();
        Wait();
        EXPECT_TRUE(doc.Ready());
    } else {
        EXPECT_FALSE(doc.Modified());
    }
    // The start-up sweep takes the version the kill left half written.
    RemoveStaleVersionFiles(TempFolder());
    form.reset();
    EXPECT_EQ(QDir(TempFolder()).entryList({"~ov??????"}, QDir::Files), QStringList());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RecoveryOffer,
    ::testing::Values(
        TOfferCase{"Yes", false, QMessageBox::Yes, "song.wav", "song.wav", true},
        TOfferCase{"No", false, QMessageBox::No, "song.wav", "", false},
        // The command line's file opens after a No, and gives way to the recovered work.
        TOfferCase{"NoThenCommandLineFile", true, QMessageBox::No, "song.wav",
                   "other.wav", false},
        TOfferCase{"YesBeforeCommandLineFile", true, QMessageBox::Yes, "song.wav",
                   "song.wav", true},
        TOfferCase{"QuitSignalWhileAsking", false, QMessageBox::No, "song.wav", "", false, true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
