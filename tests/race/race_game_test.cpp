// The race as a whole: the load governor and AI schedule, the field, a race run headless, and teardown
// giving back every byte it took.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <typeinfo>
#include <vector>

#include "app/main_loop.h"
#include "audio/engine_sound.h"
#include "audio/envelope.h"
#include "audio/sound_factory.h"
#include "audio/sound_storage.h"
#include "audio/sound_view.h"
#include "bike/kinetic_bike.h"
#include "console/iop/audio_module.h"
#include "console/kernel/clock.h"
#include "console/pad/pad.h"
#include "console/spu/spu.h"
#include "engine/hal/engine.h"
#include "engine/hal/sound.h"
#include "engine/sys/heap.h"
#include "frontend/screens/frontend.h"
#include "game/core/random.h"
#include "game/files/collision_storage.h"
#include "game/model/intersection.h"
#include "game/model/model.h"
#include "game/model/object_description.h"
#include "game/model/timer.h"
#include "game/view/view_object_3d.h"
#include "kinetic/vehicle/engine_component.h"
#include "race/control/controller_targets.h"
#include "race/countdown.h"
#include "race/demo_loop.h"
#include "race/end_screens.h"
#include "race/hud/pause_menu.h"
#include "race/pause_obj.h"
#include "race/race_game.h"
#include "race/race_sound.h"
#include "support/disc_race_test.h"
#include "support/log_capture.h"
#include "world/spline_manager.h"
#include "world/subtile_model.h"
#include "world/world_model.h"

