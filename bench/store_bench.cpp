// Streams an hour of stereo 16-bit samples (635 MB) through TLargeFile, sample by sample and in
// runs. Prints one line per pass: "<pass> <seconds>". Run by bench/store.sh beside cp.
#include <QCoreApplication>
#include <QFile>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "largefile.h"
#include "settings.h"

namespace {

constexpr uint32_t kFrames = 44100u * 3600u;
constexpr uint32_t kSamples = kFrames * 2;

template <typename F>
void Timed(const char* name, F f) {
    const auto t0 = std::chrono::steady_clock::now();
    f();
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::printf("%s %.3f\n", name, s);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr,
                     "usage: store_bench FOLDER PASS...\n"
                     "passes: write-samples read-samples copy-samples copy-runs write-runs\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    Settings.tempfolder = folder + "/";
    const QString a = folder + "/a.wav", b = folder + "/b.wav";
    const uint64_t bytes = kWavHeaderBytes + 2ull * kSamples;
    volatile int64_t sink = 0;
    for (int i = 2; i < argc; ++i) {
        const std::string pass = argv[i];
        if (pass == "write-samples") {
            Timed("write-samples", [&] {
                TLargeFile w(a, bytes);
                w.WriteHeader(TWavHeader::Pcm16(2, 44100, 2 * kSamples));
                for (uint32_t k = 0; k < kSamples; ++k) w.WriteSample(k, int32_t(k * 13));
            });
        } else if (pass == "write-runs") {
            Timed("write-runs", [&] {
                TLargeFile w(a, bytes);
                w.WriteHeader(TWavHeader::Pcm16(2, 44100, 2 * kSamples));
                std::vector<int16_t> run(65536);
                for (size_t k = 0; k < run.size(); ++k) run[k] = int16_t(k * 13);
                for (int64_t k = 0; k < kSamples; k += int64_t(run.size())) {
                    const int64_t last = std::min<int64_t>(k + int64_t(run.size()), kSamples) - 1;
                    w.WriteSamples(run.data(), k, last);
                }
            });
        } else if (pass == "read-samples") {
            Timed("read-samples", [&] {
                TLargeFile r(a);
                int64_t sum = 0;
                for (uint32_t k = 0; k < kSamples; ++k) sum += r.ReadSample(k);
                sink = sum;
            });
        } else if (pass == "copy-samples") {
            Timed("copy-samples", [&] {
                TLargeFile r(a);
                TLargeFile w(b, bytes);
                w.WriteHeader(r.ReadHeader());
                for (uint32_t k = 0; k < kSamples; ++k) w.WriteSample(k, r.ReadSample(k));
            });
        } else if (pass == "copy-runs") {
            Timed("copy-runs", [&] {
                TLargeFile r(a);
                TLargeFile w(b, bytes);
                w.WriteHeader(r.ReadHeader());
                w.CopyFrom(r, 0, 0, kSamples);
            });
        } else {
            std::fprintf(stderr, "unknown pass %s\n", pass.c_str());
            return 2;
        }
        QFile::remove(b);
    }
    (void)sink;
    return 0;
}
