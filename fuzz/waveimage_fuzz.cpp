// Clipboard audio from other programs: the parser must never read past the bytes it is given
// and whatever it accepts must describe samples that are really there.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "waveimage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto image = ParseWaveImage(data, size);
    if (image) {
        const size_t bytes = size_t(image->frames) * image->channels * 2;
        if (image->channels < 1 || image->channels > 2 || image->dataOffset + bytes > size) abort();
        // Touch every accepted sample so the sanitizer sees any overrun.
        volatile uint8_t sum = 0;
        for (size_t i = 0; i < bytes; ++i) sum = uint8_t(sum + data[image->dataOffset + i]);
        (void)sum;
    }
    return 0;
}
