// The power slide's run-in length and heading budget.
#pragma once

// Frames of a power slide ridden as a turn before the slide proper.
constexpr int kPowerSlideRunIn = 18;

// Degrees a power slide begun at `startSpeed` (m/s) may turn before it ends: 270 (accelerating) or
// 200 (braking) at 125 km/h, in proportion to the start speed.
constexpr float kBrakeSlideBudget = 200.0f;    // degrees
constexpr float kAccelSlideBudget = 270.0f;    // degrees
constexpr float kSlideBudgetSpeed = 34.7222f;  // m/s (125 km/h)
inline float powerSlideHeadingBudget(float startSpeed, bool braking) {
    return (braking ? kBrakeSlideBudget : kAccelSlideBudget) * startSpeed / kSlideBudgetSpeed;
}
