#include "kinetic/collide/geometry_util.h"

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "kinetic/collide/triangle_util.h"

namespace Kinetic {

namespace {

// The C library generator is seeded once at start-up, as the engine always has.
struct SeedRandom {
    SeedRandom() { std::srand(367); }
} g_seedRandom;

// Inclusive containment on squared distances. Radii come out of a square root, so a point exactly on the
// sphere (four co-circular corners of a square) can miss by one rounding step; a relative slack of a few
// ulps keeps such points inside.
inline bool inside(const Vector3& p, const Vector3& c, float r) {
    return (p - c).lengthSqrd() <= r * r * (1.0f + 4e-7f);
}

// Linear congruential step shared by the shuffle and the jitter.
inline uint32_t nextLcg(uint32_t s) {
    return s * 1664525u + 1013904223u;
}

}  // namespace

void PlanarCircumscribe3(const Vector3& a, const Vector3& b, const Vector3& c, Vector3& centre,
                         float& radius) {
    const Vector3 u = a - c;
    const Vector3 v = b - c;
    const float uu = u.dot(u), uv = u.dot(v), vv = v.dot(v);
    const float det = uu * vv - uv * uv;
    if (std::fabs(det) <= 0.0001f) {
        centre = Vector3(FLT_MAX, FLT_MAX, FLT_MAX);
        radius = FLT_MAX;
        return;
    }
    const float k = 0.5f / det;
    const float s = k * vv * (uu - uv);
    const float t = k * uu * (vv - uv);
    centre = a * s + b * t + c * (1.0f - s - t);
    radius = (u * s + v * t).length();
}

void MinimalSphere3(const Vector3& a, const Vector3& b, const Vector3& c, Vector3& centre, float& radius) {
    PlanarCircumscribe3(a, b, c, centre, radius);
    const Vector3* pairs[3][3] = {{&a, &b, &c}, {&a, &c, &b}, {&b, &c, &a}};
    for (auto& pr : pairs) {
        Vector3 mid = (*pr[0] + *pr[1]) * 0.5f;
        float r = (*pr[0] - *pr[1]).length() * 0.5f;
        if (inside(*pr[2], mid, r) && r < radius) {
            centre = mid;
            radius = r;
        }
    }
}

void Circumscribe4(const Vector3& a, const Vector3& b, const Vector3& c, const Vector3& d, Vector3& centre,
                   float& radius) {
    Vector3 e1 = (b - a).getNormalized();
    Vector3 e2 = (c - a).getNormalized();
    if (e1.dot(e2) < 0.01f) e2 = (d - a).getNormalized();
    Vector3 n = e1.cross(e2).getNormalized();
    Vector3 dl = d;
    // A fourth point in the plane of the others is lifted off it so that the system stays solvable.
    if (std::fabs(a.dot(n) - d.dot(n)) < 0.001f) dl = d + n * 0.5f;

    const Vector3 r0 = b - a, r1 = c - a, r2 = dl - a;
    const float h0 = 0.5f * r0.lengthSqrd(), h1 = 0.5f * r1.lengthSqrd(), h2 = 0.5f * r2.lengthSqrd();
    const float c00 = r1.y * r2.z - r1.z * r2.y;
    const float c01 = r1.z * r2.x - r1.x * r2.z;
    const float c02 = r1.x * r2.y - r1.y * r2.x;
    const float det = r0.x * c00 + r0.y * c01 + r0.z * c02;
    if (std::fabs(det) <= 0.0001f) {
        centre = (a + b + c + d) * 0.25f;
        radius = 0.0f;
        for (const Vector3* p : {&a, &b, &c, &d}) {
            float l = (*p - centre).length();
            if (l > radius) radius = l;
        }
        return;
    }
    const float c10 = r0.z * r2.y - r0.y * r2.z;
    const float c11 = r0.x * r2.z - r0.z * r2.x;
    const float c12 = r0.y * r2.x - r0.x * r2.y;
    const float c20 = r0.y * r1.z - r0.z * r1.y;
    const float c21 = r0.z * r1.x - r0.x * r1.z;
    const float c22 = r0.x * r1.y - r0.y * r1.x;
    const float inv = 1.0f / det;
    // x = adj(M) . h / det, the adjugate being the transposed cofactors.
    Vector3 x((c00 * h0 + c10 * h1 + c20 * h2) * inv, (c01 * h0 + c11 * h1 + c21 * h2) * inv,
              (c02 * h0 + c12 * h1 + c22 * h2) * inv);
    centre = a + x;
    radius = x.length();
}

void MinimalSphere4(const Vector3& a, const Vector3& b, const Vector3& c, const Vector3& d, Vector3& centre,
                    float& radius) {
    Circumscribe4(a, b, c, d, centre, radius);
    const Vector3* triples[4][4] = {{&a, &b, &c, &d}, {&a, &b, &d, &c}, {&a, &c, &d, &b}, {&b, &c, &d, &a}};
    for (auto& tr : triples) {
        Vector3 sc;
        float sr;
        MinimalSphere3(*tr[0], *tr[1], *tr[2], sc, sr);
        if (inside(*tr[3], sc, sr) && sr < radius) {
            centre = sc;
            radius = sr;
        }
    }
}

void MinFix2(int m, const Vector3* const* P, const Vector3& q, const Vector3& p, Vector3& centre,
             float& radius) {
    MinimalSphere4(*P[0], *P[1], q, p, centre, radius);
    for (int k = 2; k < m; ++k) {
        if (inside(*P[k], centre, radius)) continue;
        MinimalSphere4(*P[0], *P[k], q, p, centre, radius);
        for (int l = 1; l < k; ++l) {
            if (!inside(*P[l], centre, radius)) MinimalSphere4(*P[l], *P[k], q, p, centre, radius);
        }
    }
}

void GeometryUtil::minSphere(const Vector3* points, int n, Vector3& centre, float& radius) {
    if (n <= 0) {
        // A mesh without vertices has nothing to enclose; never read the absent first point.
        centre = Vector3_Zero;
        radius = 0.0f;
        return;
    }
    if (n == 1) {
        centre = points[0];
        radius = 0.0f;
        return;
    }
    if (n == 2) {
        centre = (points[0] + points[1]) * 0.5f;
        radius = (points[0] - points[1]).length() * 0.5f;
        return;
    }
    if (n == 3) {
        MinimalSphere3(points[0], points[1], points[2], centre, radius);
        return;
    }
    std::vector<const Vector3*> P(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) P[i] = &points[i];
    uint32_t s = 237123u;
    for (int i = n - 1; i >= 1; --i) {
        s = nextLcg(s);
        int j = static_cast<int>((s & 0x7FFFFFFFu) % static_cast<uint32_t>(i + 1));
        if (j != i) std::swap(P[i], P[j]);
    }
    MinimalSphere4(*P[0], *P[1], *P[2], *P[3], centre, radius);
    for (int i = 4; i < n; ++i) {
        if (inside(*P[i], centre, radius)) continue;
        MinimalSphere4(*P[0], *P[1], *P[2], *P[i], centre, radius);
        for (int j = 3; j < i; ++j) {
            if (!inside(*P[j], centre, radius)) MinFix2(j, P.data(), *P[j], *P[i], centre, radius);
        }
    }
}

void GeometryUtil::getMeanAndCovariance(const Vector3* vertices, const TriangleIndices* triangles,
                                        unsigned int n, Matrix3& covariance, Vector3& mean, bool jitter) {
    Vector3 m;
    float area = 0.0f;
    float C[3][3] = {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}};
    uint32_t s = 1238221u;
    auto draw = [&s]() {
        s = nextLcg(s);
        return static_cast<float>(s & 0x7FFFFFFFu) * (1.0f / 2147483648.0f);
    };
    for (unsigned int t = 0; t < n; ++t) {
        const Vector3& a = vertices[triangles[t].m_verts[0]];
        const Vector3& b = vertices[triangles[t].m_verts[1]];
        const Vector3& c = vertices[triangles[t].m_verts[2]];
        Vector3 e = a - b;
        if (jitter) {
            float r1 = draw(), r2 = draw(), r3 = draw();
            e += Vector3(r3, r2, r1) * 0.01f;
        }
        const float ai = 0.5f * e.cross(a - c).length();
        const Vector3 mi = (a + b + c) / 3.0f;
        const float av[3] = {a.x, a.y, a.z}, bv[3] = {b.x, b.y, b.z}, cv[3] = {c.x, c.y, c.z};
        const float mv[3] = {mi.x, mi.y, mi.z};
        if (ai > 0.0f) {
            area += ai;
            m += mi * ai;
            for (int j = 0; j < 3; ++j)
                for (int k = 0; k < 3; ++k)
                    C[j][k] += ai * (9.0f * mv[j] * mv[k] + av[j] * av[k] + bv[j] * bv[k] + cv[j] * cv[k]);
        } else {
            for (int j = 0; j < 3; ++j)
                for (int k = 0; k < 3; ++k) C[j][k] += av[j] * av[k] + bv[j] * bv[k] + cv[j] * cv[k];
        }
    }
    if (area <= 0.0f) {
        mean = Vector3_Zero;
        covariance = Matrix3_Identity;
        return;
    }
    mean = m / area;
    const float mv[3] = {mean.x, mean.y, mean.z};
    for (int j = 0; j < 3; ++j)
        for (int k = 0; k < 3; ++k) covariance(j, k) = C[j][k] / 12.0f - area * mv[j] * mv[k];
}

