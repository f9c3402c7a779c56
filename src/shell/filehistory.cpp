#include "filehistory.h"

#include <QDir>
#include <QFileInfo>

#include "settings.h"

namespace {

QString FolderOf(const QString& path) {
    return QFileInfo(path).absolutePath();
}

}  // namespace

const QStringList& TFileHistory::Files() const {
    return settings_.recentfiles;
}

void TFileHistory::Opened(const QString& path) {
    if (path.isEmpty()) return;
    const QString full = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    QStringList& files = settings_.recentfiles;
    files.removeAll(full);
    files.prepend(full);
    while (files.size() > kMaxFiles) files.removeLast();
    UsedFolder(full);
}

void TFileHistory::UsedFolder(const QString& path) {
    if (!path.isEmpty()) settings_.lastfolder = FolderOf(path);
}

QString TFileHistory::Choose(int index, QString* missing) {
    QStringList& files = settings_.recentfiles;
    if (index < 0 || index >= files.size()) return QString();
    const QString path = files[index];
    if (QFileInfo(path).isFile()) return path;
    files.removeAt(index);
    if (missing) *missing = path;
    return QString();
}

QString TFileHistory::StartFolder(const QString& currentFile) const {
    if (!currentFile.isEmpty() && QFileInfo(FolderOf(currentFile)).isDir()) {
        return FolderOf(currentFile);
    }
    if (!settings_.lastfolder.isEmpty() && QFileInfo(settings_.lastfolder).isDir()) {
        return settings_.lastfolder;
    }
    return QString();
}

QString TFileHistory::SaveProposal(const QString& currentFile) const {
    if (!currentFile.isEmpty() && QFileInfo(FolderOf(currentFile)).isDir()) {
        return QFileInfo(currentFile).absoluteFilePath();
    }
    return StartFolder(QString());
}
