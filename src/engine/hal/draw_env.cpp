#include "engine/hal/draw_env.h"

#include <cstring>
#include <type_traits>

#include "console/gs/gs_registers.h"
#include "console/mem/addr.h"
#include "engine/hal/display.h"
#include "engine/hal/engine.h"
#include "engine/hal/texture_manager.h"
#include "engine/sys/files.h"

// The engine's internal state (namespace engine) is used here unqualified.
using namespace engine;

using namespace console::gs;

namespace engine {
_DrawEnv1 defaultEnv1;
_DrawEnv2 defaultEnv2;
_DrawEnv1 drawenv1[2][kDrawEnvSlots];
_DrawEnv2 drawenv2[2][kDrawEnvSlots];
_DrawEnv1* drawEnvPtr1 = &drawenv1[0][0];
_DrawEnv2* drawEnvPtr2 = &drawenv2[0][0];
}  // namespace engine
int veTextureContextCount = 0;

namespace {

int g_parity = 0;
bool g_fullLogged = false;

template <typename Env, typename Draw>
void BuildDefault(Env& env, Draw& draw, int context, bool rebuildDraw) {
    if (rebuildDraw) {
        std::memset(&env, 0, sizeof env);
        sceGsSetDefAlphaEnv(&env.gs_alpha, 0);
        if (context == 1) env.gs_alpha.alpha1addr = kRegAlpha_2;
        if (context == 1) env.gs_alpha.fba1addr = kRegFba_2;
        const _ve_view* v = veDisplayActiveView;
        const short w = static_cast<short>(v ? v->viewPortWidth : veDisplayXRes);
        const short h = static_cast<short>(v ? v->viewPortHeight : veDisplayYRes);
        if constexpr (std::is_same_v<Draw, sceGsDrawEnv1>) {
            sceGsSetDefDrawEnv(&draw, kPsmCt32, w, h, kZtstGreater, kPsmZ24);
        } else {
            sceGsSetDefDrawEnv2(&draw, kPsmCt32, w, h, kZtstGreater, kPsmZ24);
        }
    }
    GsFrame fr{};
    fr.FBP = veFrameFBP;
    fr.FBW = veFrameFBW;
    fr.PSM = veFramePSM;
    GsZbuf zb{};
    zb.ZBP = veZBufferFBP;
    zb.PSM = veZBufferPSM & 0xF;
    const _ve_view* v = veDisplayActiveView;
    GsScissor sc{};
    sc.SCAX0 = v ? v->originX : 0;
    sc.SCAY0 = v ? v->originY : 0;
    sc.SCAX1 = v ? uint32_t(v->originX + v->viewPortWidth - 1) : uint32_t(veDisplayXRes - 1);
    sc.SCAY1 = v ? uint32_t(v->originY + v->viewPortHeight - 1) : uint32_t(veDisplayYRes - 1);
    GsXyoffset off{};
    off.OFX = uint32_t(2048 - (veDisplayXRes >> 1)) * 16;
    off.OFY = uint32_t(2048 - (veDisplayYRes >> 1)) * 16;
    std::memcpy(reinterpret_cast<uint8_t*>(&draw) + 0, &fr, 8);
    std::memcpy(reinterpret_cast<uint8_t*>(&draw) + 16, &zb, 8);
    std::memcpy(reinterpret_cast<uint8_t*>(&draw) + 32, &off, 8);
    std::memcpy(reinterpret_cast<uint8_t*>(&draw) + 48, &sc, 8);
    GsTex0 t0{};
    t0.TCC = 1;
    t0.TFX = kTfxModulate;
    GsTex1 t1{};
    t1.MMAG = 1;
    t1.MMIN = 1;
    GsClamp cl{};
    cl.WMS = 1;
    cl.WMT = 1;
    const uint64_t c = static_cast<uint64_t>(context);
    env.gs_tex.texflush = {0, kRegTexflush};
    env.gs_tex.tex1 = {RegBits(t1), kRegTex1_1 + c};
    env.gs_tex.tex0 = {RegBits(t0), kRegTex0_1 + c};
    env.gs_tex.clamp = {RegBits(cl), kRegClamp_1 + c};
    env.vif[0] = env.vif[1] = env.vif[2] = 0;
    env.vif[3] = 0x50000011;  // DIRECT 17
    const uint64_t tag[2] = {16 | (1ull << 15) | (1ull << 60), 0xE};
    std::memcpy(&env.giftag, tag, 16);
}

bool SlotFull(const void* cur, const void* base) {
    const size_t index = (static_cast<const uint8_t*>(cur) - static_cast<const uint8_t*>(base)) / 288;
    return index + 1 >= static_cast<size_t>(kDrawEnvSlots);
}

template <typename Env>
int Send(Env*& cur, Env (&area)[2][kDrawEnvSlots], const Env& def) {
    // The last slot of the half stays free as the one being edited: more materials in one frame than
    // slots are refused rather than written past the area.
    if (SlotFull(cur, &area[g_parity][0])) {
        if (!g_fullLogged) {
            x_printf("veSendDrawEnv: more than %d draw environments in one frame; the rest are dropped\n",
                     kDrawEnvSlots - 1);
            g_fullLogged = true;
        }
        return -1;
    }
    if (veEngineDmaTagRoom() < 16) return -1;
    const uint64_t tag[2] = {18 | (3ull << 28) | (uint64_t(Addr32(cur)) << 32), 0};
    std::memcpy(veEngineDmaTagPtr, tag, 16);
    veEngineDmaTagPtr += 16;
    ++cur;
    *cur = def;
    ++veTextureContextCount;
    return 0;
}

template <typename Env>
void SetTexture(Env* env, const ve_texture_handle* h) {
    if (!env || !h) return;
    GsTex0 t = RegFrom<GsTex0>(env->gs_tex.tex0.value);
    t.TBP0 = h->texAdr & 0x3FFF;
    t.TBW = h->bufWidth & 0x3F;
    t.PSM = h->texType & 0x3F;
    t.TW = h->width2 & 0xF;
    t.TH = h->height2 & 0xF;
    if (h->palAdr != 0) {
        t.CBP = h->palAdr & 0x3FFF;
        t.CPSM = 0;
        t.CSM = 0;
        t.CSA = 0;
        t.CLD = 1;
    }
    env->gs_tex.tex0.value = RegBits(t);
    env->vif[2] = 0x13000000;  // FLUSHA: the texture upload must have finished
}

uint64_t TestBits(int ate, int atst, int aref, int afail, int date, int datm, int zte, int ztst) {
    return uint64_t(ate) + (uint64_t(atst) << 1) + (uint64_t(aref) << 4) + (uint64_t(afail) << 12) +
           (uint64_t(date) << 14) + (uint64_t(datm) << 15) + (uint64_t(zte) << 16) + (uint64_t(ztst) << 17);
}

uint64_t ScissorBits(int x0, int y0, int x1, int y1) {
    GsScissor s{};
    s.SCAX0 = uint32_t(x0) & 0x7FF;
    s.SCAY0 = uint32_t(y0) & 0x7FF;
    s.SCAX1 = uint32_t(x1) & 0x7FF;
    s.SCAY1 = uint32_t(y1) & 0x7FF;
    return RegBits(s);
}

}  // namespace

