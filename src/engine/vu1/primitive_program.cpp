#include "engine/vu1/primitive_program.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "console/gif/gif_tag.h"

namespace engine::vu1 {
namespace {

constexpr uint32_t kMaxVertices = 64;
constexpr float kMaxZ = 16777215.0f;
uint64_t g_dropped = 0;

struct Mat {
    float m[16];
};

Mat ReadMatrix(const VuMemory& mem, uint32_t qw) {
    Mat r;
    for (int row = 0; row < 4; ++row)
        for (int c = 0; c < 4; ++c) r.m[row * 4 + c] = mem.QwFloat(qw + row, c);
    return r;
}

bool IsZero(const Mat& a) {
    for (float v : a.m)
        if (v != 0.0f) return false;
    return true;
}

uint32_t FloatBits(float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
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

void PrimitiveProgram::Call(VuState& vu, uint32_t) {
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
    const Mat l2s = ReadMatrix(mem, 0);
    const bool is2d = IsZero(ReadMatrix(mem, 4));

    alignas(16) uint32_t out[(1 + 3 * kMaxVertices) * 4];
    std::memcpy(out, &tag, sizeof tag);
    uint32_t* o = out + 4;
    for (uint32_t i = 0; i < n; ++i, vert += 12, o += 12) {
        float p[4], st[4];
        std::memcpy(p, vert, 16);
        std::memcpy(st, vert + 4, 16);
        float sx, sy, sz, q;
        if (is2d) {
            sx = p[0] * l2s.m[0] + p[1] * l2s.m[4] + l2s.m[12];
            sy = p[0] * l2s.m[1] + p[1] * l2s.m[5] + l2s.m[13];
            sz = p[2];
            q = 1.0f;
        } else {
            const float x = p[0] * l2s.m[0] + p[1] * l2s.m[4] + p[2] * l2s.m[8] + l2s.m[12];
            const float y = p[0] * l2s.m[1] + p[1] * l2s.m[5] + p[2] * l2s.m[9] + l2s.m[13];
            const float z = p[0] * l2s.m[2] + p[1] * l2s.m[6] + p[2] * l2s.m[10] + l2s.m[14];
            const float w = p[0] * l2s.m[3] + p[1] * l2s.m[7] + p[2] * l2s.m[11] + l2s.m[15];
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
