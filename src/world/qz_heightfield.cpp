#include "world/qz_heightfield.h"

#include <limits>

#include "game/model/model.h"
#include "world/world_model.h"

CQZHeightfield::CQZHeightfield(int id, const Kinetic::Vector3& size, int resolutionX, int resolutionZ)
    : worldId(id) {
    m_size = size;
    m_resolution_x = resolutionX;
    m_resolution_z = resolutionZ;
}

CWorldModel* CQZHeightfield::world() const {
    CModel* model = CModel::modelPtr;
    if (!model || worldId < 0 || static_cast<size_t>(worldId) >= model->objects.size()) return nullptr;
    return dynamic_cast<CWorldModel*>(model->objects[static_cast<size_t>(worldId)]);
}

float CQZHeightfield::getHeightAt(float x, float z) const {
    CWorldModel* w = world();
    const float h = w ? w->getHeightAt(x * kPhysicsToWorld, z * kPhysicsToWorld) : 0.0f;
    return (h + kHeightOffset) * kWorldToPhysics;
}

bool CQZHeightfield::getHeightAndNormalAt(float x, float z, float& height, Kinetic::Vector3& normal) const {
    CWorldModel* w = world();
    float h = 0.0f;
    qzVector3d n(0.0f, -1.0f, 0.0f);
    const int found = w ? w->getHeightAndNormalAt(x * kPhysicsToWorld, z * kPhysicsToWorld, h, n) : 0;
    height = (h + kHeightOffset) * kWorldToPhysics;
    normal = Kinetic::Vector3(n.x, n.y, n.z);
    return found != 0;
}

bool CQZHeightfield::collidePoints(const Kinetic::Vector3* points, int count, float tolerance, float* depths,
                                   Kinetic::Vector3* normals) const {
    CWorldModel* w = world();
    for (int i = 0; i < count; ++i) {
        float h = 0.0f;
        qzVector3d n(0.0f, -1.0f, 0.0f);
        const int found =
            w ? w->getHeightAndNormalAt(points[i].x * kPhysicsToWorld, points[i].z * kPhysicsToWorld, h, n)
              : 0;
        normals[i] = Kinetic::Vector3(n.x, n.y, n.z);
        if (!found) {
            depths[i] = std::numeric_limits<float>::max();
            continue;
        }
        const float separation = (h + kHeightOffset) * kWorldToPhysics - points[i].y;
        if (!(separation < tolerance)) {
            depths[i] = std::numeric_limits<float>::max();
            continue;
        }
        if (separation <= 0.0f) return true;
        depths[i] = separation;
    }
    return false;
}

void CQZHeightfield::polygonizeRegion(const Kinetic::AABB&, std::vector<Kinetic::TriangleIndices>&,
                                      std::vector<Kinetic::Vector3>&) const {}

void CQZHeightfield::getRowHeights(int row, float* heights) const {
    if (CWorldModel* w = world()) {
        w->getRowHeights(row, heights);
        return;
    }
    for (int i = 0; i < m_resolution_x; ++i) heights[i] = 0.0f;
}
