// The front end: the menu phase of the program. CFrontend sets up the screen manager over the disc's
// screen resource, runs one screen-manager frame per update until the loading screen (or the attract
// loop) ends it, and hands the player's choices to the race as game options. The globals below are the
// selection state the screens fill, the sound pairs and the menu music they play, and the fonts; they
// live for the whole program, so a second front end starts with the choices of the first.
#pragma once

#include <cstdint>

#include "engine/hal/display.h"
#include "engine/hal/sound.h"
#include "frontend/sm/sm_types.h"
#include "game/core/game_options.h"

struct _font;
struct _progressBar;
class CSoundView;
class CAudioMemoryManager;

class CFrontend {
public:
    CFrontend(CGameOptions* options, int startScreen);
    ~CFrontend();
    CFrontend(const CFrontend&) = delete;
    CFrontend& operator=(const CFrontend&) = delete;

    // Null once the front end is open; else why it could not open (its screen file missing or damaged),
    // and it must not be updated.
    const char* failure() const;
    // One frame of the front end.
    void update();
    // Writes the selection state into the options the race reads.
    void setupGameOptions(CGameOptions* options);

    int8_t Frontend_done = 0;
    _progressBar* pb = nullptr;  // unused
    char fnx[13] = {};           // unused
    _ve_view view2d{};
    CGameOptions* gameOptions = nullptr;
};

// ---- selection state (filled by the screens, read by setupGameOptions) ----------------------------
extern CGameOptions* GO;
extern int Doneflag;
extern char fn[13];  // three-letter world code in characters 0..2
extern int8_t trackx, playerx, diffx, durx, cpux, catchupx;
extern int timeOrLapx;  // 1: the race runs by laps; 0: by time
extern int8_t preset[2], riderx[2], bikex[2];
extern uint32_t careerRiderStats[5];
extern const int lapRemap[5];
extern const int timeRemap[5];
// inCareer is the program's (game/core/global_options.h).

// ---- the eight racer names of a race (the human's first) and the credits' names ---------------------
inline constexpr int kRosterSize = 8;
inline constexpr int kCreditNames = 9;
extern char fe_roster[kRosterSize][16];
extern char fe_creditNames[kCreditNames][32];
// Fills fe_roster with the names of the riders a race of `humans` players who chose `humanRider` puts
// on the track, racer by racer, as the race names them (race/riders.h).
void FE_FillRoster(int humans, const int32_t* humanRider);
// Reads "frontend\names.txt" (lines "credit NAME"); a missing file keeps the names already held
// (built-in defaults at boot) with a log line. Returns the number of names read.
int FE_LoadNames();

// ---- sounds ----------------------------------------------------------------------------------------
enum FeSoundPair : int { FE_MOVE = 0, FE_SELECT = 1, FE_START = 2, FE_ACCEPT = 3, FE_BACK = 4, FE_ERROR = 5 };
extern _Sample* SampleHandles[12];
extern _SampleInstance* SampleInstances[12];
extern _Pan5Dot1 PanLeft, PanRight;
// Plays pair k: sample 2k on the left, 2k + 1 on the right, at 22050 Hz. A sample that failed to load,
// or an instance the sound layer could not give, is skipped.
void FE_PlayPair(int pair);
// How many pairs have been played since boot (tests listen through this).
extern int fe_pairsPlayed[6];

// Puts the audio screen's master, effects and music volumes on the engine and the music view (the
// values last until power-off; every front end opens with them).
void FE_ApplyAudioSettings();
extern int8_t Audio_ItemCurrent[5];

// ---- music -----------------------------------------------------------------------------------------
extern CAudioMemoryManager* PS2AudioMM;
extern CSoundView* PS2MusicPlay;  // null while the front end has no music view
extern int8_t currentmusic;       // -1 no playlist set; 0 menu tune; 1 title stream; 2 credits stream
// Sets a one-song playlist of front-end stream `entry` (0 menu, 1 title, 2 credits), starts it and
// records the entry in currentmusic.
void FE_PlayStream(int entry);
// The stream name of a front-end entry.
const char* FE_StreamName(int entry);

// ---- fonts, resource and drawing ------------------------------------------------------------------
extern _font* f_fe;
extern _font* fh_fe;
extern void* FrontendData;
extern _progressBar* progressbar;
// The heap bytes the races have given back by freeing the loading bar since the last call (the bar is the
// front end's, made before a race is built and freed by it once built).
int FE_TakeLoadingBarBytesFreed();
extern _sm_dldc FullScreenDC;
extern int kInitialized;

// ---- shared by the menu-like screens --------------------------------------------------------------
extern _smdlhdr* modes[5];
extern _smdlhdr* swooshes[5];
extern uint16_t modesx[5];
extern float currenttime, newtime;

// Entry cursors of the menus, the set-up screens, the rider and bike choices and the practice screen;
// kept until power-off.
extern int8_t modenum_mm, modenum_diffiulty, modenum_modeselect;
extern int8_t modenum_OUTDOORscreen, modenum_indoorscreen, modenum_bajascreen, modenum_freescreen;
extern int8_t Outdoor_ItemCurrent[4], Indoor_ItemCurrent[4], Baja_ItemCurrent[4], Free_ItemCurrent[2];
extern int8_t R1_ItemCurrent, R2_ItemCurrent, P1bikechosen, P2bikechosen, Practice_ItemCurrent;
// The credits: the first and the last line on screen.
extern uint16_t currentcredit, currentendcredit;
// One step of the menus' fly-in at t (0..1) for the rows in `modes` (home x in `modesx`).
void FE_FlyInStep(float t, int count, int cursor);

// Shows (255) or hides (0) a control; a missing control is ignored.
void FE_Show(_smdlhdr* node, bool on);
void FE_SetAlpha(_smdlhdr* node, int alpha);
// Gives the screen root's saved focus to `control`.
void FE_SetSavedFocus(_smdlhdr* root, _smdlhdr* control);

// ---- the screen manager's hooks ---------------------------------------------------------------------
SM_PROC SMOSScreenFinder(int id);
intptr_t SMOSCallback(int32_t msg, intptr_t p1, intptr_t p2, intptr_t p3);
int fe_EventCallback(_input_event* event);

// Screen procedures of this shell.
intptr_t NoMCProc(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t);
intptr_t CreditsProc(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t);
intptr_t LoadingProc(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t);
intptr_t P2BikeChoiceProc(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t);
intptr_t RiderProc2(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t);
intptr_t P1BikeChoiceProc(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t);
intptr_t RiderProc(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t);
intptr_t PracticeProc(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t);
intptr_t FreeProc(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t);
intptr_t BajaProc(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t);
intptr_t OutdoorProc(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t);
intptr_t IndoorProc(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t);
intptr_t ModeSelectProc(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t);
intptr_t DifficultyProc(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t);
intptr_t MainmenuProc(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t);
intptr_t StartScreenProc(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t);

// ---- the career's side (frontend/screens/career_hooks.cpp) ----------------------------------------
// The procedure of a career, trophy-case or settings screen (3-12, 18-20), or null.
SM_PROC FE_CareerScreenProc(int id);
// In a career race: points the options' racer names at the career slot's riders.
void FE_CareerRacerNames(CGameOptions* options);

// ---- the program's front-end step (frontend/screens/frontend_step.h) ----------------------------
// Runs a CFrontend per front-end pass; installed by the main loop.
class CFrontEndStep;
CFrontEndStep* FE_ShellStep();
