// A rigid body as the constraint and wheel-friction layer sees it: velocity rows read, mass matrix rows
// built and impulses applied. Fixed and pinned bodies are left untouched and contribute nothing. Rows
// use the body-axis inverse inertia with world-space directions, as the rest of the body's dynamics do.
#pragma once

#include "kinetic/dynamics/kn_types.h"
#include "kinetic/math/transform.h"

namespace Kinetic {

class RigidBody;

class kn_Rigid_Body_Core {
public:
    explicit kn_Rigid_Body_Core(RigidBody* body) : m_body(body) {}

    void add_to_velocities(const kn_Core_VMQ_Input& input, float* velocities) const;
    void add_to_mass_matrix_inv(kn_Core_VMQ_Input& input, kn_Dense_Matrix& m, float* velocities) const;
    void apply_impulses(const kn_Core_VMQ_Input& input, const float* impulses) const;
    Transform get_cached_transform() const;
    bool takesPart() const;

    RigidBody* m_body;
};

}  // namespace Kinetic
