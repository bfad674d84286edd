#include "race/ai/ai_decision.h"

#include <utility>

CAIDecisionMaker::~CAIDecisionMaker() {
    reset();
}

bool CAIDecisionMaker::loadModule(std::unique_ptr<CAIDecisionModule> module) {
    if (numModules >= kMaxModules) return false;
    decisionModules[numModules++] = std::move(module);
    return true;
}

void CAIDecisionMaker::reset() {
    bikeID = -1;
    for (int i = 0; i < numModules; ++i) decisionModules[i].reset();
    numModules = 0;
}

void CAIDecisionMaker::runModules(CAIControlPacket& order, CAIPreCalc& pre) {
    // One candidate record for every module, never cleared between them: what a module leaves alone
    // keeps the previous module's value, and request bits pile up.
    CAIControlPacket candidate, best;
    float bestPriority = -1.0f;
    bAltLine = 0;
    for (int i = 0; i < numModules; ++i) {
        const float p = decisionModules[i]->createOrders(candidate, pre);
        if (candidate.aiFlags & AI_ALT_LINE) bAltLine = 1;
        if (p > bestPriority) {
            bestPriority = p;
            best = candidate;
        }
    }
    order = best;
    if (pre.inAir()) order.aiFlags |= AI_IN_AIR;
}

void CAIDecisionMaker::adjustSpeed(CAIControlPacket& order, CAIPreCalc& pre, float r) {
    // Speed up for a target ahead only when already asking for full speed; always ease off when ahead.
    if (r > 0.0f && float(order.speed) < 99.0f) r = 0.0f;
    useDifficulty = difficulty;
    pre.setBikeStability(r);
    float a = 3.0f * r;
    if (a > 0.15f) {
        useDifficulty = int16_t(useDifficulty + 1 > 3 ? 3 : useDifficulty + 1);
        a = 0.15f;
    } else if (a < -0.15f) {
        useDifficulty = int16_t(useDifficulty - 1 < 1 ? 1 : useDifficulty - 1);
        a = -0.15f;
    }
    if (difficulty == 3) a += 0.05f;
    if (difficulty == 1) a -= 0.05f;
    order.speed = int32_t(float(order.speed) + 100.0f * a);
}

void CAIDecisionMaker::createOrders(CAIControlPacket& order, int numFrames) {
    CAIPreCalc pre;
    pre.preFlags = bAltLine ? 0x1u : 0u;
    pre.difficulty = useDifficulty;
    pre.setBike(bikeID);
    pre.numFrames = numFrames;
    runModules(order, pre);
    adjustSpeed(order, pre, chaseID > 0 ? pre.relBikePos(chaseID) : 0.0f);
}
