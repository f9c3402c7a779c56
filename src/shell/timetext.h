#pragma once
// Position and duration texts of the main window, and the volume slider's mapping. Plain
// functions, no widgets, callable from any thread.

#include <QString>
#include <cstdint>

// Minutes ":" two-digit seconds "." three-digit milliseconds; minutes have at least two digits:
// 0 gives "00:00.000", 61001 "01:01.001", 6000000 "100:00.000".
QString mstotime(int64_t ms);

// The inverse of mstotime: minutes before the first ":", seconds before the next ".", the rest
// milliseconds. Each part is a signed decimal integer; blanks around it are allowed (an input
// mask leaves unused digit places blank). Raises EAppError "'%s' is not a valid integer value"
// naming the offending part.
int64_t timetoms(const QString& text);

// A signed 32-bit decimal integer with blanks allowed around it; raises EAppError
// "'%s' is not a valid integer value" for anything else (a blank field included).
int32_t StrToInt(const QString& text);
// The same in 64 bits: frame numbers, which pass 2^31 in long sounds.
int64_t StrToInt64(const QString& text);

// The volume slider's position (-10000 at the loud end ... 0 at the silent end) as an
// attenuation in hundredths of a decibel for the player: round(ln(1 - p) * 1085.73) - 10000,
// halves to even. -10000 gives 0 (full level), 0 gives -10000 (silence).
int32_t VolumeForPosition(int32_t position);
