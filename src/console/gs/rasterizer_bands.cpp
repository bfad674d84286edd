#include "console/gs/rasterizer_bands.h"

#include <emmintrin.h>
#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

#include "console/gs/rasterizer_internal.h"

namespace console::gs {

using namespace raster;

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

// The slots (bits) whose list position in `pos` lies past the one in `drawn`: positions are counts, far
// below 2^63, so the sign of drawn - pos tells, two slots at a time.
template <int kCount>
uint32_t Behind(const uint64_t* pos, const uint64_t* drawn) {
    static_assert(kCount % 2 == 0 && kCount <= 32, "pairs of slots, bits of a word");
    uint32_t m = 0;
    for (int i = 0; i < kCount; i += 2) {
        const __m128i d = _mm_sub_epi64(_mm_loadu_si128(reinterpret_cast<const __m128i*>(drawn + i)),
                                        _mm_loadu_si128(reinterpret_cast<const __m128i*>(pos + i)));
        m |= uint32_t(_mm_movemask_pd(_mm_castsi128_pd(d))) << i;
    }
    return m;
}

// into[i] = max(into[i], from[i]) for list positions (counts, far below 2^63: the sign of the difference
// picks), two at a time.
template <int kCount>
void MaxInto(uint64_t* into, const uint64_t* from) {
    static_assert(kCount % 2 == 0, "pairs of slots");
    for (int i = 0; i < kCount; i += 2) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(into + i)),
                      b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i));
        // All ones in the lanes where a < b (the high half's sign copied over the low half).
        const __m128i less =
            _mm_shuffle_epi32(_mm_srai_epi32(_mm_sub_epi64(a, b), 31), _MM_SHUFFLE(3, 3, 1, 1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(into + i),
                         _mm_or_si128(_mm_andnot_si128(less, a), _mm_and_si128(less, b)));
    }
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

// The texel rows (inclusive) a primitive can read. A sprite's coordinates run linearly between its
// corners', so it reads the rows between its corners' (two to spare each way for filtering and rounding):
// clamped to the texture, or as they are when they lie inside it (repeating changes none of them). Other
// primitives may read any row.
struct TexelRows {
    uint32_t first, last;
};
TexelRows SpriteTexelRows(PrimKind kind, const DrawState& st, const GsVertex* v) {
    const TexelRows all{0, UINT32_MAX};
    if (kind != PrimKind::kSprite || (st.wmt != 0 && st.wmt != 1)) return all;
    double t[2];
    for (int i = 0; i < 2; ++i) {
        if (st.uvTexels) {
            t[i] = v[i].v / 16.0;
        } else {
            t[i] = (v[i].q != 0.0f ? double(v[i].t) / double(v[i].q) : 0.0) * double(1u << st.th);
        }
        if (!(std::fabs(t[i]) < 1e7)) return all;  // NaN too
    }
    const int64_t top = int64_t(1) << st.th;
    int64_t lo = int64_t(std::floor(std::min(t[0], t[1]))) - 2;
    int64_t hi = int64_t(std::floor(std::max(t[0], t[1]))) + 2;
    if (st.wmt == 0 && (lo < 0 || hi >= top)) return all;
    lo = std::clamp<int64_t>(lo, 0, top - 1);
    hi = std::clamp<int64_t>(hi, 0, top - 1);
    return TexelRows{uint32_t(lo), uint32_t(hi)};
}

}  // namespace

bool RasterBands::Layout::Any(uint32_t b0, uint32_t b1) const {
    return b1 >= lo && b0 <= hi && AnyBits(bits, b0, b1);
}

void RasterBands::Layout::Mark(uint32_t b0, uint32_t b1) {
    lo = std::min(lo, b0);
    hi = std::max(hi, b1);
    SetBits(bits, b0, b1);
}

RasterBands::RasterBands(LocalMemory& mem, int threads) : mem_(mem), threads_(threads), self_(mem, true) {
    std::memset(reads_, 0, sizeof(reads_));
    std::memset(regionBits_, 0, sizeof(regionBits_));
    std::fill(std::begin(regionHash_), std::end(regionHash_), -1);
    std::fill(std::begin(bucketHead_), std::end(bucketHead_), -1);
}

int RasterBands::RegionFor(const Range& tex) {
    uint32_t h = ((tex.start * 0x9E3779B1u) ^ (tex.bytes * 0x85EBCA6Bu)) >> 20;
    for (int probe = 0; probe < 64; ++probe, h = (h + 1) % kRegionHash) {
        const int k = regionHash_[h];
        if (k >= 0) {
            Region& g = regions_[k];
            if (g.tex.start != tex.start || g.tex.bytes != tex.bytes) continue;
            if (!g.live) {
                std::memset(g.pos, 0, sizeof(g.pos));
                LinkRegion(k);
            }
            return k;
        }
        if (regionCount_ == kRegions) return -1;
        const int n = regionCount_++;
        regionHash_[h] = n;
        Region& g = regions_[n];
        g.tex = tex;
        std::memset(g.pos, 0, sizeof(g.pos));
        const int b0 = int(tex.start >> kBucketShift),
                  b1 = int((uint64_t(tex.start) + tex.bytes - 1) >> kBucketShift);
        g.bucket[0] = g.bucket[1] = -1;
        if (b1 - b0 > 1) {
            g.bucket[0] = kWide;
        } else {
            g.bucket[0] = b0;
            if (b1 != b0) g.bucket[1] = b1 % kBuckets;
        }
        LinkRegion(n);
        return n;
    }
    return -1;
}

