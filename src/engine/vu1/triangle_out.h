// Triangle output shared by every geometry program: vertices leave as PACKED GIF packets (ST, RGBAQ,
// XYZ2) on PATH1 under the packet's tag template. A vertex arrives as a homogeneous screen position (and
// a clip-space position when clipping); the output divides by w, can clip against |x|, |y|, |z| <= w in
// clip space (Sutherland-Hodgman, every attribute interpolated) and cull back faces, and refuses a
// vertex outside the GS coordinate range. The clipping frustum is a guard band far wider than the
// screen; a triangle that cannot draw a pixel (no pixel centre of the drawing window in its box on
// either axis, or no area) is dropped here after the divide rather than sent: the graphics
// synthesizer would reject it with the same test, so the pictures are the same.
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

// Clips a convex polygon in clip space (OutVertex::c) against the six planes; poly has room for 9
// corners. Returns the number of corners left.
int ClipPolygon(OutVertex* poly, int n);

class TriangleOut {
public:
    // Vertices one output packet can hold: the unskinned programs' largest batch, every triangle clipped
    // to a fan of seven.
    static constexpr uint32_t kMaxVertices = 28 * 7 * 3;

    // Takes the drawing window of the template's context from the graphics synthesizer's registers.
    explicit TriangleOut(const gif::GifTag& tmpl);
    ~TriangleOut() { Flush(); }

    // One triangle. Without clipping a triangle with a vertex at or behind the eye, or outside the GS
    // coordinate range, is dropped whole. With `cull`, triangles running clockwise on the screen (y down)
    // are dropped as back faces. Sends the buffer first when it holds 64 triangles or more.
    void Triangle(const OutVertex& a, const OutVertex& b, const OutVertex& c, bool clip, bool cull);

    // Appends one vertex at screen position (sx, sy, sz), already divided by w (invW = 1 / w); false
    // (nothing appended) when it falls outside the GS coordinate range. Vertices make triangles in threes:
    // the third of a triangle that cannot draw a pixel takes the triangle's vertices back out (true:
    // nothing failed). The caller keeps within kMaxVertices.
    bool EmitScreen(float sx, float sy, float sz, float invW, const OutVertex& v);
    // Appends one vertex from its homogeneous screen position; false at or behind the eye or off range.
    bool Emit(const OutVertex& v);
    // Vertices buffered, and dropping the ones after the first n (a triangle that failed half way).
    uint32_t Buffered() const { return n_; }
    void Truncate(uint32_t n) { n_ = n; }

    // Sends what is buffered.
    void Flush();

    uint32_t Drawn() const { return drawn_; }
    uint32_t Dropped() const { return dropped_; }
    // Triangles dropped since the start of the run because they cannot draw a pixel of the window.
    static uint64_t OutsideWindow();
    // Whether such triangles are dropped (on by default; tests draw with it off to compare the pictures).
    // Returns the previous setting.
    static bool DropOutsideWindow(bool drop);

private:
    static constexpr uint32_t kFlushAt = 3 * 64;
    static_assert(kMaxVertices >= kFlushAt + 21, "a clipped triangle must fit after the flush point");
    // Whether the triangle of the last three vertices can draw a pixel of the window.
    bool CanDraw() const;

    gif::GifTag tmpl_;
    // The drawing window: offset (12.4) and scissor (pixels); off for primitives other than triangle lists.
    bool windowed_ = false;
    int32_t ofx_ = 0, ofy_ = 0, scx0_ = 0, scx1_ = 0, scy0_ = 0, scy1_ = 0;
    alignas(16) uint32_t buf_[(1 + 3 * kMaxVertices) * 4];
    uint32_t n_ = 0;
    uint32_t drawn_ = 0, dropped_ = 0;
};

}  // namespace engine::vu1
