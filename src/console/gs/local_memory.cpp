#include "console/gs/local_memory.h"

#include <cstring>

#include "console/gs/gs_registers.h"

namespace console::gs {

LocalMemory::LocalMemory() {
    Clear();
}

void LocalMemory::Clear() {
    std::memset(bytes_, 0, sizeof(bytes_));
}

uint32_t LocalMemory::PixelAddress(uint32_t bp, uint32_t bw, uint32_t psm, uint32_t x, uint32_t y) {
    const uint32_t index = y * bw * 64u + x;
    const int bytes = PsmBytes(psm);
    const uint32_t offset = bytes > 0 ? index * static_cast<uint32_t>(bytes) : index >> 1;
    return (bp * kBlockBytes + offset) & kMask;
}

uint32_t LocalMemory::Read32(uint32_t addr) const {
    addr &= kMask;
    if (addr <= kSize - 4) {
        uint32_t v;
        std::memcpy(&v, bytes_ + addr, 4);
        return v;
    }
    uint32_t v = 0;
    for (uint32_t i = 0; i < 4; ++i) v |= uint32_t(bytes_[(addr + i) & kMask]) << (8 * i);
    return v;
}

void LocalMemory::Write32(uint32_t addr, uint32_t v) {
    addr &= kMask;
    if (addr <= kSize - 4) {
        std::memcpy(bytes_ + addr, &v, 4);
        return;
    }
    for (uint32_t i = 0; i < 4; ++i) bytes_[(addr + i) & kMask] = uint8_t(v >> (8 * i));
}

uint16_t LocalMemory::Read16(uint32_t addr) const {
    return uint16_t(bytes_[addr & kMask] | (bytes_[(addr + 1) & kMask] << 8));
}

void LocalMemory::Write16(uint32_t addr, uint16_t v) {
    bytes_[addr & kMask] = uint8_t(v);
    bytes_[(addr + 1) & kMask] = uint8_t(v >> 8);
}

uint32_t LocalMemory::ReadPixel(uint32_t bp, uint32_t bw, uint32_t psm, uint32_t x, uint32_t y) const {
    const uint32_t a = PixelAddress(bp, bw, psm, x, y);
    switch (psm) {
        case kPsmCt32:
        case kPsmZ32:
            return Read32(a);
        case kPsmCt24:
        case kPsmZ24:
            return Read32(a) & 0xFFFFFFu;
        case kPsmCt16:
        case kPsmCt16S:
            return Expand16(Read16(a));
        case kPsmZ16:
        case kPsmZ16S:
            return Read16(a);
        case kPsmT8:
            return Read8(a);
        case kPsmT4: {
            const uint32_t index = y * bw * 64u + x;
            return (index & 1) ? (Read8(a) >> 4) : (Read8(a) & 0xF);
        }
        default:
            return 0;
    }
}

void LocalMemory::WritePixel(uint32_t bp, uint32_t bw, uint32_t psm, uint32_t x, uint32_t y, uint32_t value) {
    const uint32_t a = PixelAddress(bp, bw, psm, x, y);
    switch (psm) {
        case kPsmCt32:
        case kPsmZ32:
            Write32(a, value);
            break;
        case kPsmCt24:
        case kPsmZ24:
            Write32(a, (Read32(a) & 0xFF000000u) | (value & 0xFFFFFFu));
            break;
        case kPsmCt16:
        case kPsmCt16S:
            Write16(a, uint16_t(Pack16(value)));
            break;
        case kPsmZ16:
        case kPsmZ16S:
            Write16(a, uint16_t(value));
            break;
        case kPsmT8:
            Write8(a, uint8_t(value));
            break;
        case kPsmT4: {
            const uint32_t index = y * bw * 64u + x;
            const uint8_t old = Read8(a);
            Write8(a, (index & 1) ? uint8_t((old & 0x0F) | ((value & 0xF) << 4))
                                  : uint8_t((old & 0xF0) | (value & 0xF)));
            break;
        }
        default:
            break;
    }
}

}  // namespace console::gs
