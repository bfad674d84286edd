// Primitive set-up: triangles, sprites, lines and points turned into rows of covered pixels and the
// planes of their attributes. Coverage uses edge functions on 12.4 fixed-point window coordinates, sampled
// at pixel centres with the top-left rule, so two triangles sharing an edge never draw a pixel twice.
#include <emmintrin.h>
#include <immintrin.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

#include "console/gs/rasterizer.h"
#include "console/gs/rasterizer_internal.h"

namespace console::gs {

using namespace raster;

namespace {

Rasterizer::Plane ConstPlane(double v) {
    return Rasterizer::Plane{v, 0.0, 0.0};
}

// The edge functions of a triangle whose vertices are ordered so its signed area is positive, with the
// top-left rule as a bias in C: pixel (x, y) is covered when A * (16x + 8) + B * (16y + 8) + C >= 0 for all
// three.
struct Edge {
    int64_t A, B, C;
};
inline Edge EdgeOf(const GsVertex& p0, const GsVertex& p1) {
    Edge e;
    e.A = int64_t(p0.y) - p1.y;
    e.B = int64_t(p1.x) - p0.x;
    const bool topLeft = e.A > 0 || (e.A == 0 && e.B > 0);
    e.C = -(e.A * p0.x + e.B * p0.y) - (topLeft ? 0 : 1);
    return e;
}
inline void TriangleEdges(const GsVertex* const v[3], Edge e[3]) {
    e[0] = EdgeOf(*v[0], *v[1]);
    e[1] = EdgeOf(*v[1], *v[2]);
    e[2] = EdgeOf(*v[2], *v[0]);
}

// Vertex fields read together: (x, y), and (s, t, q) with the four bytes after them.
static_assert(offsetof(GsVertex, y) == offsetof(GsVertex, x) + 4);
static_assert(offsetof(GsVertex, t) == offsetof(GsVertex, s) + 4 &&
              offsetof(GsVertex, q) == offsetof(GsVertex, s) + 8);
static_assert(offsetof(GsVertex, s) + 16 <= sizeof(GsVertex));

// A vertex's (x, y) in the low two lanes.
inline __m128i XyOf(const GsVertex& v) {
    return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(&v.x));
}

// The planes a triangle's state uses (v in drawing order), written into `p`; planes the state does not use
// keep what they held. A plane through (x0, y0, a0), (x1, y1, a1), (x2, y2, a2), positions in pixels:
//   dx = ((a1 - a0) * (y2 - y0) - (a2 - a0) * (y1 - y0)) / det,
//   dy = ((a2 - a0) * (x1 - x0) - (a1 - a0) * (x2 - x0)) / det,  c = a0 - dx * x0 - dy * y0,
// det = (x1 - x0) * (y2 - y0) - (x2 - x0) * (y1 - y0). The determinant and the differences of positions
// are shared by every plane, and a plane's two gradients are divided together, in the two lanes of one
// division. A reciprocal of det multiplied in would round differently from the division (other pixels).
struct PlaneSetup {
    double x0, y0;
    __m128d ya, yb, xv, det;  // (y2 - y0, x1 - x0), (y1 - y0, x2 - x0), (x0, y0), (det, det)
    PlaneSetup(const GsVertex* const v[3]) {
        // Each vertex's (x, y) in pixels (exact: a sixteenth is a power of two).
        const __m128d sixteenth = _mm_set1_pd(1.0 / 16.0);
        const __m128d p0 = _mm_mul_pd(_mm_cvtepi32_pd(XyOf(*v[0])), sixteenth),
                      p1 = _mm_mul_pd(_mm_cvtepi32_pd(XyOf(*v[1])), sixteenth),
                      p2 = _mm_mul_pd(_mm_cvtepi32_pd(XyOf(*v[2])), sixteenth);
        const __m128d d1 = _mm_sub_pd(p1, p0), d2 = _mm_sub_pd(p2, p0);  // (x1 - x0, y1 - y0), (x2 - ...)
        ya = _mm_shuffle_pd(d2, d1, 1);
        yb = _mm_shuffle_pd(d1, d2, 1);
        xv = p0;
        x0 = _mm_cvtsd_f64(p0);
        y0 = _mm_cvtsd_f64(_mm_unpackhi_pd(p0, p0));
        // ((y2 - y0) * (x1 - x0), (y1 - y0) * (x2 - x0)), their difference in both lanes.
        const __m128d t = _mm_mul_pd(_mm_unpacklo_pd(ya, yb), _mm_unpackhi_pd(ya, yb));
        const __m128d d = _mm_sub_sd(t, _mm_unpackhi_pd(t, t));
        det = _mm_unpacklo_pd(d, d);
    }
    void Plane(double a0, double a1, double a2, Rasterizer::Plane& out) const {
        if (a0 == a1 && a0 == a2 && a0 - a0 == 0.0) {
            // The same finite value at every vertex (as alpha usually is): the gradients below would be
            // zeros (of either sign, which nothing that reads a plane can tell apart) and c exactly a0. (An
            // infinite one gives not-a-number planes there.)
            out = Rasterizer::Plane{a0, 0.0, 0.0};
            return;
        }
        const double d1 = a1 - a0, d2 = a2 - a0;
        const __m128d num =
            _mm_sub_pd(_mm_mul_pd(_mm_setr_pd(d1, d2), ya), _mm_mul_pd(_mm_setr_pd(d2, d1), yb));
        const __m128d g = _mm_div_pd(num, det);
        const double dx = _mm_cvtsd_f64(g), dy = _mm_cvtsd_f64(_mm_unpackhi_pd(g, g));
        out.dx = dx;
        out.dy = dy;
        out.c = a0 - dx * x0 - dy * y0;
    }
};

void TrianglePlanes(const DrawState& st, const GsVertex* const v[3], const GsVertex& flat,
                    Rasterizer::Planes& p) {
    const PlaneSetup ps(v);
    const GsVertex &a = *v[0], &b = *v[1], &c = *v[2];
    ps.Plane(double(a.z), double(b.z), double(c.z), p.z);
    p.flatZ = false;
    if (st.gouraud) {
        ps.Plane(double(a.r), double(b.r), double(c.r), p.r);
        ps.Plane(double(a.g), double(b.g), double(c.g), p.g);
        ps.Plane(double(a.b), double(b.b), double(c.b), p.b);
        ps.Plane(double(a.a), double(b.a), double(c.a), p.a);
    }
    p.fr = flat.r;
    p.fg = flat.g;
    p.fb = flat.b;
    p.fa = flat.a;
    if (st.fogging) ps.Plane(double(a.fog), double(b.fog), double(c.fog), p.f);
    if (st.textured) {
        if (st.uvTexels) {
            ps.Plane(a.u / 16.0, b.u / 16.0, c.u / 16.0, p.s);
            ps.Plane(a.v / 16.0, b.v / 16.0, c.v / 16.0, p.t);
            p.q = ConstPlane(1.0);
        } else {
            ps.Plane(double(a.s), double(b.s), double(c.s), p.s);
            ps.Plane(double(a.t), double(b.t), double(c.t), p.t);
            ps.Plane(double(a.q), double(b.q), double(c.q), p.q);
        }
    }
}

// floor(n / d) and the remainder, d > 0, without a 64-bit integer division: for the magnitudes of window
// coordinates (|n| < 2^40, d < 2^24) the quotient in doubles is within far less than one of the exact one,
// and the remainder check puts the truncated quotient right.
inline void FloorDivRem(int64_t n, int64_t d, int64_t& q, int64_t& r) {
    q = static_cast<int64_t>(double(n) / double(d));
    r = n - q * d;
    while (r < 0) {
        --q;
        r += d;
    }
    while (r >= d) {
        ++q;
        r -= d;
    }
}

// One edge's bound on the covered columns of a row, stepped row by row as quotient and remainder (no
// division per row).
struct Bound {
    int64_t q, r;  // the bound, with remainder r in [0, k)
    int64_t k, dq, dr;
    void Step() {
        q += dq;
        r += dr;
        const int64_t over = r >= k ? 1 : 0;
        r -= over * k;
        q += over;
    }
};

// Writes the rows y0..y1 with covered pixels, x0..x1 within the columns bx0..bx1, to `out`; `owns` says
// whether a row is the caller's (rows of other bands are skipped). Returns how many were written.
template <class Owns>
size_t WalkTriangleRows(const Edge e[3], int y0, int y1, int bx0, int bx1, Rasterizer::SpanRow* out,
                        Owns owns) {
    // A horizontal edge keeps whole rows or none: rows on its outer side are outside the box already, so it
    // can only take off the first or last row (a centre exactly on it, outside by the top-left rule).
    for (int i = 0; i < 3; ++i) {
        const Edge& ed = e[i];
        if (ed.A != 0) continue;
        auto in = [&ed](int y) { return ed.B * (int64_t(y) * 16 + 8) + ed.C >= 0; };
        while (y0 <= y1 && !in(y0)) ++y0;
        while (y0 <= y1 && !in(y1)) --y1;
    }
    if (y0 > y1) return 0;
    // Each sloped edge bounds the columns of a row: A * (16x + 8) + B * py + C >= 0, a lower bound
    // on x when A > 0 (x >= ceil(R / K)), an upper one when A < 0 (x <= floor(R / K)). The three A add up
    // to zero, so there are one or two of each; a missing second one is a bound that never binds.
    const Bound none{0, 0, 1, 0, 0};
    Bound lower[2] = {none, none}, upper[2] = {none, none};
    lower[0].q = lower[1].q = INT64_MIN / 4;
    upper[0].q = upper[1].q = INT64_MAX / 4;
    int nl = 0, nu = 0;
    const int64_t py0 = int64_t(y0) * 16 + 8;
    for (int i = 0; i < 3; ++i) {
        const Edge& ed = e[i];
        if (ed.A == 0) continue;
        const int64_t R = -(ed.B * py0 + ed.C + 8 * ed.A);
        const int64_t D = -16 * ed.B;  // change of R per row
        const int64_t K = 16 * ed.A;
        Bound b;
        if (K > 0) {
            b.k = K;
            FloorDivRem(R + K - 1, K, b.q, b.r);
            FloorDivRem(D, K, b.dq, b.dr);
            lower[nl++ & 1] = b;
        } else {
            b.k = -K;
            FloorDivRem(-R, -K, b.q, b.r);
            FloorDivRem(-D, -K, b.dq, b.dr);
            upper[nu++ & 1] = b;
        }
    }
    size_t count = 0;
    for (int y = y0; y <= y1; ++y) {
        const int64_t lo = std::max({int64_t(bx0), lower[0].q, lower[1].q});
        const int64_t hi = std::min({int64_t(bx1), upper[0].q, upper[1].q});
        if (lo <= hi && owns(y)) out[count++] = Rasterizer::SpanRow{y, int(lo), int(hi)};
        lower[0].Step();
        lower[1].Step();
        upper[0].Step();
        upper[1].Step();
    }
    return count;
}

// A sloped edge's bound on the columns of row y: x >= ceil(R / K) when A > 0, x <= floor(R / K) when
// A < 0 (see WalkTriangleRows), as a Bound stepped from row y on.
inline Bound EdgeBound(const Edge& ed, int y) {
    const int64_t R = -(ed.B * (int64_t(y) * 16 + 8) + ed.C + 8 * ed.A);
    const int64_t D = -16 * ed.B, K = 16 * ed.A;
    Bound b;
    if (K > 0) {
        b.k = K;
        FloorDivRem(R + K - 1, K, b.q, b.r);
        FloorDivRem(D, K, b.dq, b.dr);
    } else {
        b.k = -K;
        FloorDivRem(-R, -K, b.q, b.r);
        FloorDivRem(-D, -K, b.dq, b.dr);
    }
    return b;
}

// Rows y0..y1 between one lower and one upper bound (left stepped to row y1 + 1).
template <class Owns>
size_t WalkBetween(Bound& lo, Bound& hi, int y0, int y1, int bx0, int bx1, Rasterizer::SpanRow* out,
                   Owns owns) {
    // Stepped in copies, which stay in registers (the caller's may be one object written through the
    // other's reference, as far as the compiler knows, and the out rows another).
    Bound l = lo, h = hi;
    size_t count = 0;
    for (int y = y0; y <= y1; ++y) {
        const int64_t a = std::max(int64_t(bx0), l.q), b = std::min(int64_t(bx1), h.q);
        if (a <= b && owns(y)) out[count++] = Rasterizer::SpanRow{y, int(a), int(b)};
        l.Step();
        h.Step();
    }
    lo = l;
    hi = h;
    return count;
}

// The rows WalkTriangleRows writes, with two bounds a row rather than four. Of two sloped edges on the same
// side, the one whose rows a row lies in binds there: the triangle is convex, so at any row the nearer of
// the two lines is the one bounding the triangle, and a bound is a rounding of its line's crossing that
// keeps the order (ceil for lower bounds; the largest column strictly left of it for upper ones, as the
// top-left rule's bias makes them). The two meet at the middle vertex: rows whose centres lie at or above
// it take the upper edge of the two, rows below the lower one. `v` are the triangle's vertices with e[i]
// running from v[i] to v[i + 1].
template <class Owns>
size_t WalkSplitRows(const GsVertex* const v[3], const Edge e[3], int y0, int y1, int bx0, int bx1,
                     Rasterizer::SpanRow* out, Owns owns) {
    int single = -1, lowers = 0;
    for (int i = 0; i < 3; ++i) {
        const Edge& ed = e[i];
        if (ed.A == 0) {
            single = -2;  // a horizontal edge: one sloped edge each side, no split
            auto in = [&ed](int y) { return ed.B * (int64_t(y) * 16 + 8) + ed.C >= 0; };
            while (y0 <= y1 && !in(y0)) ++y0;
            while (y0 <= y1 && !in(y1)) --y1;
        } else {
            lowers += ed.A > 0 ? 1 : 0;
        }
    }
    if (y0 > y1) return 0;
    if (single == -2) {
        const Edge *lo = nullptr, *hi = nullptr;
        for (int i = 0; i < 3; ++i) {
            if (e[i].A > 0) lo = &e[i];
            if (e[i].A < 0) hi = &e[i];
        }
        Bound l = EdgeBound(*lo, y0), h = EdgeBound(*hi, y0);
        return WalkBetween(l, h, y0, y1, bx0, bx1, out, owns);
    }
    // The edge alone on its side, and the pair on the other: e[s + 1] and e[s + 2] meet at v[s + 2].
    const bool pairLower = lowers == 2;
    for (int i = 0; i < 3; ++i)
        if ((e[i].A > 0) != pairLower) single = i;
    const Edge& alone = e[single];
    const Edge& first = e[(single + (pairLower ? 2 : 1)) % 3];  // from the top vertex to the middle one
    const Edge& second = e[(single + (pairLower ? 1 : 2)) % 3];
    const int64_t midY = v[(single + 2) % 3]->y;
    // The last row whose centre is at or above the middle vertex.
    const int split = int((midY - 8) >> 4);
    size_t count = 0;
    Bound a = EdgeBound(alone, y0);
    const int ya1 = std::min(y1, split);
    if (y0 <= ya1) {
        Bound f = EdgeBound(first, y0);
        count = pairLower ? WalkBetween(f, a, y0, ya1, bx0, bx1, out, owns)
                          : WalkBetween(a, f, y0, ya1, bx0, bx1, out, owns);
    }
    const int yb0 = std::max(y0, split + 1);  // where `a` stands now
    if (yb0 <= y1) {
        Bound b = EdgeBound(second, yb0);
        count += pairLower ? WalkBetween(b, a, yb0, y1, bx0, bx1, out + count, owns)
                           : WalkBetween(a, b, yb0, y1, bx0, bx1, out + count, owns);
    }
    return count;
}

// Lane i of `v` everywhere.
template <int i>
inline __m128i Lane(__m128i v) {
    return _mm_shuffle_epi32(v, _MM_SHUFFLE(i, i, i, i));
}
// The values of edge i at the first row's centres, four columns a group, and its step to the next row.
// The three edges of a triangle in lanes 0-2, edge i from v[i] to v[i + 1]: the vertices' x and y, A and B
// of the edge function A * (px - x) + B * (py - y), and the top-left rule's lanes (edges that own their
// centres).
struct EdgeLanes {
    __m128i x, y, a, b, topLeft;
};
QZ_INLINE inline EdgeLanes EdgesOf(const GsVertex* const v[3]) {
    EdgeLanes e;
    const __m128i xy01 = _mm_unpacklo_epi32(XyOf(*v[0]), XyOf(*v[1]));         // x0, x1, y0, y1
    const __m128i xy2 = _mm_unpacklo_epi32(XyOf(*v[2]), _mm_setzero_si128());  // x2, 0, y2, 0
    e.x = _mm_unpacklo_epi64(xy01, xy2);
    e.y = _mm_unpackhi_epi64(xy01, xy2);
    e.a = _mm_sub_epi32(e.y, _mm_shuffle_epi32(e.y, _MM_SHUFFLE(3, 0, 2, 1)));
    e.b = _mm_sub_epi32(_mm_shuffle_epi32(e.x, _MM_SHUFFLE(3, 0, 2, 1)), e.x);
    const __m128i zero = _mm_setzero_si128();
    e.topLeft = _mm_or_si128(_mm_cmpgt_epi32(e.a, zero),
                             _mm_and_si128(_mm_cmpeq_epi32(e.a, zero), _mm_cmpgt_epi32(e.b, zero)));
    return e;
}

template <int i, int kChunks>
inline void SmallEdgeStart(__m128i at, __m128i colStep, __m128i rowStep, __m128i (&val)[3][kChunks],
                           __m128i (&step)[3]) {
    const __m128i s = Lane<i>(colStep);
    // at + (0, 1, 2, 3) * s
    __m128i c4 = _mm_add_epi32(
        Lane<i>(at), _mm_add_epi32(_mm_and_si128(s, _mm_setr_epi32(0, -1, 0, -1)),
                                   _mm_and_si128(_mm_slli_epi32(s, 1), _mm_setr_epi32(0, 0, -1, -1))));
    const __m128i four = _mm_slli_epi32(s, 2);
    for (int c = 0; c < kChunks; ++c, c4 = _mm_add_epi32(c4, four)) val[i][c] = c4;
    step[i] = Lane<i>(rowStep);
}

// The covered rows of a triangle less than 16 pixels wide and high (at most 16 pixel centres each way):
// the three edge functions at every centre of a row, four columns a step, kChunks steps. A centre is inside
// when none of the three is negative: when the sign bit of their OR is clear. The values fit 32 bits: at a
// centre inside the vertices' box, |A * (px - x) + B * (py - y)| <= 2 * 256 * 512 for such a triangle,
// where (x, y) is the edge's first vertex. The covered centres of a row are a run (the triangle is convex):
// its first and last set bits.
template <int kChunks, class Owns>
size_t SmallTriangleRows(const GsVertex* const v[3], int y0, int y1, int bx0, int bx1,
                         Rasterizer::SpanRow* out, Owns owns) {
    // The three edges in lanes 0-2, edge i from v[i] to v[i + 1]: A, B, the top-left rule's bias, and the
    // value at the first centre, A * (px - x) + B * (py - y) + bias, which is exact in floats (each product
    // is under 2^16 in magnitude).
    const EdgeLanes e = EdgesOf(v);
    const __m128i X = e.x, Y = e.y, A = e.a, B = e.b, topLeft = e.topLeft;
    const __m128 px = _mm_cvtepi32_ps(_mm_sub_epi32(_mm_set1_epi32(bx0 * 16 + 8), X));
    const __m128 py = _mm_cvtepi32_ps(_mm_sub_epi32(_mm_set1_epi32(y0 * 16 + 8), Y));
    const __m128i at = _mm_add_epi32(
        _mm_cvtps_epi32(_mm_add_ps(_mm_mul_ps(_mm_cvtepi32_ps(A), px), _mm_mul_ps(_mm_cvtepi32_ps(B), py))),
        _mm_andnot_si128(topLeft, _mm_set1_epi32(-1)));
    const __m128i colStep = _mm_slli_epi32(A, 4), rowStepAll = _mm_slli_epi32(B, 4);
    __m128i val[3][kChunks], rowStep[3];
    SmallEdgeStart<0>(at, colStep, rowStepAll, val, rowStep);
    SmallEdgeStart<1>(at, colStep, rowStepAll, val, rowStep);
    SmallEdgeStart<2>(at, colStep, rowStepAll, val, rowStep);
    const uint32_t colMask = (2u << (bx1 - bx0)) - 1u;
    size_t count = 0;
    for (int y = y0; y <= y1; ++y) {
        uint32_t outside = 0;
        for (int c = 0; c < kChunks; ++c) {
            const __m128i any = _mm_or_si128(_mm_or_si128(val[0][c], val[1][c]), val[2][c]);
            outside |= uint32_t(_mm_movemask_ps(_mm_castsi128_ps(any))) << (4 * c);
            for (int i = 0; i < 3; ++i) val[i][c] = _mm_add_epi32(val[i][c], rowStep[i]);
        }
        const uint32_t bits = ~outside & colMask;
        if (bits && owns(y))
            out[count++] = Rasterizer::SpanRow{y, bx0 + __builtin_ctz(bits), bx0 + 31 - __builtin_clz(bits)};
    }
    return count;
}

// The set-up for processors with AVX2 (chosen at run time): the same arithmetic as the functions above,
// four planes or eight pixel centres a step. No FMA is enabled, so no multiply and add is fused (that
// would round differently).
#define QZ_VEX __attribute__((target("avx2")))

// What every plane of a triangle shares (see PlaneSetup), each value in all four lanes.
struct PlaneSetup4 {
    __m256d ya, yb, xa, xb, x0, y0, det;
};
QZ_VEX inline PlaneSetup4 Broadcast(const PlaneSetup& ps) {
    // ya = (y2 - y0, x1 - x0), yb = (y1 - y0, x2 - x0), xv = (x0, y0).
    PlaneSetup4 g;
    g.ya = _mm256_broadcastsd_pd(ps.ya);
    g.xa = _mm256_broadcastsd_pd(_mm_unpackhi_pd(ps.ya, ps.ya));
    g.yb = _mm256_broadcastsd_pd(ps.yb);
    g.xb = _mm256_broadcastsd_pd(_mm_unpackhi_pd(ps.yb, ps.yb));
    g.x0 = _mm256_broadcastsd_pd(ps.xv);
    g.y0 = _mm256_broadcastsd_pd(_mm_unpackhi_pd(ps.xv, ps.xv));
    g.det = _mm256_broadcastsd_pd(ps.det);
    return g;
}

// Four planes, an attribute a lane (a0, a1, a2 its values at v[0], v[1], v[2]), written to p0..p3: lane
// for lane the operations of PlaneSetup::Plane, the same finite value at all three vertices included.
QZ_VEX inline void Plane4(__m256d a0, __m256d a1, __m256d a2, const PlaneSetup4& g, Rasterizer::Plane* p0,
                          Rasterizer::Plane* p1, Rasterizer::Plane* p2, Rasterizer::Plane* p3) {
    const __m256d d1 = _mm256_sub_pd(a1, a0), d2 = _mm256_sub_pd(a2, a0);
    const __m256d nx = _mm256_sub_pd(_mm256_mul_pd(d1, g.ya), _mm256_mul_pd(d2, g.yb));
    const __m256d ny = _mm256_sub_pd(_mm256_mul_pd(d2, g.xa), _mm256_mul_pd(d1, g.xb));
    const __m256d same =
        _mm256_and_pd(_mm256_and_pd(_mm256_cmp_pd(a0, a1, _CMP_EQ_OQ), _mm256_cmp_pd(a0, a2, _CMP_EQ_OQ)),
                      _mm256_cmp_pd(_mm256_sub_pd(a0, a0), _mm256_setzero_pd(), _CMP_EQ_OQ));
    const __m256d dx = _mm256_andnot_pd(same, _mm256_div_pd(nx, g.det));
    const __m256d dy = _mm256_andnot_pd(same, _mm256_div_pd(ny, g.det));
    const __m256d c = _mm256_blendv_pd(
        _mm256_sub_pd(_mm256_sub_pd(a0, _mm256_mul_pd(dx, g.x0)), _mm256_mul_pd(dy, g.y0)), a0, same);
    // (c, dx) pairs and dy, lane by lane.
    const __m256d lo = _mm256_unpacklo_pd(c, dx), hi = _mm256_unpackhi_pd(c, dx);
    const __m128d dyLo = _mm256_castpd256_pd128(dy), dyHi = _mm256_extractf128_pd(dy, 1);
    _mm_storeu_pd(&p0->c, _mm256_castpd256_pd128(lo));
    _mm_storeu_pd(&p1->c, _mm256_castpd256_pd128(hi));
    _mm_storeu_pd(&p2->c, _mm256_extractf128_pd(lo, 1));
    _mm_storeu_pd(&p3->c, _mm256_extractf128_pd(hi, 1));
    _mm_storel_pd(&p0->dy, dyLo);
    _mm_storeh_pd(&p1->dy, dyLo);
    _mm_storel_pd(&p2->dy, dyHi);
    _mm_storeh_pd(&p3->dy, dyHi);
}

// A vertex's colour as four doubles (r, g, b, a).
QZ_VEX inline __m256d Colour4(const GsVertex& v) {
    uint32_t w;
    std::memcpy(&w, &v.r, 4);
    return _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_cvtsi32_si128(int(w))));
}
// A vertex's (s, t, q, z), or (u / 16, v / 16, 1, z) for texel coordinates, as doubles.
QZ_VEX inline __m256d Texture4(const GsVertex& v, bool uv) {
    if (uv) return _mm256_setr_pd(v.u / 16.0, v.v / 16.0, 1.0, double(v.z));
    // s, t, q and the bits of u, which z replaces.
    const __m256d stq = _mm256_cvtps_pd(_mm_loadu_ps(&v.s));
    return _mm256_blend_pd(stq, _mm256_set1_pd(double(v.z)), 8);
}

