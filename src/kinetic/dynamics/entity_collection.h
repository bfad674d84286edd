// A set of entities of one type: its active subset, two saved states for roll-back, and the actions that
// act on it, kept in priority order.
#pragma once

#include <vector>

#include "kinetic/collide/kinetic_object.h"
#include "kinetic/dynamics/action_item.h"
#include "kinetic/dynamics/differentiable.h"
#include "kinetic/dynamics/entity.h"
#include "kinetic/dynamics/vector_n.h"
#include "kinetic/math/vector3.h"

namespace Kinetic {

class Action;
class Subspace;

class EntityCollection : public KineticObject, public Differentiable {
public:
    // Reference ids this collection registers with.
    static constexpr int REF_ENTITY = 0;
    static constexpr int REF_ACTION = 1;

    explicit EntityCollection(EntityType type);
    ~EntityCollection() override;

    int getNumReferences() const override;
    ReferenceObject* getReference(int i) const override;
    int onNotify(ReferenceObject* sender, int id, Message message) override;

    virtual bool rollBack();
    virtual void update(float t) { (void)t; }
    virtual void updateBoundingVolumes() {}
    virtual void allocatePreviousStates();
    virtual void deallocatePreviousStates();
    virtual void evaluateActions(float t);
    virtual void applyGravity(const Vector3& g) { (void)g; }
    virtual int numVariables(int entityIndex) const = 0;
    virtual void getCurrentDerivativeArray(VectorN& dx, int& count) = 0;
    virtual void init();

    Subspace* getSubspace() const { return m_parent; }
    void setSubspace(Subspace* s) { m_parent = s; }
    void addEntity(Entity* e);
    // Equal priorities keep the order they were added in, so runs repeat exactly.
    void addAction(Action* action, int priority);
    void removeAction(Action* action);
    void rebuildActiveEntities();
    void refresh(float t);

    EntityType getType() const { return m_type; }
    int getNumEntities() const { return static_cast<int>(m_entities.size()); }
    Entity* getEntity(int i) const { return m_entities[i]; }
    const std::vector<Entity*>& getEntities() const { return m_entities; }
    const std::vector<Entity*>& getActiveEntities() const { return m_activeEntities; }
    const std::vector<ActionItem>& getActions() const { return m_actionList; }
    float getLastRefresh() const { return m_lastRefresh; }
    int getCurrentState() const { return m_currentState; }

    EntityType m_type;
    std::vector<Entity*> m_entities;
    std::vector<Entity*> m_activeEntities;
    float m_previousTimestamps[2] = {0.0f, 0.0f};
    VectorN m_previousStates[2];
    VectorN m_previousDerivs[2];
    float m_lastRefresh = 0.0f;
    int m_savedStates = 1;
    int m_currentState = 0;
    Subspace* m_parent = nullptr;
    std::vector<ActionItem> m_actionList;
};

}  // namespace Kinetic