bool GeometryUtil::isPointInside(const Geometry* g, const Vector3& point, const Vector3& direction,
                                 bool acceptOneSided) {
    float bestFront = FLT_MAX, bestBack = -FLT_MAX;
    bool haveFront = false, haveBack = false, voteFront = false, voteBack = false;
    for (int i = 0; i < g->m_triangle_count; ++i) {
        const TriangleIndices& tri = g->m_triangles[i];
        const Vector3& x0 = g->m_vertices[tri.m_verts[0]];
        const Vector3& x1 = g->m_vertices[tri.m_verts[1]];
        const Vector3& x2 = g->m_vertices[tri.m_verts[2]];
        float t, u, v;
        if (!TriangleUtil::rayIntersect(t, u, v, point, direction, x0, x1, x2, false)) continue;
        const Vector3 n = (x2 - x1).cross(x0 - x1).getNormalized();
        const bool vote = (point - x0).dot(n) <= 0.0f;
        if (t > 0.0f) {
            if (t < bestFront) {
                bestFront = t;
                haveFront = true;
                voteFront = vote;
            }
        } else if (t > bestBack) {
            bestBack = t;
            haveBack = true;
            voteBack = vote;
        }
    }
    if (haveFront && haveBack) return voteFront == voteBack ? voteFront : acceptOneSided;
    if (!acceptOneSided) return false;
    if (haveFront) return voteFront;
    if (haveBack) return voteBack;
    return false;
}

}  // namespace Kinetic
