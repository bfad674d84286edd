#include "race/scene/subtile_view.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "console/mem/addr.h"
#include "engine/hal/dma_tasks.h"
#include "engine/hal/draw_env.h"
#include "engine/hal/engine.h"
#include "engine/hal/geometry.h"
#include "engine/hal/geometry_instanced.h"
#include "engine/hal/geometry_terrain.h"
#include "engine/hal/microcode.h"
#include "engine/hal/texture_manager.h"
#include "engine/sys/files.h"
#include "game/core/global_options.h"
#include "game/files/geometry.h"
#include "game/model/model.h"
#include "game/model/object_description.h"
#include "race/scene/world_view.h"
#include "world/subtile_model.h"
#include "world/terrain_low_detail.h"
#include "world/world_model.h"

alignas(16) uint32_t CSubtileViewPS2::gifTagBuffer[3][4];
alignas(16) uint32_t CSubtileViewPS2::mscal[4];
alignas(16) uint32_t CSubtileViewPS2::mscnt[4];
alignas(16) uint32_t CSubtileViewPS2::flusha[4];
CSubtileViewPS2::Counters CSubtileViewPS2::counters;

namespace {

constexpr uint32_t kVifFlushe = 0x10000000u, kVifFlusha = 0x13000000u;
constexpr uint32_t kRowUnpackA = 0x6d0e4027u, kRowUnpackB = 0x6d0e41beu;

uint32_t Bits(float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}

uint32_t Threshold(float squared) {
    return squared <= 0.0f ? 0u : squared >= 4294967295.0f ? 0xFFFFFFFFu : static_cast<uint32_t>(squared);
}

// A DMA chain of references built in the frame's tag area; nothing is queued when the area is full.
class RefChain {
public:
    explicit RefChain(uint32_t tags) : ok_(veEngineDmaTagRoom() >= 16u * tags), start_(veEngineDmaTagPtr) {}
    void ref(const void* p, uint32_t qwc) {
        if (!ok_) return;
        const uint64_t t[2] = {uint64_t(qwc) | (4ull << 28) | (uint64_t(PhysAddr(Addr32(p))) << 32), 0};
        std::memcpy(veEngineDmaTagPtr, t, 16);
        last_ = veEngineDmaTagPtr;
        veEngineDmaTagPtr += 16;
    }
    bool queue() {
        if (!ok_) ++CSubtileViewPS2::counters.chainsDropped;
        if (!ok_ || !last_) return false;
        uint64_t t;
        std::memcpy(&t, last_, 8);
        t &= ~(7ull << 28);  // the last reference ends the chain
        std::memcpy(last_, &t, 8);
        veDmaAddDmaTask(start_, 1, 1);
        return true;
    }

private:
    bool ok_;
    uint8_t* start_;
    uint8_t* last_ = nullptr;
};

void UploadProgram(const _ve_microcode* code) {
    veDmaSendVuMicroCode(code);
    veEngineCurrentMicroCode = nullptr;
    veEngineMicroCodeFlagsValid = 0;
}

// Appends a context's environment and queues it as a task of its own (the reference the send wrote
// becomes the chain's end).
void QueueEnvironment(int context) {
    uint8_t* start = veEngineDmaTagPtr;
    if ((context == 1 ? veSendDrawEnv1() : veSendDrawEnv2()) != 0) return;
    uint64_t t;
    std::memcpy(&t, start, 8);
    t &= ~(7ull << 28);
    std::memcpy(start, &t, 8);
    veDmaAddDmaTask(start, 1, 1);
}

void SetTexture1(CTexture* t) {
    if (!t) return;
    if (ve_texture_handle* h = veTextureLoadTextureMem(&t->fsBitmap)) veSetDrawEnv1Texture(h);
    QueueEnvironment(1);
}

// The parameter block of the terrain programs at the subtile's origin (in grid cells).
void WriteSetup(uint32_t (&q)[20][4], int x0, int z0, uint32_t cells, uint32_t block) {
    std::memset(q, 0, sizeof q);
    const float g = static_cast<float>(CSubtileModel::gridSize), sh = CWorldModel::scaleHeight;
    const uint32_t head[4] = {kVifFlushe, 0, 0, 0x6c040020u};
    std::memcpy(q[0], head, 16);
    const uint32_t q1[4] = {Bits(g), Bits(sh), Bits(g), Bits(256.0f * sh)};
    const uint32_t q2[4] = {Bits(static_cast<float>(x0)), Bits(128.0f), Bits(static_cast<float>(z0)),
                            Bits(1.0f / 56.0f)};
    const uint32_t q3[4] = {0, 0, 0, cells};
    const uint32_t q4[4] = {64, block, 8, static_cast<uint32_t>(-4)};
    std::memcpy(q[1], q1, 16);
    std::memcpy(q[2], q2, 16);
    std::memcpy(q[3], q3, 16);
    std::memcpy(q[4], q4, 16);
}

void PutVert(_TerrainVertStrip& s, int x, uint16_t h, int z) {
    if (s.numVerts >= _TerrainVertStrip::kCapacity) {
        ++CSubtileViewPS2::counters.stripOverflows;
        return;
    }
    s.data[s.numVerts++] = {static_cast<uint8_t>(x), static_cast<uint8_t>(h & 0xFF), static_cast<uint8_t>(z),
                            static_cast<uint8_t>(h >> 8)};
}

void ClearStrip(_TerrainVertStrip& s) {
    std::memset(&s, 0, sizeof s);
}

// Transfer headers: borders the subtile draws from (right, bottom) go to the first buffer, the ones a
// neighbour draws from (top, left) to the second.
void StripHeaders(_TerrainVertStrip& s, bool neighbourSide) {
    const uint32_t v1[4] = {neighbourSide ? kVifFlushe : kVifFlusha, 0, 0,
                            neighbourSide ? 0x6c0101b8u : 0x6c010027u};
    std::memcpy(s.viftag, v1, 16);
    const uint32_t count = (static_cast<uint32_t>(s.numVerts) + 3u) & ~3u;
    const uint32_t v2[4] = {kVifFlushe, 0, 0, (neighbourSide ? 0x6e0041b9u : 0x6e004028u) | (count << 16)};
    std::memcpy(s.viftag2, v2, 16);
}

uint32_t StripQwords(const _TerrainVertStrip& s) {
    return 3 + (static_cast<uint32_t>(s.numVerts) + 3u) / 4u;
}

uint16_t H(const CSubtileModel* m, int c, int r) {
    return m->heightData->rows[r].samples[c];
}

CModelObject* Camera(C3DView* view) {
    CModel* m = CModel::modelPtr;
    if (!m || view->_cameraID < 0 || static_cast<size_t>(view->_cameraID) >= m->objects.size())
        return nullptr;
    return m->objects[static_cast<size_t>(view->_cameraID)];
}

}  // namespace

