// The 16 KB scratchpad memory. DMA addresses with the scratchpad bit set refer to it.
#pragma once

#include <cstdint>

namespace console {

inline constexpr uint32_t kScratchpadAddr = 0x70000000u;
inline constexpr uint32_t kScratchpadSize = 16 * 1024;
inline constexpr uint32_t kDmaSprBit = 0x80000000u;

// Aligned to its size, as on the console: the low 14 bits of a pointer into it are its offset.
alignas(kScratchpadSize) extern uint8_t g_scratchpad[kScratchpadSize];

// The scratchpad as the game addresses it: through globals, never through its console address.
inline uint8_t* Scratchpad() {
    return g_scratchpad;
}

}  // namespace console
