// Graphics files and bitmaps. One 64-byte header, _FS_BITMAP, is both the head of a graphics file and
// the in-memory bitmap record carried by textures, the texture manager and fonts.
//
// Graphics file (little-endian):
//   0   header (_FS_BITMAP), whose pixdata field holds the length of an extension block
//   64  extension block (skipped by readers)
//   64 + ext            pixels: P bytes, P = width*height/2 at 4 bits, else width*height*(bits/8)
//   64 + ext + P16      palette: numColors 4-byte entries (r, g, b, a) when palettized, P16 being P
//                       raised to a multiple of 16 (the pixel block is padded, so the palette sits on a
//                       16-byte boundary both in the file and in memory; for the usual sizes P16 = P)
//
// In memory after loading, pixdata points at one heap block holding the pixels, and coldata (when
// palettized) at pixdata + P16. Both are 32-bit console addresses.
#pragma once

#include <cstddef>
#include <cstdint>

#include "console/mem/addr.h"
#include "console/mem/format_check.h"

struct _FS_BITMAP {
    uint32_t width;
    uint32_t height;
    uint32_t numColors;
    uint16_t bitsPerPixel;
    uint16_t palettized;
    char id[16];  // "BRANNOX ENT.INC"
    char texName[16];
    uint32_t pixdata;  // file: length of the extension block; memory: address of the pixels
    uint32_t coldata;  // memory: address of the palette
    uint32_t deviceInfo[2];

    uint8_t* Pixels() const { return Ptr<uint8_t>(pixdata); }
    uint32_t* Palette() const { return Ptr<uint32_t>(coldata); }
};
static_assert(sizeof(_FS_BITMAP) == 64, "the graphics file header is 64 bytes");
static_assert(offsetof(_FS_BITMAP, id) == 16 && offsetof(_FS_BITMAP, texName) == 32);
static_assert(offsetof(_FS_BITMAP, pixdata) == 48 && offsetof(_FS_BITMAP, coldata) == 52);
static_assert(offsetof(_FS_BITMAP, deviceInfo) == 56);

inline constexpr char kBitmapMagic[] = "BRANNOX ENT.INC";
inline constexpr char kBitmapOldMagic[] = "BRANNOX STUDIOS";
inline constexpr int kBitmapMagicCheckLength = 7;     // "BRANNOX": enough to accept a file
inline constexpr uint32_t kBitmapMaxExtension = 128;  // what writers produce; readers skip any length
inline constexpr uint32_t kBitmapMaxDimension = 16384;

// Outcome of reading a graphics file.
enum FsBitmapResult {
    FS_BITMAP_OK = 0,
    FS_BITMAP_CANNOT_OPEN,
    FS_BITMAP_TRUNCATED,  // shorter than its header, extension, pixels and palette
    FS_BITMAP_OLD_STYLE,  // id "BRANNOX STUDIOS"
    FS_BITMAP_NOT_VALID,  // any other id
    FS_BITMAP_BAD_SIZE,   // no pixels, an unknown depth or an absurd size
    FS_BITMAP_NO_MEMORY,
    FS_BITMAP_CANNOT_READ,  // opened, but the disc failed to read what the file holds
};

// Where the parts of a graphics file lie.
struct FsBitmapLayout {
    uint32_t extensionBytes;  // after the header
    uint32_t pixelBytes;      // P
    uint32_t paletteOffset;   // from the first pixel: P16 when palettized, else P
    uint32_t paletteBytes;    // numColors * 4 when palettized, else 0
    uint32_t dataBytes;       // pixels, padding and palette: what one heap block holds
    uint32_t fileBytes;       // 64 + extension + dataBytes
};

// P for the header's size and depth (64-bit: the fields come from files).
uint64_t fsBitmapPixelBytes(const _FS_BITMAP* header);

// Checks a header against the length of its file (magic, depth, sizes, extension, palette) and fills
// the layout. Prints nothing.
FsBitmapResult fsBitmapLayout(const _FS_BITMAP* header, uint64_t fileLength, FsBitmapLayout* layout);

// A few words for an outcome ("not a graphics file", ...); empty for FS_BITMAP_OK.
const char* fsBitmapResultText(FsBitmapResult r);

// Checks a graphics file image in memory (for images used in place) and fills the layout. Prints
// nothing; the reason is fsBitmapResultText of the outcome, which goes to `result` when given.
FormatCheck CheckBitmapImage(const void* data, size_t length, FsBitmapLayout* layout,
                             FsBitmapResult* result = nullptr);
// The same answer as its outcome.
FsBitmapResult fsCheckBitmap(const void* data, size_t length, FsBitmapLayout* layout);

// Reads a graphics file: header into *header, pixels and palette into one heap block. On any failure
// the reason is logged with the file name, pixdata and coldata are 0 (so callers can test pixdata),
// and nothing stays allocated. The file is closed on every outcome.
FsBitmapResult fsLoadBitmap(_FS_BITMAP* header, const char* name);

// The same from a graphics file image already in memory (the pixels are copied into a heap block).
FsBitmapResult fsLoadBitmapFromMemory(_FS_BITMAP* header, const void* data, size_t length, const char* name);

// The screen-manager library's 32-byte bitmap descriptor. What the values mean is that library's
// business; these functions only place them.
struct BMP_INSTANCE {
    uint8_t format;
    uint8_t flags;      // bit 0 and bit 1
    uint16_t count;     // colour count
    uint16_t dims[4];   // width, height, line length, fourth value
    uint32_t words[4];  // pixels, palette size, palette, fourth value
    uint8_t zero[4];
};
static_assert(sizeof(BMP_INSTANCE) == 32, "the bitmap descriptor is 32 bytes");

void BMP_InitInstance(BMP_INSTANCE* bmp);
// Clears the descriptor, then: format = a2; count = a13; dims = a3, a4, a5, a6; words = a8, a11, a12,
// a9; flags bit 0 when a7 is non-zero, bit 1 when a10 is non-zero.
void BMP_SetupBitmap(BMP_INSTANCE* bmp, int a2, int a3, int a4, int a5, int a6, int a7, uint32_t a8,
                     uint32_t a9, int a10, uint32_t a11, uint32_t a12, int a13);
