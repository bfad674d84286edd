// A race without drawing for tests and benchmarks: eight bikes on a generated outdoor track, each
// following one of its racing lines (racer 7 holds its nose up through every jump and so lands badly),
// with crashes from collisions on. The simulation stands in for the race object: it counts each bike's
// laps once it has crossed every checkpoint band, and keeps a hash of every bike's state after each step.
// It starts the game's random source afresh, as a program start does.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "bike_driver.h"
#include "game/core/main_loop.h"
#include "game/core/random.h"
#include "world/spline_manager.h"

namespace biketest {

// A line follower that noses up and holds the throttle while in the air.
inline Rider BadLander(const std::vector<qzVector3d>& line) {
    const Rider follow = LineFollower(line);
    return [follow](const KineticBike& b, int step) {
        Input in = follow(b, step);
        if (b.inAir) {
            in.actions &= ~(1u << BIKEACTION_FORWARD);
            in.actions |= (1u << BIKEACTION_BACK) | (1u << BIKEACTION_ACCEL);
        }
        return in;
    };
}

class RaceSim {
public:
    static constexpr unsigned kRacers = 8;

    RaceSim() : saved_(gameOptions) {
        // The game's random source as the program starts: the same script rolls the same jumps.
        ri0 = ri1 = ri2 = ri3 = ri4 = 0;
        RandomNumber = Randomizer = 0;
        gameOptions.trackType = TRACKTYPE_OUTDOOR;
        gameOptions.gameOptions |= 0x600000;  // crashes from bike and object collisions
        driver = std::make_unique<BikeDriver>(FirstTrack(TrackKind::Outdoor), kRacers);
        for (unsigned i = 0; i < kRacers; ++i)
            lines.push_back(RacingLine(driver->world.design, CSplineManager::BegOne + static_cast<int>(i)));
        for (unsigned i = 0; i < kRacers; ++i)
            driver->Add(i == kRacers - 1 ? BadLander(lines[i]) : LineFollower(lines[i]), i != 0);
        checkpoints = static_cast<uint32_t>(driver->world.design.checkpoints.size());
    }
    ~RaceSim() {
        driver.reset();
        gameOptions = saved_;
    }
    RaceSim(const RaceSim&) = delete;
    RaceSim& operator=(const RaceSim&) = delete;

    // One step of every bike, its lap accounting and the step's state hash.
    void Step() {
        driver->Run(1, false);
        uint64_t h = 1469598103934665603ull;
        auto mix = [&h](const void* p, size_t n) {
            const auto* c = static_cast<const unsigned char*>(p);
            for (size_t i = 0; i < n; ++i) h = (h ^ c[i]) * 1099511628211ull;
        };
        for (KineticBike* b : driver->bikes) {
            if (checkpoints && b->currentCheckPoint >= checkpoints) b->setCurLap(b->curLap + 1);
            mix(&b->position, 12);
            mix(&b->qOrientation, 16);
            mix(&b->crashState, 4);
            mix(&b->flags, 4);
        }
        hashes.push_back(h);
    }
    // Steps until every bike has ridden `laps` laps, at most `limit` steps; true when all finished.
    bool RunLaps(int laps, int limit) {
        for (int s = 0; s < limit; ++s) {
            bool done = true;
            for (KineticBike* b : driver->bikes) done = done && b->curLap >= laps;
            if (done) return true;
            Step();
        }
        return false;
    }

    std::unique_ptr<BikeDriver> driver;
    std::vector<std::vector<qzVector3d>> lines;
    uint32_t checkpoints = 0;
    std::vector<uint64_t> hashes;

private:
    CGameOptions saved_;
};

}  // namespace biketest
