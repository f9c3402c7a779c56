#pragma once
// The effects made of libavfilter graphs, one table entry each: the parameters the dialog and
// the command line offer (with units, ranges and defaults) and the graph they give. Adding an
// effect is one entry here, its dialog and its test; the document runs every entry the same way
// (filtergraph.h).

#include <string>
#include <vector>

#include "filtergraph.h"

struct TFilterParam {
    const char* key;  // message key of its label, and its name in errors
    double min, max, def;
};

struct TFilterEffect {
    const char* name;  // "highpass": the command-line option without "--", and the step name
    std::vector<TFilterParam> params;
    // Any number of groups of `params` (the equalizer's bands); otherwise exactly one.
    bool repeats = false;
    // The graph for values already in range, at a sample rate.
    TFilterRun (*build)(const std::vector<double>& values, int sampleRate);
};

// What to run: an effect by name with its values (a whole number of groups for a repeating one).
struct TFilterSettings {
    std::string effect;
    std::vector<double> values;
};

const std::vector<TFilterEffect>& FilterEffects();
const TFilterEffect* FindFilterEffect(const std::string& name);

// The graph of `settings`; throws EAppError for an unknown effect or values out of range.
TFilterRun BuildFilterRun(const TFilterSettings& settings, int sampleRate);

// Reads "A[:B[:C...]]" for one group of the effect's parameters, the ones left out taking their
// defaults, and appends them to `values`. False, with `error` saying why, for a value that is
// not a number or out of range, or too many of them.
bool ParseFilterValues(const TFilterEffect& effect, const std::string& text,
                       std::vector<double>& values, std::string& error);

// The equalizer's presets: bands of (frequency Hz, gain dB, Q).
struct TEqPreset {
    const char* key;  // message key of its name
    std::vector<double> bands;
};
const std::vector<TEqPreset>& EqPresets();
