// The race: CQzGame builds one whole race from the options and the master files (world, racers,
// controllers, computer riders, views, cameras, countdown, end screens), steps it one shown frame at a
// time (two 1/60 s physics sub-steps, the computer riders' schedule, the load governor) and takes it
// apart again. One race exists at a time; the rest of the game reaches it through the statics.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/hal/display.h"
#include "game/core/game_options.h"
#include "game/core/race_state.h"
#include "game/files/object_type_table.h"
#include "game/model/global_time.h"
#include "game/model/packet.h"

struct _font;
class CModel;
class CWorldModel;
class CWorldView;
class CQZHeightfield;
class CCamera;
class CTrackCamera;
class CAIInterface;
class CAIBikeIter;
class CQZGameController;
class CGameStart;
class CGameEnd;
class CGameEndObj;
class CPauseObj;
class CSplineManager;
class KineticBike;
class C3DView;
namespace Kinetic {
class RigidBody;
class KineticVehicleAction;
}  // namespace Kinetic

// The empty base of the race object.
class CGame {
public:
    CGame();
    virtual ~CGame() = default;
    CGame(const CGame&) = delete;
    CGame& operator=(const CGame&) = delete;

    uint8_t gameState = 0;
    uint8_t gameInit = 0;
    _font* f = nullptr;  // the debug font
};

// The load level the governor sets from the worst recent frame; effects do less at higher levels.
enum Performance : int32_t {
    PERFORMANCE_VERY_FAST = 0,
    PERFORMANCE_FAST = 1,
    PERFORMANCE_NORMAL = 2,
    PERFORMANCE_SLOW = 3,
    PERFORMANCE_VERY_SLOW = 4,
};

// Who drives a racer.
enum WhoControls : int32_t {
    CONTROL_PLAYER = 0,     // the player's controller
    CONTROL_AI = 1,         // the computer
    CONTROL_AI_PLAYER = 2,  // the computer, the player's controller still reading its pad
};

// The race's frame counter (the race clock is globalTime, game/model/global_time.h).
extern uint32_t Framecounter;

// The race's sound tuning from "AUDIO\sound.txt" (the defaults when the file is missing or unusable).
extern float engineVol, checkpointVol, collisionVol, landingVol, announcerVol, crowdVol, announcerFreq,
    crowdFreq;
extern float raceMusicVolume[2];    // music a, music b
extern int32_t soundGroupLimit[3];  // mixer sound groups 1, 2, 3

class CQzGame : public CGame, public CRaceState {
public:
    static constexpr int kModels = 10;  // bike and rider models

    // Results of updateGame.
    static constexpr int kGoOn = 0;
    static constexpr int kLeave = 1;
    static constexpr int kRestart = 2;

    CQzGame(CGameOptions* options, void* commonObjects, unsigned int restart);
    ~CQzGame() override;

    // One shown frame: 0 go on, 1 leave the race, 2 restart it.
    int updateGame();
    // The computer riders' turn in the first sub-step: released one by one after the countdown, thinned
    // out by the load level.
    void ProcessSomeAI();
    // Hands a human who has finished to the computer and turns the end screen on (end-of-race code).
    void checkGameOver();
    void nullAllIDs();

    int initSound(unsigned int restart);
    int initWorld();
    int initSky();
    int initArena();
    void initHud(CCamera* camera, unsigned int playerNum);
    int initBikeResources();
    int initRiderResources();
    int initRacer(unsigned int i, unsigned int isAI);

    // The load governor: one frame's CPU time (seconds) into the ring of ten, the level from the
    // worst of them.
    static void updatePerformance(float cpuSeconds);
    // AI stride for a load level: 0, 1 -> 1; 2, 3 -> 2; 4 -> 4; other -> 8.
    static int aiStride(int level);
    // Seconds after the countdown's start at which racer i's AI starts thinking.
    static float aiStartTime(int racer);
    // Where the governor reads the last frame's CPU time; the engine's by default. Tests install
    // their own source so that runs are repeatable.
    static float (*cpuTimeSource)();
    // Off: frames step the race and its views' objects without drawing them or running the engine's
    // frame (headless measurement).
    static bool drawFrames;
    // The developers' debug drawing (qz --debug-draw): each race sets kDebugOptionBits in its options
    // (the colliders near player 1 and every rider's body as white wire frames) and the HUD prints its
    // debug lines.
    static bool debugDraw;
    static constexpr int32_t kDebugOptionBits = 0x2 | 0x40;

