#pragma once
// A window's language controller: binds the window's translatable texts to fixed identifiers and
// re-applies them when the active language changes.
//
// Every window owns one. Its table lists (identifier, object name, property): the object is found
// by name among the window's descendants (an empty name is the window itself), and its property
// is set through Qt's property system ("text", "title", "windowTitle", "toolTip", "statusTip"...).
// A QAction is one object shared by menu, toolbar and context menu, so one entry translates it
// everywhere. "items[i]" addresses entry i of a list: a QStringList property named "items", or
// else the rows of the object's item model (a combo box's or list widget's own model). The
// identifiers are the file format: never renumber one, only add new ones.
//
// The ignore list names texts that are never translated ("component.property", "*" matching any
// run of characters); UntranslatedTexts() uses it to find texts a table has forgotten.
// Only the user-interface thread uses a controller.

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

class TLanguageManager;

// A caption without its keyboard accelerators ("&Open" gives "Open"; "&&" stays a "&"), as
// tool tips and accessible names show it.
QString WithoutAccessKey(QString caption);
struct TLanguageFile;

struct TTranslatable {
    int id;                // positive, unique within the window, fixed forever
    const char* object;    // object name; "" for the window itself
    const char* property;  // Qt property, or "items[i]" for entry i of a list
};

class TLanguageController {
public:
    // Registers with manager (the process-wide one when null). window must outlive the
    // controller: make the controller a member of the window.
    TLanguageController(QObject* window, std::vector<TTranslatable> table,
                        QStringList ignore = {}, TLanguageManager* manager = nullptr);
    ~TLanguageController();
    TLanguageController(const TLanguageController&) = delete;
    TLanguageController& operator=(const TLanguageController&) = delete;

    // The language file section of this window: the one set here, else the window's object name.
    QString Section() const;
    void SetSection(const QString& section);

    // Called after the texts changed, e.g. to rebuild texts composed from named messages.
    void SetRetranslateHook(std::function<void()> hook);

    // Call once the window is fully built: finds every object, records its design texts and, when
    // a language other than English is active, applies it at once. Calling it again (after items
    // were added) puts the design texts back first, so they are recorded, not translations.
    void Bind();
    bool IsBound() const { return bound_; }

    // Sets every bound text from translation's section for this window, or to its design text
    // where that lacks the identifier or translation is null; then calls the retranslate hook.
    void Translate(const TLanguageFile* translation);

    QObject* Window() const { return window_; }
    const std::vector<TTranslatable>& Table() const { return table_; }
    const QStringList& IgnoreList() const { return ignore_; }
    // The design text recorded for identifier id by Bind(), or empty.
    QString DesignText(int id) const;
    // "object.property" names of table entries Bind() could not find (empty when all bound).
    QStringList UnboundEntries() const { return unbound_; }
    // True when "object.property" matches an ignore pattern.
    bool IsIgnored(const QString& objectDotProperty) const;
    // Non-empty texts of the window and its descendants (named objects only, properties text,
    // title, windowTitle, toolTip, statusTip, placeholderText and list items) that are neither in
    // the table nor ignored: a check for tests that every visible text can be translated.
    QStringList UntranslatedTexts() const;

private:
    struct TBinding {
        int id;
        QPointer<QObject> object;
        QByteArray property;
        int item;  // -1 for a plain property
        QString designText;
    };
    void Apply(const TBinding& binding, const QString& text) const;

    TLanguageManager* manager_;
    QPointer<QObject> window_;
    std::vector<TTranslatable> table_;
    QStringList ignore_;
    QString section_;
    std::function<void()> hook_;
    std::vector<TBinding> bindings_;
    QStringList unbound_;
    bool bound_ = false;
};
