#include "mkdisc/track_objects.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

#include "engine/hal/geometry_format.h"
#include "engine/sys/bitmap_format.h"
#include "game/files/collision_format.h"
#include "world/world_file_format.h"

namespace {

constexpr float kIdentity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};

// A box from its centre and half extents, in one material.
void AddBox(GeoMaterial& into, float cx, float cy, float cz, float hx, float hy, float hz) {
    Append(into, Placed(MakeBox(hx, hy, hz, 1, 0x80808080, into.texture), kIdentity, cx, cy, cz));
}

GeoMaterial Material(uint32_t a, uint32_t b, uint32_t cell = 4) {
    GeoMaterial m;
    m.texture = CheckerTexture(16, cell, a, b);
    return m;
}

std::vector<uint8_t> Write(std::vector<GeoMaterial> materials) {
    GeoMesh mesh;
    mesh.materials = std::move(materials);
    return WriteGeometry(mesh);
}

// An 8-bit picture of `w` x `h` with a vertical two-colour gradient (rows top to bottom).
BitmapImage Gradient(uint32_t w, uint32_t h, uint32_t top, uint32_t bottom) {
    BitmapImage img;
    img.width = w, img.height = h, img.bitsPerPixel = 8;
    std::vector<uint32_t> pal(256, 0);
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = 0x80000000u;
        for (int ch = 0; ch < 3; ++ch) {
            const float a = float((top >> (8 * ch)) & 255), b = float((bottom >> (8 * ch)) & 255);
            c |= uint32_t(a + (b - a) * float(i) / 255.0f) << (8 * ch);
        }
        pal[i] = c;
    }
    img.palette = Csm1Palette(pal);
    img.pixels.resize(size_t(w) * h);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) img.pixels[y * w + x] = uint8_t(y * 255 / (h - 1));
    return img;
}

// Reverses the winding of every triangle, so a closed shape is seen from inside.
void Inside(GeoMaterial& m) {
    for (size_t i = 0; i + 2 < m.triangles.size(); i += 3) {
        std::swap(m.triangles[i + 1], m.triangles[i + 2]);
        for (int k = 1; k <= 2; ++k) {
            GeoVertex& v = m.triangles[i + size_t(k)];
            v.nx = -v.nx, v.ny = -v.ny, v.nz = -v.nz;
        }
        GeoVertex& v = m.triangles[i];
        v.nx = -v.nx, v.ny = -v.ny, v.nz = -v.nz;
    }
}

// A collision block from shapes drawn in the model's frame (metres, standing on y = 0, -y up). An
// object's physics body is its model turned half about x, and the block holds the body's frame: every
// vertex is turned the same way, (x, y, z) -> (x, -y, -z), so that an upright placement stands upright.
// The turn keeps the triangles wound outwards.
std::vector<uint8_t> WriteBodyBlock(std::vector<CollisionPart> parts) {
    for (CollisionPart& part : parts)
        for (std::array<float, 3>& v : part.vertices) v[1] = 0.0f - v[1], v[2] = 0.0f - v[2];
    return WriteCollisionBlock(parts);
}

}  // namespace

int PropLevels(Prop prop) {
    return prop == Prop::Tree || prop == Prop::Grandstand ? 3 : 1;
}

