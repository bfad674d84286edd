#include "console/gs/gs_device.h"

#include <emmintrin.h>
#include <sched.h>

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "console/gs/gs_log.h"

namespace console::gs {
namespace {

float FloatBits(uint32_t bits) {
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

bool IsPaletted(uint32_t psm) {
    return psm == kPsmT8 || psm == kPsmT4;
}

// Bytes one pixel takes in an image stream (host-to-local and back); 0 for 4-bit pixels.
int StreamBytes(uint32_t psm) {
    switch (psm) {
        case kPsmCt32:
        case kPsmZ32:
            return 4;
        case kPsmCt24:
        case kPsmZ24:
            return 3;
        case kPsmCt16:
        case kPsmCt16S:
        case kPsmZ16:
        case kPsmZ16S:
            return 2;
        case kPsmT8:
            return 1;
        case kPsmT4:
            return 0;
        default:
            return -1;
    }
}

// Palette positions of an 8-bit CLUT in CSM1 order: entries 8-15 of every 32 live at 16-23 and the
// other way round.
uint32_t Csm1Position(uint32_t index) {
    return (index & 0xE7u) | ((index & 0x08u) << 1) | ((index & 0x10u) >> 1);
}

}  // namespace

GsDevice& Gs() {
    static GsDevice device;
    return device;
}

// The row list stays out of the game's heap, so the heap's figures (and the addresses the log shows) do
// not depend on how many rasteriser threads draw.
GsDevice::GsDevice() : rast_(mem_, true) {
    Reset(true);
}

GsDevice::~GsDevice() {
    RasterBands::Destroy(bands_);
}

void GsDevice::SetRasterThreads(int threads) {
    if (threads == RasterThreads()) return;
    RasterBands::Destroy(bands_);
    textures_.Release();
    bands_ = threads > 1 ? RasterBands::Create(mem_, threads) : nullptr;
}

void GsDevice::Reset(bool clearMemory) {
    Flush();
    // Nothing worked out before the reset is kept: the expansions and the drawing state go, so what the
    // device does next depends only on what it is sent from now on (versions keep counting, so nothing
    // prepared for an earlier state is taken for a later one).
    textures_ = PaletteTextures();
    state_ = DrawState{};
    if (clearMemory) mem_.Clear();
    std::memset(ctx_, 0, sizeof(ctx_));
    prim_ = {};
    prmode_ = {};
    prmodecont_ = RegFrom<GsPrmodecont>(1);
    rgbaq_ = RegFrom<GsRgbaq>(uint64_t(0x3F800000) << 32);  // Q = 1.0
    st_ = {};
    uv_ = {};
    fog_ = {};
    texa_ = {};
    fogcol_ = {};
    texclut_ = {};
    dthe_ = {};
    colclamp_ = RegFrom<GsColclamp>(1);
    pabe_ = {};
    bitbltbuf_ = {};
    trxpos_ = {};
    trxreg_ = {};
    trxdir_ = RegFrom<GsTrxdir>(kXdirNone);
    scanmsk_ = dimx_ = texflush_ = 0;
    queued_ = 0;
    stateDirty_ = true;
    std::memset(clut_, 0, sizeof(clut_));
    clutPending_ = false;
    hostToLocal_ = Transfer{};
    localToHost_ = Transfer{};
    discardImage_ = false;
    pmode_ = smode1_ = smode2_ = bgcolor_ = imr_ = 0;
    dispfb_[0] = dispfb_[1] = display_[0] = display_[1] = 0;
    csr_ = 0;
}

int GsDevice::DefaultRasterThreads() {
    cpu_set_t set;
    CPU_ZERO(&set);
    const int cpus = sched_getaffinity(0, sizeof set, &set) == 0 ? CPU_COUNT(&set) : 1;
    return std::clamp(cpus, 1, 4);
}

// --- General registers ----------------------------------------------------------------------------

GsDevice::DrawWindow GsDevice::WindowFor(uint64_t prim) const {
    // The context comes from PRIM or PRMODE as it does for the vertices themselves.
    const uint32_t ctxt = prmodecont_.AC != 0 ? uint32_t(RegFrom<GsPrim>(prim).CTXT) : uint32_t(prmode_.CTXT);
    const Context& c = ctx_[ctxt];
    return DrawWindow{int32_t(c.xyoffset.OFX),  int32_t(c.xyoffset.OFY),  int32_t(c.scissor.SCAX0),
                      int32_t(c.scissor.SCAX1), int32_t(c.scissor.SCAY0), int32_t(c.scissor.SCAY1)};
}

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
        case kRegTex0_1:
        case kRegTex0_2: {
            GsTex0& t = ctx_[addr - kRegTex0_1].tex0;
            t = RegFrom<GsTex0>(value);
            if (t.CLD != 0 && IsPaletted(t.PSM)) {
                clutPending_ = true;
                clutTex0_ = t;
            }
            stateDirty_ = true;
            return;
        }
        case kRegTex2_1:
        case kRegTex2_2: {
            // TEX2 replaces the format and palette fields of TEX0 only.
            GsTex0& t = ctx_[addr - kRegTex2_1].tex0;
            const uint64_t keep = 0x3FFFull | (0x3Full << 14) | (0xFFull << 26) | (0x7ull << 34);
            t = RegFrom<GsTex0>((RegBits(t) & keep) | (value & ~keep));
            if (t.CLD != 0 && IsPaletted(t.PSM)) {
                clutPending_ = true;
                clutTex0_ = t;
            }
            stateDirty_ = true;
            return;
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
        case kRegTexflush:
            texflush_ = value;
            return;  // textures are always read from memory: nothing to flush
        case kRegDimx:
            dimx_ = value;
            return;
        case kRegDthe:
            dthe_ = RegFrom<GsDthe>(value);
            return;  // dithering is not reproduced
        case kRegColclamp:
            colclamp_ = RegFrom<GsColclamp>(value);
            break;
        case kRegPabe:
            pabe_ = RegFrom<GsPabe>(value);
            break;
        case kRegBitbltbuf:
            bitbltbuf_ = RegFrom<GsBitbltbuf>(value);
            return;
        case kRegTrxpos:
            trxpos_ = RegFrom<GsTrxpos>(value);
            return;
        case kRegTrxreg:
            trxreg_ = RegFrom<GsTrxreg>(value);
            return;
        case kRegTrxdir:
            trxdir_ = RegFrom<GsTrxdir>(value);
            StartTransfer();
            return;
        case kRegHwreg: {
            uint8_t bytes[8];
            std::memcpy(bytes, &value, 8);
            WriteImage(bytes, 8);
            return;
        }
        case kRegSignal:
        case kRegFinish:
        case kRegLabel:
            return;  // no interrupts to raise: drawing is synchronous
        default:
            GsLogf("GS: unknown register 0x%02X (value 0x%016llX) ignored\n", addr,
                   static_cast<unsigned long long>(value));
            return;
    }
    stateDirty_ = true;
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

// --- Primitives -----------------------------------------------------------------------------------

void GsDevice::WriteXyz(uint32_t addr, uint64_t value) {
    const uint32_t ctxt = prmodecont_.AC != 0 ? uint32_t(prim_.CTXT) : uint32_t(prmode_.CTXT);
    GsVertex& q = queue_[queued_++];
    q.x = int32_t(value & 0xFFFF) - int32_t(ctx_[ctxt].xyoffset.OFX);
    q.y = int32_t((value >> 16) & 0xFFFF) - int32_t(ctx_[ctxt].xyoffset.OFY);
    if (addr == kRegXyzf2 || addr == kRegXyzf3) {
        q.z = uint32_t((value >> 32) & 0xFFFFFF);
        q.fog = uint8_t(value >> 56);
    } else {
        q.z = uint32_t(value >> 32);
        q.fog = uint8_t(fog_.F);
    }
    q.r = uint8_t(rgbaq_.R);
    q.g = uint8_t(rgbaq_.G);
    q.b = uint8_t(rgbaq_.B);
    q.a = uint8_t(rgbaq_.A);
    q.q = FloatBits(uint32_t(rgbaq_.Q));
    q.s = FloatBits(uint32_t(st_.S));
    q.t = FloatBits(uint32_t(st_.T));
    q.u = uint32_t(uv_.U);
    q.v = uint32_t(uv_.V);
    Kick(addr == kRegXyz2 || addr == kRegXyzf2);
}

// Vertex by vertex, for lists that mix the fogged XYZ forms with the others.
void GsDevice::WritePackedVerticesMixed(const uint8_t* qw, size_t count, bool withSt, const uint8_t* xyzAddr,
                                        uint32_t forms, uint32_t* qbits) {
    // Nothing a vertex list writes changes the primitive, the context, its offset, UV or FOG: they are
    // read once.
    const uint32_t ctxt = prmodecont_.AC != 0 ? uint32_t(prim_.CTXT) : uint32_t(prmode_.CTXT);
    const int32_t ofx = int32_t(ctx_[ctxt].xyoffset.OFX), ofy = int32_t(ctx_[ctxt].xyoffset.OFY);
    const uint8_t fog = uint8_t(fog_.F);
    const uint32_t u = uint32_t(uv_.U), v = uint32_t(uv_.V);
    const bool triangles = prim_.PRIM == kPrimTriangle;
    uint64_t st = RegBits(st_);
    uint32_t qb = *qbits;
    uint32_t c[4] = {};
    uint32_t form = 0;
    const size_t stride = withSt ? 48 : 32;
    for (size_t i = 0; i < count; ++i, qw += stride) {
        const uint8_t* at = qw;
        if (withSt) {
            uint32_t w[3];
            std::memcpy(w, qw, 12);
            st = uint64_t(w[0]) | (uint64_t(w[1]) << 32);
            qb = w[2];
            at += 16;
        }
        uint32_t p[4];
        std::memcpy(c, at, 16);
        std::memcpy(p, at + 16, 16);
        const uint32_t addr = xyzAddr[form];
        if (++form == forms) form = 0;
        GsVertex& q = queue_[queued_++];
        q.x = int32_t(p[0] & 0xFFFF) - ofx;
        q.y = int32_t(p[1] & 0xFFFF) - ofy;
        if (addr == kRegXyzf2 || addr == kRegXyzf3) {
            q.z = (p[2] >> 4) & 0xFFFFFF;
            q.fog = uint8_t(p[3] >> 4);
        } else {
            q.z = p[2];
            q.fog = fog;
        }
        q.r = uint8_t(c[0]);
        q.g = uint8_t(c[1]);
        q.b = uint8_t(c[2]);
        q.a = uint8_t(c[3]);
        q.q = FloatBits(qb);
        q.s = FloatBits(uint32_t(st));
        q.t = FloatBits(uint32_t(st >> 32));
        q.u = u;
        q.v = v;
        // The ADC bit (bit 15 of the last word) queues the vertex without drawing.
        const bool draw = (addr == kRegXyz2 || addr == kRegXyzf2) && !((p[3] >> 15) & 1);
        if (triangles) {
            // Triangle lists, by far the most common: every third vertex ends a primitive.
            if (queued_ == 3) {
                if (draw) Draw();
                queued_ = 0;
            }
        } else {
            Kick(draw);
        }
    }
    st_ = RegFrom<GsSt>(st);
    rgbaq_ = RegFrom<GsRgbaq>(uint64_t(c[0] & 0xFF) | (uint64_t(c[1] & 0xFF) << 8) |
                              (uint64_t(c[2] & 0xFF) << 16) | (uint64_t(c[3] & 0xFF) << 24) |
                              (uint64_t(qb) << 32));
    *qbits = qb;
}

// The vertex as the packed quadwords hold it: x, y, z and the colour bytes make its first 16 bytes, S, T, Q
// and U the next 16, V and the fog byte the last 8.
static_assert(offsetof(GsVertex, x) == 0 && offsetof(GsVertex, y) == 4 && offsetof(GsVertex, z) == 8 &&
              offsetof(GsVertex, r) == 12 && offsetof(GsVertex, g) == 13 && offsetof(GsVertex, b) == 14 &&
              offsetof(GsVertex, a) == 15 && offsetof(GsVertex, s) == 16 && offsetof(GsVertex, t) == 20 &&
              offsetof(GsVertex, q) == 24 && offsetof(GsVertex, u) == 28 && offsetof(GsVertex, v) == 32 &&
              offsetof(GsVertex, fog) == 36 && sizeof(GsVertex) == 40);

template <bool kSt, bool kFogged>
void GsDevice::PackedVertexRun(const uint8_t* qw, size_t count, uint32_t drawForms, uint32_t forms) {
    // Nothing a vertex list writes changes the primitive, the context, its offset, UV or FOG: they are
    // read once.
    const uint32_t ctxt = prmodecont_.AC != 0 ? uint32_t(prim_.CTXT) : uint32_t(prmode_.CTXT);
    const __m128i offset =
        _mm_setr_epi32(int32_t(ctx_[ctxt].xyoffset.OFX), int32_t(ctx_[ctxt].xyoffset.OFY), 0, 0);
    const __m128i xyzMask = _mm_setr_epi32(0xFFFF, 0xFFFF, kFogged ? 0 : -1, 0);
    const __m128i zfMask = _mm_setr_epi32(0, 0, 0xFFFFFF, 0);
    const __m128i byteMask = _mm_set1_epi32(0xFF), lastLane = _mm_setr_epi32(0, 0, 0, -1);
    const __m128i stqMask = _mm_setr_epi32(-1, -1, -1, 0);
    const uint32_t u = uint32_t(uv_.U);
    const __m128i uLane = _mm_setr_epi32(0, 0, 0, int32_t(u));
    // Without ST every vertex has the S and T of the register and the Q the GIF keeps.
    const uint64_t stBits = RegBits(st_);
    const __m128i stqu = _mm_setr_epi32(int32_t(uint32_t(stBits)), int32_t(uint32_t(stBits >> 32)),
                                        int32_t(qbitsIn_), int32_t(u));
    const uint64_t vFog = uint64_t(uint32_t(uv_.V)) | (uint64_t(uint8_t(fog_.F)) << 32);
    const bool triangles = prim_.PRIM == kPrimTriangle;
    constexpr size_t kStride = kSt ? 48 : 32;
    int n = queued_;
    uint32_t form = 0;
    for (size_t i = 0; i < count; ++i, qw += kStride) {
        const uint8_t* at = kSt ? qw + 16 : qw;
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
        const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 16));
        uint8_t* q = reinterpret_cast<uint8_t*>(&queue_[n++]);
        // x and y less the offset, z, and the low byte of each colour word packed into the fourth word.
        __m128i xyz = _mm_and_si128(p, xyzMask);
        if (kFogged) xyz = _mm_or_si128(xyz, _mm_and_si128(_mm_srli_epi32(p, 4), zfMask));
        xyz = _mm_sub_epi32(xyz, offset);
        __m128i rgba = _mm_and_si128(c, byteMask);
        rgba = _mm_packs_epi32(rgba, rgba);
        rgba = _mm_packus_epi16(rgba, rgba);
        xyz = _mm_or_si128(xyz, _mm_and_si128(rgba, lastLane));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(q), xyz);
        // S, T and ST's third word (the Q of this RGBAQ), then U.
        const __m128i st =
            kSt ? _mm_or_si128(_mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(qw)), stqMask),
                               uLane)
                : stqu;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(q + 16), st);
        uint32_t w3;
        std::memcpy(&w3, at + 28, 4);
        const uint64_t tail = kFogged ? (vFog & 0xFFFFFFFFu) | (uint64_t(uint8_t(w3 >> 4)) << 32) : vFog;
        std::memcpy(q + 32, &tail, 8);
        // The ADC bit (bit 15 of the last word) queues the vertex without drawing.
        const bool draw = ((drawForms >> form) & 1) != 0 && !((w3 >> 15) & 1);
        if (++form == forms) form = 0;
        if (triangles) {
            // Triangle lists, by far the most common: every third vertex ends a primitive.
            if (n == 3) {
                if (draw) DrawListTriangle();
                n = 0;
            }
        } else {
            queued_ = n;
            Kick(draw);
            n = queued_;
        }
    }
    queued_ = n;
}

