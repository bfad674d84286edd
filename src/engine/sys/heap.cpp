#include "engine/sys/heap.h"

#include <bit>
#include <cstring>

#include "console/mem/addr.h"
#include "console/stage/dma_stage.h"
#include "engine/sys/files.h"
#include "engine/sys/loaded_files.h"

// gcc says it builds for AddressSanitizer with __SANITIZE_ADDRESS__, clang through __has_feature.
#if defined(__SANITIZE_ADDRESS__)
#define QZ_HEAP_POISONING 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QZ_HEAP_POISONING 1
#endif
#endif

#ifdef QZ_HEAP_POISONING
#include <sanitizer/asan_interface.h>
#define HEAP_POISON(addr, n) ASAN_POISON_MEMORY_REGION(Ptr<void>(addr), (n))
#define HEAP_UNPOISON(addr, n) ASAN_UNPOISON_MEMORY_REGION(Ptr<void>(addr), (n))
#else
#define HEAP_POISON(addr, n) ((void)(addr), (void)(n))
#define HEAP_UNPOISON(addr, n) ((void)(addr), (void)(n))
#endif

namespace {

constexpr uint32_t kMinUsefulBlockSize = 32;
constexpr size_t kDefaultRegionBytes = 192u * 1024u * 1024u;

// Zero-initialised, no constructor: usable from static constructors that run before main.
EngineHeap g_heap;
size_t g_regionBytes = kDefaultRegionBytes;
int g_mapError = 0;  // errno of the region's mapping when it failed

inline MemBlock* B(uint32_t a) {
    return Ptr<MemBlock>(a);
}
inline HeapLinks* L(uint32_t a) {
    return Ptr<HeapLinks>(a);
}
inline uint32_t A(const void* p) {
    return Addr32(p);
}
inline uint32_t AlignUp(uint32_t v, uint32_t a) {
    return (v + a - 1) & ~(a - 1);
}

void InitBlock(MemBlock* b, uint32_t size, uint32_t address) {
    b->localNext = b->localPrev = b->globalNext = b->globalPrev = 0;
    b->address = address;
    b->bSize = size;
    b->uSize = 0;
    b->state = 1;
    b->heapIndex = 0;
}

// Inserts right after the head sentinel. Sentinels share the layout of a block's two local links.
void LinkLocalBlock(HeapLinks* head, MemBlock* b) {
    uint32_t first = head->next;
    b->localNext = first;
    b->localPrev = A(head);
    L(first)->prev = A(b);
    head->next = A(b);
}

void UnlinkLocalBlock(MemBlock* b) {
    if (b->localPrev) L(b->localPrev)->next = b->localNext;
    if (b->localNext) L(b->localNext)->prev = b->localPrev;
    b->localNext = b->localPrev = 0;
}

// Free-list slot of a block size, in size order (blocks of 2 GB or more sit apart: their bucket wraps to
// 0, so only a request that large ever looks at them).
constexpr uint32_t kExactSlotLimit = 1u << 16;
constexpr int kExactSlots = static_cast<int>(kExactSlotLimit >> 4);
constexpr int kHugeSlot = kHeapFreeSlots - 1;
static_assert(kExactSlots + 5 * 64 == kHugeSlot, "64 slots for each bucket from 16 up");

int FreeSlot(uint32_t size) {
    if (size < kExactSlotLimit) return static_cast<int>(size >> 4);
    if (size >= 0x80000000u) return kHugeSlot;
    int bucket = 31 - std::countl_zero(size);
    if (bucket >= 20) {
        uint32_t mb = (size >> 20) - 1;
        return kExactSlots + 4 * 64 + static_cast<int>(mb < 63 ? mb : 63);
    }
    return kExactSlots + (bucket - 16) * 64 + static_cast<int>((size - (1u << bucket)) >> (bucket - 6));
}

void EmptyList(HeapLinks* head, HeapLinks* tail) {
    head->next = A(tail);
    head->prev = 0;
    tail->next = 0;
    tail->prev = A(head);
}

}  // namespace

int CompFreeHash(uint32_t size) {
    int b = 0;
    int32_t t = static_cast<int32_t>(size) >> 1;
    while (t > 0 && b < 20) {
        ++b;
        t >>= 1;
    }
    return b;
}

