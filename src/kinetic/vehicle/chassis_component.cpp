#include "kinetic/vehicle/chassis_component.h"

namespace Kinetic {

ChassisComponent::ChassisComponent(const knChassisComponentBP& bp)
    : m_coordinateSystem(bp.m_coordinateSystem) {
    // forward = up x right
    switch (bp.m_coordinateSystem) {
        case CCS_Z_UP_X_RIGHT:
            m_upDirCS = Vector3(0, 0, 1);
            m_forwardDirCS = Vector3(0, 1, 0);
            m_rightDirCS = Vector3(1, 0, 0);
            break;
        case CCS_X_UP_Y_RIGHT:
            m_upDirCS = Vector3(1, 0, 0);
            m_forwardDirCS = Vector3(0, 0, 1);
            m_rightDirCS = Vector3(0, 1, 0);
            break;
        case CCS_Y_UP_Z_RIGHT:
            m_upDirCS = Vector3(0, 1, 0);
            m_forwardDirCS = Vector3(1, 0, 0);
            m_rightDirCS = Vector3(0, 0, 1);
            break;
        default:
            break;
    }
    m_chassisInfo.m_mass = bp.m_mass;
}

}  // namespace Kinetic
