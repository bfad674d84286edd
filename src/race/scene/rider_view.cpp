#include "race/scene/rider_view.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "bike/kinetic_bike.h"
#include "bike/rider_model.h"
#include "engine/anim/anim_pose.h"
#include "engine/hal/display.h"
#include "engine/hal/geometry.h"
#include "engine/hal/texture_manager.h"
#include "engine/hal/view_matrices.h"
#include "engine/sys/heap.h"
#include "game/core/global_options.h"
#include "game/model/pause_state.h"
#include "game/view/util.h"
#include "race/scene/bike_motion_view.h"

using namespace riderview;

namespace riderview {

const uint32_t stuntPointValue[kStuntCount] = {500, 800,  500,  800,  500,  500,  900,  400,  400, 700, 700,
                                               500, 500,  1300, 1300, 1100, 1100, 1300, 1300, 500, 500, 900,
                                               900, 1000, 1000, 900,  900,  600,  600,  700,  700, 800, 800};
const uint16_t stuntCanLand[kStuntCount] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0, 0,
                                            0, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
const uint8_t stuntCanHold[kStuntCount] = {1, 1, 1, 0, 1, 0, 1, 1, 1, 1, 1, 1, 1, 0, 0, 1, 1,
                                           1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
const char stuntNames[kStuntCount][100] = {
    "Nac Nac",         "Heel Clicker",   "Can Can",     "Cliffhanger",      "Superman",
    "Lazy Boy",        "Indian Air",     "Saran Wrap",  "Fender Grab",      "Bar Hop",
    "Rodeo Air",       "No Footer",      "No Hander",   "Double Grab Flip", "Tsunami Flip",
    "Kiss of Death",   "Dead Body",      "Rock Solid",  "Superman Seat",    "One Hand Lander",
    "One Foot Lander", "Hart Attack",    "Cordova",     "Lazy Rocket",      "Seat Stand",
    "Bar Spin Tuck",   "Coffin",         "Side Saddle", "Stripper Pole",    "Tail Whip Kick",
    "Double Can",      "Cross Up Reach", "Scorpion Tap"};

namespace {
bool InTable(uint32_t m) {
    return m >= kFirstStunt && m < kFirstStunt + kStuntCount;
}
}  // namespace

bool CanLand(uint32_t m) {
    if (m == kPreload || m == kWheelie) return true;
    return InTable(m) && stuntCanLand[m - kFirstStunt] != 0;
}
bool CanHold(uint32_t m) {
    return InTable(m) && stuntCanHold[m - kFirstStunt] != 0;
}
uint32_t StuntPoints(uint32_t m) {
    return InTable(m) ? stuntPointValue[m - kFirstStunt] : 0;
}
const char* StuntName(uint32_t m) {
    return InTable(m) ? stuntNames[m - kFirstStunt] : "";
}

}  // namespace riderview

namespace {

constexpr float kOneDegree = 0.0174533f;

bool Bit(uint32_t word, BikeFlags f) {
    return (word >> f) & 1u;
}

bool StuntState(int s) {
    return s == kStunt || s == kBikeStunt;
}

}  // namespace

CRiderView::CRiderView(int modelObjectId_, int descriptionId_, int playerNumber_, int motionIndex,
                       unsigned int mirror, void* motionFile)
    : CMotionView(modelObjectId_, descriptionId_, playerNumber_, motionIndex, mirror, motionFile) {
    reverse = 1;
    direction = 0;
    doMirror = mirror;
    blendMirror = 0;
    currentMotion = 0;
    currentFrame = 0.0f;
    doTransition = 0;
    for (uint32_t i = 5; i < skel.boneCount && i <= 26; ++i) {
        if ((i >= 5 && i <= 9) || (i >= 17 && i <= 21)) skel.boneArray[i].mirrorID = i + 5;
        if ((i >= 10 && i <= 14) || (i >= 22 && i <= 26)) skel.boneArray[i].mirrorID = i - 5;
    }
    auto* rider = dynamic_cast<CRiderModel*>(MotionViewObject(modelObjectId_));
    if (rider && skel.boneCount > kLeftFootBone) {
        const _vector3d& waist = skel.boneArray[kWaist].globalPos;
        const _vector3d& head = skel.boneArray[kHead].globalPos;
        const _vector3d& foot = skel.boneArray[kLeftFootBone].globalPos;
        rider->waistOffset = qzVector3d(waist.x, waist.y, waist.z);
        rider->headOffset = qzVector3d(waist.x - head.x, waist.y - head.y, waist.z - head.z);
        rider->LFootOffset = qzVector3d(waist.x - foot.x, waist.y - foot.y, waist.z - foot.z);
    }
}

CRiderView::~CRiderView() {
    // The solvers, then their table, before anything else of the view goes (as the heap has always seen).
    if (pIk)
        for (int i = 0; i < 4; ++i) pIk[i].reset();
    pIk.reset();
}

void CRiderView::SetBikeView(CKineticPhysicsView* view) {
    bikeView = view;
    auto* bike = view ? dynamic_cast<KineticBike*>(MotionViewObject(view->modelObjectId)) : nullptr;
    if (!bike || bike->isCPU || pIk || skel.boneCount <= 26) return;
    pIk = std::make_unique<std::unique_ptr<_ikProcess>[]>(4);
    bool (*const setups[4])(_ikProcess*, unsigned int) = {IK_SetupRightHand, IK_SetupLeftHand,
                                                          IK_SetupRightFoot, IK_SetupLeftFoot};
    for (int i = 0; i < 4; ++i) {
        pIk[i] = std::make_unique_for_overwrite<_ikProcess>();  // the set-up fills it
        setups[i](pIk[i].get(), IK_TYPE_LIMB_TO_TARGETPOS);
        IK_SetFlag(pIk[i].get(), 4);
        pIk[i]->bone = pIk[i]->limb;
    }
}

bool CRiderView::start(int motion, unsigned int rev, int bikeMotion, int bikeMirror, int state, int mirror,
                       uint32_t dir) {
    LoadMotion(motion, rev, false, true);
    if (bikeView) bikeView->doStunt(bikeMotion, bikeMirror);
    if (!doTransition) {
        direction = dir;
        riderState = state;
        doMirror = static_cast<uint32_t>(mirror);
        return true;
    }
    gotoState = state;
    blendMirror = mirror;
    return false;
}

float CRiderView::turnLimit(float length, float roll) const {
    const float l = length * std::min(std::fabs(roll), 40.0f) / 40.0f;
    return l >= length ? length - kStep : l;
}

float CRiderView::slideLimit(float length, float roll) const {
    const float l = length * std::min(std::fabs(roll), 50.0f) / 50.0f / 1.36f;
    return l >= length ? length - kStep : l;
}

void CRiderView::getRiderMotion(KineticBike* bike) {
    int motion = kRide, bikeMotion = kBikeRide, bikeMirror = 0;
    int mirror = 0;
    if (bike->getDistToGround() <= 75.0f) {
        if (!bike->isCPU) {
            if (currentMotion == kRide && !doTransition) {
                direction = 1;
                riderState = kRiding;
                doMirror = 0;
                return;
            }
        } else {
            const qzVector3d d = bike->getRiderDisplacement();
            if (d.z > 0.25f) {
                motion = kCpuLeanForward;
                bikeMotion = kBikeCpuLeanForward;
            } else if (d.x < -0.075f) {
                motion = kCpuLeanSide;
                bikeMotion = kBikeCpuLeanSide;
                bikeMirror = mirror = 1;
            } else if (d.x > 0.075f) {
                motion = kCpuLeanSide;
                bikeMotion = kBikeCpuLeanSide;
            } else {
                // Within the dead zone: the current motion and mirror stay.
                direction = 1;
                riderState = kRiding;
                return;
            }
        }
    }
    start(motion, 0, bikeMotion, bikeMirror, kRiding, mirror, 1);
}

void CRiderView::doAccelerate(KineticBike* bike) {
    const float roll = bike->ground.bikeRoll;
    if (Bit(bike->status.flags, BIKE_ON_GROUND) && std::fabs(roll) < 15.0f && !StuntState(riderState) &&
        riderState != kAccelerate && gotoState != kAccelerate) {
        start(kAccel, 0, kBikeRide, 0, kAccelerate, static_cast<int>(doMirror), 1);
        holdFrames = 0;
    } else if (riderState == kAccelerate) {
        if (Bit(bike->status.flags, BIKE_THROTTLE_UP) && currentFrame > motionFrames * 0.5f &&
            holdFrames < 120) {
            direction = 2;
            ++holdFrames;
        } else {
            direction = 1;
        }
    } else {
        direction = 1;
        holdFrames = 0;
    }
}

bool CRiderView::checkWheelies(KineticBike* bike) {
    if (!Bit(bike->status.flags, BIKE_WHEELIE)) return false;
    if (!StuntState(riderState))
        start(kWheelie, 0, kBikeWheelie, 0, kBikeStunt, static_cast<int>(doMirror), 1);
    else if (currentMotion == kWheelie && currentFrame > motionFrames * 0.5f)
        direction = 2;
    return true;
}

bool CRiderView::checkPreloads(KineticBike* bike) {
    if (riderState == kTurnLeft || riderState == kTurnRight || riderState == kSlideLeft ||
        riderState == kSlideRight || !Bit(bike->status.flags, BIKE_PRELOAD))
        return false;
    if (!StuntState(riderState)) {
        if (currentMotion == kPreload) return false;
        start(kPreload, 0, kBikePreload, 0, kBikeStunt, static_cast<int>(doMirror), 1);
        return true;
    }
    if (currentMotion == kPreload && currentFrame > motionFrames * 0.5f) {
        direction = 2;
        return true;
    }
    return false;
}

bool CRiderView::checkPowerslides(KineticBike* bike, float roll) {
    const bool left = Bit(bike->status.flags, BIKE_POWERSLIDE_LEFT),
               right = Bit(bike->status.flags, BIKE_POWERSLIDE_RIGHT);
    if ((!left && !right) || !(bike->frame.linearVelocityMag > 0.0f) || StuntState(riderState)) return false;
    int side = -1;
    if (right && riderState != kSlideRight)
        side = 1;
    else if (left && !right && riderState != kSlideLeft)
        side = 0;
    if (side < 0) return currentFrame < 0.5f;
    holdStunt = 1;
    if (!start(kSlide, 0, kBikeSlide, side, side ? kSlideRight : kSlideLeft, side, 2))
        setBlendFrame(slideLimit(blendMotionFrames, roll));
    else
        currentFrame = 0.0f;
    return false;
}

bool CRiderView::checkStops(KineticBike* bike) {
    if (bike->frame.linearVelocityMag != 0.0f) {
        if (!startDone) return false;
        direction = (riderState == kStandLeft || riderState == kStandRight) ? 1 : 0;
        return true;
    }
    if (riderState != kStopped && riderState != kStandLeft && riderState != kStandRight) {
        if (currentMotion != kStop) start(kStop, 1, kBikeStop, 0, kStopped, 0, 1);
        startDone = 1;
        return true;
    }
    auto standing = [&](int motion, int bikeMotion, int state) {
        if (currentMotion != static_cast<uint32_t>(motion)) {
            currentFrame = 0.0f;
            if (bikeView) bikeView->setCurrentFrame(0.0f);
            LoadMotion(motion, 1, false, true);
            if (bikeView) bikeView->doStunt(bikeMotion, 0);
            direction = 1;
            riderState = state;
            startDone = 1;
        } else if (currentFrame > motionFrames * 0.5f) {
            direction = 2;
        }
    };
    if (bike->ride.frontWheelTurnRight && riderState != kStandLeft)
        standing(kStandRightMotion, kBikeStandRight, kStandRight);
    else if (bike->ride.frontWheelTurnLeft) {
        if (riderState == kStandRight)
            direction = 1;
        else
            standing(kStandLeftMotion, kBikeStandLeft, kStandLeft);
    } else {
        direction = 1;
    }
    return true;
}

int CRiderView::checkTurns(KineticBike* bike) {
    if (riderState == kCrashed) return 0;
    const float roll = bike->ground.bikeRoll;
    const bool left = Bit(bike->status.flags, BIKE_LEFT_TURN) && roll > 0.0f;
    const bool right = !left && Bit(bike->status.flags, BIKE_RIGHT_TURN) && roll < 0.0f;
    if (left || right) {
        const int state = left ? kTurnLeft : kTurnRight;
        if (riderState == state) {
            direction = 1;  // held into the turn, up to the roll's limit
            return left ? 1 : 2;
        }
        if (start(kTurn, 1, kBikeRide, left ? 0 : 1, state, left ? 0 : 1, 1)) return left ? 1 : 2;
        setBlendFrame(turnLimit(blendMotionFrames, roll));
        return 0;
    }
    return currentMotion == kTurn ? 1 : 0;
}

void CRiderView::doInAirWhip(KineticBike* bike) {
    const int side = bike->air.inAirWhipPercent <= 0.0f ? 1 : 0;
    if (currentMotion != kWhipMotion) {
        start(kWhipMotion, 0, kBikeWhip, side, kWhip, side, 2);
    } else {
        doMirror = static_cast<uint32_t>(side);
        if (bikeView) bikeView->doMirror = static_cast<uint32_t>(side);
    }
}

void CRiderView::doStunt(KineticBike* bike, int stunt, int mirror) {
    const auto& riders = bike->riderAttributes.riderStuntList;
    const auto& bikes = bike->riderAttributes.bikeStuntList;
    // An entry outside the lists, or -1 in them, names no motion.
    const size_t k = static_cast<size_t>(stunt);
    const int riderMotion = stunt >= 0 && k < riders.size() ? static_cast<int16_t>(riders[k]) : -1;
    const int bikeMotion = stunt >= 0 && k < bikes.size() ? static_cast<int16_t>(bikes[k]) : -1;
    if (riderMotion >= 0 && !StuntState(riderState)) {
        bike->inStunt = 1;
        CStats& st = bike->bikeStats;
        const int n = st.numStuntsThisJump;
        // The statistics hold eight stunts a jump; further ones play but are not recorded.
        if (n >= 0 && n < CStats::kMaxStuntsPerJump) {
            st.stuntsPerformedThisJump[n] = stunt;
            st.stuntLanded[n] = 0;
            st.stuntPointValue[n] = static_cast<int32_t>(StuntPoints(static_cast<uint32_t>(riderMotion)));
            std::snprintf(st.stuntName[n], sizeof st.stuntName[n], "%s",
                          StuntName(static_cast<uint32_t>(riderMotion)));
            st.numStuntsThisJump = n + 1;
        }
        stuntFrames = 0;
        const bool withBike = bikeMotion >= 0;
        if (start(riderMotion, 0, withBike ? bikeMotion : kBikeRide, withBike ? mirror : 0,
                  withBike ? kBikeStunt : kStunt, mirror, 1))
            currentFrame = 0.0f;
    } else if (riderMotion >= 0 && CanHold(currentMotion) && currentFrame > motionFrames * 0.5f) {
        direction = 2;
        ++stuntFrames;
    }
}

void CRiderView::getCrashMotion(CRiderModel* rider) {
    const uint32_t c = static_cast<uint32_t>(rider->riderCrashState);
    int m = kCrashBack;
    if (c <= 5)
        m = kCrashRoll;
    else if (c <= 9)
        m = kCrashStand;
    else if (c <= 13 || (c >= 46 && c <= 53))
        m = kCrashAirFront;
    else if (c <= 29 || (c >= 54 && c <= 69))
        m = kCrashBack;
    else if (c <= 45)
        m = kCrashAirBack;
    if (currentMotion != static_cast<uint32_t>(m)) LoadMotion(m, 1, true, true);
    holdCrash =
        (c == 17 || c == 25 || c == 29 || c == 41 || c == 45 || c == 61 || currentMotion == kCrashBack);
    gotoState = kCrashed;
    if (bikeView) {
        bikeView->setCurrentFrame(0.0f);
        bikeView->LoadMotion(kBikeRide, 0, false, true);
    }
}

void CRiderView::checkTransition(KineticBike* bike) {
    if (doMirror) veAnimMirrorAnglesFast(angleArray, &skel);
    float bf = -1.0f;
    if (gotoState == kTurnLeft || gotoState == kTurnRight)
        bf = turnLimit(blendMotionFrames, bike->ground.bikeRoll);
    else if (gotoState == kSlideLeft || gotoState == kSlideRight)
        bf = slideLimit(blendMotionFrames, bike->ground.bikeRoll);
    else if (gotoState == kWhip)
        bf = std::fabs(bike->air.inAirWhipPercent) * blendMotionFrames * 0.5f;
    if (bf >= 0.0f) {
        setBlendFrame(bf);
        if (bikeView) bikeView->setBlendFrame(bf);
    }
    samplePose(blendAngleArray, blendAnim, blendCurrentFrame, blendMirror != 0);
    if (hasPose()) veAnimBlendMotion(angleArray, angleArray, blendAngleArray, &skel, transCount / 5.0f);
    transCount += 1.0f;
    IKMotion(MotionViewObject(modelObjectId), bike);
    if (transCount >= 5.0f) {
        const float start = blendCurrentFrame;
        transCount = 0.0f;
        doTransition = 0;
        currentFrame = 0.0f;
        riderState = gotoState;
        gotoState = -1;
        doMirror = static_cast<uint32_t>(blendMirror);
        LoadMotion(static_cast<int>(blendMotion), blendReverse, false, true);
        currentFrame = start;
        direction = 1;
    } else {
        riderState = kTransition;
    }
    blendCurrentFrame += kStep;
    if (blendCurrentFrame > blendMotionFrames) blendCurrentFrame = blendMotionFrames - kStep;
    if (bikeView) bikeView->setBlendFrame(blendCurrentFrame);
}

bool CRiderView::checkStuntLanding(KineticBike*) {
    if (currentMotion == kPreload) return false;
    if (StuntState(riderState)) {
        if (currentFrame >= motionFrames - 5.0f * kStep) return false;
        if (CanLand(currentMotion)) return currentFrame < motionFrames * 0.5f;
        return true;
    }
    return doTransition && StuntState(gotoState) && blendMotion != kPreload;
}

void CRiderView::headTracking(KineticBike* bike) {
    --headTimer;
    if (!bike->laps.startRace) return;
    auto bikeAt = [](int i) -> KineticBike* {
        return i >= 0 && i < static_cast<int>(KineticBike::kMaxRacers) ? KineticBike::racers[i] : nullptr;
    };
    if (headTimer > 0 && doTrack == 1) {
        myPosition = bike->position;
        if (KineticBike* o = bikeAt(closestBike)) closestBikePos = o->position;
    }
    if (headTimer == 0) {
        if (doTrack) {
            doTrack = 0;
            headTimer = 300;
            return;
        }
        headTimer = 30;
        float best = 10000.0f;
        for (unsigned i = 0; i < KineticBike::kMaxRacers; ++i) {
            KineticBike* o = KineticBike::racers[i];
            if (!o || o == bike) continue;
            float d2;
            qzMath::qzMathVectorDistanceSquared(&d2, &myPosition, &o->position);
            if (d2 < best) {
                best = d2;
                doTrack = 1;
                closestBike = static_cast<int32_t>(i);
                myPosition = bike->position;
                closestBikePos = o->position;
            }
        }
        return;
    }
    if (doTrack || !bike->laps.currentCheckPoint) return;
    for (unsigned i = 0; i < KineticBike::kMaxRacers; ++i) {
        KineticBike* o = KineticBike::racers[i];
        if (!o || o == bike || o->laps.currentCheckPoint != bike->laps.currentCheckPoint) continue;
        const float dt = std::fabs(o->laps.curWayTime - bike->laps.curWayTime);
        if (dt < 10.0f && o->laps.curWayTime != bike->laps.curWayTime) {
            doTrack = 1;
            closestBike = static_cast<int32_t>(i);
            headTimer = 30;
            myPosition = bike->position;
            closestBikePos = o->position;
        }
    }
}

void CRiderView::TrackHead(KineticBike* bike) {
    if (!hasPose() || skel.boneCount <= kHead) return;
    qzVector3d dir = closestBikePos - myPosition;
    float len;
    qzMath::qzMathVectorDistance(&len, &closestBikePos, &myPosition);
    float c = 1.0f, s = 0.0f;
    if (len > 0.0f) {
        dir = dir / len;
        c = dir * bike->frame.forwardDir;
        s = dir * bike->frame.rightDir;
    }
    targetAngle = doTrack ? std::min(std::acos(std::clamp(c, -1.0f, 1.0f)), X_PI / 4.0f) : 0.0f;
    if (s > 0.0f) targetAngle = -targetAngle;
    if (currentAngle > targetAngle) currentAngle = std::max(currentAngle - kOneDegree, targetAngle);
    if (currentAngle < targetAngle) currentAngle = std::min(currentAngle + kOneDegree, targetAngle);
    qzVector3d axis = curHeadAxis;
    if (doMirror) {
        axis.x = -axis.x;
        axis.z = -axis.z;
    }
    Q_SetupFromAngles(&angleArray->angles[kHead], axis.x, currentAngle, axis.z);
}

void CRiderView::IKMotion(CModelObject* model, KineticBike* bike) {
    computePalette();
    auto* rider = dynamic_cast<CRiderModel*>(model);
    if (!rider || !bike || !hasPose()) return;
    if (rider->riderState == CRiderModel::kOnBike) {
        const qzVector3d d = bike->getRiderDisplacement();
        rider->position = bike->position + bike->frame.rightDir * d.x + bike->frame.upDir * d.y +
                          bike->frame.forwardDir * d.z;
        if (!bike->isCPU && pIk) {
            const qzVector3d shift(-d.x, d.y, d.z);
            for (int i = 0; i < 4; ++i) {
                pIk[i]->getTargetFunc(this, pIk[i].get(), &pIk[i]->target);
                pIk[i]->target = pIk[i]->target - shift;
            }
            for (int i : {3, 0, 2, 1}) IK_ServiceProcess(this, pIk[i].get());
        }
    }
    if (skel.boneCount > kHead) {
        Q_GetAxis(&angleArray->angles[kHead], &curHeadAxis);
        TrackHead(bike);
    }
    computePalette();
}

bool CRiderView::airChain(KineticBike* bike, bool& requested) {
    requested = bike->checkMessage(BIKEACTION_STUNT);
    if (requested && holdStunt) {
        const int p = bike->input.pressed[BIKEACTION_STUNT];
        doStunt(bike, p < 0 ? -p : p, p < 0 ? 1 : 0);
        return false;
    }
    if (StuntState(riderState)) {
        holdStunt = 0;
        direction = 1;
    } else if (bike->air.inAirWhipPercent != 0.0f) {
        doInAirWhip(bike);
        return true;
    } else {
        bike->inStunt = 0;
    }
    return false;
}

void CRiderView::groundChain(KineticBike* bike, float roll, bool& stopFired, bool& wheelie) {
    if ((wheelie = checkWheelies(bike))) return;
    if (checkPreloads(bike)) return;
    if (checkPowerslides(bike, roll)) return;
    if ((stopFired = checkStops(bike))) return;
    const bool press = accelCount == 1;
    if (press || riderState == kAccelerate || gotoState == kAccelerate) {
        doAccelerate(bike);
        return;
    }
    if (StuntState(riderState)) {
        if (currentMotion != kPreload && CanLand(currentMotion)) {
            CStats& st = bike->bikeStats;
            const int n = st.numStuntsThisJump;
            if (n > 0 && n <= CStats::kMaxStuntsPerJump) st.stuntLanded[n - 1] = 1;
            getRiderMotion(bike);
        }
        holdStunt = 0;
        direction = 1;
        return;
    }
    if (riderState == kWhip) {
        direction = 2;
        return;
    }
    if ((riderState == kSlideLeft || riderState == kSlideRight) && std::fabs(roll) < 10.0f) direction = 0;
}

void CRiderView::UpdateFrame(C3DView*, unsigned int) {
    if (CPauseState::pauseSwitch == 1 || !hasPose()) return;
    auto* rider = dynamic_cast<CRiderModel*>(MotionViewObject(modelObjectId));
    auto* bike = rider ? rider->bike() : nullptr;
    if (!bike) return;
    const bool late = gameTime - lastUpdateTime > 0.03f;
    lastUpdateTime = gameTime;

    headTracking(bike);
    countThrottle(bike);
    if (currentFrame < 0.0f) currentFrame = 0.0f;
    const float roll = bike->ground.bikeRoll;
    if (Bit(bike->status.flags, BIKE_RECOVER) || Bit(bike->status.lastFlags, BIKE_RECOVER)) restartRide();

    samplePose(angleArray, anim, currentFrame, false);
    if (doTransition) {
        checkTransition(bike);
        return;
    }
    const FrameChoice choice = chooseMotion(rider, bike, roll);
    if (doMirror) veAnimMirrorAnglesFast(angleArray, &skel);
    if (!doTransition) advanceFrame(bike, roll, late, choice);

    IKMotion(rider, bike);
    bike->crash.stuntCrashFlag = checkStuntLanding(bike) ? 1 : 0;
    noteStuntHeld(bike);
    endOfMotion(bike, choice.stuntRequested);
}

// The frames since the throttle was last opened, up to 120.
void CRiderView::countThrottle(KineticBike* bike) {
    const uint32_t up = Bit(bike->status.flags, BIKE_THROTTLE_UP) ? 1u : 0u;
    if (up && !oldAccel && accelCount == 0)
        accelCount = 1;
    else if (accelCount)
        accelCount = accelCount < 120 ? accelCount + 1 : 0;
    oldAccel = up;
}

// The bike put back on the track: riding again from the start.
void CRiderView::restartRide() {
    currentFrame = 0.0f;
    if (bikeView) bikeView->setCurrentFrame(0.0f);
    LoadMotion(kRide, 0, false, true);
    if (bikeView) bikeView->doStunt(kBikeRide, 0);
    riderState = kRiding;
    direction = 1;
}

// The crash, air or ground chain picks the motion; then the way the frames run and the crash flags.
CRiderView::FrameChoice CRiderView::chooseMotion(CRiderModel* rider, KineticBike* bike, float roll) {
    FrameChoice c;
    if (rider->riderState != CRiderModel::kOnBike) {
        isCrashing = 1;
        if (bikeView) bikeView->isCrashing = 1;
        getCrashMotion(rider);
    } else if (bike->crash.postCrashHitGround) {
        if (bike->getDistToGround() > 75.0f)
            c.whip = airChain(bike, c.stuntRequested);
        else
            groundChain(bike, roll, c.stopFired, c.wheelie);
    }

    if (!(StuntState(riderState) || riderState == kCrashed || StuntState(gotoState) || c.stopFired ||
          reverse == 0))
        direction = 0;

    if (!Bit(bike->status.flags, BIKE_INAIR)) {
        if (currentMotion == kWhipMotion) getRiderMotion(bike);
        if (!c.stopFired) c.turn = checkTurns(bike);
        bike->inStunt = 0;
        holdStunt = 1;
    }
    if (doTransition) riderState = kTransition;
    if (rider->riderState != CRiderModel::kOnBike && !rider->crashMoving) direction = 2;
    if (bike->crash.postCrashHitGround && rider->riderState == CRiderModel::kOnBike) {
        isCrashing = 0;
        if (bikeView) bikeView->isCrashing = 0;
    }
    return c;
}

// One step forward or back (two when the frame came late), held to how far the turn, slide, wheelie or
// whip reaches into its motion.
void CRiderView::advanceFrame(KineticBike* bike, float roll, bool late, const FrameChoice& choice) {
    if (bikeView) bikeView->setCurrentFrame(currentFrame);
    const float step = late ? 2.0f * kStep : kStep;
    if (direction == 1)
        currentFrame += step;
    else if (direction == 0)
        currentFrame -= step;
    float limit = -1.0f;
    bool capped = true;
    if (choice.turn)
        limit = motionFrames * std::min(std::fabs(roll), 40.0f) / 40.0f;
    else if (currentMotion == kSlide &&
             !((riderState == kSlideLeft || riderState == kSlideRight) && std::fabs(roll) < 10.0f))
        limit = motionFrames * std::min(std::fabs(roll), 50.0f) / 50.0f / 1.36f;
    else if (choice.wheelie)
        limit = motionFrames * std::min(std::fabs(bike->ground.bikePitch), 55.0f) / 55.0f / 2.0f;
    else if (choice.whip) {
        limit = motionFrames / 2.0f * std::fabs(bike->air.inAirWhipPercent);
        capped = false;
    }
    if (limit >= 0.0f) {
        if (capped && limit >= motionFrames) limit = motionFrames - kStep;
        currentFrame = std::min(currentFrame, limit);
    }
}

// A stunt near its motion's end is over; one still going counts its frames in the jump's statistics.
void CRiderView::noteStuntHeld(KineticBike* bike) {
    if (currentFrame >= motionFrames - 5.0f * kStep) {
        holdStunt = 1;
        bike->inStunt = 0;
    }
    CStats& st = bike->bikeStats;
    if (bike->inStunt && st.numStuntsThisJump > 0 && st.numStuntsThisJump <= CStats::kMaxStuntsPerJump)
        st.stuntsHeldThisJump[st.numStuntsThisJump - 1] = static_cast<float>(stuntFrames);
}

// At either end of the motion: the next one chosen, the crash or stand held, or the stop started.
void CRiderView::endOfMotion(KineticBike* bike, bool stuntRequested) {
    if (currentFrame <= kStep && (riderState == kTurnLeft || riderState == kTurnRight)) getRiderMotion(bike);
    if (currentFrame <= 0.0f) {
        currentFrame = 0.0f;
        startDone = 0;
    }
    if (currentFrame + kStep > motionFrames) {
        currentFrame = motionFrames - kStep;
        if (reverse == 0) {
            if (!stuntRequested && riderState != kWhip) getRiderMotion(bike);
        } else if (riderState == kCrashed && !holdCrash) {
            currentFrame = 0.0f;
        } else if (riderState == kStandLeft || riderState == kStandRight) {
            currentFrame = 0.0f;
            if (bikeView) bikeView->setCurrentFrame(0.0f);
            LoadMotion(kStop, 1, false, true);
            if (bikeView) bikeView->doStunt(kBikeStop, 0);
            setCurrentFrame(-1.0f);
            if (bikeView) bikeView->setCurrentFrame(-1.0f);
            direction = 2;
            riderState = kStopped;
        }
    }
}

void CRiderView::update(C3DView* view, float) {
    if (!view || view->viewNum == 0) UpdateFrame(view, 0);
}

void CRiderView::render(C3DView* view) {
    auto* rider = dynamic_cast<CRiderModel*>(MotionViewObject(modelObjectId));
    if (!rider || !hasPose() || !(raceOptions & kDrawRiders)) return;
    KineticBike* bike = rider->bike();
    _matrix4 m;
    modelMatrix(rider, rider->position, &m);
    // Activating the view resets the local-to-world matrix: the model matrix follows it.
    veDisplayActivateView(&view->_view3d);
    clipWithModelMatrix(view, rider, m);
    if (LOD == -1) return;
    setupLights(bike && bike->crash.invulnerabilityCounter > 0 ? 1 : 0);
    drawSkinned();
    // Debug: the rider's body as a white wire frame.
    if (gameOptions.gameOptions & 0x40)
        CUtil::drawDebugRigidBody(rider->rider ? rider->rider.get() : rider->getRigidBody(0), &view->_view3d,
                                  255, 255, 255);
}
