// A collision shape placed in a rigid body. Three frames: the primitive's own ("body" in member names),
// the rigid body's ("local") and the world. World transforms are cached and refreshed when the owning
// body's serial number changes.
#pragma once

#include <cstdint>

#include "kinetic/collide/aabb.h"
#include "kinetic/collide/collidable.h"
#include "kinetic/math/matrix3.h"
#include "kinetic/math/transform.h"

namespace Kinetic {

class RigidBody;

class Primitive : public Collidable {
public:
    // Counts every change that can move a primitive's box or add or remove a primitive (made, deleted,
    // moved to another body, its box computed or re-centred). Segment-query solvers that index boxes
    // re-check them only when it has changed.
    static uint64_t boxEpoch() { return s_boxEpoch; }
    static void boxesChanged() { ++s_boxEpoch; }

    Primitive(CDType type, RigidBody* body, const Transform& bodyToLocal, float mass);
    ~Primitive() override;

    // p in the rigid body's frame.
    virtual bool insideBody(const Vector3& p) const = 0;
    // Box in the rigid body's frame, without tolerance.
    virtual AABB computeLocalAABB() const = 0;
    // A new primitive of the same kind for another body, owned by the caller.
    virtual Primitive* clone(RigidBody* body) const = 0;
    // Inertia scaled by the primitive's mass; false (outputs untouched) for shapes without mass.
    virtual bool getMassProperties(Vector3& centreOfMass, Matrix3& inertia, float& volume);
    virtual bool computeMassProperties() { return false; }

    void setBodyToLocalTransform(const Transform& t);
    void recomputeLocalTransforms();
    void recomputeWorldTransforms() const;
    void translateWithinLocalSpace(const Vector3& offset);
    void setParentBody(RigidBody* body);
    // Re-centres the world box on the body's new pose; a non-finite pose deactivates the body instead.
    void recomputeBoundingVolumes();
    void copyMassProperties(const Primitive* source);

    RigidBody* getBody() const;
    const Transform& getBodyToWorldTransform() const {
        recomputeWorldTransforms();
        return m_bodyToWorldTransform;
    }
    const Transform& getWorldToBodyTransform() const {
        recomputeWorldTransforms();
        return m_worldToBodyTransform;
    }

    Transform m_bodyToLocalTransform;
    Transform m_localToBodyTransform;
    const Transform* m_localToWorldTransform = nullptr;
    Matrix3 m_unitInertia = Matrix3_Zero;
    Vector3 m_centreOfMass;
    float m_volume = 0.0f;
    float m_mass = 0.0f;
    uint8_t m_massPropertiesCalculated = 0;
    mutable int32_t m_worldSerialNumber = -1;
    float m_timestamp = -1.0f;
    mutable Transform m_bodyToWorldTransform;
    mutable Transform m_worldToBodyTransform;
    void* m_userInfo = nullptr;

protected:
    static inline uint64_t s_boxEpoch = 0;
    // Sets m_centre from a world box: its centre taken into the rigid body's frame.
    void setCentreFromBox();
    void copyCollisionSettings(const Primitive* source);
};

}  // namespace Kinetic
