// A career played through the whole program's loop with pad 1 following pad scripts: a slot named on
// the keyboard, rider and series chosen, a one-lap race the computer rides for the player to the
// finish, the points on the pre-race screen, the series finished, the next tier open and the trophy lit.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "app/main_loop.h"
#include "bike/kinetic_bike.h"
#include "bike/rider_model.h"
#include "console/pad/pad.h"
#include "engine/sys/xrand.h"
#include "frontend/screens/career_ui.h"
#include "game/core/random.h"
#include "game/model/model.h"
#include "game/model/packet.h"
#include "host/pad_script.h"
#include "race/control/game_controller.h"
#include "race/demo_loop.h"
#include "race/end_screens.h"
#include "race/hud/hud_model.h"
#include "race/race_game.h"
#include "race/riders.h"
#include "support/disc_race_test.h"
#include "support/log_capture.h"

namespace {

// "START CROSS DOWN*6": each button pressed for one frame, two idle frames apart.
std::string Presses(const std::string& words) {
    std::istringstream in(words);
    std::string w, script;
    int frame = 2;
    while (in >> w) {
        const size_t star = w.find('*');
        const int n = star == std::string::npos ? 1 : std::stoi(w.substr(star + 1));
        for (int k = 0; k < n; ++k, frame += 3)
            script += std::to_string(frame) + " " + w.substr(0, star) + "\n";
    }
    return script;
}

class CareerRoad : public racetest::DiscRaceTest {
protected:
    void SetUp() override {
        BootDisc();
        options_ = CGameOptions();  // as the program starts
        CQzGame::drawFrames = false;
        for (CareerData& c : CareerFile) c.reset();
        cfc = 0;
        inCareer = 0;
        BootCursors();
        // Both random sources as the program starts, so the race and the simulated results repeat.
        engine::LastRand = 1;
        ri0 = ri1 = ri2 = ri3 = ri4 = 0;
        RandomNumber = Randomizer = 0;
    }
    // The cursors and settings the roads move, at their boot values.
    static void BootCursors() {
        modenum_mm = modenum_optionsmenu = modenum_cfg = careerfilechosen = CR_ItemCurrent = 0;
        Control_ItemCurrent[0] = Control_ItemCurrent[1] = preset[0] = preset[1] = 0;
    }
    void TearDown() override {
        delete fe_;
        CQzGame::drawFrames = true;
        BootCursors();
        for (CareerData& c : CareerFile) c.reset();
        DiscRaceTest::TearDown();
    }
    // Pad 1 follows the presses while the front end runs; stops early when the front end ends.
    void Play(const std::string& words) {
        host::PadScript pad;
        host::Error e;
        const std::string script = Presses(words);
        ASSERT_TRUE(pad.Parse(script, "road", &e));
        const int frames = 3 * int(std::count(script.begin(), script.end(), '\n')) + 4;
        for (int f = 0; f < frames && !fe_->Frontend_done; ++f) {
            pad.Apply(0, 0, uint64_t(f));
            fe_->update();
        }
    }
    // The loading screen has ended the front end: the race, ridden by the computer for the player as
    // in the attract race and cut to one lap; CROSS on the results continues. On a freestyle track the
    // player's score is `stuntScore` in the HUD's table. Answers the screen the loop opens the next front
    // end on; `shownPlace_` is the player's place on the results.
    int Race(int stuntScore = 0) {
        const bool byTime = options_.trackType == TRACKTYPE_FREESTYLE;
        options_.demoMode = 1;
        options_.duration = byTime ? 20 : 1;
        options_.timeOrLap = byTime ? 0 : 1;
        auto* race = racetest::NewRace(common_);
        console::PadSetInput(0, 0, console::PadIdle());
        auto* table = dynamic_cast<CHudModel*>(CModel::modelPtr->objects[size_t(race->hudId[0])]);
        int result = 0, f = 0;
        for (; f < 60 * 240 && result == 0 && !race->gameEnd->gameEndData.gameEndOnOff; ++f) {
            if (byTime && table) table->_freeStyleRankScores[table->_freeStylePlayerPos] = stuntScore;
            result = race->updateGame();
        }
        EXPECT_EQ(race->gameEnd->gameEndData.gameEndOnOff, 1u) << "no finish after " << f << " frames";
        shownPlace_ = 0;
        if (!byTime) {
            EXPECT_EQ(CQzGame::bike[0]->laps.curLap, 1);  // the whole lap ridden
            shownPlace_ = CQzGame::bike[0]->bikeStats.getRacePosition();
        } else if (FreestyleRanking shown; race->gameEnd->freestyleTable(shown)) {
            shownPlace_ = shown.playerPos + 1;
            // Each rival of the results is the standings' racer of the place the results give it.
            int32_t places[8];
            CGameEnd::freestylePlaces(shown, places);
            const CareerData& slot = CareerFile[size_t(cfc)];
            for (int i = 1; i < 8; ++i)
                EXPECT_STREQ(shown.names[places[i] - 1], slot.player[i].name) << "standings racer " << i;
        }
        for (int k = 0; k < 120 && result == 0; ++k) {
            console::PadInput in = console::PadIdle();
            if (k % 2) in.buttons = console::kPadCross;
            console::PadSetInput(0, 0, in);
            result = race->updateGame();
        }
        EXPECT_EQ(result, CQzGame::kLeave);
        delete race;
        return NextFrontEndScreen(inCareer != 0);
    }
    void Open(int screen) { fe_ = new CFrontend(&options_, screen); }
    // The loading screen ends the front end; its end hands the choices over.
    void Close() {
        EXPECT_EQ(fe_->Frontend_done, 1) << "stuck on screen " << SM_GetCurScreen();
        delete fe_;
        fe_ = nullptr;
    }

