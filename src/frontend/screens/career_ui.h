// Small helpers shared by the career, trophy-case and settings screens: guarded control lookups (a
// resource without a control leaves the screen working), the slot in play, and the saved focus.
#pragma once

#include <cstdint>

#include "console/mem/addr.h"
#include "frontend/career/career_data.h"
#include "frontend/screens/frontend.h"
#include "frontend/sm/sm_core.h"

namespace careerui {

inline _smdlhdr* Find(int id) {
    return SM_FindControlByID(id);
}
inline void Show(int id, bool on) {
    if (_smdlhdr* n = Find(id)) n->Alpha = on ? 255 : 0;
}
inline void Alpha(_smdlhdr* n, int alpha) {
    if (n) n->Alpha = static_cast<uint8_t>(alpha);
}
// The control the screen manager focuses once the screen has opened (null: none).
inline void SetFocus(_smdlhdr* root, _smdlhdr* control) {
    if (root && (root->Flags & SM_FLAG_LINKS)) *SM_RootSavedFocus(root) = control ? Addr32(control) : 0;
}
inline CareerData& Slot() {
    return CareerFile[cfc >= 0 && cfc < kCareerSlots ? cfc : 0];
}
inline bool Drawing(intptr_t p1) {
    return p1 != 0;
}

// The standings' count of races, "race       races": printed from this point (the tops of its digits);
// the screen's "RACE" and "OF" stand before the first number and between the two.
inline constexpr int kStandingsRaceX = 438, kStandingsRaceY = 147;
inline constexpr char kStandingsRaceFormat[] = "%i       %i";

// Message handlers shared by these screens' message maps.
inline intptr_t Ack() {
    SM_AcknowledgeMsg();
    return 0;
}
inline intptr_t AckOnly(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t) {
    return Ack();
}
// Back by default: the back pair, and the screen manager returns to the previous screen.
inline intptr_t Back(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t) {
    FE_PlayPair(FE_BACK);
    return 0;
}
// The handler that answers `F(arg)`: one per direction of a row or value step, or per target screen.
template <intptr_t (*F)(int), int Arg>
intptr_t With(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t) {
    return F(Arg);
}

}  // namespace careerui

// Screen procedures of the career, trophy-case and settings screens.
intptr_t CareerStandingsProc(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t);
intptr_t CareerBikeChoiceProc(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t);
intptr_t CareerRiderViewProc(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t);
intptr_t CareerPreRaceProc(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t);
intptr_t CareerSeriesChoiceProc(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t);
intptr_t CareerRiderChoiceProc(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t);
intptr_t CareerFileInputProc(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t);
intptr_t CareerFileChoiceProc2(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t);
intptr_t CareerFileChoiceProc(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t);
intptr_t TrophyCaseProc(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t);
intptr_t AudioProc(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t);
intptr_t ControlProc(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t);
intptr_t OptionsProc(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t);

// The names a career series' standings start with, from `names` (the career's rider first, then the
// racers a race puts beside it). A freestyle run is ranked against the HUD's rivals for that rider, and
// the results hand back their places in that list's order: on a freestyle series the standings name
// those rivals, so that each place goes to the rival who took it.
void FE_SeriesRoster(int series, const char* const names[kCareerRacers], const char* roster[kCareerRacers]);

// Screen state kept between visits (tests and the scripted career read them).
extern int8_t modenum_prerace, currentsel, cscy, careerbikechosen, careerRiderView, maxpts;
extern int8_t allocpts[4];
extern int16_t boxxpos, boxypos;
extern int8_t CR_ItemCurrent;
extern int8_t careerfilechosen, careerfilechoice2, countch;
extern char careerfilename[16];
extern int8_t modenum_audiocfg, Audio_ItemCurrent[5], modenum_cfg, Control_ItemCurrent[2],
    modenum_optionsmenu;
extern const int8_t Audio_ItemCount[5], Control_ItemCount[2];
