// Every dynamic allocation the game makes comes from the engine heap, so every address the game hands to
// the console fits its 32-bit records. The host's own allocations (other threads, HostMemoryScope) take
// the C runtime's malloc instead, so they cannot shift the engine heap's layout.
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <new>

#include "engine/sys/heap.h"

namespace {

// This thread's host-memory depth: -1 not known yet, 0 the game's thread outside any scope (the engine
// heap), above 0 host memory. Other threads start at 1 and stay there.
thread_local int t_hostDepth = -1;

int HostDepth() {
    if (t_hostDepth < 0) t_hostDepth = syscall(SYS_gettid) == getpid() ? 0 : 1;
    return t_hostDepth;
}

[[noreturn]] void OutOfMemory(size_t size) {
    // The heap has written its dump ("memfail.txt") already. A C++ new may not return null, so the
    // program cannot go on.
    std::fprintf(
        stderr,
        "qz: out of engine heap memory (request of %zu bytes, largest free block %u): the heap of %zu "
        "MB is too small for this run; give a larger --heap-mb (the default is 192)\n",
        size, x_LargestBlockFree(), x_HeapRegionSize() >> 20);
    std::fflush(stdout);
    std::abort();
}

[[noreturn]] void OutOfHostMemory(size_t size) {
    std::fprintf(stderr, "qz: out of host memory (request of %zu bytes)\n", size);
    std::fflush(stdout);
    std::abort();
}

void* HostAllocate(size_t size, size_t align) {
    void* p = nullptr;
    if (align <= alignof(std::max_align_t)) {
        p = std::malloc(size);
    } else if (size <= SIZE_MAX - align) {
        p = std::aligned_alloc(align, (size + align - 1) & ~(align - 1));
    }
    return p;
}

void* Allocate(size_t size) {
    // A zero-byte new still needs a distinct pointer.
    if (size == 0) size = 1;
    if (HostDepth() != 0) {
        void* p = HostAllocate(size, 0);
        if (!p) OutOfHostMemory(size);
        return p;
    }
    void* p = size <= 0xFFFF0000u ? x_fn_malloc(static_cast<uint32_t>(size), "", 0) : nullptr;
    if (!p) OutOfMemory(size);
    return p;
}

void* AllocateAligned(size_t size, std::align_val_t align) {
    if (size == 0) size = 1;
    if (HostDepth() != 0) {
        void* p = HostAllocate(size, static_cast<size_t>(align));
        if (!p) OutOfHostMemory(size);
        return p;
    }
    void* p = size <= 0xFFFF0000u ? x_fn_amalloc(static_cast<uint32_t>(size), static_cast<uint32_t>(align))
                                  : nullptr;
    if (!p) OutOfMemory(size);
    return p;
}

void* AllocateNoThrow(size_t size) noexcept {
    if (size == 0) size = 1;
    if (HostDepth() != 0) return HostAllocate(size, 0);
    return size <= 0xFFFF0000u ? x_fn_malloc(static_cast<uint32_t>(size), "", 0) : nullptr;
}

void Release(void* p) noexcept {
    if (!p || reinterpret_cast<uintptr_t>(p) == kHeapZeroSizeSentinel) return;
    if (x_InHeapRegion(p))
        x_free(p);
    else
        std::free(p);
}

}  // namespace

HostMemoryScope::HostMemoryScope() {
    t_hostDepth = HostDepth() + 1;
}
HostMemoryScope::~HostMemoryScope() {
    --t_hostDepth;
}

bool x_NewUsesEngineHeap() {
    return HostDepth() == 0;
}

void* operator new(size_t size) {
    return Allocate(size);
}
void* operator new[](size_t size) {
    return Allocate(size);
}
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    return AllocateNoThrow(size);
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
    return AllocateNoThrow(size);
}
void* operator new(size_t size, std::align_val_t align) {
    return AllocateAligned(size, align);
}
void* operator new[](size_t size, std::align_val_t align) {
    return AllocateAligned(size, align);
}

void operator delete(void* p) noexcept {
    Release(p);
}
void operator delete[](void* p) noexcept {
    Release(p);
}
void operator delete(void* p, size_t) noexcept {
    Release(p);
}
void operator delete[](void* p, size_t) noexcept {
    Release(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
    Release(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
    Release(p);
}
void operator delete(void* p, size_t, std::align_val_t) noexcept {
    Release(p);
}
void operator delete[](void* p, size_t, std::align_val_t) noexcept {
    Release(p);
}