// TrianglePlanes four planes at once.
QZ_VEX void TrianglePlanesVex(const DrawState& st, const GsVertex* const v[3], const GsVertex& flat,
                              Rasterizer::Planes& p) {
    const PlaneSetup ps(v);
    const PlaneSetup4 g = Broadcast(ps);
    const GsVertex &a = *v[0], &b = *v[1], &c = *v[2];
    p.flatZ = false;
    if (st.textured) {
        Plane4(Texture4(a, st.uvTexels), Texture4(b, st.uvTexels), Texture4(c, st.uvTexels), g, &p.s, &p.t,
               &p.q, &p.z);
    } else {
        ps.Plane(double(a.z), double(b.z), double(c.z), p.z);
    }
    if (st.gouraud) {
        uint32_t ca, cb, cc;
        std::memcpy(&ca, &a.r, 4);
        std::memcpy(&cb, &b.r, 4);
        std::memcpy(&cc, &c.r, 4);
        if (ca == cb && ca == cc) {
            // One colour at every vertex (the usual case): no division.
            const __m256d k = Colour4(a);
            const __m256d lo = _mm256_unpacklo_pd(k, _mm256_setzero_pd()),
                          hi = _mm256_unpackhi_pd(k, _mm256_setzero_pd());
            const __m128d zero = _mm_setzero_pd();
            _mm_storeu_pd(&p.r.c, _mm256_castpd256_pd128(lo));
            _mm_storeu_pd(&p.g.c, _mm256_castpd256_pd128(hi));
            _mm_storeu_pd(&p.b.c, _mm256_extractf128_pd(lo, 1));
            _mm_storeu_pd(&p.a.c, _mm256_extractf128_pd(hi, 1));
            _mm_storel_pd(&p.r.dy, zero);
            _mm_storel_pd(&p.g.dy, zero);
            _mm_storel_pd(&p.b.dy, zero);
            _mm_storel_pd(&p.a.dy, zero);
        } else {
            Plane4(Colour4(a), Colour4(b), Colour4(c), g, &p.r, &p.g, &p.b, &p.a);
        }
    }
    p.fr = flat.r;
    p.fg = flat.g;
    p.fb = flat.b;
    p.fa = flat.a;
    if (st.fogging) ps.Plane(double(a.fog), double(b.fog), double(c.fog), p.f);
}

