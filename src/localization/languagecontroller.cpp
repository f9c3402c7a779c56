#include "languagecontroller.h"

#include <QAbstractItemModel>
#include <QMetaProperty>
#include <QRegularExpression>
#include <QSet>

#include "languagefile.h"
#include "languagemanager.h"

QString WithoutAccessKey(QString caption) {
    caption.remove(QRegularExpression(QStringLiteral("&(?!&)")));
    return caption;
}

namespace {

// Texts UntranslatedTexts() looks at on every named object.
constexpr const char* kTextProperties[] = {"text",      "title",           "windowTitle",
                                           "toolTip",   "statusTip",       "placeholderText"};

// Splits "items[3]" into ("items", 3); a plain property gives (name, -1).
std::pair<QByteArray, int> SplitProperty(const char* property) {
    const QByteArray p(property);
    const qsizetype open = p.indexOf('[');
    if (open <= 0 || !p.endsWith(']')) return {p, -1};
    bool ok = false;
    const int index = p.mid(open + 1, p.size() - open - 2).toInt(&ok);
    if (!ok || index < 0) return {p, -1};
    return {p.left(open), index};
}

// A list widget's or combo box's own item model, or the object itself when it is a model.
QAbstractItemModel* ItemModel(QObject* object) {
    if (auto* model = qobject_cast<QAbstractItemModel*>(object)) return model;
    return object->findChild<QAbstractItemModel*>(QString(), Qt::FindDirectChildrenOnly);
}

bool HasStringListProperty(const QObject* object, const QByteArray& name) {
    const int i = object->metaObject()->indexOfProperty(name.constData());
    return i >= 0 && object->metaObject()->property(i).metaType() == QMetaType::fromType<QStringList>();
}

// A text that Qt derives from the action's text (a tool tip nobody set).
QString StrippedText(QString text) {
    text.remove(QStringLiteral("..."));
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'&') text.remove(i, 1);
    }
    return text.trimmed();
}

QRegularExpression IgnorePattern(const QString& pattern) {
    QStringList parts = pattern.split('*');
    for (QString& part : parts) part = QRegularExpression::escape(part);
    return QRegularExpression(QRegularExpression::anchoredPattern(parts.join(".*")),
                              QRegularExpression::CaseInsensitiveOption);
}

}  // namespace

TLanguageController::TLanguageController(QObject* window, std::vector<TTranslatable> table,
                                         QStringList ignore, TLanguageManager* manager)
    : manager_(manager ? manager : &TLanguageManager::Instance()),
      window_(window),
      table_(std::move(table)),
      ignore_(std::move(ignore)) {
    manager_->RegisterController(this);
}

TLanguageController::~TLanguageController() { manager_->UnregisterController(this); }

QString TLanguageController::Section() const {
    if (!section_.isEmpty()) return section_;
    return window_ ? window_->objectName() : QString();
}

void TLanguageController::SetSection(const QString& section) { section_ = section; }

void TLanguageController::SetRetranslateHook(std::function<void()> hook) { hook_ = std::move(hook); }

void TLanguageController::Bind() {
    // Binding again (say, after items were added) must record design texts, not translations.
    for (const TBinding& b : bindings_) Apply(b, b.designText);
    bindings_.clear();
    unbound_.clear();
    if (!window_) return;
    for (const TTranslatable& t : table_) {
        QObject* object = window_;
        if (*t.object && window_->objectName() != QLatin1String(t.object))
            object = window_->findChild<QObject*>(QString::fromLatin1(t.object));
        auto [property, item] = SplitProperty(t.property);
        TBinding b{t.id, object, property, item, {}};
        bool found = object != nullptr;
        if (found && item < 0) {
            found = object->metaObject()->indexOfProperty(property.constData()) >= 0;
            if (found) b.designText = object->property(property.constData()).toString();
        } else if (found && HasStringListProperty(object, property)) {
            const QStringList list = object->property(property.constData()).toStringList();
            found = item < list.size();
            if (found) b.designText = list[item];
        } else if (found) {
            QAbstractItemModel* model = property == "items" ? ItemModel(object) : nullptr;
            found = model && item < model->rowCount();
            if (found) b.designText = model->data(model->index(item, 0), Qt::DisplayRole).toString();
        }
        if (found)
            bindings_.push_back(std::move(b));
        else
            unbound_ << QString::fromLatin1(t.object) + '.' + QString::fromLatin1(t.property);
    }
    bound_ = true;
    if (manager_->ActiveLanguage() != kDefaultLanguage) manager_->TranslateController(*this);
}

void TLanguageController::Translate(const TLanguageFile* translation) {
    const QString section = Section();
    for (const TBinding& b : bindings_) {
        QString text = translation ? translation->Text(section, b.id) : QString();
        Apply(b, text.isNull() ? b.designText : text);
    }
    if (hook_) hook_();
}

void TLanguageController::Apply(const TBinding& b, const QString& text) const {
    QObject* object = b.object;
    if (!object) return;
    if (b.item < 0) {
        object->setProperty(b.property.constData(), text);
    } else if (HasStringListProperty(object, b.property)) {
        QStringList list = object->property(b.property.constData()).toStringList();
        if (b.item < list.size()) {
            list[b.item] = text;
            object->setProperty(b.property.constData(), list);
        }
    } else if (QAbstractItemModel* model = ItemModel(object); model && b.item < model->rowCount()) {
        model->setData(model->index(b.item, 0), text, Qt::DisplayRole);
    }
}

QString TLanguageController::DesignText(int id) const {
    for (const TBinding& b : bindings_)
        if (b.id == id) return b.designText;
    return {};
}

bool TLanguageController::IsIgnored(const QString& objectDotProperty) const {
    for (const QString& pattern : ignore_)
        if (IgnorePattern(pattern).match(objectDotProperty).hasMatch()) return true;
    return false;
}

QStringList TLanguageController::UntranslatedTexts() const {
    QStringList missing;
    if (!window_) return missing;
    QSet<QString> covered;
    for (const TTranslatable& t : table_) {
        const QString object = *t.object ? QString::fromLatin1(t.object) : window_->objectName();
        covered.insert(object + '.' + QString::fromLatin1(t.property));
    }
    QList<QObject*> objects{window_.data()};
    objects += window_->findChildren<QObject*>();
    for (QObject* object : objects) {
        const QString name = object->objectName();
        if (name.isEmpty() || name.startsWith(QLatin1String("qt_"))) continue;
        auto check = [&](const QString& key, const QString& text) {
            if (!text.trimmed().isEmpty() && !covered.contains(key) && !IsIgnored(key))
                missing << key;
        };
        const QMetaObject* meta = object->metaObject();
        const QString plainText = object->property("text").toString();
        for (const char* property : kTextProperties) {
            const int i = meta->indexOfProperty(property);
            if (i < 0 || meta->property(i).metaType() != QMetaType::fromType<QString>()) continue;
            const QString text = object->property(property).toString();
            const bool derived = (qstrcmp(property, "toolTip") == 0 ||
                                  qstrcmp(property, "statusTip") == 0) &&
                                 text == StrippedText(plainText);
            if (!derived) check(name + '.' + property, text);
        }
        if (object != window_ && qobject_cast<QAbstractItemModel*>(object)) continue;
        if (QAbstractItemModel* model = ItemModel(object); model && object->inherits("QWidget")) {
            for (int r = 0; r < model->rowCount(); ++r)
                check(QStringLiteral("%1.items[%2]").arg(name).arg(r),
                      model->data(model->index(r, 0), Qt::DisplayRole).toString());
        }
    }
    return missing;
}
