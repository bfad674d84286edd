#include "engine/hal/geometry.h"

#include <cmath>
#include <cstring>

#include "console/mem/addr.h"
#include "engine/hal/display.h"
#include "engine/hal/dma_tasks.h"
#include "engine/hal/draw_env.h"
#include "engine/hal/engine.h"
#include "engine/hal/geometry_skinned.h"
#include "engine/hal/microcode.h"
#include "engine/hal/prim.h"
#include "engine/hal/texture_manager.h"
#include "engine/hal/view_matrices.h"
#include "engine/sys/files.h"
#include "engine/sys/loaded_files.h"

namespace {

constexpr uint32_t kHeaderBytes = sizeof(_FS_GEO_HEADER);
constexpr uint32_t kBonesAt = kHeaderBytes + 16;

uint8_t* Bytes(_FS_GEO_HEADER* b) {
    return reinterpret_cast<uint8_t*>(b);
}

// The first material record follows the header, or the skeleton when there is one.
uint32_t FirstMaterialOffset(const uint8_t* block) {
    uint16_t type;
    std::memcpy(&type, block, 2);
    if (!(type & kGeoSkeleton)) return kHeaderBytes;
    uint32_t count;
    std::memcpy(&count, block + kHeaderBytes, 4);
    return kBonesAt + 64 * count;
}

uint32_t SlotCount(int32_t numMaterials) {
    return (static_cast<uint32_t>(numMaterials) + 3) & ~3u;
}

const void* g_checked = nullptr;  // the block being checked: its disc file opens every refusal line
FormatCheck g_refusal;            // the reason of the last refusal

bool Refuse(const char* what, uint64_t a = 0, uint64_t b = 0) {
    g_refusal =
        FormatCheck::Fail(what, static_cast<unsigned long long>(a), static_cast<unsigned long long>(b));
    x_printf("%sveEngineCheckGeo: ", x_FileOf(g_checked));
    x_printf(what, static_cast<unsigned long long>(a), static_cast<unsigned long long>(b));
    x_printf("; block refused\n");
    return false;
}

bool TopByteClear(const _FS_SUBPACKETINFO& s) {
    const int32_t w[4] = {s.offsetToNextSubPacket, s.offsetToSubPacketGeometry, s.offsetToExecuteVifCommand,
                          s.pad2};
    for (int32_t v : w)
        if (static_cast<uint32_t>(v) >> 24) return false;
    return true;
}

bool CheckMaterials(const uint8_t* p, size_t length, const _FS_GEO_HEADER& h) {
    uint64_t at = FirstMaterialOffset(p);
    for (int32_t m = 0; m < h.numMaterials; ++m) {
        if (at + sizeof(_FS_GEO_MATERIAL) > length)
            return Refuse("material %llu record at %llu past the end", m, at);
        _FS_GEO_MATERIAL mat;
        std::memcpy(&mat, p + at, sizeof mat);
        const uint64_t data = at + sizeof mat;
        const uint64_t end = data + uint64_t(mat.packetLength) * 16;
        if (end > length)
            return Refuse("material %llu packet of %llu quadwords past the end", m, mat.packetLength);
        if (mat.numPackets > mat.packetLength)
            return Refuse("material %llu claims %llu subpackets", m, mat.numPackets);
        uint64_t sp = data;
        for (uint32_t k = 0; k < mat.numPackets; ++k) {
            if (sp + 16 > end) return Refuse("material %llu subpacket %llu info past its packet", m, k);
            _FS_SUBPACKETINFO s;
            std::memcpy(&s, p + sp, sizeof s);
            if (!TopByteClear(s))
                return Refuse("material %llu subpacket %llu info is not VIF no-operations", m, k);
            const uint64_t next = static_cast<uint32_t>(s.offsetToNextSubPacket);
            if (next == 0 || next % 16 != 0 || sp + 16 + next > end)
                return Refuse("material %llu subpacket %llu length %llu does not fit its packet", m, next);
            if (s.offsetToSubPacketGeometry < 16 ||
                static_cast<uint64_t>(s.offsetToSubPacketGeometry) >= next ||
                s.offsetToSubPacketGeometry % 16 != 0)
                return Refuse("material %llu geometry offset %llu outside its subpacket", m,
                              static_cast<uint32_t>(s.offsetToSubPacketGeometry));
            if (static_cast<uint64_t>(s.offsetToExecuteVifCommand) + 4 > next ||
                s.offsetToExecuteVifCommand % 4 != 0)
                return Refuse("material %llu execute offset %llu outside its subpacket", m,
                              static_cast<uint32_t>(s.offsetToExecuteVifCommand));
            sp += 16 + next;
        }
        at = end;
    }
    if (h.materialOffset < at)
        return Refuse("material table at %llu overlaps the records ending at %llu", h.materialOffset, at);
    return true;
}

bool CheckTable(const uint8_t* p, size_t length, const _FS_GEO_HEADER& h) {
    uint64_t at = uint64_t(h.materialOffset) + 4ull * SlotCount(h.numMaterials);
    if (h.materialOffset % 4 != 0 || at > length)
        return Refuse("material table at %llu past the end", h.materialOffset);
    for (int32_t m = 0; m < h.numMaterials; ++m) {
        if (at % 4 != 0 || at + sizeof(_FS_BITMAP) > length)
            return Refuse("bitmap %llu header at %llu past the end", m, at);
        _FS_BITMAP b;
        std::memcpy(&b, p + at, sizeof b);
        const uint32_t bpp = b.bitsPerPixel;
        if (bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)
            return Refuse("bitmap %llu has %llu bits per pixel", m, bpp);
        if (b.width == 0 || b.height == 0 || b.width > 2048 || b.height > 2048)
            return Refuse("bitmap %llu is %llu pixels wide or high, out of range", m,
                          b.width > b.height ? b.width : b.height);
        if (b.pixdata >= 128) return Refuse("bitmap %llu pixel offset %llu is not an offset", m, b.pixdata);
        // The upload reads whole quadwords of pixels and of palette: that is what must lie inside.
        const uint64_t pixels = at + 64 + b.pixdata;
        const uint64_t pixelBytes = veEngineGeoBitmapPixelBytes(&b);
        uint64_t next = pixels + pixelBytes;
        uint64_t read = pixels + (pixelBytes + 15) / 16 * 16;
        if (b.palettized) {
            if (b.numColors == 0 || b.numColors > 256)
                return Refuse("bitmap %llu has %llu colours", m, b.numColors);
            // Only 4- and 8-bit pixels index a palette (the pixel count above assumes one of them), and
            // the palette is read in 32-bit words.
            if (bpp != 4 && bpp != 8)
                return Refuse("bitmap %llu is palettised at %llu bits per pixel", m, bpp);
            if (next % 4 != 0) return Refuse("bitmap %llu palette at %llu is not 4-byte aligned", m, next);
            const uint64_t palette = next;
            next += 4ull * b.numColors;
            const uint64_t paletteRead = palette + (uint64_t(b.numColors) + 3) / 4 * 16;
            if (paletteRead > read) read = paletteRead;
        }
        if (next > read) read = next;
        if (read > length) return Refuse("bitmap %llu data past the end (%llu bytes)", m, read);
        at = next;
    }
    return true;
}

// Corner k of the box through the local-to-clip matrix, judged against |w|.
int ClipJudgement(const _matrix4& m, const float c[4]) {
    float v[4];
    for (int i = 0; i < 4; ++i) v[i] = c[0] * m.M[i] + c[1] * m.M[4 + i] + c[2] * m.M[8 + i] + m.M[12 + i];
    const float w = std::fabs(v[3]);
    int bits = 0;
    if (v[0] > w) bits |= 0x01;
    if (v[0] < -w) bits |= 0x02;
    if (v[1] > w) bits |= 0x04;
    if (v[1] < -w) bits |= 0x08;
    if (v[2] > w) bits |= 0x10;
    if (v[2] < -w) bits |= 0x20;
    return bits;
}

// One DMA tag at the tag pointer: ID 0 (reference and end) to `qwc` quadwords at `addr`, with two VIF
// words; queued as a task on VIF1. False when the frame's tag buffer is full.
bool QueueRef(const void* addr, uint32_t qwc, uint32_t vif0, uint32_t vif1) {
    if (veEngineDmaTagRoom() < 16) return false;
    uint8_t* tag = veEngineDmaTagPtr;
    const uint64_t t[2] = {uint64_t(qwc) | (uint64_t(PhysAddr(Addr32(addr))) << 32),
                           uint64_t(vif0) | (uint64_t(vif1) << 32)};
    std::memcpy(tag, t, 16);
    veEngineDmaTagPtr += 16;
    veDmaAddDmaTask(tag, 1, 1);
    return true;
}

// The texture and draw environment of material m: context 2 for odd materials, context 1 for even.
void MaterialEnvironment(_FS_GEO_HEADER* block, int m) {
    const uint32_t slot = veEngineGetGeoMaterialTbl(block)[m];
    ve_texture_handle* tex = slot ? veTextureLoadTextureMem(Ptr<_FS_BITMAP>(slot)) : nullptr;
    uint8_t* start = veEngineDmaTagPtr;
    int sent;
    if (m & 1) {
        veSetDrawEnv2Texture(tex);
        sent = veSendDrawEnv2();
    } else {
        veSetDrawEnv1Texture(tex);
        sent = veSendDrawEnv1();
    }
    if (sent != 0) return;
    // The reference tag just written becomes ID 0: the environment and nothing after it.
    uint64_t t;
    std::memcpy(&t, start, 8);
    t &= ~(7ull << 28);
    std::memcpy(start, &t, 8);
    veDmaAddDmaTask(start, 1, 1);
}

}  // namespace

