// Segment tests of the primitive kinds: plane, sphere, height field and triangle mesh. Each tests the
// query's current segment and reports an accepted hit through the query.
#include <cmath>
#include <vector>

#include "kinetic/collide/geometric_primitive.h"
#include "kinetic/collide/height_field_primitive.h"
#include "kinetic/collide/planar_primitive.h"
#include "kinetic/collide/segment_test.h"
#include "kinetic/collide/spherical_primitive.h"
#include "kinetic/dynamics/rigid_body.h"

namespace Kinetic {

namespace {

float bodyFriction(const Primitive& p) {
    const RigidBody* b = p.getBody();
    return b ? b->m_friction : 0.0f;
}

}  // namespace

bool PlanarPrimitive::intersectionTest(SegmentTest& test) const {
    const Segment& s = test.m_currentSegment;
    const Transform& toBody = getWorldToBodyTransform();
    const float a = m_normal.dot(toBody.getTransformedPos(s.m_start)) - m_distance;
    const float b = m_normal.dot(toBody.getTransformedPos(s.m_end)) - m_distance;
    if (a * b > 0.0f) return false;
    // A segment lying in the plane has no single crossing (0/0): no hit rather than a NaN distance.
    if (a == b) return false;
    SimpleHit hit;
    hit.m_distance = a / (a - b) * s.m_length;
    hit.m_normal = m_normal;
    hit.m_primitive = this;
    hit.m_friction = bodyFriction(*this);
    test.newHitFound(hit);
    return true;
}

bool SphericalPrimitive::intersectionTest(SegmentTest& test) const {
    const Segment& s = test.m_currentSegment;
    if (!m_AABB.overlaps(s.m_AABB)) return false;
    const Transform& toBody = getWorldToBodyTransform();
    const Vector3 p = toBody.getTransformedPos(s.m_start);
    const Vector3 d = toBody.getRotatedDir(s.m_direction);
    const float b = p.dot(d), c = p.dot(p);
    const float disc = m_radius * m_radius - (c - b * b);
    if (disc < 0.0f) return false;
    const float t = -b - std::sqrt(disc);
    if (t < 0.0f || t > s.m_length) return false;
    SimpleHit hit;
    hit.m_distance = t;
    const Vector3 centre = getBodyToWorldTransform().getTranslation();
    hit.m_normal = (s.m_start + s.m_direction * t - centre).getNormalized();
    hit.m_primitive = this;
    hit.m_friction = bodyFriction(*this);
    test.newHitFound(hit);
    return true;
}

bool HeightFieldPrimitive::intersectionTest(SegmentTest& test) const {
    const Segment& s = test.m_currentSegment;
    if (!m_AABB.overlaps(s.m_AABB)) return false;
    const Segment local = s.transformed(getWorldToBodyTransform());
    SimpleHit hit;
    if (!m_heightfield->intersectSegment(local, hit)) return false;
    // A field may supply a surface friction of its own.
    if (hit.m_friction == -1.0f) hit.m_friction = bodyFriction(*this);
    hit.m_normal = getBodyToWorldTransform().getRotatedDir(hit.m_normal);
    hit.m_primitive = this;
    test.newHitFound(hit);
    return true;
}

bool GeometricPrimitive::intersectionTest(SegmentTest& test) const {
    const Geometry* g = m_geometry;
    if (!g || g->m_triangle_count == 0) return false;
    // Every triangle lies in the primitive's box: a segment whose box misses it meets none of them.
    if (!m_AABB.overlaps(test.m_currentSegment.m_AABB)) return false;
    const Vector3* v = g->m_vertices;
    const RigidBody* owner = getBody();
    const bool ownerFixed = owner && owner->isFixed();
    Segment local = test.m_currentSegment.transformed(getWorldToBodyTransform());
    bool result = false;

    // One triangle against the local segment; returns false when the search must stop.
    auto tryTriangle = [&](const TriangleIndices& tri, bool convex, bool& stop) {
        const Vector3& A = v[tri.m_verts[0]];
        const Vector3& B = v[tri.m_verts[1]];
        const Vector3& C = v[tri.m_verts[2]];
        // The side tests and the crossing parameter do not depend on the normal's length, so it is
        // normalised only for a hit.
        Vector3 n = (C - B).cross(A - B);
        // Zero-area triangles (possible in disc data) have no plane: skip them instead of a NaN crossing.
        if (n.lengthSqrd() == 0.0f) return;
        const float d = n.dot(A);
        const float a = n.dot(local.m_start) - d;
        const float b = n.dot(local.m_end) - d;
        if (a * b > 0.0f) {
            // Both ends in front of a face of a convex body: the segment cannot enter it.
            if (convex && a >= 0.0f) stop = true;
            return;
        }
        if (a == b) return;  // the segment lies in the triangle's plane
        const float dist = a / (a - b) * local.m_length;
        const Vector3 p = local.m_start + local.m_direction * dist;
        // The three edge tests against the unnormalised normal (their signs do not depend on its length);
        // points on an edge count as inside.
        if ((A - p).cross(B - p).dot(n) < 0.0f || (B - p).cross(C - p).dot(n) < 0.0f ||
            (C - p).cross(A - p).dot(n) < 0.0f)
            return;
        SimpleHit hit;
        hit.m_distance = dist;
        n.normalize();
        hit.m_normal = getBodyToWorldTransform().getRotatedDir(n);
        hit.m_primitive = this;
        hit.m_friction = bodyFriction(*this);
        if (test.newHitFound(hit)) local = test.m_currentSegment.transformed(getWorldToBodyTransform());
        if (test.m_isFinished) {
            stop = true;
            return;
        }
        result = true;
    };

    bool stop = false;
    if (m_type == CD_CXGEOMETRIC && (g->m_triangle_count < 50 || !ownerFixed || !m_KDOPTree)) {
        for (int i = 0; i < g->m_triangle_count && !stop; ++i) tryTriangle(g->m_triangles[i], true, stop);
        return result;
    }
    // The candidate list is kept from cast to cast so that a cast allocates nothing once it has grown; it
    // is taken out while in use, so a cast started from inside a hit callback gets a list of its own.
    static thread_local std::vector<const TriangleIndices*> kept;
    std::vector<const TriangleIndices*> candidates = std::move(kept);
    candidates.clear();
    bool any = true;
    if (ownerFixed && m_KDOPTree) {
        any = m_KDOPTree->intersect(local, candidates, m_KDOPTree->getRoot());
    } else if (m_OBBTree) {
        any = m_OBBTree->intersect(local, candidates);
    } else {
        for (int i = 0; i < g->m_triangle_count; ++i) candidates.push_back(&g->m_triangles[i]);
    }
    if (any) {
        for (const TriangleIndices* t : candidates) {
            tryTriangle(*t, false, stop);
            if (stop) break;
        }
    }
    kept = std::move(candidates);
    return result;
}

}  // namespace Kinetic
