// Four-float vector of the physics engine. Every vector is one aligned 16-byte unit (x, y, z, w) so that
// arrays of them keep a 16-byte stride; w is 1 in every vector the engine builds and takes no part in
// arithmetic.
#pragma once

#include <cmath>

namespace Kinetic {

class alignas(16) Vector3 {
public:
    float x, y, z, w;

    constexpr Vector3() : x(0.0f), y(0.0f), z(0.0f), w(1.0f) {}
    constexpr Vector3(float ax, float ay, float az) : x(ax), y(ay), z(az), w(1.0f) {}
    // Copies four consecutive floats; the flag is kept for callers that pass it and has no effect.
    Vector3(const float* f, bool aligned = true) : x(f[0]), y(f[1]), z(f[2]), w(f[3]) { (void)aligned; }
    constexpr Vector3(const Vector3&) = default;
    constexpr Vector3& operator=(const Vector3&) = default;

    // Two-operand results keep the w of the left operand.
    Vector3 operator+(const Vector3& b) const { return with(x + b.x, y + b.y, z + b.z); }
    Vector3 operator-(const Vector3& b) const { return with(x - b.x, y - b.y, z - b.z); }
    Vector3 operator-() const { return with(-x, -y, -z); }
    Vector3 operator*(const Vector3& b) const { return with(x * b.x, y * b.y, z * b.z); }
    Vector3 operator*(float s) const { return with(x * s, y * s, z * s); }
    Vector3 operator/(float s) const { return Vector3(x / s, y / s, z / s); }

    Vector3& operator+=(const Vector3& b) {
        x += b.x;
        y += b.y;
        z += b.z;
        return *this;
    }
    Vector3& operator-=(const Vector3& b) {
        x -= b.x;
        y -= b.y;
        z -= b.z;
        return *this;
    }
    Vector3& operator*=(float s) {
        x *= s;
        y *= s;
        z *= s;
        return *this;
    }
    Vector3& operator/=(float s) {
        x /= s;
        y /= s;
        z /= s;
        return *this;
    }

    float dot(const Vector3& b) const { return x * b.x + y * b.y + z * b.z; }
    Vector3 cross(const Vector3& b) const {
        return with(y * b.z - z * b.y, z * b.x - x * b.z, x * b.y - y * b.x);
    }
    float lengthSqrd() const { return x * x + y * y + z * z; }
    float length() const { return std::sqrt(lengthSqrd()); }

    // Grow a bounding box corner component by component.
    void maximizeWith(const Vector3& b) {
        if (b.x > x) x = b.x;
        if (b.y > y) y = b.y;
        if (b.z > z) z = b.z;
    }
    void minimizeWith(const Vector3& b) {
        if (b.x < x) x = b.x;
        if (b.y < y) y = b.y;
        if (b.z < z) z = b.z;
    }

    // out = (a - b) . c
    static void assignSubDot(float& out, const Vector3& a, const Vector3& b, const Vector3& c) {
        out = (a.x - b.x) * c.x + (a.y - b.y) * c.y + (a.z - b.z) * c.z;
    }

    // A zero vector is returned unchanged rather than divided by zero.
    Vector3 getNormalized() const;
    // Returns the former length; a zero vector stays as it is and 0 is returned.
    float normalize();

private:
    Vector3 with(float ax, float ay, float az) const {
        Vector3 r(ax, ay, az);
        r.w = w;
        return r;
    }
};

inline Vector3 operator*(float s, const Vector3& v) {
    return v * s;
}

inline constexpr Vector3 Vector3_Zero{0.0f, 0.0f, 0.0f};

}  // namespace Kinetic
