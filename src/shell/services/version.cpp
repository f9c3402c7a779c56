#include "version.h"

#include <QStringList>

QString FourFieldVersion(const QString& version) {
    const QString text = version.trimmed();
    if (text.isEmpty()) return QStringLiteral("n/a");
    QStringList fields = text.split(u'.');
    while (fields.size() < 4) fields.append(QStringLiteral("0"));
    return fields.join(u'.');
}

QString OwnVersion() {
#ifdef ORVANE_FILE_VERSION
    return FourFieldVersion(QStringLiteral(ORVANE_FILE_VERSION));
#else
    return FourFieldVersion(QString());
#endif
}
