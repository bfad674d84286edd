#include "frontend/sm/sm_dlist.h"

#include <cmath>
#include <cstring>

#include "console/mem/addr.h"
#include "engine/font/font.h"
#include "engine/sys/heap.h"
#include "engine/sys/strings.h"
#include "frontend/sm/sm_core.h"
#include "frontend/sm/sm_draw.h"
#include "frontend/sm/sm_resource.h"

int32_t DrawValid = 0;
_sm_bufstring BufString[SM_MAXBUFSTRINGS];
int32_t BufferedFont = -1, BufferedClut = -1;
_dl_bound CurBounds{0, 639, 0, 447};
int32_t nStrings = 0;

namespace {

int32_t g_lastCol = 639, g_lastRow = 447;

// A position in pixels from a float: truncated, within +-1e8 (scales multiply down a tree), 0 for a NaN.
int32_t ToPixel(float v) {
    if (!(v == v)) return 0;
    if (v > 1e8f) return 100000000;
    if (v < -1e8f) return -100000000;
    return int32_t(v);
}
int32_t RoundPixel(float v) {
    return ToPixel(v < 0 ? v - 0.5f : v + 0.5f);
}

bool Overlap(const _dl_bound& a, const _dl_bound& b) {
    return a.L <= b.R && b.L <= a.R && a.T <= b.B && b.T <= a.B;
}

// Draws the buffered text first when `b` overlaps a buffered string, so that what is drawn next covers
// the text drawn before it.
void FlushIfOverlapping(const _dl_bound& b) {
    for (int i = 0; i < nStrings; ++i)
        if (Overlap(b, _dl_bound{BufString[i].L, BufString[i].R, BufString[i].T, BufString[i].B})) {
            FlushTextBuffer();
            return;
        }
}

_smdlhdr* Node(uint32_t addr) {
    return Ptr<_smdlhdr>(addr);
}

// Runs `draw` with the engine clip area cut to `clip` when the node asks for clipping; nothing when the
// cut is empty.
template <typename F>
void Clipped(const _smdlhdr* node, const _dl_bound& clip, F draw) {
    if (!(node->Flags & SM_FLAG_CLIP)) {
        draw();
        return;
    }
    int32_t L, T, R, B;
    ENG_Get2DClipArea(&L, &T, &R, &B);
    _dl_bound cut{L, R, T, B};
    if (!SM_DLMergeBounds(&cut, &clip)) return;
    ENG_Set2DClipArea(cut.L, cut.T, cut.R, cut.B);
    draw();
    ENG_Set2DClipArea(L, T, R, B);
}

// Which of three state variants a context selects: 2 disabled, 1 highlighted, 0 normal.
int State(const _sm_dldc& dc) {
    return (dc.Flags & SM_FLAG_DISABLED) ? 2 : (dc.Flags & SM_FLAG_HIGHLIGHTED) ? 1 : 0;
}

}  // namespace

void SM_InitDListModule(int32_t width, int32_t height) {
    for (int i = 0; i < nStrings; ++i) x_free(BufString[i].Chars);
    nStrings = 0;
    g_lastCol = width - 1;
    g_lastRow = height - 1;
    ENG_Set2DClipArea(0, 0, g_lastCol, g_lastRow);
    CurBounds = {0, g_lastCol, 0, g_lastRow};
    DrawValid = 0;
}

void SM_KillDListModule() {
    for (int i = 0; i < nStrings; ++i) x_free(BufString[i].Chars);
    nStrings = 0;
}

_sm_dldc SM_DLRootContext() {
    _sm_dldc dc{};
    dc.XScale = dc.YScale = 1.0f;
    dc.Alpha = 128;
    dc.Rgn = {0, g_lastCol, 0, g_lastRow};
    return dc;
}

int SM_DLMergeBounds(_dl_bound* a, const _dl_bound* b) {
    if (b->L > a->L) a->L = b->L;
    if (b->T > a->T) a->T = b->T;
    if (b->R < a->R) a->R = b->R;
    if (b->B < a->B) a->B = b->B;
    int ok = 1;
    if (a->R < a->L) a->R = a->L, ok = 0;
    if (a->B < a->T) a->B = a->T, ok = 0;
    return ok;
}

