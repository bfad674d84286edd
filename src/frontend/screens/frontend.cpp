#include "frontend/screens/frontend.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "audio/audio_memory_manager.h"
#include "audio/sound_view.h"
#include "console/cd/disc_faults.h"
#include "console/kernel/vsync.h"
#include "engine/font/font.h"
#include "engine/hal/control.h"
#include "engine/hal/display.h"
#include "engine/hal/display_sync.h"
#include "engine/hal/engine.h"
#include "engine/hal/sound.h"
#include "engine/sys/clock.h"
#include "engine/sys/files.h"
#include "engine/sys/heap.h"
#include "frontend/screens/frontend_step.h"
#include "frontend/screens/names_file.h"
#include "frontend/sm/sm_core.h"
#include "frontend/sm/sm_input.h"
#include "frontend/sm/sm_progress.h"
#include "frontend/sm/sm_resource.h"
#include "frontend/sm/sm_translate.h"
#include "game/core/global_options.h"
#include "race/demo_loop.h"
#include "race/loading_bar.h"
#include "race/riders.h"

// ---- selection state ---------------------------------------------------------------------------------
CGameOptions* GO = nullptr;
int Doneflag = 0;
char fn[13] = "i04";
int8_t trackx = 0, playerx = 1, diffx = 0, durx = 0, cpux = 0, catchupx = 0;
int timeOrLapx = 1;
int8_t preset[2] = {0, 0}, riderx[2] = {0, 1}, bikex[2] = {0, 1};
uint32_t careerRiderStats[5] = {};
const int lapRemap[5] = {3, 4, 5, 10, 20};
const int timeRemap[5] = {60, 120, 180, 300, 600};

char fe_roster[kRosterSize][16] = {};
char fe_creditNames[kCreditNames][32] = {"PROGRAMMER ONE",   "PROGRAMMER TWO",   "PROGRAMMER THREE",
                                         "PROGRAMMER FOUR",  "PROGRAMMER FIVE",  "PROGRAMMER SIX",
                                         "PROGRAMMER SEVEN", "PROGRAMMER EIGHT", "PROGRAMMER NINE"};

// ---- sounds, music, fonts ----------------------------------------------------------------------------
_Sample* SampleHandles[12] = {};
_SampleInstance* SampleInstances[12] = {};
_Pan5Dot1 PanLeft{}, PanRight{};
int fe_pairsPlayed[6] = {};

CAudioMemoryManager* PS2AudioMM = nullptr;
CSoundView* PS2MusicPlay = nullptr;
int8_t currentmusic = -1;

_font* f_fe = nullptr;
_font* fh_fe = nullptr;
void* FrontendData = nullptr;
_progressBar* progressbar = nullptr;
_sm_dldc FullScreenDC{};
int kInitialized = 0;

_smdlhdr* modes[5] = {};
_smdlhdr* swooshes[5] = {};
uint16_t modesx[5] = {};
float currenttime = 0, newtime = 0;

// The music view of the front end (frontend/screens/fe_music.cpp).
CSoundView* FE_MakeMusicView(CAudioMemoryManager** memoryManager);

namespace {

const char* const kSoundFiles[12] = {
    "FRONTEND\\SOUND\\move_l.snd",   "FRONTEND\\SOUND\\move_r.snd",   "FRONTEND\\SOUND\\select_l.snd",
    "FRONTEND\\SOUND\\select_r.snd", "FRONTEND\\SOUND\\start_l.snd",  "FRONTEND\\SOUND\\start_r.snd",
    "FRONTEND\\SOUND\\accept_l.snd", "FRONTEND\\SOUND\\accept_r.snd", "FRONTEND\\SOUND\\back_l.snd",
    "FRONTEND\\SOUND\\back_r.snd",   "FRONTEND\\SOUND\\error_l.snd",  "FRONTEND\\SOUND\\error_r.snd"};
const char kResourceFile[] = "frontend\\FE_game.exp";

void LoadSounds() {
    for (int i = 0; i < 12; ++i) {
        SampleHandles[i] = nullptr;
        int len = 0;
        auto* file = static_cast<uint8_t*>(x_LoadFileLength(kSoundFiles[i], &len));
        _SampleHeaderRam header;
        FormatCheck check;
        if (file && len < 64)
            check.SetFail("shorter than its 64-byte header");
        else if (file)
            check = CheckSampleImage(file, static_cast<uint32_t>(len), &header);
        if (!file || !check.ok) {
            x_printf("Frontend: sound %s missing or unusable, it will not play.\n", kSoundFiles[i]);
            // Read and refused whole: the front end goes on without it, and the user hears why.
            if (file) console::CdReportDamaged(kSoundFiles[i], check.why);
        } else {
            SampleHandles[i] = veSoundCreateSampleFromPointer(file, file + 64, kSampleStorageSoundRam, 0);
        }
        if (file) x_free(file);
    }
}

void LoadFonts() {
    if (!f_fe) f_fe = veFontCreateFromFile("frontend\\uni18.fnt");
    if (!fh_fe) fh_fe = veFontCreateFromFile("frontend\\highligh.fnt");
}

}  // namespace

