// Nothing clipped: the main window and every dialog, in English, German and Russian, at the
// scale the run was started with (QT_SCALE_FACTOR, the CTest entries run 1 and 2). A label,
// button or group title whose text is wider than the room it has fails, by QFontMetrics, and so
// does a spin box narrower than its own size hint, a window larger than the screen, or a label
// that shows its access key's "&" for want of a buddy. The
// pictures go to ORVANE_SHOT_DIR (by default build/clipping-shots/scaleN/), for a person to look
// at.
#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScreen>
#include <QStyle>
#include <QTabWidget>
#include <QTextDocument>

#include "exportregionsdialog.h"
#include "languagecontroller.h"
#include "languagemanager.h"
#include "shell_fixture.h"
#include "shelldialogs.h"

namespace {

int LongestLine(const QFontMetrics& metrics, const QString& text) {
    int widest = 0;
    for (const QString& line : text.split(u'\n'))
        widest = std::max(widest, metrics.horizontalAdvance(line));
    return widest;
}

// "name: 'text' needs N, has M" for every widget under `top` that shows less than its text.
QStringList Clipped(QWidget* top) {
    QStringList found;
    auto report = [&](QWidget* w, const QString& text, int needs, int has) {
        if (needs > has)
            found << QStringLiteral("%1/%2: '%3' needs %4, has %5")
                         .arg(top->objectName(), w->objectName(), text)
                         .arg(needs)
                         .arg(has);
    };
    for (QLabel* label : top->findChildren<QLabel*>()) {
        if (!label->isVisibleTo(top) || label->text().isEmpty() || !label->pixmap().isNull())
            continue;
        // Without a buddy a label shows its access key's "&" as it is.
        static const QRegularExpression accessKey(QStringLiteral("&[^&\\s]"));
        if (!label->buddy() && label->text().contains(accessKey))
            found << QStringLiteral("%1/%2: '%3' has an access key but no buddy")
                         .arg(top->objectName(), label->objectName(), label->text());
        const QString text = WithoutAccessKey(label->text());
        const int room = label->contentsRect().width() - 2 * label->margin() -
                         std::max(0, label->indent());
        if (Qt::mightBeRichText(text)) {
            QTextDocument doc;
            doc.setDefaultFont(label->font());
            doc.setHtml(text);
            doc.setDocumentMargin(0);
            // A wrapped rich text may break lines; its widest word still has to fit.
            report(label, doc.toPlainText(), label->wordWrap() ? 0 : int(doc.idealWidth()), room);
            continue;
        }
        if (label->wordWrap()) {
            for (const QString& word : text.split(QRegularExpression(QStringLiteral("\\s+"))))
                report(label, word, label->fontMetrics().horizontalAdvance(word), room);
        } else {
            report(label, text, LongestLine(label->fontMetrics(), text), room);
        }
    }
    for (QAbstractButton* button : top->findChildren<QAbstractButton*>()) {
        if (!button->isVisibleTo(top) || button->text().isEmpty()) continue;
        const QString text = WithoutAccessKey(button->text());
        QStyle* style = button->style();
        int extra = 0;
        if (qobject_cast<QCheckBox*>(button)) {
            extra = style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, button) +
                    style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, button);
        } else if (qobject_cast<QRadioButton*>(button)) {
            extra = style->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, button) +
                    style->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, nullptr, button);
        } else if (qobject_cast<QPushButton*>(button)) {
            // The frame on both sides; the rest of the margin may be given up before clipping.
            extra = 2 * style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, button);
            if (!button->icon().isNull()) extra += button->iconSize().width() + 4;
        } else {
            continue;  // tool buttons show icons
        }
        report(button, text, button->fontMetrics().horizontalAdvance(text) + extra,
               button->width());
    }
    // A spin box shows its widest value or its special text ("No limit") in its size hint.
    for (QAbstractSpinBox* spin : top->findChildren<QAbstractSpinBox*>()) {
        if (!spin->isVisibleTo(top)) continue;
        report(spin, spin->text(), spin->sizeHint().width(), spin->width());
    }
    for (QGroupBox* box : top->findChildren<QGroupBox*>()) {
        if (!box->isVisibleTo(top) || box->title().trimmed().isEmpty()) continue;
        const QString title = WithoutAccessKey(box->title());
        report(box, title, box->fontMetrics().horizontalAdvance(title), box->width() - 8);
    }
    return found;
}

