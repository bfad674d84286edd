// The keyboard's mapping onto pad 1 in a window run.
#ifdef QZ_HAVE_SDL2
#include "host/sdl_input.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using namespace console;

console::PadInput With(std::initializer_list<SDL_Scancode> held) {
    std::vector<Uint8> keys(SDL_NUM_SCANCODES, 0);
    for (SDL_Scancode k : held) keys[k] = 1;
    return host::SdlInput::FromKeyboard(keys.data());
}

// The keys are the buttons the screens name; the arrows are the d-pad only, so a menu that steps on both
// the d-pad and the stick sees one of them.
TEST(SdlInput, KeysAreTheButtonsTheScreensName) {
    EXPECT_EQ(With({SDL_SCANCODE_X}).buttons, kPadCross);  // "X ACCEPT"
    EXPECT_EQ(With({SDL_SCANCODE_SPACE}).buttons, kPadCross);
    EXPECT_EQ(With({SDL_SCANCODE_O}).buttons, kPadCircle);    // "O DELETE"
    EXPECT_EQ(With({SDL_SCANCODE_T}).buttons, kPadTriangle);  // "TRIANGLE BACK"
    EXPECT_EQ(With({SDL_SCANCODE_ESCAPE}).buttons, kPadTriangle);
    EXPECT_EQ(With({SDL_SCANCODE_S}).buttons, kPadSquare);
    EXPECT_EQ(With({SDL_SCANCODE_RETURN}).buttons, kPadStart);
    EXPECT_EQ(With({SDL_SCANCODE_Z}).buttons, 0);
    for (SDL_Scancode arrow : {SDL_SCANCODE_UP, SDL_SCANCODE_DOWN, SDL_SCANCODE_LEFT, SDL_SCANCODE_RIGHT}) {
        const PadInput in = With({arrow});
        EXPECT_NE(in.buttons, 0) << arrow;
        for (int s = 0; s < 4; ++s) EXPECT_EQ(in.sticks[s], 128) << arrow << " stick " << s;
    }
    EXPECT_EQ(With({SDL_SCANCODE_DOWN}).buttons, kPadDown);
    const PadInput right = With({SDL_SCANCODE_L, SDL_SCANCODE_I});
    EXPECT_EQ(right.sticks[0], 255);
    EXPECT_EQ(right.sticks[1], 0);
}

// The keys the README gives for the free camera: Tab takes it, the shoulder keys climb, sink and change
// the speed, I J K L fly on the right stick.
TEST(SdlInput, TheFreeCameraKeysAreItsButtons) {
    EXPECT_EQ(With({SDL_SCANCODE_TAB}).buttons, kPadSelect);
    EXPECT_EQ(With({SDL_SCANCODE_Q}).buttons, kPadL1);
    EXPECT_EQ(With({SDL_SCANCODE_E}).buttons, kPadR1);
    EXPECT_EQ(With({SDL_SCANCODE_1}).buttons, kPadL2);
    EXPECT_EQ(With({SDL_SCANCODE_3}).buttons, kPadR2);
    const PadInput back = With({SDL_SCANCODE_K, SDL_SCANCODE_J});
    EXPECT_EQ(back.buttons, 0);
    EXPECT_EQ(back.sticks[0], 0);
    EXPECT_EQ(back.sticks[1], 255);
    EXPECT_EQ(back.sticks[2], 128);  // the left stick stays centred
    EXPECT_EQ(back.sticks[3], 128);
    // Both keys of one axis cancel.
    EXPECT_EQ(With({SDL_SCANCODE_I, SDL_SCANCODE_K}).sticks[1], 128);
}

// A key pressed and let go between two polls is held for the next poll only.
TEST(SdlInput, ATapBetweenTwoPollsCountsForOnePoll) {
    std::vector<Uint8> held(SDL_NUM_SCANCODES, 0), tapped(SDL_NUM_SCANCODES, 0), keys(SDL_NUM_SCANCODES, 0);
    tapped[SDL_SCANCODE_X] = 1;  // down and up again: no longer held
    held[SDL_SCANCODE_DOWN] = 1;
    host::SdlInput::KeysForPoll(held.data(), SDL_NUM_SCANCODES, tapped.data(), keys.data());
    EXPECT_EQ(keys[SDL_SCANCODE_X], 1);
    EXPECT_EQ(keys[SDL_SCANCODE_DOWN], 1);
    EXPECT_EQ(tapped[SDL_SCANCODE_X], 0);
    host::SdlInput::KeysForPoll(held.data(), SDL_NUM_SCANCODES, tapped.data(), keys.data());
    EXPECT_EQ(keys[SDL_SCANCODE_X], 0);
    EXPECT_EQ(keys[SDL_SCANCODE_DOWN], 1);
    // A keyboard state shorter than the table counts as keys not held.
    host::SdlInput::KeysForPoll(held.data(), 10, tapped.data(), keys.data());
    EXPECT_EQ(keys[SDL_SCANCODE_DOWN], 0);
}

// Through the event path: the key-down event of a tap is enough for pad 1 to see the button once; a
// key's repeat events are not taps.
TEST(SdlInput, ATapSeenOnlyAsAnEventReachesPadOne) {
    host::SdlInput input;
    SDL_Event e{};
    e.type = SDL_KEYDOWN;
    e.key.keysym.scancode = SDL_SCANCODE_X;
    input.HandleEvent(e);
    input.Update();
    EXPECT_EQ(PadGetInput(0, 0).buttons, kPadCross);
    input.Update();
    EXPECT_EQ(PadGetInput(0, 0).buttons, 0);
    e.key.repeat = 1;
    input.HandleEvent(e);
    input.Update();
    EXPECT_EQ(PadGetInput(0, 0).buttons, 0);
    PadReset();
}

}  // namespace
#endif
