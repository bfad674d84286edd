// One entry of a collection's action list: the action and its priority (lower runs first).
#pragma once

namespace Kinetic {

class Action;

class ActionItem {
public:
    ActionItem(Action* action, int priority) : m_action(action), m_priority(priority) {}
    bool operator<(const ActionItem& o) const { return m_priority < o.m_priority; }
    int getPriority() const { return m_priority; }

    Action* m_action;
    int m_priority;
};

}  // namespace Kinetic
