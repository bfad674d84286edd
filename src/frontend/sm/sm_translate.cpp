#include "frontend/sm/sm_translate.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "engine/sys/files.h"
#include "engine/sys/heap.h"
#include "frontend/sm/sm_core.h"
#include "frontend/sm/sm_input.h"

const _sm_buttonmap PS2ButtonMap[17] = {
    {435, 0, 8}, {438, 0, 11}, {439, 0, 12}, {440, 0, 13}, {441, 0, 14}, {442, 0, 15},
    {427, 0, 0}, {428, 0, 1},  {429, 0, 2},  {430, 0, 3},  {431, 0, 4},  {432, 0, 5},
    {433, 0, 6}, {434, 0, 7},  {436, 0, 9},  {437, 0, 10}, {-1, 0, -1},
};

namespace {

struct LocatorState {
    int16_t PrevX, PrevY, PrevZ;
    int16_t X, Y, Z;
    float Time;
    float AX, AY;
};

struct Translator {
    SM_EVENTTRANSPROC Callback;
    const _sm_buttonmap* ButtonMap;
    LocatorState Locator[8][16];
    uint32_t Held[16];
};

Translator* g_trans = nullptr;

// The message of each pad button (by bit), 0 = none.
constexpr int32_t kButtonMessage[16] = {
    SM_MSG_L2,     SM_MSG_R2,     SM_MSG_L1, SM_MSG_R1, SM_MSG_CANCEL, SM_MSG_CIRCLE, SM_MSG_ACCEPT,
    SM_MSG_SQUARE, SM_MSG_SELECT, 0,         0,         SM_MSG_START,  SM_MSG_UP,     SM_MSG_RIGHT,
    SM_MSG_DOWN,   SM_MSG_LEFT,
};

void Send(int32_t msg, intptr_t p1, intptr_t p2, intptr_t p3) {
    SM_SendMessage(SM_GetCurScreen(), msg, p1, p2, p3);
}

intptr_t DeviceWord(const _input_event* e) {
    return (static_cast<intptr_t>(e->DeviceType) << 16) | static_cast<uint16_t>(e->DeviceNum);
}

void PadButton(const _input_event* e) {
    int button = -1;
    for (const _sm_buttonmap* row = g_trans->ButtonMap; row->Gadget > 0 && button < 0; ++row)
        if (row->Gadget == e->GadgetID) button = row->Button;
    if (button < 0 || button > 31 || e->DeviceNum < 0 || e->DeviceNum >= 16) return;
    uint32_t& held = g_trans->Held[e->DeviceNum];
    const uint32_t bit = 1u << button;
    const bool pressed = e->Info == 1;
    const intptr_t p1 = DeviceWord(e);
    if (pressed && !(held & bit) && button < 16 && kButtonMessage[button]) {
        const bool direction = button >= 12;
        Send(kButtonMessage[button], p1, direction ? 1 : button, direction ? 10000 : 0);
    }
    if (pressed) {
        if (!(held & bit)) Send(SM_MSG_BUTTONDOWN, p1, button, 0);
        Send(SM_MSG_BUTTONPRESS, p1, button, 0);
        held |= bit;
    } else {
        Send(SM_MSG_BUTTONUP, p1, button, 0);
        held &= ~bit;
    }
}

void Stick(const _input_event* e) {
    const int n = e->GadgetID - INPUT_GADGET_LOCATOR0;
    if (n < 0 || n >= 16 || e->DeviceNum < 0 || e->DeviceNum >= 8) return;
    LocatorState& s = g_trans->Locator[e->DeviceNum][n];
    const int threshold = SM_GetJoystickThreshold();
    const int sensitivity = SM_GetJoystickSensitivity();
    const float dt = SM_GetRunTime() - s.Time;
    if (dt < 0) return;
    s.PrevX = s.X;
    s.X = static_cast<int16_t>(INPUT_GetLocatorX(e->DeviceNum, e->GadgetID));
    if (e->GadgetType >= 3) {
        s.PrevY = s.Y;
        s.Y = static_cast<int16_t>(INPUT_GetLocatorY(e->DeviceNum, e->GadgetID));
    }
    if (e->GadgetType == 4) {
        s.PrevZ = s.Z;
        s.Z = static_cast<int16_t>(INPUT_GetLocatorZ(e->DeviceNum, e->GadgetID));
    }
    s.Time += dt;
    s.AX += dt * s.X;
    s.AY += dt * s.Y;
    int32_t horizontal = 0, vertical = 0;
    if (std::abs(static_cast<int>(s.AX)) > sensitivity) {
        s.AX = 0;
        horizontal = s.X > 0 ? SM_MSG_RIGHT : s.X < 0 ? SM_MSG_LEFT : 0;
    }
    if (std::abs(static_cast<int>(s.AY)) > sensitivity) {
        s.AY = 0;
        vertical = s.Y > 0 ? SM_MSG_UP : s.Y < 0 ? SM_MSG_DOWN : 0;
    }
    const bool xOver = std::abs(s.X) > threshold;
    const bool yOver = std::abs(s.Y) > threshold;
    const intptr_t p1 = DeviceWord(e);
    if (e->GadgetID != INPUT_GADGET_RSTICK) {
        if (vertical && yOver) Send(vertical, p1, 1, s.X);
        if (horizontal && xOver) Send(horizontal, p1, 1, s.Y);
    }
    const int angle = static_cast<int>(std::atan2(static_cast<double>(s.Y), s.X) * 57.2958);
    const int magnitude = static_cast<int>(std::sqrt(static_cast<double>(s.X * s.X + s.Y * s.Y)));
    if (xOver || yOver) {
        if (e->GadgetID == INPUT_GADGET_LSTICK) {
            Send(SM_MSG_LSTICKPOLAR, p1, magnitude, angle);
            Send(SM_MSG_LSTICKPOS, p1, s.X, s.Y);
        } else if (e->GadgetID == INPUT_GADGET_RSTICK) {
            Send(SM_MSG_RSTICKPOLAR, p1, magnitude, angle);
            Send(SM_MSG_RSTICKPOS, p1, s.X, s.Y);
        }
    }
    s.PrevX = s.X;
    s.PrevY = s.Y;
}

}  // namespace

void SM_InitTranslatorModule() {
    if (!g_trans) g_trans = static_cast<Translator*>(x_fn_malloc(sizeof(Translator), __FILE__, __LINE__));
    if (!g_trans) {
        x_printf("SM_InitTranslatorModule: no room in the heap; pad input is not translated\n");
        return;
    }
    std::memset(g_trans, 0, sizeof(Translator));
    g_trans->ButtonMap = PS2ButtonMap;
}

void SM_KillTranslatorModule() {
    x_free(g_trans);
    g_trans = nullptr;
}

void SM_RegisterEventTransCallback(SM_EVENTTRANSPROC callback) {
    if (g_trans) g_trans->Callback = callback;
}

void SM_TranslateEvent(_input_event* e) {
    if (!g_trans) return;
    if (g_trans->Callback && g_trans->Callback(e) == 1) return;
    switch (e->GadgetType) {
        case 0:
            Send(SM_MSG_DEVICECHANGE, DeviceWord(e), e->Info, e->GadgetID);
            break;
        case 1:
            if (e->DeviceType == INPUT_DEVICE_PAD) {
                e->DeviceType = 3;
                PadButton(e);
            }
            break;
        case 2:
        case 3:
        case 4:
            if ((e->DeviceType >= 3 && e->DeviceType <= 6) || e->DeviceType == INPUT_DEVICE_PAD) {
                e->DeviceType = 3;
                Stick(e);
            }
            break;
        default:
            break;
    }
}
