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
    // The build's fields are padded to four; a zero tweak field is not part of the release name.
    QStringList fields = FourFieldVersion(QStringLiteral(ORVANE_FILE_VERSION)).split(u'.');
    while (fields.size() > 3 && fields.constLast() == u"0") fields.removeLast();
    return fields.join(u'.');
#else
    return FourFieldVersion(QString());
#endif
}
