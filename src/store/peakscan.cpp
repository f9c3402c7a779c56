#include "peakscan.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif
#include <algorithm>

namespace {

#ifdef __SSE2__
// Eight lanes of 16 bits hold four stereo or eight mono frames; lane k belongs to channel
// k % channels. Two accumulator pairs hide the latency of pmaxsw/pminsw.
void ScanVector(const int16_t* s, size_t total, int channels, int16_t* mx, int16_t* mn) {
    __m128i hi0 = _mm_set1_epi16(INT16_MIN), hi1 = hi0;
    __m128i lo0 = _mm_set1_epi16(INT16_MAX), lo1 = lo0;
    size_t i = 0;
    for (; i + 16 <= total; i += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i + 8));
        hi0 = _mm_max_epi16(hi0, a);
        lo0 = _mm_min_epi16(lo0, a);
        hi1 = _mm_max_epi16(hi1, b);
        lo1 = _mm_min_epi16(lo1, b);
    }
    hi0 = _mm_max_epi16(hi0, hi1);
    lo0 = _mm_min_epi16(lo0, lo1);
    alignas(16) int16_t hs[8], ls[8];
    _mm_store_si128(reinterpret_cast<__m128i*>(hs), hi0);
    _mm_store_si128(reinterpret_cast<__m128i*>(ls), lo0);
    for (int k = 0; k < 8; ++k) {
        mx[k % channels] = std::max(mx[k % channels], hs[k]);
        mn[k % channels] = std::min(mn[k % channels], ls[k]);
    }
    // Sixteen is a whole number of frames for one and two channels, so the rest starts on
    // channel 0.
    for (; i < total; ++i) {
        const int c = int(i % size_t(channels));
        mx[c] = std::max(mx[c], s[i]);
        mn[c] = std::min(mn[c], s[i]);
    }
}
#endif

}  // namespace

void ScanExtremesScalar(const int16_t* s, size_t frames, int channels, int16_t* mx, int16_t* mn) {
    for (size_t f = 0; f < frames; ++f, s += channels) {
        for (int c = 0; c < channels; ++c) {
            mx[c] = std::max(mx[c], s[c]);
            mn[c] = std::min(mn[c], s[c]);
        }
    }
}

void ScanExtremes(const int16_t* s, size_t frames, int channels, int16_t* mx, int16_t* mn) {
#ifdef __SSE2__
    if (channels == 1 || channels == 2) {
        ScanVector(s, frames * size_t(channels), channels, mx, mn);
        return;
    }
#endif
    ScanExtremesScalar(s, frames, channels, mx, mn);
}
