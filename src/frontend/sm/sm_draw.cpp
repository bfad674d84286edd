#include "frontend/sm/sm_draw.h"

#include <algorithm>
#include <cstring>

#include "console/mem/addr.h"
#include "engine/hal/display.h"
#include "engine/hal/prim.h"
#include "engine/hal/render_context.h"
#include "engine/hal/texture_manager.h"
#include "engine/sys/clock.h"
#include "engine/sys/heap.h"

float SMOS_Z = SMOS_ZBase;

namespace {

struct ClipArea {
    int32_t L = 0, T = 0, R = 639, B = 447;
};
ClipArea g_clip;
_ve_view g_view{};
bool g_viewMade = false;
uint32_t g_mode = 0;
uint32_t g_pageFlips = 0;
float g_startTime = 0.0f;
// The render contexts the last quad left on (kRenderAlpha | kRenderTexture bits); -1 = unknown.
int32_t g_contexts = -1;
_FS_BITMAP g_texture{};
int g_textureValid = 0;
// The image's own size inside the texture, whose rows may be longer (a glyph's lines run to its advance).
uint32_t g_imageWidth = 0, g_imageHeight = 0;
// The sides the texture is sampled with (powers of two).
uint32_t g_spanWidth = 1, g_spanHeight = 1;

void Contexts(uint32_t want) {
    if (g_contexts == int32_t(want)) return;
    const uint32_t off = (kRenderAlpha | kRenderTexture | kRenderShading) & ~want;
    if (off) veRenderContextDisable(off);
    if (want) veRenderContextEnable(want);
    g_contexts = int32_t(want);
}

struct Corner {
    float r, g, b, a;
};
Corner Split(uint32_t c) {
    return {float((c >> 16) & 0xFF), float((c >> 8) & 0xFF), float(c & 0xFF), float(c >> 24)};
}
Corner Lerp(const Corner& p, const Corner& q, float t) {
    return {p.r + (q.r - p.r) * t, p.g + (q.g - p.g) * t, p.b + (q.b - p.b) * t, p.a + (q.a - p.a) * t};
}

// One quad over [x0, x1) x [y0, y1) with colours at the corners TL, TR, BL, BR and texture coordinates
// s0..s1, t0..t1, cut to the clip area.
void Quad(float x0, float y0, float x1, float y1, float z, const Corner c[4], float s0, float t0, float s1,
          float t1, uint32_t contexts) {
    if (x1 <= x0 || y1 <= y0) return;
    const float cx0 = std::max(x0, float(g_clip.L)), cx1 = std::min(x1, float(g_clip.R + 1));
    const float cy0 = std::max(y0, float(g_clip.T)), cy1 = std::min(y1, float(g_clip.B + 1));
    if (cx1 <= cx0 || cy1 <= cy0) return;
    const float w = x1 - x0, h = y1 - y0;
    const float u[2] = {(cx0 - x0) / w, (cx1 - x0) / w}, v[2] = {(cy0 - y0) / h, (cy1 - y0) / h};
    Contexts(contexts);
    _ve_quad q;
    std::memset(&q, 0, sizeof q);
    _ve_vertex* out[4] = {&q.v1, &q.v2, &q.v3, &q.v4};
    const int ui[4] = {0, 1, 1, 0}, vi[4] = {0, 0, 1, 1};  // TL, TR, BR, BL
    for (int i = 0; i < 4; ++i) {
        const float fu = u[ui[i]], fv = v[vi[i]];
        const Corner top = Lerp(c[0], c[1], fu), bottom = Lerp(c[2], c[3], fu), k = Lerp(top, bottom, fv);
        _ve_vertex& o = *out[i];
        o.x = ui[i] ? cx1 : cx0;
        o.y = vi[i] ? cy1 : cy0;
        o.z = z;
        o.w = 1.0f;
        o.s = s0 + (s1 - s0) * fu;
        o.t = t0 + (t1 - t0) * fv;
        o.q = 1.0f;
        o.r = uint32_t(k.r + 0.5f), o.g = uint32_t(k.g + 0.5f), o.b = uint32_t(k.b + 0.5f),
        o.a = uint32_t(k.a + 0.5f);
    }
    vePrimDrawQuad(&q);
}

}  // namespace

void DRAW_Init() {
    int16_t w, h;
    ENG_GetResolution(&w, &h);
    veDisplayCreateView2D(&g_view, 0, 0, uint16_t(w), uint16_t(h), kViewAspectFromViewport, 0.001f);
    g_viewMade = true;
    // The clip area starts at the whole screen, so nodes that clip are cut only at its edges.
    ENG_Set2DClipArea(0, 0, w - 1, h - 1);
    g_contexts = -1;
    g_startTime = 0.0f;
}

void DRAW_BeginFrame() {
    if (!g_viewMade) DRAW_Init();
    veDisplayActivateView(&g_view);
    SMOS_Z = SMOS_ZBase;
    g_contexts = -1;
}

void DRAW_InvalidateState() {
    g_contexts = -1;
}

_ve_view* DRAW_GetView() {
    return &g_view;
}

void ENG_Set2DClipArea(int32_t L, int32_t T, int32_t R, int32_t B) {
    g_clip = {L, T, R, B};
}

void ENG_Get2DClipArea(int32_t* L, int32_t* T, int32_t* R, int32_t* B) {
    *L = g_clip.L, *T = g_clip.T, *R = g_clip.R, *B = g_clip.B;
}

