// The front end's screen resource file ("frontend\FE_game.exp"): one little-endian image holding the
// screens (node trees), sprite images, fonts and strings. Every offset is from the file's first byte.
//
//   header (88 bytes)          table offsets and sizes
//   sprite table               28 bytes per sprite
//   font table                 32 bytes per font (0x20001213), or 160 (0x20010312: entry + 128-byte name)
//   glyph list                 per glyph page of the glyph-table fonts, in font order: the offset of
//                              the page's colour table in the font image area
//   character data             per glyph-table font: 96 character records (codes 32..127)
//   language table             8 bytes per language
//   string area                per language: its strings back to back, zero-terminated
//   screen table               12 bytes per screen: offset in the screen data area, size, address word
//   screen data                each screen's node tree, root first
//   sprite data                per sprite in table order: pixels, then palette (4 bytes per colour)
//   font image area            per font in table order: a complete engine font file, or for a
//                              glyph-table font its pages' colour tables (2 bytes per colour, each
//                              padded to 8 bytes) followed by its glyphs' pixels
//
// Version 0x20001213 holds glyph-table fonts only. In version 0x20010312 a font entry with no glyph pages
// is an engine font file; one with glyph pages is a glyph-table font whose image and character records
// are laid out as in the older version (its name is kept but no engine font is made of it).
//
// Nodes are kept in memory exactly as they are stored (sm_types.h): a 44-byte header and the type's fields.
// Node pointers are 32-bit words; in the file a pointer to the node at byte L of screen k holds
// (o_k - o_0) + L (o = the screens' offsets in the screen data area), and loading turns it into the
// console address of the node. The reader and the writer share these records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "console/mem/format_check.h"
#include "engine/sys/heap.h"
#include "frontend/sm/sm_types.h"

// A table the resource module and the validator take from the engine heap. Alloc reports a short heap
// (false) instead of ending the program, so that a load can fail cleanly; Free gives the memory back.
// Plain data only.
template <typename T>
struct SmTable {
    T* p = nullptr;
    uint32_t n = 0;

    bool Alloc(size_t count) {
        Free();
        if (count == 0) return true;
        if (count > 0x7FFFFFFFu / sizeof(T)) return false;
        p = static_cast<T*>(x_fn_malloc(uint32_t(count * sizeof(T)), __FILE__, __LINE__));
        if (!p) return false;
        std::memset(static_cast<void*>(p), 0, count * sizeof(T));
        n = uint32_t(count);
        return true;
    }
    void Free() {
        if (p) x_free(p);
        p = nullptr;
        n = 0;
    }
    T& operator[](size_t i) { return p[i]; }
    const T& operator[](size_t i) const { return p[i]; }
    T* data() { return p; }
    uint32_t size() const { return n; }
};

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
    uint16_t GlyphPages;  // 0 for font files; colour variants of a glyph-table font
    int16_t Kern;         // font files: 0 prints with the engine font's own spacing
    uint16_t Reserved18;
    uint32_t CharDataOfs;  // glyph tables: the 96 character records, in the character data area
    uint32_t ImageOfs;     // in the font image area
    uint32_t ImageSize;
};
static_assert(sizeof(_sm_fontentry) == 32);
inline constexpr size_t SM_FONT_ENTRY_V1 = sizeof(_sm_fontentry);                       // 32
inline constexpr size_t SM_FONT_ENTRY_V2 = sizeof(_sm_fontentry) + SM_FONT_NAME_BYTES;  // 160

