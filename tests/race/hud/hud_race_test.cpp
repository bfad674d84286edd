// The HUD and the pause menu in real races steered by pad 1 (and pad 2): the pause stops the race and
// its sound, the menu switches HUD parts, picks the music, restarts and quits; in split screen each half
// has its own HUD and its own messages. QZ_HUD_PNG=dir writes the frames looked at.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/main_loop.h"
#include "bike/kinetic_bike.h"
#include "console/gs/gs_device.h"
#include "console/pad/pad.h"
#include "console/spu/sd_remote.h"
#include "console/spu/spu.h"
#include "frontend/career/career_data.h"
#include "frontend/screens/career_ui.h"
#include "game/model/model_object.h"
#include "game/model/pause_state.h"
#include "game/stats/track_bonus.h"
#include "game/view/view_3d.h"
#include "host/png_writer.h"
#include "race/control/controller_targets.h"
#include "race/demo_loop.h"
#include "race/end_screens.h"
#include "race/hud/hud.h"
#include "race/hud/hud_model.h"
#include "race/hud/hud_resources.h"
#include "race/hud/pause_menu.h"
#include "race/pause_obj.h"
#include "race/race_game.h"
#include "support/disc_race_test.h"
#include "world/world_model.h"

namespace {

class HudRace : public racetest::DiscRaceTest {
protected:
    void SetUp() override {
        // Pad 2 too, and the sound processor bound as the game's start-up binds it.
        BootDisc(true, [] { ASSERT_EQ(sceSdRemoteInit(), 0); });
    }
    void TearDown() override {
        PauseMusic::setSong = nullptr;
        PauseMusic::pause = nullptr;
        CQzGame::drawFrames = true;
        DiscRaceTest::TearDown();
    }
    static CGameOptions& Options(Worlds_Enum world, int32_t humans) {
        CGameOptions& o = racetest::RaceOptions(world, humans == 1, humans);
        o.musicVolume = 5;
        return o;
    }
    // Holds `buttons` on pad `port` for one frame, then lets go for one; the first answer that is not
    // "go on".
    int Press(CQzGame* race, uint16_t buttons, int port = 0) {
        int r = 0;
        for (uint16_t b : {buttons, uint16_t(0)}) {
            console::PadInput in = console::PadIdle();
            in.buttons = b;
            console::PadSetInput(port, 0, in);
            if (const int k = race->updateGame(); r == 0) r = k;
        }
        return r;
    }
    // Idle frames until a menu that came up with the last press is on the screen and takes presses (it
    // takes them from its 17th frame: two to reach the screen, half a second of 30 frames a second).
    static void Settle(CQzGame* race) {
        console::PadSetInput(0, 0, console::PadIdle());
        for (int k = 0; k < 17; ++k) race->updateGame();
    }
    static void Look(const char* name) {
        const char* dir = std::getenv("QZ_HUD_PNG");
        if (!dir) return;
        std::vector<uint8_t> rgba(640 * 448 * 4);
        host::Error e;
        if (console::gs::Gs().ReadDisplay(rgba.data()))
            host::WritePng(std::string(dir) + "/" + name, rgba.data(), 640, 448, 4, true, &e);
    }
    static CHudModel* Hud(const CQzGame* race, int player) {
        return dynamic_cast<CHudModel*>(hudres::ModelObject(race->hudId[player]));
    }
    static uint32_t MasterVolumes() {
        uint32_t sum = 0;
        for (int core = 0; core < 2; ++core)
            sum += console::SpuMasterVolume(core, 0) + console::SpuMasterVolume(core, 1);
        return sum;
    }
    static inline std::vector<std::string> music;
};

TEST_F(HudRace, PadPausesSwitchesHudPicksMusicRestartsAndQuits) {
    CGameOptions& o = Options(O01, 1);
    CQzGame::drawFrames = false;
    auto* race = racetest::NewRace(common_);
    music.clear();
    // Record the menu's music calls and pass them on to the race's music.
    static void (*raceSetSong)(int) = nullptr;
    static void (*racePause)(bool) = nullptr;
    raceSetSong = PauseMusic::setSong;
    racePause = PauseMusic::pause;
    PauseMusic::setSong = [](int track) {
        music.push_back("song " + std::to_string(track));
        if (raceSetSong) raceSetSong(track);
    };
    PauseMusic::pause = [](bool p) {
        music.push_back(p ? "pause" : "resume");
        if (racePause) racePause(p);
    };
    console::PadInput go = console::PadIdle();
    go.buttons = console::kPadCross;
    for (int f = 0; f < 150; ++f) {
        console::PadSetInput(0, 0, go);
        ASSERT_EQ(race->updateGame(), CQzGame::kGoOn);
    }
    ASSERT_EQ(MasterVolumes(), 4u * 0x3FFF);
    ASSERT_EQ(Press(race, console::kPadStart), CQzGame::kGoOn);
    ASSERT_EQ(CPauseState::pauseSwitch, 1);
    EXPECT_EQ(music, std::vector<std::string>{"pause"});
    // Paused: no clock, no motion, and the effects are silent.
    const float clock = globalTime;
    const qzVector3d at[2] = {CQzGame::bike[0]->position, CQzGame::bike[1]->position};
    CQzGame::drawFrames = true;
    for (int f = 0; f < 4; ++f) ASSERT_EQ(race->updateGame(), CQzGame::kGoOn);
    EXPECT_EQ(globalTime, clock);
    for (int i = 0; i < 2; ++i) {
        const qzVector3d p = CQzGame::bike[i]->position;
        EXPECT_TRUE(p.x == at[i].x && p.y == at[i].y && p.z == at[i].z) << i;
    }
    EXPECT_EQ(MasterVolumes(), 0u);
    std::vector<int16_t> block(2 * 800);
    console::SpuMix(block.data(), 800);
    EXPECT_EQ(std::count(block.begin(), block.end(), 0), 1600);

    // Speed, radar and stats off with down and confirm; the music line takes track 2.
    Settle(race);
    for (int k = 0; k < 3; ++k) Press(race, console::kPadDown);
    for (int k = 0; k < 3; ++k) {
        Press(race, console::kPadCross);
        Press(race, console::kPadDown);
    }
    Press(race, console::kPadRight);
    const CHudModel* hud = Hud(race, 0);
    ASSERT_NE(hud, nullptr);
    EXPECT_EQ(std::vector<int>({hud->_speedHudON, hud->_radarHudON, hud->_statsHudON, hud->_musicHudTrack}),
              std::vector<int>({0, 0, 0, 2}));
    EXPECT_STREQ(alString[3], "Speed Hud  OFF");
    EXPECT_STREQ(alString[6], "Music Track  2");
    Look("paused.png");
    EXPECT_EQ(globalTime, clock);

    // Start again resumes on the chosen track, with the sound back.
    ASSERT_EQ(Press(race, console::kPadStart), CQzGame::kGoOn);
    EXPECT_EQ(CPauseState::pauseSwitch, 0);
    EXPECT_EQ(music, (std::vector<std::string>{"pause", "song 2", "resume"}));
    EXPECT_EQ(MasterVolumes(), 4u * 0x3FFF);
    EXPECT_GT(globalTime, clock);
    Look("resumed.png");

    // Pause, up five lines from the music line to "Restart Game", confirm.
    CQzGame::drawFrames = false;
    Press(race, console::kPadStart);
    Settle(race);
    for (int k = 0; k < 5; ++k) Press(race, console::kPadUp);
    EXPECT_EQ(Press(race, console::kPadCross), CQzGame::kRestart);
    delete race;
    EXPECT_EQ(MasterVolumes(), 4u * 0x3FFF);  // the rebuilt race is not silent

    // The rebuilt race: pause, two lines down to "Exit Game", confirm: back to the front end.
    race = racetest::NewRace(common_, 1);
    for (int f = 0; f < 10; ++f) race->updateGame();
    Press(race, console::kPadStart);
    EXPECT_EQ(CPauseState::pauseSwitch, 1);
    Settle(race);
    Press(race, console::kPadDown);
    Press(race, console::kPadDown);
    EXPECT_EQ(Press(race, console::kPadCross), CQzGame::kLeave);
    EXPECT_EQ(o.gameEndState, GAME_END_RACE_QUIT);
    delete race;
    EXPECT_EQ(MasterVolumes(), 4u * 0x3FFF);
}

// START pressed with the throttle pulsed: the pause menu takes neither that press nor one made before it
// can have been seen or read, and the paused picture stands still, the speedometer with it (each reading
// steps its smoothing). Once the menu has been on the screen for half a second a press moves its cursor.
TEST_F(HudRace, APausedRaceHoldsItsPictureAndItsMenuWaitsToBeSeen) {
    Options(O01, 1);
    CQzGame::drawFrames = false;
    auto* race = racetest::NewRace(common_);
    CHud* hud = nullptr;
    for (auto* obj : CQzGame::view[0]->_objects)
        if (auto* h = dynamic_cast<CHud*>(obj)) hud = h;
    auto* pause = dynamic_cast<CHudPauseObj*>(hudres::ModelObject(CQzGame::pauseId));
    ASSERT_TRUE(hud && pause);
    auto frame = [&](uint16_t buttons) {
        console::PadInput in = console::PadIdle();
        in.buttons = buttons;
        console::PadSetInput(0, 0, in);
        EXPECT_EQ(race->updateGame(), CQzGame::kGoOn);
    };
    for (int f = 0; f < 200; ++f) frame(console::kPadCross);  // the start, then riding away
    CQzGame::drawFrames = true;
    std::vector<float> riding;
    for (int f = 0; f < 6; ++f) {
        frame(console::kPadCross);
        riding.push_back(hud->hudData.speedShown);
    }
    EXPECT_GT(riding.back(), riding.front());  // the needle is still climbing
    frame(0);
    const float held = hud->hudData.speedShown;
    EXPECT_GT(held, riding.back());
    frame(console::kPadStart | console::kPadCross);  // "Resume Game" is not taken
    ASSERT_EQ(CPauseState::pauseSwitch, 1);
    frame(console::kPadDown);  // nor a step made before the menu reached the screen
    frame(0);
    std::vector<std::vector<uint8_t>> shown;
    for (int f = 0; f < 4; ++f) {
        frame(0);
        shown.emplace_back(640 * 448 * 4);
        ASSERT_TRUE(console::gs::Gs().ReadDisplay(shown.back().data()));
        EXPECT_EQ(hud->hudData.speedShown, held);
    }
    for (int f = 1; f < 4; ++f) EXPECT_TRUE(shown[f] == shown[0]) << "paused frame " << f;
    EXPECT_EQ(CPauseState::pauseSwitch, 1);
    // Nor a step tapped in its first half second on the screen: counted from the frame START was pressed
    // in (frame 0), the taps at frames 7, 9, 11, 13 and 15 are held; the tap at frame 17 moves the cursor.
    for (int tap = 7; tap <= 15; tap += 2) {
        Press(race, console::kPadDown);
        EXPECT_EQ(pause->pauseObjData.currentSelected, 0) << "the tap at frame " << tap;
    }
    Press(race, console::kPadDown);
    EXPECT_EQ(pause->pauseObjData.currentSelected, 1);
    Look("paused_still.png");
    delete race;
}

TEST_F(HudRace, SplitScreenHalvesShowTheirOwnHudAndMessages) {
    Options(O01, 2);
    auto* race = racetest::NewRace(common_);
    ASSERT_TRUE(CQzGame::splitScreen);
    console::PadInput go = console::PadIdle();
    go.buttons = console::kPadCross;
    for (int f = 0; f < 120; ++f) {
        for (int port = 0; port < 2; ++port) console::PadSetInput(port, 0, go);
        ASSERT_EQ(race->updateGame(), CQzGame::kGoOn);
    }
    // Player 1 lands a two-stunt jump; player 2 earns a track bonus.
    CStats& s = CQzGame::bike[0]->bikeStats;
    std::snprintf(s._stuntsToHudStuntStrings[0], 30, "Superman");
    std::snprintf(s._stuntsToHudStuntStrings[1], 30, "Nac Nac");
    s._stuntsToHudStuntScores[0] = 500;
    s._stuntsToHudStuntScores[1] = 300;
    s.numStuntsThisJump = 2;
    s._stuntsToHudStuntMultiplier = 2;
    s._stuntsToHudTotalScoreThisJump = 1600;
    s._isStuntsToHudActive = 1;
    std::snprintf(CTrackBonus::trackBonusAwards[0].bonusFlavorRecText, 100, "BIG AIR BONUS");
    CQzGame::bike[1]->trackBonus.currentBonusAwarded = 0;
    for (int f = 0; f < 30; ++f) ASSERT_EQ(race->updateGame(), CQzGame::kGoOn);
    Look("split.png");
    // Each half shows its stat box in its own top-left corner: amber labels and rules on the panel.
    std::vector<uint8_t> rgba(640 * 448 * 4);
    ASSERT_TRUE(console::gs::Gs().ReadDisplay(rgba.data()));
    for (int half = 0; half < 2; ++half) {
        int amber = 0;
        for (int y = 224 * half + 10; y < 224 * half + 115; ++y)
            for (int x = 10; x < 160; ++x) {
                const uint8_t* p = &rgba[(size_t(y) * 640 + size_t(x)) * 4];
                amber += p[0] > 180 && p[1] > 100 && p[1] < 220 && p[2] < 100;
            }
        EXPECT_GT(amber, 200) << "half " << half;
    }

    // Each half's HUD follows its own bike: player 1 lists the stunts, player 2 announces its bonus.
    std::vector<CHud*> huds;
    for (int v = 0; v < 2; ++v)
        for (auto* obj : CQzGame::view[v]->_objects)
            if (auto* h = dynamic_cast<CHud*>(obj)) huds.push_back(h);
    ASSERT_EQ(huds.size(), 2u);
    EXPECT_EQ(huds[0]->bike(), CQzGame::bike[0]);
    EXPECT_EQ(huds[1]->bike(), CQzGame::bike[1]);
    EXPECT_EQ(huds[0]->hudData.stuntsToHudActivated, 1u);
    EXPECT_STREQ(huds[0]->hudData.stuntsToHudStrings[0], "Superman 500");
    EXPECT_EQ(huds[1]->hudData.stuntsToHudActivated, 0u);
    EXPECT_EQ(std::vector<std::string>(
                  {huds[0]->hudData.trackBonusFlavorString, huds[1]->hudData.trackBonusFlavorString}),
              std::vector<std::string>({"", "BIG AIR BONUS"}));
    // Split screen keeps the stat box only.
    for (int p = 0; p < 2; ++p)
        EXPECT_EQ(std::vector<int>(
                      {Hud(race, p)->_speedHudON, Hud(race, p)->_radarHudON, Hud(race, p)->_statsHudON}),
                  std::vector<int>({0, 0, 1}));
    delete race;
}

namespace {

struct Band {
    int first = -1, last = -1, count = 0;
    double sumY = 0;
    void add(int y) {
        if (first < 0) first = y;
        last = y;
        ++count;
        sumY += y;
    }
    double mid() const { return count ? sumY / count : -1.0; }
};

// The shown frame's pixels in columns [x0, x1): the highlight's orange and the white text, by row.
void Bands(int x0, int x1, int y0, int y1, Band& orange, Band& white) {
    std::vector<uint8_t> rgba(640 * 448 * 4);
    ASSERT_TRUE(console::gs::Gs().ReadDisplay(rgba.data()));
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            const uint8_t* p = &rgba[(size_t(y) * 640 + size_t(x)) * 4];
            if (p[0] > 220 && p[1] > 220 && p[2] > 220)
                white.add(y);
            else if (p[0] > p[1] + 40 && p[1] > p[2] + 40)
                orange.add(y);
        }
}

}  // namespace

