// File-name extensions and durations as every part of the program reads and shows them.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "durationtext.h"
#include "filenames.h"

namespace {

struct TNameCase {
    const char* name;
    const char* extension;
    const char* lower;
    const char* asMp3;
};

TEST(FileNames, ExtensionsComeFromTheLastDotOfTheFileName) {
    const TNameCase cases[] = {
        {"/a/clip.WAV", ".WAV", "wav", "/a/clip.mp3"},
        {"/a.b/clip", "", "", "/a.b/clip.mp3"},
        {"/a/x.tar.gz", ".gz", "gz", "/a/x.tar.mp3"},
        {"clip.", ".", "", "clip.mp3"},
        {"/a/.hidden", ".hidden", "hidden", "/a/.mp3"},
        {"", "", "", ".mp3"},
    };
    for (const TNameCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ExtensionOf(c.name), QString(c.extension));
        EXPECT_EQ(LowerSuffix(c.name), QString(c.lower));
        EXPECT_EQ(ChangeFileExt(c.name, "mp3"), QString(c.asMp3));
    }
}

TEST(DurationText, HoldsAnyDurationTheDocumentCanHold) {
    const struct {
        double seconds;
        const char* text;
    } cases[] = {
        {0, "0:00:00.000"},
        {61.0005, "0:01:01.001"},
        {-3, "0:00:00.000"},
        {std::numeric_limits<double>::quiet_NaN(), "0:00:00.000"},
        {std::numeric_limits<double>::infinity(), "0:00:00.000"},
        {25 * 3600.0, "1:00:00.000"},
        // 4 GiB of 16-bit mono at 8000 Hz: far past a day, and past what a float holds exactly.
        {4294967296.0 / 2 / 8000, "2:33:55.456"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.seconds);
        EXPECT_EQ(DurationText(c.seconds).toStdString(), c.text);
    }
}

}  // namespace
