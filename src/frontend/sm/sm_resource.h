// The screen resource module: builds the directory of screens, sprites, fonts and strings from a
// resource file image (preload mode: everything is built at start and stays in memory), fixes up each
// screen's node pointers, and hands out screens, sprite images, fonts and strings by number.
#pragma once

#include <cstddef>
#include <cstdint>
#include "frontend/sm/sm_resource_format.h"

struct _font;
struct _progressBar;

// One glyph of one page of a glyph-table font: its image instance while it is in memory.
struct _sm_glyphslot {
    uint32_t Instance;  // the bitmap descriptor's address, 0 = not built
    uint32_t Flags;     // bit 0: resident
    int32_t Expiry;     // page-flip count after which SM_ManageResource frees it
    uint32_t Reserved;
};
static_assert(sizeof(_sm_glyphslot) == 16);

struct _sm_fontrecord {
    _font* Font;     // the engine font (font files)
    uint8_t* Image;  // its image, 16-byte aligned (glyph tables: colour tables and glyph pixels)
    int32_t Preloaded;
    int32_t Glyphs;  // glyph images in memory (glyph-table fonts)
    int32_t Shared;  // the engine font belongs to an earlier font of the same name
    // Glyph-table fonts: pages (colour variants), depth, 96 slots per page, per page a palette of 4-byte
    // colours (r, g, b, a; expanded from the file's 16-bit colours) at 16-byte strides, and the character
    // records. Null for font files.
    int32_t Pages;
    int32_t Bpp;
    _sm_glyphslot* PageTable;
    uint32_t* Palettes;
    uint32_t PaletteStride;  // colours per page in Palettes
    _sm_charrecord* Chars;
};

// Residency of a sprite: expiry page-flip count (-1 = always) and lock count.
struct _sm_residency {
    int32_t Expiry;
    int32_t Locks;
};

struct _sm_resource {
    int32_t Ready = 0;     // SM_InitResourceModule ran
    int32_t Loaded = 0;    // a file is in use
    int32_t Managing = 0;  // SM_ManageResource frees idle images
    int32_t Preload = 0;
    _sm_resheader Header{};
    int32_t nSprites = 0, nFonts = 0, nLanguages = 0, nScreens = 0;
    // Sprites: the table, residency, image instances and the packed pixel data (each sprite's pixels
    // at a 16-byte boundary, its palette at the next one).
    SmTable<_sm_spriteentry> Sprites;
    SmTable<_sm_residency> SpriteRes;
    SmTable<uint32_t> SpriteInstances;
    SmTable<uint32_t> SpritePixelAt;
    uint8_t* SpriteData = nullptr;
    // Fonts: entries, names (128 bytes each; empty in a glyph-table file) and records.
    SmTable<_sm_fontentry> Fonts;
    SmTable<char> FontNames;
    SmTable<_sm_fontrecord> FontRecs;
    // Languages: the table and the current language's strings.
    SmTable<_sm_langentry> Languages;
    SmTable<char> StringArea;
    SmTable<char> LangBlock;
    SmTable<const char*> Strings;
    uint32_t StringCount = 0;
    // Screens: the table (Address = the loaded screen), use counts, lock bits (bit 1: held by an
    // instance), the pristine copies SM_LoadScreen takes, and the offset each screen's pointers are
    // relative to (its offset minus the first screen's).
    SmTable<_sm_screenentry_file> Screens;
    SmTable<int16_t> UseCounts;
    SmTable<uint16_t> LockBits;
    SmTable<uint8_t*> ScreenCopies;
    SmTable<int64_t> ScreenBase;
    _progressBar* Bar = nullptr;
};
extern _sm_resource Resource;

// Lock bit of a screen held by an instance node of another screen (SM_ReleaseAllScreens without
// force keeps it).
inline constexpr uint16_t SM_SCREEN_LOCK_INSTANCE = 0x0001;

void SM_InitResourceModule();
void SM_KillResourceModule();
void SM_PrepSetResourcePreload(int32_t bufferSize);
// Checks the whole image (SM_ValidateResource) and refuses a bad one (returns 0); otherwise builds
// the directory and returns 1. The image stays the caller's: everything needed is copied. When the
// engine heap cannot hold what the file needs, the load fails with one log line and frees what it took.
int SM_InitResourcePtr(const void* image, size_t length, uint32_t offset, _progressBar* bar);
// Why SM_InitResourcePtr last refused the image it was given (what its check found wrong); empty when
// it took it, or failed only for want of heap.
const char* SM_ResourceRefusal();
void SM_KillResource();
void SM_ManageResource();

// Address of the screen's loaded node tree, or null.
_smdlhdr* SM_ResScreenRoot(int32_t screen);
// Turns the stored offsets of a node list (the node, its subtree and its following siblings) into
// addresses; each node is visited once. The list must be a checked tree (SM_ValidateResource): the walk
// climbs back up through the parent words it has fixed.
void FixupPointers(_smdlhdr* node, uint8_t* screen, int64_t base);

uint32_t* SM_GetSpriteImage(int32_t sprite, int32_t mode);
void SM_ReleaseSprite(int32_t sprite);
void SM_ReleaseAllSprites(int32_t force);

_sm_fontrecord* SM_GetFont(int32_t font);
int32_t SM_GetFontKern(int32_t font);
int32_t SM_GetFontMaxOffsetY(int32_t font);
int32_t SM_GetFontMaxCharHeight(int32_t font);
// Whether the font is a glyph-table font (drawn glyph by glyph through the text buffer).
bool SM_FontHasGlyphs(int32_t font);
// The character record of glyph code `glyph` (character code - 32) of a glyph-table font, or null.
const _sm_charrecord* SM_GetCharRecord(int32_t font, int32_t glyph);
// The image instance of glyph `glyph` (character code - 32) of a glyph-table font in colour page `page`,
// built on first use; null for a character the font does not define (or when the heap is short). Each
// use sets the glyph's expiry to page flips + 30.
uint32_t* SM_GetCharImage(int32_t glyph, int32_t font, int32_t page);
// Frees a font's glyph images (all fonts'). The font's tables stay: the file is used whole from memory,
// so a glyph is built again from them when it is next used.
void SM_ReleaseFont(int32_t font);
void SM_ReleaseAllFonts();

const char* SM_GetStringByID(int32_t id);
// Diagnostic walk over resident sprites and glyphs; returns how many it found (prints nothing).
int32_t SM_LogActiveResources();
int32_t CalcPow2(int32_t n);
int32_t GetBitmapFormat(int32_t colours, int32_t bpp);
// Makes `language` current; 0 (after a log line) when the heap cannot hold its strings.
int LoadLanguagePtr(int32_t language);

// Screen memory (preload mode: every screen stays in memory). Loading counts a use; the first use takes
// a pristine copy of the fixed-up screen, and the last release copies it back.
_smdlhdr* SM_ResLoadScreen(int32_t screen);
void SM_ResReleaseScreen(int32_t screen);
// Without force, screens held by an instance of another screen stay as they are.
void SM_ResReleaseAllScreens(int32_t force);
_smdlhdr* SM_ResPristineRoot(int32_t screen);

// Installs the resource module, display lists and drawing back end as the screen manager's back end
// (before SM_InitSystem; SM_InitResourcePtr installs it when none is).
void SM_InstallResourceBackend();