// Split screen: the pause menu and the results are drawn over both halves. Each menu line is printed on
// its own highlight bar, all seven inside the back plate, the lower lines in player 2's half too.
TEST_F(HudRace, SplitScreenPauseMenuAndResultsAreWhole) {
    CGameOptions& o = Options(O01, 2);
    auto* race = racetest::NewRace(common_);
    for (int f = 0; f < 30; ++f) ASSERT_EQ(race->updateGame(), CQzGame::kGoOn);
    ASSERT_EQ(Press(race, console::kPadStart), CQzGame::kGoOn);
    ASSERT_EQ(CPauseState::pauseSwitch, 1);
    Settle(race);
    int lastBar = -1;
    for (int row = 0; row < 7; ++row) {
        SCOPED_TRACE(row);
        if (row > 0) Press(race, console::kPadDown);
        race->updateGame();
        if (row == 6) Look("split_paused.png");
        // The chosen line's bar: the rows with its orange across the menu.
        std::vector<int> orangeRows(448, 0), whiteRows(448, 0);
        for (int y = 0; y < 448; ++y) {
            Band o, w;
            Bands(180, 460, y, y + 1, o, w);
            orangeRows[size_t(y)] = o.count;
            Bands(240, 420, y, y + 1, o, w);
            whiteRows[size_t(y)] = w.count;
        }
        int b0 = -1, b1 = -1;
        for (int y = 0; y < 448; ++y)
            if (orangeRows[size_t(y)] >= 100) {
                if (b0 < 0) b0 = y;
                b1 = y;
            }
        ASSERT_GE(b0, 0) << "the bar is drawn";
        EXPECT_LE(b1 - b0, 26);
        if (row > 0) {
            EXPECT_NEAR((b0 + b1) / 2, lastBar + 21, 3) << "one line further down";
        }
        lastBar = (b0 + b1) / 2;
        // Its line: the run of rows with white glyphs around the bar's middle, centred on the bar.
        int t0 = lastBar, t1 = lastBar, inside = 0;
        while (t0 > b0 - 8 && whiteRows[size_t(t0 - 1)] > 0) --t0;
        while (t1 < b1 + 8 && whiteRows[size_t(t1 + 1)] > 0) ++t1;
        for (int y = t0; y <= t1; ++y) inside += whiteRows[size_t(y)];
        EXPECT_GT(inside, 60) << "the line is drawn on its bar";
        EXPECT_NEAR((t0 + t1) / 2.0, (b0 + b1) / 2.0, 3.0) << "the line centred on its bar";
        EXPECT_LE(t1 - t0, 16) << "one line only";
    }
    EXPECT_GT(lastBar, 224) << "the last lines in player 2's half";
    ASSERT_EQ(Press(race, console::kPadStart), CQzGame::kGoOn);
    ASSERT_EQ(CPauseState::pauseSwitch, 0);

    // The results, as when player 1 finishes: the menu at the foot of the screen, in player 2's half.
    CQzGame::bike[0]->laps.curLap = o.duration;
    for (int f = 0; f < 10; ++f) race->updateGame();
    ASSERT_EQ(race->gameEnd->getGameEndInited(), 1u);
    EXPECT_EQ(race->whoControls[1], CONTROL_AI_PLAYER) << "no one rides unseen under the results";
    for (int p = 0; p < 2; ++p) EXPECT_EQ(Hud(race, p)->_statsHudON, 0) << "no HUD over the results";
    Look("split_results.png");
    Band orange, white;
    Bands(320 - 110 - 120, 320 - 110 + 120, 224 + 150, 224 + 205, orange, white);
    EXPECT_GT(orange.count, 1000) << "the chosen item's highlight";
    EXPECT_GT(white.count, 40) << "\"" << EGMenuString[0] << "\"";
    Band o2, w2;
    Bands(320 + 100 - 70, 320 + 100 + 70, 224 + 150, 224 + 205, o2, w2);
    EXPECT_GT(w2.count, 40) << "\"" << EGMenuString[1] << "\"";
    delete race;
}

