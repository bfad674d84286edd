// The sample disc's front-end screens: the resource file passes the loader's check and holds every control
// the screen procedures look up; a headless run links the title screen and the main menu, drives them with
// a pad script through the input queue and the event translator, renders frames and writes them as PNG.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "console/cd/cd.h"
#include "engine/hal/engine_fixture.h"
#include "engine/hal/texture_manager.h"
#include "engine/sys/bitmap.h"
#include "engine/sys/heap.h"
#include "frontend/sm/sm_core.h"
#include "frontend/sm/sm_input.h"
#include "frontend/sm/sm_resource.h"
#include "frontend/sm/sm_resource_format.h"
#include "frontend/sm/sm_translate.h"
#include "host/png_writer.h"
#include "support/temp_dir.h"

namespace {

// Controls looked up by id: per screen, runs of `count` ids from `first` in steps of `step`.
struct IdRun {
    int screen, first, step, count;
};
const IdRun kLookedUp[] = {
    {3, 44, 1, 4},     {4, 73, 4, 10},    {4, 74, 4, 10},    {4, 75, 4, 10},    {5, 115, 1, 1},
    {5, 121, 2, 5},    {5, 135, 2, 5},    {5, 149, 2, 5},    {5, 163, 2, 5},    {5, 177, 2, 13},
    {5, 204, 3, 10},   {5, 205, 3, 10},   {6, 240, 2, 8},    {6, 255, 1, 1},    {6, 1600, 1, 20},
    {7, 265, 1, 6},    {7, 274, 1, 6},    {7, 283, 1, 6},    {7, 292, 1, 6},    {7, 299, 1, 2},
    {8, 335, 3, 10},   {8, 336, 3, 10},   {9, 373, 1, 1},    {12, 518, 5, 3},   {12, 519, 5, 3},
    {12, 520, 5, 3},   {12, 521, 5, 3},   {12, 539, 1, 2},   {12, 461, 1, 1},   {18, 649, 25, 2},
    {18, 700, 26, 2},  {18, 752, 1, 1},   {18, 651, 2, 12},  {18, 677, 2, 12},  {18, 703, 2, 12},
    {18, 729, 2, 12},  {18, 755, 2, 3},   {19, 763, 7, 2},   {19, 767, 2, 2},   {19, 773, 10, 4},
    {19, 774, 1, 8},   {19, 784, 1, 8},   {19, 794, 1, 8},   {19, 804, 1, 8},   {20, 854, 1, 15},
    {22, 873, 1, 1},   {22, 874, 4, 10},  {22, 875, 4, 10},  {22, 876, 4, 10},  {23, 925, 1, 1},
    {23, 926, 3, 10},  {23, 927, 3, 10},  {24, 971, 1, 1},   {24, 972, 4, 10},  {24, 973, 4, 10},
    {24, 974, 4, 10},  {25, 1012, 1, 1},  {25, 1014, 3, 10}, {25, 1015, 3, 10}, {26, 1049, 3, 10},
    {26, 1050, 3, 10}, {27, 1086, 33, 2}, {27, 1118, 15, 2}, {27, 1088, 3, 10}, {27, 1089, 3, 10},
    {27, 1123, 2, 5},  {28, 1142, 1, 1},  {28, 1174, 13, 2}, {28, 1194, 1, 1},  {28, 1173, 13, 2},
    {28, 1193, 7, 2},  {28, 1144, 3, 10}, {28, 1145, 3, 10}, {28, 1176, 2, 5},  {28, 1189, 2, 2},
    {28, 1196, 2, 2},  {29, 1210, 33, 2}, {29, 1256, 7, 2},  {29, 1212, 1, 1},  {29, 1255, 7, 3},
    {29, 1214, 3, 10}, {29, 1215, 3, 10}, {29, 1245, 2, 5},  {29, 1258, 2, 2},  {29, 1265, 2, 2},
    {30, 1286, 1, 1},  {30, 1320, 13, 2}, {30, 1340, 1, 1},  {30, 1331, 7, 3},  {30, 1347, 1, 1},
    {30, 1288, 3, 10}, {30, 1289, 3, 10}, {30, 1322, 2, 5},  {30, 1335, 2, 2},  {30, 1342, 2, 2},
    {31, 1350, 1, 15}, {32, 1367, 1, 9},  {33, 1382, 1, 15},
};

std::vector<uint8_t> LoadDiscFile(const char* name) {
    int len = 0;
    void* data = x_LoadFileLength(name, &len);
    if (!data) return {};
    std::vector<uint8_t> out(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + len);
    x_free(data);
    return out;
}

// The pad script's state: one digital word per frame for pad 0.
uint32_t g_buttons = 0;
const INPUT_PadSource kScriptPad{[] { return 1u; }, [](int pad) { return pad == 0 ? g_buttons : 0u; },
                                 [](int, int) -> int8_t { return 0; }};

constexpr uint32_t kStartBit = 1u << 11, kDownBit = 1u << 14;

// Stand-ins for the two screens' procedures, enough to run them: the title screen opens the main menu on
// Start; the main menu lights the bar of the focused row and dims the others.
intptr_t TitleProc(_smdlhdr* node, int32_t msg, intptr_t, intptr_t, intptr_t) {
    if (node->ID == 34 && msg == SM_MSG_START) {
        SM_AcknowledgeMsg();
        SM_ScreenLink(33);
    }
    return 0;
}
intptr_t MainMenuProc(_smdlhdr* node, int32_t msg, intptr_t, intptr_t, intptr_t) {
    if (node->ID == 33 && msg == 0x0E08) {
        for (int row = 1382; row <= 1394; row += 3) {
            _smdlhdr* r = SM_FindControlByID(row);
            _smdlhdr* bar = SM_FindControlByID(row + 2);
            const bool on = r && (r->Flags & SM_FLAG_HIGHLIGHTED);
            if (r) r->Alpha = on ? 255 : 127;
            if (bar) bar->Alpha = on ? 255 : 127;
        }
    }
    return 0;
}
SM_PROC Finder(int screen) {
    return screen == 34 ? TitleProc : screen == 33 ? MainMenuProc : nullptr;
}

class SampleScreens : public enginetest::EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        ASSERT_TRUE(console::CdMount(QZ_DISC_DIR));
        image_ = LoadDiscFile("frontend\\FE_game.exp");
        ASSERT_FALSE(image_.empty());
    }
    void TearDown() override {
        if (SM_IsInitialised()) SM_KillSystem();
        SM_KillResource();
        INPUT_SetPadSource(nullptr);
        console::CdUnmount();
        EngineTest::TearDown();
    }

    void StartFrontEnd() {
        veDisplayInit(640, 448);
        veDisplayCreateView2D(&view_, 0, 0, 640, 448, 16, 1.0f);
        SM_InstallResourceBackend();
        SM_InitSystem(255, Finder);
        SM_PrepSetResourcePreload(-1);
        SM_SetJoystickThreshold(100);
        INPUT_SetPadSource(&kScriptPad);
        ASSERT_EQ(SM_InitResourcePtr(image_.data(), image_.size(), 0, nullptr), 1);
    }

    // One front-end frame: input through the translator, Sync, render.
    void Frame(uint32_t buttons) {
        g_buttons = buttons;
        SM_InputCheckDevices();
        _input_event e;
        while (SM_InputGetNextEvent(&e)) SM_TranslateEvent(&e);
        veDisplayActivateView(&view_);
        veEngineBeginFrame();
        veDisplayActivateView(&view_);
        SM_SendMessage(SM_GetCurScreen(), 0x0E08, 0, 0, 0);
        SM_Render();
        veEngineEndFrame();
        SM_ManageResource();
    }

    // The picture on the display after a few idle frames, written as PNG into the test's directory (and
    // into QZ_FE_PNG_DIR when set, for looking at).
    std::vector<uint8_t> Shot(const std::string& name) {
        for (int f = 0; f < 3; ++f) Frame(0);
        std::vector<uint8_t> rgba(640 * 448 * 4);
        EXPECT_TRUE(console::gs::Gs().ReadDisplay(rgba.data()));
        host::Error err;
        EXPECT_TRUE(host::WritePng(dir_.path() + "/" + name, rgba.data(), 640, 448, 4, true, &err));
        if (const char* view = std::getenv("QZ_FE_PNG_DIR"))
            host::WritePng(std::string(view) + "/" + name, rgba.data(), 640, 448, 4, true, &err);
        return rgba;
    }

    std::vector<uint8_t> image_;
    _ve_view view_{};
    testsupport::TempDir dir_;
};

