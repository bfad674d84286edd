// The rider body thrown off and taken back, its crash poses and damping, and the bike's particle
// emitters recorded through a sink.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "app/main_loop.h"
#include "bike/bike_crash.h"
#include "bike/bike_particles.h"
#include "bike/kinetic_bike.h"
#include "bike/particle_sink.h"
#include "bike/rider_model.h"
#include "bike_world.h"
#include "kinetic/dynamics/rigid_body.h"

namespace biketest {
namespace {

struct Recorder : particles::Sink {
    std::vector<particles::QuadParticle> got;
    void emitParticle(const particles::QuadParticle& p) override { got.push_back(p); }
};

int RiderDescription() {
    static std::vector<uint8_t> block = CommonCollisionBlock(common::kRiderCollision);
    auto* d = new CObjectDescription();
    d->collisionIdList.push_back(
        CResourceStorage<CKineticCollide>::instance().add(new CKineticCollide(block.data(), block.size())));
    return CResourceStorage<CObjectDescription>::instance().add(d);
}

// One computer bike with its rider on the first outdoor world; particles recorded.
struct RiderWorld : ::testing::Test {
    RiderWorld() : w(FirstTrack(TrackKind::Outdoor), 1) {
        bike = w.AddBike(0, true);
        bike->laps.startRace = 1;
        rider = new CRiderModel(BikeWorld::IdOf(bike), RiderDescription());
        w.model->objects.push_back(rider);
        bike->rider = rider;
        particles::setSink(&sink);
        gameOptions.gameOptions |= bikeparticles::kGroundParticlesOption;
    }
    ~RiderWorld() override { particles::setSink(nullptr); }
    void Step(int n, bool accelerate = false) {
        for (int i = 0; i < n; ++i) {
            rider->placeOnBike();
            if (accelerate)
                w.Step({BikeWorld::Packet(bike, {BIKEACTION_ACCEL})});
            else
                w.Step();
        }
    }
    float Ground(const qzVector3d& p) { return w.world->getHeightAt(p.x, p.z); }
    BikeWorld w;
    KineticBike* bike = nullptr;
    CRiderModel* rider = nullptr;
    Recorder sink;
};

TEST_F(RiderWorld, DustAndMudFollowSpeedRiderKindAndLanding) {
    const qzVector3d at = bike->position;
    struct Row {
        float speed;
        bool cpu;
        size_t dust, mud;  // particles of one call at a full owed count
    } rows[] = {{1.388889f, true, 0, 0}, {9.9f, true, 3, 0}, {10.0f, true, 3, 1}, {20.0f, false, 3, 0}};
    for (const Row& r : rows) {
        bike->frame.linearVelocityMag = r.speed;
        bike->isCPU = r.cpu;
        bike->status.flags = 1u << BIKE_LAND;
        bike->ground.distToGround[1] = 0.0f;
        bike->particles.numBackDustParticles = 0.999f;
        bike->ground.wheelInfo[1].m_isInContact = true;
        sink.got.clear();
        bikeparticles::emitParticleTrail(*bike);
        size_t mud = 0;
        for (const auto& p : sink.got) mud += p.flags == bikeparticles::kMudFlags;
        EXPECT_EQ(sink.got.size() - mud, r.dust) << r.speed;
        EXPECT_EQ(mud, r.mud) << r.speed;
    }
    // A landing takes the ground colour at once; after it the filters drift from there.
    const qzVector3d c = w.world->getLocationPixelColor(at);
    ASSERT_GT(c.x + c.y + c.z, 0.0f);
    const particles::QuadParticle landed = sink.got.front();
    EXPECT_NEAR(landed.color.r, c.x, 8.0f);
    EXPECT_NEAR(landed.color.g, c.y, 8.0f);
    bike->status.flags = 0;
    bike->particles.particalFilterR.lo1 = 255.0f - bike->particles.particalFilterR.lo0;
    sink.got.clear();
    bike->particles.numBackDustParticles = 0.999f;
    bikeparticles::emitDust(*bike, at, &bike->particles.numBackDustParticles, bikeparticles::kWheelDustRate);
    ASSERT_FALSE(sink.got.empty());
    EXPECT_GT(sink.got.front().color.r, landed.color.r);
    // A slow bike owes a group only every few calls; the fraction carries.
    bike->frame.linearVelocityMag = 2.0f;
    bike->particles.numBackDustParticles = 0.0f;
    sink.got.clear();
    for (int i = 0; i < 120; ++i)
        bikeparticles::emitDust(*bike, at, &bike->particles.numBackDustParticles,
                                bikeparticles::kWheelDustRate);
    EXPECT_GT(sink.got.size(), 0u);
    EXPECT_LT(sink.got.size(), 3u * 30u);
    EXPECT_EQ(sink.got.size() % 3, 0u);
}

TEST(DustLife, EveryLoadLevelFadesToNothing) {
    for (int32_t level = particles::kVeryFast; level <= particles::kVerySlow; ++level) {
        const int32_t d = bikeparticles::DustDuration(level);
        ASSERT_GT(d, 0);
        const int fade = -bikeparticles::DustAlphaStep(d) * d;
        EXPECT_TRUE(fade >= 40 && fade <= 128) << level;
    }
}

// Axes set by hand: up (0, -1, 0), forward +z, right +x.
void Upright(CRiderModel& r) {
    r.upDir = qzVector3d(0.0f, -1.0f, 0.0f);
    r.forwardDir = qzVector3d(0.0f, 0.0f, 1.0f);
    r.rightDir = qzVector3d(1.0f, 0.0f, 0.0f);
}

TEST_F(RiderWorld, CrashPosesAndDamping) {
    Kinetic::RigidBody* body = rider->rider.get();
    Upright(*rider);
    struct Row {
        float wU, wR, speed;
        uint8_t onGround;
        RiderCrashState want;
    } rows[] = {
        {8.0f, 7.0f, 0.0f, 1, ONGROUND_ROLLING_LOG},        {7.0f, 8.0f, 0.0f, 0, INAIR_ROLLING_SOMMERSAULT},
        {0.0f, 0.0f, 0.1f, 0, ONGROUND_STANDING},           {0.0f, 0.0f, 3.0f, 0, INAIR_STANDING_FORWARD},
        {0.0f, 0.0f, -3.0f, 1, ONGROUND_STANDING_BACKWARD},
    };
    for (const Row& r : rows) {
        rider->crashCount = 0;
        rider->crashOnGround = r.onGround;
        body->m_angularVelocity = Kinetic::Vector3(r.wR, -r.wU, 0.0f);
        body->m_linearVelocity = Kinetic::Vector3(0.0f, 0.0f, r.speed);
        rider->setRiderCrashState();
        EXPECT_EQ(rider->riderCrashState, r.want) << r.wU << " " << r.wR << " " << r.speed;
    }
    // Rolling is entered above 15 / 2.16 rad/s and kept down to 5 / 2.16; a new pose waits for seven holds.
    const std::pair<float, bool> spins[] = {
        {6.0f, false}, {8.0f, true}, {3.0f, true}, {2.0f, false}, {3.0f, false}};
    for (const auto& [spin, rolling] : spins) {
        body->m_angularVelocity = Kinetic::Vector3(spin, 0.0f, 0.0f);
        rider->setRiderCrashState();
        EXPECT_EQ(ridercrash::IsRolling(rider->riderCrashState), rolling) << spin;
    }
    body->m_angularVelocity = Kinetic::Vector3(8.0f, 0.0f, 0.0f);
    rider->setRiderCrashState();
    EXPECT_EQ(rider->riderCrashState, ONGROUND_ROLLING_SOMMERSAULT);
    body->m_angularVelocity = Kinetic::Vector3(0.0f, 0.0f, 0.0f);
    body->m_linearVelocity = Kinetic::Vector3(0.0f, 0.0f, 3.0f);
    rider->setRiderCrashState();
    EXPECT_EQ(rider->riderCrashState, ONGROUND_STANDING_FORWARD);  // rolling changed: at once
    body->m_linearVelocity = Kinetic::Vector3(3.0f, 0.0f, 0.0f);
    int held = 0;
    for (; rider->riderCrashState == ONGROUND_STANDING_FORWARD && held < 20; ++held)
        rider->setRiderCrashState();
    EXPECT_EQ(held, 7);
    EXPECT_EQ(rider->riderCrashState, ONGROUND_STANDING_SIDEWAYS);

    // Past step 360: friction 0.125, spin caps 20, 10, 10 (times the decay); speed capped horizontally.
    bike->crash.crashCounter = 400;
    rider->crashVelocityMag = 6.0f;
    rider->crashPos = rider->position;
    rider->crashDistToGround = 500.0f;
    body->m_angularVelocity = Kinetic::Vector3(30.0f, -30.0f, 30.0f);
    body->m_linearVelocity = Kinetic::Vector3(8.0f, -20.0f, 6.0f);
    rider->dampenCrashVelocity();
    const float decay = 0.98f * 0.95f;
    const float cap = 37.037f / std::sqrt(3.0f);  // each axis after the overall cap
    EXPECT_FLOAT_EQ(body->m_friction, 0.125f);
    EXPECT_NEAR(body->m_angularVelocity.y, -std::min(cap, 20.0f) * decay, 1e-3f);
    EXPECT_NEAR(body->m_angularVelocity.z, std::min(cap, 10.0f) * decay, 1e-3f);
    EXPECT_NEAR(body->m_angularVelocity.x, std::min(cap, 10.0f) * decay, 1e-3f);
    EXPECT_NEAR(std::hypot(body->m_linearVelocity.x, body->m_linearVelocity.z), 6.0f, 1e-4f);
    EXPECT_FLOAT_EQ(body->m_linearVelocity.y, -4.62963f);
    // A rider not lying flat keeps turning at 2.31481 rad/s at least.
    rider->validCrashRestPos = 0;
    body->m_angularVelocity = Kinetic::Vector3(0.0f, 0.0f, 0.0f);
    rider->dampenCrashVelocity();
    EXPECT_NEAR(body->m_angularVelocity.length(), 2.31481f, 1e-4f);
}

TEST_F(RiderWorld, LaunchGroundBoxAndRestore) {
    Step(5);
    // Launch: 20 m/s is cut to 13.8889, then the downward part to 9.25926.
    bike->crash.preCrashVelocity = qzVector3d(0.0f, 16.0f, 12.0f);
    rider->riderState = CRiderModel::kLaunch;
    rider->update(0.0f);
    const Kinetic::Vector3 v = rider->rider->m_linearVelocity;
    EXPECT_FLOAT_EQ(rider->crashVelocityMag, 13.8889f);
    EXPECT_FLOAT_EQ(v.y, 9.25926f);
    EXPECT_NEAR(v.z, 12.0f * 13.8889f / 20.0f, 1e-4f);
    EXPECT_EQ(rider->riderState, CRiderModel::kFreeCrash);

    // The ground flags lag one call behind the heights (y points down: `high` is above the ground).
    rider->getBaseVectors();
    const float ground = Ground(rider->position);
    const float high = ground - 150.0f, sunk = ground + 100.0f;
    rider->position.y = high;
    rider->findDistancesToGround();
    rider->position.y = sunk;
    rider->findDistancesToGround();
    EXPECT_LT(rider->crashCornerDistToGround[0], 0.0f);
    EXPECT_EQ(rider->crashCornerOnGround[0], 0);
    rider->findDistancesToGround();
    EXPECT_EQ(rider->crashCornerOnGround[0], 1);

    // A valid free-crash step high above the ground, then sunk into it: back to the last valid state.
    rider->position.y = high;
    rider->updateKineticFromModelObject();
    rider->update(0.0f);
    const qzVector3d saved = rider->lastValidCrashPos, savedVel = rider->lastValidCrashLinearVel;
    EXPECT_LT(saved.y, ground - 100.0f);
    rider->position.y = sunk;
    rider->internalRiderPos = rider->position;
    rider->updateKineticFromModelObject();
    rider->update(0.0f);
    EXPECT_NEAR(rider->internalRiderPos.y, saved.y, 1.0f);
    EXPECT_NEAR(rider->rider->m_linearVelocity.z, savedVel.z, 1e-3f);
}

TEST_F(RiderWorld, ThrownOnACrashRestsOnTheGroundAndRidesAgain) {
    Step(200, true);
    ASSERT_EQ(rider->riderState, CRiderModel::kOnBike);
    bike->crash.postCrashCounter = bikecrash::kPostCrashSteps;
    bike->startCrash(0);
    ASSERT_EQ(bike->crash.crashState, 2u);
    std::vector<uint32_t> states;
    float farthest = 0.0f, restSpeed = 0.0f, restHeight = 0.0f;
    for (int i = 0; i < 400 && bike->crash.crashState != 4; ++i) {
        Step(1);
        if (states.empty() || states.back() != rider->riderState) states.push_back(rider->riderState);
        const qzVector3d d = rider->internalRiderPos - bike->position;
        farthest = std::max(farthest, std::sqrt(d.x * d.x + d.z * d.z));
        restSpeed = rider->rider->m_linearVelocity.length();
        restHeight = rider->crashDistToGround;
    }
    const std::vector<uint32_t> cycle = {CRiderModel::kCrashBegun, CRiderModel::kLaunch,
                                         CRiderModel::kFreeCrash, CRiderModel::kOnBike};
    EXPECT_EQ(states, cycle);
    EXPECT_GT(farthest, 150.0f);
    EXPECT_LT(restSpeed, 1.0f);
    EXPECT_NEAR(restHeight, 0.0f, 40.0f);
    EXPECT_EQ(rider->crashing, 0);
    Step(2);
    EXPECT_EQ(rider->riderState, CRiderModel::kOnBike);

    // The world edge takes the rider off at once; the throw hands over to the free crash after 61 updates
    // (the rider alone, the bike's phases set by hand).
    bike->crash.crashState = 1;
    bike->crash.worldEdgeCrashState = 0;
    auto updates = [&](int n) {
        for (int i = 0; i < n; ++i) rider->update(0.0f);
    };
    updates(1);
    EXPECT_EQ(rider->riderState, CRiderModel::kWorldEdgeThrow);
    bike->crash.worldEdgeCrashState = 1;
    bike->crash.crashState = 3;
    updates(61);
    EXPECT_EQ(rider->riderState, CRiderModel::kWorldEdgeThrow);
    updates(2);
    EXPECT_EQ(rider->riderState, CRiderModel::kFreeCrash);
}

}  // namespace
}  // namespace biketest