// The developers' switch: the race's debug option bits, the rider's body as a white wire frame and the
// HUD's debug lines (build label, bike tracker and position). A player's race shows none of it.
TEST_F(HudRace, DebugDrawSwitchShowsTheRiderWireFrameAndTheHudDebugLines) {
    int white[2][2] = {};  // [switch][the bike and rider, the debug lines]
    for (int on = 0; on < 2; ++on) {
        CQzGame::debugDraw = on == 1;
        Options(O01, 1);
        auto* race = racetest::NewRace(common_);
        EXPECT_EQ(gameOptions.gameOptions & CQzGame::kDebugOptionBits, on ? CQzGame::kDebugOptionBits : 0);
        EXPECT_EQ(CHud::debugText, on == 1);
        console::PadInput go = console::PadIdle();
        go.buttons = console::kPadCross;
        for (int f = 0; f < 150; ++f) {
            console::PadSetInput(0, 0, go);
            ASSERT_EQ(race->updateGame(), CQzGame::kGoOn);
        }
        Look(on ? "debug_on.png" : "debug_off.png");
        std::vector<uint8_t> rgba(640 * 448 * 4);
        ASSERT_TRUE(console::gs::Gs().ReadDisplay(rgba.data()));
        auto count = [&](int x0, int x1, int y0, int y1) {
            int n = 0;
            for (int y = y0; y < y1; ++y)
                for (int x = x0; x < x1; ++x) {
                    const uint8_t* p = &rgba[(size_t(y) * 640 + size_t(x)) * 4];
                    n += p[0] == 255 && p[1] == 255 && p[2] == 255;
                }
            return n;
        };
        white[on][0] = count(270, 440, 300, 448);  // the bike and rider at the foot of the screen
        white[on][1] = count(8, 260, 340, 440);    // the debug lines at the lower left
        delete race;
    }
    CQzGame::debugDraw = false;
    CHud::debugText = false;
    EXPECT_GT(white[1][0], white[0][0] + 100) << "the rider's body as a white wire frame";
    EXPECT_LT(white[0][1], 20) << "no debug lines in a player's race";
    EXPECT_GT(white[1][1], 300) << "the HUD's debug lines";
}

