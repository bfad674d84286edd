#include "engine/vu1/primitive_program.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "engine/vu1/vu_data.h"

namespace engine::vu1 {
namespace {

constexpr uint32_t kMaxVertices = 64;
constexpr float kMaxZ = 16777215.0f;
uint64_t g_dropped = 0;

bool IsZero(const float (&m)[16]) {
    for (float v : m)
        if (v != 0.0f) return false;
    return true;
}

uint32_t Colour(uint32_t c) {
    return c > 255 ? 255 : c;
}

// Screen coordinate -> GS 12.4 fixed point; false when it falls outside the 16-bit range.
bool Fixed(float v, uint32_t* out) {
    const float f = std::nearbyint(v * 16.0f);
    if (!(f >= 0.0f && f <= 65535.0f)) return false;
    *out = static_cast<uint32_t>(f);
    return true;
}

}  // namespace

uint64_t PrimitiveProgram::Dropped() {
    return g_dropped;
}

void PrimitiveProgram::Continue(VuState& vu) {
    const VuMemory& mem = *vu.mem;
    const uint32_t* tagWords = mem.Qw(vu.tops + 2);
    gif::GifTag tag;
    std::memcpy(&tag, tagWords, sizeof tag);
    const uint32_t n = tag.NLOOP;
    const uint32_t* vert = nullptr;
    if (n == 0 || n > kMaxVertices || !mem.Span(vu.tops + 3, 3 * n, &vert)) {
        std::printf("vu1: primitive packet with %u vertices at %u refused\n", n, vu.tops);
        ++g_dropped;
        return;
    }
    float l2s[16], l2c[16];
    ReadMatrix(mem, 0, l2s);
    ReadMatrix(mem, 4, l2c);
    const bool is2d = IsZero(l2c);

    alignas(16) uint32_t out[(1 + 3 * kMaxVertices) * 4];
    std::memcpy(out, &tag, sizeof tag);
    uint32_t* o = out + 4;
    for (uint32_t i = 0; i < n; ++i, vert += 12, o += 12) {
        float p[4], st[4];
        std::memcpy(p, vert, 16);
        std::memcpy(st, vert + 4, 16);
        float sx, sy, sz, q;
        if (is2d) {
            sx = p[0] * l2s[0] + p[1] * l2s[4] + l2s[12];
            sy = p[0] * l2s[1] + p[1] * l2s[5] + l2s[13];
            sz = p[2];
            q = 1.0f;
        } else {
            const float x = p[0] * l2s[0] + p[1] * l2s[4] + p[2] * l2s[8] + l2s[12];
            const float y = p[0] * l2s[1] + p[1] * l2s[5] + p[2] * l2s[9] + l2s[13];
            const float z = p[0] * l2s[2] + p[1] * l2s[6] + p[2] * l2s[10] + l2s[14];
            const float w = p[0] * l2s[3] + p[1] * l2s[7] + p[2] * l2s[11] + l2s[15];
            if (!(w > 0.0f)) {
                ++g_dropped;
                return;
            }
            q = 1.0f / w;
            sx = x * q;
            sy = y * q;
            sz = z * q;
        }
        if (!(sz >= 0.0f)) sz = 0.0f;
        if (sz > kMaxZ) sz = kMaxZ;
        uint32_t fx, fy;
        if (!Fixed(sx, &fx) || !Fixed(sy, &fy)) {
            ++g_dropped;
            return;
        }
        const float vq = st[2] * q;
        // ST
        o[0] = FloatBits(st[0] * q);
        o[1] = FloatBits(st[1] * q);
        o[2] = FloatBits(vq);
        o[3] = 0;
        // RGBAQ (PACKED: one component a word, Q from the ST above)
        o[4] = Colour(vert[8]);
        o[5] = Colour(vert[9]);
        o[6] = Colour(vert[10]);
        o[7] = Colour(vert[11]);
        // XYZ2 (PACKED: X, Y 12.4 in words 0 and 1, Z in word 2)
        o[8] = fx;
        o[9] = fy;
        o[10] = static_cast<uint32_t>(sz);
        o[11] = 0;
    }
    KickPath1(out, 1 + 3 * n);
}

}  // namespace engine::vu1