// Lane i of `v` in all eight lanes.
template <int i>
QZ_VEX inline __m256i Lane8(__m128i v) {
    return _mm256_broadcastd_epi32(_mm_shuffle_epi32(v, _MM_SHUFFLE(i, i, i, i)));
}

// The covered rows of a triangle less than 64 pixels wide and 16 high: SmallTriangleRows eight columns a
// step, kChunks steps, in exact 32-bit integers. At a centre inside the vertices' box every edge function is
// under 2 * 256 * 1024 in magnitude (|A| < 256, |B| < 1024).
template <int kChunks, class Owns>
QZ_VEX size_t ShortTriangleRowsVex(const GsVertex* const v[3], int y0, int y1, int bx0, int bx1,
                                   Rasterizer::SpanRow* out, Owns owns) {
    const EdgeLanes e = EdgesOf(v);
    const __m128i X = e.x, Y = e.y, A = e.a, B = e.b, topLeft = e.topLeft;
    const __m128i at =
        _mm_add_epi32(_mm_add_epi32(_mm_mullo_epi32(A, _mm_sub_epi32(_mm_set1_epi32(bx0 * 16 + 8), X)),
                                    _mm_mullo_epi32(B, _mm_sub_epi32(_mm_set1_epi32(y0 * 16 + 8), Y))),
                      _mm_andnot_si128(topLeft, _mm_set1_epi32(-1)));
    const __m128i colStep = _mm_slli_epi32(A, 4), rowStep = _mm_slli_epi32(B, 4);
    const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    // Each edge at the first eight centres of the first row, its step eight columns on and one row down.
    __m256i e0 = _mm256_add_epi32(Lane8<0>(at), _mm256_mullo_epi32(Lane8<0>(colStep), lanes));
    __m256i e1 = _mm256_add_epi32(Lane8<1>(at), _mm256_mullo_epi32(Lane8<1>(colStep), lanes));
    __m256i e2 = _mm256_add_epi32(Lane8<2>(at), _mm256_mullo_epi32(Lane8<2>(colStep), lanes));
    const __m256i c0 = _mm256_slli_epi32(Lane8<0>(colStep), 3), c1 = _mm256_slli_epi32(Lane8<1>(colStep), 3),
                  c2 = _mm256_slli_epi32(Lane8<2>(colStep), 3);
    const __m256i r0 = Lane8<0>(rowStep), r1 = Lane8<1>(rowStep), r2 = Lane8<2>(rowStep);
    const uint64_t colMask = ~uint64_t(0) >> (63 - (bx1 - bx0));
    size_t count = 0;
    for (int y = y0; y <= y1; ++y) {
        uint64_t outside = 0;
        __m256i f0 = e0, f1 = e1, f2 = e2;
#pragma GCC unroll 8
        for (int c = 0; c < kChunks; ++c) {
            const __m256i any = _mm256_or_si256(_mm256_or_si256(f0, f1), f2);
            outside |= uint64_t(uint32_t(_mm256_movemask_ps(_mm256_castsi256_ps(any)))) << (8 * c);
            f0 = _mm256_add_epi32(f0, c0);
            f1 = _mm256_add_epi32(f1, c1);
            f2 = _mm256_add_epi32(f2, c2);
        }
        e0 = _mm256_add_epi32(e0, r0);
        e1 = _mm256_add_epi32(e1, r1);
        e2 = _mm256_add_epi32(e2, r2);
        // Written whether covered or not (kept by counting it), so no branch turns on the row's coverage.
        const uint64_t bits = ~outside & colMask;
        out[count] = Rasterizer::SpanRow{y, bx0 + __builtin_ctzll(bits | uint64_t(1) << 63),
                                         bx0 + 63 - __builtin_clzll(bits | 1)};
        count += size_t(bits != 0 && owns(y));
    }
    return count;
}

