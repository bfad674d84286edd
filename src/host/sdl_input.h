// Keyboard and game controllers drive pads 1 and 2 in a window run.
//
// Pad 1 (port 0): the keyboard and the first game controller together; pad 2 (port 1): the second
// controller (connected only while there is one). Keyboard, the keys named as the screens name the
// buttons: arrows = d-pad, Return = START, Tab = SELECT, X or Space = cross, O = circle, S = square, T (or
// Escape or Backspace) = triangle, Q = L1, E = R1, 1 = L2, 3 = R2; I J K L = right stick. A key pressed
// and released between two polls counts as held for one poll. Controllers: the usual layout (A cross, B
// circle, X square, Y triangle, shoulders L1/R1, triggers L2/R2, stick clicks L3/R3, back SELECT, start
// START, d-pad, both sticks). Rumble levels the game sends to a pad are played on its controller.
#pragma once

#include <SDL.h>

#include <cstdint>

#include "console/pad/pad.h"
#include "host/error.h"

namespace host {

class SdlInput {
public:
    SdlInput() = default;
    ~SdlInput();
    SdlInput(const SdlInput&) = delete;
    SdlInput& operator=(const SdlInput&) = delete;

    // Starts SDL's game-controller support and opens the controllers already plugged in.
    bool Init(Error* error);
    void Close();
    // Controller plug and unplug events, and key presses (so a tap shorter than a frame still counts).
    void HandleEvent(const SDL_Event& event);
    // Reads the keyboard and controllers and hands pads 1 and 2 to the pad stand-in; call once a frame.
    void Update();

    // The pad state the keyboard alone gives (for tests of the mapping).
    static console::PadInput FromKeyboard(const Uint8* keys);
    // The keys one poll sees: those held now (`held`, `count` of them) and those pressed since the last
    // poll (`tapped`, SDL_NUM_SCANCODES of them, cleared here); `out` takes SDL_NUM_SCANCODES.
    static void KeysForPoll(const Uint8* held, int count, Uint8* tapped, Uint8* out);
    // The pad state one controller gives.
    static console::PadInput FromController(SDL_GameController* controller);

private:
    void NoteKey(const SDL_Event& event);
    void OpenController(int index);
    void CloseController(SDL_JoystickID id);
    void Rumble(int pad, SDL_GameController* controller);

    SDL_GameController* controllers_[2] = {};
    uint8_t lastRumble_[2][2] = {};
    Uint8 tapped_[SDL_NUM_SCANCODES] = {};
};

}  // namespace host
