#include "frontend/sm/sm_resource.h"

#include <cstring>

#include "console/mem/addr.h"
#include "engine/font/font.h"
#include "engine/sys/files.h"
#include "engine/sys/heap.h"
#include "frontend/sm/sm_core.h"
#include "frontend/sm/sm_draw.h"
#include "frontend/sm/sm_progress.h"

_sm_resource Resource;

namespace {

// Why the last image given to SM_InitResourcePtr was refused; empty when it was not.
char g_refusal[kFormatWhyBytes];

uint32_t Up16(uint32_t n) {
    return (n + 15u) & ~15u;
}

uint32_t PixelBytes(const _sm_spriteentry& s) {
    const uint32_t n = uint32_t(s.Width) * s.Height;
    return s.Bpp == 4 ? n / 2 : n * s.Bpp / 8;
}

int32_t LineBytes(const _sm_spriteentry& s) {
    switch (s.Bpp) {
        case 32:
            return s.Width * 4;
        case 16:
            return s.Width * 2;
        case 8:
            return s.Width;
        default:
            return s.Width / 2;
    }
}

// Builds sprite i's image instance from the packed data (marks it resident). False when the heap has no
// room for its descriptor (the sprite stays as it was).
bool BuildSprite(int32_t i) {
    _sm_spriteentry& s = Resource.Sprites[size_t(i)];
    uint8_t* pixels = Resource.SpriteData + Resource.SpritePixelAt[size_t(i)];
    uint8_t* palette = s.Colours ? pixels + Up16(PixelBytes(s)) : nullptr;
    auto* bmp = static_cast<BMP_INSTANCE*>(x_fn_malloc(sizeof(BMP_INSTANCE), __FILE__, __LINE__));
    if (!bmp) return false;
    DRAW_SetupBitmap(bmp, GetBitmapFormat(s.Colours, s.Bpp), s.Width, s.Height, LineBytes(s), pixels, palette,
                     s.Colours);
    VRAM_SetupFromBMP(&Resource.SpriteInstances[size_t(i)], bmp);
    s.Flags |= 1;
    return true;
}

// A 16-bit colour of a glyph page (red bits 0-4, green 5-9, blue 10-14, bit 15 opaque) as the 4-byte
// palette entry the drawing back end takes (r, g, b, a; alpha 0x80 = opaque).
uint32_t ExpandColour(uint16_t c) {
    auto up = [](uint32_t v) { return (v << 3) | (v >> 2); };
    const uint32_t r = up(c & 31u), g = up((c >> 5) & 31u), b = up((c >> 10) & 31u);
    return r | g << 8 | b << 16 | ((c & 0x8000u) ? 0x80u : 0u) << 24;
}

// Frees what a glyph-table font holds beside its record's engine font and image.
void FreeGlyphTables(_sm_fontrecord& f) {
    for (int32_t k = 0; f.PageTable && k < f.Pages * SM_FONT_CHARS; ++k)
        if (f.PageTable[k].Flags & 1) VRAM_KillInstance(&f.PageTable[k].Instance);
    if (f.PageTable) x_free(f.PageTable);
    if (f.Palettes) x_free(f.Palettes);
    if (f.Chars) x_free(f.Chars);
    f.PageTable = nullptr, f.Palettes = nullptr, f.Chars = nullptr;
    f.Glyphs = 0;
}

// A failed allocation while building the directory: one line, and the caller gives everything back.
int OutOfMemory(const char* what, uint32_t bytes) {
    x_printf("SM resource: no room in the heap for %s (%u bytes); file not loaded\n", what, bytes);
    return 0;
}

void StepBar(int32_t steps) {
    if (Resource.Bar) SM_StepProgressBar(Resource.Bar, steps);
}

template <typename T>
T Load(const uint8_t* at) {
    T v;
    std::memcpy(&v, at, sizeof v);
    return v;
}

}  // namespace

void SM_InitResourceModule() {
    Resource = _sm_resource{};
    Resource.Ready = 1;
}

