// Cut, copy, paste and delete through the clipboard: the document's worker routines.
#include <QByteArray>
#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

#include "apperror.h"
#include "messages.h"
#include "resample.h"
#include "samplemath.h"
#include "uithread.h"
#include "waveimage.h"
#include "wavfile.h"

namespace {

constexpr const char* kClipboardAlloc = "Could not allocate memory for clipboard.";
constexpr int64_t kRunSamples = 65536;

int64_t JoinFrames(int32_t ms, uint32_t rate) {
    return int64_t(ms) * rate / 1000;
}

// An equal-power cross-fade over `frames` frames: `from` fades out while `to` fades in, so the
// join between them has no step. `out` may be `from`.
void CrossFade(const int16_t* from, const int16_t* to, int64_t frames, int64_t channels,
               int16_t* out) {
    for (int64_t k = 0; k < frames; ++k) {
        const double t = (double(k) + 0.5) / double(frames) * (M_PI / 2);
        const double g = std::cos(t), h = std::sin(t);
        for (int64_t c = 0; c < channels; ++c) {
            const size_t i = size_t(k * channels + c);
            out[i] = static_cast<int16_t>(
                std::clamp(RoundHalfEven(from[i] * g + to[i] * h), -32768.0, 32767.0));
        }
    }
}

}  // namespace

void Twavefile::Cut(int64_t start, int64_t end) {
    if (!ready_) return;
    Dispatch(opCut, [&] {
        range_ = Clamp(start, end);
        joinFrames_ = JoinFrames(joinFadeMs_, sampleRate_);
    });
}

void Twavefile::Copy(int64_t start, int64_t end) {
    if (!ready_) return;
    Dispatch(opCopy, [&] { range_ = Clamp(start, end); });
}

void Twavefile::Delete(int64_t start, int64_t end) {
    if (!ready_) return;
    Dispatch(opDelete, [&] {
        range_ = Clamp(start, end);
        joinFrames_ = JoinFrames(joinFadeMs_, sampleRate_);
    });
}

void Twavefile::Paste(int64_t at) {
    if (!ready_) return;
    Dispatch(opPaste, [&] {
        range_ = {ClampFrame(at), ClampFrame(at)};
        joinFrames_ = JoinFrames(joinFadeMs_, sampleRate_);
    });
}

int64_t Twavefile::NearestZeroCrossing(int64_t frame, int64_t radius) const {
    if (!store_ || channels_ == 0 || frames_ == 0) return frame;
    const int64_t n = channels_;
    const int64_t at = std::min<int64_t>(frame, frames_);
    // Frames [first, last] hold every frame a crossing within the radius is judged by.
    const int64_t first = std::max<int64_t>(0, at - radius - 1);
    const int64_t last = std::min<int64_t>(int64_t(frames_) - 1, at + radius);
    if (last < first) return frame;
    std::vector<int16_t> buf(size_t((last - first + 1) * n));
    store_->ReadSamples(buf.data(), first * n, (last + 1) * n - 1);
    auto mix = [&](int64_t f) {
        int32_t v = 0;
        for (int64_t c = 0; c < n; ++c) v += buf[size_t((f - first) * n + c)];
        return v;
    };
    // Position p lies between frames p - 1 and p.
    auto crossing = [&](int64_t p) {
        if (p < first || p > last) return false;
        const int32_t b = mix(p);
        if (b == 0) return true;
        if (p == first) return false;
        const int32_t a = mix(p - 1);
        return (a < 0 && b > 0) || (a > 0 && b < 0);
    };
    for (int64_t d = 0; d <= radius; ++d) {
        if (crossing(at - d)) return at - d;
        if (d > 0 && crossing(at + d)) return at + d;
    }
    return frame;
}

// Puts the range on the clipboard; false when the clipboard refused it.
static bool CopyRangeToClipboard(TClipboard* clipboard, TLargeFile& source,
                                 const TWavHeader& header, int64_t start, int64_t end,
                                 uint16_t channels, std::atomic<int32_t>& progress) {
    if (!clipboard) return false;
    const int64_t samples = (end - start) * channels;
    const uint64_t bytes = uint64_t(samples) * 2;
    // The image scales like a version: RF64 when it passes 4 GiB.
    TWavHeader h = header;
    h.SetDataBytes(bytes);
    const uint32_t head = h.HeaderBytes();
    QByteArray image;
    try {
        image.resize(qsizetype(bytes) + head);
    } catch (const std::bad_alloc&) {
        throw EAppError(kClipboardAlloc);
    }
    auto* data = reinterpret_cast<uint8_t*>(image.data());
    h.WriteTo(data);
    progress = 5;
    source.ReadSamples(reinterpret_cast<int16_t*>(data + head),
                       int64_t(start) * channels, int64_t(start) * channels + samples - 1);
    bool accepted = false;
    RunOnUiThread([&] { accepted = clipboard->SetWave(image); });
    progress = 0;
    return accepted;
}