int SM_DLCombineWithDC(_dl_bound* bounds, _dl_bound* clip, const _smdlhdr* n, _sm_dldc* dc) {
    if (!(dc->Flags & SM_FLAG_NOINHERIT)) dc->Flags |= n->Flags & (SM_FLAG_HIGHLIGHTED | SM_FLAG_DISABLED);
    dc->Flags |= n->Flags & (SM_FLAG_HALFALPHA | SM_FLAG_VISIBLE | SM_FLAG_CLIP | SM_FLAG_CLIPOFFSET);
    if (n->Alpha < 255) dc->Alpha = uint8_t(uint32_t(dc->Alpha) * n->Alpha / 255);
    if (dc->Flags & SM_FLAG_HALFALPHA) dc->Alpha = uint8_t(dc->Alpha / 2);
    if (dc->Alpha == 0 || !(n->Flags & SM_FLAG_VISIBLE)) return 0;

    const float oxs = dc->XScale, oys = dc->YScale;
    _dl_bound b;
    if (oxs == 1.0f && oys == 1.0f && n->xScale == 1.0f && n->yScale == 1.0f) {
        b.L = dc->ox + n->x + n->xOffset;
        b.T = dc->oy + n->y + n->yOffset;
        b.R = b.L + n->w - 1;
        b.B = b.T + n->h - 1;
    } else {
        const float cx = oxs * (float(n->x + n->xOffset) + float(n->w) / 2);
        const float cy = oys * (float(n->y + n->yOffset) + float(n->h) / 2);
        dc->XScale *= n->xScale;
        dc->YScale *= n->yScale;
        const float hw = float(n->w) * dc->XScale / 2, hh = float(n->h) * dc->YScale / 2;
        b.L = ToPixel(float(dc->ox) + cx - hw);
        b.R = ToPixel(float(dc->ox) + cx + hw);
        b.T = ToPixel(float(dc->oy) + cy - hh);
        b.B = ToPixel(float(dc->oy) + cy + hh);
    }

    _dl_bound c;
    const bool byOffset = n->Flags & SM_FLAG_CLIPOFFSET, centred = n->Flags & SM_FLAG_FIXEDUP;
    if (byOffset && centred) {
        c = b;
    } else if (!byOffset && !centred) {
        c.L = dc->ox + ToPixel(float(n->x) * oxs);
        c.T = dc->oy + ToPixel(float(n->y) * oys);
        c.R = c.L + n->w - 1;
        c.B = c.T + n->h - 1;
    } else {
        const float cx = (float(n->x) + float(n->w) / 2) * oxs + (byOffset ? float(n->xOffset) : 0.0f);
        const float cy = (float(n->y) + float(n->h) / 2) * oys + (byOffset ? float(n->yOffset) : 0.0f);
        const float hw = centred ? float(n->w) * dc->XScale / 2 : float(n->w) / 2;
        const float hh = centred ? float(n->h) * dc->YScale / 2 : float(n->h) / 2;
        c.L = dc->ox + ToPixel(cx - hw);
        c.R = dc->ox + ToPixel(cx + hw);
        c.T = dc->oy + ToPixel(cy - hh);
        c.B = dc->oy + ToPixel(cy + hh);
    }
    if (c.L < 0) c.L = 0;
    if (c.T < 0) c.T = 0;
    if (c.L > g_lastCol || c.T > g_lastRow || c.R < 0 || c.B < 0) return 0;
    if (c.R > g_lastCol) c.R = g_lastCol;
    if (c.B > g_lastRow) c.B = g_lastRow;
    if (c.R < c.L) c.R = c.L;
    if (c.B < c.T) c.B = c.T;

    dc->ox = b.L;
    dc->oy = b.T;
    dc->Rgn = b;
    if (bounds) *bounds = b;
    if (clip) *clip = c;
    return 1;
}

void SM_DrawDisplayList(_smdlhdr* node, const _sm_dldc* dc) {
    if (!node || !(node->Flags & SM_FLAG_VISIBLE)) return;
    DrawDisplayNode(node, dc);
}

void SM_DrawChildDisplayList(_smdlhdr* first, const _sm_dldc* dc) {
    for (_smdlhdr* n = first; n; n = Node(n->pNext))
        if (n->Flags & SM_FLAG_VISIBLE) DrawDisplayNode(n, dc);
}

void DrawDisplayNode(_smdlhdr* node, const _sm_dldc* dc) {
    switch (node->Type) {
        case SM_TYPE_GROUP:
        case SM_TYPE_SCREEN:
            SM_DLDrawScreen(node, dc);
            break;
        case SM_TYPE_SPRITE:
            SM_DLDrawSprite(node, dc);
            break;
        case SM_TYPE_TEXT:
            SM_DLDrawTextString(node, dc);
            break;
        case SM_TYPE_GOURAUD:
            SM_DLDrawGouraudRect(node, dc);
            break;
        case SM_TYPE_INSTANCE:
            SM_DLDrawInstance(node, dc);
            break;
        default:
            // A render procedure that keeps no draw state draws outside the text buffer.
            if (!(SM_GetSMPFlags(node->Type) & 1)) FlushTextBuffer();
            DRAW_ClearMode();
            DrawValid = 0;
            {
                _sm_dldc copy = *dc;
                SM_RenderSMP(node, &copy);
            }
            DRAW_InvalidateState();
            DrawValid = 0;
            break;
    }
}

