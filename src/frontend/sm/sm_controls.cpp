#include "frontend/sm/sm_controls.h"

#include <algorithm>
#include <cstring>

#include "engine/sys/files.h"
#include "engine/sys/heap.h"
#include "frontend/sm/sm_core.h"

namespace {

const _sm_msgmapstruct kListboxMap[] = {
    {SM_MSG_UP, SM_ANYCONTROL, OnUp},           {SM_MSG_DOWN, SM_ANYCONTROL, OnDown},
    {SM_MSG_LEFT, SM_ANYCONTROL, OnLeft},       {SM_MSG_RIGHT, SM_ANYCONTROL, OnRight},
    {SM_MSG_DESTROY, SM_ANYCONTROL, OnDestroy}, {0, 0, nullptr},
};

_sm_listboxnode* AsListbox(_smdlhdr* node) {
    return reinterpret_cast<_sm_listboxnode*>(node);
}

// One axis of the selection: a step (-1 or +1) within [header count, count - 1].
void Step(uint8_t& sel, int dir, int headers, int count, intptr_t p2) {
    if (p2 == 0) return;
    if (dir < 0 && sel > headers) --sel;
    if (dir > 0 && sel < count - 1) ++sel;
}

intptr_t Move(_smdlhdr* node, intptr_t p2, int rowDir, int colDir) {
    _sm_listboxnode* lb = AsListbox(node);
    if (rowDir) Step(lb->SelRow, rowDir, lb->HdrRows, lb->Rows, p2);
    if (colDir) Step(lb->SelCol, colDir, lb->HdrCols, lb->Cols, p2);
    KeepInBounds(lb);
    SM_AcknowledgeMsg();  // the focus stays on the list box
    return 0;
}

// One axis of KeepInBounds.
void Keep(uint8_t& sel, uint8_t& first, int count, int headers, int visible) {
    int s = std::clamp<int>(sel, headers, count - 1);  // never past the last item
    int f = first;
    const int scrolled = visible - headers;
    if (s - f >= scrolled) f = s - scrolled + 1;
    if (s < f) f = s;
    sel = static_cast<uint8_t>(s);
    first = static_cast<uint8_t>(std::max(f, headers));
}

// Offset and size of visible cell `v` along one axis from the header sizes.
void Place(const int32_t* sizes, int headers, int v, int* offset, int* size) {
    int o = 0;
    for (int k = 0; k < std::min(v, headers); ++k) o += sizes[k];
    if (v >= headers) o += (v - headers) * sizes[headers - 1];
    *offset = o;
    *size = v < headers ? sizes[v] : sizes[headers - 1];
}

}  // namespace

intptr_t SMB_ButtonProc(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t) {
    return 0;
}

void SMB_RenderButton(_smdlhdr* node, _sm_dldc* dc) {
    const _sm_backend* be = SM_GetBackend();
    if (!be || !be->DrawChildDisplayList) return;
    _sm_dldc local = *dc;
    if (be->CombineWithDC) be->CombineWithDC(node, &local);
    if (!node->pChildren) return;
    if (!(node->Flags & SM_FLAG_CLIP) || !be->NodeClipRect || !be->SetClip) {
        be->DrawChildDisplayList(SM_Node(node->pChildren), &local);
        return;
    }
    _dl_bound clip;
    be->NodeClipRect(node, &local, &clip);
    clip.L = std::max(clip.L, local.Rgn.L);
    clip.T = std::max(clip.T, local.Rgn.T);
    clip.R = std::max(clip.L, std::min(clip.R, local.Rgn.R));  // empty: a one-pixel strip remains
    clip.B = std::max(clip.T, std::min(clip.B, local.Rgn.B));
    local.Rgn = clip;
    const _dl_bound previous = be->SetClip(clip);
    be->DrawChildDisplayList(SM_Node(node->pChildren), &local);
    be->SetClip(previous);
}

