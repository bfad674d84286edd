// The world model built from a written world loaded through the file manager: subtile boxes, heights,
// normals, triangles, rows and areas against the height function the world was written from, the lookups
// with no terrain, colours, the world's edge and centre, the quad tree, and the statics reset.
#include "world/world_model.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <set>
#include <vector>

#include "console/cd/cd.h"
#include "console/cd/disc_faults.h"
#include "engine/sys/files.h"
#include "engine/sys/heap.h"
#include "game/files/file_manager.h"
#include "game/files/geometry.h"
#include "game/files/master_file_format.h"
#include "game/files/texture.h"
#include "game/model/bounding_model_object.h"
#include "support/image_patch.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"
#include "world/subtile_model.h"
#include "world/world_loader.h"
#include "world/world_quad_tree.h"
#include "world_fixture.h"

namespace {

constexpr int kGrid = 4;
// A plane with a ripple on one stretch: samples 1000 + 10 x + 5 z, plus 300 on every third column.
uint16_t Ramp(int x, int z) {
    return static_cast<uint16_t>(1000 + 10 * x + 5 * z);
}
uint16_t Bumpy(int x, int z) {
    return static_cast<uint16_t>(Ramp(x, z) + (x % 3 == 0 ? 300 : 0));
}

class WorldModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        x_InitSTDIO();
        PS2CD_ResetFiles();
        log_.attach();
    }
    void TearDown() override {
        delete model_;
        x_free(image_);
        CWorldModel::resetStatics();
        CSubtileModel::resetStatics();
        console::CdUnmount();
    }
    // Writes the world to the disc as WORLD\<name> and builds the model from it.
    bool Load(const std::vector<uint8_t>& bytes, const char* name = "o01.bin") {
        disc_.write(std::string("WORLD/") + name, bytes);
        console::CdUnmount();  // the disc's file list is read at mount
        PS2CD_ResetFiles();
        if (!console::CdMount(disc_.path().c_str())) return false;
        image_ = LoadWorldFile((std::string("WORLD\\") + name).c_str());
        if (!image_) {
            ADD_FAILURE() << log_.text();
            return false;
        }
        model_ = new CWorldModel;
        BuildWorldModel(*model_, image_);
        return true;
    }
    static float Y(float sample) { return sample * CWorldModel::scaleHeight; }

    testsupport::LogCapture log_;
    testsupport::TempDir disc_;
    void* image_ = nullptr;
    CWorldModel* model_ = nullptr;
};

