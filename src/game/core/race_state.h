// The race's shared state: the statics of the one race that runs at a time, which the race's parts read
// (the HUD, the cameras, the end screens, the computer riders). They sit on the ground floor so that any
// floor can read them without including the race; the race (CQzGame, race/race_game.h) derives from
// this class, so the race's own code names them CQzGame::numOfTotalRacers and so on.
#pragma once

#include <cstdint>

class CGameOptions;
class C3DView;
class CTrackCamera;
class CGameStart;
class CQZGameController;
class KineticBike;

class CRaceState {
public:
    static constexpr int kMaxRacers = 8;

    inline static uint32_t numOfTotalRacers = 0;
    inline static uint32_t numOfHumanRacers = 0;
    inline static uint32_t splitScreen = 0;
    inline static int32_t performance = 0;  // the load level (PERFORMANCE_VERY_FAST)
    inline static float performanceHistory[10] = {};
    inline static int32_t performanceHistoryId = 0;
    inline static CGameOptions* gameOptions = nullptr;
    inline static C3DView** view = nullptr;  // the players' views, one per human (the race owns them)
    inline static CTrackCamera* trackCam = nullptr;
    inline static CGameStart* gameStart = nullptr;
    inline static CQZGameController* controller[2] = {};
    inline static int32_t pauseId = -1;
    inline static KineticBike* bike[kMaxRacers] = {};
    inline static int32_t bikeId[kMaxRacers] = {-1, -1, -1, -1, -1, -1, -1, -1};
    inline static float orthogDist = 0.0f;
    inline static float startSplineTime = 0.1f;
    inline static void* masterFileCommonObjects = nullptr;
    inline static void* masterFileWorld = nullptr;
    inline static void* masterFileAudio = nullptr;
    inline static void* masterHiResBike = nullptr;
    inline static void* masterHiResRider = nullptr;

    // Puts every one back as a program start leaves them.
    static void resetRaceState() {
        numOfTotalRacers = numOfHumanRacers = splitScreen = 0;
        performance = 0;
        for (float& f : performanceHistory) f = 0.0f;
        performanceHistoryId = 0;
        gameOptions = nullptr;
        view = nullptr;
        trackCam = nullptr;
        gameStart = nullptr;
        controller[0] = controller[1] = nullptr;
        pauseId = -1;
        for (int i = 0; i < kMaxRacers; ++i) {
            bike[i] = nullptr;
            bikeId[i] = -1;
        }
        orthogDist = 0.0f;
        startSplineTime = 0.1f;
        masterFileCommonObjects = masterFileWorld = masterFileAudio = nullptr;
        masterHiResBike = masterHiResRider = nullptr;
    }
};
