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

SMW_Font WriteGlyphTableFont(int scale, const std::vector<GlyphPageColours>& pages) {
    SMW_Font font;
    font.Colours = 4;
    for (const GlyphPageColours& p : pages) font.Pages.push_back({0x0000, p.face, p.shadow, p.face});
    constexpr int kRows = kFontAscentRows + kFontDescentRows;
    const int height = kRows * scale + 1;  // descenders included, and the shadow's row
    font.MaxCharHeight = uint16_t(height);
    font.MaxOffsetY = 0;
    font.Glyphs.resize(SM_FONT_CHARS);
    for (int code = 32; code < 127; ++code) {
        // Rows separated by '/', up to five cells each (the space's rows are shorter).
        bool cells[kRows][5] = {};
        int r0 = 0, c0 = 0;
        for (const char* p = kSampleGlyphs[code - 32]; *p && r0 < kRows; ++p) {
            if (*p == '/') {
                ++r0, c0 = 0;
            } else {
                if (c0 < 5) cells[r0][c0] = *p == '#';
                ++c0;
            }
        }
        auto set = [&](int r, int c) { return cells[r][c]; };
        int first = 5, last = -1;
        for (int row = 0; row < kRows; ++row)
            for (int col = 0; col < 5; ++col)
                if (set(row, col)) first = col < first ? col : first, last = col > last ? col : last;
        SMW_Glyph& g = font.Glyphs[size_t(code - 32)];
        if (last < 0) {  // the space: an advance and no glyph
            g.Advance = int8_t((3 * scale + 1) & ~1);
            continue;
        }
        const int width = (last - first + 1) * scale + 1;
        g.Width = int8_t(width);
        g.Height = int8_t(height);
        g.Advance = int8_t((width + scale) & ~1);  // even: whole bytes per line at 4 bits
        if (g.Advance < width) g.Advance = int8_t(g.Advance + 2);
        g.DrawHeight = uint32_t(height);
        std::vector<uint8_t> index(size_t(g.Advance) * size_t(height), 0);
        for (int pass = 0; pass < 2; ++pass)  // the shadow first, the face over it
            for (int row = 0; row < kRows; ++row)
                for (int col = first; col <= last; ++col) {
                    if (!set(row, col)) continue;
                    for (int dy = 0; dy < scale; ++dy)
                        for (int dx = 0; dx < scale; ++dx) {
                            const int x = (col - first) * scale + dx + (pass == 0 ? 1 : 0);
                            const int y = row * scale + dy + (pass == 0 ? 1 : 0);
                            index[size_t(y) * size_t(g.Advance) + size_t(x)] = pass == 0 ? 2 : 1;
                        }
                }
        g.Pixels.resize(index.size() / 2);
        for (size_t i = 0; i < g.Pixels.size(); ++i)  // the first pixel of a pair in the low nibble
            g.Pixels[i] = uint8_t(index[2 * i] | index[2 * i + 1] << 4);
    }
    return font;
}
