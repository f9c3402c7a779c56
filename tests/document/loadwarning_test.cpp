// What a damaged file's load tells the user: a warning when it loads less than it declares,
// an error when nothing of what it claims decodes.
#include <gtest/gtest.h>

#include "doctest_util.h"
#include "messages.h"
#include "wavlayout.h"

namespace {

class LoadWarning : public ::testing::Test, public TDocFixture {
protected:
    // A 16-bit mono WAV holding `frames` frames whose data chunk claims `claimed`.
    QString WriteCut(uint32_t frames, uint32_t claimed) {
        const QString path = dir.path("cut.wav");
        WriteWav(path, 1, 8000, std::vector<int16_t>(frames, 1234));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::ReadWrite));
        uint8_t size[4];
        PutLE32(size, claimed * 2);
        f.seek(40);
        f.write(reinterpret_cast<const char*>(size), 4);
        return path;
    }
};

TEST_F(LoadWarning, ACutFileLoadsWhatItHoldsAndSaysSo) {
    Load(WriteCut(4000, 8000));
    ASSERT_TRUE(doc.Ready());
    EXPECT_EQ(doc.Frames(), 4000);
    EXPECT_TRUE(notifier.errors.empty());
    ASSERT_EQ(notifier.warnings.size(), 1u);
    EXPECT_EQ(notifier.warnings[0], Msg("loadwarning") + "|" +
                                        QString::fromStdString(Msg("loadshort"))
                                            .arg("0:01.000", "0:00.500")
                                            .toStdString());
}

TEST_F(LoadWarning, AFileClaimingSoundItLacksFails) {
    Load(WriteCut(0, 8000));
    EXPECT_FALSE(doc.Ready());
    EXPECT_TRUE(notifier.warnings.empty());
    ASSERT_EQ(notifier.errors.size(), 1u);
    EXPECT_EQ(notifier.errors[0], Msg("loadnothing"));
    doc.Close();
    EXPECT_TRUE(dir.tempFiles().isEmpty());
}

TEST_F(LoadWarning, AWholeFileLoadsSilently) {
    Load(WriteCut(4000, 4000));
    ASSERT_TRUE(doc.Ready());
    EXPECT_TRUE(notifier.warnings.empty());
    EXPECT_TRUE(notifier.errors.empty());
}

}  // namespace
