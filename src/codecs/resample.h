#pragma once
// Sample-rate conversion of interleaved 16-bit PCM with libswresample: the soxr engine where
// FFmpeg has it, else swr's own with a long filter. Used by the Opus save (which is always at
// 48 kHz) and by a paste of audio at another rate than the document's.

#include <cstdint>
#include <memory>
#include <vector>

extern "C" {
#include <libavutil/samplefmt.h>
}

struct SwrContext;

class TResampler {
public:
    // From 16-bit interleaved at `fromRate` to `format` at `toRate`, the channels kept. Raises
    // EAppError when libswresample refuses the conversion.
    TResampler(uint16_t channels, uint32_t fromRate, uint32_t toRate,
               AVSampleFormat format = AV_SAMPLE_FMT_S16);
    ~TResampler();
    TResampler(const TResampler&) = delete;
    TResampler& operator=(const TResampler&) = delete;

    // Converts `frames` frames (nullptr and 0 to drain what the filter still holds) into `out`
    // (one pointer per plane), which takes `capacity` frames. Returns the frames written.
    int Convert(const int16_t* in, int frames, uint8_t** out, int capacity);
    // The most frames Convert can give back for `frames` frames in.
    int Capacity(int frames) const;

private:
    SwrContext* swr_ = nullptr;
};

// The whole of `frames` frames at `fromRate` converted to `toRate`: exactly
// round(frames * toRate / fromRate) frames, so the sound keeps its length in time.
std::vector<int16_t> ResampleS16(const int16_t* in, int64_t frames, uint16_t channels,
                                 uint32_t fromRate, uint32_t toRate);

// The frame count `frames` frames at `fromRate` become at `toRate`, rounded to the nearest.
int64_t ResampledLength(int64_t frames, uint32_t fromRate, uint32_t toRate);
