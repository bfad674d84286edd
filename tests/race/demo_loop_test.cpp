// The attract loop: frame counts of each state, the order of attract tracks, credits every fifth race.
#include "race/demo_loop.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/main_loop.h"
#include "engine/sys/xrand.h"

namespace {

class DemoLoopTest : public ::testing::Test {
protected:
    void SetUp() override {
        savedOptions_ = gameOptions;
        savedRand_ = engine::LastRand;
        dl.setDemoLoopState(DL_FRONT_END);
    }
    void TearDown() override {
        gameOptions = savedOptions_;
        engine::LastRand = savedRand_;
        CDemoLoopManager::DLManPtr = &DLManager;
    }
    CDemoLoopManager dl;
    CGameOptions savedOptions_;
    uint64_t savedRand_ = 0;
};

TEST_F(DemoLoopTest, AttractCycleRunsTracksInTypeOrderAndCreditsEveryFifthRace) {
    // Several generator states: the rules hold whatever the draws are.
    for (uint64_t seed : {1ull, 7ull, 12345ull, 99999ull}) {
        engine::LastRand = seed;
        CDemoLoopManager m;
        m.setDemoLoopState(DL_FRONT_END);
        std::string order;
        std::string lastOfType[4];
        for (int race = 0; race < 11; ++race) {
            int n = 0;
            while (!m.updateDemoLoopManager()) ++n;
            const bool afterCredits = race == 5 || race == 10;
            // After the credits the counter runs only once the credits are done.
            EXPECT_EQ(n + 1, afterCredits ? 200 : 1500) << "seed " << seed << " race " << race;
            ASSERT_EQ(m.getDemoLoopState(), DL_IN_GAME);
            EXPECT_EQ(gameOptions.demoMode, 1u);
            const std::string world = gameOptions.WorldFile;
            const int type = gameOptions.trackType;
            order += "BIOF"[type];
            EXPECT_NE(world, lastOfType[type]) << "same world twice in a row";
            if (race == 0) {
                EXPECT_NE(world, "i02.bin");
            }
            if (race == 1) {
                EXPECT_NE(world, "b02.bin");
            }
            lastOfType[type] = world;
            n = 0;
            while (!m.updateDemoLoopManager()) ++n;
            EXPECT_EQ(n + 1, 3000);
            if (m.getDemoLoopState() == DL_CREDITS) {
                for (int i = 0; i < 500; ++i) ASSERT_EQ(m.updateDemoLoopManager(), 0u);
                EXPECT_EQ(m.demoLoopCounter, 0u);
                m.setCreditsDone();
            }
        }
        EXPECT_EQ(order, "IBOIBOIBOIB") << "seed " << seed;
        EXPECT_EQ(m.loopCount, 1u) << "one race since the last credits";
    }
}

TEST_F(DemoLoopTest, StartEndsTheAttractRaceAndDisablingStopsTheCount) {
    EXPECT_EQ(CDemoLoopManager::DLManPtr, &dl);
    dl.setDLCounter(1499);
    ASSERT_EQ(dl.updateDemoLoopManager(), 1u);
    ASSERT_EQ(gameOptions.demoMode, 1u);
    dl.setDLCounter(3000);  // START in the attract race: the next update ends it and counts it
    EXPECT_EQ(dl.updateDemoLoopManager(), 1u);
    EXPECT_EQ(dl.loopCount, 1u);
    dl.setDemoLoopState(DL_DISABLED);
    EXPECT_EQ(gameOptions.demoMode, 0u);
    for (int i = 0; i < 5000; ++i) ASSERT_EQ(dl.updateDemoLoopManager(), 0u);
    EXPECT_EQ(dl.demoLoopCounter, 0u);
    dl.setDemoLoopState(DL_FRONT_END);
    EXPECT_EQ(gameOptions.demoMode, 0u) << "attract mode comes back only with the next pick";
}

}  // namespace
