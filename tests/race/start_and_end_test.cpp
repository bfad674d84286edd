// The start countdown (boost window, cards, release), the end-of-race check and the results screen (menu,
// result rows and times, results for the front end).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/main_loop.h"
#include "bike/kinetic_bike.h"
#include "engine/hal/engine_fixture.h"
#include "frontend/career/career_data.h"
#include "game/files/texture.h"
#include "game/model/model.h"
#include "game/model/packet.h"
#include "game/stats/stats.h"
#include "game/stats/track_bonus.h"
#include "game/view/view_3d.h"
#include "race/countdown.h"
#include "race/end_of_race.h"
#include "race/end_screens.h"
#include "race/hud/hud.h"
#include "race/hud/hud_model.h"
#include "race/pause_obj.h"
#include "race/race_game.h"
#include "race/race_hooks.h"
#include "race/scene/camera.h"
#include "support/log_capture.h"

namespace {

struct TestBike : KineticBike {
    void doAction(const CPacket&, float) override {}
};

// A model holding `racers` idle bikes and one camera, and a view looking through it.
class StartAndEndTest : public enginetest::EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        savedOptions_ = gameOptions;
        CQzGame::gameOptions = &gameOptions;
        CQzGame::numOfTotalRacers = 4;
        CQzGame::numOfHumanRacers = 2;
        globalTime = 0.0f;
        GetModel();
        for (int i = 0; i < 4; ++i) {
            bikes[i] = new TestBike;
            ids[i] = Add(bikes[i]);
            CQzGame::bike[i] = bikes[i];
            std::snprintf(bikes[i]->playerName, sizeof bikes[i]->playerName, "Rider %d", i);
        }
        camera = new CCamera;
        camera->Mode = CAMMODE_FOLLOW;
        view = new C3DView(0, 1);
        view->_cameraID = Add(camera);
        CGameStart::triggerSound = [](int id) { sounds.push_back(id); };
        CGameStart::countLId = 10, CGameStart::countRId = 11, CGameStart::goLId = 20, CGameStart::goRId = 21;
        sounds.clear();
    }
    void TearDown() override {
        delete view;
        delete CModel::modelPtr;
        CModel::modelPtr = nullptr;
        CResourceStorage<CTexture>::instance().deleteAll();
        for (int i = 0; i < 8; ++i) CQzGame::bike[i] = nullptr;
        CQzGame::gameOptions = nullptr;
        CGameStart::triggerSound = nullptr;
        CStats::racerCount = 0;
        gameOptions = savedOptions_;
        EngineTest::TearDown();
    }
    static int Add(CModelObject* o) {
        CModel::modelPtr->objects.push_back(o);
        return static_cast<int>(CModel::modelPtr->objects.size()) - 1;
    }
    // One 1/60 s tick of the race clock with the countdown updated and drawn.
    void Tick(std::initializer_list<CGameStart*> starts) {
        globalTime += 1.0f / 60.0f;
        for (CGameStart* s : starts) s->update(view, 0.0f);
        for (CGameStart* s : starts) s->render(view);
    }
    void TickUntil(float t, std::initializer_list<CGameStart*> starts) {
        while (globalTime < t - 1e-4f) Tick(starts);
    }

    TestBike* bikes[4] = {};
    int ids[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
    CCamera* camera = nullptr;
    C3DView* view = nullptr;
    CGameOptions savedOptions_;
    static inline std::vector<int> sounds;
};

TEST_F(StartAndEndTest, BoostWindowDecidesTheStartAndTheGoCard) {
    // Accelerate at `press` s (the bike answers 2 inside the open window, 3 outside it).
    const struct {
        float press;
        uint32_t atPress, final;
        int goSound;
    } rows[] = {{0.8f, BOOST_PRESSED_OUTSIDE, BOOST_PLAIN_START, 20},
                {1.2f, BOOST_PRESSED_IN_WINDOW, BOOST_START, 20},
                {-1.0f, BOOST_NONE, BOOST_NONE, 20}};
    for (const auto& r : rows) {
        globalTime = 0.0f;
        bikes[0]->laps.canBoost = 0;
        CGameStart start(nullptr, ids, 0);
        if (r.press > 0) {
            TickUntil(r.press, {&start});
            bikes[0]->laps.canBoost = bikes[0]->laps.canBoost == BOOST_WINDOW_OPEN ? BOOST_PRESSED_IN_WINDOW
                                                                                   : BOOST_PRESSED_OUTSIDE;
            EXPECT_EQ(bikes[0]->laps.canBoost, r.atPress);
        }
        TickUntil(1.6f, {&start});
        EXPECT_EQ(bikes[0]->laps.canBoost, r.final) << "pressed at " << r.press;
        EXPECT_EQ(bikes[1]->laps.canBoost, BOOST_NONE) << "an idle bike's window closes";
        EXPECT_EQ(CGameStart::cardAt(start.getRelativeTime(), bikes[0]->laps.canBoost == BOOST_START),
                  r.final == BOOST_START ? CGameStart::kBoostGoCard : CGameStart::kGoCard);
        EXPECT_EQ(start.gameStartData.gameStarted, 0u);
    }
}