QString ShotFolder() {
    const QString scale = qEnvironmentVariable("QT_SCALE_FACTOR", QStringLiteral("1"));
    const QString root = qEnvironmentVariable("ORVANE_SHOT_DIR", QStringLiteral(ORVANE_SHOT_DIR));
    const QString folder = root + QStringLiteral("/scale") + scale;
    QDir().mkpath(folder);
    return folder;
}

class Clipping : public ::testing::Test, public TShellFixture {};

TEST_F(Clipping, NoTextIsWiderThanItsPlaceInAnyWindowOrLanguage) {
    Open(WriteStereo("clip.wav", 8000));
    ASSERT_TRUE(form->Loaded());
    form->AdoptExtras(std::make_unique<TShellDialogs>(*form));
    TLanguageManager& languages = TLanguageManager::Instance();
    languages.Scan(QStringLiteral(ORVANE_LANGUAGES_DIR));
    const QString folder = ShotFolder();
    const std::pair<int, const char*> kLanguages[] = {{1033, "en"}, {1031, "de"}, {1049, "ru"}};

    QStringList clipped, offScreen;
    for (const auto& [language, code] : kLanguages) {
        languages.SetActiveLanguage(language);
        QCoreApplication::processEvents();
        // Made afresh in the active language each time it is asked for.
        TExportRegionsDialog exportRegions(form.get(), dir.path());
        QList<QWidget*> windows{form.get()};
        for (QDialog* d : form->findChildren<QDialog*>()) windows << d;
        for (QWidget* window : windows) {
            if (window != form.get()) window->show();
            QCoreApplication::processEvents();
            // A window with tabs is looked at tab by tab.
            auto* tabs = window->findChild<QTabWidget*>();
            const int pages = tabs ? tabs->count() : 1;
            for (int page = 0; page < pages; ++page) {
                if (tabs) tabs->setCurrentIndex(page);
                QCoreApplication::processEvents();
                clipped << Clipped(window);
                const QString name = QStringLiteral("%1/%2-%3%4.png")
                                         .arg(folder, QLatin1String(code), window->objectName(),
                                              tabs ? QStringLiteral("-%1").arg(page) : QString());
                window->grab().save(name);
            }
            // Each dialog fits the screen too, its buttons within reach.
            const QRect screen = window->screen()->availableGeometry();
            if (window != form.get() && !screen.contains(window->frameGeometry()))
                offScreen << QStringLiteral("%1: %2 %3,%4 %5x%6, screen %7x%8")
                                 .arg(QLatin1String(code), window->objectName())
                                 .arg(window->frameGeometry().x())
                                 .arg(window->frameGeometry().y())
                                 .arg(window->frameGeometry().width())
                                 .arg(window->frameGeometry().height())
                                 .arg(screen.width())
                                 .arg(screen.height());
            if (window != form.get()) window->hide();
        }
        // The main window stays whole on a desktop's screen (1600 x 1000, at this run's scale).
        const QRect area = form->screen()->availableGeometry();
        if (!area.contains(form->frameGeometry()) ||
            form->minimumSizeHint().width() > area.width())
            offScreen << QStringLiteral("%1: window %2,%3 %4x%5 (at least %6 wide), screen %7x%8")
                             .arg(QLatin1String(code))
                             .arg(form->frameGeometry().x())
                             .arg(form->frameGeometry().y())
                             .arg(form->frameGeometry().width())
                             .arg(form->frameGeometry().height())
                             .arg(form->minimumSizeHint().width())
                             .arg(area.width())
                             .arg(area.height());
    }
    languages.SetActiveLanguage(1033);
    EXPECT_TRUE(clipped.isEmpty()) << clipped.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(offScreen.isEmpty()) << offScreen.join(QLatin1Char('\n')).toStdString();
}

}  // namespace