void GsDevice::WritePackedVertices(const uint8_t* qw, size_t count, bool withSt, const uint8_t* xyzAddr,
                                   uint32_t forms, uint32_t* qbits) {
    if (count == 0) return;
    // The forms that draw (XYZ2, XYZF2) by bit, and whether the forms carry fog (XYZF2, XYZF3): lists that
    // mix the fogged forms with the others go vertex by vertex.
    uint32_t drawForms = 0, fogged = 0;
    for (uint32_t k = 0; k < forms; ++k) {
        const uint32_t addr = xyzAddr[k];
        if (addr == kRegXyz2 || addr == kRegXyzf2) drawForms |= 1u << k;
        if (addr == kRegXyzf2 || addr == kRegXyzf3) fogged |= 1u << k;
    }
    qbitsIn_ = *qbits;
    if (fogged == 0) {
        if (withSt) {
            PackedVertexRun<true, false>(qw, count, drawForms, forms);
        } else {
            PackedVertexRun<false, false>(qw, count, drawForms, forms);
        }
    } else if (fogged == (1u << forms) - 1) {
        if (withSt) {
            PackedVertexRun<true, true>(qw, count, drawForms, forms);
        } else {
            PackedVertexRun<false, true>(qw, count, drawForms, forms);
        }
    } else {
        WritePackedVerticesMixed(qw, count, withSt, xyzAddr, forms, qbits);
        return;
    }
    // The registers as the last vertex left them.
    const size_t stride = withSt ? 48 : 32;
    const uint8_t* last = qw + (count - 1) * stride;
    uint32_t c[4];
    std::memcpy(c, last + (withSt ? 16 : 0), 16);
    uint32_t qb = *qbits;
    if (withSt) {
        uint32_t w[3];
        std::memcpy(w, last, 12);
        st_ = RegFrom<GsSt>(uint64_t(w[0]) | (uint64_t(w[1]) << 32));
        qb = w[2];
    }
    rgbaq_ = RegFrom<GsRgbaq>(uint64_t(c[0] & 0xFF) | (uint64_t(c[1] & 0xFF) << 8) |
                              (uint64_t(c[2] & 0xFF) << 16) | (uint64_t(c[3] & 0xFF) << 24) |
                              (uint64_t(qb) << 32));
    *qbits = qb;
}

