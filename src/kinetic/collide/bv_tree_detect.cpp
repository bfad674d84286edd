#include "kinetic/collide/bv_tree_detect.h"

#include "kinetic/collide/bv_tree_intersect.h"
#include "kinetic/collide/tt_intersection.h"

namespace Kinetic {

namespace {

void contactsFrom(GeometricPrimitive* a, GeometricPrimitive* b,
                  const std::vector<const TriangleIndices*>& listA,
                  const std::vector<const TriangleIndices*>& listB,
                  std::vector<Pair<Collidable*>>& interpenetrating, std::vector<CollisionDetails>& contacts,
                  float tolerance) {
    CollisionDetails record;
    record.m_objectA = a;
    record.m_objectB = b;
    const Transform& aToWorld = a->getBodyToWorldTransform();
    const Transform& bToWorld = b->getBodyToWorldTransform();
    const bool phantom = a->m_isPhantom || b->m_isPhantom;
    const float near2 = 0.001f * tolerance * tolerance;
    for (size_t i = 0; i < listA.size(); ++i) {
        const float d = BVTreeDetect::detect(record, a->m_geometry->m_vertices, listA[i],
                                             b->m_geometry->m_vertices, listB[i], aToWorld, bToWorld);
        if (d == -1.0f) {
            interpenetrating.emplace_back(a, b);
            return;
        }
        if (!(d < tolerance) || phantom) continue;
        bool duplicate = false;
        // Against every record of the list, other pairs' included.
        for (const CollisionDetails& c : contacts)
            if ((c.m_contact.m_position - record.m_contact.m_position).lengthSqrd() < near2) {
                duplicate = true;
                break;
            }
        if (!duplicate) contacts.push_back(record);
    }
}

}  // namespace

float BVTreeDetect::detect(CollisionDetails& record, const Vector3* verticesA,
                           const TriangleIndices* triangleA, const Vector3* verticesB,
                           const TriangleIndices* triangleB, const Transform& aToWorld,
                           const Transform& bToWorld) {
    Vector3 sa[3], sb[3];
    for (int k = 0; k < 3; ++k) {
        sa[k] = aToWorld.getTransformedPos(verticesA[triangleA->m_verts[k]]);
        sb[k] = bToWorld.getTransformedPos(verticesB[triangleB->m_verts[k]]);
    }
    Vector3 pa, pb;
    const float d = TTintersection::closestTriTri(sa, sb, pa, pb);
    ContactPoint& c = record.m_contact;
    c.m_distance = d;
    c.m_normal = pa - pb;
    if (c.m_normal.lengthSqrd() != 0.0f) c.m_normal.normalize();
    c.m_position = pa;
    return d < 1e-05f ? -1.0f : d;
}

void BVTreeDetect::FindAllCollisionsUsingBVTree(GeometricPrimitive* a, GeometricPrimitive* b,
                                                std::vector<Pair<Collidable*>>& interpenetrating,
                                                std::vector<CollisionDetails>& contacts, float tolerance) {
    if (!a->m_OBBTree || !b->m_OBBTree) return;
    const Transform bToA = a->getBodyToWorldTransform().getInverse() * b->getBodyToWorldTransform();
    std::vector<const TriangleIndices*> listA, listB;
    BVTreeIntersect<OBB>::FAST_find_intersections(a->m_OBBTree, b->m_OBBTree, bToA, listA, listB,
                                                  0.5f * tolerance);
    contactsFrom(a, b, listA, listB, interpenetrating, contacts, tolerance);
}

void BVTreeDetect::FindAllKDOPtoOBBCollisions(GeometricPrimitive* a, GeometricPrimitive* b,
                                              std::vector<Pair<Collidable*>>& interpenetrating,
                                              std::vector<CollisionDetails>& contacts, float tolerance) {
    if (!a->m_KDOPTree || !b->m_OBBTree) return;
    const Transform bToA = a->getWorldToBodyTransform() * b->getBodyToWorldTransform();
    std::vector<const TriangleIndices*> listA, listB;
    BVTreeIntersect<OBB>::all_intersect(a->m_KDOPTree, b->m_OBBTree, bToA, listA, listB, tolerance);
    contactsFrom(a, b, listA, listB, interpenetrating, contacts, tolerance);
}

}  // namespace Kinetic
