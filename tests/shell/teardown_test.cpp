// The program ended by SIGTERM in the middle of a save, with a dropped file's open still queued:
// the window, its extras and the document go without anything reaching a freed part, without a
// question, and without leaving version or half-written files. Its own binary: the signal ends
// the application's event loop.
#include <gtest/gtest.h>
#include <signal.h>

#include <QDir>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include "quitsignals.h"
#include "settings.h"
#include "shell_fixture.h"
#include "shelldialogs.h"
#include "wavfile.h"

namespace {

class Teardown : public ::testing::Test, public TShellFixture {
protected:
    void Drop(const QString& path) { DropFile(form.get(), path); }
};

TEST_F(Teardown, SigtermDuringASaveWithAQueuedOpen) {
    const QString song = WriteStereo("song.wav", 44100 * 120, 44100);
    const QString other = WriteStereo("other.wav", 800);
    const QByteArray original = ReadAll(song);
    std::vector<int16_t> inverted = ReadWavSamples(song);
    for (int16_t& x : inverted) x = int16_t(-int32_t(x));
    form->AdoptExtras(std::make_unique<TShellDialogs>(*form));
    Tmainform* running = form.get();
    const TQuitSignals quitSignals([&running] {
        if (running) running->Terminate();
    });
    Open(song);
    ASSERT_TRUE(form->Loaded());
    Cmd().InvertAction->trigger();
    Wait();
    dialogs.questions.clear();

    Cmd().SaveAction->trigger();
    ASSERT_TRUE(form->Document().Busy());
    ::raise(SIGTERM);
    QElapsedTimer clock;
    clock.start();
    while (form->isVisible() && clock.elapsed() < 10000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    ASSERT_FALSE(form->isVisible());
    // The drop arrives after the signal: its open is queued when the window goes.
    Drop(other);
    const bool busy = form->Document().Busy();
    running = nullptr;
    form.reset();

    EXPECT_TRUE(busy) << "the save ended before the window went: nothing was tested";
    EXPECT_TRUE(dialogs.questions.isEmpty()) << dialogs.questions.join('|').toStdString();
    EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join('|').toStdString();
    // The save was cancelled (the file as it was) or had already finished whole; nothing of
    // the run is left.
    if (ReadAll(song) != original) {
        const std::vector<int16_t> saved = ReadWavSamples(song);
        ASSERT_EQ(saved.size(), inverted.size());
        EXPECT_TRUE(saved == inverted);
    }
    EXPECT_EQ(QDir(TempFolder()).entryList({"~ov*"}, QDir::Files), QStringList());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
              (QStringList{"other.wav", "song.wav"}));
}

}  // namespace
