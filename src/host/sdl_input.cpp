#include "host/sdl_input.h"

namespace host {
namespace {

using namespace console;

constexpr int16_t kTriggerThreshold = 8000;

uint8_t StickByte(Sint16 v) {
    return static_cast<uint8_t>((v >> 8) + 128);
}

// Pad 1 takes whatever is pushed further from the centre, keyboard or controller.
uint8_t Stronger(uint8_t a, uint8_t b) {
    const int da = a > 128 ? a - 128 : 128 - a;
    const int db = b > 128 ? b - 128 : 128 - b;
    return db > da ? b : a;
}

}  // namespace

SdlInput::~SdlInput() {
    Close();
}

void SdlInput::Close() {
    for (SDL_GameController*& c : controllers_) {
        if (c) SDL_GameControllerClose(c);
        c = nullptr;
    }
    if (SDL_WasInit(SDL_INIT_GAMECONTROLLER)) SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
}

bool SdlInput::Init(Error* error) {
    if (!SDL_WasInit(SDL_INIT_GAMECONTROLLER) && SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) != 0)
        return error->Set("no gamepad support (%s)", SDL_GetError());
    for (int i = 0; i < SDL_NumJoysticks(); ++i) OpenController(i);
    return true;
}

void SdlInput::OpenController(int index) {
    if (!SDL_IsGameController(index)) return;
    for (SDL_GameController*& c : controllers_) {
        if (c) continue;
        c = SDL_GameControllerOpen(index);
        return;
    }
}

void SdlInput::CloseController(SDL_JoystickID id) {
    for (SDL_GameController*& c : controllers_) {
        if (c && SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(c)) == id) {
            SDL_GameControllerClose(c);
            c = nullptr;
        }
    }
    // The remaining controller becomes the first, so pad 1 keeps a controller when it can.
    if (!controllers_[0] && controllers_[1]) {
        controllers_[0] = controllers_[1];
        controllers_[1] = nullptr;
    }
}

void SdlInput::HandleEvent(const SDL_Event& event) {
    NoteKey(event);
    if (event.type == SDL_CONTROLLERDEVICEADDED) OpenController(event.cdevice.which);
    if (event.type == SDL_CONTROLLERDEVICEREMOVED) CloseController(event.cdevice.which);
}

PadInput SdlInput::FromKeyboard(const Uint8* keys) {
    PadInput in = PadIdle();
    struct Key {
        SDL_Scancode code;
        uint16_t bit;
    };
    // The keys are named as the screens name the buttons ("X ACCEPT", "O DELETE", "TRIANGLE BACK").
    static const Key kKeys[] = {
        {SDL_SCANCODE_UP, kPadUp},
        {SDL_SCANCODE_DOWN, kPadDown},
        {SDL_SCANCODE_LEFT, kPadLeft},
        {SDL_SCANCODE_RIGHT, kPadRight},
        {SDL_SCANCODE_RETURN, kPadStart},
        {SDL_SCANCODE_TAB, kPadSelect},
        {SDL_SCANCODE_X, kPadCross},
        {SDL_SCANCODE_SPACE, kPadCross},
        {SDL_SCANCODE_O, kPadCircle},
        {SDL_SCANCODE_S, kPadSquare},
        {SDL_SCANCODE_T, kPadTriangle},
        {SDL_SCANCODE_ESCAPE, kPadTriangle},
        {SDL_SCANCODE_BACKSPACE, kPadTriangle},
        {SDL_SCANCODE_Q, kPadL1},
        {SDL_SCANCODE_E, kPadR1},
        {SDL_SCANCODE_1, kPadL2},
        {SDL_SCANCODE_3, kPadR2},
    };
    for (const Key& k : kKeys)
        if (keys[k.code]) in.buttons |= k.bit;
    // The arrows are the d-pad alone: the game steers and leans with the d-pad as with the stick, and a
    // menu that also stepped on the stick would move two rows for one press. I J K L are the right stick.
    auto axis = [&](SDL_Scancode minus, SDL_Scancode plus) -> uint8_t {
        if (keys[minus] && !keys[plus]) return 0;
        if (keys[plus] && !keys[minus]) return 255;
        return 128;
    };
    in.sticks[0] = axis(SDL_SCANCODE_J, SDL_SCANCODE_L);
    in.sticks[1] = axis(SDL_SCANCODE_I, SDL_SCANCODE_K);
    return in;
}

