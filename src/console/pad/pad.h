// Stand-in for the pad library: up to eight pads (two ports, four slots each behind a multitap), fed
// by the host (pad scripts, keyboard, game controllers) through PadSetInput.
//
// What the game sees:
// - scePadGetState: 6 (stable) for a connected pad on an opened port/slot, 0 otherwise.
// - scePadRead fills 32 bytes: byte 0 status 0, byte 1 0x73 (analog id 7, 3 half-words); bytes 2-3 the
//   buttons, active low (byte 2 bits 0-7: SELECT, L3, R3, START, up, right, down, left; byte 3 bits
//   0-7: L2, R2, L1, R1, triangle, circle, cross, square); bytes 4-7 right X, right Y, left X, left Y
//   (0..255, centre 128, X 255 = right, Y 0 = up); bytes 8-19 pressures of right, left, up, down,
//   triangle, circle, cross, square, L1, R1, L2, R2 (255 pressed, 0 released).
// - Mode ids: 4 (digital) at table index 0, 7 (analog) at index 1; pads start in analog.
// - Two actuators; pressure mode only when the input says the pad has it.
// Slots 1..3 of a port are reachable only after sceMtapPortOpen of that port.
#pragma once

#include <cstdint>

inline constexpr int scePadStateDiscon = 0;
inline constexpr int scePadStateFindCTP1 = 2;
inline constexpr int scePadStateStable = 6;

int scePadInit(int mode);
int scePadPortOpen(int port, int slot, void* buffer);
int scePadPortClose(int port, int slot);
int scePadGetState(int port, int slot);
int scePadRead(int port, int slot, unsigned char* data);
int scePadInfoMode(int port, int slot, int term, int offset);
int scePadSetMainMode(int port, int slot, int offset, int lock);
int scePadInfoAct(int port, int slot, int actuator, int term);
int scePadSetActAlign(int port, int slot, const unsigned char* data);
int scePadSetActDirect(int port, int slot, const unsigned char* data);
int scePadInfoPressMode(int port, int slot);
int scePadEnterPressMode(int port, int slot);
int scePadExitPressMode(int port, int slot);

namespace console {

inline constexpr int kPadPorts = 2;
inline constexpr int kPadSlots = 4;

// Button bits of PadInput::buttons (1 = pressed), in the order of the engine's physical controls.
enum PadButton : uint16_t {
    kPadL2 = 1u << 0,
    kPadR2 = 1u << 1,
    kPadL1 = 1u << 2,
    kPadR1 = 1u << 3,
    kPadTriangle = 1u << 4,
    kPadCircle = 1u << 5,
    kPadCross = 1u << 6,
    kPadSquare = 1u << 7,
    kPadSelect = 1u << 8,
    kPadL3 = 1u << 9,
    kPadR3 = 1u << 10,
    kPadStart = 1u << 11,
    kPadUp = 1u << 12,
    kPadRight = 1u << 13,
    kPadDown = 1u << 14,
    kPadLeft = 1u << 15,
};

struct PadInput {
    bool connected = false;
    uint16_t buttons = 0;                      // PadButton bits, 1 = pressed
    uint8_t sticks[4] = {128, 128, 128, 128};  // right X, right Y, left X, left Y
    bool hasPressure = false;                  // offers pressure mode
};

// Connected and idle.
PadInput PadIdle();

void PadSetInput(int port, int slot, const PadInput& input);
PadInput PadGetInput(int port, int slot);
// The actuator levels the game last sent (0 when none).
uint8_t PadActuator(int port, int slot, int actuator);

// Power-on: library closed, pad 1 (port 0, slot 0) connected and idle, the others absent.
void PadReset();

// The pad library's byte 2 * 256 + byte 3 for a button word (active low).
uint16_t PadWireButtons(uint16_t buttons);

}  // namespace console