void EngineHeap::reset() {
    globalHead_ = 0;
    for (int i = 0; i < kHeapCount; ++i) EmptyList(&heapHead_[i], &heapTail_[i]);
    std::memset(freeFirst_, 0, sizeof freeFirst_);
    std::memset(freeMask_, 0, sizeof freeMask_);
    std::memset(freeSummary_, 0, sizeof freeSummary_);
    initialised_ = true;
}

static_assert((kHeapFreeSlots + 63) / 64 <= 2 * 64, "the summary covers every mask word");

// Goes before the first block of its size or larger: ahead of every equal block freed earlier.
void EngineHeap::insertFree(MemBlock* b) {
    int slot = FreeSlot(b->bSize);
    uint32_t prev = 0;
    uint32_t next = freeFirst_[slot];
    while (next && B(next)->bSize < b->bSize) {
        prev = next;
        next = B(next)->localNext;
    }
    b->localPrev = prev;
    b->localNext = next;
    if (prev)
        B(prev)->localNext = A(b);
    else
        freeFirst_[slot] = A(b);
    if (next) B(next)->localPrev = A(b);
    freeMask_[slot >> 6] |= uint64_t{1} << (slot & 63);
    freeSummary_[slot >> 12] |= uint64_t{1} << ((slot >> 6) & 63);
}

void EngineHeap::unlinkFree(MemBlock* b) {
    int slot = FreeSlot(b->bSize);
    if (b->localPrev)
        B(b->localPrev)->localNext = b->localNext;
    else
        freeFirst_[slot] = b->localNext;
    if (b->localNext) B(b->localNext)->localPrev = b->localPrev;
    b->localNext = b->localPrev = 0;
    if (freeFirst_[slot]) return;
    int word = slot >> 6;
    freeMask_[word] &= ~(uint64_t{1} << (slot & 63));
    if (!freeMask_[word]) freeSummary_[word >> 6] &= ~(uint64_t{1} << (word & 63));
}

// The first non-empty slot at or after `from`, or kHeapFreeSlots.
int EngineHeap::nextFreeSlot(int from) const {
    if (from >= kHeapFreeSlots) return kHeapFreeSlots;
    int word = from >> 6;
    uint64_t m = freeMask_[word] & (~uint64_t{0} << (from & 63));
    if (m) return word * 64 + std::countr_zero(m);
    for (int w = word + 1, s = w >> 6; s < 2; ++s, w = s * 64) {
        uint64_t sm = freeSummary_[s] & (~uint64_t{0} << (w & 63));
        if (!sm) continue;
        int found = s * 64 + std::countr_zero(sm);
        return found * 64 + std::countr_zero(freeMask_[found]);
    }
    return kHeapFreeSlots;
}

void EngineHeap::linkGlobalBefore(MemBlock* b, MemBlock* next) {
    b->globalNext = A(next);
    b->globalPrev = next->globalPrev;
    if (next->globalPrev)
        B(next->globalPrev)->globalNext = A(b);
    else
        globalHead_ = A(b);
    next->globalPrev = A(b);
}

void EngineHeap::linkGlobalAfter(MemBlock* b, MemBlock* prev) {
    b->globalPrev = A(prev);
    b->globalNext = prev->globalNext;
    if (prev->globalNext) B(prev->globalNext)->globalPrev = A(b);
    prev->globalNext = A(b);
}

void EngineHeap::donate(void* address, uint32_t size) {
    if (!address) return;
    uint32_t addr = A(address);
    uint64_t endRaw = static_cast<uint64_t>(addr) + size;
    if (endRaw > console::kAddrLimit) return;
    uint32_t start = AlignUp(addr, kHeapAlign);
    uint32_t end = static_cast<uint32_t>(endRaw) & ~(kHeapAlign - 1);
    if (end <= start) return;
    size = end - start;
    if (size < 1024 || size < kMinUsefulBlockSize) return;

    HEAP_UNPOISON(start, kMemBlockSize);
    MemBlock* b = B(start);
    InitBlock(b, size, start);
    if (!globalHead_ || start < globalHead_) {
        b->globalNext = globalHead_;
        if (globalHead_) B(globalHead_)->globalPrev = start;
        globalHead_ = start;
    } else {
        MemBlock* cur = B(globalHead_);
        while (cur->globalNext && cur->globalNext < start) cur = B(cur->globalNext);
        linkGlobalAfter(b, cur);
    }
    HEAP_POISON(start + kMemBlockSize, size - kMemBlockSize);
    b = mergeNeighbours(b);
    insertFree(b);
}

