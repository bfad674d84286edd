#include "game/core/game_options.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

namespace {

TEST(GameOptions, RaceBitsAreSetIdempotentlyAndBonusesCleared) {
    alignas(CGameOptions) unsigned char storage[sizeof(CGameOptions)];
    std::memset(storage, 0, sizeof storage);
    auto* o = reinterpret_cast<CGameOptions*>(storage);
    for (int i = 0; i < 5; ++i) o->trackBonusAwardsFinished[i] = i + 1;
    setGameOptions(o);
    EXPECT_EQ(o->gameOptions, 0x0071FF01);
    for (int award : o->trackBonusAwardsFinished) EXPECT_EQ(award, 0);
    o->trackBonusAwardsFinished[2] = 9;
    setGameOptions(o);
    EXPECT_EQ(o->gameOptions, 0x0071FF01);
    EXPECT_EQ(o->trackBonusAwardsFinished[2], 0);
    // Bits other code tests but nobody sets stay as they were.
    EXPECT_EQ(o->gameOptions & (0x2 | 0x40 | 0x1000000), 0);
}

TEST(GameOptions, ConstructorResetsTheRaceAnswers) {
    alignas(CGameOptions) unsigned char storage[sizeof(CGameOptions)];
    std::memset(storage, 0x5A, sizeof storage);
    auto* o = new (storage) CGameOptions();
    EXPECT_EQ(o->gameOptions, 0);
    EXPECT_EQ(o->soundVolume, 0);
    EXPECT_EQ(o->musicVolume, 0);
    EXPECT_EQ(o->demoMode, 0u);
    EXPECT_EQ(o->gameEndState, GAME_END_RACE_FINISHED);
    EXPECT_EQ(o->numCPURacers, 0u);
}

TEST(GameOptions, RecordKeepsItsConsoleLayout) {
    EXPECT_EQ(sizeof(CGameOptions), 240u);
    EXPECT_EQ(offsetof(CGameOptions, WorldFile), 88u);
    EXPECT_EQ(offsetof(CGameOptions, sInfo), 116u);
    EXPECT_EQ(offsetof(CGameOptions, numCPURacers), 236u);
    static const char kName[] = "Rider";
    _SeriesInfo info{};
    info.setName(kName);
    EXPECT_EQ(info.name(), kName);
}

}  // namespace