    // The game's options record: the front end fills it and the race reads it.
    CGameOptions& options_ = gameOptions;
    CFrontend* fe_ = nullptr;
    int shownPlace_ = 0;
};

TEST_F(CareerRoad, NameRideScoreFinishTheSeriesAndSeeTheTrophy) {
    CareerData& c = CareerFile[0];
    Open(34);
    // Title, main menu's career entry, the empty first slot; "AJ" typed, Done (up from the right half).
    Play("START DOWN*2 CROSS CROSS CROSS LEFT CROSS UP CROSS");
    ASSERT_EQ(SM_GetCurScreen(), 8);
    EXPECT_STREQ(c.savename, "AJ");
    EXPECT_EQ(c.used, 1);
    // Rider 1, the first baja series, its first race from the pre-race menu.
    Play("RIGHT CROSS CROSS");
    ASSERT_EQ(SM_GetCurScreen(), 6);
    EXPECT_EQ(c.ridernum, 1);
    EXPECT_EQ(c.currentseries, 0);
    Play("DOWN*6 CROSS");
    Close();
    EXPECT_STREQ(options_.WorldFile, "b01.bin");
    EXPECT_EQ(options_.isCareer, 1);
    EXPECT_EQ(options_.rider[0], 1);

    testsupport::LogCapture log;
    const int next = Race();
    ASSERT_EQ(next, 6);
    Open(next);
    // Back on the pre-race screen with the race scored: the player's points from the place it came in.
    EXPECT_EQ(SM_GetCurScreen(), 6);
    const int place = options_.sInfo[0].riderPos;
    const int kPoints[9] = {0, 14, 6, 3, 2, 1, 0, 0, 0};
    EXPECT_EQ(place, shownPlace_);
    ASSERT_GE(place, 1);
    ASSERT_LE(place, 6);  // six racers on a baja track
    EXPECT_EQ(c.player[0].points[0], kPoints[place]);
    EXPECT_TRUE(log.has("Awarded -player 0-" + std::to_string(kPoints[place]) +
                        " points for coming in place " + std::to_string(place) + ".\n"));
    int total = 0;
    for (int i = 0; i < 6; ++i) total += c.player[i].points[0];
    EXPECT_EQ(total, 14 + 6 + 3 + 2 + 1);
    EXPECT_EQ(c.currentrace[0], 2);
    EXPECT_EQ(inCareer, 0);

    // Where the baja field ends is the race's; on a freestyle track the player is ranked against the
    // seven rivals of the HUD's table. The first freestyle series from the series choice: a 20-second run
    // that out-scores every rival, then a won test result ends it.
    Play("DOWN*4 CROSS DOWN*3 CROSS");
    ASSERT_EQ(c.currentseries, 9);
    Play("DOWN*6 CROSS");
    Close();
    ASSERT_EQ(Race(20000), 6);
    Open(6);
    EXPECT_EQ(shownPlace_, 1);
    EXPECT_EQ(options_.sInfo[0].riderPos, 1);
    EXPECT_EQ(c.player[0].points[9], 14);
    int rivals = 0;
    for (int i = 1; i < 8; ++i) rivals += c.player[i].points[9];
    EXPECT_EQ(rivals, 6 + 3 + 2 + 1) << "the rivals score the places after the player's";
    Play("DOWN*7 CROSS");
    ASSERT_EQ(SM_GetCurScreen(), 7);
    EXPECT_EQ(c.status[9], 1);
    EXPECT_EQ(c.status[10], 0);
    EXPECT_EQ(c.abilitypoints, 1);
    EXPECT_TRUE(log.has("A new series has been unlocked!\n"));
    EXPECT_TRUE(careerui::Find(296)->Alpha == 255 && careerui::Find(293)->Alpha == 0);
    // The new tier can be chosen; then out to the main menu and its trophy case.
    Play("DOWN*3 RIGHT");
    EXPECT_EQ(currentsel, 10);
    Play("LEFT DOWN CROSS DOWN CROSS");
    ASSERT_EQ(SM_GetCurScreen(), 12);
    EXPECT_EQ(careerui::Find(521)->Alpha, 255);
    EXPECT_EQ(careerui::Find(520)->Alpha, 0);
    EXPECT_EQ(careerui::Find(539)->Alpha, 0);
}

// The controller screen's choice reaches the race: each player races with the preset the screen showed
// for them (player 1 preset B: circle accelerates; player 2 preset C: cross accelerates).
TEST_F(CareerRoad, ControllerPresetDecidesWhichButtonAcceleratesInTheRace) {
    Open(33);
    Play("DOWN*4 CROSS CROSS RIGHT UP LEFT UP RIGHT UP UP CROSS TRIANGLE");
    ASSERT_EQ(SM_GetCurScreen(), 33);
    // Two players (pad 2 plugged in), the first set-up screen, first riders and bikes.
    console::PadSetInput(1, 0, console::PadIdle());
    Play("UP*3 CROSS CROSS CROSS CROSS CROSS CROSS CROSS CROSS");
    Close();
    ASSERT_EQ(options_.numHumanPlayers, 2);
    EXPECT_EQ(options_.presetHumanControls[0], 1);
    EXPECT_EQ(options_.presetHumanControls[1], 2);
    auto* race = racetest::NewRace(common_);
    host::PadScript pads[2];
    host::Error e;
    ASSERT_TRUE(pads[0].Parse("1 CIRCLE\n3 CROSS\n", "pad1", &e));
    ASSERT_TRUE(pads[1].Parse("1 CIRCLE\n3 CROSS\n", "pad2", &e));
    std::string accelerating[2];
    for (int f = 0; f < 5; ++f) {
        for (int p = 0; p < 2; ++p) pads[p].Apply(p, 0, uint64_t(f));
        for (int p = 0; p < 2; ++p) {
            std::vector<CPacket> packets;
            CQzGame::controller[p]->ProcessInput(packets);
            for (const CPacket& k : packets)
                if (k._action & 2) accelerating[p] += std::to_string(f);
        }
    }
    delete race;
    EXPECT_EQ(accelerating[0], "1");
    EXPECT_EQ(accelerating[1], "3");
}

// The rider picked is the rider raced, under one name: for MAX TORQUE (3rd of the choice) and NIKKI
// NITRO (10th) in a career, the pre-race screen shows the pick's portrait, the race gives the player's
// bike the pick's name and rider model (its kit), every racer's name (what the race and its results
// show) is the standings' name of that racer, and no rider is in the race twice.
TEST_F(CareerRoad, PickedRiderRacesUnderOneNameInTheRaceAndTheStandings) {
    for (int pick : {2, 9}) {
        SCOPED_TRACE(pick);
        for (CareerData& c : CareerFile) c.reset();
        BootCursors();
        CareerData& c = CareerFile[0];
        cpux = 1, durx = 4, timeOrLapx = 0;  // a single race's set-up: no computer riders, 10 minutes
        Open(34);
        Play("START DOWN*2 CROSS CROSS CROSS LEFT CROSS UP CROSS");
        ASSERT_EQ(SM_GetCurScreen(), 8);
        Play(pick ? "RIGHT*" + std::to_string(pick) + " CROSS CROSS" : "CROSS CROSS");
        ASSERT_EQ(SM_GetCurScreen(), 6);
        ASSERT_EQ(c.ridernum, pick);
        for (int k = 0; k < 10; ++k) EXPECT_EQ(careerui::Find(1600 + k)->Alpha, k == pick ? 255 : 0) << k;
        EXPECT_EQ(careerui::Find(1610)->Alpha, 255);  // the career's bike, bike 1
        Play("DOWN*2 CROSS");                         // the standings, and back
        ASSERT_EQ(SM_GetCurScreen(), 3);
        Play("TRIANGLE DOWN*6 CROSS");
        Close();
        EXPECT_EQ(options_.cpuRiders, 1);  // a career race by the career's rules
        EXPECT_EQ(options_.duration, 3);
        EXPECT_EQ(options_.timeOrLap, 1);
        auto* race = racetest::NewRace(common_);
        // The standings, before the series' first race too, list the field the race has.
        const int racers = int(CQzGame::numOfTotalRacers);
        ASSERT_EQ(racers, CareerFieldSize(c.currentseries));
        EXPECT_STREQ(CQzGame::bike[0]->playerName, qzRiderAttributes[pick].name);
        EXPECT_EQ(CQzGame::bike[0]->rider->descriptionId, race->riderDescriptionId[pick]);
        std::vector<std::string> names;
        for (int i = 0; i < racers; ++i) {
            EXPECT_STREQ(CQzGame::bike[i]->playerName, c.player[i].name) << i;
            EXPECT_STREQ(CQzGame::bike[i]->playerName, options_.sInfo[i].name()) << i;
            names.push_back(CQzGame::bike[i]->playerName);
        }
        std::sort(names.begin(), names.end());
        EXPECT_EQ(std::unique(names.begin(), names.end()), names.end());
        delete race;
    }
}

}  // namespace
