// A race without drawing for tests and benchmarks: eight bikes, each with its rider, on a generated
// outdoor track, each following one of its racing lines (racer 6 holds the preload button into the
// take-offs at speed, racer 7 holds its nose up through every jump and so lands badly), with crashes from
// collisions on. The simulation stands in for the race object: it loads the racing lines and the jumps and
// crash zones along them, holds the bikes one step at the grid, keeps each bike's way time along the
// line, counts each bike's laps once it has crossed every checkpoint band, sorts the race positions, and
// keeps a hash of every bike's and rider's state after each step. It starts the game's random source
// afresh, as a program start does.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "app/main_loop.h"
#include "bike/rider_model.h"
#include "bike_driver.h"
#include "game/core/random.h"
#include "game/files/object_description_format.h"
#include "mkdisc/track_objects.h"
#include "world/objects/kinetic_track_objects.h"
#include "world/ramps.h"
#include "world/spline_manager.h"

namespace biketest {

// A line follower that noses up and holds the throttle while in the air.
inline Rider BadLander(const std::vector<qzVector3d>& line) {
    const Rider follow = LineFollower(line, 900.0f, 100.0f, 40.0f, 32.0f);
    return [follow](const KineticBike& b, int step) {
        Input in = follow(b, step);
        if (b.air.inAir) {
            in.actions &= ~(1u << BIKEACTION_FORWARD);
            in.actions |= (1u << BIKEACTION_BACK) | (1u << BIKEACTION_ACCEL);
        }
        return in;
    };
}

// The disc's rider description (its collision block).
inline int RiderBodyDescription() {
    static std::vector<uint8_t> block = CommonCollisionBlock(common::kRiderCollision);
    auto* d = new CObjectDescription();
    d->collisionIdList.push_back(
        CResourceStorage<CKineticCollide>::instance().add(new CKineticCollide(block.data(), block.size())));
    return CResourceStorage<CObjectDescription>::instance().add(d);
}

// A line follower that takes the take-offs fast and holds the preload button from 250 units before a
// preload take-off until it stands on it.
inline Rider PreLoader(const std::vector<qzVector3d>& line) {
    const Rider follow = LineFollower(line, 900.0f, 100.0f, 16.0f);
    return [follow](const KineticBike& b, int step) {
        Input in = follow(b, step);
        const CTerrainType* t = CTerrainType::getInstance();
        const qzVector3d ahead = b.position + b.frame.fForwardDir * 250.0f;
        const auto preload = [](unsigned c) { return c == preload2 || c == preload3 || c == preload4; };
        if (preload(t->getTypeAtPoint(ahead.x, ahead.z)) &&
            !preload(t->getTypeAtPoint(b.position.x, b.position.z)))
            in.actions |= 1u << BIKEACTION_PRELOAD;
        return in;
    };
}

// A fence of the generated worlds (their fence collision block and type record) standing across the
// way of `b`, `ahead` units in front of it on the ground; in the model until removed.
inline CKineticStaticRigidObject* FenceAcross(BikeWorld& world, const KineticBike& b, float ahead) {
    static std::vector<uint8_t> block = PropCollision(Prop::Fence);
    static _Info record = MakeTypeRecord(1, worldfile::kKindStatic, 1, 0.8f, 0.1f, 250);
    auto* d = new CObjectDescription();
    d->collisionIdList.push_back(
        CResourceStorage<CKineticCollide>::instance().add(new CKineticCollide(block.data(), block.size())));
    d->typeInfo = &record;
    auto* fence = new CKineticStaticRigidObject(CResourceStorage<CObjectDescription>::instance().add(d));
    qzVector3d f = b.frame.forwardDir;
    f.y = 0.0f;
    f = f * (1.0f / std::sqrt(f * f));
    fence->position = b.position + f * ahead;
    fence->position.y = world.world->getHeightAt(fence->position.x, fence->position.z) - 1.0f;
    const float heading = std::atan2(f.x, f.z) + 1.5707963f;  // its length across the way
    fence->qOrientation.S = std::cos(heading / 2);
    fence->qOrientation.Axis = {0.0f, std::sin(heading / 2), 0.0f};
    world.model->objects.push_back(fence);
    fence->updateModelWorld();
    return fence;
}

class RaceSim {
public:
    static constexpr unsigned kRacers = 8;
    static constexpr int kLaps = 3;

