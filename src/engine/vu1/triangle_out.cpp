#include "engine/vu1/triangle_out.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "console/gs/gs_device.h"
#include "console/gs/gs_registers.h"
#include "engine/vu1/vu_data.h"

namespace engine::vu1 {
namespace {

uint64_t g_outsideWindow = 0;
bool g_dropOutside = true;
bool g_buildInPlace = true;

OutVertex Lerp(const OutVertex& a, const OutVertex& b, float t) {
    OutVertex r;
    for (int i = 0; i < 4; ++i) {
        r.h[i] = a.h[i] + (b.h[i] - a.h[i]) * t;
        r.c[i] = a.c[i] + (b.c[i] - a.c[i]) * t;
        r.rgba[i] = a.rgba[i] + (b.rgba[i] - a.rgba[i]) * t;
    }
    r.s = a.s + (b.s - a.s) * t;
    r.t = a.t + (b.t - a.t) * t;
    return r;
}

// >= 0 inside plane k: w - x, w + x, w - y, w + y, w - z, w + z.
float PlaneDist(const OutVertex& v, int k) {
    const float c = v.c[k >> 1];
    return (k & 1) ? v.c[3] + c : v.c[3] - c;
}

}  // namespace

int ClipPolygon(OutVertex* poly, int n) {
    OutVertex tmp[9];
    for (int k = 0; k < 6 && n > 0; ++k) {
        // A plane every corner is inside of leaves the polygon as it is.
        bool inside = true;
        for (int i = 0; i < n; ++i) inside = inside && PlaneDist(poly[i], k) >= 0.0f;
        if (inside) continue;
        int m = 0;
        for (int i = 0; i < n; ++i) {
            const OutVertex& a = poly[i];
            const OutVertex& b = poly[(i + 1) % n];
            const float da = PlaneDist(a, k), db = PlaneDist(b, k);
            if (da >= 0.0f && m < 9) tmp[m++] = a;
            if ((da >= 0.0f) != (db >= 0.0f) && m < 9) tmp[m++] = Lerp(a, b, da / (da - db));
        }
        n = m;
        std::copy(tmp, tmp + n, poly);
    }
    return n;
}

bool InsideFrustum(const OutVertex& v) {
#if defined(__SSE2__)
    // w - x, w - y, w - z and w + x, w + y, w + z at once (the w lane left out).
    const __m128 c = _mm_loadu_ps(v.c), w = _mm_set1_ps(v.c[3]), zero = _mm_setzero_ps();
    const __m128 in = _mm_and_ps(_mm_cmpge_ps(_mm_sub_ps(w, c), zero), _mm_cmpge_ps(_mm_add_ps(w, c), zero));
    return (_mm_movemask_ps(in) & 7) == 7;
#else
    for (int k = 0; k < 6; ++k)
        if (!(PlaneDist(v, k) >= 0.0f)) return false;
    return true;
#endif
}

TriangleOut::TriangleOut(const gif::GifTag& tmpl) : tmpl_(tmpl) {
    Reserve();
    // Strips and fans share vertices between triangles: only independent triangles can be left out.
    if ((tmpl.PRIM & 7u) != console::gs::kPrimTriangle || !g_dropOutside) return;
    const console::gs::GsDevice::DrawWindow w = console::vu::DrawWindowFor(tmpl.PRIM);
    windowed_ = true;
    ofx_ = w.ofx;
    ofy_ = w.ofy;
    scx0_ = w.scx0;
    scx1_ = w.scx1;
    scy0_ = w.scy0;
    scy1_ = w.scy1;
    // Pixel column s has its centre at 16 s + 8 past the offset: (x - 8) >> 4 < scx0 exactly when
    // x < 16 scx0 + 8, and (x + 7) >> 4 > scx1 exactly when x > 16 scx1 + 8.
    left_ = ofx_ + 16 * scx0_ + 8;
    right_ = ofx_ + 16 * scx1_ + 8;
    top_ = ofy_ + 16 * scy0_ + 8;
    bottom_ = ofy_ + 16 * scy1_ + 8;
}

TriangleOut::~TriangleOut() {
    Flush();
    if (reserved_) console::vu::CommitPath1(0);
}

void TriangleOut::Reserve() {
    void* room = g_buildInPlace ? console::vu::ReservePath1(kMaxQwords) : nullptr;
    reserved_ = room != nullptr;
    buf_ = reserved_ ? static_cast<uint32_t*>(room) : local_;
}

bool TriangleOut::BuildInPlace(bool on) {
    const bool old = g_buildInPlace;
    g_buildInPlace = on;
    return old;
}

uint64_t TriangleOut::OutsideWindow() {
    return g_outsideWindow;
}

bool TriangleOut::DropOutsideWindow(bool drop) {
    const bool old = g_dropOutside;
    g_dropOutside = drop;
    return old;
}

void TriangleOut::CountOutsideWindow() {
    ++g_outsideWindow;
}

bool TriangleOut::EmitTriangle(const OutVertex& a, const OutVertex& b, const OutVertex& c) {
    if (!(a.h[3] > 0.0f && b.h[3] > 0.0f && c.h[3] > 0.0f)) return false;
    uint32_t* o = buf_ + 4 + n_ * 12;
#if defined(__SSE2__)
    // The three corners side by side (the fourth lane idle): each lane the divide and ToFixed's rounding.
    const __m128 inv4 = _mm_div_ps(_mm_set1_ps(1.0f), _mm_setr_ps(a.h[3], b.h[3], c.h[3], 1.0f));
    const __m128 sixteen = _mm_set1_ps(16.0f);
    const __m128i x =
        _mm_cvtps_epi32(_mm_mul_ps(_mm_mul_ps(_mm_setr_ps(a.h[0], b.h[0], c.h[0], 0.0f), inv4), sixteen));
    const __m128i y =
        _mm_cvtps_epi32(_mm_mul_ps(_mm_mul_ps(_mm_setr_ps(a.h[1], b.h[1], c.h[1], 0.0f), inv4), sixteen));
    // In range when no bit above the low 16 is set (out of range and NaN convert to 0x80000000).
    const __m128i high = _mm_and_si128(_mm_or_si128(x, y), _mm_set1_epi32(int32_t(0xFFFF0000u)));
    if (_mm_movemask_epi8(_mm_cmpeq_epi32(high, _mm_setzero_si128())) != 0xFFFF) return false;
    // Depth as PackRest clamps it (not a number and below 0 to 0, at most kMaxZ, truncated), and then
    // each corner's X, Y, Z, 0 as one quadword.
    const __m128 z = _mm_mul_ps(_mm_setr_ps(a.h[2], b.h[2], c.h[2], 0.0f), inv4);
    const __m128 zc = _mm_min_ps(_mm_and_ps(_mm_cmpge_ps(z, _mm_setzero_ps()), z), _mm_set1_ps(16777215.0f));
    const __m128i iz = _mm_cvttps_epi32(zc);
    const __m128i xyLo = _mm_unpacklo_epi32(x, y), xyHi = _mm_unpackhi_epi32(x, y);
    const __m128i zLo = _mm_unpacklo_epi32(iz, _mm_setzero_si128());
    const __m128i zHi = _mm_unpackhi_epi32(iz, _mm_setzero_si128());
    _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 8), _mm_unpacklo_epi64(xyLo, zLo));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 20), _mm_unpackhi_epi64(xyLo, zLo));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 32), _mm_unpacklo_epi64(xyHi, zHi));
    // The window test needs nothing more than the positions.
    if (windowed_ && !CanDraw(o, o + 12, o + 24)) {
        ++g_outsideWindow;
        return true;
    }
    PackTexColour(_mm_shuffle_ps(inv4, inv4, 0x00), a, o);
    PackTexColour(_mm_shuffle_ps(inv4, inv4, 0x55), b, o + 12);
    PackTexColour(_mm_shuffle_ps(inv4, inv4, 0xAA), c, o + 24);
    n_ += 3;
    return true;
