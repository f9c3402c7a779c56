// What writing the tags adds to a save: the ID3v2.4 tag rendered ahead of an MP3, and the
// INFO and id3 chunks written into a ten-minute stereo WAV file. Prints the median of the runs.
//   tags_bench [RUNS]
#include <QByteArray>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "tags.h"
#include "wavlayout.h"

namespace {

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void WriteSilentWav(const QString& path, uint32_t frames) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return;
    TWavHeader h = TWavHeader::Pcm16(2, 44100, frames * 4);
    const TWavHeaderBytes bytes = h.Bytes();
    f.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
    f.resize(qint64(bytes.size()) + qint64(frames) * 4);
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    TTags tags;
    for (const QString& key : TTags::Keys()) tags.values[key] = "A value for " + key;
    tags.picture = QByteArray(100 * 1024, '\x5a');
    tags.pictureMime = "image/jpeg";
    QTemporaryDir dir;
    const QString wav = dir.filePath("ten.wav");
    WriteSilentWav(wav, 44100 * 600);
    std::vector<double> id3, info;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        const std::vector<uint8_t> bytes = Id3v2TagBytes(tags);
        id3.push_back(double(t.nsecsElapsed()) / 1e6);
        const QString copy = dir.filePath("copy.wav");
        QFile::remove(copy);
        QFile::copy(wav, copy);
        t.restart();
        WriteWavTagsOrThrow(copy, tags);
        info.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    std::printf("id3v2 tag for an MP3 (100 KiB picture): %.3f ms\n", Median(id3));
    std::printf("INFO and id3 chunks into a 10-min stereo WAV: %.3f ms\n", Median(info));
}
