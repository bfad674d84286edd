// Where a DMA address may point. The controller reads main memory and the scratchpad (selected by bit 31
// of an address); on the host, main memory is what the program can hand out below 2 GB: the engine
// heap's arena, the program's loaded segments (code, constants, static data) and the C library's break
// heap. Every address a chain names is checked against these before a byte is read.
#pragma once

#include <cstddef>
#include <cstdint>

namespace console::dma {

// The readable bytes for `bytes` bytes at DMA address `addr`, or null when any of them lies outside
// known memory (or the scratchpad range for an address with the scratchpad bit). Only mapped memory is
// known: the gaps between the program's segments and its break heap are not.
const uint8_t* Resolve(uint32_t addr, size_t bytes);

}  // namespace console::dma
