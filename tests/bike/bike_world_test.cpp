// The bike in the physics world: placement on the terrain, the validity check, standing at the grid,
// and packets driving it through the gears, braking and steering, with the physics at 60 Hz on one of
// the disc's generated worlds.
#include <gtest/gtest.h>

#include <cmath>

#include "bike/components/bike_transmission.h"
#include "bike_world.h"
#include "game/files/object_description_format.h"
#include "kinetic/dynamics/action.h"
#include "kinetic/vehicle/wheels_component.h"
#include "mkdisc/track_objects.h"
#include "world/objects/kinetic_track_objects.h"
#include "world/world_file_format.h"

namespace {

using biketest::BikeWorld;

class BikeWorldTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { world_ = new BikeWorld(biketest::FirstTrack(TrackKind::Outdoor), 1); }
    static void TearDownTestSuite() {
        delete world_;
        world_ = nullptr;
    }
    // A fresh bike for each test, alone on the grid (the previous one is taken out of the race).
    void SetUp() override { bike_ = world_->AddBike(0, false); }
    void TearDown() override { world_->RemoveBike(bike_); }
    // The chassis's tilt from upright, in degrees.
    float Tilt() const {
        bike_->getBaseVectors();
        const qzVector3d& u = bike_->frame.upDir;
        return std::atan2(std::sqrt(u.x * u.x + u.z * u.z), -u.y) * 57.29578f;
    }
    float Speed() const { return bike_->chassis->m_linearVelocity.length(); }
    float Heading() const {
        bike_->getBaseVectors();
        return std::atan2(bike_->frame.forwardDir.x, bike_->frame.forwardDir.z);
    }
    // Riding: the race has started (until then the bike holds its brake at the grid).
    void Drive(int steps, std::initializer_list<int> actions, uint8_t left = 0, uint8_t right = 0) {
        bike_->laps.startRace = 1;
        for (int i = 0; i < steps; ++i)
            world_->Step({BikeWorld::Packet(bike_, actions, 255, 255, left, right)});
    }

    static BikeWorld* world_;
    KineticBike* bike_ = nullptr;
};
BikeWorld* BikeWorldTest::world_ = nullptr;

TEST_F(BikeWorldTest, StartsAboveTheHigherGroundPointFacingTheLapAndStandsAtTheGridForTenSeconds) {
    const CentrePoint& c = world_->design.centre.front();
    const qzVector3d start = bike_->position;
    const float h1 = world_->world->getHeightAt(start.x, start.z);
    const float h2 = world_->world->getHeightAt(start.x + c.dirX * 168.0f, start.z + c.dirZ * 168.0f);
    EXPECT_FLOAT_EQ(start.y, std::fmin(h1, h2) - 75.0f);
    EXPECT_NEAR(Heading(), std::atan2(c.dirX, c.dirZ), 1e-3f);
    EXPECT_LT(Tilt(), 0.1f);
    // The grid is on a slope of about 1.7 degrees. The bike drops from its start height onto its
    // wheels and settles within two seconds; from then on the engine holds it where it stands.
    qzVector3d settled;
    float worstTilt = 0.0f;
    for (int i = 1; i <= 600; ++i) {
        world_->Step();
        worstTilt = std::fmax(worstTilt, Tilt());
        if (i == 120) settled = bike_->position;
    }
    const auto& wheels = bike_->vehicle->m_wheels->m_wheelsInfo;
    EXPECT_TRUE(wheels[0].m_isInContact && wheels[1].m_isInContact);
    EXPECT_LT(Tilt(), 3.0f);
    EXPECT_LT(worstTilt, 5.0f);
    EXPECT_LT(Speed(), 0.01f);
    const qzVector3d d = bike_->position - start;
    const float drift = std::sqrt(d.x * d.x + d.z * d.z);
    float still = 0.0f;
    qzMath::qzMathVectorDistance(&still, &settled, &bike_->position);
    EXPECT_LT(drift, 1.5f) << "world units across the ground in 10 s";
    EXPECT_LT(still, 1.0f) << "world units in the last 8 s";
    RecordProperty("drift_world_units", std::to_string(drift));
}

