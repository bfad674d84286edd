// Writes a seed corpus for every fuzz target: fuzz_seeds <dir> makes <dir>/<target>/ with inputs the
// disc's own writers produce. It writes the sample disc into <dir>/disc, splits the common-objects master
// file into its sub-files and files each one under every target whose reader accepts it (so no sub-file
// index is written down here); samples come from the sample writer, GIF packets upload a disc texture.
// Master-file seeds are small files packed from those sub-files: the whole common file (about 1 MB)
// would make libFuzzer's in-memory corpus outgrow the engine heap that serves its allocations.
#include <sys/stat.h>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "audio/envelope_map_format.h"
#include "audio/sound_tuning_format.h"
#include "console/iop/music_stream_format.h"
#include "engine/anim/anim_check.h"
#include "engine/font/font.h"
#include "engine/font/font_format.h"
#include "engine/hal/geometry.h"
#include "engine/hal/sound_format.h"
#include "engine/sys/bitmap.h"
#include "engine/sys/heap.h"
#include "frontend/screens/names_file.h"
#include "frontend/sm/sm_resource_format.h"
#include "game/files/collision_data.h"
#include "game/files/file_manager.h"
#include "game/files/master_file_format.h"
#include "game/files/object_description_format.h"
#include "mkdisc/disc_writer.h"
#include "mkdisc/fonts.h"
#include "mkdisc/motions.h"
#include "mkdisc/sounds.h"
#include "race/control/stunt_tree_format.h"
#include "world/spline_format.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr size_t kMaxSeedsPerTarget = 12;

std::map<std::string, std::set<Bytes>> g_seeds;

void Add(const std::string& target, const Bytes& b) {
    auto& s = g_seeds[target];
    if (s.size() < kMaxSeedsPerTarget) s.insert(b);
}

Bytes ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// A heap copy, as the game's loaders hold the data (some checks also initialise it in place).
struct HeapCopy {
    explicit HeapCopy(const Bytes& b)
        : p(static_cast<uint8_t*>(x_fn_malloc(uint32_t(b.size() + 16), "", 0))) {
        std::memcpy(p, b.data(), b.size());
    }
    ~HeapCopy() { x_free(p); }
    uint8_t* p;
};

void Classify(const Bytes& sub) {
    const std::vector<_bone> skeletons[] = {RiderSkeletonBones(), BikeSkeletonBones()};
    {
        FsBitmapLayout layout;
        if (fsCheckBitmap(sub.data(), sub.size(), &layout) == FS_BITMAP_OK) Add("bitmap", sub);
    }
    if (veFontCheckImage(sub.data(), sub.size())) Add("font", sub);
    if (stunttree::CheckTree(sub.data(), sub.size()).status == stunttree::TreeStatus::Ok)
        Add("stunt_tree", sub);
    {
        HeapCopy c(sub);
        int parts = 0;
        if (collisiondata::CheckBlock(c.p, sub.size(), &parts).ok && parts > 0) Add("collision", sub);
    }
    {
        HeapCopy c(sub);
        if (veEngineLoadGeo(reinterpret_cast<_FS_GEO_HEADER*>(c.p), sub.size())) Add("geometry", sub);
    }
    for (uint8_t k = 0; k < 2; ++k) {
        const _skeleton skel{static_cast<uint32_t>(skeletons[k].size()),
                             const_cast<_bone*>(skeletons[k].data())};
        HeapCopy c(sub);
        if (veAnimCheckAnimation(reinterpret_cast<const _animation*>(c.p), uint32_t(sub.size()), &skel) ==
            0) {
            Bytes in{k};  // the target's first byte picks the skeleton
            in.insert(in.end(), sub.begin(), sub.end());
            Add("anim", in);
        }
    }
}

