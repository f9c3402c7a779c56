#pragma once
// The MP3 encoder settings: the encoder configuration record (BE_CONFIG), the bitrate tables
// offered per sample rate, the MP3 settings dialog's choices as a plain record (TMp3Choices),
// and the dialog's list state (TMp3SettingsModel) so that the dialog itself is a thin view.
// Plain values and functions, no widgets; callable from any thread (the model from the one
// that owns it). Invalid arguments are raised as EAppError.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The encoder's configuration in the layout-neutral form of the Blade-style record, LAME form.
// Flags hold kBeTrue (all bits set) or kBeFalse. Bitrates in kbit/s except dwVbrAbr_bps.
struct BE_CONFIG {
    uint32_t dwConfig = 0;
    uint32_t dwStructVersion = 0;
    uint32_t dwStructSize = 0;
    uint32_t dwSampleRate = 0;    // input frames per second
    uint32_t dwReSampleRate = 0;  // output rate; 0: the encoder decides
    int32_t nMode = 0;            // kBeModeStereo ... kBeModeMono
    uint32_t dwBitrate = 0;       // CBR bitrate; the minimum in VBR and ABR
    uint32_t dwMaxBitrate = 0;    // VBR and ABR maximum
    int32_t nPreset = 0;
    uint32_t dwMpegVersion = 0;  // 1: MPEG-1, 0: MPEG-2
    uint32_t dwPsyModel = 0;
    uint32_t dwEmphasis = 0;
    int32_t bPrivate = 0;
    int32_t bCRC = 0;
    int32_t bCopyright = 0;
    int32_t bOriginal = 0;
    int32_t bWriteVBRHeader = 0;  // write the Xing/Info tag frame at the start of the file
    int32_t bEnableVBR = 0;
    int32_t nVBRQuality = 0;    // 0 best ... 9 worst
    uint32_t dwVbrAbr_bps = 0;  // ABR mean bitrate in bit/s
    int32_t nVbrMethod = 0;     // kVbrMethodNone ... kVbrMethodAbr
    int32_t bNoRes = 0;
    int32_t bStrictIso = 0;
    uint16_t nQuality = 0;  // algorithm quality, 0 best ... 9 fastest

    bool operator==(const BE_CONFIG&) const = default;
};

constexpr int32_t kBeTrue = -1;
constexpr int32_t kBeFalse = 0;

constexpr uint32_t kBeConfigLame = 256;
constexpr uint32_t kBeStructVersion = 1;
constexpr uint32_t kBeStructSize = 331;

constexpr int32_t kBeModeStereo = 0;
constexpr int32_t kBeModeJointStereo = 1;
constexpr int32_t kBeModeDualChannel = 2;
constexpr int32_t kBeModeMono = 3;

constexpr int32_t kPresetNone = -1;  // LQP_NOPRESET
constexpr int32_t kPresetAbr = 11;   // LQP_ABR
constexpr int32_t kPresetCbr = 12;   // LQP_CBR

constexpr int32_t kVbrMethodNone = -1;
constexpr int32_t kVbrMethodDefault = 0;
constexpr int32_t kVbrMethodOld = 1;
constexpr int32_t kVbrMethodNew = 2;
constexpr int32_t kVbrMethodMtrh = 3;
constexpr int32_t kVbrMethodAbr = 4;

constexpr uint16_t kEncoderQuality = 5;
// Sample rates from this one up are MPEG-1.
constexpr uint32_t kMpeg1MinRate = 32000;
// What every choice encodes at for a sample rate without a bitrate table.
constexpr int kUntabledBitrate = 128;

enum TMp3Mode : int { mmCbr = 0, mmVbr = 1, mmAbr = 2 };
constexpr int kMaxQualityPosition = 8;

// The MP3 settings dialog's choices: list positions, not bitrates (BitrateForIndex turns them
// into kbit/s for the document's rate). The defaults are the dialog's initial state.
struct TMp3Choices {
    int modeIndex = mmCbr;
    int bitrateIndex = 0;
    int maxBitrateIndex = 0;
    int avgBitrateIndex = 0;
    int qualityPosition = 0;  // slider 0..8, 8 best
    bool crc = false;

    bool operator==(const TMp3Choices&) const = default;
};

// The bitrates (kbit/s, highest first) offered at sampleRate; empty for a rate without a table.
const std::vector<int>& BitrateTable(uint32_t sampleRate);

// The bitrate (kbit/s) of list position index at sampleRate; 128 for a rate without a table,
// whatever the index. Raises EAppError for a position outside the rate's table.
int BitrateForIndex(uint32_t sampleRate, int index);

// The list position that encodes at kbps for sampleRate, or nothing when the rate does not offer
// it. A rate without a table offers only 128 (at position 0).
std::optional<int> IndexForBitrate(uint32_t sampleRate, int kbps);

// The bitrates offered at sampleRate as text, highest first: "320, 256, ..., 32".
std::string OfferedBitrates(uint32_t sampleRate);

// The encoder configuration for a document of sampleRate and channels (1 or 2) saved with
// choices. Raises EAppError for choices the dialog cannot make.
BE_CONFIG MakeMp3Config(uint32_t sampleRate, uint16_t channels, const TMp3Choices& choices);

// The MP3 settings dialog's state between showings: the remembered sample rate, the three
// bitrate lists with their selections, the mode, quality and checksum. The dialog shows it and
// writes the user's selections back; FormActivate rebuilds the lists for a new sample rate.
class TMp3SettingsModel {
public:
    TMp3SettingsModel();

    // Every time the dialog is shown: shows the mode's page, then, when rate differs from the
    // remembered one, remembers it and refills all three lists with the rate's table (a rate
    // without one: the single bitrate it encodes at), each on its first entry. Mode, quality and
    // checksum are kept.
    void FormActivate(uint32_t rate);
    // The encoding mode changed: the page shown and the maximum bitrate's visibility follow it.
    void vbrmodeChange();

    int32_t RememberedRate() const { return rememberedRate_; }
    // Page of the mode's settings: 0 "CBR", 1 "VBR", 2 "ABR".
    int PageIndex() const { return page_; }
    bool MaxBitrateVisible() const { return maxVisible_; }

    // List items as the dialog shows them.
    const std::vector<std::string>& BitrateItems() const { return bitrateItems_; }
    const std::vector<std::string>& MaxBitrateItems() const { return maxBitrateItems_; }
    const std::vector<std::string>& AvgBitrateItems() const { return avgBitrateItems_; }

    // The selections; the setters take what the dialog's controls hold (positions are checked
    // against the lists, the quality against 0..8, the mode against 0..2).
    const TMp3Choices& Choices() const { return choices_; }
    void SetMode(int index);
    void SetBitrateIndex(int index);
    void SetMaxBitrateIndex(int index);
    void SetAvgBitrateIndex(int index);
    void SetQualityPosition(int position);
    void SetCrc(bool on) { choices_.crc = on; }

private:
    int32_t rememberedRate_ = 0;
    int page_ = 0;
    bool maxVisible_ = false;
    std::vector<std::string> bitrateItems_, maxBitrateItems_, avgBitrateItems_;
    TMp3Choices choices_;
};
