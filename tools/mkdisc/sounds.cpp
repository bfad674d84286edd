#include "mkdisc/sounds.h"

#include <cmath>

#include "engine/hal/adpcm.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// Whole blocks for a loop, and a frequency with whole cycles in it.
int LoopFrames(int frames) {
    const int blocks = frames < kAdpcmBlockSamples ? 1 : frames / kAdpcmBlockSamples;
    return blocks * kAdpcmBlockSamples;
}
double LoopFrequency(double frequency, int32_t rate, int frames) {
    const double cycles = std::round(frequency * frames / rate);
    return (cycles < 1 ? 1 : cycles) * rate / frames;
}

int16_t Clamp16(double v) {
    if (v > 32767) return 32767;
    if (v < -32768) return -32768;
    return static_cast<int16_t>(std::lround(v));
}

}  // namespace

std::vector<int16_t> SynthTone(double frequency, int32_t sampleRate, int frames, int amplitude, bool loop) {
    if (loop) {
        frames = LoopFrames(frames);
        frequency = LoopFrequency(frequency, sampleRate, frames);
    }
    std::vector<int16_t> out(static_cast<size_t>(frames > 0 ? frames : 0));
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = Clamp16(amplitude * std::sin(2.0 * kPi * frequency * static_cast<double>(i) / sampleRate));
    return out;
}

std::vector<int16_t> SynthEngine(double frequency, int32_t sampleRate, int frames, int amplitude) {
    frames = LoopFrames(frames);
    frequency = LoopFrequency(frequency, sampleRate, frames);
    std::vector<int16_t> out(static_cast<size_t>(frames));
    for (size_t i = 0; i < out.size(); ++i) {
        const double t = static_cast<double>(i) / sampleRate;
        // Sum of the first harmonics of a sawtooth; every term has whole cycles in the loop.
        double v = 0;
        for (int k = 1; k <= 6; ++k) v += std::sin(2.0 * kPi * k * frequency * t) / k;
        out[i] = Clamp16(amplitude * 0.55 * v);
    }
    return out;
}

std::vector<int16_t> SynthNoiseBurst(int32_t sampleRate, int frames, int amplitude, uint32_t seed) {
    std::vector<int16_t> out(static_cast<size_t>(frames > 0 ? frames : 0));
    uint32_t x = seed ? seed : 1;
    double low = 0;
    for (size_t i = 0; i < out.size(); ++i) {
        x = x * 1664525u + 1013904223u;
        const double white = (static_cast<int32_t>(x >> 16) - 32768) / 32768.0;
        low += 0.25 * (white - low);  // a little darker than white noise
        const double fade = std::exp(-4.0 * static_cast<double>(i) / out.size());
        out[i] = Clamp16(amplitude * low * fade * 2.0);
    }
    (void)sampleRate;
    return out;
}
