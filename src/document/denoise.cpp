// libsox effects chains between the sample store and a version writer. Our own two effects sit
// at the ends: one drains the store into the chain, one takes the chain's output. Nothing may
// unwind through libsox's C frames, so a failure in either is caught, ends the chain (SOX_EOF)
// and is raised again once sox_flow_effects has returned.
#include "denoise.h"

#include <sox.h>

#include <QTemporaryFile>
#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <exception>
#include <mutex>
#include <vector>

#include "apperror.h"
#include "fileio.h"
#include "filtergraph.h"
#include "largefile.h"
#include "peakbuilder.h"

namespace {

constexpr int64_t kBlockFrames = 8192;

void Quiet(unsigned, const char*, const char*, va_list) {}

void InitSox() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (sox_init() != SOX_SUCCESS) throw EAppError("libsox could not be initialised");
        sox_get_globals()->output_message_handler = Quiet;
        sox_get_globals()->verbosity = 0;
    });
}

struct TChainData {
    TChainData(TLargeFile& s, int c, int64_t a, int64_t b) : source(s), channels(c), next(a), end(b), from(a) {}
    TLargeFile& source;
    int channels;
    int64_t next, end;  // frames still to feed
    int64_t from;       // the first frame of the range
    // The output side; null for a chain whose output is not kept (the profile).
    TVersionWriter* target = nullptr;
    int64_t targetFrom = 0;  // the target's frame for `from`
    double dryGain = 0;
    int64_t written = 0;
    std::atomic<int32_t>* progress = nullptr;
    std::vector<int16_t> block;
    std::exception_ptr error;
};

TChainData*& Data(sox_effect_t* e) {
    return *static_cast<TChainData**>(e->priv);
}

int FeedDrain(sox_effect_t* e, sox_sample_t* obuf, size_t* osamp) {
    TChainData& d = *Data(e);
    try {
        ThrowIfCancelled();
        const int64_t n = d.channels;
        const int64_t count = std::min<int64_t>({int64_t(*osamp) / n, d.end - d.next, kBlockFrames});
        if (count <= 0) {
            *osamp = 0;
            return SOX_EOF;
        }
        d.block.resize(size_t(count * n));
        d.source.ReadSamples(d.block.data(), d.next * n, (d.next + count) * n - 1);
        for (int64_t i = 0; i < count * n; ++i) obuf[i] = sox_sample_t(d.block[size_t(i)]) * 65536;
        d.next += count;
        *osamp = size_t(count * n);
        ClearVectorUpperState();
        if (d.progress && !d.target) *d.progress = int32_t((d.next - d.from) * 100 / std::max<int64_t>(1, d.end - d.from));
        return SOX_SUCCESS;
    } catch (...) {
        d.error = std::current_exception();
        *osamp = 0;
        return SOX_EOF;
    }
}

int TakeFlow(sox_effect_t* e, const sox_sample_t* ibuf, sox_sample_t*, size_t* isamp,
             size_t* osamp) {
    TChainData& d = *Data(e);
    *osamp = 0;
    if (!d.target || d.error) return d.error ? SOX_EOF : SOX_SUCCESS;
    try {
        const int64_t n = d.channels;
        const int64_t total = d.end - d.from;
        const int64_t count = std::min<int64_t>(int64_t(*isamp) / n, total - d.written);
        if (count > 0) {
            // The dry samples at the same frames, for the part of the noise left in.
            const int64_t at = d.from + d.written;
            d.block.resize(size_t(count * n));
            std::vector<int16_t> out(size_t(count * n));
            d.source.ReadSamples(d.block.data(), at * n, (at + count) * n - 1);
            for (int64_t i = 0; i < count * n; ++i) {
                const double wet = double(ibuf[i]) / 65536.0;
                const double v = wet + d.dryGain * (double(d.block[size_t(i)]) - wet);
                out[size_t(i)] = int16_t(std::clamp(std::lround(v), -32768L, 32767L));
            }
            const int64_t to = d.targetFrom + d.written;
            d.target->WriteSamples(out.data(), to * n, (to + count) * n - 1);
            d.written += count;
            if (d.progress) *d.progress = int32_t(d.written * 100 / std::max<int64_t>(1, total));
        }
        ClearVectorUpperState();
        return SOX_SUCCESS;
    } catch (...) {
        d.error = std::current_exception();
        return SOX_EOF;
    }
}

const sox_effect_handler_t kFeed = {"orvane-feed", nullptr, SOX_EFF_MCHAN, nullptr, nullptr,
                                    nullptr,       FeedDrain, nullptr,   nullptr, sizeof(void*)};
