#include "engine/vu1/instanced_programs.h"

#include <cstdio>
#include <cstring>

#include "engine/vu1/geometry_programs.h"
#include "engine/vu1/triangle_out.h"
#include "engine/vu1/vu_data.h"

namespace engine::vu1 {
namespace {

uint64_t g_instances = 0, g_refused = 0;

}  // namespace

uint64_t InstancedProgram::InstancesDrawn() {
    return g_instances;
}
uint64_t InstancedProgram::PacketsRefused() {
    return g_refused;
}

void InstancedProgram::Continue(VuState& vu) {
    const VuMemory& mem = *vu.mem;
    const uint32_t count = mem.Qw(0)[0];
    const uint32_t perInstance = mem.Qw(0)[1] == 2 ? 2 : 1;
    const uint32_t n = mem.Qw(kInstBatchAt)[0];
    const uint32_t* vert = nullptr;
    // The packet holds 54 matrices: 54 instances, or 27 with their clip matrices.
    if (count > kInstMaxInstances || count * perInstance > kInstMaxInstances || n == 0 || n % 3 != 0 ||
        n > kGeoMaxBatchVertices || !mem.Span(kInstBatchAt + 2, 3 * n, &vert)) {
        std::printf("vu1: %s: %u instances of a %u-vertex batch refused\n", name_, count, n);
        ++g_refused;
        return;
    }
    gif::GifTag tmpl;
    std::memcpy(&tmpl, mem.Qw(kInstBatchAt + 1), sizeof tmpl);
    TriangleOut out(tmpl);
    OutVertex vs[kGeoMaxBatchVertices];
    const bool clip = perInstance == 2;
    for (uint32_t k = 0; k < count; ++k) {
        // l2c is read only when clipping; zeroed so that no path sees it unset.
        float l2s[16], l2c[16] = {};
        const uint32_t at = kInstMatricesAt + 4 * perInstance * k;
        ReadMatrix(mem, at, l2s);
        if (clip) ReadMatrix(mem, at + 4, l2c);
        float colour[4];
        for (int c = 0; c < 4; ++c) colour[c] = mem.QwFloat(kInstColoursAt + k, c) / 128.0f;
        const uint32_t* v = vert;
        for (uint32_t i = 0; i < n; ++i, v += 12) {
            const float p[4] = {AsFloat(v[0]), AsFloat(v[1]), AsFloat(v[2]), 1.0f};
            TransformRow(l2s, p, vs[i].h);
            if (clip) TransformRow(l2c, p, vs[i].c);
            vs[i].s = AsFloat(v[4]);
            vs[i].t = AsFloat(v[5]);
            for (int c = 0; c < 4; ++c)
                vs[i].rgba[c] = static_cast<float>(v[8 + c] > 255 ? 255 : v[8 + c]) * colour[c];
        }
        for (uint32_t t = 0; t < n; t += 3) out.Triangle(vs[t], vs[t + 1], vs[t + 2], clip, cull_);
        ++g_instances;
    }
    out.Flush();
}

}  // namespace engine::vu1
