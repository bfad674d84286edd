#include "console/kernel/hw_registers.h"

#include <atomic>
#include <cstdio>

#include "console/dma/dma_registers.h"
#include "console/gs/gs_device.h"
#include "console/stage/dma_stage.h"

namespace console {
namespace {
std::atomic<uint32_t> g_gifMode{0};
std::atomic<uint32_t> g_vif1Fbrst{0};
}  // namespace

uint32_t HwRead32(uint32_t addr) {
    if (dma::IsRegister(addr)) return dma::RegRead(addr);
    switch (addr) {
        case kRegGifMode:
            return g_gifMode.load();
        case kRegVif1Fbrst:
            return 0;  // the reset/stall bits read back as 0
        case kRegGsCsr:
            // Read without waiting for the geometry stage: the status holds the field, which the blank
            // sets, and nothing the GS draws (see HwRead64).
            return static_cast<uint32_t>(gs::Gs().ReadPriv(gs::kPrivCsr));
        default:
            std::printf("hw: read of unknown register 0x%08X\n", addr);
            return 0;
    }
}

void HwWrite32(uint32_t addr, uint32_t value) {
    if (dma::IsRegister(addr)) {
        dma::RegWrite(addr, value);
        return;
    }
    switch (addr) {
        case kRegGifMode:
            g_gifMode.store(value);
            break;
        case kRegVif1Fbrst:
            g_vif1Fbrst.store(value);
            break;
        case kRegGsCsr:
            console::dma::StageDrain();
            gs::Gs().WritePriv(gs::kPrivCsr, value);
            break;
        default:
            std::printf("hw: write of 0x%08X to unknown register 0x%08X ignored\n", value, addr);
            break;
    }
}

uint64_t HwRead64(uint32_t addr) {
    if (addr >= gs::kPrivBase && addr < gs::kPrivBase + 0x2000) {
        // The GS's own registers hold the field and what the game wrote there: the geometry stage never
        // changes them, so there is nothing to wait for.
        return gs::Gs().ReadPriv(addr);
    }
    return HwRead32(addr);
}

void HwRegistersReset() {
    dma::RegistersReset();
    g_gifMode.store(0);
    g_vif1Fbrst.store(0);
}

}  // namespace console
