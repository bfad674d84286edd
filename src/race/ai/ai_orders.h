// What a computer rider decides in one step: an order (direction, speed, steering dead band, stunt input
// and request bits) and the facts the decision modules work from.
#pragma once

#include <cstdint>
#include <vector>

#include "game/core/qz_math.h"
#include "race/control/stunt_mgr.h"

class CModel;
class KineticBike;

// Request bits of an order.
enum AIFlag : uint32_t {
    AI_NITRO = 0x1,        // use nitro
    AI_ALT_LINE = 0x2,     // take the alternate racing line from the next step on
    AI_WHEELIE = 0x8,      // wheelie (on the ground)
    AI_STUNT = 0x10,       // perform a stunt (in the air)
    AI_PRELOAD = 0x20,     // preload the suspension
    AI_POWERSLIDE = 0x40,  // power slide
    AI_OFF_LINE = 0x80,    // far off the racing line: braking allowed at speed
    AI_IN_AIR = 0x100,     // the bike is in the air
    AI_TURN_BACK = 0x200,  // brake: the gate still to take lies inside the turn the bike makes at its speed
};

// One order. Built on the stack for each step, never stored.
struct CAIControlPacket {
    qzVector3d moveVec;  // desired direction of travel (world)
    int32_t speed = 0;   // desired speed, 0..100 as a rule (the throttle)
    float tolerance = 0.2f;
    stuntDir stuntInfo = DIR_NEUTRAL;
    stuntType stuntI2 = STUNT_TYPE_A;
    uint32_t aiFlags = 0;
};

// Every racer's bike, in the order the race added them. One instance, made on first use.
class CAIBikeIter {
public:
    static CAIBikeIter* theBikeIter;
    static CAIBikeIter* getInstance();
    virtual ~CAIBikeIter();

    void addBike(KineticBike* bike);
    KineticBike* getFirstBike();
    KineticBike* getNextBike();

    std::vector<KineticBike*> bikeVector;
    size_t myIter = 0;
    uint8_t iterGood = 0;

private:
    CAIBikeIter() = default;
};

// The facts of one AI step about the own bike and its surroundings, rebuilt for every step.
class CAIPreCalc {
public:
    static constexpr int kMaxOtherBikes = 7;

    struct basicBikeInfo {
        qzVector3d bikePos;
        qzVector3d bikeVel;  // linear velocity x 100
        qzVector3d bikeFor;
        int32_t lapNum = 0;
    };
    struct splineReturnInfo {
        qzVector3d forwardNearPos, forwardFarPos;
        qzVector3d AtVel, NearVel, FarVel;
    };

    // Fills everything for the bike with model object id `id`.
    void setBike(int id);
    bool firstBike(basicBikeInfo& out);
    bool nextBike(basicBikeInfo& out);
    // The other racer's progress minus the own, in laps; positive when the other is ahead. 0 when either
    // bike is missing.
    float relBikePos(int otherId);
    // Frames (60 a second) until the bike lands; kept as it is when there is no bike.
    unsigned getLandTime();
    // Writes the bike's crash tolerance from the relative position `r` (see relBikePos).
    void setBikeStability(float r);
    void fillOtherBike();
    void fillSplineData();

    // The bike counts as in the air above this height: 5 + 100 x the radius of its rear wheel.
    bool inAir() const { return aboveGround > airHeight; }

    int32_t myBikeID = -1;
    CModel* pModel = nullptr;
    KineticBike* pBike = nullptr;
    float curWayTime = 0.0f;
    int32_t terrTypeStorage = 0;
    int32_t curOtherBike = 0;
    int32_t otherBikeCount = 0;
    float aboveGround = 0.0f;
    float airHeight = 55.0f;
    basicBikeInfo bikeInfo;
    basicBikeInfo otherBikes[kMaxOtherBikes];
    splineReturnInfo splineData;
    CAIBikeIter* bikeIter = nullptr;
    int32_t difficulty = 2;
    uint32_t preFlags = 0;  // 0x1 alternate line, 0x2 preload reported, 0x4 power slide breaking away
    uint32_t ticksToLand = 0;
    int32_t numFrames = 1;
    // The way time's point lies in a checkpoint gate the bike has still to take: the line's look-ahead
    // is the gate's point itself.
    uint8_t gateToTake = 0;
};

// The model object `id` as a bike, or null when there is none of that type.
KineticBike* AIBikeById(int id);

// What the rider's hands feel of a bike: its velocity (x 100) and forward direction, and its nitro
// charges; zeros when the id names no bike.
struct AIBikeFacts {
    qzVector3d velocity, forward;
    int32_t nitrosAvailable = 0;
};
AIBikeFacts AIBikeFactsOf(int id);
