// A spring-damper suspension: force = strength x compression + damping x compression speed, never pulling.
#pragma once

#include <vector>

#include "kinetic/vehicle/suspension_component.h"

namespace Kinetic {

class DefaultSuspension : public SuspensionComponent {
public:
    explicit DefaultSuspension(const knDefaultSuspensionBP& bp)
        : SuspensionComponent(bp),
          m_wheelsStrength(bp.m_wheelsStrength),
          m_wheelsDampingCompression(bp.m_wheelsDampingCompression),
          m_wheelsDampingRelaxation(bp.m_wheelsDampingRelaxation) {
        // Shortened blueprint arrays: the missing wheels get no spring.
        m_wheelsStrength.resize(m_numWheels, 0.0f);
        m_wheelsDampingCompression.resize(m_numWheels, 0.0f);
        m_wheelsDampingRelaxation.resize(m_numWheels, 0.0f);
    }
    void updateComponent() override;

    std::vector<float> m_wheelsStrength;
    std::vector<float> m_wheelsDampingCompression;
    std::vector<float> m_wheelsDampingRelaxation;
};

}  // namespace Kinetic
