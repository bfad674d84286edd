// The computer rider's decision maker: up to eight modules each propose an order with a priority; the
// highest wins, then difficulty and catch-up adjust its speed.
#pragma once

#include <memory>

#include "race/ai/ai_orders.h"

class CAIDecisionModule {
public:
    virtual float createOrders(CAIControlPacket& order, CAIPreCalc& pre) = 0;
    virtual ~CAIDecisionModule() = default;
};

class CAIDecisionMaker {
public:
    static constexpr int kMaxModules = 8;

    CAIDecisionMaker() = default;
    ~CAIDecisionMaker();
    CAIDecisionMaker(const CAIDecisionMaker&) = delete;
    CAIDecisionMaker& operator=(const CAIDecisionMaker&) = delete;

    // Takes the module while fewer than eight are loaded (true); a further module is refused and deleted.
    bool loadModule(std::unique_ptr<CAIDecisionModule> module);
    // Forgets the bike and deletes the modules.
    void reset();
    // The order for the next `numFrames` frames.
    void createOrders(CAIControlPacket& order, int numFrames);

    // The steps of createOrders, open for the race's tests: run the modules on facts already gathered
    // (the winner lands in `order`), then adjust its speed by difficulty and catch-up with the relative
    // position `r` of the chase target (positive: the target is ahead).
    void runModules(CAIControlPacket& order, CAIPreCalc& pre);
    void adjustSpeed(CAIControlPacket& order, CAIPreCalc& pre, float r);

    std::unique_ptr<CAIDecisionModule> decisionModules[kMaxModules];
    int32_t numModules = 0;
    int32_t bikeID = -1;
    int32_t chaseID = -1;
    int16_t difficulty = 2;
    int16_t useDifficulty = 2;
    uint8_t bAltLine = 0;
};
