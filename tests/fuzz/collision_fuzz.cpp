// libFuzzer target for the collision data reader: any byte string is checked; for an accepted block
// every vertex and triangle index of every part is read, and the radius computed.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/sys/heap.h"
#include "game/files/collision_data.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    auto* block = static_cast<uint8_t*>(x_fn_malloc(static_cast<uint32_t>(size ? size : 16), "", 0));
    if (!block) return 0;
    if (size) std::memcpy(block, data, size);
    int parts = 0;
    const bool ok = collisiondata::CheckBlock(block, size, &parts).ok;
    if (ok != (parts >= 0)) __builtin_trap();
    if (parts > 0) {
        std::vector<collisiondata::Part> list(static_cast<size_t>(parts));
        collisiondata::CheckBlock(block, size, nullptr, list.data(), parts);
        volatile float sink = 0;
        for (const auto& p : list) {
            for (uint32_t v = 0; v < p.vertices; ++v) sink = sink + p.vertexData[4 * v];
            for (uint32_t k = 0; k < 3 * p.triangles; ++k) sink = sink + p.vertexData[4 * p.triangleData[k]];
        }
        sink = sink + collisiondata::BlockRadius(block, size);
    }
    x_free(block);
    return 0;
}
