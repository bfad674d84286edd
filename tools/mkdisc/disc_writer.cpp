#include "mkdisc/disc_writer.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "mkdisc/anim_writer.h"
#include "mkdisc/bitmap_writer.h"
#include "mkdisc/collision_writer.h"
#include "mkdisc/font_writer.h"
#include "mkdisc/geometry_writer.h"
#include "mkdisc/master_file_writer.h"

namespace {

bool MakeDirs(const std::string& path) {
    std::string cur;
    for (size_t i = 0; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '/') {
            if (!cur.empty() && mkdir(cur.c_str(), 0755) != 0 && errno != EEXIST) return false;
        }
        if (i < path.size()) cur += path[i];
    }
    return true;
}

bool WriteFile(const std::string& dir, const std::string& rel, const void* data, size_t size) {
    std::string path = dir + "/" + rel;
    size_t slash = path.rfind('/');
    if (!MakeDirs(path.substr(0, slash))) {
        std::fprintf(stderr, "mkdisc: cannot create directory for %s\n", path.c_str());
        return false;
    }
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        std::fprintf(stderr, "mkdisc: cannot write %s\n", path.c_str());
        return false;
    }
    bool ok = size == 0 || std::fwrite(data, 1, size, f) == size;
    ok = std::fclose(f) == 0 && ok;
    if (!ok) std::fprintf(stderr, "mkdisc: error writing %s\n", path.c_str());
    return ok;
}

bool WriteText(const std::string& dir, const std::string& rel, const std::string& text) {
    return WriteFile(dir, rel, text.data(), text.size());
}

// The I/O processor's modules: the stand-in only needs them present.
bool WriteSystemFiles(const std::string& dir) {
    static const char* const kFiles[] = {"IOPRP22.IMG", "SIO2MAN.IRX", "MTAPMAN.IRX",
                                         "PADMAN.IRX",  "MCMAN.IRX",   "MCSERV.IRX",
                                         "LIBSD.IRX",   "SDRDRV.IRX",  "BRNX_AMM.IRX"};
    for (const char* name : kFiles) {
        std::string text = std::string("qz sample disc: I/O processor module ") + name + "\n";
        if (!WriteText(dir, std::string("SYSTEM/") + name, text)) return false;
    }
    return true;
}

// Volumes (music a, music b, engine, checkpoint, collision, landing, announcer, crowd), announcer and
// crowd frequencies, then the three group limits.
bool WriteSoundTuning(const std::string& dir) {
    return WriteText(dir, "AUDIO/sound.txt",
                     "1.000000 1.000000 1.000000 1.000000 1.000000 1.000000 1.000000 1.000000 "
                     "1.000000 1.000000 8 8 8\n");
}

// Sub-files of the common-objects master file that hold graphics files (textures of the race's objects,
// HUD and pause images).
bool IsCommonGraphic(int i) {
    return (i >= 76 && i <= 125) || i == 127 || i == 129 || (i >= 133 && i <= 138) || i == 161 || i == 169 ||
           i == 170 || (i >= 194 && i <= 197);
}

// A small palettised texture: a checker of two colours that differ from slot to slot, with an alpha
// ramp in the palette so blending shows. Even slots use 4 bits, odd slots 8 bits.
std::vector<uint8_t> CommonTexture(int slot) {
    BitmapImage img;
    img.width = 32;
    img.height = 32;
    img.bitsPerPixel = slot % 2 ? 8 : 4;
    const uint32_t colours = img.bitsPerPixel == 4 ? 16 : 256;
    for (uint32_t c = 0; c < colours; ++c) {
        uint8_t r = static_cast<uint8_t>((slot * 53 + c * 7) & 0xFF);
        uint8_t g = static_cast<uint8_t>((slot * 97 + c * 3) & 0xFF);
        uint8_t b = static_cast<uint8_t>((slot * 29 + c * 11) & 0xFF);
        uint8_t a = static_cast<uint8_t>(0x80 * (c + 1) / colours);
        img.palette.push_back(r | (g << 8) | (b << 16) | (static_cast<uint32_t>(a) << 24));
    }
    // 256-colour palettes are stored in the order the graphics hardware reads them.
    if (colours == 256) img.palette = Csm1Palette(img.palette);
    const uint32_t count = img.width * img.height;
    img.pixels.assign(img.bitsPerPixel == 4 ? count / 2 : count, 0);
    for (uint32_t y = 0; y < img.height; ++y)
        for (uint32_t x = 0; x < img.width; ++x) {
            uint32_t index = ((x / 8 + y / 8) % 2) ? colours - 1 : (x + y) % colours;
            uint32_t i = y * img.width + x;
            if (img.bitsPerPixel == 8)
                img.pixels[i] = static_cast<uint8_t>(index);
            else
                img.pixels[i / 2] |= static_cast<uint8_t>((index & 15) << (i % 2 ? 4 : 0));
        }
    char name[32];
    std::snprintf(name, sizeof name, "common%03d", slot);
    img.texName = name;
    return WriteBitmap(img);
}

