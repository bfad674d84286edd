#include "app/main_loop.h"

#include <cstdio>
#include <memory>

#include "console/cd/disc_faults.h"
#include "console/iop/iop.h"
#include "console/spu/sd_remote.h"
#include "engine/hal/engine.h"
#include "engine/hal/sound.h"
#include "engine/sys/boot.h"
#include "engine/sys/files.h"
#include "engine/sys/heap.h"
#include "frontend/screens/frontend.h"
#include "game/core/mem_log.h"
#include "game/files/file_manager.h"
#include "race/demo_loop.h"
#include "race/race_game.h"

volatile bool qzQuitRequested = false;

namespace {
const char kCommonObjectsFile[] = "COMMON\\qz02dat.bin";
const char kDefaultWorld[] = "i04.bin";

// Why start-up stopped when a driver module could not be loaded, with the advice for the disc given.
const char* ModuleRefusal() {
    static char why[600];
    char advice[512];
    std::snprintf(why, sizeof why, "an I/O-processor module could not be loaded (the log names it); %s",
                  console::CdFaultAdvice(nullptr, advice, sizeof advice));
    return why;
}

// Why the run cannot go on names its disc files as they are found in the disc directory
// (COMMON/qz02dat.bin), not as the game asks for them (COMMON\qz02dat.bin): that is where one looks.
const char* NamedOnDisc(const char* why) {
    static char text[kFormatWhyBytes + 1400];
    std::snprintf(text, sizeof text, "%s", why);
    for (char* c = text; *c; ++c)
        if (*c == '\\') *c = '/';
    return text;
}

void PrintSeparator() {
    for (int i = 0; i < 39; ++i) x_printf("<>");
    x_printf("\n");
}
}  // namespace

void* qzStartUp(int argc, char** argv, const char** why) {
    static char refusal[kFormatWhyBytes + 1400];
    *why = nullptr;
    x_BuildHostPrefix();
    if (x_HardwareBootSystem() != 0) {
        *why = ModuleRefusal();
        return nullptr;
    }

    veEngineSetDMACountLimit(15000);
    veEngineSetNonBonedViewMatrixLimit(200);
    veEngineSetBonedViewMatrixLimit(320);
    veEngineSetInstancedObjectLimit(300);
    veEngineSetPrimBufferLimit(0x80000);
    veEngineInit(argc, argv);

    veSoundSetMaxSamples(120);
    veSoundSetSpeakerConfig(3);
    veSoundInit();
    if (x_HardwareLoadModule("BRNX_AMM.IRX") != 0) {
        *why = ModuleRefusal();
        return nullptr;
    }

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
    // Volume settings in the audio settings screen's steps (0..10): the race scales its effects and music
    // by them. The effects start where that screen starts them (1 would leave the attract races' effects
    // at a tenth).
    gameOptions.soundVolume = 8;
    gameOptions.musicVolume = 7;
    std::snprintf(gameOptions.WorldFile, sizeof gameOptions.WorldFile, "%s", kDefaultWorld);
    gameOptions.trackType = TRACKTYPE_INDOOR;
    StartDemoLoop(&gameOptions);

    console::CdSetVital(kCommonObjectsFile);  // without it the run stops, and says why below
    void* common = GetFileManager()->loadFile(kCommonObjectsFile);
    if (!common) {
        char advice[1200];
        std::snprintf(refusal, sizeof refusal, "the common-objects file %s %s; %s", kCommonObjectsFile,
                      GetFileManager()->lastRefusal(),
                      console::CdFaultAdvice(console::CdFaultOf(kCommonObjectsFile), advice, sizeof advice));
        *why = NamedOnDisc(refusal);
    }
    return common;
}

void qzSetSoak(uint32_t raceFrames) {
    DLManager.setSoak(raceFrames);
}

void qzSetDebugDraw(bool on) {
    CQzGame::debugDraw = on;
}

namespace {

CFrontEndStep* frontEndStep = nullptr;

// The sound processor set up for the front end: library, I/O-processor heap, full master volume on
// both cores. -1 when any step fails.
int SetUpSoundProcessor() {
    if (sceSdRemoteInit() == -1) return -1;
    if (sceSdRemote(1, 0x8000, 0) == -1) return -1;
    if (sceSifInitIopHeap() < 0) return -1;
    for (uint32_t reg : {0x0980u, 0x0a80u, 0x0981u, 0x0a81u})
        if (sceSdRemote(1, 0x8010, reg, 0x3fff) == -1) return -1;
    return 0;
}

void PrintStars() {
    for (int i = 0; i < 65; ++i) x_printf("*");
    x_printf("\n");
}

}  // namespace