// Watches the gearbox from inside the physics step. The box reads the chassis's forward speed (its
// velocity along its forward axis) at the start of the vehicle's update, before the wheels push the
// chassis on in that same update: the look before the update keeps that speed, the look after it sees
// whether the gear changed. A shift (or the box's first 8000 RPM in top gear) keeps the speed the box
// read in that update and in the one before it.
class GearWatch {
public:
    explicit GearWatch(KineticBike* b) : before_(this, true), after_(this, false), bike_(b) {}
    void attach(Kinetic::RigidCollection* c) {
        c->addAction(&before_, 0);  // the vehicle's update runs at priority 1
        c->addAction(&after_, 2);
    }
    void detach(Kinetic::RigidCollection* c) {
        c->removeAction(&before_);
        c->removeAction(&after_);
    }
    struct Shift {
        float last = 0.0f, at = 0.0f;  // m/s, read in the update before and in the shifting one
    };
    Shift shifts[4];

private:
    struct Look : Kinetic::Action {
        Look(GearWatch* w, bool before) : w(w), before(before) {}
        void apply(Kinetic::Subspace&, float) override { before ? w->look() : w->check(); }
        GearWatch* w;
        bool before;
    };
    void look() {
        const Kinetic::RigidBody* c = bike_->chassis.get();
        last_ = speed_;
        speed_ = c->m_linearVelocity.dot(c->m_transformation.getRotatedDir(Kinetic::Vector3(0, 1, 0)));
    }
    void check() {
        const auto* box = bike_->m_transmission;
        if (box->m_currentGear > gear_ && gear_ < 3) shifts[gear_] = {last_, speed_};
        gear_ = box->m_currentGear;
        if (gear_ == 3 && box->m_transmissionRPM >= 8000.0f && shifts[3].at == 0.0f)
            shifts[3] = {last_, speed_};
    }
    Look before_, after_;
    KineticBike* bike_;
    unsigned gear_ = 0;
    float speed_ = 0.0f, last_ = 0.0f;
};

TEST_F(BikeWorldTest, FullThrottleShiftsThroughTheFourGearsThenBrakingStops) {
    auto* box = static_cast<Kinetic::CBikeTransmission*>(bike_->m_transmission);
    // Forward speed at each upshift, then where the box reaches its 8000 RPM limit in top gear: 6550 and
    // 8000 RPM over 458.4 RPM per m/s and gear ratio (2, 1.5, 1, 0.75).
    const float expected[4] = {7.144f, 9.526f, 14.289f, 23.27f};
    GearWatch watch(bike_);
    Kinetic::RigidCollection* physics = world_->model->kineticToolkit->m_defaultRigidCollection;
    watch.attach(physics);
    for (int i = 0; i < 60 * 30 && watch.shifts[3].at == 0.0f; ++i) Drive(1, {BIKEACTION_ACCEL});
    watch.detach(physics);
    for (int g = 0; g < 4; ++g) {
        // The box looks once per update: it shifts in the first update that reads a speed past the
        // shift speed, so the speed it read in the update before is short of it.
        const GearWatch::Shift& s = watch.shifts[g];
        EXPECT_LT(s.last, expected[g] * 1.001f) << "shift " << g;
        EXPECT_GE(s.at, expected[g] * 0.999f) << "shift " << g;
        EXPECT_NEAR(s.at, expected[g], 0.05f * expected[g]) << "shift " << g;
        RecordProperty("shift_" + std::to_string(g), std::to_string(s.at));
    }
    // Full brakes, no throttle: the bike stops within a few seconds (dead, once it is slow enough) and,
    // standing, the box drops back to first.
    int stopSteps = 0;
    while (Speed() > 0.3f && stopSteps < 60 * 10) {
        Drive(1, {BIKEACTION_BRAKE});
        ++stopSteps;
    }
    EXPECT_LT(Speed(), 0.3f);
    Drive(30, {BIKEACTION_BRAKE});
    EXPECT_LT(Speed(), 0.3f);
    EXPECT_EQ(box->m_currentGear, 0u);
    RecordProperty("brake_stop_steps", stopSteps);
}

TEST_F(BikeWorldTest, SteeringTurnsTheBikeTheWayItIsAsked) {
    // The sign of the heading change, radians towards +x from +z.
    for (auto [action, sign] : {std::pair{BIKEACTION_LEFT_TURN, -1.0f}, {BIKEACTION_RIGHT_TURN, 1.0f}}) {
        if (sign > 0.0f) TearDown(), SetUp();  // a fresh bike
        // Past the wheelie a launch pops at 20 km/h.
        Drive(150, {BIKEACTION_ACCEL});
        // The heading change summed step by step over half a second of turning.
        float d = 0.0f;
        for (int i = 0; i < 30; ++i) {
            const float before = Heading();
            Drive(1, {BIKEACTION_ACCEL, action}, 100, 100);
            float step = Heading() - before;
            if (step > 3.14159f) step -= 6.28318f;
            if (step < -3.14159f) step += 6.28318f;
            d += step;
        }
        EXPECT_GT(d * sign, 0.2f) << action;
        EXPECT_LT(Tilt(), 30.0f) << action;
    }
}

