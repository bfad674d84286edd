// The career: eight slots held in memory for the program's run, the fixed series tables, and the rules
// that run between career races (scoring, standings order, end of a series, ability points, unlocks).
#pragma once

#include <cstdint>

class CGameOptions;

inline constexpr int kCareerSlots = 8;
inline constexpr int kCareerSeries = 12;  // series s = track kind * 3 + tier
inline constexpr int kCareerSeriesRecords = 30;
inline constexpr int kCareerRacers = 8;  // racer 0 is the human
inline constexpr int kCareerNameMax = 15;

// Screens the rules send the front end to.
inline constexpr int kScreenCareerStandings = 3;
inline constexpr int kScreenCareerSeriesChoice = 7;

class CareerData {
public:
    struct players {
        char name[32];
        uint16_t points[kCareerSeriesRecords];
    };

    CareerData();
    // Back to a new, unused slot (also used when a slot is deleted or renamed).
    void reset();

    // Ascending by this career's current-series points / by name; both ends inclusive, nothing when
    // lo >= hi. Swaps move whole names.
    void QuickSortPlayersByPoints(int lo, int hi, players* list) const;
    void QuickSortPlayersByName(int lo, int hi, players* list) const;

    int8_t used;
    char savename[16];
    int8_t currentseries;
    uint8_t Jumping, Cornering, Stability, Stunt;
    uint8_t abilitypoints;
    int8_t ridernum;
    int8_t bikenum;
    uint8_t TopSpeed, PowerBand, Suspension, Traction;
    int8_t status[kCareerSeriesRecords];  // -1 locked, 0 open, 1 won
    int8_t numraces[kCareerSeriesRecords];
    int8_t currentrace[kCareerSeriesRecords];  // next race, from 1
    players player[kCareerRacers];
    players playersorted[kCareerRacers];

private:
    void swapPlayers(players& a, players& b) const;
};

struct TrophyData {
    int8_t used = 0;
    uint8_t Trophy = 0;
};

extern CareerData CareerFile[kCareerSlots];
extern CareerData CareerFileTemp[kCareerSlots];
extern TrophyData TrophyFile, TrophyFileTemp;
extern int8_t cfc;  // slot in play

// World code (three letters) of every race of every series; past the last race all zero.
extern const char racestrings[kCareerSeries][8][4];
extern const int8_t kCareerNumRaces[kCareerSeries];

// Points for a finishing place: 16 / place - 2 for places 1 to 8 (14, 6, 3, 2, 1, 0, 0, 0); any other
// place scores nothing.
int CareerPointsForPlace(int place);

// The racers the race reported on: numCPURacers + 1, at most 8; on a freestyle track the eight entries
// of its ranking (the player and seven rivals).
int CareerRacerCount(const CGameOptions& options);
// The racers of a career race in series `series`: the race's field for one player on the series' kind of
// track (baja 6, indoor and outdoor 7, freestyle the eight of its ranking). The standings show this many
// before the series' first race too, whatever race was run last.
int CareerFieldSize(int series);

// Scores a finished career race (only when the race finished and inCareer is set): awards points, sorts
// the standings, moves on a race or ends the series; clears inCareer. Answers the screen to link to
// (the series choice when the series ended), or 0.
int Career_ScoreRace(CareerData& c, const CGameOptions& options, unsigned char& inCareer);
// Ends the current series: a win gives an ability point, marks the series won and opens the next tier.
// Points and the race counter of the series start again. Answers the series choice screen.
int Career_EndSeries(CareerData& c, int racers);
// The pre-race menu's simulated results: a won race (14 points to the human) or a lost one; the
// computer racers get random points. Answers the next screen (standings, or series choice at the end).
int Career_TestResult(CareerData& c, int racers, bool won);
// Starts series `series`: the human's label and the seven professionals' names from the roster.
void Career_ChooseSeries(CareerData& c, int series, const char* const roster[kCareerRacers]);
// Copies the standings and sorts the first `racers` slots of the copy by points.
void Career_SortStandings(CareerData& c, int racers);
// Standings for display: by name before the first race of the series, by points after.
void Career_DisplayStandings(CareerData& c, int racers);
// True when `series` is won in any slot; the bit mask of series won anywhere.
unsigned Career_TrophyMask();
