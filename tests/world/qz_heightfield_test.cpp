// The physics height field over the world model: unit conversion, the point contacts, the points with no
// terrain, and a box dropped on it coming to rest on the terrain.
#include "world/qz_heightfield.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <memory>

#include "game/model/model.h"
#include "kinetic/collide/primitive_blueprint.h"
#include "kinetic/collide/test_shapes.h"
#include "kinetic/dynamics/rigid_body.h"
#include "kinetic/dynamics/toolkit.h"
#include "kinetic/dynamics/world.h"
#include "support/heap_image.h"
#include "world/subtile_model.h"
#include "world/world_loader.h"
#include "world/world_model.h"
#include "world_fixture.h"

namespace {

using Kinetic::Vector3;

constexpr int kGrid = 10;

class HeightfieldTest : public ::testing::Test {
protected:
    // A world whose samples are `height(x, z)`, scaleY 140 (sample 65535 at world y -14000).
    void Build(const worldtest::HeightFn& height) {
        auto w = worldtest::MakeWorld(2, kGrid, height);
        w.scaleY = 140.0f;
        image_ = std::make_unique<testsupport::HeapImage>(WriteWorldFile(w));
        ASSERT_TRUE(CheckWorldFile(image_->p, static_cast<uint32_t>(image_->size)).ok);
        model_ = GetModel();
        world_ = new CWorldModel;
        BuildWorldModel(*world_, image_->p);
        model_->objects.push_back(world_);
        model_->worldId = static_cast<int>(model_->objects.size()) - 1;
        const float side = CWorldModel::worldWidth * 0.01f;
        field_ = std::make_unique<CQZHeightfield>(model_->worldId, Vector3(side, 140.0f, side), 896, 896);
    }
    void TearDown() override {
        field_.reset();
        delete CModel::modelPtr;  // deletes the world model with the other objects
        CWorldModel::resetStatics();
        CSubtileModel::resetStatics();
    }

    std::unique_ptr<testsupport::HeapImage> image_;
    CModel* model_ = nullptr;
    CWorldModel* world_ = nullptr;
    std::unique_ptr<CQZHeightfield> field_;
};

TEST_F(HeightfieldTest, ConvertsUnitsAndCollidesPoints) {
    Build([](int x, int) { return static_cast<uint16_t>(x < 100 ? 65535 : 0); });
    // World height -14000 is field height 0, world height 0 is 140; physics x, z are world / 100.
    EXPECT_FLOAT_EQ(world_->getHeightAt(500, 500), -14000.0f);
    EXPECT_NEAR(field_->getHeightAt(5, 5), 0.0f, 1e-4f);
    float h = 0;
    Vector3 n;
    EXPECT_TRUE(field_->getHeightAndNormalAt(20, 5, h, n));
    EXPECT_FLOAT_EQ(h, 140.0f);
    EXPECT_FLOAT_EQ(n.y, -1.0f);
    // No terrain (negative x): the answer is false with a defined upward normal.
    n = Vector3(7, 7, 7);
    EXPECT_FALSE(field_->getHeightAndNormalAt(-1, 5, h, n));
    EXPECT_EQ(n.x, 0.0f);
    EXPECT_EQ(n.y, -1.0f);
    std::vector<float> a(896), b(896);  // rows are the world model's, passed on unconverted
    field_->getRowHeights(3, a.data());
    world_->getRowHeights(3, b.data());
    EXPECT_EQ(a, b);

    // Points at x 23, 26, 29 (field height 140) this far under the surface; depth NAN: not written.
    const struct {
        std::vector<float> separations;
        float tolerance;
        bool answer;
        std::vector<float> depths;
    } cases[] = {
        {{0.2f, 0.7f, 0.1f}, 0.5f, false, {0.2f, FLT_MAX, 0.1f}},
        {{0.2f, -0.1f, 0.3f}, 0.5f, true, {0.2f, NAN, NAN}},
        {{0.2f, 0.6f}, 0.1f, false, {FLT_MAX, FLT_MAX}},  // beyond the tolerance: no contact
    };
    for (const auto& c : cases) {
        std::vector<Vector3> p;
        for (float s : c.separations) p.emplace_back(20.0f + 3.0f * float(p.size() + 1), 140.0f - s, 12);
        std::vector<float> depths(p.size(), NAN);
        std::vector<Vector3> normals(p.size());
        EXPECT_EQ(field_->collidePoints(p.data(), int(p.size()), c.tolerance, depths.data(), normals.data()),
                  c.answer);
        for (size_t i = 0; i < p.size(); ++i)
            EXPECT_TRUE(std::isnan(c.depths[i]) ? std::isnan(depths[i])
                                                : std::fabs(depths[i] - c.depths[i]) < 1e-4f)
                << i << ": " << depths[i];
    }
    // A point with no terrain under it: normal up, no contact, the later points still answered.
    const Vector3 p[2] = {Vector3(-3, 139.9f, 25), Vector3(25, 139.9f, 5)};
    float depths[2];
    Vector3 normals[2] = {Vector3(9, 9, 9), Vector3(9, 9, 9)};
    EXPECT_FALSE(field_->collidePoints(p, 2, 0.5f, depths, normals));
    EXPECT_EQ(depths[0], FLT_MAX);
    EXPECT_EQ(normals[0].y, -1.0f);
    EXPECT_NEAR(depths[1], 0.1f, 1e-4f);
}

TEST_F(HeightfieldTest, DroppedBoxComesToRestOnTheTerrain) {
    // A gentle slope well above world height 0.
    Build([](int x, int z) { return static_cast<uint16_t>(30000 + 2 * x + z); });
    Kinetic::Toolkit* kit = model_->kineticToolkit;
    auto* ground = new Kinetic::RigidBody();
    Kinetic::HeightFieldPrimitiveBlueprint bp;
    bp.m_heightField = field_.get();
    bp.m_optimisedCD = 1;
    ground->addPrimitive(bp);
    ground->m_friction = 1.0f;
    kit->addRigidBody(ground, Vector3(0.0f, -140.0f, 0.0f), Kinetic::Quaternion_Zero);

    auto box = Kinetic::testing_shapes::boxGeometry(Vector3(0.5f, 0.5f, 0.5f));
    auto* body = new Kinetic::RigidBody();
    Kinetic::GeometricPrimitiveBlueprint g;
    g.m_geometry = box.get();
    g.m_mass = 1.0f;
    g.m_isConvex = 1;
    body->addPrimitive(g);
    body->m_friction = 1.0f;
    const float x = 21.0f, z = 17.0f;  // physics units: world (2100, 1700)
    const float surface = world_->getHeightAt(100 * x, 100 * z) * 0.01f;
    kit->addRigidBody(body, Vector3(x, surface - 3.0f, z), Kinetic::Quaternion_Zero);
    for (int step = 1; step <= 240; ++step) kit->m_defaultWorld->stepTo(step / 60.0f, 1);

    const Vector3 at = body->m_position;
    // The box's bottom rests on the surface, within the detector's contact tolerance (0.2) above it.
    const float clearance = world_->getHeightAt(100 * at.x, 100 * at.z) * 0.01f - (at.y + 0.5f);
    EXPECT_GE(clearance, 0.0f);
    EXPECT_LT(clearance, 0.2f);
    EXPECT_LT(body->m_linearVelocity.length(), 0.05f);
    EXPECT_NEAR(at.x, x, 0.2f);
}

}  // namespace
