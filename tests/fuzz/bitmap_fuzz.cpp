// libFuzzer target for the graphics-file reader: any byte string is checked and, when accepted, loaded
// from memory; every pixel and palette byte the layout names is then touched.
#include <cstddef>
#include <cstdint>

#include "engine/sys/bitmap.h"
#include "engine/sys/heap.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FsBitmapLayout layout;
    const FsBitmapResult checked = fsCheckBitmap(data, size, &layout);
    _FS_BITMAP header;
    const FsBitmapResult loaded = fsLoadBitmapFromMemory(&header, data, size, "fuzz");
    if (loaded == FS_BITMAP_OK) {
        if (checked != FS_BITMAP_OK) __builtin_trap();
        volatile uint8_t sink = 0;
        const uint8_t* p = header.Pixels();
        for (uint32_t i = 0; i < layout.dataBytes; ++i) sink = sink + p[i];
        if (header.palettized && header.coldata != header.pixdata + layout.paletteOffset) __builtin_trap();
        x_free(header.Pixels());
    } else if (header.pixdata != 0 || header.coldata != 0) {
        __builtin_trap();
    }
    return 0;
}
