#pragma once
// Durations as the program shows them, in the status bar and in File Properties alike.

#include <QString>

// A duration in seconds as clock time "h:nn:ss.zzz", rounded to the millisecond. Whole days
// drop out: 25 hours shows as "1:00:00.000". A negative, infinite or NaN duration shows as 0.
QString DurationText(double seconds);
