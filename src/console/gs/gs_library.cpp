#include "console/gs/gs_library.h"

#include <cstring>

#include "console/gif/gif_interpreter.h"
#include "console/gs/gs_device.h"
#include "console/stage/dma_stage.h"

using namespace console::gs;

namespace {

// Interlace and field mode of the last reset, for the display environments built afterwards.
GsSmode2 g_smode2{};

uint32_t QBitsOne() {
    return 0x3F800000u;
}

bool IsZFormat(short zpsm) {
    return (zpsm & 0x30) == 0x30 && (zpsm & 0xF) != 0xF;
}

template <typename Env>
void FillDrawEnv(Env& env, uint64_t* addrs[8], int context, short psm, short w, short h, short ztest,
                 short zpsm, GsFrame& frame, GsZbuf& zbuf, GsXyoffset& xyoffset, GsScissor& scissor,
                 GsTest& test) {
    std::memset(&env, 0, sizeof(env));
    const uint32_t fbw = (uint32_t(w) + 63u) / 64u;
    frame.FBW = fbw;
    frame.PSM = uint32_t(psm) & 0x3F;
    // The Z buffer goes on the first page after the frame buffer.
    const uint32_t bpp = (psm == kPsmCt16 || psm == kPsmCt16S) ? 2u : 4u;
    const uint32_t frameBytes = fbw * 64u * uint32_t(h > 0 ? h : 0) * bpp;
    zbuf.ZBP = (frameBytes + LocalMemory::kPageBytes - 1) / LocalMemory::kPageBytes;
    const bool hasZ = IsZFormat(zpsm) && ztest != 0;
    zbuf.PSM = uint32_t(zpsm) & 0xF;
    // No Z buffer: depth writes are masked so whatever the Z base points at (often the frame buffer
    // itself) is never written as depth.
    zbuf.ZMSK = hasZ ? 0 : 1;
    xyoffset.OFX = uint32_t(2048 - (w >> 1)) << 4;
    xyoffset.OFY = uint32_t(2048 - (h >> 1)) << 4;
    scissor.SCAX0 = 0;
    scissor.SCAX1 = uint32_t(w - 1) & 0x7FF;
    scissor.SCAY0 = 0;
    scissor.SCAY1 = uint32_t(h - 1) & 0x7FF;
    env.prmodecont.AC = 1;
    env.colclamp.CLAMP = 1;
    env.dthe.DTHE = 0;
    test.ZTE = 1;
    test.ZTST = hasZ ? (uint32_t(ztest) & 3) : uint32_t(kZtstAlways);
    const uint64_t regs[8] = {uint64_t(kRegFrame_1 + context),
                              uint64_t(kRegZbuf_1 + context),
                              uint64_t(kRegXyoffset_1 + context),
                              uint64_t(kRegScissor_1 + context),
                              kRegPrmodecont,
                              kRegColclamp,
                              kRegDthe,
                              uint64_t(kRegTest_1 + context)};
    for (int i = 0; i < 8; ++i) *addrs[i] = regs[i];
}

void FillClear(sceGsClear* cp, int context, short ztest, short x, short y, short w, short h, uint8_t r,
               uint8_t g, uint8_t b, uint8_t a, uint32_t z) {
    std::memset(cp, 0, sizeof(*cp));
    cp->testa.ZTE = 1;
    cp->testa.ZTST = kZtstAlways;
    cp->testaaddr = uint64_t(kRegTest_1 + context);
    cp->prim.PRIM = kPrimSprite;
    cp->prim.CTXT = uint32_t(context);
    cp->primaddr = kRegPrim;
    cp->rgbaq.R = r;
    cp->rgbaq.G = g;
    cp->rgbaq.B = b;
    cp->rgbaq.A = a;
    cp->rgbaq.Q = QBitsOne();
    cp->rgbaqaddr = kRegRgbaq;
    cp->xyz2a.X = (uint32_t(x) << 4) & 0xFFFF;
    cp->xyz2a.Y = (uint32_t(y) << 4) & 0xFFFF;
    cp->xyz2a.Z = z;
    cp->xyz2aaddr = kRegXyz2;
    cp->xyz2b.X = (uint32_t(x + w) << 4) & 0xFFFF;
    cp->xyz2b.Y = (uint32_t(y + h) << 4) & 0xFFFF;
    cp->xyz2b.Z = z;
    cp->xyz2baddr = kRegXyz2;
    // Z test 0 would be NEVER and stop all later drawing; callers pass 0 to mean "no depth test".
    cp->testb.ZTE = 1;
    cp->testb.ZTST = ztest ? (uint32_t(ztest) & 3) : uint32_t(kZtstAlways);
    cp->testbaddr = uint64_t(kRegTest_1 + context);
}

void HalfOffset(GsXyoffset& off, const GsScissor& sc, short cx, short cy, short halfoff) {
    off.OFX = uint32_t(cx - short((sc.SCAX1 + 1) / 2)) << 4;
    off.OFY = (uint32_t(cy - short((sc.SCAY1 + 1) / 2)) << 4) + (halfoff ? 8u : 0u);
}

}  // namespace