MemBlock* EngineHeap::findAligned(uint32_t size, uint32_t alignment, uint32_t* userOut) {
    uint32_t a = AlignUp(size, kHeapAlign);
    uint32_t need = a + kMemBlockSize;
    // Best fit: the smallest block that fits, and of those the one freed last. Slots and the lists in
    // them run in that order, so the first block that fits is the one. A request of 2 GB or more (its
    // bucket wraps to 0) can only fit in the blocks that large; smaller requests never look at them.
    int slot = need >= 0x80000000u ? kHugeSlot : FreeSlot(need);
    int end = need >= 0x80000000u ? kHeapFreeSlots : kHugeSlot;
    for (slot = nextFreeSlot(slot); slot < end; slot = nextFreeSlot(slot + 1)) {
        for (uint32_t cur = freeFirst_[slot]; cur; cur = B(cur)->localNext) {
            MemBlock* blk = B(cur);
            if (blk->bSize < need) continue;
            uint64_t user = AlignUp(cur + kMemBlockSize, alignment);
            if (user + a > static_cast<uint64_t>(blk->address) + blk->bSize) continue;
            *userOut = static_cast<uint32_t>(user);
            return blk;
        }
    }
    *userOut = 0;
    return nullptr;
}

void EngineHeap::allocateBlock(MemBlock* block, uint32_t user, uint32_t size, int heap) {
    uint32_t a = AlignUp(size, kHeapAlign);
    uint32_t hAddr = user - kMemBlockSize;
    unlinkFree(block);
    // The new header may overlap the old one: read the old one whole first.
    const MemBlock old = *block;
    uint32_t front = hAddr - old.address;
    uint32_t rear = (old.address + old.bSize) - (user + a);

    HEAP_UNPOISON(hAddr, kMemBlockSize);
    MemBlock* h = B(hAddr);
    h->address = old.address;
    h->bSize = old.bSize;
    h->globalNext = old.globalNext;
    h->globalPrev = old.globalPrev;
    if (old.globalPrev)
        B(old.globalPrev)->globalNext = hAddr;
    else
        globalHead_ = hAddr;
    if (old.globalNext) B(old.globalNext)->globalPrev = hAddr;
    h->uSize = size;
    h->state = 0;
    h->heapIndex = static_cast<uint16_t>(heap);
    LinkLocalBlock(&heapHead_[heap], h);

    if (front >= kMinUsefulBlockSize) {
        HEAP_UNPOISON(old.address, kMemBlockSize);
        MemBlock* f = B(old.address);
        InitBlock(f, front, old.address);
        linkGlobalBefore(f, h);
        h->address = hAddr;
        h->bSize -= front;
        insertFree(f);
    }
    if (rear >= kMinUsefulBlockSize) {
        uint32_t rAddr = user + a;
        HEAP_UNPOISON(rAddr, kMemBlockSize);
        MemBlock* r = B(rAddr);
        InitBlock(r, rear, rAddr);
        linkGlobalAfter(r, h);
        h->bSize -= rear;
        insertFree(r);
    }
    HEAP_UNPOISON(user, size);
}

MemBlock* EngineHeap::mergeNeighbours(MemBlock* b) {
    if (b->globalPrev) {
        MemBlock* prev = B(b->globalPrev);
        if (prev->state == 1 && prev->address + prev->bSize == b->address) {
            unlinkFree(prev);
            prev->bSize += b->bSize;
            prev->globalNext = b->globalNext;
            if (b->globalNext) B(b->globalNext)->globalPrev = A(prev);
            HEAP_POISON(A(b), kMemBlockSize);
            b = prev;
        }
    }
    if (b->globalNext) {
        MemBlock* next = B(b->globalNext);
        if (next->state == 1 && b->address + b->bSize == next->address) {
            unlinkFree(next);
            b->bSize += next->bSize;
            b->globalNext = next->globalNext;
            if (next->globalNext) B(next->globalNext)->globalPrev = A(b);
            HEAP_POISON(A(next), kMemBlockSize);
        }
    }
    return b;
}

