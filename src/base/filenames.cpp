#include "filenames.h"

namespace {

// Where the extension starts, or -1.
qsizetype ExtensionStart(const QString& name) {
    const qsizetype slash = name.lastIndexOf(u'/');
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot > slash ? dot : -1;
}

}  // namespace

QString ExtensionOf(const QString& name) {
    const qsizetype dot = ExtensionStart(name);
    return dot < 0 ? QString() : name.mid(dot);
}

QString LowerSuffix(const QString& name) {
    return ExtensionOf(name).mid(1).toLower();
}

QString ChangeFileExt(const QString& name, const QString& suffix) {
    const qsizetype dot = ExtensionStart(name);
    return (dot < 0 ? name : name.left(dot)) + u'.' + suffix;
}
