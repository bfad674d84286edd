#include "engine/hal/render_context.h"

#include <cstring>

#include "console/gs/gs_registers.h"
#include "engine/hal/display_hw.h"
#include "engine/hal/prim.h"

using namespace console::gs;

_ve_render_context veRenderContext;
_ve_render_environment veRenderEnvironment[2];

namespace {

template <typename T>
void Both(uint64_t _ve_render_environment::*field, T fn) {
    for (auto& e : veRenderEnvironment) e.*field = fn(e.*field);
}

void SetBoth(uint64_t _ve_render_environment::*field, uint64_t v) {
    for (auto& e : veRenderEnvironment) e.*field = v;
}

void RebuildZbuf() {
    const bool on = veRenderContext.flags & 0x01;
    Both(&_ve_render_environment::zbuf, [on](uint64_t v) {
        GsZbuf z = RegFrom<GsZbuf>(v);
        z.ZMSK = on ? 0 : 1;
        return RegBits(z);
    });
}

void RebuildTest() {
    int method;
    switch (veRenderContext.zTestFunc) {
        case NEVER:
            method = kZtstNever;
            break;
        case ALWAYS:
            method = kZtstAlways;
            break;
        case GEQUAL:
            method = kZtstGequal;
            break;
        case GREATER:
            method = kZtstGreater;
            break;
        default:
            return;  // no GS depth method: TEST stays as it is
    }
    GsTest t{};
    t.ZTE = (veRenderContext.flags & 0x10) ? 1 : 0;
    t.ZTST = static_cast<uint64_t>(method);
    SetBoth(&_ve_render_environment::test, RegBits(t));
}

void Apply(uint32_t mask, bool on) {
    auto flag = [on](uint8_t bit) {
        if (on) {
            veRenderContext.flags |= bit;
        } else {
            veRenderContext.flags &= static_cast<uint8_t>(~bit);
        }
    };
    const uint32_t v = on ? 1 : 0;
    if (mask & kRenderZBuffer) {
        flag(0x01);
        RebuildZbuf();
    }
    if (mask & kRenderAlpha) {
        flag(0x02);
        vePrimSetAlpha(v);
    }
    if (mask & kRenderShading) {
        flag(0x08);
        vePrimSetShading(v);
    }
    if (mask & kRenderFog) vePrimSetFog(v);
    if (mask & kRenderTexture) {
        flag(0x04);
        vePrimSetTexturing(v);
    }
    if (mask & kRenderZTest) {
        flag(0x10);
        RebuildTest();
    }
    vePrimSetNewDrawEnvironment();
}

}  // namespace

void veRenderContextEnable(uint32_t mask) {
    Apply(mask, true);
}
void veRenderContextDisable(uint32_t mask) {
    Apply(mask, false);
}

void veRenderContextSetFunc(uint32_t mask, _ve_render_function f) {
    if (mask & kRenderZBuffer) {
        veRenderContext.zBufferFunc = f;
    } else if (mask & kRenderAlpha) {
        veRenderContext.alphaFunc = f;
    } else if (mask & kRenderTexture) {
        veRenderContext.textureFunc = f;
    } else if (mask & kRenderZTest) {
        veRenderContext.zTestFunc = f;
    }
}

void veRenderContextInit() {
    veRenderContextDisable(kRenderAlpha);
    veRenderContextEnable(kRenderZBuffer);
    veRenderContextEnable(kRenderTexture);
    veRenderContextSetFunc(kRenderZTest, ALWAYS);
    veRenderContextSetFunc(kRenderAlpha, ALWAYS);
    veRenderContextSetFunc(kRenderZBuffer, GREATER);
    veRenderContextSetFunc(kRenderTexture, MODULATE);
    veRenderContextEnable(kRenderZTest);
}

