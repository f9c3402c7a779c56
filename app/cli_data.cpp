#include "cli_data.h"

#include <QDir>
#include <QFileInfo>

#include "datapaths.h"
#include "languagemanager.h"

namespace {

std::string Line(const char* what, const QString& where) {
    return std::string(what) + ": " +
           (where.isEmpty() ? std::string("(none)")
                            : QDir::toNativeSeparators(where).toStdString()) +
           "\n";
}

}  // namespace

std::string DataFoldersReport() {
    std::string report = Line("program data", ProgramDataFolder());
    const QString user = UserDataFolder();
    report += Line("user data", QFileInfo::exists(user) ? user : QString());
    // A private manager: the files are read exactly as the editor's start-up reads them.
    TLanguageManager languages;
    languages.ScanLanguageFolders();
    for (int i = 1; i < languages.LanguageCount(); ++i) {
        report += Line("language", QFileInfo(languages.LanguageFileName(i)).absoluteFilePath() +
                                       " (" + QString::number(languages.LanguageID(i)) + ", " +
                                       languages.LanguageName(i) + ")");
    }
    if (languages.LanguageCount() < 2) report += Line("language", QString());
    report += Line("help", FindDataFile("help/index.html"));
    return report;
}
