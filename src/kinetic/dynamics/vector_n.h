// Resizable float vector for the integrators' state arrays.
#pragma once

#include <cstddef>
#include <vector>

namespace Kinetic {

class VectorN {
public:
    VectorN() { refresh(); }
    VectorN(const VectorN& o) : m_storage(o.m_storage) { refresh(); }
    VectorN& operator=(const VectorN& o) {
        m_storage = o.m_storage;
        refresh();
        return *this;
    }

    // New elements are zero.
    void resize(int n) {
        m_storage.resize(static_cast<size_t>(n), 0.0f);
        refresh();
    }
    // Every element zero, n of them.
    void assignZero(int n) {
        m_storage.assign(static_cast<size_t>(n), 0.0f);
        refresh();
    }
    int size() const { return static_cast<int>(m_storage.size()); }
    float& operator[](int i) { return m_elt[i]; }
    float operator[](int i) const { return m_elt[i]; }
    float* data() { return m_elt; }
    const float* data() const { return m_elt; }

    float* m_elt = nullptr;
    std::vector<float> m_storage;

private:
    void refresh() { m_elt = m_storage.data(); }
};

}  // namespace Kinetic