// ---- Level of detail and clipping ------------------------------------------------------------------

CSubtileView::CSubtileView(CSubtileModel* model) : subtileModel(model), drawTerrain(0) {}

void CSubtileView::calculateLodDepthClip(C3DView* view, CModelObject* model) {
    CBoundingBox* box = model ? model->getBounds() : nullptr;
    if (!box || !box->bboxValid || !box->b) return;
    const uint32_t lod1 = Threshold(CWorldModel::terrainLod1DepthSquared);
    const uint32_t far = Threshold(CWorldModel::terrainFarClipDepthSquared);
    CModelObject* camera = Camera(view);
    const qzVector3d eye = camera ? camera->position : qzVector3d();
    const float dx = eye.x - box->centerPoint.x, dy = eye.y - box->centerPoint.y,
                dz = eye.z - box->centerPoint.z;
    const double scaled = (double(dx) * dx + double(dy) * dy + double(dz) * dz) / 10000.0;
    depth = scaled < 4294967295.0 ? static_cast<uint32_t>(scaled) : 0xFFFFFFFFu;
    if (depth > far) {
        if (!(gameOptions.gameOptions & 0x1000000)) {
            LOD = -1;
            drawWithClipping = CLIP_OFFSCREEN;
            drawTerrain = 0;
            return;
        }
        LOD = 2;
    } else {
        LOD = depth > lod1 ? 2 : 0;
    }
    const int r = veEngineBBoxOutsideFrustum(box->b);
    if (r & 0x3F) {
        LOD = -1;
        drawWithClipping = CLIP_OFFSCREEN;
        depth = far + 100;
        drawTerrain = 0;
        return;
    }
    if (r == 0) {
        drawWithClipping = CLIP_NONE;
        drawTerrain = 1;
        return;
    }
    drawWithClipping = CLIP_TRICULL;
    CBoundingBox& t = subtileModel->terrainBBox;
    if (t.bboxValid && t.b) drawTerrain = (veEngineBBoxOutsideFrustum(t.b) & 0x3F) ? 0 : 1;
}