// The rows of a triangle less than 64 pixels wide and 16 high, a row of up to 8, 16, 32 or 64 columns at
// a time (a third of a race's triangles are under 8 columns wide). The planes are not worked out here: this
// stays a small function for the triangles that cover no centre (about one in six).
template <class Owns>
QZ_VEX size_t ShortRowsVex(const GsVertex* const v[3], int y0, int y1, int bx0, int bx1,
                           Rasterizer::SpanRow* out, Owns owns) {
    const int w = bx1 - bx0;
    if (w < 8) return ShortTriangleRowsVex<1>(v, y0, y1, bx0, bx1, out, owns);
    if (w < 16) return ShortTriangleRowsVex<2>(v, y0, y1, bx0, bx1, out, owns);
    if (w < 32) return ShortTriangleRowsVex<4>(v, y0, y1, bx0, bx1, out, owns);
    return ShortTriangleRowsVex<8>(v, y0, y1, bx0, bx1, out, owns);
}

#undef QZ_VEX

}  // namespace

namespace {
bool generalSetup = false;
// The AVX2 set-up when the processor has it (tests switch it off to check the other paths too).
const bool hasAvx2 = __builtin_cpu_supports("avx2");
bool allowVexSetup = true;
}  // namespace

bool Rasterizer::AllowVexSetup(bool allow) {
    const bool old = allowVexSetup;
    allowVexSetup = allow;
    return old;
}