std::vector<uint8_t> PropGeometry(Prop prop, float span, int level) {
    switch (prop) {
        case Prop::Tree: {
            // A conifer: a trunk and tiers of foliage, each tier turned an eighth of a turn from the one
            // below; the far levels keep fewer tiers.
            GeoMaterial bark = Material(0xFF284868, 0xFF1C3450, 2);
            AddBox(bark, 0, -140, 0, 18, 140, 18);
            GeoMaterial leaves = Material(0xFF2C6A2A, 0xFF1E5020, 2);
            const int tiers = level == 0 ? 4 : level == 1 ? 2 : 1;
            const float s = std::sqrt(0.5f);
            const float turn[9] = {s, 0, -s, 0, 1, 0, s, 0, s};
            for (int t = 0; t < tiers; ++t) {
                const float f = tiers == 1 ? 0.6f : float(t) / float(tiers - 1);
                const float half = 190.0f - 120.0f * f, top = 220.0f + 380.0f * f;
                Append(leaves, Placed(MakeBox(half, 70, half, 1, 0x80808080, leaves.texture),
                                      t % 2 ? turn : kIdentity, 0, -top, 0));
            }
            if (tiers == 1) AddBox(leaves, 0, -420, 0, 120, 200, 120);
            return Write({bark, leaves});
        }
        case Prop::Grandstand: {
            // Stepped seating facing +z under a roof on posts; the far levels drop the roof and the crowd.
            GeoMaterial concrete = Material(0xFF9098A0, 0xFF808890, 4);
            GeoMaterial crowd = Material(0xFF3050C8, 0xFFE0D0B0, 2);
            for (int t = 0; t < 6; ++t) {
                const float z = 300.0f - 50.0f - float(t) * 100.0f, h = float(t + 1) * 70.0f;
                AddBox(level < 2 ? crowd : concrete, 0, -h / 2, z, 900, h / 2, 50);
            }
            if (level == 0) {
                GeoMaterial roof = Material(0xFFB04020, 0xFF902818, 8);
                AddBox(roof, 0, -720, -40, 960, 10, 360);
                for (float x : {-900.0f, 0.0f, 900.0f}) AddBox(concrete, x, -360, -320, 12, 360, 12);
                return Write({concrete, crowd, roof});
            }
            return level < 2 ? Write({crowd}) : Write({concrete});
        }
        case Prop::HayBale: {
            GeoMaterial straw = Material(0xFF40B8D8, 0xFF3098C0, 2);
            AddBox(straw, 0, -25, 0, 35, 25, 60);
            return Write({straw});
        }
        case Prop::Banner: {
            GeoMaterial posts = Material(0xFF808080, 0xFF606060);
            AddBox(posts, 0, -110, -150, 4, 110, 4);
            AddBox(posts, 0, -110, 150, 4, 110, 4);
            GeoMaterial cloth = Material(0xFF2020E0, 0xFFF0F0F0, 8);
            AddBox(cloth, 0, -160, 0, 3, 55, 146);
            return Write({posts, cloth});
        }
        case Prop::Fence: {
            GeoMaterial wood = Material(0xFF5080A0, 0xFF406890);
            AddBox(wood, 0, -55, -195, 5, 55, 5);
            AddBox(wood, 0, -55, 195, 5, 55, 5);
            AddBox(wood, 0, -40, 0, 2, 5, 200);
            AddBox(wood, 0, -90, 0, 2, 5, 200);
            return Write({wood});
        }
        case Prop::StartGate: {
            GeoMaterial steel = Material(0xFFA0A0A0, 0xFF707070);
            AddBox(steel, 0, -45, 0, span, 20, 8);
            for (float x = -span; x <= span + 1; x += 300) AddBox(steel, x, -30, -20, 6, 30, 20);
            return Write({steel});
        }
        case Prop::Pickup: {
            GeoMaterial gold = Material(0xFF20C0F0, 0xFF1090D0, 8);
            const float s = std::sqrt(0.5f);
            const float turn[9] = {s, 0, -s, 0, 1, 0, s, 0, s};  // a quarter of a right angle turned about y
            Append(gold, Placed(MakeBox(30, 30, 30, 1, 0x80808080, gold.texture), turn, 0, -140, 0));
            return Write({gold});
        }
        default:
            return {};
    }
}

std::vector<uint8_t> PropCollision(Prop prop) {
    switch (prop) {
        case Prop::HayBale:
            return WriteBodyBlock({CollisionBox(-0.35f, -0.5f, -0.6f, 0.35f, 0.0f, 0.6f)});
        case Prop::Fence:  // one slab from post to post, as high as the posts
            return WriteBodyBlock({CollisionBox(-0.05f, -1.1f, -2.0f, 0.05f, 0.0f, 2.0f)});
        case Prop::Pickup:
            return WriteBodyBlock({CollisionBox(-0.4f, -1.8f, -0.4f, 0.4f, -1.0f, 0.4f)});
        case Prop::Tree:  // the trunk; the racers near it get its body (colliders near racers)
            return WriteBodyBlock({CollisionBox(-0.2f, -2.8f, -0.2f, 0.2f, 0.0f, 0.2f)});
        case Prop::Grandstand:  // the seating as one block
            return WriteBodyBlock({CollisionBox(-9.0f, -4.2f, -3.0f, 9.0f, 0.0f, 3.0f)});
        default:
            return {};
    }
}

std::vector<uint8_t> GateCollision(float halfSpan) {
    // The two posts (the banner across is above a racer's reach).
    const float x = halfSpan / 100.0f;
    return WriteBodyBlock({CollisionBox(-x - 0.1f, -4.4f, -0.1f, -x + 0.1f, 0.0f, 0.1f),
                           CollisionBox(x - 0.1f, -4.4f, -0.1f, x + 0.1f, 0.0f, 0.1f)});
}

std::vector<uint8_t> GateGeometry(float halfSpan, bool finish) {
    GeoMaterial posts = Material(0xFF909090, 0xFF707070);
    AddBox(posts, -halfSpan, -220, 0, 10, 220, 10);
    AddBox(posts, halfSpan, -220, 0, 10, 220, 10);
    GeoMaterial banner = finish ? Material(0xFF101010, 0xFFF0F0F0, 4) : Material(0xFF20A0F0, 0xFFF0F0F0, 8);
    AddBox(banner, 0, -410, 0, halfSpan + 10, 35, 4);
    return Write({posts, banner});
}