TEST_F(StartAndEndTest, TwoPlayersReleaseTogetherAndEachCardSoundsOnce) {
    CGameStart::lastFrame = -1;
    CGameStart p0(nullptr, ids, 0), p1(nullptr, ids, 1);
    EXPECT_EQ(p0.gameStartData.bikeIDs[4], -1) << "entries past the field name no bike";
    TickUntil(1.99f, {&p0, &p1});
    EXPECT_EQ(bikes[3]->laps.startRace, 0u);
    CStats::startTime = -1.0f;
    while (!p0.gameStartData.gameStarted) Tick({&p0, &p1});
    EXPECT_EQ(p1.gameStartData.gameStarted, 1u);
    EXPECT_FLOAT_EQ(CStats::startTime, globalTime);
    EXPECT_GE(p0.getRelativeTime(), 2.0f);
    for (TestBike* b : bikes) EXPECT_EQ(b->laps.startRace, 1u);
    EXPECT_EQ(sounds, (std::vector<int>{10, 11, 10, 11, 10, 11, 20, 21}));
}

TEST_F(StartAndEndTest, PreRaceCameraHoldsAndRestartsTheCount) {
    CGameStart start(nullptr, ids, 0);
    camera->Mode = CAMMODE_PREGAME;
    TickUntil(3.0f, {&start});
    EXPECT_FLOAT_EQ(start.getRelativeTime(), 0.0f);
    camera->Mode = CAMMODE_FOLLOW;
    TickUntil(4.2f, {&start});
    EXPECT_EQ(CGameStart::cardAt(start.getRelativeTime(), false), 0);
    camera->Mode = CAMMODE_PREGAME;  // back before the release: the count starts again from "3"
    Tick({&start});
    camera->Mode = CAMMODE_FOLLOW;
    Tick({&start});
    EXPECT_EQ(CGameStart::cardAt(start.getRelativeTime(), false), 2);
    EXPECT_EQ(start.gameStartData.gameStarted, 0u);
}

TEST_F(StartAndEndTest, MenuMovesAndConfirmsThroughThePauseObject) {
    gameOptions.isCareer = 0;
    auto* pause = new CPauseObj(nullptr, 1);
    auto* menu = new CGameEndObj(Add(pause));
    Add(menu);
    EXPECT_STREQ(EGMenuString[0], "Quit To Main");
    EXPECT_STREQ(EGMenuString[1], "Restart Race");
    const struct {
        int bits, before, after;
    } moves[] = {{0x8, 0, 1}, {0x10, 1, 0}, {0x18, 0, 1}, {0x18, 1, 0}, {0x2 | 0x4, 1, 1}};
    for (const auto& m : moves) {
        menu->currentSelected = m.before;
        menu->doAction(CPacket(0, PKT_ACTION, m.bits, uint8_t{0}), 0.0f);
        EXPECT_EQ(menu->currentSelected, m.after) << "bits " << m.bits;
    }
    menu->currentSelected = 1;
    menu->endGameMode = 3;
    menu->doAction(CPacket(0, PKT_ACTION, 0x20, uint8_t{0}), 0.0f);
    EXPECT_EQ(pause->restartGame, 0) << "only mode 4 confirms";
    menu->endGameMode = 4;
    menu->doAction(CPacket(0, PKT_ACTION, 0x20, uint8_t{0}), 0.0f);
    EXPECT_EQ(pause->restartGame, 1);
    menu->doAction(CPacket(0, PKT_ACTION, 0x10 | 0x20, uint8_t{0}), 0.0f);
    EXPECT_EQ(pause->exitGame, 2) << "a move and a confirm in one packet: the new item is confirmed";
    gameOptions.isCareer = 1;
    CGameEndObj career(-1);
    EXPECT_STREQ(EGMenuString[0], "Continue");
}

