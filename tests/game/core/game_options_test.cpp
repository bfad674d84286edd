#include "game/core/game_options.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(GameOptions, RaceBitsAreSetIdempotentlyAndBonusesCleared) {
    alignas(CGameOptions) unsigned char storage[sizeof(CGameOptions)];
    std::memset(storage, 0x5A, sizeof storage);
    auto* o = new (storage) CGameOptions();
    EXPECT_EQ(o->gameEndState, GAME_END_RACE_FINISHED);
    for (int i = 0; i < 5; ++i) o->trackBonusAwardsFinished[i] = i + 1;
    for (int pass = 0; pass < 2; ++pass) {
        setGameOptions(o);
        EXPECT_EQ(o->gameOptions, 0x0071FF01);  // bits other code tests but nobody sets stay clear
        for (int award : o->trackBonusAwardsFinished) EXPECT_EQ(award, 0);
        o->trackBonusAwardsFinished[2] = 9;
    }
}

}  // namespace