void CSubtileView::calculateDrawWithClipping(C3DView*, CModelObject* model) {
    CBoundingBox* box = model ? model->getBounds() : nullptr;
    if (LOD == -1 || !drawTerrain || !box || !box->bboxValid || !box->b) return;
    const int r = veEngineBBoxOutsideFrustum(box->b);
    drawWithClipping = (r & 0x3F) ? CLIP_OFFSCREEN : r == 0 ? CLIP_NONE : CLIP_TRICULL;
}

// ---- Terrain ----------------------------------------------------------------------------------------

CSubtileViewPS2::CSubtileViewPS2(CSubtileModel* model, void* lowDetail, void* lod2_)
    : CSubtileView(model),
      rightEdgeId(-1),
      bottomEdgeId(-1),
      lod1(static_cast<_FS_GEO_HEADER*>(lowDetail)),
      lod2(static_cast<_FS_GEO_HEADER*>(lod2_)) {
    for (_TerrainVertStrip* s :
         {&rightEdgeStripLOD0, &leftEdgeStripLOD0, &topEdgeStripLOD0, &bottomEdgeStripLOD0,
          &rightEdgeStripLOD1, &leftEdgeStripLOD1, &topEdgeStripLOD1, &bottomEdgeStripLOD1})
        ClearStrip(*s);
    std::memset(rightEdgeSetup, 0, sizeof rightEdgeSetup);
    std::memset(bottomEdgeSetup, 0, sizeof bottomEdgeSetup);
    setupSubtileSetup();
    setupSubtileStripGifTag();
    setDummyBuffer();
}

void CSubtileViewPS2::calculateLodDepthClip(C3DView* view, CModelObject* model) {
    CSubtileView::calculateLodDepthClip(view, model);
    if (LOD > 0 && (!lod1 || lowdetail::PacketCount(lod1) == 0)) LOD = 0;
}

void CSubtileViewPS2::setupSubtileSetup() {
    CSubtileModel* m = subtileModel;
    WriteSetup(subtileSetup, 56 * m->subX + 224 * m->tx, 56 * m->subZ + 224 * m->tz, 0, 0);
    // Each row is sent from the file as it stands: its reserved bytes become its transfer header.
    for (int r = 0; r < kRows; ++r) {
        const uint32_t head[4] = {kVifFlushe, 0, 0, (r & 1) ? kRowUnpackB : kRowUnpackA};
        std::memcpy(m->heightData->rows[r].reserved, head, 16);
    }
}

void CSubtileViewPS2::setupSubtileStripGifTag() {
    const uint32_t head[4] = {kVifFlushe, 0, 0, 0x6c020024u};
    std::memcpy(gifTagBuffer[0], head, 16);
    // Textured Gouraud triangles, packed ST, RGBAQ, XYZ2; the detail pass blends in context 2.
    for (int k = 0; k < 2; ++k) {
        const uint64_t prim = k == 0 ? 0x1Bu : 0x1Bu | 0x40u | 0x200u;
        const uint64_t t[2] = {112u | (1ull << 15) | (1ull << 46) | (prim << 47) | (3ull << 60), 0x512};
        std::memcpy(gifTagBuffer[1 + k], t, 16);
    }
}

