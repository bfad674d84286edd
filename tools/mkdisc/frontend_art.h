// The front end's pictures, drawn procedurally: title art, highlight bars, bike and rider pictures,
// track thumbnails, trophies and the loading screen. Every picture is drawn on an RGBA canvas (alpha
// 0..255) and stored as a 32-bit graphics image with the console's alpha (0x80 = opaque), or as an 8-bit
// palettised one where the picture has few colours. Deterministic: no clock, no global random state.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/sys/bitmap_format.h"

// A drawing surface; colours are 0xAARRGGBB with alpha 0..255.
class Canvas {
public:
    Canvas(int w, int h, uint32_t fill = 0);

    int width() const { return w_; }
    int height() const { return h_; }
    uint32_t at(int x, int y) const { return px_[size_t(y) * w_ + x]; }

    // Blends `argb` over pixel (x, y) with its alpha scaled by `cover` (0..1); outside: nothing.
    void blend(int x, int y, uint32_t argb, float cover = 1.0f);
    void fillRect(int x0, int y0, int x1, int y1, uint32_t argb);  // x1, y1 exclusive
    // Vertical gradient from `top` to `bottom` over the rectangle.
    void gradientRect(int x0, int y0, int x1, int y1, uint32_t top, uint32_t bottom);
    // Anti-aliased disc and ring.
    void disc(float cx, float cy, float r, uint32_t argb);
    void ring(float cx, float cy, float r0, float r1, uint32_t argb);
    // Anti-aliased thick line with round ends.
    void line(float x0, float y0, float x1, float y1, float width, uint32_t argb);
    // Filled polygon (even-odd, sampled 4 x 4 per pixel).
    void polygon(const std::vector<float>& xy, uint32_t argb);
    // Text in the 5 x 7 glyph set, each cell `scale` pixels; returns the width drawn.
    int text(int x, int y, const std::string& s, int scale, uint32_t argb, int spacing = 1);
    static int textWidth(const std::string& s, int scale, int spacing = 1);

    // The picture as a 32-bit image (bytes r, g, b, a with a = 0x80 for opaque).
    BitmapImage image32(const std::string& name) const;

private:
    int w_, h_;
    std::vector<uint32_t> px_;
};

// 0xAARRGGBB from components.
constexpr uint32_t Argb(uint32_t a, uint32_t r, uint32_t g, uint32_t b) {
    return (a << 24) | (r << 16) | (g << 8) | b;
}

// The pictures. `index` selects one of the ten bikes, riders or track entries.
Canvas TitleArt();               // 512 x 256: the game's logo
Canvas SmallLogo();              // 128 x 32: the logo for screen corners
Canvas HighlightBar();           // 256 x 32: the bar behind a menu row
Canvas BikePicture(int index);   // 256 x 128: side view of bike `index` (0..9)
Canvas RiderPicture(int index);  // 128 x 128: portrait of rider `index` (0..9)
// 128 x 64: map of track entry `entry` (0..9) of track kind `kind` (0 baja, 1 indoor, 2 outdoor,
// 3 freestyle); `open` false draws a closed placard for an entry the disc holds no world for.
Canvas TrackThumbnail(int kind, int entry, bool open);
Canvas Trophy(int tier);      // 64 x 64: 0 bronze, 1 silver, 2 gold
Canvas SpecialTrophy();       // 128 x 128
Canvas Padlock();             // 32 x 32
Canvas CheckMark();           // 32 x 32
Canvas SkillPips(int level);  // 128 x 16: `level` of five pips lit
Canvas PadDiagram();          // 256 x 128: a game pad outline for the controller screen

// "frontend\loadscrn\loadscrn.ps2": the full-screen loading picture with the bar's trough at
// (248, 170) - (446, 180) in screen pixels; "frontend\loadscrn\loadbar.ps2": the bar's fill.
BitmapImage LoadingScreenImage();
BitmapImage LoadingBarImage();