// The pause menu covers what the HUD prints at the middle of the screen (the off-track warning and its
// countdown card, a hole shot banner): its plate and lines win over the HUD drawn earlier in the frame.
TEST_F(HudRace, PauseMenuCoversTheOffTrackCountdown) {
    Options(O01, 1);
    CQzGame::drawFrames = false;
    auto* race = racetest::NewRace(common_);
    console::PadInput go = console::PadIdle();
    go.buttons = console::kPadCross;
    for (int f = 0; f < 300; ++f) {
        console::PadSetInput(0, 0, go);
        ASSERT_EQ(race->updateGame(), CQzGame::kGoOn);
    }
    CQzGame::drawFrames = true;
    CHud* hud = nullptr;
    for (auto* obj : CQzGame::view[0]->_objects)
        if (auto* h = dynamic_cast<CHud*>(obj)) hud = h;
    ASSERT_NE(hud, nullptr);
    ASSERT_EQ(Press(race, console::kPadStart), CQzGame::kGoOn);
    ASSERT_EQ(CPauseState::pauseSwitch, 1);
    // The frame's white inside the plate, with the HUD drawn (the bike a second and a half off the track)
    // or with the HUD left out of the view for the frame.
    auto plateWhite = [&](bool withHud) {
        size_t slot = 0;
        while (CQzGame::view[0]->_objects[slot] != hud) ++slot;
        for (int f = 0; f < 2; ++f) {
            hud->hudData.offTrackActive = 1;
            hud->hudData.offTrackTimeStamp = globalTime - 1.5f;
            if (!withHud) CQzGame::view[0]->_objects[slot] = nullptr;
            race->updateGame();
            CQzGame::view[0]->_objects[slot] = hud;
        }
        Band none, white;
        Bands(320 + static_cast<int>(kPausePlate[0]) + 4, 320 + static_cast<int>(kPausePlate[2]) - 4,
              224 - 60, 224 + 60, none, white);
        return white.count;
    };
    const int menuOnly = plateWhite(false);
    const int withHud = plateWhite(true);
    Look("paused_off_track.png");
    EXPECT_GT(menuOnly, 300);
    EXPECT_EQ(withHud, menuOnly) << "none of the HUD's letters over the menu";
    delete race;
}

