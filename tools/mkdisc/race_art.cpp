#include "mkdisc/race_art.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>

#include "engine/hal/geometry_format.h"
#include "engine/sys/bitmap_format.h"
#include "race/race_pictures.h"

namespace {

constexpr uint32_t kInk = Argb(255, 12, 12, 20);
constexpr uint32_t kWhite = Argb(255, 255, 255, 255);
constexpr uint32_t kYellow = Argb(255, 255, 214, 40);
constexpr uint32_t kOrange = Argb(255, 255, 130, 20);
constexpr uint32_t kRed = Argb(255, 220, 40, 30);
constexpr uint32_t kGreen = Argb(255, 60, 210, 70);

// Big text centred in the canvas, with a dark outline and a drop shadow.
void BigText(Canvas& c, const std::string& s, int scale, uint32_t fill, int cy) {
    const int w = Canvas::textWidth(s, scale);
    const int x = (c.width() - w) / 2, y = cy - 7 * scale / 2;
    const int o = std::max(1, scale / 3);
    c.text(x + 2 * o, y + 2 * o, s, scale, Argb(150, 0, 0, 0));
    for (int dy = -o; dy <= o; ++dy)
        for (int dx = -o; dx <= o; ++dx) c.text(x + dx, y + dy, s, scale, kInk);
    c.text(x, y, s, scale, fill);
    // A lighter top half on every letter: a simple shine.
    Canvas shine(c.width(), c.height());
    shine.text(x, y, s, scale, Argb(90, 255, 255, 255));
    for (int yy = y; yy < y + 3 * scale; ++yy)
        for (int xx = 0; xx < c.width(); ++xx)
            if (shine.at(xx, yy) >> 24) c.blend(xx, yy, shine.at(xx, yy));
}

// A rounded plate behind a card's text.
void Plate(Canvas& c, uint32_t edge) {
    const float w = float(c.width()), h = float(c.height()), r = h * 0.3f;
    const std::vector<float> outer = {r,     2,     w - r, 2,     w - 2, r,     w - 2, h - r,
                                      w - r, h - 2, r,     h - 2, 2,     h - r, 2,     r};
    c.polygon(outer, Argb(230, 20, 24, 40));
    for (size_t i = 0; i < outer.size(); i += 2) {
        const size_t j = (i + 2) % outer.size();
        c.line(outer[i], outer[i + 1], outer[j], outer[j + 1], 3.0f, edge);
    }
}

Canvas CountCard(int number) {
    Canvas c(128, 64);
    const uint32_t colours[3] = {kGreen, kYellow, kRed};  // "1", "2", "3"
    Plate(c, colours[number - 1]);
    BigText(c, std::to_string(number), 7, colours[number - 1], 32);
    return c;
}

// The go cards are drawn 192 wide on screen from a 256-wide picture: draw at screen proportions, then
// stretch.
Canvas StretchTo(const Canvas& src, int w) {
    Canvas out(w, src.height());
    for (int y = 0; y < src.height(); ++y)
        for (int x = 0; x < w; ++x) {
            const float sx = (float(x) + 0.5f) * float(src.width()) / float(w) - 0.5f;
            const int x0 = std::clamp(int(std::floor(sx)), 0, src.width() - 1);
            const int x1 = std::min(x0 + 1, src.width() - 1);
            const float t = std::clamp(sx - float(x0), 0.0f, 1.0f);
            uint32_t p = 0;
            for (int s = 0; s < 32; s += 8) {
                const float v =
                    float((src.at(x0, y) >> s) & 255) * (1 - t) + float((src.at(x1, y) >> s) & 255) * t;
                p |= uint32_t(std::lround(v)) << s;
            }
            out.fillRect(x, y, x + 1, y + 1, p);
        }
    return out;
}

Canvas GoCard(bool boosted) {
    Canvas c(192, 64);
    Plate(c, boosted ? kOrange : kGreen);
    if (boosted) {
        // Flames behind the word.
        for (int i = 0; i < 9; ++i) {
            const float x = 20.0f + 19.0f * float(i);
            c.polygon({x - 9, 58, x + 9, 58, x + 2, 10.0f + float((i * 37) % 19)},
                      Argb(170, 255, 90 + (i % 3) * 40, 0));
        }
        BigText(c, "BOOST!", 5, kYellow, 32);
    } else {
        BigText(c, "GO!", 7, kGreen, 32);
    }
    return StretchTo(c, 256);
}

// The results frame, stretched over the whole screen: a dark glass panel with a bright double edge.
Canvas ResultsFrame() {
    Canvas c(256, 256);
    c.gradientRect(0, 0, 256, 256, Argb(215, 16, 28, 60), Argb(230, 6, 10, 26));
    for (int k = 0; k < 3; ++k) {
        const int i = 3 + k;
        const uint32_t col = k == 1 ? kYellow : Argb(255, 255, 170, 30);
        c.fillRect(i, i, 256 - i, i + 1, col);
        c.fillRect(i, 255 - i, 256 - i, 256 - i, col);
        c.fillRect(i, i, i + 1, 256 - i, col);
        c.fillRect(255 - i, i, 256 - i, 256 - i, col);
    }
    c.fillRect(9, 9, 247, 10, Argb(120, 255, 255, 255));
    return c;
}

Canvas TitleBar() {
    Canvas c(256, 8);
    c.gradientRect(0, 0, 256, 8, kYellow, kOrange);
    for (int x = 0; x < 12; ++x)
        for (int y = 0; y < 8; ++y) {
            const float a = float(x) / 12.0f;
            c.fillRect(x, y, x + 1, y + 1, Argb(uint32_t(255 * a), 255, 200 - 6 * x, 30));
            c.fillRect(255 - x, y, 256 - x, y + 1, Argb(uint32_t(255 * a), 255, 200 - 6 * x, 30));
        }
    return c;
}

// The player's row marker: a yellow arrow pointing at the name.
Canvas PlaceIcon() {
    Canvas c(32, 32);
    const std::vector<float> arrow = {3, 10, 17, 10, 17, 3, 30, 16, 17, 29, 17, 22, 3, 22};
    c.polygon(arrow, kInk);
    const std::vector<float> inner = {5, 12, 19, 12, 19, 7, 27, 16, 19, 25, 19, 20, 5, 20};
    c.polygon(inner, kYellow);
    return c;
}

// A five-pointed star on a round medal.
Canvas BonusMedal(bool earned) {
    Canvas c(64, 32);
    const float cx = 32, cy = 16;
    c.disc(cx, cy, 14.5f, earned ? Argb(255, 120, 70, 0) : Argb(200, 50, 50, 60));
    c.disc(cx, cy, 12.5f, earned ? Argb(255, 255, 200, 40) : Argb(200, 90, 90, 100));
    std::vector<float> star;
    for (int k = 0; k < 10; ++k) {
        const float a = -1.5707963f + float(k) * 0.6283185f, r = k % 2 ? 4.5f : 11.0f;
        star.push_back(cx + r * std::cos(a));
        star.push_back(cy + r * std::sin(a));
    }
    c.polygon(star, earned ? kWhite : Argb(255, 60, 60, 70));
    // Ribbon tails on either side.
    const uint32_t ribbon = earned ? kRed : Argb(200, 70, 70, 80);
    c.polygon({2, 8, 17, 12, 17, 20, 2, 24, 7, 16}, ribbon);
    c.polygon({62, 8, 47, 12, 47, 20, 62, 24, 57, 16}, ribbon);
    return c;
}

Canvas BlackPlate() {
    return Canvas(64, 32, Argb(200, 0, 0, 0));
}

// The menu highlight: a bright rounded bar.
Canvas Button() {
    Canvas c(256, 32);
    const std::vector<float> bar = {12, 3, 244, 3, 253, 16, 244, 29, 12, 29, 3, 16};
    c.polygon(bar, Argb(255, 255, 150, 20));
    c.gradientRect(14, 6, 242, 16, Argb(160, 255, 240, 160), Argb(0, 255, 240, 160));
    for (size_t i = 0; i < bar.size(); i += 2) {
        const size_t j = (i + 2) % bar.size();
        c.line(bar[i], bar[i + 1], bar[j], bar[j + 1], 2.0f, kYellow);
    }
    return c;
}

}  // namespace

