// Value types of the constraint and wheel-friction layer: vectors with the layer's operation names, a
// small growable array with 16-bit counts, dense matrices over caller storage, the step record and the
// velocity rows a constraint hands to a body.
#pragma once

#include <cstdint>
#include <cstring>

#include "kinetic/collide/error.h"
#include "kinetic/math/matrix3.h"
#include "kinetic/math/transform.h"
#include "kinetic/math/vector3.h"

namespace Kinetic {

class kn_Vector3 : public Vector3 {
public:
    kn_Vector3() : Vector3() {}
    kn_Vector3(float x, float y, float z) : Vector3(x, y, z) {}
    kn_Vector3(const Vector3& v) : Vector3(v.x, v.y, v.z) {}  // NOLINT: the two names of one value

    void set_cross(const Vector3& a, const Vector3& b) { *this = a.cross(b); }
    void set_mul(float s, const Vector3& v) { *this = v * s; }
    void set_mul3(const Matrix3& m, const Vector3& v) { *this = m * v; }
    void set_rotated_dir(const Matrix3& r, const Vector3& v) { *this = r * v; }
    void set_rotated_inv_dir(const Matrix3& r, const Vector3& v) { *this = r.transposed() * v; }
};

// Growable array with 16-bit capacity and size; capacity doubles from 2.
template <typename T>
class kn_Array {
public:
    kn_Array() = default;
    ~kn_Array() { delete[] m_elems; }
    kn_Array(const kn_Array&) = delete;
    kn_Array& operator=(const kn_Array&) = delete;

    void grow_mem() {
        // The counts are 16 bits: doubling past 32 768 elements would wrap to nothing.
        if (m_capacity > 0x7FFF) g_pGlobalErrorHandler->fatal("kn_Array: more than 32768 elements", 1);
        const uint16_t cap = m_capacity == 0 ? 2 : static_cast<uint16_t>(2 * m_capacity);
        T* fresh = new T[cap];
        for (uint16_t i = 0; i < m_size; ++i) fresh[i] = m_elems[i];
        delete[] m_elems;
        m_elems = fresh;
        m_capacity = cap;
    }
    void add(const T& v) {
        if (m_size == m_capacity) grow_mem();
        m_elems[m_size++] = v;
    }
    int index_of(const T& v) const {
        for (int i = 0; i < m_size; ++i)
            if (m_elems[i] == v) return i;
        return -1;
    }
    // Keeps the order of the others.
    void remove_at(int i) {
        for (int k = i; k + 1 < m_size; ++k) m_elems[k] = m_elems[k + 1];
        --m_size;
    }
    int length() const { return m_size; }
    int capacity() const { return m_capacity; }
    T& operator[](int i) { return m_elems[i]; }
    const T& operator[](int i) const { return m_elems[i]; }

private:
    uint16_t m_capacity = 0;
    uint16_t m_size = 0;
    T* m_elems = nullptr;
};

// Rows x columns over caller storage, element (i, j) at i * stride + j.
class kn_Dense_Matrix {
public:
    kn_Dense_Matrix() = default;
    kn_Dense_Matrix(float* elems, int rows, int columns, int stride)
        : m_elems(elems), m_rows(rows), m_columns(columns), m_stride(stride) {}
    float& operator()(int i, int j) { return m_elems[i * m_stride + j]; }
    float operator()(int i, int j) const { return m_elems[i * m_stride + j]; }
    void makeZero() { std::memset(m_elems, 0, sizeof(float) * static_cast<size_t>(m_stride * m_columns)); }

    float* m_elems = nullptr;
    int m_rows = 0;
    int m_columns = 0;
    int m_stride = 0;
};

// One physics step as the layer sees it.
struct kn_PSI_Info {
    int m_first = 0;
    float m_delta_time = 0.0f;
    float m_inv_delta_time = 0.0f;
    float m_start_time = 0.0f;
    float m_end_time = 0.0f;
};

// One velocity row of a constraint on one body: v . linear + w . angular, at index into the velocity
// and impulse vectors.
struct kn_VMQ_Row {
    kn_Vector3 m_linear;
    kn_Vector3 m_angular;
    int m_zero = 0;
    int m_index = 0;
};

struct kn_Core_VMQ_Input {
    int m_n_rows = 0;
    kn_VMQ_Row* m_rows = nullptr;
    kn_Vector3* m_angular_response = nullptr;  // I^-1 . angular per row, written by add_to_mass_matrix_inv
};

// Scratch of a constraint: a velocity block first, then N rows, their responses and an N x N matrix.
template <int N>
struct kn_VMQ_Storage {
    float m_velocities[4] = {0, 0, 0, 0};
    kn_VMQ_Row m_rows[N];
    kn_Vector3 m_responses[N];
    float m_matrix[N * 4] = {};
    void clear_velocities() { std::memset(m_velocities, 0, sizeof(m_velocities)); }
    kn_Core_VMQ_Input input() {
        kn_Core_VMQ_Input in;
        in.m_n_rows = N;
        in.m_rows = m_rows;
        in.m_angular_response = m_responses;
        return in;
    }
    kn_Dense_Matrix matrix() { return kn_Dense_Matrix(m_matrix, N, N, 4); }
};

}  // namespace Kinetic
