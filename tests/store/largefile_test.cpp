#include <gtest/gtest.h>
#include <QFileInfo>
#include <numeric>
#include <vector>

#include "apperror.h"
#include "largefile.h"
#include "messages.h"
#include "testutil.h"

namespace {

constexpr uint32_t kSamplesPerWindow = TLargeFile::kWindowBytes / 2;
// Sample whose first byte is the first byte after the first window.
constexpr uint32_t kFirstOutside = (TLargeFile::kWindowBytes - kWavHeaderBytes) / 2;

uint64_t StoreBytes(uint64_t samples) {
    return kWavHeaderBytes + 2 * samples;
}

TEST(LargeFile, EmptyStoreIsJustAHeader) {
    TTempFolder dir;
    {
        TLargeFile w(dir.path("a.wav"), kWavHeaderBytes);
        w.WriteHeader(TWavHeader::Pcm16(2, 44100, 0));
        EXPECT_EQ(w.SampleCount(), 0u);
    }
    EXPECT_EQ(QFileInfo(dir.path("a.wav")).size(), 44);
    TLargeFile r(dir.path("a.wav"));
    EXPECT_EQ(TWavHeader::Parse(r.ReadHeader().data()).riffSize, 36u);
    int16_t none = 7;
    r.ReadSamples(&none, 0, -1);
    EXPECT_EQ(none, 7);
    EXPECT_THROW(r.ReadSample(0), EAppError);
}

TEST(LargeFile, WindowMovesAtTheThirtyTwoMebibyteEdge) {
    TTempFolder dir;
    const uint32_t samples = kSamplesPerWindow + 1000;
    {
        TLargeFile w(dir.path("b.wav"), StoreBytes(samples));
        EXPECT_EQ(w.Remaps(), 1u);
        for (uint32_t i = 0; i < samples; ++i) w.WriteSample(i, int32_t(i * 7));
        EXPECT_EQ(w.Remaps(), 2u);  // one move for a whole sequential pass
    }
    TLargeFile r(dir.path("b.wav"));
    EXPECT_EQ(r.ReadSample(0), 0);
    EXPECT_EQ(r.Remaps(), 1u);
    EXPECT_EQ(r.ReadSample(kFirstOutside - 1), int16_t((kFirstOutside - 1) * 7));
    EXPECT_EQ(r.Remaps(), 1u);
    EXPECT_EQ(r.ReadSample(kFirstOutside), int16_t(kFirstOutside * 7));
    EXPECT_EQ(r.Remaps(), 2u);
    EXPECT_EQ(r.ReadSample(0), 0);
    EXPECT_EQ(r.Remaps(), 3u);
    // A window near the end is shorter; the last sample is still reachable.
    EXPECT_EQ(r.ReadSample(samples - 1), int16_t((samples - 1) * 7));
    EXPECT_THROW(r.ReadSample(samples), EAppError);
}

TEST(LargeFile, OnlyTheLowSixteenBitsAreStored) {
    TTempFolder dir;
    TLargeFile w(dir.path("c.wav"), StoreBytes(3));
    w.WriteSample(0, 32768);
    w.WriteSample(1, -32769);
    w.WriteSample(2, 65535);
    EXPECT_EQ(w.ReadSample(0), -32768);
    EXPECT_EQ(w.ReadSample(1), 32767);
    EXPECT_EQ(w.ReadSample(2), -1);
}

TEST(LargeFile, RunsAcrossWindowsMatchSampleBySample) {
    TTempFolder dir;
    const uint32_t samples = 2 * kSamplesPerWindow + 5001;
    std::vector<int16_t> data(samples);
    for (uint32_t i = 0; i < samples; ++i) data[i] = int16_t(i * 31 + 5);
    {
        TLargeFile w(dir.path("d.wav"), StoreBytes(samples));
        // Two runs whose edges fall inside and across windows.
        w.WriteSamples(data.data(), 0, kFirstOutside + 10);
        w.WriteSamples(data.data() + kFirstOutside + 11, kFirstOutside + 11, samples - 1);
    }
    TLargeFile r(dir.path("d.wav"));
    std::vector<int16_t> back(samples, 0);
    r.ReadSamples(back.data(), 0, samples - 1);
    EXPECT_EQ(back, data);
    for (uint32_t i : {0u, kFirstOutside - 1, kFirstOutside, 2 * kFirstOutside, samples - 1}) {
        EXPECT_EQ(r.ReadSample(i), data[i]) << i;
    }
    std::vector<int16_t> tail(3);
    r.ReadSamples(tail.data(), samples - 3, samples - 1);
    EXPECT_EQ(tail[2], data[samples - 1]);
    EXPECT_THROW(r.ReadSamples(tail.data(), samples - 2, samples), EAppError);
}

TEST(LargeFile, CopyFromWithWindowsOutOfStep) {
    TTempFolder dir;
    const uint32_t samples = kSamplesPerWindow + 20000;
    {
        TLargeFile w(dir.path("src.wav"), StoreBytes(samples));
        for (uint32_t i = 0; i < samples; ++i) w.WriteSample(i, int32_t(i % 30011));
    }
    TLargeFile src(dir.path("src.wav"));
    const uint32_t shift = 12345;  // source and target windows end at different samples
    {
        TLargeFile dst(dir.path("dst.wav"), StoreBytes(samples + shift));
        dst.CopyFrom(src, 0, shift, samples);
        dst.CopyFrom(src, 0, 0, 0);
        dst.CopyFrom(src, 0, 0, -5);
    }
    TLargeFile back(dir.path("dst.wav"));
    for (uint32_t i = 0; i < shift; ++i) ASSERT_EQ(back.ReadSample(i), 0);
    for (uint32_t i = 0; i < samples; i += 997)
        ASSERT_EQ(back.ReadSample(i + shift), int16_t(i % 30011));
    EXPECT_EQ(back.ReadSample(samples + shift - 1), int16_t((samples - 1) % 30011));
}

TEST(LargeFile, ReadOnlyStoreRefusesWrites) {
    TTempFolder dir;
    { TLargeFile w(dir.path("e.wav"), StoreBytes(4)); }
    TLargeFile r(dir.path("e.wav"));
    EXPECT_THROW(r.WriteSample(0, 1), EAppError);
    EXPECT_THROW(r.WriteHeader(TWavHeader{}), EAppError);
    EXPECT_THROW(TLargeFile(dir.path("missing.wav")), EOSError);
}

TEST(LargeFile, OversizeIsRefusedBeforeAnythingIsCreated) {
    TTempFolder dir;
    EXPECT_THROW(TLargeFile(dir.path("huge.wav"), TLargeFile::kMaxFileBytes + 1), EAppError);
    EXPECT_FALSE(QFileInfo::exists(dir.path("huge.wav")));
}

TEST(LargeFile, FreeSpaceIsThatOfTheStoresOwnDisk) {
    TSmallDisk disk("1m");
    if (!disk.ok()) GTEST_SKIP() << "needs root to mount a small tmpfs";
    TTempFolder roomy;
    // A full temporary folder does not matter to a store written elsewhere (a save).
    const QString saved = Settings.tempfolder;
    Settings.tempfolder = disk.path();
    EXPECT_NO_THROW(TLargeFile(roomy.path("fine.wav"), 4 << 20));
    Settings.tempfolder = saved;
    EXPECT_EQ(QFileInfo(roomy.path("fine.wav")).size(), 4 << 20);
    // The store's own disk is too small: refused, and nothing is left there.
    try {
        TLargeFile(disk.path("big.wav"), 4 << 20);
        FAIL() << "no error";
    } catch (const EAppError& e) {
        EXPECT_EQ(std::string(e.what()), Msg("outofmemory"));
    }
    EXPECT_FALSE(QFileInfo::exists(disk.path("big.wav")));
}

TEST(LargeFile, RefusedCreationLeavesWhatWasThereAlone) {
    TSmallDisk disk("1m");
    if (!disk.ok()) GTEST_SKIP() << "needs root to mount a small tmpfs";
    {
        QFile old(disk.path("old.wav"));
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("keep");
    }
    EXPECT_THROW(TLargeFile(disk.path("old.wav"), 4 << 20), EAppError);
    EXPECT_EQ(ReadAll(disk.path("old.wav")), "keep");
    // The size of the file it replaces counts as free: 600 KiB over 700 KiB fits a 1 MiB disk.
    {
        QFile old(disk.path("old.wav"));
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(700 << 10, 'x'));
    }
    EXPECT_NO_THROW(TLargeFile(disk.path("old.wav"), 600 << 10));
}

}  // namespace
