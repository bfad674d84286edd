#include "console/mem/addr.h"

#include <sys/mman.h>

#include <cerrno>

#if defined(__SANITIZE_ADDRESS__)
#define QZ_LEAK_ROOTS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QZ_LEAK_ROOTS 1
#endif
#endif
#ifdef QZ_LEAK_ROOTS
#include <sanitizer/lsan_interface.h>
#endif

namespace console {
namespace {
void* g_arenaBase = nullptr;
size_t g_arenaSize = 0;
}  // namespace

ArenaMapping ArenaMap(size_t bytes) {
    if (g_arenaBase) return ArenaMapping{g_arenaBase, 0};
    const size_t page = 4096;
    bytes = (bytes + page - 1) & ~(page - 1);
    // NORESERVE: only pages the game touches cost memory.
    const int flags = MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE;
    void* p = mmap(reinterpret_cast<void*>(kArenaPreferredBase), bytes, PROT_READ | PROT_WRITE,
                   flags | MAP_FIXED_NOREPLACE, -1, 0);
    if (p == MAP_FAILED || p != reinterpret_cast<void*>(kArenaPreferredBase)) {
        if (p != MAP_FAILED) munmap(p, bytes);
        // Some tools (valgrind) place mappings themselves; any place below 2 GB will do.
        p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, flags | MAP_32BIT, -1, 0);
        if (p == MAP_FAILED) return ArenaMapping{nullptr, errno};
    }
    if (reinterpret_cast<uintptr_t>(p) + bytes > kAddrLimit) {
        munmap(p, bytes);
        return ArenaMapping{nullptr, ENOMEM};
    }
    g_arenaBase = p;
    g_arenaSize = bytes;
#ifdef QZ_LEAK_ROOTS
    // The leak checker scans only the C library's heap, stacks and globals: objects in the arena may hold
    // the only pointer to memory from the C library (the rasteriser's rows), so it scans the arena too.
    __lsan_register_root_region(p, bytes);
#endif
    return ArenaMapping{p, 0};
}

void* ArenaBase() {
    return g_arenaBase;
}
size_t ArenaSize() {
    return g_arenaSize;
}

}  // namespace console
