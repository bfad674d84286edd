#include "game/race/race_links.h"

#include "game/race/race_game.h"

namespace racelink {

// Computer riders: none yet; bikes are placed on the grid by the race and stand still.
CAIInterface* MakeAI(CQzGame&, unsigned int, int) {
    return nullptr;
}
void ProcessAI(CAIInterface*, std::vector<CPacket>&, int) {}
void AdvanceWayPos(CAIInterface*, KineticBike*) {}
void DeleteAI(CAIInterface*) {}
bool AIPlacesBikes() {
    return false;
}

// Pad controllers: none yet.
CQZGameController* MakeController(CQzGame&, unsigned int) {
    return nullptr;
}
void ProcessInput(CQZGameController*, std::vector<CPacket>&) {}
void SetDemoLoopState(CQZGameController*) {}
void DeleteController(CQZGameController*) {}

// Cameras: none yet.
int MakeChaseCamera(CQzGame&, unsigned int) {
    return -1;
}
void AimChaseCamera(int, int, int) {}

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

// Demo loop: none yet; races are not attract races.
bool DemoLoopEnabled() {
    return false;
}
int UpdateDemoLoop() {
    return 0;
}
void StartDemoLoop(CGameOptions*) {}
int NextFrontEndScreen(bool inCareer) {
    return inCareer ? 6 : 34;
}

void InitStunts(CQzGame&) {}
void DestroyStunts() {}

}  // namespace racelink

// Until the end-of-race code is in: a human who has finished is handed to the computer.
void CQzGame::checkGameOver() {}
