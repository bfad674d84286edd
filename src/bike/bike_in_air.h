// Air control: how the rider's authority fades with time in the air.
#pragma once

// 1 on take-off, falling by 1/180 a frame to a quarter after 135 frames.
inline float airAuthority(int framesInAir) {
    const float a = 1.0f - static_cast<float>(framesInAir) / 180.0f;
    return a < 0.25f ? 0.25f : (a > 1.0f ? 1.0f : a);
}
