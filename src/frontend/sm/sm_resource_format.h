// The front end's screen resource file ("frontend\FE_game.exp"): one little-endian image holding the
// screens (node trees), sprite images, fonts and strings. Every offset is from the file's first byte.
//
//   header (88 bytes)          table offsets and sizes
//   sprite table               28 bytes per sprite
//   font table                 160 bytes per font (0x20010312: 32-byte entry + 128-byte name)
//   language table             8 bytes per language
//   string area                per language: its strings back to back, zero-terminated
//   screen table               12 bytes per screen: offset in the screen data area, size, address word
//   screen data                each screen's node tree, root first
//   sprite data                per sprite in table order: pixels, then palette (4 bytes per colour)
//   font image area            per font in table order: a complete engine font file
//
// Nodes are kept in memory exactly as they are stored: a 44-byte header (_smdlhdr) and the type's fields.
// Node pointers are 32-bit words; in the file a pointer to the node at byte L of screen k holds
// (o_k - o_0) + L (o = the screens' offsets in the screen data area), and loading turns it into the
// console address of the node. The reader and the writer share these records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

inline constexpr uint32_t SM_RES_VERSION_GLYPHS = 0x20001213;     // fonts as glyph tables, 32-byte entries
inline constexpr uint32_t SM_RES_VERSION_FONTFILES = 0x20010312;  // fonts as font files, 160-byte entries

struct _sm_resheader {
    uint32_t Version;
    uint32_t SpriteTableOfs, SpriteTableSize;
    uint32_t FontTableOfs, FontTableSize;
    uint32_t GlyphListOfs, GlyphListSize;
    uint32_t CharDataOfs;
    uint32_t Reserved32;
    uint32_t LangTableOfs, LangTableSize;
    uint32_t StringAreaOfs, StringAreaSize;
    uint32_t ScreenTableOfs, ScreenTableSize;
    uint32_t ScreenDataOfs;
    uint32_t Reserved64;
    uint32_t SpriteDataOfs;
    uint32_t Reserved72;
    uint32_t FontImageOfs;
    uint32_t Reserved80[2];
};
static_assert(sizeof(_sm_resheader) == 88);

struct _sm_screenentry_file {
    uint32_t Offset;   // in the screen data area
    uint32_t Size;     // bytes
    uint32_t Address;  // 0 in the file; the loaded screen's address
};
static_assert(sizeof(_sm_screenentry_file) == 12);

struct _sm_spriteentry {
    uint32_t Instance;  // 0 in the file; the image instance
    uint32_t Flags;     // 0 in the file; bit 0 resident
    uint16_t Bpp;       // 4, 8, 16 or 32
    uint16_t Width, Height;
    uint16_t Colours;  // palette colours, 0 = true colour
    uint16_t Reserved16;
    uint16_t Cleared18;
    uint32_t PixelOfs;    // in the sprite data area
    uint32_t PaletteOfs;  // in the sprite data area
};
static_assert(sizeof(_sm_spriteentry) == 28);

struct _sm_langentry {
    uint32_t BlockOfs;  // in the string area
    uint32_t Count;
};
static_assert(sizeof(_sm_langentry) == 8);

inline constexpr size_t SM_FONT_NAME_BYTES = 128;
struct _sm_fontentry {
    uint32_t Reserved0[2];
    uint16_t Colours;
    uint16_t MaxOffsetY;
    uint16_t MaxCharHeight;
    uint16_t GlyphPages;  // 0 for font files
    int16_t Kern;         // 0: the engine font prints with its own spacing
    uint16_t Reserved18;
    uint32_t CharDataOfs;  // glyph tables only
    uint32_t ImageOfs;     // in the font image area
    uint32_t ImageSize;
};
static_assert(sizeof(_sm_fontentry) == 32);
inline constexpr size_t SM_FONT_ENTRY_V2 = sizeof(_sm_fontentry) + SM_FONT_NAME_BYTES;  // 160

// Glyph-table fonts: 96 records for the character codes 32..127.
struct _sm_charrecord {
    uint32_t PixelOfs;
    int8_t Width, Height, Advance, OffsetY;
    uint32_t DrawHeight;
};
static_assert(sizeof(_sm_charrecord) == 12);
inline constexpr int SM_FONT_CHARS = 96;

// Node types.
enum : uint16_t {
    SMDL_GROUP = 1,
    SMDL_SCREEN = 2,
    SMDL_SPRITE = 3,
    SMDL_TEXT = 4,
    SMDL_GOURAUD = 6,
    SMDL_INSTANCE = 8,
    SMDL_BUTTON = 9,
    SMDL_LISTBOX = 11,
};

// Node flags.
enum : uint16_t {
    SMDL_F_HALFALPHA = 0x0001,
    SMDL_F_VISIBLE = 0x0008,
    SMDL_F_LINKS = 0x0010,
    SMDL_F_HIGHLIGHT = 0x0040,
    SMDL_F_DISABLED = 0x0100,
    SMDL_F_CLIP = 0x0200,
    SMDL_F_CLIPOFFSET = 0x0400,
    SMDL_F_FIXEDUP = 0x0800,  // on roots: pointers fixed up; also "clip rectangle centred"
    SMDL_F_OVERLAY = 0x1000,
    SMDL_F_NOINHERIT = 0x4000,
};

// Every node starts with this header. Pointers are 32-bit node addresses (0 = none).
struct _smdlhdr {
    uint32_t pParent;
    uint32_t pNext;
    uint32_t pChildren;
    int16_t ID;  // -1 = none; a root carries its screen number
    uint16_t Type;
    uint8_t Alpha;  // 255 = as inherited
    uint8_t Pad;
    uint16_t Flags;
    int16_t x, y;
    int16_t w, h;
    int16_t xOffset, yOffset;
    float xScale, yScale;
    int32_t UserData;
};
static_assert(sizeof(_smdlhdr) == 44);