bool Rasterizer::ForceGeneralSetup(bool force) {
    const bool old = generalSetup;
    generalSetup = force;
    return old;
}

void Rasterizer::DrawTriangle(const DrawState& st, const GsVertex& va, const GsVertex& vb, const GsVertex& vc,
                              const GsVertex& flat) {
    // Rows and columns whose centres can be inside, checked before anything else: most triangles a band
    // worker sees lie in other workers' bands.
    // (Pairwise, which compiles to conditional moves: the vertices come in any order.)
    const int32_t minY = std::min(va.y, std::min(vb.y, vc.y)), maxY = std::max(va.y, std::max(vb.y, vc.y));
    const int32_t minX = std::min(va.x, std::min(vb.x, vc.x)), maxX = std::max(va.x, std::max(vb.x, vc.x));
    int y0 = int((int64_t(minY) + 7) >> 4), y1 = int((int64_t(maxY) - 8) >> 4);
    int bx0 = int((int64_t(minX) + 7) >> 4), bx1 = int((int64_t(maxX) - 8) >> 4);
    y0 = std::max(y0, st.scy0);
    y1 = std::min(y1, st.scy1);
    bx0 = std::max(bx0, st.scx0);
    bx1 = std::min(bx1, st.scx1);
    if (y0 > y1 || bx0 > bx1) return;
    bool oneBand = bandCount_ == 1;
    if (!oneBand) {
        // Start the walk at this rasteriser's first row and end it at its last (the walk starts exactly
        // anywhere); none of its bands in reach: nothing to do.
        const int b0 = y0 >> kBandShift, b1 = y1 >> kBandShift;
        const int first = b0 + BandOwner(bandIndex_ - b0);
        if (first > b1) return;
        const int last = b1 - BandOwner(b1 - bandIndex_);
        y0 = std::max(y0, first << kBandShift);
        y1 = std::min(y1, (last << kBandShift) + (1 << kBandShift) - 1);
        if (y0 > y1) return;
        oneBand = first == last;  // every row left is this rasteriser's
    }

    const int64_t area = int64_t(vb.x - va.x) * (vc.y - va.y) - int64_t(vc.x - va.x) * (vb.y - va.y);
    if (area == 0) return;
    // b and c swapped when the area is negative, with no branch (the sign is anybody's guess).
    const uintptr_t swap = uintptr_t(-uintptr_t(area < 0)) & (uintptr_t(&vb) ^ uintptr_t(&vc));
    const GsVertex* const v[3] = {&va, reinterpret_cast<const GsVertex*>(uintptr_t(&vb) ^ swap),
                                  reinterpret_cast<const GsVertex*>(uintptr_t(&vc) ^ swap)};
    // The scalar planes first: their divisions run while the rows are found. The AVX2 ones, a few
    // divisions for all, cost less than the triangles that cover no centre (about one in six) waste on
    // them: they come after the rows.
    const bool vex = hasAvx2 && allowVexSetup && !generalSetup;
    const auto owns = [this, oneBand](int y) { return oneBand || OwnsRow(y); };
    SpanRow small[16];
    if (vex && maxX - minX < 1024 && maxY - minY < 256) {
        // (Every row this rasteriser's, the usual case: no test a row.)
        const size_t count = oneBand ? ShortRowsVex(v, y0, y1, bx0, bx1, small, [](int) { return true; })
                                     : ShortRowsVex(v, y0, y1, bx0, bx1, small, owns);
        if (count == 0) return;  // thin or small triangles often cover no pixel centre
        TrianglePlanesVex(st, v, flat, planes_);
        PrepareSpans(st);
        TriangleSpans(st, va, vb, vc, flat, small, count);
        return;
    }
    if (!vex) TrianglePlanes(st, v, flat, planes_);
    SpanRow* rows;
    size_t count;
    if (maxX - minX < 256 && maxY - minY < 256 && !generalSetup) {
        rows = small;
        switch ((bx1 - bx0) >> 2) {
            case 0:
                count = SmallTriangleRows<1>(v, y0, y1, bx0, bx1, rows, owns);
                break;
            case 1:
                count = SmallTriangleRows<2>(v, y0, y1, bx0, bx1, rows, owns);
                break;
            case 2:
                count = SmallTriangleRows<3>(v, y0, y1, bx0, bx1, rows, owns);
                break;
            default:
                count = SmallTriangleRows<4>(v, y0, y1, bx0, bx1, rows, owns);
                break;
        }
    } else {
        Edge e[3];
        TriangleEdges(v, e);
        const size_t need = size_t(y1 - y0 + 1);
        if (rows_.size() < need) rows_.resize(need);
        rows = rows_.data();
        if (generalSetup) {
            count = WalkTriangleRows(e, y0, y1, bx0, bx1, rows, owns);
        } else if (oneBand) {
            count = WalkSplitRows(v, e, y0, y1, bx0, bx1, rows, [](int) { return true; });
        } else {
            count = WalkSplitRows(v, e, y0, y1, bx0, bx1, rows, owns);
        }
    }
    if (count == 0) return;  // thin or small triangles often cover no pixel centre
    if (vex) TrianglePlanesVex(st, v, flat, planes_);
    PrepareSpans(st);
    TriangleSpans(st, va, vb, vc, flat, rows, count);
}

