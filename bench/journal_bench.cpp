// The journal's cost: one step's line appended with and without its sync, for a history of
// DEPTH versions, and the edits and undos of a document of SECONDS of stereo timed from the
// request to OnReady (journal included). Prints "<row> <median ms>" lines; run by
// bench/journal.sh.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "largefile.h"
#include "session.h"
#include "settings.h"
#include "wavfile.h"

namespace {

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void Row(const char* name, const std::vector<double>& ms) {
    std::printf("%-32s %8.3f\n", name, Median(ms));
    std::fflush(stdout);
}

void WaitIdle(Twavefile& doc) {
    while (doc.Busy()) QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, atoi(argv[1])) : 60;
    const int depth = argc > 2 ? std::max(0, atoi(argv[2])) : 50;
    const int repeats = argc > 3 ? std::max(1, atoi(argv[3])) : 30;
    QTemporaryDir dir(QDir::tempPath() + "/orvane-journal-XXXXXX");
    Settings.tempfolder = dir.path() + "/";

    // The line alone, as an edit (synced) and as an undo (written only) append it.
    TJournalStep step;
    step.fileName = dir.path() + "/song.wav";
    step.current = dir.path() + "/~ovAAAAAA";
    for (int i = 0; i < depth; ++i)
        step.undo << dir.path() + QString("/~ov%1").arg(i, 6, 10, QChar('0'));
    step.saved = step.current;
    step.modified = true;
    for (const QString& v : step.undo) step.views[v] = QJsonArray{1, 2, 3, true, 4, 5};
    for (const bool sync : {true, false}) {
        TSession session;
        if (!session.Start()) return 1;
        std::vector<double> ms;
        for (int i = 0; i < repeats * 10; ++i) {
            QElapsedTimer t;
            t.start();
            session.Append(step, sync);
            ms.push_back(t.nsecsElapsed() / 1e6);
        }
        Row(sync ? "journal line, synced" : "journal line, written", ms);
        session.Remove();
    }

    // The document: request to OnReady, the journal's line included.
    {
        const QString song = dir.path() + "/song.wav";
        const uint32_t frames = uint32_t(seconds) * 44100;
        std::vector<int16_t> samples(2 * size_t(frames));
        for (size_t i = 0; i < samples.size(); ++i) samples[i] = int16_t((i * 2654435761u) >> 17);
        QFile f(song);
        f.open(QIODevice::WriteOnly);
        const TWavHeaderBytes h = TWavHeader::Pcm16(2, 44100, uint32_t(samples.size() * 2)).Bytes();
        f.write(reinterpret_cast<const char*>(h.data()), h.size());
        f.write(reinterpret_cast<const char*>(samples.data()), qint64(samples.size() * 2));
        f.close();
        Twavefile doc;
        doc.LoadFile(song);
        WaitIdle(doc);
        std::vector<double> edit, undo, redo;
        auto timed = [&](std::vector<double>& into, auto request) {
            QElapsedTimer t;
            t.start();
            request();
            WaitIdle(doc);
            into.push_back(t.nsecsElapsed() / 1e6);
        };
        for (int i = 0; i < repeats; ++i) {
            timed(edit, [&] { doc.Delete(0, 1); });
            timed(undo, [&] { doc.Undo(); });
            timed(redo, [&] { doc.Redo(); });
        }
        Row("delete of one frame", edit);
        Row("undo", undo);
        Row("redo", redo);
        doc.Close();
    }
    return 0;
}