    uint32_t freeMemBefore = 0;  // KB
    uint32_t freeMemAfter = 0;   // KB
    CModel* model = nullptr;
    CWorldModel* world = nullptr;
    CWorldView* worldView = nullptr;
    CQZHeightfield* qzHeightfield = nullptr;
    int32_t trackList[10];
    int32_t bikeDescriptionId[kModels];
    int32_t riderId[kMaxRacers];
    int32_t riderDescriptionId[kModels];
    CAIInterface* control[kMaxRacers] = {};
    int32_t whoControls[kMaxRacers] = {};
    std::vector<CPacket> packets;
    CPauseObj* pauseModel = nullptr;
    _ve_view pauseView{};
    // The screens drawn over every player's view (pause menu, results): rendered after the last one, so
    // in split screen the lower view does not draw over them.
    std::unique_ptr<C3DView> overlayView;
    int32_t hudId[2];
    int32_t radarTexId = -1;
    CGameEnd* gameEnd = nullptr;
    int32_t endGameId = -1;
    CGameEndObj* gameEndModel = nullptr;
    int32_t cameraId[12];
    int32_t trackCamID = -1;
    CSplineManager* pGameSplines = nullptr;
    CAIBikeIter* bikeIterator = nullptr;
    int32_t dustTexID = -1, TrailTexID = -1, mudTexID = -1;
    int32_t frameStripe = 0;
    _Info bikeInfo{};   // the type record every bike description points to
    _Info arenaInfo{};  // the arena's type record (its hit sound)
    int32_t stable30FpsFrames = 0;
    bool worldMissing = false;  // the world file could not be loaded: the race ends at once

    // The race-wide statics are CRaceState's (game/core/race_state.h).

private:
    // The ground: a fixed body with the height field, in the physics world and the wheels' ray caster.
    Kinetic::RigidBody* ground_ = nullptr;
    std::vector<Kinetic::KineticVehicleAction*> vehicleActions_;
    // The players' views (one per human, at most two) and the table of them that `view` points at:
    // statics like `view`, so that the race object keeps its size (and the heap its figures).
    static std::array<std::unique_ptr<C3DView>, 2> views_;
    static std::unique_ptr<C3DView*[]> viewTable_;
    void renderViews();

    // The steps of building a race, in the constructor's order.
    void printVersion();
    void resetCounters();  // the AI frame counter, the free memory at the start, the load governor
    void takeOptions(CGameOptions* options, void* commonObjects);
    void fixFieldSize(CGameOptions* options);  // the racer counts (written back into the options)
    void makePlayerViews();                    // one 3D view and chase camera per human
    void loadHighResModels(const CGameOptions* options, unsigned int restart);
    void loadWorldFile(const CGameOptions* options, unsigned int restart);
    void loadDebugFont(void* commonObjects);
    void initScenery();  // world, sky and arena (none without a world file)
    void initRacers();   // the start grid and every racer on it
    // Once the world has placed its icons and the racers are built: the pickup award's value and every
    // racer's number of icons to find are the world's icon count (a world without icons leaves them).
    void countPickupIcons();
    void initPlayers();  // each human's HUD, camera target, countdown, pause and end screens, controller
    void initRamps();
    void startDemo();  // an attract race: the computer rides for every human
    void printResourceFill();

    // The steps of taking a race apart, in the destructor's order.
    void freeModel();        // the vehicle actions, then the model with every object in it
    void freeViews();        // the players' views and the overlay
    void freeRaceObjects();  // height field, splines, AI, controllers, stunts and the race's singletons
    void emptyStorages();    // the resource storages and the debug font
    void freeMasterFiles();  // the world and high-resolution files (not when restarting)
    void printMemoryLost();
};

// Puts the race's singletons back as a program start leaves them: the race's shared statics, the stunt
// recogniser, the computer riders' bike list, the racing lines, the terrain map and the ramps. Tests that
// build parts of a race without a CQzGame call it when they are done.
void ResetRaceSingletons();
