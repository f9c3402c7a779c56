#include "cli_record.h"

#include <cmath>
#include <cstdio>

#include "capture.h"

int ListInputs() {
    try {
        for (const std::string& name : CaptureDevices()) std::printf("%s\n", name.c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "orvane-cli: error: %s\n", e.what());
        return 1;
    }
    std::fflush(stdout);
    return 0;
}

std::unique_ptr<TTakeInput> OpenTakeInput(const std::string& device, uint16_t channels,
                                          uint32_t rate, int64_t frames, std::string& error) {
    try {
        return std::make_unique<TSdlCapture>(device, channels, rate, frames);
    } catch (const std::exception& e) {
        error = e.what();
        return nullptr;
    }
}

int64_t TakeFrames(double seconds, uint32_t rate) {
    return std::llround(seconds * double(rate));
}