void CSubtileViewPS2::setDummyBuffer() {
    const uint32_t call[4] = {0x14000001u, 0, 0, 0};
    const uint32_t cont[4] = {0x17000000u, 0, 0, 0};
    const uint32_t wait[4] = {kVifFlusha, 0, 0, 0};
    std::memcpy(mscal, call, 16);
    std::memcpy(mscnt, cont, 16);
    std::memcpy(flusha, wait, 16);
}

void CSubtileViewPS2::setupTerrainPalettes() {
    // Colours 0-15 of the terrain bitmap take the detail bitmap's. Our palettes are stored in plain
    // index order (the texture manager reorders them for the GS when it uploads). A picture that paints
    // with any of those colours keeps its own: replacing them would recolour the ground.
    CTexture* t = subtileModel->terrainBitmap.get();
    CTexture* d = CSubtileModel::detailBitmap;
    if (!t || !d || !t->fsBitmap.palettized || !d->fsBitmap.palettized || t->fsBitmap.numColors < 16 ||
        d->fsBitmap.numColors < 16 || !t->fsBitmap.coldata || !d->fsBitmap.coldata)
        return;
    if (t->fsBitmap.bitsPerPixel != 8) return;
    const uint8_t* px = t->fsBitmap.Pixels();
    for (uint32_t i = 0; i < t->fsBitmap.width * t->fsBitmap.height; ++i)
        if (px[i] < 16) return;
    std::memcpy(t->fsBitmap.Palette(), d->fsBitmap.Palette(), 64);
}

void CSubtileViewPS2::render(C3DView*) {
    if (LOD == -1) return;
    CSubtileModel* m = subtileModel;
    if (LOD == 0) {
        if (CTexture* d = CSubtileModel::detailBitmap) {
            if (ve_texture_handle* h = veTextureLoadTextureMem(&d->fsBitmap)) veSetDrawEnv2Texture(h);
            veSetTextureEnv2Wrap(0);
            veSetAlphaEnv2(1, -1);
            QueueEnvironment(2);
        }
        SetTexture1(m->terrainBitmap.get());
        veSetDefaultTestEnv2(1, 6, 8, 0, 0, 0, 1, 2);
        UploadProgram(&vu1TerrainLod0ClipNew);
        RefChain chain(2 + 2 * kRows + 2);
        chain.ref(gifTagBuffer, 3);
        chain.ref(subtileSetup, 5);
        chain.ref(&m->heightData->rows[0], 8);
        chain.ref(mscal, 1);
        for (int r = 1; r < kRows; ++r) {
            chain.ref(&m->heightData->rows[r], 8);
            chain.ref(mscnt, 1);
        }
        if (chain.queue()) {
            counters.rowsSent += kRows;
            counters.continues += kRows - 1;
        }
        return;
    }
    // Levels 1 and 2 draw the low-detail mesh alike.
    if (!lod1) return;
    SetTexture1(m->terrainBitmap.get());
    UploadProgram(drawWithClipping == CLIP_NONE ? &vu1TerrainLod1New : &vu1TerrainLod1Clip);
    // The strip tags go with the set-up block: the low-detail program reads them from the tag block, and
    // a frame whose first terrain is at level 1 or 2 has had no other chain put them there.
    RefChain chain(2);
    chain.ref(gifTagBuffer, 3);
    chain.ref(subtileSetup, 5);
    if (!chain.queue()) return;
    if (veEngineDrawTerrain(lod1) == 0)
        ++counters.lowDetailDraws;
    else
        ++counters.chainsDropped;
}

// ---- Seams ---------------------------------------------------------------------------------------------