void veDrawEnvStartFrame(int parity) {
    g_parity = parity & 1;
    drawEnvPtr1 = &drawenv1[g_parity][0];
    drawEnvPtr2 = &drawenv2[g_parity][0];
    veTextureContextCount = 0;
    g_fullLogged = false;
}

void veSetDefaultDrawEnv1() {
    BuildDefault(defaultEnv1, defaultEnv1.gs_draw, 0, true);
    veCopyDefaultDrawEnv1();
}

void veSetDefaultDrawEnv2() {
    BuildDefault(defaultEnv2, defaultEnv2.gs_draw, 1, true);
    veCopyDefaultDrawEnv2();
}

void veCopyDefaultDrawEnv1() {
    *drawEnvPtr1 = defaultEnv1;
}
void veCopyDefaultDrawEnv2() {
    *drawEnvPtr2 = defaultEnv2;
}

void veSwitchToRenderBuffer(const ve_texture_handle* h, int ztest, int bpp) {
    if (!h) return;
    const short zpsm = bpp == 16 ? kPsmZ16 : bpp == 24 ? kPsmZ24 : bpp == 32 ? kPsmZ32 : 0;
    const short method = ztest ? kZtstGreater : kZtstAlways;
    sceGsSetDefDrawEnv(&defaultEnv1.gs_draw, static_cast<short>(h->texType), static_cast<short>(h->width),
                       static_cast<short>(h->height), method, zpsm);
    sceGsSetDefDrawEnv2(&defaultEnv2.gs_draw, static_cast<short>(h->texType), static_cast<short>(h->width),
                        static_cast<short>(h->height), method, zpsm);
    defaultEnv1.gs_draw.frame1.FBW = h->bufWidth & 0x3F;
    defaultEnv1.gs_draw.frame1.PSM = h->texType & 0x3F;
    defaultEnv1.gs_draw.frame1.FBP = (h->texAdr / 32) & 0x1FF;
    defaultEnv1.gs_draw.zbuf1.ZBP = (h->zBuffAddr / 32) & 0x1FF;
    defaultEnv1.gs_draw.zbuf1.PSM = static_cast<uint32_t>(zpsm) & 0xF;
    defaultEnv2.gs_draw.frame2 = defaultEnv1.gs_draw.frame1;
    defaultEnv2.gs_draw.zbuf2 = defaultEnv1.gs_draw.zbuf1;
    veFramePSM = h->texType;
    veFrameFBW = h->bufWidth;
    veFrameFBP = h->texAdr / 32;
    veZBufferPSM = static_cast<uint32_t>(zpsm);
    veZBufferFBW = h->bufWidth;
    veZBufferFBP = h->zBuffAddr / 32;
    veCopyDefaultDrawEnv1();
    veCopyDefaultDrawEnv2();
}

