// The show-off modules: wheelies and air stunts, and preloading before the track's jumps.
#include <cmath>

#include "game/core/random.h"
#include "race/ai/ai_modules.h"
#include "world/terrain_type.h"

namespace {

// How a planned stunt is played: A holds its list for 75 frames, B plays for 10 frames, C plays until K
// frames before the landing; A and C hold the last direction to the end.
enum Kind : uint8_t { KIND_A, KIND_B, KIND_C, KIND_NEVER };

struct Plan {
    int16_t threshold;  // frames to landing must exceed margin + threshold (or threshold alone)
    bool fixed;         // the threshold is absolute (200)
    Kind kind;
    int16_t k;  // kind C: margin + k frames before landing (absolute when fixedK)
    bool fixedK;
};

constexpr Plan kPlans[STUNT_NUM_STUNTS] = {
    {38, false, KIND_A, 0, false},  {42, false, KIND_A, 0, false},   {72, false, KIND_B, 0, false},
    {72, false, KIND_C, 36, false}, {98, false, KIND_C, 49, false},  {72, false, KIND_C, 36, false},
    {72, false, KIND_C, 36, false}, {200, true, KIND_B, 0, false},   {72, false, KIND_B, 0, false},
    {200, true, KIND_B, 0, false},  {106, false, KIND_C, 53, false}, {72, false, KIND_B, 0, false},
    {72, false, KIND_B, 0, false},  {98, false, KIND_C, 49, false},  {72, false, KIND_C, 36, false},
    {200, true, KIND_A, 0, false},  {106, false, KIND_B, 0, false},  {106, false, KIND_C, 53, false},
    {76, false, KIND_C, 38, false}, {200, true, KIND_C, 25, true},   {80, false, KIND_B, 0, false},
    {110, false, KIND_B, 0, false}, {200, true, KIND_B, 0, false},   {200, true, KIND_B, 0, false},
    {200, true, KIND_B, 0, false},  {0, true, KIND_NEVER, 0, false},
};

}  // namespace

void CAIStuntDM::plan(CAIPreCalc& pre) {
    airType = stuntName(GetRandom32Bits() % STUNT_NUM_STUNTS);
    const unsigned ticks = pre.getLandTime();
    stuntInstructions[0] = DIR_NUM_DIRS;
    if (CStuntMgr* mgr = CStuntMgr::theStuntMgr)
        mgr->getInstructions(airType, stuntInstructions, kInstructions, stuntI2, GetRandom32Bits());
    stuntIndex = 0;
    stuntFlags = 0;
    airTime = 0;
    const int m = pre.difficulty == 2 ? 24 : pre.difficulty == 1 ? 30 : 18;
    const Plan& p = kPlans[airType];
    if (p.kind == KIND_NEVER) return;
    const unsigned threshold = unsigned(p.fixed ? p.threshold : m + p.threshold);
    if (!(float(ticks) > float(threshold))) return;
    switch (p.kind) {
        case KIND_A:
            stuntFlags |= 0x4;
            topAirTime = airTime = 75;
            break;
        case KIND_B:
            topAirTime = airTime = 10;
            break;
        case KIND_C: {
            const int k = p.fixedK ? p.k : m + p.k;
            stuntFlags |= 0x4;
            topAirTime = airTime = int32_t(float(ticks) - float(k));
            break;
        }
        case KIND_NEVER:
            break;
    }
}

float CAIStuntDM::createOrders(CAIControlPacket& order, CAIPreCalc& pre) {
    --wheelieCheck;
    const qzVector3d& vel = pre.bikeInfo.bikeVel;
    const float len = std::sqrt(vel * vel);
    if (len > 0.1f) order.moveVec = vel * (1.0f / len);
    order.speed = 100;
    if (pre.terrTypeStorage == aiPreLoad) caughtALoad = 0;
    ++caughtALoad;
    if (pre.terrTypeStorage == jumpLand) caughtADouble = 0;
    ++caughtADouble;

    if (!pre.inAir()) {
        airTime = -1;
        if (wheelieCheck <= 0) {
            wheelieCheck = 3600;
            if (GetRandom32Bits() % 5 == 0) wheelieTime = int32_t(GetRandom32Bits() % 120 + 60);
        }
        if (wheelieTime != 0) {
            --wheelieTime;
            order.aiFlags |= AI_WHEELIE;
        }
        return 0.0f;
    }
    // A jump off a preload patch (when the bike reports its preload) or a double: plan once per jump.
    if (((caughtALoad < 30 && (pre.preFlags & 0x2)) || caughtADouble < 30) && airTime < 0) plan(pre);
    if (airTime <= 0) return 0.0f;

    airTime -= 2 * pre.numFrames;
    const unsigned i = stuntIndex < kInstructions ? stuntIndex : kInstructions - 1;
    stuntDir dir;
    if (stuntInstructions[i] == DIR_NUM_DIRS || stuntIndex >= kInstructions) {
        if ((stuntFlags & 0x4) && i > 0) {
            dir = stuntInstructions[i - 1];  // hold the last direction until landing
        } else {
            // The end, or a list with nothing in it to hold: the stunt is over.
            dir = DIR_NUM_DIRS;
            airTime = 0;
        }
    } else if (i > 0 && !(stuntFlags & 0x1) && stuntInstructions[i] == stuntInstructions[i - 1]) {
        dir = DIR_NEUTRAL;  // let go for a step so the repeat counts as a new press
        stuntFlags |= 0x1;
    } else {
        dir = stuntInstructions[i];
        ++stuntIndex;
        stuntFlags &= ~0x1u;
    }
    order.aiFlags |= AI_STUNT;
    order.stuntInfo = dir;
    order.stuntI2 = stuntI2;
    return 0.1f;
}

float CAIPreLoadDM::createOrders(CAIControlPacket& order, CAIPreCalc& pre) {
    if (pre.inAir()) return 0.0f;
    if (pre.terrTypeStorage != aiPreLoad) {
        assignedPriority = 0;
        return 0.0f;
    }
    const qzVector3d& vel = pre.bikeInfo.bikeVel;
    const float S = std::sqrt(vel * vel);
    if (S <= 1000.0f) return 0.0f;
    order.moveVec = vel / S;
    order.speed = 100;
    order.aiFlags |= AI_PRELOAD;
    if (assignedPriority) {
        ++aiCallCount;
        return aiCallCount >= 4 ? 0.0f : randomPriority;
    }
    assignedPriority = 1;
    aiCallCount = 0;
    switch (pre.difficulty) {
        case 3:
            randomPriority = 3.0f;
            break;
        case 2:
            randomPriority = GetRandomNumber(1.5f, 3.0f);
            break;
        case 1:
            randomPriority = GetRandomNumber(0.0f, 3.0f);
            break;
        default:
            randomPriority = 0.0f;
    }
    return randomPriority;
}
