#include "settings.h"

#include <sys/statvfs.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "apperror.h"

TSettings Settings;

namespace {

constexpr const char* kOrganisation = "Quillfen";
constexpr const char* kApplication = "Orvane";
constexpr const char* kGroup = "Settings";

// Reads an integer value only when it was stored as one. QSettings' INI format keeps no type
// tags, so a value counts as an integer when its whole text is a decimal 32-bit number.
int32_t ReadInt(QSettings& s, const char* name, int32_t fallback) {
    if (!s.contains(name)) return fallback;
    const QVariant v = s.value(name);
    if (v.typeId() == QMetaType::Int || v.typeId() == QMetaType::LongLong ||
        v.typeId() == QMetaType::UInt) {
        bool ok = false;
        const qlonglong n = v.toLongLong(&ok);
        if (ok && n >= INT32_MIN && n <= INT32_MAX) return static_cast<int32_t>(n);
        return fallback;
    }
    if (v.typeId() != QMetaType::QString) return fallback;
    bool ok = false;
    const int n = v.toString().toInt(&ok, 10);
    return ok ? n : fallback;
}

QString ReadString(QSettings& s, const char* name, const QString& fallback) {
    if (!s.contains(name)) return fallback;
    const QVariant v = s.value(name);
    // A list or a byte array is not a string value.
    if (v.typeId() != QMetaType::QString) return fallback;
    return v.toString();
}

// A list is one string when it holds a single entry (INI), or absent.
QStringList ReadList(QSettings& s, const char* name) {
    if (!s.contains(name)) return {};
    const QVariant v = s.value(name);
    if (v.typeId() == QMetaType::QStringList) return v.toStringList();
    if (v.typeId() == QMetaType::QString && !v.toString().isEmpty()) return {v.toString()};
    return {};
}

}  // namespace

QString DefaultTempFolder() {
    QString path = QDir::tempPath();
    if (!path.endsWith('/')) path += '/';
    return path;
}

TSettings LoadSettings() {
    TSettings r;
    r.tempfolder = DefaultTempFolder();
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, kOrganisation, kApplication);
    if (s.status() != QSettings::NoError) return r;
    s.beginGroup(kGroup);
    r.tempfolder = ReadString(s, "tempfolder", r.tempfolder);
    r.selectiontype = ReadInt(s, "selectiontype", r.selectiontype);
    r.backcolor = ReadInt(s, "backcolor", r.backcolor);
    r.scalecolor = ReadInt(s, "scalecolor", r.scalecolor);
    r.wavecolor = ReadInt(s, "wavecolor", r.wavecolor);
    r.posx = ReadInt(s, "posx", r.posx);
    r.posy = ReadInt(s, "posy", r.posy);
    r.width = ReadInt(s, "width", r.width);
    r.height = ReadInt(s, "height", r.height);
    r.lang = ReadInt(s, "lang", r.lang);
    r.volume = ReadInt(s, "volume", r.volume);
    r.wheelzoom = ReadInt(s, "wheelzoom", r.wheelzoom);
    r.smoothjoins = ReadInt(s, "smoothjoins", r.smoothjoins);
    r.joinfade = ReadInt(s, "joinfade", r.joinfade);
    if (r.joinfade < 1 || r.joinfade > kMaxJoinFadeMs) r.joinfade = 5;
    r.snapzero = ReadInt(s, "snapzero", r.snapzero);
    r.historylimit = ReadInt(s, "historylimit", r.historylimit);
    if (r.historylimit < 0 || r.historylimit > kMaxHistoryLimit) r.historylimit = 0;
    r.spectrogram = ReadInt(s, "spectrogram", r.spectrogram);
    r.spectrumwindow = ReadInt(s, "spectrumwindow", r.spectrumwindow);
    if (r.spectrumwindow < 256 || r.spectrumwindow > 8192 ||
        (r.spectrumwindow & (r.spectrumwindow - 1)) != 0)
        r.spectrumwindow = 2048;
    r.spectrumlog = ReadInt(s, "spectrumlog", r.spectrumlog);
    r.recdevice = ReadString(s, "recdevice", r.recdevice);
    r.recrate = ReadInt(s, "recrate", r.recrate);
    if (r.recrate != 44100 && r.recrate != 48000) r.recrate = 44100;
    r.recchannels = ReadInt(s, "recchannels", r.recchannels);
    if (r.recchannels != 1 && r.recchannels != 2) r.recchannels = 2;
    r.lastfolder = ReadString(s, "lastfolder", r.lastfolder);
    r.recentfiles = ReadList(s, "recentfiles");
    s.endGroup();
    r.savetype = 0;
    return r;
}

void SaveSettings(const TSettings& record) {
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, kOrganisation, kApplication);
    // A file we could not parse is never replaced by our defaults: the user may mend it.
    if (s.status() != QSettings::NoError || !s.isWritable()) return;
    const QString file = s.fileName();
    if (QFileInfo::exists(file) && !QFileInfo(file).isReadable()) return;
    s.beginGroup(kGroup);
    s.setValue("tempfolder", record.tempfolder);
    s.setValue("selectiontype", record.selectiontype);
    s.setValue("backcolor", record.backcolor);
    s.setValue("scalecolor", record.scalecolor);
    s.setValue("wavecolor", record.wavecolor);
    s.setValue("posx", record.posx);
    s.setValue("posy", record.posy);
    s.setValue("width", record.width);
    s.setValue("height", record.height);
    s.setValue("lang", record.lang);
    s.setValue("volume", record.volume);
    s.setValue("smoothjoins", record.smoothjoins);
    s.setValue("joinfade", record.joinfade);
    s.setValue("snapzero", record.snapzero);
    s.setValue("historylimit", record.historylimit);
    s.setValue("wheelzoom", record.wheelzoom);
    s.setValue("spectrogram", record.spectrogram);
    s.setValue("spectrumwindow", record.spectrumwindow);
    s.setValue("spectrumlog", record.spectrumlog);
    s.setValue("recdevice", record.recdevice);
    s.setValue("recrate", record.recrate);
    s.setValue("recchannels", record.recchannels);
    s.setValue("lastfolder", record.lastfolder);
    s.setValue("recentfiles", record.recentfiles);
    s.endGroup();
    s.sync();
}

QString TempFolder() {
    return Settings.tempfolder.isEmpty() ? DefaultTempFolder() : Settings.tempfolder;
}

QString MakeTempFileName() {
    return MakeTempFileName(TempFolder());
}

QString MakeTempFileName(const QString& where) {
    QString folder = where.isEmpty() ? DefaultTempFolder() : where;
    if (!folder.endsWith('/')) folder += '/';
    QByteArray templ = QFile::encodeName(folder + "~ovXXXXXX");
    const int fd = mkstemp(templ.data());
    if (fd < 0) {
        const int err = errno;
        throw EAppError("Cannot create a temporary file in the folder \"" + folder.toStdString() +
                        "\": " + std::strerror(err) + ".");
    }
    ::close(fd);
    return QFile::decodeName(templ);
}

int64_t FreeDiskSpace(const QString& folder) {
    struct statvfs st {};
    if (statvfs(QFile::encodeName(folder).constData(), &st) != 0) return -1;
    return static_cast<int64_t>(st.f_bavail) * static_cast<int64_t>(st.f_frsize);
}
