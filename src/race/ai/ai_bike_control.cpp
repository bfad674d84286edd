#include "race/ai/ai_bike_control.h"

#include <cmath>
#include <cstring>
#include <memory>

#include "game/model/packet.h"
#include "race/control/bike_controller.h"

int32_t CAIBikeControl::JITTER_CONTROL = 10;

namespace {

// Each button's bike-controller bit and analog entry (-1: none).
struct ButtonMap {
    uint32_t button, control;
    int analog;
};
constexpr ButtonMap kButtons[] = {
    {AIB_LEFT, 0x4, 2},      {AIB_RIGHT, 0x8, 3},   {AIB_ACCEL, 0x100, 4}, {AIB_STUNT_A, 0x20, -1},
    {AIB_STUNT_B, 0x80, -1}, {AIB_DOWN, 0x2, 1},    {AIB_UP, 0x1, 0},      {AIB_NITRO, 0x800, 6},
    {AIB_VIEW, 0x200, 7},    {AIB_BRAKE, 0x400, 5}, {AIB_WHIP, 0x40, -1},  {AIB_PRELOAD, 0x10, -1},
    {AIB_STUNT_MODE, 0, -1},
};

}  // namespace

CAIBikeControl::CAIBikeControl() = default;
CAIBikeControl::~CAIBikeControl() = default;

void CAIBikeControl::initWithBikeID(int bikeId) {
    if (!pBikeController) pBikeController = std::make_unique<CBikeController>();
    pBikeController->stuntDelay = 2;
    pBikeController->bikeID = bikeId;
}

void CAIBikeControl::press(uint32_t button, uint8_t amount) {
    for (const ButtonMap& b : kButtons) {
        if (!(b.button & button)) continue;
        buttonFlags |= b.button;
        controlFlags |= b.control;
        if (b.analog >= 0) analogControl[b.analog] = amount;
    }
}

void CAIBikeControl::release(uint32_t buttons) {
    for (const ButtonMap& b : kButtons) {
        if (!(b.button & buttons)) continue;
        buttonFlags &= ~b.button;
        controlFlags &= ~b.control;
        if (b.analog >= 0) analogControl[b.analog] = 0;
    }
}

void CAIBikeControl::TranslateAndAppend(CAIControlPacket& order, std::vector<CPacket>& packets, bool altLine,
                                        int numFrames) {
    if (!pBikeController) return;
    UseTheControls(order, pBikeController->bikeID, altLine, numFrames);
    std::memcpy(pBikeController->analogControl, analogControl, sizeof analogControl);
    pBikeController->controlFlags = controlFlags;
    pBikeController->fillPackets(packets);
}

void CAIBikeControl::UseTheControls(CAIControlPacket& order, int bikeId, bool altLine, int numFrames) {
    const AIBikeFacts bike = AIBikeFactsOf(bikeId);
    buttonTime -= numFrames;
    if (order.aiFlags & AI_STUNT) {
        StuntControls(order);
        return;
    }
    release(AIB_VIEW | AIB_BRAKE | AIB_NITRO | AIB_STUNT_B | AIB_STUNT_A | AIB_STUNT_MODE);
    if (order.aiFlags & AI_IN_AIR) {
        AirControls(order, bike.forward);
        return;
    }
    Steer(order, bike, altLine);
    Throttle(order, bike, numFrames);
}

void CAIBikeControl::Hold(uint32_t button) {
    if (!(buttonFlags & button)) buttonTime = JITTER_CONTROL;
    press(button);
}