int CSubtileViewPS2::compareX(const void* a, const void* b) {
    const int x = static_cast<const _TerrainVertData*>(a)->x, y = static_cast<const _TerrainVertData*>(b)->x;
    return x < y ? -1 : x > y ? 1 : 0;
}

int CSubtileViewPS2::compareZ(const void* a, const void* b) {
    const int x = static_cast<const _TerrainVertData*>(a)->z, y = static_cast<const _TerrainVertData*>(b)->z;
    return x < y ? -1 : x > y ? 1 : 0;
}

void CSubtileViewPS2::setupEdgeStrips(CWorldView* world) {
    const int id = subtileModel->id, tx = subtileModel->tx, tz = subtileModel->tz;
    const int W = CWorldModel::worldWidthInTiles, D = CWorldModel::worldDepthInTiles;
    const int n = static_cast<int>(world->stvList.size());
    auto valid = [&](int k) { return k >= 0 && k < n ? k : -1; };
    if ((id % 16) + 4 < 16)
        bottomEdgeId = valid(id + 4);
    else
        bottomEdgeId = tx < W && tz + 1 < D ? valid(16 * ((tz + 1) * W + tx) + (id % 16) - 12) : -1;
    if (id % 4 != 3)
        rightEdgeId = valid(id + 1);
    else
        rightEdgeId = tx + 1 < W && tz < D ? valid(16 * (tz * W + tx + 1) + (id % 16) - 3) : -1;
    setupEdgeStripsLOD0(world);
    setupEdgeStripsLOD1(world);
}

void CSubtileViewPS2::setupEdgeStripsLOD0(CWorldView* world) {
    const CSubtileModel* m = subtileModel;
    const CSubtileModel* right = rightEdgeId >= 0 ? world->stvList[rightEdgeId]->subtileModel : nullptr;
    for (_TerrainVertStrip* s :
         {&topEdgeStripLOD0, &bottomEdgeStripLOD0, &leftEdgeStripLOD0, &rightEdgeStripLOD0})
        ClearStrip(*s);
    for (int c = 0; c < 56; ++c) {
        PutVert(topEdgeStripLOD0, c, H(m, c, 0), 56);
        PutVert(bottomEdgeStripLOD0, c, H(m, c, 55), 55);
    }
    if (right) {
        PutVert(topEdgeStripLOD0, 56, H(right, 0, 0), 56);
        PutVert(bottomEdgeStripLOD0, 56, H(right, 0, 55), 55);
    }
    for (int r = 0; r < 56; ++r) {
        PutVert(leftEdgeStripLOD0, 56, H(m, 0, r), r);
        PutVert(rightEdgeStripLOD0, 55, H(m, 55, r), r);
    }
    StripHeaders(topEdgeStripLOD0, true);
    StripHeaders(leftEdgeStripLOD0, true);
    StripHeaders(bottomEdgeStripLOD0, false);
    StripHeaders(rightEdgeStripLOD0, false);
}