int GsDevice::QueuedVertices(GsVertex* out) const {
    for (int i = 0; i < queued_; ++i) out[i] = queue_[i];
    return queued_;
}

void GsDevice::Kick(bool draw) {
    static constexpr int kNeeded[8] = {1, 2, 2, 3, 3, 3, 2, 1};
    const uint32_t type = prim_.PRIM;
    if (queued_ < kNeeded[type]) return;
    if (type == 7) {
        // Reserved primitive type: vertices are dropped.
        queued_ = 0;
        return;
    }
    if (draw) Draw();
    switch (type) {
        case kPrimLineStrip:
            queue_[0] = queue_[1];
            queued_ = 1;
            break;
        case kPrimTriangleStrip:
            queue_[0] = queue_[1];
            queue_[1] = queue_[2];
            queued_ = 2;
            break;
        case kPrimTriangleFan:
            queue_[1] = queue_[2];
            queued_ = 2;
            break;
        default:
            queued_ = 0;
            break;
    }
}

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

void GsDevice::DrawListTriangle() {
    // The drawing state mostly stands from one triangle of a list to the next: straight into set-up then.
    if (stateDirty_ || bands_ || (clutPending_ && state_.textured && IsPaletted(state_.tpsm)) ||
        prim_.PRIM != kPrimTriangle) {
        Draw();
        return;
    }
    textures_.BeforeDraw(state_, stateVersion_, mem_.Data(), bands_);
    ++prims_;
    rast_.DrawTriangle(state_, queue_[0], queue_[1], queue_[2], queue_[2]);
}

