#include "frontend/sm/sm_dlist.h"

#include <cstring>

#include "console/mem/addr.h"
#include "engine/font/font.h"
#include "frontend/sm/sm_core.h"
#include "frontend/sm/sm_draw.h"
#include "frontend/sm/sm_resource.h"

int32_t DrawValid = 0;

namespace {

int32_t g_lastCol = 639, g_lastRow = 447;

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
    g_lastCol = width - 1;
    g_lastRow = height - 1;
    ENG_Set2DClipArea(0, 0, g_lastCol, g_lastRow);
    DrawValid = 0;
}

void SM_KillDListModule() {}

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
        b.L = int32_t(float(dc->ox) + cx - hw);
        b.R = int32_t(float(dc->ox) + cx + hw);
        b.T = int32_t(float(dc->oy) + cy - hh);
        b.B = int32_t(float(dc->oy) + cy + hh);
    }

    _dl_bound c;
    const bool byOffset = n->Flags & SM_FLAG_CLIPOFFSET, centred = n->Flags & SM_FLAG_FIXEDUP;
    if (byOffset && centred) {
        c = b;
    } else if (!byOffset && !centred) {
        c.L = dc->ox + int32_t(float(n->x) * oxs);
        c.T = dc->oy + int32_t(float(n->y) * oys);
        c.R = c.L + n->w - 1;
        c.B = c.T + n->h - 1;
    } else {
        const float cx = (float(n->x) + float(n->w) / 2) * oxs + (byOffset ? float(n->xOffset) : 0.0f);
        const float cy = (float(n->y) + float(n->h) / 2) * oys + (byOffset ? float(n->yOffset) : 0.0f);
        const float hw = centred ? float(n->w) * dc->XScale / 2 : float(n->w) / 2;
        const float hh = centred ? float(n->h) * dc->YScale / 2 : float(n->h) / 2;
        c.L = dc->ox + int32_t(cx - hw);
        c.R = dc->ox + int32_t(cx + hw);
        c.T = dc->oy + int32_t(cy - hh);
        c.B = dc->oy + int32_t(cy + hh);
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
        SM_DLFlush();
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
        SM_DLFlush();
        DRAW_Rectangle(col[0], col[1], col[2], col[3], b.L, b.T, SMOS_Z, b.R - b.L + 1, b.B - b.T + 1);
    });
}

void SM_DLDrawTextString(_smdlhdr* node, const _sm_dldc* dc) {
    auto* t = reinterpret_cast<_sm_textnode*>(node);
    if (t->Font < 0 || t->Font >= Resource.nFonts) return;
    // Every font this build reads is an engine font.
    SM_DLDrawTextStringVemoFont(node, dc);
}

void SM_DLDrawTextStringVemoFont(_smdlhdr* node, const _sm_dldc* dc) {
    auto* t = reinterpret_cast<_sm_textnode*>(node);
    if (!t->Text) {
        const char* s = SM_GetStringByID(t->StringID);
        if (!s) return;
        t->Text = Addr32(s);
    }
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
    d.ox -= int32_t(float(target->x) * d.XScale);
    d.oy -= int32_t(float(target->y) * d.YScale);
    DrawDisplayNode(target, &d);
}

_smdlhdr* SM_DLFindObjectByID(_smdlhdr* node, int16_t id) {
    std::vector<_smdlhdr*> work;
    if (node) work.push_back(node);
    while (!work.empty()) {
        _smdlhdr* n = work.back();
        work.pop_back();
        if (n->ID == id) return n;
        // Pre-order: the subtree before the following siblings.
        if (n->pNext) work.push_back(Node(n->pNext));
        if (n->pChildren) work.push_back(Node(n->pChildren));
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
    if (rec && rec->Font && rec->Font->data && text) {
        const _font_data* fd = rec->Font->data;
        for (int32_t i = 0; i < length && text[i]; ++i) {
            const unsigned char ch = static_cast<unsigned char>(text[i]);
            if (ch < kFontCells && fd->charData[ch].defined) w += fd->charData[ch].width;
        }
    }
    return w + SM_GetFontKern(font) * (length - 1);
}

// Text in engine fonts is drawn at once, so nothing is ever buffered; the flush only restores the text
// clip to the whole screen.
void SM_DLFlush() {}
