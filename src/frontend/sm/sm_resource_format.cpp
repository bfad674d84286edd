#include "frontend/sm/sm_resource_format.h"

#include <cmath>
#include <cstring>
#include <map>

#include "engine/font/font.h"
#include "engine/sys/files.h"
#include "engine/sys/loaded_files.h"

size_t SM_NodeSize(uint16_t type) {
    switch (type) {
        case SM_TYPE_GROUP:
            return sizeof(_smdlhdr);
        case SM_TYPE_SCREEN:
            return sizeof(_sm_screennode);
        case SM_TYPE_SPRITE:
            return sizeof(_sm_spritenode);
        case SM_TYPE_TEXT:
            return sizeof(_sm_textnode);
        case SM_TYPE_GOURAUD:
            return sizeof(_sm_gouraudnode);
        case SM_TYPE_INSTANCE:
            return sizeof(_sm_instancenode);
        case SM_TYPE_BUTTON:
            return sizeof(_sm_buttonnode);
        default:
            return 0;
    }
}

int SM_GlyphBpp(uint16_t colours) {
    return colours == 0 ? 16 : colours <= 16 ? 4 : 8;
}

uint32_t SM_GlyphColourTableBytes(uint16_t colours) {
    return (uint32_t(colours) * 2 + 7) & ~7u;
}

uint32_t SM_GlyphPixelBytes(const _sm_charrecord& c, int bpp) {
    if (c.Advance <= 0 || c.Height <= 0) return 0;
    return uint32_t(c.Advance) * uint32_t(c.Height) * uint32_t(bpp) / 8;
}

namespace {

// ---------------------------------------------------------------------------------------------------
// Validation

template <typename T>
T Load(const uint8_t* base, uint64_t at) {
    T v;
    std::memcpy(&v, base + at, sizeof v);
    return v;
}

uint64_t SpritePixelBytes(const _sm_spriteentry& s) {
    const uint64_t n = uint64_t(s.Width) * s.Height;
    return s.Bpp == 4 ? n / 2 : n * s.Bpp / 8;
}

struct Validator {
    const uint8_t* img = nullptr;
    uint64_t len = 0;
    _sm_resheader h{};
    uint32_t screens = 0;
    // Working memory from the engine heap (a file too large for it is not loaded): the screen table, per
    // screen and 4-byte slot whether a node starts there (screen k's slots from startAt[k]), which slots
    // some node's record holds (one screen at a time) and the walk's stack.
    struct Item {
        int64_t at, parent;
    };
    SmTable<_sm_screenentry_file> table;
    SmTable<uint64_t> startAt;
    SmTable<uint8_t> startMem, covered;
    SmTable<Item> work;
    FormatCheck result;  // the answer: the first fault found, as the refusal line says it

    ~Validator() { table.Free(), startAt.Free(), startMem.Free(), covered.Free(), work.Free(); }

    bool NoRoom(uint64_t bytes) {
        result.SetFail("no room in the heap to check the screens (%llu bytes)",
                       static_cast<unsigned long long>(bytes));
        x_printf("SM resource: %s; file not loaded\n", result.why);
        return false;
    }
    uint8_t* Starts(uint32_t k) { return startMem.data() + startAt[k]; }
    bool Started(uint32_t k, uint64_t slot) const { return startMem[startAt[k] + slot] != 0; }

    bool Fail(const char* what, long a = -1, long b = -1) {
        if (b >= 0)
            result.SetFail("%s (%ld, %ld)", what, a, b);
        else if (a >= 0)
            result.SetFail("%s (%ld)", what, a);
        else
            result.SetFail("%s", what);
        x_printf("%sSM resource: %s; file refused\n", x_FileOf(img), result.why);
        return false;
    }

    // An area of `size` bytes at `ofs` lies inside the file.
    bool Inside(uint64_t ofs, uint64_t size) const { return ofs <= len && size <= len - ofs; }

    bool Table(const char* name, uint32_t ofs, uint32_t size, uint32_t entry) {
        if (size == 0) return true;
        if (size % entry != 0) return Fail(name, ofs, size);
        if (!Inside(ofs, size)) return Fail(name, ofs, size);
        return true;
    }

