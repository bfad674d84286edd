#include "engine/font/font_format.h"

#include <cstring>

#include "engine/font/font.h"
#include "engine/hal/geometry_format.h"

namespace {

// Whether cell (x, y) of the 5 x 7 glyph for code c is set.
bool GlyphBit(const char* const* glyphs, int c, int x, int y) {
    if (c < 32 || c > 126) return false;
    const char* g = glyphs[c - 32];
    int row = 0, col = 0;
    for (const char* p = g; *p; ++p) {
        if (*p == '/') {
            ++row;
            col = 0;
            continue;
        }
        if (row == y && col == x) return *p == '#';
        ++col;
    }
    return false;
}

uint32_t Pow2AtLeast(uint32_t v) {
    uint32_t p = 1;
    while (p < v) p <<= 1;
    return p;
}

}  // namespace

std::vector<uint8_t> WriteFont(const FontStyle& st, const char* const glyphs[kFontGlyphs]) {
    if (st.scale < 1 || st.scale > 4) return {};
    const int s = st.scale;
    const int cw = 5 * s, ch = (kFontAscentRows + kFontDescentRows) * s;
    const uint32_t width = s == 1 ? 128 : 256;
    const int perRow = static_cast<int>(width) / (cw + 1);
    const int rows = (95 + perRow - 1) / perRow;
    const uint32_t height = Pow2AtLeast(static_cast<uint32_t>(rows * (ch + 1)));

    _font_data h;
    std::memset(&h, 0, sizeof h);
    std::vector<uint8_t> pixels(size_t(width) * height, 0);
    for (int c = 33; c <= 126; ++c) {
        const int i = c - 32;
        const int x0 = (i % perRow) * (cw + 1), y0 = (i / perRow) * (ch + 1);
        _char_data& cd = h.charData[c];
        cd.bounds = {{int16_t(x0), int16_t(y0)}, {int16_t(x0 + cw), int16_t(y0 + ch)}};
        cd.baseline = static_cast<int8_t>(kFontAscentRows * s);
        cd.width = static_cast<int8_t>(cw);
        cd.defined = 1;
        for (int y = 0; y < ch; ++y)
            for (int x = 0; x < cw; ++x)
                if (GlyphBit(glyphs, c, x / s, y / s)) pixels[size_t(y0 + y) * width + size_t(x0 + x)] = 1;
    }
    h.bitmapWidth = static_cast<uint16_t>(width);
    h.bitmapHeight = static_cast<uint16_t>(height);
    h.maxWidth = static_cast<uint8_t>(cw + s);
    h.bitmapType = 1;
    h.numChars = 94;
    h.height = static_cast<uint8_t>(ch);
    h.ascent = static_cast<uint8_t>(kFontAscentRows * s);
    h.descent = static_cast<uint8_t>(kFontDescentRows * s);
    h.spacing = st.spacing;
    h.leading = static_cast<uint8_t>(s);
    h.wordSpacing = static_cast<uint8_t>(3 * s);
    std::vector<uint32_t> pal(256, 0);
    pal[1] = st.rgba;
    pal = Csm1Palette(pal);
    h.clutSize = static_cast<uint32_t>(pal.size() * 4);

    std::vector<uint8_t> out(sizeof h);
    std::memcpy(out.data(), &h, sizeof h);
    out.insert(out.end(), pixels.begin(), pixels.end());
    const auto* pb = reinterpret_cast<const uint8_t*>(pal.data());
    out.insert(out.end(), pb, pb + pal.size() * 4);
    return out;
}
