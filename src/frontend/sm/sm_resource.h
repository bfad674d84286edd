// The screen resource module: builds the directory of screens, sprites, fonts and strings from a
// resource file image (preload mode: everything is built at start and stays in memory), fixes up each
// screen's node pointers, and hands out screens, sprite images, fonts and strings by number.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "frontend/sm/sm_resource_format.h"

struct _font;
struct _progressBar;

struct _sm_fontrecord {
    _font* Font;     // the engine font (font files)
    uint8_t* Image;  // its image, 16-byte aligned
    int32_t Preloaded;
    int32_t Glyphs;  // glyph images in memory (glyph-table fonts)
    int32_t Shared;  // the engine font belongs to an earlier font of the same name
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
    std::vector<_sm_spriteentry> Sprites;
    std::vector<_sm_residency> SpriteRes;
    std::vector<uint32_t> SpriteInstances;
    std::vector<uint32_t> SpritePixelAt;
    uint8_t* SpriteData = nullptr;
    // Fonts.
    std::vector<_sm_fontentry> Fonts;
    std::vector<std::vector<char>> FontNames;
    std::vector<_sm_fontrecord> FontRecs;
    // Languages: the table and the current language's strings.
    std::vector<_sm_langentry> Languages;
    std::vector<char> StringArea;
    std::vector<char> LangBlock;
    std::vector<const char*> Strings;
    // Screens: the table (Address = the loaded screen), use counts, lock bits (bit 1: held by an
    // instance), the pristine copies SM_LoadScreen takes, and the offset each screen's pointers are
    // relative to (its offset minus the first screen's).
    std::vector<_sm_screenentry_file> Screens;
    std::vector<int16_t> UseCounts;
    std::vector<uint16_t> LockBits;
    std::vector<uint8_t*> ScreenCopies;
    std::vector<int64_t> ScreenBase;
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
// the directory and returns 1. The image stays the caller's: everything needed is copied.
int SM_InitResourcePtr(const void* image, size_t length, uint32_t offset, _progressBar* bar);
void SM_KillResource();
void SM_ManageResource();

// Address of the screen's loaded node tree, or null.
_smdlhdr* SM_ResScreenRoot(int32_t screen);
// Turns the stored offsets of a node list (the node, its subtree and its following siblings) into
// addresses; each node is visited once.
void FixupPointers(_smdlhdr* node, uint8_t* screen, int64_t base);

uint32_t* SM_GetSpriteImage(int32_t sprite, int32_t mode);
void SM_ReleaseSprite(int32_t sprite);
void SM_ReleaseAllSprites(int32_t force);

_sm_fontrecord* SM_GetFont(int32_t font);
int32_t SM_GetFontKern(int32_t font);
int32_t SM_GetFontMaxOffsetY(int32_t font);
int32_t SM_GetFontMaxCharHeight(int32_t font);
// Glyph images of glyph-table fonts; this build reads font files only, so always null.
uint32_t* SM_GetCharImage(int32_t glyph, int32_t font, int32_t page);
void SM_ReleaseFont(int32_t font);
void SM_ReleaseAllFonts();

const char* SM_GetStringByID(int32_t id);
// Diagnostic walk over resident images; returns how many it found (prints nothing).
int32_t SM_LogActiveResources();
int32_t CalcPow2(int32_t n);
int32_t GetBitmapFormat(int32_t colours, int32_t bpp);
void LoadLanguagePtr(int32_t language);

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