    bool Header() {
        if (len < sizeof h) return Fail("shorter than its header", long(len));
        std::memcpy(&h, img, sizeof h);
        if (h.Version != SM_RES_VERSION_GLYPHS && h.Version != SM_RES_VERSION_FONTFILES)
            return Fail("unknown version", long(h.Version));
        const uint32_t fontEntry =
            h.Version == SM_RES_VERSION_FONTFILES ? SM_FONT_ENTRY_V2 : SM_FONT_ENTRY_V1;
        return Table("sprite table outside the file or not whole entries", h.SpriteTableOfs,
                     h.SpriteTableSize, sizeof(_sm_spriteentry)) &&
               Table("font table outside the file or not whole entries", h.FontTableOfs, h.FontTableSize,
                     fontEntry) &&
               Table("glyph list outside the file", h.GlyphListOfs, h.GlyphListSize, 4) &&
               Table("language table outside the file or not whole entries", h.LangTableOfs, h.LangTableSize,
                     sizeof(_sm_langentry)) &&
               Table("string area outside the file", h.StringAreaOfs, h.StringAreaSize, 1) &&
               Table("screen table outside the file or not whole entries", h.ScreenTableOfs,
                     h.ScreenTableSize, sizeof(_sm_screenentry_file));
    }

    bool Sprites() {
        const uint32_t n = h.SpriteTableSize / sizeof(_sm_spriteentry);
        uint64_t at = 0;  // packed position in the sprite data area
        for (uint32_t i = 0; i < n; ++i) {
            const auto s =
                Load<_sm_spriteentry>(img, h.SpriteTableOfs + uint64_t(i) * sizeof(_sm_spriteentry));
            const bool palettized = s.Bpp == 4 || s.Bpp == 8;
            if (s.Bpp != 4 && s.Bpp != 8 && s.Bpp != 16 && s.Bpp != 32)
                return Fail("sprite depth not 4, 8, 16 or 32 bits", i, s.Bpp);
            if (s.Width == 0 || s.Height == 0 || s.Width > 1024 || s.Height > 1024)
                return Fail("sprite size outside 1..1024", i, long(s.Width) << 16 | s.Height);
            if (s.Bpp == 4 && (s.Width & 1)) return Fail("4-bit sprite of odd width", i, s.Width);
            if (palettized ? (s.Colours == 0 || s.Colours > (s.Bpp == 4 ? 16 : 256)) : s.Colours != 0)
                return Fail("sprite palette does not suit its depth", i, s.Colours);
            const uint64_t pix = SpritePixelBytes(s), pal = uint64_t(s.Colours) * 4;
            if (s.PixelOfs != at || s.PaletteOfs != at + pix)
                return Fail("sprite data not packed in order", i);
            at += pix + pal;
        }
        if (n && !Inside(h.SpriteDataOfs, at))
            return Fail("sprite data outside the file", h.SpriteDataOfs, long(at));
        return true;
    }

    // A glyph-table font: its pages' colour tables (listed from list entry `page`) and its glyphs' pixels
    // inside its own image, and its 96 character records inside the file.
    bool GlyphFont(uint32_t i, const _sm_fontentry& f, uint32_t page) {
        if (f.GlyphPages > SM_MAX_GLYPH_PAGES) return Fail("too many glyph pages", i, f.GlyphPages);
        if (f.Colours > 256) return Fail("glyph palette over 256 colours", i, f.Colours);
        const uint32_t listed = h.GlyphListSize / 4;
        if (page + f.GlyphPages > listed) return Fail("glyph list shorter than the fonts' pages", i, listed);
        const uint64_t lo = f.ImageOfs, hi = uint64_t(f.ImageOfs) + f.ImageSize;
        for (uint32_t p = 0; p < f.GlyphPages; ++p) {
            const uint64_t at = Load<uint32_t>(img, h.GlyphListOfs + uint64_t(page + p) * 4);
            if (at < lo || at + SM_GlyphColourTableBytes(f.Colours) > hi)
                return Fail("glyph page colours outside the font's image", i, p);
        }
        const uint64_t chars = uint64_t(h.CharDataOfs) + f.CharDataOfs;
        if (!Inside(chars, SM_FONT_CHARS * sizeof(_sm_charrecord)))
            return Fail("character records outside the file", i, long(f.CharDataOfs));
        const int bpp = SM_GlyphBpp(f.Colours);
        for (int c = 0; c < SM_FONT_CHARS; ++c) {
            const auto r = Load<_sm_charrecord>(img, chars + uint64_t(c) * sizeof(_sm_charrecord));
            if (r.Advance < 0) return Fail("character advance negative", i, c + 32);
            if (r.Width == 0 || r.Height == 0) continue;  // not defined
            if (r.Width < 0 || r.Height < 0) return Fail("character size negative", i, c + 32);
            if (r.Width > r.Advance) return Fail("character wider than its advance", i, c + 32);
            if ((r.Advance * bpp) % 8) return Fail("character lines not whole bytes", i, c + 32);
            if (r.DrawHeight == 0 || r.DrawHeight > SM_MAX_GLYPH_DRAW_HEIGHT)
                return Fail("character drawing height outside 1..1024", i, c + 32);
            if (r.PixelOfs < lo || r.PixelOfs + uint64_t(SM_GlyphPixelBytes(r, bpp)) > hi)
                return Fail("character pixels outside the font's image", i, c + 32);
        }
        return true;
    }

