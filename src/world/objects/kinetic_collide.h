// The physics shapes of one collision data block (layout in game/files/collision_data.h): one triangle
// mesh per part, shared by every rigid body built from the block. Track objects, the arena and the
// high-resolution bike and rider each build one per block when their resources load; the block stays in
// its master file and is not copied.
//
// The block is checked against its sub-file length first (part counts and extents, every triangle index
// against its part's vertex count); a bad block is refused with a log line and builds no mesh.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace Kinetic {
class Geometry;
class RigidBody;
}  // namespace Kinetic

class CKineticCollide {
public:
    CKineticCollide(const void* block, size_t length);
    ~CKineticCollide();
    CKineticCollide(const CKineticCollide&) = delete;
    CKineticCollide& operator=(const CKineticCollide&) = delete;

    // Builds the meshes and the radius; run by the constructor. False when the block was refused.
    bool createCollisionGeometry();
    // One convex primitive of the given mass per mesh, in block order; then the body takes the restitution
    // and friction. A block without meshes leaves the body untouched.
    void addCollisionToRigidBody(Kinetic::RigidBody* body, float mass, float restitution, float friction);
    // The same for mesh `index` only; an index outside the meshes adds nothing.
    void addSingleCollisionToRigidBody(int index, Kinetic::RigidBody* body, float mass, float restitution,
                                       float friction);

    const void* collisionObject;  // the block (not owned)
    size_t length;                // its sub-file length
    float radius = 0.0f;          // world units: 100 x the largest vertex distance from the origin
    std::vector<std::unique_ptr<Kinetic::Geometry>> geometry;  // one per part
};