// Glyph-table fonts: 96 records for the character codes 32..127 (glyph code = character code - 32).
struct _sm_charrecord {
    uint32_t PixelOfs;     // in the font image area; minus the font's ImageOfs, in the font's own image
    int8_t Width, Height;  // 0 in either: the character is not defined
    int8_t Advance;        // pen advance; also the length of the glyph's pixel lines
    int8_t OffsetY;        // drawn this far below the line's top
    uint32_t DrawHeight;   // height the glyph is drawn at
};
static_assert(sizeof(_sm_charrecord) == 12);
inline constexpr int SM_FONT_CHARS = 96;
inline constexpr int SM_MAX_GLYPH_PAGES = 64;
inline constexpr float SM_MAX_NODE_SCALE = 256.0f;  // a node's scale factors lie within +-256
inline constexpr uint32_t SM_MAX_GLYPH_DRAW_HEIGHT = 1024;

// Bits per pixel of a glyph-table font's images from its palette colours: 0 = 16, up to 16 = 4, else 8.
int SM_GlyphBpp(uint16_t colours);
// Bytes of a colour table in the file: 2 per colour, padded to a multiple of 8.
uint32_t SM_GlyphColourTableBytes(uint16_t colours);
// Bytes of a glyph's pixels: advance x height at the font's depth.
uint32_t SM_GlyphPixelBytes(const _sm_charrecord& c, int bpp);

// Size of a node of a type a file may hold; 0 for any other type.
size_t SM_NodeSize(uint16_t type);

// Checks a whole resource file image: header, tables, every offset and size inside the file, sprite,
// font and string data, every node record, pointer, link and instance reference, and that each screen
// is a tree (each node reached once). Refused after one log line naming what is wrong (the reason
// after "SM resource: ").
FormatCheck SM_CheckResource(const void* image, size_t length);
// The same answer as 1 (usable) or 0 (refused).
int SM_ValidateResource(const void* image, size_t length);

// ---------------------------------------------------------------------------------------------------
// Writing a resource file from a description of its screens.

struct SMW_Node {
    int16_t ID = -1;
    uint16_t Type = SM_TYPE_GROUP;
    uint8_t Alpha = 255;
    uint16_t Flags = SM_FLAG_VISIBLE;
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
    int8_t Font = 0, Clut = 0, HiFont = -1, HiClut = -1, DisFont = -1, DisClut = -1;  // clut = glyph page
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

// One character of a glyph-table font.
struct SMW_Glyph {
    int8_t Width = 0, Height = 0;  // 0: not defined (the advance still counts, e.g. a space)
    int8_t Advance = 0, OffsetY = 0;
    uint32_t DrawHeight = 0;
    std::vector<uint8_t> Pixels;  // Advance x Height pixels at the font's depth, rows of Advance
};

struct SMW_Font {
    std::string Name;  // the engine font's name; must differ from the shell's fonts
    uint16_t MaxOffsetY = 0, MaxCharHeight = 0;
    std::vector<uint8_t> Image;  // a complete engine font file (empty for a glyph-table font)
    int16_t Kern = 0;
    // Glyph-table fonts (Pages not empty): palette colours (0 = 16-bit pixels, up to 16 = 4 bits, up to
    // 256 = 8 bits), per page a colour table of that many 16-bit colours (red in bits 0-4, green 5-9,
    // blue 10-14, bit 15 opaque), and 96 glyphs for the codes 32..127.
    uint16_t Colours = 0;
    std::vector<std::vector<uint16_t>> Pages{};
    std::vector<SMW_Glyph> Glyphs{};
};

struct SMW_Resource {
    // 0x20010312 (engine font files, and glyph-table fonts beside them) or 0x20001213 (glyph-table fonts
    // only).
    uint32_t Version = SM_RES_VERSION_FONTFILES;
    std::vector<SMW_Node> Screens;  // roots; screen n gets id n, type screen, links on
    std::vector<SMW_Sprite> Sprites;
    std::vector<SMW_Font> Fonts;
    std::vector<std::string> Strings;  // language 0; none = a file without languages
};

// Lays out a resource file. Returns false with a reason in *error for a description the format cannot
// hold (unknown node type, duplicate or missing ids, bad sizes, a font file in a glyph-table file).
bool SM_WriteResource(const SMW_Resource& desc, std::vector<uint8_t>* out, std::string* error);
