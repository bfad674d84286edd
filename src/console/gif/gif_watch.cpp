#include "console/gif/gif_watch.h"

#include <algorithm>
#include <cstring>

namespace console::gif {

void GifWatch::Load(const gs::GsDevice& gs) {
    for (PathState& p : paths_) p = PathState{};
    prmodecont_ = gs.ReadReg(gs::kRegPrmodecont);
    prmode_ = gs.ReadReg(gs::kRegPrmode);
    for (int i = 0; i < 2; ++i) {
        xyoffset_[i] = gs.ReadReg(gs::kRegXyoffset_1 + uint32_t(i));
        scissor_[i] = gs.ReadReg(gs::kRegScissor_1 + uint32_t(i));
    }
}

void GifWatch::Reg(uint32_t addr, uint64_t value) {
    switch (addr) {
        case gs::kRegPrmodecont:
            prmodecont_ = value;
            break;
        case gs::kRegPrmode:
            prmode_ = value;
            break;
        case gs::kRegXyoffset_1:
        case gs::kRegXyoffset_2:
            xyoffset_[addr - gs::kRegXyoffset_1] = value;
            break;
        case gs::kRegScissor_1:
        case gs::kRegScissor_2:
            scissor_[addr - gs::kRegScissor_1] = value;
            break;
        default:
            break;
    }
}

void GifWatch::Write(int path, const void* data, size_t qwc) {
    if (path < 1 || path > 3 || !data) return;
    PathState& p = paths_[path];
    const uint8_t* qw = static_cast<const uint8_t*>(data);
    size_t i = 0;
    while (i < qwc) {
        if (!p.inPacket) {
            GifTag tag;
            std::memcpy(&tag, qw + 16 * i, sizeof tag);
            p.flg = uint32_t(tag.FLG);
            p.nreg = tag.NREG ? uint32_t(tag.NREG) : 16u;
            p.reg = 0;
            p.loopsLeft = uint32_t(tag.NLOOP);
            p.regs = tag.REGS;
            p.hasAd = false;
            if (p.flg == kFlgPacked)
                for (uint32_t r = 0; r < p.nreg; ++r) p.hasAd |= ((p.regs >> (4 * r)) & 0xF) == kPackedAd;
            p.inPacket = p.loopsLeft != 0;
            ++i;
            continue;
        }
        if (p.flg == kFlgPacked && p.hasAd) {
            const uint8_t* q = qw + 16 * i;
            if (((p.regs >> (4 * p.reg)) & 0xF) == kPackedAd) {
                uint64_t value, addr;
                std::memcpy(&value, q, 8);
                std::memcpy(&addr, q + 8, 8);
                Reg(uint32_t(addr & 0xFF), value);
            }
            if (++p.reg == p.nreg) {
                p.reg = 0;
                if (--p.loopsLeft == 0) p.inPacket = false;
            }
            ++i;
            continue;
        }
        // Nothing else in a packet can reach these registers: its data is passed over.
        size_t left;  // quadwords of the packet still to come
        if (p.flg == kFlgPacked) {
            left = size_t(p.loopsLeft) * p.nreg - p.reg;
        } else if (p.flg == kFlgReglist) {
            left = (size_t(p.loopsLeft) * p.nreg - p.reg + 1) / 2;
        } else {
            left = p.loopsLeft;
        }
        const size_t take = std::min(left, qwc - i);
        i += take;
        if (take == left) {
            p.inPacket = false;
        } else if (p.flg == kFlgPacked) {
            const size_t at = size_t(p.reg) + take;
            p.loopsLeft -= uint32_t(at / p.nreg);
            p.reg = uint32_t(at % p.nreg);
        } else if (p.flg == kFlgReglist) {
            const size_t at = size_t(p.reg) + 2 * take;
            p.loopsLeft -= uint32_t(at / p.nreg);
            p.reg = uint32_t(at % p.nreg);
        } else {
            p.loopsLeft -= uint32_t(take);
        }
    }
}

void GifWatch::EndTransfer(int path) {
    if (path >= 1 && path <= 3) paths_[path] = PathState{};
}

gs::GsDevice::DrawWindow GifWatch::WindowFor(uint64_t prim) const {
    const uint32_t ctxt = gs::RegFrom<gs::GsPrmodecont>(prmodecont_).AC != 0
                              ? uint32_t(gs::RegFrom<gs::GsPrim>(prim).CTXT)
                              : uint32_t(gs::RegFrom<gs::GsPrmode>(prmode_).CTXT);
    const gs::GsXyoffset o = gs::RegFrom<gs::GsXyoffset>(xyoffset_[ctxt]);
    const gs::GsScissor s = gs::RegFrom<gs::GsScissor>(scissor_[ctxt]);
    return gs::GsDevice::DrawWindow{int32_t(o.OFX),   int32_t(o.OFY),   int32_t(s.SCAX0),
                                    int32_t(s.SCAX1), int32_t(s.SCAY0), int32_t(s.SCAY1)};
}

}  // namespace console::gif
