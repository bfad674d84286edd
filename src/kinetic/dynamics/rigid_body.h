// The engine's one kind of simulated body. Its state is the pose of its centre of mass, its velocities,
// mass and inertia; the game places it by its display (model) origin, which may sit apart from the
// centre of mass. Angular momentum and the angular-velocity update use the body-axis inertia with
// world-space vectors: not textbook physics, but the bike's handling is tuned on it.
#pragma once

#include <cstdint>
#include <vector>

#include "kinetic/collide/primitive_blueprint.h"
#include "kinetic/dynamics/entity.h"
#include "kinetic/math/matrix3.h"
#include "kinetic/math/quaternion.h"
#include "kinetic/math/transform.h"
#include "kinetic/math/vector3.h"

namespace Kinetic {

class Primitive;

class RigidBody : public Entity {
public:
    struct Sample {
        Vector3 refPosition;
        Quaternion refOrientation;
    };

    RigidBody();
    ~RigidBody() override;

    void setActive(bool active, bool notify) override;
    void setFixed() override { setMass(0.0f); }
    void setPinned(bool pinned) override;
    void getCollidableList(std::vector<Collidable*>& out) override;
    void setStepPosition(float s) override;
    // A copy without dependants, with cloned primitives, at rest and with cleared accumulators.
    virtual RigidBody* clone() const;

    // Null (and nothing added) for a kind of primitive this body cannot build.
    Primitive* addPrimitive(const PrimitiveBlueprint& blueprint);
    void recomputeBoundingVolumes();

    void setMass(float m);
    void setInertia(const Matrix3& inertia);
    void computeMassProperties();
    // Moves the centre of mass by d (body axes) relative to the geometry; the world pose of the geometry
    // and the display origin stay put.
    void shiftCentreOfMass(const Vector3& d);

    void setTransform(const Transform& t);
    void recomputeTransform();
    void getDisplayToWorldTransform(Vector3& pos, Quaternion& rot) const;
    void setDisplayToWorldTransform(const Vector3& p, const Quaternion& q);
    void setStartState();

    Vector3 getPointVelocity(const Vector3& p) const;
    // Velocity change at world point p per unit impulse there.
    Matrix3 getCollisionMatrix(const Vector3& p, const Matrix3* unused = nullptr) const;
    void eulerIntegrate(float dt);
    // True when the body has rested over the due periods; thresholds default to the body's own.
    bool shouldDeactivate(float t, bool checkShort, bool checkLong, const float* thresholds = nullptr);

    // The body's 13 floats: position, rotation (vector, real), linear and angular momentum.
    void convertToArray(float* a) const;
    void convertFromArray(const float* a);
    void convertDerivativeToArray(float* a) const;
    void convertFromDerivativeArray(const float* a);

    const std::vector<Primitive*>& getPrimitives() const { return m_primitives; }

    static constexpr float kDefaultDeactivationThresholds[4] = {0.01f, 0.005f, 0.1f, 0.2f};

    Vector3 m_position;
    Quaternion m_rotation;
    Vector3 m_linearVelocity;
    Vector3 m_angularVelocity;
    Vector3 m_startPosition;
    Quaternion m_startRotation;
    Vector3 m_startLinearVelocity;
    Vector3 m_startAngularVelocity;
    float m_timestep = 0.0f;
    float m_volume = 0.0f;
    float m_mass = 1.0f;
    float m_massInv = 1.0f;
    Matrix3 m_inertia = Matrix3_Zero;
    Matrix3 m_inertiaInv = Matrix3_Zero;
    float m_restitution = 0.2f;
    float m_friction = 0.5f;
    Matrix3 m_unitInertia = Matrix3_Zero;
    Transform m_transformation;
    Matrix3 m_worldInertiaInv = Matrix3_Zero;
    Vector3 m_forceAccum;
    Vector3 m_torqueAccum;
    Sample m_longFreq;
    Sample m_shortFreq;
    float m_radiusSqrd = -1.0f;
    int32_t m_justActivated = 0;
    std::vector<Primitive*> m_primitives;
    int32_t m_serialNumber = 0;
    Vector3 m_local_to_display_translation;

private:
    void rebuildTransform();
    void resetSamples();
};

}  // namespace Kinetic
