#include "languagemanager.h"

#include <unicode/uloc.h>

#include <QDir>
#include <QFile>
#include <QReadLocker>
#include <QWriteLocker>
#include <algorithm>
#include <cstdlib>

#include "apperror.h"
#include "catalogue.h"
#include "datapaths.h"
#include "languagecontroller.h"
#include "languagefile.h"

namespace {

// The English catalogue built into the program from src/localization/messages.txt.
constexpr const char* kCatalogueResource = ":/LANG_CONSTS";

bool KeyLess(const QString& a, QStringView b) { return a.compare(b, Qt::CaseInsensitive) < 0; }

[[noreturn]] void UnknownKey(QStringView key) {
    throw EAppError("Message '" + key.toString().toStdString() + "' not found");
}

}  // namespace

TLanguageManager::TLanguageManager() {
    QFile resource(kCatalogueResource);
    if (!resource.open(QIODevice::ReadOnly))
        throw EAppError("The program's message catalogue is missing");
    for (const TCatalogueEntry& e : ReadCatalogue(resource.readAll(), codePage_))
        AddMessage(e.key, e.text);
}

TLanguageManager::~TLanguageManager() {
    // Controllers of windows that outlive the manager must not call back into it.
    QWriteLocker lock(&lock_);
    controllers_.clear();
}

TLanguageManager& TLanguageManager::Instance() {
    static TLanguageManager manager;
    return manager;
}

int TLanguageManager::Scan(const QString& folder, const QString& mask, bool recurse) {
    QWriteLocker lock(&lock_);
    return ScanFolder(folder, mask, recurse);
}

int TLanguageManager::ScanFolder(const QString& folder, const QString& mask, bool recurse) {
    const QDir dir(folder);
    int accepted = 0;
    for (const QFileInfo& info :
         dir.entryInfoList({mask}, QDir::Files | QDir::Readable, QDir::Name)) {
        uint16_t langId = 0;
        try {
            langId = ReadLanguageHeader(ReadLanguageBytes(info.absoluteFilePath()));
        } catch (const EAppError&) {
            continue;  // unreadable or too large: not a language on offer
        }
        if (langId == 0) continue;
        ++accepted;
        if (langId == kDefaultLanguage) continue;
        const auto same = std::find_if(available_.begin(), available_.end(),
                                       [langId](const TAvailable& a) { return a.langId == langId; });
        if (same != available_.end())
            same->file = info.absoluteFilePath();
        else
            available_.push_back({langId, info.absoluteFilePath()});
    }
    if (recurse) {
        for (const QFileInfo& sub : dir.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
            if (!sub.fileName().startsWith('.'))
                accepted += ScanFolder(sub.absoluteFilePath(), mask, recurse);
        }
    }
    return accepted;
}

int TLanguageManager::ScanLanguageFolders() {
    int accepted = 0;
    for (const QString& folder : LanguageFolders()) accepted += Scan(folder);
    return accepted;
}

int TLanguageManager::LanguageCount() const {
    QReadLocker lock(&lock_);
    return 1 + static_cast<int>(available_.size());
}

uint16_t TLanguageManager::LanguageID(int index) const {
    QReadLocker lock(&lock_);
    if (index <= 0 || index > static_cast<int>(available_.size())) return kDefaultLanguage;
    return available_[index - 1].langId;
}

QString TLanguageManager::LanguageName(int index) const { return LanguageDisplayName(LanguageID(index)); }

QString TLanguageManager::LanguageFileName(int index) const {
    QReadLocker lock(&lock_);
    if (index <= 0 || index > static_cast<int>(available_.size())) return {};
    return available_[index - 1].file;
}

int TLanguageManager::IndexOfLanguage(uint16_t langId) const {
    QReadLocker lock(&lock_);
    if (langId == kDefaultLanguage) return 0;
    for (size_t i = 0; i < available_.size(); ++i)
        if (available_[i].langId == langId) return static_cast<int>(i) + 1;
    return -1;
}

