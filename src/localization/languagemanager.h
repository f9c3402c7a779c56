#pragma once
// The language manager: the list of available interface languages, the active language, the
// catalogue of named messages, and the windows that follow language changes.
//
// One process-wide instance (Instance(), created on first use) serves the program; tests may make
// their own. Language 1033 (English, United States) is built in; every other language comes from
// a "*.lng" file (languagefile.h). State is guarded by a many-readers, one-writer lock, so message
// lookups are safe from the document's worker thread; scanning, changing the language and
// (un)registering controllers belong to the user-interface thread. Failures raise EAppError with
// the text the user sees; a failed change leaves everything as it was.

#include <QReadWriteLock>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <vector>

class TLanguageController;
struct TLanguageFile;

// LANGID of the built-in language.
constexpr uint16_t kDefaultLanguage = 1033;

class TLanguageManager {
public:
    // Loads the built-in English catalogue from the program's "LANG_CONSTS" resource.
    TLanguageManager();
    ~TLanguageManager();
    TLanguageManager(const TLanguageManager&) = delete;
    TLanguageManager& operator=(const TLanguageManager&) = delete;

    // The process-wide manager.
    static TLanguageManager& Instance();

    // Registers every file in folder matching mask whose header names a non-zero LangID; with
    // recurse, also sub-folders not beginning with ".". Returns how many files were accepted. A
    // file for 1033 is counted but not offered; a second file for a LangID already offered
    // replaces the first (so a user's own file overrides the installed one).
    int Scan(const QString& folder, const QString& mask = QStringLiteral("*.lng"),
             bool recurse = false);
    // Scans every folder of LanguageFolders() (datapaths.h).
    int ScanLanguageFolders();

    // 1 + the number of languages offered by files; index 0 is always 1033.
    int LanguageCount() const;
    uint16_t LanguageID(int index) const;
    // The language's own name for itself, e.g. "Deutsch (Deutschland)".
    QString LanguageName(int index) const;
    // The file of language index; empty for index 0.
    QString LanguageFileName(int index) const;
    // The index of langId in the list, or -1.
    int IndexOfLanguage(uint16_t langId) const;

    uint16_t ActiveLanguage() const;
    // The Windows code page for 8-bit texts in the active language (1252 for English).
    uint16_t CodePage() const;

    // Makes langId active: loads its file (if it is not offered, English becomes active),
    // replaces the named messages and re-translates every registered window. Raises EAppError
    // ("Loading translations failed." ...) when the file cannot be loaded; nothing changes then.
    void SetActiveLanguage(uint16_t langId);

    // Start-up: scans the language folders, then makes the saved language (the user's default
    // language when saved is -1) active if it is offered; otherwise English stays. Returns the
    // index of the active language in the list. A file that fails to load leaves English.
    int ApplySavedLanguage(int saved);

    // The text of a named message in the active language. Raises EAppError naming an unknown key.
    QString MessageText(QStringView key) const;
    // The built-in English text of key. Raises EAppError naming an unknown key.
    QString DefaultMessageText(QStringView key) const;
    // Every message key, in catalogue order (case-insensitive by key).
    QStringList MessageKeys() const;
    bool HasMessage(QStringView key) const;
    // Adds a message. Raises EAppError naming the key when it is not a valid identifier or
    // already present.
    void AddMessage(const QString& key, const QString& defaultText);

    // Controllers call these from their constructor and destructor.
    void RegisterController(TLanguageController* controller);
    void UnregisterController(TLanguageController* controller);
    // The registered controllers, in registration order.
    std::vector<const TLanguageController*> Controllers() const;
    // Applies the active language to one window (English: its design texts).
    void TranslateController(TLanguageController& controller) const;

    // A complete template of a language file: header, every message and every text of every
    // registered window, each with a comment naming it, in English.
    QString LanguageTemplate() const;

private:
    struct TMessage {
        QString key, defaultText, text;
    };
    struct TAvailable {
        uint16_t langId;
        QString file;
    };

    int FindMessage(QStringView key) const;  // index or -1; caller holds the lock
    int ScanFolder(const QString& folder, const QString& mask, bool recurse);

    mutable QReadWriteLock lock_;
    std::vector<TMessage> messages_;  // sorted by key, case-insensitively
    std::vector<TAvailable> available_;
    std::vector<TLanguageController*> controllers_;
    uint16_t active_ = kDefaultLanguage;
    uint16_t codePage_ = 1252;
    std::shared_ptr<const TLanguageFile> translation_;  // null for English
};

// The desktop's own name of a LANGID in that language ("русский (Россия)"), or its decimal
// number when the system knows no name for it.
QString LanguageDisplayName(uint16_t langId);

// The LANGID of the user's desktop locale (LC_ALL, LC_MESSAGES, LANG); 1033 when unset, "C" or
// unknown.
uint16_t UserDefaultLanguage();