_sm_listboxnode* SMLB_CreateListbox(const SMLB_Desc& d) {
    if (d.HdrRows == 0 || d.HdrCols == 0 || d.Rows <= d.HdrRows || d.Cols <= d.HdrCols ||
        d.VisRows <= d.HdrRows || d.VisCols <= d.HdrCols || !d.ColWidths || !d.RowHeights) {
        x_printf("SMLB_CreateListbox: list box %d refused: %dx%d items, %dx%d visible, %dx%d headers\n", d.ID,
                 d.Rows, d.Cols, d.VisRows, d.VisCols, d.HdrRows, d.HdrCols);
        return nullptr;
    }
    const uint32_t sizes = 4u * (d.HdrCols + d.HdrRows);
    auto* lb =
        static_cast<_sm_listboxnode*>(x_fn_malloc(sizeof(_sm_listboxnode) + sizes, __FILE__, __LINE__));
    if (!lb) {
        x_printf("SMLB_CreateListbox: no room in the heap for list box %d\n", d.ID);
        return nullptr;
    }
    std::memset(lb, 0, sizeof(_sm_listboxnode));
    lb->Hdr.ID = d.ID;
    lb->Hdr.Type = SM_TYPE_LISTBOX;
    lb->Hdr.Alpha = 255;
    lb->Hdr.Flags = SM_FLAG_VISIBLE | SM_FLAG_LINKS;
    lb->Hdr.x = d.x;
    lb->Hdr.y = d.y;
    lb->Hdr.w = d.w;
    lb->Hdr.h = d.h;
    lb->Hdr.xScale = lb->Hdr.yScale = 1.0f;
    lb->VisRows = d.VisRows;
    lb->VisCols = d.VisCols;
    lb->Rows = d.Rows;
    lb->Cols = d.Cols;
    lb->HdrRows = lb->SelRow = lb->FirstRow = d.HdrRows;
    lb->HdrCols = lb->SelCol = lb->FirstCol = d.HdrCols;
    std::memcpy(lb->HdrFont, d.HdrFont, 2);
    std::memcpy(lb->CellFont, d.CellFont, 2);
    std::memcpy(lb->SelFont, d.SelFont, 2);
    auto* widths = reinterpret_cast<int32_t*>(lb + 1);
    std::memcpy(widths, d.ColWidths, 4u * d.HdrCols);
    std::memcpy(widths + d.HdrCols, d.RowHeights, 4u * d.HdrRows);
    lb->ColWidths = Addr32(widths);
    lb->RowHeights = Addr32(widths + d.HdrCols);
    lb->Align = d.Align;
    if (d.Texts) {
        // The item array and copies of the texts in one block (node memory holds 32-bit addresses).
        const int n = d.Rows * d.Cols;
        uint32_t bytes = sizeof(_sm_lbitem) * n;
        for (int i = 0; i < n; ++i)
            if (d.Texts[i]) bytes += static_cast<uint32_t>(std::strlen(d.Texts[i]) + 1);
        auto* items = static_cast<_sm_lbitem*>(x_fn_malloc(bytes, __FILE__, __LINE__));
        if (!items) {
            x_printf("SMLB_CreateListbox: no room in the heap for the items of list box %d (%u bytes)\n",
                     d.ID, bytes);
            x_free(lb);
            return nullptr;
        }
        char* text = reinterpret_cast<char*>(items + n);
        for (int i = 0; i < n; ++i) {
            items[i] = _sm_lbitem{0, 0};
            if (!d.Texts[i]) continue;
            const size_t len = std::strlen(d.Texts[i]) + 1;
            std::memcpy(text, d.Texts[i], len);
            items[i].Text = Addr32(text);
            text += len;
        }
        lb->Items = Addr32(items);
    }
    return lb;
}

intptr_t SMLB_ListboxProc(_smdlhdr* node, int32_t msg, intptr_t p1, intptr_t p2, intptr_t p3) {
    return SM_ProcessMsgMap(kListboxMap, node, msg, p1, p2, p3);
}

