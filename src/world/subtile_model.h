// One subtile of the terrain: 56 x 56 height cells, one sixteenth of a tile. It points at its height block
// in the loaded world file, and carries the two boxes that visibility and detail decisions test.
#pragma once

#include <memory>
#include <vector>

#include "game/files/texture.h"
#include "game/model/bounding_box.h"
#include "game/model/model_object.h"
#include "world/world_file_format.h"

class CSubtileModel : public CModelObject {
public:
    CSubtileModel(int subX, int subZ, int tx, int tz, _SubtileHeightData* heights, float scaleY,
                  float minHeight, int id);
    ~CSubtileModel() override;
    CSubtileModel(const CSubtileModel&) = delete;
    CSubtileModel& operator=(const CSubtileModel&) = delete;

    CBoundingBox* getBounds() override { return &bBox; }
    // The smallest and largest y of the samples (up is -y, so *low <= *high).
    void getMinMaxHeight(float* low, float* high) const;

    // The world statics, cleared for the next race (the detail bitmap is released).
    static void resetStatics();

    int subX, subZ;  // within the tile, 0..3
    int tx, tz;      // tile column and row
    float subXPos, subZPos, txPos, tzPos;
    _SubtileHeightData* heightData;
    int id;                    // subtile number 16 t + 4 k + j
    CBoundingBox bBox;         // terrain widened 2500 up and 10 down: the subtile and what stands on it
    CBoundingBox terrainBBox;  // terrain widened 10 each way
    std::vector<_Placement*> objectList;  // per description: its records on this subtile, or null
    std::unique_ptr<CTexture> terrainBitmap;

    static int gridSize;     // (int)scaleXZ
    static int subtileSize;  // 56 * gridSize (scaleXZ is integral)
    static int tileSize;     // 4 * subtileSize
    static int numObjects;
    static int firstObjectId;
    static CTexture* detailBitmap;
};
