// The game's small math types: a 16-byte vector and quaternion with inline operators, and the handful
// of vector functions the game code uses. Heavier math (matrices, angles, quaternion to matrix) comes
// from the engine's math library, whose record types these extend.
#pragma once

#include "engine/sys/math.h"

// A _vector3d padded to 16 bytes. The fourth float is carried along by copies and by the operators
// (taken from the left operand) but never takes part in a result's x, y, z.
struct alignas(16) qzVector3d : _vector3d {
    float pad;

    // A fresh vector starts as zeros (and a vector built from x, y, z with a zero fourth float) so that
    // copying one never reads an indeterminate float.
    qzVector3d() : _vector3d{0.0f, 0.0f, 0.0f}, pad(0.0f) {}
    qzVector3d(float ax, float ay, float az) : _vector3d{ax, ay, az}, pad(0.0f) {}
    qzVector3d(const qzVector3d& o) = default;
    qzVector3d& operator=(const qzVector3d& o) = default;
    using _vector3d::operator=;

    qzVector3d operator+(const _vector3d& b) const {
        qzVector3d r(*this);
        r.x = x + b.x;
        r.y = y + b.y;
        r.z = z + b.z;
        return r;
    }
    qzVector3d operator-(const _vector3d& b) const {
        qzVector3d r(*this);
        r.x = x - b.x;
        r.y = y - b.y;
        r.z = z - b.z;
        return r;
    }
    qzVector3d operator*(float s) const {
        qzVector3d r(*this);
        r.x = x * s;
        r.y = y * s;
        r.z = z * s;
        return r;
    }
    // The reciprocal first, then a multiply: v / 4 equals v * 0.25 exactly.
    qzVector3d operator/(float s) const { return *this * (1.0f / s); }
    qzVector3d& operator*=(float s) {
        x *= s;
        y *= s;
        z *= s;
        return *this;
    }
    // Dot product.
    float operator*(const _vector3d& b) const { return x * b.x + y * b.y + z * b.z; }
};
static_assert(sizeof(qzVector3d) == 16 && alignof(qzVector3d) == 16);

struct alignas(16) qzQuaternion : _quaternion {
    qzQuaternion() : _quaternion{0.0f, {0.0f, 0.0f, 0.0f}} {}
    // The rotation that turns direction `from` into direction `to` (both normalised first). Opposite
    // directions give a half turn about an axis perpendicular to `from`.
    static void setupFromVectors(qzQuaternion* out, qzVector3d from, qzVector3d to);
};
static_assert(sizeof(qzQuaternion) == 16 && alignof(qzQuaternion) == 16);

struct qzMatrix4 : _matrix4 {
    qzMatrix4() : _matrix4{} {}
    float& operator[](int i) { return M[i]; }
    float operator[](int i) const { return M[i]; }
};
static_assert(sizeof(qzMatrix4) == 64 && alignof(qzMatrix4) == 16);

class qzMath {
public:
    static void qzMathVectorDistanceSquared(float* out, const _vector3d* a, const _vector3d* b) {
        const float dx = a->x - b->x, dy = a->y - b->y, dz = a->z - b->z;
        *out = dx * dx + dy * dy + dz * dz;
    }
    static void qzMathVectorDistance(float* out, const _vector3d* a, const _vector3d* b) {
        float d2;
        qzMathVectorDistanceSquared(&d2, a, b);
        *out = x_sqrt(d2);
    }
    static void qzMathVectorLength(float* out, const _vector3d* v) {
        *out = x_sqrt(v->x * v->x + v->y * v->y + v->z * v->z);
    }
    // Scales v to unit length; a zero vector stays zero.
    static void qzMathVectorNormalize(_vector3d* v) {
        const float len2 = v->x * v->x + v->y * v->y + v->z * v->z;
        if (!(len2 > 0.0f)) return;
        const float inv = 1.0f / std::sqrt(len2);
        v->x *= inv;
        v->y *= inv;
        v->z *= inv;
    }
    static void qzMathVectorNegate(_vector3d* out, const _vector3d* v) {
        const _vector3d r = {-v->x, -v->y, -v->z};
        *out = r;
    }
    // out = -v; out's fourth float is v's.
    static void qzMathVectorNegate(qzVector3d* out, const qzVector3d* v) {
        qzVector3d r(*v);
        r.x = -v->x;
        r.y = -v->y;
        r.z = -v->z;
        *out = r;
    }
};

// The triangle normal and plane height with the normal written into a padded vector (w = 1).
inline void veMathVectorTriNormalAndPoint(float* height, qzVector3d* normal, const _vector3d* p0,
                                          const _vector3d* p1, const _vector3d* p2, const _vector3d* point) {
    float n[4];
    veMathVectorTriNormalAndPoint(height, n, p0, p1, p2, point);
    normal->x = n[0];
    normal->y = n[1];
    normal->z = n[2];
    normal->pad = n[3];
}
