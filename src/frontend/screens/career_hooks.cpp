// Where the career's screens join the shell: its screen procedures (career slots, series, pre-race,
// standings, skills, trophy case, audio, controller and options screens) and its racer names. Until the
// career's screens are in the game, those screens have no procedure and a career race keeps the roster.
#include "frontend/screens/frontend.h"

SM_PROC FE_CareerScreenProc(int) {
    return nullptr;
}

void FE_CareerRacerNames(CGameOptions*) {}
