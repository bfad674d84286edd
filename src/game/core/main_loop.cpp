#include "game/core/main_loop.h"

#include <cstdio>

#include "engine/hal/engine.h"
#include "engine/hal/sound.h"
#include "engine/sys/boot.h"
#include "engine/sys/files.h"
#include "game/core/mem_log.h"
#include "game/files/file_manager.h"

GameState gameState = GAMESTATE_FRONTEND;
CGameOptions gameOptions;
unsigned char inCareer = 0;
volatile bool qzQuitRequested = false;

namespace {
const char kCommonObjectsFile[] = "COMMON\\qz02dat.bin";
const char kDefaultWorld[] = "i04.bin";

void PrintSeparator() {
    for (int i = 0; i < 39; ++i) x_printf("<>");
    x_printf("\n");
}
}  // namespace

void* qzStartUp(int argc, char** argv) {
    x_BuildHostPrefix();
    x_HardwareBootSystem();

    veEngineSetDMACountLimit(15000);
    veEngineSetNonBonedViewMatrixLimit(200);
    veEngineSetBonedViewMatrixLimit(320);
    veEngineSetInstancedObjectLimit(300);
    veEngineSetPrimBufferLimit(0x80000);
    veEngineInit(argc, argv);

    veSoundSetMaxSamples(120);
    veSoundSetSpeakerConfig(3);
    veSoundInit();
    x_HardwareLoadModule("BRNX_AMM.IRX");

    // The options record is a static object (its constructor allocates nothing, so it can be built
    // before the heap); start-up gives it its defaults.
    gameOptions.rider[0] = 0;
    gameOptions.rider[1] = 1;
    gameOptions.bike[0] = 0;
    gameOptions.bike[1] = 1;
    gameOptions.duration = 3;
    gameOptions.difficulty = 0;
    gameOptions.numHumanPlayers = 1;
    gameOptions.cpuRiders = 1;
    gameOptions.timeOrLap = 1;
    gameOptions.soundVolume = 1;
    gameOptions.musicVolume = 7;
    std::snprintf(gameOptions.WorldFile, sizeof gameOptions.WorldFile, "%s", kDefaultWorld);
    gameOptions.trackType = TRACKTYPE_INDOOR;

    return GetFileManager()->loadFile(kCommonObjectsFile);
}

int qzMain(int argc, char** argv) {
    void* common = qzStartUp(argc, argv);
    if (!common) return 1;
    PrintSeparator();
    PrintMemoryLine("Before Frontend Used Mem = %dk   Free Mem = %dk   Largest Free = %dk\n");
    PrintSeparator();
    // The front end is not built yet: until it is, the engine shows empty frames.
    while (!qzQuitRequested) {
        veEngineBeginFrame();
        veEngineEndFrame();
    }
    return 0;
}