namespace {

using racetest::RaceOptions;
using RaceTest = racetest::DiscRaceTest;

// Pad 1 this frame: accelerate held (or not), the left stick steering racer 0 towards the racing line
// 1500 way units ahead of it, and the given d-pad buttons.
void SteerAlongTheLine(bool accelerate, uint16_t buttons = 0) {
    console::PadInput in = console::PadIdle();
    in.buttons = static_cast<uint16_t>(buttons | (accelerate ? console::kPadCross : 0));
    const KineticBike* b = CQzGame::bike[0];
    qzVector3d p, d;
    static float ahead = getenv("AHEAD") ? atof(getenv("AHEAD")) : 1500.0f;
    static int line = getenv("LINE") ? atoi(getenv("LINE")) : 3;
    if (CSplineManager::getSplineManager()->getControlledPoint(b->laps.curWayTime, ahead,
                                                               CSplineManager::SplineType(line), p, d)) {
        float err = std::atan2(p.x - b->position.x, p.z - b->position.z) -
                    std::atan2(b->frame.forwardDir.x, b->frame.forwardDir.z);
        while (err > 3.14159265f) err -= 6.2831853f;
        while (err < -3.14159265f) err += 6.2831853f;
        in.sticks[2] = static_cast<uint8_t>(std::clamp(128.0f + err * 300.0f, 0.0f, 255.0f));
    }
    console::PadSetInput(0, 0, in);
}

// The fundamental (40-400 Hz) of the `n` mono frames heard before frame `end`: the shortest lag whose
// normalised autocorrelation is a peak within 10 % of the best (an octave below is not the note).
std::vector<int16_t> g_heard;
double Fundamental(size_t end, size_t n = 2880) {
    std::vector<double> x, r(1201, 0.0);
    for (size_t i = end - n; i < end; ++i) x.push_back(0.5 * (g_heard[2 * i] + g_heard[2 * i + 1]));
    for (size_t lag = 120; lag <= 1200; ++lag) {
        double xy = 0, xx = 0, yy = 0;
        for (size_t i = 0; i + lag < n; ++i)
            xy += x[i] * x[i + lag], xx += x[i] * x[i], yy += x[i + lag] * x[i + lag];
        r[lag] = xx > 0 && yy > 0 ? xy / std::sqrt(xx * yy) : 0.0;
    }
    const double best = *std::max_element(r.begin(), r.end());
    for (size_t lag = 121; best > 0.3 && lag < 1200; ++lag)
        if (r[lag] >= 0.9 * best && r[lag] >= r[lag - 1] && r[lag] >= r[lag + 1])
            return 48000.0 / double(lag);
    return 0.0;
}

// One rider heard alone (music down): throttle open from the start, closed after 2.5 s. Up to the first
// change of gear the pitch rises with the revs; with the throttle closed it falls back to idle. Then the
// race music is in the output under the race, the pause menu pauses it and resumes the chosen song; and
// a landing is heard in its frame.
TEST_F(RaceTest, EnginePitchFollowsTheRevsMusicPlaysUnderTheRaceAndLandingsAreHeard) {
    // The sound engine as the program starts it: the first race of this process loads the sounds.
    veSoundSetMaxSamples(120);
    veSoundSetSpeakerConfig(3);
    ASSERT_EQ(veSoundInit(), 0);
    CQzGame::drawFrames = false;
    RaceOptions(O01, 0);
    auto* race = racetest::NewRace(common_);
    ASSERT_TRUE(console::AmmMusic().playing);
    racesound::View()->setVolume(0.0f, 1.0f);
    g_heard.clear();
    console::SpuSetSink([](const int16_t* s, int n, void*) { g_heard.insert(g_heard.end(), s, s + 2 * n); },
                        nullptr);
    std::vector<float> rpm;
    std::vector<double> hz;
    auto frame = [&](bool throttle) {
        SteerAlongTheLine(throttle);
        ASSERT_EQ(race->updateGame(), 0);
        console::ClockTickVblank();
        console::ClockTickVblank();
        console::SpuCatchUp();
    };
    while (!CQzGame::gameStart->gameStartData.gameStarted) frame(false);
    for (int f = 0; f < 120; ++f) {
        frame(f < 75);
        rpm.push_back(CQzGame::bike[0]->m_engine->m_engineRPM);
        hz.push_back(Fundamental(g_heard.size() / 2));
    }
    size_t top = 1;  // the revs' first drop: a change of gear
    while (top + 1 < 75 && rpm[top + 1] >= rpm[top] * 0.97f) ++top;
    for (size_t k = 1; k <= top; ++k) {
        EXPECT_GE(rpm[k], rpm[k - 1]);
        EXPECT_GE(hz[k], hz[k - 1] * 0.97) << "frame " << k;
    }
    std::vector<double> idle(hz.begin() + 105, hz.end());
    std::sort(idle.begin(), idle.end());
    std::printf("revs %.0f -> %.0f: pitch %.1f -> %.1f Hz; throttle closed at %.0f revs: %.1f Hz\n", rpm[0],
                rpm[top], hz[0], hz[top], rpm[110], idle[idle.size() / 2]);
    EXPECT_GE(top, 8u);
    EXPECT_GT(hz[top], 2.0 * hz[0]);
    EXPECT_LT(idle[idle.size() / 2], 1.2 * hz[0]);

    auto level = [&](float music) {  // one second with the effects down
        racesound::View()->setVolume(music, 0.0f);
        g_heard.clear();
        for (int f = 0; f < 30; ++f) frame(true);
        double sum = 1e-3;
        for (int16_t v : g_heard) sum += double(v) * v;
        return 10 * std::log10(sum / double(g_heard.size() + 1) / (32768.0 * 32768.0));
    };
    const double withMusic = level(raceMusicVolume[0]), silent = level(0.0f);
    std::printf("race music %.1f dBFS, nothing %.1f dBFS\n", withMusic, silent);
    EXPECT_GT(withMusic, -40.0);
    EXPECT_LT(silent, -90.0);
    PauseMusic::pause(true);
    EXPECT_TRUE(console::AmmMusic().paused);
    const int next = (console::AmmMusic().song + 1) % 9;
    PauseMusic::setSong(next);
    PauseMusic::pause(false);
    EXPECT_EQ(console::AmmMusic().song, next);
    EXPECT_FALSE(console::AmmMusic().paused);
    delete race;
    EXPECT_FALSE(console::AmmMusic().setUp);
    EXPECT_EQ(PauseMusic::pause, nullptr);

    // Landings: over a jump of an indoor track the thud lifts the low end (below 120 Hz) of the frame
    // the bike lands in above the frame before, in proportion to the impact. The engine, whose low end
    // plays on through the landing, is turned down for this. (The line steered along here cuts the
    // corners of I03 into its solid track objects.)
    RaceOptions(I02, 0);
    race = racetest::NewRace(common_);
    racesound::View()->setVolume(0.0f, 1.0f);
    for (auto* obj : racesound::View()->_objects)
        if (auto* engine = dynamic_cast<CBikeSoundObject*>(obj)) engine->volume = 0.0f;
    auto lowEnd = [](size_t end) {  // one frame's mean square through a one-pole low-pass, in dB
        double y = 0, e = 0;
        for (size_t i = end - 4800; i < end; ++i) {
            y += 0.0156 * (0.5 * (g_heard[2 * i] + g_heard[2 * i + 1]) - y);
            if (i >= end - 1600) e += y * y;
        }
        return 10 * std::log10(e / 1600 + 1e-3);
    };
    std::vector<size_t> landed;  // the sample count at the end of each landing frame
    while (!CQzGame::gameStart->gameStartData.gameStarted) frame(false);
    // The track's first big jump lies some 400 m into the lap.
    for (int f = 0; f < 720 && landed.empty(); ++f) {
        frame(true);
        const KineticBike* b = CQzGame::bike[0];
        if (((b->status.viewFlags >> BIKE_LAND) & 1) && b->air.landingImpactScale >= 0.3f)
            landed.push_back(g_heard.size() / 2);
        if (f % 20 == 0 || ((b->status.viewFlags >> BIKE_LAND) & 1))
            std::printf("DBGF %d pos %.0f %.0f %.0f way %.0f air %d land %d imp %.2f flags %x\n", f,
                        b->position.x, b->position.y, b->position.z, b->laps.curWayTime, int(b->air.inAir),
                        int((b->status.viewFlags >> BIKE_LAND) & 1), b->air.landingImpactScale,
                        b->status.viewFlags);
        if (b->crash.crashing && f < 400)
            std::printf("DBGC %d type %u coll %u obj %p %s pos %.0f %.0f\n", f, b->crash.crashType,
                        b->crash.collisionType, (void*)b->crash.collisionObject,
                        b->crash.collisionObject ? typeid(*b->crash.collisionObject).name() : "-",
                        b->crash.collisionObjectPos.x, b->crash.collisionObjectPos.z);
    }
    frame(true);
    int landings = 0;
    for (size_t end : landed) {
        // The thud starts at the sound batch that ends the landing frame: it is heard in that frame or the
        // next.
        const double rise = std::max(lowEnd(end), lowEnd(end + 1600)) - lowEnd(end - 1600);
        std::printf("landing: low end %.1f dB over the frame before\n", rise);
        EXPECT_GT(rise, 3.0);
        ++landings;
    }
    EXPECT_GE(landings, 1);
    console::SpuSetSink(nullptr, nullptr);
    delete race;
    CQzGame::drawFrames = true;
    // The other races of this process run without the sound engine, as before.
    CResourceStorage<CSoundStorage>::instance().deleteAll();
    CResourceStorage<CEnvelopeMap>::instance().deleteAll();
    CSoundFactory::defEnvId = -1;
    veSoundReset();
}

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

TEST_F(RaceTest, FieldAndDrawingDistancesFollowTheOptions) {
    const struct {
        Worlds_Enum world;
        int32_t humans, cpuRiders;
        uint32_t field, numCPU, objectFar, terrainFar;
    } kCases[] = {
        {I04, 1, 1, 7, 6, 32400, 160000},  // indoor: objects 50/90/180, terrain 90/150/400
        {I04, 1, 0, 1, 6, 32400, 160000},  // computers off: the counted field stays
        {B01, 1, 1, 6, 5, 250000, 360000}, {F01, 1, 1, 1, 0, 250000, 360000},
        {O01, 2, 1, 2, 1, 36864, 90000},  // two humans race alone; far clips x 0.6
    };
    for (const auto& c : kCases) {
        CGameOptions& o = RaceOptions(c.world, c.cpuRiders, c.humans);
        auto* race = racetest::NewRace(common_);
        EXPECT_EQ(CQzGame::numOfTotalRacers, c.field) << CDemoLoopManager::getWorldString(c.world);
        EXPECT_EQ(o.numCPURacers, c.numCPU);
        EXPECT_EQ(C3DViewObject::objectFarClipDepthSquared, c.objectFar);
        EXPECT_EQ(CWorldModel::terrainFarClipDepthSquared, static_cast<float>(c.terrainFar));
        if (c.world == I04 && c.cpuRiders) {
            EXPECT_EQ(C3DViewObject::objectLod1DepthSquared, 2500u);
            EXPECT_EQ(C3DViewObject::objectLod2DepthSquared, 8100u);
            EXPECT_EQ(CWorldModel::terrainLod1DepthSquared, 8100.0f);
            EXPECT_EQ(CWorldModel::terrainLod2DepthSquared, 22500.0f);
        }
        delete race;
    }
}

// Every racer is heard with its own bike's engine, by the bike model's acceleration level (1: 125 cc,
// 2: 250 cc, 3: 400 cc): the player's chosen bike and each computer rider's, whose handling levels the
// bike then fixes at the middle ones.
TEST_F(RaceTest, EachRacerPlaysItsOwnBikesEngine) {
    CGameOptions& o = RaceOptions(I04);
    o.bike[0] = 2;  // the player picks a 400 cc bike
    auto* race = racetest::NewRace(common_);
    ASSERT_EQ(CQzGame::numOfTotalRacers, 7u);
    const int expected[7] = {400, 250, 400, 125, 125, 400, 125};  // racer 0 the player
    for (unsigned i = 0; i < CQzGame::numOfTotalRacers; ++i) {
        int heard = 0, engines = 0;
        for (CViewObject<CSoundView>* v : racesound::View()->_objects) {
            if (!v || v->modelObjectId != CQzGame::bikeId[i]) continue;
            if (dynamic_cast<C125ccEngineSoundObject*>(v)) heard = 125, ++engines;
            if (dynamic_cast<C250ccEngineSoundObject*>(v)) heard = 250, ++engines;
            if (dynamic_cast<C400ccEngineSoundObject*>(v)) heard = 400, ++engines;
        }
        EXPECT_EQ(engines, 1) << "racer " << i;
        EXPECT_EQ(heard, expected[i]) << "racer " << i;
        EXPECT_EQ(CQzGame::bike[i]->bikeAttributes.acceleration, i == 0 ? 3 : 2) << "racer " << i;
    }
    delete race;
}

TEST_F(RaceTest, ComputerRidersRaceTheSameWayTwice) {
    // Drawn the first time, stepped without drawing the second: the race itself is the same.
    std::vector<float> runs[2];
    for (int run = 0; run < 2; ++run) {
        CQzGame::drawFrames = run == 0;
        ri0 = ri1 = ri2 = ri3 = ri4 = 0;  // the game's random source as a program start leaves it
        RandomNumber = Randomizer = 0;
        RaceOptions(O01);
        auto* race = racetest::NewRace(common_);
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
        for (uint32_t i = 0; i < CQzGame::numOfTotalRacers; ++i) {
            const qzVector3d p = CQzGame::bike[i]->position, d = p - start[i];
            if (i > 0) {
                EXPECT_GT(d.x * d.x + d.z * d.z, 10000.0f * 10000.0f) << "racer " << i;
            }
            runs[run].insert(runs[run].end(), {p.x, p.y, p.z, CQzGame::bike[i]->laps.curWayTime});
        }
        delete race;
    }
    CQzGame::drawFrames = true;
    EXPECT_EQ(runs[0], runs[1]);
}

TEST_F(RaceTest, HumanRacesToTheFinishThenQuitsOrRestarts) {
    CGameOptions& o = RaceOptions(O01);
    o.duration = 1;
    CQzGame::drawFrames = false;
    auto* race = racetest::NewRace(common_);
    int f = 0;
    for (; f < 30 * 180 && race->whoControls[0] == CONTROL_PLAYER; ++f) {
        SteerAlongTheLine(true);
        ASSERT_EQ(race->updateGame(), 0);
    }
    // The lap is done: the computer rides the human's bike on and the results are up.
    ASSERT_EQ(race->whoControls[0], CONTROL_AI_PLAYER) << "after " << f << " frames";
    EXPECT_EQ(CQzGame::bike[0]->laps.curLap, 1);
    EXPECT_GT(CQzGame::bike[0]->bikeStats.raceTime, 20.0f);  // a whole lap was ridden
    EXPECT_EQ(race->gameEnd->gameEndData.gameEndOnOff, 1u);
    // The menu takes a press once the results have been on the screen for half a second.
    for (int k = 0; k < 17; ++k) {
        SteerAlongTheLine(false);
        EXPECT_EQ(race->updateGame(), 0);
    }
    SteerAlongTheLine(true);  // confirm on the first item, "Quit To Main"
    int result = 0;
    for (int k = 0; k < 3 && result == 0; ++k) result = race->updateGame();
    EXPECT_EQ(result, CQzGame::kLeave);
    EXPECT_EQ(o.gameEndState, GAME_END_RACE_FINISHED);
    delete race;

    // The second item restarts.
    race = racetest::NewRace(common_);
    race->gameEnd->setGameEndInited(1);
    for (int k = 0; k < 30 && !race->gameEndModel->menuTakesPresses(); ++k) EXPECT_EQ(race->updateGame(), 0);
    SteerAlongTheLine(false, console::kPadLeft);
    EXPECT_EQ(race->updateGame(), 0);
    SteerAlongTheLine(false);
    EXPECT_EQ(race->updateGame(), 0);
    SteerAlongTheLine(true);
    result = 0;
    for (int k = 0; k < 3 && result == 0; ++k) result = race->updateGame();
    EXPECT_EQ(result, CQzGame::kRestart);
    delete race;
    CQzGame::drawFrames = true;
}

// The throttle pulsed over the finish line, on a circuit and when a freestyle run's time is up: a fresh
// press (with the stick pushed left, which would pick "Restart Race") at any frame from three before the
// line until the results have been on the screen for half a second is held and leaves the results up with
// the cursor on the first item; a press after that acts in its own frame. The line is brought to a chosen
// frame by ending the race at the laps (or the time) already ridden.
TEST_F(RaceTest, APressAtTheFinishLineWaitsForTheResultsToBeRead) {
    constexpr int kLine = 120;  // the frame whose end-of-race check finds the player finished
    // The results are first drawn in the frame after the line and reach the screen two frames later: half
    // a second (15 frames) on the screen from frame L + 3 is frame L + 18. Counted here, not taken from
    // the game's constant, so that a shorter or longer wait fails.
    constexpr int kFirstTaken = kLine + 18;
    CQzGame::drawFrames = false;
    for (Worlds_Enum world : {O01, F01}) {
        CGameOptions& o = RaceOptions(world);
        const bool freestyle = o.trackType == TRACKTYPE_FREESTYLE;
        SCOPED_TRACE(freestyle ? "freestyle" : "circuit");
        o.timeOrLap = freestyle ? 0 : 1;
        // Throttle held, let go for three frames, pressed again at frame `press` and held. Answers the
        // race's answer and the frame it came in, or the cursor when the results stayed up.
        auto ride = [&](int press, bool stick) {
            o.duration = freestyle ? 600 : 1;
            auto* race = racetest::NewRace(common_);
            int result = 0, f = 0;
            for (; f < kLine + 30 && result == 0; ++f) {
                if (f == kLine) o.duration = 0;
                console::PadInput in = console::PadIdle();
                const bool pressed = f < press - 3 || f >= press;
                in.buttons = pressed ? console::kPadCross : 0;
                if (stick && f >= press) in.sticks[2] = 0;
                console::PadSetInput(0, 0, in);
                result = race->updateGame();
                EXPECT_EQ(race->gameEnd->gameEndData.gameEndOnOff, f >= kLine ? 1u : 0u) << f;
            }
            const int cursor = race->gameEndModel->currentSelected;
            delete race;
            return std::make_pair(result, result ? f - 1 : cursor);
        };
        for (int press = kLine - 3; press <= kLine + 20; ++press) {
            SCOPED_TRACE(press - kLine);
            if (press < kFirstTaken) {
                EXPECT_EQ(ride(press, true), std::make_pair(0, 0));
            } else {
                EXPECT_EQ(ride(press, false), std::make_pair(int(CQzGame::kLeave), press));
            }
        }
        // The first press taken with the stick pushed left picks the restart.
        EXPECT_EQ(ride(kFirstTaken, true), std::make_pair(int(CQzGame::kRestart), kFirstTaken));
    }
    CQzGame::drawFrames = true;
}

TEST_F(RaceTest, TeardownGivesBackEveryByteAndRestartKeepsTheFiles) {
    // With the sound engine on: each race loads its track's world (and indoor) sounds and leaves none.
    veSoundSetMaxSamples(120);
    ASSERT_EQ(veSoundInit(), 0);
    // Two races first size the stores and pools that live for the whole program.
    for (Worlds_Enum w : {B05, I02}) {
        RaceOptions(w);
        auto* race = racetest::NewRace(common_);
        race->updateGame();
        delete race;
    }
    // The log capture's text lives on the heap too: give it room once so that it does not grow.
    testsupport::g_log.clear();
    testsupport::g_log.reserve(1 << 20);
    const Worlds_Enum kTracks[10] = {B01, I03, O01, I05, B02, O03, I07, B03, O04, I08};
    for (Worlds_Enum w : kTracks) {
        testsupport::g_log.clear();
        const size_t before = x_TotalMemoryFree();
        RaceOptions(w);
        auto* race = racetest::NewRace(common_);
        for (int f = 0; f < 60; ++f) ASSERT_EQ(race->updateGame(), 0);
        delete race;
        EXPECT_EQ(x_TotalMemoryFree(), before) << CDemoLoopManager::getWorldString(w);
        EXPECT_EQ(testsupport::g_log.find("already free"), std::string::npos);  // each font freed once
        EXPECT_EQ(CModel::modelPtr, nullptr);
        EXPECT_EQ(CTimer::timerPtr, nullptr);
        EXPECT_EQ(CIntersection::intersectionPtr, nullptr);
        EXPECT_EQ(Framecounter, 0u);
    }
    // A restart keeps the world file: the rebuild loads nothing and says so; leaving then frees it.
    const size_t before = x_TotalMemoryFree();
    RaceOptions(O05);
    auto* race = racetest::NewRace(common_);
    race->pauseModel->restartGame = 1;
    EXPECT_EQ(race->updateGame(), CQzGame::kRestart);
    testsupport::g_log.clear();
    delete race;
    EXPECT_NE(testsupport::g_log.find("Free Sound:"), std::string::npos);
    EXPECT_EQ(testsupport::g_log.find("Free MasterFile"), std::string::npos);
    const int kept = CResourceStorage<CSoundStorage>::instance().count();
    EXPECT_GT(kept, 0);
    race = racetest::NewRace(common_, 1);
    EXPECT_EQ(CResourceStorage<CSoundStorage>::instance().count(), kept);  // a restart loads no sound
    EXPECT_NE(testsupport::g_log.find("RESTART: World File loaded from previous game!"), std::string::npos);
    EXPECT_EQ(testsupport::g_log.find("filename WORLD"), std::string::npos);
    EXPECT_EQ(race->updateGame(), 0);
    delete race;
    EXPECT_NE(testsupport::g_log.find("Free MasterFile After"), std::string::npos);
    EXPECT_EQ(x_TotalMemoryFree(), before);
    EXPECT_EQ(CResourceStorage<CSoundStorage>::instance().count(), 0);
    veSoundReset();
}

// The run's first race makes the resource stores at their reserved sizes, whatever its track: a later
// race on a track with more collision meshes than the first takes nothing more from the heap, so the
// main loop's check that a race gives back every byte holds from the second race on. (The collision
// store was made without its reserve when the program was linked with one of the files that use it
// without seeing its capacity first; it then grew on the first track with more meshes.)
TEST_F(RaceTest, TheFirstRaceReservesTheStoresSoALaterTrackWithMoreObjectsTakesNoMore) {
    testsupport::g_log.clear();
    testsupport::g_log.reserve(1 << 20);  // the log's text is on the heap too
    const CResourceStorage<CKineticCollide>& meshes = CResourceStorage<CKineticCollide>::instance();
    EXPECT_EQ(meshes.reservedSize, CResourceStorageSize<CKineticCollide>::value);
    int count[2] = {};
    size_t before = 0;
    for (Worlds_Enum w : {I03, B03}) {
        const bool first = w == I03;
        if (!first) before = x_TotalMemoryFree();
        RaceOptions(w);
        auto* race = racetest::NewRace(common_);
        ASSERT_EQ(race->updateGame(), 0);
        count[first ? 0 : 1] = meshes.count();
        delete race;
    }
    EXPECT_GT(count[1], count[0]) << "the second track has more collision meshes";
    EXPECT_EQ(x_TotalMemoryFree(), before);
}

// The scenery placement with a body nearest to `p` (trees, fences, bales, stands).
const _Placement* NearestSolidPlacement(const CWorldModel& w, const qzVector3d& p) {
    const _Placement* best = nullptr;
    float bestD = 0.0f;
    for (const CSubtileModel* stm : w.stmList)
        for (size_t i = 0; i < stm->objectList.size(); ++i) {
            const _Placement* records = stm->objectList[i];
            const CObjectDescription* d = CResourceStorage<CObjectDescription>::instance().get(
                static_cast<int>(i) + CSubtileModel::firstObjectId);
            if (!records || !d || d->collisionIdList.empty() || d->collisionIdList[0] < 0) continue;
            uint32_t count;
            std::memcpy(&count, reinterpret_cast<const uint8_t*>(records) - 16, 4);
            for (uint32_t q = 0; q < count; ++q) {
                const float dx = records[q].x - p.x, dz = records[q].z - p.z, dd = dx * dx + dz * dz;
                if (!best || dd < bestD) best = &records[q], bestD = dd;
            }
        }
    return best;
}

TEST_F(RaceTest, TheSceneryNearAHumanGetsItsBodies) {
    // Full throttle straight at the solid placement nearest the bike: the world makes its body as the
    // bike comes within reach. (The grandstands are static objects, not scenery: on the baja and first
    // outdoor tracks the nearest solid scenery left is a tree the bike does not reach straight from the
    // grid; on O04 it does.)
    RaceOptions(O04, 0);
    CQzGame::drawFrames = false;
    auto* race = racetest::NewRace(common_);
    bool body = false;
    for (int f = 0; f < 900 && !body; ++f) {
        const KineticBike* b = CQzGame::bike[0];
        const _Placement* target = NearestSolidPlacement(*race->world, b->position);
        ASSERT_NE(target, nullptr);
        float err = std::atan2(target->x - b->position.x, target->z - b->position.z) -
                    std::atan2(b->frame.forwardDir.x, b->frame.forwardDir.z);
        while (err > 3.14159265f) err -= 6.2831853f;
        while (err < -3.14159265f) err += 6.2831853f;
        console::PadInput in = console::PadIdle();
        in.buttons = console::kPadCross;
        in.sticks[2] = static_cast<uint8_t>(std::clamp(128.0f + err * 300.0f, 0.0f, 255.0f));
        console::PadSetInput(0, 0, in);
        ASSERT_EQ(race->updateGame(), 0);
        for (const auto& o : race->world->collisionObjects[0]) body = body || o != nullptr;
    }
    EXPECT_TRUE(body);
    delete race;
    CQzGame::drawFrames = true;
}

TEST_F(RaceTest, ARaceOnAMissingWorldEndsAtOnceAndTheFrontEndDrawsAfterIt) {
    CGameOptions& o = RaceOptions(I04);
    std::snprintf(o.WorldFile, sizeof o.WorldFile, "%s", "nowhere.bin");
    auto* race = racetest::NewRace(common_);
    EXPECT_EQ(race->updateGame(), CQzGame::kLeave);
    EXPECT_EQ(o.gameEndState, GAME_END_RACE_QUIT);
    delete race;
    // The shell's main menu after the race, drawn for a second.
    auto* fe = new CFrontend(&o, 33);
    for (int f = 0; f < 30; ++f) fe->update();
    delete fe;
}

}  // namespace

