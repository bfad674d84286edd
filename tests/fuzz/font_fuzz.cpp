// libFuzzer target for the font reader: any byte string is checked; an accepted image becomes a font
// (in memory, not owned), whose string widths are measured and whose quads are set up for every code
// from 1 to 255, touching the bitmap and palette bytes the image names.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "engine/font/font.h"
#include "engine/hal/prim.h"
#include "engine/sys/heap.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 22)) return 0;
    auto* image = static_cast<_font_data*>(x_fn_malloc(static_cast<uint32_t>(size ? size : 16), "", 0));
    if (!image) return 0;
    if (size) std::memcpy(image, data, size);
    _font* f = veFontCreateFromPointer("fuzz", image, size, 0, 0);
    if (f) {
        if (!veFontCheckImage(data, size)) __builtin_trap();
        char text[256];
        for (int i = 0; i < 255; ++i) text[i] = static_cast<char>(i + 1);
        text[255] = 0;
        volatile int32_t w = veFontGetStrWidth(f, text);
        (void)w;
        _ve_quad q;
        for (int c = 0; c < kFontCells; ++c) veFontSetupPrim(f, &f->data->charData[c], &q);
        volatile uint8_t sink = 0;
        const uint64_t bytes = uint64_t(image->bitmapWidth) * image->bitmapHeight * image->bitmapType +
                               (image->bitmapType == 1 ? image->clutSize : 0);
        for (uint64_t i = 0; i < bytes; ++i) sink = sink + image->Bitmap()[i];
        veFontDestroy(f);
    } else if (veFontCheckImage(data, size)) {
        __builtin_trap();
    }
    x_free(image);
    return 0;
}
