// The vector units' data memories: VU1 holds 1024 quadwords, VU0 256. The VIF unpacks into them and the
// microprograms read and write them. Addresses are in quadwords and wrap inside the memory, as the
// hardware's do, so no address taken from a packet can reach outside.
#pragma once

#include <cstdint>
#include <cstring>

namespace console::vu {

inline constexpr uint32_t kVu1Qwords = 1024;
inline constexpr uint32_t kVu0Qwords = 256;

class VuMemory {
public:
    explicit VuMemory(uint32_t qwords) : qwords_(qwords) { Clear(); }

    uint32_t Qwords() const { return qwords_; }
    uint32_t Wrap(uint32_t qw) const { return qw & (qwords_ - 1); }

    // The four 32-bit words of quadword `qw` (wrapped).
    uint32_t* Qw(uint32_t qw) { return &words_[Wrap(qw) * 4]; }
    const uint32_t* Qw(uint32_t qw) const { return &words_[Wrap(qw) * 4]; }
    float QwFloat(uint32_t qw, int lane) const {
        float f;
        std::memcpy(&f, &words_[Wrap(qw) * 4 + lane], 4);
        return f;
    }
    // Reads quadwords [qw, qw + count) without wrapping; false when the range leaves the memory.
    bool Span(uint32_t qw, uint32_t count, const uint32_t** out) const {
        if (qw >= qwords_ || count > qwords_ - qw) return false;
        *out = &words_[qw * 4];
        return true;
    }

    void Clear() { std::memset(words_, 0, sizeof(words_)); }

private:
    uint32_t qwords_;
    alignas(16) uint32_t words_[kVu1Qwords * 4];
};

VuMemory& Vu1Memory();
VuMemory& Vu0Memory();

}  // namespace console::vu
