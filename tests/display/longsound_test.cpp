// A sound past 2^32 frames without the disk it would take: a sparse RF64 version file (mono
// 8 kHz, 8 GiB of holes with two known ramps written into it) recovered as a crashed run's
// session leaves it, so the document, the view and the player meet frame numbers above 2^31
// and 2^32 without reading 8 GiB.
#include <fcntl.h>
#include <unistd.h>
#include <gtest/gtest.h>
#include <QJsonArray>

#include "doctest_util.h"
#include "manualbackend.h"
#include "peakfile.h"
#include "player.h"
#include "playback_util.h"
#include "session.h"
#include "waveimage.h"
#include "waveview.h"
#include "wavfile.h"

namespace {

constexpr int64_t k2p31 = int64_t(1) << 31;
constexpr int64_t k2p32 = int64_t(1) << 32;
constexpr int64_t kFrames = k2p32 + (1 << 20);
constexpr uint32_t kRate = 8000;
// Each ramp starts two blocks after its power of two and fills eight whole 512-frame blocks.
constexpr int64_t kRampOffset = 1024;
constexpr int64_t kRampFrames = 4096;

int16_t RampSample(int64_t i) {
    return int16_t(1 + i % 30000);
}

// The version file and its peak file, written by hand as a killed run leaves them.
void WriteSparseVersion(const QString& path) {
    const TWavHeader h = TWavHeader::Pcm16(1, kRate, uint64_t(kFrames) * 2);
    ASSERT_TRUE(h.rf64);
    const TWavHeaderBytes bytes = h.Bytes();
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, bytes.data(), bytes.size(), 0), ssize_t(bytes.size()));
    ASSERT_EQ(::ftruncate(fd, off_t(WavFileBytes(uint64_t(kFrames) * 2))), 0);
    std::vector<int16_t> ramp(kRampFrames);
    for (int64_t i = 0; i < kRampFrames; ++i) ramp[size_t(i)] = RampSample(i);
    Tindexdata table(size_t(kFrames / kPeakBlockFrames + 1));
    for (const int64_t base : {k2p31, k2p32}) {
        const off_t at = off_t(kRf64HeaderBytes + 2 * (base + kRampOffset));
        ASSERT_EQ(::pwrite(fd, ramp.data(), ramp.size() * 2, at), ssize_t(ramp.size() * 2));
        for (int64_t b = 0; b < kRampFrames / kPeakBlockFrames; ++b) {
            const int64_t first = b * kPeakBlockFrames;
            table[size_t((base + kRampOffset) / kPeakBlockFrames + b)] = {
                RampSample(first + kPeakBlockFrames - 1), RampSample(first)};
        }
    }
    ::close(fd);
    // The sound ends on a block boundary: a rebuild closes one more block, empty.
    table.back() = {0, INT16_MAX};
    TLevels levels;
    levels.channelPeak[0] = levels.peak = RampSample(kRampFrames - 1);
    levels.level = LevelFromPeak(levels.peak);
    ASSERT_TRUE(WritePeakFile(path, kFrames, 1, table, levels));
}

class LongSound : public ::testing::Test, public TDocFixture {
protected:
    void SetUp() override {
        const QString version = dir.path("~ovlong01");
        WriteSparseVersion(version);
        if (HasFatalFailure()) return;
        TJournalStep step;
        step.fileName = dir.path("day.wav");
        step.current = version;
        step.modified = true;
        // The view the crashed run showed, all of it past 2^32.
        step.views[version] = QJsonArray{qint64(k2p32 + 7), qint64(k2p32 + 5), qint64(k2p32 + 9),
                                         true, qint64(k2p32), qint64(kFrames)};
        QString id;
        {
            TSession session;
            ASSERT_TRUE(session.Start());
            id = session.Id();
            ASSERT_TRUE(session.Append(step));
        }
        doc.OnRestoreView = [this](Twavefile*, const TViewState& v) { restored = v; };
        ASSERT_TRUE(doc.Recover(id));
        Wait();
        ASSERT_TRUE(doc.Ready());
        view = std::make_unique<TWaveView>(nullptr, backend);
        view->resize(630, 250);
        view->AttachDocument(&doc);
    }
    void TearDown() override {
        view.reset();
        doc.Close();
    }

