// Test entry shared by every suite: a QCoreApplication (no display) and private XDG and
// temporary folders, so that nothing of the user's is read or changed.
#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdlib>
#ifdef ORVANE_TEST_WIDGETS
#include <QApplication>
#elif defined(ORVANE_TEST_GUI)
#include <QGuiApplication>
#endif

#include "settings.h"

int main(int argc, char** argv) {
    static QTemporaryDir home(QDir::tempPath() + "/orvane-test-XXXXXX");
    const QByteArray root = QFile::encodeName(home.path());
    for (const char* sub : {"config", "cache", "state", "runtime", "tmp"}) QDir(home.path()).mkpath(sub);
    setenv("XDG_CONFIG_HOME", (root + "/config").constData(), 1);
    setenv("XDG_CACHE_HOME", (root + "/cache").constData(), 1);
    setenv("XDG_STATE_HOME", (root + "/state").constData(), 1);
    setenv("XDG_RUNTIME_DIR", (root + "/runtime").constData(), 1);
    setenv("TMPDIR", (root + "/tmp").constData(), 1);
#ifdef ORVANE_TEST_GUI
#ifdef ORVANE_TEST_SCREEN_WIDTH
    // A screen of the size a desktop has (the platform's own is 800 x 600), for the suites that
    // judge a window against the room the screen gives it.
    QFile screen(home.path() + "/screen.json");
    if (screen.open(QIODevice::WriteOnly))
        screen.write("{\"screens\": [{\"name\": \"test\", \"x\": 0, \"y\": 0, \"width\": " +
                     QByteArray::number(ORVANE_TEST_SCREEN_WIDTH) + ", \"height\": " +
                     QByteArray::number(ORVANE_TEST_SCREEN_HEIGHT) +
                     ", \"logicalDpi\": 96, \"logicalBaseDpi\": 96, \"dpr\": 1}]}");
    screen.close();
    setenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + root + "/screen.json").constData(), 1);
#else
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
#endif
#ifdef ORVANE_TEST_WIDGETS
    QApplication app(argc, argv);
#else
    QGuiApplication app(argc, argv);
#endif
#else
    QCoreApplication app(argc, argv);
#endif
    Settings = TSettings{};
    Settings.tempfolder = DefaultTempFolder();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
