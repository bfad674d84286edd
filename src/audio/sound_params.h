// The playing parameters of one sound source as heard from the listener, computed by the source's sound
// object and copied into the mixer channel that plays it.
#pragma once

#include <cstdint>

struct CSoundParams {
    float volume = 0.0f;       // distance attenuation, 0..1
    float volumeScale = 1.0f;  // the sound object's own loudness
    float pan = 0.0f;          // 0 one side, 0.5 centre, 1 the other side
    float pitchMultiplier = 1.0f;
    float hiCutoff = 0.0f;
    float loCutoff = 22000.0f;
    float fbPan = 0.0f;  // front-back, same scale as pan
    uint8_t useFilters = 1;
    float timestamp = 0.0f;  // game time of the last computation (the per-object cache)
};
