// Puts a group of constrained bodies to sleep only all together, and wakes all of them when one wakes.
#pragma once

#include <cstdint>
#include <vector>

#include "kinetic/dynamics/step_action.h"

namespace Kinetic {

class RigidBody;

extern const float kn_groupDeactivatorDefaults[4];

class GroupDeactivator : public StepAction {
public:
    GroupDeactivator();

    // Each threshold becomes scale times its default.
    void setDeactivationThreshold(float scale);
    void addRigidBody(RigidBody* body) { m_bodies.push_back(body); }
    void addAction(Action* action) { m_actions.push_back(action); }
    bool isActive() const { return m_active != 0; }
    // True when the group is asleep after the call.
    bool tryDeactivateGroup(float t);
    // Applies the member actions while the group is awake.
    void apply(Subspace& subspace, float t) override;
    void stepApply(Subspace& subspace, float t) override { apply(subspace, t); }

    float m_thresholds[4];
    std::vector<Action*> m_actions;
    std::vector<RigidBody*> m_bodies;
    float m_shortPeriod = 0.2f;
    float m_lastShortFrequencyCheck = 0.0f;
    float m_longPeriod = 10.0f;
    float m_lastLongFrequencyCheck = 0.0f;
    uint8_t m_active = 1;
};

}  // namespace Kinetic
