// Triangle output shared by every geometry program: vertices leave as PACKED GIF packets (ST, RGBAQ,
// XYZ2) on PATH1 under the packet's tag template. A vertex arrives as a homogeneous screen position (and
// a clip-space position when clipping); the output divides by w, can clip against |x|, |y|, |z| <= w in
// clip space (Sutherland-Hodgman, every attribute interpolated) and cull back faces, and refuses a
// vertex outside the GS coordinate range. The clipping frustum is a guard band far wider than the
// screen; a triangle that cannot draw a pixel (no pixel centre of the drawing window in its box on
// either axis, or no area) is dropped here after the divide rather than sent: the graphics
// synthesizer would reject it with the same test, so the pictures are the same.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#include "engine/vu1/programs.h"
#include "engine/vu1/vu_data.h"

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
// Whether a clip-space position is inside (or on) all six planes: clipping leaves such corners as they are.
bool InsideFrustum(const OutVertex& v);

class TriangleOut {
public:
    // Vertices one output packet can hold: the unskinned programs' largest batch, every triangle clipped
    // to a fan of seven.
    static constexpr uint32_t kMaxVertices = 28 * 7 * 3;

    // Takes the drawing window of the template's context from the graphics synthesizer's registers.
    explicit TriangleOut(const gif::GifTag& tmpl);
    ~TriangleOut();
    TriangleOut(const TriangleOut&) = delete;
    TriangleOut& operator=(const TriangleOut&) = delete;

    // One triangle. Without clipping a triangle with a vertex at or behind the eye, or outside the GS
    // coordinate range, is dropped whole. With `cull`, triangles running clockwise on the screen (y down)
    // are dropped as back faces. Sends the buffer first when it holds 64 triangles or more.
    void Triangle(const OutVertex& a, const OutVertex& b, const OutVertex& c, bool clip, bool cull);

    // Appends one vertex at screen position (sx, sy, sz), already divided by w (invW = 1 / w); false
    // (nothing appended) when it falls outside the GS coordinate range. Vertices make triangles in threes:
    // the third of a triangle that cannot draw a pixel takes the triangle's vertices back out (true:
    // nothing failed). The caller keeps within kMaxVertices.
    bool EmitScreen(float sx, float sy, float sz, float invW, const OutVertex& v);
    // The 12 words EmitScreen writes for a vertex: S/Q, T/Q, Q, 0, R, G, B, A, X, Y, Z, 0; false (o left
    // unfinished) when the position falls outside the GS coordinate range.
    static bool Pack(float sx, float sy, float sz, float invW, const OutVertex& v, uint32_t o[12]) {
        if (!ToFixed(sx, o[8]) || !ToFixed(sy, o[9])) return false;
        PackRest(sz, invW, v, o);
        return true;
    }
    // The words of a vertex other than X and Y (o[8], o[9]).
    static void PackRest(float sz, float invW, const OutVertex& v, uint32_t o[12]) {
        constexpr float kMaxZ = 16777215.0f;
        if (!(sz >= 0.0f)) sz = 0.0f;
        if (sz > kMaxZ) sz = kMaxZ;
#if defined(__SSE2__)
        PackTexColour(_mm_set1_ps(invW), v, o);
#else
        o[0] = FloatBits(v.s * invW);
        o[1] = FloatBits(v.t * invW);
        o[2] = FloatBits(invW);
        o[3] = 0;
        for (int i = 0; i < 4; ++i) o[4 + i] = Clamp255(v.rgba[i]);
#endif
        o[10] = static_cast<uint32_t>(sz);
        o[11] = 0;
    }
#if defined(__SSE2__)
    // Words 0-7 of a vertex (S/Q, T/Q, Q, 0 and the colour clamped by Clamp255) as two quadwords, `inv`
    // being Q in every lane: the same products and the same clamping, lane by lane.
    static void PackTexColour(__m128 inv, const OutVertex& v, uint32_t o[12]) {
        const __m128 st = _mm_mul_ps(_mm_setr_ps(v.s, v.t, 0.0f, 0.0f), inv);
        // (S/Q, T/Q, Q, 0): Q's bits as they are.
        const __m128 stq = _mm_movelh_ps(st, _mm_unpacklo_ps(inv, _mm_setzero_ps()));
        // maxps and minps pick as Clamp255's maxss and minss do (not a number goes to 0).
        const __m128 c = _mm_min_ps(_mm_max_ps(_mm_loadu_ps(v.rgba), _mm_setzero_ps()), _mm_set1_ps(255.0f));
        _mm_storeu_ps(reinterpret_cast<float*>(o), stq);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 4), _mm_cvttps_epi32(c));
    }
