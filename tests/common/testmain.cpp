// Test entry shared by every suite: a QCoreApplication (no display) and private XDG and
// temporary folders, so that nothing of the user's is read or changed.
#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QDir>
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
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
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
