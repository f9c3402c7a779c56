#include "mp3format.h"

#include "apperror.h"

namespace {

const std::vector<int> kMpeg1Table = {320, 256, 224, 192, 160, 128, 112,
                                      96,  80,  64,  56,  48,  40,  32};
const std::vector<int> kMpeg2Table = {160, 144, 128, 112, 96, 80, 64, 56, 48, 40, 32, 24, 16, 8};
// MPEG-2.5 (8000, 11025 and 12000 Hz): the encoder goes no higher than 64 kbit/s there and
// quietly writes 64 for anything above, so nothing above is offered.
const std::vector<int> kLowRateTable(kMpeg2Table.begin() + 6, kMpeg2Table.end());
const std::vector<int> kNoTable;
// A rate without a table encodes at one bitrate whatever is chosen, so that is all it offers.
const std::vector<std::string> kUntabledItems = {std::to_string(kUntabledBitrate)};

// What the dialog's lists hold before any rate with a table was seen.
const std::vector<std::string> kInitialBitrateItems = {"320", "256", "224", "192", "160",
                                                       "128", "112", "96",  "80",  "64",
                                                       "56",  "48",  "40",  "32",  "16"};
const std::vector<std::string> kInitialAvgItems(kInitialBitrateItems.begin(),
                                                kInitialBitrateItems.end() - 1);

int32_t Flag(bool on) {
    return on ? kBeTrue : kBeFalse;
}

std::vector<std::string> Texts(const std::vector<int>& table) {
    std::vector<std::string> items;
    items.reserve(table.size());
    for (int kbps : table) items.push_back(std::to_string(kbps));
    return items;
}

void CheckPosition(int index, size_t count, const char* what) {
    if (index < 0 || size_t(index) >= count) {
        throw EAppError(std::string("No ") + what + " at list position " + std::to_string(index));
    }
}

}  // namespace

const std::vector<int>& BitrateTable(uint32_t sampleRate) {
    switch (sampleRate) {
        case 32000:
        case 44100:
        case 48000:
            return kMpeg1Table;
        case 16000:
        case 22050:
            return kMpeg2Table;
        case 8000:
        case 11025:
        case 12000:  // MPEG-2.5 like 8000 and 11025: the encoder takes nothing above this table
            return kLowRateTable;
        default:
            return kNoTable;
    }
}

int BitrateForIndex(uint32_t sampleRate, int index) {
    const std::vector<int>& table = BitrateTable(sampleRate);
    if (table.empty()) return kUntabledBitrate;
    CheckPosition(index, table.size(), "bitrate");
    return table[size_t(index)];
}

std::optional<int> IndexForBitrate(uint32_t sampleRate, int kbps) {
    const std::vector<int>& table = BitrateTable(sampleRate);
    if (table.empty()) return kbps == kUntabledBitrate ? std::optional<int>(0) : std::nullopt;
    for (size_t i = 0; i < table.size(); ++i) {
        if (table[i] == kbps) return int(i);
    }
    return std::nullopt;
}

std::string OfferedBitrates(uint32_t sampleRate) {
    const std::vector<int>& table = BitrateTable(sampleRate);
    if (table.empty()) return std::to_string(kUntabledBitrate);
    std::string text;
    for (int kbps : table) {
        if (!text.empty()) text += ", ";
        text += std::to_string(kbps);
    }
    return text;
}

