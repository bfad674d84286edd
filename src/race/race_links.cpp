#include "race/race_links.h"

#include <cstdio>

#include "bike/kinetic_bike.h"
#include "game/files/file_manager.h"
#include "game/model/model.h"
#include "race/ai/ai_interface.h"
#include "race/ai/ai_orders.h"
#include "race/control/controller_targets.h"
#include "race/control/game_controller.h"
#include "race/control/stunt_mgr.h"
#include "race/countdown.h"
#include "race/demo_loop.h"
#include "race/end_of_race.h"
#include "race/end_screens.h"
#include "race/race_game.h"
#include "race/race_sound.h"
#include "race/scene/camera.h"
#include "race/scene/world_view.h"

namespace racelink {

namespace {
constexpr unsigned int kStuntTreeSubFile = 212;
}

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

// Pad controllers: one per human.
namespace {
// The demo loop as the pad controller reaches it (a pad press in an attract race ends it).
class DemoLoopForPads : public CDemoLoopTarget {
public:
    void setDLCounter(int counter) override { DLManager.setDLCounter(static_cast<unsigned int>(counter)); }
};
DemoLoopForPads demoLoopForPads;
}  // namespace

CQZGameController* MakeController(CQzGame& race, unsigned int player) {
    const auto preset = static_cast<int8_t>(CQzGame::gameOptions->presetHumanControls[player]);
    auto* c = new CQZGameController(player, static_cast<unsigned int>(static_cast<int>(preset)));
    c->setBikeId(CQzGame::bikeId[player]);
    c->pauseId = CQzGame::pauseId;
    c->cameraId = race.cameraId[player];
    c->_activeObject = CQzGame::bikeId[player];
    c->hudId = race.hudId[player];
    c->endGameId = race.endGameId;
    CQZGameController::demoLoop = DLManager.getDemoLoopState() != DL_DISABLED ? &demoLoopForPads : nullptr;
    return c;
}
void ProcessInput(CQZGameController* c, std::vector<CPacket>& packets) {
    if (c) c->ProcessInput(packets);
}
void SetDemoLoopState(CQZGameController* c) {
    if (c) c->setState(STATE_DEMOLOOP);
}
void DeleteController(CQZGameController* c) {
    delete c;
    CQZGameController::demoLoop = nullptr;
}

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

// World view: in every human's view, then the placed objects, gates and out-of-bounds ring.
void MakeWorldView(CQzGame& race) {
    if (!race.worldView) return;
    std::vector<C3DView*> views(CQzGame::view, CQzGame::view + CQzGame::numOfHumanRacers);
    for (C3DView* v : views) v->insertObject(race.worldView);
    race.worldView->addObjectsToWorld(views);
}
// The placed objects' ambient sounds, after every racer's sounds.
void AddWorldSounds(CQzGame& race) {
    if (race.worldView) race.worldView->addAmbientSounds(racesound::View());
}
void DestroyWorldView(CQzGame& race) {
    if (race.worldView) race.worldView->clearStvList();
}

// Countdown: one per human in its view; player 0's sets the race's clock.
CGameStart* MakeGameStart(CQzGame& race, unsigned int player) {
    auto* start = new CGameStart(CQzGame::masterFileCommonObjects, race.trackList, player);
    CQzGame::view[player]->insertObject(start);
    return start;
}
float StartRelativeTime(const CGameStart* s) {
    return s ? s->getRelativeTime() : 0.0f;
}
bool GameStarted(const CGameStart* s) {
    return s && s->gameStartData.gameStarted != 0;
}

// End screens: the menu object in the model, the results over every player's view.
void MakeGameEnd(CQzGame& race) {
    race.gameEndModel = new CGameEndObj(CQzGame::pauseId);
    race.model->objects.push_back(race.gameEndModel);
    race.endGameId = static_cast<int32_t>(race.model->objects.size()) - 1;
    race.gameEnd = new CGameEnd(&race.pauseView, CQzGame::masterFileCommonObjects, race.trackList,
                                race.endGameId, race.hudId[0]);
    race.overlayView->insertObject(race.gameEnd);
}
bool GameEnded(const CGameEnd* e) {
    return e && e->getGameEnded() != 0;
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

void InitStunts(CQzGame& race) {
    CFileManager* fm = GetFileManager();
    void* common = CQzGame::masterFileCommonObjects;
    const int len = fm->getSubFileLength(common, kStuntTreeSubFile);
    CStuntMgr::initialize(fm->loadSubFile(common, kStuntTreeSubFile), len > 0 ? static_cast<size_t>(len) : 0,
                          CQzGame::numOfTotalRacers, CQzGame::bikeId);
    (void)race;
}
void DestroyStunts() {
    delete CStuntMgr::theStuntMgr;
    CStuntMgr::theStuntMgr = nullptr;
}

}  // namespace racelink

void CQzGame::checkGameOver() {
    CheckGameOver(RaceEndPartsOf(*this));
}