// Freestyle: the jump's trick list under the radar is printed in the HUD's main font, clear of the radar;
// the results' eight ranking rows stay clear of the divider bar above the bonus list.
TEST_F(HudRace, FreestyleTrickListAndEightResultRowsStayClear) {
    Options(F01, 1);
    gameOptions.timeOrLap = 0;
    gameOptions.duration = 8;
    auto* race = racetest::NewRace(common_);
    for (int f = 0; f < 240; ++f) ASSERT_EQ(race->updateGame(), CQzGame::kGoOn);
    CStats& s = CQzGame::bike[0]->bikeStats;
    std::snprintf(s._stuntsToHudStuntStrings[0], 30, "Superman");
    std::snprintf(s._stuntsToHudStuntStrings[1], 30, "Nac Nac");
    s._stuntsToHudStuntScores[0] = 500;
    s._stuntsToHudStuntScores[1] = 300;
    s.numStuntsThisJump = 2;
    s._stuntsToHudStuntMultiplier = 2;
    s._stuntsToHudTotalScoreThisJump = 1600;
    s._isStuntsToHudActive = 1;
    for (int f = 0; f < 20; ++f) ASSERT_EQ(race->updateGame(), CQzGame::kGoOn);  // slid in, held
    Look("freestyle_tricks.png");
    // The lines' white letters right of the centre, between the radar's foot and the middle.
    Band none, tricks, radar;
    Bands(330, 636, 150, 224, none, tricks);
    EXPECT_GT(tricks.count, 400) << "the trick lines in the main font";
    EXPECT_GE(tricks.first, 150);

    // Time is up: the ranking of eight, the divider bar under it.
    for (int f = 0; f < 600 && !race->gameEnd->getGameEndInited(); ++f) race->updateGame();
    for (int f = 0; f < 5; ++f) race->updateGame();
    ASSERT_EQ(race->gameEnd->getGameEndInited(), 1u);
    EXPECT_EQ(gameOptions.sInfo[0].riderPos, Hud(race, 0)->_freeStylePlayerPos + 1) << "the place shown";
    Look("freestyle_results.png");
    std::vector<int> orangeRows(448, 0), whiteRows(448, 0);
    for (int y = 120; y < 300; ++y) {
        Band o, w;
        Bands(60, 580, y, y + 1, o, w);
        orangeRows[size_t(y)] = o.count;
        whiteRows[size_t(y)] = w.count;
    }
    int bar = -1;
    for (int y = 120; y < 300 && bar < 0; ++y)
        if (orangeRows[size_t(y)] > 300) bar = y;
    ASSERT_GT(bar, 200) << "the divider bar";
    for (int y = bar - 3; y < bar + 8; ++y)
        EXPECT_EQ(whiteRows[size_t(y)], 0) << "row " << y << " on the bar";
    int lit = 0;
    for (int y = 121; y < bar; ++y) lit += whiteRows[size_t(y)] > 0;
    EXPECT_GE(lit, 8 * 8) << "eight ranking rows above the bar";
    delete race;
}

