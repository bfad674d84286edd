// The general registers: written one by one (A+D and the packed forms' register writes) and read back.
#include "console/gs/gs_device.h"

#include <cstring>

#include "console/gs/gs_log.h"

namespace console::gs {

GsDevice::DrawWindow GsDevice::WindowFor(uint64_t prim) const {
    // The context comes from PRIM or PRMODE as it does for the vertices themselves.
    const uint32_t ctxt = prmodecont_.AC != 0 ? uint32_t(RegFrom<GsPrim>(prim).CTXT) : uint32_t(prmode_.CTXT);
    const Context& c = ctx_[ctxt];
    return DrawWindow{int32_t(c.xyoffset.OFX),  int32_t(c.xyoffset.OFY),  int32_t(c.scissor.SCAX0),
                      int32_t(c.scissor.SCAX1), int32_t(c.scissor.SCAY0), int32_t(c.scissor.SCAY1)};
}

// The vertex registers here, the rest by group.
void GsDevice::WriteReg(uint32_t addr, uint64_t value) {
    switch (addr) {
        case kRegPrim:
            // Every packet that starts a primitive writes PRIM, mostly with the value it has: the drawing
            // state worked out from it still holds then.
            if (value != RegBits(prim_)) stateDirty_ = true;
            prim_ = RegFrom<GsPrim>(value);
            queued_ = 0;
            return;
        case kRegRgbaq:
            rgbaq_ = RegFrom<GsRgbaq>(value);
            return;
        case kRegSt:
            st_ = RegFrom<GsSt>(value);
            return;
        case kRegUv:
            uv_ = RegFrom<GsUv>(value);
            return;
        case kRegFog:
            fog_ = RegFrom<GsFog>(value);
            return;
        case kRegXyz2:
        case kRegXyz3:
        case kRegXyzf2:
        case kRegXyzf3:
            WriteXyz(addr, value);
            return;
        case kRegSignal:
        case kRegFinish:
        case kRegLabel:
            return;  // no interrupts to raise: drawing is synchronous
        default:
            if (WriteContextReg(addr, value) || WriteModeReg(addr, value) || WriteTransferReg(addr, value))
                return;
            GsLogf("GS: unknown register 0x%02X (value 0x%016llX) ignored\n", addr,
                   static_cast<unsigned long long>(value));
            return;
    }
}

void GsDevice::SetTex0(GsTex0& t, GsTex0 value) {
    t = value;
    if (t.CLD != 0 && IsPaletted(t.PSM)) {
        clutPending_ = true;
        clutTex0_ = t;
    }
    stateDirty_ = true;
}

bool GsDevice::WriteContextReg(uint32_t addr, uint64_t value) {
    switch (addr) {
        case kRegTex0_1:
        case kRegTex0_2:
            SetTex0(ctx_[addr - kRegTex0_1].tex0, RegFrom<GsTex0>(value));
            return true;
        case kRegTex2_1:
        case kRegTex2_2: {
            // TEX2 replaces the format and palette fields of TEX0 only.
            GsTex0& t = ctx_[addr - kRegTex2_1].tex0;
            const uint64_t keep = 0x3FFFull | (0x3Full << 14) | (0xFFull << 26) | (0x7ull << 34);
            SetTex0(t, RegFrom<GsTex0>((RegBits(t) & keep) | (value & ~keep)));
            return true;
        }
        case kRegClamp_1:
        case kRegClamp_2:
            ctx_[addr - kRegClamp_1].clamp = RegFrom<GsClamp>(value);
            break;
        case kRegTex1_1:
        case kRegTex1_2:
            ctx_[addr - kRegTex1_1].tex1 = RegFrom<GsTex1>(value);
            break;
        case kRegXyoffset_1:
        case kRegXyoffset_2:
            ctx_[addr - kRegXyoffset_1].xyoffset = RegFrom<GsXyoffset>(value);
            break;
        case kRegScissor_1:
        case kRegScissor_2:
            ctx_[addr - kRegScissor_1].scissor = RegFrom<GsScissor>(value);
            break;
        case kRegAlpha_1:
        case kRegAlpha_2:
            ctx_[addr - kRegAlpha_1].alpha = RegFrom<GsAlpha>(value);
            break;
        case kRegTest_1:
        case kRegTest_2:
            ctx_[addr - kRegTest_1].test = RegFrom<GsTest>(value);
            break;
        case kRegFba_1:
        case kRegFba_2:
            ctx_[addr - kRegFba_1].fba = RegFrom<GsFba>(value);
            break;
        case kRegFrame_1:
        case kRegFrame_2:
            ctx_[addr - kRegFrame_1].frame = RegFrom<GsFrame>(value);
            break;
        case kRegZbuf_1:
        case kRegZbuf_2:
            ctx_[addr - kRegZbuf_1].zbuf = RegFrom<GsZbuf>(value);
            break;
        case kRegMiptbp1_1:
        case kRegMiptbp1_2:
            ctx_[addr - kRegMiptbp1_1].miptbp1 = value;
            break;
        case kRegMiptbp2_1:
        case kRegMiptbp2_2:
            ctx_[addr - kRegMiptbp2_1].miptbp2 = value;
            break;
        default:
            return false;
    }
    stateDirty_ = true;
    return true;
}

bool GsDevice::WriteModeReg(uint32_t addr, uint64_t value) {
    switch (addr) {
        case kRegPrmodecont:
            prmodecont_ = RegFrom<GsPrmodecont>(value);
            break;
        case kRegPrmode:
            prmode_ = RegFrom<GsPrmode>(value);
            break;
        case kRegTexclut:
            texclut_ = RegFrom<GsTexclut>(value);
            break;
        case kRegScanmsk:
            scanmsk_ = value;
            break;
        case kRegTexa:
            texa_ = RegFrom<GsTexa>(value);
            break;
        case kRegFogcol:
            fogcol_ = RegFrom<GsFogcol>(value);
            break;
        case kRegColclamp:
            colclamp_ = RegFrom<GsColclamp>(value);
            break;
        case kRegPabe:
            pabe_ = RegFrom<GsPabe>(value);
            break;
        case kRegTexflush:
            texflush_ = value;
            return true;  // textures are always read from memory: nothing to flush
        case kRegDimx:
            dimx_ = value;
            return true;
        case kRegDthe:
            dthe_ = RegFrom<GsDthe>(value);
            return true;  // dithering is not reproduced
        default:
            return false;
    }
    stateDirty_ = true;
    return true;
}

bool GsDevice::WriteTransferReg(uint32_t addr, uint64_t value) {
    switch (addr) {
        case kRegBitbltbuf:
            bitbltbuf_ = RegFrom<GsBitbltbuf>(value);
            return true;
        case kRegTrxpos:
            trxpos_ = RegFrom<GsTrxpos>(value);
            return true;
        case kRegTrxreg:
            trxreg_ = RegFrom<GsTrxreg>(value);
            return true;
        case kRegTrxdir:
            trxdir_ = RegFrom<GsTrxdir>(value);
            StartTransfer();
            return true;
        case kRegHwreg: {
            uint8_t bytes[8];
            std::memcpy(bytes, &value, 8);
            WriteImage(bytes, 8);
            return true;
        }
        default:
            return false;
    }
}

uint64_t GsDevice::ReadReg(uint32_t addr) const {
    switch (addr) {
        case kRegPrim:
            return RegBits(prim_);
        case kRegRgbaq:
            return RegBits(rgbaq_);
        case kRegSt:
            return RegBits(st_);
        case kRegUv:
            return RegBits(uv_);
        case kRegTex0_1:
        case kRegTex0_2:
            return RegBits(ctx_[addr - kRegTex0_1].tex0);
        case kRegClamp_1:
        case kRegClamp_2:
            return RegBits(ctx_[addr - kRegClamp_1].clamp);
        case kRegTex1_1:
        case kRegTex1_2:
            return RegBits(ctx_[addr - kRegTex1_1].tex1);
        case kRegXyoffset_1:
        case kRegXyoffset_2:
            return RegBits(ctx_[addr - kRegXyoffset_1].xyoffset);
        case kRegScissor_1:
        case kRegScissor_2:
            return RegBits(ctx_[addr - kRegScissor_1].scissor);
        case kRegAlpha_1:
        case kRegAlpha_2:
            return RegBits(ctx_[addr - kRegAlpha_1].alpha);
        case kRegTest_1:
        case kRegTest_2:
            return RegBits(ctx_[addr - kRegTest_1].test);
        case kRegFba_1:
        case kRegFba_2:
            return RegBits(ctx_[addr - kRegFba_1].fba);
        case kRegFrame_1:
        case kRegFrame_2:
            return RegBits(ctx_[addr - kRegFrame_1].frame);
        case kRegZbuf_1:
        case kRegZbuf_2:
            return RegBits(ctx_[addr - kRegZbuf_1].zbuf);
        case kRegPrmodecont:
            return RegBits(prmodecont_);
        case kRegPrmode:
            return RegBits(prmode_);
        case kRegTexa:
            return RegBits(texa_);
        case kRegFogcol:
            return RegBits(fogcol_);
        case kRegColclamp:
            return RegBits(colclamp_);
        case kRegDthe:
            return RegBits(dthe_);
        case kRegPabe:
            return RegBits(pabe_);
        case kRegBitbltbuf:
            return RegBits(bitbltbuf_);
        case kRegTrxpos:
            return RegBits(trxpos_);
        case kRegTrxreg:
            return RegBits(trxreg_);
        case kRegTrxdir:
            return RegBits(trxdir_);
        default:
            return 0;
    }
}

}  // namespace console::gs