void SM_KillResourceModule() {
    Resource.Ready = 0;
}

void SM_PrepSetResourcePreload(int32_t) {
    Resource.Preload = 1;
}

int32_t CalcPow2(int32_t n) {
    if (n > 1024) return 0;
    int32_t p = 2;
    while (p < n) p <<= 1;
    return p;
}

int32_t GetBitmapFormat(int32_t colours, int32_t bpp) {
    if (colours) return bpp == 8 ? 0x1C : 0x12;
    switch (bpp) {
        case 16:
            return 4;
        case 24:
            return 8;
        case 32:
            return 0x0C;
        default:
            return -1;
    }
}

int LoadLanguagePtr(int32_t language) {
    _sm_resource& R = Resource;
    R.LangBlock.Free();
    R.Strings.Free();
    R.StringCount = 0;
    if (language < 0 || language >= R.nLanguages) return 1;
    const _sm_langentry& l = R.Languages[size_t(language)];
    if (l.Count == 0) return 1;
    const size_t end =
        language + 1 < R.nLanguages ? R.Languages[size_t(language) + 1].BlockOfs : R.StringArea.size();
    if (l.BlockOfs > end || end > R.StringArea.size()) return 1;
    const size_t bytes = end - l.BlockOfs;
    // One zero byte more, so the last string ends inside the block.
    if (!R.LangBlock.Alloc(bytes + 1) || !R.Strings.Alloc(l.Count)) {
        R.LangBlock.Free();
        return OutOfMemory("the strings", uint32_t(bytes + 1 + size_t(l.Count) * sizeof(char*)));
    }
    if (bytes) std::memcpy(R.LangBlock.data(), R.StringArea.data() + l.BlockOfs, bytes);
    for (size_t at = 0; R.StringCount < l.Count && at + 1 < R.LangBlock.size();) {
        R.Strings[R.StringCount++] = R.LangBlock.data() + at;
        at += std::strlen(R.LangBlock.data() + at) + 1;
    }
    return 1;
}

_smdlhdr* SM_ResScreenRoot(int32_t screen) {
    if (screen < 0 || screen >= Resource.nScreens) return nullptr;
    return Ptr<_smdlhdr>(Resource.Screens[size_t(screen)].Address);
}

void FixupPointers(_smdlhdr* first, uint8_t* screen, int64_t base) {
    const uint32_t at = Addr32(screen);
    auto reloc = [&](uint32_t& v) { v = uint32_t(int64_t(at) + int64_t(v) - base); };
    // Pre-order without a stack: a node is fixed before its children, and the fixed parent word of the
    // last child of a list leads back up.
    int depth = 0;
    for (_smdlhdr* n = first; n;) {
        if (n->Flags & SM_FLAG_LINKS) {
            auto* l = reinterpret_cast<_sm_linkblock*>(n + 1);
            for (uint32_t* v : {&l->Up, &l->Down, &l->Left, &l->Right})
                if (*v) reloc(*v);
        }
        switch (n->Type) {
            case SM_TYPE_INSTANCE: {
                auto* in = reinterpret_cast<_sm_instancenode*>(n);
                for (uint32_t& r : in->Ref) {
                    if (!r) continue;
                    const uint32_t s = r >> 16, ofs = r & 0xFFFF;
                    r = Resource.Screens[s].Address + ofs;
                    Resource.LockBits[s] |= SM_SCREEN_LOCK_INSTANCE;
                }
                break;
            }
            case SM_TYPE_TEXT:
                reinterpret_cast<_sm_textnode*>(n)->Text = 0;
                break;
            case SM_TYPE_SCREEN: {
                auto* sc = reinterpret_cast<_sm_screennode*>(n);
                if (sc->SavedFocus) reloc(sc->SavedFocus);
                n->Flags |= SM_FLAG_FIXEDUP;
                break;
            }
            case SM_TYPE_SPRITE: {
                auto* sp = reinterpret_cast<_sm_spritenode*>(n);
                if (sp->Sprite < 0 || sp->Sprite >= Resource.nSprites) sp->Sprite = 0;
                break;
            }
            default:
                break;
        }
        if (n->Type == SM_TYPE_SCREEN && (n->pParent == 0 || (n->pNext == 0 && n->pChildren == 0)))
            n->pParent = 0;
        else
            reloc(n->pParent);
        if (n->pNext) reloc(n->pNext);
        if (n->pChildren) {
            reloc(n->pChildren);
            n = Ptr<_smdlhdr>(n->pChildren);
            ++depth;
            continue;
        }
        while (!n->pNext && depth > 0) {
            n = Ptr<_smdlhdr>(n->pParent);
            --depth;
        }
        n = Ptr<_smdlhdr>(n->pNext);
    }
}

