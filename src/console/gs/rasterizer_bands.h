// The rasteriser spread over worker threads. The screen is cut into horizontal bands of
// Rasterizer::kBandShift rows, dealt out to the workers in turn; every worker walks the queued primitives
// in order and draws only the rows of its own bands. A pixel is then drawn by one worker only, in the
// order its primitives came, so the result is the same bit for bit as one thread drawing everything.
//
// That holds while no worker reads or writes memory another one writes: the queue keeps, per 256-byte
// block of local memory, which buffer layout writes it and which blocks textures read. A primitive that
// would read what a queued one writes (a texture drawn earlier), or write what one reads or what another
// buffer layout writes, waits for the queue to drain first; one that overlaps itself that way (a texture
// read from its own frame) is drawn by the caller alone. Everything outside drawing that touches local
// memory (transfers, palette loads, the display readout) drains the queue first too.
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

    // `threads` bands (2..kMaxThreads): threads - 1 worker threads, and the caller's own band, which it draws
    // whenever it waits for the workers. Null when the threads cannot be started.
    static RasterBands* Create(LocalMemory& mem, int threads);
    static void Destroy(RasterBands* bands);

    // Queues a primitive drawn with `st`; `stateVersion` changes whenever the state does. Returns false when
    // the primitive cannot be shared out: the queue is drained and the caller draws it itself.
    bool Queue(PrimKind kind, const DrawState& st, uint64_t stateVersion, const GsVertex* v);
    // Waits until every queued primitive is drawn.
    void Join();
    // Waits for the queued primitives that touch local memory bytes [start, start + bytes) in a way that
    // clashes with the caller's access (a write clashes with any use, a read with writes only). Transfers
    // and palette loads call this instead of Join, so they do not stall the workers over unrelated work.
    void Settle(uint32_t start, uint32_t bytes, bool write);
    // Pixels the workers have processed (complete after Join).
    uint64_t PixelsProcessed() const;
    int Threads() const { return threads_; }

private:
    static constexpr uint32_t kCommands = 8192, kStates = 512;
    // Commands are handed to the workers this many at a time (and whenever the producer waits), so that a
    // sleeping worker is woken once per batch rather than once per primitive.
    static constexpr uint32_t kBatch = 32, kWakeBatch = 512;
    static constexpr uint32_t kBlocks = LocalMemory::kSize / LocalMemory::kBlockBytes;
    static constexpr uint32_t kWords = kBlocks / 64;
    static constexpr int kLayouts = 4;

    struct Command {
        PrimKind kind;
        uint32_t state;
        uint32_t owners;  // bit i: worker i has rows of it
        GsVertex v[3];
    };
    struct StateSlot {
        DrawState st;
        uint32_t clut[256];    // the palette as it was when the state was queued (st.clut points here)
        uint64_t lastCommand;  // the last command drawn with it (the slot is free once that is done)
    };
    struct alignas(64) Worker {
        Worker(RasterBands* o, LocalMemory& mem, int i, int n) : owner(o), rast(mem, true) {
            rast.SetBand(i, n);
            bit = 1u << i;
        }
        uint32_t bit = 0;  // this worker's bit in a command's owners
        RasterBands* owner;
        pthread_t thread{};
        std::atomic<uint64_t> done{0};  // commands drawn
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
    void WaitDone(uint64_t target);
    void Publish(bool wakeAll);
    Fit Claim(const DrawState& st, const GsVertex* v, int count, RowSpan* rows);
    void ClearClaims();

    LocalMemory& mem_;
    int threads_;      // bands: the worker threads' and the caller's own
    int helpers_ = 0;  // worker threads started
    Worker* workers_[kMaxThreads] = {};
    Rasterizer self_;        // the caller's band
    uint64_t selfNext_ = 0;  // the next command the caller looks at
    Command commands_[kCommands];
    StateSlot states_[kStates];
    uint64_t queued_ = 0;     // commands queued
    uint64_t handedOut_ = 0;  // commands published (the producer's copy of published_)
    uint64_t wokenAt_ = 0;    // commands published when the sleepers were last woken
    uint64_t statesPushed_ = 0, lastVersion_ = 0;
    alignas(64) std::atomic<uint64_t> published_{0};
    std::atomic<uint32_t> wake_{0};
    std::atomic<int> sleepers_{0};
    std::atomic<bool> stop_{false};
    alignas(64) std::atomic<uint32_t> doneWake_{0};
    // The command count the producer waits for (none: all ones): the worker that reaches it wakes it.
    std::atomic<uint64_t> waitTarget_{~0ull};
    // What the queued primitives touch.
    Layout layouts_[kLayouts];
    int layoutCount_ = 0;
    uint64_t reads_[kWords];
    bool claimed_ = false;
    Range lastTex_{0, 0};  // the texel range last marked as read
};

}  // namespace console::gs
