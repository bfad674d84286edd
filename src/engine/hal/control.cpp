#include "engine/hal/control.h"

#include <cstring>

#include "console/kernel/vsync.h"
#include "console/pad/mtap.h"
#include "console/pad/pad.h"
#include "engine/sys/heap.h"
#include "engine/sys/math.h"

namespace {

constexpr int kInitReads = 90;
constexpr uint8_t kStateStable = 6;
constexpr uint8_t kStateFinding = 2;
constexpr int kAnalogModeId = 7;
constexpr float kDeadZone = 30.0f;
constexpr float kFullRange = 80.0f;  // full deflection 80 beyond the dead zone (radius 110)

constexpr uint8_t kControlTypes[kNumPhysicalControls] = {5, 5, 5, 5, 5, 5, 5, 5, 1, 1,
                                                         1, 1, 5, 5, 5, 5, 2, 2, 2, 2};
// Where the 12 pressure bytes go: right, left, up, down, triangle, circle, cross, square, L1, R1, L2, R2.
constexpr int kPressureControls[12] = {13, 15, 12, 14, 4, 5, 6, 7, 2, 3, 0, 1};

_RAW_DATA g_raw[kNumPhysicalPads];
int g_numPhysicalPads = kNumPhysicalPads;
int g_numPhysicalControls = kNumPhysicalControls;
int g_multitap = 0;
__CONTROL* g_controls = nullptr;  // kNumPhysicalPads x kNumPhysicalControls
uint32_t g_physicalDigital[kNumPhysicalPads];
uint32_t g_physicalConnection = 0;

// Virtual side.
int g_numVirtualPads = 0;
int g_numVirtualControls = 0;
__CONTROL** g_virtualControls = nullptr;  // g_numVirtualPads x g_numVirtualControls
int32_t* g_virtualMap = nullptr;
uint32_t* g_virtualDigital = nullptr;
uint32_t g_virtualConnection = 0;
__CONTROL g_dummy = {};
__CONTROL* g_complex = nullptr;
int g_numComplex = 0;
veControlComplexHandler g_complexHandler = nullptr;

bool ValidPad(int pad) {
    return pad >= 0 && pad < kNumPhysicalPads;
}
bool ValidVirtualPad(int v) {
    return v >= 0 && v < g_numVirtualPads && g_virtualControls;
}
__CONTROL* Control(int pad, int control) {
    return &g_controls[pad * kNumPhysicalControls + control];
}

bool Live(uint8_t state) {
    return state == kStateStable || state == kStateFinding;
}

template <typename T>
T* Alloc(int count) {
    const uint32_t bytes = static_cast<uint32_t>(count) * sizeof(T);
    T* p = static_cast<T*>(x_fn_malloc(bytes, __FILE__, __LINE__));
    if (p) std::memset(static_cast<void*>(p), 0, bytes);
    return p;
}

// One stick: raw bytes to signed values through the radial dead zone.
void ConvertStick(uint8_t rawX, uint8_t rawY, int8_t* outX, int8_t* outY) {
    const int x = rawX - 128;
    const int y = rawY - 128;
    *outX = *outY = 0;
    if (x == -128 && y == -128) return;  // a pad that sent zeros
    const float m = x_sqrt(static_cast<float>(x * x + y * y));
    float d = m - kDeadZone;
    if (d <= 0.0f) return;
    if (d > kFullRange) d = kFullRange;
    const float scale = 127.0f * d / kFullRange;
    const int signX = x < 0 ? -1 : 1;
    const int signY = y < 0 ? -1 : 1;
    const float a = x_atan2(static_cast<float>(y < 0 ? -y : y), static_cast<float>(x < 0 ? -x : x));
    float s, c;
    x_sincos(a, &s, &c);
    *outX = static_cast<int8_t>(signX * static_cast<int>(scale * c));
    *outY = static_cast<int8_t>(-signY * static_cast<int>(scale * s));
}

}  // namespace

