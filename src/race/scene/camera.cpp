#include "race/scene/camera.h"

#include "bike/kinetic_bike.h"
#include "engine/hal/display.h"
#include "game/core/global_options.h"
#include "game/model/model.h"
#include "game/model/packet.h"
#include "game/view/view_3d.h"
#include "world/world_model.h"

void (*CCamera::setHudArrowPos)(CHud*, const qzVector3d&) = nullptr;

namespace {

// Free-camera action bits of a packet addressed to the camera.
enum : uint32_t {
    kActClear = 0x1,
    kActPitchDown = 0x2,
    kActPitchUp = 0x4,
    kActYawLeft = 0x8,
    kActYawRight = 0x10,
    kActDown = 0x20,
    kActUp = 0x40,
    kActLeft = 0x80,
    kActRight = 0x100,
    kActAhead = 0x200,
    kActBack = 0x400,
    kActFaster = 0x800,
    kActSlower = 0x1000,
};

constexpr float kRotationRate = X_PI * 0.005f;

}  // namespace

CCamera::CCamera() {
    Q_Identity(&qOrientation);
    subMode = gameOptions.trackType == TRACKTYPE_INDOOR ? 0 : 1;
    lastSubMode = subMode;
    filterUM.setUp(12);
    filterRM.setUp(10);
    filterFM.setUp(10);
    filterUL.setUp(10);
    filterRL.setUp(5);
    filterFL.setUp(10);
    forwardVec = qzVector3d(0.0f, 0.0f, 1.0f);
    rightVec = qzVector3d(-1.0f, 0.0f, 0.0f);
    upVec = qzVector3d(0.0f, 1.0f, 0.0f);
}

CCamera::~CCamera() = default;

KineticBike* CCamera::targetBike() const {
    CModel* model = CModel::modelPtr;
    if (!model || cameraTargetId < 0 || static_cast<size_t>(cameraTargetId) >= model->objects.size())
        return nullptr;
    return dynamic_cast<KineticBike*>(model->objects[static_cast<size_t>(cameraTargetId)]);
}

float CCamera::groundHeightAt(float x, float z) {
    CModel* model = CModel::modelPtr;
    if (!model || model->worldId < 0 || static_cast<size_t>(model->worldId) >= model->objects.size())
        return 0.0f;
    auto* world = dynamic_cast<CWorldModel*>(model->objects[static_cast<size_t>(model->worldId)]);
    return world ? world->getHeightAt(x, z) : 0.0f;
}

void CCamera::doAction(const CPacket& packet, float) {
    const auto action = static_cast<uint32_t>(packet._action);
    oldButtons = freeCamButtons;
    if (action & kActClear) {
        freeCamButtons = 0;
        return;
    }
    uint16_t b = freeCamButtons;
    auto set = [&b](uint16_t bit, bool on) { b = static_cast<uint16_t>(on ? (b | bit) : (b & ~bit)); };
    if (action & kActPitchDown) {
        rotationMultXY = kRotationRate * (packet._parms[1] / 255.0f);
        set(FREECAM_PITCH_DOWN, true);
        set(FREECAM_PITCH_UP, false);
    } else if (action & kActPitchUp) {
        rotationMultXY = kRotationRate * (packet._parms[0] / 255.0f);
        set(FREECAM_PITCH_UP, true);
        set(FREECAM_PITCH_DOWN, false);
    } else {
        rotationMultXY = 0.0f;
        set(FREECAM_PITCH_UP | FREECAM_PITCH_DOWN, false);
    }
    if (action & kActYawLeft) {
        rotationMultXZ = kRotationRate * (packet._parms[2] / 255.0f);
        set(FREECAM_YAW_LEFT, true);
        set(FREECAM_YAW_RIGHT, false);
    } else if (action & kActYawRight) {
        rotationMultXZ = kRotationRate * (packet._parms[3] / 255.0f);
        set(FREECAM_YAW_RIGHT, true);
        set(FREECAM_YAW_LEFT, false);
    } else {
        rotationMultXZ = 0.0f;
        set(FREECAM_YAW_LEFT | FREECAM_YAW_RIGHT, false);
    }
    set(FREECAM_BACK, action & kActBack);
    set(FREECAM_RIGHT, action & kActRight);
    set(FREECAM_LEFT, action & kActLeft);
    set(FREECAM_AHEAD, action & kActAhead);
    set(FREECAM_UP, action & kActUp);
    set(FREECAM_DOWN, action & kActDown);
    freeCamButtons = b;
    if (action & kActFaster) translationMult = std::fmin(translationMult * 2.0f, 150.0f);
    if (action & kActSlower) translationMult = std::fmax(translationMult * 0.32768f, 0.1f);
}

