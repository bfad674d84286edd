// Instanced drawing: one pre-lit block uploaded once per material and drawn under many local-to-world
// matrices, each instance with its own colour (on the GS scale, 128 = 1.0: it scales the vertex colours,
// alpha included) and culled by itself against the view frustum. The block's packets are patched on the
// first instanced draw to unpack into VU1's fixed instancing area (0x20A) without a program call; such a
// block is afterwards drawn only instanced.
#pragma once

#include <cstdint>

#include "engine/hal/geometry.h"
#include "engine/sys/math.h"

inline constexpr uint32_t gVifCommand[4] = {0, 0, 0x17000000, 0x11000000};            // MSCNT, FLUSH
inline constexpr uint32_t gVifCommand2[4] = {0x14000000, 0, 0x10000000, 0x6C370000};  // MSCAL 0, unpack 55
inline constexpr uint32_t gVifCommand3[4] = {0, 0, 0x10000000, 0x6C370000};

inline constexpr uint32_t kInstanceMaxMatrices = 54;

struct alignas(16) _matrixPacket {
    uint32_t vifCommand1[4];
    uint32_t matCount;
    uint32_t matricesPerInstance;  // 1, or 2 with a local-to-clip per instance (read by the program)
    uint32_t pad[2];
    _RGBA_GEO colorList[54];
    uint32_t vifCommand2[4];
    _matrix4 matrixList[55];  // the last slot leaves room for the closing codes after 54 matrices
};

struct alignas(16) _matrixInfoTable {
    _matrixPacket matPacket;
    uint32_t matrixCountPerPacket;  // quadwords of matrices in the packet
    uint32_t numMatrixPackets;      // 0 or 1
};

// Scales rows 0..2 of each of the count matrices by the block's scale.
void veEngineSetUniScaleInstanceGeo(const _FS_GEO_HEADER* block, _matrix4* matrices, int count);
// Fills the current instance table from the kept instances; returns it (null when the frame's tables are
// used up). Instances beyond the packet's room (54, or 27 with clip matrices) are dropped with a log line.
_matrixInfoTable* veBuildMatrixList(_FS_GEO_HEADER* block, const _matrix4* matrices, const _RGBA_GEO* colours,
                                    int count, uint32_t mode);
void veEngineHardwareDrawInstancedGeo(_FS_GEO_HEADER* block, const _matrix4* matrices,
                                      const _RGBA_GEO* colours, int count);
inline void veEngineDrawInstanceGeometry(_FS_GEO_HEADER* block, const _matrix4* matrices,
                                         const _RGBA_GEO* colours, int count) {
    veEngineHardwareDrawInstancedGeo(block, matrices, colours, count);
}
