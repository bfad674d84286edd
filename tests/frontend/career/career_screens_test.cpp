// The career, trophy-case and settings screens on the sample disc's screen
// resource, driven by screen messages: the series grid, the rider's skills, the
// name keyboard and slots, the trophy case, and the options, audio and
// controller screens.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/main_loop.h"
#include "audio/audio_memory_manager.h"
#include "audio/sound_view.h"
#include "console/cd/cd.h"
#include "console/iop/iop.h"
#include "console/kernel/clock.h"
#include "console/spu/spu.h"
#include "engine/font/font.h"
#include "engine/hal/engine_fixture.h"
#include "engine/hal/sound.h"
#include "engine/sys/boot.h"
#include "engine/sys/heap.h"
#include "frontend/screens/career_ui.h"
#include "frontend/screens/frontend.h"
#include "frontend/sm/sm_resource.h"
#include "mkdisc/frontend_screens.h"
#include "support/heap_image.h"
#include "support/log_capture.h"

// The front end's music view (frontend/screens/fe_music.cpp).
CSoundView* FE_MakeMusicView(CAudioMemoryManager** memoryManager);

namespace {

struct NoMemory : CAudioMemoryManager {
    void processRequests() override {}
    void cleanupRequests() override {}
};
// The menu-music view as the audio screen sees it: the last volumes it was
// given.
struct MusicProbe : CSoundView {
    explicit MusicProbe(CAudioMemoryManager& m) : CSoundView(m) {}
    void setPlaylist(int, char**) override {}
    void playlistSkip(int) override {}
    void playlistSetSong(int) override {}
    void setVolume(float m, float e) override { music = m, effects = e; }
    void pauseMusic(bool) override {}
    void stopSFX(bool) override {}
    float music = -1, effects = -1;
};

// Screens of the career and settings; the main menu and others have no
// procedure here.
SM_PROC Finder(int screen) {
    return FE_CareerScreenProc(screen);
}

class CareerScreens : public enginetest::EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        ASSERT_TRUE(console::CdMount(QZ_DISC_DIR));
        int len = 0;
        void* data = x_LoadFileLength("frontend\\FE_game.exp", &len);
        ASSERT_NE(data, nullptr);
        image_.assign(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + len);
        x_free(data);
        SM_InstallResourceBackend();
        SM_InitSystem(255, Finder);
        SM_PrepSetResourcePreload(-1);
        ASSERT_EQ(SM_InitResourcePtr(image_.data(), image_.size(), 0, nullptr), 1);
        for (CareerData& c : CareerFile) c.reset();
        cfc = 0;
        GO = &options_;
        options_.numCPURacers = 7;
        PS2MusicPlay = &music_;
        BootSettings();
    }
    // The settings screens' values and cursors as the program starts.
    static void BootSettings() {
        const int8_t audio[5] = {10, 8, 8, 2, 1};
        std::memcpy(Audio_ItemCurrent, audio, sizeof audio);
        modenum_audiocfg = modenum_optionsmenu = modenum_cfg = 0;
        Control_ItemCurrent[0] = Control_ItemCurrent[1] = preset[0] = preset[1] = 0;
        engine::masterVolume = 1.0f;
    }
    void TearDown() override {
        PS2MusicPlay = nullptr;
        GO = nullptr;
        BootSettings();
        SM_KillSystem();
        SM_KillResource();
        console::CdUnmount();
        EngineTest::TearDown();
    }
    static void Send(int32_t msg) { SM_SendMessage(SM_GetCurScreen(), msg, 0, 0, 0); }
    static void Send(std::initializer_list<int32_t> msgs) {
        for (int32_t m : msgs) Send(m);
    }
    static bool Shown(int id) {
        const _smdlhdr* n = SM_FindControlByID(id);
        return n && n->Alpha != 0;
    }
    static int Pairs(int pair) { return fe_pairsPlayed[pair]; }

    std::vector<uint8_t> image_;
    CGameOptions options_{};
    NoMemory memory_;
    MusicProbe music_{memory_};
};

