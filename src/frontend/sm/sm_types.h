// Screen-manager records shared by the core, the resource module, the drawing code and the controls.
// Nodes keep the resource file's layout in memory (little-endian, 32-bit links: console addresses made
// with Addr32 / Ptr<T>), so these structures are also the file format of a screen's node tree.
#pragma once

#include <cstddef>
#include <cstdint>

#include "console/mem/addr.h"

// ---- node header ----------------------------------------------------------------------------------

struct _smdlhdr {
    uint32_t pParent;    // parent node; 0 on a screen root
    uint32_t pNext;      // next sibling or 0
    uint32_t pChildren;  // first child or 0
    int16_t ID;          // -1 = no id; a screen root carries its screen number
    uint16_t Type;       // SM_TYPE_*
    uint8_t Alpha;       // 255 = as inherited
    uint8_t Pad;
    uint16_t Flags;  // SM_FLAG_*
    int16_t x, y;
    int16_t w, h;
    int16_t xOffset, yOffset;
    float xScale, yScale;
    int32_t UserData;
};
static_assert(sizeof(_smdlhdr) == 44, "the node header is a file record");

inline _smdlhdr* SM_Node(uint32_t addr) {
    return Ptr<_smdlhdr>(addr);
}

// Node types.
inline constexpr uint16_t SM_TYPE_GROUP = 1;
inline constexpr uint16_t SM_TYPE_SCREEN = 2;
inline constexpr uint16_t SM_TYPE_SPRITE = 3;
inline constexpr uint16_t SM_TYPE_TEXT = 4;
inline constexpr uint16_t SM_TYPE_GOURAUD = 6;
inline constexpr uint16_t SM_TYPE_INSTANCE = 8;
inline constexpr uint16_t SM_TYPE_BUTTON = 9;
inline constexpr uint16_t SM_TYPE_LISTBOX = 11;
inline constexpr uint16_t SM_TYPE_FIRSTCONTROL = 9;  // 9 and above: control types

// Node flags.
inline constexpr uint16_t SM_FLAG_HALFALPHA = 0x0001;
inline constexpr uint16_t SM_FLAG_VISIBLE = 0x0008;
inline constexpr uint16_t SM_FLAG_LINKS = 0x0010;
inline constexpr uint16_t SM_FLAG_HIGHLIGHTED = 0x0040;
inline constexpr uint16_t SM_FLAG_DISABLED = 0x0100;
inline constexpr uint16_t SM_FLAG_CLIP = 0x0200;
inline constexpr uint16_t SM_FLAG_CLIPOFFSET = 0x0400;
inline constexpr uint16_t SM_FLAG_FIXEDUP = 0x0800;  // on roots; also "clip rectangle centred"
inline constexpr uint16_t SM_FLAG_OVERLAY = 0x1000;
inline constexpr uint16_t SM_FLAG_NOINHERIT = 0x4000;

// ---- type fields after the header -----------------------------------------------------------------

// Navigation links (up, down, left, right: nodes of the same screen, 0 = none), the link screen that
// Accept opens (0 = none) and the procedure word. Present on screen roots and controls with SM_FLAG_LINKS.
struct _sm_linkblock {
    uint32_t Up, Down, Left, Right;
    int32_t LinkScreen;
};
static_assert(sizeof(_sm_linkblock) == 20);

// Screen root (type 2) with its link block.
struct _sm_screennode {
    _smdlhdr Hdr;
    _sm_linkblock Links;
    uint32_t Proc;        // filled at run time (0 in the file)
    uint32_t SavedFocus;  // control focused when the screen is entered, 0 = none
};
static_assert(sizeof(_sm_screennode) == 72);

// Button (type 9) with its link block.
struct _sm_buttonnode {
    _smdlhdr Hdr;
    _sm_linkblock Links;
    uint32_t Proc;  // control procedure handle (SM_RegisterControlProc), 0 = none
};
static_assert(sizeof(_sm_buttonnode) == 68);

