// The ground under the bike: surface classes and grip of the terrain code under it, the speed penalty,
// its attitude against the slope, the wheels' heights over the terrain and the crash box.
#include <gtest/gtest.h>

#include <cmath>

#include "../support/bike_driver.h"
#include "../support/heap_image.h"
#include "bike/bike_terrain.h"
#include "bike/components/bands.h"
#include "bike_world.h"
#include "kinetic/vehicle/wheels_component.h"
#include "world/terrain_map_format.h"
#include "world/terrain_type.h"

namespace {

using namespace bike_terrain;
using biketest::UniformMap;

void ExpectRows(const TerrainFriction& f, int t, int d, const char* what) {
    const TurnFriction* tables[6] = {turnFriction, fromStopFriction, slideFriction,
                                     psFriction,   psbFriction,      pseFriction};
    const TurnFriction* got[6] = {&f.turn, &f.fromStop, &f.slide, &f.ps, &f.psb, &f.pse};
    for (int k = 0; k < 6; ++k)
        EXPECT_TRUE(got[k]->normal == tables[k][t].normal && got[k]->ang == tables[k][t].ang &&
                    got[k]->force == tables[k][t].force)
            << what << " table " << k;
    const auto& want = driveFriction[d];
    EXPECT_TRUE(f.drive.accel == want.accel && f.drive.brake == want.brake && f.drive.torque == want.torque)
        << what;
}

TEST(BikeTerrainTest, CodesFoldIntoTheirSurfaceClass) {
    // clang-format off
    struct Case { unsigned code, cls; };
    for (const Case& c : {Case{hardpack, 0}, Case{clay, 3}, Case{oil, 7}, Case{wetstuff, 0}, Case{wetHardpack, 0},
                          Case{wetSand, 4}, Case{wetGravel, 6}, Case{offtrack, 0}, Case{offCement, 1},
                          Case{offGrass, 5}, Case{offOil, 7}, Case{offwet, 0}, Case{offwetLoam, 2},
                          Case{offwetGravel, 6}, Case{95, 0}, Case{holeShot, 0}, Case{outOfBounds, 0},
                          Case{checkpoint0 + 3, 0}}) {
        // clang-format on
        EXPECT_EQ(getTerrainFrictionType(c.code), c.cls) << c.code;
        EXPECT_EQ(getTerrainParticleType(c.code), c.cls) << c.code;
    }
}

TEST(BikeTerrainTest, SurfaceUnderTheBikeSetsGripPenaltyAndTorque) {
    // clang-format off
    struct Case { uint8_t code; int traction; bool cpu; int turnRow, driveRow; float penalty, target; };  // after one sub-step
    const Case cases[] = {
        {loam, 0, false, 6, 6, 0, 0},        {clay, 0, false, 5, 5, 0, 0},
        {clay, 2, false, 6, 6, 0, 0},        {sand, 0, false, 3, 5, 0.2f, 20},
        {sand, 0, true, 3, 5, 0, 20},        {oil, 1, false, 2, 4, 0.2f, 35},
        {wetGrass, 1, false, 5, 6, 0.2f, 8}, {offSand, 2, true, 4, 4, 30, 20},
        {offtrack, 0, false, 6, 6, 0, 0},    {wetstuff, 0, false, 6, 6, 0, 0},
        {100, 0, false, 4, 4, 30, 0},
    };
    // clang-format on
    for (const Case& c : cases) {
        UniformMap map(c.code);
        KineticBike bike;
        CPowerBands band;
        bike.bikePowerBand = &band;
        bike.isCPU = c.cpu;
        bike.attributes.traction = c.traction;
        bike.ground.bikePos = qzVector3d(5000.0f, 0.0f, 7000.0f);
        bike.getTerrainType();
        EXPECT_EQ(bike.ground.terrainType, c.code);
        EXPECT_EQ(bike.ground.lastValidTerrainType, getTerrainFrictionType(c.code));
        ExpectRows(bike.tFriction, c.turnRow, c.driveRow, "rows");
        EXPECT_FLOAT_EQ(bike.ride.terrainMaxSpeedPenalty, c.penalty) << int(c.code);
        EXPECT_FLOAT_EQ(bike.ride.terrainMaxSpeedPenaltyTarget, c.target) << int(c.code);
        EXPECT_EQ(band.getTorque(1000), std::floor(3000.0f * driveFriction[c.driveRow].torque))
            << int(c.code);
        bike.bikePowerBand = nullptr;
    }
}

TEST(BikeTerrainTest, PenaltyClimbsOnSandAndDropsAtOnceOnHardpack) {
    KineticBike bike;
    auto steps = [&](uint8_t code, int n) {
        UniformMap map(code);
        for (int i = 0; i < n; ++i) bike.getTerrainType();
        EXPECT_EQ(bike.ground.terrainType, code);
        return bike.ride.terrainMaxSpeedPenalty;
    };
    EXPECT_LT(steps(sand, 99), 20.0f);
    EXPECT_NEAR(steps(sand, 1), 20.0f, 1e-4f);
    EXPECT_FLOAT_EQ(steps(sand, 10), 20.0f);
    EXPECT_EQ(steps(hardpack, 1), 0.0f);
    EXPECT_FLOAT_EQ(steps(sand, 1), 0.2f);
    EXPECT_EQ(steps(offLoam, 1), 30.0f);
}

// A bike on the generated outdoor world with its terrain map, for the height and attitude checks.
class BikeGroundTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        world_ = new biketest::BikeWorld(biketest::FirstTrack(TrackKind::Outdoor), 1);
    }
    static void TearDownTestSuite() {
        delete world_;
        world_ = nullptr;
    }
    CWorldModel& World() const { return *world_->world; }
    // A point on the lap's centre line.
    static qzVector3d Centre(size_t i) {
        const CentrePoint& c = world_->design.centre[i];
        return qzVector3d(c.x, 0.0f, c.z);
    }
    static biketest::BikeWorld* world_;
};
biketest::BikeWorld* BikeGroundTest::world_ = nullptr;