// The link block of screens and buttons (flag SMDL_F_LINKS): the controls focus moves to.
struct _sm_links {
    uint32_t Up, Down, Left, Right;
};

// Screen root (type 2). Files always carry the link block on roots and buttons.
struct _smdl_screen {
    _smdlhdr Hdr;
    _sm_links Links;
    int32_t LinkScreen;
    uint32_t Proc;        // filled when the screen is entered
    uint32_t SavedFocus;  // the focused control on entry
};
static_assert(sizeof(_smdl_screen) == 72);

// Button (type 9).
struct _smdl_button {
    _smdlhdr Hdr;
    _sm_links Links;
    int32_t LinkScreen;  // the screen Accept opens; 0 = none
    uint32_t Proc;       // optional control procedure; 0 in files
};
static_assert(sizeof(_smdl_button) == 68);

// Sprite (type 3).
struct _smdl_sprite {
    _smdlhdr Hdr;
    int32_t Sprite;  // out of range: sprite 0
};
static_assert(sizeof(_smdl_sprite) == 48);

// Text (type 4). Font/page pairs for the normal, highlighted and disabled states (-1 in the latter two:
// use the normal one).
struct _smdl_text {
    _smdlhdr Hdr;
    int8_t Font, Page;
    int8_t HiFont, HiPage;
    int8_t DisFont, DisPage;
    uint16_t Align;    // bits 0-1: 0 left, 1 centre, 2 right; bits 2-3: 0 top, 4 centre, 8 bottom
    int32_t StringID;  // -1 = none
    uint32_t Text;     // run time: the string's address (0 in files)
};
static_assert(sizeof(_smdl_text) == 60);

// Gouraud rectangle (type 6): 0xAARRGGBB per corner, 0x80 = full intensity.
struct _smdl_gouraud {
    _smdlhdr Hdr;
    uint32_t Colour[4];  // top-left, top-right, bottom-left, bottom-right
};
static_assert(sizeof(_smdl_gouraud) == 60);

// Instance (type 8): the node drawn for the normal, highlighted and disabled states. In files
// (screen << 16) | byte offset of the node in that screen; in memory its address; 0 = none.
struct _smdl_instance {
    _smdlhdr Hdr;
    uint32_t Ref[3];
};
static_assert(sizeof(_smdl_instance) == 56);

// Size of a node of a type a file may hold; 0 for any other type.
size_t SM_NodeSize(uint16_t type);

// Checks a whole resource file image: header, tables, every offset and size inside the file, sprite,
// font and string data, every node record, pointer, link and instance reference, and that each screen
// is a tree (each node reached once). Returns 1, or 0 after one log line naming what is wrong.
int SM_ValidateResource(const void* image, size_t length);

// ---------------------------------------------------------------------------------------------------
// Writing a resource file from a description of its screens.

struct SMW_Node {
    int16_t ID = -1;
    uint16_t Type = SMDL_GROUP;
    uint8_t Alpha = 255;
    uint16_t Flags = SMDL_F_VISIBLE;
    int16_t x = 0, y = 0, w = 0, h = 0;
    int16_t xOffset = 0, yOffset = 0;
    float xScale = 1.0f, yScale = 1.0f;
    int32_t UserData = 0;
    // Screen roots and buttons: focus moves to the node of this id in the same screen (-1 none).
    int16_t Up = -1, Down = -1, Left = -1, Right = -1;
    int32_t LinkScreen = 0;
    int16_t SavedFocus = -1;  // roots: id of the control focused on entry
    // Sprites.
    int32_t Sprite = 0;
    // Texts.
    int8_t Font = 0, Page = 0, HiFont = -1, HiPage = -1, DisFont = -1, DisPage = -1;
    uint16_t Align = 0;
    int32_t StringID = -1;
    // Gouraud rectangles.
    uint32_t Colour[4] = {0x80808080u, 0x80808080u, 0x80808080u, 0x80808080u};
    // Instances: the node of id NodeID in screen Screen (Screen -1: none).
    struct Ref {
        int32_t Screen = -1;
        int16_t NodeID = -1;
    } Refs[3];
    std::vector<SMW_Node> Children;
};

struct SMW_Sprite {
    uint16_t Bpp = 32;
    uint16_t Width = 0, Height = 0;
    std::vector<uint8_t> Pixels;    // width*height/2 bytes at 4 bits, else width*height*bpp/8
    std::vector<uint32_t> Palette;  // 16 or 256 entries (r, g, b, a bytes; 0x80 alpha = opaque)
};

struct SMW_Font {
    std::string Name;  // the engine font's name; must differ from the shell's fonts
    uint16_t MaxOffsetY = 0, MaxCharHeight = 0;
    std::vector<uint8_t> Image;  // a complete engine font file
};

struct SMW_Resource {
    std::vector<SMW_Node> Screens;  // roots; screen n gets id n, type screen, links on
    std::vector<SMW_Sprite> Sprites;
    std::vector<SMW_Font> Fonts;
    std::vector<std::string> Strings;  // language 0; none = a file without languages
};

// Lays out a resource file (version 0x20010312). Returns false with a reason in *error for a
// description the format cannot hold (unknown node type, duplicate or missing ids, bad sizes).
bool SM_WriteResource(const SMW_Resource& desc, std::vector<uint8_t>* out, std::string* error);
