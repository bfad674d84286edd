#include "game/core/qz_math.h"

namespace {
// A unit vector perpendicular to the unit vector v: v crossed with the coordinate axis it is least
// aligned with.
qzVector3d Perpendicular(const qzVector3d& v) {
    const float ax = x_fabs(v.x), ay = x_fabs(v.y), az = x_fabs(v.z);
    _vector3d e = {0.0f, 0.0f, 0.0f};
    if (ax <= ay && ax <= az) {
        e.x = 1.0f;
    } else if (ay <= az) {
        e.y = 1.0f;
    } else {
        e.z = 1.0f;
    }
    qzVector3d p;
    V3_Cross(&p, &v, &e);
    qzMath::qzMathVectorNormalize(&p);
    return p;
}
}  // namespace

void qzQuaternion::setupFromVectors(qzQuaternion* out, qzVector3d from, qzVector3d to) {
    qzMath::qzMathVectorNormalize(&from);
    qzMath::qzMathVectorNormalize(&to);
    const float c = from * to;
    float S = x_sqrt(0.5f * (1.0f + c));
    float s = x_sqrt(0.5f * (1.0f - c));
    qzVector3d axis;
    V3_Cross(&axis, &from, &to);
    qzMath::qzMathVectorNormalize(&axis);
    if (axis.x == 0.0f && axis.y == 0.0f && axis.z == 0.0f && c < 0.0f) {
        // Opposite directions: every axis perpendicular to `from` turns it onto `to` by half a turn;
        // the cross product cannot pick one, so choose one rather than return a zero quaternion.
        axis = Perpendicular(from);
        S = 0.0f;  // exactly half a turn (c may have rounded just past -1)
        s = 1.0f;
    }
    out->S = S;
    out->Axis.x = axis.x * s;
    out->Axis.y = axis.y * s;
    out->Axis.z = axis.z * s;
}
