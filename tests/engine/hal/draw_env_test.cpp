#include "engine/hal/draw_env.h"

#include <gtest/gtest.h>

#include <cstring>

#include "console/mem/addr.h"
#include "engine/hal/texture_manager.h"
#include "engine_fixture.h"

namespace {

using enginetest::EngineTest;

TEST_F(EngineTest, ContextTwoAlphaWrapAndTestSetters) {
    veEngineBeginFrame();
    struct Case {
        int mode, percent;
        uint64_t alpha;
    };
    for (const Case& c : {Case{2, 50, 0x62 | (64ull << 32)}, Case{3, 100, 0x42}, Case{1, 30, 0x44}}) {
        veSetAlphaEnv2(c.mode, c.percent);
        EXPECT_EQ(console::gs::RegBits(engine::drawEnvPtr2->gs_alpha.alpha1), c.alpha) << c.mode;
    }
    veSetTextureEnv2Wrap(7);
    EXPECT_EQ(engine::drawEnvPtr2->gs_tex.clamp.value, 5u);
    veSetTextureEnv2Wrap(0);
    EXPECT_EQ(engine::drawEnvPtr2->gs_tex.clamp.value, 0u);
    veSetDefaultTestEnv1(1, 2, 3, 1, 1, 1, 1, 3);
    EXPECT_EQ(console::gs::RegBits(engine::defaultEnv1.gs_draw.test1),
              1u + (2u << 1) + (3u << 4) + (1u << 12) + (1u << 14) + (1u << 15) + (1u << 16) + (3u << 17));
    veEngineEndFrame();
}

TEST_F(EngineTest, SendsAdvanceSlotsAndCountAndReferenceWhatWasEdited) {
    veEngineBeginFrame();
    _DrawEnv1* first = engine::drawEnvPtr1;
    uint8_t* tags = veEngineDmaTagPtr;
    ve_texture_handle h{};
    h.texAdr = 0x3500;
    h.bufWidth = 2;
    h.texType = 0x13;
    h.width2 = 7;
    h.height2 = 6;
    h.palAdr = 0x3600;
    veSetDrawEnv1Texture(&h);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(veSendDrawEnv1(), 0);
    EXPECT_EQ(engine::drawEnvPtr1, first + 3);
    EXPECT_EQ(veTextureContextCount, 3);
    EXPECT_EQ(veEngineDmaTagPtr, tags + 48);
    uint64_t tag[2];
    std::memcpy(tag, tags, 16);
    EXPECT_EQ(tag[0], 18u | (3u << 28) | (uint64_t(Addr32(first)) << 32));
    EXPECT_EQ(tag[1], 0u);
    const auto t0 = console::gs::RegFrom<console::gs::GsTex0>(first->gs_tex.tex0.value);
    EXPECT_EQ(t0.TBP0, 0x3500u);
    EXPECT_EQ(t0.CBP, 0x3600u);
    EXPECT_EQ(t0.CLD, 1u);
    // The new current slot is a copy of the default.
    EXPECT_EQ(std::memcmp(engine::drawEnvPtr1, &engine::defaultEnv1, sizeof engine::defaultEnv1), 0);
    // The slots of a frame are bounded; a new frame starts over in the other half.
    int sent = 0;
    for (int i = 0; i < kDrawEnvSlots + 10; ++i) sent += veSendDrawEnv2() == 0;
    EXPECT_EQ(sent, kDrawEnvSlots - 1);
    EXPECT_NE(enginetest::g_log.find("draw environments in one frame"), std::string::npos);
    veEngineEndFrame();
    veEngineBeginFrame();
    EXPECT_EQ(veTextureContextCount, 0);
    EXPECT_EQ(veSendDrawEnv2(), 0);
    veEngineEndFrame();
}

TEST_F(EngineTest, RenderBufferSwitchRedirectsBothContextsAndBack) {
    RunFrames(2);
    EXPECT_EQ(engine::defaultEnv1.gs_draw.xyoffset1.OFX, 1728u * 16);
    ve_texture_handle h{};
    h.width = 128;
    h.height = 128;
    h.texAdr = 0x3480 + 0x20;
    h.zBuffAddr = h.texAdr + 256;
    h.bufWidth = 2;
    veSwitchToRenderBuffer(&h, 1, 32);
    EXPECT_EQ(engine::defaultEnv1.gs_draw.frame1.FBP, h.texAdr / 32);
    EXPECT_EQ(engine::defaultEnv2.gs_draw.zbuf2.ZBP, h.zBuffAddr / 32);
    EXPECT_EQ(engine::defaultEnv2.gs_draw.zbuf2.PSM, 0u);  // 32-bit Z
    EXPECT_EQ(veFrameFBP, h.texAdr / 32);
    veSwitchToFrameBuffer();
    EXPECT_EQ(veFrameFBP, 0u);
    EXPECT_EQ(engine::defaultEnv1.gs_draw.frame1.FBP, 0u);
    EXPECT_EQ(engine::defaultEnv1.gs_draw.zbuf1.ZBP, 0x8Cu);
}

}  // namespace
