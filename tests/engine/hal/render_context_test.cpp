#include "engine/hal/render_context.h"

#include <gtest/gtest.h>

#include "engine/hal/prim.h"
#include "engine_fixture.h"

namespace {

using enginetest::EngineTest;

TEST_F(EngineTest, ZTestAndZWriteSwitchesReachBothEnvironmentCopies) {
    // SetFunc stores the first matching function only.
    const uint8_t alpha = veRenderContext.alphaFunc;
    veRenderContextSetFunc(3, LEQUAL);
    EXPECT_EQ(veRenderContext.zBufferFunc, LEQUAL);
    EXPECT_EQ(veRenderContext.alphaFunc, alpha);
    // Start-up leaves TEST at the environment's own value (GEQUAL); functions without a GS method
    // leave it alone.
    EXPECT_EQ(veRenderEnvironment[0].test, 0x50000u);
    veRenderContextSetFunc(kRenderZTest, LESS);
    veRenderContextEnable(kRenderZTest);
    EXPECT_EQ(veRenderEnvironment[0].test, 0x50000u);
    veRenderContextSetFunc(kRenderZTest, GREATER);
    veRenderContextEnable(kRenderZTest);
    EXPECT_EQ(veRenderEnvironment[0].test, (1u << 16) | (3u << 17));
    EXPECT_EQ(veRenderEnvironment[1].test, veRenderEnvironment[0].test);
    veRenderContextDisable(kRenderZTest);
    EXPECT_EQ(veRenderEnvironment[0].test, 3u << 17);
    // Z writes are masked in both copies and unmasked again, the Z buffer address kept.
    for (int on = 0; on < 2; ++on) {
        on ? veRenderContextEnable(kRenderZBuffer) : veRenderContextDisable(kRenderZBuffer);
        for (const auto& e : veRenderEnvironment) EXPECT_EQ((e.zbuf >> 32) & 1, on ? 0u : 1u);
    }
    EXPECT_EQ(veRenderEnvironment[0].zbuf & 0x1FF, 0x8Cu);
}

TEST_F(EngineTest, SettersChangeOnlyTheirFields) {
    const _ve_render_environment& e = veRenderEnvironment[1];
    EXPECT_EQ(e.tex0, (1ull << 34) | (1ull << 61));  // TCC 1, modulate, CLD 1
    veRenderSetTexture(0x3480, 4, 0x13, 8, 7, 0x3580);
    const uint64_t t = veRenderEnvironment[0].tex0;
    EXPECT_EQ(t, 0x3480u | (4ull << 14) | (0x13ull << 20) | (8ull << 26) | (7ull << 30) | (1ull << 34) |
                     (0x3580ull << 37) | (1ull << 61));
    veRenderSetWrapS(0);
    EXPECT_EQ(e.clamp, 4u);
    veRenderSetWrapT(3);
    EXPECT_EQ(e.clamp, 12u);
    veRenderSetScissor(1, 2, 3, 4);
    EXPECT_EQ(veRenderEnvironment[0].scissor, 1u | (3ull << 16) | (2ull << 32) | (4ull << 48));
    veSetRenderXYOffsetEnv(1000, 1100);
    EXPECT_EQ(e.xyoffset, uint64_t(1000 * 16) | (uint64_t(1100 * 16) << 32));
    // Getting the environment flips the context.
    const int ctx = vePrimGetContext();
    _ve_render_environment_header h{};
    veRenderGetEnvironment(&h);
    EXPECT_EQ(vePrimGetContext(), ctx ^ 1);
    EXPECT_EQ(h.size, 208u);
    EXPECT_EQ(h.env, &veRenderEnvironment[ctx ^ 1]);
}

}  // namespace