TEST_F(StartAndEndTest, FinishHandsPlayersToTheComputerAndShowsResults) {
    gameOptions.timeOrLap = 1;
    gameOptions.duration = 3;
    gameOptions.numCPURacers = 6;  // the career reads seven entries; the field here is four
    Add(new CGameEndObj(-1));
    CGameEnd end(nullptr, nullptr, ids, static_cast<int>(CModel::modelPtr->objects.size()) - 1, -1);
    int32_t who[8] = {}, hud[2] = {-1, -1};
    C3DView* views[2] = {view, nullptr};
    RaceEndParts parts{&end, &gameOptions, 2, CQzGame::bike, ids, who, views, hud, 7, nullptr};

    bikes[0]->laps.curLap = 2;
    CheckGameOver(parts);
    EXPECT_EQ(end.getGameEndInited(), 0u);
    bikes[0]->laps.curLap = 3;
    CheckGameOver(parts);
    EXPECT_EQ(end.getGameEndInited(), 1u);
    EXPECT_EQ(end.getGameEnded(), 0u);
    EXPECT_EQ(who[0], 2);
    EXPECT_EQ(bikes[0]->isCPU, 1);
    EXPECT_EQ(view->_cameraID, 7) << "the track camera takes over";
    EXPECT_EQ(who[1], 2) << "the results cover both halves: the second player's bike goes to the computer";
    EXPECT_EQ(bikes[1]->isCPU, 1);

    // Positions: racer 2 won, racer 0 second, racer 3 third, racer 1 still riding.
    CStats* order[4] = {&bikes[2]->bikeStats, &bikes[0]->bikeStats, &bikes[3]->bikeStats,
                        &bikes[1]->bikeStats};
    std::copy(order, order + 4, CStats::racePositions);
    CStats::racerCount = 4;
    bikes[2]->bikeStats.finishTime = 65.5f;
    bikes[0]->bikeStats.finishTime = 75.25f;
    bikes[1]->bikeStats.raceTime = 80.0f;
    bikes[3]->bikeStats.finishTime = 129.0f;
    ResultRow rows[8];
    ASSERT_EQ(end.resultRows(rows, 8), 4);
    // The rider still on the course shows no time and no gap: its running clock is not a result.
    const char* expect[4][4] = {{"2nd", "Rider 0", "1.15.25", "/ 0.09.75"},
                                {"4th", "Rider 1", kNotFinishedText, ""},
                                {"1st", "Rider 2", "1.05.50", "/ 0.00.00"},
                                {"3rd", "Rider 3", "2.09.00", "/ 1.03.50"}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_STREQ(rows[i].rank, expect[i][0]);
        EXPECT_STREQ(rows[i].name, expect[i][1]);
        EXPECT_STREQ(rows[i].time, expect[i][2]);
        EXPECT_STREQ(rows[i].gap, expect[i][3]);
        EXPECT_EQ(rows[i].finished, i != 1);
    }

    // The results for the front end, written when the screen comes on: every entry the career reads.
    end.setGameEndInited(0);
    end.setGameEndInited(1);
    const int pos[7] = {2, 4, 1, 3, 5, 6, 7};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(gameOptions.sInfo[i].riderPos, pos[i]) << i;
        EXPECT_EQ(gameOptions.sInfo[i].isHuman, i < 2 ? 1 : 0) << i;
    }

    // Against the clock everyone stops together: each rider's own clock is its time.
    gameOptions.timeOrLap = 0;
    ASSERT_EQ(end.resultRows(rows, 8), 4);
    EXPECT_STREQ(rows[1].time, "1.20.00");
    EXPECT_STREQ(rows[1].gap, "/ 0.14.50");
}