TEST_F(BikeGroundTest, WheelHeightsFollowContactAndTheTerrain) {
    KineticBike* bike = world_->AddBike(0, false);
    ASSERT_NE(bike, nullptr);
    const float r = 100.0f * bike->m_wheels->m_wheelsRadius[1];
    // clang-format off
    struct Case { float above[2]; bool contact[2]; float level[2], ground[2], minGround; };  // wheel bottom above the terrain
    const Case cases[] = {
        {{40, -25}, {false, false}, {40, -25}, {40, 0}, 0},  // in the air, the rear over higher ground
        {{40, 12}, {false, false}, {40, 12}, {40, 12}, 12},  // both in the air
        {{300, 3}, {false, true}, {300, 0}, {300, 0}, 0},    // touching over a dip, the front high
        {{-4, -2}, {true, true}, {-4, -2}, {0, 0}, 0},       // pressed into the ground
    };
    // clang-format on
    for (const Case& c : cases) {
        for (int i = 0; i < 2; ++i) {
            const qzVector3d p = Centre(40 + static_cast<size_t>(i) * 3);
            bike->ground.wheelPos[i] = qzVector3d(p.x, World().getHeightAt(p.x, p.z) - r - c.above[i], p.z);
            bike->ground.wheelInfo[i].m_isInContact = c.contact[i];
        }
        for (bool withNormals : {false, true}) {
            withNormals ? bike->bikeTerrainInfo() : bike->findDistancesToGround();
            for (int i = 0; i < 2; ++i) {
                EXPECT_NEAR(bike->ground.distToGroundLevel[i], c.level[i], 0.01f) << c.above[i];
                EXPECT_NEAR(bike->ground.distToGround[i], c.ground[i], 0.01f) << c.above[i];
            }
            EXPECT_NEAR(bike->ground.minDistToGround, c.minGround, 0.01f);
            EXPECT_EQ(bike->ground.minDistToGroundLevel,
                      std::fmin(bike->ground.distToGroundLevel[0], bike->ground.distToGroundLevel[1]));
            EXPECT_EQ(bike->ground.maxDistToGroundLevel,
                      std::fmax(bike->ground.distToGroundLevel[0], bike->ground.distToGroundLevel[1]));
        }
    }
    // A touching wheel 80 units over the terrain stands on a track object; held throttle counts it.
    bike->ground.wheelPos[1].y -= 80.0f;
    bike->input.bikePacket = 1u << BIKEACTION_ACCEL;
    bike->bikeTerrainInfo();
    bike->bikeTerrainInfo();
    EXPECT_EQ(bike->ground.drivingOnObject, 1);
    EXPECT_EQ(bike->ground.drivingOnObjectCounter, 2);
    world_->RemoveBike(bike);
}

