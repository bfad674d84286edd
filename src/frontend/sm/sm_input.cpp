#include "frontend/sm/sm_input.h"

#include <cstring>

#include "engine/hal/control.h"
#include "frontend/sm/sm_core.h"

namespace {

struct PadRecord {
    uint32_t Connected;
    uint16_t Buttons;
    int8_t LX, LY, RX, RY;
    uint8_t Spare[2];
};
static_assert(sizeof(PadRecord) == 12);

_input_event Queue[INPUTQ_SIZE];
int Head = 0, Tail = 0, Count = 0;

uint32_t Cycle = 0;
PadRecord Controller[kNumPhysicalPads], OldController[kNumPhysicalPads];
int8_t LStickX[kNumPhysicalPads], LStickY[kNumPhysicalPads], RStickX[kNumPhysicalPads],
    RStickY[kNumPhysicalPads];

const INPUT_PadSource kEnginePads{veControlGetPhysicalPadConnectionBits, veControlGetPhysicalPadDigitalBits,
                                  veControlGetPhysicalControlAnalogState};
const INPUT_PadSource* g_source = &kEnginePads;

bool PadInRange(int device) {
    return device >= 0 && device < kNumPhysicalPads;
}

void DeviceEvent(int pad, int16_t gadget) {
    _input_event e{
        INPUT_DEVICE_PAD, static_cast<int16_t>(pad), 0, gadget, static_cast<int32_t>(Cycle), 0, 0, 0, 0};
    INPUTQ_EnQueue(&e);
    ++Cycle;
}

}  // namespace

void INPUT_SetPadSource(const INPUT_PadSource* source) {
    g_source = source ? source : &kEnginePads;
}

void INPUTQ_InitModule() {
    Head = Tail = Count = 0;
}

void INPUTQ_KillModule() {}

void INPUTQ_EnQueue(const _input_event* event) {
    if (Count >= INPUTQ_SIZE) return;  // full: the event is lost
    int slot = Head;
    while (slot != Tail) {
        const int before = (slot + INPUTQ_SIZE - 1) % INPUTQ_SIZE;
        if (event->Timestamp >= Queue[before].Timestamp) break;
        Queue[slot] = Queue[before];
        slot = before;
    }
    Queue[slot] = *event;
    Head = (Head + 1) % INPUTQ_SIZE;
    ++Count;
}

int INPUTQ_DeQueue(_input_event* event) {
    if (Count == 0) return 0;
    *event = Queue[Tail];
    Tail = (Tail + 1) % INPUTQ_SIZE;
    --Count;
    return 1;
}

void Event_Button(int device, int bit, int pressed) {
    _input_event e{INPUT_DEVICE_PAD,
                   static_cast<int16_t>(device),
                   1,
                   static_cast<int16_t>(INPUT_GADGET_BUTTON0 + bit),
                   static_cast<int32_t>(Cycle),
                   static_cast<int16_t>(pressed ? 1 : 0),
                   0,
                   0,
                   0};
    INPUTQ_EnQueue(&e);
    ++Cycle;
}

void Event_Stick(int device, int gadget, int x, int y) {
    _input_event e{INPUT_DEVICE_PAD,
                   static_cast<int16_t>(device),
                   3,
                   static_cast<int16_t>(gadget),
                   static_cast<int32_t>(Cycle),
                   0,
                   static_cast<int16_t>(x),
                   static_cast<int16_t>(y),
                   0};
    INPUTQ_EnQueue(&e);
}

