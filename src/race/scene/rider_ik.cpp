#include "race/scene/rider_ik.h"

#include "engine/anim/anim_pose.h"
#include "race/scene/rider_view.h"

namespace {

bool Setup(_ikProcess* p, unsigned int type, uint32_t limb) {
    p->type = static_cast<_IKType>(type);
    p->limb = limb;
    p->percent = 1.0f;
    p->currentPercent = 0.0f;
    p->flags = 0;
    if (type == IK_TYPE_LIMB_TO_TARGETPOS) p->getTargetFunc = IK_GetStandardScaleTarget;
    return true;
}

qzVector3d Position(const _matrix4& m) {
    return qzVector3d(m.M[12], m.M[13], m.M[14]);
}

float Length2(const qzVector3d& v) {
    return v * v;
}

// The shortest arc taking `from` onto `to`; false when it is undefined (a zero vector, or the two
// parallel or opposite), and the caller then leaves that joint as it is.
bool Arc(qzQuaternion* q, const qzVector3d& from, const qzVector3d& to) {
    _vector3d c;
    V3_Cross(&c, &from, &to);
    const float lf = Length2(from), lt = Length2(to);
    if (lf <= 0.0f || lt <= 0.0f) return false;
    if (c.x * c.x + c.y * c.y + c.z * c.z <= 1e-12f * lf * lt) return false;
    qzQuaternion::setupFromVectors(q, from, to);
    return true;
}

// As Arc, but defined everywhere: no turn for parallel or zero vectors, half a turn for opposite ones.
void FullArc(qzQuaternion* q, const qzVector3d& from, const qzVector3d& to) {
    if (Arc(q, from, to)) return;
    if (from * to < 0.0f) {
        qzQuaternion::setupFromVectors(q, from, to);
        return;
    }
    q->S = 1.0f;
    q->Axis = {0.0f, 0.0f, 0.0f};
}

// p' = pivot + q(p - pivot).
qzVector3d Turn(const qzQuaternion& q, const qzVector3d& pivot, const qzVector3d& p) {
    const qzVector3d rel = p - pivot;
    _vector3d out;
    Q_TransformVect(&q, &out, &rel);
    return pivot + out;
}

void Rotation(_matrix4* m, const qzQuaternion& q, const qzVector3d& at) {
    Q_SetupMatrix(&q, m);
    M4_SetTranslation(m, &at);
}

// The local rotation whose palette rotation is `child` under the parent palette `parent`.
void LocalRotation(_quaternion* out, const _matrix4& parent, const _matrix4& child) {
    _matrix4 inv, local;
    M4_Invert(&inv, &parent);
    M4_Mult(&local, &inv, &child);
    Q_SetupFromMatrix(out, &local);
}

}  // namespace

bool IK_SetupRightHand(_ikProcess* p, unsigned int type) {
    return Setup(p, type, ik::kRightHand);
}
bool IK_SetupLeftHand(_ikProcess* p, unsigned int type) {
    return Setup(p, type, ik::kLeftHand);
}
bool IK_SetupRightFoot(_ikProcess* p, unsigned int type) {
    return Setup(p, type, ik::kRightFoot);
}
bool IK_SetupLeftFoot(_ikProcess* p, unsigned int type) {
    return Setup(p, type, ik::kLeftFoot);
}

void IK_SetFlag(_ikProcess* p, unsigned short flag) {
    p->flags |= flag;
}

void IK_GetStandardScaleTarget(CRiderView* view, _ikProcess* p, qzVector3d* out) {
    _vector3d v;
    veAnimGetBonePositionFast(&v, view->bonePalette, &view->skel, static_cast<uint16_t>(p->limb & 0xFFFF));
    *out = qzVector3d(v.x, v.y, v.z);
}

void IK_ServiceProcess(CRiderView* view, _ikProcess* p) {
    IK_CalculateIKVector(view, p);
}

int IK_CalculateIKVector(CRiderView* view, _ikProcess* p) {
    const _skeleton& sk = view->skel;
    const uint32_t e = p->limb & 0xFFFF;
    if (!view->hasPose() || e >= sk.boneCount) return 0;
    const uint32_t mid = sk.boneArray[e].parentID & 0xFFFF;
    const uint32_t root = sk.boneArray[mid].parentID & 0xFFFF;
    const uint32_t top = sk.boneArray[root].parentID & 0xFFFF;
    const _matrix4* pal = view->bonePalette;
    const qzVector3d A = Position(pal[root]);
    qzVector3d B = Position(pal[mid]), C = Position(pal[e]);
    const qzVector3d T = p->target;
    float upper, lower, reach;
    qzMath::qzMathVectorDistance(&upper, &A, &B);
    qzMath::qzMathVectorDistance(&lower, &B, &C);
    qzMath::qzMathVectorDistance(&reach, &A, &T);
    qzQuaternion q;
    int passes = 0;
    if (reach > upper + lower) {
        if (Arc(&q, B - A, T - A)) {
            B = Turn(q, A, B);
            C = Turn(q, A, C);
        }
        if (Arc(&q, C - B, T - B)) C = Turn(q, B, C);
    } else {
        float err;
        do {
            if (Arc(&q, C - B, T - B)) C = Turn(q, B, C);
            if (Arc(&q, C - A, T - A)) {
                B = Turn(q, A, B);
                C = Turn(q, A, C);
            }
            err = Length2(C - T);
            ++passes;
        } while (err > ik::kCloseEnough && passes < ik::kMaxPasses);
    }
    // Back into the pose, each joint in its parent's space; the end keeps its animated orientation.
    const _bone& bm = sk.boneArray[mid];
    const _bone& be = sk.boneArray[e];
    const qzVector3d midOffset(bm.parentToBone.x, bm.parentToBone.y, bm.parentToBone.z);
    const qzVector3d endOffset(be.parentToBone.x, be.parentToBone.y, be.parentToBone.z);
    qzQuaternion qU, qL;
    FullArc(&qU, midOffset, B - A);
    FullArc(&qL, endOffset, C - B);
    _matrix4 U, L;
    Rotation(&U, qU, A);
    Rotation(&L, qL, B);
    _angle_array* pose = view->angleArray;
    LocalRotation(&pose->angles[root], pal[top], U);
    LocalRotation(&pose->angles[mid], U, L);
    LocalRotation(&pose->angles[e], L, pal[e]);
    return passes;
}
