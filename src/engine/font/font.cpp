#include "engine/font/font.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "console/cd/disc_faults.h"
#include "console/mem/addr.h"
#include "engine/hal/prim.h"
#include "engine/hal/render_context.h"
#include "engine/hal/texture_manager.h"
#include "engine/sys/files.h"
#include "engine/sys/heap.h"
#include "engine/sys/loaded_files.h"

// The engine's internal state (namespace engine) is used here unqualified.
using namespace engine;

namespace engine {
_font* fonts = nullptr;
_font* freefonts = nullptr;
_font* usedfonts = nullptr;
int32_t cursorX = 0, cursorY = 0;
char printfBuffer[256];
}  // namespace engine

namespace {

_font* g_debugFont = nullptr;

uint64_t PixelBytes(const _font_data& d) {
    return uint64_t(d.bitmapWidth) * d.bitmapHeight * d.bitmapType;
}

FormatCheck g_refusal;  // the reason of the last refusal

// The header's own checks; `available` = bytes after the header (UINT64_MAX: not known yet).
// `where`: the image in memory, whose disc file opens the refusal line (null: `name` is the file).
bool CheckHeader(const _font_data& d, uint64_t available, const char* name, const void* where) {
    auto refuse = [name, where](const char* why, unsigned a) {
        g_refusal = FormatCheck::Fail(why, a);
        x_printf("%sveFont: \"%s\": ", x_FileOf(where), name);
        x_printf(why, a);
        x_printf("; font refused\n");
        return false;
    };
    if (d.bitmapType < 1 || d.bitmapType > 4) return refuse("%u bytes per pixel", d.bitmapType);
    if (d.bitmapWidth == 0 || d.bitmapHeight == 0 || d.bitmapWidth > 1024 || d.bitmapHeight > 1024)
        return refuse("bitmap of %u pixels in width or height",
                      d.bitmapWidth > d.bitmapHeight ? d.bitmapWidth : d.bitmapHeight);
    // The palette follows the pixels and is sent by DMA: it has to start on a quadword.
    if (PixelBytes(d) % 16 != 0)
        return refuse("bitmap of %u bytes is not a whole number of quadwords", unsigned(PixelBytes(d)));
    if (d.bitmapType == 1 && (d.clutSize == 0 || d.clutSize > 1024 || d.clutSize % 16 != 0))
        return refuse("palette of %u bytes", d.clutSize);
    const uint64_t need = PixelBytes(d) + (d.bitmapType == 1 ? d.clutSize : 0);
    if (need > available) return refuse("image needs %u bytes after its header", unsigned(need));
    for (int c = 0; c < kFontCells; ++c) {
        const _char_data& cd = d.charData[c];
        if (!cd.defined) continue;
        const _rect& r = cd.bounds;
        if (r.topLeft.x < 0 || r.topLeft.y < 0 || r.botRight.x < r.topLeft.x || r.botRight.y < r.topLeft.y ||
            r.botRight.x > d.bitmapWidth || r.botRight.y > d.bitmapHeight)
            return refuse("cell %u lies outside the bitmap", unsigned(c));
    }
    return true;
}

int32_t VAlignAdjust(const _font* f) {
    const _font_data* d = f->data;
    if (!d) return 0;
    switch (f->vAlign) {
        case 0:
            return d->ascent;
        case 1:
            return int32_t(d->ascent) - (d->height >> 1);
        case 3:
            return -int32_t(d->descent);
        default:
            return 0;
    }
}

// Advance of character code c (0 for codes outside the table).
int32_t Advance(const _font* f, unsigned char c) {
    if (f->monoSpacing) return f->monoSpacing;
    if (c == ' ') return f->data->wordSpacing;
    if (c < kFontCells && f->data->charData[c].defined) return f->data->charData[c].width;
    return 0;
}

void FillBitmap(_font* f) {
    _font_data* d = f->data;
    _FS_BITMAP& b = f->fsBitmap;
    std::memset(&b, 0, sizeof b);
    b.width = d->bitmapWidth;
    b.height = d->bitmapHeight;
    b.bitsPerPixel = static_cast<uint16_t>(d->bitmapType * 8);
    b.palettized = d->bitmapType <= 1 ? 1 : 0;
    // Only the palette the image has: its entries, never a larger count.
    b.numColors = b.palettized ? d->clutSize / 4 : 0;
    std::memcpy(b.id, kBitmapMagic, sizeof kBitmapMagic);
    b.pixdata = d->bitmapData;
    b.coldata = b.palettized ? d->colData : 0;
}

void InstanceDefaults(_font* f) {
    f->rgba = 0x80808080;
    f->spacing = static_cast<int8_t>(f->data->spacing);
    f->leading = static_cast<int8_t>(f->data->leading);
    f->monoSpacing = 0;
    f->vAlign = 0;
    f->hAlign = 0;
    f->vAlignAdjust = f->data->ascent;
}

void OwnView(_font* f, int32_t ownView, float depth) {
    if (ownView) veDisplayCreateView2D(&f->viewPort, 0, 0, veDisplayGetXRes(), veDisplayGetYRes(), 0, depth);
    f->bSetViewport = ownView;
}

void FreeImage(_font_data* d) {
    if (!d) return;
    d->useCount = static_cast<int16_t>(d->useCount - 1);
    if (d->useCount > 0) return;
    if ((d->memStatus & 0x02) && d->bitmapData) x_free(Ptr<void>(d->bitmapData));
    if (d->memStatus & 0x01) x_free(d);
}

void DebugPrint(const char* text, int x, int y) {
    if (g_debugFont) veFontPrintfXY(g_debugFont, x, y, "%s", text);
}

}  // namespace