void PutU64(Bytes& b, uint64_t v) {
    for (int i = 0; i < 8; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// A+D register write: data, then the register number in the next word.
void PutAd(Bytes& b, uint64_t data, uint8_t reg) {
    PutU64(b, data);
    PutU64(b, reg);
}

// GIF seeds: path and chunk bytes, then a texture upload of a disc bitmap's pixels and a sprite.
void GifSeeds(const Bytes& bitmap) {
    FsBitmapLayout layout;
    if (fsCheckBitmap(bitmap.data(), bitmap.size(), &layout) != FS_BITMAP_OK) return;
    const uint32_t qwc = layout.pixelBytes / 16;
    Bytes b{1, 8};
    PutU64(b, 4ull | 1ull << 60);  // PACKED, 4 loops of one A+D register
    PutU64(b, 0xE);
    PutAd(b, 0x13ull << 56 | 1ull << 48 | 0x100ull << 32, 0x50);  // BITBLTBUF: 8-bit, width 64, page 0x100
    PutAd(b, 0, 0x51);                                            // TRXPOS
    PutAd(b, 32ull | 32ull << 32, 0x52);                          // TRXREG 32 x 32
    PutAd(b, 0, 0x53);                                            // TRXDIR: host to local
    PutU64(b, qwc | 1ull << 15 | 2ull << 58);                     // IMAGE, end of packet
    PutU64(b, 0);
    const size_t pixelsAt = 64 + layout.extensionBytes;
    b.insert(b.end(), bitmap.begin() + long(pixelsAt), bitmap.begin() + long(pixelsAt + qwc * 16));
    Add("gif", b);

    Bytes s{2, 3};
    PutU64(s, 1ull | 1ull << 15 | 1ull << 46 | 6ull << 47 | 3ull << 60);  // PACKED sprite, PRIM preset
    PutU64(s, 0x551);                                                     // RGBAQ, XYZ2, XYZ2
    PutU64(s, 0x80ull | 0x40ull << 32);                                   // R, G
    PutU64(s, 0x20ull | 0x80ull << 32);                                   // B, A
    PutU64(s, 0x8000ull | 0x8000ull << 32);                               // X, Y
    PutU64(s, 0);
    PutU64(s, 0x8400ull | 0x8200ull << 32);
    PutU64(s, 1);
    Add("gif", s);
}

// Small master files: a world-style one with a type table and two object descriptions built from the
// smallest disc geometries and a collision block, and the first sub-files of the common file in two labels.
void MasterFiles(void* common, int n) {
    CFileManager fm;
    auto sub = [&](int i) {
        const auto* p = static_cast<const uint8_t*>(fm.loadSubFile(common, unsigned(i)));
        return Bytes(p, p + fm.getSubFileLength(common, unsigned(i)));
    };
    std::vector<Bytes> geometries(g_seeds["geometry"].begin(), g_seeds["geometry"].end());
    std::sort(geometries.begin(), geometries.end(),
              [](const Bytes& a, const Bytes& b) { return a.size() < b.size(); });
    const Bytes collision = g_seeds["collision"].empty() ? Bytes{} : *g_seeds["collision"].begin();
    if (geometries.size() >= 2) {
        MasterFileWriter w;
        w.beginLabel();
        w.add(WriteObjectTypeTable({MakeTypeRecord(1, 29, 2, 1.0f, 0.25f, 100)}));
        AddDescriptionLabels(w, {{{geometries[0], geometries[1]}, collision}, {{geometries[0]}, {}}});
        const Bytes world = w.build();
        Add("description", world);
        Add("master_file", world);
    }
    MasterFileWriter w;
    for (int i = 0; i < n && i < 16; ++i) {
        if (i % 8 == 0) w.beginLabel();
        const Bytes b = sub(i);
        if (b.size() <= 8192) w.add(b);
    }
    Add("master_file", w.build());
}

// A small screen resource file from the writer: every node type, links, an instance into another screen,
// a palettised sprite, two strings and two fonts of one name (the engine shares them). The disc's own file
// (4.5 MB) is no seed: libFuzzer's in-memory corpus of it would outgrow the engine heap.
void ScreenResources() {
    SMW_Resource d;
    d.Strings = {"PLAY", "QUIT"};
    SMW_Sprite s;
    s.Bpp = 8, s.Width = 4, s.Height = 2, s.Pixels = {0, 1, 1, 0, 1, 0, 0, 1},
    s.Palette = {0x80000000u, 0x80FFFFFFu};
    d.Sprites = {s};
    const SMW_Font font{"frontend\\seed.fnt", 0, 7, WriteFont({1, 0x80FFFFFFu, 1}, kSampleGlyphs)};
    d.Fonts = {font, font};
    SMW_Node root, button, text, sprite, rect, inst, target;
    button.Type = SM_TYPE_BUTTON, button.ID = 40, button.Down = 41, button.LinkScreen = 1, button.w = 64,
    button.h = 16;
    text.Type = SM_TYPE_TEXT, text.StringID = 1;
    button.Children = {text};
    sprite.Type = SM_TYPE_SPRITE, sprite.ID = 41, sprite.w = sprite.h = 8;
    rect.Type = SM_TYPE_GOURAUD, rect.Flags |= SM_FLAG_CLIP, rect.w = rect.h = 4;
    inst.Type = SM_TYPE_INSTANCE, inst.Refs[0] = {1, 50}, inst.w = inst.h = 4;
    root.SavedFocus = 40;
    root.Children = {button, sprite, rect, inst};
    target.Type = SM_TYPE_GOURAUD, target.ID = 50;
    SMW_Node other;
    other.Children = {target};
    d.Screens = {root, other};
    Bytes out;
    if (SM_WriteResource(d, &out, nullptr)) Add("sm_resource", out);
    // The same screens with glyph-table fonts: beside the font files (the disc's form, a 4-bit font of
    // two pages as the name keyboard's), and alone in a file of the older version (an 8-bit font).
    SMW_Font glyphs = WriteGlyphTableFont(1, {{0xFFFF, 0x8000}, {0x801F, 0x8000}});
    glyphs.Name = "frontend\\seed.gly";
    d.Fonts.push_back(glyphs);
    text.Font = 2, text.Clut = 0, text.HiClut = 1, text.Align = 1 | 4;
    button.Children = {text};
    root.Children = {button, sprite, rect, inst};
    d.Screens = {root, other};
    if (SM_WriteResource(d, &out, nullptr)) Add("sm_resource", out);
    glyphs.Colours = 20;
    for (std::vector<uint16_t>& page : glyphs.Pages) page.resize(20, 0x8000);
    for (SMW_Glyph& g : glyphs.Glyphs) {
        if (!g.Width || !g.Height) continue;
        std::vector<uint8_t> wide;  // 8 bits per pixel: each 4-bit pair split
        for (uint8_t pair : g.Pixels) wide.push_back(pair & 15), wide.push_back(pair >> 4);
        g.Pixels = wide;
    }
    d.Version = SM_RES_VERSION_GLYPHS;
    d.Fonts = {glyphs};
    text.Font = 0;
    button.Children = {text};
    root.Children = {button, sprite, rect, inst};
    d.Screens = {root, other};
    if (SM_WriteResource(d, &out, nullptr)) Add("sm_resource", out);
}

bool WriteAll(const std::string& dir) {
    for (const auto& [target, seeds] : g_seeds) {
        const std::string sub = dir + "/" + target;
        mkdir(sub.c_str(), 0755);
        int n = 0;
        for (const Bytes& b : seeds) {
            const std::string path = sub + "/seed" + std::to_string(n++);
            std::FILE* f = std::fopen(path.c_str(), "wb");
            if (!f || std::fwrite(b.data(), 1, b.size(), f) != b.size()) {
                std::fprintf(stderr, "fuzz_seeds: cannot write %s\n", path.c_str());
                if (f) std::fclose(f);
                return false;
            }
            std::fclose(f);
        }
        std::printf("%-12s %d seeds\n", target.c_str(), n);
    }
    return true;
}

// World seeds. Whole worlds are a megabyte or more and their spline sections and terrain maps tens of
// kilobytes, which slows a fuzzer to a few inputs a second: the world target makes its own small world
// and takes byte edits of it (an edit list of one unchanged byte is its seed), the spline seeds are small
// sections from the writer, and the terrain seed is the short form the terrain target expands itself
// (offset pairs, then run data).
void WorldSeeds() {
    SplineSection small;
    for (auto& record : small) {
        for (int i = 0; i < 4; ++i) {
            const float a = float(i) * 1.5707964f;
            record.points.push_back(SplinePointFromWorld(400.0f + 200.0f * std::cos(a), -20.0f,
                                                         400.0f + 200.0f * std::sin(a), 1.0f, 2.0f, 4));
        }
    }
    Add("spline", [&] {
        Bytes b{static_cast<uint8_t>(0 | (2 - 1) << 2)};  // 4 tiles, grid 2
        const Bytes section = WriteSplineSection(small);
        b.insert(b.end(), section.begin(), section.end());
        return b;
    }());
    // Every row at offset 0 (16 zero offset pairs, read again as one-column runs), then a run to the end.
    Bytes shortForm(34, 0);
    shortForm[32] = 111;
    shortForm[33] = 3;
    Add("terrain_map", shortForm);
    Add("world", Bytes{1, 0, 0, 0, 0, 0});
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds <dir>\n");
        return 2;
    }
    const std::string dir = argv[1];
    mkdir(dir.c_str(), 0755);
    if (!WriteSampleDisc(dir + "/disc")) return 1;

    const Bytes common = ReadFile(dir + "/disc/COMMON/qz02dat.bin");
    if (!masterfile::Validate(common.data(), uint32_t(common.size())).ok) {
        std::fprintf(stderr, "fuzz_seeds: the sample disc's master file does not check\n");
        return 1;
    }
    HeapCopy image(common);
    CFileManager fm;
    const int n = fm.getSubFileCount(image.p);
    Bytes firstBitmap;
    for (int i = 0; i < n; ++i) {
        const auto* p = static_cast<const uint8_t*>(fm.loadSubFile(image.p, unsigned(i)));
        const int len = fm.getSubFileLength(image.p, unsigned(i));
        if (!p || len <= 0) continue;
        const Bytes sub(p, p + len);
        Classify(sub);
        FsBitmapLayout layout;
        if (firstBitmap.empty() && fsCheckBitmap(sub.data(), sub.size(), &layout) == FS_BITMAP_OK &&
            layout.pixelBytes == 1024)
            firstBitmap = sub;
    }
    MasterFiles(image.p, n);
    for (const char* font : {"uni18.fnt", "highligh.fnt"})
        Add("font", ReadFile(dir + "/disc/frontend/" + font));
    GifSeeds(firstBitmap);
    ScreenResources();

    SampleParams oneShot;
    Add("sample", EncodeSampleImage(oneShot, SynthNoiseBurst(22050, 300, 12000, 7)));
    SampleParams looped;
    looped.looped = true;
    looped.sampleRate = 44100;
    Add("sample", EncodeSampleImage(looped, SynthTone(440.0, 44100, 280, 20000, true)));
    Add("sample", EncodeSampleImage(looped, SynthEngine(90.0, 44100, 560, 16000)));

    WorldSeeds();
    Add("envelope_map", envmap::Write({}));
    Add("music_stream", stm::Write({SynthTone(440.0, 8000, 300, 9000, false)}, 8000));
    Add("music_stream",
        stm::Write({SynthTone(220.0, 22050, 100, 9000, false), SynthTone(330.0, 22050, 100, 9000, false)},
                   22050));
    Add("envelope_map", envmap::Write({{0, {{1, 1.0f, {{40.0f, 0.0f}, {5.0f, 1.0f}}}}},
                                       {1, {{2, 0.5f, {{-3.0f, 0.0f}, {3.0f, 1.0f}, {3.0f, 0.9f}}}}}}));

    const std::string tuning = WriteSoundTuning(DefaultSoundTuning());
    Add("sound_tuning", std::vector<uint8_t>(tuning.begin(), tuning.end()));
    SoundTuning edge;
    edge.volumes[3] = 0.0f;
    edge.crowdFrequency = 0.0f;
    edge.groupLimits[1] = 1;
    const std::string edgeText = WriteSoundTuning(edge);
    Add("sound_tuning", std::vector<uint8_t>(edgeText.begin(), edgeText.end()));

    const std::string names =
        namesfile::WriteNames({"MARA KOWALSKI", "DEV PATEL"}) + "rider X\r\ncredit \x01\n";
    Add("names", std::vector<uint8_t>(names.begin(), names.end()));

    for (const char* target : {"anim", "bitmap", "collision", "description", "envelope_map", "font",
                               "geometry", "gif", "master_file", "music_stream", "sample", "sm_resource",
                               "sound_tuning", "spline", "stunt_tree", "terrain_map", "world"})
        if (g_seeds[target].empty()) std::fprintf(stderr, "fuzz_seeds: no seed for %s\n", target);
    return WriteAll(dir) ? 0 : 1;
}
