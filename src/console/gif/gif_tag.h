// The GIF tag: the 128-bit header in front of every packet sent to the graphics synthesizer.
#pragma once

#include <cstdint>

namespace console::gif {

enum GifFlg : uint8_t { kFlgPacked = 0, kFlgReglist = 1, kFlgImage = 2, kFlgDisable = 3 };

// PACKED-mode register descriptors (4-bit REGS entries).
enum GifPackedReg : uint8_t {
    kPackedPrim = 0x0,
    kPackedRgbaq = 0x1,
    kPackedSt = 0x2,
    kPackedUv = 0x3,
    kPackedXyzf2 = 0x4,
    kPackedXyz2 = 0x5,
    kPackedTex0_1 = 0x6,
    kPackedTex0_2 = 0x7,
    kPackedClamp_1 = 0x8,
    kPackedClamp_2 = 0x9,
    kPackedFog = 0xA,
    kPackedXyzf3 = 0xC,
    kPackedXyz3 = 0xD,
    kPackedAd = 0xE,
    kPackedNop = 0xF,
};

struct GifTag {
    uint64_t NLOOP : 15, EOP : 1, pad0 : 30, PRE : 1, PRIM : 11, FLG : 2, NREG : 4;
    uint64_t REGS;  // NREG 4-bit descriptors, first in the low bits
};
static_assert(sizeof(GifTag) == 16, "a GIF tag is one quadword");

// Builds a tag from its fields (for packets made in code and in tests).
inline GifTag MakeGifTag(uint32_t nloop, bool eop, uint32_t flg, uint32_t nreg, uint64_t regs,
                         bool pre = false, uint32_t prim = 0) {
    GifTag t{};
    t.NLOOP = nloop & 0x7FFF;
    t.EOP = eop ? 1 : 0;
    t.PRE = pre ? 1 : 0;
    t.PRIM = prim & 0x7FF;
    t.FLG = flg & 3;
    t.NREG = nreg & 0xF;
    t.REGS = regs;
    return t;
}

}  // namespace console::gif

// The name the game's code uses for a tag.
using sceGifTag = console::gif::GifTag;