void qzSetFrontEndStep(CFrontEndStep* step) {
    frontEndStep = step;
}

QzExit qzRunLoop(void* common) {
    unsigned int restart = 0;
    int screen = 34;
    int soakCount = 1;
    int racesRun = 0;
    // Free heap before a race's first build: its restarts keep its world, high-resolution and sound files,
    // so the heap comes back to this figure only when the race is left.
    int freeBeforeFirstBuild = 0;
    // One pass at least: a host that has already asked to stop still sees the front end entered.
    for (;;) {
        if (gameState == GAMESTATE_GAME) {
            PrintMemoryLine("Used Mem Game Start= %dk   Free Mem = %dk   Largest Free = %dk\n");
            int freeBefore = x_TotalMemoryFree();
            const bool rebuilt = restart != 0;
            if (!rebuilt) freeBeforeFirstBuild = freeBefore;
            auto race = std::make_unique<CQzGame>(&gameOptions, common, restart);
            int result = 0;
            while (result == 0 && !qzQuitRequested) result = race->updateGame();
            if (result == CQzGame::kRestart) {
                restart = 1;
            } else {
                gameState = GAMESTATE_FRONTEND;
                restart = 0;
                screen = NextFrontEndScreen(inCareer != 0);
            }
            race.reset();
            // A race gives back everything it took: anything else is lost for the rest of the run. The
            // run's first race also sets up what lasts the run (resource stores, sound envelopes, the
            // common objects' geometry as loaded), so it is only reported. A restart keeps the race's
            // files for the next build: a rebuild must leave the heap as the build before it did, and a
            // race is judged against the heap before its first build when it is left. The loading bar the
            // front end left is not the race's: the build frees it, and it counts as free before.
            const int barFreed = FE_TakeLoadingBarBytesFreed();
            freeBefore += barFreed;
            freeBeforeFirstBuild += barFreed;
            const int freeAfter = x_TotalMemoryFree();
            int expected = freeAfter;
            if (result == CQzGame::kRestart) {
                if (rebuilt) expected = freeBefore;
            } else if (racesRun++ == 0) {
                if (freeAfter != freeBeforeFirstBuild)
                    x_printf("Kept by the first race for the run: %d bytes\n",
                             freeBeforeFirstBuild - freeAfter);
            } else {
                expected = freeBeforeFirstBuild;
            }
            if (freeAfter != expected)
                x_printf("HEAP NOT BACK AFTER RACE on %s: %d bytes free before, %d after (%+d)\n",
                         gameOptions.WorldFile, expected, freeAfter, freeAfter - expected);
            if (DLManager.soaking())
                x_printf("Soak race on %s: heap free %d bytes, largest free %u\n", gameOptions.WorldFile,
                         freeAfter, x_LargestBlockFree());
        } else {
            if (SetUpSoundProcessor() != 0) return QzExit{-1};
            PrintSeparator();
            PrintMemoryLine("Before Frontend Used Mem = %dk   Free Mem = %dk   Largest Free = %dk\n");
            PrintSeparator();
            CFrontEndStep* step = frontEndStep ? frontEndStep : FE_ShellStep();
            if (const char* why = step->begin(&gameOptions, screen)) return QzExit{1, NamedOnDisc(why)};
            while (!step->update())
                if (qzQuitRequested) return QzExit{};
            gameState = GAMESTATE_GAME;
            step->end();
        }
        if (qzQuitRequested) break;
        if (gameState == GAMESTATE_GAME)
            PrintMemoryLine("After Frontend Used Mem= %dk   Free Mem = %dk   Largest Free = %dk\n");
        if (gameState == GAMESTATE_FRONTEND) {
            PrintStars();
            x_printf("SOAK TEST COUNT = %d\n", soakCount);
            PrintStars();
            ++soakCount;
        }
    }
    return QzExit{};
}

QzExit qzMain(int argc, char** argv) {
    const char* why = nullptr;
    void* common = qzStartUp(argc, argv, &why);
    if (!common) return QzExit{1, why};
    return qzRunLoop(common);
}