void CCamera::snapPosition() {
    filterUM.stabilize(0.0f);
    filterRM.stabilize(0.0f);
    filterFM.stabilize(0.0f);
    linearAcceleration = qzVector3d();
    linearVelocity = qzVector3d();
    position = TargetPos;
}

void CCamera::snapLook() {
    filterUL.stabilize(0.0f);
    filterRL.stabilize(0.0f);
    filterFL.stabilize(0.0f);
    angularAcceleration = qzVector3d();
    angularVelocity = qzVector3d();
    lookPos = tryLookPos;
    lastLookPos = lookPos;
}

void CCamera::SetMode(int mode) {
    if (Mode == CAMMODE_CRASH && mode == CAMMODE_FOLLOW) {
        Mode = CAMMODE_FOLLOW;
        if (KineticBike* bike = targetBike()) {
            SetupBikeParams(bike);
            FigureTargetPos();
            snapPosition();
            FigureLookPos();
            snapLook();
        }
    } else {
        Mode = static_cast<uint32_t>(mode);
    }
    freeCamButtons = 0;
}

void CCamera::NextCameraSubMode() {
    if (++subMode >= 3) subMode = 0;
}

void CCamera::update(float) {
    viewPlaneDist = 512.0f;
    camRLLimit = 750.0f;
    camFBLimit = 1500.0f;
    camUDLimit = 200.0f;
    lookRLLimit = 400.0f;
    lookFBLimit = 4500.0f;
    lookUDLimit = 350.0f;
    if (Mode == CAMMODE_CRASH) {
        camRLLimit = 1800.0f;
        camFBLimit = 8000.0f;
        camUDLimit = 700.0f;
        lookFBLimit = 1500.0f;
    } else {
        if (Mode == CAMMODE_FOLLOW && subMode == 2) camFBLimit = 3000.0f;
        toCrashCam = 0.0f;
    }
    switch (Mode) {
        case CAMMODE_FREE:
            UpdateModeFree();
            break;
        case CAMMODE_FOLLOW:
            if (KineticBike* bike = targetBike()) FollowKineticBike(bike);
            break;
        case CAMMODE_CRASH:
            UpdateModeCrash();
            break;
        case CAMMODE_TRACKCAM_PAN:
            UpdateModeTrackCamPan();
            break;
        case CAMMODE_HOLD:
            filterUL.stabilize(0.0f);
            filterRL.stabilize(0.0f);
            filterFL.stabilize(0.0f);
            angularVelocity = qzVector3d();
            angularAcceleration = qzVector3d();
            lookPos = tryLookPos;
            lastLookPos = lookPos;
            break;
        case CAMMODE_PREGAME:
            UpdateModePregame();
            break;
        case CAMMODE_PAN:
            UpdateModePan();
            break;
        default:
            break;
    }
}

void CCamera::placeHudArrow() {
    if (!hudPointer) return;
    hudArrowPos = position + forwardVec * 400.0f - upVec * 125.0f;
    if (setHudArrowPos) setHudArrowPos(hudPointer, hudArrowPos);
}

void CCamera::setupCamera(C3DView* view) {
    if (Mode != CAMMODE_FREE) {
        upVec = qzVector3d(0.0f, 1.0f, 0.0f);
        forwardVec = lookPos - position;
        qzMath::qzMathVectorNormalize(&forwardVec);
        if (std::fabs(forwardVec * upVec) > 0.9f) {
            qzMath::qzMathVectorNegate(&upVec, &flatYForward);
        } else {
            lastLookPos = lookPos;
        }
        V3_Cross(&rightVec, &upVec, &forwardVec);
        V3_Cross(&upVec, &forwardVec, &rightVec);
        qzMath::qzMathVectorNormalize(&rightVec);
        qzMath::qzMathVectorNormalize(&upVec);
        float len = 0.0f;
        qzMath::qzMathVectorLength(&len, &forwardVec);
        if (len < 0.9f) {
            forwardVec = qzVector3d(0.0f, 0.0f, 1.0f);
            rightVec = qzVector3d(-1.0f, 0.0f, 0.0f);
            upVec = qzVector3d(0.0f, 1.0f, 0.0f);
        }
    }
    qzMatrix4 m;
    M4_Identity(&m);
    M4_SetRows(&m, &rightVec, &upVec, &forwardVec);
    m[12] = -(position * rightVec);
    m[13] = -(position * upVec);
    m[14] = -(position * forwardVec);
    if (view) {
        view->_view3d.veViewPlaneDist = viewPlaneDist;
        veDisplaySetCameraMatrix(&view->_view3d, &m);
    }
    Q_SetupFromMatrix(&qOrientation, &m);
    placeHudArrow();
}