void ENG_GetResolution(int16_t* width, int16_t* height) {
    *width = int16_t(veDisplayGetXRes());
    *height = int16_t(veDisplayGetYRes());
}

float ENG_GetRunTime() {
    return x_GetTime() - g_startTime;
}

uint32_t ENG_GetPageFlipCount() {
    return g_pageFlips;
}

void ENG_CountPageFlip() {
    ++g_pageFlips;
}

void VRAM_InitInstance(uint32_t* instance) {
    *instance = 0;
}

int VRAM_SetupFromBMP(uint32_t* instance, BMP_INSTANCE* bmp) {
    *instance = bmp ? Addr32(bmp) : 0;
    return 0;
}

void VRAM_KillInstance(uint32_t* instance) {
    if (*instance) x_free(Ptr<BMP_INSTANCE>(*instance));
    *instance = 0;
}

void DRAW_SetupBitmap(BMP_INSTANCE* bmp, int format, int width, int height, int lineBytes, const void* pixels,
                      const void* palette, int colours) {
    BMP_SetupBitmap(bmp, format, width, height, lineBytes, 0, 0, pixels ? Addr32(pixels) : 0, 0, 0,
                    uint32_t(colours) * 4, palette ? Addr32(palette) : 0, colours);
}

void DRAW_SetMode(uint32_t mode) {
    for (int d = 0; d < 5; ++d) {
        const uint32_t digit = (mode >> (4 * d)) & 0xF;
        if (digit != 5 && digit != 3) continue;
        const bool on = d == 0 ? digit == 5 : digit == 3;
        if (on)
            g_mode |= 1u << d;
        else
            g_mode &= ~(1u << d);
    }
}

void DRAW_ClearMode() {
    g_mode = 0;
}

uint32_t DRAW_GetMode() {
    return g_mode;
}

int DRAW_SetTexture(const uint32_t* instance) {
    g_textureValid = 0;
    const BMP_INSTANCE* bmp = instance && *instance ? Ptr<BMP_INSTANCE>(*instance) : nullptr;
    if (!bmp) return 0;
    _FS_BITMAP& t = g_texture;
    std::memset(&t, 0, sizeof t);
    switch (bmp->format) {
        case 0x0C:
            t.bitsPerPixel = 32;
            break;
        case 0x0F:
            t.bitsPerPixel = 24;
            break;
        case 0x04:
            t.bitsPerPixel = 16;
            break;
        case 0x10:
        case 0x12:
            t.bitsPerPixel = 4, t.palettized = 1;
            break;
        case 0x1A:
        case 0x1C:
            t.bitsPerPixel = 8, t.palettized = 1;
            break;
        default:
            return 0;
    }
    // Rows as long as the line length says; the image is the first dims[0] pixels of each.
    const uint32_t lineWidth = t.bitsPerPixel ? uint32_t(bmp->dims[2]) * 8u / t.bitsPerPixel : 0;
    t.width = lineWidth > bmp->dims[0] ? lineWidth : bmp->dims[0];
    t.height = bmp->dims[1];
    g_imageWidth = bmp->dims[0];
    g_imageHeight = bmp->dims[1];
    // The graphics synthesizer samples a texture of power-of-two sides: an image of other sides (a glyph)
    // sits in the top-left corner of the next larger one.
    auto log2Up = [](uint32_t v) {
        uint32_t b = 0;
        while ((1u << b) < v) ++b;
        return b;
    };
    t.deviceInfo[0] = log2Up(t.width);
    t.deviceInfo[1] = log2Up(t.height);
    g_spanWidth = 1u << t.deviceInfo[0];
    g_spanHeight = 1u << t.deviceInfo[1];
    t.numColors = t.palettized ? bmp->count : 0;
    t.pixdata = bmp->words[0];
    t.coldata = t.palettized ? bmp->words[2] : 0;
    ve_texture_handle* h = veTextureLoadTextureMem(&t);
    if (!h) return 0;
    veDisplaySetActiveTexture(h);
    g_textureValid = 1;
    return 1;
}

void DRAW_Sprite(uint32_t colour, int32_t x, int32_t y, float z, int32_t w, int32_t h) {
    DRAW_SpriteUV(colour, x, y, z, w, h, 0.0f, 0.0f, float(g_imageWidth), float(g_imageHeight));
}

void DRAW_SpriteUV(uint32_t colour, int32_t x, int32_t y, float z, int32_t w, int32_t h, float uMin,
                   float vMin, float uMax, float vMax) {
    if (!g_textureValid || g_texture.width == 0 || g_texture.height == 0) return;
    const Corner c = Split(colour);
    const Corner cs[4] = {c, c, c, c};
    const float tw = float(g_spanWidth), th = float(g_spanHeight);
    Quad(float(x), float(y), float(x + w), float(y + h), SMOS_Z, cs, uMin / tw, vMin / th, uMax / tw,
         vMax / th, kRenderAlpha | kRenderTexture);
    SMOS_Z -= SMOS_ZInc;
}

void DRAW_Rectangle(uint32_t tl, uint32_t tr, uint32_t bl, uint32_t br, int32_t x, int32_t y, float z,
                    int32_t w, int32_t h) {
    const Corner cs[4] = {Split(tl), Split(tr), Split(bl), Split(br)};
    Quad(float(x), float(y), float(x + w), float(y + h), z, cs, 0, 0, 0, 0, kRenderAlpha | kRenderShading);
}