void Rasterizer::TriangleSpans(const DrawState& st, const GsVertex& a, const GsVertex& b, const GsVertex& c,
                               const GsVertex& flat, const SpanRow* rows, size_t count) {
    // One colour at every vertex (most of a race's Gouraud triangles): the flat span gives the same pixels
    // without stepping colours.
    if (sc_.fnOneColour) {
        uint32_t ca, cb, cc, cf;
        std::memcpy(&ca, &a.r, 4);
        std::memcpy(&cb, &b.r, 4);
        std::memcpy(&cc, &c.r, 4);
        std::memcpy(&cf, &flat.r, 4);
        if (ca == cb && ca == cc && ca == cf) {
            (this->*sc_.fnOneColour)(st, planes_, rows, count);
            return;
        }
    }
    Spans(st, planes_, rows, count);
}

void Rasterizer::DrawSprite(const DrawState& st, const GsVertex& a, const GsVertex& b) {
    const GsVertex& lx = a.x <= b.x ? a : b;
    const GsVertex& hx = a.x <= b.x ? b : a;
    const GsVertex& ly = a.y <= b.y ? a : b;
    const GsVertex& hy = a.y <= b.y ? b : a;
    if (lx.x == hx.x || ly.y == hy.y) return;
    // Pixels whose centres lie in [x0, x1) x [y0, y1).
    int x0 = int(CeilDiv(int64_t(lx.x) - 8, 16)), x1 = int(CeilDiv(int64_t(hx.x) - 8, 16)) - 1;
    int y0 = int(CeilDiv(int64_t(ly.y) - 8, 16)), y1 = int(CeilDiv(int64_t(hy.y) - 8, 16)) - 1;
    x0 = std::max(x0, st.scx0);
    x1 = std::min(x1, st.scx1);
    y0 = std::max(y0, st.scy0);
    y1 = std::min(y1, st.scy1);
    if (x0 > x1 || y0 > y1 || !OwnsAnyRow(y0, y1)) return;

    Planes p{};
    p.fr = b.r;
    p.fg = b.g;
    p.fb = b.b;
    p.fa = b.a;
    p.flatZ = true;
    p.fz = std::min(b.z, ZMax(st.zpsm));
    p.f = ConstPlane(b.fog);
    p.r = ConstPlane(b.r);
    p.g = ConstPlane(b.g);
    p.b = ConstPlane(b.b);
    p.a = ConstPlane(b.a);
    if (st.textured) {
        // Texture coordinates run linearly along each axis between the two corners.
        const double xa = lx.x / 16.0, xb = hx.x / 16.0, ya = ly.y / 16.0, yb = hy.y / 16.0;
        double su0, su1, tv0, tv1;
        if (st.uvTexels) {
            su0 = lx.u / 16.0;
            su1 = hx.u / 16.0;
            tv0 = ly.v / 16.0;
            tv1 = hy.v / 16.0;
        } else {
            auto div = [](float num, float q) { return q != 0.0f ? double(num) / double(q) : 0.0; };
            su0 = div(lx.s, lx.q);
            su1 = div(hx.s, hx.q);
            tv0 = div(ly.t, ly.q);
            tv1 = div(hy.t, hy.q);
        }
        p.s.dx = (su1 - su0) / (xb - xa);
        p.s.dy = 0;
        p.s.c = su0 - p.s.dx * xa;
        p.t.dx = 0;
        p.t.dy = (tv1 - tv0) / (yb - ya);
        p.t.c = tv0 - p.t.dy * ya;
        p.q = ConstPlane(1.0);
    }
    // s and t hold coordinates already divided by q (q is 1), scaled to texels in the span.
    DrawState s2 = st;
    s2.gouraud = false;
    PrepareSpans(s2);
    rows_.clear();
    for (int y = y0; y <= y1; ++y)
        if (OwnsRow(y)) rows_.push_back(SpanRow{y, x0, x1});
    Spans(s2, p, rows_.data(), rows_.size());
}

