// The engine heap with a fragmented free list: a private heap holding 1,000 free blocks of mixed sizes
// (16 to 3,000 bytes, kept apart by live blocks so they cannot merge). Each iteration times a batch of
// 64 allocations (mixed sizes, one in eight aligned to 64) or the 64 frees that give them back; the
// reported time is per allocation or per free (so the wall time of a run is 64 times the minimum).
#include <benchmark/benchmark.h>

#include <chrono>
#include <vector>

#include "engine/sys/heap.h"

namespace {

constexpr int kBatch = 64;

struct FragmentedHeap {
    EngineHeap* heap = nullptr;
    void* region = nullptr;
    std::vector<void*> keep;
    std::vector<uint32_t> sizes;
    std::vector<uint32_t> aligns;
    int freeBlocks = 0;

    FragmentedHeap() {
        const uint32_t bytes = 16u << 20;
        region = x_fn_malloc(bytes, "", 0);
        heap = new EngineHeap;
        heap->reset();
        heap->donate(region, bytes);
        uint32_t x = 2463534242u;
        auto next = [&x] {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            return x;
        };
        std::vector<void*> holes;
        for (int i = 0; i < 1000; ++i) {
            holes.push_back(heap->allocate(0, 16 + next() % 2985, 16));
            keep.push_back(heap->allocate(0, 16 + next() % 200, 16));
        }
        for (void* p : holes) heap->release(p);
        HeapBlockInfo info;
        for (int i = 0; heap->blockAt(i, &info); ++i) freeBlocks += info.free;
        for (int i = 0; i < 1024; ++i) {
            sizes.push_back(1 + next() % 3000);
            aligns.push_back(next() % 8 == 0 ? 64 : 16);
        }
    }
    ~FragmentedHeap() {
        delete heap;
        x_free(region);
    }
};

FragmentedHeap& Heap() {
    static FragmentedHeap h;
    return h;
}

double Seconds(std::chrono::steady_clock::time_point a, std::chrono::steady_clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

void BM_HeapAllocate1000FreeBlocks(benchmark::State& state) {
    FragmentedHeap& h = Heap();
    void* got[kBatch];
    size_t at = 0;
    for (auto _ : state) {
        auto t0 = std::chrono::steady_clock::now();
        for (int i = 0; i < kBatch; ++i, at = (at + 1) % h.sizes.size())
            got[i] = h.heap->allocate(0, h.sizes[at], h.aligns[at]);
        auto t1 = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(got);
        for (int i = kBatch - 1; i >= 0; --i) h.heap->release(got[i]);
        state.SetIterationTime(Seconds(t0, t1) / kBatch);
    }
    state.counters["free_blocks"] = h.freeBlocks;
}
BENCHMARK(BM_HeapAllocate1000FreeBlocks)->UseManualTime()->MinTime(0.05)->Unit(benchmark::kNanosecond);

void BM_HeapFree1000FreeBlocks(benchmark::State& state) {
    FragmentedHeap& h = Heap();
    void* got[kBatch];
    size_t at = 0;
    for (auto _ : state) {
        for (int i = 0; i < kBatch; ++i, at = (at + 1) % h.sizes.size())
            got[i] = h.heap->allocate(0, h.sizes[at], h.aligns[at]);
        auto t0 = std::chrono::steady_clock::now();
        for (int i = kBatch - 1; i >= 0; --i) h.heap->release(got[i]);
        auto t1 = std::chrono::steady_clock::now();
        state.SetIterationTime(Seconds(t0, t1) / kBatch);
    }
    state.counters["free_blocks"] = h.freeBlocks;
}
BENCHMARK(BM_HeapFree1000FreeBlocks)->UseManualTime()->MinTime(0.05)->Unit(benchmark::kNanosecond);

}  // namespace