std::vector<uint8_t> SkyGeometry(float side, uint8_t worldType) {
    uint32_t top = 0xFFD08040, bottom = 0xFFF0D0B0;  // blue to pale (0xAABBGGRR)
    if (worldType == worldfile::kWorldNight || worldType == worldfile::kWorldDarkIndoor)
        top = 0xFF200808, bottom = 0xFF402020;
    else if (worldType == worldfile::kWorldSunset)
        top = 0xFF804030, bottom = 0xFF4080F0;
    else if (worldType == worldfile::kWorldWinter)
        top = 0xFFC0A090, bottom = 0xFFF0F0F0;
    GeoMaterial sky;
    sky.texture = Gradient(32, 32, top, bottom);
    // Within the 3D view's far plane (131,072) at every corner when the box is centred on the eye, and
    // beyond the farthest terrain drawn (60,000).
    const float h = std::min(side * 0.75f, 70000.0f);
    // Four rows of quads a face, so that a row of corners lies on the eye's level (y = 0).
    Append(sky, Placed(MakeBox(h, h, h, 4, 0x80808080, sky.texture), kIdentity, 0, -h * 0.5f, 0));
    Inside(sky);
    // One sky on every face: the colour depends on height only, from the top colour over the roof to
    // the pale one at the eye's level and below it.
    const float roof = -1.5f * h;
    for (GeoVertex& v : sky.triangles) {
        v.s = 0.5f;
        v.t = std::clamp((v.y - roof) / (0.0f - roof), 0.0f, 1.0f);
    }
    return Write({sky});
}

std::vector<uint8_t> ArenaGeometry(const TrackDesign& d) {
    const float c = d.side / 2;
    const float x0 = d.floorX0 - c, x1 = d.floorX1 - c, z0 = d.floorZ0 - c, z1 = d.floorZ1 - c;
    const float mx = (x0 + x1) / 2, mz = (z0 + z1) / 2, hx = (x1 - x0) / 2, hz = (z1 - z0) / 2;
    GeoMaterial wall = Material(0xFFE0E0E0, 0xFF3040C0, 8);
    AddBox(wall, mx, -60, z0 - 20, hx + 40, 60, 20);
    AddBox(wall, mx, -60, z1 + 20, hx + 40, 60, 20);
    AddBox(wall, x0 - 20, -60, mz, 20, 60, hz);
    AddBox(wall, x1 + 20, -60, mz, 20, 60, hz);
    // Stands: three tiers rising away from the floor on every side.
    GeoMaterial crowd = Material(0xFF505050, 0xFF8060A0, 2);
    for (int tier = 0; tier < 3; ++tier) {
        const float out = 400 + 500 * float(tier), depth = 250, rise = 250 + 300 * float(tier);
        AddBox(crowd, mx, -rise / 2, z0 - out, hx + out, rise / 2, depth);
        AddBox(crowd, mx, -rise / 2, z1 + out, hx + out, rise / 2, depth);
        AddBox(crowd, x0 - out, -rise / 2, mz, depth, rise / 2, hz + out);
        AddBox(crowd, x1 + out, -rise / 2, mz, depth, rise / 2, hz + out);
    }
    return Write({wall, crowd});
}

std::vector<uint8_t> ArenaCollision(const TrackDesign& d) {
    const float c = d.side / 2;
    const float x0 = (d.floorX0 - c) / 100, x1 = (d.floorX1 - c) / 100;
    const float z0 = (d.floorZ0 - c) / 100, z1 = (d.floorZ1 - c) / 100;
    return WriteBodyBlock({CollisionBox(x0 - 0.8f, -1.2f, z0 - 0.4f, x1 + 0.8f, 0, z0),
                           CollisionBox(x0 - 0.8f, -1.2f, z1, x1 + 0.8f, 0, z1 + 0.4f),
                           CollisionBox(x0 - 0.4f, -1.2f, z0, x0, 0, z1),
                           CollisionBox(x1, -1.2f, z0, x1 + 0.4f, 0, z1)});
}

std::vector<uint8_t> DetailBitmap(uint32_t seed) {
    // Fine grit laid over every subtile's colour picture: smooth grey value noise around mid-grey, true
    // colour (the terrain blends it in its second pass).
    constexpr int kSize = 64, kCell = 8;
    BitmapImage img;
    img.width = img.height = kSize;
    img.bitsPerPixel = 32;
    img.texName = "detail";
    uint32_t h = seed * 2654435761u + 1;
    auto next = [&h] {
        h ^= h << 13, h ^= h >> 17, h ^= h << 5;
        return float(h >> 8) / float(1u << 24);
    };
    constexpr int kLattice = kSize / kCell;
    float lattice[kLattice][kLattice];
    for (auto& row : lattice)
        for (float& v : row) v = next();
    img.pixels.resize(size_t(kSize) * kSize * 4);
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            const int cx = x / kCell, cy = y / kCell;
            const float fx = float(x % kCell) / kCell, fy = float(y % kCell) / kCell;
            const float a = lattice[cy][cx], b = lattice[cy][(cx + 1) % kLattice];
            const float c = lattice[(cy + 1) % kLattice][cx],
                        d = lattice[(cy + 1) % kLattice][(cx + 1) % kLattice];
            const float v = (a * (1 - fx) + b * fx) * (1 - fy) + (c * (1 - fx) + d * fx) * fy;
            const auto g = uint8_t(100.0f + 56.0f * v + 24.0f * (next() - 0.5f));
            uint8_t* p = &img.pixels[(size_t(y) * kSize + x) * 4];
            p[0] = p[1] = p[2] = g;
            p[3] = 0x80;
        }
    return WriteBitmap(img);
}
