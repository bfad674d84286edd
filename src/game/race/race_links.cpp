#include "game/race/race_links.h"

#include <cstdio>

#include "bike/kinetic_bike.h"
#include "game/ai/ai_interface.h"
#include "game/ai/ai_orders.h"
#include "game/model/model.h"
#include "game/race/demo_loop.h"
#include "game/race/race_game.h"
#include "world/camera.h"

namespace racelink {

// Computer riders: every racer has one (a human's drives its bike after the finish).
CAIInterface* MakeAI(CQzGame& race, unsigned int racer, int id) {
    auto* ai = new CAIInterface();
    ai->setActiveObject(id);
    ai->startPos(CQzGame::startSplineTime, CQzGame::orthogDist);
    ai->setChaseTarget(CQzGame::bikeId[0] >= 0 ? CQzGame::bikeId[0] : id);
    const int32_t d = CQzGame::gameOptions ? CQzGame::gameOptions->difficulty : 0;
    ai->setDifficulty(d == 0 ? 1 : d == 1 ? 2 : d == 2 ? 3 : 2);
    if (CQzGame::bike[racer]) CAIBikeIter::getInstance()->addBike(CQzGame::bike[racer]);
    (void)race;
    return ai;
}
void ProcessAI(CAIInterface* ai, std::vector<CPacket>& packets, int stride) {
    if (ai) ai->processAI(packets, stride);
}
void AdvanceWayPos(CAIInterface* ai, KineticBike* bike) {
    if (ai && bike) ai->advanceWayPos(*bike);
}
void DeleteAI(CAIInterface* ai) {
    delete ai;
}
bool AIPlacesBikes() {
    return true;
}

// Pad controllers: none yet.
CQZGameController* MakeController(CQzGame&, unsigned int) {
    return nullptr;
}
void ProcessInput(CQZGameController*, std::vector<CPacket>&) {}
void SetDemoLoopState(CQZGameController*) {}
void DeleteController(CQZGameController*) {}

// Chase cameras: one per human, waiting in the pre-race mode.
int MakeChaseCamera(CQzGame& race, unsigned int) {
    auto* cam = new CCamera();
    cam->SetMode(CAMMODE_PREGAME);
    race.model->objects.push_back(cam);
    return static_cast<int>(race.model->objects.size()) - 1;
}
void AimChaseCamera(int cameraId, int bikeId, int riderId) {
    CModel* m = CModel::modelPtr;
    if (!m || cameraId < 0 || static_cast<size_t>(cameraId) >= m->objects.size()) return;
    auto* cam = dynamic_cast<CCamera*>(m->objects[static_cast<size_t>(cameraId)]);
    if (!cam) return;
    cam->cameraTargetId = bikeId;
    cam->riderTargetId = riderId;
}

// World view: none yet.
void MakeWorldView(CQzGame&) {}
void DestroyWorldView(CQzGame&) {}

// Countdown: none yet; the racers are released at once and the clock counts from the race's start.
CGameStart* MakeGameStart(CQzGame&, unsigned int) {
    return nullptr;
}
float StartRelativeTime(const CGameStart*) {
    return globalTime;
}
bool GameStarted(const CGameStart*) {
    return true;
}

// End screens: none yet.
void MakeGameEnd(CQzGame&) {}
bool GameEnded(const CGameEnd*) {
    return false;
}

// Demo loop.
bool DemoLoopEnabled() {
    return DLManager.getDemoLoopState() != DL_DISABLED;
}
int UpdateDemoLoop() {
    return static_cast<int>(DLManager.updateDemoLoopManager());
}
void StartDemoLoop(CGameOptions* options) {
    DLManager.setDemoLoopState(DL_FRONT_END);
    std::snprintf(options->WorldFile, sizeof options->WorldFile, "%s", CDemoLoopManager::getWorldString(I04));
    options->trackType = CDemoLoopManager::getWorldType(I04);
}
int NextFrontEndScreen(bool inCareer) {
    if (inCareer) return 6;
    switch (DLManager.getDemoLoopState()) {
        case DL_DISABLED:
            return 33;
        case DL_CREDITS:
            return 1;
        default:
            return 34;
    }
}

void InitStunts(CQzGame&) {}
void DestroyStunts() {}

}  // namespace racelink

// Until the end-of-race code is in: a human who has finished is handed to the computer.
void CQzGame::checkGameOver() {}