uint16_t TLanguageManager::ActiveLanguage() const {
    QReadLocker lock(&lock_);
    return active_;
}

uint16_t TLanguageManager::CodePage() const {
    QReadLocker lock(&lock_);
    return codePage_;
}

void TLanguageManager::SetActiveLanguage(uint16_t langId) {
    if (langId == ActiveLanguage()) return;
    std::shared_ptr<const TLanguageFile> translation;
    if (langId != kDefaultLanguage) {
        const int index = IndexOfLanguage(langId);
        if (index > 0) {
            // Loaded before anything changes, so a broken file leaves the language as it was.
            translation = std::make_shared<const TLanguageFile>(LoadLanguageFile(LanguageFileName(index)));
        } else {
            langId = kDefaultLanguage;
        }
    }
    std::vector<TLanguageController*> controllers;
    {
        QWriteLocker lock(&lock_);
        if (langId == active_) return;
        active_ = langId;
        codePage_ = AnsiCodePage(langId);
        translation_ = translation;
        for (TMessage& m : messages_) {
            if (!translation) {
                m.text = m.defaultText;
            } else {
                const QString text = translation->Constant(m.key);
                if (!text.isNull()) m.text = text;
            }
        }
        controllers = controllers_;
    }
    // Windows are translated outside the lock: their hooks read messages.
    for (TLanguageController* c : controllers) {
        if (c->IsBound()) c->Translate(translation.get());
    }
}

int TLanguageManager::ApplySavedLanguage(int saved) {
    ScanLanguageFolders();
    const uint16_t wanted = saved == -1 ? UserDefaultLanguage() : static_cast<uint16_t>(saved);
    const int index = IndexOfLanguage(wanted);
    if (index < 0) return IndexOfLanguage(ActiveLanguage());
    SetActiveLanguage(wanted);
    return index;
}

int TLanguageManager::FindMessage(QStringView key) const {
    const auto it = std::lower_bound(messages_.begin(), messages_.end(), key,
                                     [](const TMessage& m, QStringView k) { return KeyLess(m.key, k); });
    if (it == messages_.end() || it->key.compare(key, Qt::CaseInsensitive) != 0) return -1;
    return static_cast<int>(it - messages_.begin());
}

QString TLanguageManager::MessageText(QStringView key) const {
    QReadLocker lock(&lock_);
    const int i = FindMessage(key);
    if (i < 0) UnknownKey(key);
    return messages_[i].text;
}

QString TLanguageManager::DefaultMessageText(QStringView key) const {
    QReadLocker lock(&lock_);
    const int i = FindMessage(key);
    if (i < 0) UnknownKey(key);
    return messages_[i].defaultText;
}

QStringList TLanguageManager::MessageKeys() const {
    QReadLocker lock(&lock_);
    QStringList keys;
    for (const TMessage& m : messages_) keys << m.key;
    return keys;
}

bool TLanguageManager::HasMessage(QStringView key) const {
    QReadLocker lock(&lock_);
    return FindMessage(key) >= 0;
}

void TLanguageManager::AddMessage(const QString& key, const QString& defaultText) {
    if (!IsValidMessageKey(key))
        throw EAppError("'" + key.toStdString() + "' is not a valid message key");
    QWriteLocker lock(&lock_);
    if (FindMessage(key) >= 0)
        throw EAppError("Message '" + key.toStdString() + "' is already in the catalogue");
    const auto at = std::lower_bound(messages_.begin(), messages_.end(), QStringView(key),
                                     [](const TMessage& m, QStringView k) { return KeyLess(m.key, k); });
    QString text = defaultText;
    if (translation_) {
        const QString translated = translation_->Constant(key);
        if (!translated.isNull()) text = translated;
    }
    messages_.insert(at, {key, defaultText, text});
}

void TLanguageManager::RegisterController(TLanguageController* controller) {
    QWriteLocker lock(&lock_);
    if (std::find(controllers_.begin(), controllers_.end(), controller) == controllers_.end())
        controllers_.push_back(controller);
}