    bool Fonts() {
        const bool v1 = h.Version == SM_RES_VERSION_GLYPHS;
        const uint32_t entry = v1 ? SM_FONT_ENTRY_V1 : SM_FONT_ENTRY_V2;
        const uint32_t n = h.FontTableSize / entry;
        uint64_t at = 0;
        uint32_t pages = 0;
        for (uint32_t i = 0; i < n; ++i) {
            const uint64_t e = h.FontTableOfs + uint64_t(i) * entry;
            const auto f = Load<_sm_fontentry>(img, e);
            if (!v1) {
                const char* name = reinterpret_cast<const char*>(img + e + sizeof f);
                const size_t nameLen = strnlen(name, SM_FONT_NAME_BYTES);
                if (nameLen == 0 || nameLen == SM_FONT_NAME_BYTES)
                    return Fail("font name empty or unterminated", i);
            }
            if (f.ImageOfs != at || f.ImageSize == 0) return Fail("font image not packed in order", i);
            if (!Inside(h.FontImageOfs, at + f.ImageSize)) return Fail("font image outside the file", i);
            if (f.GlyphPages != 0) {
                if (!GlyphFont(i, f, pages)) return false;
                pages += f.GlyphPages;
            } else if (v1) {
                return Fail("glyph-table font without glyph pages", i);
            } else if (!CheckFontImage(img + h.FontImageOfs + at, f.ImageSize).ok) {
                return Fail("font image damaged", i);
            }
            at += f.ImageSize;
        }
        if (pages != h.GlyphListSize / 4) return Fail("glyph list does not match the fonts' pages", pages);
        return true;
    }

    bool Languages() {
        const uint32_t n = h.LangTableSize / sizeof(_sm_langentry);
        for (uint32_t i = 0; i < n; ++i) {
            const auto l = Load<_sm_langentry>(img, h.LangTableOfs + uint64_t(i) * sizeof(_sm_langentry));
            uint64_t end = h.StringAreaSize;
            if (i + 1 < n) end = Load<_sm_langentry>(img, h.LangTableOfs + uint64_t(i + 1) * 8).BlockOfs;
            if (l.BlockOfs > end || end > h.StringAreaSize)
                return Fail("language block outside the string area", i);
            // The block holds Count zero-terminated strings.
            uint64_t at = h.StringAreaOfs + uint64_t(l.BlockOfs);
            const uint64_t stop = h.StringAreaOfs + end;
            for (uint32_t s = 0; s < l.Count; ++s) {
                const void* z = at < stop ? std::memchr(img + at, 0, stop - at) : nullptr;
                if (!z) return Fail("language block shorter than its strings", i, s);
                at = uint64_t(static_cast<const uint8_t*>(z) - img) + 1;
            }
        }
        return true;
    }

    // Byte offset in screen k of stored pointer v, or -1 when v addresses no node start of that screen.
    int64_t Local(uint32_t k, uint32_t v) const {
        const int64_t L = int64_t(v) - (int64_t(table[k].Offset) - int64_t(table[0].Offset));
        if (L < 0 || L >= int64_t(table[k].Size) || (L & 3)) return -1;
        return Started(k, uint64_t(L) / 4) ? L : -1;
    }

    const uint8_t* Screen(uint32_t k) const { return img + h.ScreenDataOfs + table[k].Offset; }

