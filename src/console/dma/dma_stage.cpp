#include "console/dma/dma_stage.h"

#include <pthread.h>
#include <time.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "console/dma/dma.h"
#include "console/gif/gif_interpreter.h"
#include "console/gs/gs_device.h"
#include "console/vif/vif.h"
#include "console/vu/vu_memory.h"

namespace console::dma {
namespace {

enum class Kind : uint8_t { kData, kTagWords, kEnd };

struct Item {
    const uint8_t* data;
    uint32_t qwc;
    uint8_t channel;
    Kind kind;
    uint32_t words[2];
};

// A ring of items: the producer (the kicking thread) owns the tail; whoever holds the runner token owns the
// head. Counters wrap; only their differences matter.
constexpr uint32_t kItems = 1u << 16;
Item g_ring[kItems];
std::atomic<uint32_t> g_tail{0};
std::atomic<uint32_t> g_head{0};

// Who runs items: nobody, the stage's thread, or the producer. The producer takes over at a drain: the
// stage's thread gives the token up after the item it is running, so a drain never waits for the stage's
// thread to be scheduled again, and a stage thread that was slow to start costs nothing but the overlap.
enum : int { kNobody = 0, kStageRuns = 1, kProducerRuns = 2 };
std::atomic<int> g_runner{kNobody};
std::atomic<bool> g_producerWants{false};
std::atomic<bool> g_stop{false};
std::atomic<bool> g_stageSleeping{false};
// Bumped to wake a sleeping stage (new items, or the stop).
std::atomic<uint32_t> g_wake{0};
// Bumped when the stage's thread gives the token back to a producer that wants it.
std::atomic<uint32_t> g_released{0};

StageMode g_mode = StageMode::kInline;
pthread_t g_thread{};
bool g_threadRunning = false;
bool g_exitHook = false;
StageStats g_stats{};

// Spins before sleeping, in pauses: items that follow soon after, or a token about to come back, cost no
// system call. Short: neither side ever needs the other to be running.
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

void RunItem(const Item& it) {
    switch (it.kind) {
        case Kind::kData:
            if (it.channel == SCE_DMA_VIF1) {
                vif::Vif1().Write(reinterpret_cast<const uint32_t*>(it.data), size_t(it.qwc) * 4);
            } else {
                gif::Gif().Write(3, it.data, it.qwc);
            }
            break;
        case Kind::kTagWords:
            vif::Vif1().Write(it.words, 2);
            break;
        case Kind::kEnd:
            if (it.channel == SCE_DMA_VIF1) {
                vif::Vif1().EndTransfer();
            } else {
                gif::Gif().EndTransfer(3);
            }
            break;
    }
}

// Runs everything queued on this thread; the caller holds the token (or no stage thread exists).
void RunQueuedHere() {
    uint32_t h = g_head.load(std::memory_order_relaxed);
    const uint32_t t = g_tail.load(std::memory_order_acquire);
    while (h != t) {
        RunItem(g_ring[h & (kItems - 1)]);
        ++h;
    }
    g_head.store(h, std::memory_order_release);
}

void* StageMain(void*) {
    for (;;) {
        const uint32_t h0 = g_head.load(std::memory_order_acquire);
        if (g_tail.load(std::memory_order_acquire) == h0 || g_producerWants.load(std::memory_order_acquire)) {
            if (g_stop.load(std::memory_order_acquire)) break;
            int i = 0;
            while (i < kSpins &&
                   g_tail.load(std::memory_order_acquire) == g_head.load(std::memory_order_acquire) &&
                   !g_stop.load(std::memory_order_relaxed)) {
                Pause();
                ++i;
            }
            if (i < kSpins && !g_producerWants.load(std::memory_order_acquire)) continue;
            const uint32_t w = g_wake.load(std::memory_order_seq_cst);
            g_stageSleeping.store(true, std::memory_order_seq_cst);
            if (!g_stop.load(std::memory_order_seq_cst) &&
                (g_tail.load(std::memory_order_seq_cst) == g_head.load(std::memory_order_seq_cst) ||
                 g_producerWants.load(std::memory_order_seq_cst)))
                g_wake.wait(w, std::memory_order_seq_cst);
            g_stageSleeping.store(false, std::memory_order_relaxed);
            continue;
        }
        int expected = kNobody;
        if (!g_runner.compare_exchange_strong(expected, kStageRuns, std::memory_order_acquire)) continue;
        uint32_t h = g_head.load(std::memory_order_relaxed);
        while (!g_producerWants.load(std::memory_order_acquire)) {
            if (h == g_tail.load(std::memory_order_acquire)) break;
            RunItem(g_ring[h & (kItems - 1)]);
            ++h;
            g_head.store(h, std::memory_order_release);
        }
        g_runner.store(kNobody, std::memory_order_seq_cst);
        if (g_producerWants.load(std::memory_order_seq_cst)) {
            g_released.fetch_add(1, std::memory_order_seq_cst);
            g_released.notify_one();
        }
    }
    return nullptr;
}

// Takes the token from the stage's thread (which gives it up after its current item) and runs what is
// queued here.
void TakeOverAndRun() {
    g_producerWants.store(true, std::memory_order_seq_cst);
    for (int i = 0;; ++i) {
        const uint32_t r = g_released.load(std::memory_order_seq_cst);
        int expected = kNobody;
        if (g_runner.compare_exchange_strong(expected, kProducerRuns, std::memory_order_seq_cst)) break;
        if (i < kSpins) {
            Pause();
        } else {
            g_released.wait(r, std::memory_order_seq_cst);
        }
    }
    RunQueuedHere();
    g_runner.store(kNobody, std::memory_order_release);
    g_producerWants.store(false, std::memory_order_seq_cst);
}

void StopThread() {
    if (!g_threadRunning) return;
    TakeOverAndRun();
    g_stop.store(true, std::memory_order_seq_cst);
    g_wake.fetch_add(1, std::memory_order_seq_cst);
    g_wake.notify_one();
    pthread_join(g_thread, nullptr);
    g_threadRunning = false;
    g_stop.store(false);
}

// The process may end while the stage runs (a return from main, or an exit call, with transfers queued):
// the thread stops before the objects it uses are destroyed. The hook is registered after those objects
// exist (the devices when the thread starts, each microprogram when it is registered), so it runs before
// their destructors.
void AtExit() {
    StopThread();
    g_mode = StageMode::kInline;
}

void Push(const Item& it) {
    const uint32_t t = g_tail.load(std::memory_order_relaxed);
    if (t - g_head.load(std::memory_order_acquire) == kItems) {
        ++g_stats.fullWaits;
        if (g_mode == StageMode::kDeferred) {
            RunQueuedHere();
        } else {
            TakeOverAndRun();
        }
    }
    g_ring[t & (kItems - 1)] = it;
    ++g_stats.items;
    g_tail.store(t + 1, std::memory_order_seq_cst);
    // One wake-up however many items follow before the stage's thread is running again.
    if (g_mode == StageMode::kThread && g_stageSleeping.load(std::memory_order_seq_cst) &&
        g_stageSleeping.exchange(false, std::memory_order_seq_cst)) {
        g_wake.fetch_add(1, std::memory_order_seq_cst);
        g_wake.notify_one();
    }
}

}  // namespace

void SetStageMode(StageMode mode) {
    StageDrain();
    if (mode == g_mode) return;
    StopThread();
    g_mode = StageMode::kInline;
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
        g_stop.store(false);
        if (pthread_create(&g_thread, nullptr, StageMain, nullptr) != 0) {
            std::printf("dma: the geometry stage's thread could not be started; transfers run inline\n");
            return;
        }
        g_threadRunning = true;
    }
    g_mode = mode;
}