const sox_effect_handler_t kTake = {"orvane-take", nullptr,  SOX_EFF_MCHAN, nullptr, nullptr,
                                    TakeFlow,      nullptr,  nullptr,       nullptr, sizeof(void*)};

struct TChainFree {
    void operator()(sox_effects_chain_t* c) const { sox_delete_effects_chain(c); }
};

// Runs feed -> `name`(args) -> take over d.
void RunChain(TChainData& d, int sampleRate, const char* name, std::vector<std::string> args) {
    InitSox();
    sox_signalinfo_t signal{double(sampleRate), unsigned(d.channels), 16, 0, nullptr};
    sox_encodinginfo_t encoding{};
    encoding.encoding = SOX_ENCODING_SIGN2;
    encoding.bits_per_sample = 16;
    std::unique_ptr<sox_effects_chain_t, TChainFree> chain(
        sox_create_effects_chain(&encoding, &encoding));
    if (!chain) throw EAppError("libsox could not make an effects chain");
    auto add = [&](sox_effect_t* e, const char* what) {
        if (!e) throw EAppError(std::string("libsox has no effect ") + what);
        sox_signalinfo_t in = signal, out = signal;
        const int r = sox_add_effect(chain.get(), e, &in, &out);
        free(e);  // sox_add_effect keeps a copy per flow
        if (r != SOX_SUCCESS) throw EAppError(std::string("libsox could not start ") + what);
    };
    sox_effect_t* feed = sox_create_effect(&kFeed);
    Data(feed) = &d;
    add(feed, "input");
    sox_effect_t* effect = sox_create_effect(sox_find_effect(name));
    if (!effect) throw EAppError(std::string("libsox has no effect ") + name);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    if (sox_effect_options(effect, int(argv.size()), argv.data()) != SOX_SUCCESS) {
        free(effect);
        throw EAppError(std::string("libsox refused the options of ") + name);
    }
    add(effect, name);
    sox_effect_t* take = sox_create_effect(&kTake);
    Data(take) = &d;
    add(take, "output");
    sox_flow_effects(chain.get(), nullptr, nullptr);
    chain.reset();
    if (d.error) std::rethrow_exception(d.error);
    ThrowIfCancelled();
}

QString ProfilePath(const QString& tempFolder, QTemporaryFile& file) {
    file.setFileTemplate(tempFolder + "/~ovnoiseXXXXXX");
    if (!file.open()) throw EAppError("Cannot create a file in " + tempFolder.toStdString());
    file.close();
    return file.fileName();
}

}  // namespace

std::string NoiseProfile(TLargeFile& source, int channels, int sampleRate, int64_t from,
                         int64_t to, const QString& tempFolder) {
    QTemporaryFile file;
    const QString path = ProfilePath(tempFolder, file);
    TChainData d(source, channels, from, to);
    RunChain(d, sampleRate, "noiseprof", {path.toStdString()});
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly)) throw EAppError("The noise profile could not be read");
    const QByteArray text = in.readAll();
    if (text.isEmpty()) throw EAppError("The stretch is too short for a noise profile");
    return text.toStdString();
}

void ReduceNoise(const std::string& profile, double strengthDb, double sensitivity,
                 TLargeFile& source, TVersionWriter& target, int channels, int sampleRate,
                 int64_t from, int64_t to, int64_t at, const QString& tempFolder,
                 std::atomic<int32_t>& progress) {
    QTemporaryFile file;
    const QString path = ProfilePath(tempFolder, file);
    {
        QFile out(path);
        if (!out.open(QIODevice::WriteOnly) ||
            out.write(profile.data(), qint64(profile.size())) != qint64(profile.size()))
            throw EAppError("The noise profile could not be written");
    }
    TChainData d(source, channels, from, to);
    d.target = &target;
    d.targetFrom = at;
    d.dryGain = std::pow(10.0, -strengthDb / 20.0);
    d.progress = &progress;
    char amount[32];
    std::snprintf(amount, sizeof amount, "%.4f", std::clamp(sensitivity, 0.0, 1.0));
    RunChain(d, sampleRate, "noisered", {path.toStdString(), amount});
    // noisered gives back as many samples as it took; should it fall short, the rest is silence.
    std::vector<int16_t> zeros(size_t(kBlockFrames) * channels, 0);
    for (int64_t f = from + d.written; f < to;) {
        const int64_t count = std::min(kBlockFrames, to - f);
        const int64_t w = f - from + at;
        target.WriteSamples(zeros.data(), w * channels, (w + count) * channels - 1);
        f += count;
    }
    progress = 100;
}
