// Animation blocks held as bytes (as the writers return them), and a pose buffer for decoding into.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/anim/anim_format.h"
#include "engine/anim/anim_pose.h"

namespace testsupport {

inline const _animation* Anim(const std::vector<uint8_t>& v) {
    return reinterpret_cast<const _animation*>(v.data());
}
inline uint32_t Size(const std::vector<uint8_t>& v) {
    return static_cast<uint32_t>(v.size());
}

struct Pose {
    std::vector<uint8_t> bytes;
    explicit Pose(uint32_t bones) : bytes(16 + 16 * size_t(bones), 0) {}
    _angle_array* get() { return reinterpret_cast<_angle_array*>(bytes.data()); }
    _angle_array* operator->() { return get(); }
};

}  // namespace testsupport