// The pause menu's half second, to the frame: counted from the frame START is pressed in (frame 0), a
// step tapped at frame 16 is held and one tapped at frame 17 moves the cursor.
TEST_F(HudRace, ThePauseMenuTakesATapFromItsSeventeenthFrame) {
    Options(O01, 1);
    for (const int tap : {16, 17}) {
        SCOPED_TRACE(tap);
        auto* race = racetest::NewRace(common_);
        auto* pause = dynamic_cast<CHudPauseObj*>(hudres::ModelObject(CQzGame::pauseId));
        ASSERT_NE(pause, nullptr);
        auto frame = [&](uint16_t buttons) {
            console::PadInput in = console::PadIdle();
            in.buttons = buttons;
            console::PadSetInput(0, 0, in);
            EXPECT_EQ(race->updateGame(), CQzGame::kGoOn);
        };
        CQzGame::drawFrames = false;
        for (int f = 0; f < 30; ++f) frame(0);
        CQzGame::drawFrames = true;  // the menu counts the frames it is drawn in
        frame(console::kPadStart);
        ASSERT_EQ(CPauseState::pauseSwitch, 1);
        for (int f = 1; f < tap; ++f) frame(0);
        frame(console::kPadDown);
        frame(0);
        EXPECT_EQ(pause->pauseObjData.currentSelected, tap >= 17 ? 1 : 0);
        delete race;
    }
}