TEST_F(SampleScreens, FileAndLoadingPicturesPassTheirChecksAndHoldEveryLookedUpControl) {
    EXPECT_EQ(SM_ValidateResource(image_.data(), image_.size()), 1);
    for (const char* name : {"frontend\\loadscrn\\loadscrn.ps2", "frontend\\loadscrn\\loadbar.ps2"}) {
        std::vector<uint8_t> pic = LoadDiscFile(name);
        FsBitmapLayout layout;
        EXPECT_EQ(fsCheckBitmap(pic.data(), pic.size(), &layout), FS_BITMAP_OK) << name;
        // Each fits the texture pool, so the loading bar can draw it.
        _FS_BITMAP header;
        std::memcpy(&header, pic.data(), sizeof header);
        _ve_texture_configure c{};
        c.bitsPerPixel = header.bitsPerPixel;
        c.width = header.width;
        c.height = header.height;
        EXPECT_EQ(veTextureConfigure(&c), 1) << name;
    }
    StartFrontEnd();
    for (int s = 0; s < 35; ++s) EXPECT_TRUE(SM_IsValidScreen(s)) << s;
    EXPECT_FALSE(SM_IsValidScreen(35));
    for (const IdRun& run : kLookedUp) {
        SM_ScreenLink(run.screen);
        ASSERT_EQ(SM_GetCurScreen(), run.screen);
        for (int i = 0; i < run.count; ++i) {
            const int id = run.first + run.step * i;
            EXPECT_NE(SM_FindControlByID(id), nullptr) << run.screen << ":" << id;
        }
    }
    // The keyboard's keys carry their label as the first child; the last two are the edit keys.
    SM_ScreenLink(9);
    _smdlhdr* done = SM_FindControlByID(455);
    ASSERT_NE(done, nullptr);
    auto* label = reinterpret_cast<_sm_textnode*>(SM_Node(done->pChildren));
    ASSERT_EQ(label->Hdr.Type, SM_TYPE_TEXT);
    EXPECT_STREQ(SM_GetStringByID(label->StringID), "Done");
    // With QZ_FE_PNG_DIR set, every screen as it opens, for looking at.
    if (std::getenv("QZ_FE_PNG_DIR"))
        for (int s = 0; s < 35; ++s) {
            SM_ScreenLink(s);
            Shot("screen_" + std::to_string(s) + ".png");
        }
}

