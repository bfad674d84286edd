// Bikes driven by the headless driver on a generated outdoor track: a rider following the racing line
// with a simple steering rule rides a whole lap on the track surface.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>

#include "../support/bike_driver.h"
#include "bike/bike_control.h"
#include "bike/bike_turning.h"
#include "world/spline_manager.h"

namespace {

using namespace biketest;

// Progress along the lap's centre line, in centre points, from the nearest point ahead of the last one.
struct LapProgress {
    const std::vector<CentrePoint>& centre;
    size_t at = 0;
    size_t passed = 0;
    void update(const qzVector3d& p) {
        const size_t n = centre.size();
        auto d2 = [&](size_t i) {
            const CentrePoint& c = centre[i % n];
            return (c.x - p.x) * (c.x - p.x) + (c.z - p.z) * (c.z - p.z);
        };
        size_t best = at;
        for (size_t k = 1; k < 20; ++k)
            if (d2(at + k) < d2(best)) best = at + k;
        passed += best - at;
        at = best % n;
    }
};

TEST(BikeRideTest, RacingLineRiderCompletesALapOnTheTrack) {
    BikeDriver driver(FirstTrack(TrackKind::Outdoor), 1);
    ASSERT_TRUE(driver.attached);
    const std::vector<qzVector3d> line = RacingLine(driver.world.design, CSplineManager::MedOne);
    driver.Add(LineFollower(line));
    LapProgress lap{driver.world.design.centre};
    int offRun = 0, worstOffRun = 0, steps = 0;
    const int limit = 60 * 300;
    while (lap.passed < lap.centre.size() && steps < limit) {
        driver.Run(1);
        ++steps;
        const Sample& s = driver.traces[0].back();
        lap.update(s.position);
        offRun = OnTrack(s.terrainType) ? 0 : offRun + 1;
        worstOffRun = std::max(worstOffRun, offRun);
    }
    RecordProperty("lap_seconds", std::to_string(steps / 60.0f));
    RecordProperty("longest_off_track_steps", worstOffRun);
    EXPECT_GE(lap.passed, lap.centre.size()) << "lap not finished in " << limit / 60 << " s";
    EXPECT_LE(worstOffRun, 60) << "steps off the track in a row; lap " << lap.passed << "/"
                               << lap.centre.size() << " in " << steps << " steps";
}

// The racing-line rider on full throttle for 30 s, a nitro pressed at 20 s when `nitro` is set, then
// full brakes; each step's sample and nitro state.
struct Ride {
    std::vector<Sample> trace;
    std::vector<NitroState> nitro;
    float limit = 0.0f;  // the class's maximum speed, m/s
    int nitrosLeft = 0;
};
constexpr int kNitroAt = 60 * 20, kBrakeAt = 60 * 30, kRideSteps = 60 * 34;

Ride RideWithNitro(bool nitro) {
    BikeDriver driver(FirstTrack(TrackKind::Outdoor), 1);
    const std::vector<qzVector3d> line = RacingLine(driver.world.design, CSplineManager::MedOne);
    const Rider follow = LineFollower(line);
    driver.Add([&](const KineticBike& b, int step) {
        if (step >= kBrakeAt) return Input::Of({BIKEACTION_BRAKE});
        Input in = follow(b, step);
        in.actions &= ~(1u << BIKEACTION_BRAKE);
        in.actions |= 1u << BIKEACTION_ACCEL;
        in.accel = 255;
        if (nitro && step == kNitroAt) in.actions |= 1u << BIKEACTION_NITRO;
        return in;
    });
    KineticBike& bike = *driver.bikes[0];
    bike.ride.nitrosAvailable = 1;
    Ride r;
    r.limit = bike.attributes.maximumSpeed / 2.16f;
    for (int i = 0; i < kRideSteps; ++i) {
        driver.Run(1);
        r.nitro.push_back(bike.ride.nitroState);
    }
    r.trace = driver.traces[0];
    r.nitrosLeft = bike.ride.nitrosAvailable;
    return r;
}

TEST(BikeRideTest, ScriptedRunAcceleratesIsBoostedByNitroAndBrakes) {
    const Ride plain = RideWithNitro(false), boosted = RideWithNitro(true);
    const std::vector<Sample>& t = boosted.trace;
    const auto bit = [](int b) { return 1u << b; };
    EXPECT_EQ(t[120].flags & (bit(BIKE_ACCEL) | bit(BIKE_BRAKING) | bit(BIKE_DECEL)), bit(BIKE_ACCEL));
    EXPECT_TRUE(t[120].flags & bit(BIKE_ON_GROUND));
    unsigned topGear = 0;
    float fastest = 0.0f;
    for (const Sample& s : plain.trace) {
        topGear = std::max(topGear, s.gear);
        fastest = std::max(fastest, s.speed);
    }
    EXPECT_EQ(topGear, 3u) << "through the four gears";
    EXPECT_LE(fastest, plain.limit * 1.001f) << "the class's maximum speed";
    // The same ride until the nitro; then the boost ramps up, holds and ramps down.
    EXPECT_EQ(plain.trace[kNitroAt - 1].position.x, t[kNitroAt - 1].position.x);
    EXPECT_TRUE(t[kNitroAt].flags & bit(BIKE_NITRO_BOOST));
    EXPECT_FALSE(t[kNitroAt + 1].flags & bit(BIKE_NITRO_BOOST));
    EXPECT_EQ(boosted.nitro[kNitroAt], RAMP_UP_NITRO);
    EXPECT_EQ(boosted.nitro[kNitroAt + 90], MID_NITRO);
    EXPECT_EQ(boosted.nitro[kBrakeAt], NO_NITRO) << "ramped down";
    EXPECT_EQ(boosted.nitrosLeft, 0);
    EXPECT_EQ(plain.nitro[kNitroAt], NO_NITRO);
    EXPECT_GT(t[kNitroAt + 60].speed, plain.trace[kNitroAt + 60].speed + 0.5f) << "m/s";
    // Full brakes: braking flags and a stop.
    EXPECT_EQ(t[kBrakeAt + 10].flags & (bit(BIKE_ACCEL) | bit(BIKE_BRAKING) | bit(BIKE_DECEL)),
              bit(BIKE_BRAKING) | bit(BIKE_DECEL));
    EXPECT_LT(t.back().speed, 0.3f);
    RecordProperty("top_speed_mps", std::to_string(fastest));
    RecordProperty("nitro_gain_after_1s_mps",
                   std::to_string(t[kNitroAt + 60].speed - plain.trace[kNitroAt + 60].speed));
}

// The racing-line rider on full throttle for 8 s on the track's own surface (code 0) or with one code
// everywhere: the fastest speed, m/s, and the code under the bike at the end.
struct SurfaceRide {
    float fastest = 0.0f, limit = 0.0f;
    uint32_t code = 0;  // under the bike at the end
};
SurfaceRide RideOn(uint8_t code) {
    BikeDriver driver(FirstTrack(TrackKind::Outdoor), 1);
    std::unique_ptr<UniformMap> map;
    if (code) map = std::make_unique<UniformMap>(code);
    const std::vector<qzVector3d> line = RacingLine(driver.world.design, CSplineManager::MedOne);
    const Rider follow = LineFollower(line);
    driver.Add([&](const KineticBike& b, int step) {
        Input in = follow(b, step);
        in.actions = (in.actions & ~(1u << BIKEACTION_BRAKE)) | 1u << BIKEACTION_ACCEL;
        return in;
    });
    SurfaceRide r;
    const KineticBike& b = *driver.bikes[0];
    r.limit = b.attributes.maximumSpeed / 2.16f;
    driver.Run(480);
    for (const Sample& t : driver.traces[0]) r.fastest = std::max(r.fastest, t.speed);
    r.code = driver.traces[0].back().terrainType;
    return r;
}

// Off the track (wet loam beside it) the top speed falls by the off-track penalty; the track surface
// keeps the class's top speed.
TEST(BikeRideTest, OffTrackSurfaceSlowsTheBike) {
    const SurfaceRide track = RideOn(0), off = RideOn(offwetLoam);
    EXPECT_TRUE(OnTrack(track.code)) << track.code;
    EXPECT_EQ(off.code, offwetLoam);
    EXPECT_GT(track.fastest, track.limit * 0.95f);
    EXPECT_LE(off.fastest, (track.limit * 2.16f - 30.0f) / 2.16f * 1.001f) << "off-track penalty";
    RecordProperty("fastest_track_mps", std::to_string(track.fastest));
    RecordProperty("fastest_off_mps", std::to_string(off.fastest));
}

}  // namespace

