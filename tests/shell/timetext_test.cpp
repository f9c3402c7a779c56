#include <gtest/gtest.h>

#include "apperror.h"
#include "durationtext.h"
#include "timetext.h"

namespace {

struct TMsCase {
    const char* name;
    uint32_t ms;
    const char* text;
};

class MsToTime : public ::testing::TestWithParam<TMsCase> {};

TEST_P(MsToTime, FormatsAndReadsBack) {
    EXPECT_EQ(mstotime(GetParam().ms).toStdString(), GetParam().text);
    EXPECT_EQ(timetoms(QString::fromLatin1(GetParam().text)), GetParam().ms);
}

INSTANTIATE_TEST_SUITE_P(
    Values, MsToTime,
    ::testing::Values(TMsCase{"Zero", 0, "00:00.000"}, TMsCase{"OneMinuteOneMs", 61001, "01:01.001"},
                      TMsCase{"HundredMinutes", 6000000, "100:00.000"},
                      TMsCase{"JustUnderTenMinutes", 599999, "09:59.999"},
                      TMsCase{"LargestValue", 4294967295u, "71582:47.295"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TimeToMs, ReadsWhatAMaskLeavesBlank) {
    // The milliseconds mask leaves unused places as blanks; Qt's text() drops them.
    EXPECT_EQ(timetoms(" 1:5.006"), 65006);
    EXPECT_EQ(timetoms("1  :5 .6"), 65006);
}

struct TBadCase {
    const char* name;
    const char* text;
    const char* message;
};

class TimeToMsRefuses : public ::testing::TestWithParam<TBadCase> {};

TEST_P(TimeToMsRefuses, NamesTheOffendingPart) {
    try {
        timetoms(QString::fromLatin1(GetParam().text));
        FAIL() << "accepted";
    } catch (const EAppError& e) {
        EXPECT_STREQ(e.what(), GetParam().message);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, TimeToMsRefuses,
    ::testing::Values(TBadCase{"BlankSeconds", "2:.000", "'' is not a valid integer value"},
                      TBadCase{"NoColon", "12.000", "'' is not a valid integer value"},
                      TBadCase{"Letters", "1a:00.000", "'1a' is not a valid integer value"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(StrToInt, TakesSigned32BitDecimalOnly) {
    EXPECT_EQ(StrToInt("  42 "), 42);
    EXPECT_EQ(StrToInt("-7"), -7);
    EXPECT_EQ(StrToInt("2147483647"), 2147483647);
    EXPECT_THROW(StrToInt("2147483648"), EAppError);
    EXPECT_THROW(StrToInt(""), EAppError);
    EXPECT_THROW(StrToInt("0x10"), EAppError);
}

struct TDurationCase {
    const char* name;
    double seconds;
    const char* text;
};

class Duration : public ::testing::TestWithParam<TDurationCase> {};

TEST_P(Duration, IsClockTimeWithinOneDay) {
    EXPECT_EQ(DurationText(GetParam().seconds).toStdString(), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Values, Duration,
    ::testing::Values(TDurationCase{"Zero", 0, "0:00:00.000"},
                      TDurationCase{"ThreeMinutes", 180, "0:03:00.000"},
                      TDurationCase{"RoundsToTheMillisecond", 61.2504, "0:01:01.250"},
                      TDurationCase{"TwentyFiveHoursWrap", 25 * 3600.0, "1:00:00.000"}),
    [](const auto& info) { return std::string(info.param.name); });

struct TVolumeCase {
    const char* name;
    int32_t position;
    int32_t volume;
};

class Volume : public ::testing::TestWithParam<TVolumeCase> {};

TEST_P(Volume, FollowsTheLogarithmicCurve) {
    EXPECT_EQ(VolumeForPosition(GetParam().position), GetParam().volume);
}

// ln(8001) * 1085.73 = 9757.6..., ln(2) * 1085.73 = 752.57...
INSTANTIATE_TEST_SUITE_P(
    Positions, Volume,
    ::testing::Values(TVolumeCase{"LoudEnd", -10000, 0}, TVolumeCase{"Default", -8000, -242},
                      TVolumeCase{"SilentEnd", 0, -10000}, TVolumeCase{"OneStep", -1, -9247},
                      TVolumeCase{"BeyondTheEndIsHeld", 5, -10000}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
