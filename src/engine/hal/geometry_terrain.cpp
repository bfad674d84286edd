#include "engine/hal/geometry_terrain.h"

#include <cstring>

#include "console/mem/addr.h"
#include "engine/hal/dma_tasks.h"
#include "engine/hal/engine.h"
#include "engine/sys/files.h"

namespace {

// The same upload chain as the engine's other programs: CNT (NOP, STCYCL 4/4) setting mask, mode and
// row, the MPG naming the program, END.
constexpr _ve_microcode Chain(uint32_t id) {
    return _ve_microcode{{
        3 | (1u << 28), 0,  0x00000000, 0x01000404, 0x20000000, 0, 0x05000000, 0x30000000, 0, 0, 0, 0,
        0x4A010000,     id, 0,          0x00000000, (7u << 28), 0, 0,          0,
    }};
}

}  // namespace

const _ve_microcode vu1TerrainStitching0 = Chain(0x0301);
const _ve_microcode vu1TerrainLod0ClipNew = Chain(0x0302);
const _ve_microcode vu1TerrainLod0New = Chain(0x0303);
const _ve_microcode vu1TerrainLod1New = Chain(0x0304);
const _ve_microcode vu1TerrainLod1CullNew = Chain(0x0305);
const _ve_microcode vu1TerrainLod1ClipNew = Chain(0x0306);
const _ve_microcode vu1TerrainLod1Clip = Chain(0x0307);
const _ve_microcode vu1TerrainLod1ClipMultiTexture = Chain(0x0308);
const _ve_microcode vu1TerrainStitchingCull = Chain(0x0309);
const _ve_microcode vu1TerrainStitchingMultiTexture = Chain(0x030A);

int veEngineHardwareDrawTerrain(_FS_GEO_HEADER* b) {
    // The chain needs at least one record to end with.
    if (!b || b->numMaterials <= 0) {
        x_printf("veEngineHardwareDrawTerrain: block without material records\n");
        return -1;
    }
    if (veEngineDmaTagRoom() < 16u * uint32_t(b->numMaterials)) return -1;
    uint8_t* start = veEngineDmaTagPtr;
    uint8_t* rec = reinterpret_cast<uint8_t*>(b) + sizeof(_FS_GEO_HEADER);
    for (int32_t m = 0; m < b->numMaterials; ++m) {
        _FS_GEO_MATERIAL mat;
        std::memcpy(&mat, rec, sizeof mat);
        const uint32_t id = m + 1 == b->numMaterials ? 0 : 4;
        const uint64_t t[2] = {
            uint64_t(mat.packetLength) | (uint64_t(id) << 28) | (uint64_t(PhysAddr(Addr32(rec + 32))) << 32),
            0};
        std::memcpy(veEngineDmaTagPtr, t, 16);
        veEngineDmaTagPtr += 16;
        rec += 32 + 16 * size_t(mat.packetLength);
    }
    veDmaAddDmaTask(start, 1, 1);
    return 0;
}
