// Cancelling a long operation at random moments: either it was cancelled and the document, its
// history and both folders are exactly as before, or the cancel came too late and it finished.
// ORVANE_CANCEL_SECONDS sets the length of the stereo sound (40 s unless set; an hour by the
// script bench/cancel.sh).
#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <random>

#include "doctest_util.h"

namespace {

struct TCancelCase {
    const char* name;
    std::function<void(Twavefile&, const QString& folder)> start;
};

void PrintTo(const TCancelCase& c, std::ostream* os) {
    *os << c.name;
}

// Everything a cancelled operation must leave as it was.
struct TSnapshot {
    std::vector<int16_t> samples;
    QStringList undo, redo;
    bool modified = false, ready = false;
    QString fileName;
    QStringList files;  // name, size and content hash of every file in the folder
    bool operator==(const TSnapshot&) const = default;
};

class Cancelling : public ::testing::TestWithParam<TCancelCase>, public TDocFixture {
protected:
    TSnapshot Take() {
        TSnapshot s;
        if (doc.Store()) s.samples = Samples();
        s.undo = doc.UndoStack().Items();
        s.redo = doc.RedoStack().Items();
        s.modified = doc.Modified();
        s.ready = doc.Ready();
        s.fileName = doc.FileName();
        const QDir folder(dir.path());
        for (const QFileInfo& fi : folder.entryInfoList(QDir::Files | QDir::Hidden, QDir::Name)) {
            QFile f(fi.filePath());
            f.open(QIODevice::ReadOnly);
            s.files << fi.fileName() + " " + QString::number(fi.size()) + " " +
                           QCryptographicHash::hash(f.readAll(), QCryptographicHash::Md5).toHex();
        }
        return s;
    }
};

TEST_P(Cancelling, LeavesEverythingAsItWasOrFinishesWhole) {
    const int seconds = qEnvironmentVariableIntValue("ORVANE_CANCEL_SECONDS");
    const size_t frames = size_t(seconds > 0 ? seconds : 40) * 44100;
    std::vector<int16_t> sound(2 * frames);
    for (size_t i = 0; i < sound.size(); ++i) sound[i] = int16_t((i * 2654435761u) >> 17);
    WriteWav(dir.path("song.wav"), 2, 44100, sound);
    WriteWav(dir.path("target.wav"), 1, 8000, std::vector<int16_t>(100, 7));
    doc.OnMp3Settings = [](Twavefile*) { return std::optional<TMp3Choices>(TMp3Choices{}); };
    doc.OnEncodeSettings = [](Twavefile*, TEncodeFormat f) {
        return std::optional<TEncodeSettings>(TEncodeSettings{f});
    };
    // Old files that a cancelled save must leave as they were.
    for (const char* name : {"target.flac", "target.ogg", "target.opus"}) {
        QFile old(dir.path(name));
        old.open(QIODevice::WriteOnly);
        old.write(name);
    }
    const bool load = std::string(GetParam().name) == "Load";
    // A history on both sides, so that a cancel must give back the redo versions too.
    Load(dir.path("song.wav"));
    doc.Invert();
    Wait();
    doc.Reverse();
    Wait();
    doc.Undo();
    Wait();
    // A long clipboard, so that a paste takes long enough to be caught.
    doc.Copy(0, doc.Frames() / 4);
    Wait();
    if (load) doc.Close();

    // The operation's length, so that the moments fall inside it.
    QElapsedTimer timer;
    timer.start();
    GetParam().start(doc, dir.path());
    Wait();
    const qint64 span = std::max<qint64>(timer.nsecsElapsed() / 1000, 1000);
    if (load) doc.Close();
    ASSERT_TRUE(notifier.errors.empty()) << notifier.errors[0];

    std::mt19937 random(20);
    int cancelled = 0;
    for (int moment = 0; moment < 10; ++moment) {
        const TSnapshot before = Take();
        // The first moment is at once, the others anywhere in the operation.
        const qint64 delay = moment == 0 ? 0 : qint64(random() % uint64_t(span));
        GetParam().start(doc, dir.path());
        ASSERT_TRUE(doc.Busy());
        timer.restart();
        while (doc.Busy() && timer.nsecsElapsed() / 1000 < delay) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        }
        doc.Cancel();
        Wait();
        EXPECT_TRUE(notifier.errors.empty()) << notifier.errors[0];
        if (!doc.Cancelled()) {
            if (load) doc.Close();
            continue;
        }
        ++cancelled;
        EXPECT_TRUE(Take() == before) << "moment " << moment << " after " << delay << " us";
    }
    RecordProperty("cancelled", cancelled);
    EXPECT_GE(cancelled, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Operations, Cancelling,
    ::testing::Values(
        TCancelCase{"Load", [](Twavefile& d, const QString& f) { d.LoadFile(f + "/song.wav"); }},
        TCancelCase{
            "SaveWav",
            [](Twavefile& d, const QString& f) { d.SaveRange(f + "/target.wav", 0, d.Frames()); }},
        TCancelCase{"SaveMp3",
                    [](Twavefile& d, const QString& f) {
                        d.SaveRange(f + "/target.mp3", 0, d.Frames() / 8);
                    }},
        TCancelCase{"SaveFlac",
                    [](Twavefile& d, const QString& f) {
                        d.SaveRange(f + "/target.flac", 0, d.Frames() / 2);
                    }},
        TCancelCase{"SaveVorbis",
                    [](Twavefile& d, const QString& f) {
                        d.SaveRange(f + "/target.ogg", 0, d.Frames() / 8);
                    }},
        TCancelCase{"SaveOpus",
                    [](Twavefile& d, const QString& f) {
                        d.SaveRange(f + "/target.opus", 0, d.Frames() / 8);
                    }},
        TCancelCase{"Invert", [](Twavefile& d, const QString&) { d.Invert(); }},
        TCancelCase{"Normalize", [](Twavefile& d, const QString&) { d.Normalize(90); }},
        TCancelCase{"Delete", [](Twavefile& d, const QString&) { d.Delete(100, 2000); }},
        TCancelCase{"Paste", [](Twavefile& d, const QString&) { d.Paste(d.Frames() / 2); }},
        TCancelCase{"FadeIn", [](Twavefile& d, const QString&) { d.FadeIn(0, d.Frames()); }},
        TCancelCase{"LowPass",
                    [](Twavefile& d, const QString&) { d.ApplyFilter({"lowpass", {1000, 24}}, 0, 0); }},
        TCancelCase{"Tempo",
                    [](Twavefile& d, const QString&) { d.ApplyFilter({"tempo", {80}}, 0, 0); }}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
