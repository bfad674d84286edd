// A simulation space: its collections, step actions, gravity, detector, resolver and event delegator,
// and the step that advances them. The plain subspace's step can roll back and halve on
// interpenetration; FastSubspace takes one pass per sub-step.
#pragma once

#include <cstdint>
#include <vector>

#include "kinetic/collide/kinetic_object.h"
#include "kinetic/math/vector3.h"

namespace Kinetic {

class Action;
class CollisionDetector;
class Entity;
class EntityCollection;
class EventCallback;
class EventDelegator;
class EventPipe;
class RRResolver;
class SpatialDeactivator;
class StepAction;

class Subspace : public KineticObject {
public:
    enum RRResolverType { NAIVE = 0, FRICTIONLESS = 1, SIMPLEFRICTION = 2, COMPLEXFRICTION = 3 };
    // Reference ids this subspace registers with.
    static constexpr int REF_COLLECTION = 0;
    static constexpr int REF_ZORDER = 1;
    static constexpr int REF_STEP_ACTION = 2;

    Subspace();
    ~Subspace() override;

    int getNumReferences() const override;
    ReferenceObject* getReference(int i) const override;
    int onNotify(ReferenceObject* sender, int id, Message message) override;

    virtual void addEntityCollection(EntityCollection* c, bool atFront);
    // One sub-step to time t; returns the time reached.
    virtual float tryStep(float t);

    void stepTo(float t, int n);
    void addStepAction(StepAction* a);
    // Not offered by the step itself; z-order actions run right after integration.
    void addZOrderAction(Action* a);
    void setGravity(const Vector3& g) { m_gravity = g; }
    const Vector3& getGravity() const { return m_gravity; }
    int getNumEntityCollections() const { return static_cast<int>(m_entityCollections.size()); }
    EntityCollection* getEntityCollection(int i) const { return m_entityCollections[i]; }
    void registerCallbackObject(EventCallback* callback, int eventId);
    EventDelegator* getEventDelegator() const { return m_eventDelegator; }
    void setPenetrationEventPipe(EventPipe* pipe);
    // Values outside the four kinds keep the current resolver.
    void setRRResolverType(RRResolverType type);
    RRResolver* getRRResolver() const { return m_RRResolver; }
    void setEntityActive(Entity* entity, bool active);
    bool detect(bool flag);
    void resolve();
    void applyStepActions();
    SpatialDeactivator* getDeactivator() const { return m_deactivator; }
    const std::vector<StepAction*>& getStepActions() const { return m_stepActions; }

    uint8_t m_active = 1;
    Vector3 m_gravity{0.0f, -9.8f, 0.0f};
    std::vector<EntityCollection*> m_entityCollections;
    std::vector<Action*> m_zOrderActions;
    std::vector<StepAction*> m_stepActions;
    EventDelegator* m_eventDelegator = nullptr;
    float m_lastTime = 0.0f;
    uint8_t m_midIntegration = 0;
    float m_deltaT = 0.0f;
    float m_tolerance = 0.0f;
    void* m_innerStepCallback = nullptr;
    CollisionDetector* m_collisionDetector = nullptr;  // not owned
    RRResolver* m_RRResolver = nullptr;
    RRResolverType m_RRResolverType = COMPLEXFRICTION;
    SpatialDeactivator* m_deactivator = nullptr;

protected:
    // Phase timers, created in the bank on first use.
    static int dynamicsTimer();
    static int detectionTimer();
};

}  // namespace Kinetic