namespace {

// Frees everything the module holds (a failed load's part too) and clears its state, keeping Ready and
// the preload switch.
void FreeAll() {
    _sm_resource& R = Resource;
    // Fonts of the same name share one engine record, which may hold another font's image: destroy
    // them all before freeing any image.
    for (uint32_t i = 0; i < R.FontRecs.size(); ++i)
        if (R.FontRecs[i].Font && !R.FontRecs[i].Shared) veFontDestroy(R.FontRecs[i].Font);
    for (uint32_t i = 0; i < R.FontRecs.size(); ++i) {
        _sm_fontrecord& f = R.FontRecs[i];
        FreeGlyphTables(f);
        if (f.Image) x_free(f.Image);
    }
    for (uint32_t i = 0; i < R.SpriteInstances.size(); ++i)
        if (R.SpriteInstances[i]) VRAM_KillInstance(&R.SpriteInstances[i]);
    for (uint32_t k = 0; k < R.Screens.size(); ++k) {
        if (R.Screens[k].Address) x_free(Ptr<uint8_t>(R.Screens[k].Address));
        if (k < R.ScreenCopies.size() && R.ScreenCopies[k]) x_free(R.ScreenCopies[k]);
    }
    if (R.SpriteData) x_free(R.SpriteData);
    R.Sprites.Free(), R.SpriteRes.Free(), R.SpriteInstances.Free(), R.SpritePixelAt.Free();
    R.Fonts.Free(), R.FontNames.Free(), R.FontRecs.Free();
    R.Languages.Free(), R.StringArea.Free(), R.LangBlock.Free(), R.Strings.Free();
    R.Screens.Free(), R.UseCounts.Free(), R.LockBits.Free(), R.ScreenCopies.Free(), R.ScreenBase.Free();
    const int32_t ready = R.Ready, preload = R.Preload;
    R = _sm_resource{};
    R.Ready = ready;
    R.Preload = preload;
}

// Builds font i's record from its entry: an engine font from a font file, or the page table, palettes
// and character records of a glyph-table font. Returns 0 after the log line of a short heap.
int BuildFont(int32_t i, const uint8_t* img) {
    _sm_resource& R = Resource;
    const _sm_resheader& h = R.Header;
    const _sm_fontentry& f = R.Fonts[size_t(i)];
    _sm_fontrecord& rec = R.FontRecs[size_t(i)];
    rec.Image = static_cast<uint8_t*>(x_fn_amalloc(f.ImageSize, 16));
    if (!rec.Image) return OutOfMemory("a font image", f.ImageSize);
    std::memcpy(rec.Image, img + h.FontImageOfs + f.ImageOfs, f.ImageSize);
    if (f.GlyphPages) {
        rec.Pages = f.GlyphPages;
        rec.Bpp = SM_GlyphBpp(f.Colours);
        rec.PaletteStride = (uint32_t(f.Colours) + 3u) & ~3u;
        const uint32_t slots = uint32_t(rec.Pages) * SM_FONT_CHARS * sizeof(_sm_glyphslot);
        const uint32_t palettes = uint32_t(rec.Pages) * rec.PaletteStride * 4;
        const uint32_t chars = SM_FONT_CHARS * sizeof(_sm_charrecord);
        rec.PageTable = static_cast<_sm_glyphslot*>(x_fn_malloc(slots, __FILE__, __LINE__));
        if (rec.PageTable) std::memset(rec.PageTable, 0, slots);  // cleared before anything frees it
        rec.Palettes = static_cast<uint32_t*>(x_fn_amalloc(palettes ? palettes : 16, 16));
        rec.Chars = static_cast<_sm_charrecord*>(x_fn_malloc(chars, __FILE__, __LINE__));
        if (!rec.PageTable || !rec.Palettes || !rec.Chars) {
            FreeGlyphTables(rec);
            return OutOfMemory("a font's glyph tables", slots + palettes + chars);
        }
        std::memset(rec.Palettes, 0, palettes ? palettes : 16);
        std::memcpy(rec.Chars, img + h.CharDataOfs + f.CharDataOfs, chars);
        // The pages' colour tables, at the offsets the glyph list gives for this font's pages in turn.
        uint32_t page = 0;
        for (int32_t j = 0; j < i; ++j) page += R.Fonts[size_t(j)].GlyphPages;
        for (int32_t p = 0; p < rec.Pages; ++p) {
            uint32_t at;
            std::memcpy(&at, img + h.GlyphListOfs + size_t(page + uint32_t(p)) * 4, 4);
            const uint8_t* from = img + h.FontImageOfs + at;
            for (uint32_t c = 0; c < f.Colours; ++c)
                rec.Palettes[size_t(p) * rec.PaletteStride + c] = ExpandColour(Load<uint16_t>(from + 2 * c));
        }
        return 1;
    }
    rec.Preloaded = 1;
    const char* name = R.FontNames.data() + size_t(i) * SM_FONT_NAME_BYTES;
    // The engine shares fonts by name: a second font of a name this file already made uses the first
    // one's, and a name some other part of the game loaded is left alone (destroying ours would free
    // that font).
    for (int32_t j = 0; j < i && !rec.Shared; ++j)
        if (!R.FontRecs[size_t(j)].PageTable &&
            std::strncmp(R.FontNames.data() + size_t(j) * SM_FONT_NAME_BYTES, name, SM_FONT_NAME_BYTES) == 0)
            rec.Font = R.FontRecs[size_t(j)].Font, rec.Shared = 1;
    bool inUse = false;
    for (_font* o = engine::usedfonts; o && !rec.Shared && !inUse; o = o->next)
        inUse = o->data && std::strncmp(o->filename, name, SM_FONT_NAME_BYTES) == 0;
    if (inUse) x_printf("SM resource: font \"%s\" is already loaded; the file's font is not used\n", name);
    if (!rec.Shared && !inUse) {
        rec.Font = veFontCreateFromPointer(name, reinterpret_cast<_font_data*>(rec.Image), f.ImageSize, 0, 0);
        if (!rec.Font) {
            x_printf("SM resource: font \"%s\" could not be made (no free engine font); file not loaded\n",
                     name);
            return 0;
        }
    }
    return 1;
}

// Languages: the table and the whole string area (language blocks are cut from it).
int BuildLanguages(const uint8_t* img) {
    _sm_resource& R = Resource;
    const _sm_resheader& h = R.Header;
    if (!R.nLanguages) return 1;
    if (!R.Languages.Alloc(size_t(R.nLanguages)) || !R.StringArea.Alloc(h.StringAreaSize))
        return OutOfMemory("the language table", h.LangTableSize + h.StringAreaSize);
    std::memcpy(R.Languages.data(), img + h.LangTableOfs, h.LangTableSize);
    if (h.StringAreaSize) std::memcpy(R.StringArea.data(), img + h.StringAreaOfs, h.StringAreaSize);
    if (!LoadLanguagePtr(0)) return 0;
    StepBar(R.nLanguages);
    return 1;
}

// Screens: the table, and each screen's data in a block of its own.
int BuildScreens(const uint8_t* img) {
    _sm_resource& R = Resource;
    const _sm_resheader& h = R.Header;
    if (!R.nScreens) return 1;
    const size_t n = size_t(R.nScreens);
    if (!R.Screens.Alloc(n) || !R.UseCounts.Alloc(n) || !R.LockBits.Alloc(n) || !R.ScreenCopies.Alloc(n) ||
        !R.ScreenBase.Alloc(n))
        return OutOfMemory("the screen table", uint32_t(n * 34));
    std::memcpy(R.Screens.data(), img + h.ScreenTableOfs, h.ScreenTableSize);
    for (int32_t k = 0; k < R.nScreens; ++k) R.Screens[size_t(k)].Address = 0;
    for (int32_t k = 0; k < R.nScreens; ++k) {
        _sm_screenentry_file& e = R.Screens[size_t(k)];
        R.ScreenBase[size_t(k)] = int64_t(e.Offset) - int64_t(R.Screens[0].Offset);
        auto* mem = static_cast<uint8_t*>(x_fn_amalloc(e.Size, 16));
        if (!mem) return OutOfMemory("a screen", e.Size);
        std::memcpy(mem, img + h.ScreenDataOfs + e.Offset, e.Size);
        e.Address = Addr32(mem);
        StepBar(1);
    }
    return 1;
}

// Fonts: font files each in a 16-byte aligned block of their own, made engine fonts; glyph-table
// fonts with their page tables, palettes and character records.
int BuildFonts(const uint8_t* img) {
    _sm_resource& R = Resource;
    const _sm_resheader& h = R.Header;
    if (!R.nFonts) return 1;
    const bool v1 = h.Version == SM_RES_VERSION_GLYPHS;
    const size_t entry = v1 ? SM_FONT_ENTRY_V1 : SM_FONT_ENTRY_V2;
    const size_t n = size_t(R.nFonts);
    if (!R.Fonts.Alloc(n) || !R.FontNames.Alloc(n * SM_FONT_NAME_BYTES) || !R.FontRecs.Alloc(n))
        return OutOfMemory("the font table",
                           uint32_t(n * (32 + SM_FONT_NAME_BYTES + sizeof(_sm_fontrecord))));
    for (int32_t i = 0; i < R.nFonts; ++i) {
        const uint8_t* e = img + h.FontTableOfs + size_t(i) * entry;
        R.Fonts[size_t(i)] = Load<_sm_fontentry>(e);
        if (!v1) {
            std::memcpy(R.FontNames.data() + size_t(i) * SM_FONT_NAME_BYTES, e + sizeof(_sm_fontentry),
                        SM_FONT_NAME_BYTES);
            R.FontNames[size_t(i) * SM_FONT_NAME_BYTES + SM_FONT_NAME_BYTES - 1] = 0;
        }
    }
    for (int32_t i = 0; i < R.nFonts; ++i) {
        if (!BuildFont(i, img)) return 0;
        StepBar(1);
    }
    return 1;
}

// Sprites: the table, residency and instances; the pixel data repacked on 16-byte boundaries.
int BuildSprites(const uint8_t* img) {
    _sm_resource& R = Resource;
    const _sm_resheader& h = R.Header;
    if (!R.nSprites) return 1;
    const size_t n = size_t(R.nSprites);
    if (!R.Sprites.Alloc(n) || !R.SpriteRes.Alloc(n) || !R.SpriteInstances.Alloc(n) ||
        !R.SpritePixelAt.Alloc(n))
        return OutOfMemory("the sprite table", uint32_t(n * 44));
    std::memcpy(R.Sprites.data(), img + h.SpriteTableOfs, h.SpriteTableSize);
    uint32_t total = 0;
    for (int32_t i = 0; i < R.nSprites; ++i) {
        _sm_spriteentry& s = R.Sprites[size_t(i)];
        s.Flags = 0;
        s.Cleared18 = 0;
        R.SpritePixelAt[size_t(i)] = total;
        total += Up16(PixelBytes(s)) + Up16(uint32_t(s.Colours) * 4);
    }
    R.SpriteData = static_cast<uint8_t*>(x_fn_amalloc(total ? total : 16, 16));
    if (!R.SpriteData) return OutOfMemory("the sprite pictures", total);
    const uint8_t* from = img + h.SpriteDataOfs;
    for (int32_t i = 0; i < R.nSprites; ++i) {
        const _sm_spriteentry& s = R.Sprites[size_t(i)];
        const uint32_t pix = PixelBytes(s), pal = uint32_t(s.Colours) * 4;
        uint8_t* to = R.SpriteData + R.SpritePixelAt[size_t(i)];
        std::memcpy(to, from, pix);
        std::memcpy(to + Up16(pix), from + pix, pal);
        from += pix + pal;
        if (R.Preload) {
            if (!BuildSprite(i)) return OutOfMemory("a sprite's descriptor", sizeof(BMP_INSTANCE));
            R.SpriteRes[size_t(i)].Locks += 1;
            StepBar(1);
        }
    }
    return 1;
}

// Everything the file holds, made ready to use. Returns 0 after the log line of what failed.
int BuildDirectory(const uint8_t* img) {
    return BuildLanguages(img) && BuildScreens(img) && BuildFonts(img) && BuildSprites(img) ? 1 : 0;
}

}  // namespace

