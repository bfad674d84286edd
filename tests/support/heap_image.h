// A copy of a file image in one engine heap block (16-byte aligned, as loaded files are), freed when
// it goes out of scope. `length` below the image's size keeps only its first bytes (truncated images).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/sys/heap.h"

namespace testsupport {

class HeapImage {
public:
    explicit HeapImage(const std::vector<uint8_t>& bytes, size_t length = SIZE_MAX)
        : size(length < bytes.size() ? length : bytes.size()) {
        p = static_cast<uint8_t*>(x_fn_malloc(static_cast<uint32_t>(size ? size : 1), "", 0));
        if (size) std::memcpy(p, bytes.data(), size);
    }
    ~HeapImage() { x_free(p); }
    HeapImage(HeapImage&& o) noexcept : p(o.p), size(o.size) { o.p = nullptr; }
    HeapImage(const HeapImage&) = delete;
    HeapImage& operator=(const HeapImage&) = delete;
    template <typename T>
    T* as() const {
        return reinterpret_cast<T*>(p);
    }
    uint8_t* p;
    size_t size;
};

}  // namespace testsupport