void CAIBikeControl::StuntControls(const CAIControlPacket& order) {
    if (!(buttonFlags & AIB_STUNT_MODE)) {
        // The first stunt step: let go of everything and hold the stunt button(s).
        buttonFlags |= AIB_STUNT_MODE;
        release(AIB_LEFT | AIB_RIGHT | AIB_ACCEL | AIB_STUNT_A | AIB_STUNT_B | AIB_WHIP | AIB_PRELOAD |
                AIB_UP | AIB_DOWN | AIB_NITRO | AIB_BRAKE | AIB_VIEW);
        if (order.stuntI2 == STUNT_TYPE_BOTH)
            press(AIB_STUNT_A | AIB_STUNT_B);
        else if (order.stuntI2 == STUNT_TYPE_B)
            press(AIB_STUNT_B);
        else
            press(AIB_STUNT_A);
        return;
    }
    switch (order.stuntInfo) {
        case DIR_LEFT:
            release(AIB_DOWN | AIB_UP | AIB_RIGHT);
            press(AIB_LEFT);
            break;
        case DIR_RIGHT:
            release(AIB_DOWN | AIB_UP | AIB_LEFT);
            press(AIB_RIGHT);
            break;
        case DIR_UP:
            release(AIB_DOWN | AIB_RIGHT | AIB_LEFT);
            press(AIB_UP);
            break;
        case DIR_DOWN:
            release(AIB_UP | AIB_RIGHT | AIB_LEFT);
            press(AIB_DOWN);
            break;
        case DIR_NUM_DIRS:
        case DIR_NEUTRAL:
            release(AIB_DOWN | AIB_UP | AIB_RIGHT | AIB_LEFT);
            break;
        default:
            break;
    }
}

void CAIBikeControl::AirControls(const CAIControlPacket& order, const qzVector3d& forward) {
    // Pitch toward the ordered direction; no steering in the air.
    const float tol = order.tolerance;
    const float e = forward.y - order.moveVec.y;
    if (e < -tol) {
        press(AIB_UP);
        release(AIB_DOWN);
    } else if (e > tol) {
        press(AIB_DOWN);
        release(AIB_UP);
    } else {
        release(AIB_UP | AIB_DOWN);
    }
    release(AIB_LEFT | AIB_RIGHT);
}

void CAIBikeControl::Steer(const CAIControlPacket& order, const AIBikeFacts& bike, bool altLine) {
    const qzVector3d f = bike.forward;
    const qzVector3d side(f.z, 0.0f, -f.x);
    const float s = side * order.moveVec;
    const float tol = order.tolerance;
    if (buttonTime <= 0 || altLine) {
        if (s > tol) Hold(AIB_RIGHT);
        if (s < -tol) Hold(AIB_LEFT);
        if ((order.aiFlags & AI_NITRO) && bike.nitrosAvailable != 0) Hold(AIB_NITRO);
    }
    if (order.aiFlags & AI_WHEELIE)
        press(AIB_STUNT_A);
    else
        release(AIB_STUNT_A);
    if (order.aiFlags & AI_POWERSLIDE)
        press(AIB_WHIP);
    else
        release(AIB_WHIP);
    if (order.aiFlags & AI_PRELOAD)
        press(AIB_PRELOAD);
    else
        release(AIB_PRELOAD);

    if (s > tol) {
        release(AIB_LEFT);
    } else if (s < -tol) {
        release(AIB_RIGHT);
    } else if (order.moveVec * bike.velocity < 0.0f) {
        Hold(AIB_RIGHT);  // the target is behind: turn round to the right
        release(AIB_LEFT);
    } else {
        release(AIB_LEFT | AIB_RIGHT);
    }
}

void CAIBikeControl::Throttle(const CAIControlPacket& order, const AIBikeFacts& bike, int numFrames) {
    const int32_t sp = order.speed;
    if (order.aiFlags & AI_TURN_BACK) {
        press(AIB_BRAKE);
        release(AIB_ACCEL);
        brakeTime = 0;
        lastSpeed = sp;
        return;
    }
    if (buttonFlags & AIB_BRAKE) {
        const qzVector3d v = bike.velocity;
        if ((order.aiFlags & AI_OFF_LINE) && std::sqrt(v * v) > 500.0f)
            release(AIB_ACCEL);
        else
            release(AIB_BRAKE);
    } else if (sp < lastSpeed - 1) {
        press(AIB_BRAKE);
        release(AIB_ACCEL);
        brakeTime = 0;
        lastSpeed = sp;
    } else if (sp > lastSpeed) {
        if (brakeTime >= 11) {
            lastSpeed = sp;
            release(AIB_BRAKE);
        }
        brakeTime += numFrames;
    }
    // The throttle byte takes the ordered speed, held to a byte's range.
    if (!(buttonFlags & AIB_BRAKE) && sp > 0) press(AIB_ACCEL, uint8_t(sp > 255 ? 255 : sp));
}
