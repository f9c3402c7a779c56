#pragma once
// Noise reduction from a noise profile, by libsox's noiseprof and noisered run as effects
// chains fed from the sample store block by block. noisered takes away what matches the
// profile; the strength then says how far: the result is the denoised sound plus the
// difference to the original at -strength dB, so the noise falls by the strength and no more.

#include <atomic>
#include <cstdint>
#include <string>

#include <QString>

class TLargeFile;
class TVersionWriter;

constexpr double kDefaultDenoiseDb = 12;
// noisered's amount: how much of what lies near the profile counts as noise (0 to 1).
constexpr double kDefaultDenoiseSensitivity = 0.3;

// The profile (noiseprof's text) of frames [from, to) of source. `tempFolder` holds the short-
// lived file libsox writes it to. Errors come back as EAppError; a cancel as EAbort.
std::string NoiseProfile(TLargeFile& source, int channels, int sampleRate, int64_t from,
                         int64_t to, const QString& tempFolder);

// Frames [from, to) of source with the noise of `profile` reduced by strengthDb, written to
// target from frame `at`. `progress` gets 0..100.
void ReduceNoise(const std::string& profile, double strengthDb, double sensitivity,
                 TLargeFile& source, TVersionWriter& target, int channels, int sampleRate,
                 int64_t from, int64_t to, int64_t at, const QString& tempFolder,
                 std::atomic<int32_t>& progress);
