// Register addresses, pixel formats and register images of the graphics synthesizer, as the game writes
// them into GIF packets (A+D pairs) and into its environment records. Images are 64-bit bit fields laid out
// least significant bit first, which is what g++ and clang do on x86-64.
#pragma once

#include <cstdint>

namespace console::gs {

// General-purpose register addresses (the "A" of an A+D pair).
enum GsReg : uint8_t {
    kRegPrim = 0x00,
    kRegRgbaq = 0x01,
    kRegSt = 0x02,
    kRegUv = 0x03,
    kRegXyzf2 = 0x04,
    kRegXyz2 = 0x05,
    kRegTex0_1 = 0x06,
    kRegTex0_2 = 0x07,
    kRegClamp_1 = 0x08,
    kRegClamp_2 = 0x09,
    kRegFog = 0x0A,
    kRegXyzf3 = 0x0C,
    kRegXyz3 = 0x0D,
    kRegTex1_1 = 0x14,
    kRegTex1_2 = 0x15,
    kRegTex2_1 = 0x16,
    kRegTex2_2 = 0x17,
    kRegXyoffset_1 = 0x18,
    kRegXyoffset_2 = 0x19,
    kRegPrmodecont = 0x1A,
    kRegPrmode = 0x1B,
    kRegTexclut = 0x1C,
    kRegScanmsk = 0x22,
    kRegMiptbp1_1 = 0x34,
    kRegMiptbp1_2 = 0x35,
    kRegMiptbp2_1 = 0x36,
    kRegMiptbp2_2 = 0x37,
    kRegTexa = 0x3B,
    kRegFogcol = 0x3D,
    kRegTexflush = 0x3F,
    kRegScissor_1 = 0x40,
    kRegScissor_2 = 0x41,
    kRegAlpha_1 = 0x42,
    kRegAlpha_2 = 0x43,
    kRegDimx = 0x44,
    kRegDthe = 0x45,
    kRegColclamp = 0x46,
    kRegTest_1 = 0x47,
    kRegTest_2 = 0x48,
    kRegPabe = 0x49,
    kRegFba_1 = 0x4A,
    kRegFba_2 = 0x4B,
    kRegFrame_1 = 0x4C,
    kRegFrame_2 = 0x4D,
    kRegZbuf_1 = 0x4E,
    kRegZbuf_2 = 0x4F,
    kRegBitbltbuf = 0x50,
    kRegTrxpos = 0x51,
    kRegTrxreg = 0x52,
    kRegTrxdir = 0x53,
    kRegHwreg = 0x54,
    kRegSignal = 0x60,
    kRegFinish = 0x61,
    kRegLabel = 0x62,
};

// Pixel storage formats.
enum GsPsm : uint8_t {
    kPsmCt32 = 0x00,
    kPsmCt24 = 0x01,
    kPsmCt16 = 0x02,
    kPsmCt16S = 0x0A,
    kPsmT8 = 0x13,
    kPsmT4 = 0x14,
    kPsmZ32 = 0x30,
    kPsmZ24 = 0x31,
    kPsmZ16 = 0x32,
    kPsmZ16S = 0x3A,
};

// Primitive types (PRIM.PRIM).
enum GsPrimType : uint8_t {
    kPrimPoint = 0,
    kPrimLine = 1,
    kPrimLineStrip = 2,
    kPrimTriangle = 3,
    kPrimTriangleStrip = 4,
    kPrimTriangleFan = 5,
    kPrimSprite = 6,
};

// Depth test methods (TEST.ZTST): larger Z is nearer.
enum GsZtst : uint8_t { kZtstNever = 0, kZtstAlways = 1, kZtstGequal = 2, kZtstGreater = 3 };

// Texture functions (TEX0.TFX).
enum GsTfx : uint8_t { kTfxModulate = 0, kTfxDecal = 1, kTfxHighlight = 2, kTfxHighlight2 = 3 };

// Transfer directions (TRXDIR.XDIR).
enum GsXdir : uint8_t { kXdirHostToLocal = 0, kXdirLocalToHost = 1, kXdirLocalToLocal = 2, kXdirNone = 3 };

// Privileged registers, by their console addresses.
inline constexpr uint32_t kPrivBase = 0x12000000u;
inline constexpr uint32_t kPrivPmode = 0x12000000u;
inline constexpr uint32_t kPrivSmode1 = 0x12000010u;
inline constexpr uint32_t kPrivSmode2 = 0x12000020u;
inline constexpr uint32_t kPrivDispfb1 = 0x12000070u;
inline constexpr uint32_t kPrivDisplay1 = 0x12000080u;
inline constexpr uint32_t kPrivDispfb2 = 0x12000090u;
inline constexpr uint32_t kPrivDisplay2 = 0x120000A0u;
inline constexpr uint32_t kPrivBgcolor = 0x120000E0u;
inline constexpr uint32_t kPrivCsr = 0x12001000u;
inline constexpr uint32_t kPrivImr = 0x12001010u;
inline constexpr uint64_t kCsrFieldBit = 1ull << 13;

// --- Register images ------------------------------------------------------------------------------

struct GsPrim {
    uint64_t PRIM : 3, IIP : 1, TME : 1, FGE : 1, ABE : 1, AA1 : 1, FST : 1, CTXT : 1, FIX : 1, pad : 53;
};
struct GsPrmode {
    uint64_t pad0 : 3, IIP : 1, TME : 1, FGE : 1, ABE : 1, AA1 : 1, FST : 1, CTXT : 1, FIX : 1, pad1 : 53;
};
struct GsPrmodecont {
    uint64_t AC : 1, pad : 63;
};
struct GsRgbaq {
    uint64_t R : 8, G : 8, B : 8, A : 8, Q : 32;  // Q is an IEEE float's bits
};
struct GsSt {
    uint64_t S : 32, T : 32;  // IEEE float bits
};
struct GsUv {
    uint64_t U : 14, pad0 : 2, V : 14, pad1 : 34;  // 10.4 fixed point texels
};
struct GsXyz {
    uint64_t X : 16, Y : 16, Z : 32;  // X, Y 12.4 fixed point
};
struct GsXyzf {
    uint64_t X : 16, Y : 16, Z : 24, F : 8;
};
struct GsFog {
    uint64_t pad : 56, F : 8;
};
struct GsTex0 {
    uint64_t TBP0 : 14, TBW : 6, PSM : 6, TW : 4, TH : 4, TCC : 1, TFX : 2, CBP : 14, CPSM : 4, CSM : 1,
        CSA : 5, CLD : 3;
};
struct GsTex1 {
    uint64_t LCM : 1, pad0 : 1, MXL : 3, MMAG : 1, MMIN : 3, MTBA : 1, pad1 : 9, L : 2, pad2 : 11, K : 12,
        pad3 : 20;
};
struct GsClamp {
    uint64_t WMS : 2, WMT : 2, MINU : 10, MAXU : 10, MINV : 10, MAXV : 10, pad : 20;
};
struct GsXyoffset {
    uint64_t OFX : 16, pad0 : 16, OFY : 16, pad1 : 16;
};
struct GsScissor {
    uint64_t SCAX0 : 11, pad0 : 5, SCAX1 : 11, pad1 : 5, SCAY0 : 11, pad2 : 5, SCAY1 : 11, pad3 : 5;
};
struct GsAlpha {
    uint64_t A : 2, B : 2, C : 2, D : 2, pad0 : 24, FIX : 8, pad1 : 24;
};
struct GsTest {
    uint64_t ATE : 1, ATST : 3, AREF : 8, AFAIL : 2, DATE : 1, DATM : 1, ZTE : 1, ZTST : 2, pad : 45;
};
struct GsFrame {
    uint64_t FBP : 9, pad0 : 7, FBW : 6, pad1 : 2, PSM : 6, pad2 : 2, FBMSK : 32;
};
struct GsZbuf {
    uint64_t ZBP : 9, pad0 : 15, PSM : 4, pad1 : 4, ZMSK : 1, pad2 : 31;
};
struct GsTexa {
    uint64_t TA0 : 8, pad0 : 7, AEM : 1, pad1 : 16, TA1 : 8, pad2 : 24;
};
struct GsFogcol {
    uint64_t FCR : 8, FCG : 8, FCB : 8, pad : 40;
};
struct GsTexclut {
    uint64_t CBW : 6, COU : 6, COV : 10, pad : 42;
};
struct GsBitbltbuf {
    uint64_t SBP : 14, pad0 : 2, SBW : 6, pad1 : 2, SPSM : 6, pad2 : 2, DBP : 14, pad3 : 2, DBW : 6, pad4 : 2,
        DPSM : 6, pad5 : 2;
};
struct GsTrxpos {
    uint64_t SSAX : 11, pad0 : 5, SSAY : 11, pad1 : 5, DSAX : 11, pad2 : 5, DSAY : 11, DIR : 2, pad3 : 3;
};
struct GsTrxreg {
    uint64_t RRW : 12, pad0 : 20, RRH : 12, pad1 : 20;
};
struct GsTrxdir {
    uint64_t XDIR : 2, pad : 62;
};
struct GsColclamp {
    uint64_t CLAMP : 1, pad : 63;
};
struct GsDthe {
    uint64_t DTHE : 1, pad : 63;
};
struct GsPabe {
    uint64_t PABE : 1, pad : 63;
};
struct GsFba {
    uint64_t FBA : 1, pad : 63;
};
struct GsTexflush {
    uint64_t pad;
};

// Privileged register images.
struct GsPmode {
    uint64_t EN1 : 1, EN2 : 1, CRTMD : 3, MMOD : 1, AMOD : 1, SLBG : 1, ALP : 8, pad : 48;
};
struct GsSmode2 {
    uint64_t INT : 1, FFMD : 1, DPMS : 2, pad : 60;
};
struct GsDispfb {
    uint64_t FBP : 9, FBW : 6, PSM : 5, pad0 : 12, DBX : 11, DBY : 11, pad1 : 10;
};
struct GsDisplay {
    uint64_t DX : 12, DY : 11, MAGH : 4, MAGV : 2, pad0 : 3, DW : 12, DH : 11, pad1 : 9;
};
struct GsBgcolor {
    uint64_t R : 8, G : 8, B : 8, pad : 40;
};

static_assert(sizeof(GsTex0) == 8 && sizeof(GsBitbltbuf) == 8 && sizeof(GsDispfb) == 8 &&
                  sizeof(GsDisplay) == 8,
              "register images are 64-bit");

// Reinterprets a register image as its 64-bit value and back.
template <typename T>
inline uint64_t RegBits(const T& r) {
    static_assert(sizeof(T) == 8);
    uint64_t v;
    __builtin_memcpy(&v, &r, 8);
    return v;
}
template <typename T>
inline T RegFrom(uint64_t v) {
    static_assert(sizeof(T) == 8);
    T r;
    __builtin_memcpy(&r, &v, 8);
    return r;
}

// Bytes per pixel of a format in local memory; 0 for the 4-bit format (two pixels a byte).
inline int PsmBytes(uint32_t psm) {
    switch (psm) {
        case kPsmCt32:
        case kPsmCt24:
        case kPsmZ32:
        case kPsmZ24:
            return 4;
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

}  // namespace console::gs
