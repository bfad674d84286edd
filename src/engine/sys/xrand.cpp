#include "engine/sys/xrand.h"

// The engine's internal state (namespace engine) is used here unqualified.
using namespace engine;

namespace engine {
uint64_t LastRand = 1;
}  // namespace engine

int x_rand() {
    LastRand = LastRand * 214013u + 2531011u;
    return static_cast<int>((LastRand >> 16) & 0x7FFF);
}

int x_rand_int(int lo, int hi) {
    // The span is formed in 64 bits: hi - lo + 1 overflows int for wide ranges, and is 0 (a division
    // by zero) or negative when hi < lo.
    const int64_t span = static_cast<int64_t>(hi) - lo + 1;
    if (span <= 0) return lo;
    return static_cast<int>(lo + x_rand() % span);
}
