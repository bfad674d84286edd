// A headless bike driver for tests and benchmarks: bikes on one of the disc's generated worlds (the
// bike tests' race stand-in, with the world's terrain map attached as the race attaches it), each fed
// by its own script of action packets and stepped together at 60 Hz. Each step can be recorded per bike:
// position, speed, engine RPM, gear, flags and handling state.
#pragma once

#include <cmath>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <vector>

#include "../bike/bike_world.h"
#include "game/files/file_manager.h"
#include "heap_image.h"
#include "kinetic/vehicle/transmission_component.h"
#include "world/terrain_map_format.h"
#include "world/terrain_type.h"
#include "world/world_file_format.h"

namespace biketest {

// What a rider presses in one step: action bits and the packet's amount bytes.
struct Input {
    uint32_t actions = 0;
    uint8_t accel = 255, brake = 255, left = 0, right = 0;
    uint8_t forward = 0, back = 0;  // the lean amounts of BIKEACTION_FORWARD and BIKEACTION_BACK

    static Input Of(std::initializer_list<int> list, uint8_t left = 0, uint8_t right = 0) {
        Input in;
        for (int a : list) in.actions |= 1u << a;
        in.left = left;
        in.right = right;
        return in;
    }
};

// A stretch of a script: the same input for `steps` steps.
struct Segment {
    int steps;
    Input input;
};

// A rider: the input for a bike at a given step of the run.
using Rider = std::function<Input(const KineticBike&, int step)>;

// A rider playing segments one after another, then no input.
inline Rider Script(std::vector<Segment> segments) {
    return [segments = std::move(segments)](const KineticBike&, int step) {
        for (const Segment& s : segments) {
            if (step < s.steps) return s.input;
            step -= s.steps;
        }
        return Input{};
    };
}

// The state of one bike after one step.
struct Sample {
    qzVector3d position;
    float speed;  // m/s
    float rpm;
    uint32_t gear;
    uint32_t flags;
    uint32_t bikeState;
    uint32_t terrainType;
};

// The code is a riding surface (not off the track, not out of bounds).
inline bool OnTrack(unsigned code) {
    return !(code >= offtrack && code <= 107) && code != autoCrash && code != outOfBounds;
}

class BikeDriver {
public:
    BikeDriver(const TrackSpec& spec, unsigned racers)
        : world(spec, racers), image_(PackWorld(world.design)) {
        const WorldCheck c = CheckWorldFile(image_.p, static_cast<uint32_t>(image_.size));
        CFileManager* fm = GetFileManager();
        const int map = fm->getLabelIndex(image_.p, worldfile::kLabelTerrainMap);
        CTerrainType::resetStatics();
        attached =
            c.ok && CTerrainType::getInstance()->setPointer(
                        fm->loadSubFile(image_.p, static_cast<unsigned>(map)),
                        static_cast<size_t>(c.layout.terrainMapLength), c.layout.numTiles, c.layout.gridSize);
    }
    ~BikeDriver() { CTerrainType::resetStatics(); }
    BikeDriver(const BikeDriver&) = delete;
    BikeDriver& operator=(const BikeDriver&) = delete;

    // A racer on the grid with its rider; returns its index among the driver's bikes.
    size_t Add(Rider rider, bool cpu = false) {
        bikes.push_back(world.AddBike(static_cast<unsigned>(bikes.size()), cpu));
        bikes.back()->laps.startRace = 1;  // the race is on: no hold at the grid
        riders.push_back(std::move(rider));
        traces.emplace_back();
        return bikes.size() - 1;
    }

    // `n` steps of every bike; records each bike's sample when `record` is set.
    void Run(int n, bool record = true) {
        std::vector<CPacket> packets;
        packets.reserve(bikes.size());
        for (int k = 0; k < n; ++k, ++step) {
            packets.clear();
            for (size_t i = 0; i < bikes.size(); ++i) {
                const Input in = riders[i](*bikes[i], step);
                const unsigned char parms[10] = {in.forward, in.back, in.left, in.right, in.accel,
                                                 in.brake,   0,       0,       0,        0};
                packets.emplace_back(BikeWorld::IdOf(bikes[i]), PKT_ACTION, static_cast<int>(in.actions),
                                     parms);
            }
            world.Step(packets);
            if (!record) continue;
            for (size_t i = 0; i < bikes.size(); ++i) traces[i].push_back(SampleOf(*bikes[i]));
        }
    }

    static Sample SampleOf(const KineticBike& b) {
        const auto* box = b.m_transmission;
        return Sample{b.position,
                      b.chassis->m_linearVelocity.length(),
                      box ? box->m_transmissionRPM : 0.0f,
                      box ? box->m_currentGear : 0u,
                      b.status.flags,
                      b.ride.bikeState,
                      CTerrainType::getInstance()->getTypeAtPoint(b.position.x, b.position.z)};
    }

