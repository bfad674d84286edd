// The HUD's readings and texts, the radar placement, the stunt list, the HUD model and the pause menu's
// moves and actions.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "game/model/model.h"
#include "game/model/pause_state.h"
#include "race/hud/hud_model.h"
#include "race/hud/hud_text.h"
#include "race/hud/pause_menu.h"
#include "race/race_game.h"

namespace {

std::string Time(float t) {
    char s[40];
    hudtext::FormatTime(s, sizeof s, t);
    return s;
}

TEST(HudText, TimesSpeedLightsAndCountdown) {
    char s[40];
    hudtext::FormatLastLap(s, sizeof s, 7.5f);
    EXPECT_STREQ(s, "Last Lap +0.07.50");
    hudtext::FormatLastLap(s, sizeof s, -65.25f);
    EXPECT_STREQ(s, "Last Lap -1.05.25");
    hudtext::FormatFastestLap(s, sizeof s, 1e8f);
    EXPECT_STREQ(s, "N/A");
    EXPECT_EQ(Time(71.0f), "1.11.00");
    // A freestyle session's last step overshoots its limit: the time left reads nought, not "-1.59.99".
    EXPECT_EQ(Time(hudtext::TimeLeft(60, 60.01f)), "0.00.00");
    EXPECT_EQ(Time(hudtext::TimeLeft(60, 0.5f)), "0.59.50");
    EXPECT_EQ(hudtext::SpeedDigits(2000.0f), 43);
    const struct {
        int percent, nitros, lit;
    } kLights[] = {{50, 0, 4}, {50, 5, 0}, {0, 0, 0}, {12, 0, 0}, {100, 4, 8}, {113, 0, 1}};
    for (const auto& c : kLights) EXPECT_EQ(hudtext::StuntSegments(c.percent, c.nitros), c.lit) << c.percent;
    // Off the track: nothing for a second, then cards 2, 1, 0.
    const float kAt[] = {0.5f, 1.0f, 1.5f, 2.5f, 3.5f, 4.5f};
    const int kCard[] = {-1, -1, 2, 1, 0, -1};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(hudtext::CountdownFrame(kAt[i]), kCard[i]) << kAt[i];
}

TEST(HudRadar, PlacementClipAndEdgeArrow) {
    // A reference racer at the world's corner: picture coordinate (1, 1) in the centre, a quarter shown.
    const hudtext::MapWindow w = hudtext::PlaceMap(0.0f, 0.0f);
    EXPECT_FLOAT_EQ((w.s0 + w.s1) / 2, 1.0f);
    EXPECT_FLOAT_EQ((w.t0 + w.t1) / 2, 1.0f);
    EXPECT_FLOAT_EQ((w.right - w.left) * (w.bottom - w.top), 128.0f * 128.0f / 4);
    unsigned x0, y0, x1, y1;
    hudtext::MapScissor(w, x0, y0, x1, y1);
    EXPECT_EQ(std::vector<unsigned>({x0, y0, x1, y1}), std::vector<unsigned>({566, 22, 630, 81}));
    float gx = 100, gy = 50, angle = 0;
    ASSERT_TRUE(hudtext::EdgeArrow(gx, gy, angle));
    EXPECT_EQ(gx, 186);
    EXPECT_EQ(gy, 94);
    EXPECT_NEAR(angle, 3 * M_PI / 4, 1e-4);
    gx = 200, gy = 150;
    EXPECT_FALSE(hudtext::EdgeArrow(gx, gy, angle));
    for (float x : {181.0f, 309.0f}) EXPECT_FALSE(hudtext::InMapWindow(x, 150)) << x;
    EXPECT_TRUE(hudtext::InMapWindow(182, 150));
}

TEST(HudStuntList, RepeatsMultiplierAndAtMostThreeStunts) {
    const char names[3][30] = {"Superman", "Heel Clicker", "Nac Nac"};
    const int32_t scores[3] = {500, 300, 200}, repeats[3] = {600, 0, 50};
    char lines[20][50];
    auto build = [&](int count, int mult, int total) {
        const int n = hudtext::BuildStuntLines({count, names, scores, repeats, mult, total}, lines);
        return std::vector<std::string>(lines, lines + n);
    };
    EXPECT_EQ(build(1, 1, 500),
              (std::vector<std::string>{"Superman 500", "Repeat -400", "----------", "Total 500"}));
    const auto three = build(3, 3, 900);
    EXPECT_EQ(three[4], "Repeat -50");
    EXPECT_EQ(three[5], "Score 300");
    EXPECT_EQ(three[6], "Multiplier x3");
    EXPECT_EQ(build(7, 1, 0).size(), build(3, 1, 0).size());  // a count beyond the tables reads three
}

// The pause object with one HUD model in a fresh model; pad 0 has paused.
class PauseMenu : public ::testing::Test {
protected:
    void SetUp() override {
        hud = new CHudModel(0);
        pause = new CHudPauseObj(ids_, 1);
        GetModel()->objects = {hud, pause};
        CQzGame::gameOptions = &options_;
        options_.musicVolume = 5;
        PauseMusic::setSong = [](int track) { calls.push_back("song " + std::to_string(track)); };
        PauseMusic::pause = [](bool p) { calls.push_back(p ? "pause" : "resume"); };
        pause->setPausePlayer(0);
        pause->setPauseSwitch(0);
        calls.clear();
    }
    void TearDown() override {
        delete CModel::modelPtr;
        CQzGame::gameOptions = nullptr;
        PauseMusic::setSong = nullptr;
        PauseMusic::pause = nullptr;
        CPauseState::pauseSwitch = CPauseState::pauseDraw = 0;
    }
    void Press(int bits) { pause->doAction(CPacket(1, PKT_ACTION, bits, static_cast<unsigned char>(0)), 0); }
    static inline std::vector<std::string> calls;
    CGameOptions options_{};
    int32_t ids_[2] = {0, -1};
    CHudModel* hud = nullptr;
    CHudPauseObj* pause = nullptr;
};

TEST_F(PauseMenu, ModelStartsOnAndTogglesItsLines) {
    CHudModel fresh(1);
    EXPECT_EQ(std::vector<int>({fresh._speedHudON, fresh._radarHudON, fresh._statsHudON, fresh._musicHudTrack,
                                int(fresh._currentLap), int(fresh._currentPosition)}),
              std::vector<int>({1, 1, 1, 1, 1, 1}));
    hud->setRadarHUD();
    hud->setRadarHUD();
    EXPECT_STREQ(alString[4], "Radar Hud  ON");
    hud->allHudOff();
    hud->allHudOff();
    EXPECT_EQ(hud->_speedHudON + hud->_radarHudON + hud->_statsHudON, 0);
}

TEST_F(PauseMenu, MovesWrapAndUpWinsOverDown) {
    EXPECT_EQ(CPauseState::pauseSwitch, 1);
    EXPECT_EQ(CPauseState::pauseDraw, 1);
    Press(0x02);
    EXPECT_EQ(pause->pauseObjData.currentSelected, 6);
    Press(0x04);
    EXPECT_EQ(pause->pauseObjData.currentSelected, 0);
    Press(0x06);
    EXPECT_EQ(pause->pauseObjData.currentSelected, 6);
    // The music line: right to 3 and no further, left and right together apply right.
    for (int k = 0; k < 4; ++k) Press(0x10);
    EXPECT_EQ(hud->_musicHudTrack, 3);
    Press(0x18);
    EXPECT_EQ(hud->_musicHudTrack, 3);
    EXPECT_STREQ(alString[6], "Music Track  3");
    Press(0x02);
    Press(0x08);  // left on another line does nothing
    EXPECT_EQ(hud->_musicHudTrack, 3);
}

TEST_F(PauseMenu, ConfirmActsOnTheLine) {
    pause->updateHudString();
    for (int k = 0; k < 3; ++k) Press(0x04);
    EXPECT_STREQ(alString[3], "Speed Hud  ON");
    Press(0x20);
    EXPECT_STREQ(alString[3], "Speed Hud  OFF");
    EXPECT_EQ(hud->_speedHudON, 0);
    Press(0x04 | 0x20);
    EXPECT_EQ(hud->_radarHudON, 0);
    Press(0x02);
    Press(0x02);
    Press(0x02 | 0x20);
    EXPECT_EQ(pause->restartGame, 1);
    Press(0x04 | 0x20);
    EXPECT_EQ(pause->exitGame, 1);
}

TEST_F(PauseMenu, MusicFollowsPauseUnlessItsVolumeIsZero) {
    hud->setMusicHUD(2);
    pause->setPauseSwitch(-1);
    EXPECT_EQ(calls, (std::vector<std::string>{"song 2", "resume"}));
    EXPECT_EQ(CPauseState::pauseSwitch, 0);
    pause->setPausePlayer(0);
    pause->setPauseSwitch(0);
    EXPECT_EQ(calls.back(), "pause");
    calls.clear();
    options_.musicVolume = 0;
    pause->setPauseSwitch(-1);
    pause->setPausePlayer(0);
    pause->setPauseSwitch(0);
    EXPECT_TRUE(calls.empty());
}

}  // namespace
