// Malformed variants of a writer's output: overwrite one field at its offset in the format's record
// (offsetof), e.g. Poke(img, offsetof(_FS_BITMAP, numColors), uint32_t(1000)).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace testsupport {

template <typename T>
void Poke(std::vector<uint8_t>& image, size_t offset, T value) {
    std::memcpy(image.data() + offset, &value, sizeof value);
}

template <typename T>
T Peek(const std::vector<uint8_t>& image, size_t offset) {
    T v;
    std::memcpy(&v, image.data() + offset, sizeof v);
    return v;
}

}  // namespace testsupport
