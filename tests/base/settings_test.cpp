#include <gtest/gtest.h>
#include <sys/stat.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>

#include "apperror.h"
#include "settings.h"
#include "testutil.h"

namespace {

QString ConfigFile() {
    return QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME")) + "/Quillfen/Orvane.conf";
}

class SettingsStore : public ::testing::Test {
protected:
    void SetUp() override { QFile::remove(ConfigFile()); }
    void TearDown() override { QFile::remove(ConfigFile()); }
    static void WriteRaw(const QByteArray& text) {
        QDir().mkpath(QFileInfo(ConfigFile()).absolutePath());
        QFile f(ConfigFile());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
};

TEST_F(SettingsStore, EmptyStoreGivesDefaults) {
    const TSettings s = LoadSettings();
    EXPECT_EQ(s.tempfolder, DefaultTempFolder());
    EXPECT_TRUE(s.tempfolder.endsWith('/'));
    EXPECT_EQ(s.selectiontype, 0);
    EXPECT_EQ(s.backcolor, 0);
    EXPECT_EQ(s.scalecolor, 14474460);  // 220, 220, 220
    EXPECT_EQ(s.wavecolor, 11268124);   // red 28, green 240, blue 171
    EXPECT_EQ(s.wavecolor & 0xFF, 28);
    EXPECT_EQ((s.wavecolor >> 8) & 0xFF, 240);
    EXPECT_EQ((s.wavecolor >> 16) & 0xFF, 171);
    EXPECT_EQ(s.posx, -1);
    EXPECT_EQ(s.posy, -1);
    EXPECT_EQ(s.width, -1);
    EXPECT_EQ(s.height, -1);
    EXPECT_EQ(s.lang, -1);
    EXPECT_EQ(s.volume, -8000);
    EXPECT_EQ(s.savetype, 0);
}

TEST_F(SettingsStore, EveryValueRoundTripsButTheSaveType) {
    TSettings s;
    s.tempfolder = "/var/tmp/orvane test/";
    s.selectiontype = 2;
    s.backcolor = 0x00102030;
    s.scalecolor = 1;
    s.wavecolor = 0x00FFFFFF;
    s.posx = -1;
    s.posy = 100;
    s.width = 800;
    s.height = -1;
    s.lang = 1031;
    s.volume = -10000;
    s.spectrogram = 1;
    s.spectrumwindow = 8192;
    s.spectrumlog = 1;
    s.recdevice = "USB Audio, analog";
    s.recrate = 48000;
    s.recchannels = 1;
    s.savetype = 3;
    SaveSettings(s);
    ASSERT_TRUE(QFileInfo::exists(ConfigFile()));
    TSettings back = LoadSettings();
    EXPECT_EQ(back.savetype, 0);
    back.savetype = 3;
    EXPECT_EQ(back, s);
    // The values sit under the one group, in the native per-user file.
    QSettings raw(ConfigFile(), QSettings::IniFormat);
    EXPECT_EQ(raw.value("Settings/volume").toInt(), -10000);
    EXPECT_EQ(raw.value("Settings/tempfolder").toString(), s.tempfolder);
}

TEST_F(SettingsStore, ValuesOfAnotherTypeCountAsMissing) {
    WriteRaw(
        "[Settings]\nvolume=loud\nposx=12\nwidth=@ByteArray(abc)\nlang=99999999999\n"
        "tempfolder=@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\x18)\nheight=3.5\n"
        "spectrumwindow=3000\nrecrate=22050\nrecchannels=6\n");
    const TSettings s = LoadSettings();
    EXPECT_EQ(s.volume, -8000);
    EXPECT_EQ(s.posx, 12);
    EXPECT_EQ(s.width, -1);
    EXPECT_EQ(s.lang, -1);
    EXPECT_EQ(s.height, -1);
    EXPECT_EQ(s.tempfolder, DefaultTempFolder());
    EXPECT_EQ(s.spectrumwindow, 2048);  // not a power of two
    // A take's format is one the settings dialog offers.
    EXPECT_EQ(s.recrate, 44100);
    EXPECT_EQ(s.recchannels, 2);
}

TEST_F(SettingsStore, UnreadableFileIsNeverOverwritten) {
    if (geteuid() == 0) {
        // root reads every file; make the file unreadable by replacing it with a folder.
        QDir().mkpath(ConfigFile());
        SaveSettings(TSettings{});
        EXPECT_TRUE(QFileInfo(ConfigFile()).isDir());
        QDir(ConfigFile()).removeRecursively();
        return;
    }
    WriteRaw("[Settings]\nvolume=-5\n");
    chmod(QFile::encodeName(ConfigFile()).constData(), 0);
    SaveSettings(TSettings{});
    chmod(QFile::encodeName(ConfigFile()).constData(), 0600);
    EXPECT_EQ(ReadAll(ConfigFile()), QByteArray("[Settings]\nvolume=-5\n"));
}

TEST(TempFileName, CreatesUniqueEmptyFilesWithThePrefix) {
    TTempFolder folder;
    const QString a = MakeTempFileName();
    const QString b = MakeTempFileName();
    EXPECT_NE(a, b);
    for (const QString& p : {a, b}) {
        const QFileInfo info(p);
        EXPECT_TRUE(info.exists());
        EXPECT_EQ(info.size(), 0);
        EXPECT_TRUE(info.fileName().startsWith("~ov"));
        EXPECT_EQ(info.absolutePath() + "/", folder.path());
    }
    EXPECT_EQ(folder.tempFiles().size(), 2);
}

TEST(TempFileName, MissingFolderGivesAClearErrorNamingIt) {
    TTempFolder folder;
    Settings.tempfolder = folder.path("gone/");
    try {
        MakeTempFileName();
        FAIL() << "no error";
    } catch (const EAppError& e) {
        const std::string text = e.what();
        EXPECT_NE(text.find(folder.path("gone/").toStdString()), std::string::npos) << text;
        EXPECT_NE(text.find("No such file or directory"), std::string::npos) << text;
    }
}

TEST(OSErrors, CarryCodeAndSystemText) {
    const EOSError e(2);
    EXPECT_EQ(e.code(), 2);
    EXPECT_STREQ(e.what(), "System Error.  Code: 2.\nNo such file or directory");
    EXPECT_EQ(OSErrorText(0), "A call to an OS function failed");
}

}  // namespace
