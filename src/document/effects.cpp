// The seven effects: worker routines run inside the edit frame. Each is one sequential pass,
// reading and writing whole runs of samples through the stores' mapped windows; the new
// version's peaks are gathered from what is written.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <vector>

#include "samplemath.h"
#include "stretches.h"
#include "wavfile.h"

namespace {

constexpr int64_t kRunFrames = 32768;
constexpr int64_t kExactEvery = 256;
// Below this a pass is not worth a second thread.
constexpr int64_t kMinStretchFrames = int64_t(1) << 20;
static_assert(kRunFrames % kExactEvery == 0, "runs must start on an exact point");

int16_t Limit(double v) {
    return static_cast<int16_t>(std::clamp(v, -32767.0, 32767.0));
}

// Runs `op(buffer, firstFrame, frameCount)` over frames [from, to) of source, writing the
// changed samples to target from frame `at` on, and reports the share done to `progress`.
// `anyCut`: the op depends on nothing but the samples it is given, so the range may be cut
// into stretches run side by side; otherwise runs start at multiples of kRunFrames from `from`.
template <typename Op>
void Transform(TLargeFile& src, TVersionWriter& dst, int n, int64_t from, int64_t to,
               int64_t at, std::atomic<int32_t>& progress, const std::atomic<bool>* cancel,
               bool anyCut, Op op) {
    std::atomic<int64_t> done{0};
    auto stretch = [&](int64_t a, int64_t b) {
        std::vector<int16_t> buf(size_t(kRunFrames) * n);
        for (int64_t f = a; f < b;) {
            const int64_t count = std::min(kRunFrames, b - f);
            src.ReadSamples(buf.data(), f * n, (f + count) * n - 1);
            op(buf.data(), f, count);
            const int64_t to0 = f - from + at;
            dst.WriteSamples(buf.data(), to0 * n, (to0 + count) * n - 1);
            f += count;
            progress = static_cast<int32_t>((done += count) * 100 / (to - from));
        }
    };
    if (anyCut) {
        RunInStretches(from, to, kPeakBlockFrames, kMinStretchFrames, cancel, stretch);
    } else {
        stretch(from, to);
    }
}

// Frames swap places; the channels inside a frame keep their order. A stereo frame moves as one
// 32-bit word, which the compiler turns into vector shuffles.
void ReverseFrames(const int16_t* in, int16_t* out, int64_t count, int n) {
    if (n == 2) {
        for (int64_t k = 0; k < count; ++k) {
            uint32_t frame;
            std::memcpy(&frame, in + 2 * k, sizeof frame);
            std::memcpy(out + 2 * (count - 1 - k), &frame, sizeof frame);
        }
    } else if (n == 1) {
        std::reverse_copy(in, in + count, out);
    } else {
        for (int64_t k = 0; k < count; ++k)
            for (int c = 0; c < n; ++c) out[(count - 1 - k) * n + c] = in[k * n + c];
    }
}

}  // namespace

bool Twavefile::InsertSilence(int64_t at, int64_t count) {
    if (!ready_ || count < 0) return false;
    return Dispatch(opInsertSilence, [&] {
        range_ = {ClampFrame(at), ClampFrame(at)};
        insertCount_ = count;
    });
}

void Twavefile::FadeIn(int64_t start, int64_t end) {
    if (!ready_) return;
    Dispatch(opFadeIn, [&] { range_ = Clamp(start, end); });
}

void Twavefile::FadeOut(int64_t start, int64_t end) {
    if (!ready_) return;
    Dispatch(opFadeOut, [&] { range_ = Clamp(start, end); });
}

void Twavefile::Normalize(int32_t percent) {
    if (!ready_) return;
    Dispatch(opNormalize, [&] { normalizePercent_ = percent; });
}

void Twavefile::Amplify(int32_t percent) {
    if (!ready_) return;
    Dispatch(opAmplify, [&] { amplifyPercent_ = percent; });
}

