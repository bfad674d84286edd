// The engine's DMA task lists. Drawing code appends chains to the list being built; at the begin of the
// next frame the lists swap and the built one runs, task after task in queue order whatever the channel:
// the DMA-end handler, installed on the VIF1 and GIF channels, starts the next task when one ends.
#pragma once

#include <atomic>
#include <cstdint>

struct sceDmaChan;

inline constexpr int kDmaMaxTasks = 4096;

struct _ve_dma_task {
    uint32_t dmaAdr;  // first DMA tag of the chain
    uint32_t chcr;    // the caller's channel control word (not read by the transfer)
    int32_t channel;  // 1 VIF1, 2 GIF
};

struct _ve_dma_tasks {
    _ve_dma_task dma[kDmaMaxTasks];
    int32_t numTasks;
    int32_t currentId;
    std::atomic<int32_t> status;  // 0 being built, 1 executing, 2 all done
};

extern _ve_dma_tasks veDmaTaskArray[2];
extern _ve_dma_tasks* veDmaBuild;
extern _ve_dma_tasks* veDmaExecute;
extern sceDmaChan* veDmaChannels[10];
namespace engine {
extern sceDmaChan* VIF0_DMA;
extern sceDmaChan* VIF1_DMA;
extern sceDmaChan* GIF_DMA;
}  // namespace engine
extern int veDmaVif1IntHandlerID;

// Appends a task; a list already holding 4096 tasks refuses it with a log line (once per frame), and so
// does a channel other than 1 (VIF1) or 2 (GIF).
void veDmaAddDmaTask(const void* chain, int channel, uint32_t chcr);
void veDmaSendVuMicroCode(const void* chain);
void veDmaExecuteTasks();
int veDmaTasksAreComplete();
void veDmaStartDmaTransfer(_ve_dma_task* task, int channel);
int veDmaHardwareInit();
float veDmaGetTime();
// Tasks refused because a list was full, since start-up.
uint32_t veDmaRefusedTasks();

int veDmaVif1IntHandler(int channel);
