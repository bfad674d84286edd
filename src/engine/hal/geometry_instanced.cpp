#include "engine/hal/geometry_instanced.h"

#include <cstring>

#include "console/mem/addr.h"
#include "engine/hal/display.h"
#include "engine/hal/dma_tasks.h"
#include "engine/hal/draw_env.h"
#include "engine/hal/engine.h"
#include "engine/hal/microcode.h"
#include "engine/hal/texture_manager.h"
#include "engine/hal/view_matrices.h"
#include "engine/sys/files.h"
#include "engine/vu1/skinned_programs.h"

static_assert(sizeof(_matrixInfoTable) <= kMatrixInfoBytes);

namespace {

constexpr uint32_t kInstanceArea = 0x20A;

bool g_logged = false;

uint32_t U32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
void Put32(uint8_t* p, uint32_t v) {
    std::memcpy(p, &v, 4);
}

// Moves a subpacket's unpacks to the instancing area and clears its program call (once).
void PatchSubpacket(uint8_t* data, const _FS_SUBPACKETINFO& info) {
    const uint32_t first = U32(data + 12);
    if (first & 0x8000) Put32(data + 12, (first & 0xFFFF0000u) | kInstanceArea);
    uint8_t* geo = data + info.offsetToSubPacketGeometry - 4;
    const uint32_t g = U32(geo);
    if (g & 0x8000) Put32(geo, (g & 0xFFFF0000u) | ((g & 0x7FFF) + kInstanceArea));
    // Written only the first time: the same data may still be on its way to VIF1 from the last frame.
    if (U32(data + info.offsetToExecuteVifCommand) != 0) Put32(data + info.offsetToExecuteVifCommand, 0);
}

bool Tag(uint8_t** last, uint32_t id, const void* addr, uint32_t qwc) {
    if (veEngineDmaTagRoom() < 16) {
        if (!g_logged) x_printf("veEngineHardwareDrawInstancedGeo: the frame's DMA tags are used up\n");
        g_logged = true;
        return false;
    }
    *last = veEngineDmaTagPtr;
    const uint64_t t[2] = {uint64_t(qwc) | (uint64_t(id) << 28) | (uint64_t(PhysAddr(Addr32(addr))) << 32),
                           0};
    std::memcpy(*last, t, 16);
    veEngineDmaTagPtr += 16;
    return true;
}

}  // namespace

void veEngineSetUniScaleInstanceGeo(const _FS_GEO_HEADER* b, _matrix4* matrices, int count) {
    if (!b || !matrices) return;
    for (int i = 0; i < count; ++i) veMathUniScaleZeroTranslation(&matrices[i], &b->scaleXYZ);
}