int SM_InitResourcePtr(const void* image, size_t length, uint32_t offset, _progressBar* bar) {
    if (!SM_GetBackend()) SM_InstallResourceBackend();
    // A file still held (the module may have been stopped since) is freed before the module starts again.
    if (Resource.Loaded) SM_KillResource();
    if (!Resource.Ready) SM_InitResourceModule();
    g_refusal[0] = '\0';
    if (!image || offset > length) {
        x_printf("SM resource: no file image; file refused\n");
        std::memcpy(g_refusal, "no file image", sizeof "no file image");
        return 0;
    }
    const uint8_t* img = static_cast<const uint8_t*>(image) + offset;
    const size_t len = length - offset;
    const FormatCheck check = SM_CheckResource(img, len);
    if (!check.ok) {
        std::memcpy(g_refusal, check.why, sizeof g_refusal);
        return 0;
    }

    _sm_resource& R = Resource;
    R.Bar = bar;
    std::memcpy(&R.Header, img, sizeof R.Header);
    const _sm_resheader& h = R.Header;
    R.nSprites = int32_t(h.SpriteTableSize / sizeof(_sm_spriteentry));
    R.nLanguages = int32_t(h.LangTableSize / sizeof(_sm_langentry));
    R.nScreens = int32_t(h.ScreenTableSize / sizeof(_sm_screenentry_file));
    R.nFonts = int32_t(h.FontTableSize /
                       (h.Version == SM_RES_VERSION_FONTFILES ? SM_FONT_ENTRY_V2 : SM_FONT_ENTRY_V1));
    if (bar) {
        SM_AddProgressBarRange(bar, R.nSprites + R.nLanguages + R.nScreens + R.nFonts + 2);
        StepBar(2);
    }
    if (!BuildDirectory(img)) {
        FreeAll();
        return 0;
    }
    R.Loaded = 1;
    R.Managing = 1;
    for (int32_t k = 0; k < R.nScreens; ++k)
        FixupPointers(SM_ResScreenRoot(k), Ptr<uint8_t>(R.Screens[size_t(k)].Address),
                      R.ScreenBase[size_t(k)]);
    return 1;
}

