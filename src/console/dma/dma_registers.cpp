#include "console/dma/dma_registers.h"

#include <atomic>
#include <cstdio>
#include <cstring>

#include "console/dma/dma.h"
#include "console/dma/dma_memory.h"
#include "console/kernel/intc.h"
#include "console/mem/scratchpad.h"

namespace console::dma {
namespace {

constexpr uint32_t kCtrlEnable = 1u;
constexpr uint32_t kChcrDirFromMemory = 0x1u;
constexpr uint32_t kChcrMode = 0xCu;
constexpr uint32_t kChcrStart = 0x100u;
constexpr uint32_t kChannelBits = 0x3FFu;
constexpr uint32_t kSprQuadwordMask = 0x3FF0u;

uint32_t g_ctrl = 0;
// Atomic, as the other registers of the bus (console/kernel/hw_registers.h) are.
std::atomic<uint32_t> g_stat{0};
uint32_t g_pcr = 0;
uint32_t g_sadr = 0;

sceDmaChan& Chan9() {
    return *sceDmaGetChan(kChannelToSpr);
}

uint32_t Chcr9() {
    uint32_t v;
    std::memcpy(&v, &Chan9().chcr, 4);
    return v;
}

void SetChcr9(uint32_t v) {
    std::memcpy(&Chan9().chcr, &v, 4);
}

// Runs a started channel-9 transfer: main memory (or the scratchpad itself) to the scratchpad.
void RunToSpr() {
    sceDmaChan& c = Chan9();
    const uint32_t chcr = Chcr9();
    const uint32_t qwc = c.qwc & 0xFFFFu;
    const uint32_t off = g_sadr & kSprQuadwordMask;
    const size_t bytes = size_t(qwc) * 16;
    bool ok = true;
    if ((chcr & kChcrMode) != 0 || !(chcr & kChcrDirFromMemory)) {
        std::printf("dma9: only normal transfers from memory run on this channel (control 0x%08X); dropped\n",
                    chcr);
        ok = false;
    } else if (bytes > kScratchpadSize - off) {
        std::printf("dma9: %u quadwords to scratchpad 0x%04X run past its end; transfer dropped\n", qwc, off);
        ok = false;
    } else if (qwc > 0) {
        const uint8_t* src = Resolve(c.madr, bytes);
        if (src) {
            std::memmove(Scratchpad() + off, src, bytes);
        } else {
            std::printf("dma9: %u quadwords at 0x%08X outside memory; transfer dropped\n", qwc, c.madr);
            ok = false;
        }
    }
    NoteTransfer(!ok);
    SetChcr9(chcr & ~kChcrStart);
    RaiseStatus(kChannelToSpr);
    IntcDmacEnd(kChannelToSpr);
}

void StartIfReady() {
    if ((g_ctrl & kCtrlEnable) && (Chcr9() & kChcrStart)) RunToSpr();
}

}  // namespace

bool IsRegister(uint32_t addr) {
    switch (addr) {
        case kRegDCtrl:
        case kRegDStat:
        case kRegDPcr:
        case kRegD9Chcr:
        case kRegD9Madr:
        case kRegD9Qwc:
        case kRegD9Tadr:
        case kRegD9Sadr:
            return true;
        default:
            return false;
    }
}

uint32_t RegRead(uint32_t addr) {
    switch (addr) {
        case kRegDCtrl:
            return g_ctrl;
        case kRegDStat:
            return g_stat.load();
        case kRegDPcr:
            return g_pcr;
        case kRegD9Chcr:
            return Chcr9();
        case kRegD9Madr:
            return Chan9().madr;
        case kRegD9Qwc:
            return Chan9().qwc;
        case kRegD9Tadr:
            return Chan9().tadr;
        case kRegD9Sadr:
            return g_sadr;
        default:
            return 0;
    }
}

void RegWrite(uint32_t addr, uint32_t value) {
    switch (addr) {
        case kRegDCtrl:
            g_ctrl = value;
            StartIfReady();
            break;
        case kRegDStat: {
            // Status bits are cleared by writing 1, mask bits are toggled by writing 1.
            uint32_t v = g_stat.load();
            v &= ~(value & 0xFFFFu);
            v ^= (value & 0xFFFF0000u);
            g_stat.store(v);
            break;
        }
        case kRegDPcr:
            g_pcr = value;
            break;
        case kRegD9Chcr:
            SetChcr9(value);
            StartIfReady();
            break;
        case kRegD9Madr:
            Chan9().madr = value;
            break;
        case kRegD9Qwc:
            Chan9().qwc = value & 0xFFFFu;
            break;
        case kRegD9Tadr:
            Chan9().tadr = value;
            break;
        case kRegD9Sadr:
            g_sadr = value & 0x3FFFu;
            break;
        default:
            break;
    }
}

bool ConditionLine() {
    const uint32_t wanted = g_pcr & kChannelBits;
    return (g_stat.load() & wanted) == wanted;
}

void RaiseStatus(int channel) {
    if (channel < 0 || channel > kChannelToSpr) return;
    g_stat.fetch_or(1u << channel);
}

void RegistersReset() {
    g_ctrl = 0;
    g_stat.store(0);
    g_pcr = 0;
    g_sadr = 0;
}

}  // namespace console::dma