void Twavefile::DoCopy() {
    TLargeFile source(tempPath_);
    CopyRangeToClipboard(clipboard_, source, header_, range_.start, range_.end, channels_,
                         progress_);
}

void Twavefile::DoCut() {
    bool copied = false;
    {
        TLargeFile source(tempPath_);
        copied = CopyRangeToClipboard(clipboard_, source, header_, range_.start, range_.end,
                                      channels_, progress_);
    }
    // Deleting audio that did not reach the clipboard would lose it.
    if (!copied) throw EAppError("The clipboard did not accept the audio, so nothing was cut.");
    DoDelete();
}

void Twavefile::DoDelete() {
    const int64_t s = range_.start, e = range_.end, frames = frames_;
    const int64_t n = channels_;
    const int64_t newFrames = int64_t(frames) - (e - s);
    const TMarkerList marks = MarkersAfterDelete(markers_, s, e - s);
    if (joinFrames_ <= 0 || s == 0 || e >= frames || s == e) {
        RunEdit(newFrames, [&](TLargeFile& src, TVersionWriter& dst) {
            dst.CopyFrom(src, 0, 0, s * n);
            dst.CopyFrom(src, e * n, s * n, (int64_t(frames) - e) * n);
        }, 0, &marks);
        return;
    }
    // The window around the join: the left side goes on into what was deleted, the right side
    // starts earlier in it, and the one fades into the other.
    const int64_t before = std::min<int64_t>(joinFrames_ / 2, s);
    const int64_t after = std::min<int64_t>(joinFrames_ - joinFrames_ / 2, int64_t(frames) - e);
    const int64_t w = before + after;
    RunEdit(newFrames, [&](TLargeFile& src, TVersionWriter& dst) {
        dst.CopyFrom(src, 0, 0, (s - before) * n);
        std::vector<int16_t> left(size_t(w * n)), right(size_t(w * n));
        src.ReadSamples(left.data(), (s - before) * n, (s + after) * n - 1);
        src.ReadSamples(right.data(), (e - before) * n, (e + after) * n - 1);
        CrossFade(left.data(), right.data(), w, n, left.data());
        dst.WriteSamples(left.data(), (s - before) * n, (s + after) * n - 1);
        dst.CopyFrom(src, (e + after) * n, (s + after) * n, (int64_t(frames) - e - after) * n);
    }, 0, &marks);
}

void Twavefile::Status(const char* messageKey, const QString& arg1, const QString& arg2) {
    const QString message = QString::fromStdString(Msg(messageKey)).arg(arg1, arg2);
    RunOnUiThread([&] {
        if (notifier_ && !destroying_) notifier_->ShowStatus(message);
    });
}