void GsDevice::Draw() {
    if (stateDirty_) BuildState();
    if (clutPending_ && state_.textured && IsPaletted(state_.tpsm)) LoadClut();
    textures_.BeforeDraw(state_, stateVersion_, mem_.Data(), bands_);
    ++prims_;
    if (bands_) {
        static constexpr PrimKind kKinds[7] = {PrimKind::kPoint,    PrimKind::kLine,     PrimKind::kLine,
                                               PrimKind::kTriangle, PrimKind::kTriangle, PrimKind::kTriangle,
                                               PrimKind::kSprite};
        if (prim_.PRIM < 7 && bands_->Queue(kKinds[prim_.PRIM], state_, state_.version, queue_)) return;
    }
    switch (prim_.PRIM) {
        case kPrimPoint:
            rast_.DrawPoint(state_, queue_[0]);
            break;
        case kPrimLine:
        case kPrimLineStrip:
            rast_.DrawLine(state_, queue_[0], queue_[1]);
            break;
        case kPrimTriangle:
        case kPrimTriangleStrip:
        case kPrimTriangleFan:
            rast_.DrawTriangle(state_, queue_[0], queue_[1], queue_[2], queue_[2]);
            break;
        case kPrimSprite:
            rast_.DrawSprite(state_, queue_[0], queue_[1]);
            break;
        default:
            break;
    }
}

