// A bitmap inside a loaded master file: a copy of its 64-byte header whose pixel and palette fields
// address the data in the file image.
#pragma once

#include <cstdint>

#include "engine/sys/bitmap.h"
#include "game/files/resource_storage.h"

struct CPixelColor {
    float r, g, b, a;
};

class CTexture {
public:
    // `image` is the graphics file image (header first). The header's pixel offset counts from the end
    // of the header; the palette follows the pixels on the next 16-byte boundary.
    explicit CTexture(_FS_BITMAP* image);

    // The colour of the pixel at (u * width, v * height) of an 8-bit palettised bitmap, (0, 0, 0, 0) for
    // any other depth. Coordinates outside [0, 1) are clamped to the bitmap's edge.
    CPixelColor getPixelColor(float u, float v) const;

    _FS_BITMAP fsBitmap;  // first field: a texture's address is its bitmap header's
};

template <>
struct CResourceStorageSize<CTexture> {
    static constexpr uint32_t value = 234;
};

// Checks a graphics sub-file of `length` bytes (header, pixel offset, pixels and palette inside it)
// before it is wrapped: null with a log line naming the sub-file when it is unusable.
CTexture* LoadTexture(void* image, int length, int subFile);
