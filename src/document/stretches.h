#pragma once
// Whole-sound passes cut into stretches run side by side, one per core: an edit whose frames
// are independent of each other (a gain, a reversal, a channel mix) writes each stretch of the
// new version from its own thread. Cuts fall on peak-table blocks, so no two stretches touch
// one table entry.

#include <atomic>
#include <cstdint>
#include <functional>

// Runs body(from, to) over frames [first, last) cut into stretches of at least minFrames, at
// most one per core, every cut on a multiple of `align`. The first stretch runs on the calling
// thread, the others on threads of their own under the cancel flag `cancel`. All stretches end
// (each at its end or its first error) before the first error in order is raised.
void RunInStretches(int64_t first, int64_t last, int64_t align, int64_t minFrames,
                    const std::atomic<bool>* cancel,
                    const std::function<void(int64_t from, int64_t to)>& body);
