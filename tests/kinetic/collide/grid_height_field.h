// A height field over a regular grid of samples, for the engine's tests and benchmarks. The engine's frame
// has +y down, so the surface at (x, z) is y = -h(x, z) for an upward height h; clearance of a point
// above the surface is (surface y) - (point y). Heights between samples are bilinear. Off the grid the
// height is 0 and the normal is left as it was (as the game's terrain answers). The field's box runs from
// its frame's origin to m_size, so upward heights must not be negative (place the field's body lower to
// carry a surface that dips below zero).
#pragma once

#include <cfloat>
#include <cmath>
#include <functional>
#include <vector>

#include "kinetic/collide/height_field.h"

namespace Kinetic {

class GridHeightField : public HeightField {
public:
    // nx by nz samples with the given spacing; up(x, z) is the upward height at a sample.
    GridHeightField(int nx, int nz, float spacing, const std::function<float(float, float)>& up)
        : m_spacing(spacing), m_y(static_cast<size_t>(nx) * static_cast<size_t>(nz)) {
        m_resolution_x = nx;
        m_resolution_z = nz;
        m_size = Vector3(spacing * static_cast<float>(nx - 1), 0.0f, spacing * static_cast<float>(nz - 1));
        for (int j = 0; j < nz; ++j)
            for (int i = 0; i < nx; ++i)
                m_y[index(i, j)] = -up(spacing * static_cast<float>(i), spacing * static_cast<float>(j));
        float top = 0.0f;
        for (float y : m_y) top = y < top ? y : top;
        m_size.y = top;
    }

    float getHeightAt(float x, float z) const override {
        float h = 0.0f;
        Vector3 n;
        sample(x, z, h, n);
        return h;
    }

    bool getHeightAndNormalAt(float x, float z, float& height, Vector3& normal) const override {
        return sample(x, z, height, normal);
    }

    bool collidePoints(const Vector3* points, int count, float tolerance, float* distances,
                       Vector3* normals) const override {
        ++m_collideCalls;
        for (int i = 0; i < count; ++i) {
            float h = 0.0f;
            Vector3 n = normals[i];
            // The normal is only worked out for points that will use it.
            sample(points[i].x, points[i].z, h, n, false);
            const float d = h - points[i].y;
            if (d <= 0.0f) return true;
            if (d >= tolerance) {
                distances[i] = FLT_MAX;
            } else {
                sample(points[i].x, points[i].z, h, n, true);
                distances[i] = d;
                normals[i] = n;
            }
        }
        return false;
    }

    // Two triangles per grid cell that the region's x-z extent touches.
    void polygonizeRegion(const AABB& region, std::vector<TriangleIndices>& triangles,
                          std::vector<Vector3>& vertices) const override {
        const int i0 = clampCell(std::floor(region.m_min.x / m_spacing), m_resolution_x);
        const int i1 = clampCell(std::floor(region.m_max.x / m_spacing), m_resolution_x);
        const int j0 = clampCell(std::floor(region.m_min.z / m_spacing), m_resolution_z);
        const int j1 = clampCell(std::floor(region.m_max.z / m_spacing), m_resolution_z);
        if (region.m_max.x < 0 || region.m_max.z < 0 || region.m_min.x > m_size.x ||
            region.m_min.z > m_size.z)
            return;
        for (int j = j0; j <= j1; ++j) {
            for (int i = i0; i <= i1; ++i) {
                const auto base = static_cast<uint16_t>(vertices.size());
                for (int k = 0; k < 4; ++k) {
                    const int a = i + (k & 1), b = j + (k >> 1);
                    vertices.emplace_back(m_spacing * static_cast<float>(a), m_y[index(a, b)],
                                          m_spacing * static_cast<float>(b));
                }
                triangles.push_back(tri(base, base + 1, base + 2));
                triangles.push_back(tri(base + 1, base + 3, base + 2));
            }
        }
    }

    void getRowHeights(int row, float* heights) const override {
        for (int i = 0; i < m_resolution_x; ++i) heights[i] = m_y[index(i, row)];
    }

    mutable int m_collideCalls = 0;

private:
    size_t index(int i, int j) const {
        return static_cast<size_t>(j) * static_cast<size_t>(m_resolution_x) + static_cast<size_t>(i);
    }
    int clampCell(float c, int n) const {
        const int v = static_cast<int>(c);
        return v < 0 ? 0 : v > n - 2 ? n - 2 : v;
    }
    static TriangleIndices tri(int a, int b, int c) {
        TriangleIndices t;
        t.m_verts[0] = static_cast<uint16_t>(a);
        t.m_verts[1] = static_cast<uint16_t>(b);
        t.m_verts[2] = static_cast<uint16_t>(c);
        return t;
    }

    // Bilinear height (surface y) and the unit normal pointing out of the ground (towards -y).
    bool sample(float x, float z, float& height, Vector3& normal, bool withNormal = true) const {
        if (!(x >= 0.0f && z >= 0.0f && x <= m_size.x && z <= m_size.z)) {
            height = 0.0f;
            return false;
        }
        const float fx = x / m_spacing, fz = z / m_spacing;
        int i = static_cast<int>(fx), j = static_cast<int>(fz);
        if (i > m_resolution_x - 2) i = m_resolution_x - 2;
        if (j > m_resolution_z - 2) j = m_resolution_z - 2;
        const float u = fx - static_cast<float>(i), v = fz - static_cast<float>(j);
        const float y00 = m_y[index(i, j)], y10 = m_y[index(i + 1, j)];
        const float y01 = m_y[index(i, j + 1)], y11 = m_y[index(i + 1, j + 1)];
        height = (y00 * (1 - u) + y10 * u) * (1 - v) + (y01 * (1 - u) + y11 * u) * v;
        if (!withNormal) return true;
        const float dydx = ((y10 - y00) * (1 - v) + (y11 - y01) * v) / m_spacing;
        const float dydz = ((y01 - y00) * (1 - u) + (y11 - y10) * u) / m_spacing;
        normal = Vector3(dydx, -1.0f, dydz);
        normal.normalize();
        return true;
    }

    float m_spacing;
    std::vector<float> m_y;
};

}  // namespace Kinetic
