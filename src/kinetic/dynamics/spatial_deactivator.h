// Puts resting bodies to sleep, each judged by itself, sampling at a short and a long period.
#pragma once

#include <cstdint>

#include "kinetic/dynamics/step_action.h"

namespace Kinetic {

class SpatialDeactivator : public StepAction {
public:
    // Rates in hertz; every subspace uses (5, 0.1): periods of 0.2 s and 10 s.
    SpatialDeactivator(float shortFrequency, float longFrequency);
    void stepApply(Subspace& subspace, float t) override;
    void setEnabled(bool e) { m_enabled = e; }

    float m_shortPeriod;
    float m_longPeriod;
    float m_lastShortFrequencyCheck = 0.0f;
    float m_lastLongFrequencyCheck = 0.0f;
    uint8_t m_enabled = 1;
};

}  // namespace Kinetic