    RaceSim() : saved_(gameOptions) {
        // The game's random source as the program starts: the same script rolls the same jumps.
        ri0 = ri1 = ri2 = ri3 = ri4 = 0;
        RandomNumber = Randomizer = 0;
        KineticBike::finishSetBack = 0;
        gameOptions.trackType = TRACKTYPE_OUTDOOR;
        gameOptions.gameOptions |= 0x600000;  // crashes from bike and object collisions
        gameOptions.duration = kLaps;
        driver = std::make_unique<BikeDriver>(FirstTrack(TrackKind::Outdoor), kRacers);
        LoadLines();
        for (unsigned i = 0; i < kRacers; ++i)
            lines.push_back(RacingLine(driver->world.design, CSplineManager::BegOne + static_cast<int>(i)));
        const int riderDescription = RiderBodyDescription();
        for (unsigned i = 0; i < kRacers; ++i) {
            const Rider r = i == kRacers - 1   ? BadLander(lines[i])
                            : i == kRacers - 2 ? PreLoader(lines[i])
                            : i == kRacers - 3 ? LineFollower(lines[i], 900.0f, 100.0f, 40.0f, 32.0f)
                                               : LineFollower(lines[i]);
            KineticBike* b = driver->bikes[driver->Add(r, i != 0)];
            b->laps.startRace = 0;  // one step of holding at the grid
            auto* rider = new CRiderModel(BikeWorld::IdOf(b), riderDescription);
            driver->world.model->objects.push_back(rider);  // after its bike: updated after it
            b->rider = rider;
            riders.push_back(rider);
        }
        checkpoints = static_cast<uint32_t>(driver->world.design.checkpoints.size());
        Step();
        for (KineticBike* b : driver->bikes) b->laps.startRace = 1;
    }
    ~RaceSim() {
        driver.reset();
        CSplineManager::cleanUp();
        CRamps::resetStatics();
        KineticBike::finishSetBack = 0;
        gameOptions = saved_;
    }
    RaceSim(const RaceSim&) = delete;
    RaceSim& operator=(const RaceSim&) = delete;

    // One step of every bike and rider, the way times, lap accounting, race positions and the state hash.
    void Step() {
        for (CRiderModel* r : riders) r->placeOnBike();  // what the rider view does when drawing
        driver->Run(1, false);
        uint64_t h = 1469598103934665603ull;
        auto mix = [&h](const void* p, size_t n) {
            const auto* c = static_cast<const unsigned char*>(p);
            for (size_t i = 0; i < n; ++i) h = (h ^ c[i]) * 1099511628211ull;
        };
        CSplineManager* sm = CSplineManager::getSplineManager();
        for (size_t i = 0; i < driver->bikes.size(); ++i) {
            KineticBike* b = driver->bikes[i];
            if (b->crash.crashState == 0)
                b->laps.curWayTime = sm->advanceControlTime(
                    b->laps.curWayTime, b->position, static_cast<unsigned char>(b->laps.currentCheckPoint));
            if (checkpoints && b->laps.currentCheckPoint >= checkpoints) {
                b->setCurLap(b->laps.curLap + 1);
                b->laps.curWayTime = 0.0f;
            }
            mix(&b->position, 12);
            mix(&b->qOrientation, 16);
            mix(&b->crash.crashState, 4);
            mix(&b->status.flags, 4);
            mix(&riders[i]->position, 12);
        }
        CStats::updateRacePosition();
        hashes.push_back(h);
    }
    // Steps until every bike has ridden `laps` laps, at most `limit` steps; true when all finished.
    bool RunLaps(int laps, int limit) {
        for (int s = 0; s < limit; ++s) {
            bool done = true;
            for (KineticBike* b : driver->bikes) done = done && b->laps.curLap >= laps;
            if (done) return true;
            Step();
        }
        return false;
    }

    std::unique_ptr<BikeDriver> driver;
    std::vector<CRiderModel*> riders;
    std::vector<std::vector<qzVector3d>> lines;
    uint32_t checkpoints = 0;
    std::vector<uint64_t> hashes;

private:
    // The racing lines of the world file and the jumps and crash zones the terrain marks along them.
    void LoadLines() {
        image_ = std::make_unique<testsupport::HeapImage>(PackWorld(driver->world.design));
        const WorldCheck c = CheckWorldFile(image_->p, static_cast<uint32_t>(image_->size));
        const auto* main = static_cast<const uint8_t*>(
            GetFileManager()->loadSubFileLabel(image_->p, worldfile::kLabelMain, 0));
        CSplineManager::cleanUp();
        CSplineManager::getSplineManager()->loadSplines(main + c.layout.splineOffset, c.layout.splineLength,
                                                        static_cast<float>(c.layout.gridSize),
                                                        c.layout.numTiles);
        CRamps::resetStatics();
        CWorldModel* world = driver->world.world;
        CRamps::getInstance()->heightAt = [world](float x, float z) { return world->getHeightAt(x, z); };
        CRamps::getInstance()->preProcessJumpRamps();
        CRamps::getInstance()->preProcessCrashRamps();
    }

    CGameOptions saved_;
    std::unique_ptr<testsupport::HeapImage> image_;
};

}  // namespace biketest
