#include "spectrum.h"

extern "C" {
#include <libavutil/tx.h>
}

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>

#include "apperror.h"
#include "largefile.h"

int TSpectrumSettings::ValidWindow(int window) {
    const int w = std::clamp(window, kMinWindow, kMaxWindow);
    return int(std::bit_floor(unsigned(w)));
}

uint8_t LevelOf(float db) {
    const double t = (double(db) - kFloorDb) / -kFloorDb;
    return uint8_t(std::lround(std::clamp(t, 0.0, 1.0) * (kLevels - 1)));
}

QRgb SpectrumColor(uint8_t level) {
    // Ten evenly spaced points of the viridis map; its lightness rises monotonically, so the
    // picture reads the same in grey.
    static constexpr std::array<std::array<int, 3>, 10> kStops{{{68, 1, 84},
                                                                {72, 40, 120},
                                                                {62, 74, 137},
                                                                {49, 104, 142},
                                                                {38, 130, 142},
                                                                {31, 158, 137},
                                                                {53, 183, 121},
                                                                {109, 205, 89},
                                                                {180, 222, 44},
                                                                {253, 231, 37}}};
    static const std::array<QRgb, kLevels> table = [] {
        auto linear = [](int v) {
            const double c = v / 255.0;
            return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
        };
        auto luminance = [&](const int* c) {
            return 0.2126 * linear(c[0]) + 0.7152 * linear(c[1]) + 0.0722 * linear(c[2]);
        };
        std::array<QRgb, kLevels> t{};
        double last = -1;
        for (int i = 0; i < kLevels; ++i) {
            const double x = double(i) / (kLevels - 1) * (kStops.size() - 1);
            const size_t k = std::min(size_t(x), kStops.size() - 2);
            const double f = x - double(k);
            int c[3];
            for (int j = 0; j < 3; ++j)
                c[j] = int(std::lround(kStops[k][j] + (kStops[k + 1][j] - kStops[k][j]) * f));
            // Rounding to 8 bits can flatten the rise for a step; a touch more green restores it.
            while (luminance(c) <= last && c[1] < 255) ++c[1];
            last = luminance(c);
            t[size_t(i)] = qRgb(c[0], c[1], c[2]);
        }
        return t;
    }();
    return table[level];
}

double LogFloorHz(double rate) {
    return std::min(20.0, rate / 8);
}

namespace {
// Row y as a real number, so band edges are half rows either side of a row's centre.
double FrequencyAt(double y, int rows, double rate, bool logFrequency) {
    const double nyquist = rate / 2;
    const double t = (rows - 1 - y) / double(rows - 1);
    if (!logFrequency) return t * nyquist;
    const double floor = LogFloorHz(rate);
    return floor * std::pow(nyquist / floor, t);
}
}  // namespace

double RowFrequency(int y, int rows, double rate, bool logFrequency) {
    return FrequencyAt(y, rows, rate, logFrequency);
}

double FrequencyRow(double hz, int rows, double rate, bool logFrequency) {
    const double nyquist = rate / 2;
    double t = hz / nyquist;
    if (logFrequency) {
        const double floor = LogFloorHz(rate);
        t = std::log(std::max(hz, 1e-9) / floor) / std::log(nyquist / floor);
    }
    return (rows - 1) * (1 - t);
}

TSpectrumAnalyser::TSpectrumAnalyser(int window)
    : n_(TSpectrumSettings::ValidWindow(window)),
      hann_(size_t(n_)),
      in_(size_t(n_)),
      out_(size_t(n_) + 2),
      db_(size_t(n_ / 2 + 1)) {
    float scale = 1.0f;
    av_tx_fn fn = nullptr;
    if (av_tx_init(&tx_, &fn, AV_TX_FLOAT_RDFT, 0, n_, &scale, AV_TX_UNALIGNED) < 0 || !fn)
        throw EAppError("The FFT of " + std::to_string(n_) + " points is not available");
    fn_ = fn;
    double sum = 0;
    for (int i = 0; i < n_; ++i) {
        hann_[size_t(i)] = float(0.5 - 0.5 * std::cos(2 * M_PI * i / n_));
        sum += hann_[size_t(i)];
    }
    // A sine of amplitude 1 gives a bin of magnitude sum / 2.
    norm_ = float(2.0 / sum);
}

TSpectrumAnalyser::~TSpectrumAnalyser() {
    av_tx_uninit(&tx_);
}

const std::vector<float>& TSpectrumAnalyser::Analyse(TLargeFile& store, int channels,
                                                     int64_t available, int64_t centre) {
    const int64_t first = centre - n_ / 2;
    const int64_t from = std::max<int64_t>(first, 0);
    const int64_t to = std::min<int64_t>(first + n_, available);
    samples_.assign(size_t(n_) * size_t(channels), 0);
    if (to > from)
        store.ReadSamples(samples_.data() + (from - first) * channels, from * channels,
                          to * channels - 1);
    return AnalyseSamples(samples_.data(), channels);
}

const std::vector<float>& TSpectrumAnalyser::AnalyseSamples(const int16_t* interleaved,
                                                            int channels) {
    const float mix = 1.0f / (32768.0f * float(std::max(channels, 1)));
    for (int i = 0; i < n_; ++i) {
        int32_t sum = 0;
        for (int c = 0; c < channels; ++c)
            sum += interleaved[size_t(i) * size_t(channels) + size_t(c)];
        in_[size_t(i)] = float(sum) * mix * hann_[size_t(i)];
    }
    return Transform();
}

const std::vector<float>& TSpectrumAnalyser::Transform() {
    fn_(tx_, out_.data(), in_.data(), sizeof(float));
    const float offset = 20.0f * std::log10(norm_);
    for (size_t k = 0; k < db_.size(); ++k) {
        const float re = out_[2 * k], im = out_[2 * k + 1];
        const float power = re * re + im * im;
        db_[k] = power > 1e-30f ? 10.0f * std::log10(power) + offset : -300.0f;
    }
    return db_;
}

void TSpectrumAnalyser::Rows(int rows, double rate, bool logFrequency, uint8_t* out) const {
    if (rows <= 0) return;
    if (rows == 1) {
        out[0] = LevelOf(*std::max_element(db_.begin(), db_.end()));
        return;
    }
    const double bin = rate / n_;
    const int last = n_ / 2;
    for (int y = 0; y < rows; ++y) {
        const double hi = FrequencyAt(y - 0.5, rows, rate, logFrequency) / bin;
        const double lo = FrequencyAt(y + 0.5, rows, rate, logFrequency) / bin;
        const int k0 = std::max(0, int(std::ceil(lo)));
        const int k1 = std::min(last, int(std::floor(hi)));
        float level;
        if (k0 <= k1) {
            level = *std::max_element(db_.begin() + k0, db_.begin() + k1 + 1);
        } else {
            const double at =
                std::clamp(FrequencyAt(y, rows, rate, logFrequency) / bin, 0.0, double(last));
            const int k = std::min(int(at), last - 1);
            const double f = at - k;
            level = float(db_[size_t(k)] * (1 - f) + db_[size_t(k) + 1] * f);
        }
        out[y] = LevelOf(level);
    }
}
