#include "engine/hal/geometry_terrain.h"

#include <cstring>

#include "console/mem/addr.h"
#include "engine/hal/dma_tasks.h"
#include "engine/hal/engine.h"
#include "engine/sys/files.h"
#include "engine/vu1/programs.h"

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

const _ve_microcode vu1TerrainStitching0 = Chain(engine::vu1::kProgTerrainStitching0);
const _ve_microcode vu1TerrainLod0ClipNew = Chain(engine::vu1::kProgTerrainLod0ClipNew);
const _ve_microcode vu1TerrainLod0New = Chain(engine::vu1::kProgTerrainLod0New);
const _ve_microcode vu1TerrainLod1New = Chain(engine::vu1::kProgTerrainLod1New);
const _ve_microcode vu1TerrainLod1CullNew = Chain(engine::vu1::kProgTerrainLod1CullNew);
const _ve_microcode vu1TerrainLod1ClipNew = Chain(engine::vu1::kProgTerrainLod1ClipNew);
const _ve_microcode vu1TerrainLod1Clip = Chain(engine::vu1::kProgTerrainLod1Clip);
const _ve_microcode vu1TerrainLod1ClipMultiTexture = Chain(engine::vu1::kProgTerrainLod1ClipMultiTexture);
const _ve_microcode vu1TerrainStitchingCull = Chain(engine::vu1::kProgTerrainStitchingCull);
const _ve_microcode vu1TerrainStitchingMultiTexture = Chain(engine::vu1::kProgTerrainStitchingMultiTexture);

int veEngineHardwareDrawTerrain(_FS_GEO_HEADER* b) {
    constexpr uint32_t kCountAt = 168, kFirstPacketAt = 176;
    uint32_t packets = 0;
    if (b) std::memcpy(&packets, reinterpret_cast<uint8_t*>(b) + kCountAt, 4);
    if (!b || packets == 0) return -1;
    if (veEngineDmaTagRoom() < 16u * packets) return -1;
    uint8_t* start = veEngineDmaTagPtr;
    uint8_t* p = reinterpret_cast<uint8_t*>(b) + kFirstPacketAt;
    for (uint32_t k = 0; k < packets; ++k) {
        uint32_t qwc = 0;
        std::memcpy(&qwc, p, 4);
        // REFS for every packet but the last, REFE for the last.
        const uint32_t id = k + 1 == packets ? 0 : 4;
        const uint64_t t[2] = {uint64_t(qwc) | (uint64_t(id) << 28) | (uint64_t(PhysAddr(Addr32(p))) << 32),
                               0};
        std::memcpy(veEngineDmaTagPtr, t, 16);
        veEngineDmaTagPtr += 16;
        p += 16 * size_t(qwc);
    }
    veDmaAddDmaTask(start, 1, 1);
    return 0;
}