void CSubtileViewPS2::setupEdgeStripsLOD1(CWorldView* world) {
    _TerrainVertStrip& top = topEdgeStripLOD1;
    _TerrainVertStrip& bottom = bottomEdgeStripLOD1;
    _TerrainVertStrip& left = leftEdgeStripLOD1;
    _TerrainVertStrip& right = rightEdgeStripLOD1;
    for (_TerrainVertStrip* s : {&top, &bottom, &left, &right}) ClearStrip(*s);
    if (!lod1 || lowdetail::PacketCount(lod1) == 0) return;  // no low-detail mesh: drawn at full detail only
    const int id = subtileModel->id;
    // Borders of the low-detail mesh, each vertex once per strip (a corner joins two strips).
    auto has = [](const _TerrainVertStrip& s, bool byX, int key) {
        for (int i = 0; i < s.numVerts; ++i)
            if ((byX ? s.data[i].x : s.data[i].z) == key) return true;
        return false;
    };
    const uint32_t overflowsBefore = counters.stripOverflows;
    lowdetail::ForEachVertex(lod1, [&](int x, int z, uint16_t h) {
        if (z == 0 && !has(top, true, x)) PutVert(top, x, h, z);
        if (z == 55 && !has(bottom, true, x)) PutVert(bottom, x, h, z);
        if (x == 0 && !has(left, false, z)) PutVert(left, x, h, z);
        if (x == 55 && !has(right, false, z)) PutVert(right, x, h, z);
    });
    if (counters.stripOverflows != overflowsBefore)
        x_printf("id=%d Error Too Many Verts # of verts(%d)\n", id, _TerrainVertStrip::kCapacity);
    const CSubtileModel* rm = rightEdgeId >= 0 ? world->stvList[rightEdgeId]->subtileModel : nullptr;
    if (rm) {
        PutVert(top, 56, H(rm, 0, 0), 0);
        PutVert(bottom, 56, H(rm, 0, 55), 55);
    }
    std::qsort(top.data, static_cast<size_t>(top.numVerts), sizeof(_TerrainVertData), compareX);
    std::qsort(bottom.data, static_cast<size_t>(bottom.numVerts), sizeof(_TerrainVertData), compareX);
    std::qsort(left.data, static_cast<size_t>(left.numVerts), sizeof(_TerrainVertData), compareZ);
    std::qsort(right.data, static_cast<size_t>(right.numVerts), sizeof(_TerrainVertData), compareZ);
    const int maxTop = rm ? 57 : 56;
    const _TerrainVertStrip* strips[4] = {&top, &bottom, &left, &right};
    for (int k = 0; k < 4; ++k)
        if (strips[k]->numVerts < 2 || strips[k]->numVerts > (k < 2 ? maxTop : 56))
            x_printf("ERROR -- bad # of verts %d\n", strips[k]->numVerts);
    for (int i = 0; i < top.numVerts; ++i) top.data[i].z = static_cast<uint8_t>(top.data[i].z + 56);
    for (int i = 0; i < left.numVerts; ++i) left.data[i].x = static_cast<uint8_t>(left.data[i].x + 56);
    const int endX = rm ? 56 : 55;
    if (top.numVerts > 0 && top.data[top.numVerts - 1].x != endX) {
        x_printf("ERROR -- bad x position on top %d\n", top.data[top.numVerts - 1].x);
        top.data[top.numVerts - 1].x = static_cast<uint8_t>(endX);
    }
    if (bottom.numVerts > 0 && bottom.data[bottom.numVerts - 1].x != endX) {
        x_printf("ERROR -- bad x position on bottom %d\n", bottom.data[bottom.numVerts - 1].x);
        bottom.data[bottom.numVerts - 1].x = static_cast<uint8_t>(endX);
    }
    if (left.numVerts > 0 && left.data[left.numVerts - 1].z != 55) {
        x_printf("ERROR -- bad z position on left %d\n", left.data[left.numVerts - 1].z);
        left.data[left.numVerts - 1].z = 55;
    }
    if (right.numVerts > 0 && right.data[right.numVerts - 1].z != 55) {
        x_printf("ERROR -- bad z position on right %d\n", right.data[right.numVerts - 1].z);
        right.data[right.numVerts - 1].z = 55;
    }
    StripHeaders(top, true);
    StripHeaders(left, true);
    StripHeaders(bottom, false);
    StripHeaders(right, false);
}

void CSubtileViewPS2::setupEdgeSetup(CWorldView*) {
    const CSubtileModel* m = subtileModel;
    const int x0 = 56 * m->subX + 224 * m->tx, z0 = 56 * m->subZ + 224 * m->tz;
    WriteSetup(rightEdgeSetup, x0, z0, 55, 0);
    WriteSetup(bottomEdgeSetup, x0, z0, rightEdgeId >= 0 ? 56 : 55, 1);
}