// A freestyle career run is ranked in the HUD's table and scored by the standings the series choice
// starts: whatever the player is named, the standings name the table's seven rivals and each gets the
// place it took there. A player named after a rival meets that surname in neither (the eighth takes it).
TEST_F(HudRace, AFreestyleCareerRunCreditsEachRivalItsOwnPlace) {
    for (const char* name : {"", "Okafor", "Hollister", "Kowalczyk"}) {  // "": the rider's own name
        SCOPED_TRACE(name);
        Options(F01, 1);
        gameOptions.timeOrLap = 0;
        gameOptions.duration = 2;
        CQzGame::drawFrames = false;
        auto* race = racetest::NewRace(common_);
        CHud* hud = nullptr;
        for (auto* obj : CQzGame::view[0]->_objects)
            if (auto* h = dynamic_cast<CHud*>(obj)) hud = h;
        ASSERT_NE(hud, nullptr);
        KineticBike* bike = CQzGame::bike[0];
        if (*name) {
            std::snprintf(bike->playerName, sizeof bike->playerName, "%s", name);
            hud->initFreeStyleStuntData();
        }
        const std::string player = bike->playerName;
        int named = 0;
        for (const char* row : Hud(race, 0)->_freeStyleRankNames) named += player == row;
        EXPECT_EQ(named, 1) << "the player's own row alone";
        for (int f = 0; f < 900 && !race->gameEnd->getGameEndInited(); ++f) race->updateGame();
        ASSERT_EQ(race->gameEnd->getGameEndInited(), 1u);
        FreestyleRanking shown;
        ASSERT_TRUE(race->gameEnd->freestyleTable(shown));

        // The champion freestyle series as the series choice starts it, scored with these results.
        const char* names[kCareerRacers] = {player.c_str(), "P1", "P2", "P3", "P4", "P5", "P6", "P7"};
        const char* roster[kCareerRacers];
        FE_SeriesRoster(9, names, roster);
        CareerData career;
        career.reset();
        Career_ChooseSeries(career, 9, roster);
        career.currentrace[9] = 1;
        unsigned char inCareer = 1;
        gameOptions.gameEndState = GAME_END_RACE_FINISHED;
        Career_ScoreRace(career, gameOptions, inCareer);
        for (int k = 0; k < kCareerRacers; ++k) {
            const std::string who = career.player[k].name;
            int row = -1;
            for (int r = 0; r < 8; ++r)
                if (shown.names[r] && who == shown.names[r]) row = r;
            ASSERT_GE(row, 0) << who << " is not in the HUD's table";
            EXPECT_EQ(row == shown.playerPos, k == 0) << who;
            EXPECT_EQ(gameOptions.sInfo[k].riderPos, row + 1) << who;
            EXPECT_EQ(career.player[k].points[9], CareerPointsForPlace(row + 1)) << who;
        }
        delete race;
    }
    CQzGame::drawFrames = true;
}

TEST_F(HudRace, BajaGuideArrowPointsFromTheCameraAtTheNextGate) {
    Options(B01, 1);
    auto* race = racetest::NewRace(common_);
    console::PadInput go = console::PadIdle();
    go.buttons = console::kPadCross;
    for (int f = 0; f < 120; ++f) {
        console::PadSetInput(0, 0, go);
        ASSERT_EQ(race->updateGame(), CQzGame::kGoOn);
    }
    Look("baja.png");
    CHud* hud = nullptr;
    for (auto* obj : CQzGame::view[0]->_objects)
        if (auto* h = dynamic_cast<CHud*>(obj)) hud = h;
    ASSERT_NE(hud, nullptr);
    const CModelObject* arrow = hudres::ModelObject(hud->arrow3dId);
    const CModelObject* camera = hudres::ModelObject(CQzGame::bike[0]->cameraId);
    ASSERT_TRUE(arrow && camera && race->world);
    const auto& gates = race->world->gateObjects;
    ASSERT_LT(CQzGame::bike[0]->laps.currentCheckPoint, gates.size());
    // The arrow rides in front of the camera, and its nose (its -y) runs level towards the gate.
    qzVector3d toGate = gates[CQzGame::bike[0]->laps.currentCheckPoint].position - camera->position;
    toGate.y = 0.0f;
    qzMath::qzMathVectorNormalize(&toGate);
    _matrix4 m;
    Q_SetupMatrix(&arrow->qOrientation, &m);
    const float nose = -(m.M[4] * toGate.x + m.M[5] * toGate.y + m.M[6] * toGate.z);
    EXPECT_GT(nose, 0.95f);
    float away = 0.0f;
    qzMath::qzMathVectorDistance(&away, &arrow->position, &camera->position);
    EXPECT_NEAR(away, std::sqrt(400.0f * 400.0f + 125.0f * 125.0f), 1.0f);
    delete race;
}

