#include "world/terrain_type.h"

#include "engine/sys/files.h"
#include "engine/sys/loaded_files.h"
#include "world/terrain_map_format.h"

CTerrainType* CTerrainType::instance_ = nullptr;

CTerrainType* CTerrainType::getInstance() {
    if (!instance_) instance_ = new CTerrainType();
    return instance_;
}

void CTerrainType::resetStatics() {
    delete instance_;
}

CTerrainType::~CTerrainType() {
    if (instance_ == this) instance_ = nullptr;
}

bool CTerrainType::setPointer(const void* map, size_t length, int numTiles, int gridSize) {
    lookTable = nullptr;
    rawData = nullptr;
    if (gridSize <= 0) {
        x_printf("%sterrain map: grid size %d of the world is not positive\n", x_FileOf(map), gridSize);
        return false;
    }
    if (!terrainmap::CheckMap(map, length).ok) return false;
    lookTable = static_cast<const uint32_t*>(map);
    rawData = static_cast<const uint8_t*>(map) + terrainmap::kRowTableBytes;
    numTiles_ = numTiles;
    gridSize_ = gridSize;
    scale_ = terrainmap::TileScale(numTiles);
    return true;
}

TypeList CTerrainType::getTypeAtPoint(float x, float z) const {
    if (!rawData) return outOfBounds;
    const float mx = x / static_cast<float>(gridSize_) * scale_;
    const float mz = z / static_cast<float>(gridSize_) * scale_;
    // Half-unit positions; anything west or north of the first one, past the last one, or not a number
    // is off the map (every cell column and row is checked on its own, so no point reads a neighbour).
    const float hx = 2.0f * mx, hz = 2.0f * mz;
    constexpr float kEnd = static_cast<float>(terrainmap::kSide);
    if (!(hx > -1.0f && hx < kEnd && hz > -1.0f && hz < kEnd)) return outOfBounds;
    return static_cast<TypeList>(terrainmap::CodeAt(lookTable, static_cast<uint32_t>(static_cast<int>(hx)),
                                                    static_cast<uint32_t>(static_cast<int>(hz))));
}

unsigned int CTerrainType::getCheckPoint(float x, float z) const {
    const unsigned int code = getTypeAtPoint(x, z);
    return code >= checkpoint0 ? code - checkpoint0 : 255u;
}