    // Walks screen k's tree from its root: every node inside the screen, aligned, of a known type, reached
    // once, with its parent word naming its parent.
    bool Walk(uint32_t k) {
        const uint8_t* s = Screen(k);
        const uint32_t size = table[k].Size;
        const int64_t base = int64_t(table[k].Offset) - int64_t(table[0].Offset);
        uint8_t* starts = Starts(k);
        std::memset(covered.data(), 0, size / 4 + 1);
        uint32_t pending = 0;
        work[pending++] = Item{0, -1};
        while (pending) {
            const Item it = work[--pending];
            // Follow a sibling chain.
            for (int64_t at = it.at; at >= 0;) {
                if ((at & 3) || at + int64_t(sizeof(_smdlhdr)) > int64_t(size))
                    return Fail("node outside its screen or misaligned", k, long(at));
                if (starts[size_t(at) / 4]) return Fail("node reached twice (cycle)", k, long(at));
                starts[size_t(at) / 4] = 1;
                const auto n = Load<_smdlhdr>(s, uint64_t(at));
                const size_t ns = SM_NodeSize(n.Type);
                if (ns == 0 || (n.Type == SM_TYPE_SCREEN) != (at == 0 && it.parent < 0))
                    return Fail("node of unknown or misplaced type", k, n.Type);
                if (at + int64_t(ns) > int64_t(size)) return Fail("node runs past its screen", k, long(at));
                const bool linked = n.Type == SM_TYPE_SCREEN || n.Type == SM_TYPE_BUTTON;
                for (size_t slot = size_t(at) / 4; slot < size_t(at + int64_t(ns)) / 4; ++slot) {
                    if (covered[slot]) return Fail("node records overlap", k, long(at));
                    covered[slot] = 1;
                }
                if (!(std::fabs(n.xScale) <= SM_MAX_NODE_SCALE) ||
                    !(std::fabs(n.yScale) <= SM_MAX_NODE_SCALE))
                    return Fail("node scale not a number or beyond 256", k, long(at));
                if (linked != bool(n.Flags & SM_FLAG_LINKS))
                    return Fail("link block flag does not suit the node", k, long(at));
                if (n.Type == SM_TYPE_SCREEN) {
                    if (n.pParent != 0 || n.pNext != 0)
                        return Fail("screen root with a parent or sibling", k);
                    if (n.ID != int16_t(k)) return Fail("screen root id is not its number", k, n.ID);
                } else if (int64_t(n.pParent) - base != it.parent) {
                    return Fail("node's parent word does not name its parent", k, long(at));
                }
                auto local = [&](uint32_t v) { return int64_t(v) - base; };
                if (n.pChildren) {
                    if (local(n.pChildren) < 0)
                        return Fail("node outside its screen or misaligned", k, long(at));
                    // Each node is reached once, so the stack never holds more than the screen's slots.
                    work[pending++] = Item{local(n.pChildren), at};
                }
                at = n.pNext ? local(n.pNext) : -1;
                if (at == -1 && n.pNext) at = -2;  // a sibling at "-1" is outside
                if (at < -1) return Fail("node outside its screen or misaligned", k, long(at));
            }
        }
        return true;
    }

    bool Refs(uint32_t k) {
        const uint8_t* s = Screen(k);
        for (uint64_t slot = 0; slot < table[k].Size / 4 + 1; ++slot) {
            if (!Started(k, slot)) continue;
            const uint64_t at = slot * 4;
            const auto n = Load<_smdlhdr>(s, at);
            if (n.Flags & SM_FLAG_LINKS) {
                const auto l = Load<_sm_linkblock>(s, at + sizeof n);
                for (uint32_t v : {l.Up, l.Down, l.Left, l.Right})
                    if (v && Local(k, v) < 0) return Fail("link to no node of its screen", k, long(at));
            }
            if (n.Type == SM_TYPE_SCREEN) {
                const auto r = Load<_sm_screennode>(s, at);
                if (r.SavedFocus && Local(k, r.SavedFocus) < 0)
                    return Fail("saved focus on no node of its screen", k);
                if (r.Links.LinkScreen < 0 || uint32_t(r.Links.LinkScreen) >= screens)
                    return Fail("link screen out of range", k, r.Links.LinkScreen);
            }
            if (n.Type == SM_TYPE_BUTTON) {
                const auto r = Load<_sm_buttonnode>(s, at);
                if (r.Links.LinkScreen < 0 || uint32_t(r.Links.LinkScreen) >= screens)
                    return Fail("link screen out of range", k, r.Links.LinkScreen);
            }
            if (n.Type == SM_TYPE_INSTANCE) {
                const auto r = Load<_sm_instancenode>(s, at);
                for (uint32_t v : r.Ref) {
                    if (!v) continue;
                    const uint32_t target = v >> 16, ofs = v & 0xFFFF;
                    if (target >= screens) return Fail("instance of a screen out of range", k, long(target));
                    if ((ofs & 3) || ofs >= table[target].Size || !Started(target, ofs / 4))
                        return Fail("instance of no node", k, long(v));
                }
            }
        }
        return true;
    }

