#include "mkdisc/disc_writer.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "engine/anim/anim_format.h"
#include "engine/font/font_format.h"
#include "engine/hal/geometry_format.h"
#include "engine/sys/bitmap_format.h"
#include "frontend/sm/sm_resource_format.h"
#include "game/files/collision_format.h"
#include "game/files/common_objects.h"
#include "game/files/master_file_format.h"
#include "mkdisc/audio_files.h"
#include "mkdisc/fonts.h"
#include "mkdisc/frontend_art.h"
#include "mkdisc/frontend_screens.h"
#include "mkdisc/hud_art.h"
#include "mkdisc/models.h"
#include "mkdisc/motions.h"
#include "mkdisc/music.h"
#include "mkdisc/race_art.h"
#include "mkdisc/scene_art.h"
#include "mkdisc/stunt_tree.h"
#include "mkdisc/tracks.h"
#include "race/hud/hud_pictures.h"

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
        std::fprintf(stderr, "mkdisc: cannot create the directory for %s: %s\n", path.c_str(),
                     std::strerror(errno));
        return false;
    }
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        std::fprintf(stderr, "mkdisc: cannot write %s: %s\n", path.c_str(), std::strerror(errno));
        return false;
    }
    errno = 0;
    bool ok = size == 0 || std::fwrite(data, 1, size, f) == size;
    int e = errno;
    if (std::fclose(f) != 0 && ok) {
        ok = false;
        e = errno;
    }
    if (!ok) std::fprintf(stderr, "mkdisc: error writing %s: %s\n", path.c_str(), std::strerror(e ? e : EIO));
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

// The audio files: the master file, world and indoor sounds, front-end sounds and the tuning file.
bool WriteAudio(const std::string& dir) {
    std::vector<AudioWorld> worlds;
    for (const TrackSpec& spec : TrackSpecs()) worlds.push_back({spec.name, spec.kind == TrackKind::Indoor});
    auto write = [](const std::string& path, const std::vector<uint8_t>& image, void* ctx) {
        return WriteFile(*static_cast<const std::string*>(ctx), path, image.data(), image.size());
    };
    return WriteAudioFiles(worlds, write, const_cast<std::string*>(&dir));
}