void RasterBands::LinkRegion(int k) {
    Region& g = regions_[k];
    g.live = true;
    ++claimGen_;
    for (int j = 0; j < 2; ++j) {
        g.next[j] = g.prev[j] = -1;
        if (g.bucket[j] < 0) continue;
        const int head = bucketHead_[g.bucket[j]];
        g.next[j] = head;
        if (head >= 0) {
            Region& h = regions_[head];
            h.prev[h.bucket[0] == g.bucket[j] ? 0 : 1] = k;
        }
        bucketHead_[g.bucket[j]] = k;
    }
    ForBlocks(g.tex.start, g.tex.bytes, kBlocks,
              [&](uint32_t a, uint32_t b) { return SetBits(regionBits_, a, b); });
}

void RasterBands::RetireRegion(int k) {
    Region& g = regions_[k];
    g.live = false;
    ++claimGen_;
    if (k == lastRegion_) ForgetTexture();
    for (int j = 0; j < 2; ++j) {
        const int b = g.bucket[j];
        if (b < 0) continue;
        if (g.prev[j] >= 0) {
            Region& p = regions_[g.prev[j]];
            p.next[p.bucket[0] == b ? 0 : 1] = g.next[j];
        } else {
            bucketHead_[b] = g.next[j];
        }
        if (g.next[j] >= 0) {
            Region& n = regions_[g.next[j]];
            n.prev[n.bucket[0] == b ? 0 : 1] = g.prev[j];
        }
    }
    // Blocks of 64 KiB with no record over them any more are let go (none, while a wide one lives).
    if (bucketHead_[kWide] >= 0) return;
    auto trim = [&](int b) {
        if (bucketHead_[b] < 0)
            std::memset(regionBits_ + b * (kWords / kBuckets), 0, sizeof(uint64_t) * (kWords / kBuckets));
    };
    if (g.bucket[0] == kWide) {
        for (int b = 0; b < kBuckets; ++b) trim(b);
        return;
    }
    for (int j = 0; j < 2; ++j)
        if (g.bucket[j] >= 0) trim(g.bucket[j]);
}