// The race sorts positions every 15 frames; the last sort before the finish caught the winner after
// its way time wrapped at the line but before its lap counted, last of the field. The career must still
// score it as the winner.
TEST_F(StartAndEndTest, AWinnerCaughtAtTheLineByTheLastSortScoresFirstPlace) {
    gameOptions.timeOrLap = 1;
    gameOptions.duration = 1;
    gameOptions.numCPURacers = 3;
    CQzGame::numOfHumanRacers = 1;
    Add(new CGameEndObj(-1));
    CGameEnd end(nullptr, nullptr, ids, static_cast<int>(CModel::modelPtr->objects.size()) - 1, -1);
    int32_t who[8] = {}, hud[2] = {-1, -1};
    C3DView* views[2] = {view, nullptr};
    RaceEndParts parts{&end, &gameOptions, 1, CQzGame::bike, ids, who, views, hud, -1, nullptr};
    CStats::racerCount = 4;
    for (int i = 0; i < 4; ++i) CStats::racePositions[i] = &bikes[i]->bikeStats;
    for (int i = 1; i < 4; ++i) {
        bikes[i]->laps.currentCheckPoint = 5;
        bikes[i]->laps.curWayTime = 30000.0f + 100.0f * static_cast<float>(i);
    }
    bikes[0]->laps.currentCheckPoint = 0;  // over the line: checkpoints and way time start again
    bikes[0]->laps.curWayTime = 20.0f;
    CStats::updateRacePosition();
    ASSERT_EQ(bikes[0]->bikeStats.getRacePosition(), 4);

    // The lap counts in the same frame the race ends for the player.
    bikes[0]->bikeStats.raceTime = 41.0f;
    bikes[0]->setCurLap(1);
    ASSERT_EQ(bikes[0]->bikeStats.finishTime, 41.0f);
    CheckGameOver(parts);
    ASSERT_EQ(end.getGameEndInited(), 1u);
    EXPECT_EQ(gameOptions.sInfo[0].riderPos, 1);
    EXPECT_EQ(gameOptions.sInfo[1].riderPos, 4) << "the computer riders in their order on the course";
    EXPECT_EQ(gameOptions.sInfo[3].riderPos, 2);

    CareerData career;
    career.reset();
    career.currentseries = 0;
    career.currentrace[0] = 1;
    career.numraces[0] = 3;
    unsigned char inCareer = 1;
    gameOptions.gameEndState = GAME_END_RACE_FINISHED;
    Career_ScoreRace(career, gameOptions, inCareer);
    EXPECT_EQ(career.player[0].points[0], CareerPointsForPlace(1));
    EXPECT_EQ(career.player[3].points[0], CareerPointsForPlace(2));
}

// A freestyle run is ridden alone and ranked in the HUD's table against seven rivals. The career scores
// the place the results show: last of the table scores nothing and the rivals' points take the series;
// a score above every rival is first place, even before the HUD's own table (which moves the player's
// row only between its sliding displays) has caught up, and wins the series.
TEST_F(StartAndEndTest, AFreestyleCareerRunScoresThePlaceItsResultsShow) {
    gameOptions.trackType = TRACKTYPE_FREESTYLE;
    gameOptions.timeOrLap = 0;
    gameOptions.duration = 60;
    gameOptions.numCPURacers = 0;
    gameOptions.isCareer = 1;
    CQzGame::numOfTotalRacers = 1;
    CQzGame::numOfHumanRacers = 1;
    racehooks::Install();  // the results read the HUD's table through the race's hook
    struct Cleared {
        ~Cleared() { racehooks::Clear(); }
    } cleared;
    auto* hudModel = new CHudModel(0);
    const int hudId = Add(hudModel);
    // The rivals, best first; the first surname in the HUD's list sits third.
    const int kRivals[7] = {5, 3, 0, 6, 1, 4, 2};  // surname index of rows 0..6
    for (const int playerScore : {600, 12000}) {
        SCOPED_TRACE(playerScore);
        for (int r = 0; r < 7; ++r) {
            std::snprintf(hudModel->_freeStyleRankNames[r], 20, "%s", CHud::kRivalNames[kRivals[r]]);
            hudModel->_freeStyleRankScores[r] = 9000 - 900 * r;
        }
        std::snprintf(hudModel->_freeStyleRankNames[7], 20, "%s", bikes[0]->playerName);
        hudModel->_freeStyleRankScores[7] = playerScore;
        hudModel->_freeStylePlayerPos = 7;
        for (_SeriesInfo& s : gameOptions.sInfo) s.riderPos = 1;

        Add(new CGameEndObj(-1));
        CGameEnd end(nullptr, nullptr, ids, static_cast<int>(CModel::modelPtr->objects.size()) - 1, hudId);
        int32_t who[8] = {}, hud[2] = {hudId, -1};
        C3DView* views[2] = {view, nullptr};
        RaceEndParts parts{&end, &gameOptions, 1, CQzGame::bike, ids, who, views, hud, -1, nullptr};
        bikes[0]->isCPU = 0;
        bikes[0]->bikeStats.raceTime = 60.0f;
        CheckGameOver(parts);
        ASSERT_EQ(end.getGameEndInited(), 1u);

        // The table the results draw: the player's row where its score belongs.
        const bool first = playerScore > 9000;
        FreestyleRanking shown;
        ASSERT_TRUE(end.freestyleTable(shown));
        EXPECT_EQ(shown.playerPos, first ? 0 : 7);
        EXPECT_STREQ(shown.names[shown.playerPos], bikes[0]->playerName);
        for (int r = 1; r < 8; ++r) EXPECT_GE(shown.scores[r - 1], shown.scores[r]) << r;
        // The front end's results: the player's place, the rivals' places in their surnames' order.
        EXPECT_EQ(gameOptions.sInfo[0].riderPos, shown.playerPos + 1);
        EXPECT_EQ(gameOptions.sInfo[0].isHuman, 1);
        unsigned placesSeen = 0;
        for (const _SeriesInfo& s : gameOptions.sInfo) placesSeen |= 1u << s.riderPos;
        EXPECT_EQ(placesSeen, 0x1FEu) << "places 1 to 8, each once";
        EXPECT_EQ(gameOptions.sInfo[1].riderPos, first ? 4 : 3) << "the first surname";
        EXPECT_EQ(gameOptions.sInfo[7].riderPos, first ? 5 : 4) << "the last surname";

        // The series' last race scored by the career.
        CareerData career;
        const char* const roster[8] = {"Me", "P1", "P2", "P3", "P4", "P5", "P6", "P7"};
        Career_ChooseSeries(career, 9, roster);
        career.currentrace[9] = career.numraces[9];
        unsigned char inCareer = 1;
        gameOptions.gameEndState = GAME_END_RACE_FINISHED;
        testsupport::LogCapture log;
        EXPECT_EQ(Career_ScoreRace(career, gameOptions, inCareer), kScreenCareerSeriesChoice);
        EXPECT_TRUE(log.has(first ? "Awarded -player 0-14 points for coming in place 1.\n"
                                  : "Awarded -player 0-0 points for coming in place 8.\n"));
        EXPECT_EQ(log.has("You have failed to win this series.\n"), !first);
        EXPECT_EQ(career.status[9], first ? 1 : 0);
        EXPECT_EQ(career.status[10], first ? 0 : -1);
        EXPECT_EQ(career.abilitypoints, first ? 1 : 0);
    }
}

