// The sample disc's fonts: our own 5 x 7 glyph set in the styles the game loads.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/font/font_format.h"
#include "frontend/sm/sm_resource_format.h"

// Our own 5 x 7 glyph set.
extern const char* const kSampleGlyphs[kFontGlyphs];

// The styles of the fonts the game loads, by file name without directory ("debug.fnt", "uni18.fnt",
// "uni18yel.fnt", "uni25.fnt", "uni25yel.fnt", "unism.fnt", "digital.fnt", "highligh.fnt"); the file for
// any other name is empty.
std::vector<uint8_t> WriteNamedFont(const std::string& name);

// The colours of one page of a glyph-table font: face and drop shadow, as 16-bit colours (red bits 0-4,
// green 5-9, blue 10-14, bit 15 opaque).
struct GlyphPageColours {
    uint16_t face, shadow;
};

// A glyph-table font of the screen resource file from our 5 x 7 glyph set: proportional (each glyph as
// wide as its set columns, and as tall as the set's nine rows with the descenders), each set cell a
// scale x scale block with a one-pixel drop shadow below and to the right, 4 bits per pixel (colour 0
// clear, 1 face, 2 shadow), one page per colour pair. The space advances without a glyph; code 127 is
// not defined.
SMW_Font WriteGlyphTableFont(int scale, const std::vector<GlyphPageColours>& pages);