void veRenderEnvironmentInit() {
    for (int c = 0; c < 2; ++c) {
        _ve_render_environment& e = veRenderEnvironment[c];
        std::memset(&e, 0, sizeof e);
        e.vifCommands[0] = 0;
        e.vifCommands[1] = 0;
        e.vifCommands[2] = 0x13000000;  // FLUSHA
        e.vifCommands[3] = 0x5000000C;  // DIRECT 12
        e.gifTag[0] = 11 | (1ull << 15) | (1ull << 60);
        e.gifTag[1] = 0xE;
        GsFrame fr{};
        fr.FBP = veFrameFBP;
        fr.FBW = veFrameFBW;
        fr.PSM = veFramePSM;
        e.frame = RegBits(fr);
        e.frameAddr = kRegFrame_1 + c;
        GsZbuf zb{};
        zb.ZBP = veZBufferFBP;
        zb.PSM = veZBufferPSM & 0xF;
        e.zbuf = RegBits(zb);
        e.zbufaddr = kRegZbuf_1 + c;
        e.xyoffset = uint64_t((2048 - 320) * 16) | (uint64_t((2048 - 224) * 16) << 32);
        e.xyoffsetAddr = kRegXyoffset_1 + c;
        e.texFlush = 0;
        e.texFlushAddr = kRegTexflush;
        e.test = 0x50000;
        e.testAddr = kRegTest_1 + c;
        GsTex0 t0{};
        t0.TCC = 1;
        t0.TFX = kTfxModulate;
        t0.CLD = 1;
        e.tex0 = RegBits(t0);
        e.tex0Addr = kRegTex0_1 + c;
        e.tex1 = 0x60;
        e.tex1Addr = kRegTex1_1 + c;
        e.clamp = 5;
        e.clampAddr = kRegClamp_1 + c;
        e.scissor = 0 | (uint64_t(639) << 16) | (uint64_t(0) << 32) | (uint64_t(447) << 48);
        e.scissorAddr = kRegScissor_1 + c;
        e.alpha = 0x44;
        e.alphaAddr = kRegAlpha_1 + c;
        e.texa = 0x0000000100400080ull;
        e.texaAddr = kRegTexa;
    }
    vePrimSetNewDrawEnvironment();
}

void veRenderSetScissor(int x0, int y0, int x1, int y1) {
    const uint64_t v = uint64_t(uint32_t(x0)) + (uint64_t(uint32_t(x1)) << 16) +
                       (uint64_t(uint32_t(y0)) << 32) + (uint64_t(uint32_t(y1)) << 48);
    SetBoth(&_ve_render_environment::scissor, v);
    vePrimSetNewDrawEnvironment();
}

void veSetRenderXYOffsetEnv(int x, int y) {
    const uint64_t v = uint64_t(uint32_t(x * 16)) + (uint64_t(uint32_t(y * 16)) << 32);
    SetBoth(&_ve_render_environment::xyoffset, v);
    vePrimSetNewDrawEnvironment();
}

void veRenderSetTexture(uint32_t texBase, uint32_t bufWidth, uint32_t psm, uint32_t log2w, uint32_t log2h,
                        uint32_t palBase) {
    Both(&_ve_render_environment::tex0, [=](uint64_t v) {
        GsTex0 t = RegFrom<GsTex0>(v);
        t.TBP0 = texBase & 0x3FFF;
        t.TBW = bufWidth & 0x3F;
        t.PSM = psm & 0x3F;
        t.TW = log2w & 0xF;
        t.TH = log2h & 0xF;
        t.CBP = palBase & 0x3FFF;
        return RegBits(t);
    });
    vePrimSetNewDrawEnvironment();
}

void veRenderSetWrapS(uint32_t mode) {
    Both(&_ve_render_environment::clamp, [=](uint64_t v) {
        GsClamp c = RegFrom<GsClamp>(v);
        c.WMS = mode & 3;
        return RegBits(c);
    });
    vePrimSetNewDrawEnvironment();
}

void veRenderSetWrapT(uint32_t mode) {
    Both(&_ve_render_environment::clamp, [=](uint64_t v) {
        GsClamp c = RegFrom<GsClamp>(v);
        c.WMT = mode & 3;
        return RegBits(c);
    });
    vePrimSetNewDrawEnvironment();
}

void veRenderGetEnvironment(_ve_render_environment_header* header) {
    vePrimFlipContext();
    header->size = sizeof(_ve_render_environment);
    header->env = &veRenderEnvironment[vePrimGetContext()];
    vePrimClearNewDrawEnvironment();
}