void veControlOpenPads() {
    for (int n = 0; n < kNumPhysicalPads; ++n) {
        _RAW_DATA& r = g_raw[n];
        r.currentState = r.previousState = 0xFF;
        r.currentMode = r.previousMode = 0xFF;
        r.hasModeChanged = r.isModeSet = r.isActuatorSet = r.isPressureSet = 0;
        r.isAnalog = r.isOpen = r.rumbleChanged = 0;
        r.currentDigital = 0;
        r.previousDigital = 0xFFFF;
        r.analogData = r.buttonData + 4;
        r.pressureData = r.buttonData + 8;
        r.port = static_cast<int8_t>(n / 4);
        r.slot = static_cast<int8_t>(n % 4);
    }
    if (g_multitap) {
        sceMtapInit();
        scePadInit(0);
        for (int port = 0; port < 4; ++port) sceMtapPortOpen(port);
    } else {
        scePadInit(0);
    }
    for (int port = 0; port < 2; ++port) {
        for (int slot = 0; slot < 4; ++slot) {
            if (slot > 0 && !g_multitap) continue;
            _RAW_DATA& r = g_raw[port * 4 + slot];
            scePadPortOpen(port, slot, r.buffer);
            r.isOpen = 1;
        }
    }
}

void veControlCreatePhysicalPads() {
    std::memset(g_physicalDigital, 0, sizeof g_physicalDigital);
    if (!g_controls) g_controls = Alloc<__CONTROL>(kNumPhysicalPads * kNumPhysicalControls);
    if (!g_controls) return;
    std::memset(g_controls, 0, sizeof(__CONTROL) * kNumPhysicalPads * kNumPhysicalControls);
    for (int n = 0; n < kNumPhysicalPads; ++n)
        for (int c = 0; c < kNumPhysicalControls; ++c) Control(n, c)->type = kControlTypes[c];
}

void veControlInitPhysicalPads() {
    g_multitap = 1;
    veControlOpenPads();
    veControlCreatePhysicalPads();
}

void veControlInit() {
    veControlInitPhysicalPads();
    g_numPhysicalPads = kNumPhysicalPads;
    g_numPhysicalControls = kNumPhysicalControls;
    // Pads present at power-on are stable before the first frame.
    for (int i = 0; i < kInitReads; ++i) {
        veControlReadPhysicalPads();
        console::VsyncWait();
    }
}

int veControlIsModeAvailable(_RAW_DATA* pad, int id, int* index) {
    int n = scePadInfoMode(pad->port, pad->slot, 4, -1);
    if (n < 0) n = 0;
    for (int i = 0; i < 8; ++i)
        pad->idTable[i] = i < n ? static_cast<uint8_t>(scePadInfoMode(pad->port, pad->slot, 4, i)) : 0;
    for (int i = 0; i < 8 && pad->idTable[i] != 0; ++i) {
        if (pad->idTable[i] == id) {
            *index = i;
            return 1;
        }
    }
    *index = 0;
    return 0;
}

