// The effector chain of the constraint layer: something that acts on entities during a physics step.
// Binary effectors act on two entities (the second may be absent); rigid-body ones on rigid bodies.
#pragma once

#include "kinetic/dynamics/kn_types.h"

namespace Kinetic {

class RigidBody;
class kn_Environment;
using kn_Entity = RigidBody;  // the layer's name for a body it acts on

class kn_Memory_Managed_Virtual_Class {
public:
    virtual ~kn_Memory_Managed_Virtual_Class() = default;
};

class kn_Object : public kn_Memory_Managed_Virtual_Class {
public:
    ~kn_Object() override = default;
};

class kn_Effector : public kn_Object {
public:
    ~kn_Effector() override = default;
    virtual void entity_deletion_event(kn_Entity* entity) { (void)entity; }
    virtual int get_effector_priority() const { return 0; }
    virtual void get_effected_entities(kn_Array<kn_Entity*>& out) { (void)out; }
    virtual float get_minimum_simulation_frequency(kn_Array<kn_Entity>* entities) {
        (void)entities;
        return 255.0f;
    }
    virtual void apply_effector_PSI(kn_PSI_Info& psi, kn_Array<kn_Entity*>* entities) = 0;
    virtual void apply_effector_collision(kn_PSI_Info& psi, kn_Array<kn_Entity*>* entities) {
        (void)psi;
        (void)entities;
    }
    virtual void reset_effector_time(float t) { (void)t; }
};

class kn_Link_EF : public kn_Effector {
public:
    ~kn_Link_EF() override = default;
};

class kn_Binary_EF : public kn_Link_EF {
public:
    kn_Binary_EF(kn_Environment* environment, kn_Entity* e0, kn_Entity* e1)
        : m_environment(environment), m_entity{e0, e1} {}
    ~kn_Binary_EF() override = default;
    int get_effector_priority() const override { return 1; }
    // An effector cannot outlive either of its entities.
    void entity_deletion_event(kn_Entity* entity) override {
        (void)entity;
        delete this;
    }

    kn_Environment* m_environment;
    kn_Entity* m_entity[2];
};

class kn_Rigid_Body_Binary_EF : public kn_Binary_EF {
public:
    using kn_Binary_EF::kn_Binary_EF;
    ~kn_Rigid_Body_Binary_EF() override = default;
};

}  // namespace Kinetic
