// The one record the front end fills before a race and the race reads, and answers in when it ends.
#pragma once

#include <cstdint>

#include "console/mem/addr.h"

enum TrackType : int32_t {
    TRACKTYPE_BAJA = 0,
    TRACKTYPE_INDOOR = 1,
    TRACKTYPE_OUTDOOR = 2,
    TRACKTYPE_FREESTYLE = 3,
};

enum endGameState : int32_t {
    GAME_END_RACE_FINISHED = 0,
    GAME_END_RACE_QUIT = 1,
    GAME_END_RACE_RESTART = 2,
};

enum GameState : int32_t {
    GAMESTATE_FRONTEND = 0,
    GAMESTATE_GAME = 1,
};

// One result per racer, written at the end of a race for the front end. The name is kept as a 32-bit
// address so the record keeps its size on a 64-bit host.
struct _SeriesInfo {
    int32_t riderPos;
    uint32_t nameAddr;
    int32_t isHuman;

    const char* name() const { return Ptr<const char>(nameAddr); }
    void setName(const char* n) { nameAddr = n ? Addr32(n) : 0; }
};

// Option bits switched on at the start of every race.
inline constexpr int32_t kRaceOptionBits = 0x1 | 0x100 | 0x200 | 0x400 | 0x800 | 0x1000 | 0x2000 | 0x4000 |
                                           0x8000 | 0x10000 | 0x100000 | 0x200000 | 0x400000;

class CGameOptions {
public:
    CGameOptions();

    int32_t rider[2];
    int32_t bike[2];
    int32_t presetHumanControls[2];
    int32_t duration;
    int32_t difficulty;
    int32_t numHumanPlayers;
    TrackType trackType;
    int32_t cpuRiders;
    int32_t catchUp;
    int32_t timeOrLap;
    int32_t soundVolume;
    int32_t musicVolume;
    int32_t isCareer;
    uint32_t careerRiderStats[5];
    uint32_t demoMode;
    char WorldFile[24];
    int32_t gameOptions;
    _SeriesInfo sInfo[8];
    int32_t trackBonusAwardsFinished[5];
    endGameState gameEndState;
    uint32_t numCPURacers;
};

static_assert(sizeof(CGameOptions) == 240, "the options record keeps its console size");

// Switches on the race's option bits and clears the bonuses of the last race.
void setGameOptions(CGameOptions* options);