TEST_F(CareerScreens, SeriesGridFollowsLocksAndPlacesTheBox) {
    SM_ScreenLink(7);
    const _smdlhdr* box = SM_FindControlByID(300);
    ASSERT_NE(box, nullptr);
    const int x0 = box->x, y0 = box->y;
    const int errors = Pairs(FE_ERROR);
    // A new career: Right is refused by the lock, Down walks the first column,
    // then the exit item.
    Send({SM_MSG_RIGHT, SM_MSG_DOWN, SM_MSG_DOWN, SM_MSG_RIGHT, SM_MSG_CANCEL});
    EXPECT_EQ(currentsel, 6);
    EXPECT_EQ(Pairs(FE_ERROR), errors + 1);
    SM_SendMessage(7, SM_MSG_RENDER, 1, 0, 0);
    EXPECT_EQ(box->x, x0);
    EXPECT_EQ(box->y, y0 + 74);
    Send({SM_MSG_DOWN, SM_MSG_DOWN});
    EXPECT_EQ(cscy, 4);
    EXPECT_FALSE(Shown(300));
    // With series 6 won, series 7 opens to the right.
    CareerFile[0].status[6] = 1;
    CareerFile[0].status[7] = 0;
    SM_ScreenLink(7);
    EXPECT_TRUE(Shown(286) && Shown(276) && !Shown(265));
    Send({SM_MSG_DOWN, SM_MSG_DOWN, SM_MSG_RIGHT});
    SM_SendMessage(7, SM_MSG_RENDER, 1, 0, 0);
    EXPECT_EQ(currentsel, 7);
    EXPECT_EQ(box->x, x0 + 102);
    Send(SM_MSG_ACCEPT);
    EXPECT_EQ(SM_GetCurScreen(), 6);
    EXPECT_EQ(CareerFile[0].currentseries, 7);
    EXPECT_STREQ(CareerFile[0].player[0].name, fe_roster[0]);
}

TEST_F(CareerScreens, RiderViewSpendsPointsOnlyOnAccept) {
    CareerData& c = CareerFile[0];
    c.currentseries = 0;
    SM_ScreenLink(6);
    SM_ScreenLink(5);
    // No points: Up/Down and Right do nothing.
    Send({SM_MSG_DOWN, SM_MSG_RIGHT});
    EXPECT_EQ(careerRiderView, 0);
    EXPECT_TRUE(Shown(177));
    // Three points (and more than the 12 the screen can show: its last picture
    // stays up).
    c.abilitypoints = 15;
    SM_ScreenLink(5);
    EXPECT_TRUE(Shown(201));
    c.abilitypoints = 3;
    SM_ScreenLink(5);
    Send({SM_MSG_RIGHT, SM_MSG_RIGHT, SM_MSG_DOWN, SM_MSG_RIGHT, SM_MSG_CANCEL});
    EXPECT_EQ(c.Jumping, 1);
    EXPECT_EQ(c.abilitypoints, 3);
    SM_ScreenLink(5);
    Send({SM_MSG_RIGHT, SM_MSG_RIGHT, SM_MSG_LEFT, SM_MSG_DOWN, SM_MSG_DOWN, SM_MSG_DOWN, SM_MSG_RIGHT});
    EXPECT_TRUE(Shown(123) && !Shown(121) && Shown(165) && Shown(179));
    Send(SM_MSG_ACCEPT);
    EXPECT_EQ(c.Jumping, 2);
    EXPECT_EQ(c.Stunt, 2);
    EXPECT_EQ(c.abilitypoints, 1);
    EXPECT_EQ(SM_GetCurScreen(), 6);
}

TEST_F(CareerScreens, KeyboardNamesTheSlotWithDoneAndBackspace) {
    auto press = [](int key) {
        SM_SwitchControlFocus(key);
        Send(SM_MSG_ACCEPT);
    };
    constexpr int kA = 373, kB = 375, kBackspace = 453, kDone = 455;
    CareerFile[0].used = 1;
    std::strcpy(CareerFile[0].savename, "OLD");
    SM_ScreenLink(9);
    EXPECT_EQ(CareerFile[0].used,
              0);  // entering the keyboard starts the slot afresh
    press(kDone);
    EXPECT_EQ(SM_GetCurScreen(), 9);
    press(kA);
    press(kBackspace);
    EXPECT_STREQ(careerfilename, " ");
    press(kDone);
    EXPECT_EQ(SM_GetCurScreen(), 9);
    for (int i = 0; i < 20; ++i) press(i % 2 ? kA : kB);
    EXPECT_EQ(countch, 15);
    EXPECT_STREQ(careerfilename, "BABABABABABABAB");
    Send(SM_MSG_CIRCLE);
    press(kDone);
    EXPECT_EQ(SM_GetCurScreen(), 8);
    EXPECT_EQ(CareerFile[0].used, 1);
    EXPECT_STREQ(CareerFile[0].savename, "BABABABABABABA");

    // Slot screen: Circle on the fifth item deletes nothing; on a slot it resets
    // it.
    SM_ScreenLink(11);
    careerfilechosen = 0;
    for (int i = 0; i < 6; ++i) Send(SM_MSG_DOWN);
    EXPECT_EQ(careerfilechosen, 4);
    Send({SM_MSG_CIRCLE, SM_MSG_ACCEPT});
    EXPECT_EQ(CareerFile[0].used, 1);
    EXPECT_EQ(SM_GetCurScreen(), 11);
    for (int i = 0; i < 4; ++i) Send(SM_MSG_UP);
    Send(SM_MSG_ACCEPT);
    EXPECT_EQ(SM_GetCurScreen(), 7);  // a used slot goes on to its series
}

