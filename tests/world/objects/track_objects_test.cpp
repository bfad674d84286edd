// Track objects built from their descriptions and collision blocks: material and collision groups, bad
// data refused, the complex kind's bodies per part, the dynamic kind's pinning, and in a stepped world a
// fence that stops a body, a bale that is pushed, a pickup collected once and a target area entered.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "bike/kinetic_bike.h"
#include "game/files/collision_format.h"
#include "game/files/collision_storage.h"
#include "game/model/intersection.h"
#include "game/model/model.h"
#include "game/model/object_description.h"
#include "game/model/pause_state.h"
#include "game/model/phantom_event.h"
#include "game/model/timer.h"
#include "kinetic/collide/collision_detector.h"
#include "kinetic/collide/primitive.h"
#include "kinetic/collide/spherical_primitive.h"
#include "kinetic/dynamics/rigid_body.h"
#include "kinetic/dynamics/toolkit.h"
#include "support/heap_image.h"
#include "support/log_capture.h"
#include "world/objects/kinetic_collide.h"
#include "world/objects/kinetic_pickup_objects.h"
#include "world/objects/kinetic_rigid_object.h"
#include "world/objects/kinetic_track_objects.h"
#include "world/objects/trigger_riders.h"

namespace {

using testsupport::HeapImage;
using testsupport::LogCapture;

struct TestBike : KineticBike {
    void doAction(const CPacket&, float) override {}
};

// A rider or any other object that is not a bike.
struct Other : CDynamicObject {
    void doAction(const CPacket&, float) override {}
};

class TrackObjects : public ::testing::Test {
protected:
    void SetUp() override {
        CPauseState::pauseSwitch = 0;
        model = GetModel();
        descriptionsBefore = CResourceStorage<CObjectDescription>::instance().count();
        collisionsBefore = CResourceStorage<CKineticCollide>::instance().count();
    }
    void TearDown() override {
        delete CModel::modelPtr;
        delete CTimer::timerPtr;
        delete CIntersection::intersectionPtr;
        auto& d = CResourceStorage<CObjectDescription>::instance().data;
        auto& c = CResourceStorage<CKineticCollide>::instance().data;
        for (size_t i = static_cast<size_t>(descriptionsBefore); i < d.size(); ++i) delete d[i];
        for (size_t i = static_cast<size_t>(collisionsBefore); i < c.size(); ++i) delete c[i];
        d.resize(static_cast<size_t>(descriptionsBefore));
        c.resize(static_cast<size_t>(collisionsBefore));
    }
    // A description with one collision block of `parts` (or the given collision id) and type record.
    int describe(const std::vector<CollisionPart>& parts, const _Info* info = nullptr,
                 size_t cut = SIZE_MAX) {
        blocks.push_back(std::make_unique<HeapImage>(WriteCollisionBlock(parts), cut));
        auto* collide = new CKineticCollide(blocks.back()->p, blocks.back()->size);
        return describeWithCollisionId(CResourceStorage<CKineticCollide>::instance().add(collide), info);
    }
    int describeWithCollisionId(int collisionId, const _Info* info = nullptr) {
        auto* d = new CObjectDescription();
        d->collisionIdList = {collisionId};
        if (info) {
            infos.push_back(std::make_unique<_Info>(*info));
            d->typeInfo = infos.back().get();
        }
        return CResourceStorage<CObjectDescription>::instance().add(d);
    }
    template <class T>
    T* place(T* o, float x, float y, float z) {
        o->position = qzVector3d(100.0f * x, 100.0f * y, 100.0f * z);
        model->objects.push_back(o);
        o->updateModelWorld();
        return o;
    }
    // A sphere body owned by `owner`, in the world at (x, y, z) physics units, moving at v.
    Kinetic::RigidBody* ball(CModelObject* owner, uint32_t groups, float x, float y, float z,
                             Kinetic::Vector3 v = Kinetic::Vector3(0, 0, 0)) {
        auto* body = new Kinetic::RigidBody();
        Kinetic::SphericalPrimitiveBlueprint bp;
        bp.m_radius = 0.5f;
        bp.m_mass = 10.0f;
        body->addPrimitive(bp);
        body->getPrimitives()[0]->m_collisionGroups = groups;
        body->m_userInfo = owner;
        model->kineticToolkit->addRigidBody(body, Kinetic::Vector3(x, y, z), Kinetic::Quaternion(1, 0, 0, 0));
        body->m_linearVelocity = v;
        return body;
    }
    void step(int steps) {
        for (int i = 0; i < steps; ++i) model->update(static_cast<float>(++frame) / 60.0f);
    }

