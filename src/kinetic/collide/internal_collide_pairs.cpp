// Pair dispatch and the narrowphase pair tests of the detector.
#include <algorithm>

#include "kinetic/collide/bv_tree_detect.h"
#include "kinetic/collide/bv_tree_intersect.h"
#include "kinetic/collide/geometric_primitive.h"
#include "kinetic/collide/gjk.h"
#include "kinetic/collide/height_field_primitive.h"
#include "kinetic/collide/internal_collide.h"
#include "kinetic/collide/internal_collide_util.h"
#include "kinetic/collide/kdop14.h"
#include "kinetic/collide/planar_primitive.h"
#include "kinetic/collide/spherical_primitive.h"
#include "kinetic/dynamics/entity.h"

namespace Kinetic {

namespace {

bool eitherPhantom(const Collidable& a, const Collidable& b) {
    return a.m_isPhantom || b.m_isPhantom;
}

CollisionDetails record(Collidable& a, Collidable& b, const ContactPoint& c) {
    CollisionDetails d;
    d.m_objectA = &a;
    d.m_objectB = &b;
    d.m_contact = c;
    return d;
}

bool isFixed(const Collidable& c) {
    return c.m_entity && c.m_entity->isFixed();
}

}  // namespace

bool InternalCollide::outcome(float d, Collidable& a, Collidable& b, PairList& inter,
                              PairList& phantoms) const {
    if (d >= m_tolerance) return false;
    if (d < 0.0f) {
        (eitherPhantom(a, b) ? phantoms : inter).emplace_back(&a, &b);
        return false;
    }
    return !eitherPhantom(a, b);
}

void InternalCollide::pairDispatch(Collidable& a, Collidable& b, PairList& inter, PairList& phantoms,
                                   std::vector<CollisionDetails>& details) {
    switch (static_cast<uint32_t>(a.m_type) + static_cast<uint32_t>(b.m_type)) {
        case CD_GEOMETRIC + CD_GEOMETRIC:
            GeometricGeometric(static_cast<GeometricPrimitive&>(a), static_cast<GeometricPrimitive&>(b),
                               inter, phantoms, details);
            break;
        case CD_IMPLICIT + CD_GEOMETRIC:
            ImplicitGeometric(static_cast<PlanarPrimitive&>(a), static_cast<GeometricPrimitive&>(b), inter,
                              phantoms, details);
            break;
        case CD_CXGEOMETRIC + CD_GEOMETRIC:
            CXGeometricGeometric(static_cast<GeometricPrimitive&>(a), static_cast<GeometricPrimitive&>(b),
                                 inter, phantoms, details);
            break;
        case CD_CXGEOMETRIC + CD_IMPLICIT:
            CXGeometricImplicit(static_cast<GeometricPrimitive&>(a), static_cast<PlanarPrimitive&>(b), inter,
                                phantoms, details);
            break;
        case CD_CXGEOMETRIC + CD_HEIGHTFIELD: {
            auto& hf = static_cast<HeightFieldPrimitive&>(b);
            if (hf.m_fastCD)
                FastCXGeometricHeightField(static_cast<GeometricPrimitive&>(a), hf, inter, phantoms, details);
            else
                CXGeometricHeightField(static_cast<GeometricPrimitive&>(a), hf, inter, phantoms, details);
            break;
        }
        case CD_CXGEOMETRIC + CD_CXGEOMETRIC:
            CXGeometricCXGeometric(static_cast<GeometricPrimitive&>(a), static_cast<GeometricPrimitive&>(b),
                                   inter, phantoms, details);
            break;
        case CD_CXIMPLICIT + CD_GEOMETRIC:
            CXImplicitGeometric(static_cast<CXImplicitPrimitive&>(a), static_cast<GeometricPrimitive&>(b),
                                inter, phantoms, details);
            break;
        case CD_CXIMPLICIT + CD_IMPLICIT:
            CXImplicitImplicit(static_cast<CXImplicitPrimitive&>(a), static_cast<PlanarPrimitive&>(b), inter,
                               phantoms, details);
            break;
        case CD_CXIMPLICIT + CD_CXGEOMETRIC:
            CXImplicitCXGeometric(static_cast<CXImplicitPrimitive&>(a), static_cast<GeometricPrimitive&>(b),
                                  inter, phantoms, details);
            break;
        case CD_CXIMPLICIT + CD_CXIMPLICIT:
            CXImplicitCXImplicit(static_cast<CXImplicitPrimitive&>(a), static_cast<CXImplicitPrimitive&>(b),
                                 inter, phantoms, details);
            break;
        default:
            // Height fields against anything but convex meshes, and unknown kinds, have no test.
            break;
    }
}

void InternalCollide::GeometricGeometric(GeometricPrimitive& a, GeometricPrimitive& b, PairList& inter,
                                         PairList& phantoms, std::vector<CollisionDetails>& details) {
    // Phantoms are not considered here: the tree search lists interpenetrations and contacts only.
    (void)phantoms;
    if (a.m_OBBTree && b.m_OBBTree)
        BVTreeDetect::FindAllCollisionsUsingBVTree(&a, &b, inter, details, m_tolerance);
    else if (a.m_KDOPTree && b.m_OBBTree)
        BVTreeDetect::FindAllKDOPtoOBBCollisions(&a, &b, inter, details, m_tolerance);
    else if (b.m_KDOPTree && a.m_OBBTree)
        BVTreeDetect::FindAllKDOPtoOBBCollisions(&b, &a, inter, details, m_tolerance);
}

void InternalCollide::ImplicitGeometric(PlanarPrimitive& a, GeometricPrimitive& b, PairList& inter,
                                        PairList& phantoms, std::vector<CollisionDetails>& details) {
    GJK_Convex shape(&b);
    ContactPoint cp;
    const float d = GJK_Planar(shape, a, cp);
    if (!outcome(d, a, b, inter, phantoms)) return;
    bool found = false;
    ManifoldCache* line = m_manifoldCache.fetch(found, CollidablePair(&a, &b).getKey());
    if (!found) {
        line->m_newLine = 1;
        line->m_points.clear();
    }
    // The plane test's normal points from the plane to the mesh; the record's must point to the plane.
    cp.m_normal = -cp.m_normal;
    details.push_back(record(a, b, cp));
    ValidatePoints_Planar(shape, a, line->m_points, details, m_tolerance);
}

void InternalCollide::CXGeometricImplicit(GeometricPrimitive& a, PlanarPrimitive& b, PairList& inter,
                                          PairList& phantoms, std::vector<CollisionDetails>& details) {
    GJK_HillConvex shape(&a);
    ContactPoint cp;
    const float d = GJK_Planar(shape, b, cp);
    if (!outcome(d, a, b, inter, phantoms)) return;
    bool found = false;
    ManifoldCache* line = m_manifoldCache.fetch(found, CollidablePair(&a, &b).getKey());
    if (!found) {
        line->m_newLine = 1;
        line->m_points.clear();
    }
    details.push_back(record(a, b, cp));
    ValidatePoints_Planar(shape, b, line->m_points, details, m_tolerance);
}

void InternalCollide::CXGeometricCXGeometric(GeometricPrimitive& a, GeometricPrimitive& b, PairList& inter,
                                             PairList& phantoms, std::vector<CollisionDetails>& details) {
    bool found = false;
    GJKCache* line = m_GJKCache.fetch(found, CollidablePair(&a, &b).getKey());
    if (!found) line->m_points.clear();
    line->m_size = 0;
    GJK_HillConvex sa(&a), sb(&b);
    ContactPoint cp;
    const float d = GJK(sa, sb, cp, line);
    if (!outcome(d, a, b, inter, phantoms)) return;
    details.push_back(record(a, b, cp));
    ValidatePoints(sa, sb, *line, details, m_tolerance);
}

void InternalCollide::CXImplicitCXGeometric(CXImplicitPrimitive& a, GeometricPrimitive& b, PairList& inter,
                                            PairList& phantoms, std::vector<CollisionDetails>& details) {
    GJKCache local;
    GJK_Implicit sa(&a);
    GJK_HillConvex sb(&b);
    ContactPoint cp;
    const float d = GJKImplicit(sa, sb, cp, &local);
    if (outcome(d, a, b, inter, phantoms)) details.push_back(record(a, b, cp));
}

void InternalCollide::CXImplicitImplicit(CXImplicitPrimitive& a, PlanarPrimitive& b, PairList& inter,
                                         PairList& phantoms, std::vector<CollisionDetails>& details) {
    GJK_SimpleImplicit sa(&a);
    ContactPoint cp;
    const float d = GJK_Planar(sa, b, cp);
    if (outcome(d, a, b, inter, phantoms)) details.push_back(record(a, b, cp));
}

void InternalCollide::CXImplicitCXImplicit(CXImplicitPrimitive& a, CXImplicitPrimitive& b, PairList& inter,
                                           PairList& phantoms, std::vector<CollisionDetails>& details) {
    if (a.getSubType() == 0 && b.getSubType() == 0) {
        const float ra = static_cast<SphericalPrimitive&>(a).m_radius;
        const float rb = static_cast<SphericalPrimitive&>(b).m_radius;
        const Vector3 ca = a.getBodyToWorldTransform().getTranslation();
        const Vector3 cb = b.getBodyToWorldTransform().getTranslation();
        Vector3 v = ca - cb;
        float len = 0.0f;
        if (v.lengthSqrd() != 0.0f) len = v.normalize();
        const float d = len - (ra + rb);
        if (!outcome(d, a, b, inter, phantoms)) return;
        ContactPoint cp;
        cp.m_normal = v;
        cp.m_distance = d;
        cp.m_position = cb + v * (d / 2.0f + rb);
        details.push_back(record(a, b, cp));
        return;
    }
    GJKCache local;
    GJK_Implicit sa(&a), sb(&b);
    ContactPoint cp;
    const float d = GJKImplicit(sa, sb, cp, &local);
    if (outcome(d, a, b, inter, phantoms)) details.push_back(record(a, b, cp));
}

void InternalCollide::CXImplicitGeometric(CXImplicitPrimitive& a, GeometricPrimitive& b, PairList& inter,
                                          PairList& phantoms, std::vector<CollisionDetails>& details) {
    if (a.getSubType() == 0) CXImplicitSphereGeometric(a, b, inter, phantoms, details);
}

void InternalCollide::CXImplicitSphereGeometric(CXImplicitPrimitive& a, GeometricPrimitive& b,
                                                PairList& inter, PairList& phantoms,
                                                std::vector<CollisionDetails>& details) {
    const float radius = static_cast<SphericalPrimitive&>(a).m_radius;
    const Geometry* g = b.m_geometry;
    std::vector<const TriangleIndices*> candidates;
    if (isFixed(b)) {
        if (!b.m_KDOPTree) return;
        const Vector3 centre =
            b.getWorldToBodyTransform().getTransformedPos((a.m_AABB.m_min + a.m_AABB.m_max) * 0.5f);
        b.m_KDOPTree->intersect(KDop14(centre, radius, m_tolerance), candidates, b.m_KDOPTree->getRoot());
    } else if (b.m_OBBTree) {
        const Transform t = a.getWorldToBodyTransform() * b.getBodyToWorldTransform();
        BVTreeIntersect<OBB>::SINGLE_find_intersections(a.m_AABB, b.m_OBBTree, t, candidates, m_tolerance);
    } else {
        for (int i = 0; i < g->m_triangle_count; ++i) candidates.push_back(&g->m_triangles[i]);
        // Fisher-Yates with the detector's own generator: the same order on every run and library.
        for (size_t i = candidates.size(); i > 1; --i) {
            m_shuffleState = m_shuffleState * 1103515245u + 12345u;
            std::swap(candidates[i - 1], candidates[(m_shuffleState >> 8) % i]);
        }
    }
    if (candidates.empty()) return;
    const Transform& toWorld = b.getBodyToWorldTransform();
    const Vector3 centre = a.getBodyToWorldTransform().getTranslation();
    for (const TriangleIndices* t : candidates) {
        Triangle tri;
        for (int k = 0; k < 3; ++k) tri.m_points[k] = toWorld.getTransformedPos(g->m_vertices[t->m_verts[k]]);
        ContactPoint cp;
        int feature = 0;
        const float d = InternalCollideUtil::triSphere(tri, centre, radius, cp, feature, m_tolerance);
        if (d < 0.0f) {
            outcome(d, a, b, inter, phantoms);
            return;
        }
        if (!outcome(d, a, b, inter, phantoms)) continue;
        const CollisionDetails r = record(a, b, cp);
        if (InternalCollideUtil::isValidTriContact(r, t, g->m_vertices, feature, candidates, toWorld))
            details.push_back(r);
    }
}

void InternalCollide::CXGeometricGeometric(GeometricPrimitive& a, GeometricPrimitive& b, PairList& inter,
                                           PairList& phantoms, std::vector<CollisionDetails>& details) {
    std::vector<const TriangleIndices*> candidates;
    if (b.m_KDOPTree) {
        if (!a.m_OBB) return;
        const Transform aToB = b.getWorldToBodyTransform() * a.getBodyToWorldTransform();
        b.m_KDOPTree->intersect(KDop14(*a.m_OBB, aToB, m_tolerance), candidates, b.m_KDOPTree->getRoot());
    } else if (b.m_OBBTree) {
        if (a.m_OBB) {
            const Transform t = a.m_OBB->m_BVToBodyTransform.getInverse() * a.getWorldToBodyTransform() *
                                b.getBodyToWorldTransform();
            BVTreeIntersect<OBB>::SINGLE_find_intersections(*a.m_OBB, b.m_OBBTree, t, candidates,
                                                            m_tolerance);
        } else {
            const Transform t = a.getWorldToBodyTransform() * b.getBodyToWorldTransform();
            BVTreeIntersect<OBB>::SINGLE_find_intersections(a.m_AABB, b.m_OBBTree, t, candidates,
                                                            m_tolerance);
        }
    } else {
        return;
    }
    if (candidates.empty()) return;
    const Transform& toWorld = b.getBodyToWorldTransform();
    std::vector<Vector3> tris;
    tris.reserve(candidates.size() * 3);
    for (const TriangleIndices* t : candidates)
        for (int k = 0; k < 3; ++k)
            tris.push_back(toWorld.getTransformedPos(b.m_geometry->m_vertices[t->m_verts[k]]));
    const Transform worldToB = b.getWorldToBodyTransform();
    convexMeshTriangles(a, b, tris, &worldToB, inter, phantoms, details);
}

void InternalCollide::CXGeometricHeightField(GeometricPrimitive& a, HeightFieldPrimitive& b, PairList& inter,
                                             PairList& phantoms, std::vector<CollisionDetails>& details) {
    AABB region = a.m_AABB;
    region.transformBy(b.getWorldToBodyTransform());
    std::vector<TriangleIndices> triangles;
    std::vector<Vector3> vertices;
    b.m_heightfield->polygonizeRegion(region, triangles, vertices);
    if (triangles.empty()) return;
    const Transform& toWorld = b.getBodyToWorldTransform();
    std::vector<Vector3> tris;
    tris.reserve(triangles.size() * 3);
    for (const TriangleIndices& t : triangles) {
        // The field is application code: a triangle naming a vertex it did not give is skipped.
        if (t.m_verts[0] >= vertices.size() || t.m_verts[1] >= vertices.size() ||
            t.m_verts[2] >= vertices.size())
            continue;
        for (int k = 0; k < 3; ++k) tris.push_back(toWorld.getTransformedPos(vertices[t.m_verts[k]]));
    }
    if (tris.empty()) return;
    convexMeshTriangles(a, b, tris, nullptr, inter, phantoms, details);
}

void InternalCollide::convexMeshTriangles(GeometricPrimitive& a, Collidable& b,
                                          const std::vector<Vector3>& tris, const Transform* bWorldToBody,
                                          PairList& inter, PairList& phantoms,
                                          std::vector<CollisionDetails>& details) {
    const float tol = m_tolerance;
    bool found = false;
    ManifoldCache* line = m_manifoldCache.fetch(found, CollidablePair(&a, &b).getKey());
    if (!found) {
        line->m_newLine = 1;
        line->m_points.clear();
        line->m_mergeRadiusSqrd = tol * tol;
    }
    std::vector<ContactPoint>& pts = line->m_points;
    const Transform& aToWorld = a.getBodyToWorldTransform();
    for (int i = static_cast<int>(pts.size()) - 1; i >= 0; --i) {
        ContactPoint& p = pts[static_cast<size_t>(i)];
        const Vector3 pa = aToWorld.getTransformedPos(p.m_pointA);
        const Vector3 pb = p.m_pointB;
        const Vector3 gap = pa - pb;
        if (gap.lengthSqrd() < line->m_mergeRadiusSqrd) {
            p.m_position = (pa + pb) * 0.5f;
            p.m_normal = gap.getNormalized();
            p.m_distance = gap.length();
        } else {
            p = pts.back();
            pts.pop_back();
        }
    }
    const size_t firstRecord = details.size();
    const bool phantom = eitherPhantom(a, b);
    GJK_HillConvex sa(&a);
    for (size_t t = 0; t + 2 < tris.size(); t += 3) {
        GJKCache local;
        GJK_Triangle sb(&tris[t]);
        ContactPoint cp;
        const float d = GJK(sa, sb, cp, &local);
        if (bWorldToBody) cp.m_pointB = bWorldToBody->getTransformedPos(cp.m_pointB);
        if (d < 0.0f) {
            // The first penetrating triangle decides the pair; what this pass gathered is dropped.
            details.resize(firstRecord);
            outcome(d, a, b, inter, phantoms);
            return;
        }
        if (phantom || !(d < tol)) continue;
        bool stable = false;
        const Vector3* const* A = local.m_verticesA;
        const Vector3* const* B = local.m_verticesB;
        if (local.m_size == 3) {
            const bool oneA = A[0] == A[1] && A[1] == A[2];
            const bool oneB = B[0] == B[1] && B[1] == B[2];
            const bool repA = A[0] == A[1] || A[1] == A[2] || A[0] == A[2];
            const bool repB = B[0] == B[1] || B[1] == B[2] || B[0] == B[2];
            stable = oneA || oneB || (repA && repB);
        } else if (local.m_size == 2) {
            stable = !(A[0] == A[1] && B[0] == B[1]);
        }
        if (!stable) {
            details.push_back(record(a, b, cp));
            continue;
        }
        bool merged = false;
        for (ContactPoint& p : pts) {
            if ((p.m_position - cp.m_position).lengthSqrd() < line->m_mergeRadiusSqrd &&
                p.m_normal.dot(cp.m_normal) > 0.8f) {
                p = cp;
                merged = true;
                break;
            }
        }
        if (!merged) pts.push_back(cp);
    }
    if (phantom) return;
    for (const ContactPoint& p : pts) details.push_back(record(a, b, p));
}

void InternalCollide::FastCXGeometricHeightField(GeometricPrimitive& a, HeightFieldPrimitive& b,
                                                 PairList& inter, PairList& phantoms,
                                                 std::vector<CollisionDetails>& details) {
    const Geometry* g = a.m_geometry;
    const int n = g->m_vertex_count;
    if (n <= 0) return;
    const Transform aToField = b.getWorldToBodyTransform() * a.getBodyToWorldTransform();
    m_hfPoints.resize(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        m_hfPoints[static_cast<size_t>(i)] = aToField.getTransformedPos(g->m_vertices[i]);
    m_hfDepths.assign(static_cast<size_t>(n), 0.0f);
    m_hfNormals.resize(static_cast<size_t>(n));
    if (b.m_heightfield->collidePoints(m_hfPoints.data(), n, m_tolerance, m_hfDepths.data(),
                                       m_hfNormals.data())) {
        outcome(-1.0f, a, b, inter, phantoms);
        return;
    }
    if (eitherPhantom(a, b)) return;
    const Transform& fieldToWorld = b.getBodyToWorldTransform();
    const Transform& aToWorld = a.getBodyToWorldTransform();
    for (int i = 0; i < n; ++i) {
        const float depth = m_hfDepths[static_cast<size_t>(i)];
        if (!(depth < m_tolerance)) continue;
        ContactPoint cp;
        cp.m_normal = fieldToWorld.getRotatedDir(m_hfNormals[static_cast<size_t>(i)]);
        cp.m_distance = depth;
        cp.m_position = aToWorld.getTransformedPos(g->m_vertices[i]) - cp.m_normal * (depth / 2.0f);
        details.push_back(record(a, b, cp));
    }
}

}  // namespace Kinetic
