#include "kinetic/dynamics/rigid_body.h"

#include <cfloat>
#include <cmath>

#include "kinetic/collide/error.h"
#include "kinetic/collide/geometric_primitive.h"
#include "kinetic/collide/height_field_primitive.h"
#include "kinetic/collide/planar_primitive.h"
#include "kinetic/collide/primitive.h"
#include "kinetic/collide/spherical_primitive.h"

namespace Kinetic {

namespace {

// q + h * 1/2 (0, w) (x) q, renormalised (no zero test: a zero quaternion cannot arise from a unit one
// and a finite step).
Quaternion advanceRotation(const Quaternion& q, const Vector3& w, float h) {
    Quaternion dq = Quaternion(0.0f, w) * q;
    Quaternion r(q.m_real + h * 0.5f * dq.m_real, q.m_imag + dq.m_imag * (h * 0.5f));
    const float l = std::sqrt(r.lengthSqrd());
    r.m_real /= l;
    r.m_imag = Vector3(r.m_imag.x / l, r.m_imag.y / l, r.m_imag.z / l);
    return r;
}

bool finiteDiagonal(const Matrix3& m) {
    return std::isfinite(m(0, 0)) && std::isfinite(m(1, 1)) && std::isfinite(m(2, 2));
}

// Diagonal matrix of reciprocals of m's diagonal, 0 where that element is 0.
Matrix3 diagonalReciprocal(const Matrix3& m) {
    Matrix3 r = Matrix3_Zero;
    for (int i = 0; i < 3; ++i) r(i, i) = m(i, i) != 0.0f ? 1.0f / m(i, i) : 0.0f;
    return r;
}

}  // namespace

RigidBody::RigidBody() {
    resetSamples();
}

RigidBody::~RigidBody() {
    notifyDependants(MSG_DEATH);
    for (Primitive* p : m_primitives) delete p;
    m_primitives.clear();
}

void RigidBody::resetSamples() {
    m_longFreq.refPosition = m_shortFreq.refPosition = Vector3(FLT_MAX, FLT_MAX, FLT_MAX);
    m_longFreq.refOrientation = m_shortFreq.refOrientation = Quaternion_Zero;
}

void RigidBody::setActive(bool active, bool notify) {
    if (active && notify) {
        // The next deactivation test must not succeed at once against a stale sample.
        m_longFreq.refPosition = m_shortFreq.refPosition = Vector3(FLT_MAX, FLT_MAX, FLT_MAX);
    }
    Entity::setActive(active, notify);
}

void RigidBody::setPinned(bool pinned) {
    m_linearVelocity = Vector3_Zero;
    m_angularVelocity = Vector3_Zero;
    m_forceAccum = Vector3_Zero;
    m_torqueAccum = Vector3_Zero;
    Entity::setPinned(pinned);
}

void RigidBody::getCollidableList(std::vector<Collidable*>& out) {
    for (Primitive* p : m_primitives) out.push_back(p);
}

RigidBody* RigidBody::clone() const {
    auto* b = new RigidBody();
    b->m_stepPosition = m_stepPosition;
    b->m_flags = m_flags;
    b->m_neverDeactivate = m_neverDeactivate;
    b->m_timeStamp = m_timeStamp;
    b->m_collection = m_collection;
    b->m_userInfo = m_userInfo;
    b->m_position = m_position;
    b->m_rotation = m_rotation;
    b->m_startPosition = m_startPosition;
    b->m_startRotation = m_startRotation;
    b->m_startLinearVelocity = m_startLinearVelocity;
    b->m_startAngularVelocity = m_startAngularVelocity;
    b->m_timestep = m_timestep;
    b->m_volume = m_volume;
    b->m_mass = m_mass;
    b->m_massInv = m_massInv;
    b->m_inertia = m_inertia;
    b->m_inertiaInv = m_inertiaInv;
    b->m_restitution = m_restitution;
    b->m_friction = m_friction;
    b->m_unitInertia = m_unitInertia;
    b->m_transformation = m_transformation;
    b->m_worldInertiaInv = m_worldInertiaInv;
    b->m_longFreq = m_longFreq;
    b->m_shortFreq = m_shortFreq;
    b->m_radiusSqrd = m_radiusSqrd;
    b->m_justActivated = m_justActivated;
    b->m_serialNumber = m_serialNumber;
    b->m_local_to_display_translation = m_local_to_display_translation;
    for (const Primitive* p : m_primitives) {
        Primitive* c = p->clone(b);
        c->setParentBody(b);
        b->m_primitives.push_back(c);
    }
    return b;
}

Primitive* RigidBody::addPrimitive(const PrimitiveBlueprint& blueprint) {
    Transform toDisplay;
    toDisplay.setTranslation(-m_local_to_display_translation);
    switch (blueprint.m_type) {
        case SPHERICAL_PRIMITIVE: {
            const auto& bp = static_cast<const SphericalPrimitiveBlueprint&>(blueprint);
            auto* p = new SphericalPrimitive(this, bp.m_radius, toDisplay * bp.m_offsetTransform, bp.m_mass);
            m_primitives.push_back(p);
            if (bp.m_mass == 0.0f) setMass(0.0f);
            computeMassProperties();
            return p;
        }
        case HEIGHTFIELD_PRIMITIVE: {
            const auto& bp = static_cast<const HeightFieldPrimitiveBlueprint&>(blueprint);
            setMass(0.0f);
            auto* p = new HeightFieldPrimitive(this, bp.m_heightField);
            m_primitives.push_back(p);
            p->setBodyToLocalTransform(bp.m_offsetTransform);
            p->m_fastCD = bp.m_optimisedCD;
            return p;
        }
        case PLANAR_PRIMITIVE: {
            const auto& bp = static_cast<const PlanarPrimitiveBlueprint&>(blueprint);
            auto* p = new PlanarPrimitive(this, bp.m_normal, bp.m_distance);
            m_primitives.push_back(p);
            setMass(0.0f);
            return p;
        }
        case GEOMETRIC_PRIMITIVE: {
            const auto& bp = static_cast<const GeometricPrimitiveBlueprint&>(blueprint);
            if (!GeometricPrimitive::isUsableGeometry(bp.m_geometry)) {
                g_pGlobalErrorHandler->warning(
                    "RigidBody::addPrimitive: mesh missing or with a triangle naming a vertex it lacks; "
                    "primitive refused",
                    1);
                return nullptr;
            }
            auto* p = new GeometricPrimitive(this, bp.m_geometry, toDisplay * bp.m_offsetTransform, bp.m_mass,
                                             bp.m_isConvex ? CD_CXGEOMETRIC : CD_GEOMETRIC);
            m_primitives.push_back(p);
            if (bp.m_mass == 0.0f)
                setMass(0.0f);
            else
                computeMassProperties();
            return p;
        }
        default:
            return nullptr;
    }
}

void RigidBody::recomputeBoundingVolumes() {
    for (Primitive* p : m_primitives) p->recomputeBoundingVolumes();
}

void RigidBody::setMass(float m) {
    if (m_mass == 0.0f) return;  // a fixed body stays fixed
    const float ratio = m / m_mass;
    m_mass = m;
    if (m == 0.0f) {
        m_massInv = 0.0f;
        m_flags |= FIXED;
        m_flags &= ~ACTIVE;
        m_inertiaInv = Matrix3_Zero;
        for (Primitive* p : m_primitives) p->m_mass = 0.0f;
        return;
    }
    m_massInv = 1.0f / m;
    for (Primitive* p : m_primitives) p->m_mass *= ratio;
    m_inertia = m_unitInertia * m;
    if (!m_inertia.isExactlyZero()) m_inertiaInv = m_inertia.getInverse();
}

void RigidBody::setInertia(const Matrix3& inertia) {
    if (m_mass == 0.0f) return;
    m_inertia = inertia;
    if (inertia.isExactlyZero()) {
        m_inertiaInv = inertia;
        m_unitInertia = Matrix3_Zero;
        return;
    }
    m_inertiaInv = inertia.getInverse();
    if (!finiteDiagonal(m_inertiaInv)) m_inertiaInv = diagonalReciprocal(inertia);
    m_unitInertia = inertia / m_mass;
}

void RigidBody::computeMassProperties() {
    if (isFixed()) {
        setMass(0.0f);
        return;
    }
    struct Part {
        Vector3 c;
        Matrix3 inertia;
        float mass;
    };
    std::vector<Part> parts;
    float total = 0.0f, volume = 0.0f;
    Vector3 weighted;
    for (Primitive* p : m_primitives) {
        Part part{Vector3_Zero, Matrix3_Zero, p->m_mass};
        float v = 0.0f;
        // Shapes without mass properties (planes, height fields) only sit on fixed bodies.
        if (!p->getMassProperties(part.c, part.inertia, v)) continue;
        parts.push_back(part);
        total += part.mass;
        weighted += part.c * part.mass;
        volume += v;
    }
    if (total == 0.0f) return;  // nothing to weigh: keep the current mass properties
    const Vector3 c = weighted / total;
    m_mass = total;
    m_massInv = 1.0f / total;
    m_volume = volume;

    Vector3 displayPos;
    Quaternion displayRot;
    getDisplayToWorldTransform(displayPos, displayRot);
    for (Primitive* p : m_primitives) {
        p->translateWithinLocalSpace(-c);
        p->m_centreOfMass -= c;
    }
    m_local_to_display_translation += c;
    setDisplayToWorldTransform(displayPos, displayRot);

    Matrix3 I = Matrix3_Zero;
    for (const Part& part : parts) {
        const Vector3 r = part.c - c;
        const float m = part.mass;
        Matrix3 shift(m * (r.y * r.y + r.z * r.z), -m * r.x * r.y, -m * r.x * r.z, -m * r.x * r.y,
                      m * (r.x * r.x + r.z * r.z), -m * r.y * r.z, -m * r.x * r.z, -m * r.y * r.z,
                      m * (r.x * r.x + r.y * r.y));
        I = I + part.inertia + shift;
    }
    if (I.isExactlyZero()) {
        // Point masses: no rotational response.
        m_inertia = Matrix3_Zero;
        m_inertiaInv = Matrix3_Zero;
        return;
    }
    Matrix3 inv = I.getInverse();
    if (finiteDiagonal(inv)) {
        m_inertiaInv = inv;
        m_inertia = inv.getInverse();
        if (!finiteDiagonal(m_inertia)) m_inertia = diagonalReciprocal(m_inertiaInv);
    } else {
        // A singular tensor must not leave a non-finite inverse behind.
        m_inertiaInv = diagonalReciprocal(I);
        m_inertia = I;
    }
    m_unitInertia = m_inertia / total;
}

void RigidBody::shiftCentreOfMass(const Vector3& d) {
    for (Primitive* p : m_primitives) {
        p->translateWithinLocalSpace(-d);
        p->m_centreOfMass -= d;
    }
    Vector3 displayPos;
    Quaternion displayRot;
    getDisplayToWorldTransform(displayPos, displayRot);
    m_local_to_display_translation += d;
    setDisplayToWorldTransform(displayPos, displayRot);
}

void RigidBody::rebuildTransform() {
    m_transformation.setRotation(m_rotation);
    m_transformation.setTranslation(m_position);
    m_worldInertiaInv = m_transformation.getTransformedMatrix(m_inertiaInv);
    ++m_serialNumber;
}

void RigidBody::setTransform(const Transform& t) {
    m_position = t.getTranslation();
    m_rotation.set(t);
    m_startPosition = m_position;
    m_startRotation = m_rotation;
    m_transformation = t;
    m_worldInertiaInv = m_transformation.getTransformedMatrix(m_inertiaInv);
    ++m_serialNumber;
}

void RigidBody::recomputeTransform() {
    rebuildTransform();
}

void RigidBody::getDisplayToWorldTransform(Vector3& pos, Quaternion& rot) const {
    pos = m_position - m_rotation.getRotatedPos(m_local_to_display_translation);
    rot = m_rotation;
}

void RigidBody::setDisplayToWorldTransform(const Vector3& p, const Quaternion& q) {
    m_position = p + q.getRotatedPos(m_local_to_display_translation);
    m_rotation = q;
    m_startPosition = m_position;
    m_startRotation = m_rotation;
    rebuildTransform();
    recomputeBoundingVolumes();
}

void RigidBody::setStartState() {
    m_startPosition = m_position;
    m_startRotation = m_rotation;
    m_startLinearVelocity = m_linearVelocity;
    m_startAngularVelocity = m_angularVelocity;
}

void RigidBody::setStepPosition(float s) {
    if (isPinned() || isFixed() || s == m_stepPosition) return;
    if (s == 0.0f) {
        m_position = m_startPosition;
        m_rotation = m_startRotation;
    } else {
        const float h = s * m_timestep;
        m_position = m_startPosition + m_startLinearVelocity * h;
        m_rotation = advanceRotation(m_startRotation, m_startAngularVelocity, h);
    }
    rebuildTransform();
    recomputeBoundingVolumes();
    m_stepPosition = s;
}

Vector3 RigidBody::getPointVelocity(const Vector3& p) const {
    return m_linearVelocity + m_angularVelocity.cross(p - m_position);
}

Matrix3 RigidBody::getCollisionMatrix(const Vector3& p, const Matrix3* unused) const {
    (void)unused;
    Matrix3 s;
    s.makeSkewSymetric(p - m_position);
    Matrix3 e = Matrix3_Identity * m_massInv;
    Matrix3 k = s * m_worldInertiaInv * s;
    return e + k * -1.0f;
}

void RigidBody::eulerIntegrate(float dt) {
    m_position += m_linearVelocity * dt;
    m_rotation = advanceRotation(m_rotation, m_angularVelocity, dt);
    m_linearVelocity += m_forceAccum * (dt * m_massInv);
    m_angularVelocity += (m_inertiaInv * m_torqueAccum) * dt;
    m_forceAccum = Vector3_Zero;
    m_torqueAccum = Vector3_Zero;
    rebuildTransform();
}

bool RigidBody::shouldDeactivate(float t, bool checkShort, bool checkLong, const float* thresholds) {
    (void)t;
    if (m_neverDeactivate > 0 && !thresholds) return false;
    const float* th = thresholds ? thresholds : kDefaultDeactivationThresholds;
    if (m_radiusSqrd == -1.0f) {
        AABB box;
        for (const Primitive* p : m_primitives) {
            AABB b = p->computeLocalAABB();
            box.m_min.minimizeWith(b.m_min);
            box.m_max.maximizeWith(b.m_max);
        }
        // Without primitives there is no extent: judge the position alone.
        const Vector3 half = m_primitives.empty() ? Vector3_Zero : (box.m_max - box.m_min) * 0.5f;
        m_radiusSqrd = half.lengthSqrd();
        m_shortFreq.refPosition = m_longFreq.refPosition = m_position;
        m_shortFreq.refOrientation = m_longFreq.refOrientation = m_rotation;
        return false;
    }
    auto rests = [&](const Sample& s, float posThreshold, float rotThreshold) {
        const Vector3 dp = s.refPosition - m_position;
        const float dq =
            (s.refOrientation.m_real - m_rotation.m_real) * (s.refOrientation.m_real - m_rotation.m_real) +
            (s.refOrientation.m_imag - m_rotation.m_imag).lengthSqrd();
        return dp.lengthSqrd() < posThreshold * posThreshold &&
               m_radiusSqrd * dq < rotThreshold * rotThreshold;
    };
    if (checkShort) {
        if (rests(m_shortFreq, th[0], th[1])) return true;
        m_shortFreq.refPosition = m_position;
        m_shortFreq.refOrientation = m_rotation;
    }
    if (checkLong) {
        if (rests(m_longFreq, th[2], th[3])) return true;
        m_longFreq.refPosition = m_position;
        m_longFreq.refOrientation = m_rotation;
    }
    return false;
}

void RigidBody::convertToArray(float* a) const {
    a[0] = m_position.x;
    a[1] = m_position.y;
    a[2] = m_position.z;
    a[3] = m_rotation.m_imag.x;
    a[4] = m_rotation.m_imag.y;
    a[5] = m_rotation.m_imag.z;
    a[6] = m_rotation.m_real;
    const Vector3 p = m_linearVelocity * m_mass;
    const Vector3 l = m_inertia * m_angularVelocity;
    a[7] = p.x;
    a[8] = p.y;
    a[9] = p.z;
    a[10] = l.x;
    a[11] = l.y;
    a[12] = l.z;
}

void RigidBody::convertFromArray(const float* a) {
    m_position = Vector3(a[0], a[1], a[2]);
    Quaternion q(a[6], a[3], a[4], a[5]);
    const float len = std::sqrt(q.lengthSqrd());
    m_rotation = Quaternion(q.m_real / len, q.m_imag.x / len, q.m_imag.y / len, q.m_imag.z / len);
    m_linearVelocity = Vector3(a[7], a[8], a[9]) * m_massInv;
    m_angularVelocity = m_inertiaInv * Vector3(a[10], a[11], a[12]);
    rebuildTransform();
    m_forceAccum = Vector3_Zero;
    m_torqueAccum = Vector3_Zero;
}

void RigidBody::convertDerivativeToArray(float* a) const {
    a[0] = m_linearVelocity.x;
    a[1] = m_linearVelocity.y;
    a[2] = m_linearVelocity.z;
    const Quaternion dq = Quaternion(0.0f, m_angularVelocity) * m_rotation;
    a[3] = 0.5f * dq.m_imag.x;
    a[4] = 0.5f * dq.m_imag.y;
    a[5] = 0.5f * dq.m_imag.z;
    a[6] = 0.5f * dq.m_real;
    a[7] = m_forceAccum.x;
    a[8] = m_forceAccum.y;
    a[9] = m_forceAccum.z;
    a[10] = m_torqueAccum.x;
    a[11] = m_torqueAccum.y;
    a[12] = m_torqueAccum.z;
}

void RigidBody::convertFromDerivativeArray(const float* a) {
    m_forceAccum = Vector3(a[7], a[8], a[9]);
    m_torqueAccum = Vector3(a[10], a[11], a[12]);
}

}  // namespace Kinetic