const char* SM_ResourceRefusal() {
    return g_refusal;
}

uint32_t* SM_GetSpriteImage(int32_t sprite, int32_t mode) {
    if (sprite < 0 || sprite >= Resource.nSprites) return nullptr;
    _sm_residency& r = Resource.SpriteRes[size_t(sprite)];
    if (!(Resource.Sprites[size_t(sprite)].Flags & 1) && !BuildSprite(sprite)) return nullptr;
    switch (mode) {
        case 1:
            if (r.Expiry != -1) r.Expiry = int32_t(ENG_GetPageFlipCount()) + 30;
            break;
        case 2:
            r.Expiry = -1;
            break;
        case 3:
            r.Locks += 1;
            break;
        default:
            break;
    }
    return &Resource.SpriteInstances[size_t(sprite)];
}

void SM_ReleaseSprite(int32_t sprite) {
    if (sprite < 0 || sprite >= Resource.nSprites) return;
    _sm_residency& r = Resource.SpriteRes[size_t(sprite)];
    if (r.Expiry == -1) return;
    if (r.Locks > 0) {
        r.Locks -= 1;
        return;
    }
    _sm_spriteentry& s = Resource.Sprites[size_t(sprite)];
    if (s.Flags & 1) {
        VRAM_KillInstance(&Resource.SpriteInstances[size_t(sprite)]);
        s.Flags &= ~1u;
    }
    r.Expiry = 0;
}

