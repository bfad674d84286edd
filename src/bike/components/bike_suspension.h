// The bike's suspension: per wheel a spring on the compression (length clamped to twice the rest length
// either way, divided by the contact factor, itself kept at least 0.1 from zero) and a damper on the
// compression times the closing speed; the force is limited to 250 and scaled by the chassis mass.
// `suspensionOn` false turns every force off.
#pragma once

#include <vector>

#include "kinetic/vehicle/suspension_component.h"
#include "kinetic/vehicle/vehicle_blueprints.h"

namespace Kinetic {

class CBikeSuspension : public SuspensionComponent {
public:
    explicit CBikeSuspension(const knDefaultSuspensionBP& bp);
    void updateComponent() override;

    // Valid after the first update.
    float getSuspensionRestLength(unsigned wheel) const {
        return wheel < suspensionRestLength.size() ? suspensionRestLength[wheel] : 0.0f;
    }

    std::vector<float> m_wheelsStrength;
    std::vector<float> m_wheelsDampingRelaxation;
    std::vector<float> m_wheelsDampingCompression;
    bool suspensionOn = true;
    std::vector<float> suspensionRestLength;
    std::vector<float> suspensionCurrentLength;
};

}  // namespace Kinetic
