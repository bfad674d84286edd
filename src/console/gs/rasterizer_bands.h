// The rasteriser spread over worker threads. The screen is cut into horizontal bands of 16 rows, grouped
// into kSlots slots (band b belongs to slot b % kSlots). Every primitive is queued once, and listed in each
// slot whose rows it can reach. A slot's list is drawn in order by one thread at a time: any idle worker
// takes the next stretch of any slot nobody is drawing, so work goes to whichever thread is free and a
// slow or descheduled thread holds up only the stretch it took. A pixel is then drawn by one thread at a
// time, in the order its primitives came, so the result is the same bit for bit as one thread drawing
// everything.
//
// That holds while no worker reads or writes memory another one writes: the queue keeps, per 256-byte
// block of local memory, which buffer layout writes it and which blocks textures read. A primitive that
// would read what a queued one writes (a texture drawn earlier), or write what one reads or what another
// buffer layout writes, waits for the queue to drain first; one that overlaps itself that way (a texture
// read from its own frame) is drawn by the caller alone. Everything outside drawing that touches local
// memory (transfers, palette loads, the display readout) drains the queue first too.
//
// The caller's thread (the game's) never owns a slot: it queues, and when it has to wait for the workers
// it takes stretches of work too, so waiting costs it no more than drawing. Idle workers poll for a few
// microseconds and then sleep; one is woken whenever a good batch of work has gathered, all of them when
// the caller waits.
//
// The workers never use the program's heap: it belongs to the game's own thread.
#pragma once

#include <pthread.h>

#include <atomic>
#include <cstdint>

#include "console/gs/local_memory.h"
#include "console/gs/rasterizer.h"

namespace console::gs {

enum class PrimKind : uint8_t { kPoint, kLine, kTriangle, kSprite };

class RasterBands {
public:
    static constexpr int kMaxThreads = 16;

    // Why the caller waits for the workers.
    enum class Wait : uint8_t {
        kFlush,           // outside access to local memory
        kDisplay,         // the display readout
        kTransfer,        // an image transfer over what queued primitives touch
        kPalette,         // a palette load from what queued primitives write
        kTexture,         // an expanded palette texture made from what queued primitives write
        kRetire,          // retired palette expansions released
        kReadAfterWrite,  // a primitive reading what a queued one writes (a picture drawn, then a texture)
        kWriteAfterRead,  // a primitive writing what a queued one reads, or through another buffer layout
        kLayouts,         // more buffer layouts than the queue tracks
        kAlone,           // a primitive the caller draws alone (it reads what it writes)
        kStates,          // the ring of drawing states full
        kCommands,        // the ring of commands full
        kCount
    };
    // Counters for measuring (bench and tests): plain counts are always kept, times only while timing is on.
    struct Stats {
        uint64_t requests[int(Wait::kCount)] = {};   // waits asked for that found something to wait for
        double waitSeconds[int(Wait::kCount)] = {};  // the caller's time in those waits (timing on)
        double drawSeconds = 0;                      // of which drawing stretches itself (timing on)
        uint64_t commands = 0;                       // primitives queued
        uint64_t listed = 0;                         // slot entries made for them (each one a set-up)
        uint64_t stretches = 0;                      // stretches the caller drew while waiting
        uint64_t wakes = 0;                          // wake-up calls to sleeping workers
        uint64_t callerSleeps = 0;                   // times the caller slept waiting
    };
    const Stats& Statistics() const { return stats_; }
    void ResetStatistics() { stats_ = Stats{}; }
    void SetTiming(bool on) { timing_ = on; }

    // `threads` drawing threads (2..kMaxThreads): threads - 1 workers, and the caller, which draws too
    // whenever it waits for them. Null when the threads cannot be started.
    static RasterBands* Create(LocalMemory& mem, int threads);
    static void Destroy(RasterBands* bands);

    // Queues a primitive drawn with `st`; `stateVersion` changes whenever the state does. Returns false when
    // the primitive cannot be shared out: the queue is drained and the caller draws it itself.
    bool Queue(PrimKind kind, const DrawState& st, uint64_t stateVersion, const GsVertex* v);
    // Waits until every queued primitive is drawn; `why` is counted.
    void Join(Wait why = Wait::kFlush);
    // Waits for the queued primitives that touch local memory bytes [start, start + bytes) in a way that
    // clashes with the caller's access (a write clashes with any use, a read with writes only). Transfers
    // and palette loads call this instead of Join, so they do not stall the workers over unrelated work.
    void Settle(uint32_t start, uint32_t bytes, bool write, Wait why);
    // Pixels the workers have processed (complete after Join).
    uint64_t PixelsProcessed() const;
    int Threads() const { return threads_; }