// ---- names -------------------------------------------------------------------------------------------
void FE_FillRoster(int humans, const int32_t* humanRider) {
    for (int i = 0; i < kRosterSize; ++i)
        std::snprintf(fe_roster[i], sizeof fe_roster[i], "%s",
                      qzRiderAttributes[RacerRiderModel(i, humans, humanRider)].name);
}

int FE_LoadNames() {
    int len = 0;
    auto* text = static_cast<char*>(x_LoadFileLength("frontend\\names.txt", &len));
    if (!text) {
        // "not found" only when it is not there: a file there that cannot be read says why.
        const console::DiscFileFault* fault = console::CdFaultOf("frontend\\names.txt");
        char reason[256];
        if (fault && fault->kind != console::DiscFault::kMissing &&
            fault->kind != console::DiscFault::kNotAFolder)
            x_printf("Frontend: frontend\\names.txt %s, using the built-in names.\n",
                     console::CdFaultReason(*fault, reason, sizeof reason));
        else if (fault)
            x_printf("Frontend: frontend\\names.txt not found, using the built-in names.\n");
        else
            x_printf(
                "Frontend: frontend\\names.txt could not be loaded (larger than the engine heap holds), "
                "using the built-in names.\n");
        return 0;
    }
    const namesfile::Result r = namesfile::ReadNames(text, static_cast<size_t>(len), fe_creditNames,
                                                     kCreditNames, "frontend\\names.txt");
    x_free(text);
    // A file that gives no name at all is gone without (the built-in names stay): the user hears why.
    // One that gives some, with lines left out or cut, is used.
    char why[80];
    if (r.tooLong) {
        std::snprintf(why, sizeof why, "%d bytes, more than the %zu it may hold", len, namesfile::kMaxBytes);
        console::CdReportDamaged("frontend\\names.txt", why);
    } else if (r.names == 0)
        console::CdReportDamaged("frontend\\names.txt",
                                 r.withNul ? "no credit line without a NUL byte" : "no credit line");
    return r.names;
}

// ---- sounds and music --------------------------------------------------------------------------------
void FE_PlayPair(int pair) {
    if (pair < 0 || pair > 5) return;
    ++fe_pairsPlayed[pair];
    for (int side = 0; side < 2; ++side) {
        const int i = 2 * pair + side;
        SampleInstances[i] = nullptr;
        if (!SampleHandles[i]) continue;
        SampleInstances[i] =
            veSoundCreateSampleInstance(SampleHandles[i], 22050, 0, side ? &PanRight : &PanLeft);
        if (SampleInstances[i]) veSoundStartSampleInstance(SampleInstances[i]);
    }
}

// ---- control helpers ---------------------------------------------------------------------------------
void FE_SetAlpha(_smdlhdr* node, int alpha) {
    if (node) node->Alpha = static_cast<uint8_t>(alpha);
}
void FE_Show(_smdlhdr* node, bool on) {
    FE_SetAlpha(node, on ? 255 : 0);
}
void FE_SetSavedFocus(_smdlhdr* root, _smdlhdr* control) {
    if (root) *SM_RootSavedFocus(root) = control ? Addr32(control) : 0;
}

