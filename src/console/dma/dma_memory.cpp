#include "console/dma/dma_memory.h"

#include <unistd.h>

#include "console/mem/addr.h"
#include "console/mem/scratchpad.h"

extern "C" char __executable_start[];

namespace console::dma {
namespace {

bool Inside(uintptr_t a, size_t bytes, uintptr_t lo, uintptr_t hi) { return a >= lo && a <= hi && bytes <= hi - a; }

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
    // The program image (read-only data included), its static data and the break heap after it.
    const uintptr_t image = reinterpret_cast<uintptr_t>(__executable_start);
    const uintptr_t brk = reinterpret_cast<uintptr_t>(sbrk(0));
    if (Inside(a, bytes, image, brk)) return reinterpret_cast<const uint8_t*>(a);
    return nullptr;
}

}  // namespace console::dma
