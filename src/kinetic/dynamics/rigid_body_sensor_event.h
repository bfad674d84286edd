// A monitored quantity of a body found inside its band.
#pragma once

#include "kinetic/dynamics/event.h"

namespace Kinetic {

class RigidBody;

class RigidBodySensorEvent : public Event {
public:
    enum Monitor { LINEAR_VELOCITY = 0, ANGULAR_VELOCITY = 1, TORQUE = 2, FORCE = 3 };

    RigidBody* body = nullptr;
    Monitor monitoring = LINEAR_VELOCITY;
    float m_min = 0.0f;
    float m_max = 0.0f;
    float current = 0.0f;
};

}  // namespace Kinetic