void Twavefile::DoPaste() {
    std::optional<QByteArray> image;
    RunOnUiThread([&] {
        if (clipboard_) image = clipboard_->GetWave();
    });
    if (!image) return;
    const auto* bytes = reinterpret_cast<const uint8_t*>(image->constData());
    const std::optional<TWaveImage> wave = ParseWaveImage(bytes, size_t(image->size()));
    // Anything but 16-bit PCM wave audio changes nothing.
    if (!wave) return;
    const int cn = wave->channels;
    const uint8_t* clip = bytes + wave->dataOffset;
    int64_t m = wave->frames;
    // Audio at another rate is converted first, so it keeps its pitch and its length in time.
    std::vector<int16_t> converted;
    if (wave->sampleRate != sampleRate_ && m > 0) {
        std::vector<int16_t> original(size_t(m) * cn);
        for (size_t i = 0; i < original.size(); ++i)
            original[i] = static_cast<int16_t>(GetLE16(clip + 2 * i));
        converted = ResampleS16(original.data(), m, uint16_t(cn), wave->sampleRate, sampleRate_);
        m = int64_t(converted.size()) / cn;
        // Little-endian like the clipboard's image, so it is read the same way.
        clip = reinterpret_cast<const uint8_t*>(converted.data());
        Status("pasteresampled", QString::number(wave->sampleRate), QString::number(sampleRate_));
    }
    const int64_t p = range_.start, frames = frames_;
    const int64_t n = channels_;
    // Clipboard frames [f0, f0 + count) in the document's channel count, frame for frame.
    auto clipFrames = [&](int64_t f0, int64_t count, int16_t* out) {
        for (int64_t f = 0; f < count; ++f) {
            const uint8_t* fr = clip + size_t(f0 + f) * cn * 2;
            const int16_t a = static_cast<int16_t>(GetLE16(fr));
            const int16_t b = cn == 2 ? static_cast<int16_t>(GetLE16(fr + 2)) : a;
            if (n == 2) {
                out[2 * f] = a;
                out[2 * f + 1] = b;
            } else {
                out[f] = cn == 2 ? static_cast<int16_t>(RoundHalfEven((a + b) / 2.0)) : a;
            }
        }
    };
    // The joins' windows, [a0, a1) and [b0, b1) of the new version; empty for exact edits.
    const int64_t len = joinFrames_;
    const bool join1 = len > 0 && p > 0 && m > 1;
    const bool join2 = len > 0 && p < frames && m > 1;
    const int64_t share = join1 && join2 ? m / 2 : m;
    int64_t a0 = p, a1 = p, b0 = p + m, b1 = p + m;
    std::vector<int16_t> fade1, fade2;
    const TMarkerList marks = MarkersAfterInsert(markers_, p, m);
    RunEdit(frames + m, [&](TLargeFile& src, TVersionWriter& dst) {
        progress_ = 5;
        // Each window fades `from` into `to`. Where one side has nothing beyond the join (the
        // ends of the sound, the clipboard's edges), the other fades out to the join and this
        // one in from it, over a window centred on it.
        std::vector<int16_t> to, silence(size_t(len * n), 0);
        auto window = [&](std::vector<int16_t>& from, int64_t w) {
            from.assign(size_t(w * n), 0);
            to.assign(size_t(w * n), 0);
        };
        auto fadeOut = [&](int16_t* x, int64_t w) { CrossFade(x, silence.data(), w, n, x); };
        auto fadeIn = [&](int16_t* x, int64_t w) { CrossFade(silence.data(), x, w, n, x); };
        if (join1) {
            if (p < frames) {
                // The sound goes on past the paste point under the clipboard's start.
                const int64_t w = std::min({len, frames - p, share});
                window(fade1, w);
                src.ReadSamples(fade1.data(), p * n, (p + w) * n - 1);
                clipFrames(0, w, to.data());
                CrossFade(fade1.data(), to.data(), w, n, fade1.data());
                a1 = p + w;
            } else {
                const int64_t before = std::min(len / 2, p), after = std::min(len - len / 2, share);
                window(fade1, before + after);
                src.ReadSamples(fade1.data(), (p - before) * n, p * n - 1);
                fadeOut(fade1.data(), before);
                clipFrames(0, after, fade1.data() + before * n);
                fadeIn(fade1.data() + before * n, after);
                a0 = p - before;
                a1 = p + after;
            }
        }
        if (join2) {
            if (p > 0) {
                // The sound before the paste point is heard again under the clipboard's end.
                const int64_t w = std::min({len, p, share});
                window(fade2, w);
                clipFrames(m - w, w, fade2.data());
                src.ReadSamples(to.data(), (p - w) * n, p * n - 1);
                CrossFade(fade2.data(), to.data(), w, n, fade2.data());
                b0 = p + m - w;
            } else {
                const int64_t before = std::min(len / 2, share);
                const int64_t after = std::min(len - len / 2, frames);
                window(fade2, before + after);
                clipFrames(m - before, before, fade2.data());
                fadeOut(fade2.data(), before);
                src.ReadSamples(fade2.data() + before * n, 0, after * n - 1);
                fadeIn(fade2.data() + before * n, after);
                b0 = m - before;
                b1 = m + after;
            }
        }
        dst.CopyFrom(src, 0, 0, a0 * n);
        if (a1 > a0) dst.WriteSamples(fade1.data(), a0 * n, a1 * n - 1);
        progress_ = 30;
        std::vector<int16_t> run(size_t(kRunSamples) * 2);
        for (int64_t f = a1; f < b0;) {
            const int64_t count = std::min<int64_t>(kRunSamples / 2, b0 - f);
            clipFrames(f - p, count, run.data());
            dst.WriteSamples(run.data(), f * n, (f + count) * n - 1);
            f += count;
        }
        if (b1 > b0) dst.WriteSamples(fade2.data(), b0 * n, b1 * n - 1);
        progress_ = 60;
        dst.CopyFrom(src, (b1 - m) * n, b1 * n, (frames + m - b1) * n);
        progress_ = 100;
    }, 0, &marks);
}
