// The race camera against a bike with no physics, in a model without a world (ground at y = 0): packet
// handling, mode switches, the tension filter, the follow target and its snaps, the view basis, the
// orbit pan, the crash framing, free flight and the sweep before the start.
#include "race/scene/camera.h"

#include <gtest/gtest.h>

#include <cmath>

#include "bike/kinetic_bike.h"
#include "bike/rider_model.h"
#include "game/model/model.h"
#include "game/model/packet.h"
#include "game/view/view_3d.h"

namespace {

const qzVector3d kBikeAt(0.0f, -1000.0f, 0.0f);
const qzVector3d kFollowTarget(0.0f, -1150.0f, -350.0f);  // 150 up, 350 behind a bike facing +z

void ExpectNear(const qzVector3d& a, const qzVector3d& b, float tol = 0.01f) {
    EXPECT_NEAR(a.x, b.x, tol);
    EXPECT_NEAR(a.y, b.y, tol);
    EXPECT_NEAR(a.z, b.z, tol);
}

class CameraTest : public ::testing::Test {
protected:
    void SetUp() override {
        CModel* model = GetModel();
        model->worldId = -1;
        bike = new KineticBike;
        bike->frame.forwardDir = qzVector3d(0.0f, 0.0f, 1.0f);
        bike->frame.rightDir = qzVector3d(1.0f, 0.0f, 0.0f);
        bike->cameraLookAtPos = bike->bikeCenterOfMassPos = kBikeAt;
        rider = new CRiderModel(0, -1);
        cam = new CCamera;
        model->objects.insert(model->objects.end(), {bike, rider, cam});
        cam->cameraTargetId = 0;
        cam->riderTargetId = 1;
    }
    void TearDown() override { delete CModel::modelPtr; }
    void Packet(int action, unsigned char amount = 255) {
        const unsigned char parms[10] = {amount, amount, amount, amount};
        cam->doAction(CPacket(2, PKT_ACTION, action, parms), 0.0f);
    }