void SM_ReleaseAllSprites(int32_t force) {
    for (int32_t i = 0; i < Resource.nSprites; ++i) {
        if (force) Resource.SpriteRes[size_t(i)] = {0, 0};
        SM_ReleaseSprite(i);
    }
}

void SM_ManageResource() {
    if (!Resource.Managing) return;
    const int32_t flips = int32_t(ENG_GetPageFlipCount());
    for (int32_t i = 0; i < Resource.nSprites; ++i) {
        const _sm_residency& r = Resource.SpriteRes[size_t(i)];
        if ((Resource.Sprites[size_t(i)].Flags & 1) && r.Expiry != -1 && r.Locks == 0 && r.Expiry < flips) {
            SM_ReleaseSprite(i);
            return;
        }
    }
    // Glyphs: at most one freed a frame; a font that still has glyphs in memory ends the walk.
    for (int32_t i = 0; i < Resource.nFonts; ++i) {
        _sm_fontrecord& f = Resource.FontRecs[size_t(i)];
        if (f.Glyphs <= 0 || !f.PageTable) continue;
        for (int32_t k = 0; k < f.Pages * SM_FONT_CHARS; ++k) {
            _sm_glyphslot& g = f.PageTable[k];
            if ((g.Flags & 1) && g.Expiry < flips) {
                VRAM_KillInstance(&g.Instance);
                g.Flags &= ~1u;
                g.Expiry = 0;
                f.Glyphs -= 1;
                break;
            }
        }
        if (f.Glyphs > 0) return;
        if (!Resource.Preload) SM_ReleaseFont(i);
    }
}

