// Computer riders racing on one of the disc's generated worlds without drawing: the bike tests' race
// stand-in with the world's racing lines and terrain map loaded, a stunt tree, and one computer rider per
// bike placed on the grid by its own rider interface. Each frame runs the AI once and the model twice at
// 60 Hz, and advances the way positions of half the racers, as the race frame does. With no human
// racer there is nobody to catch up with: the riders have no chase target.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "../bike/bike_world.h"
#include "game/ai/ai_interface.h"
#include "game/control/stunt_mgr.h"
#include "game/control/stunt_tree_format.h"
#include "game/files/file_manager.h"
#include "heap_image.h"
#include "world/spline_manager.h"
#include "world/terrain_map_format.h"
#include "world/terrain_type.h"
#include "world/world_file_format.h"

namespace aitest {

// A stunt tree naming all 26 tricks: four nodes under the root (tricks 0..11 by button group) and four
// under each of those (tricks 12..25 with button A).
inline std::vector<uint8_t> AllTricksTree() {
    std::vector<stunttree::NodeRecord> nodes(21, stunttree::EmptyNode());
    int trick = 0;
    for (int d = 0; d < stunttree::kDirs; ++d) {
        nodes[0]._adjNodes[d] = {1 + d, 7};
        for (int g = 0; g < stunttree::kGroups; ++g) nodes[size_t(1 + d)]._stunts[g] = trick++;
        for (int e = 0; e < stunttree::kDirs; ++e) {
            const int child = 5 + 4 * d + e;
            nodes[size_t(1 + d)]._adjNodes[e] = {child, 7};
            if (trick < stunttree::kTrickCount) nodes[size_t(child)]._stunts[0] = trick++;
        }
    }
    return stunttree::WriteTree(nodes);
}

// The design with the computer riders' jump markers on the approach of every jump: a preload patch
// (aiPreLoad) from 700 to 200 units before the take-off face, then a double's mark (jumpLand) up to it.
// The disc's outdoor worlds mark their jumps only for the bike.
inline TrackDesign WithAIJumpMarks(TrackDesign d) {
    const uint32_t n = terrainmap::kSide;
    const float unitsPerPos = float(d.gridSize) / terrainmap::TileScale(d.tilesPerSide * d.tilesPerSide) / 2;
    const float fine = unitsPerPos * 0.5f;
    for (const Jump& j : d.jumps)
        for (size_t i = 0; i + 1 < d.centre.size(); ++i) {
            const CentrePoint &a = d.centre[i], &b = d.centre[i + 1];
            for (float s = a.s; s < b.s; s += fine) {
                if (s < j.takeoff0 - 700.0f || s >= j.takeoff0) continue;
                const uint8_t code = s < j.takeoff0 - 200.0f ? aiPreLoad : jumpLand;
                const float u = (s - a.s) / (b.s - a.s);
                const float cx = a.x + (b.x - a.x) * u, cz = a.z + (b.z - a.z) * u;
                for (float off = -a.halfWidth; off <= a.halfWidth; off += fine) {
                    const auto x = uint32_t(std::max(0.0f, cx - a.dirZ * off) / unitsPerPos);
                    const auto z = uint32_t(std::max(0.0f, cz + a.dirX * off) / unitsPerPos);
                    uint8_t& cell = d.codes[size_t(std::min(z, n - 1)) * n + std::min(x, n - 1)];
                    if (cell < offtrack) cell = code;
                }
            }
        }
    return d;
}

// What a racer did during the run.
struct RacerLog {
    std::vector<int> lapFrames;  // frames at which the lap count went up
    int stuntPackets = 0;        // packets carrying a recognised stunt
    int airStuntSteps = 0;       // AI steps ordering a stunt
    int preloadPackets = 0;      // packets pressing preload
    int preloadOnPatch = 0;      // of those, sent while on a preload patch
};

class AIRace {
public:
    // `riders` computer riders; `parked` more racers are counted in the race but added by Park.
    AIRace(const TrackSpec& spec, int difficulty, unsigned riders, unsigned parked = 0)
        : world(spec, riders + parked),
          image_(PackWorld(WithAIJumpMarks(world.design))),
          tree_(AllTricksTree()) {
        const WorldCheck c = CheckWorldFile(image_.p, static_cast<uint32_t>(image_.size));
        CFileManager* fm = GetFileManager();
        const auto* main = static_cast<const uint8_t*>(fm->loadSubFile(image_.p, 0));
        CSplineManager::cleanUp();
        CSplineManager::getSplineManager()->loadSplines(main + c.layout.splineOffset, c.layout.splineLength,
                                                        float(c.layout.gridSize), c.layout.numTiles);
        const int map = fm->getLabelIndex(image_.p, worldfile::kLabelTerrainMap);
        CTerrainType::resetStatics();
        ok = c.ok && CTerrainType::getInstance()->setPointer(fm->loadSubFile(image_.p, unsigned(map)),
                                                             size_t(c.layout.terrainMapLength),
                                                             c.layout.numTiles, c.layout.gridSize);
        delete CAIBikeIter::theBikeIter;
        const float lap =
            CSplineManager::getSplineManager()
                ->spline(CSplineManager::WayPoint)
                .GetPointTime(CSplineManager::getSplineManager()->spline(CSplineManager::WayPoint).count() -
                              1);
        for (unsigned i = 0; i < riders; ++i) {
            KineticBike* b = world.AddBike(i, true);
            b->startRace = 1;
            bikes.push_back(b);
            ids.push_back(biketest::BikeWorld::IdOf(b));
            ai.push_back(std::make_unique<CAIInterface>());
            ai[i]->setActiveObject(ids[i]);
            // Rows of four behind the line, 150 apart across and 400 back.
            ai[i]->startPos(lap - 200.0f - 400.0f * float(i / 4), (float(i % 4) - 1.5f) * 150.0f);
            ai[i]->setDifficulty(difficulty);
            CAIBikeIter::getInstance()->addBike(b);
        }
        CStuntMgr::initialize(tree_.data(), tree_.size(), riders, ids.data());
        logs.resize(riders);
    }
    ~AIRace() {
        CStuntMgr::shutdown();
        delete CAIBikeIter::theBikeIter;
        ai.clear();
        CSplineManager::cleanUp();
        CTerrainType::resetStatics();
    }
    AIRace(const AIRace&) = delete;
    AIRace& operator=(const AIRace&) = delete;

