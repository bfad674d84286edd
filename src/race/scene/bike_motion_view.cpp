#include "race/scene/bike_motion_view.h"

#include <cmath>

#include "bike/components/bike_suspension.h"
#include "bike/kinetic_bike.h"
#include "engine/hal/display.h"
#include "engine/hal/draw_env.h"
#include "engine/hal/engine.h"
#include "engine/hal/geometry.h"
#include "engine/hal/view_matrices.h"
#include "game/model/pause_state.h"

namespace {

constexpr float kRake = -4.23f;  // the fork's slide direction, radians
constexpr _vector3d kAxisX = {1.0f, 0.0f, 0.0f};

void SetBoneTurn(_angle_array* pose, int bone, float angle) {
    Q_SetupFromAxisAngle(&pose->angles[bone], &kAxisX, angle);
}

}  // namespace

CKineticPhysicsView::CKineticPhysicsView(int modelObjectId_, int descriptionId_, int playerNumber_,
                                         int motionIndex, unsigned int mirror, void* motionFile)
    : CMotionView(modelObjectId_, descriptionId_, playerNumber_, motionIndex, mirror, motionFile) {}

void CKineticPhysicsView::doStunt(int motion, int mirror) {
    LoadMotion(motion, 0, false, false);
    inStunt = 1;
    doMirror = static_cast<uint32_t>(mirror);
}

void CKineticPhysicsView::update(C3DView* view, float) {
    if (CPauseState::pauseSwitch == 0 && (!view || view->viewNum == 0)) UpdateFrame(view, 0);
}

void CKineticPhysicsView::UpdateFrame(C3DView*, unsigned int) {
    if (doTransition) {
        transCount += 1.0f;
        if (transCount >= 5.0f) {
            transCount = 0.0f;
            doTransition = 0;
            currentFrame = 0.0f;
            doMirror = static_cast<uint32_t>(blendMirror);
            LoadMotion(static_cast<int>(blendMotion), blendReverse, false, true);
        }
    }
    if (currentFrame > motionFrames) currentFrame = 0.0f;
    samplePose(angleArray, anim, currentFrame, doMirror != 0);
}

float CKineticPhysicsView::SpinWheel(float angle, float spinVelocity) {
    float rpm = 60.0f * spinVelocity / X_TWO_PI;
    if (std::fabs(rpm) < kDeadBandRpm) rpm = 0.0f;
    if (std::fabs(rpm) > kMaxRpm) rpm = kMaxRpm;  // either way round: the cap turns forward
    if (rpm == 0.0f) return angle;
    return std::fmod(angle + X_TWO_PI * rpm / 3600.0f, X_PI);
}

void CKineticPhysicsView::applySuspension(const KineticBike& bike) {
    if (bike.getDistToGround() < 20.0f) {
        const auto* sus = static_cast<const Kinetic::CBikeSuspension*>(bike.m_suspension);
        const float rest = sus ? sus->getSuspensionRestLength(0) : 0.0f;
        if (rest > 0.0f) {
            const float a = bike.getBackWheelSuspensionCompression();
            const float f = bike.getFrontWheelSuspensionCompression();
            swingArmAngle = 25.0f * a / (100.0f * rest) / 100.0f;
            const float h = 25.0f * f / (100.0f * rest) - 25.0f;
            forkOffset = {skel.boneArray[kFork].parentToBone.x, h * std::sin(kRake), h * std::cos(kRake)};
            suspensionSet = true;
        }
    }
    if (!suspensionSet) return;
    SetBoneTurn(angleArray, kSwingArm, swingArmAngle);
    skel.boneArray[kFork].parentToBone = forkOffset;
}

void CKineticPhysicsView::applyWheels(const KineticBike& bike) {
    frontWheelAngle = SpinWheel(frontWheelAngle, bike.ground.wheelInfo[0].m_spinVelocity);
    backWheelAngle = SpinWheel(backWheelAngle, bike.ground.wheelInfo[1].m_spinVelocity);
    SetBoneTurn(angleArray, kFrontWheel, frontWheelAngle);
    SetBoneTurn(angleArray, kRearWheel, backWheelAngle);
}

void CKineticPhysicsView::render(C3DView* view) {
    auto* bike = dynamic_cast<KineticBike*>(MotionViewObject(modelObjectId));
    if (!bike || !hasPose() || !(raceOptions & kDrawBikes) || numBones <= kRearWheel) return;
    _matrix4 m;
    modelMatrix(bike, bike->position, &m);
    veSetDefaultTestEnv1(1, 6, 100, 0, 0, 0, 1, 2);
    veSetDefaultTestEnv2(1, 6, 100, 0, 0, 0, 1, 2);
    veEngineSetFrustumXY(640.0f, 2047.0f);
    veDisplayActivateView(&view->_view3d);  // resets the local-to-world matrix: set it after
    clipWithModelMatrix(view, bike, m);
    if (LOD == -1) return;
    setupLights(bike->crash.invulnerabilityCounter > 0 ? 1 : 0);
    if (CPauseState::pauseSwitch == 0) {
        applySuspension(*bike);
        applyWheels(*bike);
    } else if (suspensionSet) {
        SetBoneTurn(angleArray, kSwingArm, swingArmAngle);
        SetBoneTurn(angleArray, kFrontWheel, frontWheelAngle);
        SetBoneTurn(angleArray, kRearWheel, backWheelAngle);
    }
    computePalette();
    setBoneArray();
    veDisplaySetMode(0x4000200);
    if (_FS_GEO_HEADER* g = lodGeometry()) {
        veEngineDrawGeometry(g);
        veEngineReSetLocalToWorld();
    }
}
