// libFuzzer target for the geometry-block reader: any byte string is checked; an accepted block is
// initialised and every record the drawing code would follow is walked (material records, subpacket
// infos, material slots, bitmap pixels and palettes), touching each byte it names.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "console/mem/addr.h"
#include "engine/hal/geometry.h"
#include "engine/sys/heap.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    auto* block = static_cast<uint8_t*>(x_fn_malloc(static_cast<uint32_t>(size ? size : 16), "", 0));
    if (!block) return 0;
    if (size) std::memcpy(block, data, size);
    auto* h = reinterpret_cast<_FS_GEO_HEADER*>(block);
    if (veEngineLoadGeo(h, size)) {
        volatile uint8_t sink = 0;
        if (!(h->geoType & (kGeoSkinnedVu0 | kGeoSkinnedVu1))) {
            uint32_t at = 160;
            if (h->geoType & kGeoSkeleton) {
                uint32_t bones;
                std::memcpy(&bones, block + 160, 4);
                at = 176 + 64 * bones;
            }
            for (int32_t m = 0; m < h->numMaterials; ++m) {
                _FS_GEO_MATERIAL mat;
                std::memcpy(&mat, block + at, sizeof mat);
                uint32_t sp = at + 32;
                for (uint32_t k = 0; k < mat.numPackets; ++k) {
                    _FS_SUBPACKETINFO info;
                    std::memcpy(&info, block + sp, sizeof info);
                    sink = sink + block[sp + 16 + static_cast<uint32_t>(info.offsetToExecuteVifCommand)];
                    sp += 16 + static_cast<uint32_t>(info.offsetToNextSubPacket);
                }
                at += 32 + 16 * mat.packetLength;
            }
        }
        const uint32_t* slots = veEngineGetGeoMaterialTbl(h);
        for (int32_t m = 0; m < h->numMaterials; ++m) {
            const _FS_BITMAP* b = Ptr<_FS_BITMAP>(slots[m]);
            const uint64_t px = veEngineGeoBitmapPixelBytes(b);
            for (uint64_t i = 0; i < px; ++i) sink = sink + b->Pixels()[i];
            if (b->palettized)
                for (uint32_t i = 0; i < b->numColors; ++i)
                    sink = sink + static_cast<uint8_t>(b->Palette()[i]);
        }
    }
    x_free(block);
    return 0;
}