    bool Screens() {
        screens = h.ScreenTableSize / sizeof(_sm_screenentry_file);
        if (screens == 0) return true;
        if (screens > 0x7FFF) return Fail("too many screens", long(screens));
        if (!table.Alloc(screens) || !startAt.Alloc(screens)) return NoRoom(uint64_t(screens) * 20);
        std::memcpy(table.data(), img + h.ScreenTableOfs, h.ScreenTableSize);
        uint64_t slots = 0, most = 0;
        for (uint32_t k = 0; k < screens; ++k) {
            const auto& e = table[k];
            if (e.Size < sizeof(_sm_screennode) || (e.Offset & 3) ||
                !Inside(uint64_t(h.ScreenDataOfs) + e.Offset, e.Size))
                return Fail("screen data outside the file or misaligned", k);
            startAt[k] = slots;
            slots += e.Size / 4 + 1;
            if (e.Size / 4 + 1 > most) most = e.Size / 4 + 1;
        }
        if (!startMem.Alloc(slots) || !covered.Alloc(most) || !work.Alloc(most))
            return NoRoom(slots + most * (1 + sizeof(Item)));
        for (uint32_t k = 0; k < screens; ++k)
            if (!Walk(k)) return false;
        for (uint32_t k = 0; k < screens; ++k)
            if (!Refs(k)) return false;
        return true;
    }
};

// ---------------------------------------------------------------------------------------------------
// Writing

void Align4(std::vector<uint8_t>& v) {
    while (v.size() & 3) v.push_back(0);
}

template <typename T>
void Store(std::vector<uint8_t>& v, size_t at, const T& value) {
    std::memcpy(v.data() + at, &value, sizeof value);
}

struct ScreenLayout {
    std::vector<const SMW_Node*> nodes;  // pre-order, root first
    std::vector<uint32_t> at;            // local offsets
    std::vector<int> parent;             // index of the parent, -1 for the root
    std::map<int16_t, uint32_t> ids;     // id -> local offset
    uint32_t size = 0;
};

bool Lay(const SMW_Node& n, int parent, ScreenLayout& L, std::string* error) {
    const size_t ns = SM_NodeSize(n.Type);
    if (ns == 0 || n.Type == SM_TYPE_SCREEN) {
        *error = "node of type " + std::to_string(n.Type) + " cannot be stored";
        return false;
    }
    const int self = int(L.nodes.size());
    L.nodes.push_back(&n);
    L.at.push_back(L.size);
    L.parent.push_back(parent);
    L.size += uint32_t(ns);
    for (const SMW_Node& c : n.Children)
        if (!Lay(c, self, L, error)) return false;
    return true;
}

// Writes a resource file from its description, part after part in the file's order: each step appends
// its part to `f` and notes where it lies in the header `h`. A step that finds something it cannot store
// says what in `*error` and returns false.
class ResourceWriter {
public:
    ResourceWriter(const SMW_Resource& d, std::string* error)
        : d_(d), error_(error), f_(sizeof(_sm_resheader), 0), lay_(d.Screens.size()) {}

    // Each screen's tree laid out, root first, then pre-order, and its ids gathered.
    bool LayScreens() {
        for (uint32_t k = 0; k < uint32_t(lay_.size()); ++k) {
            ScreenLayout& L = lay_[k];
            const SMW_Node& root = d_.Screens[k];
            L.nodes.push_back(&root);
            L.at.push_back(0);
            L.parent.push_back(-1);
            L.size = sizeof(_sm_screennode);
            for (const SMW_Node& c : root.Children)
                if (!Lay(c, 0, L, error_)) return Fail("screen " + std::to_string(k) + ": " + *error_);
            for (size_t i = 1; i < L.nodes.size(); ++i) {
                const int16_t id = L.nodes[i]->ID;
                if (id == -1) continue;
                if (id >= 0 && id < 35) return Fail("screen " + std::to_string(k) + ": node id below 35");
                if (!L.ids.emplace(id, L.at[i]).second)
                    return Fail("screen " + std::to_string(k) + ": id " + std::to_string(id) + " used twice");
            }
        }
        return true;
    }

    bool SpriteTable() {
        h_.SpriteTableOfs = uint32_t(f_.size());
        h_.SpriteTableSize = uint32_t(d_.Sprites.size() * sizeof(_sm_spriteentry));
        uint32_t spriteAt = 0;
        for (size_t i = 0; i < d_.Sprites.size(); ++i) {
            const SMW_Sprite& s = d_.Sprites[i];
            _sm_spriteentry e{};
            e.Bpp = s.Bpp, e.Width = s.Width, e.Height = s.Height;
            e.Colours = uint16_t(s.Palette.size());
            e.PixelOfs = spriteAt;
            e.PaletteOfs = spriteAt + uint32_t(s.Pixels.size());
            if (SpritePixelBytes(e) != s.Pixels.size())
                return Fail("sprite " + std::to_string(i) + ": pixel bytes do not match its size");
            spriteAt = e.PaletteOfs + uint32_t(s.Palette.size() * 4);
            Append(f_, e);
        }
        return true;
    }