FormatCheck CheckFontImage(const void* image, size_t length) {
    if (!image || length < kFontHeaderBytes) {
        const FormatCheck c =
            FormatCheck::Fail("image of %zu bytes is shorter than its header", image ? length : size_t{0});
        x_printf("%sveFont: %s; font refused\n", x_FileOf(image), c.why);
        return c;
    }
    _font_data d;
    std::memcpy(&d, image, sizeof d);
    return CheckHeader(d, length - kFontHeaderBytes, "(memory)", image) ? FormatCheck::Pass() : g_refusal;
}

int veFontCheckImage(const void* image, size_t length) {
    return CheckFontImage(image, length).ok ? 1 : 0;
}

_font* veFontAlloc(const char* name) {
    if (!fonts) {
        fonts = static_cast<_font*>(x_fn_malloc(sizeof(_font) * numFonts, "", 0));
        if (!fonts) return nullptr;
        std::memset(fonts, 0, sizeof(_font) * numFonts);
        freefonts = nullptr;
        usedfonts = nullptr;
        for (int i = numFonts - 1; i >= 0; --i) {
            fonts[i].next = freefonts;
            if (freefonts) freefonts->prev = &fonts[i];
            freefonts = &fonts[i];
        }
    }
    _font* f = freefonts;
    if (!f) return nullptr;
    freefonts = f->next;
    if (freefonts) freefonts->prev = nullptr;
    f->prev = nullptr;
    f->next = usedfonts;
    if (usedfonts) usedfonts->prev = f;
    usedfonts = f;
    f->data = nullptr;
    std::snprintf(f->filename, sizeof f->filename, "%s", name ? name : "");
    for (_font* o = usedfonts; o; o = o->next)
        if (o != f && o->data && std::strncmp(o->filename, f->filename, 256) == 0) {
            f->data = o->data;
            f->data->useCount = static_cast<int16_t>(f->data->useCount + 1);
            break;
        }
    return f;
}

void veFontFree(_font* f) {
    if (!f) return;
    // A font freed twice would link the free list into a ring; refuse it and say so.
    for (_font* o = freefonts; o; o = o->next)
        if (o == f) {
            x_printf("veFontFree: font \"%s\" is already free\n", f->filename);
            return;
        }
    if (f == g_debugFont) veFontSetDebugFont(nullptr);
    FreeImage(f->data);
    f->data = nullptr;
    if (f->prev)
        f->prev->next = f->next;
    else if (usedfonts == f)
        usedfonts = f->next;
    if (f->next) f->next->prev = f->prev;
    f->prev = nullptr;
    f->next = freefonts;
    if (freefonts) freefonts->prev = f;
    freefonts = f;
}

void veFontDestroy(_font* f) {
    veFontFree(f);
}

