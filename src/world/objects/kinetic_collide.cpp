#include "world/objects/kinetic_collide.h"

#include <cmath>
#include <cstring>

#include "game/files/collision_data.h"
#include "kinetic/collide/geometry.h"
#include "kinetic/collide/primitive_blueprint.h"
#include "kinetic/dynamics/rigid_body.h"

namespace {
constexpr float kModelUnitsPerMetre = 100.0f;
}  // namespace

CKineticCollide::CKineticCollide(const void* block, size_t size) : collisionObject(block), length(size) {
    createCollisionGeometry();
}

CKineticCollide::~CKineticCollide() {
    geometry.clear();
}

bool CKineticCollide::createCollisionGeometry() {
    geometry.clear();
    radius = 0.0f;
    int count = 0;
    if (!collisiondata::CheckBlock(collisionObject, length, &count).ok) return false;
    if (count == 0) return true;
    std::vector<collisiondata::Part> parts(static_cast<size_t>(count));
    collisiondata::CheckBlock(collisionObject, length, nullptr, parts.data(), count);
    float largest = 0.0f;
    std::vector<Kinetic::Vector3> vertices;
    std::vector<Kinetic::TriangleIndices> triangles;
    for (const collisiondata::Part& part : parts) {
        // Copied out: the block is only word-aligned, the engine's vectors are 16-byte units.
        vertices.resize(part.vertices);
        for (uint32_t i = 0; i < part.vertices; ++i) {
            float xyz[3];
            std::memcpy(xyz, part.vertexData + 4u * i, sizeof xyz);
            vertices[i] = Kinetic::Vector3(xyz[0], xyz[1], xyz[2]);
            largest = std::fmax(largest, std::sqrt(xyz[0] * xyz[0] + xyz[1] * xyz[1] + xyz[2] * xyz[2]));
        }
        triangles.resize(part.triangles);
        if (part.triangles) std::memcpy(triangles.data(), part.triangleData, 6u * part.triangles);
        auto g = std::make_unique<Kinetic::Geometry>();
        if (part.vertices) g->addVertices(vertices.data(), part.vertices);
        if (part.triangles) g->addTriangles(triangles.data(), part.triangles);
        geometry.push_back(std::move(g));
    }
    radius = kModelUnitsPerMetre * largest;
    return true;
}

namespace {

void AddMesh(Kinetic::Geometry* g, Kinetic::RigidBody* body, float mass) {
    Kinetic::GeometricPrimitiveBlueprint bp;
    bp.m_geometry = g;
    bp.m_mass = mass;
    bp.m_isConvex = 1;  // every part is treated as convex
    body->addPrimitive(bp);
}

}  // namespace

void CKineticCollide::addCollisionToRigidBody(Kinetic::RigidBody* body, float mass, float restitution,
                                              float friction) {
    if (geometry.empty()) return;
    for (const std::unique_ptr<Kinetic::Geometry>& g : geometry) AddMesh(g.get(), body, mass);
    body->m_restitution = restitution;
    body->m_friction = friction;
}

void CKineticCollide::addSingleCollisionToRigidBody(int index, Kinetic::RigidBody* body, float mass,
                                                    float restitution, float friction) {
    if (index < 0 || static_cast<size_t>(index) >= geometry.size()) return;
    AddMesh(geometry[static_cast<size_t>(index)].get(), body, mass);
    body->m_restitution = restitution;
    body->m_friction = friction;
}
