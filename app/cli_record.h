#pragma once
// orvane-cli's side of recording: the input devices, and an input opened for one take.

#include <cstdint>
#include <memory>
#include <string>

#include "take.h"

// --list-inputs: the capture devices, the default first, one a line on standard output.
int ListInputs();

// The capture device `device` (empty: the default) opened for a take of exactly `frames`
// frames (0: until stopped); nothing, with the reason in `error`, when it cannot be opened.
std::unique_ptr<TTakeInput> OpenTakeInput(const std::string& device, uint16_t channels,
                                          uint32_t rate, int64_t frames, std::string& error);

// The frames of `seconds` at `rate`, rounded to the nearest.
int64_t TakeFrames(double seconds, uint32_t rate);