void Rasterizer::DrawLine(const DrawState& st, const GsVertex& a, const GsVertex& b) {
    const int64_t dx = int64_t(b.x) - a.x, dy = int64_t(b.y) - a.y;
    if (dx == 0 && dy == 0) return;
    const bool xMajor = (dx < 0 ? -dx : dx) >= (dy < 0 ? -dy : dy);
    const int64_t from = xMajor ? a.x : a.y, to = xMajor ? b.x : b.y;
    const int64_t lo = std::min(from, to), hi = std::max(from, to);
    // Cells along the major axis whose centres lie between the ends, the far end excluded.
    int64_t c0, c1;
    if (to > from) {
        c0 = CeilDiv(lo - 8, 16);
        c1 = CeilDiv(hi - 8, 16) - 1;
    } else {
        c0 = FloorDiv(lo - 8, 16) + 1;
        c1 = FloorDiv(hi - 8, 16);
    }
    for (int64_t c = c0; c <= c1; ++c) {
        const double t = (double(c * 16 + 8) - double(from)) / double(to - from);
        const double minor = xMajor ? a.y + t * double(dy) : a.x + t * double(dx);
        const int64_t mc = FloorDiv(int64_t(std::floor(minor)), 16);
        const int px = int(xMajor ? c : mc), py = int(xMajor ? mc : c);
        if (px < st.scx0 || px > st.scx1 || py < st.scy0 || py > st.scy1) continue;
        auto lerp = [t](double u, double w) { return u + (w - u) * t; };
        GsVertex m{};
        m.x = px * 16 + 8;
        m.y = py * 16 + 8;
        m.z = uint32_t(Clampd(lerp(a.z, b.z), 0.0, double(ZMax(st.zpsm))));
        if (st.gouraud) {
            m.r = uint8_t(Clampd(lerp(a.r, b.r), 0, 255));
            m.g = uint8_t(Clampd(lerp(a.g, b.g), 0, 255));
            m.b = uint8_t(Clampd(lerp(a.b, b.b), 0, 255));
            m.a = uint8_t(Clampd(lerp(a.a, b.a), 0, 255));
        } else {
            m.r = b.r;
            m.g = b.g;
            m.b = b.b;
            m.a = b.a;
        }
        m.fog = uint8_t(Clampd(lerp(a.fog, b.fog), 0, 255));
        m.s = float(lerp(a.s, b.s));
        m.t = float(lerp(a.t, b.t));
        m.q = float(lerp(a.q, b.q));
        m.u = uint32_t(Clampd(lerp(a.u, b.u), 0, 16383));
        m.v = uint32_t(Clampd(lerp(a.v, b.v), 0, 16383));
        DrawPoint(st, m);
    }
}

void Rasterizer::DrawPoint(const DrawState& st, const GsVertex& v) {
    const int px = int(FloorDiv(v.x, 16)), py = int(FloorDiv(v.y, 16));
    if (px < st.scx0 || px > st.scx1 || py < st.scy0 || py > st.scy1 || !OwnsRow(py)) return;
    Planes p{};
    p.fr = v.r;
    p.fg = v.g;
    p.fb = v.b;
    p.fa = v.a;
    p.flatZ = true;
    p.fz = std::min(v.z, ZMax(st.zpsm));
    p.f = ConstPlane(v.fog);
    if (st.uvTexels) {
        p.s = ConstPlane(v.u / 16.0);
        p.t = ConstPlane(v.v / 16.0);
        p.q = ConstPlane(1.0);
    } else {
        p.s = ConstPlane(v.s);
        p.t = ConstPlane(v.t);
        p.q = ConstPlane(v.q);
    }
    DrawState s2 = st;
    s2.gouraud = false;
    PrepareSpans(s2);
    Span(s2, p, py, px, px);
}

}  // namespace console::gs