void SM_DLDrawScreen(_smdlhdr* node, const _sm_dldc* dc) {
    if (node->Type == SM_TYPE_SCREEN) DrawValid = 0;
    _sm_dldc d = *dc;
    _dl_bound b, c;
    if (!SM_DLCombineWithDC(&b, &c, node, &d)) return;
    Clipped(node, c, [&] { SM_DrawChildDisplayList(Node(node->pChildren), &d); });
}

void SM_DLDrawSprite(_smdlhdr* node, const _sm_dldc* dc) {
    _sm_dldc d = *dc;
    _dl_bound b, c;
    if (!SM_DLCombineWithDC(&b, &c, node, &d)) return;
    const auto* s = reinterpret_cast<const _sm_spritenode*>(node);
    Clipped(node, c, [&] {
        FlushIfOverlapping(b);
        if (!DRAW_SetTexture(SM_GetSpriteImage(s->Sprite, 1))) return;
        DRAW_Sprite(uint32_t(d.Alpha) << 24 | 0x808080u, b.L, b.T, 0.0f, b.R - b.L + 1, b.B - b.T + 1);
    });
}

void SM_DLDrawGouraudRect(_smdlhdr* node, const _sm_dldc* dc) {
    _sm_dldc d = *dc;
    _dl_bound b, c;
    if (!SM_DLCombineWithDC(&b, &c, node, &d)) return;
    const auto* g = reinterpret_cast<const _sm_gouraudnode*>(node);
    if (((g->Colour[0] | g->Colour[1] | g->Colour[2] | g->Colour[3]) >> 24) == 0) return;
    uint32_t col[4];
    for (int i = 0; i < 4; ++i) {
        const uint32_t a = (g->Colour[i] >> 24) * d.Alpha / 255;
        col[i] = (g->Colour[i] & 0xFFFFFFu) | a << 24;
    }
    Clipped(node, c, [&] {
        FlushIfOverlapping(b);
        DRAW_Rectangle(col[0], col[1], col[2], col[3], b.L, b.T, SMOS_Z, b.R - b.L + 1, b.B - b.T + 1);
    });
}

namespace {
// A text node names its string by id until first drawn; then it keeps the string's address.
bool ResolveText(_sm_textnode* t) {
    if (t->Text) return true;
    const char* s = SM_GetStringByID(t->StringID);
    if (!s) return false;
    t->Text = Addr32(s);
    return true;
}
}  // namespace