void* EngineHeap::allocate(int heap, uint32_t size, uint32_t alignment) {
    if (size == 0) return Ptr<void>(kHeapZeroSizeSentinel);
    if (heap < 0 || heap >= kHeapCount) return nullptr;
    // Requests that cannot be rounded and headed in 32 bits can never fit.
    if (size > 0xFFFFFFFFu - 2 * alignment - kMemBlockSize) {
        x_DumpHeapInfo("memfail.txt");
        return nullptr;
    }
    uint32_t user = 0;
    MemBlock* found = findAligned(size, alignment, &user);
    if (!found) {
        x_DumpHeapInfo("memfail.txt");
        return nullptr;
    }
    allocateBlock(found, user, size, heap);
    return Ptr<void>(user);
}

void EngineHeap::release(void* p) {
    if (!p || reinterpret_cast<uintptr_t>(p) == kHeapZeroSizeSentinel) return;
    MemBlock* h = B(A(p) - kMemBlockSize);
    // Memory given back may be handed out and written at once, and the geometry stage may still be
    // reading a transfer the game sent from it: that finishes first.
    console::dma::StageDrainIfReading(Ptr<void>(h->address), h->bSize);
    h->state = 1;
    UnlinkLocalBlock(h);
    // Rebuild the header at the block start so any front waste rejoins the block.
    const MemBlock old = *h;
    HEAP_UNPOISON(old.address, kMemBlockSize);
    MemBlock* b = B(old.address);
    InitBlock(b, old.bSize, old.address);
    b->globalNext = old.globalNext;
    b->globalPrev = old.globalPrev;
    if (old.globalPrev)
        B(old.globalPrev)->globalNext = old.address;
    else
        globalHead_ = old.address;
    if (old.globalNext) B(old.globalNext)->globalPrev = old.address;
    HEAP_POISON(old.address + kMemBlockSize, old.bSize - kMemBlockSize);
    b = mergeNeighbours(b);
    insertFree(b);
}

int EngineHeap::totalUsed() const {
    uint32_t sum = 0;
    for (uint32_t cur = globalHead_; cur; cur = B(cur)->globalNext)
        if (B(cur)->state == 0) sum += B(cur)->bSize;
    return static_cast<int>(sum);
}

int EngineHeap::totalFree() const {
    uint32_t sum = 0;
    for (uint32_t cur = globalHead_; cur; cur = B(cur)->globalNext)
        if (B(cur)->state == 1) sum += B(cur)->bSize;
    return static_cast<int>(sum);
}

uint32_t EngineHeap::largestFree() const {
    uint32_t best = 0;
    for (uint32_t cur = globalHead_; cur; cur = B(cur)->globalNext)
        if (B(cur)->state == 1 && B(cur)->bSize > best) best = B(cur)->bSize;
    return best;
}

int EngineHeap::blockCount() const {
    int n = 0;
    for (uint32_t cur = globalHead_; cur; cur = B(cur)->globalNext) ++n;
    return n;
}

bool EngineHeap::blockAt(int index, HeapBlockInfo* out) const {
    int n = 0;
    for (uint32_t cur = globalHead_; cur; cur = B(cur)->globalNext, ++n) {
        if (n != index) continue;
        const MemBlock* b = B(cur);
        *out = {cur, b->address, b->bSize, b->uSize, b->state == 1, b->heapIndex};
        return true;
    }
    return false;
}