BE_CONFIG MakeMp3Config(uint32_t sampleRate, uint16_t channels, const TMp3Choices& choices) {
    if (channels != 1 && channels != 2) {
        throw EAppError("MP3 files hold 1 or 2 channels, not " + std::to_string(channels));
    }
    if (choices.modeIndex < mmCbr || choices.modeIndex > mmAbr) {
        throw EAppError("Unknown MP3 encoding mode " + std::to_string(choices.modeIndex));
    }
    if (choices.qualityPosition < 0 || choices.qualityPosition > kMaxQualityPosition) {
        throw EAppError("MP3 quality position out of range: " +
                        std::to_string(choices.qualityPosition));
    }
    const bool vbr = choices.modeIndex == mmVbr;
    const bool abr = choices.modeIndex == mmAbr;

    BE_CONFIG c;
    c.dwConfig = kBeConfigLame;
    c.dwStructVersion = kBeStructVersion;
    c.dwStructSize = kBeStructSize;
    c.dwSampleRate = sampleRate;
    c.dwReSampleRate = 0;
    c.nMode = channels == 1 ? kBeModeMono : kBeModeStereo;
    c.dwBitrate = uint32_t(BitrateForIndex(sampleRate, choices.bitrateIndex));
    // Read in every mode: a choice hidden in CBR mode still reaches the record.
    c.dwMaxBitrate = uint32_t(BitrateForIndex(sampleRate, choices.maxBitrateIndex));
    c.nPreset = vbr ? kPresetNone : abr ? kPresetAbr : kPresetCbr;
    c.dwMpegVersion = sampleRate >= kMpeg1MinRate ? 1 : 0;
    c.dwPsyModel = 0;
    c.dwEmphasis = 0;
    c.bPrivate = Flag(false);
    c.bCRC = Flag(choices.crc);
    c.bCopyright = Flag(false);
    c.bOriginal = Flag(true);
    // Every mode gets the Info frame: its encoder delay and padding are what let a reader give
    // back exactly the frames that were saved.
    c.bWriteVBRHeader = Flag(true);
    c.bEnableVBR = Flag(vbr || abr);
    c.nVBRQuality = kMaxQualityPosition - choices.qualityPosition;
    c.dwVbrAbr_bps =
        abr ? uint32_t(BitrateForIndex(sampleRate, choices.avgBitrateIndex)) * 1000 : 0;
    c.nVbrMethod = vbr ? kVbrMethodDefault : abr ? kVbrMethodAbr : kVbrMethodNone;
    c.bNoRes = Flag(false);
    c.bStrictIso = Flag(false);
    c.nQuality = kEncoderQuality;
    return c;
}

// --- TMp3SettingsModel ------------------------------------------------------------------------

TMp3SettingsModel::TMp3SettingsModel()
    : bitrateItems_(kInitialBitrateItems),
      maxBitrateItems_(kInitialBitrateItems),
      avgBitrateItems_(kInitialAvgItems) {}

void TMp3SettingsModel::vbrmodeChange() {
    page_ = choices_.modeIndex;
    maxVisible_ = choices_.modeIndex != mmCbr;
}

void TMp3SettingsModel::FormActivate(uint32_t rate) {
    vbrmodeChange();
    if (int32_t(rate) == rememberedRate_) return;
    rememberedRate_ = int32_t(rate);
    const std::vector<int>& table = BitrateTable(rate);
    bitrateItems_ = table.empty() ? kUntabledItems : Texts(table);
    maxBitrateItems_ = bitrateItems_;
    avgBitrateItems_ = bitrateItems_;
    choices_.bitrateIndex = 0;
    choices_.maxBitrateIndex = 0;
    choices_.avgBitrateIndex = 0;
}

void TMp3SettingsModel::SetMode(int index) {
    CheckPosition(index, 3, "encoding mode");
    choices_.modeIndex = index;
    vbrmodeChange();
}

void TMp3SettingsModel::SetBitrateIndex(int index) {
    CheckPosition(index, bitrateItems_.size(), "bitrate");
    choices_.bitrateIndex = index;
}

void TMp3SettingsModel::SetMaxBitrateIndex(int index) {
    CheckPosition(index, maxBitrateItems_.size(), "maximum bitrate");
    choices_.maxBitrateIndex = index;
}

void TMp3SettingsModel::SetAvgBitrateIndex(int index) {
    CheckPosition(index, avgBitrateItems_.size(), "targeted bitrate");
    choices_.avgBitrateIndex = index;
}

void TMp3SettingsModel::SetQualityPosition(int position) {
    CheckPosition(position, kMaxQualityPosition + 1, "quality");
    choices_.qualityPosition = position;
}