void CSubtileViewPS2::renderStitching(C3DView*, CWorldView* world) {
    if (LOD == -1) return;
    UploadProgram(LOD == 0                        ? &vu1TerrainStitchingMultiTexture
                  : drawWithClipping == CLIP_NONE ? &vu1TerrainStitching0
                                                  : &vu1TerrainStitchingCull);
    auto band = [&](int other, uint32_t(&setup)[20][4], _TerrainVertStrip& own0, _TerrainVertStrip& own1,
                    bool lower) {
        if (other < 0) return;
        CSubtileViewPS2* n = world->stvList[static_cast<size_t>(other)].get();
        if (n->LOD == -1) return;
        _TerrainVertStrip& mine = LOD == 0 ? own0 : own1;
        _TerrainVertStrip& theirs = lower ? (n->LOD == 0 ? n->topEdgeStripLOD0 : n->topEdgeStripLOD1)
                                          : (n->LOD == 0 ? n->leftEdgeStripLOD0 : n->leftEdgeStripLOD1);
        if (mine.numVerts < 1 || theirs.numVerts < 1) return;
        RefChain chain(6);
        chain.ref(gifTagBuffer, 3);
        chain.ref(setup, 5);
        chain.ref(&mine, StripQwords(mine));
        chain.ref(&theirs, StripQwords(theirs));
        chain.ref(mscal, 1);
        chain.ref(flusha, 1);
        if (chain.queue()) ++counters.bands;
    };
    band(bottomEdgeId, bottomEdgeSetup, bottomEdgeStripLOD0, bottomEdgeStripLOD1, true);
    band(rightEdgeId, rightEdgeSetup, rightEdgeStripLOD0, rightEdgeStripLOD1, false);
}

// ---- Scenery -------------------------------------------------------------------------------------------

namespace {

struct Batch {
    alignas(16) _matrix4 m[CSubtileViewPS2::kBatch];
    _RGBA_GEO c[CSubtileViewPS2::kBatch];
    int n = 0;
};
Batch g_batch;

}  // namespace

void CSubtileViewPS2::renderObjects(CWorldView* world, std::vector<int>*, C3DView* view) {
    veEngineSetFrustumXY(640, 2047);
    veDisplayActivateView(&view->_view3d);
    CModelObject* camera = Camera(view);
    for (int pass = 0; pass < 2; ++pass) {
        const int ref = pass == 0 ? 100 : 8;
        veSetDefaultTestEnv1(1, 6, ref, 0, 0, 0, 1, 2);
        veSetDefaultTestEnv2(1, 6, ref, 0, 0, 0, 1, 2);
        veSetDefaultMinMagFilter1(1, 1);
        veSetDefaultMinMagFilter2(1, 1);
        for (int i = 0; i < CSubtileModel::numObjects; ++i)
            buildObjectList(world, i, world->visibleCount, view, camera, pass);
    }
}