// ---- screen-manager hooks ----------------------------------------------------------------------------
SM_PROC SMOSScreenFinder(int id) {
    switch (id) {
        case 0:
            return NoMCProc;
        case 1:
            return CreditsProc;
        case 21:
            return LoadingProc;
        case 22:
            return P2BikeChoiceProc;
        case 23:
            return RiderProc2;
        case 24:
            return P1BikeChoiceProc;
        case 25:
            return RiderProc;
        case 26:
            return PracticeProc;
        case 27:
            return FreeProc;
        case 28:
            return BajaProc;
        case 29:
            return OutdoorProc;
        case 30:
            return IndoorProc;
        case 31:
            return ModeSelectProc;
        case 32:
            return DifficultyProc;
        case 33:
            return MainmenuProc;
        case 34:
            return StartScreenProc;
        default:
            break;
    }
    if ((id >= 3 && id <= 12) || (id >= 18 && id <= 20)) return FE_CareerScreenProc(id);
    return nullptr;
}

intptr_t SMOSCallback(int32_t, intptr_t, intptr_t, intptr_t) {
    if (!kInitialized) {
        kInitialized = 1;
        FullScreenDC = _sm_dldc{};
        FullScreenDC.ox = FullScreenDC.oy = 0;
        FullScreenDC.Flags = 0;
        FullScreenDC.XScale = FullScreenDC.YScale = 1.0f;
        FullScreenDC.Alpha = 0x80;
        FullScreenDC.Rgn = _dl_bound{0, 639, 0, 447};
    }
    return 0;
}

int fe_EventCallback(_input_event* event) {
    if (event->GadgetType == 1 && event->Info == 1 && event->GadgetID == 438) SM_LogActiveResources();
    return 0;
}

// ---- the loading bar the race steps ------------------------------------------------------------------
namespace {
// The bar has drawn a frame the engine has not sent yet: a frame goes out when the next one begins, and
// reads the bar's pictures then, so they are freed only after that.
bool barFramePending = false;
int barBytesFreed = 0;

int32_t StepLoadingBar(int32_t steps) {
    const uint64_t frame = veEngineFrame.load();
    const int32_t value = SM_StepProgressBar(progressbar, steps);
    if (veEngineFrame.load() != frame) barFramePending = true;
    return value;
}

// The bar's last frame sent out and on the screen: the display shows each frame only once the frame
// after it has been drawn, so without this the last steps would never be seen.
void ShowLoadingBar() {
    if (!progressbar || !barFramePending) return;
    veEngineBeginFrame();
    veEngineEndFrame();
    barFramePending = false;
    while (!veDisplayFrameRenderDone.load()) sceGsSyncV(0);
}

void FreeLoadingBar() {
    if (!progressbar) return;
    if (barFramePending) {
        veEngineBeginFrame();
        veEngineEndFrame();
        barFramePending = false;
    }
    const int before = x_TotalMemoryFree();
    SM_DestroyProgressBar(progressbar);
    progressbar = nullptr;
    barBytesFreed += x_TotalMemoryFree() - before;
    raceLoadingBar = RaceLoadingBar{};  // the next front end hands its own bar over
}
}  // namespace

int FE_TakeLoadingBarBytesFreed() {
    const int n = barBytesFreed;
    barBytesFreed = 0;
    return n;
}

// ---- CFrontend ---------------------------------------------------------------------------------------
// Why the front end last built could not open, or null (a field would change the object's size on the
// heap, and one front end is open at a time).
namespace {
const char* g_openFailure = nullptr;
}  // namespace