// Scripted moves on the outdoor track: the racing-line rider on full throttle for `lead` steps, then the
// move's actions for `hold` steps (pressed at 150 for the first `soft` of them); the handling state, the
// turn kind and the flag word (within `mask`) at the move's last step are those the handling gives for
// the move, and so is the bike's `measure` when the move names one.
TEST(BikeRideTest, ScriptedMovesGiveTheirStatesAndFlags) {
    const auto bit = [](int b) { return 1u << b; };
    constexpr uint32_t kAnyKind = 99;
    struct Move {
        const char* name;
        int lead, hold;
        std::initializer_list<int> actions;
        uint8_t press;  // turn amount byte
        uint32_t state, kind, want, mask;
        int soft = 0;
        float (*measure)(const KineticBike&) = nullptr;
        float lo = 0.0f, hi = 0.0f;
    };
    const uint32_t airFlags = bit(BIKE_INAIR) | bit(BIKE_OFF_GROUND) | bit(BIKE_ON_GROUND) |
                              bit(BIKE_LEFT_TURN) | bit(BIKE_RIGHT_TURN) | bit(BIKE_ACCEL);
    const auto whipPercent = [](const KineticBike& b) { return b.air.inAirWhipPercent; };
    const auto turned = [](const KineticBike& b) { return b.ride.eventFromStartAngle; };  // degrees, left < 0
    const uint32_t turnFlags = bit(BIKE_LEFT_TURN) | bit(BIKE_RIGHT_TURN) | bit(BIKE_POWERSLIDE_LEFT) |
                               bit(BIKE_POWERSLIDE_RIGHT) | bit(BIKE_WHEELIE) | bit(BIKE_STOPPIE) |
                               bit(BIKE_ON_GROUND) | bit(BIKE_ACCEL) | bit(BIKE_BRAKING);
    const uint32_t left = bit(BIKE_LEFT_TURN), right = bit(BIKE_RIGHT_TURN), ground = bit(BIKE_ON_GROUND),
                   accel = bit(BIKE_ACCEL), air = bit(BIKE_INAIR) | bit(BIKE_OFF_GROUND) | accel;
    // clang-format off
    const Move moves[] = {
        {"launch turn", 14, 3, {BIKEACTION_ACCEL, BIKEACTION_LEFT_TURN}, 255,
         BIKESTATE_LEFT_TURN, TURN_LAUNCH, left | ground | accel, turnFlags},
        {"launch with both pedals", 14, 3, {BIKEACTION_ACCEL, BIKEACTION_BRAKE, BIKEACTION_RIGHT_TURN}, 255,
         BIKESTATE_RIGHT_TURN, TURN_LAUNCH_BRAKE_ACCEL, right | ground | accel | bit(BIKE_BRAKING), turnFlags},
        {"launch slide", 14, 3, {BIKEACTION_ACCEL, BIKEACTION_LEFT_TURN, BIKEACTION_LEFT_POWERSLIDE_ACCEL}, 255,
         BIKESTATE_LEFT_TURN, TURN_LAUNCH_SLIDE, left | ground | accel, turnFlags},
        {"launch slide with brake", 14, 3,
         {BIKEACTION_ACCEL, BIKEACTION_LEFT_TURN, BIKEACTION_LEFT_POWERSLIDE_ACCEL_BRAKE}, 255,
         BIKESTATE_LEFT_TURN, TURN_LAUNCH_SLIDE_BRAKE, left | ground | accel, turnFlags},
        {"normal turn", 240, 10, {BIKEACTION_ACCEL, BIKEACTION_RIGHT_TURN}, 150,
         BIKESTATE_RIGHT_TURN, TURN_NORMAL, right | ground | accel, turnFlags},
        {"wheelie", 240, 20, {BIKEACTION_ACCEL, BIKEACTION_WHEELIE}, 0, BIKESTATE_WHEELIE, kAnyKind,
         bit(BIKE_WHEELIE) | accel, bit(BIKE_WHEELIE) | bit(BIKE_STOPPIE) | accel},
        {"wheelie turn", 240, 20, {BIKEACTION_ACCEL, BIKEACTION_WHEELIE, BIKEACTION_LEFT_TURN}, 200,
         BIKESTATE_WHEELIE_LEFT, kAnyKind, bit(BIKE_WHEELIE) | left, bit(BIKE_WHEELIE) | left | right},
        {"stoppie", 240, 10, {BIKEACTION_STOPPIE}, 0, BIKESTATE_STOPPIE, kAnyKind,
         bit(BIKE_STOPPIE) | bit(BIKE_DECEL), bit(BIKE_STOPPIE) | bit(BIKE_WHEELIE) | bit(BIKE_DECEL)},
        // A harder press all at once above 23.15 m/s: the normal turn becomes a sharp one.
        {"sharp turn", 240, 15, {BIKEACTION_ACCEL, BIKEACTION_RIGHT_TURN}, 255,
         BIKESTATE_RIGHT_TURN, TURN_SHARP, right | ground | accel, turnFlags, 5},
        // Power slides at 34 m/s; the rider comes in on a 2-step left turn, so the slide is ridden as a
        // turn while the turn count reaches 18 (to step 416), then slides.
        {"slide run-in", 400, 10, {BIKEACTION_ACCEL, BIKEACTION_LEFT_POWERSLIDE_ACCEL}, 255,
         BIKESTATE_LEFT_POWERSLIDE_ACCEL, kAnyKind, left | ground | accel, turnFlags},
        {"accelerating slide", 400, 30, {BIKEACTION_ACCEL, BIKEACTION_LEFT_POWERSLIDE_ACCEL}, 255,
         BIKESTATE_LEFT_POWERSLIDE_ACCEL, kAnyKind, bit(BIKE_POWERSLIDE_LEFT) | ground | accel, turnFlags},
        {"braking slide", 400, 35, {BIKEACTION_RIGHT_POWERSLIDE_BRAKE}, 255,
         BIKESTATE_RIGHT_POWERSLIDE_BRAKE, kAnyKind, bit(BIKE_POWERSLIDE_RIGHT) | ground, turnFlags},
        // Off the big tabletop (take-off at step 581): an air turn leans the bike its way, a whip swings
        // the heading round; neither is a turn flag.
        {"air turn left", 590, 30, {BIKEACTION_ACCEL, BIKEACTION_LEFT_TURN}, 255,
         BIKESTATE_IN_AIR, kAnyKind, air, airFlags, 0, whipPercent, 0.2f, 0.6f},
        {"air turn right", 590, 30, {BIKEACTION_ACCEL, BIKEACTION_RIGHT_TURN}, 255,
         BIKESTATE_IN_AIR, kAnyKind, air, airFlags, 0, whipPercent, -0.6f, -0.2f},
        {"whip left", 590, 30, {BIKEACTION_ACCEL, BIKEACTION_LEFT_TURN, BIKEACTION_WHIP}, 255,
         BIKESTATE_IN_AIR, kAnyKind, air, airFlags, 0, turned, -90.0f, -30.0f},
    };
    // clang-format on
    for (const Move& m : moves) {
        BikeDriver driver(FirstTrack(TrackKind::Outdoor), 1);
        const std::vector<qzVector3d> line = RacingLine(driver.world.design, CSplineManager::MedOne);
        const Rider follow = LineFollower(line);
        driver.Add([&](const KineticBike& b, int step) {
            const uint8_t press = step < m.lead + m.soft ? 150 : m.press;
            if (step >= m.lead) return Input::Of(m.actions, press, press);
            Input in = follow(b, step);
            in.actions = (in.actions & ~(1u << BIKEACTION_BRAKE)) | 1u << BIKEACTION_ACCEL;
            return in;
        });
        driver.Run(m.lead + m.hold);
        const KineticBike& b = *driver.bikes[0];
        const Sample& s = driver.traces[0].back();
        EXPECT_EQ(s.bikeState, m.state) << m.name;
        if (m.kind != kAnyKind) {
            EXPECT_EQ(m.state == BIKESTATE_LEFT_TURN ? b.ride.leftTurnType : b.ride.rightTurnType, m.kind)
                << m.name;
        }
        EXPECT_EQ(s.flags & m.mask, m.want) << m.name << " flags " << std::hex << s.flags;
        if (m.measure) {
            EXPECT_GE(m.measure(b), m.lo) << m.name;
            EXPECT_LE(m.measure(b), m.hi) << m.name;
        }
        RecordProperty(std::string("speed_") + m.name, std::to_string(driver.traces[0][m.lead].speed));
    }
}