void CSubtileViewPS2::buildObjectList(CWorldView* world, int i, int count, C3DView* view,
                                      CModelObject* camera, int pass) {
    CObjectDescription* d =
        CResourceStorage<CObjectDescription>::instance().get(i + CSubtileModel::firstObjectId);
    if (!d || !camera) return;
    const int kind = d->typeInfo ? d->typeInfo->objType : 0;
    const bool nearBand = kind == 27 || kind == 28;
    float F = static_cast<float>(objectFarClipDepthSquared);
    if (gameOptions.gameOptions & 0x1000000) F += 1000000.0f;
    const bool single = d->numUniqueGeometry == 1;
    const qzVector3d eye = camera->position;
    for (int k = 0; k < count; ++k) {
        CSubtileViewPS2* sv = world->visibleViews[k];
        CSubtileModel* m = sv->subtileModel;
        if (static_cast<size_t>(i) >= m->objectList.size() || !m->objectList[static_cast<size_t>(i)])
            continue;
        _Placement* rec = m->objectList[static_cast<size_t>(i)];
        uint32_t n = 0;
        std::memcpy(&n, reinterpret_cast<uint8_t*>(rec) - 16, 4);
        for (int L = 2; L >= (single ? 2 : 0); --L) {
            g_batch.n = 0;
            for (uint32_t r = 0; r < n; ++r) {
                const _Placement& p = rec[r];
                const float dx = p.x - eye.x, dy = p.y - eye.y, dz = p.z - eye.z;
                const float dd = (dx * dx + dy * dy + dz * dz) / 10000.0f;
                int level = -1;
                float alpha = 128.0f;
                if (!instanceLook(dd, nearBand, single, pass, &level, &alpha)) continue;
                if (level != L) continue;
                const _quaternion q{p.qw, {p.qx, p.qy, p.qz}};
                Q_SetupMatrix(&q, &g_batch.m[g_batch.n]);
                const _vector3d t{p.x, p.y, p.z};
                M4_SetTranslation(&g_batch.m[g_batch.n], &t);
                const float shade = 40.0f * dd / F;  // darker with distance
                g_batch.c[g_batch.n] = {CWorldModel::worldRGBA[0] - shade, CWorldModel::worldRGBA[1] - shade,
                                        CWorldModel::worldRGBA[2] - shade, alpha};
                if (++g_batch.n == kBatch) {
                    renderObjectList(world, i, kBatch, L, view, pass);
                    g_batch.n = 0;
                }
            }
            if (g_batch.n) renderObjectList(world, i, g_batch.n, L, view, pass);
        }
    }
}

bool CSubtileViewPS2::instanceLook(float d, bool nearBand, bool single, int pass, int* level, float* alpha) {
    const float L1 = static_cast<float>(objectLod1DepthSquared),
                L2 = static_cast<float>(objectLod2DepthSquared);
    float F = static_cast<float>(objectFarClipDepthSquared);
    if (gameOptions.gameOptions & 0x1000000) F += 1000000.0f;
    const float N = nearBand ? L1 - 3600.0f : L1, E = F - 8100.0f;
    *level = -1;
    *alpha = 128.0f;
    if (d > F) return false;
    if (single) {  // one geometry: drawn in both passes, fading out beyond E
        *level = 2;
        if (d > E) *alpha = 128.0f - 128.0f * (d - E) / (F - E);
        return true;
    }
    if (d >= F) return false;
    if (d < N) {
        if (pass == 0) *level = 0;
    } else if (d < L1) {  // the near band of kinds 27 and 28: levels 0 and 1 cross-fade
        const float h = (L1 - N) / 2, e = d - N;
        if (pass == 0) {
            *level = e > h ? 1 : 0;
        } else if (e > h) {
            *level = 0;
            *alpha = 128.0f - 128.0f * (e - h) / h;
        } else if (e < h) {
            *level = 1;
            *alpha = 128.0f * e / h;
        }
    } else if (d < L2) {
        if (pass == 0) *level = 1;
    } else if (d < E) {
        if (pass == 0) *level = 2;
    } else if (pass == 1) {
        *level = 2;
        *alpha = 128.0f - 128.0f * (d - E) / (F - E);
    }
    return *level >= 0;
}

void CSubtileViewPS2::renderObjectList(CWorldView*, int i, int count, int level, C3DView*, int) {
    CObjectDescription* d =
        CResourceStorage<CObjectDescription>::instance().get(i + CSubtileModel::firstObjectId);
    if (!d || level < 0 || static_cast<size_t>(level) >= d->geometryIdList.size()) return;
    CGeometry* g = CResourceStorage<CGeometry>::instance().get(d->geometryIdList[static_cast<size_t>(level)]);
    if (!g || !g->geo) return;
    veDisplaySetMode(0x40000);
    veEngineSetUniScaleInstanceGeo(g->geo, g_batch.m, count);
    veEngineDrawInstanceGeometry(g->geo, g_batch.m, g_batch.c, count);
    counters.instances += static_cast<uint32_t>(count);
}
