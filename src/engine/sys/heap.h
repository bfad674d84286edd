// The engine heap: a best-fit allocator over one region, 32-byte block headers, power-of-two size
// buckets, 16-byte aligned user memory. Every dynamic allocation of the game comes from it (global
// operator new and delete forward here on the game's thread), so every address the game hands to the
// console fits 32 bits; the host's own allocations do not (see HostMemoryScope).
#pragma once

#include <cstddef>
#include <cstdint>

// Returned for a zero-byte request; never dereferenced, ignored by x_free.
inline constexpr uint32_t kHeapZeroSizeSentinel = 0xFFFFFFF0u;
inline constexpr int kHeapCount = 8;
inline constexpr int kHeapBuckets = 21;
inline constexpr uint32_t kHeapAlign = 16;
inline constexpr uint32_t kMemBlockSize = 32;
// Free lists by size: one per 16-byte size below 64 KB, 64 per power of two from there to 1 MB, 64 of
// 1 MB each above that, and one for blocks of 2 GB or more.
inline constexpr int kHeapFreeSlots = 4096 + 5 * 64 + 1;

// Block header, placed right before the user memory. Links are 32-bit addresses so the header keeps its
// 32 bytes (and the dump its figures) on a 64-bit host.
struct MemBlock {
    uint32_t localNext;  // used list of its heap, or free list of its size slot (smallest first)
    uint32_t localPrev;
    uint32_t globalNext;  // address order
    uint32_t globalPrev;
    uint32_t address;  // start of the block's memory (differs from the header with front waste)
    uint32_t bSize;    // whole block: header, user memory, waste
    uint32_t uSize;    // bytes the caller asked for
    uint16_t state;    // 1 free, 0 used
    uint16_t heapIndex;
};
static_assert(sizeof(MemBlock) == 32, "MemBlock must stay 32 bytes");

// Size of the region the heap takes on first use, in bytes. Call before anything allocates (the host
// does, from --heap-mb); returns -1 when the heap is already set up.
int x_SetHeapRegionSize(size_t bytes);
size_t x_HeapRegionSize();

// Sets the heap up over its region, once (the first allocation does it too; the host calls it first, so
// a region that cannot be mapped is reported before anything needs the heap). Returns 0, or the errno of
// the failed mapping: the heap then stays empty and every allocation fails.
int x_MemoryInit();
int x_DonateHeapSpace();
void x_DonateBlock(void* address, uint32_t size);

void* x_fn_malloc(uint32_t size, const char* file, int line);

// The host's own memory. Global operator new takes from the engine heap only on the game's thread (the
// program's main thread) and only outside a HostMemoryScope; other threads (the rasteriser's and the
// geometry stage's workers, a window's) and host code inside a scope take the C runtime's malloc.
// Whatever the host does (output paths, PNG and WAV writing, worker timing) then leaves the engine heap's
// layout, and the figures the game prints from it, alone. Operator delete tells the two apart by
// address.
class HostMemoryScope {
public:
    HostMemoryScope();
    ~HostMemoryScope();
    HostMemoryScope(const HostMemoryScope&) = delete;
    HostMemoryScope& operator=(const HostMemoryScope&) = delete;
};
// True when operator new on this thread takes from the engine heap right now.
bool x_NewUsesEngineHeap();
// True when `p` lies in the engine heap's region.
bool x_InHeapRegion(const void* p);
void* x_fn_hmalloc(int heap, uint32_t size, const char* file, int line);
void x_free(void* p);

int x_TotalMemory();
int x_TotalMemoryFree();
uint32_t x_LargestBlockFree();
void x_DumpHeapInfo(const char* fileName);

// Size bucket of a block size: floor(log2 size), capped at 20.
int CompFreeHash(uint32_t size);

// Allocation with a larger alignment (a power of two of at least 16); global aligned operator new.
void* x_fn_amalloc(uint32_t size, uint32_t alignment);

// Walk every block in address order (for tests and the dump).
struct HeapBlockInfo {
    uint32_t header;
    uint32_t address;
    uint32_t bSize;
    uint32_t uSize;
    bool free;
    int heapIndex;
};
int x_HeapBlockCount();
bool x_HeapBlockAt(int index, HeapBlockInfo* out);

// The allocator itself. The x_ functions work on one global instance; tests build private instances
// (the instance and the memory it manages must both be in 32-bit reach, so allocate them from the heap).
struct HeapLinks {
    uint32_t next;
    uint32_t prev;
};

class EngineHeap {
public:
    void reset();
    bool initialised() const { return initialised_; }
    void markInitialised() { initialised_ = true; }
    void donate(void* address, uint32_t size);
    void* allocate(int heap, uint32_t size, uint32_t alignment);
    void release(void* p);
    int totalUsed() const;
    int totalFree() const;
    uint32_t largestFree() const;
    void dump(const char* fileName) const;
    int blockCount() const;
    bool blockAt(int index, HeapBlockInfo* out) const;

private:
    MemBlock* findAligned(uint32_t size, uint32_t alignment, uint32_t* userOut);
    void allocateBlock(MemBlock* block, uint32_t user, uint32_t size, int heap);
    MemBlock* mergeNeighbours(MemBlock* b);
    void insertFree(MemBlock* b);
    void unlinkFree(MemBlock* b);
    int nextFreeSlot(int from) const;
    void linkGlobalBefore(MemBlock* b, MemBlock* next);
    void linkGlobalAfter(MemBlock* b, MemBlock* prev);

    bool initialised_;
    uint32_t globalHead_;
    HeapLinks heapHead_[kHeapCount];
    HeapLinks heapTail_[kHeapCount];
    // Each slot's list runs from the smallest block up, and among equal sizes from the one freed last:
    // the first block that fits, in slot order, is the best fit. A set bit marks a non-empty slot, and
    // a bit of the summary a non-zero word of the mask.
    uint32_t freeFirst_[kHeapFreeSlots];
    uint64_t freeMask_[(kHeapFreeSlots + 63) / 64];
    uint64_t freeSummary_[2];
};
