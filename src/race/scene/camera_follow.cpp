// The follow camera: where the eye wants to be and to look behind the bike, and the tension rule that
// moves both there, one filtered axis at a time.
#include "bike/kinetic_bike.h"
#include "race/scene/camera.h"

namespace {

constexpr float kSnapDistance = 15000.0f;

struct FollowVariant {
    float lead;
    float groundBlend;
};
// Look lead factor and ground blend of follow variants 0, 1 and 2.
constexpr FollowVariant kVariants[3] = {{0.2419355f, 0.5f}, {0.4838710f, 0.5f}, {0.9677419f, 0.25f}};

float Distance(const qzVector3d& a, const qzVector3d& b) {
    float d = 0.0f;
    qzMath::qzMathVectorDistance(&d, &a, &b);
    return d;
}

}  // namespace

void CCamera::SetupBikeParams(KineticBike* bike) {
    hbPos = bike->cameraLookAtPos;
    targetAir = bike->getDistToGround();
    hbLookV = bike->getCameraForward();
    flatYForward = hbLookV;
    if (flatYForward.y < 0.99f) {
        flatYForward.y = 0.0f;
        qzMath::qzMathVectorNormalize(&flatYForward);
        flatYRight = qzVector3d(flatYForward.z, 0.0f, -flatYForward.x);
    } else {
        flatYForward = qzVector3d(0.0f, 1.0f, 0.0f);
        flatYRight = qzVector3d(1.0f, 0.0f, 0.0f);
    }
    if (targetAir < 300.0f) targetSpeed = 100.0f * bike->frame.linearVelocityMag;
    toAirCam = 0.0f;
}

bool CCamera::FigureTargetPos() {
    if (subMode <= 2) {
        if (flatYForward.y < 0.99f) {
            TargetPos = hbPos;
            TargetPos.y -= 150.0f;
            TargetPos = TargetPos - flatYForward * 350.0f;
        } else {
            TargetPos = hbPos;
            TargetPos.x -= 350.0f;
        }
        toPowerCam = 0.0f;
        toAirCam = 0.0f;
    }
    if (lastSubMode != subMode) {
        lastSubMode = subMode;
        return true;
    }
    return Distance(TargetPos, position) > kSnapDistance;
}

void CCamera::FigureLookGroundPos(qzVector3d& out, float lead, float blend) {
    out = hbPos;
    if (flatYForward.y < 0.99f) {
        out = out + flatYForward * (100.0f + lead * targetSpeed);
        if (targetAir < 100.0f) out.y = hbPos.y - 80.0f;
    } else {
        out = out + flatYForward * 100.0f;
    }
    const float gx = hbPos.x * (1.0f - blend) + out.x * blend;
    const float gz = out.z * blend + hbPos.z * (1.0f - blend);
    const float h = groundHeightAt(gx, gz);
    if (out.y > h) out.y = h;
}

void CCamera::FigureLookPos() {
    if (subMode <= 2)
        FigureLookGroundPos(tryLookPos, kVariants[subMode].lead, kVariants[subMode].groundBlend);
    if (Distance(tryLookPos, lastLookPos) > kSnapDistance) snapLook();
}

qzVector3d CCamera::ApplyTens(qzVector3d axis, float limit, CLowFilter& filter, float d) {
    float ratio = d / limit;
    if (d > 0.0f) {
        ratio = std::fmin(ratio, 1.0f);
    } else {
        ratio = std::fmax(ratio, -1.0f);
    }
    float avg = filter.step(ratio);
    if (std::fabs(ratio) < std::fabs(avg)) {
        filter.stabilize(ratio);
        avg = ratio;
    }
    return axis * (avg * std::fabs(d));
}

void CCamera::MoveCam() {
    const qzVector3d d = TargetPos - position;
    qzVector3d p = position + ApplyTens(rightVec, camRLLimit, filterRM, d * rightVec);
    p = p + ApplyTens(forwardVec, camFBLimit, filterFM, d * forwardVec);
    p = p + ApplyTens(upVec, camUDLimit, filterUM, d * upVec);
    const float floor = std::fmin(groundHeightAt(p.x, p.z) - 100.0f, hbPos.y - 100.0f);
    if (floor < p.y) p.y = floor;
    position = p;
}

void CCamera::lazyLook() {
    const qzVector3d right = flatYRight, forward = flatYForward;
    qzVector3d up;
    V3_Cross(&up, &forward, &right);
    const qzVector3d d = tryLookPos - lastLookPos;
    qzVector3d p = lastLookPos + ApplyTens(right, lookRLLimit, filterRL, d * right);
    p = p + ApplyTens(forward, lookFBLimit, filterFL, d * forward);
    p = p + ApplyTens(up, lookUDLimit, filterUL, d * up);
    lookPos = p;
}

void CCamera::FollowKineticBike(KineticBike* bike) {
    SetupBikeParams(bike);
    teleport = FigureTargetPos() ? 1 : 0;
    if (teleport == 0) {
        MoveCam();
    } else {
        snapPosition();
    }
    FigureLookPos();
    if (teleport == 0) {
        lazyLook();
    } else {
        snapLook();
    }
}

void CCamera::teleportIfFollowing() {
    if (Mode != CAMMODE_FOLLOW) return;
    KineticBike* bike = targetBike();
    if (!bike) return;
    SetupBikeParams(bike);
    FigureTargetPos();
    snapPosition();
    FigureLookPos();
    snapLook();
}