void SdlInput::NoteKey(const SDL_Event& event) {
    if (event.type == SDL_KEYDOWN && !event.key.repeat) {
        const int code = event.key.keysym.scancode;
        if (code >= 0 && code < SDL_NUM_SCANCODES) tapped_[code] = 1;
    }
}

void SdlInput::KeysForPoll(const Uint8* held, int count, Uint8* tapped, Uint8* out) {
    for (int i = 0; i < SDL_NUM_SCANCODES; ++i) {
        out[i] = (i < count && held[i]) || tapped[i] ? 1 : 0;
        tapped[i] = 0;
    }
}

PadInput SdlInput::FromController(SDL_GameController* c) {
    PadInput in = PadIdle();
    struct Button {
        SDL_GameControllerButton button;
        uint16_t bit;
    };
    static const Button kButtons[] = {
        {SDL_CONTROLLER_BUTTON_A, kPadCross},         {SDL_CONTROLLER_BUTTON_B, kPadCircle},
        {SDL_CONTROLLER_BUTTON_X, kPadSquare},        {SDL_CONTROLLER_BUTTON_Y, kPadTriangle},
        {SDL_CONTROLLER_BUTTON_BACK, kPadSelect},     {SDL_CONTROLLER_BUTTON_START, kPadStart},
        {SDL_CONTROLLER_BUTTON_LEFTSTICK, kPadL3},    {SDL_CONTROLLER_BUTTON_RIGHTSTICK, kPadR3},
        {SDL_CONTROLLER_BUTTON_LEFTSHOULDER, kPadL1}, {SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, kPadR1},
        {SDL_CONTROLLER_BUTTON_DPAD_UP, kPadUp},      {SDL_CONTROLLER_BUTTON_DPAD_DOWN, kPadDown},
        {SDL_CONTROLLER_BUTTON_DPAD_LEFT, kPadLeft},  {SDL_CONTROLLER_BUTTON_DPAD_RIGHT, kPadRight},
    };
    for (const Button& b : kButtons)
        if (SDL_GameControllerGetButton(c, b.button)) in.buttons |= b.bit;
    if (SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_TRIGGERLEFT) > kTriggerThreshold)
        in.buttons |= kPadL2;
    if (SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_TRIGGERRIGHT) > kTriggerThreshold)
        in.buttons |= kPadR2;
    in.sticks[0] = StickByte(SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_RIGHTX));
    in.sticks[1] = StickByte(SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_RIGHTY));
    in.sticks[2] = StickByte(SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_LEFTX));
    in.sticks[3] = StickByte(SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_LEFTY));
    return in;
}

void SdlInput::Rumble(int pad, SDL_GameController* c) {
    // Actuator 0 is the small motor (on/off), actuator 1 the large one (0..255).
    const uint8_t small = PadActuator(pad, 0, 0);
    const uint8_t large = PadActuator(pad, 0, 1);
    if (small == lastRumble_[pad][0] && large == lastRumble_[pad][1]) return;
    lastRumble_[pad][0] = small;
    lastRumble_[pad][1] = large;
    SDL_GameControllerRumble(c, small ? 0xFFFF : 0, static_cast<Uint16>(large * 257),
                             small || large ? 1000 : 0);
}

void SdlInput::Update() {
    // A key pressed and released since the last poll counts as held for this one.
    int count = 0;
    const Uint8* held = SDL_GetKeyboardState(&count);
    Uint8 keys[SDL_NUM_SCANCODES];
    KeysForPoll(held, count, tapped_, keys);
    PadInput pad1 = FromKeyboard(keys);
    if (controllers_[0]) {
        const PadInput c = FromController(controllers_[0]);
        pad1.buttons |= c.buttons;
        for (int i = 0; i < 4; ++i) pad1.sticks[i] = Stronger(pad1.sticks[i], c.sticks[i]);
        Rumble(0, controllers_[0]);
    }
    // Pads 1 and 2 are the two controller ports (slot 0 of each).
    PadSetInput(0, 0, pad1);
    PadInput pad2;
    pad2.connected = false;
    if (controllers_[1]) {
        pad2 = FromController(controllers_[1]);
        Rumble(1, controllers_[1]);
    }
    PadSetInput(1, 0, pad2);
}

}  // namespace host
