#pragma once
// Driving a Twavefile in tests: WAV files written by hand, the event loop run until an
// operation ends, and the events recorded in order.
#include <cstring>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <string>
#include <vector>

#include <QDir>
#include <utility>

#include "largefile.h"
#include "notifier.h"
#include "session.h"
#include "testutil.h"
#include "versionfiles.h"
#include "wavfile.h"

inline void WriteWav(const QString& path, uint16_t channels, uint32_t rate,
                     const std::vector<int16_t>& samples) {
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    const TWavHeaderBytes h =
        TWavHeader::Pcm16(channels, rate, uint32_t(samples.size() * 2)).Bytes();
    f.write(reinterpret_cast<const char*>(h.data()), h.size());
    f.write(reinterpret_cast<const char*>(samples.data()), qint64(samples.size() * 2));
}

inline std::vector<int16_t> ReadWavSamples(const QString& path) {
    TLargeFile r(path);
    // The data chunk's own size: tag chunks may follow it.
    const TWavHeaderBytes h = r.ReadHeader();
    uint32_t dataBytes = 0;
    std::memcpy(&dataBytes, h.data() + 40, 4);
    std::vector<int16_t> out(std::min<uint32_t>(r.SampleCount(), dataBytes / 2));
    r.ReadSamples(out.data(), 0, int64_t(out.size()) - 1);
    return out;
}

class TRecordingNotifier : public TNotifier {
public:
    void ShowError(const QString& message) override { errors.push_back(message.toStdString()); }
    void ShowWarning(const QString& message, const QString& caption) override {
        warnings.push_back(caption.toStdString() + "|" + message.toStdString());
    }
    void ShowStatus(const QString& message) override { statuses.push_back(message.toStdString()); }
    std::vector<std::string> errors, warnings, statuses;
};

class TDocFixture {
public:
    TDocFixture() : doc(&notifier, &clipboard) {
        doc.OnAction = [this](Twavefile*, bool u, bool r) {
            events.push_back(std::string("action ") + (u ? "1" : "0") + (r ? "1" : "0"));
        };
        doc.OnReady = [this](Twavefile* d) {
            events.push_back("ready");
            progressAtReady = d->Progress();
        };
        doc.OnLoaded = [this](Twavefile*) { events.push_back("loaded"); };
    }
    // Runs the event loop until no operation is running.
    void Wait() {
        QElapsedTimer t;
        t.start();
        while (doc.Busy() && t.elapsed() < 60000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            QThread::usleep(200);
        }
    }
    void Load(const QString& path) {
        doc.LoadFile(path);
        Wait();
    }
    void LoadSamples(uint16_t channels, const std::vector<int16_t>& samples,
                     uint32_t rate = 44100) {
        const QString path = dir.path("source.wav");
        WriteWav(path, channels, rate, samples);
        Load(path);
    }
    std::vector<int16_t> Samples() {
        TLargeFile* s = doc.Store();
        std::vector<int16_t> out(s->SampleCount());
        s->ReadSamples(out.data(), 0, int64_t(out.size()) - 1);
        return out;
    }

    TTempFolder dir;
    TRecordingNotifier notifier;
    TMemoryClipboard clipboard;
    Twavefile doc;
    std::vector<std::string> events;
    int progressAtReady = -1;
};

// What a killed run leaves behind, made in a test by a document that is destroyed without
// Close: its one session and its version files. A live document holds its versions locked, so
// their bytes are taken while it lives (Keep) and written back unlocked once it is gone
// (PutBack), as the files of a run that is gone would be.
struct TKilledRun {
    QString id;
    std::vector<std::pair<QString, QByteArray>> versions;

    // False when there is not exactly one session.
    bool Keep(const Twavefile& doc) {
        const QStringList sessions =
            QDir(SessionsFolder()).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        if (sessions.size() != 1) return false;
        id = sessions[0];
        for (const QString& v : QStringList{doc.TempPath()} + doc.UndoStack().Items()) {
            bool kept = false;
            for (const auto& e : versions) kept = kept || e.first == v;
            if (!kept) versions.emplace_back(v, ReadAll(v));
        }
        return true;
    }
    void PutBack() const {
        for (const auto& [path, bytes] : versions) {
            RemoveVersionFile(path);
            QFile f(path);
            if (f.open(QIODevice::WriteOnly)) f.write(bytes);
        }
    }
};
