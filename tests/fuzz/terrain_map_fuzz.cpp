// libFuzzer target for the terrain map reader. An input longer than the row table is taken as a whole map;
// a shorter one as run data behind a row table filled with the offsets named by its first bytes (so small
// inputs reach the run walk). An accepted map is attached and queried at positions spread over it and
// just past its edges.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "engine/sys/heap.h"
#include "world/terrain_map_format.h"
#include "world/terrain_type.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace terrainmap;
    if (size > (8u << 20)) return 0;
    const bool whole = size > kRowTableBytes;
    const size_t length = whole ? size : kRowTableBytes + size;
    auto* map = static_cast<uint8_t*>(x_fn_malloc(static_cast<uint32_t>(length), "", 0));
    if (!map) return 0;
    if (whole) {
        std::memcpy(map, data, size);
    } else {
        // Offsets from the input's first byte pairs, repeated over the table; the input is the run data.
        const size_t named = size / 2 < 16 ? size / 2 : 16;
        for (uint32_t entry = 0; entry < kRows; ++entry) {
            uint32_t at = 0;
            if (named)
                at = uint32_t(data[2 * (entry % named)]) | uint32_t(data[2 * (entry % named) + 1]) << 8;
            std::memcpy(map + 4u * entry, &at, 4);
        }
        if (size) std::memcpy(map + kRowTableBytes, data, size);
    }
    CTerrainType* terrain = CTerrainType::getInstance();
    if (terrain->setPointer(map, length, 16, 2)) {
        volatile unsigned sink = 0;
        for (uint32_t i = 0; i < 4096; ++i) {
            const float x = float((i * 2654435761u) % 1900u) - 50.0f, z = float((i * 40503u) % 1900u) - 50.0f;
            sink = sink + terrain->getTypeAtPoint(x, z) + terrain->getCheckPoint(z, x);
        }
        for (uint32_t p = 0; p < kSide; p += 7)
            sink = sink + CodeAt(map, p, kSide - 1 - p) + CodeAt(map, kSide - 1, p);
    }
    CTerrainType::resetStatics();
    x_free(map);
    return 0;
}