// A small palettised texture: a checker of two colours that differ from slot to slot, with an alpha
// ramp in the palette so blending shows. Even slots use 4 bits, odd slots 8 bits.
std::vector<uint8_t> CommonTexture(int slot) {
    if (IsParticleTexture(slot)) return WriteParticleTexture(slot);
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

// Collision shapes of the bike and rider (metres). The bike's blocks are in its bodies' frame (x right,
// y forward, z up; the raycast wheels of radius 0.36 hang from 0.84 ahead of and behind the centre):
// 3 the chassis (frame and tank), 4 one wheel, 5 the crash body around the whole bike. The rider's
// block is in its model frame (+y down).
std::vector<uint8_t> CommonCollision(int i) {
    if (i == common::kBikeCollision)
        return WriteCollisionBlock({CollisionBox(-0.2f, -0.7f, -0.25f, 0.2f, 0.7f, 0.2f),
                                    CollisionBox(-0.15f, -0.3f, 0.2f, 0.15f, 0.4f, 0.45f)});
    if (i == common::kBikeCollision + 1)
        return WriteCollisionBlock({CollisionBox(-0.1f, -0.36f, -0.36f, 0.1f, 0.36f, 0.36f)});
    if (i == common::kBikeCollision + 2)
        return WriteCollisionBlock({CollisionBox(-0.3f, -1.2f, -0.6f, 0.3f, 1.2f, 0.5f)});
    if (i == common::kRiderCollision)
        return WriteCollisionBlock({CollisionBox(-0.2f, -0.9f, -0.25f, 0.2f, 0.0f, 0.25f)});
    return {};
}

// One sub-file of the common-objects file; sub-files whose readers do not exist yet hold a short tagged
// placeholder.
std::vector<uint8_t> CommonSubFile(int i) {
    if (IsRaceArt(i)) return RaceArtFile(i);
    if (common::IsHudPicture(i)) return HudArtFile(i);
    if (i == common::kGuideArrowGeometry) return GuideArrowGeometry();
    if (const char* font = common::HudFontName(i)) return WriteNamedFont(font);
    if (std::vector<uint8_t> team = WriteTeamTexture(i); !team.empty()) return team;
    if (common::IsGraphic(i)) return CommonTexture(i);
    if (IsShadowGeometry(i)) return WriteShadowGeometry(i);
    if (common::IsGeometry(i)) return WriteCommonGeometry(i);
    if (common::IsCollision(i)) return CommonCollision(i);
    if (const char* font = common::FontName(i)) return WriteNamedFont(font);
    if (i == common::kStuntTree) return WriteSampleStuntTree();
    std::vector<uint8_t> motion = WriteCommonMotion(i);
    if (!motion.empty()) return motion;
    char tag[32];
    int n = std::snprintf(tag, sizeof tag, "qz common %03d", i);
    return std::vector<uint8_t>(tag, tag + n);
}

// The common-objects master file.
bool WriteCommonObjects(const std::string& dir) {
    MasterFileWriter w;
    w.beginLabel();
    for (int i = 0; i < common::kSubFiles; ++i) {
        std::vector<uint8_t> sub = CommonSubFile(i);
        if (sub.empty()) {
            std::fprintf(stderr, "mkdisc: common sub-file %d could not be built\n", i);
            return false;
        }
        w.add(sub);
    }
    std::vector<uint8_t> image = w.build();
    if (!WriteFile(dir, "COMMON/qz02dat.bin", image.data(), image.size())) return false;
    // Each rider and bike model's high-resolution textures, for a single player's own racer.
    for (int k = 0; k < 10; ++k) {
        char rider[32], bike[32];
        std::snprintf(rider, sizeof rider, "COMMON/hiRidr%02d.bin", k + 1);
        std::snprintf(bike, sizeof bike, "COMMON/hiBike%02d.bin", k + 1);
        const std::vector<uint8_t> r = WriteHiResRiderFile(k), b = WriteHiResBikeFile(k);
        if (!WriteFile(dir, rider, r.data(), r.size()) || !WriteFile(dir, bike, b.data(), b.size()))
            return false;
    }
    return true;
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

// The loading screen's two pictures: the full-screen background and the bar's fill.
bool WriteLoadingPictures(const std::string& dir) {
    for (auto [name, image] :
         {std::pair{"loadscrn.ps2", LoadingScreenImage()}, std::pair{"loadbar.ps2", LoadingBarImage()}}) {
        std::vector<uint8_t> file = WriteBitmap(image);
        if (file.empty() ||
            !WriteFile(dir, std::string("frontend/loadscrn/") + name, file.data(), file.size()))
            return false;
    }
    return true;
}

SMW_Node ResourceNode(const FeNode& n) {
    SMW_Node out;
    out.ID = n.id;
    out.Type = n.type;
    out.Alpha = n.alpha;
    out.Flags = n.flags;
    out.x = n.x, out.y = n.y, out.w = n.w, out.h = n.h;
    out.Up = n.up, out.Down = n.down, out.Left = n.left, out.Right = n.right;
    out.LinkScreen = n.linkScreen;
    out.SavedFocus = n.focus;
    out.Sprite = n.sprite;
    out.Font = n.font, out.HiFont = n.hiFont, out.DisFont = n.disFont;
    out.Clut = n.clut, out.HiClut = n.hiClut;
    out.Align = n.align;
    out.StringID = n.string;
    for (int i = 0; i < 4; ++i) out.Colour[i] = n.colour[i];
    for (const FeNode& c : n.children) out.Children.push_back(ResourceNode(c));
    return out;
}

// "frontend\FE_game.exp": the front end's screens, pictures, fonts and strings.
bool WriteFrontEndResource(const std::string& dir) {
    FrontEndDesign design = DesignFrontEnd();
    SMW_Resource res;
    for (const FeNode& screen : design.screens) res.Screens.push_back(ResourceNode(screen));
    for (const BitmapImage& img : design.sprites) {
        SMW_Sprite sprite;
        sprite.Bpp = img.bitsPerPixel;
        sprite.Width = uint16_t(img.width), sprite.Height = uint16_t(img.height);
        sprite.Pixels = img.pixels;
        sprite.Palette = img.palette;
        res.Sprites.push_back(std::move(sprite));
    }
    for (const FeFont& f : design.fonts) {
        SMW_Font font = f.glyphTable;
        font.Name = f.name;
        font.MaxCharHeight = f.charHeight;
        if (font.Pages.empty()) font.Image = f.file;
        res.Fonts.push_back(std::move(font));
    }
    res.Strings = design.strings;
    std::vector<uint8_t> image;
    std::string error;
    if (!SM_WriteResource(res, &image, &error)) {
        std::fprintf(stderr, "mkdisc: front-end resource: %s\n", error.c_str());
        return false;
    }
    return WriteFile(dir, "frontend/FE_game.exp", image.data(), image.size());
}

// The 25 world files.
bool WriteWorlds(const std::string& dir) {
    auto write = [](const std::string& name, const std::vector<uint8_t>& image, void* ctx) {
        return WriteFile(*static_cast<const std::string*>(ctx), "WORLD/" + name, image.data(), image.size());
    };
    return BuildWorlds(write, const_cast<std::string*>(&dir));
}

bool WriteMusic(const std::string& dir) {
    for (const MusicPiece& piece : MusicPieces()) {
        const std::vector<uint8_t> file = MusicStreamFile(piece);
        if (!WriteFile(dir, piece.file, file.data(), file.size())) return false;
    }
    return true;
}

}  // namespace

bool WriteSampleDisc(const std::string& dir) {
    if (!MakeDirs(dir)) {
        std::fprintf(stderr, "mkdisc: cannot create %s: %s\n", dir.c_str(), std::strerror(errno));
        return false;
    }
    return WriteSystemFiles(dir) && WriteAudio(dir) && WriteMusic(dir) && WriteCommonObjects(dir) &&
           WriteFrontEndFonts(dir) && WriteLoadingPictures(dir) && WriteFrontEndResource(dir) &&
           WriteText(dir, "frontend/names.txt", FrontEndNamesText()) && WriteWorlds(dir);
}

std::vector<uint8_t> CommonCollisionBlock(int subFile) {
    return common::IsCollision(subFile) ? CommonCollision(subFile) : std::vector<uint8_t>();
}