int sceGsResetGraph(short mode, short inter, short omode, short ffmode) {
    console::dma::StageDrain();
    Gs().Reset(mode == 0);
    console::gif::Gif().Reset();
    g_smode2 = GsSmode2{};
    g_smode2.INT = inter ? 1 : 0;
    g_smode2.FFMD = ffmode ? 1 : 0;
    Gs().WritePriv(kPrivSmode2, RegBits(g_smode2));
    return 0;
}

void sceGsResetPath() {
    console::dma::StageDrain();
    console::gif::Gif().Reset();
}

int sceGsSyncPath(int mode, uint16_t timeout) {
    console::dma::StageDrain();
    return 0;
}

int sceGsSetDefDrawEnv(sceGsDrawEnv1* draw, short psm, short w, short h, short ztest, short zpsm) {
    sceGsDrawEnv1 env;
    uint64_t* addrs[8] = {&env.frame1addr,     &env.zbuf1addr,    &env.xyoffset1addr, &env.scissor1addr,
                          &env.prmodecontaddr, &env.colclampaddr, &env.dtheaddr,      &env.test1addr};
    FillDrawEnv(env, addrs, 0, psm, w, h, ztest, zpsm, env.frame1, env.zbuf1, env.xyoffset1, env.scissor1,
                env.test1);
    *draw = env;
    return 8;
}

int sceGsSetDefDrawEnv2(sceGsDrawEnv2* draw, short psm, short w, short h, short ztest, short zpsm) {
    sceGsDrawEnv2 env;
    uint64_t* addrs[8] = {&env.frame2addr,     &env.zbuf2addr,    &env.xyoffset2addr, &env.scissor2addr,
                          &env.prmodecontaddr, &env.colclampaddr, &env.dtheaddr,      &env.test2addr};
    FillDrawEnv(env, addrs, 1, psm, w, h, ztest, zpsm, env.frame2, env.zbuf2, env.xyoffset2, env.scissor2,
                env.test2);
    *draw = env;
    return 8;
}

int sceGsSetDefClear(sceGsClear* cp, short ztest, short x, short y, short w, short h, uint8_t r, uint8_t g,
                     uint8_t b, uint8_t a, uint32_t z) {
    FillClear(cp, 0, ztest, x, y, w, h, r, g, b, a, z);
    return 6;
}

int sceGsSetDefClear2(sceGsClear* cp, short ztest, short x, short y, short w, short h, uint8_t r, uint8_t g,
                      uint8_t b, uint8_t a, uint32_t z) {
    FillClear(cp, 1, ztest, x, y, w, h, r, g, b, a, z);
    return 6;
}

int sceGsSetDefAlphaEnv(sceGsAlphaEnv* ap, short pabe) {
    std::memset(ap, 0, sizeof(*ap));
    ap->alpha1 = RegFrom<GsAlpha>(0x44);
    ap->alpha1addr = kRegAlpha_1;
    ap->pabe.PABE = pabe ? 1 : 0;
    ap->pabeaddr = kRegPabe;
    ap->texa.TA0 = 0x80;
    ap->texa.TA1 = 0x80;
    ap->texaaddr = kRegTexa;
    ap->fba1addr = kRegFba_1;
    return 4;
}