TEST_F(WorldModelTest, LoadsThroughTheFileManagerAndRefusesABadWorld) {
    // A bad container, spline section or terrain map: refused with one line after the loader's two.
    const auto good = worldtest::Flat(2, 0);
    WorldImageMap map;
    ASSERT_TRUE(MapWorldImage(good, &map));
    const uint32_t n = testsupport::Peek<uint32_t>(good, 0);
    const uint32_t terrainEntry = masterfile::EntryOffset(
        testsupport::Peek<uint32_t>(good, masterfile::LabelTableOffset(n) + 4 * worldfile::kLabelTerrainMap));
    const uint32_t terrainMap = testsupport::Peek<uint32_t>(good, terrainEntry) & masterfile::kOffsetMask;
    const struct {
        uint32_t at;
        int16_t value;
        const char* line;
        const char* reason;  // how the disc-fault record's reason starts: the program tells the user
    } cases[] = {
        {map.main + 4, 5, "world WORLD\\b01.bin refused: tile list not row by row and complete\n",
         "is damaged: not a valid world (tile list not row by row and complete)"},
        {map.main + map.layout.splineOffset, 1,
         "world WORLD\\b01.bin refused: spline 0: ", "is damaged: not a valid world (spline 0: "},
        {terrainMap + 2, 0x7FFF, "terrain map: cell 0 row 0 starts at ",
         "is damaged: not a valid world (terrain map: cell 0 row 0 starts at "},
    };
    for (const auto& c : cases) {
        auto bad = good;
        testsupport::Poke(bad, c.at, c.value);
        disc_.write("WORLD/b01.bin", bad);
        console::CdUnmount();
        PS2CD_ResetFiles();
        ASSERT_TRUE(console::CdMount(disc_.path().c_str()));
        log_.clear();
        EXPECT_EQ(LoadWorldFile("WORLD\\b01.bin"), nullptr) << c.line;
        EXPECT_TRUE(log_.has(c.line)) << log_.text();
        EXPECT_EQ(log_.count("\n"), 3) << log_.text();  // "filename", "fileMem", the refusal
        const console::DiscFileFault* fault = console::CdFaultOf("WORLD\\b01.bin");
        ASSERT_NE(fault, nullptr) << c.reason;
        char reason[400];
        EXPECT_EQ(std::string(console::CdFaultReason(*fault, reason, sizeof reason)).rfind(c.reason, 0), 0u)
            << reason;
    }

    ASSERT_TRUE(Load(WriteWorldFile(worldtest::MakeWorld(3, kGrid, Bumpy))));
    EXPECT_EQ(console::CdFaultCount(), 0);  // a good world is no fault
    EXPECT_EQ(CWorldModel::worldDepthInTiles, 3);
    EXPECT_EQ(CWorldModel::worldWidth, 896.0f * kGrid);
    ASSERT_EQ(model_->stmList.size(), 144u);
    // Subtile 16 t + 4 k + j sits at tile (t % 3, t / 3), subtile (j, k); its box spans its samples.
    const CSubtileModel* s = model_->stmList[16 * 5 + 4 * 2 + 3];
    EXPECT_EQ(s->terrainBBox.minX, (2 * 224 + 3 * 56) * kGrid);
    EXPECT_EQ(s->terrainBBox.maxZ, (224 + 3 * 56) * kGrid);
    EXPECT_NE(s->terrainBitmap.get(), nullptr);
    const int x0 = 2 * 224 + 3 * 56, z0 = 224 + 2 * 56;
    EXPECT_FLOAT_EQ(s->terrainBBox.minY, Y(Bumpy(x0 + 53, z0 + 55)) - 10.0f);
    EXPECT_FLOAT_EQ(s->terrainBBox.maxY, Y(Bumpy(x0, z0)) + 10.0f);
    EXPECT_FLOAT_EQ(s->bBox.minY, Y(Bumpy(x0 + 53, z0 + 55)) - 2500.0f);

    // The subtiles form one quad tree: each is visited once, every node inside its parent within the slack.
    CWorldQuadTree q;
    q.allocViewList();
    const size_t reserved = q.viewList.capacity();
    std::function<void(CQuadTree<CModelObject*, CWorldQuadTree>*)> walk = [&](auto* node) {
        EXPECT_TRUE(q.DoIt(node->m_Data));
        for (const auto& c : node->m_Children)
            if (c) {
                EXPECT_TRUE(q.IsContained(node->m_Data, c->m_Data));
                walk(c.get());
            }
    };
    ASSERT_NE(model_->quadTree.get(), nullptr);
    walk(model_->quadTree.get());
    ASSERT_EQ(std::set<uint32_t>(q.viewList.begin(), q.viewList.end()).size(), 144u);
    EXPECT_EQ(q.viewList.size(), 144u);  // containers add nothing
    EXPECT_EQ(*std::max_element(q.viewList.begin(), q.viewList.end()), 143u);
    q.reset();
    EXPECT_TRUE(q.viewList.empty());
    EXPECT_EQ(q.viewList.capacity(), reserved);
}