template <class Fn>
void RasterBands::ForRegionsOver(const Range& r, Fn fn) {
    if (regionCount_ == 0 || !ForBlocks(r.start, r.bytes, kBlocks,
                                        [&](uint32_t a, uint32_t b) { return AnyBits(regionBits_, a, b); }))
        return;
    auto walk = [&](int bucket) {
        for (int k = bucketHead_[bucket]; k >= 0;) {
            Region& g = regions_[k];
            const int next = g.next[g.bucket[0] == bucket ? 0 : 1];
            if (Overlap(r.start, r.bytes, g.tex.start, g.tex.bytes)) fn(k);
            k = next;
        }
    };
    const uint64_t b0 = r.start >> kBucketShift, b1 = (uint64_t(r.start) + r.bytes - 1) >> kBucketShift;
    for (uint64_t b = b0; b <= b1 && b < b0 + kBuckets; ++b) walk(int(b % kBuckets));
    walk(kWide);
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

void RasterBands::DoCopy(const Copy& c, const uint8_t* from) {
    uint8_t* m = mem_.Data();
    for (uint32_t r = 0; r < c.rows; ++r)
        std::memcpy(m + ((c.dst + r * c.pitch) & kMask), from + r * size_t(c.rowBytes), c.rowBytes);
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

void RasterBands::ForgetTexture() {
    ++claimGen_;
    lastTex_ = Range{0, 0};
    lastTexNeeds_ = false;
    lastRegion_ = -1;
}

void RasterBands::ClearLayout(int k) {
    ForgetTexture();  // its blocks may have been marked as written
    layouts_[k].Clear();
    SyncKey(k);
    if (k == copyLayout_) copiesPending_ = copiesPushed_;
}

bool RasterBands::NeedsFor(uint32_t start, uint32_t bytes, bool write, bool primitives, uint64_t* need) {
    bool needs = false;
    auto add = [&](const uint64_t* pos) {
        if (needs) {
            MaxInto<kSlots>(need, pos);
        } else {
            std::memcpy(need, pos, sizeof(uint64_t) * kSlots);
        }
        needs = true;
    };
    auto clashes = [&](const uint64_t* bits) {
        return ForBlocks(start, bytes, kBlocks,
                         [&](uint32_t b0, uint32_t b1) { return AnyBits(bits, b0, b1); });
    };
    if (write && clashes(reads_)) {
        if (Drawn(readPos_)) {
            std::memset(reads_, 0, sizeof(reads_));
            ForgetTexture();
        } else {
            add(readPos_);
        }
    }
    if (write) {
        ForRegionsOver(Range{start, bytes}, [&](int k) {
            Region& g = regions_[k];
            if (Drawn(g.pos)) {
                RetireRegion(k);
            } else {
                add(g.pos);
            }
        });
    }
    for (int k = 0; k < layoutCount_; ++k) {
        if ((primitives && k == copyLayout_) || !clashes(layouts_[k].bits)) continue;
        uint64_t pos[kSlots];
        if (k == copyLayout_) {
            if (CopiesOver(Range{start, bytes}, pos)) add(pos);
        } else if (Drawn(layouts_[k].lastPos)) {
            ClearLayout(k);
        } else {
            add(layouts_[k].lastPos);
        }
    }
    return needs;
}

bool RasterBands::CopiesOver(const Range& r, uint64_t* need) {
    // The oldest ones drawn are let go.
    for (; copiesPending_ < copiesPushed_; ++copiesPending_) {
        const Copy& c = copies_[copiesPending_ % kCopies];
        if (drawnTo_[c.slot] <= c.pos && (drawnTo_[c.slot] = slots_[c.slot].done.load()) <= c.pos) break;
    }
    if (copiesPending_ == copiesPushed_ && copyLayout_ >= 0) {
        ClearLayout(copyLayout_);
        return false;
    }
    bool any = false;
    for (uint64_t k = copiesPending_; k < copiesPushed_; ++k) {
        const Copy& c = copies_[k % kCopies];
        if (drawnTo_[c.slot] > c.pos ||
            !Overlap(c.dst & kMask, (c.rows - 1) * c.pitch + c.rowBytes, r.start, r.bytes))
            continue;
        if (!any) std::memset(need, 0, sizeof(uint64_t) * kSlots);
        any = true;
        need[c.slot] = std::max(need[c.slot], c.pos + 1);
    }
    return any;
}

void RasterBands::Settle(uint32_t start, uint32_t bytes, bool write, Wait why) {
    if (!claimed_ || bytes == 0) return;
    bytes = std::min<uint32_t>(bytes, LocalMemory::kSize);
    uint64_t need[kSlots];
    if (NeedsFor(start & kMask, bytes, write, false, need)) Join(why);
}

void RasterBands::Write(uint32_t dst, uint32_t rowBytes, uint32_t pitch, uint32_t rows, const uint8_t* data) {
    if (rows == 0 || rowBytes == 0) return;
    const uint64_t span = uint64_t(rows - 1) * pitch + rowBytes;
    uint64_t need[kSlots];
    if (claimed_ && span <= LocalMemory::kSize && NeedsFor(dst & kMask, uint32_t(span), true, false, need)) {
        if (copyLayout_ < 0 && layoutCount_ == kLayouts) {
            Join(Wait::kLayouts);
        } else {
            // In pieces that fit the ring easily.
            const uint32_t per = std::max<uint32_t>(1, uint32_t(kCopyBytes / 4 / rowBytes));
            for (uint32_t r = 0; r < rows; r += per)
                QueueCopy(dst + r * pitch, rowBytes, pitch, std::min(per, rows - r),
                          data + size_t(r) * rowBytes, need);
            return;
        }
    }
    const Copy c{dst, rowBytes, pitch, rows, 0, 0, 0, 0};
    DoCopy(c, data);
}

void RasterBands::QueueCopy(uint32_t dst, uint32_t rowBytes, uint32_t pitch, uint32_t rows,
                            const uint8_t* data, const uint64_t* need) {
    ++claimGen_;
    if (copyLayout_ < 0) {
        Layout& l = layouts_[layoutCount_];
        l.base = l.width = l.bpp = 0;  // no primitive's layout has width 0
        l.Clear();
        SyncKey(layoutCount_);
        copyLayout_ = layoutCount_++;
    }
    // Room in the ring (the bytes of one copy lie in one piece) and in the list of copies: the oldest
    // copies there drawn first.
    const uint64_t total = uint64_t(rows) * rowBytes;
    uint64_t at = copyBytes_;
    if (at % kCopyBytes + total > kCopyBytes) at += kCopyBytes - at % kCopyBytes;
    const uint64_t end = at + total;
    for (; copiesPending_ < copiesPushed_; ++copiesPending_) {
        const Copy& old = copies_[copiesPending_ % kCopies];
        if (old.command < floor_) continue;
        if (old.data + kCopyBytes >= end && copiesPushed_ - copiesPending_ < kCopies) break;
        WaitDone(old.command + 1, Wait::kTransfer);
    }
    std::memcpy(copyData_ + at % kCopyBytes, data, size_t(total));
    copyBytes_ = end;
    if (queued_ >= kCommands) WaitDone(queued_ - kCommands + 1, Wait::kCommands);
    Claimed cl;
    cl.needs = true;
    cl.why = Wait::kTransfer;
    std::memcpy(cl.need, need, sizeof(cl.need));
    const uint64_t entry = (queued_ << kDepBits) | DepFor(cl);
    // Listed in the slot with the least left to draw (often one no band of the screen uses): it waits
    // there for what it depends on without holding up much behind it.
    int best = 0;
    uint64_t least = ~0ull;
    for (int i = 0; i < kSlots; ++i) {
        const uint64_t left = listed_[i] - std::min(listed_[i], drawnTo_[i]);
        if (left < least) {
            least = left;
            best = i;
        }
    }
    const uint32_t index = uint32_t(copiesPushed_ % kCopies);
    Slot& sl = slots_[best];
    copies_[index] = Copy{dst, rowBytes, pitch, rows, at, queued_, best, listed_[best]};
    ++copiesPushed_;
    Command& c = commands_[queued_ % kCommands];
    c.kind = kCopy;
    c.state = index;
    sl.list[listed_[best] % kCommands].store(entry, std::memory_order_relaxed);
    const uint64_t listed = ++listed_[best];
    unpublished_ |= 1u << best;
    Layout& l = layouts_[copyLayout_];
    l.lastPos[best] = listed;
    const uint64_t span = uint64_t(rows - 1) * pitch + rowBytes;
    ForBlocks(dst & kMask, uint32_t(span), kBlocks, [&](uint32_t b0, uint32_t b1) {
        l.Mark(b0, b1);
        return false;
    });
    SyncKey(copyLayout_);
    // What reads the last texture read waits for this too when it lands there.
    if (Overlap(dst & kMask, uint32_t(span), lastTex_.start, lastTex_.bytes)) ForgetTexture();
    claimed_ = true;
    ++stats_.transfers;
    ++queued_;
    if (queued_ - handedOut_ >= kBatch) Publish(false);
}

bool RasterBands::CopiedLast(const Shape& s) {
    // Every byte of the rows lands from copies queued after every primitive drawing there (NeedsFor has
    // let go of the layouts drawn): a palette or a texture sent, say.
    const uint32_t span = (s.rows - 1) * s.pitch + s.rowBytes;
    uint64_t after = 0;
    for (int l = 0; l < layoutCount_; ++l)
        if (l != copyLayout_ && layouts_[l].lastCommand >= after &&
            ForBlocks(s.start, span, kBlocks,
                      [&](uint32_t b0, uint32_t b1) { return layouts_[l].Any(b0, b1); }))
            after = layouts_[l].lastCommand + 1;
    uint8_t* covered = covered_;
    std::memset(covered, 0, span);
    for (uint64_t k = copiesPending_; k < copiesPushed_; ++k) {
        const Copy& c = copies_[k % kCopies];
        if (c.command < after) continue;
        for (uint32_t r = 0; r < c.rows; ++r) {
            const uint32_t a = (c.dst + r * c.pitch) & kMask;
            const uint64_t lo = std::max<uint64_t>(a, s.start),
                           hi = std::min<uint64_t>(uint64_t(a) + c.rowBytes, uint64_t(s.start) + span);
            if (lo < hi) std::memset(covered + (lo - s.start), 1, size_t(hi - lo));
        }
    }
    for (uint32_t r = 0; r < s.rows; ++r)
        for (uint32_t i = r * s.pitch; i < r * s.pitch + s.rowBytes; ++i)
            if (!covered[i]) return false;
    return true;
}

void RasterBands::ReadPiece(const Shape& s, uint8_t* out) {
    const uint32_t span = (s.rows - 1) * s.pitch + s.rowBytes;
    uint8_t* covered = covered_;
    std::memset(covered, 0, span);
    // Copies still queued, oldest first (a later one over the same bytes wins).
    for (uint64_t k = copiesPending_; k < copiesPushed_; ++k) {
        const Copy& c = copies_[k % kCopies];
        if (slots_[c.slot].done.load() > c.pos) continue;  // in memory already
        const uint8_t* from = copyData_ + c.data % kCopyBytes;
        for (uint32_t r = 0; r < c.rows; ++r) {
            const uint32_t a = (c.dst + r * c.pitch) & kMask;
            const uint64_t lo = std::max<uint64_t>(a, s.start),
                           hi = std::min<uint64_t>(uint64_t(a) + c.rowBytes, uint64_t(s.start) + span);
            if (lo >= hi) continue;
            std::memcpy(out + (lo - s.start), from + r * size_t(c.rowBytes) + (lo - a), size_t(hi - lo));
            std::memset(covered + (lo - s.start), 1, size_t(hi - lo));
        }
    }
    // The rest of the rows from memory (what lies between them is not read).
    const uint8_t* m = mem_.Data() + s.start;
    for (uint32_t r = 0; r < s.rows; ++r) {
        const uint32_t end = r * s.pitch + s.rowBytes;
        for (uint32_t i = r * s.pitch; i < end;) {
            if (covered[i]) {
                ++i;
                continue;
            }
            uint32_t j = i;
            while (j < end && !covered[j]) ++j;
            std::memcpy(out + i, m + i, j - i);
            i = j;
        }
    }
}

const uint8_t* RasterBands::Bytes(uint32_t start, uint32_t rowBytes, uint32_t pitch, uint32_t rows,
                                  uint8_t* out, Wait why) {
    start &= kMask;
    if (rows == 0 || rowBytes == 0) return out;
    uint64_t span = uint64_t(rows - 1) * pitch + rowBytes;
    if (rows > 1 && (pitch < rowBytes || start + span > LocalMemory::kSize)) {
        // Overlapping rows, or past the end: read in one piece.
        rowBytes = uint32_t(std::min<uint64_t>(span, LocalMemory::kSize));
        rows = 1;
        pitch = 0;
        span = rowBytes;
    }
    const uint32_t bytes = uint32_t(std::min<uint64_t>(span, LocalMemory::kSize));
    const Shape shape{start, rowBytes, pitch, rows};
    uint64_t need[kSlots];
    // Waits for primitives drawing over the bytes; reads larger than the ring wait for everything.
    if (claimed_ &&
        (bytes > kCopyBytes / 2 || (NeedsFor(start, bytes, false, true, need) && !CopiedLast(shape))))
        Join(why);
    const uint32_t first = std::min<uint32_t>(bytes, LocalMemory::kSize - start);
    const bool copies =
        claimed_ && copyLayout_ >= 0 && ForBlocks(start, bytes, kBlocks, [&](uint32_t b0, uint32_t b1) {
            return layouts_[copyLayout_].Any(b0, b1);
        });
    if (!copies) {
        if (first == bytes) return mem_.Data() + start;
        std::memcpy(out, mem_.Data() + start, first);
        std::memcpy(out + first, mem_.Data(), bytes - first);
        return out;
    }
    if (rows > 1 || first == bytes) {
        ReadPiece(shape, out);
        return out;
    }
    ReadPiece(Shape{start, first, 0, 1}, out);
    ReadPiece(Shape{0, bytes - first, 0, 1}, out + first);
    return out;
}

void RasterBands::Read(uint32_t start, uint32_t bytes, uint8_t* out, Wait why) {
    const uint8_t* from = Bytes(start, bytes, bytes, 1, out, why);
    if (from != out) std::memcpy(out, from, std::min<uint32_t>(bytes, LocalMemory::kSize));
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
    floor_ = queued_;  // called with every command drawn
    copiesPending_ = copiesPushed_;
    copyLayout_ = -1;
    ++layoutsGen_;
    ++claimGen_;
    if (!claimed_) return;
    std::memset(reads_, 0, sizeof(reads_));
    std::memset(readPos_, 0, sizeof(readPos_));
    if (regionCount_) {
        regionCount_ = 0;
        std::memset(regionBits_, 0, sizeof(regionBits_));
        std::fill(std::begin(regionHash_), std::end(regionHash_), -1);
        std::fill(std::begin(bucketHead_), std::end(bucketHead_), -1);
    }
    lastRegion_ = -1;
    layoutCount_ = 0;
    lastTex_ = Range{0, 0};
    lastTexNeeds_ = false;
    claimed_ = false;
}
RasterBands::Fit RasterBands::Claim(PrimKind kind, const DrawState& st, uint64_t version, const GsVertex* v,
                                    int count, Claimed* c) {
    // Pixels the primitive can cover: its vertices' box with a pixel to spare, inside the scissor.
    int32_t minX = v[0].x, maxX = v[0].x, minY = v[0].y, maxY = v[0].y;
    for (int i = 1; i < count; ++i) {
        minX = std::min(minX, v[i].x);
        maxX = std::max(maxX, v[i].x);
        minY = std::min(minY, v[i].y);
        maxY = std::max(maxY, v[i].y);
    }
    // (An arithmetic shift rounds down: the pixel under a 12.4 coordinate, negative ones too.)
    const int64_t xa = std::max<int64_t>(int64_t(minX >> 4) - 1, st.scx0);
    const int64_t xb = std::min<int64_t>(int64_t(maxX >> 4) + 1, st.scx1);
    const int64_t ya = std::max<int64_t>(int64_t(minY >> 4) - 1, st.scy0);
    const int64_t yb = std::min<int64_t>(int64_t(maxY >> 4) + 1, st.scy1);
    if (xa > xb || ya > yb) return Fit::kEmpty;
    c->first = int(ya);
    c->last = int(yb);
    if (version != 0 && quick_.version == version && quick_.kind == kind && quick_.gen == claimGen_ &&
        quick_.span >= 0 && ClaimQuickly(st, xa, xb, ya, yb, c)) {
        ++stats_.quickClaims;
        return Fit::kFits;
    }
    // Worked out afresh; the state's spans found unfit stay so (they depend on nothing else).
    const bool unfit = quick_.version == version && quick_.span < 0;
    quick_.version = 0;
    c->layout[0] = c->layout[1] = -1;
    c->reads = false;
    c->needs = false;

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
        TexelRows rowsRead = SpriteTexelRows(kind, st, v);
        const uint32_t umax = MaxTexel(st.wms, st.tw, st.minu, st.maxu);
        const uint32_t vmax = std::min(MaxTexel(st.wmt, st.th, st.minv, st.maxv), rowsRead.last);
        const uint64_t firstTexel = uint64_t(std::min(rowsRead.first, vmax)) * st.tbw * 64u;
        const uint64_t last = uint64_t(vmax) * st.tbw * 64u + umax;
        auto byteOf = [&](uint64_t texel) -> uint64_t {
            switch (st.tpsm) {
                case kPsmT8:
                    return texel;
                case kPsmT4:
                    return texel / 2;
                case kPsmCt16:
                case kPsmCt16S:
                    return texel * 2;
                default:
                    return texel * 4;
            }
        };
        const uint64_t from = byteOf(firstTexel),
                       bytes = byteOf(last) + (st.tpsm == kPsmT4 ? 1 : byteOf(1)) - from;
        tex = Range{(st.tBase + uint32_t(from)) & kMask,
                    uint32_t(std::min<uint64_t>(bytes + 64, LocalMemory::kSize))};
        // A depth buffer that is only read (masked) may share bytes with the texture: both are reads.
        for (int i = 0; i < nUses; ++i)
            if (!(i == 1 && st.zmsk) && Overlap(tex.start, tex.bytes, uses[i].r.start, uses[i].r.bytes))
                return Fit::kSelfClash;
    }

    // Against what the queue touches: reads against every layout's writes, writes against the reads and
    // against the other layouts' writes. A clash makes the primitive wait, in the workers, for the list
    // positions of what it clashes with.
    auto need = [&](const uint64_t* pos, Wait why) {
        if (!c->needs) {
            std::memcpy(c->need, pos, sizeof(c->need));
            c->needs = true;
            c->why = why;
            return;
        }
        MaxInto<kSlots>(c->need, pos);
    };
    bool writesRead = false;
    for (int i = 0; i < nUses; ++i) {
        const Use& u = uses[i];
        const uint32_t ub0 = u.r.start / LocalMemory::kBlockBytes,
                       ub1 = (u.r.start + u.r.bytes - 1) / LocalMemory::kBlockBytes;
        KnownWrite& kw = known_[i];
        const bool known = kw.gen == layoutsGen_ && kw.layout >= 0 && kw.base == u.base &&
                           kw.width == u.width && kw.bpp == u.bpp && ub0 >= kw.lo && ub1 <= kw.hi;
        if (!known) {
            kw = KnownWrite{layoutsGen_, u.base, u.width, u.bpp, -1, 0, kBlocks - 1};
            if (ub1 >= kBlocks) kw.hi = 0;  // wrapping: not kept
        }
        for (int k = 0; k < layoutCount_ && !known; ++k) {
            const LayoutKey& key = keys_[k];
            if (sameLayout(u, key.base, key.width, key.bpp)) {
                kw.layout = k;
                continue;
            }
            // (A range wrapping past the end is looked at in full.)
            if (key.lo <= key.hi) {
                if (ub1 < key.lo) kw.hi = std::min(kw.hi, key.lo - 1);
                if (ub0 > key.hi) kw.lo = std::max(kw.lo, key.hi + 1);
            }
            if (ub1 < kBlocks && (ub1 < key.lo || ub0 > key.hi)) continue;
            kw.hi = 0;  // it meets another layout: looked at in full next time
            const Layout& l = layouts_[k];
            if (!ForBlocks(u.r.start, u.r.bytes, kBlocks,
                           [&](uint32_t b0, uint32_t b1) { return l.Any(b0, b1); }))
                continue;
            if (k == copyLayout_) {
                uint64_t pos[kSlots];
                if (CopiesOver(u.r, pos)) need(pos, Wait::kWriteAfterRead);
            } else if (Drawn(l.lastPos)) {
                ClearLayout(k);
            } else {
                need(l.lastPos, Wait::kWriteAfterRead);
            }
        }
        c->layout[i] = kw.layout;
        if (ForBlocks(u.r.start, u.r.bytes, kBlocks,
                      [&](uint32_t b0, uint32_t b1) { return AnyBits(reads_, b0, b1); })) {
            if (Drawn(readPos_)) {
                // Every queued plain read is drawn: none left to clash with.
                std::memset(reads_, 0, sizeof(reads_));
                ForgetTexture();
            } else {
                need(readPos_, Wait::kWriteAfterRead);
                writesRead = true;
            }
        }
        ForRegionsOver(u.r, [&](int k) {
            Region& g = regions_[k];
            if (Drawn(g.pos)) {
                RetireRegion(k);  // read by everything that reads it: forgotten
            } else {
                need(g.pos, Wait::kWriteAfterRead);
                writesRead = true;
            }
        });
    }
    // Its writes met what the queue holds: the next primitive's likely do too, and are worked out afresh.
    const bool writesMet = c->needs || writesRead;
    int newLayouts = 0;
    for (int i = 0; i < nUses; ++i)
        if (c->layout[i] < 0 &&
            !(i == 1 && c->layout[0] < 0 && sameLayout(uses[0], uses[1].base, uses[1].width, uses[1].bpp)))
            ++newLayouts;
    if (layoutCount_ + newLayouts > kLayouts) {
        clashWhy_ = Wait::kLayouts;
        return Fit::kQueueClash;
    }
    // A write into what textures read: the texture last read is checked afresh next time.
    if (writesRead) ForgetTexture();
    // The same texture as the last primitive's, claimed since the queue last drained: no write has
    // reached it since (writes are checked against the reads), its blocks are marked already, and it
    // waits for what that one waited for.
    const bool texKnown = tex.bytes && claimed_ && tex.start == lastTex_.start && tex.bytes == lastTex_.bytes;
    if (texKnown && lastTexNeeds_) need(lastTexNeed_, Wait::kReadAfterWrite);
    c->region = texKnown ? lastRegion_ : -1;
    bool plainRead = false;
    if (tex.bytes && !texKnown) {
        bool texNeeds = false;
        uint64_t texNeed[kSlots];
        const uint32_t tb0 = tex.start / LocalMemory::kBlockBytes,
                       tb1 = (tex.start + tex.bytes - 1) / LocalMemory::kBlockBytes;
        for (int k = 0; k < layoutCount_; ++k) {
            if (tb1 < kBlocks && (tb1 < keys_[k].lo || tb0 > keys_[k].hi)) continue;
            const Layout& l = layouts_[k];
            if (!ForBlocks(tex.start, tex.bytes, kBlocks,
                           [&](uint32_t b0, uint32_t b1) { return l.Any(b0, b1); }))
                continue;
            uint64_t copyPos[kSlots];
            const uint64_t* pos = l.lastPos;
            if (k == copyLayout_) {
                // Only the queued image data it reads.
                if (!CopiesOver(tex, copyPos)) continue;
                pos = copyPos;
            } else if (Drawn(l.lastPos)) {
                continue;
            }
            if (texNeeds) {
                MaxInto<kSlots>(texNeed, pos);
            } else {
                std::memcpy(texNeed, pos, sizeof(texNeed));
            }
            texNeeds = true;
        }
        if (texNeeds) need(texNeed, Wait::kReadAfterWrite);
        lastTex_ = tex;
        lastTexNeeds_ = texNeeds;
        if (texNeeds) std::memcpy(lastTexNeed_, texNeed, sizeof(texNeed));
        // Its reads kept with the others of the same range.
        c->region = RegionFor(tex);
        plainRead = c->region < 0;
        lastRegion_ = c->region;
    }

    // It fits: record what it touches.
    for (int i = 0; i < nUses; ++i) {
        const Use& u = uses[i];
        if (c->layout[i] < 0) {
            // A layout new to the queue (the depth buffer may share the frame's, just added).
            for (int k = 0; k < layoutCount_; ++k)
                if (sameLayout(u, keys_[k].base, keys_[k].width, keys_[k].bpp)) c->layout[i] = k;
            if (c->layout[i] < 0) {
                Layout& l = layouts_[layoutCount_];
                l.base = u.base;
                l.width = u.width;
                l.bpp = u.bpp;
                l.Clear();
                c->layout[i] = layoutCount_++;
            }
        }
        Layout& l = layouts_[c->layout[i]];
        ForBlocks(u.r.start, u.r.bytes, kBlocks, [&](uint32_t b0, uint32_t b1) {
            l.Mark(b0, b1);
            return false;
        });
        SyncKey(c->layout[i]);
    }
    const int mark[2] = {c->layout[0], c->layout[1]};
    if (nUses == 2 && c->layout[1] == c->layout[0]) c->layout[1] = -1;
    if (plainRead)
        ForBlocks(tex.start, tex.bytes, kBlocks,
                  [&](uint32_t b0, uint32_t b1) { return SetBits(reads_, b0, b1); });
    c->reads = tex.bytes != 0 && c->region < 0;
    claimed_ = true;
    // Kept for the next primitive (a sprite's texels depend on its corners: not kept).
    if (version != 0 && kind != PrimKind::kSprite && quickClaims_ && !writesMet) {
        QuickClaim& q = quick_;
        q.version = version;
        q.gen = claimGen_;
        q.kind = kind;
        q.uses = nUses;
        for (int i = 0; i < nUses; ++i) {
            q.base[i] = uses[i].base;
            q.bpp[i] = uses[i].bpp;
            q.mark[i] = mark[i];
            q.layout[i] = c->layout[i];
        }
        if (nUses == 1) q.layout[1] = -1;
        q.tex = tex;
        q.span = unfit ? -1 : 0;
        q.lo[0] = q.lo[1] = 1;
        q.hi[0] = q.hi[1] = 0;
        q.markedLo[0] = q.markedLo[1] = 1;
        q.markedHi[0] = q.markedHi[1] = 0;
        for (int i = 0; i < nUses; ++i) {
            const uint32_t b0 = uses[i].r.start / LocalMemory::kBlockBytes,
                           b1 = (uses[i].r.start + uses[i].r.bytes - 1) / LocalMemory::kBlockBytes;
            if (b1 < kBlocks) {  // (not when wrapping: two runs)
                q.markedLo[i] = b0;
                q.markedHi[i] = b1;
            }
        }
    }
    return Fit::kFits;
}

bool RasterBands::QuickSpans(const DrawState& st, const uint32_t* b0, const uint32_t* b1) {
    QuickClaim& q = quick_;
    for (int i = 0; i < q.uses; ++i) {
        // Blocks within eight words either side looked at: wide enough for the next few primitives.
        constexpr uint32_t kReach = 8;
        const uint32_t w0 = b0[i] / 64 >= kReach ? b0[i] / 64 - kReach : 0,
                       w1 = std::min(b1[i] / 64 + kReach, kWords - 1);
        uint64_t all[kWords];
        for (uint32_t w = w0; w <= w1; ++w) all[w] = reads_[w];
        // The texture reads queued there, by their own ranges (their blocks' bits are let go late).
        const uint32_t a0 = w0 * 64, a1 = w1 * 64 + 63;
        ForRegionsOver(Range{a0 * LocalMemory::kBlockBytes, (a1 - a0 + 1) * LocalMemory::kBlockBytes},
                       [&](int k) {
                           const Range& t = regions_[k].tex;
                           ForBlocks(t.start, t.bytes, kBlocks, [&](uint32_t r0, uint32_t r1) {
                               r0 = std::max(r0, a0);
                               r1 = std::min(r1, a1);
                               if (r0 <= r1) SetBits(all, r0, r1);
                               return false;
                           });
                       });
        for (int k = 0; k < layoutCount_; ++k) {
            if (k == q.mark[i] || keys_[k].lo > keys_[k].hi || keys_[k].hi / 64 < w0 || keys_[k].lo / 64 > w1)
                continue;
            const uint64_t* bits = layouts_[k].bits;
            for (uint32_t w = w0; w <= w1; ++w) all[w] |= bits[w];
        }
        if (AnyBits(all, b0[i], b1[i])) return false;
        // The clear span around them.
        uint32_t lo = w0 * 64, hi = w1 * 64 + 63;
        for (uint32_t w = b0[i] / 64 + 1; w-- > w0;) {
            const uint64_t m = all[w] & (w == b0[i] / 64 ? (uint64_t(1) << (b0[i] % 64)) - 1 : ~0ull);
            if (m) {
                lo = w * 64 + 64 - uint32_t(__builtin_clzll(m));
                break;
            }
        }
        for (uint32_t w = b1[i] / 64; w <= w1; ++w) {
            const uint64_t m = all[w] & (w == b1[i] / 64 ? (~0ull << (b1[i] % 64)) << 1 : ~0ull);
            if (m) {
                hi = w * 64 + uint32_t(__builtin_ctzll(m)) - 1;
                break;
            }
        }
        q.lo[i] = lo;
        q.hi[i] = hi;
    }
    return true;
}

bool RasterBands::ClaimQuickly(const DrawState& st, int64_t xa, int64_t xb, int64_t ya, int64_t yb,
                               Claimed* c) {
    QuickClaim& q = quick_;
    const uint64_t w = uint64_t(st.fbw) * 64u;
    if (q.span == 0) {
        // Whatever a primitive drawn with the state covers lies inside the scissor: when the scissor's
        // rows of each buffer do not wrap, lie apart from the other buffer's and from the texels, no
        // primitive drawn with it clashes with itself, and its writes through one layout never reach
        // the other's blocks.
        q.span = -1;
        if (w == 0 || st.scx0 < 0 || st.scy0 < 0 || st.scx0 > st.scx1 || st.scy0 > st.scy1 ||
            uint64_t(st.scx1) >= w)
            return false;
        uint32_t s0[2], s1[2];
        for (int i = 0; i < q.uses; ++i) {
            if (uint64_t(st.scy1 - st.scy0 + 1) * w * q.bpp[i] > LocalMemory::kSize) return false;
            const uint64_t first = q.base[i] + (uint64_t(st.scy0) * w + uint64_t(st.scx0)) * q.bpp[i],
                           end = q.base[i] + (uint64_t(st.scy1) * w +
                                              std::min<uint64_t>(uint64_t(st.scx1) + 3u, w - 1) + 1) *
                                                 q.bpp[i];
            if (end > LocalMemory::kSize) return false;
            if (q.tex.bytes && !(i == 1 && st.zmsk) &&
                Overlap(q.tex.start, q.tex.bytes, uint32_t(first), uint32_t(end - first)))
                return false;
            s0[i] = uint32_t(first / LocalMemory::kBlockBytes);
            s1[i] = uint32_t((end - 1) / LocalMemory::kBlockBytes);
        }
        if (q.uses == 2 && q.mark[0] != q.mark[1] && s0[0] <= s1[1] && s0[1] <= s1[0]) return false;
        // The texture as the last claim left it (it is the last one read).
        if (q.tex.bytes && (q.tex.start != lastTex_.start || q.tex.bytes != lastTex_.bytes)) return false;
        q.span = 1;
    }
    uint32_t b0[2], b1[2];
    bool inside = true;
    const uint64_t xe = std::min<uint64_t>(uint64_t(xb) + 3u, w - 1);
    for (int i = 0; i < q.uses; ++i) {
        const uint64_t first = q.base[i] + (uint64_t(ya) * w + uint64_t(xa)) * q.bpp[i],
                       end = q.base[i] + (uint64_t(yb) * w + xe + 1) * q.bpp[i];
        b0[i] = uint32_t(first / LocalMemory::kBlockBytes);
        b1[i] = uint32_t((end - 1) / LocalMemory::kBlockBytes);
        inside &= b0[i] >= q.lo[i] && b1[i] <= q.hi[i];
    }
    if (!inside && !QuickSpans(st, b0, b1)) return false;

    c->layout[0] = q.layout[0];
    c->layout[1] = q.layout[1];
    c->needs = false;
    if (q.tex.bytes == 0) {
        c->region = -1;
        c->reads = false;
    } else {
        // The same texture as the last primitive's (see Claim).
        c->region = lastRegion_;
        c->reads = c->region < 0;
        if (lastTexNeeds_) {
            // As far as the caller last looked (DepFor looks again).
            if (Behind<kSlots>(lastTexNeed_, drawnTo_) == 0) {
                lastTexNeeds_ = false;  // drawn for good
            } else {
                std::memcpy(c->need, lastTexNeed_, sizeof(c->need));
                c->needs = true;
                c->why = Wait::kReadAfterWrite;
            }
        }
    }
    for (int i = 0; i < q.uses; ++i) {
        if (b0[i] >= q.markedLo[i] && b1[i] <= q.markedHi[i]) continue;  // marked already
        Layout& l = layouts_[q.mark[i]];
        SetBits(l.bits, b0[i], b1[i]);
        if (b0[i] < l.lo || b1[i] > l.hi) {
            l.lo = std::min(l.lo, b0[i]);
            l.hi = std::max(l.hi, b1[i]);
            SyncKey(q.mark[i]);
        }
        // One run of blocks known marked: joined with this one when they meet, else this one.
        if (q.markedLo[i] <= q.markedHi[i] && b0[i] <= q.markedHi[i] + 1 && b1[i] + 1 >= q.markedLo[i]) {
            q.markedLo[i] = std::min(q.markedLo[i], b0[i]);
            q.markedHi[i] = std::max(q.markedHi[i], b1[i]);
        } else {
            q.markedLo[i] = b0[i];
            q.markedHi[i] = b1[i];
        }
    }
    return true;
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

void RasterBands::PruneLayouts() {
    for (int i = 0; i < kSlots; ++i) drawnTo_[i] = slots_[i].done.load();
    for (int k = layoutCount_ - 1; k >= 0; --k) {
        if (k == copyLayout_) continue;
        if (Behind<kSlots>(layouts_[k].lastPos, drawnTo_) != 0) continue;
        const int last = --layoutCount_;
        if (k != last) {
            layouts_[k] = layouts_[last];
            keys_[k] = keys_[last];
            if (copyLayout_ == last) copyLayout_ = k;
        }
        ForgetTexture();
        ++layoutsGen_;
    }
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
