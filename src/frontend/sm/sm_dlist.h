// Display lists: drawing a screen's node tree with a draw context that carries the origin, opacity,
// scale, inherited flags and clip region down the tree.
#pragma once

#include <cstdint>

#include "frontend/sm/sm_resource_format.h"

// The draw state cache: cleared by screens and by foreign render procedures.
extern int32_t DrawValid;

// The text buffer: strings in glyph-table fonts wait here and are drawn together, glyph by glyph, so
// that each glyph's texture is set once per batch. A batch shares one font, colour page and clip area,
// and its strings never overlap.
inline constexpr int SM_MAXBUFSTRINGS = 16;
struct _sm_bufchar {
    uint32_t Colour;
    float x, y, w, h;
    int32_t Glyph;  // character code - 32: the sort key
};
struct _sm_bufstring {
    int32_t L, R, T, B;
    int32_t nChars;
    _sm_bufchar* Chars;  // heap array, sorted by glyph code
};
extern _sm_bufstring BufString[SM_MAXBUFSTRINGS];
extern int32_t BufferedFont, BufferedClut;
extern _dl_bound CurBounds;  // the clip area of the buffered strings
extern int32_t nStrings;
void FlushTextBuffer();
int BufCharCompare(const void* a, const void* b);

void SM_InitDListModule(int32_t width, int32_t height);
void SM_KillDListModule();
// A context for drawing a screen: origin 0, opacity 128, scale 1, the whole screen.
_sm_dldc SM_DLRootContext();

void SM_DrawDisplayList(_smdlhdr* node, const _sm_dldc* dc);
void SM_DrawChildDisplayList(_smdlhdr* first, const _sm_dldc* dc);
void DrawDisplayNode(_smdlhdr* node, const _sm_dldc* dc);

void SM_DLDrawScreen(_smdlhdr* node, const _sm_dldc* dc);
void SM_DLDrawSprite(_smdlhdr* node, const _sm_dldc* dc);
void SM_DLDrawGouraudRect(_smdlhdr* node, const _sm_dldc* dc);
void SM_DLDrawTextString(_smdlhdr* node, const _sm_dldc* dc);
void SM_DLDrawTextStringVemoFont(_smdlhdr* node, const _sm_dldc* dc);
void SM_DLDrawInstance(_smdlhdr* node, const _sm_dldc* dc);

// Applies a node to a context (in place): flags, alpha, origin and region; the node's bounds and clip
// rectangle. Returns 0 when the node is not drawn.
int SM_DLCombineWithDC(_dl_bound* bounds, _dl_bound* clip, const _smdlhdr* node, _sm_dldc* dc);
// Intersects a with b in place; 0 (a made one pixel wide or high) when empty.
int SM_DLMergeBounds(_dl_bound* a, const _dl_bound* b);
_smdlhdr* SM_DLFindObjectByID(_smdlhdr* node, int16_t id);
void SM_DLSetHighlighted(_smdlhdr* node, int on);
// The sum of the characters' advance widths (character records of a glyph-table font; the engine font's
// widths for a font file) plus the font's kerning times (length - 1).
int32_t SM_DLTextPixelWidth(int32_t font, const char* text, int32_t length);
// Draws the buffered text and resets the text clip to the full screen.
void SM_DLFlush();
