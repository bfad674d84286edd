// The career screens run between races: series choice, pre-race menu, standings, bike choice, the rider
// view where ability points go into skills, and the rider choice of a new career.
#include <algorithm>
#include <cstring>

#include "engine/font/font.h"
#include "engine/sys/clock.h"
#include "frontend/screens/career_ui.h"
#include "frontend/sm/sm_dlist.h"
#include "game/core/global_options.h"
#include "race/hud/hud.h"

using namespace careerui;

int8_t modenum_prerace = 0, currentsel = 0, cscy = 0, careerbikechosen = 0, careerRiderView = 0, maxpts = 0;
int8_t allocpts[4] = {};
int16_t boxxpos = 0, boxypos = 0;
int8_t CR_ItemCurrent = 0;

namespace {

constexpr int kSeriesChoice = 7, kPreRace = 6, kStandings = 3, kBikeChoice = 4, kRiderView = 5,
              kRiderChoice = 8;
constexpr int kMainMenu = 33, kLoading = 21;

constexpr int kLockedMark[12] = {265, 266, 267, 274, 275, 276, 283, 284, 285, 292, 293, 294};
constexpr int kWonMark[12] = {268, 269, 270, 277, 278, 279, 286, 287, 288, 296, 295, 297};
constexpr int kExitText = 299, kBox = 300;
constexpr int kPreRaceItems[9] = {240, 242, 252, 244, 246, 248, 250, 254, 255};
constexpr int kStandingsHeaders[4] = {44, 46, 47, 45};
constexpr int kSkillFirst[4] = {121, 135, 149, 163};
constexpr int kFreePointsFirst = 177, kFreePointsShown = 12, kSkillFocus = 115;
constexpr int kPreRaceRider0 = 1600, kPreRaceBike0 = 1610;

intptr_t Refuse(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t) {
    FE_PlayPair(FE_ERROR);
    return Ack();
}
void Stamp() {
    currenttime = veClockGetSeconds();
}
// The racers of the current series: the field its races have.
int SeriesRacers(const CareerData& c) {
    return CareerFieldSize(c.currentseries);
}

// ---- series choice (7) ----------------------------------------------------------------------------
bool Open(int s) {
    return s >= 0 && s < kCareerSeries && Slot().status[s] != -1;
}
intptr_t Series_Init(_smdlhdr* root, int32_t, intptr_t, intptr_t, intptr_t) {
    Stamp();
    cscy = 0;
    currentsel = 0;
    if (_smdlhdr* box = Find(kBox)) {
        boxxpos = box->x;
        boxypos = box->y;
        box->Alpha = 255;
    }
    SM_DLSetHighlighted(Find(kExitText), 0);
    for (int s = 0; s < kCareerSeries; ++s) {
        Show(kLockedMark[s], Slot().status[s] == -1);
        Show(kWonMark[s], Slot().status[s] == 1);
    }
    SetFocus(root, nullptr);
    return Ack();
}
intptr_t Series_Render(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t) {
    if (_smdlhdr* box = Find(kBox)) {
        box->x = static_cast<int16_t>(boxxpos + 102 * (currentsel % 3));
        box->y = static_cast<int16_t>(boxypos + 37 * (currentsel / 3));
    }
    return 0;
}
intptr_t Series_Left(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t) {
    if (cscy < 4 && currentsel % 3 > 0 && Open(currentsel - 1)) {
        --currentsel;
        FE_PlayPair(FE_SELECT);
    }
    return Ack();
}
intptr_t Series_Right(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t) {
    SM_AcknowledgeMsg();
    if (cscy < 4 && currentsel % 3 < 2 && Open(currentsel + 1)) {
        ++currentsel;
        FE_PlayPair(FE_SELECT);
    }
    return 0;
}
intptr_t Series_Down(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t) {
    if (cscy == 3) {
        cscy = 4;
        Show(kBox, false);
        SM_DLSetHighlighted(Find(kExitText), 1);
        FE_PlayPair(FE_MOVE);
    } else if (cscy < 3 && currentsel + 3 < kCareerSeries && Open(currentsel + 3)) {
        ++cscy;
        currentsel = static_cast<int8_t>(currentsel + 3);
        FE_PlayPair(FE_MOVE);
    }
    return Ack();
}
intptr_t Series_Up(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t) {
    if (cscy == 4) {
        cscy = 3;
        Show(kBox, true);
        SM_DLSetHighlighted(Find(kExitText), 0);
        FE_PlayPair(FE_MOVE);
    } else if (currentsel - 3 >= 0 && Open(currentsel - 3)) {
        --cscy;
        currentsel = static_cast<int8_t>(currentsel - 3);
        FE_PlayPair(FE_MOVE);
    }
    return Ack();
}
intptr_t Series_Accept(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t) {
    SM_AcknowledgeMsg();
    if (cscy == 4) {
        SM_ScreenLink(kMainMenu);
        return 0;
    }
    // The standings name the racers as the race will: the career's rider first.
    const int32_t rider = Slot().ridernum;
    FE_FillRoster(1, &rider);
    const char* names[kCareerRacers];
    for (int i = 0; i < kCareerRacers; ++i) names[i] = fe_roster[i];
    const char* roster[kCareerRacers];
    FE_SeriesRoster(currentsel, names, roster);
    Career_ChooseSeries(Slot(), currentsel, roster);
    FE_PlayPair(FE_ACCEPT);
    SM_ScreenLink(kPreRace);
    return 0;
}
const _sm_msgmapstruct kSeriesMap[] = {
    {SM_MSG_INITIALUPDATE, kSeriesChoice, Series_Init},
    {SM_MSG_RENDER, kSeriesChoice, Series_Render},
    {SM_MSG_LEFT, kSeriesChoice, Series_Left},
    {SM_MSG_RIGHT, kSeriesChoice, Series_Right},
    {SM_MSG_UP, kSeriesChoice, Series_Up},
    {SM_MSG_DOWN, kSeriesChoice, Series_Down},
    {SM_MSG_ACCEPT, kSeriesChoice, Series_Accept},
    {SM_MSG_CANCEL, kSeriesChoice, Refuse},
    {SM_MSG_SYNC, kSeriesChoice, AckOnly},
    {0, 0, nullptr},
};

// ---- pre-race (6) ---------------------------------------------------------------------------------
intptr_t PreRace_Init(_smdlhdr* root, int32_t, intptr_t, intptr_t, intptr_t) {
    Stamp();
    modenum_prerace = 0;
    SM_AcknowledgeMsg();
    if (GO) {
        if (const int next = Career_ScoreRace(Slot(), *GO, inCareer)) {
            SM_ScreenLink(next);
            return 0;
        }
    }
    // The career's own rider and bike.
    for (int k = 0; k < 10; ++k) {
        Show(kPreRaceRider0 + k, k == Slot().ridernum);
        Show(kPreRaceBike0 + k, k == Slot().bikenum);
    }
    SetFocus(root, Find(kPreRaceItems[modenum_prerace]));
    return 0;
}
intptr_t PreRace_Up(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t) {
    modenum_prerace = static_cast<int8_t>((modenum_prerace + 8) % 9);
    FE_PlayPair(FE_MOVE);
    return 0;
}
intptr_t PreRace_Down(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t) {
    modenum_prerace = static_cast<int8_t>((modenum_prerace + 1) % 9);
    FE_PlayPair(FE_MOVE);
    return 0;
}
void StartCareerRace(const CareerData& c) {
    const int s = std::clamp<int>(c.currentseries, 0, kCareerSeries - 1);
    const int race = std::clamp<int>(c.currentrace[s], 1, c.numraces[s]);
    std::memset(fn, 0, sizeof fn);
    std::memcpy(fn, racestrings[s][race - 1], 3);
    trackx = static_cast<int8_t>(s / 3);
    bikex[0] = c.bikenum;
    riderx[0] = c.ridernum;
    inCareer = 1;
    playerx = 1;
    // A career race runs by the career's rules, not by the last single race's set-up: the computer
    // riders on, no catch-up, three laps (a minute on a freestyle track).
    cpux = 0;
    catchupx = 0;
    durx = 0;
    timeOrLapx = trackx == TRACKTYPE_FREESTYLE ? 0 : 1;
    SM_ScreenLink(kLoading);
}
intptr_t PreRace_Accept(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t) {
    SM_AcknowledgeMsg();
    CareerData& c = Slot();
    const int racers = SeriesRacers(c);
    // The sound comes first: the links below may end this screen.
    FE_PlayPair(FE_ACCEPT);
    switch (modenum_prerace) {
        case 0:
            SM_ScreenLink(kRiderView);
            break;
        case 1:
            SM_ScreenLink(kBikeChoice);
            break;
        case 2:
            SM_ScreenLink(kStandings);
            break;
        case 4:
            SM_ScreenLink(kSeriesChoice);
            break;
        case 5:
            SM_ScreenLink(kMainMenu);
            break;
        case 6:
            StartCareerRace(c);
            break;
        case 7:
        case 8:
            SM_ScreenLink(Career_TestResult(c, racers, modenum_prerace == 7));
            break;
        default:
            break;
    }
    return 0;
}
const _sm_msgmapstruct kPreRaceMap[] = {
    {SM_MSG_INITIALUPDATE, kPreRace, PreRace_Init},
    {SM_MSG_UP, kPreRace, PreRace_Up},
    {SM_MSG_DOWN, kPreRace, PreRace_Down},
    {SM_MSG_LEFT, kPreRace, AckOnly},
    {SM_MSG_RIGHT, kPreRace, AckOnly},
    {SM_MSG_ACCEPT, kPreRace, PreRace_Accept},
    {SM_MSG_CANCEL, kPreRace, Refuse},
    {SM_MSG_SYNC, kPreRace, AckOnly},
    {0, 0, nullptr},
};

// ---- standings (3) --------------------------------------------------------------------------------
intptr_t Standings_Init(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t) {
    Stamp();
    CareerData& c = Slot();
    for (int k = 0; k < 4; ++k) Show(kStandingsHeaders[k], k == std::clamp(c.currentseries / 3, 0, 3));
    Career_DisplayStandings(c, SeriesRacers(c));
    return Ack();
}
intptr_t Standings_Render(_smdlhdr*, int32_t, intptr_t p1, intptr_t, intptr_t) {
    if (!Drawing(p1) || !f_fe) return 0;
    const CareerData& c = Slot();
    const int s = std::clamp<int>(c.currentseries, 0, kCareerSeries - 1);
    veFontPrintfXY(f_fe, kStandingsRaceX, kStandingsRaceY, kStandingsRaceFormat, c.currentrace[s],
                   c.numraces[s]);
    for (int i = 0; i < SeriesRacers(c); ++i) {
        veFontPrintfXY(f_fe, 200, 200 + 22 * i, "%s", c.playersorted[i].name);
        veFontPrintfXY(f_fe, 400, 200 + 22 * i, "%i", c.playersorted[i].points[s]);
    }
    return 0;
}
// Accept on a sub-screen: the accept pair, then the screen backs out through its own Cancel.
intptr_t AcceptAndBack(int screen) {
    SM_AcknowledgeMsg();
    FE_PlayPair(FE_ACCEPT);
    SM_SendMessage(screen, SM_MSG_CANCEL, 0, 0, 0);
    return 0;
}
const _sm_msgmapstruct kStandingsMap[] = {
    {SM_MSG_INITIALUPDATE, kStandings, Standings_Init},
    {SM_MSG_RENDER, kStandings, Standings_Render},
    {SM_MSG_UP, kStandings, AckOnly},
    {SM_MSG_DOWN, kStandings, AckOnly},
    {SM_MSG_ACCEPT, kStandings, With<AcceptAndBack, kStandings>},
    {SM_MSG_CANCEL, kStandings, Back},
    {SM_MSG_SYNC, kStandings, AckOnly},
    {0, 0, nullptr},
};

// ---- bike choice (4) ------------------------------------------------------------------------------
void ShowBike(int k, bool on) {
    for (int part = 0; part < 3; ++part) Show(73 + 4 * k + part, on);
}
intptr_t Bike_Init(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t) {
    Stamp();
    careerbikechosen = static_cast<int8_t>(std::clamp<int>(Slot().bikenum, 0, 9));
    for (int k = 0; k < 10; ++k) ShowBike(k, k == careerbikechosen);
    return Ack();
}
intptr_t Bike_Step(int by) {
    ShowBike(careerbikechosen, false);
    careerbikechosen = static_cast<int8_t>((careerbikechosen + by + 10) % 10);
    ShowBike(careerbikechosen, true);
    FE_PlayPair(FE_SELECT);
    return Ack();
}
intptr_t Bike_Accept(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t) {
    Slot().bikenum = careerbikechosen;
    return AcceptAndBack(kBikeChoice);
}
const _sm_msgmapstruct kBikeMap[] = {
    {SM_MSG_INITIALUPDATE, kBikeChoice, Bike_Init},
    {SM_MSG_UP, kBikeChoice, AckOnly},
    {SM_MSG_DOWN, kBikeChoice, AckOnly},
    {SM_MSG_LEFT, kBikeChoice, With<Bike_Step, -1>},
    {SM_MSG_RIGHT, kBikeChoice, With<Bike_Step, 1>},
    {SM_MSG_ACCEPT, kBikeChoice, Bike_Accept},
    {SM_MSG_CANCEL, kBikeChoice, Back},
    {SM_MSG_SYNC, kBikeChoice, AckOnly},
    {0, 0, nullptr},
};

// ---- rider view (5) -------------------------------------------------------------------------------
uint8_t& Skill(CareerData& c, int row) {
    switch (row) {
        case 0:
            return c.Jumping;
        case 1:
            return c.Cornering;
        case 2:
            return c.Stability;
        default:
            return c.Stunt;
    }
}
// Level pictures cover 1 to 5; free points 0 to 12 (more than 12 shows the 12 picture).
int LevelId(int row, int level) {
    return kSkillFirst[row] + 2 * (std::clamp(level, 1, 5) - 1);
}
int FreePointsId(int points) {
    return kFreePointsFirst + 2 * std::clamp(points, 0, kFreePointsShown);
}
intptr_t RiderView_Init(_smdlhdr* root, int32_t, intptr_t, intptr_t, intptr_t) {
    Stamp();
    CareerData& c = Slot();
    std::fill(std::begin(allocpts), std::end(allocpts), 0);
    maxpts = static_cast<int8_t>(std::min<int>(c.abilitypoints, 127));
    careerRiderView = 0;
    for (int k = 0; k < 10; ++k) {
        Show(205 + 3 * k, k == c.ridernum);
        Show(204 + 3 * k, k == c.ridernum);
    }
    for (int r = 0; r < 4; ++r)
        for (int l = 1; l <= 5; ++l) Show(LevelId(r, l), l == Skill(c, r));
    for (int n = 0; n <= kFreePointsShown; ++n) Show(FreePointsId(n), false);
    Show(FreePointsId(c.abilitypoints), true);
    SetFocus(root, c.abilitypoints > 0 ? Find(kSkillFocus) : nullptr);
    return Ack();
}
intptr_t RiderView_Row(int by) {
    if (Slot().abilitypoints > 0) {
        careerRiderView = static_cast<int8_t>((careerRiderView + by + 4) % 4);
        FE_PlayPair(FE_MOVE);
    }
    return Ack();
}
intptr_t RiderView_Right(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t) {
    const int r = careerRiderView;
    const int level = Skill(Slot(), r) + allocpts[r];
    if (maxpts > 0 && level < 5) {
        Show(LevelId(r, level), false);
        ++allocpts[r];
        Show(LevelId(r, level + 1), true);
        Show(FreePointsId(maxpts), false);
        --maxpts;
        Show(FreePointsId(maxpts), true);
        FE_PlayPair(FE_SELECT);
    }
    return Ack();
}
intptr_t RiderView_Left(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t) {
    const int r = careerRiderView;
    if (allocpts[r] > 0) {
        const int level = Skill(Slot(), r) + allocpts[r];
        Show(LevelId(r, level), false);
        --allocpts[r];
        Show(LevelId(r, level - 1), true);
        Show(FreePointsId(maxpts), false);
        ++maxpts;
        Show(FreePointsId(maxpts), true);
        FE_PlayPair(FE_SELECT);
    }
    return Ack();
}
intptr_t RiderView_Accept(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t) {
    CareerData& c = Slot();
    c.abilitypoints = static_cast<uint8_t>(maxpts);
    for (int r = 0; r < 4; ++r) {
        Skill(c, r) = static_cast<uint8_t>(Skill(c, r) + allocpts[r]);
        allocpts[r] = 0;
    }
    return AcceptAndBack(kRiderView);
}
const _sm_msgmapstruct kRiderViewMap[] = {
    {SM_MSG_INITIALUPDATE, kRiderView, RiderView_Init},
    {SM_MSG_UP, kRiderView, With<RiderView_Row, -1>},
    {SM_MSG_DOWN, kRiderView, With<RiderView_Row, 1>},
    {SM_MSG_LEFT, kRiderView, RiderView_Left},
    {SM_MSG_RIGHT, kRiderView, RiderView_Right},
    {SM_MSG_ACCEPT, kRiderView, RiderView_Accept},
    {SM_MSG_CANCEL, kRiderView, Back},
    {SM_MSG_SYNC, kRiderView, AckOnly},
    {0, 0, nullptr},
};

// ---- rider choice (8) -----------------------------------------------------------------------------
constexpr int CR_ItemCount = 10;
void ShowRider(int k, bool on) {
    Show(336 + 3 * k, on);
    Show(335 + 3 * k, on);
}
intptr_t RiderChoice_Init(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t) {
    Stamp();
    CR_ItemCurrent = static_cast<int8_t>(std::clamp<int>(CR_ItemCurrent, 0, CR_ItemCount - 1));
    for (int k = 0; k < CR_ItemCount; ++k) ShowRider(k, k == CR_ItemCurrent);
    return Ack();
}
intptr_t RiderChoice_Step(int by) {
    ShowRider(CR_ItemCurrent, false);
    CR_ItemCurrent = static_cast<int8_t>((CR_ItemCurrent + by + CR_ItemCount) % CR_ItemCount);
    ShowRider(CR_ItemCurrent, true);
    FE_PlayPair(FE_SELECT);
    return Ack();
}
intptr_t RiderChoice_Accept(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t) {
    SM_AcknowledgeMsg();
    Slot().ridernum = CR_ItemCurrent;
    FE_PlayPair(FE_ACCEPT);
    SM_ScreenLink(kSeriesChoice);
    return 0;
}
const _sm_msgmapstruct kRiderChoiceMap[] = {
    {SM_MSG_INITIALUPDATE, kRiderChoice, RiderChoice_Init},
    {SM_MSG_LEFT, kRiderChoice, With<RiderChoice_Step, -1>},
    {SM_MSG_RIGHT, kRiderChoice, With<RiderChoice_Step, 1>},
    {SM_MSG_ACCEPT, kRiderChoice, RiderChoice_Accept},
    {SM_MSG_CANCEL, kRiderChoice, Refuse},
    {SM_MSG_SYNC, kRiderChoice, AckOnly},
    {0, 0, nullptr},
};

}  // namespace

