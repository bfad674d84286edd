// The DMA controller's channels and the library calls the engine makes on them (sceDma*). Transfers run
// synchronously: sceDmaSend walks the whole chain at once, feeding VIF0 (channel 0), VIF1 (channel 1) or
// the GIF's PATH3 (channel 2), sets the channel's status flag and raises its end interrupt
// (console/kernel/intc). A handler
// that starts another transfer from there does not recurse: the request is queued and run once the
// current one has finished, so transfers always run one after another in the order they were started.
//
// With the geometry stage on (console/stage/dma_stage.h), VIF1 and GIF transfers are walked and checked at
// the kick as before and the end interrupt is raised at once, but the stage feeds the data to VIF1 or the
// GIF later, beside the caller; sceDmaSync on those channels waits for it.
//
// Chain tags are 128 bits: QWC in bits 0-15, ID in 28-30, IRQ in 31, ADDR in 32-62, the scratchpad bit
// in 63, then two 32-bit words that reach the VIF as VIF codes when the channel's TTE bit is set.
// IDs: 0 REFE, 1 CNT, 2 NEXT, 3 REF, 4 REFS, 5 CALL, 6 RET, 7 END (a two-deep call stack).
// Every chain is walked and checked before any of it runs: a tag or data block outside known memory, a
// misaligned tag, a call stack overflow or a chain that never ends is logged and the whole chain dropped
// (the end interrupt is still raised, so whoever waits for it is not left waiting).
//
// Channel 9 (main memory to the scratchpad) is driven through its registers instead:
// console/dma/dma_registers.h.
#pragma once

#include <cstdint>

// Channel control word (the bits the engine touches).
struct sceDmaChcr {
    uint32_t DIR : 1, pad0 : 1, MOD : 2, ASP : 2, TTE : 1, TIE : 1, STR : 1, pad1 : 7, TAG : 16;
};

struct sceDmaChan {
    sceDmaChcr chcr;
    uint32_t madr;
    uint32_t qwc;
    uint32_t tadr;
    int id;
};

inline constexpr int SCE_DMA_VIF0 = 0;
inline constexpr int SCE_DMA_VIF1 = 1;
inline constexpr int SCE_DMA_GIF = 2;

// Resets every channel record. Returns 0.
int sceDmaReset(int mode);
// The channel record of channel 0..9, or null.
sceDmaChan* sceDmaGetChan(int id);
// Chain mode from the tag at `tag` (a scratchpad address carries bit 31). Returns 0, -1 when refused.
int sceDmaSend(sceDmaChan* d, const void* tag);
// The same with the tag's 32-bit DMA address.
int sceDmaSendAddr(sceDmaChan* d, uint32_t tagAddr);
// Normal mode: qwc quadwords from addr, no tags. Returns 0, -1 when refused.
int sceDmaSendN(sceDmaChan* d, const void* addr, int qwc);
// Waits until the channel's transfers are complete (VIF0's are when the send returns): 0.
int sceDmaSync(sceDmaChan* d, int mode, int timeout);

namespace console::dma {

// Chains dropped as bad and transfers run since power-on (tests, diagnostics).
uint64_t DroppedChains();
uint64_t TransfersRun();
// Counts a transfer that a channel ran outside the library's sends (channel 9, console/dma/dma_registers.h),
// as dropped when it was refused.
void NoteTransfer(bool dropped);
// Channels, counters, the controller's registers and the pending queue back to power-on.
void DmaReset();

}  // namespace console::dma