void Twavefile::Reverse() {
    if (!ready_) return;
    Dispatch(opReverse, nullptr);
}

void Twavefile::Invert() {
    if (!ready_) return;
    Dispatch(opInvert, nullptr);
}

void Twavefile::DoInsertSilence() {
    const int64_t p = range_.start, m = insertCount_, frames = frames_;
    const int64_t n = channels_;
    const TMarkerList marks = MarkersAfterInsert(markers_, p, m);
    RunEdit(int64_t(frames) + m, [&](TLargeFile& src, TVersionWriter& dst) {
        dst.CopyFrom(src, 0, 0, p * n);
        // The new file's blocks were allocated zeroed, so the silence is already there.
        dst.LeaveSilent(p * n, int64_t(m) * n);
        dst.CopyFrom(src, p * n, (int64_t(p) + m) * n, (int64_t(frames) - p) * n);
    }, 0, &marks);
}

void Twavefile::FadeFrames(TLargeFile& src, TVersionWriter& dst, int64_t fadeStart,
                           int64_t fadeEnd, int64_t from, int64_t to, int64_t at, bool fadeIn) {
    const int64_t s = fadeStart;
    const int n = channels_;
    if (to <= from) return;
    const double step = 90.0 / double(fadeEnd - fadeStart);
    // The sine is taken exactly at every kExactEvery-th frame of the fade; the frames between
    // use the angle-sum identity with a table of the small angles, which keeps the frames
    // independent (no running recurrence) and the error near 1e-16. A run may start anywhere
    // (a preview of part of the fade): each frame takes the exact point at or before it.
    const double d = step * std::numbers::pi / 200.0;
    std::vector<double> cosJ(kExactEvery), sinJ(kExactEvery);
    for (int64_t j = 0; j < kExactEvery; ++j) {
        cosJ[size_t(j)] = std::cos(double(j) * d);
        sinJ[size_t(j)] = std::sin(double(j) * d);
    }
    std::vector<double> gains(kExactEvery);
    Transform(src, dst, n, from, to, at, progress_, &cancelled_, false,
              [&](int16_t* buf, int64_t first, int64_t count) {
        for (int64_t k0 = 0; k0 < count;) {
            const int64_t i = first + k0 - s;
            const int64_t j0 = i % kExactEvery, i0 = i - j0;
            const double a0 = double(i0) * step * std::numbers::pi / 200.0;
            const double s0 = std::sin(a0), c0 = std::cos(a0);
            const int64_t m = std::min(kExactEvery - j0, count - k0);
            for (int64_t k = 0; k < m; ++k) {
                const size_t j = size_t(j0 + k);
                gains[size_t(k)] = fadeIn ? s0 * cosJ[j] + c0 * sinJ[j] : c0 * cosJ[j] - s0 * sinJ[j];
            }
            int16_t* p = buf + k0 * n;
            if (n == 2) {
                for (int64_t j = 0; j < m; ++j) {
                    p[2 * j] = static_cast<int16_t>(RoundHalfEven(p[2 * j] * gains[size_t(j)]));
                    p[2 * j + 1] =
                        static_cast<int16_t>(RoundHalfEven(p[2 * j + 1] * gains[size_t(j)]));
                }
            } else {
                for (int64_t j = 0; j < m; ++j) {
                    p[j] = static_cast<int16_t>(RoundHalfEven(p[j] * gains[size_t(j)]));
                }
            }
            k0 += m;
        }
    });
}

void Twavefile::DoFade(bool fadeIn) {
    const int64_t s = range_.start, e = range_.end, frames = frames_;
    const int n = channels_;
    RunEdit(frames, [&](TLargeFile& src, TVersionWriter& dst) {
        dst.CopyFrom(src, 0, 0, int64_t(s) * n);
        FadeFrames(src, dst, s, e, s, e, s, fadeIn);
        dst.CopyFrom(src, int64_t(e) * n, int64_t(e) * n, (int64_t(frames) - e) * n);
    });
}

