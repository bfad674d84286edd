// The view side of one subtile: its level of detail and clipping for the frame (CSubtileView), and the
// terrain renderer (CSubtileViewPS2) that streams its height rows to the vector unit's terrain programs,
// draws its low-detail mesh at the far levels, stitches its right and lower seams to its neighbours and
// draws the scenery placed on it as instanced batches.
#pragma once

#include <cstdint>
#include <vector>

#include "game/view/view_object_3d.h"

class CSubtileModel;
class CWorldView;
class CModelObject;
struct _FS_GEO_HEADER;

// One border vertex in grid cells of the subtile that draws the band; the height sample is split into
// its low and high byte.
struct _TerrainVertData {
    uint8_t x;
    uint8_t yLow;
    uint8_t z;
    uint8_t yHi;
};
static_assert(sizeof(_TerrainVertData) == 4);

struct alignas(16) _TerrainVertStrip {
    static constexpr int kCapacity = 60;
    uint32_t viftag[4];
    int32_t numVerts;
    int32_t pad1, pad2, pad3;
    uint32_t viftag2[4];
    _TerrainVertData data[kCapacity];
};
static_assert(sizeof(_TerrainVertStrip) == 288);

class CSubtileView : public C3DViewObject {
public:
    explicit CSubtileView(CSubtileModel* model);
    ~CSubtileView() override = default;

    // Depth, level of detail and clipping of the frame from the camera's distance to the subtile's tall
    // box and the frustum test of its tall box, then of its terrain box.
    void calculateLodDepthClip(C3DView* view, CModelObject* model) override;
    // Refines the clipping once the drawing matrices are set.
    void calculateDrawWithClipping(C3DView* view, CModelObject* model);

    std::vector<C3DViewObject*> viewableObjects;
    CSubtileModel* subtileModel;
    int drawTerrain;
};

class CSubtileViewPS2 : public CSubtileView {
public:
    static constexpr int kRows = 56;
    static constexpr int kBatch = 27;  // instances per scenery batch

    CSubtileViewPS2(CSubtileModel* model, void* lod1, void* lod2);
    ~CSubtileViewPS2() override = default;

    void render(C3DView* view) override;
    // As the base, but a subtile without a low-detail mesh is drawn at full detail at every distance.
    void calculateLodDepthClip(C3DView* view, CModelObject* model) override;

    void setupSubtileSetup();
    static void setupSubtileStripGifTag();
    static void setDummyBuffer();
    void setupTerrainPalettes();

    // Seams (built once after every subtile exists).
    void setupEdgeStrips(CWorldView* world);
    void setupEdgeStripsLOD0(CWorldView* world);
    void setupEdgeStripsLOD1(CWorldView* world);
    void setupEdgeSetup(CWorldView* world);
    void renderStitching(C3DView* view, CWorldView* world);
    static int compareX(const void* a, const void* b);
    static int compareZ(const void* a, const void* b);

    // Scenery on the visible subtiles: two alpha-tested passes over every description.
    static void renderObjects(CWorldView* world, std::vector<int>* visible, C3DView* view);
    static void buildObjectList(CWorldView* world, int description, int count, C3DView* view,
                                CModelObject* camera, int pass);
    // The level of detail and alpha (128 opaque) an instance at depth `d` is drawn with in `pass`; false
    // when it is not drawn in that pass. Kinds 27 and 28 (`nearBand`) cross-fade levels 0 and 1 before the
    // first threshold; a description with one geometry draws at its far level in both passes.
    static bool instanceLook(float d, bool nearBand, bool single, int pass, int* level, float* alpha);
    static void renderObjectList(CWorldView* world, int description, int count, int level, C3DView* view,
                                 int pass);

    alignas(16) uint32_t subtileSetup[20][4];
    alignas(16) uint32_t rightEdgeSetup[20][4];
    alignas(16) uint32_t bottomEdgeSetup[20][4];
    _TerrainVertStrip rightEdgeStripLOD0, leftEdgeStripLOD0, topEdgeStripLOD0, bottomEdgeStripLOD0;
    _TerrainVertStrip rightEdgeStripLOD1, leftEdgeStripLOD1, topEdgeStripLOD1, bottomEdgeStripLOD1;
    int rightEdgeId;
    int bottomEdgeId;
    _FS_GEO_HEADER* lod1;
    _FS_GEO_HEADER* lod2;

    // Shared command packets: strip tags, start, continue and wait.
    alignas(16) static uint32_t gifTagBuffer[3][4];
    alignas(16) static uint32_t mscal[4];
    alignas(16) static uint32_t mscnt[4];
    alignas(16) static uint32_t flusha[4];

    // What the last frames sent (tests and benchmarks read them).
    struct Counters {
        uint32_t rowsSent = 0;        // full-detail height rows referenced
        uint32_t continues = 0;       // continue commands referenced
        uint32_t lowDetailDraws = 0;  // low-detail meshes drawn
        uint32_t bands = 0;           // stitching bands drawn
        uint32_t instances = 0;       // scenery instances drawn
        uint32_t stripOverflows = 0;  // border vertices refused at a strip's capacity
        uint32_t chainsDropped = 0;   // chains not queued: the frame's DMA tag area was full
    };
    static Counters counters;
};
