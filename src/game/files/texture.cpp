#include "game/files/texture.h"

#include <cstring>

#include "console/mem/addr.h"
#include "engine/sys/files.h"
#include "engine/sys/loaded_files.h"

CTexture::CTexture(_FS_BITMAP* image) {
    std::memcpy(&fsBitmap, image, sizeof(_FS_BITMAP));
    uint8_t* bytes = reinterpret_cast<uint8_t*>(image);
    const uint32_t pixels = Addr32(bytes + sizeof(_FS_BITMAP) + image->pixdata);
    fsBitmap.pixdata = pixels;
    const uint64_t area = static_cast<uint64_t>(fsBitmap.width) * fsBitmap.height;
    if (fsBitmap.bitsPerPixel == 4)
        fsBitmap.coldata = static_cast<uint32_t>((pixels + area / 2 + 15) & ~15ull);
    else if (fsBitmap.bitsPerPixel == 8)
        fsBitmap.coldata = static_cast<uint32_t>((pixels + area + 15) & ~15ull);
    else
        fsBitmap.coldata = 0;
}

CPixelColor CTexture::getPixelColor(float u, float v) const {
    CPixelColor c{0.0f, 0.0f, 0.0f, 0.0f};
    if (fsBitmap.bitsPerPixel != 8 || fsBitmap.width == 0 || fsBitmap.height == 0 || !fsBitmap.coldata)
        return c;
    // Truncation toward zero as the ground-colour sampling expects, then kept inside the bitmap: u or v
    // of 1.0 (or a stray negative) would otherwise index past the pixels.
    auto clampIndex = [](float f, uint32_t size) -> uint32_t {
        const float s = f * static_cast<float>(size);
        if (!(s > 0.0f)) return 0;
        if (s >= static_cast<float>(size)) return size - 1;
        return static_cast<uint32_t>(s);
    };
    const uint32_t x = clampIndex(u, fsBitmap.width);
    const uint32_t y = clampIndex(v, fsBitmap.height);
    const uint8_t index = fsBitmap.Pixels()[static_cast<size_t>(y) * fsBitmap.width + x];
    // Only the palette the file holds is read (a checked file has numColors entries).
    if (!fsBitmap.palettized || index >= fsBitmap.numColors) return c;
    const uint8_t* entry = reinterpret_cast<const uint8_t*>(fsBitmap.Palette()) + 4u * index;
    c.r = entry[0];
    c.g = entry[1];
    c.b = entry[2];
    c.a = entry[3];
    return c;
}

CTexture* LoadTexture(void* image, int length, int subFile) {
    if (!image || length < static_cast<int>(sizeof(_FS_BITMAP))) {
        x_printf("%stexture sub-file %d missing or shorter than its header\n", x_FileOf(image), subFile);
        return nullptr;
    }
    FsBitmapLayout layout{};
    const FsBitmapResult r = fsCheckBitmap(image, static_cast<size_t>(length), &layout);
    if (r != FS_BITMAP_OK) {
        x_printf("%stexture sub-file %d refused (%d)\n", x_FileOf(image), subFile, static_cast<int>(r));
        return nullptr;
    }
    // In place the palette sits on the first 16-byte boundary after the pixels, which is not where the
    // file puts it when the pixels do not start on a boundary: it must still lie inside the sub-file.
    const _FS_BITMAP* h = static_cast<const _FS_BITMAP*>(image);
    if (h->palettized && (h->bitsPerPixel == 4 || h->bitsPerPixel == 8)) {
        const uint64_t pixels = reinterpret_cast<uintptr_t>(image) + sizeof(_FS_BITMAP) + h->pixdata;
        const uint64_t palette = (pixels + layout.pixelBytes + 15) & ~15ull;
        if (palette + layout.paletteBytes >
            reinterpret_cast<uintptr_t>(image) + static_cast<uint64_t>(length)) {
            x_printf("%stexture sub-file %d: palette past the end\n", x_FileOf(image), subFile);
            return nullptr;
        }
    }
    return new CTexture(static_cast<_FS_BITMAP*>(image));
}
