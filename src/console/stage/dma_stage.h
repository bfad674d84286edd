// The geometry stage: what the VIF1 and GIF channels feed (VIF1 codes, the VU1 microprograms, the GIF's
// three paths and the graphics synthesizer behind them). On the console these ran beside the main
// processor and beside each other: a kick started the DMA and the processor went on, meeting the transfer
// again only where it waited for it, while the VU1 built the next packets as the GS drew the last. The
// stand-in does the same on two threads of its own, one after the other in a pipeline: the first runs VIF1
// and the VU1 programs and queues what they send the GIF (PATH1 from the programs, PATH2 from VIF DIRECT
// codes, PATH3 passed on from the GIF channel, in the order the GIF would have taken it); the second runs
// the GIF, the GS's registers and the rasteriser's queue. The DMA controller walks and checks a chain when
// it is kicked (so its tags may be reused at once, and a bad chain is reported in order) and hands the
// stage the data blocks the chain names; the end interrupt is raised at once, so the game's handlers run
// where and when they always did, on the game's thread.
//
// The stage is invisible to the game: everything that can see what it produces (a DMA wait, the GS's
// drawing registers and local memory, image transfers in either direction, the display readout, resets,
// VIF1 and VU1 state) waits for it to drain first. The vertical blank waits for the first half only: that
// is where the game takes its DMA data back (it writes its next lists over them after the blank), and the
// second half reads nothing of the game's but its own copies, so the GS goes on drawing into the next
// frame (at most one frame behind: each blank also waits for what was sent before the last). What the blank
// and its handler touch of the GS (the field, the display registers) does not depend on the drawing, and a
// drawing environment the game sends directly queues behind the rest. Frames, sound and logs are the same bit
// for bit as running everything inline, provided the game does not write the data of a kicked transfer before
// such a wait, as on the console.
//
// Modes: inline (every transfer runs inside the kick, on the caller's thread: the reference), thread (the
// stage's own two threads; a drain takes over what is left of each, in order), deferred (nothing runs until a
// drain, which runs what it waits for on the caller's thread: the latest any transfer can be read, so a
// test that compares it with inline finds every buffer the game rewrites too early, and every look at the
// GS that forgets to wait for the second half). For measuring,
// QZ_STAGE_GIF_WAIT=1 in the environment has a drain wait for the second thread to finish its queue
// instead of taking it over.
#pragma once

#include <cstddef>
#include <cstdint>

#include "console/gs/gs_device.h"

namespace console::dma {

enum class StageMode : uint8_t { kInline, kThread, kDeferred };

// Drains what is queued, then switches. Threads that cannot be started leave the mode inline. A program
// that ends by returning from main sets the mode back to inline first: that drains the stage and stops
// its threads while everything the queued transfers reach still exists.
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

// What VIF1 (PATH2) and the VU1 programs (PATH1) send the GIF. Where the first half runs with the second
// queued, it is copied into the second half's ring; anywhere else it goes to the GIF at once.
void StageGifWrite(int path, const void* data, size_t qwc);
// Room for a packet of up to `qwc` quadwords that the caller builds in place, in the byte ring the
// second half reads (so that StageGifWrite need not copy it): null where the GIF takes its input at once
// (anywhere but the first half's runner while the second half queues), while another reservation is
// open, or for a packet too large. Until
// StageGifCommit, whatever else is queued (packets, log lines) goes after the room, and keeps its place
// before the packet. StageGifCommit queues the first `qwc` quadwords written there on `path` (0 queues
// nothing) and gives the rest of the room back.
void* StageGifReserve(size_t qwc);
void StageGifCommit(int path, size_t qwc);
void StageGifEnd(int path);
// A whole GIF packet the game sends the GS itself (a drawing environment): once the first half has run,
// queued behind what the second half still holds (or sent at once where nothing queues).
void StageSendGif(int path, const void* data, size_t qwc);
// A log line of VIF1's: queued the same way, so that it keeps its place among the GIF's lines.
void StageLogf(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// For the host's hold on the process's output: called with text about to go to stdout (stream 1) or
// stderr (2). Returns true when the text was queued instead, to be printed by the stage in its place
// among the lines of the work queued before it (on the stage's first thread); false when the caller
// prints it now, on the game's thread once everything it sent before has run. So the lines the stage's
// units print keep their order among the game's as if everything ran inline.
bool StageOrderOutput(int stream, const char* text, size_t len);
// Where primitives sent with PRIM `prim` can draw, as the GS will hold its registers when what is being
// built now reaches it (the VU1 programs run ahead of the GS).
gs::GsDevice::DrawWindow StageDrawWindowFor(uint64_t prim);

// For code that hands the stage objects of its own to call (microprograms), after making them: at process
// exit the stage's thread then stops before the destructors of every static object constructed so far.
// Exit handlers run in the reverse order of their registration, so the hook registered when the thread
// started would otherwise run after the destructors of objects made later, while the thread still calls
// them. Nothing to do while no thread runs (starting one registers the hook anew).
void StageStopBeforeLaterStatics();

// Waits until every queued item has run. Cheap when nothing is queued; a no-op in inline mode.
void StageDrain();
// Waits for the first half only (VIF1 and the VU1 programs): the data of every transfer kicked so far has
// been read; the GS may still be drawing.
void StageDrainFirstHalf();
// The vertical blank: the first half drained, and the second caught up with the blank before (the GS
// draws at most a frame behind).
void StageBlank();

// The first half, but only when a queued transfer reads some of the `bytes` bytes at `start` (memory about
// to be given back, and perhaps written at once by its next owner).
void StageDrainIfReading(const void* start, size_t bytes);

struct StageStats {
    uint64_t items;            // items queued
    uint64_t drains;           // drains that found work still queued
    uint64_t firstHalfDrains;  // first-half drains that found work there
    uint64_t waitNanos;        // time drains spent waiting
    uint64_t fullWaits;        // pushes that found the queue full
    uint64_t gifItems;         // items the first thread queued for the second
    uint64_t gifFullWaits;     // of which found the second queue full
    uint64_t gifRun;           // of those the second half has run
    uint64_t pageHits;         // memory given back that a queued item may still read (looked at closer)
};
StageStats GetStageStats();

}  // namespace console::dma
