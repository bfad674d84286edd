// Primitive set-up: triangles, sprites, lines and points turned into rows of covered pixels and the
// planes of their attributes. Coverage uses edge functions on 12.4 fixed-point window coordinates, sampled
// at pixel centres with the top-left rule, so two triangles sharing an edge never draw a pixel twice.
#include <algorithm>
#include <cmath>
#include <utility>

#include "console/gs/rasterizer.h"
#include "console/gs/rasterizer_internal.h"

namespace console::gs {

using namespace raster;

namespace {

// Plane through three (x, y, value) points, positions in pixels.
Rasterizer::Plane PlaneOf(double x0, double y0, double a0, double x1, double y1, double a1, double x2,
                          double y2, double a2) {
    const double det = (x1 - x0) * (y2 - y0) - (x2 - x0) * (y1 - y0);
    Rasterizer::Plane p{};
    p.dx = ((a1 - a0) * (y2 - y0) - (a2 - a0) * (y1 - y0)) / det;
    p.dy = ((a2 - a0) * (x1 - x0) - (a1 - a0) * (x2 - x0)) / det;
    p.c = a0 - p.dx * x0 - p.dy * y0;
    return p;
}
Rasterizer::Plane ConstPlane(double v) {
    return Rasterizer::Plane{v, 0.0, 0.0};
}

// The edge functions of a triangle whose vertices are ordered so its signed area is positive, with the
// top-left rule as a bias.
struct Edge {
    int64_t A, B, C;
    int64_t bias;
};
void TriangleEdges(const GsVertex* const v[3], Edge e[3]) {
    for (int i = 0; i < 3; ++i) {
        const GsVertex& p0 = *v[i];
        const GsVertex& p1 = *v[(i + 1) % 3];
        e[i].A = int64_t(p0.y) - p1.y;
        e[i].B = int64_t(p1.x) - p0.x;
        e[i].C = -(e[i].A * p0.x + e[i].B * p0.y);
        const bool topLeft = e[i].A > 0 || (e[i].A == 0 && e[i].B > 0);
        e[i].bias = topLeft ? 0 : -1;
    }
}

// The planes of a triangle's attributes (v in drawing order); `flat` gives the flat colour.
Rasterizer::Planes TrianglePlanes(const DrawState& st, const GsVertex* const v[3], const GsVertex& flat) {
    Rasterizer::Planes p{};
    const double X[3] = {v[0]->x / 16.0, v[1]->x / 16.0, v[2]->x / 16.0};
    const double Y[3] = {v[0]->y / 16.0, v[1]->y / 16.0, v[2]->y / 16.0};
    auto plane = [&](auto get) {
        return PlaneOf(X[0], Y[0], get(*v[0]), X[1], Y[1], get(*v[1]), X[2], Y[2], get(*v[2]));
    };
    p.z = plane([](const GsVertex& q) { return double(q.z); });
    p.flatZ = false;
    if (st.gouraud) {
        p.r = plane([](const GsVertex& q) { return double(q.r); });
        p.g = plane([](const GsVertex& q) { return double(q.g); });
        p.b = plane([](const GsVertex& q) { return double(q.b); });
        p.a = plane([](const GsVertex& q) { return double(q.a); });
    }
    p.fr = flat.r;
    p.fg = flat.g;
    p.fb = flat.b;
    p.fa = flat.a;
    if (st.fogging) p.f = plane([](const GsVertex& q) { return double(q.fog); });
    if (st.textured) {
        if (st.uvTexels) {
            p.s = plane([](const GsVertex& q) { return q.u / 16.0; });
            p.t = plane([](const GsVertex& q) { return q.v / 16.0; });
            p.q = ConstPlane(1.0);
        } else {
            p.s = plane([](const GsVertex& q) { return double(q.s); });
            p.t = plane([](const GsVertex& q) { return double(q.t); });
            p.q = plane([](const GsVertex& q) { return double(q.q); });
        }
    }
    return p;
}

// Calls emit(y, x0, x1) for each row y0..y1 with covered pixels, x0..x1 within the columns bx0..bx1.
template <class Emit>
void WalkTriangleRows(const Edge e[3], int y0, int y1, int bx0, int bx1, Emit emit) {
    // Each edge bounds the covered columns of a row: A * (16x + 8) + B * py + C + bias >= 0. The bound
    // moves by a fixed rational step per row, walked as quotient and remainder (no division per row).
    struct Walk {
        int kind;      // 1: lower bound on x, -1: upper bound, 0: the whole row or nothing
        int64_t q, r;  // bound = q, with remainder r in [0, k)
        int64_t k, dq, dr;
        int64_t R, D;  // for kind 0: row is empty when R > 0
    } w[3];
    const int64_t py0 = int64_t(y0) * 16 + 8;
    for (int i = 0; i < 3; ++i) {
        const Edge& ed = e[i];
        const int64_t R = -(ed.B * py0 + ed.C + ed.bias + 8 * ed.A);
        const int64_t D = -16 * ed.B;  // change of R per row
        const int64_t K = 16 * ed.A;
        Walk& wk = w[i];
        if (K > 0) {
            // x >= ceil(R / K) = floor((R + K - 1) / K)
            wk.kind = 1;
            wk.k = K;
            wk.q = FloorDiv(R + K - 1, K);
            wk.r = (R + K - 1) - wk.q * K;
            wk.dq = FloorDiv(D, K);
            wk.dr = D - wk.dq * K;
        } else if (K < 0) {
            // x <= floor(R / K) = floor(-R / -K)
            wk.kind = -1;
            wk.k = -K;
            wk.q = FloorDiv(-R, -K);
            wk.r = -R - wk.q * (-K);
            wk.dq = FloorDiv(-D, -K);
            wk.dr = -D - wk.dq * (-K);
        } else {
            wk.kind = 0;
            wk.R = R;
            wk.D = D;
        }
    }
    for (int y = y0; y <= y1; ++y) {
        int64_t lo = bx0, hi = bx1;
        for (Walk& wk : w) {
            if (wk.kind == 1) {
                lo = std::max(lo, wk.q);
            } else if (wk.kind == -1) {
                hi = std::min(hi, wk.q);
            } else if (wk.R > 0) {
                hi = lo - 1;
            }
            if (wk.kind != 0) {
                wk.q += wk.dq;
                wk.r += wk.dr;
                if (wk.r >= wk.k) {
                    wk.r -= wk.k;
                    ++wk.q;
                }
            } else {
                wk.R += wk.D;
            }
        }
        if (lo <= hi) emit(y, int(lo), int(hi));
    }
}

}  // namespace

void Rasterizer::DrawTriangle(const DrawState& st, const GsVertex& va, const GsVertex& vb, const GsVertex& vc,
                              const GsVertex& flat) {
    // Rows and columns whose centres can be inside, checked before anything else: most triangles a band
    // worker sees lie in other workers' bands.
    const int32_t minY = std::min({va.y, vb.y, vc.y}), maxY = std::max({va.y, vb.y, vc.y});
    const int32_t minX = std::min({va.x, vb.x, vc.x}), maxX = std::max({va.x, vb.x, vc.x});
    int y0 = int(CeilDiv(int64_t(minY) - 8, 16)), y1 = int(FloorDiv(int64_t(maxY) - 8, 16));
    int bx0 = int(CeilDiv(int64_t(minX) - 8, 16)), bx1 = int(FloorDiv(int64_t(maxX) - 8, 16));
    y0 = std::max(y0, st.scy0);
    y1 = std::min(y1, st.scy1);
    bx0 = std::max(bx0, st.scx0);
    bx1 = std::min(bx1, st.scx1);
    if (y0 > y1 || bx0 > bx1 || !OwnsAnyRow(y0, y1)) return;
    if (bandCount_ > 1) {
        // Walk only from this rasteriser's first row to its last (the walk starts exactly anywhere).
        const int b0 = y0 >> kBandShift, b1 = y1 >> kBandShift;
        const int first = b0 + ((bandIndex_ - b0) % bandCount_ + bandCount_) % bandCount_;
        const int last = b1 - ((b1 - bandIndex_) % bandCount_ + bandCount_) % bandCount_;
        y0 = std::max(y0, first << kBandShift);
        y1 = std::min(y1, (last << kBandShift) + (1 << kBandShift) - 1);
        if (y0 > y1) return;
    }

    const GsVertex* v[3] = {&va, &vb, &vc};
    int64_t area =
        int64_t(v[1]->x - v[0]->x) * (v[2]->y - v[0]->y) - int64_t(v[2]->x - v[0]->x) * (v[1]->y - v[0]->y);
    if (area == 0) return;
    if (area < 0) std::swap(v[1], v[2]);

    Edge e[3];
    TriangleEdges(v, e);
    rows_.clear();
    WalkTriangleRows(e, y0, y1, bx0, bx1, [this](int y, int x0, int x1) {
        if (OwnsRow(y)) rows_.push_back(SpanRow{y, x0, x1});
    });
    if (rows_.empty()) return;  // thin or small triangles often cover no pixel centre
    PrepareSpans(st);
    const Planes p = TrianglePlanes(st, v, flat);
    Spans(st, p, rows_.data(), rows_.size());
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
    PrepareSpansOnce(s2);
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
    PrepareSpansOnce(s2);
    Span(s2, p, py, px, px);
}

}  // namespace console::gs
