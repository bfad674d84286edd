#include "console/dma/dma_memory.h"

#include <link.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "console/mem/addr.h"
#include "console/mem/scratchpad.h"

namespace console::dma {
namespace {

struct Range {
    uintptr_t lo, hi;
};

// The program's loaded segments (code, read-only data, data and bss), found once. Only mapped ranges
// count: the address space between the segments and the break heap may hold unmapped holes.
Range g_segments[16];
int g_segmentCount = 0;
bool g_ready = false;
uintptr_t g_heapStart = 0;

int CollectSegments(dl_phdr_info* info, size_t, void*) {
    // The first object reported is the program itself.
    for (int i = 0; i < info->dlpi_phnum && g_segmentCount < 16; ++i) {
        const ElfW(Phdr)& ph = info->dlpi_phdr[i];
        if (ph.p_type != PT_LOAD) continue;
        const uintptr_t lo = info->dlpi_addr + ph.p_vaddr;
        g_segments[g_segmentCount++] = {lo, lo + ph.p_memsz};
    }
    return 1;
}

// Start of the C library's break heap, from the process's memory map; 0 while it has none.
uintptr_t FindHeapStart() {
    std::FILE* f = std::fopen("/proc/self/maps", "r");
    if (!f) return 0;
    char line[512];
    uintptr_t start = 0;
    while (std::fgets(line, sizeof line, f)) {
        if (!std::strstr(line, "[heap]")) continue;
        unsigned long lo = 0;
        if (std::sscanf(line, "%lx-", &lo) == 1) start = lo;
        break;
    }
    std::fclose(f);
    return start;
}

void Init() {
    if (g_ready) return;
    g_ready = true;
    dl_iterate_phdr(CollectSegments, nullptr);
    g_heapStart = FindHeapStart();
}

bool Inside(uintptr_t a, size_t bytes, uintptr_t lo, uintptr_t hi) {
    return a >= lo && a <= hi && bytes <= hi - a;
}

}  // namespace

const uint8_t* Resolve(uint32_t addr, size_t bytes) {
    if (addr & kDmaSprBit) {
        const uint32_t off = addr & ~kDmaSprBit;
        if (off > kScratchpadSize || bytes > kScratchpadSize - off) return nullptr;
        return Scratchpad() + off;
    }
    const uintptr_t a = addr;
    if (a == 0) return nullptr;
    const uintptr_t arena = reinterpret_cast<uintptr_t>(ArenaBase());
    if (arena && Inside(a, bytes, arena, arena + ArenaSize())) return reinterpret_cast<const uint8_t*>(a);
    Init();
    for (int i = 0; i < g_segmentCount; ++i)
        if (Inside(a, bytes, g_segments[i].lo, g_segments[i].hi)) return reinterpret_cast<const uint8_t*>(a);
    if (!g_heapStart) g_heapStart = FindHeapStart();
    if (g_heapStart) {
        const uintptr_t brk = reinterpret_cast<uintptr_t>(sbrk(0));
        if (Inside(a, bytes, g_heapStart, brk)) return reinterpret_cast<const uint8_t*>(a);
    }
    return nullptr;
}

}  // namespace console::dma
