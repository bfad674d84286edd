// A bike's tuning levels, filled by the race when it builds the racer; the bike derives its handling
// from them.
#pragma once

#include <cstdint>

class CBikeAttributes {
public:
    CBikeAttributes() = default;

    int32_t acceleration = 0;
    int32_t topSpeed = 0;
    int32_t suspension = 0;
    int32_t traction = 0;
};
