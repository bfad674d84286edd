// An ordered pair of collidables. Its key is built from the two ids (first in the upper 32 bits), never
// from addresses, so maps keyed by it iterate the same way on every run.
#pragma once

#include <cstdint>

namespace Kinetic {

template <typename T>
class Pair {
public:
    Pair() = default;
    Pair(T a, T b) : m_first(a), m_second(b) {}
    uint64_t getKey() const { return (static_cast<uint64_t>(m_first->m_ID) << 32) | m_second->m_ID; }
    bool operator==(const Pair& o) const { return m_first == o.m_first && m_second == o.m_second; }
    bool operator<(const Pair& o) const { return getKey() < o.getKey(); }

    T m_first = nullptr;
    T m_second = nullptr;
};

}  // namespace Kinetic