void sceGsSetDefDispEnv(sceGsDispEnv* disp, short psm, short w, short h, short dx, short dy) {
    std::memset(disp, 0, sizeof(*disp));
    disp->pmode.EN1 = 1;
    disp->pmode.CRTMD = 1;
    disp->pmode.MMOD = 1;
    disp->pmode.ALP = 0xFF;
    disp->smode2 = g_smode2;
    disp->dispfb.FBW = (uint32_t(w) + 63u) / 64u;
    disp->dispfb.PSM = uint32_t(psm) & 0x1F;
    // Horizontal magnification fills the 2560-clock line; the picture starts at the usual NTSC origin.
    const uint32_t magh = w > 0 ? (2560u / uint32_t(w)) - 1u : 0u;
    disp->display.MAGH = magh & 0xF;
    disp->display.DX = (636u + uint32_t(dx) * (magh + 1u)) & 0xFFF;
    disp->display.DY = (50u + uint32_t(dy)) & 0x7FF;
    disp->display.DW = ((magh + 1u) * uint32_t(w) - 1u) & 0xFFF;
    disp->display.DH = uint32_t(h - 1) & 0x7FF;
}

void sceGsPutDispEnv(const sceGsDispEnv* disp) {
    // No wait for the geometry stage: nothing it draws reads or writes the display registers (the readout,
    // which waits, does).
    GsDevice& gs = Gs();
    gs.WritePriv(kPrivPmode, RegBits(disp->pmode));
    gs.WritePriv(kPrivSmode2, RegBits(disp->smode2));
    gs.WritePriv(kPrivDispfb1, RegBits(disp->dispfb));
    gs.WritePriv(kPrivDisplay1, RegBits(disp->display));
    gs.WritePriv(kPrivDispfb2, RegBits(disp->dispfb));
    gs.WritePriv(kPrivDisplay2, RegBits(disp->display));
    gs.WritePriv(kPrivBgcolor, RegBits(disp->bgcolor));
}

int sceGsSetHalfOffset(sceGsDrawEnv1* draw, short centerx, short centery, short halfoff) {
    HalfOffset(draw->xyoffset1, draw->scissor1, centerx, centery, halfoff);
    return 0;
}

int sceGsSetHalfOffset2(sceGsDrawEnv2* draw, short centerx, short centery, short halfoff) {
    HalfOffset(draw->xyoffset2, draw->scissor2, centerx, centery, halfoff);
    return 0;
}

int sceGsPutDrawEnv(const sceGifTag* giftag) {
    // Behind whatever the geometry stage still holds.
    console::dma::StageSendGif(3, giftag, console::gif::GifInterpreter::PacketQwords(*giftag));
    return 0;
}

int sceGsSetDefStoreImage(sceGsStoreImage* sp, short sbp, short sbw, short spsm, short x, short y, short w,
                          short h) {
    std::memset(sp, 0, sizeof(*sp));
    sp->bitbltbuf.SBP = uint32_t(sbp) & 0x3FFF;
    sp->bitbltbuf.SBW = uint32_t(sbw) & 0x3F;
    sp->bitbltbuf.SPSM = uint32_t(spsm) & 0x3F;
    sp->trxpos.SSAX = uint32_t(x) & 0x7FF;
    sp->trxpos.SSAY = uint32_t(y) & 0x7FF;
    sp->trxreg.RRW = uint32_t(w) & 0xFFF;
    sp->trxreg.RRH = uint32_t(h) & 0xFFF;
    return 0;
}

int sceGsExecStoreImage(const sceGsStoreImage* sp, void* dstaddr) {
    console::dma::StageDrain();
    GsDevice& gs = Gs();
    const uint32_t w = uint32_t(sp->trxreg.RRW), h = uint32_t(sp->trxreg.RRH);
    const int bytes = PsmBytes(uint32_t(sp->bitbltbuf.SPSM));
    if (w == 0 || h == 0 || bytes < 0 || !dstaddr) return -1;
    const uint32_t psm = uint32_t(sp->bitbltbuf.SPSM);
    const size_t streamBytes = (psm == kPsmCt24 || psm == kPsmZ24) ? 3 : size_t(bytes);
    const size_t total = streamBytes ? size_t(w) * h * streamBytes : (size_t(w) * h + 1) / 2;
    gs.WriteReg(kRegBitbltbuf, RegBits(sp->bitbltbuf));
    gs.WriteReg(kRegTrxpos, RegBits(sp->trxpos));
    gs.WriteReg(kRegTrxreg, RegBits(sp->trxreg));
    gs.WriteReg(kRegTrxdir, kXdirLocalToHost);
    const size_t got = gs.ReadImage(static_cast<uint8_t*>(dstaddr), total);
    gs.WriteReg(kRegTrxdir, kXdirNone);
    return got == total ? 0 : -1;
}

void sceDevGifPutImtMode(int imt) {}