#else
    const OutVertex* v[3] = {&a, &b, &c};
    float inv[3];
    for (int k = 0; k < 3; ++k) {
        inv[k] = 1.0f / v[k]->h[3];
        if (!ToFixed(v[k]->h[0] * inv[k], o[k * 12 + 8]) || !ToFixed(v[k]->h[1] * inv[k], o[k * 12 + 9]))
            return false;
    }
    // The window test needs nothing more than the positions.
    if (windowed_ && !CanDraw(o, o + 12, o + 24)) {
        ++g_outsideWindow;
        return true;
    }
    for (int k = 0; k < 3; ++k) PackRest(v[k]->h[2] * inv[k], inv[k], *v[k], o + k * 12);
    n_ += 3;
    return true;
#endif
}

bool TriangleOut::EmitScreen(float sx, float sy, float sz, float invW, const OutVertex& v) {
    uint32_t* o = buf_ + 4 + n_ * 12;
    if (!Pack(sx, sy, sz, invW, v, o)) return false;
    ++n_;
    if (windowed_ && n_ % 3 == 0 && !CanDraw(o - 24, o - 12, o)) {
        n_ -= 3;
        ++g_outsideWindow;
    }
    return true;
}

bool TriangleOut::Emit(const OutVertex& v) {
    if (!(v.h[3] > 0.0f)) return false;
    const float inv = 1.0f / v.h[3];
    return EmitScreen(v.h[0] * inv, v.h[1] * inv, v.h[2] * inv, inv, v);
}