    // The font table. Each font's image (packed later): an engine font file, or its pages' colour tables
    // followed by its glyphs' pixels; the glyph-table fonts' pages and character records are gathered
    // for the glyph list.
    bool FontTable() {
        v1_ = d_.Version == SM_RES_VERSION_GLYPHS;
        if (!v1_ && d_.Version != SM_RES_VERSION_FONTFILES) return Fail("unknown version");
        h_.Version = d_.Version;
        const size_t entrySize = v1_ ? SM_FONT_ENTRY_V1 : SM_FONT_ENTRY_V2;
        h_.FontTableOfs = uint32_t(f_.size());
        h_.FontTableSize = uint32_t(d_.Fonts.size() * entrySize);
        f_.resize(f_.size() + h_.FontTableSize, 0);
        for (size_t i = 0; i < d_.Fonts.size(); ++i) {
            const SMW_Font& fo = d_.Fonts[i];
            const std::string where = "font " + std::to_string(i) + ": ";
            _sm_fontentry e{};
            e.MaxOffsetY = fo.MaxOffsetY, e.MaxCharHeight = fo.MaxCharHeight, e.Kern = fo.Kern;
            e.ImageOfs = uint32_t(fontImages_.size());
            if (fo.Pages.empty()) {
                if (v1_) return Fail(where + "a font file cannot be stored in a glyph-table file");
                fontImages_.insert(fontImages_.end(), fo.Image.begin(), fo.Image.end());
            } else if (!GlyphTable(fo, where, &e)) {
                return false;
            }
            e.ImageSize = uint32_t(fontImages_.size()) - e.ImageOfs;
            if (!v1_ && (fo.Name.empty() || fo.Name.size() >= SM_FONT_NAME_BYTES))
                return Fail("font name empty or too long");
            const size_t at = h_.FontTableOfs + i * entrySize;
            Store(f_, at, e);
            if (!v1_) std::memcpy(f_.data() + at + sizeof e, fo.Name.data(), fo.Name.size());
        }
        return true;
    }

    // The glyph list (where each page's colour table lies in the font images), then the character records.
    void GlyphList() {
        h_.GlyphListOfs = uint32_t(f_.size());
        h_.GlyphListSize = uint32_t(glyphList_.size() * 4);
        for (uint32_t v : glyphList_) Append(f_, v);
        h_.CharDataOfs = uint32_t(f_.size());
        f_.insert(f_.end(), charData_.begin(), charData_.end());
    }

    // Language 0 only, and its strings.
    void Languages() {
        h_.LangTableOfs = uint32_t(f_.size());
        std::vector<uint8_t> block;
        for (const std::string& s : d_.Strings)
            block.insert(block.end(), s.c_str(), s.c_str() + s.size() + 1);
        if (!d_.Strings.empty()) {
            h_.LangTableSize = sizeof(_sm_langentry);
            Append(f_, _sm_langentry{0, uint32_t(d_.Strings.size())});
        }
        h_.StringAreaOfs = uint32_t(f_.size());
        h_.StringAreaSize = uint32_t(block.size());
        f_.insert(f_.end(), block.begin(), block.end());
        Align4(f_);
    }

    // The screen table, then each screen's nodes where the layout put them.
    bool Screens() {
        const uint32_t nScreens = uint32_t(lay_.size());
        h_.ScreenTableOfs = uint32_t(f_.size());
        h_.ScreenTableSize = nScreens * uint32_t(sizeof(_sm_screenentry_file));
        std::vector<uint32_t> screenOfs(nScreens);
        uint32_t dataAt = 0;
        for (uint32_t k = 0; k < nScreens; ++k) {
            screenOfs[k] = dataAt;
            Append(f_, _sm_screenentry_file{dataAt, lay_[k].size, 0});
            dataAt += lay_[k].size;
        }
        h_.ScreenDataOfs = uint32_t(f_.size());
        f_.resize(f_.size() + dataAt, 0);
        for (uint32_t k = 0; k < nScreens; ++k) {
            const std::string where = "screen " + std::to_string(k) + ": ";
            for (size_t i = 0; i < lay_[k].nodes.size(); ++i)
                if (!Node(k, i, screenOfs[k], where)) return false;  // screen 0 sits at 0
        }
        return true;
    }

    // The sprites' pixels and palettes, packed.
    void SpriteData() {
        h_.SpriteDataOfs = uint32_t(f_.size());
        for (const SMW_Sprite& s : d_.Sprites) {
            f_.insert(f_.end(), s.Pixels.begin(), s.Pixels.end());
            const size_t at = f_.size();
            f_.resize(at + s.Palette.size() * 4);
            if (!s.Palette.empty()) std::memcpy(f_.data() + at, s.Palette.data(), s.Palette.size() * 4);
        }
    }

    // The font images, packed; then the header: the file is done.
    std::vector<uint8_t> FontImages() {
        h_.FontImageOfs = uint32_t(f_.size());
        f_.insert(f_.end(), fontImages_.begin(), fontImages_.end());
        Store(f_, 0, h_);
        return std::move(f_);
    }

private:
    bool Fail(std::string why) {
        *error_ = std::move(why);
        return false;
    }