    // A racer without a rider standing on the racing line of `line` at way time `wayTime`, facing along
    // it; the computer riders see it like any other bike.
    KineticBike* Park(float wayTime, CSplineManager::SplineType line) {
        KineticBike* b = world.AddBike(unsigned(bikes.size() + parked.size()), false);
        parked.push_back(b);
        qzVector3d p, d;
        CSplineManager::getSplineManager()->getControlledPoint(wayTime, 0.0f, line, p, d);
        qzMath::qzMathVectorNormalize(&d);
        b->setStartPos(p, d);
        CAIBikeIter::getInstance()->addBike(b);
        return b;
    }

    // Computer riders' share of a frame: one AI step of every racer released so far (packets appended
    // to `packets`). As in the race, the riders are let go one by one, 0.2 s apart.
    void Think(std::vector<CPacket>& packets) {
        for (size_t i = 0; i < ai.size(); ++i)
            if (frames >= 6 * int(i)) ai[i]->processAI(packets, 1);
    }

    // One frame: the AI, then two model steps (the packets go with the first), then the way positions
    // of the racers whose index has the frame's parity.
    void Frame() {
        packets_.clear();
        Think(packets_);
        for (const CPacket& p : packets_) {
            for (size_t i = 0; i < ids.size(); ++i) {
                if (p._affectedObject != ids[i]) continue;
                if (p._action & (1 << BIKEACTION_STUNT)) ++logs[i].stuntPackets;
                if (!(p._action & (1 << BIKEACTION_PRELOAD))) continue;
                ++logs[i].preloadPackets;
                const KineticBike* b = bikes[i];
                logs[i].preloadOnPatch +=
                    CTerrainType::getInstance()->getTypeAtPoint(b->position.x, b->position.z) == aiPreLoad;
            }
        }
        for (size_t i = 0; i < ai.size(); ++i)
            logs[i].airStuntSteps += (ai[i]->bikeControl.buttonFlags & AIB_STUNT_MODE) != 0;
        world.Step(packets_);
        world.Step();
        for (size_t i = 0; i < bikes.size(); ++i) {
            if (int(i % 2) != frames % 2) continue;
            const int before = bikes[i]->curLap;
            ai[i]->advanceWayPos(*bikes[i]);
            if (bikes[i]->curLap != before) logs[i].lapFrames.push_back(frames);
        }
        ++frames;
    }

    biketest::BikeWorld world;
    bool ok = false;
    int frames = 0;
    std::vector<KineticBike*> bikes;  // the computer riders' bikes
    std::vector<KineticBike*> parked;
    std::vector<int> ids;
    std::vector<std::unique_ptr<CAIInterface>> ai;
    std::vector<RacerLog> logs;

private:
    testsupport::HeapImage image_;
    std::vector<uint8_t> tree_;
    std::vector<CPacket> packets_;
};

}  // namespace aitest
