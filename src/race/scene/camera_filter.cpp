#include "race/scene/camera_filter.h"

#include <memory>

void CLowFilter::setUp(unsigned int n) {
    if (n == 0) n = 1;
    sampleStored.reset();  // the old samples go before the new are made
    numSamples = n;
    sampleStrength = 1.0f / static_cast<float>(n);
    runningAvg = 0.0f;
    sampleStored = std::make_unique<float[]>(n);
    dropMeIndex = 1 % n;
    curIndex = 0;
}

void CLowFilter::stabilize(float v) {
    runningAvg = v;
    for (uint32_t i = 0; i < numSamples; ++i) sampleStored[i] = v * sampleStrength;
}

float CLowFilter::step(float sample) {
    if (numSamples == 0) return runningAvg;
    sampleStored[curIndex] = sample * sampleStrength;
    runningAvg += sampleStored[curIndex] - sampleStored[dropMeIndex];
    curIndex = (curIndex + 1) % numSamples;
    dropMeIndex = (dropMeIndex + 1) % numSamples;
    return runningAvg;
}
