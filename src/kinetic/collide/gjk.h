// Distance kernel of the narrowphase: the Gilbert-Johnson-Keerthi iteration over the Minkowski
// difference of two convex shapes with Johnson's sub-algorithm, a one-step convex-against-plane test, and
// the upkeep of the contact points a pair keeps from pass to pass.
//
// Each kernel returns the separation (0 or more) and fills `out`, or returns -1 with `out` untouched
// when the shapes touch (closer than 1e-5) or overlap.
#pragma once

#include <cfloat>
#include <cmath>
#include <vector>

#include "kinetic/collide/collision_details.h"
#include "kinetic/collide/gjk_cache.h"
#include "kinetic/collide/gjk_support.h"
#include "kinetic/collide/planar_primitive.h"

namespace Kinetic {

// Reduces the simplex in W (size held by the cache) to the sub-simplex nearest the origin: writes the
// weights, moves the kept points (and both reference arrays) to the front and sets the new size. False
// when the origin lies inside the tetrahedron of four points.
bool JSD(Vector3* W, GJKCache* cache, float* lambda);

namespace gjk_detail {

// Iterations are bounded only by the strict decrease of the distance; this cap cannot be reached on
// valid input but stops a non-finite pose from spinning forever.
constexpr int kMaxIterations = 64;

template <typename S1, typename S2>
void markInUse(S1&, S2&, const GJKCache*) {}

inline void markInUse(GJK_Implicit& a, GJK_Implicit& b, const GJKCache* c) {
    a.markInUse(c->m_verticesA, c->m_size);
    b.markInUse(c->m_verticesB, c->m_size);
}
template <typename S2>
void markInUse(GJK_Implicit& a, S2&, const GJKCache* c) {
    a.markInUse(c->m_verticesA, c->m_size);
}

template <bool kImplicitExit, typename S1, typename S2>
float run(S1& a, S2& b, ContactPoint& out, GJKCache* cache) {
    const float eps = 1e-05f;
    const Vector3 d0 = a.startPoint() - b.startPoint();
    Vector3 W[4];
    float lambda[4] = {0, 0, 0, 0};
    cache->m_size = 0;
    markInUse(a, b, cache);
    cache->m_size = 1;
    cache->m_verticesA[0] = a.getSupportingVertex(-d0, 0);
    cache->m_verticesB[0] = b.getSupportingVertex(d0, 0);
    W[0] = a.toWorld(cache->m_verticesA[0]) - b.toWorld(cache->m_verticesB[0]);
    float distance = FLT_MAX;
    float last = FLT_MAX;
    Vector3 v;
    for (int iteration = 0;; ++iteration) {
        for (int i = 0; i < 4; ++i) lambda[i] = 0.0f;
        if (!JSD(W, cache, lambda)) return -1.0f;
        v = Vector3_Zero;
        for (int i = 0; i < cache->m_size; ++i) v += W[i] * lambda[i];
        last = distance;
        distance = v.length();
        if (!(distance < last)) break;
        if (distance < eps) return -1.0f;
        if (iteration >= kMaxIterations) {
            last = distance;
            break;
        }
        const int s = cache->m_size;
        markInUse(a, b, cache);
        cache->m_verticesA[s] = a.getSupportingVertex(-v, s);
        cache->m_verticesB[s] = b.getSupportingVertex(v, s);
        W[s] = a.toWorld(cache->m_verticesA[s]) - b.toWorld(cache->m_verticesB[s]);
        if (kImplicitExit) {
            bool repeated = false;
            for (int i = s - 1; i >= 0; --i)
                if ((W[s] - W[i]).lengthSqrd() < 1e-06f) repeated = true;
            if (repeated) break;
        }
        cache->m_size = s + 1;
    }
    Vector3 pa, pb;
    for (int i = 0; i < cache->m_size; ++i) {
        pa += *cache->m_verticesA[i] * lambda[i];
        pb += *cache->m_verticesB[i] * lambda[i];
    }
    // Weighted sums of points in one frame keep w at the weights' sum: restore it.
    pa.w = 1.0f;
    pb.w = 1.0f;
    Vector3 n = v;
    n.normalize();
    out.m_distance = last;
    out.m_normal = n;
    out.m_pointA = pa;
    out.m_pointB = pb;
    out.m_position = a.toWorld(&pa) - n * (0.5f * last);
    return last;
}

}  // namespace gjk_detail

// Two convex meshes, or a convex mesh and a triangle.
template <typename S1, typename S2>
float GJK(S1& a, S2& b, ContactPoint& out, GJKCache* cache) {
    return gjk_detail::run<false>(a, b, out, cache);
}

// Kernels with an implicit first shape also stop when a new support point repeats a simplex point.
template <typename S1, typename S2>
float GJKImplicit(S1& a, S2& b, ContactPoint& out, GJKCache* cache) {
    return gjk_detail::run<true>(a, b, out, cache);
}

// Height of the shape's lowest point above the plane, or -1 when it reaches below.
template <typename S>
float GJK_Planar(S& shape, const PlanarPrimitive& plane, ContactPoint& out) {
    const Vector3 n = plane.getBodyToWorldTransform().getRotatedDir(plane.m_normal);
    const Vector3* p = shape.getSupportingVertex(-n, 0);
    const Vector3 pw = shape.toWorld(p);
    const float d =
        plane.getWorldToBodyTransform().getTransformedPos(pw).dot(plane.m_normal) - plane.m_distance;
    if (d < 0.0f) return -1.0f;
    out.m_distance = d;
    out.m_normal = n;
    out.m_position = pw - n * (0.5f * d);
    out.m_pointA = *p;
    out.m_pointB = n;
    return d;
}

// Keeps the contact points of a convex pair from pass to pass. The new contact is the last record of
// details; surviving stored points are reported beside it unless they lie near it.
template <typename S1, typename S2>
void ValidatePoints(S1& a, S2& b, GJKCache& cache, std::vector<CollisionDetails>& details, float tolerance) {
    const CollisionDetails fresh = details.back();
    const Vector3 r = fresh.m_contact.m_position;
    bool offered = false;
    if (cache.m_size == 2) {
        offered =
            !(cache.m_verticesA[0] == cache.m_verticesA[1] && cache.m_verticesB[0] == cache.m_verticesB[1]);
    } else if (cache.m_size == 3) {
        const Vector3* const* A = cache.m_verticesA;
        const Vector3* const* B = cache.m_verticesB;
        const bool allA = A[0] == A[1] && A[1] == A[2];
        const bool allB = B[0] == B[1] && B[1] == B[2];
        const bool twoA = A[0] == A[1] || A[1] == A[2] || A[0] == A[2];
        const bool twoB = B[0] == B[1] || B[1] == B[2] || B[0] == B[2];
        offered = allA || allB || (twoA && twoB);
    }
    const float tol2 = tolerance * tolerance;
    std::vector<ContactPoint>& stored = cache.m_points;
    for (int i = static_cast<int>(stored.size()) - 1; i >= 0; --i) {
        const Vector3 pa = a.toWorld(&stored[static_cast<size_t>(i)].m_pointA);
        const Vector3 pb = b.toWorld(&stored[static_cast<size_t>(i)].m_pointB);
        const float gap2 = (pa - pb).lengthSqrd();
        if (gap2 < tol2) {
            CollisionDetails kept = fresh;
            kept.m_contact.m_position = (pa + pb) * 0.5f;
            kept.m_contact.m_distance = std::sqrt(gap2);
            if ((kept.m_contact.m_position - r).lengthSqrd() < 16.0f * tol2)
                offered = false;
            else
                details.push_back(kept);
        } else {
            stored[static_cast<size_t>(i)] = stored.back();
            stored.pop_back();
        }
    }
    if (offered) stored.push_back(fresh.m_contact);
}

// The same against a plane: a stored point lives while its plane distance stays below the tolerance.
template <typename S>
void ValidatePoints_Planar(S& shape, const PlanarPrimitive& plane, std::vector<ContactPoint>& stored,
                           std::vector<CollisionDetails>& details, float tolerance) {
    const CollisionDetails fresh = details.back();
    const Vector3 r = fresh.m_contact.m_position;
    const float tol2 = tolerance * tolerance;
    bool offered = true;
    const Transform& worldToPlane = plane.getWorldToBodyTransform();
    for (int i = static_cast<int>(stored.size()) - 1; i >= 0; --i) {
        const ContactPoint& s = stored[static_cast<size_t>(i)];
        const Vector3 pw = shape.toWorld(&s.m_pointA);
        const float d = worldToPlane.getTransformedPos(pw).dot(plane.m_normal) - plane.m_distance;
        if (d < tolerance) {
            CollisionDetails kept = fresh;
            kept.m_contact.m_position = pw - s.m_pointB * (0.5f * d);
            kept.m_contact.m_distance = d;
            if ((kept.m_contact.m_position - r).lengthSqrd() < 16.0f * tol2)
                offered = false;
            else
                details.push_back(kept);
        } else {
            stored[static_cast<size_t>(i)] = stored.back();
            stored.pop_back();
        }
    }
    if (offered) stored.push_back(fresh.m_contact);
}

}  // namespace Kinetic