_sm_fontrecord* SM_GetFont(int32_t font) {
    if (font < 0 || font >= Resource.nFonts) return nullptr;
    return &Resource.FontRecs[size_t(font)];
}

int32_t SM_GetFontKern(int32_t font) {
    return font < 0 || font >= Resource.nFonts ? 0 : Resource.Fonts[size_t(font)].Kern;
}

int32_t SM_GetFontMaxOffsetY(int32_t font) {
    return font < 0 || font >= Resource.nFonts ? 0 : Resource.Fonts[size_t(font)].MaxOffsetY;
}

int32_t SM_GetFontMaxCharHeight(int32_t font) {
    return font < 0 || font >= Resource.nFonts ? 0 : Resource.Fonts[size_t(font)].MaxCharHeight;
}

bool SM_FontHasGlyphs(int32_t font) {
    const _sm_fontrecord* f = SM_GetFont(font);
    return f && f->PageTable;
}

const _sm_charrecord* SM_GetCharRecord(int32_t font, int32_t glyph) {
    const _sm_fontrecord* f = SM_GetFont(font);
    if (!f || !f->Chars || glyph < 0 || glyph >= SM_FONT_CHARS) return nullptr;
    return &f->Chars[glyph];
}

uint32_t* SM_GetCharImage(int32_t glyph, int32_t font, int32_t page) {
    _sm_fontrecord* f = SM_GetFont(font);
    const _sm_charrecord* c = SM_GetCharRecord(font, glyph);
    if (!c || page < 0 || page >= f->Pages || c->Width <= 0 || c->Height <= 0) return nullptr;
    _sm_glyphslot& slot = f->PageTable[size_t(page) * SM_FONT_CHARS + size_t(glyph)];
    if (!(slot.Flags & 1)) {
        // The glyph's own copy of its pixels after its descriptor: the texture cache knows an image by its
        // pixels' address, and the pages of a glyph share their pixels in the font's image.
        const uint32_t bytes = SM_GlyphPixelBytes(*c, f->Bpp);
        auto* block = static_cast<uint8_t*>(x_fn_amalloc(32 + Up16(bytes), 16));
        if (!block) return nullptr;
        const _sm_fontentry& e = Resource.Fonts[size_t(font)];
        std::memcpy(block + 32, f->Image + (c->PixelOfs - e.ImageOfs), bytes);
        auto* bmp = reinterpret_cast<BMP_INSTANCE*>(block);
        const uint32_t* palette = e.Colours ? f->Palettes + size_t(page) * f->PaletteStride : nullptr;
        DRAW_SetupBitmap(bmp, GetBitmapFormat(e.Colours, f->Bpp), c->Width, c->Height,
                         c->Advance * f->Bpp / 8, block + 32, palette, e.Colours);
        VRAM_SetupFromBMP(&slot.Instance, bmp);
        slot.Flags |= 1;
        f->Glyphs += 1;
    }
    slot.Expiry = int32_t(ENG_GetPageFlipCount()) + 30;
    return &slot.Instance;
}