// --- Transfers ------------------------------------------------------------------------------------

bool GsDevice::RectInside(uint32_t bp, uint32_t bw, uint32_t psm, uint32_t x, uint32_t y, uint32_t w,
                          uint32_t h, uint32_t* stride) const {
    const int bytes = PsmBytes(psm);
    if (bytes < 0) return false;
    // A buffer width of 0 packs the rectangle's rows back to back (palettes are uploaded that way).
    *stride = bw ? bw * 64u : w;
    const uint64_t lastIndex = uint64_t(y + h - 1) * *stride + x + w;  // one past the last pixel
    const uint64_t endByte =
        uint64_t(bp) * LocalMemory::kBlockBytes + (bytes ? lastIndex * uint64_t(bytes) : (lastIndex + 1) / 2);
    return endByte <= LocalMemory::kSize;
}

void GsDevice::SettleTransfer(const Transfer& t, bool write) const {
    if (!bands_ || !t.active) return;
    // The rows' bytes from the first pixel to one past the last (whole rows between).
    const int bytes = PsmBytes(t.psm);
    const uint64_t first = uint64_t(t.y0) * t.stride + t.x0,
                   end = uint64_t(t.y0 + t.h - 1) * t.stride + t.x0 + t.w;
    const uint64_t a = bytes ? first * uint64_t(bytes) : first / 2,
                   b = bytes ? end * uint64_t(bytes) : (end + 1) / 2;
    bands_->Settle(uint32_t(t.base + a), uint32_t(b - a), write, RasterBands::Wait::kTransfer);
}

void GsDevice::StartTransfer() {
    const uint32_t dir = uint32_t(trxdir_.XDIR);
    const uint32_t w = uint32_t(trxreg_.RRW), h = uint32_t(trxreg_.RRH);
    if (dir == kXdirNone) {
        hostToLocal_.active = false;
        localToHost_.active = false;
        return;
    }
    if (dir == kXdirHostToLocal) {
        Transfer& t = hostToLocal_;
        t = Transfer{};
        discardImage_ = true;  // whatever happens, the IMAGE data that follows belongs to this transfer
        if (w == 0 || h == 0) return;
        t.base = uint32_t(bitbltbuf_.DBP) * LocalMemory::kBlockBytes;
        t.psm = uint32_t(bitbltbuf_.DPSM);
        t.x0 = uint32_t(trxpos_.DSAX);
        t.y0 = uint32_t(trxpos_.DSAY);
        t.w = w;
        t.h = h;
        if (StreamBytes(t.psm) < 0 || !RectInside(uint32_t(bitbltbuf_.DBP), uint32_t(bitbltbuf_.DBW), t.psm,
                                                  t.x0, t.y0, w, h, &t.stride)) {
            GsLogf(
                "GS: host-to-local transfer outside local memory (DBP 0x%X DBW %u PSM 0x%X, %ux%u at %u,%u) "
                "ignored\n",
                unsigned(bitbltbuf_.DBP), unsigned(bitbltbuf_.DBW), t.psm, w, h, t.x0, t.y0);
            return;
        }
        t.active = true;
        return;
    }
    if (dir == kXdirLocalToHost) {
        Transfer& t = localToHost_;
        t = Transfer{};
        if (w == 0 || h == 0) return;
        t.base = uint32_t(bitbltbuf_.SBP) * LocalMemory::kBlockBytes;
        t.psm = uint32_t(bitbltbuf_.SPSM);
        t.x0 = uint32_t(trxpos_.SSAX);
        t.y0 = uint32_t(trxpos_.SSAY);
        t.w = w;
        t.h = h;
        if (StreamBytes(t.psm) < 0 || !RectInside(uint32_t(bitbltbuf_.SBP), uint32_t(bitbltbuf_.SBW), t.psm,
                                                  t.x0, t.y0, w, h, &t.stride)) {
            GsLogf(
                "GS: local-to-host transfer outside local memory (SBP 0x%X SBW %u PSM 0x%X, %ux%u at %u,%u) "
                "ignored\n",
                unsigned(bitbltbuf_.SBP), unsigned(bitbltbuf_.SBW), t.psm, w, h, t.x0, t.y0);
            return;
        }
        t.active = true;
        SettleTransfer(t, false);
        return;
    }
    Flush();
    LocalToLocal();
}

