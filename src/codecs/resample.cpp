#include "resample.h"

#include <algorithm>
#include <string>

#include "apperror.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

namespace {

SwrContext* Allocate(uint16_t channels, uint32_t fromRate, uint32_t toRate, AVSampleFormat format,
                     bool soxr) {
    AVChannelLayout layout;
    av_channel_layout_default(&layout, channels);
    SwrContext* swr = nullptr;
    if (swr_alloc_set_opts2(&swr, &layout, format, int(toRate), &layout, AV_SAMPLE_FMT_S16,
                            int(fromRate), 0, nullptr) < 0) {
        return nullptr;
    }
    if (soxr) {
        av_opt_set_int(swr, "resampler", SWR_ENGINE_SOXR, 0);
        av_opt_set_int(swr, "precision", 28, 0);
    } else {
        // swr's own engine at a quality near soxr's: a long filter, fine phases.
        av_opt_set_int(swr, "filter_size", 64, 0);
        av_opt_set_int(swr, "phase_shift", 10, 0);
        av_opt_set_double(swr, "cutoff", 0.97, 0);
    }
    if (swr_init(swr) < 0) swr_free(&swr);
    return swr;
}

}  // namespace

TResampler::TResampler(uint16_t channels, uint32_t fromRate, uint32_t toRate,
                       AVSampleFormat format) {
    if (channels == 0 || fromRate == 0 || toRate == 0)
        throw EAppError("The sound cannot be converted to " + std::to_string(toRate) + " Hz");
    swr_ = Allocate(channels, fromRate, toRate, format, true);
    if (!swr_) swr_ = Allocate(channels, fromRate, toRate, format, false);
    if (!swr_)
        throw EAppError("The sound cannot be converted to " + std::to_string(toRate) + " Hz");
}

TResampler::~TResampler() {
    swr_free(&swr_);
}

int TResampler::Capacity(int frames) const {
    return swr_get_out_samples(swr_, frames);
}

int TResampler::Convert(const int16_t* in, int frames, uint8_t** out, int capacity) {
    const uint8_t* planes[1] = {reinterpret_cast<const uint8_t*>(in)};
    const int n = swr_convert(swr_, out, capacity, in ? planes : nullptr, in ? frames : 0);
    if (n < 0) throw EAppError("The sound could not be converted to another sample rate");
    return n;
}

int64_t ResampledLength(int64_t frames, uint32_t fromRate, uint32_t toRate) {
    return (frames * toRate + fromRate / 2) / fromRate;
}

std::vector<int16_t> ResampleS16(const int16_t* in, int64_t frames, uint16_t channels,
                                 uint32_t fromRate, uint32_t toRate) {
    const int64_t want = ResampledLength(frames, fromRate, toRate);
    std::vector<int16_t> out(size_t(want) * channels, 0);
    TResampler resampler(channels, fromRate, toRate);
    constexpr int kBlock = 65536;
    std::vector<int16_t> buffer;
    int64_t got = 0;
    auto take = [&](const int16_t* block, int count) {
        buffer.resize(size_t(resampler.Capacity(count) + 16) * channels);
        uint8_t* planes[1] = {reinterpret_cast<uint8_t*>(buffer.data())};
        const int n = resampler.Convert(block, count, planes, int(buffer.size() / channels));
        // What the filter gives beyond the length in time is its ringing past the end.
        const int64_t keep = std::min<int64_t>(n, want - got);
        if (keep > 0) {
            std::copy_n(buffer.begin(), size_t(keep) * channels, out.begin() + got * channels);
            got += keep;
        }
        return n;
    };
    for (int64_t f = 0; f < frames; f += kBlock) {
        const int count = int(std::min<int64_t>(kBlock, frames - f));
        take(in + f * channels, count);
    }
    while (got < want && take(nullptr, 0) > 0) {
    }
    return out;
}
