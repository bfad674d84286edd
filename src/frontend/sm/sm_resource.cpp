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

// Builds sprite i's image instance from the packed data (marks it resident).
void BuildSprite(int32_t i) {
    _sm_spriteentry& s = Resource.Sprites[size_t(i)];
    uint8_t* pixels = Resource.SpriteData + Resource.SpritePixelAt[size_t(i)];
    uint8_t* palette = s.Colours ? pixels + Up16(PixelBytes(s)) : nullptr;
    auto* bmp = static_cast<BMP_INSTANCE*>(x_fn_malloc(sizeof(BMP_INSTANCE), __FILE__, __LINE__));
    DRAW_SetupBitmap(bmp, GetBitmapFormat(s.Colours, s.Bpp), s.Width, s.Height, LineBytes(s), pixels, palette,
                     s.Colours);
    VRAM_SetupFromBMP(&Resource.SpriteInstances[size_t(i)], bmp);
    s.Flags |= 1;
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

void LoadLanguagePtr(int32_t language) {
    _sm_resource& R = Resource;
    R.LangBlock.clear();
    R.Strings.clear();
    if (language < 0 || language >= R.nLanguages) return;
    const _sm_langentry& l = R.Languages[size_t(language)];
    if (l.Count == 0) return;
    const size_t end =
        language + 1 < R.nLanguages ? R.Languages[size_t(language) + 1].BlockOfs : R.StringArea.size();
    if (l.BlockOfs > end || end > R.StringArea.size()) return;
    R.LangBlock.assign(R.StringArea.begin() + l.BlockOfs, R.StringArea.begin() + long(end));
    R.LangBlock.push_back(0);  // the last string ends inside the block
    for (size_t at = 0; R.Strings.size() < l.Count && at + 1 < R.LangBlock.size();) {
        R.Strings.push_back(R.LangBlock.data() + at);
        at += std::strlen(R.LangBlock.data() + at) + 1;
    }
}

_smdlhdr* SM_ResScreenRoot(int32_t screen) {
    if (screen < 0 || screen >= Resource.nScreens) return nullptr;
    return Ptr<_smdlhdr>(Resource.Screens[size_t(screen)].Address);
}

void FixupPointers(_smdlhdr* first, uint8_t* screen, int64_t base) {
    const uint32_t at = Addr32(screen);
    auto reloc = [&](uint32_t& v) { v = uint32_t(int64_t(at) + int64_t(v) - base); };
    std::vector<_smdlhdr*> work{first};
    while (!work.empty()) {
        _smdlhdr* n = work.back();
        work.pop_back();
        for (; n;) {
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
            if (n->pChildren) {
                reloc(n->pChildren);
                work.push_back(Ptr<_smdlhdr>(n->pChildren));
            }
            if (n->pNext) reloc(n->pNext);
            n = Ptr<_smdlhdr>(n->pNext);
        }
    }
}

int SM_InitResourcePtr(const void* image, size_t length, uint32_t offset, _progressBar* bar) {
    if (!SM_GetBackend()) SM_InstallResourceBackend();
    if (!Resource.Ready) SM_InitResourceModule();
    if (Resource.Loaded) SM_KillResource();
    if (!image || offset > length) {
        x_printf("SM resource: no file image; file refused\n");
        return 0;
    }
    const uint8_t* img = static_cast<const uint8_t*>(image) + offset;
    const size_t len = length - offset;
    if (!SM_ValidateResource(img, len)) return 0;

    _sm_resource& R = Resource;
    R.Bar = bar;
    std::memcpy(&R.Header, img, sizeof R.Header);
    const _sm_resheader& h = R.Header;
    R.nSprites = int32_t(h.SpriteTableSize / sizeof(_sm_spriteentry));
    R.nLanguages = int32_t(h.LangTableSize / sizeof(_sm_langentry));
    R.nScreens = int32_t(h.ScreenTableSize / sizeof(_sm_screenentry_file));
    R.nFonts = int32_t(h.FontTableSize / (h.Version == SM_RES_VERSION_FONTFILES ? SM_FONT_ENTRY_V2 : 32));
    if (bar) {
        SM_AddProgressBarRange(bar, R.nSprites + R.nLanguages + R.nScreens + R.nFonts + 2);
        StepBar(2);
    }

    // Languages: the table and the whole string area (language blocks are cut from it).
    if (R.nLanguages) {
        R.Languages.resize(size_t(R.nLanguages));
        std::memcpy(R.Languages.data(), img + h.LangTableOfs, h.LangTableSize);
        R.StringArea.assign(img + h.StringAreaOfs, img + h.StringAreaOfs + h.StringAreaSize);
        LoadLanguagePtr(0);
        StepBar(R.nLanguages);
    }

    // Screens.
    if (R.nScreens) {
        R.Screens.resize(size_t(R.nScreens));
        std::memcpy(R.Screens.data(), img + h.ScreenTableOfs, h.ScreenTableSize);
        R.UseCounts.assign(size_t(R.nScreens), 0);
        R.LockBits.assign(size_t(R.nScreens), 0);
        R.ScreenCopies.assign(size_t(R.nScreens), nullptr);
        R.ScreenBase.resize(size_t(R.nScreens));
        for (int32_t k = 0; k < R.nScreens; ++k) {
            _sm_screenentry_file& e = R.Screens[size_t(k)];
            R.ScreenBase[size_t(k)] = int64_t(e.Offset) - int64_t(R.Screens[0].Offset);
            auto* mem = static_cast<uint8_t*>(x_fn_amalloc(e.Size, 16));
            std::memcpy(mem, img + h.ScreenDataOfs + e.Offset, e.Size);
            e.Address = Addr32(mem);
            StepBar(1);
        }
    }

    // Fonts (font files): each image in a 16-byte aligned block of its own, made an engine font.
    R.Fonts.resize(size_t(R.nFonts));
    R.FontNames.resize(size_t(R.nFonts));
    R.FontRecs.assign(size_t(R.nFonts), _sm_fontrecord{nullptr, nullptr, 0, 0, 0});
    for (int32_t i = 0; i < R.nFonts; ++i) {
        const uint8_t* e = img + h.FontTableOfs + size_t(i) * SM_FONT_ENTRY_V2;
        R.Fonts[size_t(i)] = Load<_sm_fontentry>(e);
        R.FontNames[size_t(i)].assign(e + sizeof(_sm_fontentry), e + SM_FONT_ENTRY_V2);
        const _sm_fontentry& f = R.Fonts[size_t(i)];
        _sm_fontrecord& rec = R.FontRecs[size_t(i)];
        rec.Image = static_cast<uint8_t*>(x_fn_amalloc(f.ImageSize, 16));
        std::memcpy(rec.Image, img + h.FontImageOfs + f.ImageOfs, f.ImageSize);
        rec.Preloaded = 1;
        const char* name = R.FontNames[size_t(i)].data();
        // The engine shares fonts by name: a second font of a name this file already made uses the first
        // one's, and a name some other part of the game loaded is left alone (destroying ours would free
        // that font).
        for (int32_t j = 0; j < i && !rec.Shared; ++j)
            if (std::strncmp(R.FontNames[size_t(j)].data(), name, SM_FONT_NAME_BYTES) == 0)
                rec.Font = R.FontRecs[size_t(j)].Font, rec.Shared = 1;
        bool inUse = false;
        for (_font* o = engine::usedfonts; o && !rec.Shared && !inUse; o = o->next)
            inUse = o->data && std::strncmp(o->filename, name, SM_FONT_NAME_BYTES) == 0;
        if (inUse)
            x_printf("SM resource: font \"%s\" is already loaded; the file's font is not used\n", name);
        if (!rec.Shared && !inUse)
            rec.Font =
                veFontCreateFromPointer(name, reinterpret_cast<_font_data*>(rec.Image), f.ImageSize, 0, 0);
        StepBar(1);
    }

    // Sprites: the table, residency and instances; the pixel data repacked on 16-byte boundaries.
    if (R.nSprites) {
        R.Sprites.resize(size_t(R.nSprites));
        std::memcpy(R.Sprites.data(), img + h.SpriteTableOfs, h.SpriteTableSize);
        R.SpriteRes.assign(size_t(R.nSprites), _sm_residency{0, 0});
        R.SpriteInstances.assign(size_t(R.nSprites), 0);
        R.SpritePixelAt.resize(size_t(R.nSprites));
        uint32_t total = 0;
        for (int32_t i = 0; i < R.nSprites; ++i) {
            _sm_spriteentry& s = R.Sprites[size_t(i)];
            s.Flags = 0;
            s.Cleared18 = 0;
            R.SpritePixelAt[size_t(i)] = total;
            total += Up16(PixelBytes(s)) + Up16(uint32_t(s.Colours) * 4);
        }
        R.SpriteData = static_cast<uint8_t*>(x_fn_amalloc(total ? total : 16, 16));
        const uint8_t* from = img + h.SpriteDataOfs;
        for (int32_t i = 0; i < R.nSprites; ++i) {
            const _sm_spriteentry& s = R.Sprites[size_t(i)];
            const uint32_t pix = PixelBytes(s), pal = uint32_t(s.Colours) * 4;
            uint8_t* to = R.SpriteData + R.SpritePixelAt[size_t(i)];
            std::memcpy(to, from, pix);
            std::memcpy(to + Up16(pix), from + pix, pal);
            from += pix + pal;
            if (R.Preload) {
                BuildSprite(i);
                R.SpriteRes[size_t(i)].Locks += 1;
                StepBar(1);
            }
        }
    }

    R.Loaded = 1;
    R.Managing = 1;
    for (int32_t k = 0; k < R.nScreens; ++k)
        FixupPointers(SM_ResScreenRoot(k), Ptr<uint8_t>(R.Screens[size_t(k)].Address),
                      R.ScreenBase[size_t(k)]);
    return 1;
}

uint32_t* SM_GetSpriteImage(int32_t sprite, int32_t mode) {
    if (sprite < 0 || sprite >= Resource.nSprites) return nullptr;
    _sm_residency& r = Resource.SpriteRes[size_t(sprite)];
    if (!(Resource.Sprites[size_t(sprite)].Flags & 1)) BuildSprite(sprite);
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
    // Glyph images exist only for glyph-table fonts, which this build does not read.
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

uint32_t* SM_GetCharImage(int32_t, int32_t, int32_t) {
    return nullptr;
}

void SM_ReleaseFont(int32_t font) {
    _sm_fontrecord* r = SM_GetFont(font);
    if (r) r->Glyphs = 0;
}

void SM_ReleaseAllFonts() {
    for (int32_t i = 0; i < Resource.nFonts; ++i) SM_ReleaseFont(i);
}

const char* SM_GetStringByID(int32_t id) {
    if (id < 0 || size_t(id) >= Resource.Strings.size()) return nullptr;
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
    return found;
}

void SM_KillResource() {
    _sm_resource& R = Resource;
    for (int32_t i = 0; i < R.nSprites; ++i)
        if (R.SpriteRes[size_t(i)].Expiry != -1 && R.SpriteRes[size_t(i)].Locks == 0) SM_ReleaseSprite(i);
    SM_LogActiveResources();
    SM_ReleaseAllSprites(1);
    // Fonts of the same name share one engine record, which may hold another font's image: destroy
    // them all before freeing any image.
    for (_sm_fontrecord& f : R.FontRecs)
        if (f.Font && !f.Shared) veFontDestroy(f.Font);
    for (_sm_fontrecord& f : R.FontRecs)
        if (f.Image) x_free(f.Image);
    for (int32_t k = 0; k < R.nScreens; ++k) {
        if (R.Screens[size_t(k)].Address) x_free(Ptr<uint8_t>(R.Screens[size_t(k)].Address));
        if (R.ScreenCopies[size_t(k)]) x_free(R.ScreenCopies[size_t(k)]);
    }
    if (R.SpriteData) x_free(R.SpriteData);
    const int32_t ready = R.Ready, preload = R.Preload;
    R = _sm_resource{};
    R.Ready = ready;
    R.Preload = preload;
}