void veControlUpdatePadState(_RAW_DATA* pad) {
    pad->currentMode = static_cast<uint8_t>(scePadInfoMode(pad->port, pad->slot, 1, -1));
    pad->hasModeChanged = pad->currentMode != pad->previousMode;
    if (pad->currentState == kStateStable && !pad->isModeSet) {
        int index = 0;
        pad->isAnalog = static_cast<uint8_t>(veControlIsModeAvailable(pad, kAnalogModeId, &index));
        pad->isModeSet = static_cast<uint8_t>(scePadSetMainMode(pad->port, pad->slot, index, 0));
        pad->currentState = static_cast<uint8_t>(scePadGetState(pad->port, pad->slot));
    }
    if (pad->currentState == kStateStable && !pad->isActuatorSet) {
        const int n = scePadInfoAct(pad->port, pad->slot, -1, 0);
        if (n > 0) {
            for (int i = 0; i < 6; ++i) {
                pad->alignment[i] = i < n ? static_cast<uint8_t>(i) : 0xFF;
                pad->direct[i] = 0;
            }
            pad->isActuatorSet =
                static_cast<uint8_t>(scePadSetActAlign(pad->port, pad->slot, pad->alignment));
            pad->currentState = static_cast<uint8_t>(scePadGetState(pad->port, pad->slot));
            pad->rumbleChanged = 0;
            if (pad->isActuatorSet) pad->hasModeChanged = 0;
        }
    }
    if (pad->currentState == kStateStable && !pad->isPressureSet &&
        scePadInfoPressMode(pad->port, pad->slot)) {
        pad->isPressureSet = static_cast<uint8_t>(scePadEnterPressMode(pad->port, pad->slot));
        pad->currentState = static_cast<uint8_t>(scePadGetState(pad->port, pad->slot));
        if (pad->isPressureSet) pad->hasModeChanged = 0;
    }
}

void veControlClampAnalogData(int pad) {
    const uint8_t* a = g_raw[pad].analogData;
    int8_t out[4];
    ConvertStick(a[0], a[1], &out[0], &out[1]);
    ConvertStick(a[2], a[3], &out[2], &out[3]);
    for (int i = 0; i < 4; ++i) {
        Control(pad, kControlRightStickX + i)->analog = out[i];
        if (out[i] != 0) g_physicalDigital[pad] |= 1u << (16 + i);
    }
}

void veControlUpdatePhysicalPad(int pad) {
    _RAW_DATA& r = g_raw[pad];
    g_physicalDigital[pad] = r.currentDigital;
    const uint16_t changed = r.currentDigital ^ r.previousDigital;
    for (int c = 0; c < 16; ++c) {
        __CONTROL* ctl = Control(pad, c);
        if (changed & (1u << c)) {
            ctl->previousDigitalState = ctl->currentDigitalState;
            ctl->previousDigitalTime = ctl->currentDigitalTime;
            ctl->currentDigitalState = (r.currentDigital >> c) & 1u;
            ctl->currentDigitalTime = 0;
        }
        ctl->currentDigitalTime = static_cast<uint16_t>(ctl->currentDigitalTime + 1);
    }
    if (r.isAnalog) {
        veControlClampAnalogData(pad);
    } else {
        for (int c = kControlRightStickX; c <= kControlLeftStickY; ++c) Control(pad, c)->analog = 0;
    }
    if (r.isPressureSet)
        for (int i = 0; i < 12; ++i)
            Control(pad, kPressureControls[i])->analog = static_cast<int8_t>(r.pressureData[i]);
}

uint32_t veControlReadPhysicalPads() {
    g_physicalConnection = 0;
    if (!g_controls) return 0;
    for (int n = 0; n < kNumPhysicalPads; ++n) {
        _RAW_DATA& r = g_raw[n];
        if (!r.isOpen) continue;
        r.currentState = static_cast<uint8_t>(scePadGetState(r.port, r.slot));
        if (r.currentState != r.previousState) veControlUpdatePadState(&r);
        if (Live(r.currentState)) {
            scePadRead(r.port, r.slot, r.buttonData);
            r.currentDigital = static_cast<uint16_t>(~(r.buttonData[2] * 256 + r.buttonData[3]));
            g_physicalConnection |= 1u << n;
        } else {
            r.currentDigital = 0;
            std::memset(r.buttonData + 4, 0, 16);
        }
        veControlUpdatePhysicalPad(n);
        if (r.currentState == 0) r.isAnalog = r.isPressureSet = r.isModeSet = r.isActuatorSet = 0;
        if (r.hasModeChanged) r.isPressureSet = r.isActuatorSet = 0;
        r.previousDigital = r.currentDigital;
        r.previousState = r.currentState;
        r.previousMode = r.currentMode;
    }
    return g_physicalConnection;
}

