#include "help.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

#include "apperror.h"
#include "datapaths.h"

namespace {
const QString kManual = QStringLiteral("help/index.html");
}

QString ManualPath() {
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
