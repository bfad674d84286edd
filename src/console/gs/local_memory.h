// The graphics synthesizer's 4 MiB local memory. Buffers are addressed by 256-byte blocks (8 KB pages hold
// 32 blocks) and laid out linearly: pixel (x, y) of a buffer at block `bp` with width `bw` (in units of 64
// pixels) sits at byte bp * 256 + (y * bw * 64 + x) * bytes-per-pixel. Every address wraps inside the 4 MiB,
// so no access can leave the array whatever a packet says.
#pragma once

#include <cstddef>
#include <cstdint>

namespace console::gs {

class LocalMemory {
public:
    static constexpr uint32_t kSize = 4u * 1024u * 1024u;
    static constexpr uint32_t kMask = kSize - 1;
    static constexpr uint32_t kBlockBytes = 256;
    static constexpr uint32_t kPageBytes = 8192;

    LocalMemory();

    void Clear();
    uint8_t* Data() { return bytes_; }
    const uint8_t* Data() const { return bytes_; }

    // Pixel-format access. Colours are 32-bit RGBA (R in the low byte) for colour formats, raw values for
    // Z formats and indices for PSMT8/PSMT4. 24-bit formats keep the top byte of the slot; 16-bit colour
    // is RGBA 5:5:5:1. Unknown formats read 0 and write nothing.
    uint32_t ReadPixel(uint32_t bp, uint32_t bw, uint32_t psm, uint32_t x, uint32_t y) const;
    void WritePixel(uint32_t bp, uint32_t bw, uint32_t psm, uint32_t x, uint32_t y, uint32_t value);

    // Byte address of the start of pixel (x, y) (for 4-bit formats: the byte holding it), wrapped.
    static uint32_t PixelAddress(uint32_t bp, uint32_t bw, uint32_t psm, uint32_t x, uint32_t y);

    uint32_t Read32(uint32_t addr) const;
    void Write32(uint32_t addr, uint32_t v);
    uint16_t Read16(uint32_t addr) const;
    void Write16(uint32_t addr, uint16_t v);
    uint8_t Read8(uint32_t addr) const { return bytes_[addr & kMask]; }
    void Write8(uint32_t addr, uint8_t v) { bytes_[addr & kMask] = v; }

private:
    alignas(64) uint8_t bytes_[kSize];
};

// 16-bit colour <-> 32-bit RGBA.
inline uint32_t Expand16(uint32_t c) {
    const uint32_t r = (c & 0x1F) << 3, g = ((c >> 5) & 0x1F) << 3, b = ((c >> 10) & 0x1F) << 3;
    const uint32_t a = (c & 0x8000) ? 0x80 : 0;
    return r | (g << 8) | (b << 16) | (a << 24);
}
inline uint32_t Pack16(uint32_t c) {
    return ((c >> 3) & 0x1F) | (((c >> 11) & 0x1F) << 5) | (((c >> 19) & 0x1F) << 10) | ((c >> 31) << 15);
}

}  // namespace console::gs