void veControlUpdateRumble() {
    for (_RAW_DATA& r : g_raw) {
        if (r.currentState != kStateStable || !r.isActuatorSet || !r.rumbleChanged) continue;
        scePadSetActDirect(r.port, r.slot, r.direct);
        r.rumbleChanged = 0;
    }
}

void veControlMaintenance() {
    const uint32_t connected = veControlReadPhysicalPads();
    veControlUpdateRumble();
    if (g_complexHandler) {
        g_complexHandler();
        for (int i = 0; i < g_numPhysicalPads * g_numComplex; ++i)
            if (g_complex[i].type & kControlTypeDigital)
                g_complex[i].currentDigitalTime = static_cast<uint16_t>(g_complex[i].currentDigitalTime + 1);
    }
    if (!g_virtualControls) return;
    g_virtualConnection = 0;
    for (int v = 0; v < g_numVirtualPads; ++v) {
        uint32_t word = 0;
        for (int c = 0; c < g_numVirtualControls; ++c) {
            const __CONTROL* ctl = g_virtualControls[v * g_numVirtualControls + c];
            uint32_t bit = 0;
            if (ctl->type & kControlTypeDigital)
                bit = ctl->currentDigitalState ? 1 : 0;
            else if ((ctl->type & kControlTypeAxis) && ctl->analog != 0)
                bit = 1;
            word |= bit << c;
        }
        g_virtualDigital[v] = word;
        const int p = g_virtualMap[v];
        if (p >= 0 && ((connected >> p) & 1u)) g_virtualConnection |= 1u << v;
    }
}

void veControlUpdatePhysicalConnectionBits() {
    g_physicalConnection = 0;
    for (int n = 0; n < kNumPhysicalPads; ++n)
        if (g_raw[n].isOpen && Live(g_raw[n].currentState)) g_physicalConnection |= 1u << n;
}

uint32_t veControlGetPhysicalPadConnectionBits() {
    return g_physicalConnection;
}
uint32_t veControlGetPhysicalPadDigitalBits(int pad) {
    return ValidPad(pad) ? g_physicalDigital[pad] : 0;
}

int8_t veControlGetPhysicalControlAnalogState(int pad, int control) {
    if (!g_controls || !ValidPad(pad) || control < 0 || control >= kNumPhysicalControls) return 0;
    return Control(pad, control)->analog;
}

int veControlGetNumPhysicalPads() {
    return g_numPhysicalPads;
}
int veControlGetNumPhysicalControls() {
    return g_numPhysicalControls;
}
__CONTROL* veControlGetPhysicalPadAddress() {
    return g_controls;
}

int veControlFindFirstPhysicalPad(uint32_t mask) {
    for (int i = 0; i < 32; ++i)
        if ((mask >> i) & 1u) return i;
    return -1;
}

int veControlFindNextPhysicalPad(uint32_t mask, int previous) {
    if (mask == 0 || previous < 0 || previous >= 31) return -1;
    for (int i = previous + 1; i < 32; ++i)
        if ((mask >> i) & 1u) return i;
    return -1;
}

void veControlCreateVirtualPads(int controlsPerPad, int complexPerPad, veControlComplexHandler handler) {
    veControlDestroyVirtualPads();
    if (controlsPerPad < 0) controlsPerPad = 0;
    if (controlsPerPad > kMaxVirtualControls) controlsPerPad = kMaxVirtualControls;
    g_numVirtualPads = g_numPhysicalPads;
    g_numVirtualControls = controlsPerPad;
    g_virtualControls = Alloc<__CONTROL*>(g_numVirtualPads * (controlsPerPad > 0 ? controlsPerPad : 1));
    g_virtualMap = Alloc<int32_t>(g_numVirtualPads);
    g_virtualDigital = Alloc<uint32_t>(g_numVirtualPads);
    if (!g_virtualControls || !g_virtualMap || !g_virtualDigital) {
        veControlDestroyVirtualPads();
        return;
    }
    for (int i = 0; i < g_numVirtualPads * controlsPerPad; ++i) g_virtualControls[i] = &g_dummy;
    for (int v = 0; v < g_numVirtualPads; ++v) g_virtualMap[v] = -1;
    if (complexPerPad > 0) {
        g_complex = Alloc<__CONTROL>(g_numPhysicalPads * complexPerPad);
        if (g_complex) g_numComplex = complexPerPad;
    }
    g_complexHandler = g_complex ? handler : nullptr;
    g_virtualConnection = 0;
}

