#include "help.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

#include "apperror.h"
#include "datapaths.h"

namespace {

const QString kManual = QStringLiteral("help/index.html");

// The manual's folder for a language, by the LANGID's primary language.
QString LanguageFolder(uint16_t language) {
    switch (language & 0x3FF) {
        case 0x07:
            return QStringLiteral("de");
        case 0x19:
            return QStringLiteral("ru");
        default:
            return {};
    }
}

}  // namespace

QString ManualPath(uint16_t language) {
    const QString code = LanguageFolder(language);
    if (!code.isEmpty()) {
        const QString translated =
            FindDataFile(QStringLiteral("help/") + code + QStringLiteral("/index.html"));
        if (!translated.isEmpty()) return translated;
    }
    const QString found = FindDataFile(kManual);
    if (!found.isEmpty()) return found;
    QString folder = ProgramDataFolder();
    if (folder.isEmpty()) folder = ExecutableFolder() + QStringLiteral("/../share/orvane");
    return QDir::cleanPath(folder + u'/' + kManual);
}

void OpenHelp(const QString& path, const QString& topic) {
    const QFileInfo file(path);
    if (file.isFile()) {
        QUrl url = QUrl::fromLocalFile(file.absoluteFilePath());
        if (!topic.isEmpty()) url.setFragment(topic);
        if (QDesktopServices::openUrl(url)) return;
    }
    throw EAppError("Unable to open help file " + file.absoluteFilePath().toStdString());
}
