#pragma once
// The main frequency of a test tone, measured rather than assumed.
#include <cmath>
#include <complex>
#include <cstdint>
#include <numbers>
#include <vector>

// The frequency at which the Hann-windowed spectrum of the first channel peaks: the largest bin
// of a zero-padded FFT, then a ternary search of the exact transform within a bin of it.
inline double PeakHz(const std::vector<int16_t>& v, uint16_t channels, uint32_t rate) {
    const size_t n = v.size() / channels;
    auto window = [&](size_t i) {
        return (0.5 - 0.5 * std::cos(2 * std::numbers::pi * double(i) / double(n))) *
               v[i * channels];
    };
    size_t size = 1;
    while (size < 2 * n) size *= 2;
    std::vector<std::complex<double>> x(size);
    for (size_t i = 0; i < n; ++i) x[i] = window(i);
    for (size_t i = 1, j = 0; i < size; ++i) {
        size_t bit = size >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(x[i], x[j]);
    }
    for (size_t len = 2; len <= size; len *= 2) {
        const std::complex<double> w = std::polar(1.0, -2 * std::numbers::pi / double(len));
        for (size_t i = 0; i < size; i += len) {
            std::complex<double> t = 1;
            for (size_t k = 0; k < len / 2; ++k, t *= w) {
                const std::complex<double> a = x[i + k], b = x[i + k + len / 2] * t;
                x[i + k] = a + b;
                x[i + k + len / 2] = a - b;
            }
        }
    }
    size_t best = 1;
    for (size_t k = 1; k < size / 2; ++k)
        if (std::abs(x[k]) > std::abs(x[best])) best = k;
    auto magnitude = [&](double hz) {
        std::complex<double> sum = 0;
        for (size_t i = 0; i < n; ++i)
            sum += window(i) * std::polar(1.0, -2 * std::numbers::pi * hz * double(i) / rate);
        return std::abs(sum);
    };
    double lo = double(best - 1) * rate / double(size), hi = double(best + 1) * rate / double(size);
    for (int i = 0; i < 40; ++i) {
        const double a = lo + (hi - lo) / 3, b = hi - (hi - lo) / 3;
        (magnitude(a) < magnitude(b) ? lo : hi) = magnitude(a) < magnitude(b) ? a : b;
    }
    return (lo + hi) / 2;
}

