// Pair tests through a detection pass: box against box and height field (fast and triangle paths),
// spheres, planes and fixed meshes, with the outcome rule for contacts, interpenetrations and phantoms.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <functional>
#include <memory>
#include <vector>

#include "grid_height_field.h"
#include "test_shapes.h"

using namespace Kinetic;
using namespace Kinetic::testing_shapes;

namespace {

GridHeightField flatField(float height) {
    return GridHeightField(11, 11, 1.0f, [height](float, float) { return height; });
}

enum class Ground { FastField, TriField, FastSlope, Box, Sphere, Plane, Mesh };
enum class Mover { Box, Sphere, Phantom };

struct PairCase {
    const char* name;
    Ground ground;
    Mover mover;
    Vector3 at;
    float tol;
    int records;  // -1: at least one
    float distance;
    Vector3 normal;
    int interpenetrations, phantoms;
    std::function<void(const CollisionDetails&)> extra = nullptr;
    bool fromPrevious = false;  // moved here after a pass at the previous case's pose
};

}  // namespace

// One ground shape (created first) and one moving shape: the records, their gap and normal (from the ground
// up to the mover, which is always A), and the interpenetrations and phantom overlaps of a pass.
TEST(PairTest, OutcomeOfEachPairKind) {
    const Vector3 up(0, -1, 0);
    const Vector3 slope = Vector3(-0.25f, -1.0f, 0.0f).getNormalized();
    auto midY = [](float y) {
        return [y](const CollisionDetails& d) { EXPECT_NEAR(d.m_contact.m_position.y, y, 1e-5f); };
    };
    const PairCase cases[] = {
        // The four bottom corners of a box over a flat field, contact midway across the gap.
        {"box over fast field", Ground::FastField, Mover::Box, Vector3(5, -0.52f, 5), 0.1f, 4, 0.02f, up, 0,
         0, midY(-0.01f)},
        {"box beyond the tolerance", Ground::FastField, Mover::Box, Vector3(5, -0.65f, 5), 0.1f, 0, 0, up, 0,
         0},
        {"box touching fast field", Ground::FastField, Mover::Box, Vector3(5, -0.49f, 5), 0.1f, 0, 0, up, 1,
         0, nullptr, true},
        // Bottom face at y = -1.55 over a surface rising 0.25 per x: only the corners on the high edge
        // x = 5.5 (clearance 0.175) are within the tolerance; x = 4.5 has 0.425.
        {"box over sloped field", Ground::FastSlope, Mover::Box, Vector3(5, -2.05f, 5), 0.2f, 2, 0.175f,
         slope, 0, 0},
        {"box over triangulated field", Ground::TriField, Mover::Box, Vector3(5.5f, -0.53f, 5.5f), 0.1f, -1,
         0.03f, up, 0, 0},
        {"box in triangulated field", Ground::TriField, Mover::Box, Vector3(5.5f, -0.45f, 5.5f), 0.1f, 0, 0,
         up, 1, 0, nullptr, true},
        {"stacked boxes", Ground::Box, Mover::Box, Vector3(0.2f, -1.05f, 0.1f), 0.2f, 1, 0.05f, up, 0, 0,
         midY(-0.525f)},
        {"overlapping boxes", Ground::Box, Mover::Box, Vector3(0.2f, -0.9f, 0.1f), 0.2f, 0, 0, up, 1, 0,
         nullptr, true},
        {"spheres", Ground::Sphere, Mover::Sphere, Vector3(2.05f, 0, 0), 0.1f, 1, 0.05f, Vector3(1, 0, 0), 0,
         0,
         [](const CollisionDetails& d) {
             EXPECT_NEAR(d.m_contact.m_position.x, 1.025f, 1e-5f);
             EXPECT_EQ(d.m_contact.m_pointA.lengthSqrd(), 0.0f);
         }},
        {"spheres at one centre", Ground::Sphere, Mover::Sphere, Vector3(0, 0, 0), 0.1f, 0, 0, up, 1, 0,
         nullptr, true},
        {"phantom over plane", Ground::Plane, Mover::Phantom, Vector3(0, -0.55f, 0), 0.1f, 0, 0, up, 0, 0},
        {"phantom in plane", Ground::Plane, Mover::Phantom, Vector3(0, -0.45f, 0), 0.1f, 0, 0, up, 0, 1,
         nullptr, true},
        {"sphere over plane", Ground::Plane, Mover::Sphere, Vector3(0, -0.55f, 0), 0.1f, 1, 0.05f, up, 0, 0},
        // The first pass over a box on a plane knows one point.
        {"box over plane", Ground::Plane, Mover::Box, Vector3(0, -0.54f, 0), 0.1f, 1, 0.04f, up, 0, 0},
        {"sphere sunk in field", Ground::FastField, Mover::Sphere, Vector3(5, -0.4f, 5), 0.1f, 0, 0, up, 0,
         0},
        {"box over ground mesh", Ground::Mesh, Mover::Box, Vector3(1, -0.56f, 1), 0.1f, -1, 0.06f, up, 0, 0},
        // One face, not the shared diagonal's second triangle too; the closest point of the triangle.
        {"sphere over ground mesh", Ground::Mesh, Mover::Sphere, Vector3(-2, -0.57f, -1), 0.1f, 1, 0.07f, up,
         0, 0, [](const CollisionDetails& d) { EXPECT_NEAR(d.m_contact.m_pointB.y, 0.0f, 1e-6f); }},
        // The diagonal of the square runs from (5, 0, -5) to (-5, 0, 5) through the origin.
        {"sphere over shared edge", Ground::Mesh, Mover::Sphere, Vector3(0, -0.56f, 0), 0.1f, -1, 0.06f, up,
         0, 0},
    };
    GridHeightField flat = flatField(0.0f);
    GridHeightField sloped(11, 11, 1.0f, [](float x, float) { return 0.25f * x; });
    auto box = boxGeometry(Vector3(0.5f, 0.5f, 0.5f));
    auto square = groundGeometry(5.0f);
    const PairCase* previous = nullptr;
    for (const PairCase& c : cases) {
        SCOPED_TRACE(c.name);
        DetectorScene s(c.tol);
        switch (c.ground) {
            case Ground::FastField:
                s.add(fieldBody(&flat, true));
                break;
            case Ground::TriField:
                s.add(fieldBody(&flat, false));
                break;
            case Ground::FastSlope:
                s.add(fieldBody(&sloped, true));
                break;
            case Ground::Box:
                s.add(meshBody(box.get(), 1, true, Vector3_Zero));
                break;
            case Ground::Sphere:
                s.add(sphereBody(1.0f, 1, Vector3_Zero));
                break;
            case Ground::Plane:
                s.add(planeBody(up, 0.0f));
                break;  // ground y = 0, solid below (+y)
            case Ground::Mesh:
                s.add(meshBody(square.get(), 0, false, Vector3_Zero));
                break;
        }
        const Vector3 start = c.fromPrevious ? previous->at : c.at;
        RigidBody* m = s.add(c.mover == Mover::Box        ? meshBody(box.get(), 1, true, start)
                             : c.ground == Ground::Sphere ? sphereBody(1.0f, 1, start)
                                                          : sphereBody(0.5f, 1, start));
        const Primitive* mp = m->getPrimitives()[0];
        m->getPrimitives()[0]->m_isPhantom = c.mover == Mover::Phantom ? 1 : 0;
        s.pass();
        if (c.fromPrevious) {
            DetectorScene::move(m, c.at);
            s.pass();
        }
        previous = &c;
        const auto& list = s.detector.m_RRCollisionList;
        EXPECT_EQ(c.records < 0 ? !list.empty() : list.size() == static_cast<size_t>(c.records), true)
            << list.size() << " records";
        for (const CollisionDetails& d : list) {
            EXPECT_EQ(d.m_objectA, mp);
            EXPECT_NEAR(d.m_contact.m_distance, c.distance, 1e-5f);
            EXPECT_NEAR((d.m_contact.m_normal - c.normal).length(), 0.0f, 1e-5f);
            if (c.extra) c.extra(d);
        }
        ASSERT_EQ(s.detector.m_interpenetrations.size(), static_cast<size_t>(c.interpenetrations));
        for (const CollidablePair& p : s.detector.m_interpenetrations) EXPECT_EQ(p.m_first, mp);
        EXPECT_EQ(s.detector.m_phantomPenetrations.size(), static_cast<size_t>(c.phantoms));
        // A second pass over the same pose reports the same contacts (a manifold refreshes in place).
        if (c.ground == Ground::TriField) {
            const size_t n = list.size();
            s.pass();
            EXPECT_EQ(list.size(), n);
        }
    }
}

TEST(PairTest, BoxesWhoseBoundingBoxesOverlapButOrientedBoxesDoNotAreNotTested) {
    DetectorScene s(0.05f);
    auto g = boxGeometry(Vector3(0.5f, 0.5f, 0.5f));
    s.add(meshBody(g.get(), 1, true, Vector3(0, 0, 0)));
    s.add(meshBody(g.get(), 1, true, Vector3(1.3f, 0, 0)));
    s.detector.aabbSweep();
    // The sphere-sized world boxes (half side 0.866 + 0.025) overlap, the boxes themselves are 0.3 apart.
    EXPECT_TRUE(s.detector.getPairList().empty());
}
