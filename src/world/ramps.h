// The race's store of the jumps and crash zones along the racing line. At race start it walks the
// waypoint spline once through the spline manager's terrain searches, collects every takeoff, landing and
// crash-zone end the terrain map marks, and pairs each takeoff with its landing and each crash-zone
// beginning with its end. During the race the bike asks for the pair nearest to it.
//
// Needs the terrain map attached (CTerrainType) and the splines loaded before the preprocessing runs.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "game/core/qz_math.h"

// One jump (takeoff to landing) or one crash zone (beginning to end).
struct RampPair {
    qzVector3d takeoff;
    qzVector3d landing;
    float wayTime;     // waypoint time of the search step that found the takeoff or beginning
    float cornerX[4];  // jumps: the takeoff area's corners
    float cornerZ[4];
    qzVector3d dir;  // crash zones: horizontal unit direction of travel where the zone ends
};

// One end found by the walk; only used while the pairs are built.
struct Ramp {
    qzVector3d pos;     // where the marked area was left; y is the terrain height there
    uint32_t rampType;  // 0 takeoff or crash-zone beginning, 1 landing or crash-zone end
    float wayTime;
    float cornerX[4];
    float cornerZ[4];
    int32_t rampSubType;  // jumps: 0-7 takeoffs, 8-11 landings (see JumpSubType)
    qzVector3d dir;
};

class CRamps {
public:
    static CRamps* getInstance();
    // Destroys the store (the race's teardown, and each race build).
    static void resetStatics();

    // Terrain height under (x, z) for the ends' y; the race sets it to the world model's height query.
    // Without one the ends lie at y = 0.
    std::function<float(float x, float z)> heightAt;

    void preProcessJumpRamps();
    void preProcessCrashRamps();
    // The nearest jump pair when the position lies inside its takeoff area widened by 1500 units on every
    // side, else null.
    RampPair* getJumpRampPair(qzVector3d position);
    // The nearest crash pair (horizontally; the earlier one on a tie), null when there is none.
    RampPair* getCrashRampPair(qzVector3d position);

    // The sub-type (0-11) of a jump terrain code, -1 for any other code.
    static int JumpSubType(uint8_t code);
    // Pairs the ends in list order: each takeoff with the first later landing it accepts (jumps: the
    // landing sub-type its sub-type names; crash zones: any end). One landing may close several pairs.
    static void PairRamps(const std::vector<Ramp>& ramps, bool jumps, std::vector<RampPair>& out);

    std::vector<RampPair> jumpRampPairSets;
    std::vector<RampPair> crashRampPairSets;

    // Bounds on the walk, so a spline that never ends or a search that never finishes cannot hang the
    // race build: spline steps of 2000 time units, and search calls within one step.
    static constexpr int kMaxSteps = 10000;
    static constexpr int kMaxCallsPerStep = 8192;

private:
    CRamps() = default;
    ~CRamps();
    void walk(bool jumps, std::vector<Ramp>& ramps);
    static CRamps* instance_;
};