TEST_F(CareerScreens, TrophyCaseLightsSeriesWonInAnySlot) {
    SM_ScreenLink(12);
    for (int id : {518, 519, 520, 521, 523, 524, 525, 526, 528, 529, 530, 531, 539, 540})
        EXPECT_FALSE(Shown(id));
    CareerFile[1].status[0] = 1;
    CareerFile[5].status[3] = 1;
    SM_ScreenLink(12);
    EXPECT_TRUE(Shown(520) && Shown(518));
    EXPECT_FALSE(Shown(525) || Shown(539));
    for (int s = 0; s < kCareerSeries; ++s) CareerFile[s % 8].status[s] = 1;
    SM_ScreenLink(12);
    EXPECT_TRUE(Shown(539));
}

TEST_F(CareerScreens, AudioSettingsShowAndSetVolumes) {
    SM_ScreenLink(18);
    for (int id : {673, 695, 721, 735, 759}) EXPECT_TRUE(Shown(id)) << id;
    EXPECT_FALSE(Shown(671));
    const int moves = Pairs(FE_MOVE), selects = Pairs(FE_SELECT);
    engine::masterVolume = 0.3f;
    Send({SM_MSG_UP, SM_MSG_RIGHT});
    EXPECT_EQ(Pairs(FE_MOVE), moves);
    EXPECT_EQ(Audio_ItemCurrent[0], 10);
    EXPECT_FLOAT_EQ(engine::masterVolume, 1.0f);
    EXPECT_EQ(Pairs(FE_SELECT), selects + 1);
    modenum_audiocfg = 3;
    Send(SM_MSG_LEFT);
    EXPECT_TRUE(Shown(733) && !Shown(735));
    EXPECT_FLOAT_EQ(music_.music, 0.1f);
    EXPECT_FLOAT_EQ(music_.effects, 0.8f);
    modenum_audiocfg = 0;
    Send({SM_MSG_LEFT, SM_MSG_LEFT});
    EXPECT_FLOAT_EQ(engine::masterVolume, 0.8f);
    Send(SM_MSG_ACCEPT);
    EXPECT_EQ(SM_GetCurScreen(), 20);
}

// With the sound engine, the front end's own music view and the I/O processor's audio module: the
// select sound a step of the effects row plays is heard at that step's volume.
TEST_F(CareerScreens, EffectsVolumeScalesTheHeardSelectSound) {
    console::IopReset();
    ASSERT_EQ(x_HardwareBootSystem(), 0);
    veSoundSetMaxSamples(12);
    ASSERT_EQ(veSoundInit(), 0);
    for (int side = 0; side < 2; ++side) {
        int len = 0;
        auto* file = static_cast<uint8_t*>(
            x_LoadFileLength(side ? "FRONTEND\\SOUND\\select_r.snd" : "FRONTEND\\SOUND\\select_l.snd", &len));
        ASSERT_NE(file, nullptr);
        SampleHandles[2 * FE_SELECT + side] =
            veSoundCreateSampleFromPointer(file, file + 64, kSampleStorageSoundRam, 0);
        x_free(file);
    }
    PanLeft = _Pan5Dot1{-1.0f, 0.0f, 1.0f, 1.0f, 1.0f};  // as the front end opens
    PanRight = _Pan5Dot1{1.0f, 0.0f, 1.0f, 1.0f, 0.0f};
    CAudioMemoryManager* amm = nullptr;
    PS2MusicPlay = FE_MakeMusicView(&amm);
    static std::vector<int16_t> heard;
    console::SpuSetSink([](const int16_t* s, int n, void*) { heard.insert(heard.end(), s, s + 2 * n); },
                        nullptr);
    SM_ScreenLink(18);
    modenum_audiocfg = 1;
    Audio_ItemCurrent[3] = 0;
    auto rms = [](int effects, int32_t step) {  // the select sound played by a step onto `effects`
        Audio_ItemCurrent[1] = static_cast<int8_t>(effects - step);
        heard.clear();
        Send(step > 0 ? SM_MSG_RIGHT : SM_MSG_LEFT);
        for (int f = 0; f < 30; ++f) {
            veSoundMaintenance();
            console::ClockTickVblank();
            console::SpuCatchUp();
        }
        double e = 0;
        for (int16_t v : heard) e += double(v) * v;
        return std::sqrt(e / double(heard.size() + 1));
    };
    const double full = rms(10, 1), low = rms(3, -1);
    std::printf("select sound: rms %.1f at effects 1.0, %.1f at 0.3\n", full, low);
    EXPECT_GT(full, 100.0);
    EXPECT_NEAR(low / full, 0.3, 0.005);
    console::SpuSetSink(nullptr, nullptr);
    delete amm;
    delete PS2MusicPlay;
    for (_Sample*& h : SampleHandles) {
        if (h) veSoundDestroySample(h, 1);
        h = nullptr;
    }
    veSoundReset();
}