TEST_F(BikeGroundTest, AttitudeAgainstTheSlope) {
    KineticBike bike;
    // Along the lap at a sloping stretch: the slope from the heights a metre either side of the wheels.
    const CentrePoint& c = world_->design.centre[60];
    const qzVector3d f(c.dirX, 0.0f, c.dirZ), p(c.x, 0.0f, c.z);
    auto up = [&](float along) { return -World().getHeightAt(p.x + f.x * along, p.z + f.z * along); };
    // The sign of the measured slope against the lap's direction; the bike's own pitch: level or upside down.
    struct Case {
        qzVector3d forward, upAxis;
        float sign, pitch;
    };
    const qzVector3d down(0.0f, 1.0f, 0.0f), upward(0.0f, -1.0f, 0.0f);
    for (const Case& k :
         {Case{f, upward, 1.0f, 0.0f}, Case{f, down, -1.0f, 180.0f}, Case{f * -1.0f, upward, -1.0f, 0.0f}}) {
        bike.frame.forwardDir = k.forward;
        bike.frame.upDir = k.upAxis;
        bike.frame.rightDir = qzVector3d(f.z, 0.0f, -f.x);
        bike.ground.wheelPos[0] = p + f * 84.0f;
        bike.ground.wheelPos[1] = p - f * 84.0f;
        bike.bikeTerrainInfo();
        const float rise0 = std::atan2(up(134.0f) - up(34.0f), 100.0f) * 57.29578f;
        const float rise1 = std::atan2(up(-34.0f) - up(-134.0f), 100.0f) * 57.29578f;
        EXPECT_TRUE(std::fabs(bike.ground.terrainPitch[0] - k.sign * rise0) < 1.0f &&
                    std::fabs(bike.ground.terrainPitch[1] - k.sign * rise1) < 1.0f &&
                    std::fabs(bike.ground.bikePitch) == k.pitch)
            << k.sign << " " << bike.ground.terrainPitch[0] << " " << bike.ground.terrainPitch[1] << " "
            << bike.ground.bikePitch;
        EXPECT_EQ(bike.ground.levelGround, std::fabs(bike.ground.terrainPitchAvg) < 10.0f);
        EXPECT_EQ(bike.ground.lastBikeRelativePitch[0], bike.ground.terrainPitchAvg - bike.ground.bikePitch);
    }
    // Rounding past a unit dot product gives a square angle, not NaN; the histories shift.
    bike.frame.rightDir = qzVector3d(0.0f, -1.0000002f, 0.0f);
    bike.bikeTerrainInfo();
    EXPECT_FLOAT_EQ(bike.ground.bikeRoll, 90.0f);
    EXPECT_FLOAT_EQ(bike.ground.lastBikeRoll[0], 90.0f);
    EXPECT_EQ(bike.ground.lastBikeRoll[1], 0.0f);
    EXPECT_FALSE(std::isnan(bike.ground.terrainRoll));
}

TEST_F(BikeGroundTest, CrashBoxFindsTheLowestCornersAndRestOnItsSide) {
    KineticBike bike;
    bike.wheelBase = 168.0f;
    bike.bikeLength = 240.0f;
    const qzVector3d p = Centre(30);
    const float h = World().getHeightAt(p.x, p.z);
    bike.frame.forwardDir = qzVector3d(1.0f, 0.0f, 0.0f);
    // Riding (state 0): nothing measured.
    bike.crash.crashOnGround = bike.crash.crashMoving = 1;
    bike.crashFindDistancesToGround();
    EXPECT_EQ(bike.crash.crashOnGround + bike.crash.crashMoving, 0);
    // clang-format off
    struct Case { qzVector3d upAxis, right; float lift; bool rest; };  // of the bike's origin above the ground
    // Upright on its wheels (the box bottom is 30 below the origin), then lying on its right side.
    for (const Case& c : {Case{{0, -1, 0}, {0, 0, 1}, 20.0f, false}, Case{{0, 0, 1}, {0, 1, 0}, 20.0f, true}}) {
        // clang-format on
        bike.crash.crashState = 2;
        bike.frame.upDir = c.upAxis;
        bike.frame.rightDir = c.right;
        bike.ground.bikePos = qzVector3d(p.x, h - c.lift, p.z);
        for (int k = 0; k < 8; ++k) bike.crash.crashCornerDistToGround[k] = 0.0f;
        bike.frame.linearVelocityMag = 0.5f;
        bike.crashFindDistancesToGround();
        EXPECT_EQ(bike.reset.validCrashRestPos, c.rest);
        EXPECT_EQ(bike.crash.crashMoving, 0);
        for (int j = 0; j < 8; ++j) EXPECT_EQ(bike.crash.crashCornerOnGround[j], 0) << "before any distance";
        for (int j = 1; j < 8; ++j)
            EXPECT_LE(bike.crash.crashCornerDistToGround[j - 1], bike.crash.crashCornerDistToGround[j]);
        EXPECT_EQ(bike.crash.crashDistToGround, bike.crash.crashCornerDistToGround[0]);
        EXPECT_EQ(bike.crash.crashOnGround, bike.crash.crashDistToGround < 0.0f);
        const float lowest = World().getHeightAt(bike.crash.crashCorner[0].x, bike.crash.crashCorner[0].z) -
                             bike.crash.crashCorner[0].y;
        EXPECT_FLOAT_EQ(lowest, bike.crash.crashDistToGround);
        // The flags lag one call: the second call reports the corners the first found below ground.
        int below = 0;
        for (float d : bike.crash.crashCornerDistToGround) below += d < 0.0f;
        bike.crashFindDistancesToGround();
        int flagged = 0;
        for (uint8_t f : bike.crash.crashCornerOnGround) flagged += f;
        EXPECT_EQ(flagged, below);
        EXPECT_GT(below, 0);
    }
}

}  // namespace