struct _sm_spritenode {
    _smdlhdr Hdr;
    int32_t Sprite;
};
static_assert(sizeof(_sm_spritenode) == 48);

// Text (type 4): font / colour-page pairs for the normal, highlighted and disabled states (-1 in the
// last two = use the normal pair), alignment bits, string id, run-time text pointer.
struct _sm_textnode {
    _smdlhdr Hdr;
    int8_t Font, Clut;
    int8_t HiFont, HiClut;
    int8_t DisFont, DisClut;
    uint16_t Align;  // bits 0-1: 0 left, 1 centre, 2 right; bits 2-3: 0 top, 4 centre, 8 bottom
    int32_t StringID;
    uint32_t Text;
};
static_assert(sizeof(_sm_textnode) == 60);

struct _sm_gouraudnode {
    _smdlhdr Hdr;
    uint32_t Colour[4];  // 0xAARRGGBB: top-left, top-right, bottom-left, bottom-right
};
static_assert(sizeof(_sm_gouraudnode) == 60);

// Instance (type 8): (screen << 16) | byte offset of the target node in that screen, by state.
struct _sm_instancenode {
    _smdlhdr Hdr;
    uint32_t Ref[3];  // normal, highlighted, disabled
};
static_assert(sizeof(_sm_instancenode) == 56);

// The link block of a screen root or control (flag 0x0010), or null.
inline _sm_linkblock* SM_NodeLinks(_smdlhdr* node) {
    return (node->Flags & SM_FLAG_LINKS) ? reinterpret_cast<_sm_linkblock*>(node + 1) : nullptr;
}
// The procedure word of a screen root or control: after the link block, or straight after the link
// screen word when the node has no link block.
inline uint32_t* SM_NodeProcWord(_smdlhdr* node) {
    auto* base = reinterpret_cast<uint8_t*>(node + 1);
    return reinterpret_cast<uint32_t*>(base + ((node->Flags & SM_FLAG_LINKS) ? 20 : 4));
}
// A screen root's saved-focus word (the word after the procedure).
inline uint32_t* SM_RootSavedFocus(_smdlhdr* root) {
    return SM_NodeProcWord(root) + 1;
}

// ---- messages -------------------------------------------------------------------------------------

using SM_PROC = intptr_t (*)(_smdlhdr* node, int32_t msg, intptr_t p1, intptr_t p2, intptr_t p3);

// One row of a message map; a map ends with a row whose Callback is null.
struct _sm_msgmapstruct {
    int32_t Msg;
    int32_t Control;  // node id, or SM_ANYCONTROL
    SM_PROC Callback;
};
inline constexpr int32_t SM_ANYCONTROL = 30000;

enum : int32_t {
    SM_MSG_ACCEPT = 1,
    SM_MSG_CANCEL = 2,
    SM_MSG_START = 3,
    SM_MSG_UP = 5,
    SM_MSG_DOWN = 6,
    SM_MSG_LEFT = 7,
    SM_MSG_RIGHT = 8,
    SM_MSG_BUTTONPRESS = 9,
    SM_MSG_BUTTONDOWN = 10,
    SM_MSG_BUTTONUP = 11,
    SM_MSG_FOCUSGAINED = 0x0F,
    SM_MSG_FOCUSLOST = 0x10,
    SM_MSG_DEVICECHANGE = 17,
    SM_MSG_CIRCLE = 18,
    SM_MSG_SQUARE = 19,
    SM_MSG_L1 = 20,
    SM_MSG_R1 = 21,
    SM_MSG_L2 = 22,
    SM_MSG_R2 = 23,
    SM_MSG_LSTICKPOLAR = 26,
    SM_MSG_RSTICKPOLAR = 27,
    SM_MSG_LSTICKPOS = 28,
    SM_MSG_RSTICKPOS = 29,
    SM_MSG_SAVESTATE = 0x0E01,
    SM_MSG_RESTORESTATE = 0x0E02,
    SM_MSG_DESTROY = 0x0E03,
    SM_MSG_CALLBACKSET = 0x0E04,
    SM_MSG_SHUTDOWN = 0x0E05,
    SM_MSG_LOADED = 0x0E06,
    SM_MSG_INITIALUPDATE = 0x0E07,
    SM_MSG_SYNC = 0x0E08,
    SM_MSG_POINTER = 0x0E09,
    SM_MSG_RENDER = 0x0E0A,
    SM_MSG_SELECT = 0x0E0B,
};