void EngineHeap::dump(const char* fileName) const {
    X_FILE* f = x_fopen(fileName, "wt");
    if (!f) return;
    static const char kRule[] =
        "---------------------------------------------------------------------------------------------\n";
    static_assert(sizeof(kRule) == 93 + 2, "the rule line is 93 dashes");
    x_fprintf(f, "\n");
    x_fprintf(f, "B: Break   F: Front waste   R: Rear waste   HI: Heap Index\n");
    x_fprintf(f, "%s", kRule);
    x_fprintf(f, "\n");
    x_fprintf(f, "Total Allocated Memory : %d \n", totalUsed());
    x_fprintf(f, "Total Free Memory      : %d \n", totalFree());
    x_fprintf(f, "\n");
    x_fprintf(f, "                       /----------------------------------\\\n");
    x_fprintf(f, "                       |       BLOCKS IN GLOBAL HEAP      |\n");
    x_fprintf(f, "%s", kRule);
    x_fprintf(f, "BFR |  Address   |  BSize  |  USize  |  State   | HI | SeqNum | LNum | FileName\n");
    x_fprintf(f, "%s", kRule);
    uint32_t prevEnd = 0;
    for (uint32_t cur = globalHead_; cur; cur = B(cur)->globalNext) {
        const MemBlock* b = B(cur);
        const char* brk = b->address != prevEnd ? "B" : ".";
        if (b->state == 1) {
            x_fprintf(f, "%s.. | 0x%8.8X | %7d | %7d | FFFFFFFF | %2d |\n", brk, b->address, b->bSize,
                      b->uSize, CompFreeHash(b->bSize));
        } else {
            const char* fr = b->address != cur ? "F" : ".";
            bool rearWaste = b->address + b->bSize != cur + kMemBlockSize + AlignUp(b->uSize, kHeapAlign);
            x_fprintf(f, "%s%s%s 0x%8.8X | %7d | %7d | AAAAAAAA | %2d |\n", brk, fr,
                      rearWaste ? "R |" : ". |", b->address, b->bSize, b->uSize, b->heapIndex);
        }
        prevEnd = b->address + b->bSize;
    }
    x_fprintf(f, "%s", kRule);
    x_fclose(f);
}

// ---- the global heap ----

int x_SetHeapRegionSize(size_t bytes) {
    if (g_heap.initialised()) return -1;
    g_regionBytes = bytes;
    return 0;
}

size_t x_HeapRegionSize() {
    return g_regionBytes;
}

int x_MemoryInit() {
    // The heap sets itself up on the first allocation, which can come from static constructors before
    // start-up gets here; starting it again would orphan their memory.
    if (g_heap.initialised()) return g_mapError;
    g_heap.reset();
    return x_DonateHeapSpace();
}

int x_DonateHeapSpace() {
    // The region is one arena mapped low, so every heap address fits the console's 32-bit records.
    const console::ArenaMapping arena = console::ArenaMap(g_regionBytes);
    if (!arena.base) return g_mapError = arena.error;
    void* base = arena.base;
    size_t size = console::ArenaSize();
    if (size > 0xFFFFFFF0u) size = 0xFFFFFFF0u;
    uint32_t start = AlignUp(A(base), kHeapAlign);
    uint32_t usable = static_cast<uint32_t>(size) - (start - A(base));
    x_DonateBlock(Ptr<void>(start), usable - 128);
    return 0;
}

void x_DonateBlock(void* address, uint32_t size) {
    if (!g_heap.initialised()) g_heap.reset();
    g_heap.donate(address, size);
}

void* x_fn_hmalloc(int heap, uint32_t size, const char* file, int line) {
    if (!g_heap.initialised()) x_MemoryInit();
    return g_heap.allocate(heap, size, kHeapAlign);
}

void* x_fn_malloc(uint32_t size, const char* file, int line) {
    return x_fn_hmalloc(0, size, file, line);
}

void* x_fn_amalloc(uint32_t size, uint32_t alignment) {
    if (!g_heap.initialised()) x_MemoryInit();
    if (alignment < kHeapAlign) alignment = kHeapAlign;
    if (alignment & (alignment - 1)) return nullptr;
    return g_heap.allocate(0, size, alignment);
}

void x_free(void* p) {
    if (!g_heap.initialised()) return;
    x_ForgetLoadedFile(p);
    g_heap.release(p);
}

bool x_InHeapRegion(const void* p) {
    const auto base = reinterpret_cast<uintptr_t>(console::ArenaBase());
    const auto at = reinterpret_cast<uintptr_t>(p);
    return base != 0 && at >= base && at - base < console::ArenaSize();
}

int x_TotalMemory() {
    return g_heap.initialised() ? g_heap.totalUsed() : 0;
}
int x_TotalMemoryFree() {
    return g_heap.initialised() ? g_heap.totalFree() : 0;
}
uint32_t x_LargestBlockFree() {
    return g_heap.initialised() ? g_heap.largestFree() : 0;
}
void x_DumpHeapInfo(const char* fileName) {
    if (g_heap.initialised()) g_heap.dump(fileName);
}
int x_HeapBlockCount() {
    return g_heap.initialised() ? g_heap.blockCount() : 0;
}
bool x_HeapBlockAt(int index, HeapBlockInfo* out) {
    return g_heap.initialised() && g_heap.blockAt(index, out);
}