void SM_DLDrawTextString(_smdlhdr* node, const _sm_dldc* dc) {
    auto* t = reinterpret_cast<_sm_textnode*>(node);
    if (t->Font < 0 || t->Font >= Resource.nFonts) return;
    if (!SM_FontHasGlyphs(t->Font)) {
        SM_DLDrawTextStringVemoFont(node, dc);
        return;
    }
    if (!ResolveText(t)) return;
    _sm_dldc d = *dc;
    _dl_bound b, c;
    if (!SM_DLCombineWithDC(&b, &c, node, &d)) return;
    // The clip area the string is drawn in: the engine's, cut to the node's when it clips.
    _dl_bound area;
    ENG_Get2DClipArea(&area.L, &area.T, &area.R, &area.B);
    if ((node->Flags & SM_FLAG_CLIP) && !SM_DLMergeBounds(&area, &c)) return;
    // Font and colour page by state; -1 in the highlighted or disabled pair means the normal one.
    const int st = State(d);
    int32_t font = t->Font, page = t->Clut;
    if (st == 2) {
        if (t->DisFont >= 0) font = t->DisFont;
        if (t->DisClut >= 0) page = t->DisClut;
    } else if (st == 1) {
        if (t->HiFont >= 0) font = t->HiFont;
        if (t->HiClut >= 0) page = t->HiClut;
    }
    if (!SM_FontHasGlyphs(font)) return;
    const bool sameArea =
        area.L == CurBounds.L && area.R == CurBounds.R && area.T == CurBounds.T && area.B == CurBounds.B;
    if (nStrings && (!sameArea || font != BufferedFont || page != BufferedClut)) FlushTextBuffer();

    // Placement.
    const char* text = Ptr<const char>(t->Text);
    const int32_t len = int32_t(std::strlen(text));
    const float xs = d.XScale, ys = d.YScale;
    const float width = float(SM_DLTextPixelWidth(font, text, len)) * xs;
    const float maxOff = float(SM_GetFontMaxOffsetY(font)), maxH = float(SM_GetFontMaxCharHeight(font));
    float x = float(b.L), y = float(b.T) - maxOff * ys;
    if ((t->Align & 3) == 1) x = float(b.L + b.R) / 2 - width / 2;
    if ((t->Align & 3) == 2) x = float(b.R) - (width - 1);
    if ((t->Align & 12) == 4) y = float(b.T + b.B) / 2 - maxOff * ys - (maxH / 2) * ys;
    if ((t->Align & 12) == 8) y = float(b.B) - (maxH + maxOff) * ys;
    _sm_bufstring str{};
    str.L = ToPixel(x);
    str.R = ToPixel(x + width);
    str.T = ToPixel(y + maxOff * ys);
    str.B = ToPixel(y + maxOff * ys + maxH * ys);
    if (str.R <= str.L) str.R = str.L + 1;
    if (str.B <= str.T) str.B = str.T + 1;
    FlushIfOverlapping(_dl_bound{str.L, str.R, str.T, str.B});
    if (nStrings == 0) BufferedFont = font, BufferedClut = page, CurBounds = area;

    // One entry per drawn character; the pen moves on by advance plus kerning.
    str.Chars =
        len ? static_cast<_sm_bufchar*>(x_fn_malloc(uint32_t(len) * sizeof(_sm_bufchar), __FILE__, __LINE__))
            : nullptr;
    if (len && !str.Chars) return;  // no room for the string this frame: it is not drawn
    const float kern = float(SM_GetFontKern(font));
    const uint32_t colour = uint32_t(d.Alpha) << 24 | 0x808080u;
    float pen = x;
    for (int32_t i = 0; i < len; ++i) {
        const _sm_charrecord* r = SM_GetCharRecord(font, int32_t(static_cast<unsigned char>(text[i])) - 32);
        if (!r) continue;
        const float w = float(r->Width) * xs;
        if (r->Width > 0 && r->Height > 0 && pen + w > 0 && pen <= float(g_lastCol))
            str.Chars[str.nChars++] = _sm_bufchar{colour,
                                                  pen,
                                                  y + float(r->OffsetY) * ys,
                                                  w,
                                                  float(r->DrawHeight) * ys,
                                                  int32_t(static_cast<unsigned char>(text[i])) - 32};
        pen += (float(r->Advance) + kern) * xs;
    }
    if (str.nChars > 1) x_qsort(str.Chars, str.nChars, int(sizeof(_sm_bufchar)), BufCharCompare);
    BufString[nStrings++] = str;
    if (nStrings == SM_MAXBUFSTRINGS) FlushTextBuffer();
}

int BufCharCompare(const void* a, const void* b) {
    const int32_t ga = static_cast<const _sm_bufchar*>(a)->Glyph,
                  gb = static_cast<const _sm_bufchar*>(b)->Glyph;
    return ga < gb ? -1 : ga > gb ? 1 : 0;
}

void FlushTextBuffer() {
    if (nStrings == 0) return;
    int32_t L, T, R, B;
    ENG_Get2DClipArea(&L, &T, &R, &B);
    ENG_Set2DClipArea(CurBounds.L, CurBounds.T, CurBounds.R, CurBounds.B);
    // All strings' lists together in glyph-code order: each glyph's image is fetched and set once.
    int32_t at[SM_MAXBUFSTRINGS] = {};
    for (;;) {
        int32_t glyph = -1;
        for (int i = 0; i < nStrings; ++i)
            if (at[i] < BufString[i].nChars && (glyph < 0 || BufString[i].Chars[at[i]].Glyph < glyph))
                glyph = BufString[i].Chars[at[i]].Glyph;
        if (glyph < 0) break;
        const bool ok = DRAW_SetTexture(SM_GetCharImage(glyph, BufferedFont, BufferedClut));
        for (int i = 0; i < nStrings; ++i)
            for (; at[i] < BufString[i].nChars && BufString[i].Chars[at[i]].Glyph == glyph; ++at[i]) {
                const _sm_bufchar& ch = BufString[i].Chars[at[i]];
                const int32_t x0 = RoundPixel(ch.x), y0 = RoundPixel(ch.y);
                const int32_t x1 = RoundPixel(ch.x + ch.w), y1 = RoundPixel(ch.y + ch.h);
                if (ok) DRAW_Sprite(ch.Colour, x0, y0, 0.0f, x1 - x0, y1 - y0);
            }
    }
    ENG_Set2DClipArea(L, T, R, B);
    for (int i = 0; i < nStrings; ++i) {
        if (BufString[i].Chars) x_free(BufString[i].Chars);
        BufString[i] = _sm_bufstring{};
    }
    nStrings = 0;
    DRAW_InvalidateState();
}

