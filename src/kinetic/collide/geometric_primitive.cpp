#include "kinetic/collide/geometric_primitive.h"

#include <cmath>

#include "kinetic/collide/bv_data_registry.h"
#include "kinetic/collide/error.h"
#include "kinetic/collide/geometry_util.h"
#include "kinetic/dynamics/inertial_tensor_computer.h"
#include "kinetic/dynamics/rigid_body.h"

namespace Kinetic {

GeometricPrimitive::GeometricPrimitive(RigidBody* body, Geometry* geometry, const Transform& bodyToLocal,
                                       float mass, CDType type)
    : Primitive(type, body, bodyToLocal, mass), m_geometry(geometry) {}

GeometricPrimitive::~GeometricPrimitive() {
    BVDataRegistry& r = BVDataRegistry::getInstance();
    if (m_KDOPTree) r.releaseKDOPTreeRef(m_geometry);
    if (m_OBBTree) r.releaseOBBTreeRef(m_geometry);
    if (m_OBB) r.releaseOBBRef(m_geometry);
    if (m_connectivity) r.releaseConnectivityRef(m_geometry);
}

bool GeometricPrimitive::isUsableGeometry(const Geometry* g) {
    if (!g || g->m_vertex_count < 0 || g->m_triangle_count < 0) return false;
    if (g->m_vertex_count > 0 && !g->m_vertices) return false;
    if (g->m_triangle_count > 0 && !g->m_triangles) return false;
    for (int t = 0; t < g->m_triangle_count; ++t)
        for (int k = 0; k < 3; ++k)
            if (g->m_triangles[t].m_verts[k] >= g->m_vertex_count) return false;
    return true;
}

void GeometricPrimitive::precomputeCDinfo(float tolerance) {
    boxesChanged();
    if (!isUsableGeometry(m_geometry)) {
        // Built around a mesh that names vertices it lacks: keep the empty box, which meets nothing,
        // and build no bounding data over it.
        g_pGlobalErrorHandler->warning("GeometricPrimitive::precomputeCDinfo: unusable mesh; shape ignored",
                                       1);
        m_AABB = AABB();
        return;
    }
    const Transform& toWorld = getBodyToWorldTransform();
    const bool fixed = m_entity && m_entity->isFixed();
    if (fixed) {
        AABB box;
        for (int i = 0; i < m_geometry->m_vertex_count; ++i)
            box.include(toWorld.getTransformedPos(m_geometry->m_vertices[i]));
        const Vector3 g(tolerance / 2.0f, tolerance / 2.0f, tolerance / 2.0f);
        m_AABB = AABB(box.m_min - g, box.m_max + g);
        setCentreFromBox();
    } else {
        Vector3 s;
        float r = 0.0f;
        GeometryUtil::minSphere(m_geometry->m_vertices, m_geometry->m_vertex_count, s, r);
        m_centre = m_bodyToLocalTransform.getTransformedPos(s);
        const Vector3 w = toWorld.getTransformedPos(s);
        const float h = r + tolerance / 2.0f;
        m_AABB = AABB(w - Vector3(h, h, h), w + Vector3(h, h, h));
    }
    if (m_type == CD_CXGEOMETRIC) {
        buildOBB();
        buildConnectivity();
    } else if (m_type == CD_GEOMETRIC) {
        if (fixed)
            buildKDOPTree();
        else
            buildOBBTree();
    }
}

bool GeometricPrimitive::insideBody(const Vector3& p) const {
    return GeometryUtil::isPointInside(m_geometry, m_localToBodyTransform.getTransformedPos(p),
                                       Vector3(1, 0, 0), false);
}

AABB GeometricPrimitive::computeLocalAABB() const {
    AABB box;
    for (int i = 0; i < m_geometry->m_vertex_count; ++i) box.include(getLocalVertex(i));
    return box;
}

Primitive* GeometricPrimitive::clone(RigidBody* body) const {
    auto* p = new GeometricPrimitive(body, m_geometry, m_bodyToLocalTransform, m_mass, m_type);
    if (m_KDOPTree) p->buildKDOPTree();
    if (m_OBBTree) p->buildOBBTree();
    if (m_OBB) p->buildOBB();
    if (m_connectivity) p->buildConnectivity();
    p->copyMassProperties(this);
    p->copyCollisionSettings(this);
    return p;
}

bool GeometricPrimitive::computeMassProperties() {
    InertialTensorComputer::computeInertialTensorM(*this, 1.0f, m_centreOfMass, m_unitInertia, m_volume);
    if (!std::isfinite(m_centreOfMass.x) || !std::isfinite(m_centreOfMass.y) ||
        !std::isfinite(m_centreOfMass.z)) {
        // An open or flat mesh encloses no volume: fall back to a plausible solid.
        m_centreOfMass = Vector3_Zero;
        const float d = 5.3333335f;
        m_unitInertia = Matrix3(d, 0, 0, 0, d, 0, 0, 0, d);
    }
    return true;
}

Vector3 GeometricPrimitive::getWorldVertex(int i) const {
    return getBodyToWorldTransform().getTransformedPos(m_geometry->m_vertices[i]);
}

Vector3 GeometricPrimitive::getWorldFaceVertex(int triangle, int corner) const {
    return getWorldVertex(m_geometry->m_triangles[triangle].m_verts[corner]);
}

Vector3 GeometricPrimitive::getLocalVertex(int i) const {
    return m_bodyToLocalTransform.getTransformedPos(m_geometry->m_vertices[i]);
}

void GeometricPrimitive::buildKDOPTree() {
    if (m_KDOPTree) return;
    BVDataRegistry& r = BVDataRegistry::getInstance();
    r.buildKDOPTree(m_geometry);
    m_KDOPTree = r.getKDOPTreeRef(m_geometry);
}

void GeometricPrimitive::buildOBBTree() {
    if (m_OBBTree) return;
    BVDataRegistry& r = BVDataRegistry::getInstance();
    r.buildOBBTree(m_geometry);
    m_OBBTree = r.getOBBTreeRef(m_geometry);
}

void GeometricPrimitive::buildOBB() {
    if (m_OBB) return;
    BVDataRegistry& r = BVDataRegistry::getInstance();
    r.buildOBB(m_geometry);
    m_OBB = r.getOBBRef(m_geometry);
}

void GeometricPrimitive::buildConnectivity() {
    if (m_connectivity) return;
    BVDataRegistry& r = BVDataRegistry::getInstance();
    r.buildConnectivity(m_geometry);
    m_connectivity = r.getConnectivityRef(m_geometry);
}

}  // namespace Kinetic
