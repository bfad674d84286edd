// The five decision modules of a computer rider: racing line, avoiding, blocking, stunts and preload.
#pragma once

#include "race/ai/ai_decision.h"

// Follows the racing line of the rider's difficulty.
class CAISplineDM : public CAIDecisionModule {
public:
    float createOrders(CAIControlPacket& order, CAIPreCalc& pre) override;
    int32_t offPowerSlide = 0;  // steps since a power slide could last end
};

// Swerves past bikes about to cross the rider's path.
class CAIAvoidDM : public CAIDecisionModule {
public:
    float createOrders(CAIControlPacket& order, CAIPreCalc& pre) override;
};

// Steers into the path of a rider about to pass.
class CAIBlockDM : public CAIDecisionModule {
public:
    float createOrders(CAIControlPacket& order, CAIPreCalc& pre) override;
};

// Wheelies on the ground; picks and plays a stunt in the air after a big jump.
class CAIStuntDM : public CAIDecisionModule {
public:
    static constexpr unsigned kInstructions = 32;
    float createOrders(CAIControlPacket& order, CAIPreCalc& pre) override;

    int32_t wheelieTime = 0;
    int32_t wheelieCheck = 0;
    int32_t airTime = -1;  // -1 on the ground, 0 when nothing is planned for this jump
    int32_t topAirTime = 0;
    uint32_t caughtALoad = 31;    // steps since the last preload patch
    uint32_t caughtADouble = 31;  // steps since the last jump-landing patch
    stuntName airType = STUNT_INVALID;
    uint32_t stuntIndex = 0;
    stuntDir stuntInstructions[kInstructions] = {};
    stuntType stuntI2 = STUNT_TYPE_A;
    uint32_t stuntFlags = 0;  // 0x1 a neutral was just inserted; 0x4 hold the last direction

private:
    void plan(CAIPreCalc& pre);
};

// Preloads the suspension on the track's preload patches.
class CAIPreLoadDM : public CAIDecisionModule {
public:
    float createOrders(CAIControlPacket& order, CAIPreCalc& pre) override;
    float randomPriority = 0.0f;
    int32_t aiCallCount = 0;
    uint8_t assignedPriority = 0;
};
