// Builds font files (engine/font/font.h) from a 5 x 7 glyph set, scaled up by whole pixels, on an
// 8-bit palettised bitmap: index 0 transparent, index 1 the font's colour.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct FontStyle {
    int scale = 1;               // each glyph pixel becomes scale x scale pixels
    uint32_t rgba = 0x80FFFFFF;  // colour of the glyph pixels (r in the low byte, alpha 0x80 = opaque)
    uint8_t spacing = 1;         // extra pixels after each character
};

// Glyphs for codes 32..126, each 5 x 7 cells as rows of '#' (set) and '.' separated by '/': seven rows
// above the baseline and up to kFontDescentRows more below it (descenders). Every character's cell is
// 5 x 9 cells, scaled, with the baseline after its seventh row.
inline constexpr int kFontGlyphs = 95;
inline constexpr int kFontAscentRows = 7, kFontDescentRows = 2;
// The font file; empty for a scale outside 1..4.
std::vector<uint8_t> WriteFont(const FontStyle& style, const char* const glyphs[kFontGlyphs]);
