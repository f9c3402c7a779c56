#pragma once
// Arithmetic on samples used in every whole-sound pass, kept inline and branch-free.

#include <cstdint>

// Rounds to the nearest integer, ties to even, for |x| < 2^51: adding and taking away 1.5 * 2^52
// leaves the rounding to the FPU's default mode. Far cheaper than nearbyint, which is a call on
// baseline x86-64.
inline double RoundHalfEven(double x) {
    constexpr double kShift = 6755399441055744.0;
    // Without -ffast-math the compiler may not fold the pair away.
    return (x + kShift) - kShift;
}