// Sub-files that are fonts, by name.
const char* CommonFontName(int i) {
    switch (i) {
        case 139:
            return "debug.fnt";
        case 143:
            return "uni18.fnt";
        case 147:
            return "uni18yel.fnt";
        case 148:
            return "uni25yel.fnt";
        default:
            return nullptr;
    }
}

// Bike detail levels (0-2) and shadow (6), rider detail levels (9, 8, 7) and shadow (10).
bool IsCommonGeometry(int i) {
    return (i >= 0 && i <= 2) || (i >= 6 && i <= 10);
}

// Collision shapes of the bike and rider (metres, +y down): a body box, and for the bike a second box for
// the wheels' span.
bool IsCommonCollision(int i) {
    return (i >= 3 && i <= 5) || i == 11;
}

std::vector<uint8_t> CommonCollision(int i) {
    if (i == 3)
        return WriteCollisionBlock({CollisionBox(-0.25f, -0.55f, -0.75f, 0.25f, 0.05f, 0.75f),
                                    CollisionBox(-0.1f, 0.05f, -0.7f, 0.1f, 0.35f, 0.7f)});
    if (i == 11) return WriteCollisionBlock({CollisionBox(-0.2f, -0.9f, -0.25f, 0.2f, 0.0f, 0.25f)});
    return WriteCollisionBlock({CollisionBox(-0.2f, -0.4f, -0.3f, 0.2f, 0.0f, 0.3f)});
}

// Motions of the rider and the bike. The views mirror the right-hand moves themselves, so the sample
// disc carries idle, lean-left and jump motions in the slots of the moves they stand for.
std::vector<uint8_t> CommonMotion(int i) {
    auto in = [i](std::initializer_list<int> slots) {
        for (int s : slots)
            if (s == i) return true;
        return false;
    };
    if (in({12, 13, 22, 33})) return WriteRiderMotion(MotionKind::Idle);
    if (in({15, 17, 19, 21, 31, 70})) return WriteRiderMotion(MotionKind::LeanLeft);
    if ((i >= 24 && i <= 27) || i == 29 || (i >= 35 && i <= 68) || i == 74)
        return WriteRiderMotion(MotionKind::Jump);
    if (in({14, 30, 34})) return WriteBikeMotion(MotionKind::Idle);
    if (in({20, 32, 71})) return WriteBikeMotion(MotionKind::LeanLeft);
    if (in({69, 75})) return WriteBikeMotion(MotionKind::Jump);
    return {};
}

// One sub-file of the common-objects file; sub-files whose readers do not exist yet hold a short tagged
// placeholder.
std::vector<uint8_t> CommonSubFile(int i) {
    if (IsCommonGraphic(i)) return CommonTexture(i);
    if (IsCommonGeometry(i)) return WriteCommonGeometry(i);
    if (IsCommonCollision(i)) return CommonCollision(i);
    if (const char* font = CommonFontName(i)) return WriteNamedFont(font);
    std::vector<uint8_t> motion = CommonMotion(i);
    if (!motion.empty()) return motion;
    char tag[32];
    int n = std::snprintf(tag, sizeof tag, "qz common %03d", i);
    return std::vector<uint8_t>(tag, tag + n);
}

// The common-objects master file.
bool WriteCommonObjects(const std::string& dir) {
    MasterFileWriter w;
    w.beginLabel();
    const int kCommonSubFiles = 213;
    for (int i = 0; i < kCommonSubFiles; ++i) {
        std::vector<uint8_t> sub = CommonSubFile(i);
        if (sub.empty()) {
            std::fprintf(stderr, "mkdisc: common sub-file %d could not be built\n", i);
            return false;
        }
        w.add(sub);
    }
    std::vector<uint8_t> image = w.build();
    return WriteFile(dir, "COMMON/qz02dat.bin", image.data(), image.size());
}

// Font files the front end opens by name.
bool WriteFrontEndFonts(const std::string& dir) {
    for (const char* name : {"uni18.fnt", "highligh.fnt"}) {
        std::vector<uint8_t> font = WriteNamedFont(name);
        if (font.empty() || !WriteFile(dir, std::string("frontend/") + name, font.data(), font.size()))
            return false;
    }
    return true;
}

}  // namespace

bool WriteSampleDisc(const std::string& dir) {
    if (!MakeDirs(dir)) {
        std::fprintf(stderr, "mkdisc: cannot create %s\n", dir.c_str());
        return false;
    }
    return WriteSystemFiles(dir) && WriteSoundTuning(dir) && WriteCommonObjects(dir) &&
           WriteFrontEndFonts(dir);
}
