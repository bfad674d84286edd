// The nine track splines of the loaded world: the waypoint line, which measures progress along the lap,
// and eight racing lines (two per difficulty) bound to it. One process-wide instance, made on first use
// while the world is built and destroyed by the race's teardown (cleanUp).
//
// Besides points and directions it converts waypoint times to lap fractions, advances a racer's waypoint
// time without passing a checkpoint the racer still has to take, and walks the terrain map along the track
// for the ramp store (jump and crash zones). Terrain codes come from CTerrainType, which must have its map
// attached before the searches run.
#pragma once

#include <cstddef>
#include <cstdint>

#include "game/core/qz_math.h"
#include "world/qz_spline.h"
#include "world/terrain_type.h"

class CSplineManager {
public:
    enum SplineType {
        WayPoint = 0,
        BegOne,
        BegTwo,
        MedOne,
        MedTwo,
        AdvOne,
        AdvTwo,
        ExtOne,
        ExtTwo,
        lastEntry
    };

    static CSplineManager* getSplineManager();
    static void cleanUp();
    // The race build's reset of world statics: no splines of an earlier race survive.
    static void resetStatics() { cleanUp(); }

    // Reads the spline section of `length` bytes (checked at load by CheckSplineSection) for grid
    // spacing g and a world of `numTiles` tiles. Stops at a record that does not fit.
    void loadSplines(const void* section, size_t length, float g, int numTiles);

    bool getPoint(float t, SplineType type, qzVector3d& point, qzVector3d& dir);
    bool getControlledPoint(float wayTime, float ahead, SplineType type, qzVector3d& point, qzVector3d& dir);
    float wayTimeToPercent(float wayTime);
    int isPastLap(float wayTime);
    float advanceControlTime(float wayTime, qzVector3d position, unsigned char nextCheckPoint);

    // Walks from (x, z) toward (toX, toZ) in half-grid steps; false as soon as a step lies in checkpoint
    // zone `nextCheckPoint` or a later one.
    static bool checkPointCheck(float& x, float& z, float toX, float toZ, int nextCheckPoint);
    // Walks from (x, z) toward (toX, toZ); returns the crash marker whose zone the walk has just left
    // (x, z then hold the first point outside it), else obsolete (125). `type` carries the code under the
    // walk from call to call.
    TypeList findCrashRamps(float& x, float& z, float toX, float toZ, TypeList& type);
    // Walks from (x, z) toward (toX, toZ), scanning sideways at each step; returns the jump marker whose
    // zone the walk has just left, else obsolete (125). For a takeoff zone the four corners are written to
    // cornerX[4], cornerZ[4].
    TypeList findJumpRamps(float& x, float& z, float toX, float toZ, TypeList& type, float* cornerX,
                           float* cornerZ);

    CQZSpline& spline(SplineType type) { return arraySpline[type]; }

    float gameScale = 0.0f;
    uint32_t lapWayPoint = 0;
    uint8_t bStartLapped = 0;
    CQZSpline arraySpline[lastEntry];

private:
    CSplineManager() = default;
    ~CSplineManager() = default;
    static CSplineManager* instance_;
};
