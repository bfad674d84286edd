#include "frontend/career/career_data.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "engine/sys/files.h"
#include "engine/sys/xrand.h"
#include "game/core/game_options.h"

CareerData CareerFile[kCareerSlots];
CareerData CareerFileTemp[kCareerSlots];
TrophyData TrophyFile, TrophyFileTemp;
int8_t cfc = 0;

const int8_t kCareerNumRaces[kCareerSeries] = {3, 4, 5, 4, 6, 8, 5, 6, 7, 2, 3, 4};

// Every race names a world the disc carries; the champion indoor series runs over all eight arenas.
const char racestrings[kCareerSeries][8][4] = {
    {"b01", "b02", "b03"},
    {"b01", "b02", "b03", "b04"},
    {"b01", "b02", "b03", "b04", "b05"},
    {"i07", "i10", "i05", "i09"},
    {"i07", "i10", "i05", "i09", "i02", "i04"},
    {"i07", "i10", "i05", "i09", "i03", "i08", "i02", "i04"},
    {"o08", "o01", "o09", "o03", "o07"},
    {"o08", "o01", "o09", "o03", "o07", "o06"},
    {"o08", "o01", "o09", "o03", "o07", "o06", "o04"},
    {"f01", "f02"},
    {"f01", "f02", "f03"},
    {"f01", "f02", "f03", "f04"},
};

CareerData::CareerData() {
    reset();
}

void CareerData::reset() {
    used = 0;
    std::memset(savename, 0, sizeof savename);
    currentseries = -1;
    abilitypoints = 0;
    ridernum = 0;
    bikenum = 0;
    Jumping = Cornering = Stability = Stunt = 1;
    TopSpeed = PowerBand = Suspension = Traction = 0;
    for (int s = 0; s < kCareerSeriesRecords; ++s) {
        status[s] = s % 3 == 0 ? 0 : -1;
        currentrace[s] = 1;
        numraces[s] = s < kCareerSeries ? kCareerNumRaces[s] : 0;
    }
    for (players& p : player) {
        std::memset(&p, 0, sizeof p);
        std::strcpy(p.name, "NotInitialized");
    }
    std::memcpy(playersorted, player, sizeof player);
}

void CareerData::swapPlayers(players& a, players& b) const {
    std::swap(a, b);
}

void CareerData::QuickSortPlayersByPoints(int lo, int hi, players* list) const {
    if (lo >= hi || currentseries < 0) return;
    const int s = currentseries;
    const uint16_t pivot = list[lo].points[s];
    int i = lo - 1, j = hi + 1;
    for (;;) {
        do --j;
        while (list[j].points[s] > pivot);
        do ++i;
        while (list[i].points[s] < pivot);
        if (i >= j) break;
        swapPlayers(list[i], list[j]);
    }
    QuickSortPlayersByPoints(lo, j, list);
    QuickSortPlayersByPoints(j + 1, hi, list);
}

void CareerData::QuickSortPlayersByName(int lo, int hi, players* list) const {
    if (lo >= hi) return;
    // The pivot is copied: a swap may move the name out of slot lo while the partition runs.
    char pivot[sizeof list[lo].name];
    std::memcpy(pivot, list[lo].name, sizeof pivot);
    pivot[sizeof pivot - 1] = 0;
    int i = lo - 1, j = hi + 1;
    for (;;) {
        do --j;
        while (std::strcmp(list[j].name, pivot) > 0);
        do ++i;
        while (std::strcmp(list[i].name, pivot) < 0);
        if (i >= j) break;
        swapPlayers(list[i], list[j]);
    }
    QuickSortPlayersByName(lo, j, list);
    QuickSortPlayersByName(j + 1, hi, list);
}

int CareerPointsForPlace(int place) {
    return place >= 1 && place <= kCareerRacers ? 16 / place - 2 : 0;
}

int CareerRacerCount(const CGameOptions& options) {
    // A freestyle run is ridden alone but ranked against the seven rivals of its table.
    if (options.trackType == TRACKTYPE_FREESTYLE) return kCareerRacers;
    return static_cast<int>(std::min<uint32_t>(options.numCPURacers, kCareerRacers - 1)) + 1;
}

int CareerFieldSize(int series) {
    switch (std::clamp(series, 0, kCareerSeries - 1) / 3) {
        case TRACKTYPE_FREESTYLE:
            return kCareerRacers;
        case TRACKTYPE_INDOOR:
        case TRACKTYPE_OUTDOOR:
            return 7;
        default:
            return 6;
    }
}

