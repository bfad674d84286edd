#include "console/pad/pad.h"

#include <cstring>

#include "console/iop/iop.h"
#include "console/pad/mtap.h"

namespace console {
namespace {

constexpr int kModeDigital = 4;
constexpr int kModeAnalog = 7;
constexpr int kModeIds[] = {kModeDigital, kModeAnalog};
constexpr int kModeCount = 2;
constexpr int kActuators = 2;
constexpr int kReadBytes = 32;

// Info terms of scePadInfoMode and scePadInfoAct.
constexpr int kTermCurrentId = 1;
constexpr int kTermModeTable = 4;

struct PadSlot {
    PadInput input;
    bool open = false;
    int modeIndex = 1;  // analog
    bool pressureOn = false;
    uint8_t direct[6] = {};
};

bool g_init = false;
PadSlot g_pads[kPadPorts][kPadSlots];
// Pad 1 is plugged in from power-on: the game pauses a race whose first pad is missing.
struct PowerOn {
    PowerOn() { g_pads[0][0].input.connected = true; }
} g_powerOn;

PadSlot* Slot(int port, int slot) {
    if (port < 0 || port >= kPadPorts || slot < 0 || slot >= kPadSlots) return nullptr;
    return &g_pads[port][slot];
}

// A pad the game can reach: library up, slot opened, and behind a multitap for slots 1..3.
PadSlot* Reachable(int port, int slot) {
    PadSlot* p = Slot(port, slot);
    if (!p || !g_init || !p->open) return nullptr;
    if (slot > 0 && !MtapPortOpen(port)) return nullptr;
    return p;
}

PadSlot* Connected(int port, int slot) {
    PadSlot* p = Reachable(port, slot);
    return p && p->input.connected ? p : nullptr;
}

}  // namespace

PadInput PadIdle() {
    PadInput in;
    in.connected = true;
    return in;
}

void PadSetInput(int port, int slot, const PadInput& input) {
    if (PadSlot* p = Slot(port, slot)) {
        const bool wasConnected = p->input.connected;
        p->input = input;
        // A pad plugged in again starts as a fresh controller.
        if (input.connected && !wasConnected) {
            p->modeIndex = 1;
            p->pressureOn = false;
            std::memset(p->direct, 0, sizeof p->direct);
        }
    }
}

PadInput PadGetInput(int port, int slot) {
    const PadSlot* p = Slot(port, slot);
    return p ? p->input : PadInput();
}

uint8_t PadActuator(int port, int slot, int actuator) {
    const PadSlot* p = Slot(port, slot);
    return p && actuator >= 0 && actuator < 6 ? p->direct[actuator] : 0;
}

void PadReset() {
    g_init = false;
    for (auto& port : g_pads)
        for (PadSlot& s : port) s = PadSlot();
    g_pads[0][0].input = PadIdle();
}

uint16_t PadWireButtons(uint16_t buttons) {
    return static_cast<uint16_t>(~buttons);
}

}  // namespace console

using namespace console;

int scePadInit(int) {
    g_init = IopModuleLoaded("PADMAN.IRX");
    return g_init ? 1 : 0;
}

int scePadPortOpen(int port, int slot, void* buffer) {
    PadSlot* p = Slot(port, slot);
    if (!g_init || !p || !buffer) return 0;
    p->open = true;
    return 1;
}

int scePadPortClose(int port, int slot) {
    PadSlot* p = Slot(port, slot);
    if (!g_init || !p || !p->open) return 0;
    p->open = false;
    return 1;
}

int scePadGetState(int port, int slot) {
    return Connected(port, slot) ? scePadStateStable : scePadStateDiscon;
}

int scePadRead(int port, int slot, unsigned char* data) {
    if (!data) return 0;
    std::memset(data, 0, kReadBytes);
    PadSlot* p = Connected(port, slot);
    if (!p) return 0;
    const PadInput& in = p->input;
    const bool analog = kModeIds[p->modeIndex] == kModeAnalog;
    data[0] = 0;
    data[1] = analog ? 0x73 : 0x41;
    const uint16_t wire = PadWireButtons(in.buttons);
    data[2] = static_cast<unsigned char>(wire >> 8);
    data[3] = static_cast<unsigned char>(wire & 0xFF);
    for (int i = 0; i < 4; ++i) data[4 + i] = analog ? in.sticks[i] : 128;
    if (p->pressureOn) {
        static const uint16_t kPressureOrder[12] = {kPadRight,    kPadLeft,   kPadUp,    kPadDown,
                                                    kPadTriangle, kPadCircle, kPadCross, kPadSquare,
                                                    kPadL1,       kPadR1,     kPadL2,    kPadR2};
        for (int i = 0; i < 12; ++i) data[8 + i] = (in.buttons & kPressureOrder[i]) ? 255 : 0;
    }
    return kReadBytes;
}

int scePadInfoMode(int port, int slot, int term, int offset) {
    PadSlot* p = Connected(port, slot);
    if (!p) return 0;
    if (term == kTermCurrentId) return offset == -1 ? kModeIds[p->modeIndex] : 0;
    if (term == kTermModeTable) {
        if (offset == -1) return kModeCount;
        return offset >= 0 && offset < kModeCount ? kModeIds[offset] : 0;
    }
    return 0;
}

int scePadSetMainMode(int port, int slot, int offset, int) {
    PadSlot* p = Connected(port, slot);
    if (!p || offset < 0 || offset >= kModeCount) return 0;
    p->modeIndex = offset;
    return 1;
}

int scePadInfoAct(int port, int slot, int actuator, int) {
    if (!Connected(port, slot)) return 0;
    if (actuator == -1) return kActuators;
    return actuator >= 0 && actuator < kActuators ? 1 : 0;
}

int scePadSetActAlign(int port, int slot, const unsigned char* data) {
    return Connected(port, slot) && data ? 1 : 0;
}

int scePadSetActDirect(int port, int slot, const unsigned char* data) {
    PadSlot* p = Connected(port, slot);
    if (!p || !data) return 0;
    std::memcpy(p->direct, data, sizeof p->direct);
    return 1;
}

int scePadInfoPressMode(int port, int slot) {
    PadSlot* p = Connected(port, slot);
    return p && p->input.hasPressure ? 1 : 0;
}

int scePadEnterPressMode(int port, int slot) {
    PadSlot* p = Connected(port, slot);
    if (!p || !p->input.hasPressure) return 0;
    p->pressureOn = true;
    return 1;
}

int scePadExitPressMode(int port, int slot) {
    PadSlot* p = Connected(port, slot);
    if (!p) return 0;
    p->pressureOn = false;
    return 1;
}