// The master row scales the menu music as heard (the music stream through the audio module), not only
// the front end's own sounds: music 10 at master 10, 5 and 0.
TEST_F(CareerScreens, MasterVolumeScalesTheHeardMenuMusic) {
    console::IopReset();
    ASSERT_EQ(x_HardwareBootSystem(), 0);
    ASSERT_EQ(veSoundInit(), 0);
    CAudioMemoryManager* amm = nullptr;
    PS2MusicPlay = FE_MakeMusicView(&amm);
    static std::vector<int16_t> heard;
    console::SpuSetSink([](const int16_t* s, int n, void*) { heard.insert(heard.end(), s, s + 2 * n); },
                        nullptr);
    SM_ScreenLink(18);
    Audio_ItemCurrent[3] = 10;
    auto rms = [](int master) {  // a step of the master row onto `master`, then the tune's first second
        modenum_audiocfg = 0;
        Audio_ItemCurrent[0] = static_cast<int8_t>(master == 10 ? 9 : master + 1);
        Send(master == 10 ? SM_MSG_RIGHT : SM_MSG_LEFT);
        FE_PlayStream(0);
        heard.clear();
        for (int f = 0; f < 60; ++f) {
            veSoundMaintenance();
            console::ClockTickVblank();
            console::SpuCatchUp();
        }
        double e = 0;
        for (int16_t v : heard) e += double(v) * v;
        return std::sqrt(e / double(heard.size() + 1));
    };
    const double full = rms(10), half = rms(5), none = rms(0);
    std::printf("menu music: rms %.1f at master 10, %.1f at 5, %.1f at 0\n", full, half, none);
    EXPECT_GT(full, 100.0);
    EXPECT_NEAR(half / full, 0.5, 0.05);
    EXPECT_LT(none, 1.0);
    console::SpuSetSink(nullptr, nullptr);
    delete amm;
    delete PS2MusicPlay;
    veSoundReset();
}

TEST_F(CareerScreens, ControllerPresetsAndOptionsMenu) {
    SM_ScreenLink(20);
    SM_ScreenLink(19);
    EXPECT_TRUE(Shown(767) && Shown(773) && Shown(774) && Shown(781) && !Shown(784));
    Send({SM_MSG_RIGHT, SM_MSG_DOWN});
    EXPECT_TRUE(Shown(803) && Shown(804) && Shown(811) && !Shown(774));
    Send(SM_MSG_CANCEL);
    EXPECT_EQ(preset[0], 0);
    EXPECT_EQ(preset[1], 0);
    SM_ScreenLink(19);
    EXPECT_TRUE(Shown(773) && Shown(774) && !Shown(803));  // player 1's preset: the cancelled D not kept
    Send({SM_MSG_DOWN, SM_MSG_ACCEPT});                    // preset A -> D, for player 1
    EXPECT_EQ(preset[0], 3);
    EXPECT_EQ(preset[1], 0);
    // Player 2 on the player row shows player 2's preset; the preset row then changes player 2's.
    SM_ScreenLink(19);
    Send({SM_MSG_LEFT, SM_MSG_UP});
    EXPECT_TRUE(Shown(769) && !Shown(767) && Shown(773) && Shown(774) && !Shown(804));
    Send({SM_MSG_RIGHT, SM_MSG_UP, SM_MSG_UP});
    EXPECT_TRUE(Shown(793) && Shown(794));
    Send({SM_MSG_LEFT, SM_MSG_UP});
    EXPECT_TRUE(Shown(767) && Shown(803) && Shown(804));  // back to player 1: D
    Send(SM_MSG_ACCEPT);
    EXPECT_EQ(preset[0], 3);
    EXPECT_EQ(preset[1], 2);
    SM_ScreenLink(20);
    EXPECT_EQ(SM_GetCurScreen(), 20);
    EXPECT_EQ(modenum_optionsmenu, 0);
    EXPECT_EQ(SM_FindControlByID(854)->x, -210);  // the rows fly in again
    testsupport::LogCapture log;
    const int accepts = Pairs(FE_ACCEPT);
    Send({SM_MSG_DOWN, SM_MSG_DOWN, SM_MSG_ACCEPT, SM_MSG_DOWN, SM_MSG_ACCEPT});
    EXPECT_EQ(Pairs(FE_ACCEPT), accepts + 2);
    EXPECT_EQ(SM_GetCurScreen(), 20);
    EXPECT_EQ(log.count("Saving Career and Trophy Files.\n"), 1);
}

