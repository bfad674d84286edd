// A moving average of one float, used by the race camera to smooth its travel along each axis. Every
// stored sample is already multiplied by 1 / numSamples; a step writes the new sample and drops the one
// after it, so each sample counts for numSamples - 1 steps.
#pragma once

#include <cstdint>
#include <memory>

class CLowFilter {
public:
    CLowFilter() = default;

    // n samples, all zero; output 0.
    void setUp(unsigned int n);
    // Output v, every stored sample v / n.
    void stabilize(float v);
    // One sample in; returns the new output.
    float step(float sample);

    float runningAvg = 0.0f;
    float sampleStrength = 0.0f;
    uint32_t numSamples = 0;
    std::unique_ptr<float[]> sampleStored;
    uint32_t dropMeIndex = 0;
    uint32_t curIndex = 0;
};
