// Races on the sample disc that are listened to: the sound engine started as the game starts it, the
// pictures not drawn, and every output frame of the sound processor kept (interleaved stereo) in
// HeardOutput() for the test to measure.
#pragma once

#include <cstdint>
#include <vector>

#include "audio/envelope.h"
#include "audio/sound_factory.h"
#include "audio/sound_storage.h"
#include "console/spu/spu.h"
#include "engine/hal/sound.h"
#include "game/files/resource_storage.h"
#include "support/disc_race_test.h"

namespace racetest {

inline std::vector<int16_t>& HeardOutput() {
    static std::vector<int16_t> out;
    return out;
}

class HeardRaceTest : public DiscRaceTest {
protected:
    void SetUp() override {
        DiscRaceTest::SetUp();
        veSoundSetMaxSamples(120);
        veSoundSetSpeakerConfig(3);
        ASSERT_EQ(veSoundInit(), 0);
        CQzGame::drawFrames = false;
        HeardOutput().clear();
        console::SpuSetSink(
            [](const int16_t* s, int n, void*) { HeardOutput().insert(HeardOutput().end(), s, s + 2 * n); },
            nullptr);
    }
    void TearDown() override {
        console::SpuSetSink(nullptr, nullptr);
        delete race_;
        CQzGame::drawFrames = true;
        CResourceStorage<CSoundStorage>::instance().deleteAll();
        CResourceStorage<CEnvelopeMap>::instance().deleteAll();
        CSoundFactory::defEnvId = -1;
        veSoundReset();
        DiscRaceTest::TearDown();
    }
    CGameOptions& options_ = gameOptions;  // the game's options record, which the race reads
    CQzGame* race_ = nullptr;              // deleted at the end of the test
};

}  // namespace racetest
