// The bike's construction (groups, flags, constants, refused data), its tuning and its packet input.
#include "bike/kinetic_bike.h"

#include <gtest/gtest.h>

#include <cmath>
#include <iterator>
#include <utility>

#include "app/main_loop.h"
#include "bike/components/bands.h"
#include "bike_world.h"
#include "kinetic/collide/collision_detector.h"
#include "kinetic/vehicle/raycast_vehicle.h"
#include "support/log_capture.h"

namespace {

// Bikes on their own: a fresh model, the disc's bike description, no world; the outdoor track.
class BikeTest : public ::testing::Test {
protected:
    void SetUp() override { gameOptions.trackType = TRACKTYPE_OUTDOOR; }
    void TearDown() override { gameOptions.trackType = savedTrack_; }
    KineticBike* Build(unsigned index, bool cpu = false, int description = biketest::BikeDescription()) {
        return lone_.Build(index, cpu, description);
    }
    static uint32_t Partners(unsigned group) {
        return CModel::modelPtr->kineticToolkit->m_defaultCollisionDetector->getImpl()
            ->m_groupMasks[group - 1];
    }
    static uint32_t Bit(unsigned group) { return 1u << (group - 1); }

    const TrackType savedTrack_ = gameOptions.trackType;
    biketest::LoneBikes lone_;
};

TEST_F(BikeTest, RacersTakeTheirOwnGroupsOnEveryPrimitive) {
    KineticBike::numOfTotalRacers = 8;
    for (auto [index, group] : {std::pair{0u, 7u}, {3u, 13u}, {7u, 21u}}) {  // the rider's group is the next
        KineticBike* b = Build(index);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(b->bikeCollisionGroup, group);
        EXPECT_EQ(b->riderCollisionGroup, group + 1);
        ASSERT_FALSE(b->chassis->getPrimitives().empty());
        for (Kinetic::RigidBody* body : {b->chassis.get(), b->crashBike.get()})
            for (Kinetic::Primitive* p : body->getPrimitives()) EXPECT_EQ(p->m_collisionGroups, Bit(group));
        for (Kinetic::RigidBody* wheel : {b->frontWheel.get(), b->backWheel.get()})
            EXPECT_EQ(wheel->getPrimitives()[0]->m_collisionGroups, 0x20u);
    }
}

TEST_F(BikeTest, BikePairsAreEnabledOnceByTheLowerIndexAndComputersSkipObjects) {
    KineticBike::numOfTotalRacers = 4;
    const uint32_t bikes = Bit(7) | Bit(9) | Bit(11) | Bit(13);
    Build(3, true);
    EXPECT_EQ(Partners(13) & bikes, 0u);  // the highest index enables no bike pair
    EXPECT_EQ(Partners(13) & (Bit(2) | Bit(4)), 0u);
    EXPECT_EQ(Partners(13) & (Bit(1) | Bit(3) | Bit(5)), Bit(1) | Bit(3) | Bit(5));
    EXPECT_EQ(Partners(13) & (Bit(6) | Bit(14)), 0u);  // no wheels, never its own rider
    Build(0, false);
    EXPECT_EQ(Partners(7) & bikes, Bit(9) | Bit(11) | Bit(13));
    EXPECT_EQ(Partners(7) & (Bit(2) | Bit(4)), Bit(2) | Bit(4));
    EXPECT_EQ(Partners(8) & (Bit(2) | Bit(4)), Bit(2) | Bit(4));
    Build(1);
    Build(2);
    for (unsigned g : {7u, 9u, 11u, 13u}) EXPECT_EQ(Partners(g) & bikes, bikes & ~Bit(g)) << g;
}

TEST_F(BikeTest, BadRacersAndBadCollisionDataAreRefused) {
    testsupport::LogCapture log;
    EXPECT_EQ(Build(8), nullptr);
    EXPECT_TRUE(log.has("racer 8 of 1 refused"));
    KineticBike::numOfTotalRacers = 9;
    EXPECT_EQ(Build(0), nullptr);
    KineticBike::numOfTotalRacers = 2;

    // No description, a collision id naming nothing, and a refused block: bodies without shapes.
    auto* d = new CObjectDescription();
    static const uint8_t junk[16] = {0xff, 0xff, 0xff, 0xff};
    const int refused =
        CResourceStorage<CKineticCollide>::instance().add(new CKineticCollide(junk, sizeof junk));
    d->collisionIdList = {9999, refused};
    const int partial = CResourceStorage<CObjectDescription>::instance().add(d);
    log.clear();
    for (int description : {-1, 123456, partial}) {
        KineticBike* b = Build(1, false, description);
        ASSERT_NE(b, nullptr);
        for (Kinetic::RigidBody* body :
             {b->chassis.get(), b->frontWheel.get(), b->backWheel.get(), b->crashBike.get()})
            EXPECT_TRUE(body->getPrimitives().empty()) << description;
    }
    EXPECT_EQ(log.count("not loaded, bodies without shapes"), 2);
    EXPECT_TRUE(log.has("collision id 9999 names no collision data"));
}

TEST_F(BikeTest, AttributesFollowTheLevelsAndTheTrack) {
    gameOptions.trackType = TRACKTYPE_BAJA;
    KineticBike* cpu = Build(0, true);
    const Attributes& a = cpu->attributes;
    for (auto [got, want] : {std::pair{a.maximumSpeed, 75.0f},
                             {a.cpuMaximumSpeed, 100.0f},
                             {a.nitroMaximumSpeed, 100.0f},
                             {a.stabilityChangeInVel, 4.0f},
                             {cpu->ride.maxSpeedFilter.lo0, 100.0f}})
        EXPECT_FLOAT_EQ(got, want);
    // Every call appends the turbo bands again; the first three decide.
    EXPECT_EQ(cpu->bikeSpeedBand->turboBands.size(), 3u);
    const float once = cpu->bikeSpeedBand->getBoost(30);
    cpu->setAttributes();
    EXPECT_EQ(cpu->bikeSpeedBand->turboBands.size(), 6u);
    EXPECT_FLOAT_EQ(cpu->bikeSpeedBand->getBoost(30), once);

    gameOptions.trackType = TRACKTYPE_OUTDOOR;
    KineticBike* human = Build(1, false);
    const Attributes before = human->attributes;
    human->setAttributes();
    EXPECT_FLOAT_EQ(human->attributes.maximumSpeed, before.maximumSpeed);
    // No turbo bands at level 0: the speed band alone, 3 at a standstill and 0 from key 90.
    EXPECT_TRUE(human->bikeSpeedBand->turboBands.empty());
    for (auto [key, boost] : {std::pair{0u, 3.0f}, {15u, 1.7f}, {200u, 0.0f}})
        EXPECT_NEAR(human->bikeSpeedBand->getBoost(key), boost, 1e-5f) << key;
    EXPECT_EQ(human->chassis->m_userInfo, human);
    // clang-format off
    struct Case { int top, suspension, traction, stability; float maximumSpeed, recoveryJumps; int tractionClass; float changeInVel; };
    for (const Case& c : {Case{1, 1, 1, 1, 68, 0.75f, 0, 12}, Case{3, 2, 3, 6, 72, 0.87f, 2, 7}}) {
        // clang-format on
        human->bikeAttributes.topSpeed = c.top;
        human->bikeAttributes.suspension = c.suspension;
        human->bikeAttributes.traction = c.traction;
        human->riderAttributes.stability = c.stability;
        human->setAttributes();
        EXPECT_FLOAT_EQ(human->attributes.maximumSpeed, c.maximumSpeed);
        EXPECT_FLOAT_EQ(human->attributes.landingSpeedRecoveryJumps, c.recoveryJumps);
        EXPECT_EQ(human->attributes.traction, c.tractionClass);
        EXPECT_FLOAT_EQ(human->attributes.stabilityChangeInVel, c.changeInVel);
    }
}

// The low-pass filters start from rest with their coefficients to six places: sin(pi/10) for the
// steering, lean and friction filters and a human's top-speed filter, sin(pi/20) for the speedometer
// and a computer's top speed, sin(pi/16) for the jump's extra gravity, sin(pi/30) for the particles.
TEST_F(BikeTest, FiltersStartWithTheirExactCoefficients) {
    for (bool cpu : {false, true}) {
        const KineticBike* b = Build(cpu ? 1 : 0, cpu);
        ASSERT_NE(b, nullptr);
        const std::pair<const CFilter*, float> filters[] = {
            {&b->ride.filterSAV, 0.309017f},
            {&b->lean.leanFilter, 0.309017f},
            {&b->ride.frictionFilter[0], 0.309017f},
            {&b->ride.frictionFilter[1], 0.309017f},
            {&b->ride.speedometerFilter, 0.156434f},
            {&b->air.jumpConsistencyExtraGravityFilter, 0.195090f},
            {&b->ride.maxSpeedFilter, cpu ? 0.156434f : 0.309017f},
            {&b->particles.particalFilterR, 0.104528f},
            {&b->particles.particalFilterG, 0.104528f},
            {&b->particles.particalFilterB, 0.104528f},
        };
        for (size_t i = 0; i < std::size(filters); ++i) {
            EXPECT_EQ(filters[i].first->loCoefficient, filters[i].second) << "filter " << i << " cpu " << cpu;
            if (filters[i].first != &b->ride.maxSpeedFilter) {
                EXPECT_EQ(filters[i].first->lo0, 0.0f) << i;
            }
            EXPECT_EQ(filters[i].first->lo1, 0.0f) << i;
        }
    }
}

TEST(BikeFilter, OutputTrailsTheInputByOneStep) {
    CFilter f{0.5f};
    // lo0 += 0.5 lo1; lo1 = x - lo0.
    for (auto [in, out] :
         {std::pair{10.0f, 0.0f}, {10.0f, 5.0f}, {10.0f, 7.5f}, {0.0f, 8.75f}, {0.0f, 4.375f}})
        EXPECT_FLOAT_EQ(f.step(in), out);
}

// Input: a bike without physics answers packets alone.
TEST(BikeInput, PacketsBecomeBitsAndPressedAmounts) {
    // clang-format off
    auto bit = [](std::initializer_list<int> a) { uint32_t b = 0; for (int x : a) b |= 1u << x; return b; };
    struct InputCase { const char* name; bool cpu; std::initializer_list<int> actions; uint8_t parms[10];
                       uint32_t bits; std::initializer_list<std::pair<int, int>> pressed; float throttleZero; };  // bits: bikePacket after
    const InputCase cases[] = {
        {"dead zone", false, {BIKEACTION_LEFT_TURN}, {0, 0, 50}, 0, {{5, 0}}, 1.0f},
        {"first turn step", false, {BIKEACTION_LEFT_TURN}, {0, 0, 51}, bit({5}), {{5, 91}}, 1.0f},
        {"full turn", false, {BIKEACTION_RIGHT_TURN}, {0, 0, 0, 255}, bit({6}), {{6, 255}}, 1.0f},
        {"left before right", false, {5, 6}, {0, 0, 200, 200}, bit({5, 6}), {{5, 210}, {6, -7}}, 1.0f},
        {"forward before back", false, {3, 4}, {40, 60}, bit({3, 4}), {{3, 40}, {4, -7}}, 1.0f},
        {"computer throttle", true, {BIKEACTION_ACCEL}, {0, 0, 0, 0, 80}, bit({1}), {{1, 255}}, 0.8f},
        {"human throttle", false, {BIKEACTION_ACCEL}, {0, 0, 0, 0, 80}, bit({1}), {{1, 80}}, 1.0f},
        {"slide with brake", false, {11}, {0, 0, 60, 0, 0, 99}, bit({9, 11}), {{9, 98}, {11, 98}, {2, 99}}, 1.0f},
        {"slide in dead zone", false, {11}, {0, 0, 20, 0, 0, 99}, 0, {{11, 0}, {2, -7}}, 1.0f},
        {"stunt negative", false, {BIKEACTION_STUNT}, {0, 0, 0, 0, 0, 0, 0, 0, 3, 1}, bit({17}), {{17, -3}}, 1.0f},
    };
    // clang-format on
    for (const InputCase& c : cases) {
        KineticBike b;
        b.isCPU = c.cpu;
        for (int& p : b.input.pressed) p = -7;  // entries of absent actions keep their value
        int bits = 0;
        for (int a : c.actions) bits |= 1 << a;
        b.doAction(CPacket(0, PKT_ACTION, bits, c.parms), 0.0f);
        EXPECT_EQ(b.input.bikePacket, c.bits) << c.name;
        for (auto [action, amount] : c.pressed)
            EXPECT_EQ(b.input.pressed[action], amount) << c.name << " " << action;
        EXPECT_FLOAT_EQ(b.input.throttleZero, c.throttleZero) << c.name;
    }
}

TEST(BikeInput, StartBoostSuspensionAndMessages) {
    KineticBike b;
    const unsigned char parms[10] = {0, 0, 0, 0, 255};
    const CPacket accel(0, PKT_ACTION, 1 << BIKEACTION_ACCEL, parms);
    // clang-format off
    struct Case { uint32_t before, after; };
    for (const Case& c : {Case{1, 2}, Case{0, 3}, Case{2, 2}, Case{4, 4}}) {
        // clang-format on
        b.laps.canBoost = c.before;
        b.doAction(accel, 0.0f);
        EXPECT_EQ(b.laps.canBoost, c.after) << c.before;
    }
    EXPECT_TRUE(b.checkMessage(BIKEACTION_ACCEL));
    for (int action : {-1, 19, 31, int(BIKEACTION_BRAKE)}) EXPECT_FALSE(b.checkMessage(action)) << action;

    b.input.suspendBikePacket = 1;
    b.doAction(accel, 0.0f);
    EXPECT_EQ(b.input.bikePacket, 0u);
    EXPECT_EQ(b.input.suspendedBikePacket, 1u << BIKEACTION_ACCEL);
    EXPECT_EQ(b.input.suspendedPressed[BIKEACTION_ACCEL], 255);
    for (int action = 0; action < BIKEACTION_NUM_STATES; ++action) EXPECT_FALSE(b.checkMessage(action));
}

TEST_F(BikeTest, CameraHeadingHoldsInTheAirAndWhileCrashing) {
    KineticBike* b = Build(0);
    b->frame.forwardDir = qzVector3d(0.0f, 0.0f, 1.0f);
    const qzVector3d ground = b->getCameraForward();
    b->frame.forwardDir = qzVector3d(1.0f, 0.0f, 0.0f);
    for (int state : {0, 1, 2, 3}) {  // in the air, crashing, a world-edge crash, riding
        b->status.flags = state == 0 ? 1u << BIKE_INAIR : 0u;
        b->crash.crashing = state == 1;
        b->crash.crashState = state == 2 ? 1 : 0;
        EXPECT_FLOAT_EQ(b->getCameraForward().z, state < 3 ? ground.z : 0.0f) << state;
    }
}

}  // namespace
