#pragma once
// The inner loop of every peak table: the largest and smallest sample per channel over a run of
// interleaved 16-bit frames. SSE2 where the CPU has it, one channel step at a time otherwise;
// both give the same answer. Plain function, any thread.

#include <cstddef>
#include <cstdint>

// Raises mx[c] and lowers mn[c] (c < channels, channels 1..8) to the extremes of channel c over
// `frames` frames at s.
void ScanExtremes(const int16_t* s, size_t frames, int channels, int16_t* mx, int16_t* mn);

// The same without vector instructions, for the tests to hold the vector loop against.
void ScanExtremesScalar(const int16_t* s, size_t frames, int channels, int16_t* mx, int16_t* mn);