// The lap that finishes the race is counted after the frame's bike updates, and the same frame hands
// the players' bikes to the computer, whose records are no longer updated: the finish-in-time bonus is
// judged at the hand-over, on the finish time.
TEST_F(StartAndEndTest, TheFinishInTimeBonusIsJudgedAtTheFinish) {
    gameOptions.timeOrLap = 1;
    gameOptions.duration = 1;
    CStats::numLaps = 1;
    CTrackBonus::numTrackBonuses = 0;
    CTrackBonus::addTrackBonusAward(STAT_FASTEST_RACE, 41.5f, "Finish in under 41.5 seconds", "Fast!");
    CGameEnd end(nullptr, nullptr, ids, -1, -1);
    int32_t who[8] = {};
    C3DView* views[2] = {view, nullptr};
    RaceEndParts parts{&end, &gameOptions, 2, CQzGame::bike, ids, who, views, nullptr, -1, nullptr};
    bikes[0]->bikeStats.raceTime = 41.4f;
    bikes[0]->setCurLap(1);
    ASSERT_EQ(bikes[0]->bikeStats.raceCompleted, 1);
    // The second player is still on its lap, under the time but not finished.
    bikes[1]->bikeStats.raceTime = 41.45f;
    globalTime = 41.45f;
    CheckGameOver(parts);
    ASSERT_EQ(bikes[0]->isCPU, 1);
    EXPECT_EQ(bikes[0]->trackBonus.awardRecieved, 1u << STAT_FASTEST_RACE);
    EXPECT_EQ(bikes[0]->trackBonus.currentBonusAwarded, 0);
    EXPECT_EQ(bikes[1]->trackBonus.awardRecieved, 0u);
    CStats::numLaps = 0;
}

TEST_F(StartAndEndTest, TimeRaceEndsForBothPlayersReachingTheTimeInOneFrame) {
    gameOptions.timeOrLap = 0;
    gameOptions.duration = 180;
    CGameEnd end(nullptr, nullptr, ids, -1, -1);
    int32_t who[8] = {};
    C3DView* views[2] = {view, nullptr};
    const int ownCamera = view->_cameraID;
    RaceEndParts parts{&end, &gameOptions, 2, CQzGame::bike, ids, who, views, nullptr, -1, nullptr};
    for (float t : {179.99f, 180.0f}) {
        bikes[0]->bikeStats.raceTime = bikes[1]->bikeStats.raceTime = t;
        CheckGameOver(parts);
    }
    EXPECT_EQ(who[0] + who[1], 4) << "both handed to the computer";
    EXPECT_EQ(bikes[1]->isCPU, 1);
    EXPECT_EQ(view->_cameraID, ownCamera) << "no track camera: the player's own camera stays";
}

}  // namespace
