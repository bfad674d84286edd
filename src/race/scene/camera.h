// The race camera: one per human player, a model object taking the free-camera packets and moved by
// every model step in one of its modes (free flight, following the bike, crash framing, track-camera
// pan, hold, the sweep before the start, orbit pan). Each rendered frame the player's 3D view takes its
// view matrix from it. Up is -y; world units are 100 per physics unit.
#pragma once

#include <cstdint>

#include "game/core/qz_math.h"
#include "game/model/dynamic_object.h"
#include "race/control/controller_targets.h"
#include "race/scene/camera_filter.h"

class C3DView;
class CHud;
class CWorldModel;
class KineticBike;

enum CameraMode : uint32_t {
    CAMMODE_FREE = 0,
    CAMMODE_FOLLOW = 1,
    CAMMODE_CRASH = 2,
    CAMMODE_TRACKCAM_PAN = 3,
    CAMMODE_HOLD = 4,
    CAMMODE_PREGAME = 5,
    CAMMODE_UNUSED = 6,
    CAMMODE_PAN = 7,
    CAMMODE_IDLE = 8,
};

// Free-camera buttons held (freeCamButtons).
enum FreeCamButton : uint16_t {
    FREECAM_PITCH_UP = 0x1,
    FREECAM_PITCH_DOWN = 0x2,
    FREECAM_YAW_LEFT = 0x4,
    FREECAM_YAW_RIGHT = 0x8,
    FREECAM_BACK = 0x10,
    FREECAM_RIGHT = 0x20,
    FREECAM_LEFT = 0x40,
    FREECAM_AHEAD = 0x80,
    FREECAM_DOWN = 0x100,
    FREECAM_UP = 0x200,
};

// The pad controller reaches it through CCameraTarget.
class CCamera : public CDynamicObject, public CCameraTarget {
public:
    // The HUD's 3D guide arrow, so that a camera with a hudPointer can move the arrow to a world point;
    // installed by the race (race/race_hooks.cpp). Without it the point is only kept in hudArrowPos.
    static void (*setHudArrowPos)(CHud* hud, const qzVector3d& pos);

    CCamera();
    ~CCamera() override;
    CCamera(const CCamera&) = delete;
    CCamera& operator=(const CCamera&) = delete;

    void update(float time) override;
    void doAction(const CPacket& packet, float time) override;

    void SetMode(int mode) override;
    void NextCameraSubMode() override;
    // The pad's orbit input (direction 0-3, amount 0-255).
    void panCam(int direction, int amount) override;
    // Hands the view matrix and view plane distance of this frame to the view.
    void setupCamera(C3DView* view);

    // Follow camera.
    void FollowKineticBike(KineticBike* bike);
    void SetupBikeParams(KineticBike* bike);
    bool FigureTargetPos();
    void FigureLookPos();
    void FigureLookGroundPos(qzVector3d& out, float lead, float blend);
    void MoveCam();
    void lazyLook();
    qzVector3d ApplyTens(qzVector3d axis, float limit, CLowFilter& filter, float distance);
    void teleportIfFollowing();
    void snapPosition();
    void snapLook();

    // The other modes.
    void UpdateModeFree();
    void UpdateModePan();
    void UpdateModePregame();
    void UpdateModeCrash();
    void UpdateModeTrackCamPan();
    void panCam(unsigned int direction, unsigned int amount);
    void positionPanCam(float rho, float phi, float theta);
    void SetupPregameParams(KineticBike* bike);

    // The bike named by cameraTargetId, null when that object is not a bike.
    KineticBike* targetBike() const;
    // Terrain height under (x, z) from the model's world; 0 without a world.
    static float groundHeightAt(float x, float z);

    uint32_t Mode = CAMMODE_IDLE;
    uint32_t subMode = 1;
    uint32_t lastSubMode = 1;
    int32_t cameraTargetId = -1;
    int32_t riderTargetId = -1;
    CHud* hudPointer = nullptr;
    int32_t teleport = 0;
    float viewPlaneDist = 512.0f;
    uint16_t freeCamButtons = 0;
    uint16_t oldButtons = 0;
    float rotationMultXY = 0.0f;
    float rotationMultXZ = 0.0f;
    float translationMult = 75.0f;
    float toAirCam = 0.0f, toPowerCam = 0.0f, leftRightPower = 0.0f;
    float targetSpeed = 0.0f;
    float targetAir = 0.0f;
    CLowFilter filterUM, filterRM, filterFM;
    qzVector3d TargetPos;
    float camRLLimit = 750.0f, camFBLimit = 1500.0f, camUDLimit = 200.0f;
    CLowFilter filterUL, filterRL, filterFL;
    qzVector3d tryLookPos;
    qzVector3d lookPos;
    qzVector3d lastLookPos;
    float lookRLLimit = 400.0f, lookFBLimit = 4500.0f, lookUDLimit = 350.0f;
    qzVector3d flatYForward;
    qzVector3d flatYRight;
    qzVector3d hbPos;
    qzVector3d hbLookV;
    qzVector3d forwardVec, rightVec, upVec;
    float toCrashCam = 0.0f;
    float offsetTheta = 0.0f, totalTheta = 0.0f, startMag = 0.0f, endMag = 0.0f, timeStep = 0.0f;
    qzVector3d startVec, endVec;
    int32_t panFreeze = 0;
    qzVector3d panVec;
    float phi = 0.0f, theta = 0.0f, rho = 0.0f;
    float toPanCam = 0.0f, prevPanCam = 0.0f;
    // The last point handed to the HUD arrow.
    qzVector3d hudArrowPos;

private:
    void placeHudArrow();
    // rho, phi and theta of panVec (degrees), guarded against a zero radius and rounding.
    void anglesFromPanVec();
};