uint64_t veEngineGeoBitmapPixelBytes(const _FS_BITMAP* b) {
    const uint64_t px = uint64_t(b->width) * b->height;
    return b->bitsPerPixel == 4 ? px / 2 : px * (b->bitsPerPixel / 8u);
}

namespace {

// The whole check: false after the refusal's log line, its reason in g_refusal.
bool CheckBlock(const void* block, size_t length) {
    g_checked = block;
    const auto* p = static_cast<const uint8_t*>(block);
    if (!p || length < kHeaderBytes) return Refuse("block of %llu bytes is shorter than its header", length);
    if (reinterpret_cast<uintptr_t>(p) % 16 != 0)
        return Refuse("block at %llu is not 16-byte aligned", Addr32(p));
    _FS_GEO_HEADER h;
    std::memcpy(&h, p, sizeof h);
    if (h.numMaterials < 0 || h.numMaterials > kGeoMaxMaterials)
        return Refuse("material count %llu out of range", static_cast<uint32_t>(h.numMaterials));
    if (h.vertexInfoOffset > length || h.vertexInfoSize > length - h.vertexInfoOffset)
        return Refuse("vertex information at %llu, %llu bytes, past the end", h.vertexInfoOffset,
                      h.vertexInfoSize);
    if (!std::isfinite(h.scaleXYZ)) return Refuse("scale is not a number");
    for (const auto& c : h.bBox.corner)
        for (float v : c)
            if (!std::isfinite(v)) return Refuse("bounding box corner is not a number");
    if (h.geoType & kGeoSkeleton) {
        if (length < kBonesAt) return Refuse("skeleton header past the end");
        uint32_t bones;
        std::memcpy(&bones, p + kHeaderBytes, 4);
        if (bones > kGeoMaxBones) return Refuse("bone count %llu out of range", bones);
        if (kBonesAt + 64ull * bones > length) return Refuse("%llu bones past the end", bones);
    }
    // Skinned blocks keep their material records in the skinning layout, which has its own check.
    if (h.geoType & (kGeoSkinnedVu1 | kGeoSkinnedVu0)) {
        g_refusal = CheckSkinnedGeoImage(block, length);
        if (!g_refusal.ok) return false;
    } else if (!CheckMaterials(p, length, h)) {
        return false;
    }
    return CheckTable(p, length, h);
}

}  // namespace

