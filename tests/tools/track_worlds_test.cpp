// The sample disc's 25 worlds, as the game reads them: each loads and passes the world checks, its
// models, collision blocks and radar map pass their readers' checks, every
// spline stays on the riding surface along its whole length, the checkpoints come in lap order, the
// ramp store finds one pair for every jump and crash zone built, and the start grid stands on the track;
// a placed bale and fence and the arena walls, built as the race builds their bodies, stand upright on
// the ground; and no solid object stands near a racing line, nor a gate post near the riding surface.
#include "mkdisc/tracks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "console/cd/cd.h"
#include "engine/hal/geometry.h"
#include "engine/sys/bitmap.h"
#include "engine/sys/files.h"
#include "engine/sys/heap.h"
#include "game/files/collision_data.h"
#include "game/files/collision_storage.h"
#include "game/files/file_manager.h"
#include "game/model/object_description.h"
#include "kinetic/collide/primitive.h"
#include "kinetic/dynamics/rigid_body.h"
#include "support/heap_image.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"
#include "world/objects/kinetic_collide.h"
#include "world/objects/kinetic_track_objects.h"
#include "world/ramps.h"
#include "world/spline_format.h"
#include "world/spline_manager.h"
#include "world/subtile_model.h"
#include "world/terrain_low_detail.h"
#include "world/terrain_map_format.h"
#include "world/terrain_type.h"
#include "world/world_file_format.h"
#include "world/world_loader.h"
#include "world/world_model.h"

