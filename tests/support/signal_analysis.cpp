#include "support/signal_analysis.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <numbers>
#include <stdexcept>

namespace ornivox::testsupport {

double toneMagnitude(const int16_t* pcm, size_t frames, int channel, double freqHz, int rate,
                     int channels) {
    if (frames < 2 || rate <= 0) return 0.0;
    const double w = 2.0 * std::numbers::pi * freqHz / rate;
    const double coeff = 2.0 * std::cos(w);
    // The Hann window keeps a loud neighbour tone from leaking into the
    // measured one when the block is not a whole number of its periods.
    const double step = 2.0 * std::numbers::pi / static_cast<double>(frames - 1);
    double s1 = 0, s2 = 0, windowSum = 0;
    for (size_t i = 0; i < frames; ++i) {
        const double win = 0.5 - 0.5 * std::cos(step * static_cast<double>(i));
        const double x = pcm[i * static_cast<size_t>(channels) + static_cast<size_t>(channel)] / 32768.0;
        const double s0 = x * win + coeff * s1 - s2;
        s2 = s1;
        s1 = s0;
        windowSum += win;
    }
    const double power = s1 * s1 + s2 * s2 - coeff * s1 * s2;
    return 2.0 * std::sqrt(std::max(power, 0.0)) / windowSum;
}

int peak(const int16_t* pcm, size_t frames, int channel, int channels) {
    int best = 0;
    for (size_t i = 0; i < frames; ++i) {
        int v = std::abs(static_cast<int>(pcm[i * static_cast<size_t>(channels) + static_cast<size_t>(channel)]));
        best = std::max(best, v);
    }
    return best;
}

double rms(const int16_t* pcm, size_t frames, int channel, int channels) {
    if (frames == 0) return 0.0;
    double sum = 0;
    for (size_t i = 0; i < frames; ++i) {
        const double x = pcm[i * static_cast<size_t>(channels) + static_cast<size_t>(channel)] / 32768.0;
        sum += x * x;
    }
    return std::sqrt(sum / static_cast<double>(frames));
}

std::vector<int16_t> readRawS16(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<int16_t> samples(bytes.size() / 2);
    for (size_t i = 0; i < samples.size(); ++i) {
        const auto lo = static_cast<uint8_t>(bytes[2 * i]);
        const auto hi = static_cast<uint8_t>(bytes[2 * i + 1]);
        samples[i] = static_cast<int16_t>(static_cast<uint16_t>(lo | (hi << 8)));
    }
    return samples;
}

}  // namespace ornivox::testsupport
