#include "engine/vu1/geometry_programs.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "console/gif/gif_tag.h"

namespace engine::vu1 {
namespace {

constexpr float kMaxZ = 16777215.0f;
// A clipped triangle has at most 3 + 6 corners; its fan at most 7 triangles.
constexpr uint32_t kMaxOutVertices = (kGeoMaxBatchVertices / 3) * 7 * 3;

uint64_t g_drawn = 0, g_culled = 0, g_refused = 0;

struct Mat {
    float m[16];
};

Mat ReadMatrix(const VuMemory& mem, uint32_t qw) {
    Mat r;
    for (int row = 0; row < 4; ++row)
        for (int c = 0; c < 4; ++c) r.m[row * 4 + c] = mem.QwFloat(qw + row, c);
    return r;
}

void Transform(const Mat& a, const float p[4], float out[4]) {
    for (int c = 0; c < 4; ++c)
        out[c] = p[0] * a.m[c] + p[1] * a.m[4 + c] + p[2] * a.m[8 + c] + p[3] * a.m[12 + c];
}

uint32_t FloatBits(float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}

uint32_t Clamp255(float v) {
    if (!(v > 0.0f)) return 0;
    if (v >= 255.0f) return 255;
    return static_cast<uint32_t>(v);
}

// A vertex on its way to the GS: clip-space or pre-divide screen position, texture and colour.
struct V {
    float p[4];  // homogeneous position (screen for the plain path, clip space for the clipping path)
    float s, t;  // texture coordinates before the divide
    float c[4];  // colour on the GS scale
};

struct Out {
    uint32_t* o;
    uint32_t n = 0;
};

// Screen position after the divide -> GS packet registers; false when out of the GS coordinate range.
bool Emit(Out& out, float sx, float sy, float sz, float invW, const V& v) {
    const float fx = std::nearbyint(sx * 16.0f), fy = std::nearbyint(sy * 16.0f);
    if (!(fx >= 0.0f && fx <= 65535.0f && fy >= 0.0f && fy <= 65535.0f)) return false;
    if (!(sz >= 0.0f)) sz = 0.0f;
    if (sz > kMaxZ) sz = kMaxZ;
    uint32_t* o = out.o + out.n * 12;
    o[0] = FloatBits(v.s * invW);
    o[1] = FloatBits(v.t * invW);
    o[2] = FloatBits(invW);
    o[3] = 0;
    for (int i = 0; i < 4; ++i) o[4 + i] = Clamp255(v.c[i]);
    o[8] = static_cast<uint32_t>(fx);
    o[9] = static_cast<uint32_t>(fy);
    o[10] = static_cast<uint32_t>(sz);
    o[11] = 0;
    ++out.n;
    return true;
}

float Area(const float a[2], const float b[2], const float c[2]) {
    return (b[0] - a[0]) * (c[1] - a[1]) - (b[1] - a[1]) * (c[0] - a[0]);
}

V Lerp(const V& a, const V& b, float t) {
    V r;
    for (int i = 0; i < 4; ++i) r.p[i] = a.p[i] + (b.p[i] - a.p[i]) * t;
    r.s = a.s + (b.s - a.s) * t;
    r.t = a.t + (b.t - a.t) * t;
    for (int i = 0; i < 4; ++i) r.c[i] = a.c[i] + (b.c[i] - a.c[i]) * t;
    return r;
}

// Distance of a clip-space point inside plane k (>= 0 inside): w - x, w + x, w - y, w + y, w - z, w + z.
float PlaneDist(const V& v, int k) {
    const float c = v.p[k >> 1];
    return (k & 1) ? v.p[3] + c : v.p[3] - c;
}

// Sutherland-Hodgman against the six clip planes; returns the number of corners.
int ClipPolygon(V* poly, int n) {
    V tmp[9];
    for (int k = 0; k < 6 && n > 0; ++k) {
        int m = 0;
        for (int i = 0; i < n; ++i) {
            const V& a = poly[i];
            const V& b = poly[(i + 1) % n];
            const float da = PlaneDist(a, k), db = PlaneDist(b, k);
            if (da >= 0.0f) tmp[m++] = a;
            if ((da >= 0.0f) != (db >= 0.0f) && m < 9) tmp[m++] = Lerp(a, b, da / (da - db));
        }
        n = std::min(m, 9);
        std::copy(tmp, tmp + n, poly);
    }
    return n;
}

}  // namespace

uint64_t GeometryProgram::TrianglesDrawn() {
    return g_drawn;
}
uint64_t GeometryProgram::TrianglesCulled() {
    return g_culled;
}
uint64_t GeometryProgram::PacketsRefused() {
    return g_refused;
}

void GeometryProgram::Call(VuState&, uint32_t) {}

void GeometryProgram::Continue(VuState& vu) {
    const VuMemory& mem = *vu.mem;
    const uint32_t n = mem.Qw(vu.tops)[0];
    const uint32_t* vert = nullptr;
    if (n == 0 || n % 3 != 0 || n > kGeoMaxBatchVertices || !mem.Span(vu.tops + 2, 3 * n, &vert)) {
        std::printf("vu1: %s: geometry packet with %u vertices at %u refused\n", c_.name, n, vu.tops);
        ++g_refused;
        return;
    }
    gif::GifTag tmpl;
    std::memcpy(&tmpl, mem.Qw(vu.tops + 1), sizeof tmpl);

    const Mat l2s = ReadMatrix(mem, 0);
    const Mat l2c = ReadMatrix(mem, 4);
    const Mat c2s = ReadMatrix(mem, 8);
    const Mat light = ReadMatrix(mem, 12);
    const Mat colour = ReadMatrix(mem, 16);

    // Per-vertex work: position, texture and colour.
    V vs[kGeoMaxBatchVertices];
    for (uint32_t i = 0; i < n; ++i, vert += 12) {
        float p[4], st[4];
        std::memcpy(p, vert, 16);
        std::memcpy(st, vert + 4, 16);
        p[3] = 1.0f;
        V& v = vs[i];
        Transform(c_.clip ? l2c : l2s, p, v.p);
        v.s = st[0];
        v.t = st[1];
        if (c_.lit) {
            float nrm[3];
            std::memcpy(nrm, vert + 8, 12);
            const float len = std::sqrt(nrm[0] * nrm[0] + nrm[1] * nrm[1] + nrm[2] * nrm[2]);
            const float inv = len > 0.0f ? 1.0f / len : 0.0f;
            for (int c = 0; c < 3; ++c) v.c[c] = colour.m[12 + c];
            for (int k = 0; k < 3; ++k) {
                const float d =
                    (nrm[0] * light.m[k * 4] + nrm[1] * light.m[k * 4 + 1] + nrm[2] * light.m[k * 4 + 2]) *
                    inv;
                if (d > 0.0f)
                    for (int c = 0; c < 3; ++c) v.c[c] += colour.m[k * 4 + c] * d;
            }
            v.c[3] = 128.0f;
        } else {
            for (int c = 0; c < 4; ++c) v.c[c] = static_cast<float>(vert[8 + c] > 255 ? 255 : vert[8 + c]);
            if (c_.rgba == 1)
                for (int c = 0; c < 4; ++c) v.c[c] *= colour.m[c];
            else if (c_.rgba == 2)
                for (int c = 0; c < 4; ++c) v.c[c] = colour.m[c];
        }
    }

    alignas(16) uint32_t buf[(1 + 3 * kMaxOutVertices) * 4];
    Out out{buf + 4};
    for (uint32_t t = 0; t < n; t += 3) {
        const uint32_t before = out.n;
        bool ok = true;
        if (c_.clip) {
            V poly[9] = {vs[t], vs[t + 1], vs[t + 2]};
            // Cull on the unclipped triangle when it lies wholly in front of the eye.
            if (c_.triangleCull && poly[0].p[3] > 0 && poly[1].p[3] > 0 && poly[2].p[3] > 0) {
                float s[3][2];
                for (int k = 0; k < 3; ++k) {
                    s[k][0] = poly[k].p[0] / poly[k].p[3];
                    s[k][1] = poly[k].p[1] / poly[k].p[3];
                }
                if (Area(s[0], s[1], s[2]) * c2s.m[0] * c2s.m[5] >= 0.0f) {
                    ++g_culled;
                    continue;
                }
            }
            const int corners = ClipPolygon(poly, 3);
            if (corners < 3) {
                ++g_culled;
                continue;
            }
            V scr[9];
            float inv[9];
            for (int k = 0; k < corners; ++k) {
                inv[k] = 1.0f / poly[k].p[3];
                const float q[4] = {poly[k].p[0] * inv[k], poly[k].p[1] * inv[k], poly[k].p[2] * inv[k],
                                    1.0f};
                Transform(c2s, q, scr[k].p);
            }
            for (int k = 1; k + 1 < corners && ok; ++k) {
                const int idx[3] = {0, k, k + 1};
                for (int j : idx)
                    ok = ok && Emit(out, scr[j].p[0], scr[j].p[1], scr[j].p[2], inv[j], poly[j]);
            }
        } else {
            const V* tri[3] = {&vs[t], &vs[t + 1], &vs[t + 2]};
            float s[3][3], inv[3];
            for (int k = 0; k < 3; ++k) {
                if (!(tri[k]->p[3] > 0.0f)) ok = false;
                inv[k] = ok ? 1.0f / tri[k]->p[3] : 0.0f;
                for (int c = 0; c < 3; ++c) s[k][c] = tri[k]->p[c] * inv[k];
            }
            if (ok && c_.triangleCull && Area(s[0], s[1], s[2]) >= 0.0f) {
                ++g_culled;
                continue;
            }
            if (ok && (c_.screenCull || c_.triangleCull)) {
                bool off = false;
                for (int c = 0; c < 2 && !off; ++c) {
                    off = (s[0][c] < 0 && s[1][c] < 0 && s[2][c] < 0) ||
                          (s[0][c] > 4095 && s[1][c] > 4095 && s[2][c] > 4095);
                }
                if (off) {
                    ++g_culled;
                    continue;
                }
            }
            for (int k = 0; k < 3 && ok; ++k) ok = Emit(out, s[k][0], s[k][1], s[k][2], inv[k], *tri[k]);
        }
        if (!ok) {
            // Out of the GS range (or behind the eye without clipping): the whole triangle is dropped.
            out.n = before - (before % 3);
            ++g_culled;
            continue;
        }
        g_drawn += (out.n - before) / 3;
    }
    if (out.n == 0) return;
    gif::GifTag tag = tmpl;
    tag.NLOOP = out.n;
    tag.EOP = 1;
    tag.PRE = 1;
    tag.FLG = 0;
    tag.NREG = 3;
    tag.REGS = 0x512;
    std::memcpy(buf, &tag, sizeof tag);
    KickPath1(buf, 1 + 3 * out.n);
}

}  // namespace engine::vu1