    CModel* model = nullptr;
    int descriptionsBefore = 0, collisionsBefore = 0, frame = 0;
    std::vector<std::unique_ptr<HeapImage>> blocks;
    std::vector<std::unique_ptr<_Info>> infos;
};

_Info Record(uint8_t type, uint16_t mass, float elasticity, float friction) {
    _Info i{};
    i.objType = type;
    i.massInKg = mass;
    i.elasticity = elasticity;
    i.friction = friction;
    return i;
}

CollisionPart Cube(float half) {
    return CollisionBox(-half, -half, -half, half, half, half);
}

TEST_F(TrackObjects, MaterialAndGroupsFollowTheTypeRecord) {
    const _Info crate = Record(6, 50, 0.5f, 0.3f), wall = Record(29, 400, 0.1f, 0.9f);
    // clang-format off
    struct Case { bool dynamic; const _Info* info; uint32_t groups; float mass, restitution, friction; bool pinned; };
    const Case cases[] = {
        {false, nullptr, 2, 100.0f, 0.25f, 1.0f, true}, {false, &crate, 2, 50.0f, 0.5f, 0.3f, true},
        {false, &wall, 4, 400.0f, 0.1f, 0.9f, true},    {true, &crate, 8, 50.0f, 0.5f, 0.3f, false},
        {true, nullptr, 8, 100.0f, 0.25f, 1.0f, false},  // a dynamic object without a record
    };
    // clang-format on
    for (const Case& c : cases) {
        const int id = describe({Cube(0.5f)}, c.info);
        std::unique_ptr<KineticRigidObject> o(
            c.dynamic ? static_cast<KineticRigidObject*>(new CKineticDynamicRigidObject(id))
                      : new CKineticStaticRigidObject(id));
        Kinetic::RigidBody* body = o->getRigidBody(0);
        ASSERT_EQ(body->getPrimitives().size(), 1u);
        EXPECT_EQ(body->getPrimitives()[0]->m_collisionGroups, c.groups);
        for (auto [got, want] : {std::pair{body->m_mass, c.mass},
                                 {body->m_restitution, c.restitution},
                                 {body->m_friction, c.friction}})
            EXPECT_FLOAT_EQ(got, want);
        EXPECT_EQ(body->isPinned(), c.pinned);
        EXPECT_EQ(body->m_userInfo, static_cast<CModelObject*>(o.get()));
    }
}

TEST_F(TrackObjects, BadCollisionDataBuildsBodiesWithoutShapes) {
    LogCapture log;
    // clang-format off
    struct Case { int id; const char* line; };
    const Case cases[] = {
        {9999, "description 9999 does not exist"},
        {describeWithCollisionId(7777), "collision block 7777, which does not exist"},
        {describeWithCollisionId(-1), "collision block -1, which does not exist"},
        {describe({Cube(0.5f)}, nullptr, 40), ""},  // a cut block: refused by the mesh builder itself
    };
    // clang-format on
    for (const Case& c : cases) {
        log.clear();
        CKineticStaticRigidObject fixed(c.id);
        CKineticDynamicRigidObject moving(c.id);
        CKineticComplexStaticRigidObject complex(c.id);
        CKineticPickupObject pickup(c.id);
        for (KineticRigidObject* o : std::initializer_list<KineticRigidObject*>{&fixed, &moving, &pickup})
            EXPECT_TRUE(o->getRigidBody(0)->getPrimitives().empty()) << c.id;
        EXPECT_EQ(complex.getRigidBodyCount(), 0) << c.id;
        EXPECT_TRUE(!*c.line || log.count(c.line) == 4) << c.line << ": " << log.text();
    }
}

TEST_F(TrackObjects, ADynamicObjectIsPinnedOnItsSixtiethStillSubStep) {
    CKineticDynamicRigidObject bale(describe({Cube(0.5f)}));
    Kinetic::RigidBody* body = bale.getRigidBody(0);
    // Moving (faster than 0.1 m/s) on step 10 starts the count again.
    for (int stepNo = 1; stepNo <= 69; ++stepNo) {
        body->m_linearVelocity = Kinetic::Vector3(0, 0, stepNo == 10 ? 0.2f : 0.05f);
        bale.update(0.0f);
        ASSERT_FALSE(body->isPinned()) << stepNo;
    }
    bale.update(0.0f);
    EXPECT_TRUE(body->isPinned());
}

TEST_F(TrackObjects, AFenceAndAComplexObjectsPartsStopBodiesAndABaleIsPushed) {
    // Ground slab (+y is down), a fence across the first lane and a light bale in the second; a ball rolls
    // down each lane at 5 m/s. The bale, pushed, comes to rest and pins itself again.
    const _Info light = Record(6, 5, 0.2f, 0.3f);
    place(new CKineticStaticRigidObject(describe({CollisionBox(-20, -0.5f, -20, 20, 0.5f, 20)})), 0, 0.5f, 0);
    auto* fence = place(new CKineticStaticRigidObject(describe({CollisionBox(-1, -1, -0.1f, 1, 1, 0.1f)})), 0,
                        -1.0f, 5);
    auto* bale = place(new CKineticDynamicRigidObject(describe({Cube(0.5f)}, &light)), 4, -0.7f, 5);
    Other a, b;
    Kinetic::RigidBody* stopped = ball(&a, 8, 0, -0.5f, 0, Kinetic::Vector3(0, 0, 5));
    Kinetic::RigidBody* pusher = ball(&b, 8, 4, -0.5f, 0, Kinetic::Vector3(0, 0, 5));
    // A complex object of two posts 2 m apart across lanes 3 and 4: a ball meeting a post stops, one
    // rolling through the gap does not.
    auto* posts = place(
        new CKineticComplexStaticRigidObject(
            describe({CollisionBox(-2, -1, -0.1f, -1, 1, 0.1f), CollisionBox(1, -1, -0.1f, 2, 1, 0.1f)})),
        10, -1.0f, 5);
    ASSERT_EQ(posts->getRigidBodyCount(), 2);  // one fixed body per part
    EXPECT_EQ(posts->getRigidBody(2), nullptr);
    for (Kinetic::RigidBody* body : {posts->getRigidBody(0), posts->getRigidBody(1)}) {
        EXPECT_EQ(body->getPrimitives()[0]->m_collisionGroups, 2u);
        EXPECT_TRUE(body->isFixed() && body->isPinned());
        EXPECT_EQ(body->m_userInfo, static_cast<CModelObject*>(posts));
    }
    Other c, d;
    Kinetic::RigidBody* onPost = ball(&c, 8, 8.5f, -0.5f, 0, Kinetic::Vector3(0, 0, 5));
    Kinetic::RigidBody* inGap = ball(&d, 8, 10, -0.5f, 0, Kinetic::Vector3(0, 0, 5));
    const float baleStart = bale->getRigidBody(0)->m_position.z;
    step(120);
    EXPECT_LT(stopped->m_position.z, fence->getRigidBody(0)->m_position.z);
    EXPECT_LT(onPost->m_position.z, 5.0f);
    EXPECT_GT(inGap->m_position.z, 5.6f);  // clear of the posts' line
    EXPECT_GT(bale->getRigidBody(0)->m_position.z, baleStart + 0.2f);
    EXPECT_NEAR(bale->position.z, 100.0f * bale->getRigidBody(0)->m_position.z, 1.0f);  // the model follows
    model->kineticToolkit->removeRigidBody(pusher);
    delete pusher;
    step(120);
    EXPECT_TRUE(bale->getRigidBody(0)->isPinned());
}

// A fixed body's collision bounds are worked out where the physics world takes it in: a placed static
// object's body stays at that pose (its turn normalised as the world takes it), not set again from the
// model's unnormalised turn.
TEST_F(TrackObjects, APlacedStaticObjectStaysWhereThePhysicsWorldTookItIn) {
    int unnormalised = 0;
    for (float heading = 0.05f; heading < 6.3f; heading += 0.1f) {
        auto* o = new CKineticStaticRigidObject(describe({Cube(0.5f)}));
        o->qOrientation.S = std::cos(heading / 2);  // turned about up, as a world file turns its objects
        o->qOrientation.Axis = {0.0f, std::sin(heading / 2), 0.0f};
        place(o, 1, 0, 2);
        const Kinetic::Quaternion turn = kinetic_pose::toKinetic(o->qOrientation) * kinetic_pose::halfTurnX();
        auto* taken = new Kinetic::RigidBody();
        model->kineticToolkit->addRigidBody(taken, Kinetic::Vector3(1, 0, 2), turn);
        const Kinetic::Quaternion &got = o->getRigidBody(0)->m_rotation, &want = taken->m_rotation;
        unnormalised += turn.m_imag.x != want.m_imag.x || turn.m_imag.z != want.m_imag.z;
        EXPECT_EQ(got.m_real, want.m_real) << heading;
        EXPECT_EQ(got.m_imag.x, want.m_imag.x) << heading;
        EXPECT_EQ(got.m_imag.y, want.m_imag.y) << heading;
        EXPECT_EQ(got.m_imag.z, want.m_imag.z) << heading;
    }
    EXPECT_GT(unnormalised, 0);
}

// A pickup that says when it is deleted.
struct CountedPickup : CKineticPickupObject {
    CountedPickup(int desc, int* deleted) : CKineticPickupObject(desc), deleted_(deleted) {}
    ~CountedPickup() override { ++*deleted_; }
    int* deleted_;
};

TEST_F(TrackObjects, APickupTouchedByTwoBikesAtOnceCountsOnceAndIsDeleted) {
    LogCapture log;
    int deleted = 0;
    auto* pickup = place(new CountedPickup(describe({Cube(1.0f)}, nullptr), &deleted), 0, 0, 0);
    TestBike first, second;
    Other rider;
    // As human racers 0 and 1 set their groups up: bike groups 7 and 9, rider group 8 meet group 2.
    for (int g : {7, 8, 9}) model->kineticToolkit->m_defaultCollisionDetector->enableCollisionGroups(2, g);
    ball(&rider, 1u << 7, 0, 0.2f, 0);
    ball(&first, 1u << 6, -0.3f, 0, 0);
    ball(&second, 1u << 8, 0.3f, 0, 0);
    step(3);
    EXPECT_EQ(first.bikeStats.pickupsFound + second.bikeStats.pickupsFound, 1);
    EXPECT_EQ(log.count("Bonus picked up!!\n"), 1);
    EXPECT_EQ((first.status.flags | second.status.flags) & (1u << BIKE_BONUS_PICKUP),
              1u << BIKE_BONUS_PICKUP);
    EXPECT_EQ(model->objects.back(), nullptr);
    EXPECT_EQ(deleted, 1);  // out of the world and freed, once
    (void)pickup;
    step(3);
    EXPECT_EQ(first.bikeStats.pickupsFound + second.bikeStats.pickupsFound, 1);
    EXPECT_EQ(deleted, 1);
}

TEST_F(TrackObjects, TargetAreasMarkEntryAndExit) {
    auto* land = place(new CKineticLandObject(describe({Cube(1.0f)})), 0, 0, 0);
    auto* jump = place(new CKineticJumpObject(describe({Cube(1.0f)})), 0, 0, 10);
    TestBike bike;
    model->kineticToolkit->m_defaultCollisionDetector->enableCollisionGroups(2, 7);
    // Falls into the landing area, out of it and on.
    ball(&bike, 1u << 6, 0, -3.0f, 0, Kinetic::Vector3(0, 10, 0));
    bool entered = false;
    for (int i = 0; i < 60 && !entered; ++i) {
        step(1);
        entered = bike.bikeStats.inTargetLandArea == 1;
    }
    EXPECT_TRUE(entered);
    step(60);
    EXPECT_EQ(bike.bikeStats.inTargetLandArea, 0);
    EXPECT_EQ(bike.bikeStats.inTargetJumpArea, 0);

    // Marks are flags: leaving one area clears it though the bike is inside another; other objects and
    // other states change nothing.
    Other rider;
    Kinetic::PhantomPenetrationEvent began, ended, other;
    ended.m_state = Kinetic::PhantomPenetrationEvent::ENDED;
    other.m_state = 7;
    // clang-format off
    struct Case { CKineticStaticRigidObject* area; CModelObject* who; const Kinetic::PhantomPenetrationEvent* event; uint8_t land, jump; };
    const Case cases[] = {
        {land, &bike, &began, 1, 0}, {land, &bike, &began, 1, 0},  {jump, &bike, &began, 1, 1},
        {land, &bike, &ended, 0, 1}, {jump, &rider, &ended, 0, 1}, {jump, &bike, &other, 0, 1},
        {jump, &bike, &ended, 0, 0},
    };
    // clang-format on
    for (const Case& c : cases) {
        c.area->phantomCollisionHandler(c.who, CPhantomEvent(*c.event));
        EXPECT_EQ(bike.bikeStats.inTargetLandArea, c.land);
        EXPECT_EQ(bike.bikeStats.inTargetJumpArea, c.jump);
    }
}

// The triggers know a bike only through the installed riders: with none, nothing is a rider; with a
// stand-in, whatever it names is counted, marked and flagged, bike or not.
struct StandInRiders : triggers::Riders {
    CModelObject* rider = nullptr;
    CStats stats;
    int raised = 0;
    CStats* statsOf(CModelObject* object) override { return object == rider ? &stats : nullptr; }
    void raiseBonusPickup(CModelObject* object) override { raised += object == rider ? 1 : 100; }
};

TEST_F(TrackObjects, TriggersReachARiderOnlyThroughTheInstalledRiders) {
    LogCapture log;
    int deleted = 0;
    auto* pickup = place(new CountedPickup(describe({Cube(1.0f)}, nullptr), &deleted), 0, 0, 0);
    auto* land = place(new CKineticLandObject(describe({Cube(1.0f)})), 0, 0, 10);
    Other rider, stranger;
    StandInRiders riders;
    riders.rider = &rider;
    Kinetic::PhantomPenetrationEvent began;
    triggers::Riders* const installed = triggers::riders();

    triggers::setRiders(nullptr);
    land->phantomCollisionHandler(&rider, CPhantomEvent(began));
    pickup->phantomCollisionHandler(&rider, CPhantomEvent(began));
    EXPECT_EQ(riders.stats.inTargetLandArea, 0);
    EXPECT_EQ(riders.stats.pickupsFound, 0);
    EXPECT_EQ(log.count("Bonus picked up!!\n"), 0);
    EXPECT_EQ(deleted, 0);

    triggers::setRiders(&riders);
    pickup->phantomCollisionHandler(&stranger, CPhantomEvent(began));
    EXPECT_EQ(deleted, 0);
    land->phantomCollisionHandler(&rider, CPhantomEvent(began));
    EXPECT_EQ(riders.stats.inTargetLandArea, 1);
    pickup->phantomCollisionHandler(&rider, CPhantomEvent(began));  // deletes the pickup
    EXPECT_EQ(riders.stats.pickupsFound, 1);
    EXPECT_EQ(riders.raised, 1);
    EXPECT_EQ(log.count("Bonus picked up!!\n"), 1);
    EXPECT_EQ(deleted, 1);
    triggers::setRiders(installed);
}

}  // namespace