TEST_F(SampleScreens, PadScriptLeadsFromTheTitleToTheMainMenuAndMovesTheFocus) {
    StartFrontEnd();
    SM_ScreenLink(34);
    for (int f = 0; f < 4; ++f) Frame(0);
    Shot("title.png");
    // Start (press and release), then Down twice on the main menu.
    for (uint32_t b : {kStartBit, 0u, 0u, kDownBit, 0u, kDownBit, 0u}) Frame(b);
    ASSERT_EQ(SM_GetCurScreen(), 33);
    ASSERT_EQ(SM_GetSelectedControl(), 1388);
    std::vector<uint8_t> rgba = Shot("mainmenu.png");
    // The focused row's label is drawn in the highlight font (yellow); the other rows' are not.
    auto yellowIn = [&](const _smdlhdr* row) {
        int count = 0;
        for (int y = row->y; y < row->y + row->h; ++y)
            for (int x = row->x; x < row->x + row->w; ++x) {
                const uint8_t* p = &rgba[(size_t(y) * 640 + size_t(x)) * 4];
                count += p[0] > 200 && p[1] > 170 && p[2] < 110;
            }
        return count;
    };
    for (int row = 1382; row <= 1394; row += 3) {
        const _smdlhdr* r = SM_FindControlByID(row);
        ASSERT_NE(r, nullptr);
        if (row == 1388)
            EXPECT_GT(yellowIn(r), 100) << row;
        else
            EXPECT_LT(yellowIn(r), 20) << row;
    }
}

}  // namespace
