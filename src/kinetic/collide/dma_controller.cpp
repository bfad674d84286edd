#include "kinetic/collide/dma_controller.h"

#include <cassert>

#include "console/dma/dma_registers.h"
#include "console/mem/addr.h"
#include "kinetic/collide/error.h"

namespace Kinetic {

namespace {

using console::dma::RegRead;
using console::dma::RegWrite;

constexpr unsigned kDmaEnable = 1u;
constexpr unsigned kChcrStartFromMemory = 0x101u;  // start, from memory, normal mode
constexpr unsigned kSprOffsetMask = 0x3FFFu;

}  // namespace

void DMAController::sendToSPR(const void* source, void* scratchpad, unsigned int quadwords) {
    const unsigned spr = 1u << kToScratchpadChannel;
    RegWrite(console::dma::kRegDCtrl, RegRead(console::dma::kRegDCtrl) | kDmaEnable);
    RegWrite(console::dma::kRegDPcr, RegRead(console::dma::kRegDPcr) | spr);
    RegWrite(console::dma::kRegDStat, spr);
    RegWrite(console::dma::kRegD9Qwc, quadwords);
    RegWrite(console::dma::kRegD9Tadr, 0);
    RegWrite(console::dma::kRegD9Sadr, Addr32(scratchpad) & kSprOffsetMask);
    RegWrite(console::dma::kRegD9Madr, Addr32(source));
    RegWrite(console::dma::kRegD9Chcr, kChcrStartFromMemory);
}

void DMAController::waitForChannel(int channel) {
    assert(channel >= 0 && channel <= kToScratchpadChannel);
    const unsigned mask = 1u << channel;
    // The console's controller runs a transfer as soon as it is started, so the first look tells: when
    // the line or the status is not set then, nothing is under way that could set it, and waiting on
    // would never end.
    if (!console::dma::ConditionLine() || !(RegRead(console::dma::kRegDStat) & mask))
        g_pGlobalErrorHandler->warning("DMAController::waitForChannel: no transfer ended on this channel",
                                       channel);
    RegWrite(console::dma::kRegDPcr, RegRead(console::dma::kRegDPcr) & ~mask);
    RegWrite(console::dma::kRegDStat, mask);
}

}  // namespace Kinetic
