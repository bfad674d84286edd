#include "engine/hal/dma_tasks.h"

#include <cstring>

#include "console/dma/dma.h"
#include "console/kernel/hw_registers.h"
#include "console/kernel/intc.h"
#include "console/mem/addr.h"
#include "console/vif/vif.h"
#include "engine/hal/engine.h"
#include "engine/sys/clock.h"
#include "engine/sys/files.h"

// The engine's internal state (namespace engine) is used here unqualified.
using namespace engine;

_ve_dma_tasks veDmaTaskArray[2];
_ve_dma_tasks* veDmaBuild = nullptr;
_ve_dma_tasks* veDmaExecute = nullptr;
sceDmaChan* veDmaChannels[10];
namespace engine {
sceDmaChan* VIF0_DMA = nullptr;
sceDmaChan* VIF1_DMA = nullptr;
sceDmaChan* GIF_DMA = nullptr;
}  // namespace engine
int veDmaVif1IntHandlerID = -1;

namespace {

int g_gifHandlerId = -1;
uint32_t g_refused = 0;
bool g_refusedLogged = false;

constexpr uint32_t kChcrTte = 1u << 6;
constexpr uint32_t kChcrTie = 1u << 7;

void ResetList(_ve_dma_tasks* l) {
    std::memset(l->dma, 0, sizeof l->dma);
    l->numTasks = 0;
    l->currentId = 0;
    l->status.store(0);
}

}  // namespace

void veDmaAddDmaTask(const void* chain, int channel, uint32_t chcr) {
    _ve_dma_tasks* l = veDmaBuild;
    if (!l) return;
    // Only the VIF1 and GIF channels raise the interrupt that moves the list on: a task on any other
    // channel would stall the list, and with it every later frame.
    if (channel != 1 && channel != 2) {
        x_printf("veDmaAddDmaTask: channel %d is not VIF1 or GIF; task dropped\n", channel);
        ++g_refused;
        return;
    }
    if (l->numTasks >= kDmaMaxTasks) {
        ++g_refused;
        if (!g_refusedLogged) {
            x_printf("veDmaAddDmaTask: more than %d DMA tasks in one frame; the rest are dropped\n",
                     kDmaMaxTasks);
            g_refusedLogged = true;
        }
        return;
    }
    _ve_dma_task& t = l->dma[l->numTasks++];
    t.dmaAdr = Addr32(chain);
    t.chcr = chcr;
    t.channel = channel;
}

void veDmaSendVuMicroCode(const void* chain) {
    veDmaAddDmaTask(chain, 1, 1);
}

uint32_t veDmaRefusedTasks() {
    return g_refused;
}

void veDmaExecuteTasks() {
    veDmaBuild->currentId = 0;
    veDmaBuild->status.store(1);
    _ve_dma_tasks* t = veDmaBuild;
    veDmaBuild = veDmaExecute;
    veDmaExecute = t;
    g_refusedLogged = false;
    FlushCache(0);
    // The new build list is emptied before the executing one starts: with synchronous transfers the
    // whole list runs inside the first start, and nothing may be appended to a list being executed.
    veDmaBuild->numTasks = 0;
    veDmaBuild->status.store(0);
    if (veDmaExecute->numTasks > 0) {
        veDmaBeginCycles.store(veClockGetCycles());
        veDmaStartDmaTransfer(&veDmaExecute->dma[0], veDmaExecute->dma[0].channel);
    } else {
        veDmaBeginCycles.store(veClockGetCycles());
        veDmaNumCycles.store(0);
        veDmaExecute->status.store(2);
    }
}

int veDmaTasksAreComplete() {
    return veDmaExecute && veDmaExecute->status.load() == 2 ? 1 : 0;
}

void veDmaStartDmaTransfer(_ve_dma_task* task, int channel) {
    if (channel < 0 || channel > 9 || !veDmaChannels[channel]) {
        x_printf("veDmaStartDmaTransfer: no channel %d\n", channel);
        return;
    }
    sceDmaChan* c = veDmaChannels[channel];
    uint32_t chcr;
    std::memcpy(&chcr, &c->chcr, 4);
    chcr &= ~kChcrTie;
    const uint32_t dstat = console::HwRead32(console::kRegDStat);
    console::HwWrite32(console::kRegGifMode, console::HwRead32(console::kRegGifMode) | 4u);
    if (channel == 1) {
        chcr |= kChcrTte;
    } else if (channel == 2) {
        chcr &= ~kChcrTte;
        console::HwWrite32(console::kRegVif1Fbrst, 8);
    }
    std::memcpy(&c->chcr, &chcr, 4);
    if (!(dstat & (1u << 18))) console::HwWrite32(console::kRegDStat, 0x40004);
    if (!(dstat & (1u << 17))) console::HwWrite32(console::kRegDStat, 0x20002);
    sceDmaSendAddr(c, task->dmaAdr);
}

int veDmaVif1IntHandler(int) {
    _ve_dma_tasks* l = veDmaExecute;
    if (!l) return 1;
    if (l->status.load() == 1) {
        l->currentId += 1;
        if (l->currentId >= l->numTasks) {
            veDmaEndCycles.store(veClockGetCycles());
            veDmaNumCycles.store(veDmaEndCycles.load() - veDmaBeginCycles.load());
            l->status.store(2);
        } else {
            veDmaStartDmaTransfer(&l->dma[l->currentId], l->dma[l->currentId].channel);
        }
    }
    EeSync();
    EeEnableInterrupts();
    return 1;
}

int veDmaHardwareInit() {
    // A second start-up (tests) must not leave the handler installed twice: it would advance the list
    // twice per chain.
    if (veDmaVif1IntHandlerID > 0) RemoveDmacHandler(1, veDmaVif1IntHandlerID);
    if (g_gifHandlerId > 0) RemoveDmacHandler(2, g_gifHandlerId);
    sceDevVif0Reset();
    sceDevVu0Reset();
    for (int i = 0; i < 10; ++i) {
        veDmaChannels[i] = sceDmaGetChan(i);
        if (i == 1) {
            veDmaVif1IntHandlerID = AddDmacHandler(1, veDmaVif1IntHandler, 0);
            EnableDmac(1);
        } else if (i == 2) {
            g_gifHandlerId = AddDmacHandler(2, veDmaVif1IntHandler, -1);
            EnableDmac(2);
        }
    }
    VIF0_DMA = sceDmaGetChan(0);
    VIF1_DMA = sceDmaGetChan(1);
    GIF_DMA = sceDmaGetChan(2);
    ResetList(&veDmaTaskArray[0]);
    ResetList(&veDmaTaskArray[1]);
    veDmaBuild = &veDmaTaskArray[0];
    veDmaExecute = &veDmaTaskArray[1];
    veDmaExecute->status.store(2);
    g_refused = 0;
    g_refusedLogged = false;
    return 1;
}

float veDmaGetTime() {
    return static_cast<float>(veDmaNumCycles.load()) / veClockGetCPUClockSpeed();
}
