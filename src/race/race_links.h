// Where the race reaches the parts built beside it: computer riders, pad controllers, cameras, the
// world's view, the countdown, the end screens and the attract loop. Each call is a thin forward to
// that part; a part not yet in the game is a null seam here (no object, no effect), so the race runs
// with what exists.
#pragma once

#include <cstdint>
#include <vector>

#include "game/model/packet.h"

class CAIInterface;
class CQZGameController;
class CGameStart;
class CGameEnd;
class CGameEndObj;
class CQzGame;
class CGameOptions;
class KineticBike;
class C3DView;

namespace racelink {

// Computer riders: the racer's AI on the start grid (spline time, lateral offset), or null.
CAIInterface* MakeAI(CQzGame& race, unsigned int racer, int bikeId);
void ProcessAI(CAIInterface* ai, std::vector<CPacket>& packets, int stride);
void AdvanceWayPos(CAIInterface* ai, KineticBike* bike);
void DeleteAI(CAIInterface* ai);
// Puts the bike on the grid when no AI does it.
bool AIPlacesBikes();

// The pad controller of a human player, or null.
CQZGameController* MakeController(CQzGame& race, unsigned int player);
void ProcessInput(CQZGameController* c, std::vector<CPacket>& packets);
void SetDemoLoopState(CQZGameController* c);
void DeleteController(CQZGameController* c);

// The chase camera of a human player (its model object id, -1 when there is none) and its targets.
int MakeChaseCamera(CQzGame& race, unsigned int player);
void AimChaseCamera(int cameraId, int bikeId, int riderId);

// The world's view object in every human's view (null seam: the view draws nothing of the world).
void MakeWorldView(CQzGame& race);
// The placed objects' ambient sounds into the race's sound view, once every racer's sounds are in.
void AddWorldSounds(CQzGame& race);
void DestroyWorldView(CQzGame& race);

// The countdown of a player; its clock and whether the racers are released.
CGameStart* MakeGameStart(CQzGame& race, unsigned int player);
float StartRelativeTime(const CGameStart* s);
bool GameStarted(const CGameStart* s);

// The end screens; whether the race has ended for everyone.
void MakeGameEnd(CQzGame& race);
bool GameEnded(const CGameEnd* e);

// The attract loop: an attract race is one while the demo loop is not disabled.
bool DemoLoopEnabled();
int UpdateDemoLoop();
// Start-up: the demo loop in its front-end state, the default track from its world table.
void StartDemoLoop(CGameOptions* options);
// The front-end screen after a race is left: the career's pre-race screen, the main menu (demo loop
// disabled), the credits, or the start screen.
int NextFrontEndScreen(bool inCareer);

// The stunt recogniser of the race, and its end.
void InitStunts(CQzGame& race);
void DestroyStunts();

}  // namespace racelink