    BikeWorld world;
    bool attached = false;  // the terrain map is attached
    int step = 0;
    std::vector<KineticBike*> bikes;
    std::vector<Rider> riders;
    std::vector<std::vector<Sample>> traces;

private:
    testsupport::HeapImage image_;
};

// A terrain map of one code everywhere (on a world of 3 x 3 tiles, grid 100), attached for the life of
// the object in place of the world's own.
struct UniformMap {
    explicit UniformMap(uint8_t code)
        : image(terrainmap::WriteMap(
              std::vector<uint8_t>(size_t(terrainmap::kSide) * terrainmap::kSide, code))) {
        CTerrainType::resetStatics();
        CTerrainType::getInstance()->setPointer(image.p, image.size, 9, 100);
    }
    ~UniformMap() { CTerrainType::resetStatics(); }
    testsupport::HeapImage image;
};

// A rider following a polyline (world units, up ignored) with a simple rule: aim at the point `ahead`
// units further along the line from the nearest one and steer towards it in proportion to the angle;
// take the bend after that point at a speed (at most `top` m/s) that falls with its sharpness, braking
// when faster. `line` must outlive the rider.
inline Rider LineFollower(const std::vector<qzVector3d>& line, float ahead = 900.0f,
                          float rampHeight = 100.0f, float rampSpeed = 9.0f, float top = 24.0f) {
    auto at = std::make_shared<size_t>(0);
    return [&line, ahead, rampHeight, rampSpeed, top, at](const KineticBike& b, int) {
        const size_t n = line.size();
        auto dist2 = [&](size_t i, const qzVector3d& from) {
            const float dx = line[i % n].x - from.x, dz = line[i % n].z - from.z;
            return dx * dx + dz * dz;
        };
        auto wrap = [](float a) {
            while (a > 3.14159265f) a -= 6.2831853f;
            while (a < -3.14159265f) a += 6.2831853f;
            return a;
        };
        auto bearing = [](const qzVector3d& from, const qzVector3d& to) {
            return std::atan2(to.x - from.x, to.z - from.z);
        };
        // The nearest point, searching forward from the last one.
        size_t best = *at;
        for (size_t k = 1; k < 40; ++k)
            if (dist2(*at + k, b.position) < dist2(best, b.position)) best = *at + k;
        *at = best % n;
        size_t aim = *at;
        while (dist2(aim, b.position) < ahead * ahead && aim < *at + n / 4) ++aim;
        size_t after = aim;
        while (dist2(after, line[aim % n]) < ahead * ahead && after < aim + n / 4) ++after;
        const qzVector3d& p = line[aim % n];
        const float err =
            wrap(bearing(b.position, p) - std::atan2(b.frame.forwardDir.x, b.frame.forwardDir.z));
        const float bend = std::fabs(wrap(bearing(p, line[after % n]) - bearing(b.position, p)));
        // Heading grows towards +x from +z: a right turn (as the bike's steering counts it) is positive.
        const float amount = std::fmin(1.0f, std::fabs(err) * 3.0f);
        const auto byte = static_cast<uint8_t>(amount < 0.05f ? 0 : 60 + amount * 195.0f);
        // Ramps: the line climbs or drops more than a metre over the stretch ahead.
        float ramp = 0.0f;
        for (size_t i = *at; i <= after; ++i) ramp = std::fmax(ramp, std::fabs(line[i % n].y - b.position.y));
        float target = top - 16.0f * std::fmin(1.0f, (bend + std::fabs(err)) / 1.2f);  // m/s
        if (ramp > rampHeight) target = std::fmin(target, rampSpeed);
        const float speed = b.frame.linearVelocityMag;
        Input in = Input::Of({speed > target + 1.0f ? BIKEACTION_BRAKE : BIKEACTION_ACCEL});
        if (byte) in.actions |= 1u << (err > 0.0f ? BIKEACTION_RIGHT_TURN : BIKEACTION_LEFT_TURN);
        in.left = in.right = byte;
        in.brake = 160;
        // In the air: throttle off, and the bike levelled with the ground below.
        if (b.air.inAir) {
            in.actions &= ~(1u << BIKEACTION_ACCEL);
            if (b.ground.bikeRelativePitch < -10.0f) in.actions |= 1u << BIKEACTION_FORWARD;
            if (b.ground.bikeRelativePitch > 10.0f) in.actions |= 1u << BIKEACTION_BACK;
            in.forward = in.back = 232;
        }
        return in;
    };
}

// The design's racing line `k` (a spline of the world) as world points.
inline std::vector<qzVector3d> RacingLine(const TrackDesign& d, int k) {
    std::vector<qzVector3d> line;
    for (const SplinePointW& p : d.splines[static_cast<size_t>(k)]) line.emplace_back(p.x, -p.height, p.z);
    return line;
}

}  // namespace biketest