bool IsRaceArt(int i) {
    return (i >= common::kStartCard0 && i < common::kStartCard0 + common::kStartCards) ||
           i == common::kPlaceIcon || i == common::kBlackPlate || i == common::kButton ||
           (i >= common::kResultsTitleBar && i <= common::kBonusEarned);
}

Canvas RaceArtCanvas(int i) {
    switch (i) {
        case common::kStartCard0 + 0:
        case common::kStartCard0 + 1:
        case common::kStartCard0 + 2:
            return CountCard(i - common::kStartCard0 + 1);
        case common::kStartCard0 + 3:
            return GoCard(false);
        case common::kStartCard0 + 4:
            return GoCard(true);
        case common::kPlaceIcon:
            return PlaceIcon();
        case common::kBlackPlate:
            return BlackPlate();
        case common::kButton:
            return Button();
        case common::kResultsTitleBar:
            return TitleBar();
        case common::kResultsFrame:
            return ResultsFrame();
        case common::kBonusNotEarned:
            return BonusMedal(false);
        case common::kBonusEarned:
            return BonusMedal(true);
        default:
            return Canvas(1, 1);
    }
}

BitmapImage Palettised(const Canvas& c, const std::string& name) {
    // Colours in the console's form (bytes r, g, b, a; alpha 0x80 opaque).
    std::vector<uint32_t> px(size_t(c.width()) * c.height());
    for (int y = 0; y < c.height(); ++y)
        for (int x = 0; x < c.width(); ++x) {
            const uint32_t p = c.at(x, y);
            const uint32_t a = ((p >> 24) * 128 + 127) / 255;
            px[size_t(y) * c.width() + x] = ((p >> 16) & 255) | (p & 0xFF00) | ((p & 255) << 16) | (a << 24);
        }
    std::map<uint32_t, uint8_t> index;
    for (int drop = 0; drop <= 6; ++drop) {
        const uint32_t keep = 0xFFu << drop & 0xFFu;
        const uint32_t mask = keep | keep << 8 | keep << 16 | (0xFFu << (drop / 2) & 0xFFu) << 24;
        index.clear();
        for (uint32_t& p : px) index.emplace(p & mask, 0);
        if (index.size() <= 256 || drop == 6) {
            for (uint32_t& p : px) p &= mask;
            break;
        }
    }
    BitmapImage img;
    img.width = uint32_t(c.width());
    img.height = uint32_t(c.height());
    img.bitsPerPixel = 8;
    int n = 0;
    for (auto& [colour, i] : index) {
        i = uint8_t(n++);
        img.palette.push_back(colour);
    }
    img.palette.resize(256, 0);
    img.palette = Csm1Palette(img.palette);
    img.pixels.reserve(px.size());
    for (uint32_t p : px) img.pixels.push_back(index[p]);
    img.texName = name;
    return img;
}

std::vector<uint8_t> RaceArtFile(int i) {
    if (!IsRaceArt(i)) return {};
    char name[16];
    std::snprintf(name, sizeof name, "race%03d", i);
    return WriteBitmap(Palettised(RaceArtCanvas(i), name));
}
