// The loading screen drawn while a race is built. The bar is the front end's: it makes the bar, loads its
// two pictures and installs the hooks below. The race steps it at fixed points of its construction (each
// step draws one whole frame of the loading screen) and frees it once built. Without hooks (a race built
// with no front end) or without a bar (a restart: the bar went with the first build) nothing is drawn.
#pragma once

#include <cstdint>
#include <initializer_list>

struct RaceLoadingBar {
    // Advances the bar by `steps` increments and draws its frame; the bar's value, or -1 without a bar.
    int32_t (*step)(int32_t steps) = nullptr;
    // Frees the bar (its last frame sent first) and forgets it; nothing without a bar.
    void (*destroy)() = nullptr;
    // Sends the bar's last frame out and waits until the display has shown it; nothing without a bar.
    void (*show)() = nullptr;
};

// Installed by the front end; the race only calls it.
extern RaceLoadingBar raceLoadingBar;

namespace loadingbar {
// One step of the bar per amount, in order, each drawing its frame: nothing without a bar.
void Step(std::initializer_list<int32_t> amounts);
// Puts the bar's last frame on the screen before the display goes off for the race's first frames.
void Show();
// Frees the bar once the race is built.
void Destroy();
}  // namespace loadingbar
