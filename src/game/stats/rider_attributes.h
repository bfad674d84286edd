// A rider's tuning levels and the stunts the rider may perform, filled by the race when it builds the
// racer.
#pragma once

#include <cstdint>
#include <vector>

class CRiderAttributes {
public:
    CRiderAttributes() = default;

    int32_t jumping = 0;
    int32_t cornering = 0;
    int32_t stability = 0;
    int32_t stunt = 0;
    std::vector<uint16_t> bikeStuntList;
    std::vector<uint16_t> riderStuntList;
};