FormatCheck CheckGeoImage(const void* block, size_t length) {
    return CheckBlock(block, length) ? FormatCheck::Pass() : g_refusal;
}

int veEngineCheckGeo(const void* block, size_t length) {
    return CheckGeoImage(block, length).ok ? 1 : 0;
}

int veEngineLoadGeo(_FS_GEO_HEADER* block, size_t length) {
    if (!veEngineCheckGeo(block, length)) return 0;
    veEngineInitGeo(block);
    return 1;
}

void veEngineInitGeo(_FS_GEO_HEADER* b) {
    b->vertexInfoOffset += Addr32(b);
    uint32_t* slots = veEngineGetGeoMaterialTbl(b);
    uint8_t* next = reinterpret_cast<uint8_t*>(slots + SlotCount(b->numMaterials));
    for (int32_t m = 0; m < b->numMaterials; ++m) {
        auto* bmp = reinterpret_cast<_FS_BITMAP*>(next);
        slots[m] = Addr32(bmp);
        if (bmp->pixdata < 128) bmp->pixdata += Addr32(next + 64);
        const uint32_t px = static_cast<uint32_t>(veEngineGeoBitmapPixelBytes(bmp));
        if (bmp->palettized) {
            bmp->coldata = bmp->pixdata + px;
            next = Ptr<uint8_t>(bmp->coldata + 4 * bmp->numColors);
        } else {
            next = Ptr<uint8_t>(bmp->pixdata + px);
        }
    }
}

