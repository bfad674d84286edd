#include "engine/vu1/geometry_programs.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "engine/vu1/triangle_out.h"
#include "engine/vu1/vu_data.h"

namespace engine::vu1 {
namespace {

// A clipped triangle has at most 3 + 6 corners; its fan at most 7 triangles.
constexpr uint32_t kMaxOutVertices = (kGeoMaxBatchVertices / 3) * 7 * 3;
static_assert(kMaxOutVertices <= TriangleOut::kMaxVertices, "a whole batch goes out as one packet");

uint64_t g_drawn = 0, g_culled = 0, g_refused = 0;

float Area(const float a[2], const float b[2], const float c[2]) {
    return (b[0] - a[0]) * (c[1] - a[1]) - (b[1] - a[1]) * (c[0] - a[0]);
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

namespace {

// The matrices the packet's program reads from VU memory.
struct Matrices {
    float l2s[16], l2c[16], c2s[16], light[16], colour[16];
};

// Per-vertex work: position (clip space when clipping, else homogeneous screen), texture and colour.
void ShadeVertices(const GeometryProgramConfig& cfg, const Matrices& m, const uint32_t* vert, uint32_t n,
                   OutVertex* vs) {
    for (uint32_t i = 0; i < n; ++i, vert += 12) {
        float p[4], st[4];
        std::memcpy(p, vert, 16);
        std::memcpy(st, vert + 4, 16);
        p[3] = 1.0f;
        OutVertex& v = vs[i];
        if (cfg.clip) {
            std::memset(v.h, 0, sizeof v.h);
            TransformRow(m.l2c, p, v.c);
        } else {
            TransformRow(m.l2s, p, v.h);
        }
        v.s = st[0];
        v.t = st[1];
        if (cfg.lit) {
            float nrm[3];
            std::memcpy(nrm, vert + 8, 12);
            LightVertex(nrm, m.light, m.colour, v.rgba);
        } else {
            for (int c = 0; c < 4; ++c) v.rgba[c] = static_cast<float>(vert[8 + c] > 255 ? 255 : vert[8 + c]);
            if (cfg.rgba == 1)
                for (int c = 0; c < 4; ++c) v.rgba[c] *= m.colour[c];
            else if (cfg.rgba == 2)
                for (int c = 0; c < 4; ++c) v.rgba[c] = m.colour[c];
        }
    }
}

// What became of a triangle: sent, culled before anything was sent, or dropped part-way (what it sent
// is to be taken back).
enum class Sent { kSent, kCulled, kDropped };

// A triangle in clip space: culled when it faces away, clipped, and sent as a fan in screen space.
Sent SendClipped(const GeometryProgramConfig& cfg, const float* c2s, const OutVertex* tri, TriangleOut& out) {
    OutVertex poly[9] = {tri[0], tri[1], tri[2]};
    // Cull on the unclipped triangle when it lies wholly in front of the eye.
    if (cfg.triangleCull && poly[0].c[3] > 0 && poly[1].c[3] > 0 && poly[2].c[3] > 0) {
        float s[3][2];
        for (int k = 0; k < 3; ++k) {
            s[k][0] = poly[k].c[0] / poly[k].c[3];
            s[k][1] = poly[k].c[1] / poly[k].c[3];
        }
        if (Area(s[0], s[1], s[2]) * c2s[0] * c2s[5] >= 0.0f) return Sent::kCulled;
    }
    const int corners = ClipPolygon(poly, 3);
    if (corners < 3) return Sent::kCulled;
    // Clip space -> screen through clip-to-screen after the divide.
    float scr[9][4], inv[9];
    for (int k = 0; k < corners; ++k) {
        inv[k] = 1.0f / poly[k].c[3];
        const float q[4] = {poly[k].c[0] * inv[k], poly[k].c[1] * inv[k], poly[k].c[2] * inv[k], 1.0f};
        TransformRow(c2s, q, scr[k]);
    }
    bool ok = true;
    for (int k = 1; k + 1 < corners && ok; ++k) {
        const int idx[3] = {0, k, k + 1};
        for (int j : idx) ok = ok && out.EmitScreen(scr[j][0], scr[j][1], scr[j][2], inv[j], poly[j]);
    }
    return ok ? Sent::kSent : Sent::kDropped;
}

// A triangle in homogeneous screen space: divided, culled when it faces away or lies off the screen,
// and sent.
Sent SendUnclipped(const GeometryProgramConfig& cfg, const OutVertex* v, TriangleOut& out) {
    const OutVertex* tri[3] = {&v[0], &v[1], &v[2]};
    bool ok = true;
    float s[3][3], inv[3];
    for (int k = 0; k < 3; ++k) {
        if (!(tri[k]->h[3] > 0.0f)) ok = false;
        inv[k] = ok ? 1.0f / tri[k]->h[3] : 0.0f;
        for (int c = 0; c < 3; ++c) s[k][c] = tri[k]->h[c] * inv[k];
    }
    if (ok && cfg.triangleCull && Area(s[0], s[1], s[2]) >= 0.0f) return Sent::kCulled;
    if (ok && (cfg.screenCull || cfg.triangleCull)) {
        bool off = false;
        for (int c = 0; c < 2 && !off; ++c) {
            off = (s[0][c] < 0 && s[1][c] < 0 && s[2][c] < 0) ||
                  (s[0][c] > 4095 && s[1][c] > 4095 && s[2][c] > 4095);
        }
        if (off) return Sent::kCulled;
    }
    for (int k = 0; k < 3 && ok; ++k) ok = out.EmitScreen(s[k][0], s[k][1], s[k][2], inv[k], *tri[k]);
    return ok ? Sent::kSent : Sent::kDropped;
}

}  // namespace

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

    Matrices m;
    ReadMatrix(mem, 0, m.l2s);
    ReadMatrix(mem, 4, m.l2c);
    ReadMatrix(mem, 8, m.c2s);
    ReadMatrix(mem, 12, m.light);
    ReadMatrix(mem, 16, m.colour);
    OutVertex vs[kGeoMaxBatchVertices];
    ShadeVertices(c_, m, vert, n, vs);

    // The whole batch goes out as one packet.
    TriangleOut out(tmpl);
    for (uint32_t t = 0; t < n; t += 3) {
        const uint32_t before = out.Buffered();
        const Sent sent = c_.clip ? SendClipped(c_, m.c2s, &vs[t], out) : SendUnclipped(c_, &vs[t], out);
        // Out of the GS range (or behind the eye without clipping): the whole triangle is dropped.
        if (sent == Sent::kDropped) out.Truncate(before);
        if (sent != Sent::kSent) {
            ++g_culled;
            continue;
        }
        g_drawn += (out.Buffered() - before) / 3;
    }
    out.Flush();
}

}  // namespace engine::vu1