namespace {

// Codes a rider may stand on: surfaces, markers and checkpoints, but not the off-track codes, the
// automatic crash areas or the outside.
bool Rideable(TypeList code) {
    return !(code >= offtrack && code <= 107) && code != autoCrash && code != outOfBounds;
}

class TrackWorlds : public ::testing::Test {
protected:
    void SetUp() override {
        x_InitSTDIO();
        log_.attach();
    }
    void TearDown() override {
        CRamps::resetStatics();
        CSplineManager::cleanUp();
        CTerrainType::resetStatics();
        CWorldModel::resetStatics();
        CSubtileModel::resetStatics();
        console::CdUnmount();
    }
    testsupport::LogCapture log_;
};

TEST_F(TrackWorlds, EveryWorldLoadsAndKeepsItsLapOnTheTrack) {
    testsupport::TempDir disc;
    std::vector<TrackDesign> designs;
    for (const TrackSpec& spec : TrackSpecs()) {
        designs.push_back(DesignTrack(spec));
        const std::vector<uint8_t> image = PackWorld(designs.back());
        ASSERT_FALSE(image.empty()) << spec.name;
        disc.write(std::string("WORLD/") + spec.name, image);
    }
    PS2CD_ResetFiles();
    ASSERT_TRUE(console::CdMount(disc.path().c_str()));
    ASSERT_EQ(designs.size(), 25u);

    for (const TrackDesign& d : designs) {
        SCOPED_TRACE(d.spec.name);
        const bool laps = d.spec.kind != TrackKind::Freestyle;
        void* image = LoadWorldFile((std::string("WORLD\\") + d.spec.name).c_str());
        ASSERT_NE(image, nullptr) << log_.text();
        CFileManager fm;
        CWorldModel* model = new CWorldModel;
        BuildWorldModel(*model, image);
        const int numTiles = model->numTiles;
        ASSERT_EQ(numTiles, d.tilesPerSide * d.tilesPerSide);
        ASSERT_EQ(CSubtileModel::gridSize, d.gridSize);

        // Sky, arena and every object description: geometry blocks and collision blocks the readers take;
        // the radar map a graphics file.
        const int numObjects = static_cast<const _wlb_file*>(fm.loadSubFileLabel(image, 0, 0))->numObjects;
        auto checkLabel = [&](unsigned label, bool geometry) {
            const int first = fm.getLabelIndex(image, label);
            for (int k = 0; k < fm.getSubfileCountForLabel(image, label); ++k) {
                const void* sub = fm.loadSubFile(image, unsigned(first + k));
                const size_t len = size_t(fm.getSubFileLength(image, unsigned(first + k)));
                int parts = 0;
                EXPECT_TRUE(geometry ? veEngineCheckGeo(sub, len) == 1
                                     : collisiondata::CheckBlock(sub, len, &parts).ok && parts > 0)
                    << "label " << label << " sub-file " << k;
            }
        };
        EXPECT_EQ(
            veEngineCheckGeo(fm.loadSubFileLabel(image, 2, 1),
                             size_t(fm.getSubFileLength(image, unsigned(fm.getLabelIndex(image, 2) + 1)))),
            1);
        FsBitmapLayout radar;
        EXPECT_EQ(fsCheckBitmap(fm.loadSubFileLabel(image, 2, 2),
                                size_t(fm.getSubFileLength(image, unsigned(fm.getLabelIndex(image, 2) + 2))),
                                &radar),
                  FS_BITMAP_OK);
        // The HUD shows the radar picture with +z up, reading its rows from the top down: the texel it
        // shows under a rider anywhere on the lap is the riding surface (or its border).
        {
            const auto* pixels =
                static_cast<const uint8_t*>(fm.loadSubFileLabel(image, 2, 2)) + 64 + radar.extensionBytes;
            const int n = TrackDesign::kRadarSize;
            int off = 0;
            for (const CentrePoint& c : d.centre) {
                const int col = int(c.x / d.side * float(n)), row = int((1.0f - c.z / d.side) * float(n));
                off += pixels[size_t(std::clamp(row, 0, n - 1) * n + std::clamp(col, 0, n - 1))] == 0;
            }
            EXPECT_EQ(off, 0) << "centre-line points off the radar's track";
        }
        EXPECT_EQ(fm.getSubfileCountForLabel(image, worldfile::kLabelArena), d.arena ? 2 : 0);
        if (d.arena) {
            const int first = fm.getLabelIndex(image, worldfile::kLabelArena);
            EXPECT_EQ(veEngineCheckGeo(fm.loadSubFile(image, unsigned(first)),
                                       size_t(fm.getSubFileLength(image, unsigned(first)))),
                      1);
            int parts = 0;
            EXPECT_TRUE(collisiondata::CheckBlock(fm.loadSubFile(image, unsigned(first + 1)),
                                                  size_t(fm.getSubFileLength(image, unsigned(first + 1))),
                                                  &parts)
                            .ok);
            EXPECT_GT(parts, 0);
        }
        for (int i = 0; i < numObjects; ++i) {
            checkLabel(unsigned(worldfile::kLabelFirstDescription + 2 * i), true);
            checkLabel(unsigned(worldfile::kLabelFirstDescription + 2 * i + 1), false);
        }
        // Every subtile's low-detail terrain, with its packets (a block of none is refused).
        const int lowDetail = fm.getLabelIndex(image, worldfile::kLabelLowDetail);
        ASSERT_EQ(fm.getSubfileCountForLabel(image, worldfile::kLabelLowDetail), 16 * numTiles);
        for (int s = 0; s < 16 * numTiles; ++s) {
            const void* block = fm.loadSubFile(image, unsigned(lowDetail + s));
            const FormatCheck c =
                lowdetail::Check(block, size_t(fm.getSubFileLength(image, unsigned(lowDetail + s))));
            EXPECT_TRUE(c.ok) << "subtile " << s << ": " << c.why;
        }

        // Terrain types and splines attached as the race attaches them.
        void* map = fm.loadSubFileLabel(image, worldfile::kLabelTerrainMap, 0);
        const int mapLen =
            fm.getSubFileLength(image, uint32_t(fm.getLabelIndex(image, worldfile::kLabelTerrainMap)));
        CTerrainType* types = CTerrainType::getInstance();
        ASSERT_TRUE(types->setPointer(map, size_t(mapLen), numTiles, d.gridSize));
        const auto* main = static_cast<const uint8_t*>(fm.loadSubFileLabel(image, worldfile::kLabelMain, 0));
        const uint32_t mainLen = uint32_t(fm.getSubFileLength(image, 0));
        uint32_t at = worldfile::kHeaderSize;  // walk the placement blocks and cameras to the splines
        for (int b = 0; b < model->numTiles * 16 * int(main[72]); ++b) {
            uint32_t n;
            std::memcpy(&n, main + at, 4);
            at += worldfile::kBlockHeaderSize + n * worldfile::kPlacementSize;
        }
        int cameras = 0;
        for (uint32_t type; std::memcpy(&type, main + at + 32, 4), type != 0; at += worldfile::kCameraSize)
            ++cameras;
        at += worldfile::kCameraSize;
        EXPECT_GE(cameras, 8);
        ASSERT_TRUE(CheckSplineSection(main + at, mainLen - at, float(d.gridSize)).ok);
        CSplineManager* splines = CSplineManager::getSplineManager();
        splines->loadSplines(main + at, mainLen - at, float(d.gridSize), numTiles);

        // Every spline, sampled every metre, lies on the riding surface, at the terrain's height.
        for (int s = 0; s < CSplineManager::lastEntry; ++s) {
            const CQZSpline& line = splines->spline(CSplineManager::SplineType(s));
            ASSERT_TRUE(line.valid()) << "spline " << s;
            const float end = line.GetPointTime(line.count() - 1);
            int offTrack = 0;
            float worstHeight = 0;
            for (float t = 0.1f; t <= end; t += 100.0f) {
                float x, y, z;
                ASSERT_TRUE(line.GetRawPointOnSpline(t, x, y, z, nullptr));
                if (!Rideable(types->getTypeAtPoint(x, z))) ++offTrack;
                worstHeight = std::max(worstHeight, std::fabs(y - model->getHeightAt(x, z)));
            }
            EXPECT_EQ(offTrack, 0) << "spline " << s << " leaves the track";
            EXPECT_LT(worstHeight, 150.0f) << "spline " << s;
        }

        // Checkpoints come one after another in lap order; their gates are the world's gates.
        const CQZSpline& way = splines->spline(CSplineManager::WayPoint);
        std::vector<unsigned> seen;
        for (float t = 0.1f; t <= way.GetPointTime(way.count() - 1); t += 50.0f) {
            float x, y, z;
            way.GetRawPointOnSpline(t, x, y, z, nullptr);
            const unsigned c = types->getCheckPoint(x, z);
            if (c != 255 && (seen.empty() || seen.back() != c)) seen.push_back(c);
        }
        EXPECT_EQ(seen.size(), d.checkpoints.size());
        for (size_t k = 0; k < seen.size(); ++k) EXPECT_EQ(seen[k], k);
        EXPECT_EQ(laps, seen.size() >= 6);

        // One ramp pair for every jump, its takeoff at the jump.
        CRamps* ramps = CRamps::getInstance();
        ramps->heightAt = [model](float x, float z) { return model->getHeightAt(x, z); };
        ramps->preProcessJumpRamps();
        ASSERT_EQ(ramps->jumpRampPairSets.size(), d.jumps.size());
        for (size_t j = 0; j < d.jumps.size(); ++j) {
            const RampPair& pair = ramps->jumpRampPairSets[j];
            const float s = d.jumps[j].takeoff1;
            const CentrePoint& c = d.centre[size_t(s / d.step) % d.centre.size()];
            EXPECT_LT(std::hypot(pair.takeoff.x - c.x, pair.takeoff.z - c.z), 4.0f * float(d.gridSize) + 300)
                << d.jumps[j].shape;
            EXPECT_GT(std::hypot(pair.landing.x - pair.takeoff.x, pair.landing.z - pair.takeoff.z), 300.0f);
        }
        ramps->preProcessCrashRamps();
        EXPECT_EQ(ramps->crashRampPairSets.size(), d.crashZones.size());
        CRamps::resetStatics();

        // The start grid: eight riders side by side at spline time 0.1, all on the track.
        qzVector3d p, dir;
        ASSERT_TRUE(splines->getPoint(0.1f, CSplineManager::WayPoint, p, dir));
        const float len = std::hypot(dir.x, dir.z);
        for (float offset : {0.0f, 300.0f, -300.0f, -600.0f, 600.0f, 900.0f, -900.0f, -1200.0f})
            EXPECT_TRUE(
                Rideable(types->getTypeAtPoint(p.x - dir.z / len * offset, p.z + dir.x / len * offset)))
                << offset;

        CSplineManager::cleanUp();
        CTerrainType::resetStatics();
        delete model;
        CWorldModel::resetStatics();
        CSubtileModel::resetStatics();
        x_free(image);
    }
}

TEST_F(TrackWorlds, PlacedBalesFencesGatesAndArenaWallsStandUprightOnTheGround) {
    // The body of each object from its description's collision block, at the pose of its placement
    // record (the arena upright at the world centre); its physics box, lowest point and top, against the
    // terrain under its centre. World and physics y point down.
    struct Case {
        TrackKind kind;
        Prop prop;          // Count: the arena, or the first gate
        float height;       // world units, ground to top
        bool gate = false;  // the first checkpoint gate's posts
    };
    const int descriptionsBefore = CResourceStorage<CObjectDescription>::instance().count();
    const int collisionsBefore = CResourceStorage<CKineticCollide>::instance().count();
    for (const Case& c :
         {Case{TrackKind::Outdoor, Prop::HayBale, 50}, Case{TrackKind::Outdoor, Prop::Fence, 110},
          Case{TrackKind::Indoor, Prop::HayBale, 50}, Case{TrackKind::Indoor, Prop::Count, 120},
          Case{TrackKind::Outdoor, Prop::Count, 440, true},
          Case{TrackKind::Indoor, Prop::Count, 440, true}}) {
        const TrackSpec* spec = nullptr;
        for (const TrackSpec& s : TrackSpecs())
            if (!spec && s.kind == c.kind) spec = &s;
        SCOPED_TRACE(std::string(spec->name) + " prop " + std::to_string(int(c.prop)) +
                     (c.gate ? " gate" : ""));
        const TrackDesign d = DesignTrack(*spec);
        testsupport::HeapImage image(PackWorld(d));
        CWorldModel world;
        BuildWorldModel(world, image.p);
        CFileManager fm;

        // The placement record of the design's first placement of the prop, and its description.
        const void* head = fm.loadSubFileLabel(image.p, worldfile::kLabelMain, 0);
        const auto* main = static_cast<const uint8_t*>(head);
        const int blocksPerDescription = world.numTiles * worldfile::kSubtilesPerTile;
        const int numObjects = static_cast<const _wlb_file*>(head)->numObjects;
        unsigned label = worldfile::kLabelArena;
        _Placement pose{};
        pose.x = pose.z = d.side / 2, pose.qw = 1;
        const bool arena = c.prop == Prop::Count && !c.gate;
        if (!arena) {
            const Placement* want = nullptr;
            Placement gate{};
            if (c.gate) {
                ASSERT_FALSE(d.gates.empty());
                gate.x = d.gates[0].x, gate.z = d.gates[0].z;
                want = &gate;
            }
            for (const Placement& pl : d.placements)
                if (!want && pl.prop == c.prop) want = &pl;
            ASSERT_NE(want, nullptr);
            label = 0;
            uint32_t at = worldfile::kHeaderSize;
            for (int b = 0; b < numObjects * blocksPerDescription; ++b) {
                uint32_t n;
                std::memcpy(&n, main + at, 4);
                at += worldfile::kBlockHeaderSize;
                for (uint32_t r = 0; r < n; ++r, at += worldfile::kPlacementSize) {
                    _Placement p;
                    std::memcpy(&p, main + at, sizeof p);
                    if (!label && p.x == want->x && p.z == want->z)
                        pose = p, label = unsigned(worldfile::kLabelFirstDescription +
                                                   2 * (b / blocksPerDescription) + 1);
                }
            }
            ASSERT_NE(label, 0u);
        }
        ASSERT_EQ(fm.getSubfileCountForLabel(image.p, label), arena ? 2 : 1);
        const unsigned sub = fm.getLabelIndex(image.p, label) + (arena ? 1 : 0);
        auto* description = new CObjectDescription();
        description->collisionIdList.push_back(CResourceStorage<CKineticCollide>::instance().add(
            new CKineticCollide(fm.loadSubFile(image.p, sub), size_t(fm.getSubFileLength(image.p, sub)))));
        const int id = CResourceStorage<CObjectDescription>::instance().add(description);
        std::unique_ptr<CKineticStaticRigidObject> object(arena ? new CKineticComplexStaticRigidObject(id)
                                                                : new CKineticStaticRigidObject(id));
        object->position = qzVector3d(pose.x, pose.y, pose.z);
        object->qOrientation.S = pose.qw;
        object->qOrientation.Axis = {pose.qx, pose.qy, pose.qz};
        object->updateKineticFromModelObject();

        // Every body (the arena has one per wall) against the ground under its own centre.
        ASSERT_GT(object->getRigidBodyCount(), 0);
        for (int i = 0; i < object->getRigidBodyCount(); ++i) {
            const Kinetic::RigidBody* body = object->getRigidBody(i);
            Kinetic::AABB box;
            for (const Kinetic::Primitive* p : body->getPrimitives()) {
                Kinetic::AABB b = p->computeLocalAABB();
                b.transformBy(body->m_transformation);
                box.include(b.m_min), box.include(b.m_max);
            }
            ASSERT_LE(box.m_min.y, box.m_max.y) << "body " << i << " has no shape";
            const float ground =
                world.getHeightAt(50 * (box.m_min.x + box.m_max.x), 50 * (box.m_min.z + box.m_max.z));
            const float bottom = 100 * box.m_max.y, top = 100 * box.m_min.y;
            EXPECT_NEAR(bottom, ground, 3.0f) << "body " << i;
            EXPECT_NEAR(ground - top, c.height, 3.0f) << "body " << i;
            RecordProperty(std::string(spec->name) + "_prop" + std::to_string(int(c.prop)) + "_body" +
                               std::to_string(i) + "_bottom_below_ground",
                           std::to_string(bottom - ground));
        }
        object.reset();
        CWorldModel::resetStatics();
        CSubtileModel::resetStatics();
    }
    auto& descriptions = CResourceStorage<CObjectDescription>::instance().data;
    auto& collisions = CResourceStorage<CKineticCollide>::instance().data;
    for (size_t i = size_t(descriptionsBefore); i < descriptions.size(); ++i) delete descriptions[i];
    for (size_t i = size_t(collisionsBefore); i < collisions.size(); ++i) delete collisions[i];
    descriptions.resize(size_t(descriptionsBefore));
    collisions.resize(size_t(collisionsBefore));
}

// Every fixed object a racer collides with (bales, fences, gate posts, trees, grandstands and the arena
// walls), as the world file places it with its collision block, against every racing line as the game
// reads it: no part of an object's footprint stands within a clear margin of a line. The computer riders
// follow these lines and run wide of them in the tight corners; an object that close is met in every race.
TEST_F(TrackWorlds, NoFixedObjectStandsNearARacingLine) {
    constexpr float kClearance = 600.0f;  // world units from a line point to the nearest footprint edge
    // A collision part's footprint: its box in the owner's model frame (x across, z along its heading),
    // then where the owner stands and how it is turned.
    struct Footprint {
        float cx, cz, sinH, cosH;  // owner position and heading
        float x0, z0, x1, z1;      // box in the model frame, world units
        int description;
    };
    for (const TrackSpec& spec : TrackSpecs()) {
        SCOPED_TRACE(spec.name);
        const TrackDesign d = DesignTrack(spec);
        testsupport::HeapImage image(PackWorld(d));
        const WorldCheck check = CheckWorldFile(image.p, uint32_t(image.size));
        ASSERT_TRUE(check.ok);
        CFileManager fm;
        const auto* main =
            static_cast<const uint8_t*>(fm.loadSubFileLabel(image.p, worldfile::kLabelMain, 0));

        // The footprints of one collision block at a pose (a body's block holds the model turned half
        // about x: model x = x, model z = -z).
        std::vector<Footprint> feet;
        auto addBlock = [&](unsigned sub, float x, float z, float heading, int description) {
            const void* block = fm.loadSubFile(image.p, sub);
            const size_t len = size_t(fm.getSubFileLength(image.p, sub));
            int count = 0;
            ASSERT_TRUE(collisiondata::CheckBlock(block, len, &count).ok);
            std::vector<collisiondata::Part> parts(static_cast<size_t>(count));
            collisiondata::CheckBlock(block, len, nullptr, parts.data(), count);
            for (const collisiondata::Part& part : parts) {
                Footprint f{x,     z,     std::sin(heading), std::cos(heading), 1e9f, 1e9f,
                            -1e9f, -1e9f, description};
                for (uint32_t v = 0; v < part.vertices; ++v) {
                    const float mx = 100 * part.vertexData[4 * v], mz = -100 * part.vertexData[4 * v + 2];
                    f.x0 = std::min(f.x0, mx), f.x1 = std::max(f.x1, mx);
                    f.z0 = std::min(f.z0, mz), f.z1 = std::max(f.z1, mz);
                }
                feet.push_back(f);
            }
        };
        // What a description is: the gates' come first, then one per prop kind placed, in kind order.
        auto nameOf = [&d](int description) -> std::string {
            static const char* kProps[] = {"hay bale", "banner", "fence", "start gate",
                                           "pickup",   "tyres",  "tree",  "grandstand"};
            if (description < 0) return "arena walls";
            if (description < int(d.gates.size())) return "gate posts";
            int k = description - int(d.gates.size());
            for (int p = 0; p < int(Prop::Count); ++p) {
                bool used = false;
                for (const Placement& pl : d.placements) used = used || pl.prop == Prop(p);
                if (used && k-- == 0) return kProps[p];
            }
            return "?";
        };
        const int blocksPerDescription = check.layout.numTiles * worldfile::kSubtilesPerTile;
        uint32_t at = worldfile::kHeaderSize;
        for (int b = 0; b < check.layout.numObjects * blocksPerDescription; ++b) {
            uint32_t n;
            std::memcpy(&n, main + at, 4);
            at += worldfile::kBlockHeaderSize;
            const int description = b / blocksPerDescription;
            const unsigned label = unsigned(worldfile::kLabelFirstDescription + 2 * description + 1);
            for (uint32_t r = 0; r < n; ++r, at += worldfile::kPlacementSize) {
                _Placement p;
                std::memcpy(&p, main + at, sizeof p);
                // Scenery without collision, and the freestyle pickups, there to be ridden through.
                if (fm.getSubfileCountForLabel(image.p, label) < 1 || nameOf(description) == "pickup")
                    continue;
                addBlock(unsigned(fm.getLabelIndex(image.p, label)), p.x, p.z, 2 * std::atan2(p.qy, p.qw),
                         description);
            }
        }
        if (fm.getSubfileCountForLabel(image.p, worldfile::kLabelArena) == 2)
            addBlock(unsigned(fm.getLabelIndex(image.p, worldfile::kLabelArena) + 1), d.side / 2, d.side / 2,
                     0, -1);
        ASSERT_FALSE(feet.empty());

        // Gate posts (the finish gate's too) stand 4 m clear of the riding surface itself: a post's box lies
        // at least 3.8 m (less its half width and a margin for the sampled centre line) from the nearest
        // stretch of the centre line, less the half width there.
        constexpr float kPostClearance = 380.0f;
        for (const Footprint& f : feet) {
            if (f.description < 0 || f.description >= int(d.gates.size())) continue;
            const float lx = 0.5f * (f.x0 + f.x1), lz = 0.5f * (f.z0 + f.z1);
            const float px = f.cx + lx * f.cosH + lz * f.sinH, pz = f.cz - lx * f.sinH + lz * f.cosH;
            const float half = 0.5f * std::max(f.x1 - f.x0, f.z1 - f.z0);
            float worst = 1e9f;
            for (size_t i = 0; i < d.centre.size(); ++i) {
                const CentrePoint &a = d.centre[i], &b = d.centre[(i + 1) % d.centre.size()];
                const float ex = b.x - a.x, ez = b.z - a.z, len2 = ex * ex + ez * ez;
                const float t =
                    len2 > 0 ? std::clamp(((px - a.x) * ex + (pz - a.z) * ez) / len2, 0.0f, 1.0f) : 0;
                const float hw = a.halfWidth + t * (b.halfWidth - a.halfWidth);
                worst = std::min(worst, std::hypot(px - a.x - t * ex, pz - a.z - t * ez) - hw - half);
            }
            EXPECT_GE(worst, kPostClearance) << "gate post at (" << px << ", " << pz << ") of gate "
                                             << f.description << " of " << d.gates.size();
        }

        CSplineManager* splines = CSplineManager::getSplineManager();
        splines->loadSplines(main + check.layout.splineOffset, check.layout.splineLength,
                             float(check.layout.gridSize), check.layout.numTiles);
        for (int s = 0; s < CSplineManager::lastEntry; ++s) {
            const CQZSpline& line = splines->spline(CSplineManager::SplineType(s));
            ASSERT_TRUE(line.valid()) << "spline " << s;
            float worst = 1e9f;
            const Footprint* nearest = nullptr;
            for (float t = 0.1f; t <= line.GetPointTime(line.count() - 1); t += 50.0f) {
                float x, y, z;
                ASSERT_TRUE(line.GetRawPointOnSpline(t, x, y, z, nullptr));
                for (const Footprint& f : feet) {
                    // The line point in the box's frame, and its distance to the box (0 inside).
                    const float dx = x - f.cx, dz = z - f.cz;
                    const float lx = dx * f.cosH - dz * f.sinH, lz = dx * f.sinH + dz * f.cosH;
                    const float ex = std::max({f.x0 - lx, 0.0f, lx - f.x1});
                    const float ez = std::max({f.z0 - lz, 0.0f, lz - f.z1});
                    const float e = std::hypot(ex, ez);
                    if (e < worst) worst = e, nearest = &f;
                }
            }
            EXPECT_GE(worst, kClearance) << "spline " << s << ": " << nameOf(nearest->description) << " at ("
                                         << nearest->cx << ", " << nearest->cz << ")";
        }
        CSplineManager::cleanUp();
    }
}

}  // namespace
