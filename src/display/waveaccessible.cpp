#include "waveaccessible.h"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QAccessibleWidget>

#include "messages.h"
#include "waveview.h"
#include "wavfile.h"

namespace {

QString Text(const char* key) {
    return QString::fromStdString(Msg(key));
}

// Role Slider with a value interface in milliseconds, so readers speak it as they speak any
// moving position; the spoken text is the value text.
class TWaveAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit TWaveAccessible(TWaveView* view) : QAccessibleWidget(view, QAccessible::Slider) {}

    const TWaveView& View() const { return *static_cast<const TWaveView*>(widget()); }

    QString text(QAccessible::Text t) const override {
        switch (t) {
            case QAccessible::Name: {
                const QString name = widget()->accessibleName();
                return name.isEmpty() ? Text("a11ywave") : name;
            }
            case QAccessible::Value:
                return WaveValueText(View());
            case QAccessible::Description:
                return WaveDescriptionText(View());
            default:
                return QAccessibleWidget::text(t);
        }
    }

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ValueInterface) return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QVariant currentValue() const override { return qlonglong(View().cursorMs); }
    void setCurrentValue(const QVariant&) override {}
    QVariant maximumValue() const override {
        const Twavefile* doc = View().Document();
        return qlonglong(doc && doc->Ready() ? View().SamplesToMs(doc->Frames()) : 0);
    }
    QVariant minimumValue() const override { return 0u; }
    QVariant minimumStepSize() const override { return 1u; }
};

QAccessibleInterface* WaveFactory(const QString&, QObject* object) {
    // The view has no meta-object of its own: Qt asks with QWidget's class name.
    if (auto* view = dynamic_cast<TWaveView*>(object)) return new TWaveAccessible(view);
    return nullptr;
}

}  // namespace

void InstallWaveAccessible() {
    static const bool installed = [] {
        QAccessible::installFactory(WaveFactory);
        return true;
    }();
    (void)installed;
}

QString SpokenTime(int64_t ms) {
    const int64_t minutes = ms / 60000;
    const QString seconds = Text("a11yseconds").arg(
        QStringLiteral("%1.%2").arg(ms / 1000 % 60).arg(ms % 1000, 3, 10, QLatin1Char('0')));
    if (minutes == 0) return seconds;
    return Text("a11yminutes").arg(minutes) + ' ' + seconds;
}

QString WaveValueText(const TWaveView& view) {
    QString text = Text("a11ycursor").arg(SpokenTime(view.cursorMs));
    // A reader hears the marker the cursor has reached.
    if (const Twavefile* doc = view.Document()) {
        for (const TMarker& m : doc->Markers()) {
            if (m.start == view.cursor)
                text += QStringLiteral(", ") + Text("a11ymarker").arg(m.name);
        }
    }
    return text;
}

QString WaveDescriptionText(const TWaveView& view) {
    QStringList parts;
    if (view.selected && view.Document() && view.Document()->Ready())
        parts << Text("a11yselected").arg(SpokenTime(view.SamplesToMs(view.selStart)),
                                          SpokenTime(view.SamplesToMs(view.selStop)));
    if (view.Playing()) parts << Text("a11yplaying");
    return parts.join(QStringLiteral(", "));
}

void AnnounceWaveCursor(TWaveView& view) {
    QAccessibleValueChangeEvent event(&view, qlonglong(view.cursorMs));
    QAccessible::updateAccessibility(&event);
}

void AnnounceWaveState(TWaveView& view) {
    QAccessibleEvent description(&view, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&description);
    QAccessibleEvent selection(&view, QAccessible::Selection);
    QAccessible::updateAccessibility(&selection);
}