void INPUT_CheckDevices() {
    ++Cycle;
    const uint32_t bits = g_source->ConnectionBits();
    for (int pad = 0; pad < kNumPhysicalPads; ++pad) {
        const bool was = OldController[pad].Connected != 0;
        const bool now = (bits >> pad) & 1u;
        if (was && !now) {
            DeviceEvent(pad, INPUT_GADGET_REMOVED);
            Controller[pad] = PadRecord{};
        } else if (!was && now) {
            DeviceEvent(pad, INPUT_GADGET_INSERTED);
            Controller[pad].Connected = 1;
        } else if (now) {
            Controller[pad].Connected = 1;
        }
    }
    for (int pad = 0; pad < kNumPhysicalPads; ++pad) {
        PadRecord& c = Controller[pad];
        if (!c.Connected) continue;
        const auto word = static_cast<uint16_t>(g_source->DigitalBits(pad));
        if (const uint16_t changed = word ^ OldController[pad].Buttons) {
            for (int bit = 0; bit < 16; ++bit)
                if ((changed >> bit) & 1) Event_Button(pad, bit, (word >> bit) & 1);
        }
        c.Buttons = word;
        c.LX = g_source->Analog(pad, kControlLeftStickX);
        c.LY = g_source->Analog(pad, kControlLeftStickY);
        c.RX = g_source->Analog(pad, kControlRightStickX);
        c.RY = g_source->Analog(pad, kControlRightStickY);
        Event_Stick(pad, INPUT_GADGET_LSTICK, c.LX, c.LY);
        Event_Stick(pad, INPUT_GADGET_RSTICK, c.RX, c.RY);
    }
    std::memcpy(OldController, Controller, sizeof(Controller));
}

int INPUT_GetNextEvent(_input_event* event) {
    if (!INPUTQ_DeQueue(event)) return 0;
    const int pad = event->DeviceNum;
    if (!PadInRange(pad)) return 1;
    if (event->GadgetType >= 2 && event->GadgetType <= 4) {
        if (event->GadgetID == INPUT_GADGET_LSTICK) {
            LStickX[pad] = static_cast<int8_t>(event->X);
            LStickY[pad] = static_cast<int8_t>(event->Y);
        } else if (event->GadgetID == INPUT_GADGET_RSTICK) {
            RStickX[pad] = static_cast<int8_t>(event->X);
            RStickY[pad] = static_cast<int8_t>(event->Y);
        }
    } else if (event->GadgetType == 0 && event->GadgetID == INPUT_GADGET_REMOVED) {
        LStickX[pad] = LStickY[pad] = RStickX[pad] = RStickY[pad] = 0;
    }
    return 1;
}

int INPUT_GetLocatorX(int16_t device, int16_t gadget) {
    if (!PadInRange(device)) return 0;
    return gadget == INPUT_GADGET_LSTICK   ? LStickX[device]
           : gadget == INPUT_GADGET_RSTICK ? RStickX[device]
                                           : 0;
}

int INPUT_GetLocatorY(int16_t device, int16_t gadget) {
    if (!PadInRange(device)) return 0;
    return gadget == INPUT_GADGET_LSTICK   ? LStickY[device]
           : gadget == INPUT_GADGET_RSTICK ? RStickY[device]
                                           : 0;
}

int INPUT_GetLocatorZ(int16_t, int16_t) {
    return 0;
}

void SM_InitInputModule() {
    INPUTQ_InitModule();
    Cycle = 0;
    std::memset(Controller, 0, sizeof(Controller));
    std::memset(OldController, 0, sizeof(OldController));
    // A button already held when the screens start (the press that left a race or the previous front
    // end) is not a new press: the first poll compares against the buttons held now, so only a release
    // follows. The pads still report as inserted on that poll.
    const uint32_t connected = g_source->ConnectionBits();
    for (int pad = 0; pad < kNumPhysicalPads; ++pad)
        if ((connected >> pad) & 1u)
            OldController[pad].Buttons = static_cast<uint16_t>(g_source->DigitalBits(pad));
    std::memset(LStickX, 0, sizeof(LStickX));
    std::memset(LStickY, 0, sizeof(LStickY));
    std::memset(RStickX, 0, sizeof(RStickX));
    std::memset(RStickY, 0, sizeof(RStickY));
}

void SM_KillInputModule() {
    INPUTQ_KillModule();
}

void SM_InputCheckDevices() {
    if (SM_IsInitialised()) INPUT_CheckDevices();
}

int SM_InputGetNextEvent(_input_event* event) {
    return SM_IsInitialised() ? INPUT_GetNextEvent(event) : 0;
}