CFrontend::CFrontend(CGameOptions* options, int startScreen) {
    g_openFailure = nullptr;
    Doneflag = 0;
    Frontend_done = 0;
    gameOptions = GO = options;
    currentmusic = -1;

    veDisplayInit(640, 448);
    veDisplayCreateView2D(&view2d, 0, 0, 640, 448, 16, 1.0f);

    PanLeft = _Pan5Dot1{-1.0f, 0.0f, 1.0f, 1.0f, 1.0f};
    PanRight = _Pan5Dot1{1.0f, 0.0f, 1.0f, 1.0f, 0.0f};
    LoadSounds();
    LoadFonts();
    FE_LoadNames();

    SM_InstallResourceBackend();
    SM_InitSystem(255, SMOSScreenFinder);
    SM_PrepSetResourcePreload(-1);
    SM_RegisterSMOSCallback(SMOSCallback);
    SM_RegisterEventTransCallback(fe_EventCallback);
    SM_SetJoystickThreshold(100);

    // The loading bar outlives the front end: the race draws its progress with it while it is built, then
    // frees it, so each front end makes a fresh, empty one (a bar no race has taken yet is kept).
    if (!progressbar) {
        progressbar = SM_InitProgressBar(nullptr, nullptr, 248, 170, 198, 10, 0, 100, 1);
        SM_LoadProgressBarTextures(progressbar, "frontend\\loadscrn\\loadscrn.ps2",
                                   "frontend\\loadscrn\\loadbar.ps2");
    }
    raceLoadingBar = RaceLoadingBar{StepLoadingBar, FreeLoadingBar, ShowLoadingBar};

    int length = 0;
    console::CdSetVital(kResourceFile);  // without it the run stops, and says why below
    FrontendData = x_LoadFileLength(kResourceFile, &length);
    if (!FrontendData || SM_InitResourcePtr(FrontendData, static_cast<size_t>(length), 0, nullptr) != 1) {
        // A file that was read but refused is damaged: recorded with what its check found (the run stops
        // and says so below, once).
        if (FrontendData && SM_ResourceRefusal()[0])
            console::CdReportDamaged(kResourceFile, SM_ResourceRefusal());
        // The disc's reason and the advice that fits it (a permission fault, a copied disc).
        static char why[1600];
        char reason[320], advice[1200];
        const console::DiscFileFault* fault = console::CdFaultOf(kResourceFile);
        std::snprintf(why, sizeof why, "the front end's screen file %s %s; %s", kResourceFile,
                      fault ? console::CdFaultReason(*fault, reason, sizeof reason)
                            : "could not be loaded (no room in the engine heap)",
                      console::CdFaultAdvice(fault, advice, sizeof advice));
        g_openFailure = why;
        return;
    }

    PS2MusicPlay = FE_MakeMusicView(&PS2AudioMM);
    FE_ApplyAudioSettings();

    x_printf("--\n PS2 Memory Card NOT FOUND, game will NOT be saved.\n--\n");
    SM_ScreenLink(startScreen);
}

const char* CFrontend::failure() const {
    return g_openFailure;
}

void CFrontend::update() {
    _input_event event;
    while (SM_InputGetNextEvent(&event)) {
        SM_TranslateEvent(&event);
        if (event.GadgetID == 435) break;
    }
    veDisplayActivateView(&view2d);
    veEngineBeginFrame();
    // A race left turns the display off with its last picture on the screen. The frame just begun is the
    // front end's first: the display comes back on for it, and it is the first picture shown after the
    // race's (the race's empty last frame, sent out as this one began, never is). Turning it on waits for
    // a blank, as beginning a frame waits for one while the display is on: the screens' clocks have moved
    // on when they draw, and the title, which fades in from nothing, is not first drawn as nothing.
    if (veDisplayVSyncNoUpdateEnabled.load()) veDisplayEnableDisplay();
    veDisplayActivateView(&view2d);
    SM_SendMessage(SM_GetCurScreen(), SM_MSG_SYNC, 0, 0, 0);
    // Once the loading screen has opened the front end is done: what the player sees from this frame on
    // is the race's loading screen (drawn with the bar), not the last screens' pictures.
    if (Doneflag && progressbar)
        SM_DrawProgressBar(progressbar);
    else
        SM_Render();
    if (DLManager.getDemoLoopState() == DL_CREDITS && f_fe) {
        veFontPrintfXY(f_fe, 415, 400, "%s", "DEMO LOOP");
        veFontPrintfXY(f_fe, 370, 417, "%s", "Press Start Button");
    }
    veEngineEndFrame();
    veSoundMaintenance();
    veControlMaintenance();
    SM_InputCheckDevices();
    SM_ManageResource();

    Frontend_done = static_cast<int8_t>(Doneflag);
    if (DLManager.getDemoLoopState() != DL_DISABLED)
        Frontend_done = static_cast<int8_t>(DLManager.updateDemoLoopManager());
}

