// The race's mix as heard: the start countdown over a revving field and a race with the throttle held
// stay under full scale with the countdown and engines clearly heard; the player's engine never falls
// silent for a frame while the throttle is held; a collision is heard in its frame; the effects and
// music volumes the options carry scale what the race plays.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "audio/engine_sound.h"
#include "audio/envelope.h"
#include "audio/game_sounds.h"
#include "audio/sound_factory.h"
#include "audio/sound_storage.h"
#include "audio/sound_view.h"
#include "bike/kinetic_bike.h"
#include "console/iop/audio_module.h"
#include "console/kernel/clock.h"
#include "console/pad/pad.h"
#include "console/spu/spu.h"
#include "engine/hal/sound.h"
#include "race/countdown.h"
#include "race/hud/pause_menu.h"
#include "race/race_game.h"
#include "race/race_sound.h"
#include "support/heard_race_test.h"

namespace {

using racetest::RaceOptions;

std::vector<int16_t>& g_mix = racetest::HeardOutput();  // every output frame, interleaved

double Db(double meanSquare) {
    return 10.0 * std::log10(meanSquare / (32768.0 * 32768.0) + 1e-12);
}

// Mean square of output frames [from, to).
double MeanSquare(size_t from, size_t to) {
    double e = 0;
    for (size_t i = from; i < to; ++i)
        e += 0.5 * (double(g_mix[2 * i]) * g_mix[2 * i] + double(g_mix[2 * i + 1]) * g_mix[2 * i + 1]);
    return e / double(std::max<size_t>(1, to - from));
}

// Mean square at `hz` over frames [from, to) (a Goertzel filter on the mono sum).
double ToneMeanSquare(size_t from, size_t to, double hz) {
    const double w = 2.0 * M_PI * hz / 48000.0, c = 2.0 * std::cos(w);
    double s1 = 0, s2 = 0;
    for (size_t i = from; i < to; ++i) {
        const double s = 0.5 * (g_mix[2 * i] + g_mix[2 * i + 1]) + c * s1 - s2;
        s2 = s1;
        s1 = s;
    }
    const double n = double(to - from);
    return 2.0 * (s1 * s1 + s2 * s2 - c * s1 * s2) / (n * n);
}

struct Levels {
    int peak = 0;
    size_t atFullScale = 0;
};
Levels Measure(size_t from = 0) {
    Levels l;
    for (size_t i = 2 * from; i < g_mix.size(); ++i) {
        l.peak = std::max(l.peak, std::abs(int(g_mix[i])));
        l.atFullScale += g_mix[i] >= 32767 || g_mix[i] <= -32768;
    }
    return l;
}

class RaceMix : public racetest::HeardRaceTest {
protected:
    void Start(Worlds_Enum world, int cpuRiders, int soundVolume = 10, int musicVolume = 10) {
        options_ = RaceOptions(world, cpuRiders);
        options_.soundVolume = soundVolume;
        options_.musicVolume = musicVolume;
        race_ = new CQzGame(&options_, common_, 0);
    }
    // One race frame with pad 1's cross (the throttle) held or not; two vertical blanks, as the race runs.
    void Frame(bool throttle, uint8_t steer = 128) {
        console::PadInput in = console::PadIdle();
        if (throttle) in.buttons = console::kPadCross;
        in.sticks[2] = steer;
        console::PadSetInput(0, 0, in);
        ASSERT_EQ(race_->updateGame(), 0);
        console::ClockTickVblank();
        console::ClockTickVblank();
        console::SpuCatchUp();
        gains_.push_back(console::SpuLimiterGain());
    }
    // The limiter's gain after each frame: the lowest, and the share of frames it cut by more than 1 dB.
    void LimiterReport(const char* what) const {
        const float low = gains_.empty() ? 1.0f : *std::min_element(gains_.begin(), gains_.end());
        const auto cut = std::count_if(gains_.begin(), gains_.end(), [](float g) { return g < 0.891f; });
        std::printf("%s: limiter gain at least %.2f (%.1f dB), cutting more than 1 dB in %ld of %zu frames\n",
                    what, double(low), 20.0 * std::log10(double(low)), long(cut), gains_.size());
    }
    std::vector<float> gains_;
    size_t Heard() const { return g_mix.size() / 2; }
};

// The grid revs through the countdown with the player's throttle held, then the field races off.
TEST_F(RaceMix, CountdownOverTheRevvingFieldStaysUnderFullScale) {
    CQzGame::drawFrames = true;  // the countdown's beeps go with its cards
    Start(B01, 1);
    std::vector<size_t> frameEnd;
    while (!CQzGame::gameStart->gameStartData.gameStarted) {
        Frame(true);
        frameEnd.push_back(Heard());
    }
    const size_t go = Heard();
    for (int f = 0; f < 150; ++f) Frame(true);
    const Levels l = Measure();
    // The countdown's last 3 s: the beeps' 880 Hz well above the same band in the race after it.
    const size_t countFrom = go > 3 * 48000 ? go - 3 * 48000 : 0;
    const double beeps = Db(ToneMeanSquare(countFrom, go, 880.0));
    const double later = Db(ToneMeanSquare(go + 48000, Heard(), 880.0));
    const double countdown = Db(MeanSquare(countFrom, go)), racing = Db(MeanSquare(go + 48000, Heard()));
    std::printf(
        "countdown %.1f dBFS (880 Hz %.1f), racing %.1f dBFS (880 Hz %.1f); peak %d, %zu at full "
        "scale, limiter gain now %.3f, %llu frames limited of %zu\n",
        countdown, beeps, racing, later, l.peak, l.atFullScale, double(console::SpuLimiterGain()),
        static_cast<unsigned long long>(console::SpuLimitedFrames()), Heard());
    LimiterReport("countdown and race");
    EXPECT_EQ(l.atFullScale, 0u);
    EXPECT_LE(l.peak, console::kSpuLimiterCeiling);
    EXPECT_GT(beeps, later + 10.0);
    EXPECT_GT(countdown, -30.0);
    EXPECT_GT(racing, -30.0);
}

// The player alone, music off: from the start with the throttle held the engine plays its pulling
// samples and then the sustain samples one after another; no vertical blank of the output is without it.
TEST_F(RaceMix, EngineNeverFallsSilentWhileTheThrottleIsHeld) {
    Start(B01, 0, 10, 0);
    while (!CQzGame::gameStart->gameStartData.gameStarted) Frame(false);
    const size_t from = Heard();
    for (int f = 0; f < 450; ++f) Frame(true);
    std::vector<double> blank;  // per vertical blank
    for (size_t at = from; at + 800 <= Heard(); at += 800) blank.push_back(Db(MeanSquare(at, at + 800)));
    std::vector<double> sorted = blank;
    std::sort(sorted.begin(), sorted.end());
    const double median = sorted[sorted.size() / 2];
    int quiet = 0;
    for (size_t k = 0; k < blank.size(); ++k)
        if (blank[k] < median - 12.0) {
            if (++quiet <= 8) std::printf("  blank %zu: %.1f dBFS\n", k, blank[k]);
        }
    std::printf(
        "throttle held %zu blanks: median %.1f dBFS, quietest %.1f dBFS, %d blanks 12 dB under the median\n",
        blank.size(), median, sorted.front(), quiet);
    EXPECT_EQ(quiet, 0);
    EXPECT_GT(sorted.front(), -40.0);
}

// The player weaves alone across an indoor track with every sound but the collisions turned down (the
// engine, the crowd and announcer, the rider's and bike's event sounds) and hits the arena's walls and
// objects: each collision of its bike is heard in its frame (the collision's frame or the next, as the
// sound batch ends the frame).
TEST_F(RaceMix, ACollisionIsHeardInItsFrame) {
    Start(I03, 0, 10, 0);
    for (auto* obj : racesound::View()->_objects)
        if (auto* sound = dynamic_cast<CSoundObject*>(obj); sound && !dynamic_cast<CCollisionSound*>(obj))
            sound->volume = 0.0f;
    while (!CQzGame::gameStart->gameStartData.gameStarted) Frame(false);
    // Output frames at the end of each collision frame (a race frame is two steps, 1/30 s); a hit soon
    // after the last one may fall while that one still rings, so only hits after two quiet seconds count.
    std::vector<size_t> hits;
    int lastHit = -1000;
    for (int f = 0; f < 3000 && hits.size() < 4; ++f) {
        Frame(true, f % 90 < 45 ? 0 : 255);
        if (!((CQzGame::bike[0]->status.viewFlags >> BIKE_COLLIDE) & 1)) continue;
        if (f - lastHit > 60) hits.push_back(Heard());
        lastHit = f;
    }
    for (int f = 0; f < 10; ++f) Frame(false);
    ASSERT_FALSE(hits.empty());
    for (size_t end : hits) {
        const double before = Db(MeanSquare(end - 3200, end - 1600));
        const double heard = std::max(Db(MeanSquare(end - 1600, end)), Db(MeanSquare(end, end + 1600)));
        std::printf("collision: %.1f dBFS over %.1f dBFS in the frame before\n", heard, before);
        EXPECT_GT(heard, before + 5.0);
    }
}

// The effects and music volume settings the options carry scale what the race plays: the audio module
// gets the tuning's volumes times setting / 10, and the grid revving at half the effects setting is
// heard 6 dB down, at 0 not at all; the same for the music with the effects off.
TEST_F(RaceMix, EffectsAndMusicFollowTheVolumeSettings) {
    auto level = [&](int effects, int music) {
        delete race_;
        race_ = nullptr;
        Start(B01, 1, effects, music);
        PauseMusic::setSong(0);  // the same song from its start in every race
        EXPECT_FLOAT_EQ(console::AmmMusic().sfxVol, raceMusicVolume[1] * float(effects) / 10.0f);
        EXPECT_FLOAT_EQ(console::AmmMusic().musicVol, raceMusicVolume[0] * float(music) / 10.0f);
        for (int f = 0; f < 20; ++f) Frame(true);
        const size_t from = Heard();
        for (int f = 0; f < 90; ++f) Frame(true);
        return Db(MeanSquare(from, Heard()));
    };
    const double fx10 = level(10, 0), fx5 = level(5, 0), fx0 = level(0, 0);
    const double music10 = level(0, 10), music5 = level(0, 5);
    std::printf("effects 10: %.1f dBFS, 5: %.1f, 0: %.1f; music 10: %.1f dBFS, 5: %.1f\n", fx10, fx5, fx0,
                music10, music5);
    EXPECT_NEAR(fx10 - fx5, 6.0, 1.5);
    EXPECT_LT(fx0, -90.0);
    EXPECT_NEAR(music10 - music5, 6.0, 1.5);
    EXPECT_GT(music10, -40.0);
}

// Out of the box (effects 8, music 2, master 10) the race's music is heard under the field's engines:
// within 10 dB of the effects' level with the throttle held; with the music setting at 0 there is none.
TEST_F(RaceMix, MusicAtTheDefaultSettingsIsHeardUnderTheEngines) {
    auto level = [&](int effects, int music) {
        delete race_;
        race_ = nullptr;
        Start(B01, 7, effects, music);  // a full field, heard once it has left the grid
        PauseMusic::setSong(0);
        for (int f = 0; f < 150; ++f) Frame(true);
        const size_t from = Heard();
        for (int f = 0; f < 150; ++f) Frame(true);
        return Db(MeanSquare(from, Heard()));
    };
    const double effects = level(8, 0), music = level(0, 2), none = level(0, 0);
    std::printf("defaults: effects %.1f dBFS, music %.1f dBFS; music 0: %.1f dBFS\n", effects, music, none);
    EXPECT_GT(music, effects - 10.0);
    EXPECT_LT(music, effects);
    EXPECT_LT(none, -90.0);
}

}  // namespace
