// Follows GIF packets on their way to the GIF, ahead of it, and keeps the registers that say where a
// primitive can draw (PRMODECONT, PRMODE, XYOFFSET_1/2, SCISSOR_1/2) as the GS will hold them once
// everything seen so far has arrived. The geometry stage's first half uses it: the VU1 programs run
// ahead of the GIF, and the window their triangles are culled against must be the one the GS draws them
// through, not the one it holds at the time.
#pragma once

#include <cstddef>
#include <cstdint>

#include "console/gif/gif_tag.h"
#include "console/gs/gs_device.h"

namespace console::gif {

class GifWatch {
public:
    // Takes the registers from the GS as they stand, every path between packets.
    void Load(const gs::GsDevice& gs);
    // The same packets, the same pieces and the same transfer ends as the GIF is given.
    void Write(int path, const void* data, size_t qwc);
    void EndTransfer(int path);
    // As GsDevice::WindowFor.
    gs::GsDevice::DrawWindow WindowFor(uint64_t prim) const;

private:
    struct PathState {
        bool inPacket = false;
        bool hasAd = false;  // a PACKED packet with an A+D descriptor among its registers
        uint32_t flg = 0;
        uint32_t nreg = 16, reg = 0, loopsLeft = 0;
        uint64_t regs = 0;
    };
    void Reg(uint32_t addr, uint64_t value);

    PathState paths_[4];
    uint64_t prmodecont_ = 1, prmode_ = 0, xyoffset_[2] = {}, scissor_[2] = {};
};

}  // namespace console::gif
