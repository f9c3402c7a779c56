#include "commandline.h"

#include <QUrl>

QString CommandLineFile(const QStringList& arguments) {
    return arguments.size() == 1 ? LocalPathFromArgument(arguments.front()) : QString();
}

QString LocalPathFromArgument(const QString& argument) {
    if (!argument.startsWith("file:", Qt::CaseInsensitive)) return argument;
    QUrl url(argument, QUrl::StrictMode);
    if (!url.isValid() || !url.isLocalFile()) return argument;
    if (url.host().compare("localhost", Qt::CaseInsensitive) == 0) url.setHost(QString());
    return url.toLocalFile();
}
