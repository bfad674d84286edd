// The racer's rider as a motion view. Once per drawn frame it reads the bike (state bits, pending
// stunt, roll, pitch, height above the ground, speed) and the rider body (on the bike or thrown off, the
// crash pose), picks one of the rider motions and steps, holds, reverses, mirrors or blends it, keeps the
// bike's own motion view in step, puts the rider on the bike with hand and foot inverse kinematics, turns
// his head toward a nearby rival, records stunts in the bike's statistics and tells the bike whether
// landing now would crash a stunt.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "game/core/qz_math.h"
#include "race/scene/motion_view.h"
#include "race/scene/rider_ik.h"

class CKineticPhysicsView;
class CModelObject;
class CRiderModel;
class KineticBike;

namespace riderview {
// Rider states.
enum State : int32_t {
    kRiding = 0,
    kStopped = 1,
    kTurnLeft = 2,
    kTurnRight = 3,
    kStunt = 4,
    kBikeStunt = 5,
    kTransition = 6,
    kSlideLeft = 7,
    kSlideRight = 8,
    kAccelerate = 9,
    kCrashed = 10,
    kStandLeft = 12,
    kStandRight = 13,
    kWhip = 14,
};
// Motions (sub-files of the common-objects file).
enum Motion : int {
    kRide = 12,
    kStop = 13,
    kBikeStop = 14,
    kStandRightMotion = 15,
    kBikeStandRight = 16,
    kStandLeftMotion = 17,
    kBikeStandLeft = 18,
    kWhipMotion = 19,
    kBikeWhip = 20,
    kTurn = 21,
    kAccel = 22,
    kCrashAirFront = 24,
    kCrashBack = 25,
    kCrashAirBack = 26,
    kCrashRoll = 27,
    kCrashStand = 29,
    kBikeRide = 30,
    kCpuLeanSide = 31,
    kBikeCpuLeanSide = 32,
    kCpuLeanForward = 33,
    kBikeCpuLeanForward = 34,
    kFirstStunt = 35,
    kPreload = 68,
    kBikePreload = 69,
    kSlide = 70,
    kBikeSlide = 71,
    kWheelie = 74,
    kBikeWheelie = 75,
};
inline constexpr int kStuntCount = 33;
// The stunt tables, indexed by stunt motion - 35.
extern const uint32_t stuntPointValue[kStuntCount];
extern const uint16_t stuntCanLand[kStuntCount];
extern const uint8_t stuntCanHold[kStuntCount];
extern const char stuntNames[kStuntCount][100];
// Whether a motion may be landed past half its length (the preload and wheelie motions may), and
// whether its pose may be held (they may not); false for motions outside the stunts.
bool CanLand(uint32_t motion);
bool CanHold(uint32_t motion);
// Points of a stunt motion, 0 outside the table.
uint32_t StuntPoints(uint32_t motion);
const char* StuntName(uint32_t motion);
// Skeleton bones.
inline constexpr int kWaist = 1, kHead = 15, kLeftFootBone = 20;
}  // namespace riderview

class CRiderView : public CMotionView {
public:
    CRiderView(int modelObjectId, int descriptionId, int playerNumber, int motionIndex, unsigned int mirror,
               void* motionFile);
    ~CRiderView() override;

    void render(C3DView* view) override;
    // Steps once per drawn frame: a racer's views sit in every human's 3D view, and only the first
    // view's update steps them.
    void update(C3DView* view, float) override;
    void UpdateFrame(C3DView* view, unsigned int) override;

    void SetBikeView(CKineticPhysicsView* view);

    // The choosers.
    void getRiderMotion(KineticBike* bike);
    void doAccelerate(KineticBike* bike);
    bool checkWheelies(KineticBike* bike);
    bool checkPreloads(KineticBike* bike);
    bool checkPowerslides(KineticBike* bike, float roll);
    bool checkStops(KineticBike* bike);
    int checkTurns(KineticBike* bike);
    void doStunt(KineticBike* bike, int stunt, int mirror);
    void doInAirWhip(KineticBike* bike);
    void getCrashMotion(CRiderModel* rider);
    void checkTransition(KineticBike* bike);
    bool checkStuntLanding(KineticBike* bike);
    void TrackHead(KineticBike* bike);
    void IKMotion(CModelObject* rider, KineticBike* bike);

    int32_t startDone = 0;
    int32_t riderState = 0;
    int32_t gotoState = 0;
    CKineticPhysicsView* bikeView = nullptr;
    int32_t holdStunt = 0;
    float transCount = 0.0f;
    uint32_t holdFrames = 0;
    uint32_t oldAccel = 0;
    uint32_t accelCount = 0;
    uint32_t stuntFrames = 0;
    uint32_t holdCrash = 0;
    qzVector3d curHeadAxis;
    qzVector3d closestBikePos;
    uint32_t doTrack = 0;
    qzVector3d myPosition;
    float targetAngle = 0.0f;
    float currentAngle = 0.0f;
    int32_t headTimer = 60;
    int32_t closestBike = -1;
    float lastUpdateTime = 0.0f;
    // Right hand, left hand, right foot, left foot; null for computer racers.
    std::unique_ptr<std::unique_ptr<_ikProcess>[]> pIk;

private:
    // Starts a rider motion with its bike motion, then sets the state and mirror at once (direct start)
    // or leaves them for the transition. Returns true for a direct start.
    bool start(int motion, unsigned int rev, int bikeMotion, int bikeMirror, int state, int mirror,
               uint32_t dir);
    void headTracking(KineticBike* bike);
    bool airChain(KineticBike* bike, bool& stuntRequested);
    void groundChain(KineticBike* bike, float roll, bool& stopFired, bool& wheelie);
    float turnLimit(float length, float roll) const;
    float slideLimit(float length, float roll) const;
    // UpdateFrame's steps.
    // What the motion chosen this frame asks of the frame counter.
    struct FrameChoice {
        bool stopFired = false, wheelie = false, whip = false, stuntRequested = false;
        int turn = 0;
    };
    void countThrottle(KineticBike* bike);
    void restartRide();
    FrameChoice chooseMotion(CRiderModel* rider, KineticBike* bike, float roll);
    void advanceFrame(KineticBike* bike, float roll, bool late, const FrameChoice& choice);
    void noteStuntHeld(KineticBike* bike);
    void endOfMotion(KineticBike* bike, bool stuntRequested);
};
