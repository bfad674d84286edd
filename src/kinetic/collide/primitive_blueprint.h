// What a rigid body builds a primitive from; the kind's fields follow the type tag.
#pragma once

#include <cstdint>

#include "kinetic/math/transform.h"
#include "kinetic/math/vector3.h"

namespace Kinetic {

class Geometry;
class HeightField;

enum PrimitiveType : int32_t {
    GEOMETRIC_PRIMITIVE = 0,
    SPHERICAL_PRIMITIVE = 1,
    HEIGHTFIELD_PRIMITIVE = 2,
    PLANAR_PRIMITIVE = 3,
};

struct PrimitiveBlueprint {
    explicit PrimitiveBlueprint(PrimitiveType type) : m_type(type) {}
    PrimitiveType m_type;
};

struct GeometricPrimitiveBlueprint : PrimitiveBlueprint {
    GeometricPrimitiveBlueprint() : PrimitiveBlueprint(GEOMETRIC_PRIMITIVE) {}
    Geometry* m_geometry = nullptr;
    Transform m_offsetTransform;
    float m_mass = 0.0f;
    uint8_t m_isConvex = 0;
};

struct SphericalPrimitiveBlueprint : PrimitiveBlueprint {
    SphericalPrimitiveBlueprint() : PrimitiveBlueprint(SPHERICAL_PRIMITIVE) {}
    float m_radius = 0.0f;
    Transform m_offsetTransform;
    float m_mass = 0.0f;
};

struct HeightFieldPrimitiveBlueprint : PrimitiveBlueprint {
    HeightFieldPrimitiveBlueprint() : PrimitiveBlueprint(HEIGHTFIELD_PRIMITIVE) {}
    HeightField* m_heightField = nullptr;
    Transform m_offsetTransform;
    uint8_t m_optimisedCD = 0;
};

struct PlanarPrimitiveBlueprint : PrimitiveBlueprint {
    PlanarPrimitiveBlueprint() : PrimitiveBlueprint(PLANAR_PRIMITIVE) {}
    Vector3 m_normal;
    float m_distance = 0.0f;
};

}  // namespace Kinetic