    TEnv state{"XDG_STATE_HOME", QFile::encodeName(dir.path("state")).toStdString()};
    std::shared_ptr<TManualClockBackend> backend = std::make_shared<TManualClockBackend>();
    std::unique_ptr<TWaveView> view;
    TViewState restored;
};

TEST_F(LongSound, TheDocumentAndTheRestoredViewKeepEveryBit) {
    EXPECT_EQ(doc.Frames(), kFrames);
    EXPECT_EQ(doc.DataBytes(), uint64_t(kFrames) * 2);
    EXPECT_EQ(doc.Store()->DataOffset(), kRf64HeaderBytes);
    EXPECT_EQ(doc.PeakTable().size(), size_t(kFrames / kPeakBlockFrames + 1));
    EXPECT_EQ(restored.cursor, k2p32 + 7);
    view->RestoreView(restored);
    const TViewState shown = view->ViewState();
    EXPECT_EQ(shown.cursor, k2p32 + 7);
    EXPECT_EQ(shown.selStart, k2p32 + 5);
    EXPECT_EQ(shown.selStop, k2p32 + 9);
    EXPECT_EQ(shown.viewStart, k2p32);
    EXPECT_EQ(shown.viewEnd, kFrames);
    // 2^32 frames at 8 kHz are 536870912 ms; one more frame is 0.125 ms more.
    EXPECT_EQ(view->SamplesToMs(k2p32), 536870912);
}

// The ramp played from where the selection or the cursor puts it, and copied.
class LongSoundAt : public LongSound, public ::testing::WithParamInterface<int64_t> {};

TEST_P(LongSoundAt, SelectionPlaysAndCopiesTheSamplesThere) {
    const int64_t start = GetParam() + kRampOffset;
    view->SetSelection(start, start + kRampFrames, true);
    EXPECT_EQ(view->OrderedSelection(), std::make_pair(start, start + kRampFrames));
    view->Play();
    ASSERT_TRUE(view->Playing());
    // Two chunks of 500 frames: the cursor follows what was played, 64 bits all the way.
    for (int i = 0; i < 2; ++i) {
        backend->Advance(500);
        ASSERT_TRUE(PumpUntil([&] { return view->cursor >= start + 500 * (i + 1); }));
    }
    EXPECT_EQ(view->cursor, start + 1000);
    const std::vector<uint8_t> out = backend->TakeOutput();
    ASSERT_EQ(out.size(), 2000u);
    for (size_t i = 0; i < 1000; ++i) {
        ASSERT_EQ(int16_t(out[2 * i] | (out[2 * i + 1] << 8)), RampSample(int64_t(i))) << i;
    }
    view->Stop();

    doc.Copy(start + 100, start + 200);
    Wait();
    const std::optional<QByteArray> image = clipboard.GetWave();
    ASSERT_TRUE(image);
    const auto* b = reinterpret_cast<const uint8_t*>(image->constData());
    const std::optional<TWaveImage> parsed = ParseWaveImage(b, size_t(image->size()));
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->frames, 100);
    for (int64_t i = 0; i < 100; ++i) {
        const uint8_t* p = b + parsed->dataOffset + 2 * i;
        ASSERT_EQ(int16_t(p[0] | (p[1] << 8)), RampSample(100 + i)) << i;
    }
}

TEST_P(LongSoundAt, CursorPlaysToTheEndFromThere) {
    const int64_t start = GetParam() + kRampOffset + 2000;
    view->ClearSelection();
    view->SetCursor(start);
    view->Play();
    backend->Advance(500);
    ASSERT_TRUE(PumpUntil([&] { return view->cursor >= start + 500; }));
    const std::vector<uint8_t> out = backend->TakeOutput();
    ASSERT_EQ(out.size(), 1000u);
    for (size_t i = 0; i < 500; ++i) {
        ASSERT_EQ(int16_t(out[2 * i] | (out[2 * i + 1] << 8)), RampSample(2000 + int64_t(i)))
            << i;
    }
    EXPECT_EQ(doc.Frames() - view->playBase, kFrames - start);
    view->Stop();
}

INSTANTIATE_TEST_SUITE_P(PowersOfTwo, LongSoundAt, ::testing::Values(k2p31, k2p32),
                         [](const auto& info) {
                             return info.param == k2p31 ? std::string("Past2p31")
                                                        : std::string("Past2p32");
                         });

}  // namespace
