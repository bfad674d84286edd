// The computer rider's hands: turns an order into pressed buttons and analog amounts on its own bike
// controller, which makes the bike's packets exactly as for a pad.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "race/ai/ai_orders.h"

class CBikeController;
class CPacket;

// The rider's buttons (bits of buttonFlags).
enum AIButton : uint32_t {
    AIB_LEFT = 0x1,
    AIB_RIGHT = 0x2,
    AIB_ACCEL = 0x4,
    AIB_STUNT_A = 0x8,
    AIB_STUNT_B = 0x10,
    AIB_DOWN = 0x20,
    AIB_UP = 0x40,
    AIB_NITRO = 0x80,
    AIB_VIEW = 0x100,
    AIB_BRAKE = 0x200,
    AIB_WHIP = 0x400,
    AIB_PRELOAD = 0x800,
    AIB_STUNT_MODE = 0x1000,
};

class CAIBikeControl {
public:
    static int32_t JITTER_CONTROL;

    CAIBikeControl();  // both out of line, where the bike controller's type is complete
    ~CAIBikeControl();
    CAIBikeControl(const CAIBikeControl&) = delete;
    CAIBikeControl& operator=(const CAIBikeControl&) = delete;

    void initWithBikeID(int bikeId);
    void TranslateAndAppend(CAIControlPacket& order, std::vector<CPacket>& packets, bool altLine,
                            int numFrames);
    void UseTheControls(CAIControlPacket& order, int bikeId, bool altLine, int numFrames);

    int32_t buttonTime = 10;
    int32_t brakeTime = 0;
    uint32_t buttonFlags = 0;
    uint32_t controlFlags = 0;
    int32_t lastSpeed = 0;
    int32_t brakeSpeed = 0;
    uint8_t analogControl[10] = {};
    std::unique_ptr<CBikeController> pBikeController;

private:
    void press(uint32_t button, uint8_t amount = 255);
    void release(uint32_t buttons);
    // Presses a button, starting the wait before the next steering change when it was up.
    void Hold(uint32_t button);
    // UseTheControls' cases: a stunt's buttons, the pitch in the air, and on the ground the steering,
    // the stunt-like buttons and the throttle and brake.
    void StuntControls(const CAIControlPacket& order);
    void AirControls(const CAIControlPacket& order, const qzVector3d& forward);
    void Steer(const CAIControlPacket& order, const AIBikeFacts& bike, bool altLine);
    void Throttle(const CAIControlPacket& order, const AIBikeFacts& bike, int numFrames);
};
