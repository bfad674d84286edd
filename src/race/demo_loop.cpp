#include "race/demo_loop.h"

#include <cstdio>

#include "engine/sys/xrand.h"
#include "game/core/global_options.h"

const WorldInfo wInfo[END_WORLD_ENUMS] = {
    {"b01.bin", TRACKTYPE_BAJA},      {"b02.bin", TRACKTYPE_BAJA},      {"b03.bin", TRACKTYPE_BAJA},
    {"b04.bin", TRACKTYPE_BAJA},      {"b05.bin", TRACKTYPE_BAJA},      {"f01.bin", TRACKTYPE_FREESTYLE},
    {"f02.bin", TRACKTYPE_FREESTYLE}, {"f03.bin", TRACKTYPE_FREESTYLE}, {"f04.bin", TRACKTYPE_FREESTYLE},
    {"i02.bin", TRACKTYPE_INDOOR},    {"i03.bin", TRACKTYPE_INDOOR},    {"i04.bin", TRACKTYPE_INDOOR},
    {"i05.bin", TRACKTYPE_INDOOR},    {"i07.bin", TRACKTYPE_INDOOR},    {"i08.bin", TRACKTYPE_INDOOR},
    {"i09.bin", TRACKTYPE_INDOOR},    {"i10.bin", TRACKTYPE_INDOOR},    {"o01.bin", TRACKTYPE_OUTDOOR},
    {"o03.bin", TRACKTYPE_OUTDOOR},   {"o04.bin", TRACKTYPE_OUTDOOR},   {"o05.bin", TRACKTYPE_OUTDOOR},
    {"o06.bin", TRACKTYPE_OUTDOOR},   {"o07.bin", TRACKTYPE_OUTDOOR},   {"o08.bin", TRACKTYPE_OUTDOOR},
    {"o09.bin", TRACKTYPE_OUTDOOR},
};

CDemoLoopManager* CDemoLoopManager::DLManPtr = nullptr;
CDemoLoopManager DLManager;

CDemoLoopManager::CDemoLoopManager() {
    DLManPtr = this;
}

CDemoLoopManager::~CDemoLoopManager() {
    if (DLManPtr == this) DLManPtr = nullptr;
}

void CDemoLoopManager::setDemoLoopState(DLState_Enum s) {
    demoLoopState = s;
    if (s == DL_DISABLED) gameOptions.demoMode = 0;
}

uint32_t CDemoLoopManager::updateDemoLoopManager() {
    if (demoLoopState == DL_DISABLED) return 0;
    ++demoLoopCounter;
    switch (demoLoopState) {
        case DL_FRONT_END:
            if (demoLoopCounter < (soakFrames && soakFrames < kFrontEndFrames ? soakFrames : kFrontEndFrames))
                return 0;
            setDLGameOptions();
            demoLoopState = DL_IN_GAME;
            demoLoopCounter = 0;
            return 1;
        case DL_IN_GAME:
            // At or past the mark: START in an attract race sets the counter to the mark itself.
            if (demoLoopCounter < (soakFrames ? soakFrames : kRaceFrames)) return 0;
            if (soakFrames || ++loopCount < kRacesPerCredits) {
                demoLoopState = DL_FRONT_END;
            } else {
                demoLoopState = DL_CREDITS;
                loopCount = 0;
            }
            demoLoopCounter = 0;
            return 1;
        case DL_CREDITS:
            if (!creditsDone) {
                demoLoopCounter = 0;
                return 0;
            }
            if (demoLoopCounter < kAfterCreditsFrames) return 0;
            setDLGameOptions();
            demoLoopState = DL_IN_GAME;
            demoLoopCounter = 0;
            creditsDone = 0;
            return 1;
        default:
            return 0;
    }
}

namespace {
// A world of [lo, hi] other than `last`.
uint32_t PickWorld(int lo, int hi, uint32_t& last) {
    int w;
    do {
        w = x_rand_int(lo, hi);
    } while (static_cast<uint32_t>(w) == last);
    last = static_cast<uint32_t>(w);
    return last;
}
}  // namespace

void CDemoLoopManager::setDLGameOptions() {
    uint32_t world;
    if (soakFrames) {
        world = soakWorld;
        soakWorld = (soakWorld + 1) % END_WORLD_ENUMS;
    } else {
        switch (trackType) {
            case TRACKTYPE_INDOOR:
                world = PickWorld(I02, I10, lastIndoor);
                trackType = TRACKTYPE_BAJA;
                break;
            case TRACKTYPE_BAJA:
                world = PickWorld(B01, B05, lastBaja);
                trackType = TRACKTYPE_OUTDOOR;
                break;
            default:
                world = PickWorld(O01, O09, lastOutDoor);
                trackType = TRACKTYPE_INDOOR;
                break;
        }
    }
    std::snprintf(gameOptions.WorldFile, sizeof gameOptions.WorldFile, "%s", wInfo[world].fileName);
    gameOptions.trackType = wInfo[world].trackType;
    gameOptions.demoMode = 1;
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