// The parts of the shared label read by label and by length, each empty: the world is taken and the
// model built without a detail bitmap, and the sky's geometry and the HUD's map, as the race reads them
// (their label's sub-file with its length), are missing.
TEST_F(WorldModelTest, EmptySharedSubFilesAreLeftOut) {
    auto w = worldtest::MakeWorld(2, kGrid, Ramp);
    w.detailBitmap.clear();
    w.skyGeometry.clear();
    w.hudMap.clear();
    ASSERT_TRUE(Load(WriteWorldFile(w)));
    EXPECT_EQ(CSubtileModel::detailBitmap, nullptr);
    EXPECT_EQ(model_->stmList.size(), 64u);
    CFileManager* fm = GetFileManager();
    const int shared = fm->getLabelIndex(image_, worldfile::kLabelShared);
    const auto sky = static_cast<unsigned>(shared + 1), map = static_cast<unsigned>(shared + 2);
    log_.clear();
    EXPECT_EQ(LoadGeometry(fm->loadSubFileLabel(image_, worldfile::kLabelShared, 1),
                           fm->getSubFileLength(image_, sky), static_cast<int>(sky)),
              nullptr);
    EXPECT_EQ(LoadTexture(fm->loadSubFileLabel(image_, worldfile::kLabelShared, 2),
                          fm->getSubFileLength(image_, map), static_cast<int>(map)),
              nullptr);
    EXPECT_TRUE(log_.has("geometry sub-file " + std::to_string(sky) + " missing\n")) << log_.text();
    EXPECT_TRUE(log_.has("texture sub-file " + std::to_string(map) + " missing")) << log_.text();
}

TEST_F(WorldModelTest, HeightsNormalsAndNoTerrain) {
    ASSERT_TRUE(Load(WriteWorldFile(worldtest::MakeWorld(2, kGrid, Ramp))));
    const float k = CWorldModel::scaleHeight, g = kGrid;
    const float len = std::sqrt((10 * k / g) * (10 * k / g) + 1 + (5 * k / g) * (5 * k / g));
    // Inside a cell, in the last cell of a subtile and across a tile boundary; even and odd rows.
    const float points[][2] = {{10.3f, 7.9f}, {55.5f * g, 12.2f}, {100, 55.7f * g}, {224.2f * g, 3.1f * g}};
    for (const auto& p : points) {
        float h = 0;
        qzVector3d n;
        ASSERT_EQ(model_->getHeightAndNormalAt(p[0], p[1], h, n), 1) << p[0] << "," << p[1];
        const float expect = (1000 + 10 * p[0] / g + 5 * p[1] / g) * k;
        EXPECT_NEAR(h, expect, 1e-3f * std::fabs(expect)) << p[0] << "," << p[1];
        EXPECT_NEAR(n.x, 10 * k / g / len, 1e-5f);
        EXPECT_NEAR(n.y, -1 / len, 1e-5f);
        EXPECT_NEAR(n.z, 5 * k / g / len, 1e-5f);
        EXPECT_EQ(model_->getHeightAt(p[0], p[1]), h);
    }
    // No terrain: the last cell of the world, beyond it, and negative coordinates (which would truncate
    // into the first cell); the normal is left alone.
    const float side = 448 * g;
    const float none[][2] = {{side - 0.5f * g, 10}, {side + 1, 10}, {-0.5f, 10}, {10, -0.5f}, {-1e30f, 3}};
    for (const auto& p : none) {
        float h = 7;
        qzVector3d n(9, 9, 9);
        EXPECT_EQ(model_->getHeightAndNormalAt(p[0], p[1], h, n), 0) << p[0] << "," << p[1];
        EXPECT_EQ(h + model_->getHeightAt(p[0], p[1]), 0.0f);
        EXPECT_EQ(n.x, 9.0f);
    }
}