void veSwitchToFrameBuffer() {
    veDisplayInitFrameBufferSettings();
    veSetDefaultDrawEnv1();
    veSetDefaultDrawEnv2();
}

void veSetDefaultTestEnv1(int ate, int atst, int aref, int afail, int date, int datm, int zte, int ztst) {
    defaultEnv1.gs_draw.test1 = RegFrom<GsTest>(TestBits(ate, atst, aref, afail, date, datm, zte, ztst));
}

void veSetDefaultTestEnv2(int ate, int atst, int aref, int afail, int date, int datm, int zte, int ztst) {
    defaultEnv2.gs_draw.test2 = RegFrom<GsTest>(TestBits(ate, atst, aref, afail, date, datm, zte, ztst));
}

void veSetDefaultScissorEnv1(int x0, int y0, int x1, int y1) {
    defaultEnv1.gs_draw.scissor1 = RegFrom<GsScissor>(ScissorBits(x0, y0, x1, y1));
    veCopyDefaultDrawEnv1();
}

void veSetDefaultScissorEnv2(int x0, int y0, int x1, int y1) {
    defaultEnv2.gs_draw.scissor2 = RegFrom<GsScissor>(ScissorBits(x0, y0, x1, y1));
    veCopyDefaultDrawEnv2();
}

void veSetDefaultMinMagFilter1(int minFilter, int magFilter) {
    GsTex1 t = RegFrom<GsTex1>(defaultEnv1.gs_tex.tex1.value);
    t.MMIN = uint32_t(minFilter) & 7;
    t.MMAG = uint32_t(magFilter) & 1;
    defaultEnv1.gs_tex.tex1.value = RegBits(t);
    veCopyDefaultDrawEnv1();
}

void veSetDefaultMinMagFilter2(int minFilter, int magFilter) {
    GsTex1 t = RegFrom<GsTex1>(defaultEnv2.gs_tex.tex1.value);
    t.MMIN = uint32_t(minFilter) & 7;
    t.MMAG = uint32_t(magFilter) & 1;
    defaultEnv2.gs_tex.tex1.value = RegBits(t);
    veCopyDefaultDrawEnv2();
}

void veSetDrawEnv1Texture(const ve_texture_handle* h) {
    SetTexture(drawEnvPtr1, h);
}
void veSetDrawEnv2Texture(const ve_texture_handle* h) {
    SetTexture(drawEnvPtr2, h);
}

void veSetTextureEnv2Wrap(int mode) {
    GsClamp c{};
    c.WMS = c.WMT = mode == 0 ? 0 : 1;
    drawEnvPtr2->gs_tex.clamp.value = RegBits(c);
}

void veSetAlphaEnv2(int mode, int percentage) {
    GsAlpha a{};
    if (mode == 2 || mode == 3) {
        const int fix = 128 - (percentage * 128) / 100;
        if (fix > 0) {
            a = RegFrom<GsAlpha>(0x62);
            a.FIX = static_cast<uint32_t>(fix) & 0xFF;
        } else {
            a = RegFrom<GsAlpha>(0x42);
        }
    } else {
        a = RegFrom<GsAlpha>(0x44);
    }
    drawEnvPtr2->gs_alpha.alpha1 = a;
}

int veSendDrawEnv1() {
    return Send(drawEnvPtr1, drawenv1, defaultEnv1);
}
int veSendDrawEnv2() {
    return Send(drawEnvPtr2, drawenv2, defaultEnv2);
}

void veSyncEnv2() {
    if (SlotFull(drawEnvPtr2, &drawenv2[g_parity][0])) return;
    ++drawEnvPtr2;
    *drawEnvPtr2 = defaultEnv2;
}
