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

#include "console/gs/rasterizer_internal.h"

namespace console::gs {

using namespace raster;

namespace {

// Pauses a waiting thread spends polling before it sleeps (a few microseconds): enough to bridge the gap
// between two batches of primitives, short enough not to take a core from the game or another program.
constexpr int kSpins = 300;

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

// Whether two wrapping byte ranges of local memory share a byte.
bool Overlap(uint32_t aStart, uint32_t aBytes, uint32_t bStart, uint32_t bBytes) {
    return ((bStart - aStart) & kMask) < aBytes || ((aStart - bStart) & kMask) < bBytes;
}

// Calls fn(first, last) for the blocks (inclusive) of a wrapping byte range, in one or two runs.
template <class Fn>
bool ForBlocks(uint32_t start, uint32_t bytes, uint32_t blocks, Fn fn) {
    const uint32_t first = start / LocalMemory::kBlockBytes;
    const uint32_t last = (start + bytes - 1) / LocalMemory::kBlockBytes;
    if (last < blocks) return fn(first, last);
    return fn(first, blocks - 1) || fn(0, last - blocks);
}

bool AnyBits(const uint64_t* bits, uint32_t b0, uint32_t b1) {
    for (uint32_t w = b0 / 64; w <= b1 / 64; ++w) {
        uint64_t m = ~0ull;
        if (w == b0 / 64) m &= ~0ull << (b0 % 64);
        if (w == b1 / 64) m &= ~0ull >> (63 - b1 % 64);
        if (bits[w] & m) return true;
    }
    return false;
}

bool SetBits(uint64_t* bits, uint32_t b0, uint32_t b1) {
    for (uint32_t w = b0 / 64; w <= b1 / 64; ++w) {
        uint64_t m = ~0ull;
        if (w == b0 / 64) m &= ~0ull << (b0 % 64);
        if (w == b1 / 64) m &= ~0ull >> (63 - b1 % 64);
        bits[w] |= m;
    }
    return false;
}

// The largest texel coordinate a wrap mode gives on one axis.
uint32_t MaxTexel(uint32_t mode, uint32_t log2Size, uint32_t mn, uint32_t mx) {
    switch (mode) {
        case 0:
        case 1:
            return (1u << log2Size) - 1u;
        case 2:
            return std::max(mn, mx);
        default:
            return mn | mx;
    }
}

}  // namespace

RasterBands::RasterBands(LocalMemory& mem, int threads) : mem_(mem), threads_(threads), self_(mem, true) {
    std::memset(reads_, 0, sizeof(reads_));
}

RasterBands* RasterBands::Create(LocalMemory& mem, int threads) {
    threads = std::clamp(threads, 2, kMaxThreads);
    void* p = std::aligned_alloc(64, (sizeof(RasterBands) + 63) & ~size_t(63));
    if (!p) return nullptr;
    auto* b = new (p) RasterBands(mem, threads);
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
    b->~RasterBands();
    std::free(b);
}

void* RasterBands::ThreadMain(void* worker) {
    auto* w = static_cast<Worker*>(worker);
    w->owner->Run(*w);
    return nullptr;
}

bool RasterBands::AnyWork() const {
    for (const Slot& sl : slots_)
        if (sl.done.load() < sl.published.load() && !sl.busy.load()) return true;
    return false;
}

bool RasterBands::DrawStretch(Rasterizer& rast, int& start) {
    for (int k = 0; k < kSlots; ++k) {
        const int i = (start + k) % kSlots;
        Slot& sl = slots_[i];
        if (sl.done.load(std::memory_order_relaxed) >= sl.published.load(std::memory_order_acquire) ||
            sl.busy.load(std::memory_order_relaxed) || sl.busy.exchange(true, std::memory_order_acquire))
            continue;
        // Taken: nobody else moves `done` until it is given back.
        uint64_t next = sl.done.load(std::memory_order_relaxed);
        const uint64_t end =
            std::min<uint64_t>(sl.published.load(std::memory_order_acquire), next + kStretch);
        rast.SetBand(i, kSlots);
        for (; next < end; ++next)
            Draw(rast, commands_[sl.list[next % kCommands].load(std::memory_order_relaxed) % kCommands]);
        // Sequentially consistent: the check of `waitTarget_` below must not pass these stores.
        sl.done.store(next);
        sl.busy.store(false);
        start = i;
        const uint64_t target = waitTarget_.load();
        if (target != ~0ull && DoneBelow() >= target) {
            doneWake_.fetch_add(1);
            WakeAll(doneWake_);
        }
        return true;
    }
    return false;
}

void RasterBands::Run(Worker& w) {
    for (;;) {
        if (DrawStretch(w.rast, w.start)) continue;
        if (stop_.load()) return;
        bool more = false;
        for (int i = 0; i < kSpins && !more; ++i) {
            _mm_pause();
            if ((i & 15) == 15) more = AnyWork() || stop_.load(std::memory_order_relaxed);
        }
        if (more) continue;
        // Sleep until the producer publishes: it wakes us whenever it sees a sleeper after publishing.
        const uint32_t seen = wake_.load();
        sleepers_.fetch_add(1);
        if (!AnyWork() && !stop_.load()) Sleep(wake_, seen);
        sleepers_.fetch_sub(1);
    }
}

void RasterBands::Draw(Rasterizer& rast, const Command& c) {
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
        for (Slot& sl : slots_)
            if (sl.published.load(std::memory_order_relaxed) != sl.queued) sl.published.store(sl.queued);
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
            low = std::min(low, sl.list[d % kCommands].load(std::memory_order_relaxed));
    }
    return low;
}

