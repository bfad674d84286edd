#include "engine/hal/geometry_skinned.h"

#include <cstring>

#include "console/dma/dma.h"
#include "console/kernel/intc.h"
#include "console/mem/addr.h"
#include "console/vif/vif.h"
#include "console/vu/vu_memory.h"
#include "engine/hal/display.h"
#include "engine/hal/dma_tasks.h"
#include "engine/hal/draw_env.h"
#include "engine/hal/engine.h"
#include "engine/hal/lights.h"
#include "engine/hal/microcode.h"
#include "engine/hal/texture_manager.h"
#include "engine/hal/view_matrices.h"
#include "engine/sys/files.h"
#include "engine/sys/loaded_files.h"
#include "engine/vu1/skinned_programs.h"
#include "engine/vu1/vu0_deform.h"

// The engine's internal state (namespace engine) is used here unqualified.
using namespace engine;

namespace {

using engine::vu1::kSkinMaxStripVertices;
using engine::vu1::kSkinNoBone;

constexpr uint32_t kHeaderBytes = sizeof(_FS_GEO_HEADER);
constexpr uint32_t kVifUnpackStrip = 0x6C008006;  // UNPACK V4-32 to TOPS+6 with FLG (NUM added)
constexpr uint32_t kVifUnpackVu0 = 0x6C000030;    // UNPACK V4-32 to VU0 48 (NUM added)
constexpr uint32_t kVifMscnt = 0x17000000;
constexpr uint32_t kVifMscal = 0x14000000;

uint64_t g_groupsDrawn = 0;
bool g_roomLogged = false;

uint8_t* Bytes(_FS_GEO_HEADER* b) {
    return reinterpret_cast<uint8_t*>(b);
}

uint32_t U32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
uint16_t U16(const uint8_t* p) {
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

uint32_t FirstMaterial(const uint8_t* block) {
    if (!(U16(block) & kGeoSkeleton)) return kHeaderBytes;
    return kHeaderBytes + 16 + 64 * U32(block + kHeaderBytes);
}

bool g_quiet = false;  // a block refused again at its next draw is not logged again

const void* g_checked = nullptr;  // the block being checked: its disc file opens every refusal line
FormatCheck g_refusal;            // the reason of the last refusal

bool Refuse(const char* what, uint64_t a = 0, uint64_t b = 0, uint64_t c = 0) {
    g_refusal = FormatCheck::Fail(what, static_cast<unsigned long long>(a),
                                  static_cast<unsigned long long>(b), static_cast<unsigned long long>(c));
    if (g_quiet) return false;
    x_printf("%sveEngineCheckSkinnedGeo: ", x_FileOf(g_checked));
    x_printf(what, static_cast<unsigned long long>(a), static_cast<unsigned long long>(b),
             static_cast<unsigned long long>(c));
    x_printf("; block refused\n");
    return false;
}

bool SlotOk(uint32_t s) {
    return s < 12 || s == kSkinNoBone;
}

// One strip of a subpacket whose data starts at `data`: sizes, unpack code, count, execute command,
// vertex bone slots and, in a VU0 block, the input block.
bool CheckStrip(const uint8_t* data, uint32_t next, uint32_t geo, uint32_t vsize, uint32_t esize, bool vu0,
                uint64_t m) {
    if (vsize < 48 || geo + uint64_t(vsize) + esize > next)
        return Refuse("material %llu strip of %llu bytes does not fit", m, vsize);
    const uint8_t* v = data + geo;
    const uint32_t n = U32(v + 16);
    if (n == 0 || n % 3 != 0 || n > kSkinMaxStripVertices || vsize != 48 + 48 * n)
        return Refuse("material %llu strip of %llu vertices in %llu bytes", m, n, vsize);
    if (U32(v + 12) != (kVifUnpackStrip | ((2 + 3 * n) << 16)))
        return Refuse("material %llu strip unpack code 0x%llx is not the strip's", m, U32(v + 12));
    if (esize != 16 || U32(v + vsize) != kVifMscnt)
        return Refuse("material %llu strip has no execute command", m);
    for (uint32_t i = 0; i < n; ++i) {
        const uint8_t* q = v + 48 + 48 * i;
        if (!SlotOk(U32(q + 24)) || !SlotOk(U32(q + 28)))
            return Refuse("material %llu vertex %llu names bone slot %llu", m, i,
                          SlotOk(U32(q + 24)) ? U32(q + 28) : U32(q + 24));
    }
    if (!vu0) return true;
    const uint32_t at = geo + vsize + esize;
    if (next - at != 32 + 64 * n)
        return Refuse("material %llu VU0 block of %llu bytes for %llu vertices", m, next - at, n);
    const uint8_t* blk = data + at;
    if (U32(blk + 12) != (kVifUnpackVu0 | ((4 * n) << 16)) || U32(blk + 16 + 64 * n) != kVifMscal)
        return Refuse("material %llu VU0 block codes are not the deform program's", m);
    for (uint32_t i = 0; i < n; ++i) {
        const uint8_t* q = blk + 16 + 64 * i;
        if (!SlotOk(U32(q + 56)) || !SlotOk(U32(q + 60)))
            return Refuse("material %llu VU0 vertex %llu names a bad bone slot", m, i);
    }
    return true;
}

// Appends ID 4 tags to one material's chain and ends it; refuses a tag when the frame's buffer is full.
class Chain {
public:
    explicit Chain(uint8_t* start) : start_(start) {}
    bool Ref(const void* addr, uint32_t qwc) {
        if (veEngineDmaTagRoom() < 16) {
            if (!g_roomLogged) x_printf("engineHardwareDrawStripMotion: the frame's DMA tags are used up\n");
            g_roomLogged = true;
            return false;
        }
        last_ = veEngineDmaTagPtr;
        const uint64_t t[2] = {uint64_t(qwc) | (4ull << 28) | (uint64_t(PhysAddr(Addr32(addr))) << 32), 0};
        std::memcpy(last_, t, 16);
        veEngineDmaTagPtr += 16;
        return true;
    }
    // The last tag becomes ID 0 and the chain one task.
    void End() {
        if (!last_) return;
        uint64_t t;
        std::memcpy(&t, last_, 8);
        t &= ~(7ull << 28);
        std::memcpy(last_, &t, 8);
        veDmaAddDmaTask(start_, 1, 1);
        last_ = nullptr;
    }

private:
    uint8_t* start_;
    uint8_t* last_ = nullptr;
};

// The texture and draw environment of material m (context 2 for odd m); returns where its chain starts.
uint8_t* MaterialStart(_FS_GEO_HEADER* b, int m, Chain** unused = nullptr) {
    (void)unused;
    const uint32_t slot = veEngineGetGeoMaterialTbl(b)[m];
    ve_texture_handle* tex = slot ? veTextureLoadTextureMem(Ptr<_FS_BITMAP>(slot)) : nullptr;
    uint8_t* start = veEngineDmaTagPtr;
    if (m & 1) {
        veSetDrawEnv2Texture(tex);
        veSendDrawEnv2();
    } else {
        veSetDrawEnv1Texture(tex);
        veSendDrawEnv1();
    }
    return start;
}

bool TableRoom(uint8_t* const tables[2], const uint8_t* ptr, uint32_t limit, uint32_t bytes) {
    const uint8_t* base = tables[veEngineFrame.load() & 1];
    if (!base || !ptr || ptr < base) return false;
    return static_cast<size_t>(ptr - base) + bytes <= size_t(limit) * bytes;
}

// The 12 bone matrices of a group: the named entries of the bone array, identities after them.
void GroupBones(const uint8_t* data, _matrix4 out[12]) {
    const int nb = U16(data + 2);
    for (int k = 0; k < 12; ++k) {
        const uint16_t idx = k < nb ? U16(data + 4 + 2 * k) : 0xFFFF;
        if (k < nb && idx < kEngineBoneCount)
            out[k] = veEngineBoneArray[idx];
        else
            M4_Identity(&out[k]);
    }
}

// Identity with the cofactors of the local-to-world 3 x 3 in its upper 3 x 3 (rows: the cross products
// of the other two rows), which carries directions into the object's space for the lights.
void NormalMatrix(_matrix4* n) {
    const float* m = veEngineLocalToWorld->M;
    M4_Identity(n);
    for (int r = 0; r < 3; ++r) {
        const float* a = m + 4 * ((r + 1) % 3);
        const float* b = m + 4 * ((r + 2) % 3);
        n->M[4 * r + 0] = a[1] * b[2] - a[2] * b[1];
        n->M[4 * r + 1] = a[2] * b[0] - a[0] * b[2];
        n->M[4 * r + 2] = a[0] * b[1] - a[1] * b[0];
    }
}

// Scratchpad work area after the bone array.
_matrix4* WorkNormalMatrix() {
    return veEngineBoneArray + kEngineBoneCount;
}

const void* g_lastRefused = nullptr;

// Skinned records are checked before every draw (the records end where the material table begins, which
// the block check has found inside the image); a refused block is logged once and never drawn.
bool SkinnedRecordsOk(_FS_GEO_HEADER* b) {
    g_quiet = b == g_lastRefused;
    const int ok = veEngineCheckSkinnedGeo(b, b->materialOffset);
    g_quiet = false;
    g_lastRefused = ok ? nullptr : b;
    return ok;
}

// Frustum test and program selection common to both paths; false when nothing is to be drawn.
bool Prepare(_FS_GEO_HEADER* b, bool vu0, int* rOut) {
    if (!SkinnedRecordsOk(b)) return false;
    veEngineBuildView(veDisplayGetActiveView());
    const uint32_t mode = veDisplayGetMode();
    if (vu0 && (mode & 0x2000000)) veEngineShowBBox(b);
    const int r = veEngineGeoOutsideFrustum(b);
    if (r & 0x3F) return false;
    if ((mode & 0x1000000) && (r & 0x8000)) return false;
    *rOut = r;
    engine::vu1::RegisterEnginePrograms();
    return true;
}

_motionInstanceData* ClipRecord() {
    if (!(veDisplayGetMode() & 0x4000000)) return nullptr;
    if (!TableRoom(veMotionInstanceTable, veMotionInstanceTablePtr, veEngineInstancedMotionLimit,
                   kMotionInstanceBytes))
        return nullptr;
    auto* rec = reinterpret_cast<_motionInstanceData*>(veMotionInstanceTablePtr);
    veMotionInstanceTablePtr += kMotionInstanceBytes;
    std::memcpy(rec->vifCommand0, clipCacheCommand0, 16);
    rec->l2s = *veEngineLocalToClip;
    std::memcpy(&rec->rgbaScale, &veEngineGeoRGBAScale, 16);
    std::memcpy(rec->vifCommand1, clipCacheCommand1, 16);
    return rec;
}

// The view packet of one group into the boned table; null when the table is full.
_ve_vu_view* GroupView(const uint8_t* groupData) {
    if (!TableRoom(veBonedEngineViews, veBonedEngineViewsPtr, veEngineBonedViewMatrixLimit, kVuViewBytes)) {
        if (!g_roomLogged)
            x_printf("engineHardwareDrawStripMotion: the frame's skinned view table is full\n");
        g_roomLogged = true;
        return nullptr;
    }
    auto* v = reinterpret_cast<_ve_vu_view*>(veBonedEngineViewsPtr);
    veBonedEngineViewsPtr += kVuViewBytes;
    std::memcpy(v->vifCommand1, stripVifCommand1, 16);
    v->vuMats[0] = *veEngineLocalToScreen;
    v->vuMats[1] = *veLightGetLightMatrix();
    v->vuMats[2] = *veLightGetColorMatrix();
    GroupBones(groupData, v->vuBones);
    std::memcpy(v->vifCommand2, stripVifCommand2, 16);
    return v;
}

// The whole check: false after the refusal's log line, its reason in g_refusal.
bool CheckSkinned(const void* block, size_t length) {
    g_checked = block;
    const auto* p = static_cast<const uint8_t*>(block);
    if (!p || length < kHeaderBytes) return Refuse("block of %llu bytes is shorter than its header", length);
    _FS_GEO_HEADER h;
    std::memcpy(&h, p, sizeof h);
    const bool vu0 = h.geoType & kGeoSkinnedVu0;
    uint32_t bones = kEngineBoneCount;
    if (h.geoType & kGeoSkeleton) {
        if (length < kHeaderBytes + 16) return Refuse("skeleton header past the end");
        bones = U32(p + kHeaderBytes);
        if (bones == 0 || bones > uint32_t(kEngineBoneCount))
            return Refuse("bone count %llu out of range", bones);
        if (kHeaderBytes + 16 + 64ull * bones > length) return Refuse("%llu bones past the end", bones);
        for (uint32_t i = 0; i < bones; ++i) {
            _geo_bone bone;
            std::memcpy(&bone, p + kHeaderBytes + 16 + 64 * i, sizeof bone);
            if (bone.boneID != i) return Refuse("bone %llu carries id %llu", i, bone.boneID);
            if (i > 0 && bone.parentID >= i)
                return Refuse("bone %llu has parent %llu, not an earlier bone", i, bone.parentID);
            if (bone.mirrorID >= bones)
                return Refuse("bone %llu mirrors bone %llu of %llu", i, bone.mirrorID, bones);
        }
    }
    if (h.numMaterials < 0 || h.numMaterials > kGeoMaxMaterials)
        return Refuse("material count %llu out of range", static_cast<uint32_t>(h.numMaterials));
    uint64_t at = FirstMaterial(p);
    for (int32_t m = 0; m < h.numMaterials; ++m) {
        if (at + 16 > length) return Refuse("material %llu record at %llu past the end", m, at);
        const uint32_t groups = U32(p + at + 8);
        if (groups == 0 || groups > length / 16)
            return Refuse("material %llu has %llu strip groups", m, groups);
        uint64_t sp = at + 16;
        for (uint32_t g = 0; g < groups; ++g) {
            uint32_t count = 1;
            for (uint32_t s = 0; s < count; ++s) {
                if (sp + 16 > length) return Refuse("material %llu group %llu info past the end", m, g);
                const uint32_t next = U32(p + sp), geo = U32(p + sp + 4), vsize = U32(p + sp + 8),
                               esize = U32(p + sp + 12);
                const uint64_t data = sp + 16;
                if (next == 0 || next % 16 || geo % 16 || vsize % 16 || esize % 16 || data + next > length)
                    return Refuse("material %llu group %llu subpacket of %llu bytes does not fit", m, g,
                                  next);
                if (s == 0) {
                    if (next < 4) return Refuse("material %llu group %llu has no header", m, g);
                    count = U16(p + data);
                    const uint32_t nb = U16(p + data + 2);
                    if (count == 0) return Refuse("material %llu group %llu has no subpackets", m, g);
                    if (nb > uint32_t(kSkinGroupBones))
                        return Refuse("material %llu group %llu names %llu bones", m, g, nb);
                    if (geo < 4 + 2 * nb)
                        return Refuse("material %llu group %llu strip overlaps its bone list", m, g);
                    for (uint32_t k = 0; k < nb; ++k) {
                        const uint32_t idx = U16(p + data + 4 + 2 * k);
                        if (idx >= bones)
                            return Refuse("material %llu group %llu bone index %llu out of range", m, g, idx);
                    }
                }
                if (!CheckStrip(p + data, next, geo, vsize, esize, vu0, m)) return false;
                sp = data + next;
            }
        }
        at = sp;
    }
    if (h.materialOffset < at)
        return Refuse("material table at %llu overlaps the records ending at %llu", h.materialOffset, at);
    return true;
}

}  // namespace

FormatCheck CheckSkinnedGeoImage(const void* block, size_t length) {
    return CheckSkinned(block, length) ? FormatCheck::Pass() : g_refusal;
}

int veEngineCheckSkinnedGeo(const void* block, size_t length) {
    return CheckSkinnedGeoImage(block, length).ok ? 1 : 0;
}

void veEngineSetBoneArray(const _matrix4* bones, const _geo_skeleton* skeleton) {
    if (!bones || !skeleton || skeleton->boneCount <= 0) return;
    const int n = skeleton->boneCount < kEngineBoneCount ? skeleton->boneCount : kEngineBoneCount;
    std::memcpy(veEngineBoneArray, bones, sizeof(_matrix4) * size_t(n));
}

uint64_t veEngineSkinnedGroupsDrawn() {
    return g_groupsDrawn;
}

void engineHardwareDrawStripMotion(_FS_GEO_HEADER* b) {
    int r = 0;
    if (!b || !Prepare(b, false, &r)) return;
    _motionInstanceData* clip = ClipRecord();
    veEngineSetMicroCode((b->geoType & kGeoPreLit) ? 0x8800 : 0xA000, r);
    NormalMatrix(WorkNormalMatrix());
    veLightCreateNormalizedLightMatrix(WorkNormalMatrix());
    uint8_t* p = Bytes(b) + FirstMaterial(Bytes(b));
    for (int32_t m = 0; m < b->numMaterials; ++m) {
        const uint32_t groups = U32(p + 8);
        Chain chain(MaterialStart(b, m));
        p += 16;
        bool ok = true;
        for (uint32_t g = 0; g < groups && ok; ++g) {
            const uint32_t count = U16(p + 16);
            for (uint32_t s = 0; s < count && ok; ++s) {
                const uint32_t next = U32(p), geo = U32(p + 4), vsize = U32(p + 8), esize = U32(p + 12);
                uint8_t* data = p + 16;
                if (s == 0) {
                    _ve_vu_view* v = GroupView(data);
                    ok = v && chain.Ref(v, 62);
                    ++g_groupsDrawn;
                }
                ok = ok && chain.Ref(data + geo, vsize / 16);
                if (ok && clip) ok = chain.Ref(clip, 7);
                ok = ok && chain.Ref(data + geo + vsize, esize / 16);
                p = data + next;
            }
        }
        chain.End();
        if (!ok) return;
    }
    if (b->numMaterials & 1) veSyncEnv2();
}

namespace {

// vu0deform16's upload: CNT of one quadword (MPG of the program id), then END.
alignas(16) const uint32_t kVu0DeformChain[12] = {
    1 | (1u << 28), 0, 0, 0, 0x4A010000, engine::vu1::kProgVu0Deform16, 0, 0, (7u << 28), 0, 0, 0,
};

// Quadwords [kVu0ResultsAt, + qwc) of VU0 data memory, read in blocks of 8.
void transferFromVu0Memory(uint32_t qwc, void* out) {
    const console::vu::VuMemory& mem = console::vu::Vu0Memory();
    auto* o = static_cast<uint8_t*>(out);
    for (uint32_t q = 0; q < qwc; q += 8) {
        const uint32_t k = qwc - q < 8 ? qwc - q : 8;
        const uint32_t* src = nullptr;
        if (!mem.Span(engine::vu1::kVu0ResultsAt + q, k, &src)) return;
        std::memcpy(o + 16 * q, src, 16 * k);
    }
}

}  // namespace

void engineHardwareDrawStripMotionVU0(_FS_GEO_HEADER* b) {
    if (!b || !VIF0_DMA) return;
    VIF0_DMA->chcr.TTE = 1;
    int r = 0;
    if (!Prepare(b, true, &r)) return;
    sceDmaSend(VIF0_DMA, kVu0DeformChain);
    veEngineSetMicroCode(0xA000, r);
    NormalMatrix(WorkNormalMatrix());
    veLightCreateNormalizedLightMatrix(WorkNormalMatrix());
    alignas(16) uint8_t results[16 * 3 * kSkinMaxStripVertices];
    uint8_t* p = Bytes(b) + FirstMaterial(Bytes(b));
    for (int32_t m = 0; m < b->numMaterials; ++m) {
        const uint32_t groups = U32(p + 8);
        Chain chain(MaterialStart(b, m));
        p += 16;
        bool ok = true;
        for (uint32_t g = 0; g < groups && ok; ++g) {
            const uint32_t count = U16(p + 16);
            // The group's bones go to VU0 0-47 (50 qw: codes, 48 qw, a quadword of no-operations).
            // A static buffer: the DMA controller reads only console-visible memory.
            alignas(16) static uint8_t bonePacket[50 * 16];
            std::memset(bonePacket, 0, sizeof bonePacket);
            const uint32_t unpack = 0x6C300000;
            std::memcpy(bonePacket + 12, &unpack, 4);
            GroupBones(p + 16, reinterpret_cast<_matrix4*>(bonePacket + 16));
            FlushCache(0);
            sceDmaSendN(VIF0_DMA, bonePacket, 50);
            if (g == 0) {
                // The unskinned part of the view: local-to-screen, light and colour matrices to VU1 0-11.
                if (!TableRoom(veBonedEngineViews, veBonedEngineViewsPtr, veEngineBonedViewMatrixLimit,
                               kVuViewBytes)) {
                    ok = false;
                    break;
                }
                auto* v = reinterpret_cast<_ve_vu_view*>(veBonedEngineViewsPtr);
                veBonedEngineViewsPtr += kVuViewBytes;
                const uint32_t codes[4] = {0x10000000, 0, 0, 0x6C0C0000};
                std::memcpy(v->vifCommand1, codes, 16);
                v->vuMats[0] = *veEngineLocalToScreen;
                v->vuMats[1] = *veLightGetLightMatrix();
                v->vuMats[2] = *veLightGetColorMatrix();
                ok = chain.Ref(v, 13);
            }
            ++g_groupsDrawn;
            for (uint32_t s = 0; s < count && ok; ++s) {
                const uint32_t next = U32(p), geo = U32(p + 4), vsize = U32(p + 8), esize = U32(p + 12);
                uint8_t* data = p + 16;
                uint8_t* block = data + geo + vsize + esize;
                const uint32_t n = ((U32(block + 12) >> 16) & 0xFF) / 4;
                sceDmaSync(VIF0_DMA, 0, 0);
                console::vif::Vif0().IntRegs()[1] = static_cast<int32_t>(n);
                sceDmaSendN(VIF0_DMA, block, static_cast<int>((next - geo - vsize - esize) / 16));
                sceDmaSync(VIF0_DMA, 0, 0);
                if (n > 0 && n <= kSkinMaxStripVertices) {
                    transferFromVu0Memory(3 * n, results);
                    std::memcpy(data + geo + 48, results, size_t(48) * n);
                }
                ok = chain.Ref(data + geo, vsize / 16) && chain.Ref(data + geo + vsize, esize / 16);
                p = data + next;
            }
        }
        chain.End();
        if (!ok) return;
    }
    if (b->numMaterials & 1) veSyncEnv2();
}