    template <typename T>
    static void Append(std::vector<uint8_t>& v, const T& value) {
        const size_t at = v.size();
        v.resize(at + sizeof value);
        Store(v, at, value);
    }

    // A glyph-table font: its pages' colour tables and its glyphs' pixels into the font images, its
    // character records gathered.
    bool GlyphTable(const SMW_Font& fo, const std::string& where, _sm_fontentry* e) {
        if (fo.Pages.size() > SM_MAX_GLYPH_PAGES || fo.Colours > 256 ||
            fo.Glyphs.size() != size_t(SM_FONT_CHARS))
            return Fail(where + "glyph table needs 1..64 pages, up to 256 colours and 96 glyphs");
        e->Colours = fo.Colours;
        e->GlyphPages = uint16_t(fo.Pages.size());
        const int bpp = SM_GlyphBpp(fo.Colours);
        for (const std::vector<uint16_t>& page : fo.Pages) {
            if (page.size() != fo.Colours) return Fail(where + "page colour count");
            glyphList_.push_back(uint32_t(fontImages_.size()));
            const size_t at = fontImages_.size();
            fontImages_.resize(at + SM_GlyphColourTableBytes(fo.Colours), 0);
            if (!page.empty()) std::memcpy(fontImages_.data() + at, page.data(), page.size() * 2);
        }
        e->CharDataOfs = uint32_t(charData_.size());
        for (size_t c = 0; c < fo.Glyphs.size(); ++c) {
            const SMW_Glyph& g = fo.Glyphs[c];
            _sm_charrecord r{};
            r.Width = g.Width, r.Height = g.Height, r.Advance = g.Advance, r.OffsetY = g.OffsetY;
            r.DrawHeight = g.DrawHeight;
            const bool defined = g.Width != 0 && g.Height != 0;
            if (defined && g.Pixels.size() != SM_GlyphPixelBytes(r, bpp))
                return Fail(where + "glyph " + std::to_string(c + 32) + ": pixel bytes do not match");
            if (defined) {
                r.PixelOfs = uint32_t(fontImages_.size());
                fontImages_.insert(fontImages_.end(), g.Pixels.begin(), g.Pixels.end());
            }
            Append(charData_, r);
        }
        if (fontImages_.size() == e->ImageOfs) fontImages_.push_back(0);  // a font image is never empty
        return true;
    }

    // Node `i` of screen `k` (the screen's root first), its links and what its type holds.
    bool Node(uint32_t k, size_t i, uint32_t base, const std::string& where) {
        const ScreenLayout& L = lay_[k];
        const SMW_Node& n = *L.nodes[i];
        const size_t at = h_.ScreenDataOfs + base + L.at[i];
        const _smdlhdr hd = NodeHeader(L, k, i, base);
        Store(f_, at, hd);
        if (hd.Flags & SM_FLAG_LINKS) {
            _sm_linkblock l{};
            if (!Pointer(L, base, where, n.Up, &l.Up) || !Pointer(L, base, where, n.Down, &l.Down) ||
                !Pointer(L, base, where, n.Left, &l.Left) || !Pointer(L, base, where, n.Right, &l.Right))
                return false;
            if (n.LinkScreen < 0 || uint32_t(n.LinkScreen) >= lay_.size())
                return Fail(where + "link screen out of range");
            l.LinkScreen = n.LinkScreen;
            Store(f_, at + sizeof hd, l);
        }
        return NodeBody(L, n, hd.Type, at, base, where);
    }

    _smdlhdr NodeHeader(const ScreenLayout& L, uint32_t k, size_t i, uint32_t base) const {
        const SMW_Node& n = *L.nodes[i];
        _smdlhdr hd{};
        hd.ID = i == 0 ? int16_t(k) : n.ID;
        hd.Type = i == 0 ? uint16_t(SM_TYPE_SCREEN) : n.Type;
        hd.Alpha = n.Alpha;
        hd.Flags = n.Flags;
        if (hd.Type == SM_TYPE_SCREEN || hd.Type == SM_TYPE_BUTTON)
            hd.Flags |= SM_FLAG_LINKS;
        else
            hd.Flags &= uint16_t(~SM_FLAG_LINKS);
        hd.x = n.x, hd.y = n.y, hd.w = n.w, hd.h = n.h, hd.xOffset = n.xOffset, hd.yOffset = n.yOffset;
        hd.xScale = n.xScale, hd.yScale = n.yScale, hd.UserData = n.UserData;
        hd.pParent = i == 0 ? 0 : base + L.at[size_t(L.parent[i])];
        if (!n.Children.empty()) hd.pChildren = base + L.at[i + 1];
        // The next sibling is the next node in pre-order with the same parent.
        if (i > 0)
            for (size_t j = i + 1; j < L.nodes.size(); ++j)
                if (L.parent[j] == L.parent[i]) {
                    hd.pNext = base + L.at[j];
                    break;
                }
        return hd;
    }

