#include "durationtext.h"

#include <cmath>
#include <cstdint>

namespace {
constexpr int64_t kMsPerDay = 24LL * 3600 * 1000;
}

QString DurationText(double seconds) {
    if (!std::isfinite(seconds) || seconds < 0) seconds = 0;
    // Whole days go before the rounding, so no duration can overflow it.
    seconds = std::fmod(seconds, double(kMsPerDay / 1000));
    const int64_t ms = std::llround(seconds * 1000.0) % kMsPerDay;
    return QStringLiteral("%1:%2:%3.%4")
        .arg(ms / 3600000)
        .arg(ms / 60000 % 60, 2, 10, QChar(u'0'))
        .arg(ms / 1000 % 60, 2, 10, QChar(u'0'))
        .arg(ms % 1000, 3, 10, QChar(u'0'));
}
