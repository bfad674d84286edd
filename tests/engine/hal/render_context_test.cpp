#include "engine/hal/render_context.h"

#include <gtest/gtest.h>

#include "engine/hal/prim.h"
#include "engine_fixture.h"

namespace {

using enginetest::EngineTest;

TEST_F(EngineTest, SetFuncStoresTheFirstMatchingFunctionOnly) {
    const uint8_t alpha = veRenderContext.alphaFunc;
    veRenderContextSetFunc(3, LEQUAL);
    EXPECT_EQ(veRenderContext.zBufferFunc, LEQUAL);
    EXPECT_EQ(veRenderContext.alphaFunc, alpha);
}

TEST_F(EngineTest, ZTestFunctionsWithoutAGsMethodLeaveTestAlone) {
    // Start-up leaves TEST at the environment's own value (GEQUAL).
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
}

TEST_F(EngineTest, DisablingZWritesMasksBothCopies) {
    veRenderContextDisable(kRenderZBuffer);
    EXPECT_EQ((veRenderEnvironment[0].zbuf >> 32) & 1, 1u);
    EXPECT_EQ((veRenderEnvironment[1].zbuf >> 32) & 1, 1u);
    veRenderContextEnable(kRenderZBuffer);
    EXPECT_EQ((veRenderEnvironment[0].zbuf >> 32) & 1, 0u);
    EXPECT_EQ((veRenderEnvironment[1].zbuf >> 32) & 1, 0u);
    EXPECT_EQ(veRenderEnvironment[0].zbuf & 0x1FF, 0x8Cu);
}

TEST_F(EngineTest, EnvironmentInitialValuesAndRegisterAddresses) {
    const _ve_render_environment& e = veRenderEnvironment[1];
    EXPECT_EQ(e.vifCommands[2], 0x13000000u);
    EXPECT_EQ(e.vifCommands[3], 0x5000000Cu);
    EXPECT_EQ(e.gifTag[0] & 0x7FFF, 11u);
    EXPECT_EQ(e.gifTag[1], 0xEu);
    EXPECT_EQ(e.frameAddr, 0x4Du);
    EXPECT_EQ(e.zbufaddr, 0x4Fu);
    EXPECT_EQ(e.xyoffsetAddr, 0x19u);
    EXPECT_EQ(e.texFlushAddr, 0x3Fu);
    EXPECT_EQ(e.testAddr, 0x48u);
    EXPECT_EQ(e.tex0Addr, 0x07u);
    EXPECT_EQ(e.tex1Addr, 0x15u);
    EXPECT_EQ(e.clampAddr, 0x09u);
    EXPECT_EQ(e.scissorAddr, 0x41u);
    EXPECT_EQ(e.alphaAddr, 0x43u);
    EXPECT_EQ(e.texaAddr, 0x3Bu);
    EXPECT_EQ(veRenderEnvironment[0].frameAddr, 0x4Cu);
    EXPECT_EQ(e.tex1, 0x60u);
    EXPECT_EQ(e.clamp, 5u);
    EXPECT_EQ(e.alpha, 0x44u);
    EXPECT_EQ(e.texa, 0x0000000100400080ull);
    EXPECT_EQ(e.xyoffset, uint64_t(1728 * 16) | (uint64_t(1824 * 16) << 32));
    // TEX0: TCC 1 (bit 34), modulate, CLD 1 (bits 61-63).
    EXPECT_EQ(e.tex0, (1ull << 34) | (1ull << 61));
}

TEST_F(EngineTest, TextureAndWrapSettersChangeOnlyTheirFields) {
    veRenderSetTexture(0x3480, 4, 0x13, 8, 7, 0x3580);
    const uint64_t t = veRenderEnvironment[0].tex0;
    EXPECT_EQ(t & 0x3FFF, 0x3480u);
    EXPECT_EQ((t >> 14) & 0x3F, 4u);
    EXPECT_EQ((t >> 20) & 0x3F, 0x13u);
    EXPECT_EQ((t >> 26) & 0xF, 8u);
    EXPECT_EQ((t >> 30) & 0xF, 7u);
    EXPECT_EQ((t >> 37) & 0x3FFF, 0x3580u);
    EXPECT_EQ((t >> 34) & 1, 1u);  // TCC kept
    EXPECT_EQ(t >> 61, 1u);        // CLD kept
    veRenderSetWrapS(0);
    EXPECT_EQ(veRenderEnvironment[1].clamp, 4u);
    veRenderSetWrapT(3);
    EXPECT_EQ(veRenderEnvironment[1].clamp, 12u);
}

TEST_F(EngineTest, GettingTheEnvironmentFlipsTheContextAndClearsTheMark) {
    const int ctx = vePrimGetContext();
    _ve_render_environment_header h{};
    veRenderGetEnvironment(&h);
    EXPECT_EQ(vePrimGetContext(), ctx ^ 1);
    EXPECT_EQ(h.size, 208u);
    EXPECT_EQ(h.env, &veRenderEnvironment[ctx ^ 1]);
}

TEST_F(EngineTest, ScissorAndOffsetPacking) {
    veRenderSetScissor(1, 2, 3, 4);
    EXPECT_EQ(veRenderEnvironment[0].scissor, 1u | (3ull << 16) | (2ull << 32) | (4ull << 48));
    veSetRenderXYOffsetEnv(1728, 1824);
    EXPECT_EQ(veRenderEnvironment[1].xyoffset, uint64_t(1728 * 16) | (uint64_t(1824 * 16) << 32));
}

}  // namespace