_matrixInfoTable* veBuildMatrixList(_FS_GEO_HEADER* b, const _matrix4* matrices, const _RGBA_GEO* colours,
                                    int count, uint32_t mode) {
    veEngineBuildView(veDisplayGetActiveView());
    const uint8_t* base = veInstanceTable[veEngineFrame.load() & 1];
    if (!base || veInstanceTablePtr < base ||
        size_t(veInstanceTablePtr - base) + kMatrixInfoBytes >
            size_t(veEngineInstancedObjectLimit) * kMatrixInfoBytes) {
        if (!g_logged) x_printf("veBuildMatrixList: the frame's instance tables are used up\n");
        g_logged = true;
        return nullptr;
    }
    auto* t = reinterpret_cast<_matrixInfoTable*>(veInstanceTablePtr);
    _matrixPacket& pk = t->matPacket;
    const bool clip = mode & 0x40000;
    const uint32_t per = clip ? 2 : 1;
    pk.matCount = 0;
    pk.matricesPerInstance = per;
    pk.pad[0] = pk.pad[1] = 0;
    t->matrixCountPerPacket = 0;
    t->numMatrixPackets = 0;
    const _matrix4 saved = *veEngineLocalToClip;
    bool full = false;
    for (int i = 0; i < count && matrices; ++i) {
        _matrix4 l2s, l2c;
        veMathCreateLocalToScreenLocalToClip(&l2s, &l2c, &matrices[i], veEnginePerspective, veEngineClip,
                                             veEngineCamera);
        *veEngineLocalToClip = l2c;
        const int r = veEngineGeoOutsideFrustum(b);
        if (r & 0x3F) continue;
        if (!clip && (r & 0x8000)) continue;
        // The packet's room: 54 matrices (27 instances with their clip matrices).
        if ((pk.matCount + 1) * per > kInstanceMaxMatrices) {
            full = true;
            continue;
        }
        pk.matrixList[pk.matCount * per] = l2s;
        if (clip) pk.matrixList[pk.matCount * per + 1] = l2c;
        if (colours)
            pk.colorList[pk.matCount] = colours[i];
        else
            pk.colorList[pk.matCount] = {128.0f, 128.0f, 128.0f, 128.0f};
        ++pk.matCount;
        t->matrixCountPerPacket += 4 * per;
    }
    *veEngineLocalToClip = saved;
    if (full)
        x_printf("veBuildMatrixList: more than %u instances in one draw; the rest are not drawn\n",
                 kInstanceMaxMatrices / per);
    if (pk.matCount > 0) {
        std::memcpy(pk.vifCommand1, gVifCommand2, 16);
        std::memcpy(pk.vifCommand2, gVifCommand3, 16);
        pk.vifCommand2[3] = 0x6C000037u | (t->matrixCountPerPacket << 16);
        std::memcpy(reinterpret_cast<uint8_t*>(pk.matrixList) + 16 * t->matrixCountPerPacket, gVifCommand,
                    16);
        t->numMatrixPackets = 1;
    }
    return t;
}

void veEngineHardwareDrawInstancedGeo(_FS_GEO_HEADER* b, const _matrix4* matrices, const _RGBA_GEO* colours,
                                      int count) {
    if (!b || (b->geoType & (kGeoSkinnedVu0 | kGeoSkinnedVu1))) return;
    const uint32_t mode = veDisplayGetMode();
    _matrixInfoTable* t = veBuildMatrixList(b, matrices, colours, count, mode);
    if (!t || t->numMatrixPackets == 0) return;
    veInstanceTablePtr += kMatrixInfoBytes;
    engine::vu1::RegisterEnginePrograms();
    if (mode & 0x40000)
        veEngineHardwareSetMicroCode(0x20000, 0);
    else if (mode & 0x1000000)
        veEngineHardwareSetMicroCode(0x40000, 0);
    // The records follow the header, or the skeleton when the block has one.
    uint8_t* rec = reinterpret_cast<uint8_t*>(b) + sizeof(_FS_GEO_HEADER);
    if (b->geoType & kGeoSkeleton) rec += 16 + 64 * size_t(U32(rec));
    for (int32_t m = 0; m < b->numMaterials; ++m) {
        auto* mat = reinterpret_cast<_FS_GEO_MATERIAL*>(rec);
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
        uint8_t* last = nullptr;
        bool ok = true;
        uint8_t* sp = rec + 32;
        for (uint32_t k = 0; k < mat->numPackets && ok; ++k) {
            _FS_SUBPACKETINFO info;
            std::memcpy(&info, sp, sizeof info);
            uint8_t* data = sp + 16;
            PatchSubpacket(data, info);
            ok = Tag(&last, 4, data, static_cast<uint32_t>(info.offsetToNextSubPacket) / 16) &&
                 Tag(&last, 4, &t->matPacket, 56) &&
                 Tag(&last, 4, t->matPacket.vifCommand2, t->matrixCountPerPacket + 2);
            sp = data + info.offsetToNextSubPacket;
        }
        if (last) {
            uint64_t w;
            std::memcpy(&w, last, 8);
            w &= ~(7ull << 28);
            std::memcpy(last, &w, 8);
            veDmaAddDmaTask(start, 1, 1);
        }
        if (!ok) return;
        rec += 32 + 16 * size_t(mat->packetLength);
    }
    if (b->numMaterials & 1) veSyncEnv2();
}
