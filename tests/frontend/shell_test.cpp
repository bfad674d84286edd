// The front-end shell over the sample disc's screens, driven by the pad through the input queue and the
// event translator: the road from the title to a race for one and two players, the menus' and set-up
// screens' rules, the choice, loading, title, credits and practice screens, and the attract loop.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/main_loop.h"
#include "console/cd/cd.h"
#include "console/gs/gs_device.h"
#include "console/iop/audio_module.h"
#include "console/iop/iop.h"
#include "console/pad/pad.h"
#include "engine/hal/engine_fixture.h"
#include "engine/hal/sound.h"
#include "engine/sys/boot.h"
#include "frontend/screens/frontend.h"
#include "frontend/sm/sm_core.h"
#include "frontend/sm/sm_input.h"
#include "frontend/sm/sm_types.h"
#include "mkdisc/frontend_screens.h"
#include "race/demo_loop.h"

namespace {

// Pad bits as the translator reads them.
enum : uint32_t {
    kCancel = 1u << 4,
    kAccept = 1u << 6,
    kStart = 1u << 11,
    kUp = 1u << 12,
    kRight = 1u << 13,
    kDown = 1u << 14,
    kLeft = 1u << 15,
};
uint32_t g_pad = 0;
const INPUT_PadSource kPad{[] { return 1u; }, [](int pad) { return pad == 0 ? g_pad : 0u; },
                           [](int, int) -> int8_t { return 0; }};

class Shell : public enginetest::EngineTest {
protected:
    void SetUp() override {
        // The disc's driver modules loaded as the boot loads them: the pad library binds pad 1 (the main
        // menu asks it whether a second pad is plugged in).
        ASSERT_TRUE(console::CdMount(QZ_DISC_DIR));
        console::PadReset();
        console::IopReset();
        ASSERT_EQ(x_HardwareBootSystem(), 0);
        EngineTest::SetUp();
        INPUT_SetPadSource(&kPad);
        options_ = CGameOptions();
        std::strcpy(options_.WorldFile, "untouched");
        DLManager.setDemoLoopState(DL_DISABLED);
        inCareer = 0;
        g_pad = 0;
        ResetCursors();
    }
    // Boot values of every cursor.
    static void ResetCursors() {
        for (int8_t* c : {&modenum_mm, &modenum_diffiulty, &modenum_modeselect, &modenum_OUTDOORscreen,
                          &modenum_indoorscreen, &modenum_bajascreen, &modenum_freescreen, &R1_ItemCurrent,
                          &R2_ItemCurrent, &Practice_ItemCurrent})
            *c = 0;
        for (int r = 0; r < 4; ++r) Outdoor_ItemCurrent[r] = Indoor_ItemCurrent[r] = Baja_ItemCurrent[r] = 0;
        Free_ItemCurrent[0] = Free_ItemCurrent[1] = 0;
    }
    void TearDown() override {
        delete fe_;
        INPUT_SetPadSource(nullptr);
        console::CdUnmount();
        EngineTest::TearDown();
    }
    void Open(int screen) {
        fe_ = new CFrontend(&options_, screen);
        Frame();
    }
    void Close() {
        delete fe_;
        fe_ = nullptr;
    }
    void Frame() {
        fe_->update();
        fe_->update();
    }
    // Presses and releases each button in turn (a press, then a frame with nothing held).
    void Press(std::initializer_list<uint32_t> buttons) {
        for (uint32_t b : buttons) {
            g_pad = b;
            fe_->update();
            g_pad = 0;
            Frame();
        }
    }
    static int Played() {
        int n = 0;
        for (int p : fe_pairsPlayed) n += p;
        return n;
    }
    // How many of the controls base + step * k (k < count) are shown.
    static int Shown(int base, int step, int count) {
        int n = 0;
        for (int k = 0; k < count; ++k) {
            _smdlhdr* c = SM_FindControlByID(base + step * k);
            n += c && c->Alpha == 255;
        }
        return n;
    }
    CGameOptions options_;
    CFrontend* fe_ = nullptr;
};

// From the title through every choice to the loading screen; the options are what the choices imply.
TEST_F(Shell, PadScriptReachesARaceWithTheOptionsTheChoicesImply) {
    struct Road {
        int players;
        std::vector<uint32_t> presses;
        const char* world;
        int trackType, difficulty, duration, cpuRiders, catchUp, rider0, bike0, rider1, bike1;
    };
    const Road roads[] = {
        // 1 player, pro, outdoor, track 9, 10 laps, computer riders off, catch-up on, rider 2, bike 1.
        {1,
         {kStart, kAccept, kDown,  kAccept, kDown,  kDown,   kAccept, kLeft,  kLeft,   kDown,  kRight, kRight,
          kRight, kDown,   kRight, kDown,   kRight, kAccept, kRight,  kRight, kAccept, kRight, kAccept},
         "o09.bin",
         2,
         1,
         10,
         0,
         1,
         2,
         1,
         -1,
         -1},
        // 2 players, expert, indoor on the track it opens on (track 2: track 1 is closed), 3 laps; the
        // second pad's rider 1 and bike 9.
        {2,
         {kStart, kDown, kAccept, kDown, kDown, kAccept, kDown, kAccept, kAccept, kAccept, kAccept, kRight,
          kAccept, kLeft, kAccept},
         "i02.bin",
         1,
         2,
         3,
         1,
         0,
         0,
         0,
         1,
         9},
    };
    for (const Road& road : roads) {
        SCOPED_TRACE(road.world);
        ResetCursors();
        if (road.players == 2) console::PadSetInput(1, 0, console::PadIdle());  // pad 2 plugged in
        Open(34);
        for (uint32_t b : road.presses) {
            ASSERT_EQ(fe_->Frontend_done, 0) << "ended early on screen " << SM_GetCurScreen();
            Press({b});
        }
        ASSERT_EQ(fe_->Frontend_done, 1) << "stuck on screen " << SM_GetCurScreen();
        EXPECT_EQ(DLManager.getDemoLoopState(), DL_DISABLED);
        Close();
        EXPECT_STREQ(options_.WorldFile, road.world);
        EXPECT_EQ(options_.numHumanPlayers, road.players);
        EXPECT_EQ(options_.trackType, road.trackType);
        EXPECT_EQ(options_.difficulty, road.difficulty);
        EXPECT_EQ(options_.duration, road.duration);
        EXPECT_EQ(options_.cpuRiders, road.cpuRiders);
        EXPECT_EQ(options_.catchUp, road.catchUp);
        EXPECT_EQ(options_.timeOrLap, 1);
        EXPECT_EQ(options_.isCareer, 0);
        EXPECT_EQ(options_.rider[0], road.rider0);
        EXPECT_EQ(options_.bike[0], road.bike0);
        if (road.players == 2) {
            EXPECT_EQ(options_.rider[1], road.rider1);
            EXPECT_EQ(options_.bike[1], road.bike1);
        }
        EXPECT_STREQ(options_.sInfo[0].name(), fe_roster[0]);
    }
}

// The hand-over: laps and times by entry, the computer-rider choice inverted, the world name.
TEST_F(Shell, HandOverMapsDurationsComputerRidersAndWorldName) {
    Open(33);
    struct Row {
        int byLaps, dur, cpu, duration, cpuRiders;
    };
    for (const Row& r :
         {Row{1, 4, 0, 20, 1}, Row{0, 0, 1, 60, 0}, Row{1, 0, 1, 3, 0}, Row{0, 4, 0, 600, 1}}) {
        timeOrLapx = r.byLaps, durx = int8_t(r.dur), cpux = int8_t(r.cpu);
        std::strcpy(fn, "b07xxxxxxxx");
        fe_->setupGameOptions(&options_);
        EXPECT_EQ(options_.duration, r.duration);
        EXPECT_EQ(options_.cpuRiders, r.cpuRiders);
        EXPECT_STREQ(options_.WorldFile, "b07.bin");
    }
    EXPECT_EQ(SMOSScreenFinder(2), nullptr);
    EXPECT_EQ(SMOSScreenFinder(35), nullptr);
}

// Menus: no wrap and no sound at the ends; main-menu Cancel silent; mode entry 4 stays; fly-in lands.
TEST_F(Shell, MenusStopAtTheEndsAndRowsFlyHome) {
    Open(33);
    int before = Played();
    Press({kUp, kCancel});
    EXPECT_EQ(Played(), before);
    EXPECT_EQ(modenum_mm, 0);
    EXPECT_EQ(SM_GetCurScreen(), 33);
    Press({kAccept, kAccept});  // 1 player, difficulty
    ASSERT_EQ(SM_GetCurScreen(), 31);
    Press({kDown, kDown, kDown, kDown});
    before = Played();
    Press({kDown});
    EXPECT_EQ(Played(), before);
    Press({kAccept});
    EXPECT_EQ(trackx, 4);
    EXPECT_EQ(SM_GetCurScreen(), 31);
    // Rows at home after the fly-in; a row 256 px out after a hitch (t = 1) lands too.
    for (int f = 0; f < 20; ++f) Frame();
    for (int i = 0; i < 5; ++i) EXPECT_EQ(modes[i]->x, modesx[i]) << i;
    modes[0]->x = int16_t(modesx[0] - 256);
    modes[1]->x = int16_t(modesx[1] + 300);
    FE_FlyInStep(1.0f, 2, 0);
    EXPECT_EQ(modes[0]->x, modesx[0]);
    EXPECT_EQ(modes[1]->x, modesx[1]);
}

// Set-up: wrap and toggle, one picture; a closed track is refused; the tenth track is world "10";
// freestyle hands over by time.
TEST_F(Shell, SetupScreensWrapAndRecordTheWorldNumber) {
    fn[0] = 'o';
    Open(29);  // outdoor
    Press({kLeft});
    EXPECT_EQ(Outdoor_ItemCurrent[0], 9);
    EXPECT_EQ(Shown(1215, 3, 10), 1);
    EXPECT_EQ(Shown(1214, 3, 10), 1);
    Press({kDown, kDown, kRight, kRight, kRight});
    EXPECT_EQ(Outdoor_ItemCurrent[2], 1);
    EXPECT_EQ(Shown(1215, 3, 10), 1);
    const int errors = fe_pairsPlayed[FE_ERROR];
    Press({kAccept});  // the sample disc has no o10
    EXPECT_EQ(fe_pairsPlayed[FE_ERROR], errors + 1);
    EXPECT_EQ(SM_GetCurScreen(), 29);
    Close();
    fn[0] = 'i';
    Open(30);  // indoor: opens on track 2, the first the disc carries
    EXPECT_EQ(Indoor_ItemCurrent[0], 1);
    Press({kLeft, kLeft, kDown, kDown, kRight, kAccept});
    EXPECT_STREQ(std::string(fn, 3).c_str(), "i10");
    EXPECT_EQ(cpux, 1);
    EXPECT_EQ(SM_GetCurScreen(), 25);
    Close();
    fn[0] = 'f';
    Open(27);  // freestyle
    Press({kDown, kRight, kAccept});
    EXPECT_EQ(timeOrLapx, 0);
    EXPECT_EQ(cpux, 0);
    EXPECT_EQ(catchupx, 0);
    EXPECT_EQ(durx, 1);
}

// Rider and bike choice: one name and picture shown, bikes restart at 0, the player count decides.
TEST_F(Shell, ChoiceScreensShowOneEntryAndLinkByPlayerCount) {
    for (int players : {1, 2}) {
        playerx = int8_t(players);
        R1_ItemCurrent = 0;
        Open(25);
        Press({kLeft});
        EXPECT_EQ(R1_ItemCurrent, 9);
        EXPECT_EQ(Shown(1014, 3, 10) + Shown(1015, 3, 10), 2);
        Press({kAccept, kRight, kRight});
        ASSERT_EQ(SM_GetCurScreen(), 24);
        EXPECT_EQ(Shown(972, 4, 10) + Shown(973, 4, 10) + Shown(974, 4, 10), 3);
        Press({kCancel, kAccept});
        EXPECT_EQ(P1bikechosen, 0);
        inCareer = 1;
        Press({kAccept});
        EXPECT_EQ(SM_GetCurScreen(), players == 1 ? 21 : 23);
        EXPECT_EQ(inCareer, players == 1 ? 0 : 1);
        EXPECT_EQ(fe_->Frontend_done, players == 1 ? 1 : 0);
        Close();
    }
}

// Title fade, credits scroll and stop, credits' buttons outside the attract loop, practice viewer.
TEST_F(Shell, TitleCreditsAndPracticeScreens) {
    Open(34);
    _smdlhdr* root = SM_GetScreen(34);
    ASSERT_NE(root, nullptr);
    EXPECT_LT(root->Alpha, 20);
    for (int f = 0; f < 40; ++f) Frame();
    EXPECT_EQ(root->Alpha, 255);
    Close();

    Open(1);
    DLManager.creditsDone = 0;
    for (int f = 0; f < 1500 && currentendcredit < 16; ++f) Frame();
    for (int f = 0; f < 400; ++f) Frame();
    EXPECT_EQ(currentendcredit, 16);
    EXPECT_EQ(DLManager.creditsDone, 1u);  // "The End" has stopped
    const int back = fe_pairsPlayed[FE_BACK];
    Press({kCancel});
    EXPECT_EQ(SM_GetCurScreen(), 20);
    EXPECT_EQ(fe_pairsPlayed[FE_BACK], back + 1);
    SM_ScreenLink(1);
    Press({kAccept});
    EXPECT_EQ(SM_GetCurScreen(), 33);
    Close();

    Open(26);
    Press({kLeft});
    EXPECT_EQ(Practice_ItemCurrent, 9);
    Press({kRight, kRight});
    EXPECT_EQ(Practice_ItemCurrent, 1);
    EXPECT_EQ(Shown(1049, 3, 10) + Shown(1050, 3, 10), 2);
    const int before = Played();
    Press({kAccept});
    EXPECT_EQ(Played(), before);
    Close();
    Open(26);
    EXPECT_EQ(Shown(1052, 1, 1), 1);  // entry 1's picture again
}

// The credits' hint line says where the buttons lead where the credits stand: in the attract loop X,
// TRIANGLE and START each go back to the title; reached from the options in the same front end, X goes
// to the main menu and TRIANGLE back to the options.
TEST_F(Shell, CreditsHintSaysWhereTheButtonsLead) {
    auto hint = []() -> std::string {
        auto* t = reinterpret_cast<_sm_textnode*>(SM_FindControlByID(kFeCreditsHint));
        return t && t->Hdr.Type == SM_TYPE_TEXT && t->Text ? std::string(Ptr<const char>(t->Text)) : "";
    };
    for (uint32_t button : {kAccept, kCancel, kStart}) {
        DLManager.setDemoLoopState(DL_CREDITS);
        DLManager.creditsDone = 0;
        Open(1);
        EXPECT_EQ(hint(), "X, TRIANGLE OR START  TITLE");
        Press({button});
        EXPECT_EQ(SM_GetCurScreen(), 34) << button;
        EXPECT_EQ(DLManager.getDemoLoopState(), DL_FRONT_END);
        if (button != kStart) Close();
    }
    Press({kStart});  // the title leads to the main menu, which ends the attract loop
    ASSERT_EQ(SM_GetCurScreen(), 33);
    EXPECT_EQ(DLManager.getDemoLoopState(), DL_DISABLED);
    SM_ScreenLink(20);
    SM_ScreenLink(1);
    Frame();
    EXPECT_EQ(hint(), "X MENU   TRIANGLE OPTIONS");
    Press({kCancel});
    EXPECT_EQ(SM_GetCurScreen(), 20);
    SM_ScreenLink(1);
    Frame();
    Press({kAccept});
    EXPECT_EQ(SM_GetCurScreen(), 33);
}

// Idle on the title: the attract race starts after the demo loop's frame count and the options are the
// demo loop's; in the credits state the front end ends once "The End" has stopped.
TEST_F(Shell, IdleFrontEndStartsTheAttractRaceAndTheCreditsEndTheirLoop) {
    DLManager.setDemoLoopState(DL_FRONT_END);
    DLManager.setDLCounter(0);
    Open(34);
    int frames = 2;
    while (!fe_->Frontend_done && frames < 5000) fe_->update(), ++frames;
    EXPECT_EQ(frames, int(CDemoLoopManager::kFrontEndFrames));
    EXPECT_EQ(DLManager.getDemoLoopState(), DL_IN_GAME);
    Close();
    EXPECT_STREQ(options_.WorldFile, "untouched");  // the attract race's options are the demo loop's

    DLManager.setDemoLoopState(DL_CREDITS);
    DLManager.creditsDone = 0;
    Open(1);
    frames = 0;
    while (!fe_->Frontend_done && frames < 5000) fe_->update(), ++frames;
    EXPECT_LT(frames, 5000);
    EXPECT_EQ(DLManager.getDemoLoopState(), DL_IN_GAME);
    DLManager.setDemoLoopState(DL_DISABLED);
}

// The front end's sounds and music with the sound engine running: each front end's twelve samples fit
// in a table of twelve (the last one gave its slots back), a move plays its pair, the main menu plays
// the menu tune and leaving shuts the music down.
TEST_F(Shell, SoundsAndMenuMusicEveryTimeTheFrontEndOpens) {
    console::IopReset();
    ASSERT_EQ(x_HardwareBootSystem(), 0);  // the disc's driver modules, which the sound engine needs
    veSoundSetMaxSamples(12);
    ASSERT_EQ(veSoundInit(), 0);
    for (int visit = 0; visit < 2; ++visit) {
        currentmusic = -1;
        Open(33);
        for (const _Sample* s : SampleHandles) EXPECT_NE(s, nullptr) << "visit " << visit;
        EXPECT_TRUE(console::AmmMusic().playing);
        EXPECT_STREQ(console::AmmMusic().name, "cdrom0:\\AUDIO\\MENUTUNE.STM");
        Press({kDown});
        EXPECT_NE(SampleInstances[0], nullptr);
        EXPECT_NE(SampleInstances[1], nullptr);
        Close();
        EXPECT_FALSE(console::AmmMusic().setUp);
    }
    veSoundReset();
}

// The press that leaves a race (Exit Game, Quit To Main: cross held six frames, still down when the
// front end opens) is not an Accept on the main menu's first frame: the menu stays and stays silent; the
// next press chooses.
TEST_F(Shell, CrossStillHeldFromTheRaceLandsOnTheMainMenu) {
    g_pad = kAccept;
    const int accepts = fe_pairsPlayed[FE_ACCEPT];
    Open(33);
    for (int f = 0; f < 4; ++f) fe_->update();
    g_pad = 0;
    for (int f = 0; f < 10; ++f) Frame();
    EXPECT_EQ(SM_GetCurScreen(), 33);
    EXPECT_EQ(fe_pairsPlayed[FE_ACCEPT], accepts);
    Press({kAccept});
    EXPECT_EQ(SM_GetCurScreen(), 32);
}

// Two players need a second pad: without one the main menu refuses them with the error sound and says
// why under the title until the cursor moves; with pad 2 plugged in they go on to the difficulty.
TEST_F(Shell, TwoPlayersWaitForASecondPad) {
    // Bright pixels of the shown picture in the band between the title and the menu, once the frames
    // drawn so far have reached the screen.
    auto noticePixels = [this] {
        Frame();
        std::vector<uint8_t> rgba(640 * 448 * 4);
        EXPECT_TRUE(console::gs::Gs().ReadDisplay(rgba.data()));
        int n = 0;
        for (int y = 80; y < 100; ++y)
            for (int x = 40; x < 400; ++x) {
                const uint8_t* p = &rgba[size_t(y * 640 + x) * 4];
                n += p[0] > 180 && p[1] > 180 && p[2] > 180;
            }
        return n;
    };
    playerx = 1;
    Open(33);
    Press({kDown});
    EXPECT_EQ(noticePixels(), 0);
    const int errors = fe_pairsPlayed[FE_ERROR];
    Press({kAccept});
    EXPECT_EQ(SM_GetCurScreen(), 33);
    EXPECT_EQ(playerx, 1);
    EXPECT_EQ(fe_pairsPlayed[FE_ERROR], errors + 1);
    EXPECT_GT(noticePixels(), 200);
    Press({kUp});
    EXPECT_EQ(noticePixels(), 0);
    Press({kDown, kAccept});
    EXPECT_GT(noticePixels(), 200);
    console::PadSetInput(1, 0, console::PadIdle());
    for (int f = 0; f < 4; ++f) Frame();
    EXPECT_EQ(noticePixels(), 0) << "pad 2 is in";
    Press({kAccept});
    EXPECT_EQ(SM_GetCurScreen(), 32);
    EXPECT_EQ(playerx, 2);
    EXPECT_EQ(fe_pairsPlayed[FE_ERROR], errors + 2);
}

// Every hint bar fits the screen and names the buttons that work: where it says TRIANGLE leads back,
// triangle leads back to the screen before (the credits to the options); no hint offers O to go back.
TEST_F(Shell, HintBarsNameTheButtonsThatWork) {
    const FrontEndDesign design = DesignFrontEnd();
    Open(33);
    int checked = 0;
    for (int screen = 0; screen < int(design.screens.size()); ++screen) {
        std::string hint;
        for (const FeNode& n : design.screens[size_t(screen)].children)
            if (n.type == 4 && n.font == kFeHint && n.y >= 410) {
                hint = design.strings[size_t(n.string)];
                EXPECT_GE(n.x, 0) << hint;
                EXPECT_LE(n.x + n.w, 640) << hint;
            }
        EXPECT_EQ(hint.find("O BACK"), std::string::npos) << screen << ": " << hint;
        const size_t back = hint.find("TRIANGLE ");
        if (back == std::string::npos) continue;
        const std::string to = hint.substr(back + 9);
        const int before = screen == 1 ? 33 : screen >= 27 && screen <= 30 ? 31 : 33;
        const int expected = to == "OPTIONS" ? 20 : to == "MAIN MENU" ? 33 : before;
        SM_ScreenLink(before);
        SM_ScreenLink(screen);
        ASSERT_EQ(SM_GetCurScreen(), screen);
        Press({kCancel});
        EXPECT_EQ(SM_GetCurScreen(), expected) << screen << ": " << hint;
        ++checked;
    }
    EXPECT_GE(checked, 18);
}

}  // namespace