void veEngineUninitGeo(_FS_GEO_HEADER* b) {
    b->vertexInfoOffset -= Addr32(b);
    uint8_t* next = reinterpret_cast<uint8_t*>(veEngineGetGeoMaterialTbl(b) + SlotCount(b->numMaterials));
    for (int32_t m = 0; m < b->numMaterials; ++m) {
        auto* bmp = reinterpret_cast<_FS_BITMAP*>(next);
        const uint32_t px = static_cast<uint32_t>(veEngineGeoBitmapPixelBytes(bmp));
        next = bmp->palettized ? Ptr<uint8_t>(bmp->coldata + 4 * bmp->numColors)
                               : Ptr<uint8_t>(bmp->pixdata + px);
        // Preparation moved only offsets below 128 (what the check lets through) by the pixels' start.
        const uint32_t start = Addr32(reinterpret_cast<uint8_t*>(bmp) + 64);
        if (bmp->pixdata >= start && bmp->pixdata - start < 128) bmp->pixdata -= start;
    }
}

uint32_t* veEngineGetGeoMaterialTbl(_FS_GEO_HEADER* b) {
    return reinterpret_cast<uint32_t*>(Bytes(b) + b->materialOffset);
}
int veEngineGetGeoNumMaterials(const _FS_GEO_HEADER* b) {
    return b->numMaterials;
}
_BBOX* veEngineGetGeoBoundingBox(_FS_GEO_HEADER* b) {
    return &b->bBox;
}

int veEngineGetSkeleton(_FS_GEO_HEADER* b, _geo_skeleton* s) {
    if (!(b->geoType & kGeoSkeleton)) return 0;
    std::memcpy(&s->boneCount, Bytes(b) + kHeaderBytes, 4);
    s->bones = reinterpret_cast<_geo_bone*>(Bytes(b) + kBonesAt);
    return 1;
}

void veEngineInitBoneArray(_FS_GEO_HEADER* b) {
    _geo_skeleton s;
    if (veEngineGetSkeleton(b, &s)) {
        const int n = s.boneCount < kGeoMaxBones ? s.boneCount : kGeoMaxBones;
        for (int i = 0; i < n; ++i) {
            _matrix4 bind;
            M4_Identity(&bind);
            M4_SetUniScale(&bind, b->scaleXYZ);
            const _vector3d t = {-s.bones[i].globalPos[0], -s.bones[i].globalPos[1],
                                 -s.bones[i].globalPos[2]};
            M4_SetTranslation(&bind, &t);
            M4_Mult(&veEngineBoneArray[i], &veEngineBoneArray[i], &bind);
        }
    } else if (b->geoType & kGeoFamily16) {
        veMathUniScaleZeroTranslation(veEngineLocalToWorld, &b->scaleXYZ);
        // The matrices sent with this draw must carry the scale.
        veEngineViewBuildFlag = 1;
    }
}

void veEngineDrawGeometry(_FS_GEO_HEADER* b) {
    if (!b) return;
    veEngineInitBoneArray(b);
    veEngineHardwareDrawGeometry(b);
}

int veEngineHardwareBBoxOutsideFrustum(const _BBOX* box) {
    int all = 0x3F, any = 0;
    for (const auto& c : box->corner) {
        const int j = ClipJudgement(*veEngineLocalToClip, c);
        all &= j;
        any |= j;
    }
    return all | (any ? 0x8000 : 0);
}

int veEngineBBoxOutsideFrustum(const _BBOX* box) {
    return veEngineHardwareBBoxOutsideFrustum(box);
}
int veEngineGeoOutsideFrustum(_FS_GEO_HEADER* b) {
    return veEngineHardwareBBoxOutsideFrustum(&b->bBox);
}

