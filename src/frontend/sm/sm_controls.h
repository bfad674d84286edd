// The two built-in control types: the button (type 9: focus, links and Accept come from the default
// handling) and the list box (type 11: a scrolling grid of texts with fixed header rows and columns).
#pragma once

#include <cstdint>

#include "frontend/sm/sm_types.h"

struct _sm_lbitem {
    uint32_t Text;  // zero-terminated text, 0 = empty cell
    uint32_t User;
};

struct _sm_listboxnode {
    _smdlhdr Hdr;
    _sm_linkblock Links;
    uint32_t Proc;
    uint32_t Items;  // _sm_lbitem[Rows * Cols], row by row
    uint8_t VisRows, VisCols;
    uint8_t Rows, Cols;
    uint8_t SelRow, SelCol;
    uint8_t FirstRow, FirstCol;
    uint8_t HdrRows, HdrCols;
    int8_t HdrFont[2], CellFont[2], SelFont[2];
    uint32_t ColWidths;   // int32[HdrCols]; the last also sizes every scrolled column
    uint32_t RowHeights;  // int32[HdrRows]; likewise for rows
    uint16_t Align;
    uint16_t Spare;
};
static_assert(sizeof(_sm_listboxnode) == 100);

// What a screen gives to make a list box.
struct SMLB_Desc {
    int16_t ID;
    int16_t x, y, w, h;
    uint8_t VisRows, VisCols, Rows, Cols, HdrRows, HdrCols;
    int8_t HdrFont[2], CellFont[2], SelFont[2];
    const int32_t* ColWidths;   // HdrCols entries
    const int32_t* RowHeights;  // HdrRows entries
    const char* const* Texts;   // Rows * Cols texts (null entries allowed), or null
    uint16_t Align;
};

intptr_t SMB_ButtonProc(_smdlhdr* node, int32_t msg, intptr_t p1, intptr_t p2, intptr_t p3);
void SMB_RenderButton(_smdlhdr* node, _sm_dldc* dc);

// Makes a list box on the heap (visible and with a link block), the item array holding the texts'
// addresses. Refuses (null, with a log line) a grid without a header row or column, with no cell to
// select, or whose visible grid leaves no scrolled row or column.
_sm_listboxnode* SMLB_CreateListbox(const SMLB_Desc& desc);
intptr_t SMLB_ListboxProc(_smdlhdr* node, int32_t msg, intptr_t p1, intptr_t p2, intptr_t p3);
void SMLB_RenderListbox(_smdlhdr* node, _sm_dldc* dc);
void SMLB_BuildText(_sm_listboxnode* lb, _sm_textnode* out, int visRow, int visCol);

intptr_t OnUp(_smdlhdr* node, int32_t msg, intptr_t p1, intptr_t p2, intptr_t p3);
intptr_t OnDown(_smdlhdr* node, int32_t msg, intptr_t p1, intptr_t p2, intptr_t p3);
intptr_t OnLeft(_smdlhdr* node, int32_t msg, intptr_t p1, intptr_t p2, intptr_t p3);
intptr_t OnRight(_smdlhdr* node, int32_t msg, intptr_t p1, intptr_t p2, intptr_t p3);
intptr_t OnDestroy(_smdlhdr* node, int32_t msg, intptr_t p1, intptr_t p2, intptr_t p3);
void KeepInBounds(_sm_listboxnode* lb);