CFrontend::~CFrontend() {
    if (PS2MusicPlay) PS2MusicPlay->pauseMusic(true);
    // A front end that never opened hands nothing to a race.
    if (!g_openFailure) {
        for (int i = 0; i < 5; ++i) sceGsSyncV(0);
        // Only a race the player chose takes the selection; the attract loop has set its own options.
        if (DLManager.getDemoLoopState() == DL_DISABLED) setupGameOptions(gameOptions);
        // The frame that sends the last one out is the loading screen's too: it is on the screen until
        // the race's first step of the bar replaces it.
        veEngineBeginFrame();
        if (progressbar) {
            SM_DrawProgressBar(progressbar);
            barFramePending = true;
        }
        veEngineEndFrame();
        // The world the race will load: the player's choice, or the attract race's own.
        char world[sizeof gameOptions->WorldFile + 1] = {};
        std::memcpy(world, gameOptions->WorldFile, sizeof gameOptions->WorldFile);
        x_printf("Frontend done, sending WorldFile %s.\n", world);
    }
    SM_KillSystem();
    SM_KillResource();
    if (FrontendData) x_free(FrontendData);
    FrontendData = nullptr;
    delete PS2AudioMM;
    PS2AudioMM = nullptr;
    delete PS2MusicPlay;
    PS2MusicPlay = nullptr;
    for (_Sample*& s : SampleHandles) {
        if (s) veSoundDestroySample(s, 1);  // 1: the engine slot is free again for the race's sounds
        s = nullptr;
    }
}

void CFrontend::setupGameOptions(CGameOptions* options) {
    std::memcpy(&fn[3], ".bin", 5);
    std::memcpy(options->WorldFile, fn, sizeof fn);
    options->trackType = static_cast<TrackType>(trackx);
    options->numHumanPlayers = playerx;
    options->difficulty = diffx;
    options->duration = timeOrLapx == 1 ? lapRemap[durx] : timeRemap[durx];
    options->cpuRiders = cpux ^ 1;
    options->catchUp = catchupx;
    options->timeOrLap = timeOrLapx;
    options->presetHumanControls[0] = preset[0];
    options->presetHumanControls[1] = preset[1];
    // The volumes the audio screen makes heard, 0 to 10 (music 0: the race has no music to pause).
    options->soundVolume = (Audio_ItemCurrent[1] * Audio_ItemCurrent[0] + 9) / 10;
    options->musicVolume = (Audio_ItemCurrent[3] * Audio_ItemCurrent[0] + 9) / 10;
    options->isCareer = inCareer;
    std::memcpy(options->careerRiderStats, careerRiderStats, sizeof careerRiderStats);
    for (int i = 0; i < playerx && i < 2; ++i) {
        options->rider[i] = riderx[i];
        options->bike[i] = bikex[i];
    }
    if (inCareer) {
        FE_CareerRacerNames(options);
    } else {
        FE_FillRoster(options->numHumanPlayers, options->rider);
        for (int i = 0; i < kRosterSize; ++i) options->sInfo[i].setName(fe_roster[i]);
    }
}

// ---- the main loop's front-end step -----------------------------------------------------------------
namespace {
class CShellStep : public CFrontEndStep {
public:
    const char* begin(CGameOptions* options, int screen) override {
        fe_ = new CFrontend(options, screen);
        const char* why = fe_->failure();
        if (why) end();
        return why;
    }
    bool update() override {
        fe_->update();
        return fe_->Frontend_done != 0;
    }
    void end() override {
        delete fe_;
        fe_ = nullptr;
    }

private:
    // Owned from begin to end. Not a unique_ptr: the step is a static, and a front end still open when
    // the program quits is left as it is (tearing it down after the display and sound statics are gone
    // would crash, and its teardown would hand a race the selection).
    CFrontend* fe_ = nullptr;
};
CShellStep shellStep;
}  // namespace

CFrontEndStep* FE_ShellStep() {
    return &shellStep;
}
