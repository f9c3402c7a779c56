#include "datapaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

constexpr const char* kLanguagesSubfolder = "languages";

QString ExistingFolder(const QString& path) {
    const QFileInfo info(path);
    return info.isDir() ? QDir::cleanPath(info.absoluteFilePath()) : QString();
}

// True when folder is inside (or is) root; both absolute and clean.
bool IsInside(const QString& folder, const QString& root) {
    return folder == root || folder.startsWith(root + '/');
}

}  // namespace

QString ExecutableFolder() {
    if (QCoreApplication::instance()) return QCoreApplication::applicationDirPath();
    return QFileInfo(QFile::symLinkTarget("/proc/self/exe")).absolutePath();
}

QString ProgramDataFolder() {
    const QString exeFolder = QDir::cleanPath(ExecutableFolder());
    const QString installed = ExistingFolder(exeFolder + "/../share/orvane");
    if (!installed.isEmpty()) return installed;
    // Only a program that lives in the build tree reads the source tree: an installed copy built
    // from the same tree must not pick up whatever that tree holds later.
    if (IsInside(exeFolder, QDir::cleanPath(ORVANE_BUILD_DIR)))
        return ExistingFolder(ORVANE_SOURCE_DATA_DIR);
    return {};
}

QString UserDataFolder() {
    // GenericDataLocation's first entry is $XDG_DATA_HOME, or ~/.local/share when it is unset.
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/orvane";
}

QStringList DataFolders() {
    QStringList folders;
    const QString program = ProgramDataFolder();
    if (!program.isEmpty()) folders << program;
    const QString user = ExistingFolder(UserDataFolder());
    if (!user.isEmpty() && !folders.contains(user)) folders << user;
    return folders;
}

QStringList LanguageFolders() {
    QStringList folders;
    for (const QString& data : DataFolders()) {
        const QString languages = ExistingFolder(data + '/' + kLanguagesSubfolder);
        if (!languages.isEmpty()) folders << languages;
    }
    return folders;
}

QString UserLanguageFolder() { return UserDataFolder() + '/' + kLanguagesSubfolder; }

QString FindDataFile(const QString& relative) {
    for (const QString& data : DataFolders()) {
        const QFileInfo info(data + '/' + relative);
        if (info.exists()) return info.absoluteFilePath();
    }
    return {};
}