// The largest 4-connected patch of pixels that `take` accepts, as a box (x0, y0, x1, y1); 0 pixels when
// none.
struct Patch {
    int x0 = 640, y0 = 448, x1 = -1, y1 = -1, pixels = 0;
    // Closer than `gap` pixels to `o`, or over it.
    bool near(const Patch& o, int gap) const {
        return x0 - gap <= o.x1 && o.x0 <= x1 + gap && y0 - gap <= o.y1 && o.y0 <= y1 + gap;
    }
};
template <class Take>
Patch LargestPatch(const std::vector<uint8_t>& rgba, Take take) {
    std::vector<uint8_t> seen(640 * 448, 0);
    Patch best;
    std::vector<int> stack;
    for (int start = 0; start < 640 * 448; ++start) {
        if (seen[size_t(start)] || !take(&rgba[size_t(start) * 4])) continue;
        Patch p;
        stack.assign(1, start);
        seen[size_t(start)] = 1;
        while (!stack.empty()) {
            const int i = stack.back(), x = i % 640, y = i / 640;
            stack.pop_back();
            p = {std::min(p.x0, x), std::min(p.y0, y), std::max(p.x1, x), std::max(p.y1, y), p.pixels + 1};
            for (int n :
                 {x > 0 ? i - 1 : -1, x < 639 ? i + 1 : -1, y > 0 ? i - 640 : -1, y < 447 ? i + 640 : -1})
                if (n >= 0 && !seen[size_t(n)] && take(&rgba[size_t(n) * 4])) {
                    seen[size_t(n)] = 1;
                    stack.push_back(n);
                }
        }
        if (p.pixels > best.pixels) best = p;
    }
    return best;
}

// The attract race on a baja track: the HUD's dial, stat box and radar are off, the track's cameras film
// it, and the caption the demo loop adds sits low on the right, clear of the yellow guide arrow.
TEST_F(HudRace, AttractRaceShowsItsCaptionAloneFromTheTrackCameras) {
    CDemoLoopManager attract;
    attract.setDemoLoopState(DL_IN_GAME);
    CDemoLoopManager::DLManPtr = &attract;
    struct Restore {
        ~Restore() { CDemoLoopManager::DLManPtr = &DLManager; }
    } restore;
    CGameOptions& o = Options(B01, 1);
    o.demoMode = 1;
    auto* race = racetest::NewRace(common_);
    for (int f = 0; f < 240; ++f) ASSERT_EQ(race->updateGame(), CQzGame::kGoOn);
    Look("attract_baja.png");
    const CHudModel* m = Hud(race, 0);
    ASSERT_NE(m, nullptr);
    EXPECT_FALSE(m->_speedHudON || m->_statsHudON || m->_radarHudON);
    // Filmed by the track's cameras, as the attract race is.
    ASSERT_NE(race->trackCamID, -1);
    EXPECT_EQ(CQzGame::view[0]->_cameraID, race->trackCamID);
    std::vector<uint8_t> rgba(640 * 448 * 4);
    ASSERT_TRUE(console::gs::Gs().ReadDisplay(rgba.data()));
    // The arrow: the biggest yellow patch. The caption: white letters with the black rim 2 px out.
    const Patch arrow = LargestPatch(
        rgba, [](const uint8_t* p) { return p[0] > 180 && p[1] > 110 && p[2] < 70 && p[0] >= p[1]; });
    Patch caption;
    for (int y = 2; y < 446; ++y)
        for (int x = 2; x < 638; ++x) {
            const uint8_t* p = &rgba[(size_t(y) * 640 + size_t(x)) * 4];
            if (std::min({p[0], p[1], p[2]}) <= 225) continue;
            bool rim = false;
            for (int d : {-2, 2, -2 * 640, 2 * 640}) {
                const uint8_t* q = p + d * 4;
                rim = rim || (q[0] == 0 && q[1] == 0 && q[2] == 0);
            }
            if (!rim) continue;
            caption = {std::min(caption.x0, x), std::min(caption.y0, y), std::max(caption.x1, x),
                       std::max(caption.y1, y), caption.pixels + 1};
        }
    EXPECT_GT(caption.pixels, 150) << "both caption lines";
    EXPECT_GT(caption.x0, 320) << "right-aligned, low on the right";
    EXPECT_GT(caption.y0, 300);
    // Its rim (2 px) and a little air between the letters and the arrow.
    EXPECT_FALSE(caption.near(arrow, 4))
        << "caption " << caption.x0 << "," << caption.y0 << " to " << caption.x1 << "," << caption.y1
        << "; arrow " << arrow.x0 << "," << arrow.y0 << " to " << arrow.x1 << "," << arrow.y1;
    delete race;
}

}  // namespace