// The sample disc's words beside what the screens print and show over them, measured with the fonts
// they are drawn in: the standings' "RACE" and "OF" around the two numbers of every count of races, on
// their line; the series grid's race counts clear of the lock and won marks, all inside the cell.
TEST_F(CareerScreens, CareerWordsStayClearOfNumbersAndMarks) {
    const FrontEndDesign d = DesignFrontEnd();
    testsupport::HeapImage hintImage(d.fonts.at(kFeHint).file);
    _font* hint = veFontCreateFromPointer("hint", hintImage.as<_font_data>(), hintImage.size, 0, 0);
    _font* printed = veFontCreateFromFile("frontend\\uni18.fnt");  // the standings print with it
    ASSERT_TRUE(hint && printed);
    auto text = [&](const FeNode& n) { return d.strings.at(size_t(n.string)); };
    auto width = [](_font* f, const std::string& s) { return int(veFontGetStrWidth(f, s.c_str())); };

    const FeNode *race = nullptr, *of = nullptr;
    for (const FeNode& n : d.screens.at(3).children)
        if (n.type == 4 && text(n) == "RACE")
            race = &n;
        else if (n.type == 4 && text(n) == "OF")
            of = &n;
    ASSERT_TRUE(race && of);
    EXPECT_EQ(race->y, careerui::kStandingsRaceY);
    EXPECT_EQ(of->y, careerui::kStandingsRaceY);
    constexpr int kAir = 8;
    EXPECT_LE(race->x + width(hint, "RACE") + kAir, careerui::kStandingsRaceX);
    for (int races = 1; races <= 8; ++races)
        for (int r = 1; r <= races; ++r) {
            char line[32];
            std::snprintf(line, sizeof line, careerui::kStandingsRaceFormat, r, races);
            const int firstEnd = careerui::kStandingsRaceX + width(printed, std::to_string(r));
            const int secondStart =
                careerui::kStandingsRaceX + width(printed, line) - width(printed, std::to_string(races));
            EXPECT_GE(of->x, firstEnd + kAir) << line;
            EXPECT_LE(of->x + width(hint, "OF") + kAir, secondStart) << line;
        }

    // Each lock and won mark sits in a cell of the grid, right of that cell's race count.
    const std::vector<FeNode>& grid = d.screens.at(7).children;
    int marks = 0;
    for (const FeNode& mark : grid) {
        if (mark.type != 3 || mark.id < 265 || mark.id > 297) continue;
        ++marks;
        const FeNode *cell = nullptr, *count = nullptr;
        for (const FeNode& n : grid)
            if (n.type == 6 && n.x <= mark.x && mark.x < n.x + n.w && n.y <= mark.y && mark.y < n.y + n.h &&
                (!cell || n.w * n.h < cell->w * cell->h))
                cell = &n;
        ASSERT_NE(cell, nullptr) << mark.id;
        for (const FeNode& n : grid)
            if (n.type == 4 && cell->x <= n.x && n.x < cell->x + cell->w && cell->y <= n.y &&
                n.y < cell->y + cell->h)
                count = &n;
        ASSERT_NE(count, nullptr) << mark.id;
        EXPECT_NE(text(*count).find("RACES"), std::string::npos) << text(*count);
        EXPECT_LT(count->x + width(hint, text(*count)), mark.x) << mark.id << " on " << text(*count);
        EXPECT_LE(mark.x + mark.w, cell->x + cell->w) << mark.id;
        EXPECT_LE(mark.y + mark.h, cell->y + cell->h) << mark.id;
        EXPECT_GE(mark.y, cell->y) << mark.id;
    }
    EXPECT_EQ(marks, 24);
    veFontDestroy(printed);
    veFontDestroy(hint);
}

}  // namespace
