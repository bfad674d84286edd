// Computer riders racing on one of the disc's generated worlds without drawing: the bike tests' race
// stand-in with the world's racing lines, terrain map and the disc's stunt tree, one computer rider per
// bike placed on the grid by its own rider interface, with the jumps and crash zones prepared. A frame runs
// the AI once (riders let go 0.2 s apart), the model twice at 60 Hz, and the way positions of half the
// racers, as the race frame does. With no human racer there is nobody to catch up with: the riders have no
// chase target.
#pragma once

#include <algorithm>
#include <memory>
#include <vector>

#include "../bike/bike_world.h"
#include "game/core/random.h"
#include "game/files/file_manager.h"
#include "heap_image.h"
#include "mkdisc/stunt_tree.h"
#include "race/ai/ai_interface.h"
#include "race/race_game.h"
#include "world/ramps.h"
#include "world/spline_manager.h"
#include "world/terrain_map_format.h"
#include "world/world_file_format.h"

namespace aitest {

struct RacerLog {
    std::vector<int> lapFrames;  // frames at which the lap count went up
    int stuntPackets = 0, preloadPackets = 0, preloadOnPatch = 0;
};

class AIRace {
public:
    // `riders` computer riders; `parked` more racers are counted in the race but added by Park.
    AIRace(const TrackSpec& track, int difficulty, unsigned riders, unsigned parked = 0)
        : world(track, riders + parked), image_(PackWorld(world.design)), tree_(WriteSampleStuntTree()) {
        const WorldCheck c = CheckWorldFile(image_.p, uint32_t(image_.size));
        CFileManager* fm = GetFileManager();
        const auto* main = static_cast<const uint8_t*>(fm->loadSubFile(image_.p, 0));
        CSplineManager* sm = CSplineManager::getSplineManager();
        sm->loadSplines(main + c.layout.splineOffset, c.layout.splineLength, float(c.layout.gridSize),
                        c.layout.numTiles);
        const int map = fm->getLabelIndex(image_.p, worldfile::kLabelTerrainMap);
        CTerrainType::resetStatics();
        ok = c.ok && CTerrainType::getInstance()->setPointer(fm->loadSubFile(image_.p, unsigned(map)),
                                                             c.layout.terrainMapLength, c.layout.numTiles,
                                                             c.layout.gridSize);
        CRamps::resetStatics();  // the jumps and crash zones along the lines
        CWorldModel* ground = world.world;
        CRamps::getInstance()->heightAt = [ground](float x, float z) { return ground->getHeightAt(x, z); };
        CRamps::getInstance()->preProcessJumpRamps();
        CRamps::getInstance()->preProcessCrashRamps();
        ri0 = ri1 = ri2 = ri3 = ri4 = 0;  // the game's random source as a program start leaves it
        RandomNumber = Randomizer = 0;
        const CQZSpline& way = sm->spline(CSplineManager::WayPoint);
        for (unsigned i = 0; i < riders; ++i) {
            bikes.push_back(world.AddBike(i, true));
            bikes[i]->laps.startRace = 1;
            ids.push_back(biketest::BikeWorld::IdOf(bikes[i]));
            ai.push_back(std::make_unique<CAIInterface>());
            ai[i]->setActiveObject(ids[i]);
            // Rows of four behind the line, 150 apart across and 400 back.
            ai[i]->startPos(way.GetPointTime(way.count() - 1) - 200.0f - 400.0f * float(i / 4),
                            (float(i % 4) - 1.5f) * 150.0f);
            ai[i]->setDifficulty(difficulty);
            CAIBikeIter::getInstance()->addBike(bikes[i]);
        }
        CStuntMgr::initialize(tree_.data(), tree_.size(), riders, ids.data());
        logs.resize(riders);
    }
    ~AIRace() { ResetRaceSingletons(); }
    AIRace(const AIRace&) = delete;
    AIRace& operator=(const AIRace&) = delete;

    // A racer without a rider standing on racing line `line` at way time `wayTime`, facing along it.
    KineticBike* Park(float wayTime, CSplineManager::SplineType line) {
        parked.push_back(world.AddBike(unsigned(bikes.size() + parked.size()), false));
        qzVector3d p, d;
        CSplineManager::getSplineManager()->getControlledPoint(wayTime, 0.0f, line, p, d);
        qzMath::qzMathVectorNormalize(&d);
        parked.back()->setStartPos(p, d);
        CAIBikeIter::getInstance()->addBike(parked.back());
        return parked.back();
    }

    // One AI step of every rider let go so far; their packets are appended to `packets`.
    void Think(std::vector<CPacket>& packets) {
        for (size_t i = 0; i < ai.size(); ++i)
            if (frames >= 6 * int(i)) ai[i]->processAI(packets, 1);
    }

    void Frame() {
        packets_.clear();
        Think(packets_);
        for (const CPacket& p : packets_) {
            const size_t i = size_t(std::find(ids.begin(), ids.end(), p._affectedObject) - ids.begin());
            logs[i].stuntPackets += (p._action >> BIKEACTION_STUNT) & 1;
            if (!(p._action & (1 << BIKEACTION_PRELOAD))) continue;
            ++logs[i].preloadPackets;
            const qzVector3d& at = bikes[i]->position;
            logs[i].preloadOnPatch += CTerrainType::getInstance()->getTypeAtPoint(at.x, at.z) == aiPreLoad;
        }
        world.Step(packets_);
        world.Step();
        for (size_t i = size_t(frames % 2); i < bikes.size(); i += 2) {
            const int before = bikes[i]->laps.curLap;
            ai[i]->advanceWayPos(*bikes[i]);
            if (bikes[i]->laps.curLap != before) logs[i].lapFrames.push_back(frames);
        }
        ++frames;
    }

    biketest::BikeWorld world;
    bool ok = false;
    int frames = 0;
    std::vector<KineticBike*> bikes, parked;  // the riders' bikes; bikes without a rider
    std::vector<int> ids;
    std::vector<std::unique_ptr<CAIInterface>> ai;
    std::vector<RacerLog> logs;

private:
    testsupport::HeapImage image_;
    std::vector<uint8_t> tree_;
    std::vector<CPacket> packets_;
};

}  // namespace aitest