TEST_F(WorldModelTest, CellsRowsAndAreasCarryTheSamples) {
    ASSERT_TRUE(Load(WriteWorldFile(worldtest::MakeWorld(2, kGrid, Bumpy))));
    const int g = kGrid;
    // (x, z) inside the cell at column 2, row 4 (even) or 5 (odd); the corners expected, in order.
    const struct {
        int fx, fz, row;
        int corners[3][2];
    } cases[] = {
        {1, 1, 4, {{0, 0}, {1, 0}, {0, 1}}},
        {2, 2, 4, {{1, 1}, {0, 1}, {1, 0}}},  // on the anti-diagonal
        {3, 1, 5, {{0, 0}, {1, 0}, {1, 1}}},
        {1, 3, 5, {{0, 0}, {1, 1}, {0, 1}}},
    };
    for (const auto& c : cases) {
        qzVector3d tri[3];
        ASSERT_EQ(model_->getLocation(tri, 2 * g + c.fx, c.row * g + c.fz), 1);
        for (int i = 0; i < 3; ++i) {
            const int X = 2 + c.corners[i][0], Z = c.row + c.corners[i][1];
            EXPECT_EQ(tri[i].x, X * g) << c.fx << "," << c.fz << " row " << c.row << " corner " << i;
            EXPECT_EQ(tri[i].z, Z * g);
            EXPECT_EQ(tri[i].y, Y(Bumpy(X, Z)));
        }
    }
    // A row of a two-tile-wide world: 448 samples, then the row's last sample repeated.
    std::vector<float> row(896, -1);
    model_->getRowHeights(300, row.data());
    for (int x = 0; x < 896; ++x) ASSERT_EQ(row[x], Y(Bumpy(x < 448 ? x : 447, 300))) << x;
    model_->getRowHeights(448, row.data());  // past the world's rows
    for (float v : row) ASSERT_EQ(v, 0.0f);

    // An area across a subtile corner: every vertex at its sample's height, cells split (X0, Z1)-(X1, Z0).
    int columns = 0, rows = 0;
    std::vector<qzVector3d> tris(6 * 12 * 12);
    const int cells = model_->getAreaTris(50.5f * g, 109.2f * g, 10 * g, 8 * g, tris.data(), columns, rows);
    EXPECT_EQ(columns, 10);
    ASSERT_EQ(cells, columns * rows);
    for (int i = 0; i < 6 * cells; ++i)
        ASSERT_EQ(tris[i].y, Y(Bumpy(int(tris[i].x) / g, int(tris[i].z) / g))) << i;
    EXPECT_EQ(tris[1].z, tris[0].z + g);
    EXPECT_EQ(tris[2].x, tris[0].x + g);
    EXPECT_EQ(model_->getAreaTris(-5.0f, 10.0f, 4.0f, 4.0f, tris.data(), columns, rows), 0);
    EXPECT_EQ(model_->getAreaTris(0.0f, 0.0f, 100.0f * g, 4.0f, tris.data(), columns, rows), 0);
}

TEST_F(WorldModelTest, ColourEdgeAndCentre) {
    ASSERT_TRUE(Load(WriteWorldFile(worldtest::MakeWorld(2, 10, Ramp))));
    // A uniform bitmap: every point of a subtile, corners included, filters to the same colour, a step of
    // the filter short of the bitmap's (120, 80, 40).
    const qzVector3d mid = model_->getLocationPixelColor(qzVector3d(1234, 0, 2345));
    for (const qzVector3d& c : {model_->getLocationPixelColor(qzVector3d(560, 0, 560)),
                                model_->getLocationPixelColor(qzVector3d(1119.9f, 0, 1119.9f))})
        EXPECT_EQ(c.x, mid.x);
    EXPECT_EQ(mid.pad, 255.0f);
    EXPECT_GT(mid.x, 0.75f * 120);
    EXPECT_LT(mid.x, 120.0f);
    EXPECT_NEAR(mid.y / mid.x, 80.0f / 120.0f, 1e-5f);
    const qzVector3d off = model_->getLocationPixelColor(qzVector3d(-1, 0, 5));
    EXPECT_EQ(off.x + off.y + off.z + off.pad, 0.0f);

    // Edge: within 500 units of any side of the 4480-unit world; the centre in the middle.
    const float side = 448 * 10;
    const float edge[][3] = {
        {500, 2000, 0}, {499.9f, 2000, 1}, {2000, side - 499.9f, 1}, {side / 2, side / 2, 0}};
    for (const auto& e : edge)
        EXPECT_EQ(model_->checkNearEdgeOfWorld(qzVector3d(e[0], 0, e[1])), int(e[2])) << e[0] << "," << e[1];
    const qzVector3d c = model_->getWorldCenter();
    EXPECT_EQ(c.x + c.y, side / 2);
    EXPECT_EQ(c.z, side / 2);
}