    KineticBike* bike = nullptr;
    CRiderModel* rider = nullptr;
    CCamera* cam = nullptr;
};

TEST_F(CameraTest, FreeCameraPackets) {
    struct Row {
        int action;
        float multBefore;
        uint16_t buttons;
        float multAfter;
    } rows[] = {
        {0x1 | 0x800 | 0x1000 | 0x400, 75.0f, 0, 75.0f},  // clear wins over everything else
        {0x800, 75.0f, 0, 150.0f},
        {0x800, 150.0f, 0, 150.0f},
        {0x1000, 75.0f, 0, 24.576f},
        {0x1000, 0.2f, 0, 0.1f},
        {0x2 | 0x4, 75.0f, FREECAM_PITCH_DOWN, 75.0f},
        {0x8 | 0x10, 75.0f, FREECAM_YAW_LEFT, 75.0f},
        {0x400 | 0x100 | 0x80 | 0x200 | 0x40 | 0x20, 75.0f, 0x3F0, 75.0f},
    };
    for (const Row& r : rows) {
        cam->freeCamButtons = FREECAM_BACK | FREECAM_PITCH_UP;
        cam->translationMult = r.multBefore;
        Packet(r.action);
        EXPECT_EQ(cam->freeCamButtons, r.buttons) << std::hex << r.action;
        EXPECT_NEAR(cam->translationMult, r.multAfter, 1e-4f) << std::hex << r.action;
        EXPECT_EQ(cam->oldButtons, FREECAM_BACK | FREECAM_PITCH_UP);
    }
}

TEST_F(CameraTest, LeavingCrashModeSnapsOntoTheBikeAndOtherSwitchesDoNot) {
    cam->Mode = CAMMODE_CRASH;
    cam->linearVelocity = qzVector3d(5.0f, 5.0f, 5.0f);
    cam->SetMode(CAMMODE_FOLLOW);
    ExpectNear(cam->position, kFollowTarget);
    ExpectNear(cam->lookPos, cam->tryLookPos);
    EXPECT_EQ(cam->linearVelocity.x, 0.0f);

    cam->position = qzVector3d();
    cam->freeCamButtons = FREECAM_AHEAD;
    cam->SetMode(CAMMODE_FREE);
    cam->SetMode(CAMMODE_FOLLOW);
    EXPECT_EQ(cam->Mode, uint32_t{CAMMODE_FOLLOW});
    ExpectNear(cam->position, qzVector3d());
    EXPECT_EQ(cam->freeCamButtons, 0);
    for (uint32_t next : {2u, 0u, 1u}) {
        cam->NextCameraSubMode();
        EXPECT_EQ(cam->subMode, next);
    }
}

TEST_F(CameraTest, TensionFilterSettlesAtAllButOneSampleAndNeverLagsAboveTheOffset) {
    struct Row {
        float stable;
        float outputs[6];
    } rows[] = {{0.0f, {0.2f, 0.4f, 0.6f, 0.8f, 0.8f, 0.8f}}, {0.5f, {0.6f, 0.7f, 0.8f, 0.9f, 0.9f, 0.9f}}};
    const qzVector3d x(1.0f, 0.0f, 0.0f);
    for (const Row& r : rows) {
        cam->filterRL.stabilize(r.stable);
        for (float want : r.outputs) {
            const qzVector3d moved = cam->ApplyTens(x, 100.0f, cam->filterRL, 200.0f);
            EXPECT_NEAR(cam->filterRL.runningAvg, want, 1e-5f);
            EXPECT_NEAR(moved.x, want * 200.0f, 1e-3f);
        }
    }
    EXPECT_NEAR(cam->ApplyTens(x, 100.0f, cam->filterRL, -10.0f).x, -1.0f, 1e-5f);  // back to ratio -0.1
    EXPECT_NEAR(cam->filterRL.runningAvg, -0.1f, 1e-6f);
}

TEST_F(CameraTest, FollowSnapsBeyondFifteenThousandAndHoldsStillOnTarget) {
    for (float away : {15000.5f, 15000.0f}) {
        cam->Mode = CAMMODE_FOLLOW;
        cam->position = kFollowTarget - qzVector3d(0.0f, 0.0f, away);
        cam->update(0.0f);
        EXPECT_EQ(cam->teleport, away > 15000.0f ? 1 : 0) << away;
    }
    cam->position = kFollowTarget;
    cam->update(0.0f);
    cam->setupCamera(nullptr);
    const qzVector3d eye = cam->position, look = cam->lookPos;
    cam->update(0.0f);
    ExpectNear(cam->position, eye, 0.0f);
    ExpectNear(cam->lookPos, look, 0.0f);

    bike->frame.forwardDir = qzVector3d(0.0f, 1.0f, 0.0f);  // straight along +y
    cam->teleportIfFollowing();
    ExpectNear(cam->TargetPos, kBikeAt - qzVector3d(350.0f, 0.0f, 0.0f));
    ExpectNear(cam->tryLookPos, kBikeAt + qzVector3d(0.0f, 100.0f, 0.0f));
}

TEST_F(CameraTest, ViewBasis) {
    cam->Mode = CAMMODE_FOLLOW;
    cam->position = cam->lookPos = qzVector3d(10.0f, -500.0f, 10.0f);
    cam->setupCamera(nullptr);
    ExpectNear(cam->forwardVec, qzVector3d(0.0f, 0.0f, 1.0f), 0.0f);
    ExpectNear(cam->rightVec, qzVector3d(-1.0f, 0.0f, 0.0f), 0.0f);
    ExpectNear(cam->upVec, qzVector3d(0.0f, 1.0f, 0.0f), 0.0f);

    // A view handed over: the eye goes to the origin, the look point onto +z at its distance.
    C3DView view(0, 1);
    cam->position = qzVector3d(100.0f, -600.0f, 50.0f);
    cam->lookPos = cam->position + qzVector3d(300.0f, 0.0f, 400.0f);
    cam->setupCamera(&view);
    EXPECT_EQ(view._view3d.veViewPlaneDist, 512.0f);
    _vector3d ends[2] = {cam->position, cam->lookPos};
    M4_TransformVerts(&view._view3d.cameraMatrix, ends, ends, 2);
    ExpectNear({ends[0].x, ends[0].y, ends[0].z}, qzVector3d(), 1e-3f);
    ExpectNear({ends[1].x, ends[1].y, ends[1].z}, qzVector3d(0.0f, 0.0f, 500.0f), 1e-3f);

    // Looking almost straight down: the basis comes from the bike's heading, the last look point stays.
    cam->flatYForward = qzVector3d(0.0f, 0.0f, 1.0f);
    cam->lastLookPos = qzVector3d(1.0f, 2.0f, 3.0f);
    cam->lookPos = cam->position + qzVector3d(0.0f, 1000.0f, 10.0f);
    cam->setupCamera(nullptr);
    ExpectNear(cam->lastLookPos, qzVector3d(1.0f, 2.0f, 3.0f), 0.0f);
    EXPECT_NEAR(cam->rightVec * cam->forwardVec, 0.0f, 1e-5f);
    EXPECT_NEAR(cam->upVec * cam->forwardVec, 0.0f, 1e-5f);
    EXPECT_NEAR(cam->rightVec * cam->rightVec, 1.0f, 1e-5f);
}

TEST_F(CameraTest, OrbitPanAnglesRadiusAndRelease) {
    struct Angles {
        float phi, theta, wantPhi, wantTheta;
    } angles[] = {{10.0f, 0.0f, 45.0f, 0.0f}, {90.0f, -30.0f, 90.0f, 330.0f}, {90.0f, 359.5f, 90.0f, 359.5f}};
    for (const Angles& a : angles) {
        cam->positionPanCam(100.0f, a.phi, a.theta);
        const qzVector3d& v = cam->panVec;
        EXPECT_NEAR(std::acos(-v.y / 100.0f) * 57.29578f, a.wantPhi, 1e-3f);
        EXPECT_NEAR(std::fmod(std::atan2(v.z, v.x) * 57.29578f + 360.0f, 360.0f), a.wantTheta, 1e-3f);
        EXPECT_EQ(cam->phi, 0.0f);  // the caller's angles are not written back
    }
    const qzVector3d centre = kBikeAt + qzVector3d(0.0f, -200.0f, 80.0f);
    struct Radius {
        float start;
        int calls;
        float rho;
    } radii[] = {{100.0f, 1, 105.0f}, {100.0f, 3, 115.0f}, {897.0f, 1, 900.0f}, {890.0f, 3, 900.0f}};
    for (const Radius& r : radii) {
        cam->SetMode(CAMMODE_FOLLOW);
        cam->position = centre + qzVector3d(r.start, 0.0f, 0.0f);
        for (int i = 0; i < r.calls; ++i) cam->panCam(4, 255);
        EXPECT_NEAR(cam->rho, r.rho, 1e-3f);
        EXPECT_NEAR(cam->phi, 90.0f, 1e-3f);
        EXPECT_NEAR(cam->toPanCam, 0.02f * r.calls, 1e-6f);
    }
    for (int freeze : {0, 1}) {
        cam->SetMode(CAMMODE_FOLLOW);
        cam->panFreeze = freeze;
        cam->panCam(1, 255);
        for (int i = 0; i < 10; ++i) cam->update(0.0f);
        EXPECT_EQ(cam->Mode, freeze ? uint32_t{CAMMODE_PAN} : uint32_t{CAMMODE_FOLLOW});
        EXPECT_TRUE(std::isfinite(cam->position.x) && std::isfinite(cam->position.y));
    }
}

TEST_F(CameraTest, CrashFramingByDistanceAndCrashType) {
    struct Row {
        uint32_t crashType;
        float up, side, back;
    } rows[] = {{0, 200.0f, 603.6f, 400.0f}, {4, 250.0f, 905.3f, 600.0f}};
    rider->riderCenterOfMassPos = kBikeAt + qzVector3d(300.0f, 0.0f, 0.0f);
    for (const Row& r : rows) {
        bike->crash.crashType = r.crashType;
        cam->SetMode(CAMMODE_CRASH);
        cam->update(0.0f);
        ExpectNear(cam->TargetPos, kFollowTarget + qzVector3d(r.side, -r.up, -r.back), 0.06f);
        ExpectNear(cam->tryLookPos, kBikeAt + qzVector3d(150.0f, -100.0f, 0.0f));
    }
}

TEST_F(CameraTest, FreeFlightTravel) {
    struct Row {
        uint16_t buttons;
        qzVector3d move;
    } rows[] = {{FREECAM_BACK | FREECAM_AHEAD, {}},
                {FREECAM_AHEAD, {0.0f, 0.0f, 75.0f}},
                {FREECAM_BACK | FREECAM_RIGHT | FREECAM_UP, {75.0f, 75.0f, -75.0f}}};
    for (const Row& r : rows) {
        cam->Mode = CAMMODE_FREE;
        cam->position = qzVector3d();
        cam->freeCamButtons = r.buttons;
        cam->update(0.0f);
        ExpectNear(cam->position, r.move, 1e-3f);
        ExpectNear(cam->lookPos, cam->position + cam->forwardVec * 10.0f, 1e-3f);
    }
}

TEST_F(CameraTest, PregameSweepEndsInFollowModeAtTheFollowTarget) {
    cam->SetMode(CAMMODE_PREGAME);
    int steps = 0;
    for (; cam->Mode == CAMMODE_PREGAME && steps < 400; ++steps) cam->update(0.0f);
    EXPECT_NEAR(steps, 202, 1);
    EXPECT_EQ(cam->Mode, uint32_t{CAMMODE_FOLLOW});
    ExpectNear(cam->position, kFollowTarget, 2.0f);
}

}  // namespace
