// The sample disc's placed objects heard in a race: on the grid of a baja and an outdoor track the
// grandstands' crowd. With every other sound object turned down the race's output carries it well
// above silence, under the limiter; turned down too, the output is silent.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "audio/envelope.h"
#include "audio/game_sounds.h"
#include "audio/sound_factory.h"
#include "audio/sound_ids.h"
#include "audio/sound_reader.h"
#include "audio/sound_storage.h"
#include "audio/sound_view.h"
#include "console/kernel/clock.h"
#include "console/pad/pad.h"
#include "console/spu/spu.h"
#include "engine/hal/sound.h"
#include "mkdisc/audio_files.h"
#include "race/race_game.h"
#include "race/race_sound.h"
#include "support/heard_race_test.h"

namespace {

std::vector<int16_t>& g_out = racetest::HeardOutput();  // every output frame, interleaved

class RaceAmbient : public racetest::HeardRaceTest {
protected:
    void Start(Worlds_Enum world) {
        racetest::RaceOptions(world, 0);
        options_.soundVolume = 10;
        options_.musicVolume = 0;
        race_ = racetest::NewRace(common_);
    }
    void Frames(int n) {
        for (int f = 0; f < n; ++f) {
            console::PadSetInput(0, 0, console::PadIdle());
            ASSERT_EQ(race_->updateGame(), 0);
            console::ClockTickVblank();
            console::ClockTickVblank();
            console::SpuCatchUp();
        }
    }
    // Level (dBFS) of the output from frame `from` on.
    static double Level(size_t from) {
        double e = 0;
        for (size_t i = 2 * from; i < g_out.size(); ++i) e += double(g_out[i]) * g_out[i];
        const double n = double(std::max<size_t>(1, g_out.size() - 2 * from));
        return 10.0 * std::log10(e / n / (32768.0 * 32768.0) + 1e-12);
    }
};

TEST_F(RaceAmbient, PlacedObjectsAreHeardOnTheGrid) {
    struct Case {
        Worlds_Enum world;
        uint8_t sound;
        const char* what;
    } cases[] = {{B01, kAmbientCrowd, "baja grandstands' crowd"},
                 {O01, kAmbientCrowd, "outdoor grandstands' crowd"}};
    for (const Case& c : cases) {
        delete race_;
        race_ = nullptr;
        g_out.clear();
        Start(c.world);
        std::vector<CAmbientSound*> ambient;
        bool afterRacers = true;  // no racer's sound follows an ambient one: engines get channels first
        for (auto* o : racesound::View()->_objects) {
            if (auto* a = dynamic_cast<CAmbientSound*>(o)) {
                ambient.push_back(a);
                continue;
            }
            afterRacers = afterRacers && ambient.empty();
            static_cast<CSoundObject*>(o)->volume = 0.0f;  // the bike's and crowd's sounds
            if (auto* r = dynamic_cast<CRandomSound*>(o)) r->odds = 0.0f;
        }
        ASSERT_FALSE(ambient.empty()) << c.what;
        EXPECT_TRUE(afterRacers) << c.what;
        for (CAmbientSound* a : ambient) {
            EXPECT_EQ(a->group, 3);
            ASSERT_NE(a->snd, nullptr);
            EXPECT_EQ(a->snd->soundId, CQZSoundIDs::getGlobalIdFromWorldId(c.sound)) << c.what;
        }
        Frames(30);
        size_t from = g_out.size() / 2;
        Frames(120);
        const double heard = Level(from);
        int peak = 0;
        for (size_t i = 2 * from; i < g_out.size(); ++i) peak = std::max(peak, std::abs(int(g_out[i])));
        for (CAmbientSound* a : ambient) a->volume = 0.0f;
        Frames(30);
        from = g_out.size() / 2;
        Frames(120);
        const double without = Level(from);
        std::printf("%s: %zu sources, %.1f dBFS (peak %d), turned down %.1f dBFS\n", c.what, ambient.size(),
                    heard, peak, without);
        EXPECT_GT(heard, -45.0) << c.what;
        EXPECT_LT(peak, console::kSpuLimiterCeiling) << c.what;
        EXPECT_LT(without, heard - 30.0) << c.what;
    }
}

}  // namespace