namespace {
bool ValidSeries(const CareerData& c) {
    return c.currentseries >= 0 && c.currentseries < kCareerSeries;
}
}  // namespace

void Career_SortStandings(CareerData& c, int racers) {
    std::memcpy(c.playersorted, c.player, sizeof c.player);
    c.QuickSortPlayersByPoints(0, std::clamp(racers, 1, kCareerRacers) - 1, c.playersorted);
}

void Career_DisplayStandings(CareerData& c, int racers) {
    std::memcpy(c.playersorted, c.player, sizeof c.player);
    const int last = std::clamp(racers, 1, kCareerRacers) - 1;
    if (ValidSeries(c) && c.currentrace[c.currentseries] == 1)
        c.QuickSortPlayersByName(0, last, c.playersorted);
    else
        c.QuickSortPlayersByPoints(0, last, c.playersorted);
}

int Career_EndSeries(CareerData& c, int racers) {
    if (!ValidSeries(c)) return kScreenCareerSeriesChoice;
    const int s = c.currentseries;
    racers = std::clamp(racers, 1, kCareerRacers);
    if (std::strncmp(c.playersorted[racers - 1].name, c.player[0].name, sizeof c.player[0].name) != 0) {
        x_printf("You have failed to win this series.\n");
    } else {
        ++c.abilitypoints;
        c.status[s] = 1;
        if ((s + 1) % 3 == 0) {
            x_printf("Unlock all Pro Series for even more bonusage!.\n");
        } else if (c.status[s + 1] == -1) {
            c.status[s + 1] = 0;
            x_printf("A new series has been unlocked!\n");
        }
    }
    c.currentrace[s] = 1;
    for (int i = 0; i < racers; ++i) c.player[i].points[s] = 0;
    return kScreenCareerSeriesChoice;
}

int Career_ScoreRace(CareerData& c, const CGameOptions& options, unsigned char& inCareer) {
    if (options.gameEndState != GAME_END_RACE_FINISHED || !inCareer || !ValidSeries(c)) return 0;
    const int s = c.currentseries;
    const int racers = CareerRacerCount(options);
    for (int i = 0; i < racers; ++i) {
        const int place = options.sInfo[i].riderPos;
        const int points = CareerPointsForPlace(place);
        c.player[i].points[s] = static_cast<uint16_t>(c.player[i].points[s] + points);
        x_printf("Awarded -player %d-%d points for coming in place %d.\n", i, points, place);
    }
    Career_SortStandings(c, racers);
    int next = 0;
    if (c.currentrace[s] < c.numraces[s])
        ++c.currentrace[s];
    else
        next = Career_EndSeries(c, racers);
    inCareer = 0;
    return next;
}

int Career_TestResult(CareerData& c, int racers, bool won) {
    if (!ValidSeries(c)) return kScreenCareerStandings;
    const int s = c.currentseries;
    racers = std::clamp(racers, 1, kCareerRacers);
    x_printf(won ? "SUCCESS on race %i of %i (1st place).\n" : "FAILURE on race %i of %i (8th place).\n",
             c.currentrace[s], c.numraces[s]);
    ++c.currentrace[s];
    if (won) c.player[0].points[s] = static_cast<uint16_t>(c.player[0].points[s] + 14);
    for (int i = 1; i < racers; ++i)
        c.player[i].points[s] = static_cast<uint16_t>(c.player[i].points[s] + x_rand() % 10);
    Career_SortStandings(c, racers);
    if (c.numraces[s] < c.currentrace[s]) return Career_EndSeries(c, racers);
    return kScreenCareerStandings;
}

void Career_ChooseSeries(CareerData& c, int series, const char* const roster[kCareerRacers]) {
    c.currentseries = static_cast<int8_t>(std::clamp(series, 0, kCareerSeries - 1));
    for (int i = 0; i < kCareerRacers; ++i) {
        std::memset(c.player[i].name, 0, sizeof c.player[i].name);
        if (roster && roster[i]) std::strncpy(c.player[i].name, roster[i], sizeof c.player[i].name - 1);
    }
}

unsigned Career_TrophyMask() {
    unsigned mask = 0;
    for (const CareerData& c : CareerFile)
        for (int s = 0; s < kCareerSeries; ++s)
            if (c.status[s] == 1) mask |= 1u << s;
    return mask;
}