void Twavefile::NormalizeFrames(TLargeFile& src, TVersionWriter& dst, int64_t from, int64_t to,
                                int64_t at, int32_t percent) {
    const int n = channels_;
    const int16_t peak = levels_.peak;
    // A sound with no positive sample has nothing to scale against: it stays as it is.
    const double factor = peak > 0 ? (percent / 100.0 * 32768.0) / peak : 1.0;
    Transform(src, dst, n, from, to, at, progress_, &cancelled_, true,
              [&](int16_t* buf, int64_t, int64_t count) {
        for (int64_t i = 0; i < count * n; ++i) {
            buf[i] = Limit(RoundHalfEven(buf[i] * factor));
        }
    });
}

void Twavefile::DoNormalize() {
    const int64_t frames = frames_;
    RunEdit(frames, [&](TLargeFile& src, TVersionWriter& dst) {
        NormalizeFrames(src, dst, 0, frames, 0, normalizePercent_);
        progress_ = 100;
    });
}

void Twavefile::AmplifyFrames(TLargeFile& src, TVersionWriter& dst, int64_t from, int64_t to,
                              int64_t at, int32_t percent) {
    const int n = channels_;
    // The factor is single precision on purpose; the product is taken in double and truncated.
    const float factor = static_cast<float>(percent) / 100.0f;
    Transform(src, dst, n, from, to, at, progress_, &cancelled_, true,
              [&](int16_t* buf, int64_t, int64_t count) {
        for (int64_t i = 0; i < count * n; ++i) {
            // The cast truncates toward zero; the limit is applied in integers.
            const int64_t v = static_cast<int64_t>(double(buf[i]) * double(factor));
            buf[i] = static_cast<int16_t>(std::clamp<int64_t>(v, -32767, 32767));
        }
    });
}

void Twavefile::DoAmplify() {
    const int64_t frames = frames_;
    RunEdit(frames, [&](TLargeFile& src, TVersionWriter& dst) {
        AmplifyFrames(src, dst, 0, frames, 0, amplifyPercent_);
        progress_ = 100;
    });
}

void Twavefile::DoReverse() {
    const int64_t frames = frames_;
    const int n = channels_;
    RunEdit(frames, [&](TLargeFile& src, TVersionWriter& dst) {
        // Each stretch of the new version is written front to back, so its writes extend the
        // file in order, from the source read in runs from the stretch's mirror end, each run
        // forward.
        std::atomic<int64_t> done{0};
        RunInStretches(0, frames, kPeakBlockFrames, kMinStretchFrames, &cancelled_,
                       [&](int64_t a, int64_t b) {
            std::vector<int16_t> in(size_t(kRunFrames) * n), out(size_t(kRunFrames) * n);
            for (int64_t f = a; f < b;) {
                const int64_t count = std::min<int64_t>(kRunFrames, b - f);
                const int64_t from = frames - f - count;
                src.ReadSamples(in.data(), from * n, (from + count) * n - 1);
                ReverseFrames(in.data(), out.data(), count, n);
                dst.WriteSamples(out.data(), f * n, (f + count) * n - 1);
                f += count;
                progress_ = static_cast<int32_t>((done += count) * 100 / frames);
            }
        });
        progress_ = 100;
    });
}

void Twavefile::DoInvert() {
    const int64_t frames = frames_;
    const int n = channels_;
    RunEdit(frames, [&](TLargeFile& src, TVersionWriter& dst) {
        Transform(src, dst, n, 0, frames, 0, progress_, &cancelled_, true, [&](int16_t* buf, int64_t, int64_t count) {
            // 16-bit two's complement: -32768 stays -32768.
            for (int64_t i = 0; i < count * n; ++i) {
                buf[i] = static_cast<int16_t>(-static_cast<int32_t>(buf[i]));
            }
        });
        progress_ = 100;
    });
}
