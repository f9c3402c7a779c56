#include "wavemath.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "largefile.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {
// A value that fits every coordinate the drawing may meet, however odd the view.
constexpr int64_t kCoordLimit = int64_t(1) << 40;

int64_t TruncClamped(double v) {
    if (std::isnan(v)) return 0;
    return int64_t(std::clamp(std::trunc(v), double(-kCoordLimit), double(kCoordLimit)));
}
}  // namespace

int64_t RoundEven(double v) {
    if (std::isnan(v)) return 0;
    return int64_t(std::nearbyint(std::clamp(v, double(-kCoordLimit), double(kCoordLimit))));
}

TRulerPlan MsRulerPlan(int64_t viewStart, int64_t viewEnd, uint32_t rate, int columns) {
    TRulerPlan p;
    if (rate == 0 || columns <= 0) return p;
    const double startMs = double(viewStart) / rate * 1000;
    const double endMs = double(viewEnd) / rate * 1000;
    const double spanMs = endMs - startMs;
    int64_t e = TruncClamped(spanMs / 6);
    if (e < 10) e = 10;
    const int64_t base = e > 300000 ? 300 : e > 60000 ? 60 : 5;
    int64_t v = 1;
    while (e / (base * v) > 0) v *= 10;
    if (v >= 10) v /= 10;
    int64_t step = e - e % (base * v);
    if (step == 0) step = e;
    double msPerPixel = spanMs / columns;
    if (msPerPixel == 0) msPerPixel = 1e-10;
    p.pixelStep = TruncClamped(double(step) / msPerPixel);
    p.valueStep = step;
    p.firstValue = TruncClamped(startMs / double(step)) * step;
    p.firstX = TruncClamped((double(p.firstValue) - startMs) / msPerPixel);
    if (p.pixelStep == 0) return p;
    int64_t count = 0;
    for (int64_t x = p.firstX; x < columns;) {
        x += p.pixelStep;
        if (x < columns) ++count;
    }
    p.labels = count + 1;
    return p;
}

TRulerPlan FrameRulerPlan(int64_t viewStart, int64_t viewEnd, int columns) {
    TRulerPlan p;
    if (columns <= 0) return p;
    const int64_t span = viewEnd - viewStart;
    const int64_t lo = span / 5;
    const int64_t unit = span > 10000 ? 5000 : 500;
    int64_t step = (lo / unit) * unit;
    if (step == 0) step = lo;
    if (step == 0) step = 1;
    double framesPerPixel = double(span) / columns;
    if (framesPerPixel == 0) framesPerPixel = 1.0;
    p.labels = int64_t(span) / step + 1;
    p.pixelStep = TruncClamped(double(step) / framesPerPixel);
    p.valueStep = step;
    p.firstValue = (int64_t(viewStart) / step) * step;
    p.firstX = TruncClamped(double(p.firstValue - int64_t(viewStart)) / framesPerPixel);
    return p;
}

QString MsRulerLabel(int64_t ms) {
    const int64_t minutes = ms / 60000;
    const int64_t seconds = (ms % 60000) / 1000;
    const int64_t rest = ms % 1000;
    QString fraction;
    if (rest >= 100)
        fraction = QString::number(rest / 10);
    else if (rest == 0)
        fraction = QStringLiteral("00");
    else if (rest >= 10)
        fraction = QString::number(rest);
    else
        fraction = QString::number(rest) + QLatin1Char('0');
    return QStringLiteral("%1:%2.%3")
        .arg(minutes)
        .arg(seconds, 2, 10, QLatin1Char('0'))
        .arg(fraction);
}

int64_t ZoomInSpan(int64_t span) {
    return int64_t(RoundEven(span / 1.5));
}

int64_t ZoomOutSpan(int64_t span, int64_t length) {
    if (span == 0) span = 1;
    const int64_t wider = RoundEven(span * 1.5);
    return wider > length ? length : wider;
}

TViewRange CentreOnCursor(int64_t cursor, int64_t span, int64_t length) {
    const int64_t h = span / 2;
    if (cursor < h) return {0, span};
    if (length < cursor + h) {
        // A span longer than the document cannot start before 0.
        const int64_t start = span <= length ? length - span : 0;
        return {start, start + span};
    }
    return {cursor - h, cursor - h + span};
}

int32_t ScrollSmallStep(int64_t span, int columns, bool atLeastOne) {
    if (columns <= 0) return 1;
    int64_t step = (2 * int64_t(span)) / columns;
    if (atLeastOne && step == 0) step = 1;
    // A scroll bar's large step is 50 small steps; both stay within its int range.
    return int32_t(std::min<int64_t>(step, std::numeric_limits<int32_t>::max() / 50));
}

int32_t ScrollLargeStep(int32_t smallStep) {
    return smallStep * 50;
}

int64_t ArrowStep(int64_t span, int columns) {
    if (columns <= 0) return 1;
    return std::max<int64_t>(1, span / columns);
}

