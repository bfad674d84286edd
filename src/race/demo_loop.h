// The attract loop: when nobody touches the game, the title screens run for a while, then a race on a
// picked track with every bike under computer control, then back to the title screens; every fifth race
// the credits come instead. The manager counts frames in each state and picks the next attract track;
// its world table also names every track's file and type. In soak mode (a long unattended run that
// checks nothing is lost between races) the races take every world in turn, last as long as asked, and
// no credits come between them.
#pragma once

#include <cstdint>

#include "game/core/game_options.h"

enum DLState_Enum : int32_t {
    DL_FRONT_END = 0,  // title screens, counting towards an attract race
    DL_IN_GAME = 1,    // an attract race runs
    DL_CREDITS = 2,    // credits shown
    DL_DISABLED = 3,   // a player has taken over: nothing is counted
    DL_END_ENUM = 4,
};

enum Worlds_Enum : int32_t {
    B01,
    B02,
    B03,
    B04,
    B05,
    F01,
    F02,
    F03,
    F04,
    I02,
    I03,
    I04,
    I05,
    I07,
    I08,
    I09,
    I10,
    O01,
    O03,
    O04,
    O05,
    O06,
    O07,
    O08,
    O09,
    END_WORLD_ENUMS,
};

struct WorldInfo {
    const char* fileName;  // inside the "WORLD" directory
    TrackType trackType;
};

extern const WorldInfo wInfo[END_WORLD_ENUMS];

class CDemoLoopManager {
public:
    static constexpr uint32_t kFrontEndFrames = 1500;
    static constexpr uint32_t kRaceFrames = 3000;
    static constexpr uint32_t kAfterCreditsFrames = 200;
    static constexpr uint32_t kRacesPerCredits = 5;

    static CDemoLoopManager* DLManPtr;

    CDemoLoopManager();
    ~CDemoLoopManager();
    CDemoLoopManager(const CDemoLoopManager&) = delete;
    CDemoLoopManager& operator=(const CDemoLoopManager&) = delete;

    // One frame; 1 when the current title screen or attract race must end now.
    uint32_t updateDemoLoopManager();
    void setDLCounter(unsigned int n) { demoLoopCounter = n; }
    void setCreditsDone() { creditsDone = 1; }
    // DL_DISABLED also takes the options record out of attract mode.
    void setDemoLoopState(DLState_Enum s);
    DLState_Enum getDemoLoopState() const { return demoLoopState; }
    static TrackType getWorldType(Worlds_Enum w) { return wInfo[w].trackType; }
    static const char* getWorldString(Worlds_Enum w) { return wInfo[w].fileName; }
    // Picks the next attract track (indoor, baja, outdoor in turn, never the same world twice in a row
    // within a type) and writes it into the options record with attract mode on.
    void setDLGameOptions();
    // Soak mode: attract races of `raceFrames` frames (and title waits no longer) on every world in
    // turn, from the first. 0 switches it off.
    void setSoak(uint32_t raceFrames) {
        soakFrames = raceFrames;
        soakWorld = 0;
    }
    bool soaking() const { return soakFrames != 0; }

    uint32_t demoLoopCounter = 0;
    // Start-up puts the loop in DL_FRONT_END; until then (a race built directly, as tests do) nothing
    // counts.
    DLState_Enum demoLoopState = DL_DISABLED;
    TrackType trackType = TRACKTYPE_INDOOR;
    uint32_t lastIndoor = I02;
    uint32_t lastBaja = B02;
    uint32_t lastOutDoor = O01;
    uint32_t lastFreeStyle = F01;
    uint32_t creditsDone = 0;
    uint32_t loopCount = 0;
    uint32_t soakFrames = 0;
    uint32_t soakWorld = 0;  // the next soak race's world
};

// The program's one demo-loop manager; it allocates nothing, so it may be built before the heap.
extern CDemoLoopManager DLManager;

// Start-up: the demo loop in its front-end state, the default track from its world table.
void StartDemoLoop(CGameOptions* options);
// The front-end screen after a race is left: the career's pre-race screen, the main menu (demo loop
// disabled), the credits, or the start screen.
int NextFrontEndScreen(bool inCareer);
