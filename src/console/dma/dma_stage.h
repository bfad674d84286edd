// The geometry stage: what the VIF1 and GIF channels feed (VIF1 codes, the VU1 microprograms, the GIF's
// three paths and the graphics synthesizer behind them). On the console these ran beside the main
// processor: a kick started the DMA and the processor went on, meeting the transfer again only where it
// waited for it. The stand-in does the same on a thread of its own. The DMA controller walks and checks a
// chain when it is kicked (so its tags may be reused at once, and a bad chain is reported in order) and
// hands the stage the data blocks the chain names; the end interrupt is raised at once, so the game's
// handlers run where and when they always did, on the game's thread.
//
// The stage is invisible to the game: everything that can see what it produces (a DMA wait, the GS's
// registers and local memory, the vertical blank, image transfers in either direction, the display
// readout, resets, VIF1 and VU1 state) waits for it to drain first. Frames, sound and logs are the same
// bit for bit as running everything inline, provided the game does not write the data of a kicked
// transfer before such a wait, as on the console.
//
// Modes: inline (every transfer runs inside the kick, on the caller's thread: the reference), thread (the
// stage's own thread), deferred (nothing runs until a drain, which runs everything queued on the caller's
// thread: the latest any transfer can be read, so a test that compares it with inline finds every buffer
// the game rewrites too early).
#pragma once

#include <cstddef>
#include <cstdint>

namespace console::dma {

enum class StageMode : uint8_t { kInline, kThread, kDeferred };

// Drains what is queued, then switches. A thread that cannot be started leaves the mode inline. A program
// that ends by returning from main sets the mode back to inline first: that drains the stage and stops
// its thread while everything the queued transfers reach still exists.
void SetStageMode(StageMode mode);
StageMode GetStageMode();
// True when VIF1 and GIF transfers are queued rather than run inside the kick.
bool StageQueues();

// Producer side (the thread that kicks transfers). Data blocks must stay unchanged until the next drain.
void StagePushData(int channel, const uint8_t* data, uint32_t qwc);
// The two VIF-code words a chain tag carries (copied now).
void StagePushTagWords(int channel, const uint8_t* tag);
// The transfer on `channel` ended.
void StagePushEnd(int channel);

// For code that hands the stage objects of its own to call (microprograms), after making them: at process
// exit the stage's thread then stops before the destructors of every static object constructed so far.
// Exit handlers run in the reverse order of their registration, so the hook registered when the thread
// started would otherwise run after the destructors of objects made later, while the thread still calls
// them. Nothing to do while no thread runs (starting one registers the hook anew).
void StageStopBeforeLaterStatics();

// Waits until every queued item has run. Cheap when nothing is queued; a no-op in inline mode.
void StageDrain();

// The same, but only when a queued transfer reads some of the `bytes` bytes at `start` (memory about to
// be given back, and perhaps written at once by its next owner).
void StageDrainIfReading(const void* start, size_t bytes);

struct StageStats {
    uint64_t items;      // items queued
    uint64_t drains;     // drains that found work still queued
    uint64_t waitNanos;  // time drains spent waiting
    uint64_t fullWaits;  // pushes that found the queue full
};
StageStats GetStageStats();

}  // namespace console::dma
