// Bitmap fonts. A font file (".fnt") holds 128 character cells on one bitmap; the engine keeps up to 16
// font instances, shares one loaded font image between instances of the same file name, and draws a
// string as one textured quad per character through the primitive layer.
//
// Font file (little-endian): a 0x680-byte header (_font_data), then the bitmap, bitmapWidth x
// bitmapHeight x bitmapType bytes row by row, then for bitmapType 1 (8-bit indices) a palette of
// clutSize bytes in the order the texture manager takes for 8-bit textures. The header's pointer slots
// are 32-bit console addresses filled at load.
#pragma once

#include <cstddef>
#include <cstdint>

#include "console/mem/format_check.h"
#include "engine/hal/display.h"
#include "engine/sys/bitmap.h"

struct _point2d_s16 {
    int16_t x, y;
};
struct _rect {
    _point2d_s16 topLeft, botRight;
};

struct _char_data {
    _rect bounds;       // the cell in the bitmap
    int8_t baseline;    // rows from the cell's top to the baseline
    int8_t leftAdjust;  // not used in drawing
    int8_t width;       // advance in pixels
    uint8_t defined;    // 0: no glyph
};
static_assert(sizeof(_char_data) == 12);

inline constexpr int kFontCells = 128;
inline constexpr uint32_t kFontHeaderBytes = 0x680;

struct _font_data {
    _char_data charData[kFontCells];
    uint32_t bitmapData;  // address of the bitmap (filled at load)
    uint32_t texHandle;   // address of the texture handle of the last draw
    uint32_t systemFlags;
    int16_t useCount;
    uint16_t bitmapWidth;
    uint16_t bitmapHeight;
    uint8_t memStatus;  // 0x01 the header block is the engine's, 0x02 the bitmap block is
    uint8_t maxWidth;
    uint8_t bitmapType;  // bytes per pixel; 1 = 8-bit indices with a palette
    uint8_t numChars;
    uint8_t height;
    uint8_t ascent;
    uint8_t descent;
    uint8_t spacing;
    uint8_t leading;
    uint8_t wordSpacing;
    uint32_t colData;  // address of the palette (filled at load)
    uint32_t clutSize;
    uint8_t unused[92];

    uint8_t* Bitmap() const { return Ptr<uint8_t>(bitmapData); }
};
static_assert(sizeof(_font_data) == kFontHeaderBytes);
static_assert(offsetof(_font_data, bitmapData) == 0x600 && offsetof(_font_data, useCount) == 0x60C);
static_assert(offsetof(_font_data, memStatus) == 0x612 && offsetof(_font_data, wordSpacing) == 0x61B);
static_assert(offsetof(_font_data, colData) == 0x61C && offsetof(_font_data, clutSize) == 0x620);

// One font instance. The view comes first: the instance is passed as its own view.
struct _font {
    _ve_view viewPort;
    _font_data* data;
    _font* next;
    _font* prev;
    uint32_t rgba;  // red in bits 0..7 ... alpha in 24..31
    int32_t vAlignAdjust;
    char filename[256];
    uint8_t vAlign, hAlign;
    int8_t spacing, leading;
    uint8_t monoSpacing;
    _FS_BITMAP fsBitmap;
    int32_t bSetViewport;
};

inline constexpr int numFonts = 16;
namespace engine {
extern _font* fonts;
extern _font* freefonts;
extern _font* usedfonts;
extern int32_t cursorX, cursorY;
extern char printfBuffer[256];
}  // namespace engine

// Checks a font image of `length` bytes (header, bitmap and palette sizes, cells inside the bitmap).
// Refused with a log line (the reason before "; font refused").
FormatCheck CheckFontImage(const void* image, size_t length);
// The same answer as 1 (usable) or 0 (refused).
int veFontCheckImage(const void* image, size_t length);

// ownView 0 (the default): the font draws in whatever view is active.
_font* veFontCreateFromFile(const char* fileName, int32_t ownView = 0);
// `owned`: free the image with the font. The image must have passed veFontCheckImage (its length is
// given so that it is checked here again); null when it does not.
_font* veFontCreateFromPointer(const char* fileName, _font_data* image, size_t length, int32_t owned,
                               int32_t ownView);
void veFontDestroy(_font* font);
void veFontSetSpacing(_font* font, int8_t spacing);
int8_t veFontGetSpacing(const _font* font);
void veFontSetVerticalAlignment(_font* font, uint8_t align);
void veFontSetHorizontalAlignment(_font* font, uint8_t align);
void veFontSetColor(_font* font, uint32_t rgba);
uint32_t veFontGetColor(const _font* font);
void veFontSetMonoSpacing(_font* font);
void veFontPrintfXY(_font* font, int32_t x, int32_t y, const char* format, ...)
    __attribute__((format(printf, 4, 5)));
int32_t veFontGetStrWidth(const _font* font, const char* text);
void veFontDrawStr(_font* font, const char* text);
_font* veFontAlloc(const char* fileName);
void veFontFree(_font* font);
struct _ve_quad;
void veFontSetupQuad(_font* font, _ve_quad* quad);
void veFontSetupPrim(const _font* font, const _char_data* c, _ve_quad* quad);

// The system library's formatted screen output (x_printfxy) draws with `font` from now on (null: it
// draws nothing again). The font is set to vertical alignment 2, colour 0xFFFFFFFF and monospacing.
void veFontSetDebugFont(_font* font);
_font* veFontGetDebugFont();
