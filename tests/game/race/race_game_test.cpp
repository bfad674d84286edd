// The race as a whole: the load governor and AI schedule, the field, a race run headless, and teardown
// giving back every byte it took.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "bike/kinetic_bike.h"
#include "console/cd/cd.h"
#include "console/iop/iop.h"
#include "console/pad/pad.h"
#include "engine/hal/engine_fixture.h"
#include "engine/sys/boot.h"
#include "engine/sys/heap.h"
#include "game/files/file_manager.h"
#include "game/model/intersection.h"
#include "game/model/model.h"
#include "game/model/timer.h"
#include "game/race/demo_loop.h"
#include "game/race/pause_obj.h"
#include "game/race/race_game.h"

namespace {

float ZeroCpu() {
    return 0.0f;
}

class RaceTest : public enginetest::EngineTest {
protected:
    void SetUp() override {
        // The boot's driver modules from the sample disc, so the pad library binds pad 1.
        ASSERT_TRUE(console::CdMount(QZ_DISC_DIR));
        console::PadReset();
        console::IopReset();
        x_HardwareBootSystem();
        EngineTest::SetUp();
        common_ = GetFileManager()->loadFile("COMMON\\qz02dat.bin");
        ASSERT_NE(common_, nullptr);
        CQzGame::cpuTimeSource = ZeroCpu;
        DLManager.setDemoLoopState(DL_DISABLED);
    }
    void TearDown() override {
        x_free(common_);
        EngineTest::TearDown();
    }
    // Options of a one-player race on `world`.
    static CGameOptions Options(Worlds_Enum world, int32_t cpuRiders = 1, int32_t humans = 1) {
        CGameOptions o;
        o.numHumanPlayers = humans;
        o.cpuRiders = cpuRiders;
        o.duration = 3;
        o.timeOrLap = 1;
        std::snprintf(o.WorldFile, sizeof o.WorldFile, "%s", CDemoLoopManager::getWorldString(world));
        o.trackType = CDemoLoopManager::getWorldType(world);
        return o;
    }
    void* common_ = nullptr;
};

TEST(RaceGovernor, LevelsStridesAndStartTimes) {
    // The worst of the last ten frames sets the level; at 1/30 s or more the level stays.
    const struct {
        float worst;
        int32_t before, level;
    } kLevels[] = {{0.0249f, 4, 0}, {0.025f, 0, 1}, {0.0279f, 0, 1}, {0.028f, 0, 2},  {0.0299f, 0, 2},
                   {0.030f, 0, 3},  {0.032f, 0, 4}, {0.0332f, 0, 4}, {0.0333f, 2, 2}, {0.5f, 1, 1}};
    for (const auto& c : kLevels) {
        for (float& h : CQzGame::performanceHistory) h = 0.0f;
        CQzGame::performance = c.before;
        CQzGame::updatePerformance(c.worst);
        for (int k = 0; k < 9; ++k) CQzGame::updatePerformance(0.001f);  // still in the ring of ten
        EXPECT_EQ(CQzGame::performance, c.level) << c.worst;
    }
    CQzGame::updatePerformance(0.001f);  // the slow frame has left the ring
    EXPECT_EQ(CQzGame::performance, 0);
    const int kStrides[] = {1, 1, 2, 2, 4, 8};
    for (int level = 0; level < 6; ++level) EXPECT_EQ(CQzGame::aiStride(level), kStrides[level]);
    EXPECT_FLOAT_EQ(CQzGame::aiStartTime(0), 0.65f);
    EXPECT_FLOAT_EQ(CQzGame::aiStartTime(1), 0.85f);
    EXPECT_FLOAT_EQ(CQzGame::aiStartTime(7), 2.05f);
}

TEST_F(RaceTest, ComputerRidersRace) {
    CGameOptions o = Options(O01);
    auto* race = new CQzGame(&o, common_, 0);
    ASSERT_EQ(CQzGame::numOfTotalRacers, 7u);
    qzVector3d start[8];
    for (uint32_t i = 0; i < CQzGame::numOfTotalRacers; ++i) start[i] = CQzGame::bike[i]->position;
    float clock = 0.0f;
    for (int f = 0; f < 600; ++f) {
        ASSERT_EQ(race->updateGame(), 0);
        clock += 0.01667f;
        clock += 0.01667f;
    }
    EXPECT_EQ(globalTime, clock);  // two advances a frame, summed in single precision
    EXPECT_EQ(Framecounter, 600u);
    for (uint32_t i = 1; i < CQzGame::numOfTotalRacers; ++i) {
        const qzVector3d d = CQzGame::bike[i]->position - start[i];
        EXPECT_GT(d.x * d.x + d.z * d.z, 10000.0f * 10000.0f) << "racer " << i;
    }
    delete race;
}

TEST_F(RaceTest, TeardownGivesBackEveryByteAndRestartKeepsTheFiles) {
    // A first race sizes the stores and pools that live for the whole program.
    CGameOptions warm = Options(I04);
    delete new CQzGame(&warm, common_, 0);
    // The log capture's text lives on the heap too: give it room once so that it does not grow.
    testsupport::g_log.clear();
    testsupport::g_log.reserve(1 << 20);
    const Worlds_Enum kTracks[10] = {I03, B01, O01, I05, B02, O03, I07, B03, O04, I08};
    for (Worlds_Enum w : kTracks) {
        testsupport::g_log.clear();
        const size_t before = x_TotalMemoryFree();
        CGameOptions o = Options(w);
        auto* race = new CQzGame(&o, common_, 0);
        for (int f = 0; f < 60; ++f) ASSERT_EQ(race->updateGame(), 0);
        delete race;
        EXPECT_EQ(x_TotalMemoryFree(), before) << CDemoLoopManager::getWorldString(w);
        EXPECT_EQ(CModel::modelPtr, nullptr);
        EXPECT_EQ(CTimer::timerPtr, nullptr);
        EXPECT_EQ(CIntersection::intersectionPtr, nullptr);
        EXPECT_EQ(Framecounter, 0u);
    }
    // A restart keeps the world file: the rebuild loads nothing and says so; leaving then frees it.
    const size_t before = x_TotalMemoryFree();
    CGameOptions o = Options(O05);
    auto* race = new CQzGame(&o, common_, 0);
    race->pauseModel->restartGame = 1;
    EXPECT_EQ(race->updateGame(), CQzGame::kRestart);
    testsupport::g_log.clear();
    delete race;
    EXPECT_NE(testsupport::g_log.find("Free Sound:"), std::string::npos);
    EXPECT_EQ(testsupport::g_log.find("Free MasterFile"), std::string::npos);
    race = new CQzGame(&o, common_, 1);
    EXPECT_NE(testsupport::g_log.find("RESTART: World File loaded from previous game!"), std::string::npos);
    EXPECT_EQ(testsupport::g_log.find("filename WORLD"), std::string::npos);
    EXPECT_EQ(race->updateGame(), 0);
    delete race;
    EXPECT_NE(testsupport::g_log.find("Free MasterFile After"), std::string::npos);
    EXPECT_EQ(x_TotalMemoryFree(), before);
}

}  // namespace
