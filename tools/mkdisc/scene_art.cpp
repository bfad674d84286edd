#include "mkdisc/scene_art.h"

#include <cmath>
#include <cstdio>

#include "engine/hal/geometry_format.h"
#include "engine/hal/geometry_skinned_format.h"
#include "engine/sys/bitmap_format.h"
#include "mkdisc/models.h"

namespace {

constexpr int kMud = 127, kDust = 129, kTrail = 133;

// A repeatable value in [0, 1) for a pixel.
float Noise(uint32_t x, uint32_t y, uint32_t seed) {
    uint32_t h = x * 374761393u + y * 668265263u + seed * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return static_cast<float>((h ^ (h >> 16)) & 0xFFFF) / 65536.0f;
}

// Coverage of pixel (x, y) of a 32 x 32 picture, 0..1.
float Coverage(int slot, int x, int y) {
    const float u = (static_cast<float>(x) + 0.5f) / 16.0f - 1.0f;
    const float v = (static_cast<float>(y) + 0.5f) / 16.0f - 1.0f;
    const float n =
        Noise(static_cast<uint32_t>(x / 2), static_cast<uint32_t>(y / 2), static_cast<uint32_t>(slot));
    if (slot == kTrail) {
        // A streak along v, thickest in the middle.
        const float across = 1.0f - std::fabs(u) * 2.5f;
        const float along = 1.0f - v * v;
        return std::fmax(0.0f, across) * along;
    }
    const float r = std::sqrt(u * u + v * v);
    if (slot == kMud) {
        // A lumpy clod: a hard edge pushed in and out by the noise.
        const float edge = 0.6f + 0.25f * n;
        return r < edge ? 1.0f - 0.3f * r : 0.0f;
    }
    // A soft puff: falls off towards the edge, mottled.
    const float soft = std::fmax(0.0f, 1.0f - r);
    return soft * soft * (0.7f + 0.3f * n);
}

}  // namespace

bool IsParticleTexture(int slot) {
    return slot == kMud || slot == kDust || slot == kTrail;
}

std::vector<uint8_t> WriteParticleTexture(int slot) {
    BitmapImage img;
    img.width = 32;
    img.height = 32;
    img.bitsPerPixel = 8;
    // Index i: alpha i / 2 (128 opaque). Dust and trail are white (the vertex colour tints them); mud
    // is a dark brown.
    std::vector<uint32_t> palette;
    for (uint32_t i = 0; i < 256; ++i) {
        const uint32_t a = i / 2;
        const uint32_t r = slot == kMud ? 70 : 235, g = slot == kMud ? 50 : 230, b = slot == kMud ? 30 : 220;
        palette.push_back(r | (g << 8) | (b << 16) | (a << 24));
    }
    img.palette = Csm1Palette(palette);
    img.pixels.resize(32 * 32);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            const float c = std::fmin(1.0f, std::fmax(0.0f, Coverage(slot, x, y)));
            img.pixels[static_cast<size_t>(y * 32 + x)] = static_cast<uint8_t>(std::lround(c * 255.0f));
        }
    char name[32];
    std::snprintf(name, sizeof name, "particle%03d", slot);
    img.texName = name;
    return WriteBitmap(img);
}

bool IsShadowGeometry(int index) {
    return index == 6 || index == 10;
}

std::vector<uint8_t> WriteShadowGeometry(int index) {
    SkinMesh mesh = index == 6 ? BikeMesh(2) : RiderGearMesh(2);
    BitmapImage dark;
    dark.width = dark.height = 8;
    dark.bitsPerPixel = 8;
    dark.pixels.assign(64, 1);
    std::vector<uint32_t> palette(256, 0);
    palette[1] = 0x80181818u;  // opaque, nearly black
    dark.palette = Csm1Palette(palette);
    dark.texName = index == 6 ? "bikeshadow" : "ridershadow";
    SkinMaterial all;
    all.texture = dark;
    for (SkinMaterial& m : mesh.materials)
        for (SkinVertex v : m.triangles) {
            v.v.s = v.v.t = 0.5f;
            v.v.rgba = 0x80808080u;
            all.triangles.push_back(v);
        }
    mesh.materials.assign(1, all);
    return WriteSkinnedGeometry(mesh);
}
