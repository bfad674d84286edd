#include "console/gif/gif_interpreter.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "console/gs/gs_device.h"
#include "console/gs/gs_log.h"

namespace console::gif {
namespace {

uint32_t Word(const uint8_t* qw, int i) {
    uint32_t w;
    std::memcpy(&w, qw + 4 * i, 4);
    return w;
}
uint64_t Dword(const uint8_t* qw, int i) {
    uint64_t d;
    std::memcpy(&d, qw + 8 * i, 8);
    return d;
}

bool IsXyz(uint32_t desc) {
    return desc == kPackedXyz2 || desc == kPackedXyz3 || desc == kPackedXyzf2 || desc == kPackedXyzf3;
}

// The register an XYZ descriptor's data goes to and its value: the ADC bit (bit 15 of the last word)
// makes XYZ2 and XYZF2 write XYZ3 and XYZF3, which queue the vertex without drawing.
[[gnu::always_inline]] inline uint32_t PackedXyz(const uint8_t* qw, uint32_t desc, uint64_t* value) {
    const bool adc = (Word(qw, 3) >> 15) & 1;
    if (desc == kPackedXyzf2 || desc == kPackedXyzf3) {
        *value = uint64_t(Word(qw, 0) & 0xFFFF) | (uint64_t(Word(qw, 1) & 0xFFFF) << 16) |
                 (uint64_t((Word(qw, 2) >> 4) & 0xFFFFFF) << 32) |
                 (uint64_t((Word(qw, 3) >> 4) & 0xFF) << 56);
        return desc == kPackedXyzf3 || adc ? gs::kRegXyzf3 : gs::kRegXyzf2;
    }
    *value = uint64_t(Word(qw, 0) & 0xFFFF) | (uint64_t(Word(qw, 1) & 0xFFFF) << 16) |
             (uint64_t(Word(qw, 2)) << 32);
    return desc == kPackedXyz3 || adc ? gs::kRegXyz3 : gs::kRegXyz2;
}

[[gnu::always_inline]] inline uint64_t PackedRgbaq(const uint8_t* qw, uint32_t qbits) {
    return uint64_t(Word(qw, 0) & 0xFF) | (uint64_t(Word(qw, 1) & 0xFF) << 8) |
           (uint64_t(Word(qw, 2) & 0xFF) << 16) | (uint64_t(Word(qw, 3) & 0xFF) << 24) |
           (uint64_t(qbits) << 32);
}

// Registers per vertex when a PACKED register list is nothing but vertices: (ST, RGBAQ, XYZ) or
// (RGBAQ, XYZ) again and again, any XYZ form in each; 0 for any other list.
uint32_t VertexListRegs(uint64_t regs, uint32_t nreg) {
    for (uint32_t per : {3u, 2u}) {
        if (nreg % per != 0) continue;
        bool all = true;
        for (uint32_t i = 0; i < nreg && all; i += per) {
            const uint32_t a = uint32_t(regs >> (4 * i)) & 0xF, b = uint32_t(regs >> (4 * (i + 1))) & 0xF;
            all = per == 3
                      ? a == kPackedSt && b == kPackedRgbaq && IsXyz(uint32_t(regs >> (4 * (i + 2))) & 0xF)
                      : a == kPackedRgbaq && IsXyz(b);
        }
        if (all) return per;
    }
    return 0;
}

std::atomic<bool> vertexLists{true};

}  // namespace

bool GifInterpreter::AllowVertexLists(bool allow) {
    return vertexLists.exchange(allow);
}

GifInterpreter& Gif() {
    static GifInterpreter gif(gs::Gs());
    return gif;
}

GifInterpreter::GifInterpreter(gs::GsDevice& gs) : gs_(gs) {}

void GifInterpreter::Reset() {
    for (PathState& p : paths_) p = PathState{};
    q_ = 1.0f;
}

bool GifInterpreter::InPacket(int path) const {
    return path >= 1 && path <= 3 && paths_[path].inPacket;
}

size_t GifInterpreter::PacketQwords(const GifTag& tag) {
    const size_t nreg = tag.NREG ? tag.NREG : 16;
    switch (tag.FLG) {
        case kFlgPacked:
            return 1 + size_t(tag.NLOOP) * nreg;
        case kFlgReglist:
            return 1 + (size_t(tag.NLOOP) * nreg + 1) / 2;
        default:
            return 1 + size_t(tag.NLOOP);
    }
}

void GifInterpreter::StartTag(PathState& p, const uint8_t* qw) {
    std::memcpy(&p.tag, qw, sizeof(GifTag));
    p.loopsLeft = uint32_t(p.tag.NLOOP);
    p.nreg = p.tag.NREG ? uint32_t(p.tag.NREG) : 16u;
    p.reg = 0;
    p.vertexRegs = 0;
    if (p.tag.FLG == kFlgPacked && vertexLists.load(std::memory_order_relaxed)) {
        if (p.listNreg != p.nreg || p.listRegs != p.tag.REGS) {
            p.listRegs = p.tag.REGS;
            p.listNreg = p.nreg;
            p.listVertexRegs = VertexListRegs(p.tag.REGS, p.nreg);
        }
        p.vertexRegs = p.listVertexRegs;
    }
    if (p.tag.PRE && p.tag.FLG != kFlgImage && p.tag.FLG != kFlgDisable)
        gs_.WriteReg(gs::kRegPrim, p.tag.PRIM);
    p.inPacket = p.loopsLeft != 0;
}

void GifInterpreter::Packed(const uint8_t* qw, uint32_t desc) {
    switch (desc) {
        case kPackedPrim:
            gs_.WriteReg(gs::kRegPrim, Dword(qw, 0) & 0x7FF);
            return;
        case kPackedRgbaq: {
            uint32_t qbits;
            std::memcpy(&qbits, &q_, 4);
            gs_.WriteReg(gs::kRegRgbaq, PackedRgbaq(qw, qbits));
            return;
        }
        case kPackedSt: {
            const uint32_t qbits = Word(qw, 2);
            std::memcpy(&q_, &qbits, 4);
            gs_.WriteReg(gs::kRegSt, uint64_t(Word(qw, 0)) | (uint64_t(Word(qw, 1)) << 32));
            return;
        }
        case kPackedUv:
            gs_.WriteReg(gs::kRegUv, uint64_t(Word(qw, 0) & 0x3FFF) | (uint64_t(Word(qw, 1) & 0x3FFF) << 16));
            return;
        case kPackedXyzf2:
        case kPackedXyzf3:
        case kPackedXyz2:
        case kPackedXyz3: {
            uint64_t v;
            const uint32_t addr = PackedXyz(qw, desc, &v);
            gs_.WriteReg(addr, v);
            return;
        }
        case kPackedTex0_1:
            gs_.WriteReg(gs::kRegTex0_1, Dword(qw, 0));
            return;
        case kPackedTex0_2:
            gs_.WriteReg(gs::kRegTex0_2, Dword(qw, 0));
            return;
        case kPackedClamp_1:
            gs_.WriteReg(gs::kRegClamp_1, Dword(qw, 0));
            return;
        case kPackedClamp_2:
            gs_.WriteReg(gs::kRegClamp_2, Dword(qw, 0));
            return;
        case kPackedFog:
            gs_.WriteReg(gs::kRegFog, uint64_t((Word(qw, 3) >> 4) & 0xFF) << 56);
            return;
        case kPackedAd:
            gs_.WriteReg(uint32_t(Dword(qw, 1) & 0xFF), Dword(qw, 0));
            return;
        case kPackedNop:
            return;
        default:
            gs::GsLogf("GIF: PACKED register descriptor 0x%X ignored\n", desc);
            return;
    }
}

void GifInterpreter::Reglist(uint64_t value, uint32_t desc) {
    // In REGLIST mode descriptors 0x0-0xD are the register addresses themselves.
    if (desc <= 0xD) {
        gs_.WriteReg(desc, value);
    } else if (desc == kPackedAd) {
        gs::GsLogf("GIF: A+D descriptor in REGLIST mode ignored\n");
    }
}

void GifInterpreter::VertexLoops(const PathState& p, const uint8_t* qw, size_t loops) {
    const uint32_t per = p.vertexRegs;
    const uint32_t perLoop = p.nreg / per;
    // The register each vertex's XYZ descriptor of a loop writes (before its ADC bit is looked at).
    uint8_t xyzAddr[8];
    for (uint32_t k = 0; k < perLoop; ++k) {
        switch (uint32_t(p.tag.REGS >> (4 * (k * per + per - 1))) & 0xF) {
            case kPackedXyzf2:
                xyzAddr[k] = gs::kRegXyzf2;
                break;
            case kPackedXyzf3:
                xyzAddr[k] = gs::kRegXyzf3;
                break;
            case kPackedXyz3:
                xyzAddr[k] = gs::kRegXyz3;
                break;
            default:
                xyzAddr[k] = gs::kRegXyz2;
                break;
        }
    }
    uint32_t qbits;
    std::memcpy(&qbits, &q_, 4);
    gs_.WritePackedVertices(qw, loops * perLoop, per == 3, xyzAddr, perLoop, &qbits);
    std::memcpy(&q_, &qbits, 4);
}

void GifInterpreter::Write(int path, const void* data, size_t qwc) {
    if (path < 1 || path > 3) {
        gs::GsLogf("GIF: data on unknown path %d ignored\n", path);
        return;
    }
    if (!data && qwc) {
        gs::GsLogf("GIF: PATH%d null data ignored\n", path);
        return;
    }
    PathState& p = paths_[path];
    const uint8_t* qw = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < qwc; ++i, qw += 16) {
        if (!p.inPacket) {
            StartTag(p, qw);
            continue;
        }
        switch (p.tag.FLG) {
            case kFlgPacked: {
                if (p.vertexRegs != 0 && p.reg == 0) {
                    // Every whole loop of a vertex list that arrived in this delivery in one go.
                    const size_t loops = std::min<size_t>(p.loopsLeft, (qwc - i) / p.nreg);
                    if (loops != 0) {
                        VertexLoops(p, qw, loops);
                        p.loopsLeft -= uint32_t(loops);
                        if (p.loopsLeft == 0) p.inPacket = false;
                        i += loops * p.nreg - 1;
                        qw += (loops * p.nreg - 1) * 16;
                        break;
                    }
                }
                const uint32_t desc = uint32_t(p.tag.REGS >> (4 * p.reg)) & 0xF;
                Packed(qw, desc);
                if (++p.reg == p.nreg) {
                    p.reg = 0;
                    if (--p.loopsLeft == 0) p.inPacket = false;
                }
                break;
            }
            case kFlgReglist:
                for (int half = 0; half < 2 && p.inPacket; ++half) {
                    const uint32_t desc = uint32_t(p.tag.REGS >> (4 * p.reg)) & 0xF;
                    Reglist(Dword(qw, half), desc);
                    if (++p.reg == p.nreg) {
                        p.reg = 0;
                        if (--p.loopsLeft == 0)
                            p.inPacket = false;  // an odd count leaves the upper half as padding
                    }
                }
                break;
            case kFlgImage: {
                // All of the packet's data that arrived in this delivery goes over in one piece.
                const size_t run = std::min<size_t>(p.loopsLeft, qwc - i);
                gs_.WriteImage(qw, run * 16);
                p.loopsLeft -= uint32_t(run);
                i += run - 1;
                qw += (run - 1) * 16;
                if (p.loopsLeft == 0) {
                    p.inPacket = false;
                    gs_.EndImagePacket();
                }
                break;
            }
            default:
                // FLG 3 (disabled): the data is skipped.
                if (--p.loopsLeft == 0) p.inPacket = false;
                break;
        }
    }
}

void GifInterpreter::EndTransfer(int path) {
    if (path < 1 || path > 3 || !paths_[path].inPacket) return;
    PathState& p = paths_[path];
    gs::GsLogf("GIF: PATH%d packet cut short (%u of %u loops missing), dropped\n", path, p.loopsLeft,
               unsigned(p.tag.NLOOP));
    if (p.tag.FLG == kFlgImage) gs_.EndImagePacket();
    p = PathState{};
}

}  // namespace console::gif