void StageStopBeforeLaterStatics() {
    if (g_threadRunning) std::atexit(AtExit);
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

void StageDrain() {
    if (g_mode == StageMode::kInline) return;
    const uint32_t target = g_tail.load(std::memory_order_relaxed);
    if (g_head.load(std::memory_order_acquire) == target) return;
    ++g_stats.drains;
    const uint64_t t0 = NowNanos();
    if (g_mode == StageMode::kDeferred) {
        RunQueuedHere();
    } else {
        TakeOverAndRun();
    }
    g_stats.waitNanos += NowNanos() - t0;
}

void StageDrainIfReading(const void* start, size_t bytes) {
    if (g_mode == StageMode::kInline) return;
    // The items between the head and the tail are the producer's own writes, unchanged until it pushes
    // again: it may read them while the stage runs them.
    const uint32_t t = g_tail.load(std::memory_order_relaxed);
    const uintptr_t lo = reinterpret_cast<uintptr_t>(start), hi = lo + bytes;
    for (uint32_t h = g_head.load(std::memory_order_acquire); h != t; ++h) {
        const Item& it = g_ring[h & (kItems - 1)];
        if (it.kind != Kind::kData) continue;
        const uintptr_t a = reinterpret_cast<uintptr_t>(it.data);
        if (a < hi && lo < a + size_t(it.qwc) * 16) {
            StageDrain();
            return;
        }
    }
}

StageStats GetStageStats() {
    return g_stats;
}

}  // namespace console::dma
