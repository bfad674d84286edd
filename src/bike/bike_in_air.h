// Air control: how the rider's authority fades with time in the air.
#pragma once

// 1 on take-off, falling by 1/180 a frame to a quarter after 135 frames.
constexpr float kAirAuthorityFrames = 180.0f;
constexpr float kMinAirAuthority = 0.25f;
inline float airAuthority(int framesInAir) {
    const float a = 1.0f - static_cast<float>(framesInAir) / kAirAuthorityFrames;
    return a < kMinAirAuthority ? kMinAirAuthority : (a > 1.0f ? 1.0f : a);
}
