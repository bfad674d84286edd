#include "console/stage/dma_stage.h"

#include <pthread.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "console/dma/dma.h"
#include "console/gif/gif_interpreter.h"
#include "console/gif/gif_watch.h"
#include "console/gs/gs_device.h"
#include "console/vif/vif.h"
#include "console/vu/vu_memory.h"

namespace console::dma {
namespace {

// Spins before sleeping, in pauses: items that follow soon after, or a token about to come back, cost no
// system call. Short: no side ever needs another to be running.
constexpr int kSpins = 2000;

inline void Pause() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

uint64_t NowNanos() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return uint64_t(ts.tv_sec) * 1000000000ull + uint64_t(ts.tv_nsec);
}

// One half of the stage: a ring of items that one thread fills and one runner empties, in order. The
// runner is the half's own thread, or the thread that fills the ring when it takes over: it asks, the
// half's thread gives the token up after the item it is running, so the filler never waits for that
// thread to be scheduled again, and a thread that was slow to start costs nothing but the overlap.
// Counters count items since power-on; their difference is what is queued.
enum : int { kNobody = 0, kStageRuns = 1, kProducerRuns = 2 };

// The filler writes the tail and the runner the head with every item: each on a cache line of its own.
struct Half {
    alignas(64) std::atomic<uint64_t> tail{0};
    alignas(64) std::atomic<uint64_t> head{0};
    alignas(64) std::atomic<int> runner{kNobody};
    std::atomic<bool> producerWants{false};
    std::atomic<bool> stop{false};
    std::atomic<bool> sleeping{false};
    // Bumped to wake a sleeping runner thread (new items, or the stop).
    std::atomic<uint32_t> wake{0};
    // Bumped when the half's thread gives the token back to a producer that wants it.
    std::atomic<uint32_t> released{0};
    // A producer waiting for the head to reach this count (UINT64_MAX: none), woken once when it does.
    std::atomic<uint64_t> waitTarget{UINT64_MAX};
    // A producer waiting for room (the second half's ring is full while the first half's thread fills it).
    std::atomic<bool> roomWanted{false};
    std::atomic<uint32_t> progress{0};
    pthread_t thread{};
    bool threadRunning = false;
    void (*run)(uint64_t index) = nullptr;
};

// The first half: what the DMA controller hands over (VIF1 codes and data, GIF channel data), run
// through VIF1 and the VU1 programs.
enum class Kind : uint8_t { kData, kTagWords, kEnd };
struct Item {
    const uint8_t* data;
    uint32_t qwc;
    uint8_t channel;
    Kind kind;
    uint32_t words[2];
};
constexpr uint32_t kItems = 1u << 16;
Item g_ring[kItems];
Half g_vif;

// The second half: what reaches the GIF on its three paths (and the first half's log lines, so they keep
// their place among the GIF's), decoded into GS register writes, images and primitives for the
// rasteriser. Data that does not stay put (VU1 output, a quadword the VIF put together) is copied into
// a ring of bytes.
enum class GifKind : uint8_t { kData, kEnd, kLog };
struct GifItem {
    const uint8_t* data;
    uint32_t count;  // quadwords (kData), bytes (kLog)
    uint8_t path;
    GifKind kind;
    uint64_t copiedEnd;  // the byte ring's fill once this item's copy is made
};
constexpr uint32_t kGifItems = 1u << 16;
GifItem g_gifRing[kGifItems];
Half g_gif;
constexpr size_t kCopyBytes = size_t(8) << 20;
alignas(64) uint8_t g_copies[kCopyBytes];
// Written by the second half's runner after every item: a cache line of its own.
alignas(64) std::atomic<uint64_t> g_copiedDone{0};  // bytes the second half no longer needs
// The first half's runner's own: what it has filled of the byte ring, on a line of its own too.
struct alignas(64) Fill {
    uint64_t copiedTail = 0;  // bytes copied since power-on
    // A packet being built in the byte ring (StageGifReserve): its room starts at reservedAt (a count like
    // copiedTail) and is reservedBytes long. Items queued meanwhile free nothing from there on.
    bool reserved = false;
    uint64_t reservedAt = 0, reservedBytes = 0;
    // What it last read of the second half's progress. Both only grow: room by these is room now, found
    // without reading the cache lines the second half's thread writes.
    uint64_t headSeen = 0, doneSeen = 0;
};
Fill g_fill;
constexpr size_t kMaxReserve = kCopyBytes / 8;

// Read by the stage's threads too (their output goes through StageOrderOutput).
std::atomic<StageMode> g_mode{StageMode::kInline};
bool g_exitHook = false;
StageStats g_stats{};
// Counted by the first half's runner, whichever thread that is.
std::atomic<uint64_t> g_gifItems{0}, g_gifFullWaits{0};
// A drain takes the second half over (true) or waits for its thread to finish (false).
bool g_takeOverGif = true;
// The second half's item count at the last vertical blank.
uint64_t g_lastBlankMark = 0;

// Set on the thread running the first half while the second half has a thread: the GIF's input goes to
// the second half's ring. Off everywhere else: the GIF takes it at once.
thread_local bool t_toGifRing = false;
thread_local bool t_vifThread = false;
// Set while this thread runs queued items (the stage's threads, or a producer that took over).
thread_local int t_running = 0;
// Set on the thread that feeds the stage (the game's): it alone may queue for the second half beside the
// first half's runner, and only while the first half is empty.
thread_local bool t_feeds = false;

// The registers the VU1 programs cull against, as the GS will hold them when their output arrives. Made
// stale by every drain (the game may write the GS directly once the stage is empty); the first half's
// runner loads it afresh before its next item.
gif::GifWatch g_watch;
std::atomic<bool> g_watchStale{true};

// Which memory the first half's queued items still read, by 4 KB page (hashed into a table: two pages
// sharing a slot only cost a wait that was not needed). A slot holds one past the count of the last item
// pushed that reads a page there; the item is still queued while that is past the half's head. The
// producer's alone. (The second half reads only its own copies.)
constexpr int kPageShift = 12;
constexpr size_t kPageSlots = size_t(1) << 15;
uint64_t g_vifPages[kPageSlots];

void MarkPages(const void* data, size_t bytes, uint64_t value) {
    if (bytes == 0) return;
    const uintptr_t a = reinterpret_cast<uintptr_t>(data);
    const uintptr_t first = a >> kPageShift, last = (a + bytes - 1) >> kPageShift;
    const uintptr_t n = std::min<uintptr_t>(last - first + 1, kPageSlots);
    for (uintptr_t p = 0; p < n; ++p) g_vifPages[(first + p) & (kPageSlots - 1)] = value;
}

bool PagesQueued(uintptr_t lo, uintptr_t hi, uint64_t head) {
    const uintptr_t first = lo >> kPageShift, last = (hi - 1) >> kPageShift;
    const uintptr_t n = std::min<uintptr_t>(last - first + 1, kPageSlots);
    for (uintptr_t p = 0; p < n; ++p)
        if (g_vifPages[(first + p) & (kPageSlots - 1)] > head) return true;
    return false;
}

// The first half's runner, before it sends the GIF anything: after a full drain the GS's registers are
// what the game left in them (the second half is empty, so they are settled).
void FreshWatch() {
    if (!g_watchStale.load(std::memory_order_acquire)) return;
    g_watch.Load(gs::Gs());
    g_watchStale.store(false, std::memory_order_relaxed);
}

// --- Running items ---------------------------------------------------------------------------------

void RunGifItem(uint64_t index) {
    const GifItem& it = g_gifRing[index & (kGifItems - 1)];
    // What the second half prints goes out now, in its place: never back into the ring it is emptying
    // (a first-half runner that waits for room there runs it).
    const bool was = t_toGifRing;
    t_toGifRing = false;
    switch (it.kind) {
        case GifKind::kData:
            gif::Gif().Write(it.path, it.data, it.count);
            break;
        case GifKind::kEnd:
            gif::Gif().EndTransfer(it.path);
            break;
        case GifKind::kLog:
            std::fwrite(it.data, 1, it.count, it.path == 2 ? stderr : stdout);
            break;
    }
    t_toGifRing = was;
    g_copiedDone.store(it.copiedEnd, std::memory_order_release);
}

void RunVifItem(uint64_t index) {
    const Item& it = g_ring[index & (kItems - 1)];
    if (t_toGifRing) FreshWatch();
    switch (it.kind) {
        case Kind::kData:
            if (it.channel == SCE_DMA_VIF1) {
                vif::Vif1().Write(reinterpret_cast<const uint32_t*>(it.data), size_t(it.qwc) * 4);
            } else {
                StageGifWrite(3, it.data, it.qwc);
            }
            break;
        case Kind::kTagWords:
            vif::Vif1().Write(it.words, 2);
            break;
        case Kind::kEnd:
            if (it.channel == SCE_DMA_VIF1) {
                vif::Vif1().EndTransfer();
            } else {
                StageGifEnd(3);
            }
            break;
    }
}

// Runs what is queued in `h` on this thread, everything or the items before `end`; the caller holds the
// token (or the half has no thread).
void RunQueuedHere(Half& h, uint64_t end = UINT64_MAX) {
    ++t_running;
    uint64_t i = h.head.load(std::memory_order_relaxed);
    const uint64_t t = std::min(h.tail.load(std::memory_order_acquire), end);
    while (i < t) {
        h.run(i);
        ++i;
        h.head.store(i, std::memory_order_release);
    }
    --t_running;
}

void* HalfMain(void* arg) {
    Half& h = *static_cast<Half*>(arg);
    t_vifThread = &h == &g_vif;
    t_toGifRing = t_vifThread;
    t_running = 1;
    for (;;) {
        const uint64_t h0 = h.head.load(std::memory_order_acquire);
        if (h.tail.load(std::memory_order_acquire) == h0 || h.producerWants.load(std::memory_order_acquire)) {
            if (h.stop.load(std::memory_order_acquire)) break;
            int i = 0;
            while (i < kSpins &&
                   h.tail.load(std::memory_order_acquire) == h.head.load(std::memory_order_acquire) &&
                   !h.stop.load(std::memory_order_relaxed)) {
                Pause();
                ++i;
            }
            if (i < kSpins && !h.producerWants.load(std::memory_order_acquire)) continue;
            const uint32_t w = h.wake.load(std::memory_order_seq_cst);
            h.sleeping.store(true, std::memory_order_seq_cst);
            if (!h.stop.load(std::memory_order_seq_cst) &&
                (h.tail.load(std::memory_order_seq_cst) == h.head.load(std::memory_order_seq_cst) ||
                 h.producerWants.load(std::memory_order_seq_cst)))
                h.wake.wait(w, std::memory_order_seq_cst);
            h.sleeping.store(false, std::memory_order_relaxed);
            continue;
        }
        int expected = kNobody;
        if (!h.runner.compare_exchange_strong(expected, kStageRuns, std::memory_order_acquire)) continue;
        uint64_t i = h.head.load(std::memory_order_relaxed);
        while (!h.producerWants.load(std::memory_order_acquire)) {
            if (i == h.tail.load(std::memory_order_acquire)) break;
            h.run(i);
            ++i;
            h.head.store(i, std::memory_order_seq_cst);
            if (h.roomWanted.load(std::memory_order_seq_cst) ||
                i >= h.waitTarget.load(std::memory_order_seq_cst)) {
                h.progress.fetch_add(1, std::memory_order_seq_cst);
                h.progress.notify_all();
            }
        }
        h.runner.store(kNobody, std::memory_order_seq_cst);
        if (h.producerWants.load(std::memory_order_seq_cst)) {
            h.released.fetch_add(1, std::memory_order_seq_cst);
            h.released.notify_one();
        }
    }
    return nullptr;
}

void Wake(Half& h) {
    // One wake-up however many items follow before the half's thread is running again.
    if (h.threadRunning && h.sleeping.load(std::memory_order_seq_cst) &&
        h.sleeping.exchange(false, std::memory_order_seq_cst)) {
        h.wake.fetch_add(1, std::memory_order_seq_cst);
        h.wake.notify_one();
    }
}

// Takes the token from the half's thread (which gives it up after its current item) and runs what is
// queued here (the items before `end`).
void TakeOverAndRun(Half& h, uint64_t end = UINT64_MAX) {
    h.producerWants.store(true, std::memory_order_seq_cst);
    for (int i = 0;; ++i) {
        const uint32_t r = h.released.load(std::memory_order_seq_cst);
        int expected = kNobody;
        if (h.runner.compare_exchange_strong(expected, kProducerRuns, std::memory_order_seq_cst)) break;
        if (i < kSpins) {
            Pause();
        } else {
            h.released.wait(r, std::memory_order_seq_cst);
        }
    }
    RunQueuedHere(h, end);
    h.runner.store(kNobody, std::memory_order_release);
    h.producerWants.store(false, std::memory_order_seq_cst);
    // What is left goes back to the half's thread, which may have gone to sleep meanwhile: the next push
    // would otherwise be the first to wake it.
    if (h.head.load(std::memory_order_relaxed) != h.tail.load(std::memory_order_seq_cst)) Wake(h);
}

// Whether what the first half sends the GIF is queued for the second half (which then runs on its own
// thread, or in deferred mode at the next full drain) rather than run at once.
bool GifQueues() {
    return g_gif.threadRunning || g_mode == StageMode::kDeferred;
}

// The producer runs the rest of the first half itself (taking it over from the half's thread); what it
// sends the GIF is queued behind what is there.
void RunFirstHalfHere() {
    const bool was = t_toGifRing;
    t_toGifRing = GifQueues();
    if (g_vif.threadRunning) {
        TakeOverAndRun(g_vif);
    } else {
        RunQueuedHere(g_vif);
    }
    t_toGifRing = was;
}

// Waits until the half's thread has run everything queued, or the items before `end` (for comparison with
// taking it over).
void WaitUntilRun(Half& h, uint64_t end = UINT64_MAX) {
    const uint64_t t = std::min(h.tail.load(std::memory_order_relaxed), end);
    for (int i = 0; h.head.load(std::memory_order_acquire) < t; ++i) {
        if (i < kSpins) {
            Pause();
            continue;
        }
        // Woken once the head gets there (not after every item: a drain can outlast thousands of them).
        h.waitTarget.store(t, std::memory_order_seq_cst);
        const uint32_t p = h.progress.load(std::memory_order_seq_cst);
        if (h.head.load(std::memory_order_seq_cst) < t) h.progress.wait(p, std::memory_order_seq_cst);
    }
    h.waitTarget.store(UINT64_MAX, std::memory_order_relaxed);
}

// --- The second half's ring, filled by the first half's runner -----------------------------------

bool GifRoom(uint64_t bytes) {
    const uint64_t t = g_gif.tail.load(std::memory_order_relaxed);
    if (t - g_fill.headSeen < kGifItems && g_fill.copiedTail + bytes - g_fill.doneSeen <= kCopyBytes)
        return true;
    const uint64_t h = g_gif.head.load(std::memory_order_seq_cst);
    g_fill.headSeen = h;
    g_fill.doneSeen = g_copiedDone.load(std::memory_order_acquire);
    if (t - h >= kGifItems) return false;
    // Nothing queued: every copy is free but an open reservation.
    if (h == t)
        return g_fill.copiedTail + bytes - (g_fill.reserved ? g_fill.reservedAt : g_fill.copiedTail) <=
               kCopyBytes;
    return g_fill.copiedTail + bytes - g_fill.doneSeen <= kCopyBytes;
}

void MakeGifRoom(uint64_t bytes) {
    if (GifRoom(bytes)) return;
    g_gifFullWaits.fetch_add(1, std::memory_order_relaxed);
    if (!t_vifThread) {
        // The producer runs the first half itself: it runs the second half's queue too (what that prints
        // goes out now, in its place: see RunGifItem).
        TakeOverAndRun(g_gif);
        return;
    }
    for (int i = 0; !GifRoom(bytes); ++i) {
        if (i < kSpins) {
            Pause();
            continue;
        }
        g_gif.roomWanted.store(true, std::memory_order_seq_cst);
        const uint32_t p = g_gif.progress.load(std::memory_order_seq_cst);
        if (!GifRoom(bytes)) g_gif.progress.wait(p, std::memory_order_seq_cst);
    }
    g_gif.roomWanted.store(false, std::memory_order_relaxed);
}

// Queues one item, copying `bytes` from `copy` when given (in at most two pieces, where the byte ring
// wraps: the GIF takes a packet in pieces as well as whole). Every copy starts on a quadword, so that a
// packet cut at the ring's end is cut between quadwords even after a log line of any length.
void PushGif(GifItem it, const void* copy, size_t bytes) {
    const uint8_t* src = static_cast<const uint8_t*>(copy);
    do {
        size_t piece = bytes;
        if (src) {
            const size_t at = size_t(g_fill.copiedTail % kCopyBytes);
            piece = std::min(bytes, kCopyBytes - at);
            const size_t taken = (piece + 15) & ~size_t(15);
            MakeGifRoom(taken);
            std::memcpy(g_copies + at, src, piece);
            it.data = g_copies + at;
            if (it.kind == GifKind::kData) it.count = uint32_t(piece / 16);
            if (it.kind == GifKind::kLog) it.count = uint32_t(piece);
            g_fill.copiedTail += taken;
            src += piece;
        } else {
            MakeGifRoom(0);
        }
        // The room of an open reservation stays in use after this item has run.
        it.copiedEnd = g_fill.reserved ? g_fill.reservedAt : g_fill.copiedTail;
        const uint64_t t = g_gif.tail.load(std::memory_order_relaxed);
        g_gifRing[t & (kGifItems - 1)] = it;
        // One writer at a time (the runner): no locked add needed.
        g_gifItems.store(g_gifItems.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
        g_gif.tail.store(t + 1, std::memory_order_seq_cst);
        Wake(g_gif);
        bytes -= piece;
    } while (bytes > 0);
}

// --- Threads ---------------------------------------------------------------------------------------

void StopThreads() {
    if (!g_vif.threadRunning) return;
    RunFirstHalfHere();
    TakeOverAndRun(g_gif);
    for (Half* h : {&g_vif, &g_gif}) {
        h->stop.store(true, std::memory_order_seq_cst);
        h->wake.fetch_add(1, std::memory_order_seq_cst);
        h->wake.notify_one();
        pthread_join(h->thread, nullptr);
        h->threadRunning = false;
        h->stop.store(false);
    }
}

// The process may end while the stage runs (a return from main, or an exit call, with transfers queued):
// the threads stop before the objects they use are destroyed. The hook is registered after those objects
// exist (the devices when the threads start, each microprogram when it is registered), so it runs before
// their destructors.
void AtExit() {
    StopThreads();
    g_mode = StageMode::kInline;
}

void Push(const Item& it) {
    t_feeds = true;
    const uint64_t t = g_vif.tail.load(std::memory_order_relaxed);
    if (t - g_vif.head.load(std::memory_order_acquire) == kItems) {
        ++g_stats.fullWaits;
        RunFirstHalfHere();
    }
    if (it.kind == Kind::kData) MarkPages(it.data, size_t(it.qwc) * 16, t + 1);
    g_ring[t & (kItems - 1)] = it;
    ++g_stats.items;
    g_vif.tail.store(t + 1, std::memory_order_seq_cst);
    if (g_mode == StageMode::kThread) Wake(g_vif);
}

}  // namespace

void SetStageMode(StageMode mode) {
    StageDrain();
    if (mode == g_mode) return;
    StopThreads();
    g_mode = StageMode::kInline;
    g_vif.run = RunVifItem;
    g_gif.run = RunGifItem;
    if (mode == StageMode::kThread) {
        // The devices the stage feeds exist before the exit hook is registered (see AtExit).
        (void)vif::Vif1();
        (void)gif::Gif();
        (void)gs::Gs();
        (void)vu::Vu1Memory();
        if (!g_exitHook) {
            std::atexit(AtExit);
            g_exitHook = true;
        }
        if (const char* w = std::getenv("QZ_STAGE_GIF_WAIT")) g_takeOverGif = w[0] == '0';
        // The second half first: the first half's thread feeds it from its first item.
        if (pthread_create(&g_gif.thread, nullptr, HalfMain, &g_gif) != 0) {
            std::printf("dma: the geometry stage's threads could not be started; transfers run inline\n");
            return;
        }
        g_gif.threadRunning = true;
        if (pthread_create(&g_vif.thread, nullptr, HalfMain, &g_vif) != 0) {
            g_gif.stop.store(true, std::memory_order_seq_cst);
            g_gif.wake.fetch_add(1, std::memory_order_seq_cst);
            g_gif.wake.notify_one();
            pthread_join(g_gif.thread, nullptr);
            g_gif.threadRunning = false;
            g_gif.stop.store(false);
            std::printf("dma: the geometry stage's threads could not be started; transfers run inline\n");
            return;
        }
        g_vif.threadRunning = true;
    }
    g_watchStale.store(true, std::memory_order_release);
    g_mode = mode;
}

void StageStopBeforeLaterStatics() {
    if (g_vif.threadRunning) std::atexit(AtExit);
}

StageMode GetStageMode() {
    return g_mode;
}

bool StageQueues() {
    return g_mode != StageMode::kInline;
}

void StagePushData(int channel, const uint8_t* data, uint32_t qwc) {
    Push(Item{data, qwc, static_cast<uint8_t>(channel), Kind::kData, {0, 0}});
}

void StagePushTagWords(int channel, const uint8_t* tag) {
    Item it{nullptr, 0, static_cast<uint8_t>(channel), Kind::kTagWords, {0, 0}};
    std::memcpy(it.words, tag + 8, 8);
    Push(it);
}

void StagePushEnd(int channel) {
    Push(Item{nullptr, 0, static_cast<uint8_t>(channel), Kind::kEnd, {0, 0}});
}

void StageGifWrite(int path, const void* data, size_t qwc) {
    if (!t_toGifRing) {
        gif::Gif().Write(path, data, qwc);
        return;
    }
    if (qwc == 0) return;
    g_watch.Write(path, data, qwc);
    GifItem it{static_cast<const uint8_t*>(data), uint32_t(qwc), uint8_t(path), GifKind::kData, 0};
    // Copied even where it lies in a transfer's data: the second half may run on after the vertical blank,
    // when the game writes its next lists over that data.
    PushGif(it, data, data ? qwc * 16 : 0);
}

void StageSendGif(int path, const void* data, size_t qwc) {
    t_feeds = true;
    StageDrainFirstHalf();
    if (!GifQueues()) {
        gif::Gif().Write(path, data, qwc);
        gif::Gif().EndTransfer(path);
        return;
    }
    // The first half is empty, and the game alone feeds it: nothing else fills the second half's ring
    // until the next kick.
    FreshWatch();
    const bool was = t_toGifRing;
    t_toGifRing = true;
    StageGifWrite(path, data, qwc);
    StageGifEnd(path);
    t_toGifRing = was;
}

void* StageGifReserve(size_t qwc) {
    if (!t_toGifRing || g_fill.reserved || qwc == 0 || qwc * 16 > kMaxReserve) return nullptr;
    const uint64_t bytes = qwc * 16;
    // The room is in one piece: where the ring would wrap inside it, the rest of the ring is skipped.
    const size_t at = size_t(g_fill.copiedTail % kCopyBytes);
    const uint64_t skip = at + bytes > kCopyBytes ? kCopyBytes - at : 0;
    MakeGifRoom(skip + bytes);
    g_fill.copiedTail += skip;
    g_fill.reservedAt = g_fill.copiedTail;
    g_fill.reservedBytes = bytes;
    g_fill.copiedTail += bytes;
    g_fill.reserved = true;
    return g_copies + size_t(g_fill.reservedAt % kCopyBytes);
}

void StageGifCommit(int path, size_t qwc) {
    if (!g_fill.reserved) return;
    const uint64_t bytes = std::min<uint64_t>(qwc * 16, g_fill.reservedBytes);
    // Nothing queued behind the room: what the packet leaves unused is free again.
    if (g_fill.copiedTail == g_fill.reservedAt + g_fill.reservedBytes)
        g_fill.copiedTail = g_fill.reservedAt + bytes;
    g_fill.reserved = false;
    if (bytes == 0) return;
    const uint8_t* data = g_copies + size_t(g_fill.reservedAt % kCopyBytes);
    g_watch.Write(path, data, bytes / 16);
    PushGif(GifItem{data, uint32_t(bytes / 16), uint8_t(path), GifKind::kData, 0}, nullptr, 0);
}

void StageGifEnd(int path) {
    if (!t_toGifRing) {
        gif::Gif().EndTransfer(path);
        return;
    }
    g_watch.EndTransfer(path);
    PushGif(GifItem{nullptr, 0, uint8_t(path), GifKind::kEnd, 0}, nullptr, 0);
}

void StageLogf(const char* fmt, ...) {
    char line[256];
    va_list ap;
    va_start(ap, fmt);
    const int n = std::vsnprintf(line, sizeof line, fmt, ap);
    va_end(ap);
    if (n <= 0) return;
    const size_t len = std::min(size_t(n), sizeof line - 1);
    if (!t_toGifRing) {
        std::fwrite(line, 1, len, stdout);
        return;
    }
    PushGif(GifItem{nullptr, 0, 1, GifKind::kLog, 0}, line, len);
}

bool StageOrderOutput(int stream, const char* text, size_t len) {
    if (g_mode.load(std::memory_order_relaxed) == StageMode::kInline) return false;
    const GifItem line{nullptr, 0, uint8_t(stream == 2 ? 2 : 1), GifKind::kLog, 0};
    if (t_toGifRing) {
        PushGif(line, text, len);
        return true;
    }
    // The second half prints in order. The game's line waits for the first half (whose lines then sit in
    // the second half's ring) and goes behind what the second half still holds, or out now when that is
    // empty: the game goes on without waiting for the GS.
    if (t_running != 0) return false;
    if (!t_feeds) {
        // Another thread's line: once everything sent before has run.
        StageDrain();
        return false;
    }
    StageDrainFirstHalf();
    if (!GifQueues() ||
        g_gif.head.load(std::memory_order_acquire) == g_gif.tail.load(std::memory_order_relaxed))
        return false;
    PushGif(line, text, len);
    return true;
}

gs::GsDevice::DrawWindow StageDrawWindowFor(uint64_t prim) {
    if (t_toGifRing) return g_watch.WindowFor(prim);
    return gs::Gs().WindowFor(prim);
}

namespace {
// The second half's items before `end`, run here (taken over from its thread) or waited for.
void RunSecondHalfUntil(uint64_t end) {
    if (!g_gif.threadRunning) {
        RunQueuedHere(g_gif, end);
    } else if (g_takeOverGif) {
        TakeOverAndRun(g_gif, end);
    } else {
        WaitUntilRun(g_gif, end);
    }
}
}  // namespace

void StageDrainFirstHalf() {
    if (g_mode == StageMode::kInline) return;
    if (g_vif.head.load(std::memory_order_acquire) == g_vif.tail.load(std::memory_order_relaxed)) return;
    ++g_stats.firstHalfDrains;
    const uint64_t t0 = NowNanos();
    RunFirstHalfHere();
    g_stats.waitNanos += NowNanos() - t0;
}

void StageDrain() {
    if (g_mode == StageMode::kInline) return;
    const uint64_t target = g_vif.tail.load(std::memory_order_relaxed);
    if (g_vif.head.load(std::memory_order_acquire) == target &&
        g_gif.head.load(std::memory_order_acquire) == g_gif.tail.load(std::memory_order_acquire)) {
        g_watchStale.store(true, std::memory_order_release);
        return;
    }
    ++g_stats.drains;
    const uint64_t t0 = NowNanos();
    if (g_vif.head.load(std::memory_order_acquire) != target) RunFirstHalfHere();
    RunSecondHalfUntil(UINT64_MAX);
    g_stats.waitNanos += NowNanos() - t0;
    g_watchStale.store(true, std::memory_order_release);
}

void StageBlank() {
    if (g_mode == StageMode::kInline) return;
    StageDrainFirstHalf();
    // The GS is at most one frame behind: what was sent before the last blank has been drawn. (Otherwise
    // its lag would grow up to what its ring holds, a few frames, and a frame would cost the game and
    // geometry only while the ring fills.)
    if (g_gif.head.load(std::memory_order_acquire) < g_lastBlankMark) {
        const uint64_t t0 = NowNanos();
        RunSecondHalfUntil(g_lastBlankMark);
        g_stats.waitNanos += NowNanos() - t0;
    }
    g_lastBlankMark = g_gif.tail.load(std::memory_order_acquire);
}

void StageDrainIfReading(const void* start, size_t bytes) {
    if (g_mode == StageMode::kInline || bytes == 0) return;
    const uintptr_t lo = reinterpret_cast<uintptr_t>(start), hi = lo + bytes;
    // The first half's items between the head and the tail are the producer's own writes, unchanged until
    // it pushes again: it may read them while the stage runs them. Only a page some queued item reads is
    // looked at item by item.
    // The second half reads only its own copies: only the first half's items matter.
    const uint64_t t = g_vif.tail.load(std::memory_order_relaxed);
    const uint64_t vh = g_vif.head.load(std::memory_order_acquire);
    if (vh != t && PagesQueued(lo, hi, vh)) {
        ++g_stats.pageHits;
        for (uint64_t h = vh; h != t; ++h) {
            const Item& it = g_ring[h & (kItems - 1)];
            if (it.kind != Kind::kData) continue;
            const uintptr_t a = reinterpret_cast<uintptr_t>(it.data);
            if (a < hi && lo < a + size_t(it.qwc) * 16) {
                StageDrainFirstHalf();
                return;
            }
        }
    }
}

StageStats GetStageStats() {
    StageStats s = g_stats;
    s.gifItems = g_gifItems.load(std::memory_order_relaxed);
    s.gifFullWaits = g_gifFullWaits.load(std::memory_order_relaxed);
    s.gifRun = g_gif.head.load(std::memory_order_acquire);
    return s;
}

}  // namespace console::dma
