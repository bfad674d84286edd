// A triangle mesh in a rigid body, convex (CD_CXGEOMETRIC) or not (CD_GEOMETRIC). Its bounding data is
// shared per geometry through the registry; the primitive holds counted references to what it uses.
#pragma once

#include "kinetic/collide/bv_tree.h"
#include "kinetic/collide/connectivity.h"
#include "kinetic/collide/geometry.h"
#include "kinetic/collide/kdop_tree.h"
#include "kinetic/collide/obb.h"
#include "kinetic/collide/primitive.h"

namespace Kinetic {

class GeometricPrimitive : public Primitive {
public:
    GeometricPrimitive(RigidBody* body, Geometry* geometry, const Transform& bodyToLocal, float mass,
                       CDType type);
    ~GeometricPrimitive() override;

    // Mesh data comes from disc files: a triangle naming a vertex the mesh lacks would be read out of
    // bounds by every consumer, so such meshes are refused before a primitive is made of them.
    static bool isUsableGeometry(const Geometry* g);

    void precomputeCDinfo(float tolerance) override;
    bool intersectionTest(SegmentTest& test) const override;
    bool insideBody(const Vector3& p) const override;
    AABB computeLocalAABB() const override;
    Primitive* clone(RigidBody* body) const override;
    // Polyhedron integrals; a mesh without a finite centre of mass gets 16/3 times the identity.
    bool computeMassProperties() override;

    Vector3 getWorldVertex(int i) const;
    Vector3 getWorldFaceVertex(int triangle, int corner) const;
    Vector3 getLocalVertex(int i) const;
    const Geometry* getGeometry() const { return m_geometry; }

    void buildKDOPTree();
    void buildOBBTree();
    void buildOBB();
    void buildConnectivity();

    Geometry* m_geometry;
    KDOPTree* m_KDOPTree = nullptr;
    BVTree<OBB>* m_OBBTree = nullptr;
    OBB* m_OBB = nullptr;
    Connectivity* m_connectivity = nullptr;
};

}  // namespace Kinetic
