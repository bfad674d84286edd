// The track's ground as a model object: pointers to the height data of every tile and the subtile
// models, the gates and the world quad tree, and the terrain queries of bikes, riders, cameras, splines
// and the physics height field. Heights are y values, and up is -y.
#pragma once

#include <memory>
#include <vector>

#include "game/core/qz_math.h"
#include "game/model/bounding_box.h"
#include "game/model/model_object.h"
#include "game/model/quad_tree.h"
#include "world/world_file_format.h"

class CSubtileModel;
class CWorldQuadTree;

class CWorldModel : public CModelObject {
public:
    static constexpr int kMaxRacers = 8;
    static constexpr int kCollidersPerRacer = 50;
    static constexpr float kEdgeMargin = 500.0f;

    CWorldModel();
    ~CWorldModel() override;
    CWorldModel(const CWorldModel&) = delete;
    CWorldModel& operator=(const CWorldModel&) = delete;

    // The terrain triangle under integer world point (x, z): 1 when found. Points with negative
    // coordinates, outside the tiles, or whose cell needs a sample outside the world have none.
    int getLocation(qzVector3d tri[3], int x, int z);
    // Terrain y under (x, z); 0 where there is no terrain.
    float getHeightAt(float x, float z);
    // 1 with y and the unit normal (pointing up, w = 1); 0 with height 0 and the normal untouched.
    int getHeightAndNormalAt(float x, float z, float& height, qzVector3d& normal);
    // The 896 heights of world sample row `row`, in x order. Samples outside the world's tiles continue
    // the row's last sample (0 for a row with no tile at all).
    void getRowHeights(int row, float* heights);
    // `rows` rows of `columns` heights from the subtile holding sample (gridX, gridZ), the output
    // advancing `skip` more floats after each row. 0 when the start is outside the world or the
    // rectangle leaves that subtile.
    int getAreaHeightsWithinSubtile(int gridX, int gridZ, int columns, int rows, int skip, float* heights);
    // Two triangles per cell of the area (six vertices), all split from (X0, Z1) to (X1, Z0). Returns the
    // number of cells (columns and rows become cell counts), 0 when the area's first sample has no terrain
    // or the area spans more than one subtile's width. `tris` holds 6 (columns - 1) (rows - 1) vertices.
    int getAreaTris(float x, float z, float width, float depth, qzVector3d* tris, int& columns, int& rows);
    int getAreaTris(CBoundingBox* box, qzVector3d* tris, int& columns, int& rows);
    // The terrain colour under a point, filtered over nine samples of the subtile's bitmap taken two
    // texels apart; (0, 0, 0, 0) where there is no terrain or no bitmap.
    qzVector3d getLocationPixelColor(qzVector3d position);
    // 1 within 500 units of the world's edge.
    int checkNearEdgeOfWorld(qzVector3d position);
    qzVector3d getWorldCenter();
    void addGateObject(const CModelObject& gate);

    // Colliders near the human racers: every step, the gates and scenery placed within reach of a human
    // racer (or of where it will be a second later) get a static body of their own for that racer, and
    // lose it once the racer is out of reach. Nothing without game option 0x1.
    void update(float time) override;
    // The human racers' model objects, in racer order (set by the race; at most kMaxRacers).
    std::vector<CModelObject*> humanRacers;

    // Every world static back to its start value (the race build calls it before loading a world).
    static void resetStatics();

    _wlb_file* worldMap;
    _TileData* tileData[worldfile::kMaxTiles];
    int numTiles;
    int lastSubtileX, lastSubtileZ;
    int lastXSubtile, lastZSubtile;
    int lastXTile, lastZTile;
    std::vector<CSubtileModel*> stmList;
    std::vector<CModelObject> gateObjects;
    std::unique_ptr<CQuadTree<CModelObject*, CWorldQuadTree>> quadTree;
    std::unique_ptr<CModelObject> collisionObjects[kMaxRacers][kCollidersPerRacer];
    _Placement* collisionRecords[kMaxRacers][kCollidersPerRacer];  // the placement of each collider
    qzVector3d lastRacerPosition[kMaxRacers];
    float lastUpdateTime;

    static int worldType;
    static int worldWidthInTiles, worldDepthInTiles;
    static int bonus1Count;
    static float worldRGBA[4];
    static float worldWidth, worldDepth;
    static float terrainLod1DepthSquared, terrainLod2DepthSquared, terrainFarClipDepthSquared;
    static float scaleHeight;  // -scaleY / 655.35
    static _SubtileHeightData* lastSubtileHeightDataPtr;
    static CSubtileModel* lastSubtileModel;

private:
    // The subtile holding integer point (x, z), through the one-entry cache; false when none.
    bool lookupSubtile(int x, int z);
    // Sample at world sample column X, row Z (both >= 0); false outside the world's tiles.
    bool sampleAt(int X, int Z, uint16_t* out) const;

    static const CWorldModel* lastWorld;  // owner of the cached subtile
};
