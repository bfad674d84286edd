// Records the vehicle framework passes between the vehicle and its components: step timing, a body's
// state as the vehicle sees it, and per-wheel state.
#pragma once

#include "kinetic/math/transform.h"
#include "kinetic/math/vector3.h"

namespace Kinetic {

enum ChassisCoordinateSystem { CCS_Z_UP_X_RIGHT = 0, CCS_X_UP_Y_RIGHT = 1, CCS_Y_UP_Z_RIGHT = 2 };

struct TimeInfo {
    float m_currentTime = 0.0f;
    float m_deltaTime = 1.0f;
    float m_deltaTimeInv = 1.0f;
};

struct BodyInfo {
    Transform m_transform;
    Vector3 m_linVelWS{0.0f, 0.0f, 0.0f};
    Vector3 m_angVelWS{0.0f, 0.0f, 0.0f};
    float m_mass = 0.0f;
};

struct WheelInfo : BodyInfo {
    bool m_isInContact = false;
    Vector3 m_contactPointWS{0.0f, 0.0f, 0.0f};
    Vector3 m_contactNormalWS{0.0f, 0.0f, 0.0f};
    float m_contactFriction = 0.0f;
    float m_spinVelocity = 0.0f;
    float m_spinAngle = 0.0f;
    float m_skidEnergyDensity = 0.0f;
    float m_sideForce = 0.0f;
    float m_forwardSlipVelocity = 0.0f;
};

}  // namespace Kinetic
