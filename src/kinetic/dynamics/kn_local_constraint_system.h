// Runs the velocity solve of its constraints: a setup pass, then passes with the factor table, each
// constraint working in its own part of one storage buffer.
#pragma once

#include <vector>

#include "kinetic/dynamics/kn_types.h"
#include "kinetic/math/vector3.h"

namespace Kinetic {

class RigidBody;
class kn_Constraint;

// Accepted by the system's constructor; it carries nothing the system reads.
struct kn_Local_Constraint_System_BP {};

class kn_Local_Constraint_System {
public:
    kn_Local_Constraint_System() = default;
    explicit kn_Local_Constraint_System(const kn_Local_Constraint_System_BP& bp) { (void)bp; }
    // Deletes every constraint still registered, last first.
    virtual ~kn_Local_Constraint_System();
    kn_Local_Constraint_System(const kn_Local_Constraint_System&) = delete;
    kn_Local_Constraint_System& operator=(const kn_Local_Constraint_System&) = delete;

    virtual int get_effector_priority() const { return 0; }
    // Entities must outlive the systems that hold them: nothing is done here.
    virtual void entity_deletion_event(RigidBody* entity) { (void)entity; }
    void add_constraint(kn_Constraint* c, int storageSize);
    void constraint_deletion_event(kn_Constraint* c);
    void recalc_storage_size();
    void apply_effector_PSI(kn_PSI_Info& psi, kn_Array<RigidBody*>* entities = nullptr);

    // (tauFactor, dampFactor) of the passes after the setup pass; a zero tau factor ends the passes.
    static constexpr float kPassFactors[6][2] = {{1.0f, 1.0f}, {1.0f, 1.0f}, {1.0f, 1.0f},
                                                 {0.8f, 0.8f}, {0.8f, 0.8f}, {0.8f, 0.8f}};
    static constexpr int kPasses = 4;

    int m_total_storage_size = 0;
    kn_Array<kn_Constraint*> m_constraints;
    kn_Array<RigidBody*> m_entities;
    std::vector<Vector3> m_storage;  // 16-byte units, so every constraint's part stays aligned
};

}  // namespace Kinetic