_font* veFontCreateFromFile(const char* name, int32_t ownView) {
    _font* f = veFontAlloc(name);
    if (!f) return nullptr;
    if (!f->data) {
        X_FILE* file = x_fopen(name, "rb");
        if (!file) {
            x_printf("veFontCreateFromFile: cannot open \"%s\"\n", name);
            console::CdReportUnavailable(name);  // the user hears why
            veFontFree(f);
            return nullptr;
        }
        // A read that falls short of what the file holds failed on the disc: that is no damaged font.
        x_fseek(file, 0, 2);
        const int size = x_ftell(file);
        x_fseek(file, 0, 0);
        const uint64_t fileLength = size > 0 ? static_cast<uint64_t>(size) : 0;
        bool unread = false;
        auto* d = static_cast<_font_data*>(x_fn_malloc(kFontHeaderBytes, "", 0));
        uint8_t* bits = nullptr;
        // What is wrong with the font file when it is refused whole (null: it was not, or for want of
        // memory or a read).
        const char* damage = nullptr;
        bool ok = d && x_fread(d, kFontHeaderBytes, 1, file) == 1;
        if (!ok && d) {
            unread = fileLength >= kFontHeaderBytes;
            if (!unread) {
                x_printf("veFontCreateFromFile: \"%s\" is shorter than its header\n", name);
                damage = "shorter than its header";
            }
        }
        if (ok && !CheckHeader(*d, UINT64_MAX, name, nullptr)) {
            ok = false;
            damage = g_refusal.why;
        }
        uint64_t bytes = 0;
        if (ok) {
            bytes = PixelBytes(*d) + (d->bitmapType == 1 ? d->clutSize : 0);
            bits = static_cast<uint8_t*>(x_fn_malloc(static_cast<uint32_t>(bytes), "", 0));
            ok = bits && x_fread(bits, static_cast<int>(bytes), 1, file) == 1;
            unread = !ok && bits && fileLength >= kFontHeaderBytes + bytes;
            if (!ok && bits && !unread) {
                x_printf("veFontCreateFromFile: \"%s\" is shorter than its bitmap\n", name);
                damage = "shorter than its bitmap";
            }
        }
        x_fclose(file);
        if (unread) {
            x_printf("veFontCreateFromFile: cannot read \"%s\"\n", name);
            console::CdReportUnavailable(name);  // the user hears why
        }
        // The game goes on without the font, as without a missing one: the user hears why.
        if (damage) console::CdReportDamaged(name, damage);
        if (!ok) {
            if (bits) x_free(bits);
            if (d) x_free(d);
            veFontFree(f);
            return nullptr;
        }
        d->bitmapData = Addr32(bits);
        d->colData = d->bitmapType == 1 ? d->bitmapData + static_cast<uint32_t>(PixelBytes(*d)) : 0;
        d->useCount = 1;
        d->memStatus = 3;
        d->texHandle = 0;
        f->data = d;
    }
    OwnView(f, ownView, 0.3f);
    InstanceDefaults(f);
    FillBitmap(f);
    return f;
}

_font* veFontCreateFromPointer(const char* name, _font_data* image, size_t length, int32_t owned,
                               int32_t ownView) {
    if (!veFontCheckImage(image, length)) return nullptr;
    // The bitmap is sent to the GS by DMA straight from the image.
    if (reinterpret_cast<uintptr_t>(image) % 16 != 0) {
        x_printf("%sveFont: \"%s\": image not on a 16-byte boundary; font refused\n", x_FileOf(image),
                 name ? name : "");
        return nullptr;
    }
    const uint8_t mem = owned ? 1 : 0;
    auto prepare = [&]() {
        image->bitmapData = Addr32(reinterpret_cast<uint8_t*>(image) + kFontHeaderBytes);
        image->colData =
            image->bitmapType == 1 ? image->bitmapData + static_cast<uint32_t>(PixelBytes(*image)) : 0;
        image->memStatus = mem;
        image->texHandle = 0;
    };
    _font* latest = nullptr;
    for (_font* o = usedfonts; o; o = o->next)
        if (std::strncmp(o->filename, name ? name : "", 256) == 0) {
            if (!latest) {
                // The new image replaces the old one in every font of that name.
                prepare();
                image->useCount = 0;
                latest = o;  // the list's head is the most recently created
            }
            if (o->data != image) {
                _font_data* old = o->data;
                if (old) {
                    old->useCount = static_cast<int16_t>(old->useCount - 1);
                    if (old->useCount == 0) {
                        if ((old->memStatus & 0x02) && old->bitmapData) x_free(Ptr<void>(old->bitmapData));
                        if (old->memStatus & 0x01) x_free(old);
                    }
                }
                o->data = image;
                image->useCount = static_cast<int16_t>(image->useCount + 1);
            }
            o->spacing = static_cast<int8_t>(image->spacing);
            o->leading = static_cast<int8_t>(image->leading);
            if (o->monoSpacing) o->monoSpacing = image->maxWidth;
            FillBitmap(o);
        }
    if (latest) return latest;
    _font* f = veFontAlloc(name);
    if (!f) return nullptr;
    if (f->data) FreeImage(f->data);  // shared by name but no used font had it: cannot happen, be safe
    prepare();
    f->data = image;
    image->useCount = 1;
    InstanceDefaults(f);
    OwnView(f, ownView, 1e-9f);
    FillBitmap(f);
    return f;
}

void veFontSetSpacing(_font* f, int8_t s) {
    f->spacing = s;
}
int8_t veFontGetSpacing(const _font* f) {
    return f->spacing;
}

void veFontSetVerticalAlignment(_font* f, uint8_t a) {
    f->vAlign = a;
    f->vAlignAdjust = VAlignAdjust(f);
}