namespace {

// A sound view object that notes, when the frame's sound renders, whether the engine's frame is still
// open and what the race's progress and clock read.
struct SoundRenderProbe : CViewObject<CSoundView> {
    void render(CSoundView*) override {
        ++renders;
        frameOpen = frameOpen || veEngineBeginFrameOccured.load() != 0;
        clock = globalTime;
        wayTimes.clear();
        for (uint32_t i = 0; i < CQzGame::numOfTotalRacers; ++i)
            wayTimes.push_back(CQzGame::bike[i]->laps.curWayTime);
    }
    void update(CSoundView*, float) override {}
    void modelObjectRemoved(CSoundView*) override {}
    int renders = 0;
    bool frameOpen = false;
    float clock = 0.0f;
    std::vector<float> wayTimes;
};

}  // namespace

// The frame's sound renders after the picture has gone out and the waypoints have moved on, and before
// the clock's second advance: what it hears is where the race stands at the end of the frame.
TEST_F(RaceTest, TheFrameSoundsAfterThePictureAndTheWaypointsBeforeTheClock) {
    RaceOptions(O01);
    auto* race = racetest::NewRace(common_);
    auto* probe = new SoundRenderProbe;  // the sound views' bin deletes it with the race
    racesound::View()->insertObject(probe);
    int moved = 0;
    for (int f = 0; f < 300; ++f) {
        CQzGame::drawFrames = f >= 240;  // the countdown undrawn
        SteerAlongTheLine(true);
        ASSERT_EQ(race->updateGame(), CQzGame::kGoOn);
        ASSERT_EQ(probe->renders, f + 1);
        ASSERT_FALSE(probe->frameOpen) << "frame " << f;
        EXPECT_EQ(probe->clock + 0.01667f, globalTime) << "frame " << f;
        for (uint32_t i = 0; i < CQzGame::numOfTotalRacers; ++i) {
            ASSERT_EQ(probe->wayTimes[i], CQzGame::bike[i]->laps.curWayTime)
                << "racer " << i << " frame " << f;
            moved += probe->wayTimes[i] > 0.0f;
        }
    }
    EXPECT_GT(moved, 300) << "the field rode on along its racing lines";
    delete race;
}

