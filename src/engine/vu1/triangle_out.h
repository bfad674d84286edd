// Triangle output shared by the skinned, instanced and VU0-fed programs: vertices arrive as homogeneous
// screen positions (and clip-space positions when clipping), are divided by w, optionally clipped against
// |x|, |y|, |z| <= w or culled as back faces, and leave as PACKED GIF packets (ST, RGBAQ, XYZ2) on PATH1
// under the packet's tag template.
#pragma once

#include <cstdint>

#include "engine/vu1/programs.h"

namespace engine::vu1 {

struct OutVertex {
    float h[4];     // homogeneous screen position (before the divide)
    float c[4];     // clip-space position (read only when clipping)
    float s, t;     // texture coordinates before the divide
    float rgba[4];  // colour on the GS scale (128 = 1.0)
};

class TriangleOut {
public:
    explicit TriangleOut(const gif::GifTag& tmpl) : tmpl_(tmpl) {}
    ~TriangleOut() { Flush(); }

    // One triangle. Without clipping a triangle with a vertex at or behind the eye, or outside the GS
    // coordinate range, is dropped whole. With `cull`, triangles running clockwise on the screen (y down)
    // are dropped as back faces.
    void Triangle(const OutVertex& a, const OutVertex& b, const OutVertex& c, bool clip, bool cull);
    // Sends what is buffered.
    void Flush();

    uint32_t Drawn() const { return drawn_; }
    uint32_t Dropped() const { return dropped_; }

private:
    bool Emit(const OutVertex& v);

    static constexpr uint32_t kCapacity = 3 * 64;
    gif::GifTag tmpl_;
    alignas(16) uint32_t buf_[(1 + 3 * (kCapacity + 21)) * 4];
    uint32_t n_ = 0;
    uint32_t drawn_ = 0, dropped_ = 0;
};

// Row-vector transform: out = p0 row0 + p1 row1 + p2 row2 + p3 row3 of a 16-float row-major matrix.
inline void TransformRow(const float* m, const float p[4], float out[4]) {
    for (int c = 0; c < 4; ++c) out[c] = p[0] * m[c] + p[1] * m[4 + c] + p[2] * m[8 + c] + p[3] * m[12 + c];
}

}  // namespace engine::vu1
