// Cut, copy, paste and delete through the clipboard: the document's worker routines.
#include <QByteArray>
#include <cmath>
#include <new>
#include <vector>

#include "apperror.h"
#include "samplemath.h"
#include "uithread.h"
#include "waveimage.h"
#include "wavfile.h"

namespace {

constexpr const char* kClipboardAlloc = "Could not allocate memory for clipboard.";
constexpr int64_t kRunSamples = 65536;

}  // namespace

void Twavefile::Cut(int64_t start, int64_t end) {
    if (!ready_) return;
    Dispatch(opCut, [&] { range_ = Clamp(start, end); });
}

void Twavefile::Copy(int64_t start, int64_t end) {
    if (!ready_) return;
    Dispatch(opCopy, [&] { range_ = Clamp(start, end); });
}

void Twavefile::Delete(int64_t start, int64_t end) {
    if (!ready_) return;
    Dispatch(opDelete, [&] { range_ = Clamp(start, end); });
}

void Twavefile::Paste(int64_t at) {
    if (!ready_) return;
    Dispatch(opPaste, [&] { range_ = {ClampFrame(at), ClampFrame(at)}; });
}

// Puts the range on the clipboard; false when the clipboard refused it.
static bool CopyRangeToClipboard(TClipboard* clipboard, TLargeFile& source,
                                 const TWavHeader& header, uint32_t start, uint32_t end,
                                 uint16_t channels, std::atomic<int32_t>& progress) {
    if (!clipboard) return false;
    const int64_t samples = int64_t(end - start) * channels;
    const uint32_t bytes = static_cast<uint32_t>(samples * 2);
    TWavHeader h = header;
    h.dataSize = bytes;
    h.riffSize = bytes + 36;
    QByteArray image;
    try {
        image.resize(qsizetype(bytes) + kWavHeaderBytes);
    } catch (const std::bad_alloc&) {
        throw EAppError(kClipboardAlloc);
    }
    auto* data = reinterpret_cast<uint8_t*>(image.data());
    h.WriteTo(data);
    progress = 5;
    source.ReadSamples(reinterpret_cast<int16_t*>(data + kWavHeaderBytes),
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
    const uint32_t s = range_.start, e = range_.end, frames = frames_;
    const int64_t n = channels_;
    RunEdit(int64_t(frames) - (e - s), [&](TLargeFile& src, TVersionWriter& dst) {
        dst.CopyFrom(src, 0, 0, s * n);
        dst.CopyFrom(src, e * n, s * n, (int64_t(frames) - e) * n);
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
    const uint32_t p = range_.start, frames = frames_, m = wave->frames;
    const int64_t n = channels_;
    const int cn = wave->channels;
    const uint8_t* clip = bytes + wave->dataOffset;
    RunEdit(int64_t(frames) + m, [&](TLargeFile& src, TVersionWriter& dst) {
        progress_ = 5;
        dst.CopyFrom(src, 0, 0, p * n);
        progress_ = 30;
        // Clipboard audio of another channel count is converted frame for frame.
        std::vector<int16_t> run(size_t(kRunSamples) * 2);
        int64_t written = int64_t(p) * n;
        for (uint32_t f0 = 0; f0 < m;) {
            const uint32_t count = uint32_t(std::min<int64_t>(kRunSamples / 2, m - f0));
            for (uint32_t f = 0; f < count; ++f) {
                const uint8_t* fr = clip + (size_t(f0) + f) * cn * 2;
                const int16_t a = static_cast<int16_t>(GetLE16(fr));
                const int16_t b = cn == 2 ? static_cast<int16_t>(GetLE16(fr + 2)) : a;
                if (n == 2) {
                    run[2 * f] = a;
                    run[2 * f + 1] = b;
                } else {
                    run[f] = cn == 2 ? static_cast<int16_t>(RoundHalfEven((a + b) / 2.0)) : a;
                }
            }
            dst.WriteSamples(run.data(), written, written + int64_t(count) * n - 1);
            written += int64_t(count) * n;
            f0 += count;
        }
        progress_ = 60;
        dst.CopyFrom(src, p * n, (int64_t(p) + m) * n, (int64_t(frames) - p) * n);
        progress_ = 100;
    });
}