    // Slots of bands; a primitive's rows are drawn slot by slot.
    static constexpr int kSlots = 32;

private:
    static constexpr uint32_t kCommands = 8192, kStates = 512;
    // Commands are published this many at a time (and whenever the producer waits); sleeping workers are
    // woken once kWakeBatch have gathered. A thread takes at most kStretch commands of a slot at once.
    static constexpr uint32_t kBatch = 32, kWakeBatch = 512, kStretch = 64;
    static constexpr uint32_t kBlocks = LocalMemory::kSize / LocalMemory::kBlockBytes;
    static constexpr uint32_t kWords = kBlocks / 64;
    static constexpr int kLayouts = 4;
    static_assert(kSlots <= 32, "a command's slots are bits of a 32-bit word");

    struct Command {
        PrimKind kind;
        uint32_t state;
        GsVertex v[3];
    };
    struct StateSlot {
        DrawState st;
        uint32_t clut[256];    // the palette as it was when the state was queued (st.clut points here)
        uint64_t lastCommand;  // the last command drawn with it (the slot is free once that is done)
    };
    // One slot's list of commands (indices into the queue, in order) and how far it is drawn.
    struct alignas(64) Slot {
        std::atomic<uint64_t> published{0};  // entries the workers may draw
        std::atomic<uint64_t> done{0};       // entries drawn
        std::atomic<bool> busy{false};       // a thread is drawing a stretch of it
        uint64_t queued = 0;                 // entries queued (the producer's)
        // The commands' positions in the queue (written before they are published, read after).
        std::atomic<uint64_t> list[kCommands];
    };
    struct alignas(64) Worker {
        Worker(RasterBands* o, LocalMemory& mem) : owner(o), rast(mem, true) {}
        RasterBands* owner;
        pthread_t thread{};
        int start = 0;  // the slot it looks at first (the last one it drew: its rows are in its cache)
        Rasterizer rast;
    };
    // A byte range of local memory a primitive touches: [start, start + bytes), wrapping at the end.
    struct Range {
        uint32_t start, bytes;
    };
    // Blocks written through one buffer layout: the same layout maps a row to the same bytes, so two
    // primitives through it never share a pixel across bands.
    struct Layout {
        uint32_t base, width, bpp;
        uint64_t bits[kWords];
    };
    // kEmpty: the primitive cannot cover a pixel inside the scissor.
    enum class Fit { kFits, kEmpty, kQueueClash, kSelfClash };
    // The rows a primitive can cover (inclusive).
    struct RowSpan {
        int first, last;
    };

    RasterBands(LocalMemory& mem, int threads);
    static void* ThreadMain(void* worker);
    void Run(Worker& w);
    void Draw(Rasterizer& rast, const Command& c);
    // Draws a stretch of the first slot from `start` on that has work and nobody drawing it; false when
    // there is none.
    bool DrawStretch(Rasterizer& rast, int& start);
    bool AnyWork() const;
    // Every command before the returned one is drawn (as far as the commands published go).
    uint64_t DoneBelow() const;
    void WaitDone(uint64_t target, Wait why);
    void Publish(bool wakeAll);
    Fit Claim(const DrawState& st, const GsVertex* v, int count, RowSpan* rows);
    void ClearClaims();

    LocalMemory& mem_;
    int threads_;      // drawing threads: the workers and the caller
    int helpers_ = 0;  // worker threads started
    Worker* workers_[kMaxThreads] = {};
    Rasterizer self_;    // the caller's, when it draws while waiting
    int selfStart_ = 0;  // the slot it looks at first
    Command commands_[kCommands];
    StateSlot states_[kStates];
    Slot slots_[kSlots];
    uint64_t queued_ = 0;     // commands queued
    uint64_t handedOut_ = 0;  // commands published
    uint64_t wokenAt_ = 0;    // commands published when the sleepers were last woken
    uint64_t statesPushed_ = 0, lastVersion_ = 0;
    alignas(64) std::atomic<uint32_t> wake_{0};
    std::atomic<int> sleepers_{0};
    std::atomic<bool> stop_{false};
    alignas(64) std::atomic<uint32_t> doneWake_{0};
    // The command count the producer waits for (none: all ones): the thread that gets there wakes it.
    std::atomic<uint64_t> waitTarget_{~0ull};
    // What the queued primitives touch.
    Layout layouts_[kLayouts];
    int layoutCount_ = 0;
    uint64_t reads_[kWords];
    bool claimed_ = false;
    Range lastTex_{0, 0};                    // the texel range last marked as read
    Wait clashWhy_ = Wait::kReadAfterWrite;  // why the last claim clashed with the queue
    Stats stats_;
    bool timing_ = false;
};

}  // namespace console::gs
