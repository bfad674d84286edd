// One shown frame of a race: two 1/60 s sub-steps, the computer riders' schedule, the load governor,
// the render and the answer to the main loop.
#include "engine/hal/display.h"
#include "engine/hal/display_hw.h"
#include "engine/hal/engine.h"
#include "engine/hal/prim.h"
#include "game/model/model.h"
#include "game/model/pause_state.h"
#include "game/model/timer.h"
#include "game/stats/stats.h"
#include "game/view/view_3d.h"
#include "race/ai/ai_interface.h"
#include "race/control/game_controller.h"
#include "race/countdown.h"
#include "race/demo_loop.h"
#include "race/end_screens.h"
#include "race/pause_obj.h"
#include "race/race_game.h"
#include "race/race_sound.h"
#include "race/scene/motion_view.h"

float (*CQzGame::cpuTimeSource)() = veEngineGetCpuTime;
bool CQzGame::drawFrames = true;
bool CQzGame::debugDraw = false;

void CQzGame::updatePerformance(float cpuSeconds) {
    performanceHistory[performanceHistoryId] = cpuSeconds;
    if (++performanceHistoryId >= 10) performanceHistoryId = 0;
    float worst = 0.0f;
    for (float t : performanceHistory) worst = t > worst ? t : worst;
    // A worst frame at or above 1/30 s keeps the level it had.
    if (worst < 0.025f)
        performance = PERFORMANCE_VERY_FAST;
    else if (worst < 0.028f)
        performance = PERFORMANCE_FAST;
    else if (worst < 0.030f)
        performance = PERFORMANCE_NORMAL;
    else if (worst < 0.032f)
        performance = PERFORMANCE_SLOW;
    else if (worst < 0.0333f)
        performance = PERFORMANCE_VERY_SLOW;
}

int CQzGame::aiStride(int level) {
    switch (level) {
        case PERFORMANCE_VERY_FAST:
        case PERFORMANCE_FAST:
            return 1;
        case PERFORMANCE_NORMAL:
        case PERFORMANCE_SLOW:
            return 2;
        case PERFORMANCE_VERY_SLOW:
            return 4;
        default:
            return 8;
    }
}

float CQzGame::aiStartTime(int racer) {
    constexpr float kBoostStartTime = 1.0f;
    return kBoostStartTime + 0.05f + 0.2f * static_cast<float>(racer - 2);
}

void CQzGame::ProcessSomeAI() {
    ++frameStripe;
    if (!gameStart) return;
    const float t = gameStart->getRelativeTime();
    const int stride = aiStride(performance);
    for (uint32_t i = 0; i < numOfTotalRacers; ++i) {
        if (whoControls[i] != CONTROL_AI && whoControls[i] != CONTROL_AI_PLAYER) continue;
        if (t > aiStartTime(static_cast<int>(i)) && frameStripe % stride == static_cast<int>(i) % stride)
            if (control[i]) control[i]->processAI(packets, stride);
    }
}

void CQzGame::renderViews() {
    if (Framecounter < 5) {
        if (numOfHumanRacers > 0) veDisplayActivateView(&view[0]->_view3d);
        return;
    }
    // The display was off since the race was built, and a frame the display does not show is not cleared
    // after it: the frame buffer still holds what was drawn last (the loading screen, the race before a
    // restart, its pause menu or results) with its depths, and the scene would be drawn only where it
    // lies in front of them. The first picture starts from a clear frame buffer.
    if (Framecounter == 5 && drawFrames) veDisplayClearFrameBuffer(&pauseView, 1);
    CMotionView::gameTime = globalTime;  // the motion views step by game time
    for (uint32_t i = 0; i < numOfHumanRacers; ++i) {
        view[i]->update(0.0f);
        if (!drawFrames) continue;
        view[i]->render();
        if (i + 1 < numOfHumanRacers) vePrimSendBuffers();
    }
    if (!overlayView) return;
    overlayView->update(0.0f);
    if (!drawFrames) return;
    vePrimSendBuffers();
    overlayView->render();
}

int CQzGame::updateGame() {
    GetTimer();
    ++Framecounter;
    veEngineSetFrustumXY(320.0f, 260.0f);
    veEngineSetMaxFPS(1);

    // First sub-step: players and computer riders, the physics, the sound, the clock.
    packets.clear();
    for (uint32_t i = 0; i < numOfTotalRacers && i < numOfHumanRacers; ++i)
        if (whoControls[i] == CONTROL_PLAYER || whoControls[i] == CONTROL_AI_PLAYER)
            if (controller[i]) controller[i]->ProcessInput(packets);
    ProcessSomeAI();
    model->processPackets(packets, 0.0f);
    model->update(globalTime);
    racesound::Step(globalTime, CPauseState::pauseSwitch == 1,
                    gameStart ? &gameStart->gameStartData.gameStarted : nullptr);
    CGlobalTime::updateGlobalTime();

    // Second sub-step: the players' pads only, the physics.
    packets.clear();
    for (uint32_t i = 0; i < numOfTotalRacers && i < numOfHumanRacers; ++i)
        if (whoControls[i] == CONTROL_PLAYER && controller[i]) controller[i]->ProcessInput(packets);
    model->processPackets(packets, 0.0f);
    model->update(globalTime);

    veEngineSetMaxFPS(1);
    if (gameStart && gameStart->gameStartData.gameStarted != 0 && performance < PERFORMANCE_SLOW &&
        Framecounter % 15 == 0)
        CStats::updateRacePosition();

    if (drawFrames) veEngineBeginFrame();
    updatePerformance(cpuTimeSource());
    renderViews();
    if (drawFrames) veEngineEndFrame();

    for (uint32_t i = 0; i < numOfTotalRacers; ++i)
        if (i % 2 == Framecounter % 2 && control[i] && bike[i]) control[i]->advanceWayPos(*bike[i]);
    // The frame's sound after the picture has gone out and the waypoints have moved on.
    racesound::Render(CPauseState::pauseSwitch == 1);
    CGlobalTime::updateGlobalTime();
    checkGameOver();
    if (Framecounter == 5) veDisplayEnableDisplay();

    if (worldMissing) {
        // Left at the first frame, before the display came back on: turn it on so the game goes on showing.
        veDisplayEnableDisplay();
        gameOptions->gameEndState = GAME_END_RACE_QUIT;
        return kLeave;
    }
    if (gameEnd && gameEnd->getGameEnded() != 0) return kLeave;
    if (DLManager.getDemoLoopState() != DL_DISABLED)
        return static_cast<int>(DLManager.updateDemoLoopManager());
    if (pauseModel && pauseModel->exitGame == 1) {
        gameOptions->gameEndState = GAME_END_RACE_QUIT;
        return kLeave;
    }
    if (pauseModel && pauseModel->exitGame == 2) {
        gameOptions->gameEndState = GAME_END_RACE_FINISHED;
        return kLeave;
    }
    if (pauseModel && pauseModel->restartGame) return kRestart;
    return kGoOn;
}
