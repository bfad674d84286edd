#include "kinetic/dynamics/rigid_body_monitor.h"

#include "kinetic/dynamics/event_pipe.h"
#include "kinetic/dynamics/rigid_body.h"

namespace Kinetic {

void RigidBodyMonitor::addRecord(RigidBody* body, RigidBodySensorEvent::Monitor what, float min, float max,
                                 float period) {
    Registered r;
    r.event.body = body;
    r.event.monitoring = what;
    r.event.m_min = min;
    r.event.m_max = max;
    r.period = period;
    r.lastShout = 0.0f;
    m_registered.push_back(r);
}

void RigidBodyMonitor::stepApply(Subspace& subspace, float t) {
    (void)subspace;
    if (!m_eventPipe) return;
    for (Registered& r : m_registered) {
        const RigidBody* b = r.event.body;
        float value = -1.0f;
        switch (r.event.monitoring) {
            case RigidBodySensorEvent::LINEAR_VELOCITY:
                value = b->m_linearVelocity.length();
                break;
            case RigidBodySensorEvent::ANGULAR_VELOCITY:
                value = b->m_angularVelocity.length();
                break;
            case RigidBodySensorEvent::TORQUE:
                value = b->m_torqueAccum.length();
                break;
            case RigidBodySensorEvent::FORCE:
                value = b->m_forceAccum.length();
                break;
        }
        if (r.event.m_min <= value && value <= r.event.m_max && t > r.lastShout + r.period) {
            r.lastShout = t;
            r.event.current = value;
            m_eventPipe->raiseEvent(r.event);
        }
    }
}

}  // namespace Kinetic