void TLanguageManager::UnregisterController(TLanguageController* controller) {
    QWriteLocker lock(&lock_);
    std::erase(controllers_, controller);
}

std::vector<const TLanguageController*> TLanguageManager::Controllers() const {
    QReadLocker lock(&lock_);
    return {controllers_.begin(), controllers_.end()};
}

void TLanguageManager::TranslateController(TLanguageController& controller) const {
    std::shared_ptr<const TLanguageFile> translation;
    {
        QReadLocker lock(&lock_);
        translation = translation_;
    }
    controller.Translate(translation.get());
}

QString TLanguageManager::LanguageTemplate() const {
    QString out;
    out += "; Orvane language file. Save it as UTF-16 LE with a byte-order mark (or as 8-bit text\r\n"
           "; in the language's Windows code page), put the language's decimal LANGID below and\r\n"
           "; replace every English text after \"=\". Escapes: \\n line break, \\t tab, \\\\ backslash.\r\n"
           "; Check it with: orvane-cli --check-language FILE.lng\r\n"
           "LangID=0\r\n\r\n[$CONSTANTS]\r\n";
    std::vector<TLanguageController*> controllers;
    {
        QReadLocker lock(&lock_);
        for (const TMessage& m : messages_)
            out += "; " + m.key + "\r\n" + m.key + '=' + EscapeValue(m.defaultText) + "\r\n";
        controllers = controllers_;
    }
    for (const TLanguageController* c : controllers) {
        out += "\r\n[" + c->Section() + "]\r\n";
        for (const TTranslatable& t : c->Table()) {
            const QString object = *t.object ? QString::fromLatin1(t.object) : c->Section();
            out += "; " + object + '.' + QString::fromLatin1(t.property) + "\r\n" +
                   QString::number(t.id) + '=' + EscapeValue(c->DesignText(t.id)) + "\r\n";
        }
    }
    return out;
}

QString LanguageDisplayName(uint16_t langId) {
    char locale[ULOC_FULLNAME_CAPACITY] = {};
    UErrorCode status = U_ZERO_ERROR;
    const int32_t n = uloc_getLocaleForLCID(langId, locale, sizeof locale, &status);
    if (U_SUCCESS(status) && n > 0 && n < static_cast<int32_t>(sizeof locale)) {
        UChar name[256] = {};
        status = U_ZERO_ERROR;
        const int32_t len = uloc_getDisplayName(locale, locale, name, 255, &status);
        if (U_SUCCESS(status) && len > 0 && len < 256)
            return QString(reinterpret_cast<const QChar*>(name), len);
    }
    return QString::number(langId);
}

uint16_t UserDefaultLanguage() {
    QByteArray locale;
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value && *value) {
            locale = value;
            break;
        }
    }
    // "de_DE.UTF-8@euro" -> "de_DE"
    const qsizetype cut = locale.indexOf('.') >= 0 ? locale.indexOf('.') : locale.indexOf('@');
    if (cut >= 0) locale.truncate(cut);
    if (locale.isEmpty() || locale == "C" || locale == "POSIX") return kDefaultLanguage;
    uint32_t lcid = uloc_getLCID(locale.constData());
    if ((lcid >> 10) == 0) {
        // A bare language ("de") names no country; Windows would answer with the usual one.
        char full[ULOC_FULLNAME_CAPACITY] = {};
        UErrorCode status = U_ZERO_ERROR;
        uloc_addLikelySubtags(locale.constData(), full, sizeof full, &status);
        if (U_SUCCESS(status)) {
            char language[ULOC_LANG_CAPACITY] = {}, country[ULOC_COUNTRY_CAPACITY] = {};
            uloc_getLanguage(full, language, sizeof language, &status);
            uloc_getCountry(full, country, sizeof country, &status);
            if (U_SUCCESS(status)) {
                const QByteArray withCountry = QByteArray(language) + '_' + country;
                lcid = uloc_getLCID(withCountry.constData());
            }
        }
    }
    return lcid == 0 || lcid > 0xFFFF ? kDefaultLanguage : static_cast<uint16_t>(lcid);
}