void GsDevice::LocalToLocal() {
    const uint32_t w = uint32_t(trxreg_.RRW), h = uint32_t(trxreg_.RRH);
    if (w == 0 || h == 0) return;
    const uint32_t spsm = uint32_t(bitbltbuf_.SPSM), dpsm = uint32_t(bitbltbuf_.DPSM);
    uint32_t sstride = 0, dstride = 0;
    const bool ok = PsmBytes(spsm) == PsmBytes(dpsm) &&
                    RectInside(uint32_t(bitbltbuf_.SBP), uint32_t(bitbltbuf_.SBW), spsm,
                               uint32_t(trxpos_.SSAX), uint32_t(trxpos_.SSAY), w, h, &sstride) &&
                    RectInside(uint32_t(bitbltbuf_.DBP), uint32_t(bitbltbuf_.DBW), dpsm,
                               uint32_t(trxpos_.DSAX), uint32_t(trxpos_.DSAY), w, h, &dstride);
    if (!ok) {
        GsLogf("GS: local-to-local transfer outside local memory or between formats 0x%X/0x%X ignored\n",
               spsm, dpsm);
        return;
    }
    textures_.WrittenAnywhere();
    // Rows packed back to back when a width is 0, as for the other directions.
    const uint32_t sbp = uint32_t(bitbltbuf_.SBP), dbp = uint32_t(bitbltbuf_.DBP);
    const uint32_t sbw = sstride / 64u, dbw = dstride / 64u;
    for (uint32_t y = 0; y < h; ++y) {
        for (uint32_t x = 0; x < w; ++x) {
            const uint32_t sx = uint32_t(trxpos_.SSAX) + x, sy = uint32_t(trxpos_.SSAY) + y;
            const uint32_t dx = uint32_t(trxpos_.DSAX) + x, dy = uint32_t(trxpos_.DSAY) + y;
            uint32_t v;
            if (sstride % 64 == 0) {
                v = mem_.ReadPixel(sbp, sbw, spsm, sx, sy);
            } else {
                v = mem_.ReadPixel(sbp, 0, spsm, sy * sstride + sx, 0);
            }
            if (dstride % 64 == 0) {
                mem_.WritePixel(dbp, dbw, dpsm, dx, dy, v);
            } else {
                mem_.WritePixel(dbp, 0, dpsm, dy * dstride + dx, 0, v);
            }
        }
    }
}

void GsDevice::PutPixelFromStream(const uint8_t* src) {
    Transfer& t = hostToLocal_;
    const uint32_t index = (t.y0 + t.y) * t.stride + t.x0 + t.x;
    const int bytes = PsmBytes(t.psm);
    const uint32_t a = t.base + index * uint32_t(bytes);
    switch (t.psm) {
        case kPsmCt32:
        case kPsmZ32:
            mem_.Write32(a, uint32_t(src[0]) | (src[1] << 8) | (src[2] << 16) | (uint32_t(src[3]) << 24));
            break;
        case kPsmCt24:
        case kPsmZ24:
            mem_.Write32(a, (mem_.Read32(a) & 0xFF000000u) | src[0] | (src[1] << 8) | (src[2] << 16));
            break;
        default:
            mem_.Write16(a, uint16_t(src[0] | (src[1] << 8)));
            break;
    }
}

