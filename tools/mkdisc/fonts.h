// The sample disc's fonts: our own 5 x 7 glyph set in the styles the game loads.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/font/font_format.h"

// Our own 5 x 7 glyph set.
extern const char* const kSampleGlyphs[kFontGlyphs];

// The styles of the fonts the game loads, by file name without directory ("debug.fnt", "uni18.fnt",
// "uni18yel.fnt", "uni25.fnt", "uni25yel.fnt", "unism.fnt", "digital.fnt", "highligh.fnt"); the file for
// any other name is empty.
std::vector<uint8_t> WriteNamedFont(const std::string& name);
