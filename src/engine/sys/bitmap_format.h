// Builds graphics files in memory, with the header record the readers use (engine/sys/bitmap.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/sys/bitmap.h"

struct BitmapImage {
    uint32_t width = 0;
    uint32_t height = 0;
    uint16_t bitsPerPixel = 8;
    std::vector<uint8_t> pixels;     // exactly the image's pixel bytes (two pixels a byte at 4 bits)
    std::vector<uint32_t> palette;   // entries as 0xAABBGGRR (bytes r, g, b, a); empty: no palette
    std::string texName;             // at most 15 characters are kept
    std::vector<uint8_t> extension;  // optional extension block, at most 128 bytes
};

// The file: header, extension block, pixels padded to 16 bytes when a palette follows, palette.
// Returns an empty vector when the image is inconsistent (pixel count, depth, extension length).
std::vector<uint8_t> WriteBitmap(const BitmapImage& image);

// The header alone, as WriteBitmap writes it (for writers that embed images in other files).
_FS_BITMAP MakeBitmapHeader(const BitmapImage& image);
