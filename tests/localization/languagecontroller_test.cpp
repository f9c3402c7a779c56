// Re-translation of a window: properties, actions shared by menu and toolbar, list items, the
// ignore list, and a window created while a language is already active.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QToolBar>

#include "languagecontroller.h"
#include "languagefile.h"
#include "languagemanager.h"

namespace {

// A small window as the program builds them: actions in a menu and a toolbar, a combo box.
struct TSmallWindow : QMainWindow {
    TSmallWindow(TLanguageManager& manager)
        : controller(this,
                     {{1, "", "windowTitle"},
                      {2, "FileMenu", "title"},
                      {3, "OpenAction", "text"},
                      {4, "OpenAction", "toolTip"},
                      {5, "ScaleBox", "items[0]"},
                      {6, "ScaleBox", "items[1]"},
                      {7, "Caption", "text"},
                      {8, "Missing", "text"}},
                     {"Version.text", "*.statusTip"}, &manager) {
        setObjectName("smallform");
        setWindowTitle("Small");
        auto* menu = menuBar()->addMenu("&File");
        menu->setObjectName("FileMenu");
        open = new QAction("&Open...", this);
        open->setObjectName("OpenAction");
        open->setToolTip("Open a file");
        menu->addAction(open);
        auto* toolbar = addToolBar("Main");
        toolbar->setObjectName("ToolBar");
        toolbar->addAction(open);
        box = new QComboBox(this);
        box->setObjectName("ScaleBox");
        box->addItems({"Milliseconds", "Samples"});
        caption = new QLabel("Cursor", this);
        caption->setObjectName("Caption");
        auto* version = new QLabel("1.0", this);
        version->setObjectName("Version");
        setCentralWidget(box);
        controller.SetRetranslateHook([this] { ++retranslated; });
        controller.Bind();
    }
    TLanguageController controller;
    QAction* open;
    QComboBox* box;
    QLabel* caption;
    int retranslated = 0;
};

class Translation : public ::testing::Test {
protected:
    void SetUp() override {
        QFile f(dir.path() + "/de.lng");
        f.open(QIODevice::WriteOnly);
        QByteArray bytes("\xFF\xFE", 2);
        const QString text = QString::fromUtf8(
            "LangID=1031\r\n[SmallForm]\r\n1=Klein\r\n2=&Datei\r\n3=Ö&ffnen...\r\n"
            "5=Millisekunden\r\n6=Beispiele\r\n99=unused\r\n");
        bytes.append(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
        f.write(bytes);
        f.close();
        manager.Scan(dir.path());
    }
    QTemporaryDir dir;
    TLanguageManager manager;
};

}  // namespace

TEST_F(Translation, ToGermanAndBack) {
    TSmallWindow w(manager);
    EXPECT_EQ(w.controller.UnboundEntries(), QStringList{"Missing.text"});
    manager.SetActiveLanguage(1031);
    EXPECT_EQ(w.windowTitle(), "Klein");
    EXPECT_EQ(w.findChild<QMenu*>("FileMenu")->title(), "&Datei");
    EXPECT_EQ(w.findChild<QMenu*>("FileMenu")->menuAction()->text(), "&Datei");
    EXPECT_EQ(w.open->text(), QString::fromUtf8("Ö&ffnen..."));
    EXPECT_EQ(w.open->toolTip(), "Open a file");  // not in the file: design text
    EXPECT_EQ(w.box->itemText(0), "Millisekunden");
    EXPECT_EQ(w.box->itemText(1), "Beispiele");
    EXPECT_EQ(w.box->currentText(), "Millisekunden");
    EXPECT_EQ(w.caption->text(), "Cursor");
    EXPECT_EQ(w.retranslated, 1);

    manager.SetActiveLanguage(1033);
    EXPECT_EQ(w.windowTitle(), "Small");
    EXPECT_EQ(w.open->text(), "&Open...");
    EXPECT_EQ(w.box->itemText(1), "Samples");
    EXPECT_EQ(w.findChild<QMenu*>("FileMenu")->title(), "&File");
    EXPECT_EQ(w.retranslated, 2);
}

TEST_F(Translation, AWindowMadeLaterGetsTheActiveLanguage) {
    manager.SetActiveLanguage(1031);
    TSmallWindow w(manager);
    EXPECT_EQ(w.windowTitle(), "Klein");
    EXPECT_EQ(w.controller.DesignText(1), "Small");
    EXPECT_TRUE(manager.LanguageTemplate().contains("[smallform]\r\n; smallform.windowTitle\r\n1=Small\r\n"));
    EXPECT_TRUE(manager.LanguageTemplate().contains("; OpenAction.text\r\n3=&Open...\r\n"));
}

TEST_F(Translation, BindingAgainKeepsTheDesignTexts) {
    manager.SetActiveLanguage(1031);
    TSmallWindow w(manager);
    w.box->addItem("Frames");
    w.controller.Bind();
    EXPECT_EQ(w.controller.DesignText(5), "Milliseconds");
    EXPECT_EQ(w.box->itemText(0), "Millisekunden");
    manager.SetActiveLanguage(1033);
    EXPECT_EQ(w.box->itemText(0), "Milliseconds");
    EXPECT_EQ(w.windowTitle(), "Small");
}

TEST_F(Translation, ADestroyedWindowIsForgotten) {
    { TSmallWindow w(manager); }
    manager.SetActiveLanguage(1031);  // would crash if the controller were still registered
    EXPECT_FALSE(manager.LanguageTemplate().contains("smallform"));
}

TEST_F(Translation, UntranslatedTextsHonourTheIgnoreList) {
    TSmallWindow w(manager);
    EXPECT_TRUE(w.controller.IsIgnored("Version.text"));
    EXPECT_TRUE(w.controller.IsIgnored("openaction.statustip"));
    EXPECT_FALSE(w.controller.IsIgnored("Version.toolTip"));
    // The toolbar's title is a text nobody listed; the version label is ignored.
    EXPECT_EQ(w.controller.UntranslatedTexts(), QStringList{"ToolBar.windowTitle"});
}
