#include "mkdisc/fonts.h"

const char* const kSampleGlyphs[kFontGlyphs] = {
#include "mkdisc/glyphs_5x7.inc"
};

std::vector<uint8_t> WriteNamedFont(const std::string& name) {
    constexpr uint32_t kWhite = 0x80FFFFFF, kYellow = 0x8000E0FF, kGreen = 0x8040FF40;
    if (name == "debug.fnt") return WriteFont({1, kWhite, 1}, kSampleGlyphs);
    if (name == "unism.fnt") return WriteFont({1, kWhite, 1}, kSampleGlyphs);
    if (name == "uni18.fnt") return WriteFont({2, kWhite, 2}, kSampleGlyphs);
    if (name == "uni18yel.fnt" || name == "highligh.fnt") return WriteFont({2, kYellow, 2}, kSampleGlyphs);
    if (name == "uni25.fnt") return WriteFont({3, kWhite, 3}, kSampleGlyphs);
    if (name == "uni25yel.fnt") return WriteFont({3, kYellow, 3}, kSampleGlyphs);
    if (name == "digital.fnt") return WriteFont({2, kGreen, 2}, kSampleGlyphs);
    return {};
}
