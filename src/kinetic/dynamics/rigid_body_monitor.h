// Step action that reports rigid-body quantities lying inside a band, at most once per period each.
#pragma once

#include <vector>

#include "kinetic/dynamics/rigid_body_sensor_event.h"
#include "kinetic/dynamics/step_action.h"

namespace Kinetic {

class EventPipe;

class RigidBodyMonitor : public StepAction {
public:
    struct Registered {
        RigidBodySensorEvent event;
        float period;
        float lastShout;
    };

    RigidBodyMonitor() { m_lastRefresh = -1.0f; }
    void addRecord(RigidBody* body, RigidBodySensorEvent::Monitor what, float min, float max, float period);
    void setEventPipe(EventPipe* pipe) { m_eventPipe = pipe; }
    void stepApply(Subspace& subspace, float t) override;

    std::vector<Registered> m_registered;
    EventPipe* m_eventPipe = nullptr;
};

}  // namespace Kinetic