void RasterBands::WaitDone(uint64_t target, Wait why) {
    // Often done already (a state slot or queue entry reused long after its commands were drawn).
    if (target <= handedOut_ && DoneBelow() >= target) return;
    Publish(true);
    if (DoneBelow() >= target) return;
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
        bool ready = false;
        for (int s = 0; s < kSpins && !ready; ++s) {
            _mm_pause();
            if ((s & 15) == 15) ready = DoneBelow() >= target || AnyWork();
        }
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

void RasterBands::Settle(uint32_t start, uint32_t bytes, bool write, Wait why) {
    if (!claimed_ || bytes == 0) return;
    bytes = std::min<uint32_t>(bytes, LocalMemory::kSize);
    auto clashes = [&](const uint64_t* bits) {
        return ForBlocks(start & kMask, bytes, kBlocks,
                         [&](uint32_t b0, uint32_t b1) { return AnyBits(bits, b0, b1); });
    };
    bool clash = write && clashes(reads_);
    for (int k = 0; k < layoutCount_ && !clash; ++k) clash = clashes(layouts_[k].bits);
    if (clash) Join(why);
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

void RasterBands::ClearClaims() {
    if (!claimed_) return;
    std::memset(reads_, 0, sizeof(reads_));
    layoutCount_ = 0;
    lastTex_ = Range{0, 0};
    claimed_ = false;
}

RasterBands::Fit RasterBands::Claim(const DrawState& st, const GsVertex* v, int count, RowSpan* rows) {
    // Pixels the primitive can cover: its vertices' box with a pixel to spare, inside the scissor.
    int32_t minX = v[0].x, maxX = v[0].x, minY = v[0].y, maxY = v[0].y;
    for (int i = 1; i < count; ++i) {
        minX = std::min(minX, v[i].x);
        maxX = std::max(maxX, v[i].x);
        minY = std::min(minY, v[i].y);
        maxY = std::max(maxY, v[i].y);
    }
    const int64_t xa = std::max<int64_t>(FloorDiv(minX, 16) - 1, st.scx0);
    const int64_t xb = std::min<int64_t>(FloorDiv(maxX, 16) + 1, st.scx1);
    const int64_t ya = std::max<int64_t>(FloorDiv(minY, 16) - 1, st.scy0);
    const int64_t yb = std::min<int64_t>(FloorDiv(maxY, 16) + 1, st.scy1);
    if (xa > xb || ya > yb) return Fit::kEmpty;
    *rows = {int(ya), int(yb)};

    // The frame's and (when tested) the depth buffer's bytes, through their layouts. A row's last group
    // of four may rewrite up to three pixels past its end (inside the row).
    struct Use {
        uint32_t base, width, bpp;
        Range r;
    } uses[2];
    int nUses = 0;
    auto addUse = [&](uint32_t base, uint32_t bpp) {
        const uint64_t w = uint64_t(st.fbw) * 64u;
        if (w == 0 || uint64_t(xb) >= w) return false;  // rows would share bytes
        if (uint64_t(yb - ya + 1) * w * bpp > LocalMemory::kSize) return false;
        const uint64_t xe = std::min<uint64_t>(uint64_t(xb) + 3u, w - 1);
        const uint64_t first = (uint64_t(ya) * w + uint64_t(xa)) * bpp,
                       end = (uint64_t(yb) * w + xe + 1) * bpp;
        uses[nUses++] =
            Use{base, st.fbw, bpp, Range{uint32_t((base + first) & kMask), uint32_t(end - first)}};
        return true;
    };
    if (!addUse(st.fbBase, st.fpsm == kPsmCt32 || st.fpsm == kPsmCt24 ? 4u : 2u)) return Fit::kSelfClash;
    if (st.zte && !addUse(st.zBase, st.zpsm == kPsmZ16 || st.zpsm == kPsmZ16S ? 2u : 4u))
        return Fit::kSelfClash;
    auto sameLayout = [](const Use& a, uint32_t base, uint32_t width, uint32_t bpp) {
        return a.base == base && a.width == width && a.bpp == bpp;
    };
    if (nUses == 2 && !sameLayout(uses[0], uses[1].base, uses[1].width, uses[1].bpp) &&
        Overlap(uses[0].r.start, uses[0].r.bytes, uses[1].r.start, uses[1].r.bytes))
        return Fit::kSelfClash;

    // The texels it can read (with room for a vector load past the last one).
    Range tex{0, 0};
    if (st.textured) {
        const uint32_t umax = MaxTexel(st.wms, st.tw, st.minu, st.maxu);
        const uint32_t vmax = MaxTexel(st.wmt, st.th, st.minv, st.maxv);
        const uint64_t last = uint64_t(vmax) * st.tbw * 64u + umax;
        uint64_t bytes;
        switch (st.tpsm) {
            case kPsmT8:
                bytes = last + 1;
                break;
            case kPsmT4:
                bytes = last / 2 + 1;
                break;
            case kPsmCt16:
            case kPsmCt16S:
                bytes = (last + 1) * 2;
                break;
            default:
                bytes = (last + 1) * 4;
                break;
        }
        tex = Range{st.tBase & kMask, uint32_t(std::min<uint64_t>(bytes + 64, LocalMemory::kSize))};
        // A depth buffer that is only read (masked) may share bytes with the texture: both are reads.
        for (int i = 0; i < nUses; ++i)
            if (!(i == 1 && st.zmsk) && Overlap(tex.start, tex.bytes, uses[i].r.start, uses[i].r.bytes))
                return Fit::kSelfClash;
    }

    // Against what the queue touches: reads against every layout's writes, writes against the reads and
    // against the other layouts' writes.
    int slot[2] = {-1, -1};
    for (int i = 0; i < nUses; ++i) {
        const Use& u = uses[i];
        for (int k = 0; k < layoutCount_; ++k) {
            const Layout& l = layouts_[k];
            if (sameLayout(u, l.base, l.width, l.bpp)) {
                slot[i] = k;
                continue;
            }
            if (ForBlocks(u.r.start, u.r.bytes, kBlocks,
                          [&](uint32_t b0, uint32_t b1) { return AnyBits(l.bits, b0, b1); })) {
                clashWhy_ = Wait::kWriteAfterRead;
                return Fit::kQueueClash;
            }
        }
        if (ForBlocks(u.r.start, u.r.bytes, kBlocks,
                      [&](uint32_t b0, uint32_t b1) { return AnyBits(reads_, b0, b1); })) {
            clashWhy_ = Wait::kWriteAfterRead;
            return Fit::kQueueClash;
        }
    }
    int newLayouts = 0;
    for (int i = 0; i < nUses; ++i)
        if (slot[i] < 0 &&
            !(i == 1 && slot[0] < 0 && sameLayout(uses[0], uses[1].base, uses[1].width, uses[1].bpp)))
            ++newLayouts;
    if (layoutCount_ + newLayouts > kLayouts) {
        clashWhy_ = Wait::kLayouts;
        return Fit::kQueueClash;
    }
    // The same texture as the last primitive's, claimed since the queue last drained: no write has
    // reached it since (writes are checked against the reads), and its blocks are marked already.
    const bool texKnown = tex.bytes && claimed_ && tex.start == lastTex_.start && tex.bytes == lastTex_.bytes;
    if (tex.bytes && !texKnown) {
        for (int k = 0; k < layoutCount_; ++k) {
            const Layout& l = layouts_[k];
            if (ForBlocks(tex.start, tex.bytes, kBlocks,
                          [&](uint32_t b0, uint32_t b1) { return AnyBits(l.bits, b0, b1); })) {
                clashWhy_ = Wait::kReadAfterWrite;
                return Fit::kQueueClash;
            }
        }
    }

    // It fits: record what it touches.
    for (int i = 0; i < nUses; ++i) {
        const Use& u = uses[i];
        if (slot[i] < 0) {
            // A layout new to the queue (the depth buffer may share the frame's, just added).
            for (int k = 0; k < layoutCount_; ++k)
                if (sameLayout(u, layouts_[k].base, layouts_[k].width, layouts_[k].bpp)) slot[i] = k;
            if (slot[i] < 0) {
                Layout& l = layouts_[layoutCount_];
                l.base = u.base;
                l.width = u.width;
                l.bpp = u.bpp;
                std::memset(l.bits, 0, sizeof(l.bits));
                slot[i] = layoutCount_++;
            }
        }
        uint64_t* bits = layouts_[slot[i]].bits;
        ForBlocks(u.r.start, u.r.bytes, kBlocks,
                  [&](uint32_t b0, uint32_t b1) { return SetBits(bits, b0, b1); });
    }
    if (tex.bytes && !texKnown) {
        lastTex_ = tex;
        ForBlocks(tex.start, tex.bytes, kBlocks,
                  [&](uint32_t b0, uint32_t b1) { return SetBits(reads_, b0, b1); });
    }
    claimed_ = true;
    return Fit::kFits;
}

bool RasterBands::Queue(PrimKind kind, const DrawState& st, uint64_t stateVersion, const GsVertex* v) {
    const int count = kind == PrimKind::kPoint ? 1 : (kind == PrimKind::kTriangle ? 3 : 2);
    RowSpan rows{};
    Fit fit = Claim(st, v, count, &rows);
    if (fit == Fit::kEmpty) return true;  // nothing inside the scissor: nothing to draw
    if (fit == Fit::kQueueClash) {
        Join(clashWhy_);
        fit = Claim(st, v, count, &rows);
    }
    if (fit != Fit::kFits) {
        Join(Wait::kAlone);
        return false;
    }
    if (statesPushed_ == 0 || stateVersion != lastVersion_) {
        StateSlot& s = states_[statesPushed_ % kStates];
        if (statesPushed_ >= kStates) WaitDone(s.lastCommand + 1, Wait::kStates);
        s.st = st;
        if (st.textured && (st.tpsm == kPsmT8 || st.tpsm == kPsmT4)) {
            // The device's palette may be reloaded while the command waits: draw with a copy.
            std::memcpy(s.clut, st.clut, (st.tpsm == kPsmT4 ? 16 : 256) * sizeof(uint32_t));
            s.st.clut = s.clut;
        }
        lastVersion_ = stateVersion;
        ++statesPushed_;
    }
    const uint32_t state = uint32_t((statesPushed_ - 1) % kStates);
    if (queued_ >= kCommands) WaitDone(queued_ - kCommands + 1, Wait::kCommands);
    Command& c = commands_[queued_ % kCommands];
    c.kind = kind;
    c.state = state;
    for (int i = 0; i < count; ++i) c.v[i] = v[i];
    // Listed in every slot whose bands its rows can reach (every slot once they span a full turn). A
    // slot's list has room for kCommands entries: no more than that are ever waiting.
    const int firstBand = rows.first >> Rasterizer::kBandShift,
              lastBand = rows.last >> Rasterizer::kBandShift;
    const int last = lastBand - firstBand + 1 >= kSlots ? firstBand + kSlots - 1 : lastBand;
    for (int b = firstBand; b <= last; ++b) {
        Slot& sl = slots_[b % kSlots];
        sl.list[sl.queued % kCommands].store(queued_, std::memory_order_relaxed);
        ++sl.queued;
    }
    ++stats_.commands;
    stats_.listed += uint64_t(last - firstBand + 1);
    states_[state].lastCommand = queued_;
    ++queued_;
    if (queued_ - handedOut_ >= kBatch) Publish(false);
    return true;
}

}  // namespace console::gs
