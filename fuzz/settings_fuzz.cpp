// The settings file as the program reads it at start: whatever the file holds (any type in any
// key, broken lines, odd encodings), LoadSettings returns a record and never crashes.
#include <QByteArray>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QSettings>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "settings.h"

namespace {

// The file QSettings reads, found once by saving the defaults into a private folder.
QString SettingsFile() {
    static const QString path = [] {
        QByteArray dir = QDir::tempPath().toLocal8Bit() + "/ovsettings-XXXXXX";
        if (mkdtemp(dir.data()) == nullptr) std::abort();
        setenv("XDG_CONFIG_HOME", dir.constData(), 1);
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromLocal8Bit(dir));
        SaveSettings(TSettings{});
        QDirIterator it(QString::fromLocal8Bit(dir), {"*.conf", "*.ini"}, QDir::Files,
                        QDirIterator::Subdirectories);
        if (!it.hasNext()) std::abort();
        return it.next();
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString path = SettingsFile();
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) std::abort();
        f.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    (void)LoadSettings();
    return 0;
}
