// Builds font files (engine/font/font.h) from our own 5 x 7 glyph set, scaled up by whole pixels, on an
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

// The font file; empty for a scale outside 1..4.
std::vector<uint8_t> WriteFont(const FontStyle& style);

// The styles of the fonts the game loads, by file name without directory ("debug.fnt", "uni18.fnt",
// "uni18yel.fnt", "uni25.fnt", "uni25yel.fnt", "unism.fnt", "digital.fnt", "highligh.fnt"); the file for
// any other name is empty.
std::vector<uint8_t> WriteNamedFont(const std::string& name);
