// The world view over the sample disc's worlds and a small written one: frames of terrain drawn at both
// levels of detail with their seams, and the largest world seen from
// every checkpoint within the fixed tables. QZ_WORLD_PNG=<dir> also writes the frames as PNG.
#include "race/scene/world_view.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "engine/hal/dma_tasks.h"
#include "engine/hal/view_matrices.h"
#include "host/png_writer.h"
#include "mkdisc/track_design.h"
#include "mkdisc/tracks.h"
#include "race/scene/subtile_view.h"
#include "support/world_view_scene.h"

namespace {

using testsupport::WorldViewScene;

const TrackSpec* Spec(TrackKind kind) {
    for (const TrackSpec& s : TrackSpecs())
        if (s.kind == kind) return &s;
    return nullptr;
}

void MaybePng(const WorldViewScene& scene, const std::string& name) {
    const char* dir = std::getenv("QZ_WORLD_PNG");
    if (!dir) return;
    host::Error e;
    host::WritePng(std::string(dir) + "/" + name + ".png", scene.pixels().data(), 640, 448, 4, true, &e);
}

// Pixels of the cleared background colour (read from a frame with nothing drawn) in `px`, above the
// last row (the display's filtered copy blends that one with the line below the picture).
int Background(WorldViewScene& scene, const std::vector<uint8_t>& px) {
    const int options = gameOptions.gameOptions;
    gameOptions.gameOptions = 0;
    scene.frame();
    const std::vector<uint8_t> empty = scene.pixels();
    gameOptions.gameOptions = options;
    int n = 0;
    for (size_t i = 0; i < px.size() - 640 * 4; i += 4)
        n += px[i] == empty[0] && px[i + 1] == empty[1] && px[i + 2] == empty[2];
    return n;
}

TEST(WorldViewTest, SeamsBetweenLevelsLeaveNoCrack) {
    const TrackSpec* spec = Spec(TrackKind::Outdoor);
    const TrackDesign d = DesignTrack(*spec);
    WorldViewScene scene(BuildWorld(*spec), 2, 0x100, false);
    // Full detail within 60 hundred units: straight down from 50 hundred, the middle of the picture is at
    // full detail and its edges at low detail.
    CWorldModel::terrainLod1DepthSquared = 60.0f * 60.0f;
    for (float f : {0.3f, 0.5f, 0.7f}) {
        const float x = d.side * f, z = d.side * (1 - f), y = -d.heightAt(x, z);
        scene.look(x, y - 5000, z, x + 1, y, z + 2);
        CSubtileViewPS2::counters = {};
        scene.frame();
        MaybePng(scene, "seams_" + std::to_string(int(f * 10)));
        EXPECT_GT(CSubtileViewPS2::counters.rowsSent, 0u);
        EXPECT_GT(CSubtileViewPS2::counters.lowDetailDraws, 0u);
        EXPECT_GT(CSubtileViewPS2::counters.bands, 0u);
        EXPECT_EQ(Background(scene, scene.pixels()), 0) << f;
    }
}

TEST(WorldViewTest, LowDetailLevelsOneAndTwoDrawAlike) {
    const TrackSpec* spec = Spec(TrackKind::Outdoor);
    const TrackDesign d = DesignTrack(*spec);
    WorldViewScene scene(BuildWorld(*spec), 2, 0x100, false);
    const float mid = d.side / 2, y = -d.heightAt(mid, mid);
    scene.look(mid - 4000, y - 3000, mid - 4000, mid, y, mid);
    std::vector<uint8_t> frames[2];
    for (int level = 1; level <= 2; ++level) {
        veEngineBeginFrame();
        veDisplayActivateView(&scene.view->_view3d);
        veEngineBuildView(&scene.view->_view3d);
        veEngineDmaViewMatrices();
        for (const auto& v : scene.worldView->stvList) {
            v->LOD = level;
            v->drawWithClipping = CLIP_TRICULL;
            v->render(scene.view.get());
        }
        veEngineEndFrame();
        for (int k = 0; k < 2; ++k) {
            veEngineBeginFrame();
            veEngineEndFrame();
        }
        frames[level - 1] = scene.pixels();
        // Four frames a level, so both pictures pass the display's field filter on the same field.
        veEngineBeginFrame();
        veEngineEndFrame();
    }
    EXPECT_LT(Background(scene, frames[0]), 640 * 448 / 2);
    int diff = 0;
    for (size_t i = 0; i < frames[0].size(); ++i) diff += frames[0][i] != frames[1][i];
    EXPECT_EQ(diff, 0);
}

TEST(WorldViewTest, TrackFramesDrawBothLevelsAndTheirSeams) {
    const TrackKind kinds[] = {TrackKind::Indoor, TrackKind::Baja, TrackKind::Outdoor, TrackKind::Freestyle};
    const char* names[] = {"indoor", "baja", "outdoor", "freestyle"};
    for (int k = 0; k < 4; ++k) {
        const TrackSpec* spec = Spec(kinds[k]);
        ASSERT_NE(spec, nullptr);
        const TrackDesign d = DesignTrack(*spec);
        WorldViewScene scene(BuildWorld(*spec), static_cast<int>(k == 0 ? 1 : k == 1 ? 0 : k));
        // Behind the start line, looking down the first straight.
        const CentrePoint& c = d.centre[0];
        const float h = -d.heightAt(c.x, c.z);
        scene.look(c.x - 2500 * c.dirX, h - 900, c.z - 2500 * c.dirZ, c.x + 1500 * c.dirX, h,
                   c.z + 1500 * c.dirZ);
        CSubtileViewPS2::counters = {};
        scene.frame();
        MaybePng(scene, std::string("race_") + names[k]);
        EXPECT_GT(CSubtileViewPS2::counters.rowsSent, 0u) << names[k];
        // Straight down from high up, low enough that both levels are on screen: ground everywhere.
        const float mid = d.side / 2;
        scene.look(mid, -d.heightAt(mid, mid) - 14000, mid, mid + 1, -d.heightAt(mid, mid), mid + 2);
        CSubtileViewPS2::counters = {};
        scene.frame();
        MaybePng(scene, std::string("above_") + names[k]);
        EXPECT_GT(CSubtileViewPS2::counters.lowDetailDraws, 0u) << names[k];
        EXPECT_GT(CSubtileViewPS2::counters.bands, 0u) << names[k];
    }
}

TEST(WorldViewTest, LargestWorldFromEveryCheckpointStaysWithinCapacities) {
    const TrackSpec* spec = Spec(TrackKind::Baja);  // 4 x 4 tiles: 256 subtiles
    const TrackDesign d = DesignTrack(*spec);
    WorldViewScene scene(BuildWorld(*spec), 0);
    ASSERT_EQ(scene.worldView->stvList.size(), 256u);
    const uint32_t refusedBefore = veDmaRefusedTasks();
    CSubtileViewPS2::counters = {};
    for (float s : d.checkpoints) {
        const CentrePoint& c = d.centre[std::min(d.centre.size() - 1, size_t(s / d.step))];
        const float h = -d.heightAt(c.x, c.z);
        scene.look(c.x - 350 * c.dirX, h - 150, c.z - 350 * c.dirZ, c.x + 1000 * c.dirX, h,
                   c.z + 1000 * c.dirZ);
        scene.frame(false);
        EXPECT_EQ(scene.worldView->visibleOverflow, 0);
        EXPECT_LE(scene.worldView->visibleCount, CWorldView::kMaxVisibleSubtiles);
    }
    EXPECT_EQ(CSubtileViewPS2::counters.stripOverflows, 0u);
    EXPECT_EQ(CSubtileViewPS2::counters.chainsDropped, 0u);
    EXPECT_EQ(veDmaRefusedTasks(), refusedBefore);
}

}  // namespace