void GsDevice::PutRows(uint32_t dst, uint32_t rowBytes, uint32_t pitch, uint32_t rows, const uint8_t* src) {
    // Texels sent again as memory holds them need no copying (on one thread: with threads the copy is
    // queued behind the primitives anyway).
    if (textures_.Uploaded(dst, rowBytes, pitch, rows, src) && !bands_) return;
    if (bands_) {
        bands_->Write(dst, rowBytes, pitch, rows, src);
        return;
    }
    for (uint32_t r = 0; r < rows; ++r)
        std::memcpy(mem_.Data() + ((dst + r * pitch) & LocalMemory::kMask), src + size_t(r) * rowBytes,
                    rowBytes);
}

void GsDevice::WriteImage(const uint8_t* data, size_t bytes) {
    Transfer& t = hostToLocal_;
    if (!t.active) {
        if (!discardImage_)
            GsLogf("GIF: %zu bytes of IMAGE data with no host-to-local transfer ignored\n", bytes);
        return;
    }
    // Pixels written one at a time (4-bit ones, 24-bit ones, one split between packets) go straight into
    // memory once the queued primitives touching the rectangle are drawn; whole pixels as the stream holds
    // them are copied in rows, queued behind those primitives instead.
    bool settled = false;
    auto settle = [&]() {
        if (settled) return;
        settled = true;
        SettleTransfer(t, true);
        // Palette textures expanded from the rectangle's bytes are out of date.
        const int pb = PsmBytes(t.psm);
        const uint64_t first = uint64_t(t.y0) * t.stride + t.x0,
                       end = uint64_t(t.y0 + t.h - 1) * t.stride + t.x0 + t.w;
        const uint64_t a = pb ? first * uint64_t(pb) : first / 2, b = pb ? end * uint64_t(pb) : (end + 1) / 2;
        textures_.Written(uint32_t(t.base + a), b - a);
    };
    const int sb = StreamBytes(t.psm);
    size_t i = 0;
    while (i < bytes && t.active) {
        if (t.psm == kPsmT4) {
            settle();
            // Two pixels a byte, the first in the low nibble.
            const uint8_t b = data[i++];
            for (int half = 0; half < 2 && t.active; ++half) {
                const uint32_t index = (t.y0 + t.y) * t.stride + t.x0 + t.x;
                const uint32_t a = t.base + (index >> 1);
                const uint8_t nib = half ? uint8_t(b >> 4) : uint8_t(b & 0xF);
                const uint8_t old = mem_.Read8(a);
                mem_.Write8(a,
                            (index & 1) ? uint8_t((old & 0x0F) | (nib << 4)) : uint8_t((old & 0xF0) | nib));
                if (++t.x == t.w) {
                    t.x = 0;
                    if (++t.y == t.h) t.active = false;
                }
            }
            continue;
        }
        if (t.carryBytes == 0 && (sb == 4 || sb == 2 || sb == 1) && bytes - i >= size_t(sb)) {
            // Whole pixels in a row: the stream and memory hold them alike. Whole rows at once when the
            // data starts a row.
            const uint32_t index = (t.y0 + t.y) * t.stride + t.x0 + t.x;
            const uint32_t dst = t.base + index * uint32_t(sb), rowBytes = t.w * uint32_t(sb);
            const size_t rows = t.x == 0 ? std::min<size_t>((bytes - i) / rowBytes, t.h - t.y) : 0;
            if (rows > 1) {
                PutRows(dst, rowBytes, t.stride * uint32_t(sb), uint32_t(rows), data + i);
                i += rows * rowBytes;
                t.y += uint32_t(rows) - 1;
                t.x = t.w;
            } else {
                const uint32_t pixels = uint32_t(std::min<size_t>((bytes - i) / size_t(sb), t.w - t.x));
                PutRows(dst, pixels * uint32_t(sb), 0, 1, data + i);
                i += size_t(pixels) * size_t(sb);
                t.x += pixels;
            }
        } else {
            settle();
            t.carry[t.carryBytes++] = data[i++];
            if (t.carryBytes < uint32_t(sb)) continue;
            t.carryBytes = 0;
            PutPixelFromStream(t.carry);
            ++t.x;
        }
        if (t.x == t.w) {
            t.x = 0;
            if (++t.y == t.h) t.active = false;
        }
    }
}

size_t GsDevice::ReadImage(uint8_t* dst, size_t bytes) {
    Transfer& t = localToHost_;
    SettleTransfer(t, false);
    size_t out = 0;
    const int sb = StreamBytes(t.psm);
    while (t.active && out < bytes) {
        const uint32_t index = (t.y0 + t.y) * t.stride + t.x0 + t.x;
        if (t.psm == kPsmT4) {
            // Pairs of pixels per byte; an odd last pixel fills the low nibble.
            const uint32_t lo = mem_.Read8(t.base + (index >> 1)) >> ((index & 1) * 4) & 0xF;
            uint32_t hi = 0;
            ++t.x;
            if (t.x == t.w) {
                t.x = 0;
                if (++t.y == t.h) t.active = false;
            }
            if (t.active) {
                const uint32_t i2 = (t.y0 + t.y) * t.stride + t.x0 + t.x;
                hi = mem_.Read8(t.base + (i2 >> 1)) >> ((i2 & 1) * 4) & 0xF;
                if (++t.x == t.w) {
                    t.x = 0;
                    if (++t.y == t.h) t.active = false;
                }
            }
            dst[out++] = uint8_t(lo | (hi << 4));
            continue;
        }
        if (bytes - out < size_t(sb)) break;
        const uint32_t a = t.base + index * uint32_t(PsmBytes(t.psm));
        const uint32_t v = sb == 1 ? mem_.Read8(a) : (sb == 2 ? mem_.Read16(a) : mem_.Read32(a));
        for (int k = 0; k < sb; ++k) dst[out++] = uint8_t(v >> (8 * k));
        if (++t.x == t.w) {
            t.x = 0;
            if (++t.y == t.h) t.active = false;
        }
    }
    return out;
}