void veFontSetHorizontalAlignment(_font* f, uint8_t a) {
    f->hAlign = a;
}
void veFontSetColor(_font* f, uint32_t rgba) {
    f->rgba = rgba;
}
uint32_t veFontGetColor(const _font* f) {
    return f->rgba;
}

void veFontSetMonoSpacing(_font* f) {
    f->monoSpacing = f->data ? f->data->maxWidth : 0;
    f->spacing = 0;
}

int32_t veFontGetStrWidth(const _font* f, const char* text) {
    if (!f || !f->data || !text) return 0;
    int32_t w = 0;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        const int32_t a = Advance(f, *p);
        if (a != 0) w += a + f->spacing;
    }
    return w - f->spacing;
}

void veFontSetupQuad(_font* f, _ve_quad* q) {
    if (f->bSetViewport) veDisplayActivateView(&f->viewPort);
    std::memset(q, 0, sizeof *q);
    _ve_vertex* v[4] = {&q->v1, &q->v2, &q->v3, &q->v4};
    for (_ve_vertex* x : v) {
        x->r = f->rgba & 0xFF;
        x->g = (f->rgba >> 8) & 0xFF;
        x->b = (f->rgba >> 16) & 0xFF;
        x->a = f->rgba >> 24;
    }
}

void veFontSetupPrim(const _font* f, const _char_data* c, _ve_quad* q) {
    const _font_data* d = f->data;
    const float w = float(c->bounds.botRight.x - c->bounds.topLeft.x);
    const float h = float(c->bounds.botRight.y - c->bounds.topLeft.y);
    float x0 = float(cursorX);
    if (f->monoSpacing) x0 += (float(f->monoSpacing) - (w + 0.5f)) / 2.0f;
    const float x1 = x0 + w + 0.5f;
    const float y0 = float(cursorY + f->vAlignAdjust - c->baseline);
    const float y1 = y0 + h + 0.5f;
    const float bw = float(d->bitmapWidth), bh = float(d->bitmapHeight);
    const float s0 = (float(c->bounds.topLeft.x) + 0.5f) / bw, s1 = s0 + (w + 0.5f) / bw;
    const float t0 = (float(c->bounds.topLeft.y) + 0.5f) / bh, t1 = t0 + (h + 0.5f) / bh;
    const float xs[4] = {x0, x1, x1, x0}, ys[4] = {y0, y0, y1, y1};
    const float ss[4] = {s0, s1, s1, s0}, ts[4] = {t0, t0, t1, t1};
    _ve_vertex* v[4] = {&q->v1, &q->v2, &q->v3, &q->v4};
    for (int i = 0; i < 4; ++i) {
        v[i]->x = xs[i];
        v[i]->y = ys[i];
        v[i]->z = 512.0f;
        v[i]->w = 1.0f;
        v[i]->s = ss[i];
        v[i]->t = ts[i];
        v[i]->q = 1.0f;
    }
}

void veFontDrawStr(_font* f, const char* text) {
    if (!f || !f->data || !text) return;
    ve_texture_handle* h = veTextureLoadTextureMem(&f->fsBitmap);
    if (!h) return;
    f->data->texHandle = Addr32(h);
    veDisplaySetActiveTexture(h);
    veRenderContextEnable(kRenderAlpha | kRenderTexture);
    _ve_quad q;
    veFontSetupQuad(f, &q);
    if (f->hAlign == 1)
        cursorX -= veFontGetStrWidth(f, text) >> 1;
    else if (f->hAlign == 2)
        cursorX -= veFontGetStrWidth(f, text);
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        const unsigned char c = *p;
        if (c == ' ') {
            cursorX += f->spacing + Advance(f, c);
            continue;
        }
        // Codes past the table have no glyph.
        if (c >= kFontCells || !f->data->charData[c].defined) continue;
        veFontSetupPrim(f, &f->data->charData[c], &q);
        vePrimDrawQuad(&q);
        cursorX += f->spacing + Advance(f, c);
    }
    veRenderContextDisable(kRenderAlpha | kRenderTexture);
}

void veFontPrintfXY(_font* f, int32_t x, int32_t y, const char* format, ...) {
    cursorX = x;
    cursorY = y;
    va_list args;
    va_start(args, format);
    std::vsnprintf(printfBuffer, sizeof printfBuffer, format, args);
    va_end(args);
    veFontDrawStr(f, printfBuffer);
}

void veFontSetDebugFont(_font* f) {
    g_debugFont = f;
    if (f) {
        veFontSetVerticalAlignment(f, 2);
        veFontSetColor(f, 0xFFFFFFFF);
        veFontSetMonoSpacing(f);
    }
    x_GetIODriver()->FnPrintAt = f ? DebugPrint : nullptr;
}

_font* veFontGetDebugFont() {
    return g_debugFont;
}
