#include "engine/vu1/vu0_deform.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "engine/vu1/skinned_programs.h"
#include "engine/vu1/vu_data.h"

namespace engine::vu1 {
namespace {

uint64_t g_refused = 0;

}  // namespace

uint64_t Vu0DeformProgram::StripsRefused() {
    return g_refused;
}

void Vu0DeformProgram::Call(VuState& vu, uint32_t) {
    VuMemory& mem = *vu.mem;
    const int32_t n = vu.vi[1];
    const uint32_t* in = nullptr;
    if (n <= 0 || static_cast<uint32_t>(n) > kVu0MaxVertices || !mem.Span(kVu0ResultsAt, 4 * n, &in)) {
        std::printf("vu0: vu0deform16: strip of %d vertices refused\n", n);
        ++g_refused;
        return;
    }
    float bones[13][16];
    ReadBones(mem, 0, bones);
    // The input is read whole before the results overwrite it in place.
    uint32_t input[kVu0MaxVertices * 16];
    std::memcpy(input, in, size_t(n) * 64);
    for (int32_t i = 0; i < n; ++i) {
        const uint32_t* v = input + 16 * i;
        uint32_t sa = v[14], sb = v[15];
        if ((sa >= 12 && sa != kSkinNoBone) || (sb >= 12 && sb != kSkinNoBone)) {
            std::printf("vu0: vu0deform16: vertex %d names bone slots %u and %u; strip refused\n", i, sa, sb);
            ++g_refused;
            return;
        }
        const float* ba = bones[sa == kSkinNoBone ? 12 : sa];
        const float* bb = bones[sb == kSkinNoBone ? 12 : sb];
        float wa = AsFloat(v[12]);
        if (!(wa >= 0.0f)) wa = 0.0f;
        if (wa > 1.0f) wa = 1.0f;
        const float p[4] = {AsFloat(v[0]), AsFloat(v[1]), AsFloat(v[2]), 1.0f};
        const float nn[4] = {AsFloat(v[4]), AsFloat(v[5]), AsFloat(v[6]), 0.0f};
        float pa[4], pb[4], na[4], nb[4];
        TransformRow(ba, p, pa);
        TransformRow(bb, p, pb);
        TransformRow(ba, nn, na);
        TransformRow(bb, nn, nb);
        uint32_t* o = mem.Qw(kVu0ResultsAt + 3 * i);
        for (int c = 0; c < 3; ++c) o[c] = FloatBits(wa * pa[c] + (1.0f - wa) * pb[c]);
        o[3] = FloatBits(1.0f);
        o[4] = v[8];
        o[5] = v[9];
        o[6] = kSkinNoBone;
        o[7] = kSkinNoBone;
        for (int c = 0; c < 3; ++c) o[8 + c] = FloatBits(wa * na[c] + (1.0f - wa) * nb[c]);
        o[11] = 0;
    }
}

}  // namespace engine::vu1
