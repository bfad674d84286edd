// Kernel interrupt services: DMA-controller end-of-transfer handlers, and the cache and interrupt
// instructions the engine issues around them. Transfers run synchronously (see console/dma), so a
// handler is called on the main thread, at the end of a chain, by the DMA stand-in.
#pragma once

#include <cstdint>

using DmacHandlerFn = int (*)(int channel);

// Installs a handler for a DMA channel (0..9). `next` 0 puts it before the channel's other handlers,
// -1 after them. Returns a handler id (> 0), or -1 for a bad channel, a null handler or a full table.
int AddDmacHandler(int channel, DmacHandlerFn handler, int next);
// Removes a handler by id; returns 0, or -1 when it is not installed on that channel.
int RemoveDmacHandler(int channel, int id);
// Handlers of a channel run only while the channel is enabled. Return 1 when it was enabled before.
int EnableDmac(int channel);
int DisableDmac(int channel);

// Data-cache write-back: memory is coherent on the host, so only a fence.
void FlushCache(int mode);
// The instructions that close an interrupt handler: a memory barrier and re-enabling interrupts.
void EeSync();
void EeEnableInterrupts();

namespace console {

// Called by the DMA stand-in when a transfer on `channel` ends: runs the enabled handlers in order.
void IntcDmacEnd(int channel);
// Forgets every handler and disables every channel.
void IntcReset();

}  // namespace console