void SM_DLDrawTextStringVemoFont(_smdlhdr* node, const _sm_dldc* dc) {
    auto* t = reinterpret_cast<_sm_textnode*>(node);
    if (!ResolveText(t)) return;
    _sm_dldc d = *dc;
    _dl_bound b, c;
    if (!SM_DLCombineWithDC(&b, &c, node, &d)) return;
    const int st = State(d);
    int font = t->Font;
    if (st == 2 && t->DisFont >= 0) font = t->DisFont;
    if (st == 1 && t->HiFont >= 0) font = t->HiFont;
    _sm_fontrecord* rec = SM_GetFont(font);
    if (!rec || !rec->Font) return;
    _font* f = rec->Font;
    const char* text = Ptr<const char>(t->Text);
    const int32_t kern = SM_GetFontKern(font);
    SM_DLFlush();
    Clipped(node, c, [&] {
        if (kern == 0) {
            veFontPrintfXY(f, b.L, b.T, "%s", text);
            return;
        }
        const int8_t spacing = veFontGetSpacing(f);
        const uint32_t colour = veFontGetColor(f);
        veFontSetColor(f, (colour & 0xFFFFFFu) | uint32_t(d.Alpha) << 24);
        veFontSetSpacing(f, int8_t(kern));
        int32_t x = b.L;
        if (t->Align & 1) {
            veFontSetHorizontalAlignment(f, 1);
            x += node->w / 2;
        } else if (t->Align & 2) {
            veFontSetHorizontalAlignment(f, 2);
        }
        veFontPrintfXY(f, x, b.T, "%s", text);
        veFontSetHorizontalAlignment(f, 0);
        veFontSetSpacing(f, spacing);
        veFontSetColor(f, colour);
    });
    DRAW_InvalidateState();
}

void SM_DLDrawInstance(_smdlhdr* node, const _sm_dldc* dc) {
    _sm_dldc d = *dc;
    _dl_bound b, c;
    if (!SM_DLCombineWithDC(&b, &c, node, &d)) return;
    const auto* in = reinterpret_cast<const _sm_instancenode*>(node);
    _smdlhdr* target = Node(in->Ref[State(d)]);
    if (!target) return;
    d.ox -= ToPixel(float(target->x) * d.XScale);
    d.oy -= ToPixel(float(target->y) * d.YScale);
    DrawDisplayNode(target, &d);
}

_smdlhdr* SM_DLFindObjectByID(_smdlhdr* node, int16_t id) {
    // Pre-order: a node, its subtree, then its following siblings.
    for (; node; node = Node(node->pNext)) {
        if (node->ID == id) return node;
        if (_smdlhdr* found = node->pChildren ? SM_DLFindObjectByID(Node(node->pChildren), id) : nullptr)
            return found;
    }
    return nullptr;
}

void SM_DLSetHighlighted(_smdlhdr* node, int on) {
    if (!node) return;
    if (on)
        node->Flags |= SM_FLAG_HIGHLIGHTED;
    else
        node->Flags &= uint16_t(~SM_FLAG_HIGHLIGHTED);
}

int32_t SM_DLTextPixelWidth(int32_t font, const char* text, int32_t length) {
    _sm_fontrecord* rec = SM_GetFont(font);
    int32_t w = 0;
    if (rec && rec->Chars && text) {
        for (int32_t i = 0; i < length && text[i]; ++i)
            if (const _sm_charrecord* r =
                    SM_GetCharRecord(font, int32_t(static_cast<unsigned char>(text[i])) - 32))
                w += r->Advance;
    } else if (rec && rec->Font && rec->Font->data && text) {
        const _font_data* fd = rec->Font->data;
        for (int32_t i = 0; i < length && text[i]; ++i) {
            const unsigned char ch = static_cast<unsigned char>(text[i]);
            if (ch < kFontCells && fd->charData[ch].defined) w += fd->charData[ch].width;
        }
    }
    return w + SM_GetFontKern(font) * (length - 1);
}

void SM_DLFlush() {
    FlushTextBuffer();
    CurBounds = {0, g_lastCol, 0, g_lastRow};
}