TEST_F(BikeWorldTest, AFenceAheadOfTheGridStopsTheBikeAndALooseOneIsPushed) {
    // A fence of the generated worlds, with their fence collision block, 6 m up the lap from the grid and
    // standing across it, fixed or loose; the bike runs into it at full throttle.
    static std::vector<uint8_t> block = PropCollision(Prop::Fence);
    static _Info records[2] = {MakeTypeRecord(1, worldfile::kKindStatic, 1, 0.8f, 0.1f, 250),
                               MakeTypeRecord(1, worldfile::kKindDynamic, 1, 0.8f, 0.1f, 50)};
    const CentrePoint& c = world_->design.centre.front();
    for (int loose = 0; loose < 2; ++loose) {
        if (loose) TearDown(), SetUp();  // a fresh bike
        auto* d = new CObjectDescription();
        d->collisionIdList.push_back(CResourceStorage<CKineticCollide>::instance().add(
            new CKineticCollide(block.data(), block.size())));
        d->typeInfo = &records[loose];
        const int id = CResourceStorage<CObjectDescription>::instance().add(d);
        auto* moving = loose ? new CKineticDynamicRigidObject(id) : nullptr;
        auto* fixed = loose ? nullptr : new CKineticStaticRigidObject(id);
        KineticRigidObject* fence = moving ? static_cast<KineticRigidObject*>(moving) : fixed;
        const qzVector3d start = bike_->position;
        const float ahead = 600.0f;  // world units
        fence->position = qzVector3d(start.x + c.dirX * ahead, 0.0f, start.z + c.dirZ * ahead);
        fence->position.y = world_->world->getHeightAt(fence->position.x, fence->position.z) - 1.0f;
        // Upright and turned about the vertical as the world's placements are, its length across the lap.
        const float heading = std::atan2(c.dirX, c.dirZ) + 1.5707963f;
        fence->qOrientation.S = std::cos(heading / 2);
        fence->qOrientation.Axis = {0.0f, std::sin(heading / 2), 0.0f};
        world_->model->objects.push_back(fence);
        moving ? moving->updateModelWorld() : fixed->updateModelWorld();
        const qzVector3d placed = fence->position;
        float furthest = 0.0f, slowest = 100.0f;
        for (int i = 1; i <= 100; ++i) {
            Drive(1, {BIKEACTION_ACCEL});
            const qzVector3d d = bike_->position - start;
            furthest = std::fmax(furthest, d.x * c.dirX + d.z * c.dirZ);
            const Kinetic::Vector3& v = bike_->chassis->m_linearVelocity;
            if (i > 45) slowest = std::fmin(slowest, v.x * c.dirX + v.z * c.dirZ);  // up the lap, m/s
        }
        const qzVector3d m = fence->position - placed;
        const float pushed = m.x * c.dirX + m.z * c.dirZ;
        if (loose) {
            EXPECT_GT(pushed, 30.0f) << "world units";
        } else {
            EXPECT_LT(furthest, ahead) << "the bike's centre stays short of the fence";
            EXPECT_LT(slowest, 0.5f) << "the fence takes the bike's speed";
            EXPECT_EQ(pushed, 0.0f);
        }
        world_->model->removeObject(fence);
        delete fence;
    }
}

TEST_F(BikeWorldTest, AJumpOfFiveThousandUnitsIsRejectedAndStopsTheBike) {
    for (int i = 0; i < 30; ++i) Drive(1, {BIKEACTION_ACCEL});
    bike_->updateModelObjectFromKinetic();
    // A last valid pose on whole physics units, so that the distances below are exact in floats.
    bike_->reset.lastValidPos = qzVector3d(30000.0f, -2000.0f, 50000.0f);
    const qzVector3d valid = bike_->reset.lastValidPos;
    Kinetic::Vector3 p;
    Kinetic::Quaternion q;
    bike_->chassis->getDisplayToWorldTransform(p, q);
    // clang-format off
    struct Case { float dx; uint32_t crashState; bool accepted; };  // physics units
    // During a world-edge crash (state 1) every pose is taken.
    for (const Case& c : {Case{50.0f, 0, false}, Case{49.99f, 0, true}, Case{-100.0f, 1, true}}) {
        // clang-format on
        bike_->reset.lastValidPos = valid;
        bike_->crash.crashState = c.crashState;
        bike_->frame.lastVelocityMag[7] = 3.0f;
        bike_->validPositionOrientationCheck(
            Kinetic::Vector3(valid.x * 0.01f + c.dx, valid.y * 0.01f, valid.z * 0.01f), q);
        EXPECT_EQ(bike_->position.x != valid.x, c.accepted) << c.dx;
        if (c.accepted) continue;
        EXPECT_FLOAT_EQ(bike_->position.x, valid.x);
        EXPECT_EQ(bike_->chassis->m_linearVelocity.length(), 0.0f);
        EXPECT_EQ(bike_->crashBike->m_angularVelocity.length(), 0.0f);
        EXPECT_EQ(bike_->frame.lastVelocityMag[7], 0.0f);
        EXPECT_EQ(bike_->frame.linearVelocityMag, 0.0f);
        Kinetic::Vector3 at;
        bike_->crashBike->getDisplayToWorldTransform(at, q);
        EXPECT_NEAR(at.x, valid.x * 0.01f, 1e-4f);
    }
    bike_->crash.crashState = 0;
}

}  // namespace
