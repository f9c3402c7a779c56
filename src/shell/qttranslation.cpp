#include "qttranslation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <memory>

QString QtLanguageCode(uint16_t language) {
    // By the primary language (the lower ten bits); Chinese by its sub-language.
    switch (language & 0x3FF) {
        case 0x01: return QStringLiteral("ar");
        case 0x02: return QStringLiteral("bg");
        case 0x03: return QStringLiteral("ca");
        case 0x04: return (language >> 10) == 0x02 ? QStringLiteral("zh_CN")
                                                   : QStringLiteral("zh_TW");
        case 0x05: return QStringLiteral("cs");
        case 0x06: return QStringLiteral("da");
        case 0x07: return QStringLiteral("de");
        case 0x0A: return QStringLiteral("es");
        case 0x0B: return QStringLiteral("fi");
        case 0x0C: return QStringLiteral("fr");
        case 0x0D: return QStringLiteral("he");
        case 0x0E: return QStringLiteral("hu");
        case 0x10: return QStringLiteral("it");
        case 0x11: return QStringLiteral("ja");
        case 0x12: return QStringLiteral("ko");
        case 0x13: return QStringLiteral("nl");
        case 0x14: return QStringLiteral("nn");
        case 0x15: return QStringLiteral("pl");
        case 0x16: return QStringLiteral("pt_BR");
        case 0x19: return QStringLiteral("ru");
        case 0x1B: return QStringLiteral("sk");
        case 0x1D: return QStringLiteral("sv");
        case 0x1F: return QStringLiteral("tr");
        case 0x22: return QStringLiteral("uk");
        default: return {};
    }
}

bool UseQtTranslation(uint16_t language) {
    // Numbers shown in the windows follow the language too ("0,5 MB" in German).
    const QString locale = QtLanguageCode(language);
    QLocale::setDefault(locale.isEmpty() ? QLocale(QLocale::English, QLocale::UnitedStates)
                                         : QLocale(locale));
    static std::unique_ptr<QTranslator> current;
    if (current) QCoreApplication::removeTranslator(current.get());
    current.reset();
    const QString code = QtLanguageCode(language);
    if (code.isEmpty()) return false;
    auto next = std::make_unique<QTranslator>();
    if (!next->load(QStringLiteral("qtbase_") + code,
                    QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return false;
    QCoreApplication::installTranslator(next.get());
    current = std::move(next);
    return true;
}
