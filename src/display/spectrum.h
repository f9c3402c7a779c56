#pragma once
// The arithmetic of the spectrogram, one pixel column at a time: a Hann-windowed magnitude
// spectrum of the channels' mix (FFmpeg's real FFT), its levels in dB spread over the rows of a
// linear or logarithmic frequency axis, and the colour map. No threads and no widgets; a
// TSpectrumAnalyser is used by one thread at a time.
//
// Units: frames as on the store; frequencies in Hz; levels in dB relative to a full-scale sine
// (a sine of amplitude 32767 reads 0 dB). Row 0 is the top row (the highest frequency).

#include <QRgb>
#include <cstdint>
#include <vector>

class TLargeFile;
struct AVTXContext;

struct TSpectrumSettings {
    static constexpr int kMinWindow = 256;
    static constexpr int kMaxWindow = 8192;
    static constexpr int kDefaultWindow = 2048;
    int window = kDefaultWindow;  // FFT size in frames, a power of two
    bool logFrequency = false;
    bool operator==(const TSpectrumSettings&) const = default;
    // `window` rounded down to a power of two inside [kMinWindow, kMaxWindow].
    static int ValidWindow(int window);
};

// The colour map's range: kFloorDb and below is its darkest colour, 0 dB its lightest.
constexpr double kFloorDb = -100.0;
constexpr int kLevels = 256;

// Level 0 (kFloorDb) ... kLevels - 1 (0 dB) of a value in dB.
uint8_t LevelOf(float db);
// A viridis-like map: dark violet through blue and green to yellow; lightness rises with level.
QRgb SpectrumColor(uint8_t level);

// The lowest frequency of the logarithmic axis at `rate` frames per second.
double LogFloorHz(double rate);
// The frequency at the centre of row `y` of `rows` (rows >= 2): half the rate at row 0, 0 Hz
// (or LogFloorHz on the logarithmic axis) at row rows - 1.
double RowFrequency(int y, int rows, double rate, bool logFrequency);

// The inverse: the (fractional) row whose centre is `hz`.
double FrequencyRow(double hz, int rows, double rate, bool logFrequency);

class TSpectrumAnalyser {
public:
    // `window` as TSpectrumSettings::ValidWindow gives it. Raises EAppError when FFmpeg refuses.
    explicit TSpectrumAnalyser(int window);
    ~TSpectrumAnalyser();
    TSpectrumAnalyser(const TSpectrumAnalyser&) = delete;
    TSpectrumAnalyser& operator=(const TSpectrumAnalyser&) = delete;

    int Window() const { return n_; }

    // Levels in dB of bins 0 .. Window() / 2 of the window centred on frame `centre`, from the
    // mix of `channels` interleaved channels of `store`; frames outside [0, available) count as
    // silence. Raises what the store raises.
    const std::vector<float>& Analyse(TLargeFile& store, int channels, int64_t available,
                                      int64_t centre);
    // The same from Window() frames of interleaved samples.
    const std::vector<float>& AnalyseSamples(const int16_t* interleaved, int channels);

    // The last spectrum spread over `rows` rows (top row first) as colour-map levels: a row takes
    // the loudest bin inside its band, or, where the band holds no bin, the level interpolated
    // between the bins around its centre.
    void Rows(int rows, double rate, bool logFrequency, uint8_t* out) const;

private:
    const std::vector<float>& Transform();

    int n_;
    AVTXContext* tx_ = nullptr;
    void (*fn_)(AVTXContext*, void*, void*, ptrdiff_t) = nullptr;
    std::vector<float> hann_;
    float norm_ = 1;  // full-scale sine to 1
    std::vector<int16_t> samples_;
    std::vector<float> in_;
    std::vector<float> out_;  // N/2 + 1 complex values
    std::vector<float> db_;
};
