// What lies under a point of the world: the surface, a track marker or a checkpoint, read from the world's
// terrain map (label 4 sub-file 0 of the world file; layout in world/terrain_map_format.h).
//
// One process-wide instance, made on first use. The race attaches the loaded map with its world's tile
// count and grid size; the map is checked once when it is attached, so lookups never read outside it.
// Until a valid map is attached every point answers outOfBounds.
#pragma once

#include <cstddef>
#include <cstdint>

enum TypeList : uint8_t {
    hardpack = 0,
    cement = 1,
    loam = 2,
    clay = 3,
    sand = 4,
    grass = 5,
    gravel = 6,
    oil = 7,
    wetstuff = 29,
    wetHardpack = 30,
    wetCement = 31,
    wetLoam = 32,
    wetClay = 33,
    wetSand = 34,
    wetGrass = 35,
    wetGravel = 36,
    offtrack = 58,
    offHardpack = 59,
    offCement = 60,
    offLoam = 61,
    offClay = 62,
    offSand = 63,
    offGrass = 64,
    offGravel = 65,
    offOil = 66,
    offwet = 87,
    offwetHardpack = 88,
    offwetCement = 89,
    offwetLoam = 90,
    offwetClay = 91,
    offwetSand = 92,
    offwetGrass = 93,
    offwetGravel = 94,
    special = 108,
    crash_end = 109,
    crash_begin = 110,
    jump_skill4 = 111,
    jump_skill3 = 112,
    jump_skill2 = 113,
    preload4 = 114,
    preload3 = 115,
    preload2 = 116,
    landing4 = 117,
    landing3 = 118,
    landing2 = 119,
    landingStrip = 120,
    nitroOK = 121,
    aiPreLoad = 122,
    jumpLand = 123,
    holeShot = 124,
    obsolete = 125,  // also what the spline searches answer when they find nothing
    autoCrash = 126,
    outOfBounds = 127,  // also the answer for every point off the map
    checkpoint0 = 128,  // checkpoint n is 128 + n
};

class CTerrainType {
public:
    static CTerrainType* getInstance();
    // Destroys the instance (the race's teardown; also run at each race build so no map of an earlier
    // race survives). The map itself belongs to the world file.
    static void resetStatics();

    // Attaches the map of `length` bytes of a world of `numTiles` tiles and grid spacing `gridSize` world
    // units. Checks the row table and every row's runs first; a bad map is refused with a log line and
    // leaves no map attached. Returns whether it was attached.
    bool setPointer(const void* map, size_t length, int numTiles, int gridSize);

    // The code under world point (x, z); outOfBounds off the map, for a point west or north of its edge
    // and when no map is attached.
    TypeList getTypeAtPoint(float x, float z) const;
    // code - 128 when the code is a checkpoint, otherwise 255.
    unsigned int getCheckPoint(float x, float z) const;

    const uint32_t* lookTable = nullptr;  // row table at the start of the map
    const uint8_t* rawData = nullptr;     // run lists, 0x1C000 bytes after it

private:
    CTerrainType() = default;
    ~CTerrainType();
    float scale_ = 0.0f;  // world units to map units: (1 / gridSize) x (2, 4/3 or 1 by tile count)
    int gridSize_ = 0;
    int numTiles_ = 0;
    static CTerrainType* instance_;
};
