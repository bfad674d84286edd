// The rasteriser threads (see rasterizer_bands.h): starting and stopping the workers, a slot's stretch
// drawn, commands queued and published, and the caller's waits. What a primitive touches is worked out in
// rasterizer_bands_claim.cpp and kept in rasterizer_bands_records.cpp; image data in and out of local
// memory goes through rasterizer_bands_transfer.cpp.
#include "console/gs/rasterizer_bands.h"

#include <emmintrin.h>
#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>

#include "console/gs/rasterizer_bands_internal.h"
#include "console/gs/rasterizer_internal.h"

namespace console::gs {

using namespace raster;
using namespace bands;

namespace {

// How long a waiting thread polls before it sleeps: enough to bridge the gap between two batches of
// primitives (a wake-up through the kernel takes tens of microseconds), short enough not to take a core
// from the game or another program. Timed by the clock: a pause lasts from a few to over a hundred cycles
// depending on the processor.
constexpr auto kSpinTime = std::chrono::microseconds(40);

// Polls `ready` every few pauses until it holds (true) or kSpinTime has passed (false).
template <class Ready>
bool SpinUntil(Ready&& ready) {
    const auto end = std::chrono::steady_clock::now() + kSpinTime;
    for (;;) {
        for (int i = 0; i < 16; ++i) _mm_pause();
        if (ready()) return true;
        if (std::chrono::steady_clock::now() >= end) return false;
    }
}

// Sleeps while `word` holds `seen`, and wakes every sleeper on `word`: process-private futexes, the
// cheapest the kernel offers (spurious wake-ups are fine, callers check their condition again).
static_assert(sizeof(std::atomic<uint32_t>) == sizeof(uint32_t), "futex words are plain 32-bit words");
void Sleep(std::atomic<uint32_t>& word, uint32_t seen) {
    syscall(SYS_futex, reinterpret_cast<uint32_t*>(&word), FUTEX_WAIT_PRIVATE, seen, nullptr, nullptr, 0);
}
void Wake(std::atomic<uint32_t>& word, int count) {
    syscall(SYS_futex, reinterpret_cast<uint32_t*>(&word), FUTEX_WAKE_PRIVATE, count, nullptr, nullptr, 0);
}
void WakeAll(std::atomic<uint32_t>& word) {
    Wake(word, INT_MAX);
}

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace

RasterBands::RasterBands(LocalMemory& mem, int threads) : mem_(mem), threads_(threads), self_(mem, true) {
    std::memset(reads_, 0, sizeof(reads_));
    std::memset(regionBits_, 0, sizeof(regionBits_));
    std::fill(std::begin(regionHash_), std::end(regionHash_), -1);
    std::fill(std::begin(bucketHead_), std::end(bucketHead_), -1);
}

RasterBands* RasterBands::Create(LocalMemory& mem, int threads) {
    threads = std::clamp(threads, 2, kMaxThreads);
    void* p = std::aligned_alloc(64, (sizeof(RasterBands) + 63) & ~size_t(63));
    if (!p) return nullptr;
    auto* b = new (p) RasterBands(mem, threads);
    b->copyData_ = static_cast<uint8_t*>(std::aligned_alloc(64, kCopyBytes));
    b->covered_ = static_cast<uint8_t*>(std::aligned_alloc(64, kCopyBytes));
    if (!b->copyData_ || !b->covered_) {
        Destroy(b);
        return nullptr;
    }
    for (int i = 0; i < threads - 1; ++i) {
        void* wp = std::aligned_alloc(64, (sizeof(Worker) + 63) & ~size_t(63));
        if (!wp) {
            Destroy(b);
            return nullptr;
        }
        b->workers_[i] = new (wp) Worker(b, mem);
        // Spread the workers' first looks over the slots.
        b->workers_[i]->start = (i * kSlots) / threads;
        if (pthread_create(&b->workers_[i]->thread, nullptr, &ThreadMain, b->workers_[i]) != 0) {
            b->workers_[i]->~Worker();
            std::free(wp);
            b->workers_[i] = nullptr;
            Destroy(b);
            return nullptr;
        }
        b->helpers_ = i + 1;
    }
    return b;
}

void RasterBands::Destroy(RasterBands* b) {
    if (!b) return;
    b->Join();
    b->stop_.store(true);
    b->wake_.fetch_add(1);
    WakeAll(b->wake_);
    for (int i = 0; i < b->helpers_; ++i) {
        Worker* w = b->workers_[i];
        pthread_join(w->thread, nullptr);
        w->~Worker();
        std::free(w);
    }
    std::free(b->copyData_);
    std::free(b->covered_);
    b->~RasterBands();
    std::free(b);
}

void* RasterBands::ThreadMain(void* worker) {
    auto* w = static_cast<Worker*>(worker);
    w->owner->Run(*w);
    return nullptr;
}

bool RasterBands::SlotReady(const Slot& sl) const {
    const uint64_t d = sl.done.load();
    if (d >= sl.published.load() || sl.busy.load()) return false;
    const uint64_t dep = sl.list[d % kCommands].load(std::memory_order_relaxed) & ((1u << kDepBits) - 1);
    return dep == 0 || const_cast<RasterBands*>(this)->DepMet(const_cast<Dep&>(deps_[dep - 1]), false);
}

bool RasterBands::AnyWork() const {
    for (const Slot& sl : slots_)
        if (SlotReady(sl)) return true;
    return false;
}

bool RasterBands::DepMet(Dep& d, bool mark) {
    if (d.met.load(std::memory_order_acquire)) return true;
    for (int i = 0; i < kSlots; ++i)
        if (slots_[i].done.load() < d.pos[i].load(std::memory_order_relaxed)) return false;
    if (mark) d.met.store(true, std::memory_order_release);
    return true;
}
bool RasterBands::DrawStretch(Rasterizer& rast, int& start) {
    for (int k = 0; k < kSlots; ++k) {
        const int i = (start + k) % kSlots;
        Slot& sl = slots_[i];
        if (sl.done.load(std::memory_order_relaxed) >= sl.published.load(std::memory_order_acquire) ||
            sl.busy.load(std::memory_order_relaxed) || sl.busy.exchange(true, std::memory_order_acquire))
            continue;
        // Taken: nobody else moves `done` until it is given back. The stretch ends early at a command
        // whose dependency is not drawn yet.
        const uint64_t first = sl.done.load(std::memory_order_relaxed);
        const uint64_t end =
            std::min<uint64_t>(sl.published.load(std::memory_order_acquire), first + kStretch);
        rast.SetBand(i, kSlots);
        uint64_t next = first;
        for (; next < end; ++next) {
            const uint64_t e = sl.list[next % kCommands].load(std::memory_order_relaxed);
            const uint64_t dep = e & ((1u << kDepBits) - 1);
            if (dep && !DepMet(deps_[dep - 1], true)) break;
            Draw(rast, commands_[(e >> kDepBits) % kCommands]);
        }
        // Sequentially consistent: the check of `waitTarget_` below must not pass these stores.
        if (next != first) sl.done.store(next);
        sl.busy.store(false);
        if (next == first) continue;
        start = i;
        const uint64_t target = waitTarget_.load();
        if (target != ~0ull && DoneBelow() >= target) {
            doneWake_.fetch_add(1);
            WakeAll(doneWake_);
        }
        // More work than this thread takes next (a dependency met, say): a sleeping worker shares it.
        if (sleepers_.load() > 0) {
            int ready = 0;
            for (const Slot& o : slots_) ready += SlotReady(o) ? 1 : 0;
            if (ready >= 2) {
                wake_.fetch_add(1);
                Wake(wake_, 1);
            }
        }
        return true;
    }
    return false;
}
void RasterBands::SetHeld(bool held) {
    held_.store(held);
    wake_.fetch_add(1);
    WakeAll(wake_);
}

void RasterBands::Run(Worker& w) {
    for (;;) {
        if (!held_.load(std::memory_order_relaxed) && DrawStretch(w.rast, w.start)) continue;
        if (stop_.load()) return;
        const bool more = SpinUntil([&] {
            return (AnyWork() && !held_.load(std::memory_order_relaxed)) ||
                   stop_.load(std::memory_order_relaxed);
        });
        if (more) continue;
        // Sleep until the producer publishes: it wakes us whenever it sees a sleeper after publishing.
        const uint32_t seen = wake_.load();
        sleepers_.fetch_add(1);
        if ((held_.load() || !AnyWork()) && !stop_.load()) Sleep(wake_, seen);
        sleepers_.fetch_sub(1);
    }
}

void RasterBands::Draw(Rasterizer& rast, const Command& c) {
    if (c.kind == kCopy) {
        const Copy& cp = copies_[c.state];
        DoCopy(cp, copyData_ + cp.data % kCopyBytes);
        return;
    }
    const DrawState& st = states_[c.state].st;
    switch (c.kind) {
        case PrimKind::kPoint:
            rast.DrawPoint(st, c.v[0]);
            break;
        case PrimKind::kLine:
            rast.DrawLine(st, c.v[0], c.v[1]);
            break;
        case PrimKind::kTriangle:
            rast.DrawTriangle(st, c.v[0], c.v[1], c.v[2], c.v[2]);
            break;
        case PrimKind::kSprite:
            rast.DrawSprite(st, c.v[0], c.v[1]);
            break;
    }
}

void RasterBands::Publish(bool wakeAll) {
    if (handedOut_ != queued_) {
        handedOut_ = queued_;
        // Only the slots given entries since the last time (each store takes a line the workers poll).
        for (uint32_t m = unpublished_; m; m &= m - 1) {
            const int i = __builtin_ctz(m);
            slots_[i].published.store(listed_[i], std::memory_order_release);
        }
        unpublished_ = 0;
        // The stores above come before the look at sleepers_ below, as a worker's count of itself as a
        // sleeper comes before its look for work: one of the two sees the other.
        std::atomic_thread_fence(std::memory_order_seq_cst);
    }
    // Waking a thread costs a system call and a trip through the scheduler: one sleeping worker is woken
    // when a good share of work has gathered since the last wake, every one when the producer is about to
    // wait for them.
    if (wokenAt_ != queued_ && (wakeAll || queued_ - wokenAt_ >= kWakeBatch) && sleepers_.load() > 0) {
        wokenAt_ = queued_;
        ++stats_.wakes;
        wake_.fetch_add(1);
        Wake(wake_, wakeAll ? INT_MAX : 1);
    }
}

uint64_t RasterBands::DoneBelow() const {
    uint64_t low = ~0ull;
    for (const Slot& sl : slots_) {
        const uint64_t d = sl.done.load();
        if (d < sl.published.load())
            low = std::min(low, sl.list[d % kCommands].load(std::memory_order_relaxed) >> kDepBits);
    }
    return low;
}

uint64_t RasterBands::Floor() {
    if (floor_ < handedOut_) floor_ = std::max(floor_, std::min(DoneBelow(), handedOut_));
    return floor_;
}
void RasterBands::WaitDone(uint64_t target, Wait why) {
    // Often done already (a state slot or queue entry reused long after its commands were drawn).
    if (target <= floor_ || (target <= handedOut_ && Floor() >= target)) return;
    Publish(true);
    if (Floor() >= target) return;
    ++stats_.requests[int(why)];
    const double t0 = timing_ ? Now() : 0;
    for (;;) {
        // Draw while waiting: any stretch nobody has taken.
        bool reached = false;
        for (;;) {
            const double d0 = timing_ ? Now() : 0;
            if (!DrawStretch(self_, selfStart_)) break;
            ++stats_.stretches;
            if (timing_) stats_.drawSeconds += Now() - d0;
            if (DoneBelow() >= target) {
                reached = true;
                break;
            }
        }
        if (reached) break;
        const bool ready = SpinUntil([&] { return DoneBelow() >= target || AnyWork(); });
        if (DoneBelow() >= target) break;
        if (ready) continue;  // work to take
        // Sleep until the target is reached: the thread that gets there wakes us (it stores its progress
        // before it reads the target, and we store the target before we read the progress: one of the
        // two sees the other).
        waitTarget_.store(target);
        const uint32_t seen = doneWake_.load();
        if (DoneBelow() < target && !AnyWork()) {
            ++stats_.callerSleeps;
            Sleep(doneWake_, seen);
        }
        waitTarget_.store(~0ull);
        if (DoneBelow() >= target) break;
    }
    if (timing_) stats_.waitSeconds[int(why)] += Now() - t0;
}

void RasterBands::Join(Wait why) {
    WaitDone(queued_, why);
    ClearClaims();
}

uint64_t RasterBands::PixelsProcessed() const {
    uint64_t n = self_.PixelsProcessed();
    for (int i = 0; i < helpers_; ++i) n += workers_[i]->rast.PixelsProcessed();
    return n;
}

bool RasterBands::Drawn(const uint64_t* pos) {
    uint32_t behind = Behind<kSlots>(pos, drawnTo_);
    // Only the slots the caller's copy does not vouch for are read again (each one a line a worker
    // writes), up to the first still short of its position. Read after the writes the positions stand
    // for: those are seen too.
    for (; behind; behind &= behind - 1) {
        const int i = __builtin_ctz(behind);
        drawnTo_[i] = slots_[i].done.load();
        if (pos[i] > drawnTo_[i]) return false;
    }
    return true;
}

uint64_t RasterBands::DepFor(const Claimed& c) {
    if (!c.needs || Drawn(c.need)) return 0;
    ++stats_.dependencies[int(c.why)];
    // The same positions as the last dependency made (the primitives reading one texture): share it.
    if (depsPushed_ > 0 && std::memcmp(lastNeed_, c.need, sizeof(lastNeed_)) == 0) {
        const uint32_t index = uint32_t((depsPushed_ - 1) % kDeps);
        deps_[index].lastCommand = queued_;
        return index + 1;
    }
    const uint32_t index = uint32_t(depsPushed_ % kDeps);
    Dep& d = deps_[index];
    if (depsPushed_ >= kDeps) WaitDone(d.lastCommand + 1, Wait::kDependencies);
    for (int i = 0; i < kSlots; ++i) d.pos[i].store(c.need[i], std::memory_order_relaxed);
    d.met.store(false, std::memory_order_relaxed);
    d.lastCommand = queued_;
    std::memcpy(lastNeed_, c.need, sizeof(lastNeed_));
    ++depsPushed_;
    ++stats_.dependencyRecords;
    return index + 1;
}

bool RasterBands::Queue(PrimKind kind, const DrawState& st, uint64_t stateVersion, const GsVertex* v) {
    const int count = kind == PrimKind::kPoint ? 1 : (kind == PrimKind::kTriangle ? 3 : 2);
    if (layoutCount_ >= 4 && queued_ % 128 == 0) PruneLayouts();
    Claimed cl;
    Fit fit = Claim(kind, st, stateVersion, v, count, &cl);
    if (fit == Fit::kEmpty) return true;  // nothing inside the scissor: nothing to draw
    if (fit == Fit::kQueueClash) {
        Join(clashWhy_);
        fit = Claim(kind, st, stateVersion, v, count, &cl);
    }
    if (fit != Fit::kFits) {
        Join(Wait::kAlone);
        return false;
    }
    if (statesPushed_ == 0 || stateVersion != lastVersion_) {
        StateSlot& s = states_[statesPushed_ % kStates];
        StateUse& use = stateUse_[statesPushed_ % kStates];
        if (statesPushed_ >= kStates) WaitDone(use.lastCommand + 1, Wait::kStates);
        s.st = st;
        use.palette = -1;
        if (st.textured && (st.tpsm == kPsmT8 || st.tpsm == kPsmT4)) {
            // The device's palette may be reloaded while the command waits: draw with a copy, shared by
            // the states that follow while it stays the same.
            const uint32_t entries = st.tpsm == kPsmT4 ? 16 : 256;
            PaletteSlot* p = palettesPushed_ ? &palettes_[(palettesPushed_ - 1) % kPalettes] : nullptr;
            if (!p || p->entries < entries ||
                std::memcmp(p->clut, st.clut, entries * sizeof(uint32_t)) != 0) {
                p = &palettes_[palettesPushed_ % kPalettes];
                if (palettesPushed_ >= kPalettes)
                    WaitDone(paletteLast_[palettesPushed_ % kPalettes] + 1, Wait::kPalettes);
                std::memcpy(p->clut, st.clut, entries * sizeof(uint32_t));
                p->entries = entries;
                ++palettesPushed_;
            }
            s.st.clut = p->clut;
            use.palette = int((palettesPushed_ - 1) % kPalettes);
        }
        lastVersion_ = stateVersion;
        ++statesPushed_;
    }
    const uint32_t state = uint32_t((statesPushed_ - 1) % kStates);
    if (queued_ >= kCommands) WaitDone(queued_ - kCommands + 1, Wait::kCommands);
    const uint64_t entry = (queued_ << kDepBits) | DepFor(cl);
    // The ring's lines were last read by the workers: fetched for writing a few commands ahead (both
    // lines of one).
    static_assert(sizeof(Command) == 128, "a command is two cache lines");
    const Command* ahead = &commands_[(queued_ + kAhead) % kCommands];
    __builtin_prefetch(ahead, 1);
    __builtin_prefetch(reinterpret_cast<const char*>(ahead) + 64, 1);
    Command& c = commands_[queued_ % kCommands];
    c.kind = kind;
    c.state = state;
    for (int i = 0; i < count; ++i) c.v[i] = v[i];
    // Listed in every slot whose bands its rows can reach (every slot once they span a full turn). A
    // slot's list has room for kCommands entries: no more than that are ever waiting.
    const int firstBand = cl.first >> Rasterizer::kBandShift, lastBand = cl.last >> Rasterizer::kBandShift;
    const int last = lastBand - firstBand + 1 >= kSlots ? firstBand + kSlots - 1 : lastBand;
    for (int b = firstBand; b <= last; ++b) {
        const int i = b % kSlots;
        // (The slot's next line of entries fetched for writing ahead too.)
        __builtin_prefetch(&slots_[i].list[(listed_[i] + 8) % kCommands], 1);
        slots_[i].list[listed_[i] % kCommands].store(entry, std::memory_order_relaxed);
        const uint64_t listed = ++listed_[i];
        unpublished_ |= 1u << i;
        for (int u = 0; u < 2; ++u)
            if (cl.layout[u] >= 0) layouts_[cl.layout[u]].lastPos[i] = listed;
        if (cl.reads) readPos_[i] = listed;
        if (cl.region >= 0) regions_[cl.region].pos[i] = listed;
    }
    for (int u = 0; u < 2; ++u)
        if (cl.layout[u] >= 0) layouts_[cl.layout[u]].lastCommand = queued_;
    ++stats_.commands;
    stats_.listed += uint64_t(last - firstBand + 1);
    StateUse& use = stateUse_[state];
    use.lastCommand = queued_;
    if (use.palette >= 0) paletteLast_[use.palette] = queued_;
    ++queued_;
    if (queued_ - handedOut_ >= kBatch) Publish(false);
    return true;
}

}  // namespace console::gs
