// What the controllers (pads and computer riders) tell a bike: the action codes of its packets (the
// packet's action word carries bit 1 << action for each) and the control-flag bits of a player's pad
// (bit n = virtual control n) that both the pad controller and the AI fill.
#pragma once

#include <cstdint>

// The action codes themselves (bikeActions) are the bike's: it defines them with its input.
#include "bike/state/input.h"

constexpr uint32_t BikeActionBit(bikeActions a) {
    return 1u << a;
}

// Control flags: virtual control n of a player's pad is bit n.
enum controlFlag : uint32_t {
    CONTROL_UP = 0x1,
    CONTROL_DOWN = 0x2,
    CONTROL_LEFT = 0x4,
    CONTROL_RIGHT = 0x8,
    CONTROL_PRELOAD = 0x10,
    CONTROL_STUNT_A = 0x20,
    CONTROL_WHIP = 0x40,
    CONTROL_STUNT_B = 0x80,
    CONTROL_ACCEL = 0x100,
    CONTROL_VIEW = 0x200,
    CONTROL_BRAKE = 0x400,
    CONTROL_NITRO = 0x800,
    CONTROL_SELECT = 0x1000,
    CONTROL_START = 0x2000,
    CONTROL_LEFT_X = 0x4000,
    CONTROL_LEFT_Y = 0x8000,
    CONTROL_RIGHT_X = 0x10000,
    CONTROL_RIGHT_Y = 0x20000,
    CONTROL_L3 = 0x40000,
    CONTROL_R3 = 0x80000,
    CONTROL_CAPTURE = 0x100000,
};

// Amount bytes of a bike packet.
enum bikeAmount : int {
    AMOUNT_UP = 0,
    AMOUNT_DOWN = 1,
    AMOUNT_LEFT = 2,
    AMOUNT_RIGHT = 3,
    AMOUNT_ACCEL = 4,
    AMOUNT_BRAKE = 5,
    AMOUNT_NITRO = 6,
    AMOUNT_VIEW = 7,
    AMOUNT_STUNT = 8,           // the recognised trick (stuntName) when BIKEACTION_STUNT is set
    AMOUNT_STUNT_REVERSED = 9,  // 1 when that trick is performed reversed
    AMOUNT_COUNT = 10,
};
