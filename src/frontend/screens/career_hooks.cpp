// Where the career joins the shell: the procedures of the career, trophy-case and settings screens, and
// the racer names of a career race (the slot's riders).
#include "frontend/screens/career_ui.h"

SM_PROC FE_CareerScreenProc(int id) {
    switch (id) {
        case 3:
            return CareerStandingsProc;
        case 4:
            return CareerBikeChoiceProc;
        case 5:
            return CareerRiderViewProc;
        case 6:
            return CareerPreRaceProc;
        case 7:
            return CareerSeriesChoiceProc;
        case 8:
            return CareerRiderChoiceProc;
        case 9:
            return CareerFileInputProc;
        case 10:
            return CareerFileChoiceProc2;
        case 11:
            return CareerFileChoiceProc;
        case 12:
            return TrophyCaseProc;
        case 18:
            return AudioProc;
        case 19:
            return ControlProc;
        case 20:
            return OptionsProc;
        default:
            return nullptr;
    }
}

void FE_CareerRacerNames(CGameOptions* options) {
    if (!options) return;
    CareerData& c = careerui::Slot();
    for (int i = 0; i < kCareerRacers; ++i) options->sInfo[i].setName(c.player[i].name);
}
