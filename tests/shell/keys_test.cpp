// Keys, wheel, tab order and what a screen reader hears, on the real main window (offscreen),
// queried in-process through QAccessible.
#include <gtest/gtest.h>
#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QDialogButtonBox>
#include <QFile>
#include <QGroupBox>
#include <QLibraryInfo>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QWheelEvent>

#include "keys.h"
#include "languagemanager.h"
#include "qttranslation.h"
#include "settings.h"
#include "shell_fixture.h"
#include "waveaccessible.h"
#include "waveview.h"

namespace {

struct TRecordedEvent {
    QAccessible::Event type;
    QObject* object;
    QString value, description;
};
std::vector<TRecordedEvent> recorded;

void Record(QAccessibleEvent* event) {
    QAccessibleInterface* i = event->accessibleInterface();
    recorded.push_back({event->type(), event->object(), i ? i->text(QAccessible::Value) : "",
                        i ? i->text(QAccessible::Description) : ""});
}

class Keys : public ::testing::Test, public TShellFixture {
protected:
    void SetUp() override {
        // 70 seconds at 8000 Hz: long enough for minutes in the spoken cursor.
        Open(WriteStereo("long.wav", 70 * 8000));
        ASSERT_TRUE(form->Loaded());
        QApplication::setActiveWindow(form.get());
        form->View().setFocus();
        recorded.clear();
    }
    void TearDown() override {
        QAccessible::installUpdateHandler(nullptr);
        Settings.wheelzoom = 0;
    }
    TWaveView& View() { return form->View(); }
    QAccessibleInterface* Of(QObject* o) { return QAccessible::queryAccessibleInterface(o); }
    void Wheel(int delta, Qt::KeyboardModifiers modifiers) {
        const QPointF at = View().rect().center();
        QWheelEvent e(at, View().mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                      modifiers, Qt::NoScrollPhase, false);
        QApplication::sendEvent(form.get(), &e);
    }
};

TEST_F(Keys, WaveformSpeaksCursorSelectionAndPlayback) {
    QAccessibleInterface* wave = Of(&View());
    ASSERT_NE(wave, nullptr);
    EXPECT_EQ(wave->role(), QAccessible::Slider);
    EXPECT_EQ(wave->text(QAccessible::Name), "Waveform");
    ASSERT_NE(wave->valueInterface(), nullptr);
    EXPECT_EQ(wave->valueInterface()->maximumValue().toUInt(), 70000u);

    QAccessible::installUpdateHandler(Record);
    QAccessible::setActive(true);
    View().SetCursor(View().MsToSamples(65250));
    EXPECT_EQ(wave->text(QAccessible::Value), "cursor 1 min 5.250 s");
    // Events reach the handler only where the platform has accessibility (not offscreen).
    const bool events = QAccessible::isActive();
    if (events) {
        ASSERT_FALSE(recorded.empty());
        EXPECT_EQ(recorded.back().type, QAccessible::ValueChanged);
        EXPECT_EQ(recorded.back().value, "cursor 1 min 5.250 s");
    }

    View().SetSelectionMs(10000, 20000, true);
    EXPECT_EQ(wave->text(QAccessible::Description), "selected 10.000 s to 20.000 s");
    if (events) {
        EXPECT_EQ(recorded.back().description, "selected 10.000 s to 20.000 s");
    }

    QTest::keyClick(&View(), Qt::Key_Space);
    EXPECT_TRUE(View().Playing());
    EXPECT_EQ(wave->text(QAccessible::Description), "selected 10.000 s to 20.000 s, playing");
    const size_t before = recorded.size();
    backend->Advance(800);
    QCoreApplication::processEvents();
    // Playback moves the cursor without a value event for each step.
    for (size_t i = before; i < recorded.size(); ++i)
        EXPECT_NE(recorded[i].type, QAccessible::ValueChanged);
    QTest::keyClick(&View(), Qt::Key_Space);
    EXPECT_FALSE(View().Playing());
    EXPECT_EQ(wave->text(QAccessible::Description), "selected 10.000 s to 20.000 s");

    TLanguageManager& languages = TLanguageManager::Instance();
    languages.Scan(QStringLiteral(ORVANE_LANGUAGES_DIR));
    languages.SetActiveLanguage(1049);
    View().SetCursor(View().MsToSamples(5000));
    EXPECT_EQ(wave->text(QAccessible::Value), "курсор 5.000 с");
    languages.SetActiveLanguage(1033);
}

TEST_F(Keys, EveryControlHasItsOwnNameInTheActiveLanguage) {
    TLanguageManager& languages = TLanguageManager::Instance();
    languages.Scan(QStringLiteral(ORVANE_LANGUAGES_DIR));
    auto* pickStart = form->findChild<QPushButton*>("PickStartMS");
    auto* pickStop = form->findChild<QPushButton*>("PickStopMS");
    for (int language : {1033, 1031, 1049}) {
        languages.SetActiveLanguage(language);
        SCOPED_TRACE(language);
        const QString begin = form->findChild<QLabel*>("BeginLabel")->text();
        const QString end = form->findChild<QLabel*>("EndLabel")->text();
        EXPECT_EQ(Of(form->selstart())->text(QAccessible::Name), begin);
        EXPECT_EQ(Of(form->selstop())->text(QAccessible::Name), end);
        EXPECT_NE(begin, end);
        const QString a = Of(pickStart)->text(QAccessible::Name);
        const QString b = Of(pickStop)->text(QAccessible::Name);
        EXPECT_FALSE(a.isEmpty());
        EXPECT_NE(a, b);
        if (language != 1033) {
            EXPECT_NE(a, "Pick begin from cursor");
        }
        EXPECT_EQ(Of(form->VolumeBar())->text(QAccessible::Name).trimmed(),
                  form->findChild<QGroupBox*>("VolumeBox")->title().trimmed());
    }
    languages.SetActiveLanguage(1033);
}

TEST_F(Keys, ShiftArrowsAndShiftClickExtendTheSelection) {
    const uint32_t step = [&] {
        QTest::keyClick(&View(), Qt::Key_Right);
        return View().cursor;
    }();
    ASSERT_GT(step, 0u);
    QTest::keyClick(&View(), Qt::Key_Right, Qt::ShiftModifier);
    QTest::keyClick(&View(), Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_TRUE(View().selected);
    EXPECT_EQ(View().selStart, step);
    EXPECT_EQ(View().selStop, 3 * step);
    EXPECT_TRUE(form->sel()->isChecked());
    // Back over the anchor: the selection turns round it.
    for (int i = 0; i < 3; ++i) QTest::keyClick(&View(), Qt::Key_Left, Qt::ShiftModifier);
    EXPECT_EQ(View().selStart, 0u);
    EXPECT_EQ(View().selStop, step);
    QTest::keyClick(&View(), Qt::Key_End, Qt::ShiftModifier);
    EXPECT_EQ(View().selStart, step);
    EXPECT_EQ(View().selStop, View().Document()->Frames());

    // Shift+click moves the nearer end.
    QTest::mouseClick(&View(), Qt::LeftButton, Qt::NoModifier, QPoint(100, 100));
    const uint32_t clicked = View().cursor;
    EXPECT_FALSE(View().selected);
    QTest::mouseClick(&View(), Qt::LeftButton, Qt::ShiftModifier, QPoint(300, 100));
    EXPECT_TRUE(View().selected);
    EXPECT_EQ(View().selStart, clicked);
    EXPECT_GT(View().selStop, clicked);
    const uint32_t far = View().selStop;
    QTest::mouseClick(&View(), Qt::LeftButton, Qt::ShiftModifier, QPoint(50, 100));
    EXPECT_LT(View().selStart, clicked);
    EXPECT_EQ(View().selStop, far);
}

TEST_F(Keys, ZoomShortcutsEnterAndTabOrder) {
    const uint32_t whole = View().viewSpan;
    QTest::keyClick(form.get(), Qt::Key_Plus, Qt::ControlModifier);
    const uint32_t in = View().viewSpan;
    EXPECT_LT(in, whole);
    QTest::keyClick(form.get(), Qt::Key_Equal, Qt::ControlModifier);
    const uint32_t further = View().viewSpan;
    EXPECT_LT(further, in);
    QTest::keyClick(form.get(), Qt::Key_Minus, Qt::ControlModifier);
    EXPECT_GT(View().viewSpan, further);
    QTest::keyClick(form.get(), Qt::Key_0, Qt::ControlModifier);
    EXPECT_EQ(View().viewSpan, whole);

    form->WritePosition(form->selstart(), 0, 1500);
    form->WritePosition(form->selstop(), 0, 2500);
    form->selstop()->setFocus();
    QTest::keyClick(form->selstop(), Qt::Key_Return);
    EXPECT_TRUE(View().selected);
    EXPECT_EQ(View().selStart, 12000u);
    EXPECT_EQ(View().selStop, 20000u);

    std::vector<QString> order;
    QWidget* w = &View();
    for (int i = 0; i < 7; ++i, w = w->nextInFocusChain()) {
        while (w->focusPolicy() == Qt::NoFocus || !w->isVisibleTo(form.get()))
            w = w->nextInFocusChain();
        order.push_back(w->objectName());
    }
    EXPECT_EQ(order, (std::vector<QString>{"WaveView", "selstart", "PickStartMS", "selstop",
                                           "PickStopMS", "sel", "VolumeBar"}));
}

TEST_F(Keys, WheelScrollsCtrlWheelZoomsAndTheSettingKeepsTheOldZoom) {
    QTest::keyClick(form.get(), Qt::Key_Plus, Qt::ControlModifier);
    QTest::keyClick(form.get(), Qt::Key_Plus, Qt::ControlModifier);
    QTest::qWait(120);  // the window's timer enables the scroll bar
    form->Scroll().setValue(form->Scroll().maximum() / 2);
    QCoreApplication::processEvents();
    const int middle = form->Scroll().value();
    const uint32_t span = View().viewSpan;
    Wheel(-120, Qt::NoModifier);
    EXPECT_GT(form->Scroll().value(), middle);
    EXPECT_EQ(View().viewSpan, span);
    Wheel(120, Qt::NoModifier);
    EXPECT_EQ(form->Scroll().value(), middle);
    Wheel(120, Qt::ControlModifier);
    EXPECT_LT(View().viewSpan, span);
    Settings.wheelzoom = 1;
    Wheel(-120, Qt::NoModifier);
    EXPECT_EQ(View().viewSpan, span);
}

}  // namespace

namespace {

TEST(KeepInside, AWindowPastAnyEdgeComesBackWhole) {
    const QRect area(0, 0, 1920, 1040);
    struct TCase {
        QRect window, expected;
    } cases[] = {
        {{100, 100, 646, 490}, {100, 100, 646, 490}},      // inside: unchanged
        {{1700, 900, 646, 490}, {1274, 550, 646, 490}},    // past right and bottom
        {{-300, -50, 646, 490}, {0, 0, 646, 490}},         // past left and top
        {{3000, 10, 2500, 1200}, {0, 0, 1920, 1040}},      // bigger than the screen
    };
    for (const TCase& c : cases) EXPECT_EQ(KeepInside(c.window, area), c.expected);
    EXPECT_EQ(KeepInside(QRect(1, 2, 3, 4), QRect()), QRect(1, 2, 3, 4));
}

}  // namespace

namespace {

class QtTexts : public ::testing::Test, public TShellFixture {};

TEST_F(QtTexts, StandardButtonsFollowTheWindowsLanguage) {
    if (!QFile::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) + "/qtbase_de.qm"))
        GTEST_SKIP() << "qt6-translations-l10n is not installed";
    TLanguageManager& languages = TLanguageManager::Instance();
    languages.Scan(QStringLiteral(ORVANE_LANGUAGES_DIR));
    const auto cancel = [] {
        QDialogButtonBox box(QDialogButtonBox::Cancel | QDialogButtonBox::Yes);
        return box.button(QDialogButtonBox::Cancel)->text() + '|' +
               box.button(QDialogButtonBox::Yes)->text();
    };
    languages.SetActiveLanguage(1031);
    EXPECT_EQ(cancel(), "Abbrechen|&Ja");
    languages.SetActiveLanguage(1049);
    EXPECT_EQ(cancel(), "Отмена|&Да");
    languages.SetActiveLanguage(1033);
    EXPECT_EQ(cancel(), "Cancel|&Yes");
    EXPECT_EQ(QtLanguageCode(2052), "zh_CN");
    EXPECT_EQ(QtLanguageCode(1028), "zh_TW");
    EXPECT_EQ(QtLanguageCode(1033), "");
}

}  // namespace