void KeepInBounds(_sm_listboxnode* lb) {
    Keep(lb->SelCol, lb->FirstCol, lb->Cols, lb->HdrCols, lb->VisCols);
    Keep(lb->SelRow, lb->FirstRow, lb->Rows, lb->HdrRows, lb->VisRows);
}

intptr_t OnUp(_smdlhdr* node, int32_t, intptr_t, intptr_t p2, intptr_t) {
    return Move(node, p2, -1, 0);
}
intptr_t OnDown(_smdlhdr* node, int32_t, intptr_t, intptr_t p2, intptr_t) {
    return Move(node, p2, +1, 0);
}
intptr_t OnLeft(_smdlhdr* node, int32_t, intptr_t, intptr_t p2, intptr_t) {
    return Move(node, p2, 0, -1);
}
intptr_t OnRight(_smdlhdr* node, int32_t, intptr_t, intptr_t p2, intptr_t) {
    return Move(node, p2, 0, +1);
}

intptr_t OnDestroy(_smdlhdr* node, int32_t, intptr_t, intptr_t, intptr_t) {
    _sm_listboxnode* lb = AsListbox(node);
    // Unhook it from its parent's children so nothing reaches the freed node.
    if (_smdlhdr* parent = SM_Node(node->pParent)) {
        for (uint32_t* link = &parent->pChildren; *link; link = &SM_Node(*link)->pNext)
            if (SM_Node(*link) == node) {
                *link = node->pNext;
                break;
            }
    }
    SM_ForgetNode(node);
    if (lb->Items) x_free(Ptr<void>(lb->Items));
    x_free(lb);
    return 0;
}

void SMLB_BuildText(_sm_listboxnode* lb, _sm_textnode* out, int visRow, int visCol) {
    std::memset(out, 0, sizeof(*out));
    out->Hdr = lb->Hdr;
    out->Hdr.Type = SM_TYPE_TEXT;
    out->Hdr.pNext = out->Hdr.pChildren = 0;
    const int8_t* font = lb->CellFont;
    int itemCol = visCol, itemRow = visRow;
    if (visCol < lb->HdrCols)
        font = lb->HdrFont;
    else
        itemCol = lb->FirstCol + (visCol - lb->HdrCols);
    if (visRow < lb->HdrRows)
        font = lb->HdrFont;
    else
        itemRow = lb->FirstRow + (visRow - lb->HdrRows);
    int xo, yo, w, h;
    Place(Ptr<int32_t>(lb->ColWidths), lb->HdrCols, visCol, &xo, &w);
    Place(Ptr<int32_t>(lb->RowHeights), lb->HdrRows, visRow, &yo, &h);
    out->Hdr.w = static_cast<int16_t>(w);
    out->Hdr.h = static_cast<int16_t>(h);
    if (lb->Items && itemRow < lb->Rows && itemCol < lb->Cols)
        out->Text = Ptr<_sm_lbitem>(lb->Items)[itemRow * lb->Cols + itemCol].Text;
    const bool selected = itemRow == lb->SelRow && itemCol == lb->SelCol;
    const int8_t* hi = selected ? lb->SelFont : font;
    out->Font = out->DisFont = font[0];
    out->Clut = out->DisClut = font[1];
    out->HiFont = hi[0];
    out->HiClut = hi[1];
    out->StringID = -1;
    out->Hdr.x = static_cast<int16_t>(out->Hdr.x + xo);
    out->Hdr.y = static_cast<int16_t>(out->Hdr.y + yo);
    out->Align = lb->Align;
}

void SMLB_RenderListbox(_smdlhdr* node, _sm_dldc* dc) {
    const _sm_backend* be = SM_GetBackend();
    if (!be || !be->DrawText) return;
    _sm_listboxnode* lb = AsListbox(node);
    for (int r = 0; r < lb->VisRows; ++r)
        for (int c = 0; c < lb->VisCols; ++c) {
            _sm_textnode text;
            SMLB_BuildText(lb, &text, r, c);
            _sm_dldc local = *dc;
            be->DrawText(&text, &local);
        }
}
