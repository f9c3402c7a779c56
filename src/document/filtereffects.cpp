// The table of filter effects and the graphs they build.
#include "filtereffects.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <numbers>
#include <sstream>

#include "apperror.h"

namespace {

std::string Num(double v) {
    std::ostringstream s;
    s.imbue(std::locale::classic());
    s.precision(10);
    s << v;
    return s.str();
}

// A slope of 6N dB/octave as a Butterworth filter of order N: N/2 two-pole sections with the
// Q of each pole pair, and one one-pole section when N is odd. The result is flat in the pass
// band and 3 dB down at the corner whatever the order.
std::string Butterworth(const char* filter, double hz, double slope) {
    const int order = std::clamp(int(std::lround(slope / 6.0)), 1, 8);
    std::string g;
    auto add = [&](const std::string& section) {
        if (!g.empty()) g += ',';
        g += section;
    };
    for (int k = 1; k <= order / 2; ++k) {
        const double angle = std::numbers::pi * double(order - 2 * k + 1) / (2.0 * order);
        add(std::string(filter) + "=f=" + Num(hz) + ":p=2:t=q:w=" + Num(1.0 / (2.0 * std::cos(angle))));
    }
    if (order % 2) add(std::string(filter) + "=f=" + Num(hz) + ":p=1");
    return g;
}

double Linear(double db) {
    return std::pow(10.0, db / 20.0);
}

TFilterRun HighPass(const std::vector<double>& v, int) {
    return {Butterworth("highpass", v[0], v[1])};
}

TFilterRun LowPass(const std::vector<double>& v, int) {
    return {Butterworth("lowpass", v[0], v[1])};
}

TFilterRun Equalizer(const std::vector<double>& v, int) {
    std::string g;
    for (size_t i = 0; i + 2 < v.size(); i += 3) {
        if (!g.empty()) g += ',';
        g.append("equalizer=f=").append(Num(v[i])).append(":t=q:w=").append(Num(v[i + 2]));
        g.append(":g=").append(Num(v[i + 1]));
    }
    return {g};
}

TFilterRun Compressor(const std::vector<double>& v, int) {
    // A hard knee and peak detection, so the gain above the threshold follows the ratio.
    return {"acompressor=threshold=" + Num(Linear(v[0])) + ":ratio=" + Num(v[1]) +
            ":attack=" + Num(v[2]) + ":release=" + Num(v[3]) + ":makeup=" + Num(Linear(v[4])) +
            ":knee=1:detection=peak"};
}

TFilterRun Limiter(const std::vector<double>& v, int) {
    // level=0: the limiter must not raise the result back to full scale.
    return {"alimiter=limit=" + Num(Linear(v[0])) + ":release=" + Num(v[1]) +
            ":attack=5:level=0:asc=0"};
}

TFilterRun Tempo(const std::vector<double>& v, int) {
    return {"rubberband=tempo=" + Num(v[0] / 100.0), 100.0 / v[0], TDelayProbe::kOnset};
}

TFilterRun Pitch(const std::vector<double>& v, int) {
    return {"rubberband=pitch=" + Num(std::exp2(v[0] / 12.0)) + ":pitchq=quality", 1.0,
            TDelayProbe::kOnset};
}

TFilterRun Speed(const std::vector<double>& v, int rate) {
    // The samples played faster, then brought back to the document's rate.
    return {"asetrate=" + Num(std::round(rate * v[0] / 100.0)) + ",aresample=" +
                std::to_string(rate) + ":resampler=soxr",
            100.0 / v[0], TDelayProbe::kOnset};
}

}  // namespace

const std::vector<TFilterEffect>& FilterEffects() {
    static const std::vector<TFilterEffect> table = {
        {"highpass", {{"filterfrequency", 10, 20000, 100}, {"filterslope", 6, 48, 12}}, false,
         HighPass},
        {"lowpass", {{"filterfrequency", 10, 20000, 8000}, {"filterslope", 6, 48, 12}}, false,
         LowPass},
        {"eq",
         {{"filterfrequency", 10, 20000, 1000}, {"eqgain", -24, 24, 0}, {"eqq", 0.1, 10, 1}},
         true,
         Equalizer},
        {"compress",
         {{"compthreshold", -60, 0, -20},
          {"compratio", 1, 20, 4},
          {"compattack", 0.01, 2000, 20},
          {"comprelease", 0.01, 9000, 250},
          {"compmakeup", 0, 36, 0}},
         false,
         Compressor},
        {"limit", {{"limitceiling", -24, 0, -1}, {"limitrelease", 1, 8000, 50}}, false, Limiter},
        {"tempo", {{"tempopercent", 25, 400, 100}}, false, Tempo},
        {"pitch", {{"pitchsemitones", -24, 24, 0}}, false, Pitch},
        {"speed", {{"speedpercent", 25, 400, 100}}, false, Speed},
    };
    return table;
}

const TFilterEffect* FindFilterEffect(const std::string& name) {
    for (const TFilterEffect& e : FilterEffects())
        if (name == e.name) return &e;
    return nullptr;
}

TFilterRun BuildFilterRun(const TFilterSettings& settings, int sampleRate) {
    const TFilterEffect* e = FindFilterEffect(settings.effect);
    if (!e) throw EAppError("Unknown effect " + settings.effect);
    const size_t group = e->params.size();
    const size_t n = settings.values.size();
    if (n == 0 || n % group || (!e->repeats && n != group))
        throw EAppError("Wrong number of values for " + settings.effect);
    for (size_t i = 0; i < n; ++i) {
        const TFilterParam& p = e->params[i % group];
        const double v = settings.values[i];
        if (!(v >= p.min && v <= p.max))
            throw EAppError(std::string(p.key) + " is out of range for " + settings.effect);
    }
    return e->build(settings.values, sampleRate);
}

bool ParseFilterValues(const TFilterEffect& effect, const std::string& text,
                       std::vector<double>& values, std::string& error) {
    std::vector<double> got;
    size_t at = 0;
    while (at <= text.size()) {
        const size_t colon = std::min(text.find(':', at), text.size());
        const std::string part = text.substr(at, colon - at);
        double v = 0;
        const auto [p, ec] = std::from_chars(part.data(), part.data() + part.size(), v);
        if (part.empty() || ec != std::errc() || p != part.data() + part.size()) {
            error = "\"" + part + "\" is not a number";
            return false;
        }
        if (got.size() >= effect.params.size()) {
            error = "takes at most " + std::to_string(effect.params.size()) + " values";
            return false;
        }
        const TFilterParam& param = effect.params[got.size()];
        if (!(v >= param.min && v <= param.max)) {
            error = "needs a value from " + Num(param.min) + " to " + Num(param.max) + ", not " +
                    part;
            return false;
        }
        got.push_back(v);
        at = colon + 1;
    }
    for (size_t i = got.size(); i < effect.params.size(); ++i) got.push_back(effect.params[i].def);
    values.insert(values.end(), got.begin(), got.end());
    return true;
}

const std::vector<TEqPreset>& EqPresets() {
    static const std::vector<TEqPreset> presets = {
        // Rumble and boom taken away below the voice.
        {"eqbasscut", {80, -12, 0.7, 200, -4, 1}},
        // The narrow band of a telephone line, with its presence peak.
        {"eqtelephone", {200, -18, 0.5, 1800, 6, 1, 4500, -18, 0.5}},
    };
    return presets;
}
