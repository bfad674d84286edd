// World view rules on a small written world: gates and the out-of-bounds ring, the terrain's level
// thresholds, border strips and their repairs, the full-detail row stream, the scenery fade table, the
// drawing options and the colliders near human racers.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "engine/hal/view_matrices.h"
#include "game/files/collision_storage.h"
#include "mkdisc/track_objects.h"
#include "race/scene/subtile_view.h"
#include "support/log_capture.h"
#include "support/world_view_scene.h"
#include "world/objects/kinetic_collide.h"
#include "world/terrain_low_detail.h"
#include "world/world_fixture.h"

namespace {

using testsupport::WorldViewScene;
constexpr int kGrid = 50;

// The fixture's 2 x 2 world (two gates, the finish gate, two hay bales as scenery) on a slope, the bales
// with a collision block, with or without an out-of-bounds tile.
std::vector<uint8_t> TestWorld(bool outOfBounds) {
    WorldDescription w =
        worldtest::MakeWorld(2, kGrid, [](int x, int z) { return uint16_t(2000 + 7 * x + 3 * z); });
    w.descriptions[3] = {{PropGeometry(Prop::HayBale, 0)}, PropCollision(Prop::HayBale)};
    if (outOfBounds) w.outOfBounds = PropGeometry(Prop::HayBale, 0);
    const int side = 2 * worldfile::kTileCells;
    for (int t = 0; t < 4; ++t)
        for (int k = 0; k < 16; ++k) {
            uint16_t block[56 * 56];
            const int x0 = (t % 2) * 224 + (k % 4) * 56, z0 = (t / 2) * 224 + (k / 4) * 56;
            for (int r = 0; r < 56; ++r)
                for (int c = 0; c < 56; ++c)
                    block[r * 56 + c] = w.heights[size_t(z0 + r) * side + size_t(x0 + c)];
            w.lowDetail.push_back(lowdetail::Build(block, 5));
        }
    return WriteWorldFile(w);
}

void BeginView(WorldViewScene& s) {
    veEngineBeginFrame();
    veDisplayActivateView(&s.view->_view3d);
    veEngineBuildView(&s.view->_view3d);
    veEngineDmaViewMatrices();
}

TEST(WorldViewChecks, GatesGoToTheWorldFinishLastAndTheRingSurroundsIt) {
    for (bool ring : {false, true}) {
        WorldViewScene s(TestWorld(ring), TRACKTYPE_OUTDOOR);
        EXPECT_EQ(s.worldView->numGates, 2);
        ASSERT_EQ(s.world->gateObjects.size(), 3u);
        EXPECT_EQ(s.world->gateObjects.back().descriptionId, CSubtileModel::firstObjectId + 2);
        EXPECT_EQ(s.worldView->outOfBoundsTiles, ring ? 2 * (2 + 2) + 2 * 2 : 0);
    }
}

TEST(WorldViewChecks, TerrainLevelFollowsTheThresholds) {
    WorldViewScene s(TestWorld(false), TRACKTYPE_OUTDOOR);
    CSubtileModel* m = s.world->stmList[0];
    CSubtileViewPS2* v = s.worldView->stvList[0].get();
    const float c = 28.0f * kGrid;
    s.look(c - 2000, -3000, c - 2000, c, 0, c);
    BeginView(s);
    CWorldModel::terrainLod1DepthSquared = CWorldModel::terrainFarClipDepthSquared = 1e9f;
    v->calculateLodDepthClip(s.view.get(), m);
    const uint32_t depth = v->depth;
    struct Case {
        float lod1, far;
        int options, lod;
    } cases[] = {{float(depth), 1e9f, 0, 0},
                 {float(depth - 1), 1e9f, 0, 2},
                 {0, float(depth - 1), 0, -1},
                 {0, float(depth - 1), 0x1000000, 2}};
    for (const Case& k : cases) {
        CWorldModel::terrainLod1DepthSquared = k.lod1;
        CWorldModel::terrainFarClipDepthSquared = k.far;
        gameOptions.gameOptions = k.options;
        v->calculateLodDepthClip(s.view.get(), m);
        EXPECT_EQ(v->LOD, k.lod) << k.lod1 << " " << k.far << " " << k.options;
    }
    veEngineEndFrame();
}

TEST(WorldViewChecks, BorderStripsJoinNeighboursAndRepairShortBorders) {
    WorldViewScene s(TestWorld(false), TRACKTYPE_OUTDOOR);
    const auto& stv = s.worldView->stvList;
    // The world's last column has no right neighbour: 56-vertex top and bottom strips.
    EXPECT_EQ(stv[3]->rightEdgeId, 16);
    EXPECT_EQ(stv[3]->topEdgeStripLOD0.numVerts, 57);
    EXPECT_EQ(stv[19]->rightEdgeId, -1);
    EXPECT_EQ(stv[19]->bottomEdgeStripLOD0.numVerts, 56);
    // A low-detail mesh whose lower right corner stops at column 50: the corner vertex (0, 0) is in the
    // top and left strips; the short bottom and right borders are moved out after their messages.
    uint16_t samples[56 * 56] = {};
    std::vector<uint8_t> block = lowdetail::Build(samples, 5);
    CSubtileModel* m = s.world->stmList[0];
    uint32_t qw = 0;
    auto* p =
        const_cast<uint8_t*>(lowdetail::Packet(block.data(), lowdetail::PacketCount(block.data()) - 1, &qw));
    uint32_t strips;
    std::memcpy(&strips, p + 16, 4);
    uint8_t* last = p + 48 + 16 * strips + 4 * (strips * 24 - 1);  // the strip's last vertex: (55, 55)
    ASSERT_EQ(last[0], 55);
    last[0] = 50;
    testsupport::LogCapture log;
    CSubtileViewPS2 v(m, block.data(), nullptr);
    v.setupEdgeStrips(s.worldView.get());
    EXPECT_EQ(v.topEdgeStripLOD1.data[0].x, 0);
    EXPECT_EQ(v.leftEdgeStripLOD1.data[0].z, 0);
    EXPECT_TRUE(log.has("ERROR -- bad z position on right 50"));
    EXPECT_EQ(v.rightEdgeStripLOD1.data[v.rightEdgeStripLOD1.numVerts - 1].z, 55);
    EXPECT_EQ(v.bottomEdgeStripLOD1.data[v.bottomEdgeStripLOD1.numVerts - 1].x, 56);
}

TEST(WorldViewChecks, FullDetailSendsEveryRowAndNoBandGoesToAnUndrawnNeighbour) {
    WorldViewScene s(TestWorld(false), TRACKTYPE_OUTDOOR);
    const auto& stv = s.worldView->stvList;
    s.look(1000, -3000, 1000, 1500, 0, 1500);
    BeginView(s);
    CSubtileViewPS2::counters = {};
    stv[0]->LOD = 0;
    stv[0]->render(s.view.get());
    EXPECT_EQ(CSubtileViewPS2::counters.rowsSent, 56u);
    EXPECT_EQ(CSubtileViewPS2::counters.continues, 55u);
    stv[1]->LOD = stv[4]->LOD = -1;
    stv[0]->renderStitching(s.view.get(), s.worldView.get());
    EXPECT_EQ(CSubtileViewPS2::counters.bands, 0u);
    stv[4]->LOD = 2;
    stv[0]->renderStitching(s.view.get(), s.worldView.get());
    EXPECT_EQ(CSubtileViewPS2::counters.bands, 1u);
    veEngineEndFrame();
}

TEST(WorldViewChecks, SceneryFadeTable) {
    C3DViewObject::objectLod1DepthSquared = 10000;
    C3DViewObject::objectLod2DepthSquared = 40000;
    C3DViewObject::objectFarClipDepthSquared = 90000;
    gameOptions.gameOptions = 0;
    const float N = 10000 - 3600, h = 1800, E = 90000 - 8100, F = 90000;
    struct Case {
        float d;
        bool nearBand, single;
        int pass, level;
        float alpha;
    } cases[] = {
        {N + h, true, false, 0, 0, 128},
        {N + h, true, false, 1, -1, 128},
        {F, false, true, 0, 2, 0},
        {F, false, true, 1, 2, 0},
        {F, false, false, 0, -1, 128},
        {F, false, false, 1, -1, 128},
        {5000, false, false, 0, 0, 128},
        {20000, false, false, 0, 1, 128},
        {50000, false, false, 0, 2, 128},
        {E + 4050, false, false, 1, 2, 64},
        {E + 4050, false, false, 0, -1, 128},
    };
    for (const Case& k : cases) {
        int level;
        float alpha;
        CSubtileViewPS2::instanceLook(k.d, k.nearBand, k.single, k.pass, &level, &alpha);
        EXPECT_EQ(level, k.level) << k.d << " pass " << k.pass;
        if (level >= 0) {
            EXPECT_NEAR(alpha, k.alpha, 0.01f) << k.d;
        }
    }
}

TEST(WorldViewChecks, DrawingOptionsChooseTerrainAndScenery) {
    WorldViewScene s(TestWorld(false), TRACKTYPE_OUTDOOR);
    s.look(60.0f * kGrid - 800, -600, 20.0f * kGrid - 800, 60.0f * kGrid, -300, 20.0f * kGrid);
    for (int options : {0x100, 0x200, 0x300}) {
        gameOptions.gameOptions = options;
        CSubtileViewPS2::counters = {};
        s.frame(false);
        EXPECT_EQ(CSubtileViewPS2::counters.rowsSent > 0, (options & 0x100) != 0) << options;
        EXPECT_EQ(CSubtileViewPS2::counters.instances > 0, (options & 0x200) != 0) << options;
    }
}

// The debug drawing: the bodies made for player 1 drawn as white wire frames. A gate with its posts'
// collision block, seen head on from 15 m with player 1 standing at it: the posts are outlined in white,
// one left and one right of the centre, from the ground up past the eye. With player 1 too far away for
// the gate to have bodies, or without the debug option (also in the frames after it was on), nothing white
// is drawn.
TEST(WorldViewChecks, DebugDrawingOutlinesTheGatePostsNearPlayerOne) {
    WorldDescription w = worldtest::MakeWorld(2, kGrid, [](int, int) { return uint16_t(0); });
    const float halfSpan = 400.0f;
    w.descriptions[0] = {{GateGeometry(halfSpan, false)}, GateCollision(halfSpan)};
    const float gx = w.placements[0].record.x, gz = w.placements[0].record.z;  // standing at y = 0
    // Only the debug drawing: no terrain, no scenery, no sky.
    WorldViewScene s(WriteWorldFile(w), TRACKTYPE_OUTDOOR, 0x1, false);
    CModelObject player;
    s.world->humanRacers = {&player};
    s.look(gx, -220, gz - 1500, gx, -220, gz);

    struct White {
        int left = 0, right = 0, centre = 0, above = 0, below = 0;
    };
    auto draw = [&](int options, float playerX) {
        player.position = qzVector3d(playerX, 0, gz);
        gameOptions.gameOptions = 0x1;
        s.world->update(0.0f);
        gameOptions.gameOptions = options;
        s.frame();
        const std::vector<uint8_t> px = s.pixels();
        White n;
        for (int y = 0; y < 448; ++y)
            for (int x = 0; x < 640; ++x) {
                const uint8_t* p = &px[size_t(y * 640 + x) * 4];
                if (p[0] < 250 || p[1] < 250 || p[2] < 250) continue;
                (x < 280 ? n.left : x >= 360 ? n.right : n.centre)++;
                (y < 224 ? n.above : n.below)++;
            }
        return n;
    };
    // Player 1 far from the gate (no bodies for it), then at the gate without the debug option.
    const White away = draw(0x1 | 0x2, gx + 5000.0f);
    EXPECT_EQ(away.left + away.right + away.centre, 0);
    const White off = draw(0x1, gx);
    EXPECT_EQ(off.left + off.right + off.centre, 0);

    const White on = draw(0x1 | 0x2, gx);
    EXPECT_GT(on.left, 100);
    EXPECT_GT(on.right, 100);
    EXPECT_NEAR(on.left, on.right, on.left / 5);  // the same post mirrored
    EXPECT_EQ(on.centre, 0);                      // nothing between the posts
    EXPECT_GT(on.above, 50);
    EXPECT_GT(on.below, 50);
    // Off again: nothing white in the next frames, which the display shows by fields of both parities in
    // turn (the view matrices' call must not draw the last line again from the vector unit's buffer).
    for (int k = 0; k < 2; ++k) {
        const White again = draw(0x1, gx);
        EXPECT_EQ(again.left + again.right + again.centre, 0) << "frame " << k;
    }
}

TEST(WorldViewChecks, CollidersFollowTheHumanRacers) {
    WorldViewScene s(TestWorld(false), TRACKTYPE_OUTDOOR, 0x1);
    CModelObject a, b;
    s.world->humanRacers = {&a, &b};
    auto colliders = [&](int k) {
        int n = 0;
        for (const auto& o : s.world->collisionObjects[k]) n += o != nullptr;
        return n;
    };
    // Both racers standing by the bales (60, 20) and (61, 21) in grid cells: one body each per racer,
    // made once however many steps they stand there.
    a.position = b.position = qzVector3d(60.0f * kGrid, 0, 20.0f * kGrid);
    for (float t : {0.0f, 0.1f, 0.2f}) s.world->update(t);
    EXPECT_EQ(colliders(0), 2);
    EXPECT_EQ(colliders(1), 2);
    // Racer a at exactly the keep distance of the first bale (the first float whose square reaches it) is
    // out of its reach; one float nearer it is within.
    float r = CResourceStorage<CKineticCollide>::instance()
                  .get(CResourceStorage<CObjectDescription>::instance()
                           .get(CSubtileModel::firstObjectId + 3)
                           ->collisionIdList[0])
                  ->radius;
    _Placement* bale = s.world->stmList[1]->objectList[3];  // grid cells (60, 20): subtile 1
    ASSERT_NE(bale, nullptr);
    const float keep = 2250000.0f + r * r;
    auto far = [&](float x) { return (bale->x - x) * (bale->x - x) >= keep; };
    float x = bale->x + std::sqrt(keep);
    while (!far(x)) x = std::nextafter(x, 1e9f);
    while (far(std::nextafter(x, 0.0f))) x = std::nextafter(x, 0.0f);
    a.position = qzVector3d(std::nextafter(x, 0.0f), bale->y, bale->z);
    s.world->update(0.3f);
    EXPECT_EQ(colliders(0), 2);
    a.position.x = x;
    s.world->update(0.4f);
    EXPECT_EQ(colliders(0), 1);
    // Without option 0x1 no collider is made.
    gameOptions.gameOptions = 0;
    CWorldModel other;
    other.humanRacers = {&b};
    other.update(0.4f);
    EXPECT_EQ(other.collisionObjects[0][0].get(), nullptr);
}

}  // namespace