// ---- input events ---------------------------------------------------------------------------------

struct _input_event {
    int16_t DeviceType;  // 8 console pad; the translator normalises pads and joysticks to 3
    int16_t DeviceNum;   // pad 0..7
    int16_t GadgetType;  // 0 device, 1 button, 2/3/4 locator with 1/2/3 axes
    int16_t GadgetID;    // 424 removed, 425 inserted, 427+bit buttons, 445 left stick, 446 right stick
    int32_t Timestamp;
    int16_t Info;  // buttons: 1 pressed, 0 released
    int16_t X, Y, Z;
};
static_assert(sizeof(_input_event) == 20);

// ---- drawing --------------------------------------------------------------------------------------

struct _dl_bound {
    int32_t L, R, T, B;  // inclusive pixel bounds
};

// Draw context handed down a node tree; every routine works on its own copy.
struct _sm_dldc {
    int32_t ox, oy;  // origin of the node's parent in screen pixels
    uint32_t Flags;  // inherited node flags
    float XScale, YScale;
    uint8_t Alpha;  // 128 = full opacity
    _dl_bound Rgn;
};

// Control-type render procedure.
using SM_RENDERPROC = void (*)(_smdlhdr* node, _sm_dldc* dc);

// What the core needs from the resource module and the display-list code. The resource module
// installs it (SM_SetBackend); with none installed there are no screens and nothing is drawn.
struct _sm_backend {
    // Start-up and shut-down of the resource and display-list modules (width, height of the display).
    void (*Start)(int width, int height);
    void (*Stop)();
    // Display resolution and run time in seconds (the drawing back end's; null: 640 x 448, x_GetTime).
    void (*Resolution)(int* width, int* height);
    float (*Time)();
    // Screen memory: number of screens in the resource file, load (read or restore from the pristine
    // copy, fix up, count a use; the root or null), release a use, the loaded root or null, release
    // all (unlocked ones unless force), and the pristine copy's root while one is held (preload).
    int (*NumScreens)();
    _smdlhdr* (*LoadScreen)(int screen);
    void (*ReleaseScreen)(int screen);
    _smdlhdr* (*GetScreen)(int screen);
    void (*ReleaseAllScreens)(int force);
    _smdlhdr* (*PristineRoot)(int screen);
    // Drawing: a node with its subtree, a sibling list, a node applied to a context, one text node,
    // the node's clip rectangle in screen pixels, the scissor (returns the one it replaces), the text
    // batch flush, drawing-mode and 2D-depth resets.
    void (*DrawDisplayList)(_smdlhdr* node, _sm_dldc* dc);
    void (*DrawChildDisplayList)(_smdlhdr* first, _sm_dldc* dc);
    void (*CombineWithDC)(_smdlhdr* node, _sm_dldc* dc);
    void (*DrawText)(_sm_textnode* text, _sm_dldc* dc);
    void (*NodeClipRect)(_smdlhdr* node, const _sm_dldc* dc, _dl_bound* out);
    _dl_bound (*SetClip)(const _dl_bound& clip);
    void (*Flush)();
    void (*ResetDrawMode)();
    void (*ResetDepth)();
};

void SM_SetBackend(const _sm_backend* backend);
const _sm_backend* SM_GetBackend();
