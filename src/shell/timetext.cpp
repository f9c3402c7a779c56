#include "timetext.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "apperror.h"

namespace {

constexpr int64_t kMsPerMinute = 60000;
constexpr int64_t kMsPerSecond = 1000;
// 10000 / ln(10001) to two decimals: maps the slider's 1..10001 onto 0..10000.
constexpr double kVolumeScale = 1085.73;
constexpr int32_t kSilentVolume = -10000;

QString TwoDigits(int64_t v) {
    return v < 10 ? QStringLiteral("0") + QString::number(v) : QString::number(v);
}

[[noreturn]] void NotAnInteger(const QString& text) {
    throw EAppError(QStringLiteral("'%1' is not a valid integer value").arg(text).toStdString());
}

}  // namespace

QString mstotime(int64_t ms) {
    return TwoDigits(ms / kMsPerMinute) + ':' + TwoDigits(ms % kMsPerMinute / kMsPerSecond) + '.' +
           QStringLiteral("%1").arg(ms % kMsPerSecond, 3, 10, QChar('0'));
}

int32_t StrToInt(const QString& text) {
    const QString t = text.trimmed();
    bool ok = false;
    const qlonglong v = t.toLongLong(&ok, 10);
    if (!ok || t.startsWith('+') || v < std::numeric_limits<int32_t>::min() ||
        v > std::numeric_limits<int32_t>::max()) {
        NotAnInteger(text);
    }
    return static_cast<int32_t>(v);
}

int64_t StrToInt64(const QString& text) {
    const QString t = text.trimmed();
    bool ok = false;
    const qlonglong v = t.toLongLong(&ok, 10);
    if (!ok || t.startsWith('+')) NotAnInteger(text);
    return static_cast<int64_t>(v);
}

int64_t timetoms(const QString& text) {
    const qsizetype colon = text.indexOf(':');
    const QString minutes = colon < 0 ? QString() : text.left(colon);
    const QString rest = colon < 0 ? text : text.mid(colon + 1);
    const qsizetype dot = rest.indexOf('.');
    const QString seconds = dot < 0 ? QString() : rest.left(dot);
    const QString millis = dot < 0 ? rest : rest.mid(dot + 1);
    return int64_t(StrToInt(minutes)) * kMsPerMinute + int64_t(StrToInt(seconds)) * kMsPerSecond +
           StrToInt(millis);
}

int32_t VolumeForPosition(int32_t position) {
    position = std::clamp(position, kSilentVolume, 0);
    const double x = std::log(1.0 - double(position)) * kVolumeScale;
    // nearbyint rounds in the current mode, which is to-nearest-even.
    return static_cast<int32_t>(std::nearbyint(x)) + kSilentVolume;
}
