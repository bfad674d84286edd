#include "kinetic/math/vector3.h"

namespace Kinetic {

Vector3 Vector3::getNormalized() const {
    float s = lengthSqrd();
    if (s == 0.0f) return Vector3(x, y, z);
    float l = std::sqrt(s);
    return Vector3(x / l, y / l, z / l);
}

float Vector3::normalize() {
    float s = lengthSqrd();
    if (s == 0.0f) return 0.0f;
    float l = std::sqrt(s);
    x /= l;
    y /= l;
    z /= l;
    return l;
}

}  // namespace Kinetic
