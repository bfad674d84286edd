// The sceGs* calls on the console's own graphics synthesizer: environments, the clear, the display and
// the reset.
#include <gtest/gtest.h>

#include "console/gs/gs_library.h"
#include "gs_test_util.h"

namespace gstest {
namespace {

// The frame environment the engine sends: a PACKED A+D tag, 8 drawing registers and 6 clear registers.
struct FrameEnv {
    sceGifTag tag;
    sceGsDrawEnv1 draw;
    sceGsClear clear;
};
static_assert(sizeof(FrameEnv) == 16 * 15, "tag + 14 A+D quadwords");

class GsLibrary : public ::testing::Test {
protected:
    void SetUp() override { sceGsResetGraph(0, SCE_GS_INTERLACE, SCE_GS_NTSC, SCE_GS_FIELD); }
    void TearDown() override { sceGsResetGraph(0, SCE_GS_INTERLACE, SCE_GS_NTSC, SCE_GS_FIELD); }
    static uint32_t Pixel(uint32_t fbp, int x, int y) {
        return Gs().Memory().ReadPixel(fbp * 32, 10, kPsmCt32, uint32_t(x), uint32_t(y));
    }
};

TEST_F(GsLibrary, FrameEnvironmentClearsTheWholeBufferWhateverTheDepth) {
    // Depth far in front everywhere, then the clear with Z 0 and the restored GEQUAL test.
    Gs().Memory().Clear();
    for (uint32_t i = 0; i < 640 * 448; ++i) Gs().Memory().Write32(0x8C * 8192 + i * 4, 0xFFFFFF);
    alignas(16) FrameEnv fe;
    fe.tag = MakeGifTag(14, true, console::gif::kFlgPacked, 1, 0xE);
    sceGsSetDefDrawEnv(&fe.draw, kPsmCt32, 640, 448, kZtstGequal, kPsmZ24);
    EXPECT_EQ(sceGsSetDefClear(&fe.clear, kZtstGequal, 2048 - 320, 2048 - 224, 640, 448, 0, 0, 128, 0, 0), 6);
    EXPECT_EQ(sceGsPutDrawEnv(&fe.tag), 0);
    EXPECT_EQ(sceGsSyncPath(0, 0), 0);
    for (int y : {0, 1, 223, 447})
        for (int x : {0, 1, 320, 639}) {
            EXPECT_EQ(Pixel(0, x, y), 0x00800000u) << x << "," << y;
            EXPECT_EQ(Gs().Memory().ReadPixel(0x8C * 32, 10, kPsmZ24, uint32_t(x), uint32_t(y)), 0u);
        }
    EXPECT_EQ(Pixel(0, 0, 448), 0u) << "nothing below the rectangle";
    EXPECT_EQ(Gs().ReadReg(kRegTest_1), RegBits(fe.clear.testb)) << "the caller's test is back";

    // A render-target clear without depth passes Z test 0: afterwards drawing must still pass (ALWAYS),
    // not stop (NEVER); the clear itself always overwrites.
    sceGsClear c2;
    sceGsSetDefClear2(&c2, 0, 2048 - 64, 2048 - 64, 128, 128, 0, 0, 0, 0, 0);
    EXPECT_EQ(c2.testa.ZTST, uint64_t(kZtstAlways));
    EXPECT_EQ(c2.testb.ZTST, uint64_t(kZtstAlways));
    EXPECT_EQ(c2.testbaddr, uint64_t(kRegTest_2));
    EXPECT_EQ(c2.prim.CTXT, 1u);
    EXPECT_EQ(c2.xyz2b.X, uint64_t((2048 + 64) * 16));
}

TEST_F(GsLibrary, HalfOffsetAddsHalfAPixelOnOddFields) {
    sceGsDrawEnv1 e1;
    sceGsDrawEnv2 e2;
    sceGsSetDefDrawEnv(&e1, kPsmCt32, 640, 448, 1, kPsmZ24);
    sceGsSetDefDrawEnv2(&e2, kPsmCt32, 640, 448, 1, kPsmZ24);
    sceGsSetHalfOffset(&e1, 2048, 2048, 0);
    sceGsSetHalfOffset2(&e2, 2048, 2048, 1);
    EXPECT_EQ(e1.xyoffset1.OFX, uint64_t(1728 * 16));
    EXPECT_EQ(e1.xyoffset1.OFY, uint64_t(1824 * 16));
    EXPECT_EQ(e2.xyoffset2.OFX, uint64_t(1728 * 16));
    EXPECT_EQ(e2.xyoffset2.OFY, uint64_t(1824 * 16 + 8));
}

TEST_F(GsLibrary, DisplayShowsTheBufferAtDispfbAsOpaqueRgba) {
    sceGsDispEnv disp;
    sceGsSetDefDispEnv(&disp, kPsmCt32, 640, 448, 0, 0);
    disp.dispfb.FBP = 0x118;
    EXPECT_EQ(disp.display.DH, 447u);
    EXPECT_EQ(disp.dispfb.FBW, 10u);
    sceGsPutDispEnv(&disp);
    EXPECT_EQ(RegFrom<GsDispfb>(Gs().ReadPriv(kPrivDispfb1)).FBP, 0x118u);
    // Display row 160 is block 0x2940 (the engine reads it back as a texture there).
    Gs().Memory().Write32(0x2940 * 256 + 5 * 4, 0x00332211u);
    Gs().Memory().Write32(0x118 * 8192, 0x7F0000FFu);
    std::vector<uint8_t> rgba(640 * 448 * 4);
    ASSERT_TRUE(Gs().ReadDisplay(rgba.data()));
    EXPECT_EQ(rgba[0], 0xFF);
    EXPECT_EQ(rgba[3], 255) << "alpha is ignored";
    const size_t at = (160 * 640 + 5) * 4;
    EXPECT_EQ(rgba[at + 0], 0x11);
    EXPECT_EQ(rgba[at + 1], 0x22);
    EXPECT_EQ(rgba[at + 2], 0x33);
    EXPECT_EQ(rgba[at + 3], 255);
}

TEST_F(GsLibrary, ResetGraphModeOneKeepsMemoryModeZeroClearsIt) {
    Gs().Memory().Write32(0x1000, 0xABCDEF01u);
    Gs().WriteReg(kRegTexa, 0x80);
    sceGsResetGraph(1, SCE_GS_INTERLACE, SCE_GS_NTSC, SCE_GS_FIELD);
    EXPECT_EQ(Gs().Memory().Read32(0x1000), 0xABCDEF01u);
    EXPECT_EQ(Gs().ReadReg(kRegTexa), 0u);
    sceGsResetGraph(0, SCE_GS_INTERLACE, SCE_GS_NTSC, SCE_GS_FIELD);
    EXPECT_EQ(Gs().Memory().Read32(0x1000), 0u);
}

}  // namespace
}  // namespace gstest