void SM_ReleaseFont(int32_t font) {
    _sm_fontrecord* f = SM_GetFont(font);
    if (!f) return;
    for (int32_t k = 0; f->PageTable && k < f->Pages * SM_FONT_CHARS; ++k) {
        _sm_glyphslot& g = f->PageTable[k];
        if (g.Flags & 1) VRAM_KillInstance(&g.Instance);
        g.Flags = 0;
        g.Expiry = 0;
    }
    f->Glyphs = 0;
}

void SM_ReleaseAllFonts() {
    for (int32_t i = 0; i < Resource.nFonts; ++i) SM_ReleaseFont(i);
}

const char* SM_GetStringByID(int32_t id) {
    if (id < 0 || uint32_t(id) >= Resource.StringCount) return nullptr;
    return Resource.Strings[size_t(id)];
}

int32_t SM_LogActiveResources() {
    int32_t found = 0;
    for (int32_t i = 0; i < Resource.nSprites; ++i) {
        const _sm_spriteentry& s = Resource.Sprites[size_t(i)];
        if (!(s.Flags & 1)) continue;
        const int32_t side = s.Width > s.Height ? s.Width : s.Height;
        if (side <= 256) (void)CalcPow2(side);
        ++found;
    }
    for (int32_t i = 0; i < Resource.nFonts; ++i) {
        const _sm_fontrecord& f = Resource.FontRecs[size_t(i)];
        for (int32_t k = 0; f.PageTable && k < f.Pages * SM_FONT_CHARS; ++k) {
            if (!(f.PageTable[k].Flags & 1)) continue;
            const _sm_charrecord& c = f.Chars[k % SM_FONT_CHARS];
            (void)CalcPow2(c.Width > c.Height ? c.Width : c.Height);
            ++found;
        }
    }
    return found;
}

void SM_KillResource() {
    _sm_resource& R = Resource;
    for (int32_t i = 0; i < R.nSprites; ++i)
        if (R.SpriteRes[size_t(i)].Expiry != -1 && R.SpriteRes[size_t(i)].Locks == 0) SM_ReleaseSprite(i);
    SM_LogActiveResources();
    SM_ReleaseAllSprites(1);
    SM_ReleaseAllFonts();
    FreeAll();
}