TEST_F(WorldModelTest, StaticsResetForTheNextRace) {
    ASSERT_TRUE(Load(WriteWorldFile(worldtest::MakeWorld(2, kGrid, Ramp))));
    EXPECT_NE(model_->getHeightAt(100, 100), 0.0f);  // fills the lookup cache
    CWorldModel::bonus1Count = 3;
    CSubtileModel::firstObjectId = 17;
    CWorldModel::resetStatics();
    CSubtileModel::resetStatics();
    EXPECT_EQ(CWorldModel::bonus1Count + CWorldModel::worldWidthInTiles, 0);
    EXPECT_EQ(CWorldModel::lastSubtileModel, nullptr);
    EXPECT_EQ(CSubtileModel::gridSize + CSubtileModel::firstObjectId, 0);
    EXPECT_EQ(CSubtileModel::detailBitmap, nullptr);
    EXPECT_EQ(model_->getHeightAt(100, 100), 0.0f);  // nothing answers from the old world

    // A second world answers with its own heights, not from the first one's cached subtile.
    CWorldModel* first = model_;
    void* firstImage = image_;
    ASSERT_TRUE(Load(worldtest::Flat(2, 0), "o02.bin"));
    EXPECT_EQ(model_->getHeightAt(100, 100), 0.0f);
    EXPECT_EQ(model_->numTiles, 4);
    delete first;
    x_free(firstImage);
    float h = 1;
    qzVector3d n;
    EXPECT_EQ(model_->getHeightAndNormalAt(100, 100, h, n), 1);
    EXPECT_EQ(h, 0.0f);
}

// The quad-tree policy: containers, quadrants and containment slack.
std::unique_ptr<CBoundingModelObject> Box(float minX, float minZ, float width, float minY = -10,
                                          float maxY = 0) {
    auto b = std::make_unique<CBoundingModelObject>();
    b->bBox.setBoundingBox(minX, minY, minZ, minX + width, maxY, minZ + width);
    return b;
}

TEST(WorldQuadTree, ContainersQuadrantsAndSlack) {
    CWorldQuadTree q;
    // Two boxes at x a and b of this width: the container's x range. Two subtiles side by side; the second
    // pair needs the doubled square; zero widths take one cell.
    const float pairs[][5] = {{0, 56, 56, 0, 112}, {56, 112, 56, 0, 224}, {5, 5, 0, 5, 6}};
    CSubtileModel::gridSize = 1;
    for (const auto& p : pairs) {
        auto a = Box(p[0], 0, p[2], -30, 0), b = Box(p[1], 0, p[2], -10, 5);
        std::unique_ptr<CModelObject> c(q.MakeContainer(a.get(), b.get()));
        const CBoundingBox* bb = c->getBounds();
        EXPECT_EQ(bb->minX, p[3]) << p[0] << "," << p[1];
        EXPECT_EQ(bb->maxZ - bb->minZ, p[4] - p[3]) << p[0] << "," << p[1];
        EXPECT_EQ(bb->maxY - bb->minY, 35.0f);
    }
    CSubtileModel::gridSize = 0;

    auto container = Box(0, 0, 224);
    const float quadrants[][3] = {{111.6f, 0, 1}, {111.4f, 0, 0}, {0, 111.6f, 2}, {150, 200, 3}};
    for (const auto& w : quadrants)
        EXPECT_EQ(q.WhichChild(container.get(), Box(w[0], w[1], 10).get()), int(w[2])) << w[0];
    // Half a unit of overhang is still inside; the container then spans the object's heights too.
    EXPECT_TRUE(q.IsContained(container.get(), Box(214.5f, 10, 10, -50, 3).get()));
    EXPECT_FALSE(q.IsContained(container.get(), Box(214.6f, 10, 10, -90, 9).get()));
    EXPECT_EQ(container->getBounds()->minY, -50.0f);
    EXPECT_EQ(container->getBounds()->maxY, 3.0f);
    EXPECT_EQ(container->getBounds()->maxX, 224.0f);
    EXPECT_TRUE(q.IsOverlapped(container.get(), Box(214.6f, 10, 10).get()));
    EXPECT_FALSE(q.IsOverlapped(container.get(), Box(300, 300, 5).get()));
}

}  // namespace