void TriangleOut::Triangle(const OutVertex& a, const OutVertex& b, const OutVertex& c, bool clip, bool cull) {
    if (n_ >= kFlushAt) Flush();
    if (cull && a.h[3] > 0 && b.h[3] > 0 && c.h[3] > 0) {
        const float ax = a.h[0] / a.h[3], ay = a.h[1] / a.h[3];
        const float area =
            (b.h[0] / b.h[3] - ax) * (c.h[1] / c.h[3] - ay) - (b.h[1] / b.h[3] - ay) * (c.h[0] / c.h[3] - ax);
        if (area >= 0.0f) {
            ++dropped_;
            return;
        }
    }
    const uint32_t before = n_;
    bool ok = true;
    if (clip && !(InsideFrustum(a) && InsideFrustum(b) && InsideFrustum(c))) {
        OutVertex poly[9];
        poly[0] = a;
        poly[1] = b;
        poly[2] = c;
        const int corners = ClipPolygon(poly, 3);
        if (corners < 3) {
            ++dropped_;
            return;
        }
        for (int k = 1; k + 1 < corners && ok; ++k) ok = Emit(poly[0]) && Emit(poly[k]) && Emit(poly[k + 1]);
    } else {
        // Unclipped, or wholly inside the frustum (clipping would leave it as it is).
        ok = EmitTriangle(a, b, c);
    }
    if (!ok) {
        n_ = before;
        ++dropped_;
        return;
    }
    drawn_ += (n_ - before) / 3;
}

void TriangleOut::Flush() {
    if (n_ == 0) return;
    gif::GifTag tag = tmpl_;
    tag.NLOOP = n_;
    tag.EOP = 1;
    tag.PRE = 1;
    tag.FLG = gif::kFlgPacked;
    tag.NREG = 3;
    tag.REGS = 0x512;
    std::memcpy(buf_, &tag, sizeof tag);
    if (reserved_) {
        console::vu::CommitPath1(1 + 3 * n_);
        n_ = 0;
        Reserve();
        return;
    }
    KickPath1(buf_, 1 + 3 * n_);
    n_ = 0;
}

}  // namespace engine::vu1
