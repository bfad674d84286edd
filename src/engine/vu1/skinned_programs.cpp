#include "engine/vu1/skinned_programs.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "engine/vu1/triangle_out.h"
#include "engine/vu1/vu_data.h"

namespace engine::vu1 {
namespace {

uint64_t g_refused = 0, g_drawn = 0;

}  // namespace

void ReadBones(const VuMemory& mem, uint32_t qw, float bones[13][16]) {
    for (int b = 0; b < 12; ++b) ReadMatrix(mem, qw + 4 * b, bones[b]);
    std::memset(bones[12], 0, sizeof bones[12]);
    bones[12][0] = bones[12][5] = bones[12][10] = bones[12][15] = 1.0f;
}

uint64_t SkinnedProgram::StripsRefused() {
    return g_refused;
}
uint64_t SkinnedProgram::TrianglesDrawn() {
    return g_drawn;
}

void SkinnedProgram::Call(VuState&, uint32_t) {
    clip_ = false;
}

void SkinnedProgram::Continue(VuState& vu) {
    const VuMemory& mem = *vu.mem;
    if (mem.Qw(vu.tops)[0] == kSkinClipMarker) {
        ReadMatrix(mem, vu.tops + 1, l2c_);
        vu.mem->Qw(vu.tops)[0] = 0;  // the marker is used up; the strip's MSCNT draws
        clip_ = true;
        return;
    }
    const bool clip = clip_;
    clip_ = false;
    const uint32_t head = vu.tops + kSkinStripAt;
    const uint32_t n = mem.Qw(head)[0];
    const uint32_t* vert = nullptr;
    if (n == 0 || n % 3 != 0 || n > kSkinMaxStripVertices || !mem.Span(head + 2, 3 * n, &vert)) {
        std::printf("vu1: %s: strip of %u vertices at %u refused\n", name_, n, head);
        ++g_refused;
        return;
    }
    gif::GifTag tmpl;
    std::memcpy(&tmpl, mem.Qw(head + 1), sizeof tmpl);
    float l2s[16], light[16], colour[16], bones[13][16];
    ReadMatrix(mem, 0, l2s);
    ReadMatrix(mem, 4, light);
    ReadMatrix(mem, 8, colour);
    ReadBones(mem, 12, bones);

    OutVertex vs[kSkinMaxStripVertices];
    for (uint32_t i = 0; i < n; ++i, vert += 12) {
        const uint32_t sa = vert[6], sb = vert[7];
        if ((sa >= 12 && sa != kSkinNoBone) || (sb >= 12 && sb != kSkinNoBone)) {
            std::printf("vu1: %s: vertex %u names bone slots %u and %u; strip refused\n", name_, i, sa, sb);
            ++g_refused;
            return;
        }
        const float* ba = bones[sa == kSkinNoBone ? 12 : sa];
        const float* bb = bones[sb == kSkinNoBone ? 12 : sb];
        float wa = AsFloat(vert[3]);
        if (!(wa >= 0.0f)) wa = 0.0f;
        if (wa > 1.0f) wa = 1.0f;
        const float p[4] = {AsFloat(vert[0]), AsFloat(vert[1]), AsFloat(vert[2]), 1.0f};
        float pa[4], pb[4], q[4];
        TransformRow(ba, p, pa);
        TransformRow(bb, p, pb);
        for (int c = 0; c < 4; ++c) q[c] = wa * pa[c] + (1.0f - wa) * pb[c];
        q[3] = 1.0f;
        OutVertex& v = vs[i];
        TransformRow(l2s, q, v.h);
        if (clip) TransformRow(l2c_, q, v.c);
        v.s = AsFloat(vert[4]);
        v.t = AsFloat(vert[5]);
        if (lit_) {
            const float nn[4] = {AsFloat(vert[8]), AsFloat(vert[9]), AsFloat(vert[10]), 0.0f};
            float na[4], nb[4], nrm[3];
            TransformRow(ba, nn, na);
            TransformRow(bb, nn, nb);
            for (int c = 0; c < 3; ++c) nrm[c] = wa * na[c] + (1.0f - wa) * nb[c];
            LightVertex(nrm, light, colour, v.rgba);
        } else {
            for (int c = 0; c < 4; ++c) v.rgba[c] = static_cast<float>(vert[8 + c] > 255 ? 255 : vert[8 + c]);
        }
    }
    TriangleOut out(tmpl);
    for (uint32_t t = 0; t < n; t += 3) out.Triangle(vs[t], vs[t + 1], vs[t + 2], clip, false);
    out.Flush();
    g_drawn += out.Drawn();
}

}  // namespace engine::vu1
