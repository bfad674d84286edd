#include "kinetic/collide/dma_controller.h"

#include <cstdint>
#include <cstring>

#include "console/mem/scratchpad.h"

namespace Kinetic {

void DMAController::sendToSPR(const void* source, void* scratchpadAddress, unsigned int quadwords) {
    uint8_t* base = console::Scratchpad();
    auto addr = reinterpret_cast<uintptr_t>(scratchpadAddress);
    auto lo = reinterpret_cast<uintptr_t>(base);
    // The channel only sees the low 14 bits of the scratchpad address.
    uint32_t offset = addr >= lo && addr < lo + console::kScratchpadSize
                          ? static_cast<uint32_t>(addr - lo)
                          : static_cast<uint32_t>(addr & 0x3FFF);
    size_t bytes = static_cast<size_t>(quadwords) * 16;
    if (bytes > console::kScratchpadSize - offset) bytes = console::kScratchpadSize - offset;
    std::memmove(base + offset, source, bytes);
}

}  // namespace Kinetic