// The build's log: the audio stores' fill after the others, and the heap's figures after the world's
// collisions as the heap gives them (used and free add up to the heap, never below zero).
TEST_F(RaceTest, BuildLogsTheAudioStoresAndTheHeapFigures) {
    testsupport::LogCapture log;
    RaceOptions(I02);
    auto* race = racetest::NewRace(common_);
    const std::string& text = log.text();
    char line[128];
    std::snprintf(line, sizeof line, "envelopMap Resource contains      %d objects\n",
                  CResourceStorage<CEnvelopeMap>::instance().count());
    EXPECT_TRUE(log.has(line)) << line;
    std::snprintf(line, sizeof line, "soundStorage Resource contains    %d objects\nInit QZ Game\n",
                  CResourceStorage<CSoundStorage>::instance().count());
    EXPECT_TRUE(log.has(line)) << line;
    EXPECT_LT(text.find("kineticCollide Resource contains"), text.find("envelopMap Resource contains"));
    const size_t at = text.find("InitWorld After collisions: Used Mem = ");
    ASSERT_NE(at, std::string::npos);
    int used = -1, free = -1, largest = -1;
    ASSERT_EQ(std::sscanf(text.c_str() + at,
                          "InitWorld After collisions: Used Mem = %dk   Free Mem = %dk   Largest Free = %dk",
                          &used, &free, &largest),
              3);
    EXPECT_GT(used, 0);
    EXPECT_GT(free, 0);
    EXPECT_LE(largest, free);
    const long heapKb = (static_cast<long>(x_TotalMemory()) + x_TotalMemoryFree()) / 1024;
    EXPECT_NEAR(used + free, heapKb, 64) << "used and free are the heap's";
    delete race;
}