void veEngineShowBBox(_FS_GEO_HEADER* b) {
    static constexpr int kEdges[12][2] = {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {4, 5}, {5, 6},
                                          {6, 7}, {7, 4}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};
    for (const auto& e : kEdges) {
        _ve_line l{};
        _ve_vertex* v[2] = {&l.v1, &l.v2};
        for (int k = 0; k < 2; ++k) {
            const float* c = b->bBox.corner[e[k]];
            v[k]->x = c[0];
            v[k]->y = c[1];
            v[k]->z = c[2];
            v[k]->w = 1.0f;
            v[k]->q = 1.0f;
            v[k]->r = v[k]->g = v[k]->b = v[k]->a = 128;
        }
        vePrimDrawLine(&l);
    }
}

void veEngineHardwareDrawGeometry(_FS_GEO_HEADER* b) {
    if (b->geoType & kGeoSkinnedVu0) {
        engineHardwareDrawStripMotionVU0(b);
        return;
    }
    if (b->geoType & kGeoSkinnedVu1) {
        engineHardwareDrawStripMotion(b);
        return;
    }
    veEngineBuildView(veDisplayGetActiveView());
    const uint32_t mode = veDisplayGetMode();
    if (mode & 0x2000000) veEngineShowBBox(b);
    const int r = veEngineGeoOutsideFrustum(b);
    if (r & 0x3F) return;
    if ((mode & 0x1000000) && (r & 0x8000)) return;
    const int cull = (b->geoType & kGeoAlwaysCull) ? 1 : r;
    const bool preLit = b->geoType & kGeoPreLit;
    if (!(b->geoType & kGeoKeepProgram)) {
        if (b->geoType & kGeoFamily16)
            veEngineSetMicroCode(preLit ? 0x800 : 0x2000, cull);
        else if (b->geoType & kGeoFamily32)
            veEngineSetMicroCode(preLit ? 0x1000 : 0x4000, cull);
    }
    if (mode & (0x40000 | 0x1000000 | 0x800000 | 0x400000)) {
        veChainGeo(b);
        return;
    }
    if (veActivateView() != 0) return;
    uint8_t* rec = Bytes(b) + FirstMaterialOffset(Bytes(b));
    for (int32_t m = 0; m < b->numMaterials; ++m) {
        _FS_GEO_MATERIAL* mat = reinterpret_cast<_FS_GEO_MATERIAL*>(rec);
        MaterialEnvironment(b, m);
        QueueRef(rec + 32, mat->packetLength, 0x10000000, 0);
        rec += 32 + 16 * size_t(mat->packetLength);
    }
    if (b->numMaterials & 1) veSyncEnv2();
}

void veChainGeo(_FS_GEO_HEADER* b) {
    const uint32_t mode = veDisplayGetMode();
    const int sent = (mode & (0x100000 | 0x200000 | 0x400000 | 0x800000))
                         ? veEngineHardwareDownLoadNonBonedPreLitMatrices()
                         : veActivateView();
    if (sent != 0) return;
    uint8_t* rec = Bytes(b) + FirstMaterialOffset(Bytes(b));
    for (int32_t m = 0; m < b->numMaterials; ++m) {
        _FS_GEO_MATERIAL* mat = reinterpret_cast<_FS_GEO_MATERIAL*>(rec);
        MaterialEnvironment(b, m);
        uint8_t* sp = rec + 32;
        for (uint32_t k = 0; k < mat->numPackets; ++k) {
            _FS_SUBPACKETINFO info;
            std::memcpy(&info, sp, sizeof info);
            QueueRef(sp + 16, static_cast<uint32_t>(info.offsetToNextSubPacket) / 16, 0, 0);
            sp += 16 + info.offsetToNextSubPacket;
        }
        rec += 32 + 16 * size_t(mat->packetLength);
    }
    if (b->numMaterials & 1) veSyncEnv2();
}

void veEngineGetGeoRGBAScale(_RGBA_GEO* out) {
    std::memcpy(out, &veEngineGeoRGBAScale, 16);
}
void veEngineSetGeoRGBAScale(const _RGBA_GEO* in) {
    std::memcpy(&veEngineGeoRGBAScale, in, 16);
}
void veEngineSetGeoRGBAOverWrite(const _RGBA_GEO* in) {
    std::memcpy(&veEngineGeoRGBAOverWrite, in, 16);
}
void veEngineGetGeoRGBAOverWrite(_RGBA_GEO* out) {
    std::memcpy(out, &veEngineGeoRGBAOverWrite, 16);
}