namespace {

// The largest maximum and smallest minimum of `count` blocks from `first`, each with the offset
// of the block where it was first met, for channels [0, n). Minima are handled as maxima of
// their bitwise complement (~v orders the other way round and cannot overflow).
void ScalarExtremes(const TPeakEntry* first, int n, int64_t count, int16_t* hi, int64_t* hiAt,
                    int16_t* lo, int64_t* loAt) {
    for (int c = 0; c < n; ++c) {
        int16_t h = -32768, l = 32767;
        int64_t ha = 0, la = 0;
        const TPeakEntry* e = first + c;
        for (int64_t b = 0; b < count; ++b) {
            const TPeakEntry& p = e[b * n];
            if (p.max > h) h = p.max, ha = b;
            if (p.min < l) l = p.min, la = b;
        }
        hi[c] = h, hiAt[c] = ha, lo[c] = l, loAt[c] = la;
    }
}

#if defined(__SSE2__)
// The same for 1, 2 or 4 channels, eight 16-bit values at a time: each lane keeps its largest
// value and the vector index where it first grew; the lanes of one channel are merged after.
// Whole-view redraws of long sounds spend their time here.
bool SimdExtremes(const TPeakEntry* first, int n, int64_t count, int16_t* hi, int64_t* hiAt,
                  int16_t* lo, int64_t* loAt) {
    if (n != 1 && n != 2 && n != 4) return false;
    const int lanesPerBlock = 2 * n, blocksPerVector = 8 / lanesPerBlock;
    const int64_t vectors = count / blocksPerVector;
    if (vectors >= 32767) return false;  // vector indices are kept in 16 bits
    const int16_t* v = reinterpret_cast<const int16_t*>(first);
    const __m128i flip = _mm_set_epi16(-1, 0, -1, 0, -1, 0, -1, 0);  // odd lanes hold minima
    __m128i best = _mm_set1_epi16(-32768), at = _mm_setzero_si128(), k = at;
    const __m128i one = _mm_set1_epi16(1);
    for (int64_t i = 0; i < vectors; ++i) {
        const __m128i x =
            _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(v + i * 8)), flip);
        const __m128i grew = _mm_cmpgt_epi16(x, best);
        best = _mm_max_epi16(best, x);
        at = _mm_or_si128(_mm_and_si128(grew, k), _mm_andnot_si128(grew, at));
        k = _mm_add_epi16(k, one);
    }
    alignas(16) int16_t laneBest[8], laneAt[8];
    _mm_store_si128(reinterpret_cast<__m128i*>(laneBest), best);
    _mm_store_si128(reinterpret_cast<__m128i*>(laneAt), at);
    int16_t top[8];
    int64_t topAt[8];
    for (int r = 0; r < lanesPerBlock; ++r) top[r] = -32768, topAt[r] = 0;
    for (int j = 0; j < 8; ++j) {
        const int r = j % lanesPerBlock;
        if (laneBest[j] == -32768) continue;  // never grew: offset 0 stands
        const int64_t b = int64_t(laneAt[j]) * blocksPerVector + j / lanesPerBlock;
        if (laneBest[j] > top[r] || (laneBest[j] == top[r] && b < topAt[r]))
            top[r] = laneBest[j], topAt[r] = b;
    }
    // The blocks after the last whole vector.
    for (int64_t b = vectors * blocksPerVector; b < count; ++b)
        for (int r = 0; r < lanesPerBlock; ++r) {
            const int16_t x = int16_t(r % 2 ? ~v[b * lanesPerBlock + r] : v[b * lanesPerBlock + r]);
            if (x > top[r]) top[r] = x, topAt[r] = b;
        }
    for (int c = 0; c < n; ++c) {
        hi[c] = top[2 * c], hiAt[c] = topAt[2 * c];
        lo[c] = int16_t(~top[2 * c + 1]), loAt[c] = topAt[2 * c + 1];
    }
    return true;
}
#endif

}  // namespace

void PeakColumn(const Tindexdata& peaks, int channels, double samplesPerPixel, int64_t viewStart,
                int col, TColumnPair* out) {
    if (channels < 1 || channels > 8) return;
    const int n = channels;
    const int64_t b0 = int64_t((col * samplesPerPixel + viewStart) / kPeakBlockFrames);
    const int64_t blocks = int64_t(samplesPerPixel / kPeakBlockFrames) + 1;
    const int64_t available = int64_t(peaks.size()) / n;
    const int64_t count = std::max<int64_t>(0, std::min(b0 + blocks, available) - b0);
    int16_t hi[8], lo[8];
    int64_t hiAt[8], loAt[8];
    const TPeakEntry* first = count > 0 ? peaks.data() + b0 * n : nullptr;
#if defined(__SSE2__)
    if (!SimdExtremes(first, n, count, hi, hiAt, lo, loAt))
#endif
        ScalarExtremes(first, n, count, hi, hiAt, lo, loAt);
    // The pair goes in time order: the extreme met first is drawn first.
    for (int c = 0; c < n; ++c)
        out[c] = hiAt[c] > loAt[c] ? TColumnPair{lo[c], hi[c]} : TColumnPair{hi[c], lo[c]};
}

void SampleColumn(TLargeFile& store, int64_t frames, int channels, double samplesPerPixel,
                  int64_t viewStart, int col, int16_t* scratch, TColumnPair* out) {
    const int64_t f0 = int64_t(col * samplesPerPixel) + viewStart;
    const int64_t f1 = std::min<int64_t>(f0 + int64_t(samplesPerPixel), int64_t(frames) - 1);
    int16_t hi[8], lo[8];
    for (int c = 0; c < channels; ++c) hi[c] = -32768, lo[c] = 32767;
    if (f1 >= f0) {
        store.ReadSamples(scratch, f0 * channels, (f1 + 1) * channels - 1);
        const int64_t n = (f1 - f0 + 1) * channels;
        for (int64_t k = 0; k < n; k += channels)
            for (int c = 0; c < channels; ++c) {
                hi[c] = std::max(hi[c], scratch[k + c]);
                lo[c] = std::min(lo[c], scratch[k + c]);
            }
    }
    for (int c = 0; c < channels; ++c) out[c] = {hi[c], lo[c]};
}