#endif
    // Appends one vertex from its homogeneous screen position; false at or behind the eye or off range.
    bool Emit(const OutVertex& v);
    // Emit of a, b and c, with the window test made on their positions before the rest is worked out;
    // false (nothing appended) when a corner is at or behind the eye or off range.
    bool EmitTriangle(const OutVertex& a, const OutVertex& b, const OutVertex& c);
    // Appends a triangle of three vertices already in their output form (the 12 words EmitScreen writes:
    // S/Q, T/Q, Q, 0, R, G, B, A, X, Y, Z, 0), unless it cannot draw a pixel of the window (counted as
    // EmitScreen counts it). Returns whether it was appended.
    bool EmitPacked(const uint32_t* a, const uint32_t* b, const uint32_t* c) {
        if (windowed_ && !CanDraw(a, b, c)) {
            CountOutsideWindow();
            return false;
        }
        AppendPacked(a, b, c);
        return true;
    }
    // Appends such a triangle without the window test (one known to pass it).
    void AppendPacked(const uint32_t* a, const uint32_t* b, const uint32_t* c) {
        uint32_t* o = buf_ + 4 + n_ * 12;
        // The room in the GIF's queue was last written a whole ring ago: asked for ahead of the writes
        // (the windows of one triangle and the next overlap, so every line is asked for).
        __builtin_prefetch(o + 128, 1);
        __builtin_prefetch(o + 144, 1);
        __builtin_prefetch(o + 160, 1);
        std::memcpy(o, a, 48);
        std::memcpy(o + 12, b, 48);
        std::memcpy(o + 24, c, 48);
        n_ += 3;
    }
    // Vertices buffered, and dropping the ones after the first n (a triangle that failed half way).
    uint32_t Buffered() const {
        return n_;
    }
    // The buffered vertices' words (12 a vertex, as EmitScreen writes them).
    const uint32_t* Vertices() const {
        return buf_ + 4;
    }
    void Truncate(uint32_t n) {
        n_ = n;
    }

    // Sends what is buffered.
    void Flush();

    uint32_t Drawn() const {
        return drawn_;
    }
    uint32_t Dropped() const {
        return dropped_;
    }
    // Triangles dropped since the start of the run because they cannot draw a pixel of the window.
    static uint64_t OutsideWindow();
    // Whether such triangles are dropped (on by default; tests draw with it off to compare the pictures).
    // Returns the previous setting.
    static bool DropOutsideWindow(bool drop);
    // Whether packets are built straight in the room the GIF's queue has for them, where there is a queue
    // (on by default; tests turn it off to compare with building them here and copying). Returns the
    // previous setting.
    static bool BuildInPlace(bool on);

    // Whether the window test applies (independent triangles, dropping on).
    bool Windowed() const {
        return windowed_;
    }
    // What the window test depends on: two outputs with the same give every triangle the same verdict.
    std::array<int32_t, 7> Window() const {
        return {windowed_ ? 1 : 0, ofx_, ofy_, scx0_, scx1_, scy0_, scy1_};
    }
    // With the window test: whether the triangle of these three output vertices can draw a pixel of the
    // window: the rasteriser's own first test, the rows and columns whose pixel centres (window position *
    // 16 + 8) lie in the triangle's box, inside the scissor; then a zero area.
    [[gnu::always_inline]] bool CanDraw(const uint32_t* a, const uint32_t* b, const uint32_t* c) const {
        const int32_t x0 = int32_t(a[8]) - ofx_, x1 = int32_t(b[8]) - ofx_, x2 = int32_t(c[8]) - ofx_;
        const int32_t y0 = int32_t(a[9]) - ofy_, y1 = int32_t(b[9]) - ofy_, y2 = int32_t(c[9]) - ofy_;
        const int32_t minX = std::min(std::min(x0, x1), x2), maxX = std::max(std::max(x0, x1), x2);
        const int32_t minY = std::min(std::min(y0, y1), y2), maxY = std::max(std::max(y0, y1), y2);
        // Arithmetic shifts floor: ceil((v - 8) / 16) = (v + 7) >> 4, floor((v - 8) / 16) = (v - 8) >> 4.
        const int32_t cx0 = std::max((minX + 7) >> 4, scx0_), cx1 = std::min((maxX - 8) >> 4, scx1_);
        const int32_t cy0 = std::max((minY + 7) >> 4, scy0_), cy1 = std::min((maxY - 8) >> 4, scy1_);
        if ((cx0 > cx1) | (cy0 > cy1)) return false;
        return int64_t(x1 - x0) * (y2 - y0) != int64_t(x2 - x0) * (y1 - y0);
    }
    // Bits of an output vertex's position wholly to one side of the window's pixel centres (left, right,
    // above, below): a triangle whose three corners share a bit cannot draw a pixel (CanDraw is false).
    // 0 without the window test.
    uint32_t ScreenCode(const uint32_t* v) const {
        const int32_t x = int32_t(v[8]), y = int32_t(v[9]);
        return uint32_t(x < left_) | uint32_t(x > right_) << 1 | uint32_t(y < top_) << 2 |
               uint32_t(y > bottom_) << 3;
    }
    // Counts a triangle as dropped for drawing no pixel of the window.
    static void CountOutsideWindow();

private:
    static constexpr uint32_t kFlushAt = 3 * 64;
    static_assert(kMaxVertices >= kFlushAt + 21, "a clipped triangle must fit after the flush point");

    gif::GifTag tmpl_;
    // The drawing window: offset (12.4) and scissor (pixels); off for primitives other than triangle lists.
    bool windowed_ = false;
    int32_t ofx_ = 0, ofy_ = 0, scx0_ = 0, scx1_ = 0, scy0_ = 0, scy1_ = 0;
    // The same as bounds on a vertex's 12.4 position: a vertex left of left_ has no pixel centre of the
    // window at or left of it, and so on (a window-less output puts every vertex inside them).
    int32_t left_ = INT32_MIN, right_ = INT32_MAX, top_ = INT32_MIN, bottom_ = INT32_MAX;
    static constexpr uint32_t kMaxQwords = 1 + 3 * kMaxVertices;
    // Takes room in the GIF's queue for the next packet, or builds it in local_.
    void Reserve();

    // Where the packet is built: room reserved in the GIF's queue (reserved_), else local_.
    uint32_t* buf_;
    bool reserved_ = false;
    uint32_t n_ = 0;
    uint32_t drawn_ = 0, dropped_ = 0;
    alignas(16) uint32_t local_[kMaxQwords * 4];
};

}  // namespace engine::vu1
