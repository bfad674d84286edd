#include "race/loading_bar.h"

#include "race/race_game.h"

RaceLoadingBar raceLoadingBar;

namespace loadingbar {

void Step(std::initializer_list<int32_t> amounts) {
    // A race that runs no engine frames (headless measurement) draws no loading frames either.
    if (!raceLoadingBar.step || !CQzGame::drawFrames) return;
    for (int32_t amount : amounts)
        if (raceLoadingBar.step(amount) < 0) return;
}

void Show() {
    if (raceLoadingBar.show && CQzGame::drawFrames) raceLoadingBar.show();
}

void Destroy() {
    if (raceLoadingBar.destroy) raceLoadingBar.destroy();
}

}  // namespace loadingbar