// --- Privileged registers and display -------------------------------------------------------------

void GsDevice::WritePriv(uint32_t addr, uint64_t value) {
    switch (addr) {
        case kPrivPmode:
            pmode_ = value;
            break;
        case kPrivSmode1:
            smode1_ = value;
            break;
        case kPrivSmode2:
            smode2_ = value;
            break;
        case kPrivDispfb1:
            dispfb_[0] = value;
            break;
        case kPrivDisplay1:
            display_[0] = value;
            break;
        case kPrivDispfb2:
            dispfb_[1] = value;
            break;
        case kPrivDisplay2:
            display_[1] = value;
            break;
        case kPrivBgcolor:
            bgcolor_ = value;
            break;
        case kPrivCsr:
            // Bit 9 resets the drawing side; the field bit belongs to the video timing and is read-only.
            if (value & (1u << 9)) Reset(false);
            break;
        case kPrivImr:
            imr_ = value;
            break;
        default:
            break;  // timing registers of the video output: nothing to model
    }
}

uint64_t GsDevice::ReadPriv(uint32_t addr) const {
    switch (addr) {
        case kPrivPmode:
            return pmode_;
        case kPrivSmode1:
            return smode1_;
        case kPrivSmode2:
            return smode2_;
        case kPrivDispfb1:
            return dispfb_[0];
        case kPrivDisplay1:
            return display_[0];
        case kPrivDispfb2:
            return dispfb_[1];
        case kPrivDisplay2:
            return display_[1];
        case kPrivBgcolor:
            return bgcolor_;
        case kPrivCsr:
            return csr_;
        case kPrivImr:
            return imr_;
        default:
            return 0;
    }
}

void GsDevice::ToggleField() {
    csr_ ^= kCsrFieldBit;
}

bool GsDevice::ReadDisplay(uint8_t* rgba) const {
    Flush(RasterBands::Wait::kDisplay);
    const GsPmode pm = RegFrom<GsPmode>(pmode_);
    int circuit = -1;
    if (pm.EN1) {
        circuit = 0;
    } else if (pm.EN2) {
        circuit = 1;
    }
    const size_t total = size_t(kDisplayWidth) * kDisplayHeight;
    if (circuit < 0) {
        for (size_t i = 0; i < total; ++i) {
            rgba[i * 4 + 0] = rgba[i * 4 + 1] = rgba[i * 4 + 2] = 0;
            rgba[i * 4 + 3] = 255;
        }
        return false;
    }
    const GsDispfb fb = RegFrom<GsDispfb>(dispfb_[circuit]);
    const uint32_t bp = uint32_t(fb.FBP) * (LocalMemory::kPageBytes / LocalMemory::kBlockBytes);
    uint32_t psm = uint32_t(fb.PSM);
    if (psm != kPsmCt32 && psm != kPsmCt24 && psm != kPsmCt16 && psm != kPsmCt16S) psm = kPsmCt32;
    for (int y = 0; y < kDisplayHeight; ++y) {
        const uint32_t rowAddr = LocalMemory::PixelAddress(bp, uint32_t(fb.FBW), psm, 0, uint32_t(y));
        if (psm == kPsmCt32 && rowAddr + uint32_t(kDisplayWidth) * 4u <= LocalMemory::kSize) {
            // The usual case: whole rows straight out of memory, alpha made opaque.
            uint8_t* o = rgba + size_t(y) * kDisplayWidth * 4;
            std::memcpy(o, mem_.Data() + rowAddr, size_t(kDisplayWidth) * 4);
            for (int x = 0; x < kDisplayWidth; ++x) o[x * 4 + 3] = 255;
            continue;
        }
        for (int x = 0; x < kDisplayWidth; ++x) {
            const uint32_t c = mem_.ReadPixel(bp, uint32_t(fb.FBW), psm, uint32_t(x), uint32_t(y));
            uint8_t* o = rgba + (size_t(y) * kDisplayWidth + size_t(x)) * 4;
            o[0] = uint8_t(c);
            o[1] = uint8_t(c >> 8);
            o[2] = uint8_t(c >> 16);
            o[3] = 255;
        }
    }
    return true;
}

}  // namespace console::gs
