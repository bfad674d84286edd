// The drawing state worked out from the registers before a primitive is drawn, and the CLUT load.
#include "console/gs/gs_device.h"

#include <algorithm>
#include <cstring>

namespace console::gs {
namespace {

// Palette positions of an 8-bit CLUT in CSM1 order: entries 8-15 of every 32 live at 16-23 and the
// other way round.
uint32_t Csm1Position(uint32_t index) {
    return (index & 0xE7u) | ((index & 0x08u) << 1) | ((index & 0x10u) >> 1);
}

}  // namespace

void GsDevice::BuildState() {
    const bool useAc = prmodecont_.AC != 0;
    const uint64_t attrs = useAc ? RegBits(prim_) : RegBits(prmode_);
    const GsPrim a = RegFrom<GsPrim>(attrs);
    const Context& c = ctx_[a.CTXT];
    const DrawState before = state_;
    DrawState& s = state_;
    s = DrawState{};
    s.gouraud = a.IIP != 0;
    s.textured = a.TME != 0;
    s.fogging = a.FGE != 0;
    s.blending = a.ABE != 0;
    s.uvTexels = a.FST != 0;

    s.fbBase = uint32_t(c.frame.FBP) * LocalMemory::kPageBytes;
    s.fbw = uint32_t(c.frame.FBW);
    s.fpsm = uint32_t(c.frame.PSM);
    if (s.fpsm != kPsmCt32 && s.fpsm != kPsmCt24 && s.fpsm != kPsmCt16 && s.fpsm != kPsmCt16S)
        s.fpsm = kPsmCt32;
    s.fbmsk = uint32_t(c.frame.FBMSK);
    s.zBase = uint32_t(c.zbuf.ZBP) * LocalMemory::kPageBytes;
    s.zpsm = 0x30u | uint32_t(c.zbuf.PSM);
    if (s.zpsm != kPsmZ32 && s.zpsm != kPsmZ24 && s.zpsm != kPsmZ16 && s.zpsm != kPsmZ16S) s.zpsm = kPsmZ32;
    s.zmsk = c.zbuf.ZMSK != 0;
    // A depth test every pixel passes with the depth masked neither reads nor writes the depth buffer
    // (targets without one, such as the shadow pictures, are set up so): drawn as with no test at all,
    // which the vector spans take whatever the depth format.
    s.zte = c.test.ZTE != 0 && !(c.test.ZTST == kZtstAlways && s.zmsk);
    s.ztst = uint32_t(c.test.ZTST);
    s.ate = c.test.ATE != 0;
    s.atst = uint32_t(c.test.ATST);
    s.aref = uint32_t(c.test.AREF);
    s.afail = uint32_t(c.test.AFAIL);
    s.date = c.test.DATE != 0;
    s.datm = c.test.DATM != 0;
    s.alphaA = uint32_t(c.alpha.A);
    s.alphaB = uint32_t(c.alpha.B);
    s.alphaC = uint32_t(c.alpha.C);
    s.alphaD = uint32_t(c.alpha.D);
    s.fix = uint32_t(c.alpha.FIX);
    s.pabe = pabe_.PABE != 0;
    s.fba = c.fba.FBA != 0;
    s.colclamp = colclamp_.CLAMP != 0;
    s.scx0 = int32_t(c.scissor.SCAX0);
    s.scx1 = int32_t(c.scissor.SCAX1);
    s.scy0 = int32_t(c.scissor.SCAY0);
    s.scy1 = int32_t(c.scissor.SCAY1);

    s.tBase = uint32_t(c.tex0.TBP0) * LocalMemory::kBlockBytes;
    s.tbw = uint32_t(c.tex0.TBW);
    s.tpsm = uint32_t(c.tex0.PSM);
    s.tw = std::min<uint32_t>(uint32_t(c.tex0.TW), 10);
    s.th = std::min<uint32_t>(uint32_t(c.tex0.TH), 10);
    s.tcc = c.tex0.TCC != 0;
    s.tfx = uint32_t(c.tex0.TFX);
    // Without mipmaps the level of detail only says whether the texture is magnified or minified; with a
    // fixed LOD (LCM 1) K decides, otherwise the magnification filter is taken.
    const int32_t k = int32_t(uint32_t(c.tex1.K) << 20) >> 20;
    const bool minified = c.tex1.LCM != 0 && k > 0;
    const uint32_t mmin = uint32_t(c.tex1.MMIN);
    s.bilinearMag = minified ? (mmin == 1 || mmin == 3 || mmin == 5) : (c.tex1.MMAG != 0);
    s.wms = uint32_t(c.clamp.WMS);
    s.wmt = uint32_t(c.clamp.WMT);
    s.minu = uint32_t(c.clamp.MINU);
    s.maxu = uint32_t(c.clamp.MAXU);
    s.minv = uint32_t(c.clamp.MINV);
    s.maxv = uint32_t(c.clamp.MAXV);
    s.ta0 = uint32_t(texa_.TA0);
    s.ta1 = uint32_t(texa_.TA1);
    s.aem = texa_.AEM != 0;
    s.clut = clut_ + (s.tpsm == kPsmT4 ? uint32_t(c.tex0.CSA) * 16u : 0u);
    s.fogR = uint32_t(fogcol_.FCR);
    s.fogG = uint32_t(fogcol_.FCG);
    s.fogB = uint32_t(fogcol_.FCB);
    s.texFast = Rasterizer::TexFastApplies(s);
    stateDirty_ = false;
    // The same settings again (a PRIM write starting the next packet, say) keep their version: what was
    // worked out from them still holds.
    s.version = before.version;
    s.texels32 = before.texels32;  // checked before the next primitive is drawn
    if (s.version != 0 && s == before) return;
    ++stateVersion_;
    s.version = stateVersion_;
}

void GsDevice::LoadClut() {
    clutPending_ = false;
    const GsTex0& t = clutTex0_;
    const uint32_t base = uint32_t(t.CBP) * LocalMemory::kBlockBytes;
    const bool eightBit = t.PSM == kPsmT8;
    const uint32_t count = eightBit ? 256 : 16;
    const uint32_t first = eightBit ? 0 : uint32_t(t.CSA) * 16u;
    const bool bits16 = t.CPSM == kPsmCt16 || t.CPSM == kPsmCt16S;
    // Queued primitives keep the palette they were queued with; only the ones still drawing into the
    // palette's source are waited for (image data still queued there is read where it waits). The next
    // primitive takes the new palette with a new state.
    const uint32_t bytes = count * (bits16 ? 2u : 4u);
    uint8_t source[256 * 4];
    if (bands_) {
        bands_->Read(base, bytes, source, RasterBands::Wait::kPalette);
    } else {
        const uint32_t at = base & LocalMemory::kMask, head = std::min(bytes, LocalMemory::kSize - at);
        std::memcpy(source, mem_.Data() + at, head);
        std::memcpy(source + head, mem_.Data(), bytes - head);
    }
    ++stateVersion_;
    state_.version = stateVersion_;
    const bool csm1 = eightBit && t.CSM == 0;
    if (!bits16) {
        // 32-bit entries are taken as they are; CSM1 swaps whole runs of eight.
        for (uint32_t i = 0; i < count; i += 8)
            std::memcpy(clut_ + first + i, source + (csm1 ? Csm1Position(i) : i) * 4, 8 * 4);
        return;
    }
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t pos = csm1 ? Csm1Position(i) : i;
        const uint32_t raw = uint32_t(source[pos * 2]) | (uint32_t(source[pos * 2 + 1]) << 8);
        const uint32_t rgb = Expand16(raw) & 0xFFFFFFu;
        const uint32_t a =
            (raw & 0x8000) ? uint32_t(texa_.TA1) : ((texa_.AEM && rgb == 0) ? 0 : uint32_t(texa_.TA0));
        clut_[first + i] = rgb | (a << 24);
    }
}

}  // namespace console::gs
