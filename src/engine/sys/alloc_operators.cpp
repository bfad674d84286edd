// Every dynamic allocation of the program comes from the engine heap, so every address the game hands
// to the console fits its 32-bit records.
#include <cstdio>
#include <cstdlib>
#include <new>

#include "engine/sys/heap.h"

namespace {

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

void* Allocate(size_t size) {
    // A zero-byte new still needs a distinct pointer.
    if (size == 0) size = 1;
    void* p = size <= 0xFFFF0000u ? x_fn_malloc(static_cast<uint32_t>(size), "", 0) : nullptr;
    if (!p) OutOfMemory(size);
    return p;
}

void* AllocateAligned(size_t size, std::align_val_t align) {
    if (size == 0) size = 1;
    void* p = size <= 0xFFFF0000u ? x_fn_amalloc(static_cast<uint32_t>(size), static_cast<uint32_t>(align))
                                  : nullptr;
    if (!p) OutOfMemory(size);
    return p;
}

}  // namespace

void* operator new(size_t size) {
    return Allocate(size);
}
void* operator new[](size_t size) {
    return Allocate(size);
}
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    return size <= 0xFFFF0000u ? x_fn_malloc(static_cast<uint32_t>(size ? size : 1), "", 0) : nullptr;
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
    return size <= 0xFFFF0000u ? x_fn_malloc(static_cast<uint32_t>(size ? size : 1), "", 0) : nullptr;
}
void* operator new(size_t size, std::align_val_t align) {
    return AllocateAligned(size, align);
}
void* operator new[](size_t size, std::align_val_t align) {
    return AllocateAligned(size, align);
}

void operator delete(void* p) noexcept {
    x_free(p);
}
void operator delete[](void* p) noexcept {
    x_free(p);
}
void operator delete(void* p, size_t) noexcept {
    x_free(p);
}
void operator delete[](void* p, size_t) noexcept {
    x_free(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
    x_free(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
    x_free(p);
}
void operator delete(void* p, size_t, std::align_val_t) noexcept {
    x_free(p);
}
void operator delete[](void* p, size_t, std::align_val_t) noexcept {
    x_free(p);
}