void veControlDestroyVirtualPads() {
    if (g_virtualControls) x_free(g_virtualControls);
    if (g_virtualMap) x_free(g_virtualMap);
    if (g_virtualDigital) x_free(g_virtualDigital);
    if (g_complex) x_free(g_complex);
    g_virtualControls = nullptr;
    g_virtualMap = nullptr;
    g_virtualDigital = nullptr;
    g_complex = nullptr;
    g_numVirtualPads = g_numVirtualControls = g_numComplex = 0;
    g_complexHandler = nullptr;
    g_virtualConnection = 0;
}

void veControlMapVirtualPadToPhysicalPad(int physicalPad, int virtualPad) {
    if (!ValidVirtualPad(virtualPad) || !ValidPad(physicalPad)) return;
    g_virtualMap[virtualPad] = physicalPad;
    for (int c = 0; c < g_numVirtualControls; ++c)
        g_virtualControls[virtualPad * g_numVirtualControls + c] = &g_dummy;
}

void veControlMapSimpleVirtualControl(int virtualPad, int virtualControl, int physicalControl) {
    if (!ValidVirtualPad(virtualPad) || !g_controls) return;
    if (virtualControl < 0 || virtualControl >= g_numVirtualControls) return;
    if (physicalControl < 0 || physicalControl >= kNumPhysicalControls) return;
    const int p = g_virtualMap[virtualPad];
    if (p < 0) return;
    g_virtualControls[virtualPad * g_numVirtualControls + virtualControl] = Control(p, physicalControl);
}

uint32_t veControlGetVirtualPadDigitalBits(int virtualPad) {
    return ValidVirtualPad(virtualPad) ? g_virtualDigital[virtualPad] : 0;
}

int8_t veControlGetVirtualControlAnalogState(int virtualPad, int virtualControl) {
    const __CONTROL* ctl = veControlGetVirtualControl(virtualPad, virtualControl);
    if (!ctl) return 0;
    return (ctl->type & (kControlTypeAxis | kControlTypePressure)) ? ctl->analog : 0;
}

void veControlUpdateVirtualConnectionBits() {
    g_virtualConnection = 0;
    for (int v = 0; v < g_numVirtualPads && g_virtualMap; ++v) {
        const int p = g_virtualMap[v];
        if (p >= 0 && ((g_physicalConnection >> p) & 1u)) g_virtualConnection |= 1u << v;
    }
}

bool veControlGetIsVirtualPadConnected(int virtualPad) {
    return virtualPad >= 0 && virtualPad < 32 && ((g_virtualConnection >> virtualPad) & 1u);
}

const _RAW_DATA* veControlGetRawData(int pad) {
    return ValidPad(pad) ? &g_raw[pad] : nullptr;
}

const __CONTROL* veControlGetVirtualControl(int virtualPad, int virtualControl) {
    if (!ValidVirtualPad(virtualPad) || virtualControl < 0 || virtualControl >= g_numVirtualControls)
        return nullptr;
    return g_virtualControls[virtualPad * g_numVirtualControls + virtualControl];
}

void veControlReset() {
    veControlDestroyVirtualPads();
    if (g_controls) x_free(g_controls);
    g_controls = nullptr;
    std::memset(g_raw, 0, sizeof g_raw);
    std::memset(g_physicalDigital, 0, sizeof g_physicalDigital);
    g_physicalConnection = 0;
    g_multitap = 0;
}
