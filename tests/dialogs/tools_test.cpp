// The companion-tool launcher: from its settings key, from PATH, or not at all.
#include <gtest/gtest.h>

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include "fakeprompts.h"
#include "testutil.h"
#include "tools.h"

namespace {

class ToolLaunch : public ::testing::Test {
protected:
    const TCompanionTool& tool = CompanionTools[1];
    QTemporaryDir folder;
    QString marker = folder.path() + "/ran";
    TFakePrompts prompts;
    TUrlCatcher urls;

    ~ToolLaunch() override { Key().remove(QString()); }

    QSettings Key() const {
        return QSettings(QSettings::NativeFormat, QSettings::UserScope, "Quillfen",
                         QString::fromLatin1(tool.key));
    }

    // A stand-in for the tool that writes its argument count and first argument to the marker.
    void WriteStub(const QString& dir) const {
        QFile stub(dir + "/" + QString::fromLatin1(tool.program));
        ASSERT_TRUE(stub.open(QIODevice::WriteOnly));
        stub.write("#!/bin/sh\nprintf '%s[%s]' \"$#\" \"$1\" > '" + QFile::encodeName(marker) +
                   "'\n");
        stub.close();
        stub.setPermissions(stub.permissions() | QFileDevice::ExeOwner);
    }
    QByteArray StubOutput() const {
        WaitFor([this] { return QFile::exists(marker) && QFile(marker).size() > 0; });
        return ReadAll(marker);
    }
};

TEST_F(ToolLaunch, PathInTheKeyStartsThatProgramWithOneEmptyArgument) {
    WriteStub(folder.path());
    Key().setValue("path", folder.path() + "/");
    TEnv path("PATH", "/nonexistent");
    EXPECT_EQ(LaunchTool(tool, QString(), &prompts), TToolLaunch::Configured);
    EXPECT_EQ(StubOutput(), "1[]");
    EXPECT_TRUE(prompts.shown.empty());
    EXPECT_TRUE(urls.opened.empty());
}

TEST_F(ToolLaunch, FolderWithoutTrailingSeparatorStillFindsTheProgram) {
    WriteStub(folder.path());
    Key().setValue("path", folder.path());
    EXPECT_EQ(LaunchTool(tool, QStringLiteral("song.wav"), &prompts), TToolLaunch::Configured);
    EXPECT_EQ(StubOutput(), "1[song.wav]");
}

TEST_F(ToolLaunch, WithoutAKeyTheProgramIsTakenFromPath) {
    WriteStub(folder.path());
    TEnv path("PATH", folder.path().toStdString());
    EXPECT_EQ(LaunchTool(tool, QString(), &prompts), TToolLaunch::FoundOnPath);
    EXPECT_EQ(StubOutput(), "1[]");
}

TEST_F(ToolLaunch, KeyWithoutPathAndNothingOnPathSendsTheUserToTheWebPage) {
    Key().setValue("version", "3.9");  // the key exists, but holds no "path"
    TEnv path("PATH", folder.path().toStdString());
    EXPECT_EQ(LaunchTool(tool, QString(), &prompts), TToolLaunch::NotFound);
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].kind, "plain");
    EXPECT_EQ(prompts.shown[0].text,
              "Tag Editor (kid3-qt) is not installed. Install the package kid3-qt.");
    ASSERT_EQ(urls.opened.size(), 1u);
    EXPECT_EQ(urls.opened[0], QUrl(QString::fromLatin1(tool.page)));
    EXPECT_FALSE(QFile::exists(marker));
}

}  // namespace
