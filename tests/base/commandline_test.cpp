#include "commandline.h"

#include <gtest/gtest.h>

namespace {

struct TArgCase {
    const char* name;
    QString argument;
    QString path;
};

class CommandLinePath : public ::testing::TestWithParam<TArgCase> {};

TEST_P(CommandLinePath, GivesTheLocalPath) {
    EXPECT_EQ(LocalPathFromArgument(GetParam().argument), GetParam().path);
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, CommandLinePath,
    ::testing::Values(
        TArgCase{"AbsolutePath", "/home/a/song.mp3", "/home/a/song.mp3"},
        TArgCase{"RelativePath", "song.wav", "song.wav"},
        TArgCase{"PathWithPercent", "/tmp/100%20.wav", "/tmp/100%20.wav"},
        TArgCase{"ColonInName", "take:2.wav", "take:2.wav"},
        TArgCase{"FileUri", "file:///home/a/song.mp3", "/home/a/song.mp3"},
        TArgCase{"UpperCaseScheme", "FILE:///home/a/song.mp3", "/home/a/song.mp3"},
        TArgCase{"EncodedSpaceAndHash", "file:///tmp/My%20Song%20%231.wav", "/tmp/My Song #1.wav"},
        TArgCase{"EncodedUtf8", "file:///tmp/caf%C3%A9.flac", QString::fromUtf8("/tmp/café.flac")},
        TArgCase{"Localhost", "file://localhost/tmp/a.wav", "/tmp/a.wav"},
        TArgCase{"OtherScheme", "https://example.org/a.wav", "https://example.org/a.wav"}),
    [](const ::testing::TestParamInfo<TArgCase>& info) { return std::string(info.param.name); });

TEST(CommandLineFile, OnlyExactlyOneArgumentOpensAFile) {
    EXPECT_EQ(CommandLineFile({}), QString());
    EXPECT_EQ(CommandLineFile({"file:///tmp/a.wav"}), "/tmp/a.wav");
    EXPECT_EQ(CommandLineFile({"a.wav", "b.wav"}), QString());
}

}  // namespace
