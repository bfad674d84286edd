// A depth test every pixel passes with the depth masked (what targets without a depth buffer, such as the
// shadow pictures, draw with) takes the vector spans in any depth format. The pixels must be those of the
// general path really testing every pixel (GEQUAL over a depth buffer of zeros), and the depth buffer must
// be left as it was.
#include <gtest/gtest.h>

#include "gs_test_util.h"

namespace gstest {
namespace {

struct Drawn {
    std::vector<uint32_t> frame, depthBefore, depth;
};

// Random textured (8-bit palette or 32-bit texels, Gouraud or flat, blended or not, now and then alpha
// tested) triangles and flat sprites into the 64 x 64 frame over a depth buffer of format `zpsm`.
Drawn DrawUntested(uint32_t zpsm, uint32_t seed, bool reference) {
    const GeneralPath path(reference);
    Fixture f;
    LocalMemory& mem = f.gs->Memory();
    Rng rnd{seed};
    for (uint32_t i = 0; i < 64 * 64; ++i) {
        mem.Write32(0x100 * 256 + i * 4, rnd(1u << 24) * 0x9E3779B1u);
        mem.Write32(0x200 * 256 + i * 4, rnd(1u << 31) * 2 + rnd(2));
    }
    // The depth buffer at page 2: random (nothing may read or write it) or zeros for the reference.
    Drawn d;
    for (uint32_t i = 0; i < 64 * 64; ++i) {
        const uint32_t z = rnd(1u << 31) * 2;
        mem.Write32(2 * 8192 + i * 4, reference ? 0 : z);
        d.depthBefore.push_back(mem.Read32(2 * 8192 + i * 4));
    }
    std::vector<uint32_t> pal(256);
    for (uint32_t i = 0; i < 256; ++i) pal[i] = (i * 0x01020305u) ^ 0x3C5A7E81u;
    f.Upload(0x180, 0, kPsmCt32, 16, 16, pal.data(), pal.size() * 4);
    AdPacket p;
    const uint32_t alphaTest = rnd(3) == 0 ? 1u | (rnd(8) << 1) | (rnd(256) << 4) | (rnd(4) << 12) : 0u;
    p.Set(kRegZbuf_1, Zbuf(2, zpsm, true))
        .Set(kRegTest_1, alphaTest | TestReg(true, reference ? kZtstGequal : kZtstAlways))
        .Set(kRegTex0_1, Tex0(rnd(2) ? 0x100 : 0x200, 1, rnd(2) ? kPsmT8 : kPsmCt32, 5, 5, rnd(4) != 0,
                              rnd(3) ? kTfxModulate : kTfxDecal, 0x180, kPsmCt32, 0, 0, 1))
        .Set(kRegTex1_1, rnd(2) ? 0x60 : 0)
        .Set(kRegClamp_1, rnd(2) | (rnd(2) << 2))
        .Set(kRegAlpha_1, 0x44);
    for (int i = 0; i < 40; ++i) {
        if (rnd(5) == 0) {
            f.Sprite(p, int(rnd(64)) - 8, int(rnd(64)) - 8, int(rnd(72)), int(rnd(72)), rnd(1u << 31) * 2,
                     rnd(1u << 31) * 2);
            continue;
        }
        p.Set(kRegPrim, Prim(kPrimTriangle, rnd(2) != 0, true, false, rnd(2) != 0, rnd(2) != 0));
        for (int v = 0; v < 3; ++v) {
            p.Set(kRegUv, Uv(rnd(40 * 16), rnd(40 * 16)))
                .Set(kRegSt, St(float(rnd(400)) / 300.0f, float(rnd(400)) / 300.0f))
                .Set(kRegRgbaq, Rgbaq(rnd(256), rnd(256), rnd(256), rnd(256)))
                .Set(kRegXyz2, Xyz(int(rnd(76 * 16)) - 96, int(rnd(76 * 16)) - 96, rnd(1u << 31) * 2));
        }
    }
    f.Send(p);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) d.frame.push_back(f.Pixel(x, y));
    for (uint32_t i = 0; i < 64 * 64; ++i) d.depth.push_back(mem.Read32(2 * 8192 + i * 4));
    return d;
}

TEST(GsUntestedDepth, AnyDepthFormatDrawsAsTestingEveryPixelAndLeavesTheDepth) {
    for (const uint32_t zpsm : {kPsmZ32, kPsmZ24, kPsmZ16, kPsmZ16S}) {
        for (uint32_t seed = 1; seed <= 12; ++seed) {
            const Drawn fast = DrawUntested(zpsm, seed, false), reference = DrawUntested(zpsm, seed, true);
            EXPECT_EQ(fast.frame, reference.frame) << "zpsm " << zpsm << " seed " << seed;
            EXPECT_EQ(fast.depth, fast.depthBefore) << "zpsm " << zpsm << " seed " << seed;
            EXPECT_EQ(reference.depth, reference.depthBefore) << "zpsm " << zpsm << " seed " << seed;
        }
    }
}

}  // namespace
}  // namespace gstest