void FE_SeriesRoster(int series, const char* const names[kCareerRacers], const char* roster[kCareerRacers]) {
    for (int i = 0; i < kCareerRacers; ++i) roster[i] = names[i];
    if (series / 3 == TRACKTYPE_FREESTYLE) CHud::FreestyleRivals(names[0], roster + 1);
}

intptr_t CareerSeriesChoiceProc(_smdlhdr* n, int32_t m, intptr_t a, intptr_t b, intptr_t c) {
    return SM_ProcessMsgMap(kSeriesMap, n, m, a, b, c);
}
intptr_t CareerPreRaceProc(_smdlhdr* n, int32_t m, intptr_t a, intptr_t b, intptr_t c) {
    return SM_ProcessMsgMap(kPreRaceMap, n, m, a, b, c);
}
intptr_t CareerStandingsProc(_smdlhdr* n, int32_t m, intptr_t a, intptr_t b, intptr_t c) {
    return SM_ProcessMsgMap(kStandingsMap, n, m, a, b, c);
}
intptr_t CareerBikeChoiceProc(_smdlhdr* n, int32_t m, intptr_t a, intptr_t b, intptr_t c) {
    return SM_ProcessMsgMap(kBikeMap, n, m, a, b, c);
}
intptr_t CareerRiderViewProc(_smdlhdr* n, int32_t m, intptr_t a, intptr_t b, intptr_t c) {
    return SM_ProcessMsgMap(kRiderViewMap, n, m, a, b, c);
}
intptr_t CareerRiderChoiceProc(_smdlhdr* n, int32_t m, intptr_t a, intptr_t b, intptr_t c) {
    return SM_ProcessMsgMap(kRiderChoiceMap, n, m, a, b, c);
}