    // What a node of type `type` holds past its header.
    bool NodeBody(const ScreenLayout& L, const SMW_Node& n, uint16_t type, size_t at, uint32_t base,
                  const std::string& where) {
        switch (type) {
            case SM_TYPE_SCREEN: {
                uint32_t focus = 0;
                if (!Pointer(L, base, where, n.SavedFocus, &focus)) return false;
                Store(f_, at + offsetof(_sm_screennode, SavedFocus), focus);
                break;
            }
            case SM_TYPE_SPRITE:
                Store(f_, at + offsetof(_sm_spritenode, Sprite), n.Sprite);
                break;
            case SM_TYPE_TEXT: {
                const int8_t fp[6] = {n.Font, n.Clut, n.HiFont, n.HiClut, n.DisFont, n.DisClut};
                std::memcpy(f_.data() + at + offsetof(_sm_textnode, Font), fp, sizeof fp);
                Store(f_, at + offsetof(_sm_textnode, Align), n.Align);
                Store(f_, at + offsetof(_sm_textnode, StringID), n.StringID);
                break;
            }
            case SM_TYPE_GOURAUD:
                for (int c = 0; c < 4; ++c)
                    Store(f_, at + offsetof(_sm_gouraudnode, Colour) + 4 * c, n.Colour[c]);
                break;
            case SM_TYPE_INSTANCE:
                for (int r = 0; r < 3; ++r) {
                    uint32_t v = 0;
                    if (!InstanceRef(n.Refs[r], where, &v)) return false;
                    Store(f_, at + offsetof(_sm_instancenode, Ref) + 4 * r, v);
                }
                break;
            default:
                break;
        }
        return true;
    }

    // The file's pointer to the node of id `id` on a screen laid out at `base` (0 for id -1).
    bool Pointer(const ScreenLayout& L, uint32_t base, const std::string& where, int16_t id, uint32_t* v) {
        *v = 0;
        if (id == -1) return true;
        auto it = L.ids.find(id);
        if (it == L.ids.end()) return Fail(where + "no node of id " + std::to_string(id));
        *v = base + it->second;
        return true;
    }

    // An instance's reference as stored: the screen in the high half, the node's offset in it low.
    bool InstanceRef(const SMW_Node::Ref& ref, const std::string& where, uint32_t* v) {
        *v = 0;
        if (ref.Screen < 0) return true;
        if (uint32_t(ref.Screen) >= lay_.size()) return Fail(where + "instance of a screen out of range");
        const auto it = lay_[size_t(ref.Screen)].ids.find(ref.NodeID);
        if (ref.NodeID == -1 || it == lay_[size_t(ref.Screen)].ids.end())
            return Fail(where + "instance of no node of id " + std::to_string(ref.NodeID));
        if (it->second >= 0x10000) return Fail(where + "instance target beyond 64 KB");
        *v = uint32_t(ref.Screen) << 16 | it->second;
        return true;
    }

    const SMW_Resource& d_;
    std::string* error_;
    std::vector<uint8_t> f_;
    _sm_resheader h_{};
    bool v1_ = false;  // glyph-table fonts only
    std::vector<ScreenLayout> lay_;
    std::vector<uint32_t> glyphList_;
    std::vector<uint8_t> charData_, fontImages_;  // the character records, the fonts' images
};

}  // namespace

FormatCheck SM_CheckResource(const void* image, size_t length) {
    if (!image) {
        const FormatCheck c = FormatCheck::Fail("no image");
        x_printf("SM resource: %s; file refused\n", c.why);
        return c;
    }
    Validator v;
    v.img = static_cast<const uint8_t*>(image);
    v.len = length;
    if (v.Header() && v.Sprites() && v.Fonts() && v.Languages() && v.Screens()) return FormatCheck::Pass();
    return v.result;
}

int SM_ValidateResource(const void* image, size_t length) {
    return SM_CheckResource(image, length).ok ? 1 : 0;
}

bool SM_WriteResource(const SMW_Resource& d, std::vector<uint8_t>* out, std::string* error) {
    std::string scratch;
    if (!error) error = &scratch;
    if (d.Screens.size() > 0x7FFF) return *error = "too many screens", false;
    ResourceWriter w(d, error);
    if (!w.LayScreens() || !w.SpriteTable() || !w.FontTable()) return false;
    w.GlyphList();
    w.Languages();
    if (!w.Screens()) return false;
    w.SpriteData();
    *out = w.FontImages();
    return true;
}
