// The front end's screen resource file: loading it (check, copies, sprite images, engine fonts, fix-up),
// and a whole engine frame drawing the main menu (screen 33).
// Uses the sample disc's "frontend/FE_game.exp" when the build wrote one, else a stand-in of the same
// shape from the writer (35 screens; a menu of a full-screen picture, a title, six panels with text).
#include <benchmark/benchmark.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "../tests/support/engine_boot.h"
#include "engine/font/font_format.h"
#include "engine/hal/engine.h"
#include "frontend/sm/sm_dlist.h"
#include "frontend/sm/sm_draw.h"
#include "frontend/sm/sm_resource.h"
#include "mkdisc/fonts.h"

namespace {

constexpr int kMainMenu = 33;

std::vector<uint8_t> StandIn() {
    SMW_Resource d;
    SMW_Sprite back;  // 8-bit, 256 colours
    back.Bpp = 8, back.Width = 256, back.Height = 256;
    for (int i = 0; i < 256 * 256; ++i) back.Pixels.push_back(uint8_t(i ^ (i >> 8)));
    for (uint32_t c = 0; c < 256; ++c) back.Palette.push_back(0x80000000u | c * 0x010203u);
    SMW_Sprite title = back;
    title.Width = 128, title.Height = 32, title.Pixels.resize(128 * 32);
    d.Sprites = {back, title};
    d.Fonts.push_back({"frontend\\bench.fnt", 0, 14, WriteFont({2, 0x80FFFFFFu, 2}, kSampleGlyphs)});
    for (const char* s : {"SINGLE RACE", "CAREER", "PRACTICE", "OPTIONS", "TROPHIES", "CREDITS"})
        d.Strings.push_back(s);
    for (int k = 0; k < 35; ++k) {
        SMW_Node root;
        if (k == kMainMenu) {
            SMW_Node bg, t;
            bg.Type = t.Type = SM_TYPE_SPRITE;
            bg.w = 640, bg.h = 448, bg.Sprite = 0;
            t.x = 192, t.y = 40, t.w = 256, t.h = 64, t.Sprite = 1;
            root.Children = {bg, t};
            for (int i = 0; i < 6; ++i) {
                SMW_Node b, panel, text;
                b.Type = SM_TYPE_BUTTON, b.ID = int16_t(40 + i), b.x = 200, b.y = int16_t(140 + 44 * i),
                b.w = 240, b.h = 36;
                b.Up = int16_t(i ? 40 + i - 1 : -1), b.Down = int16_t(i < 5 ? 40 + i + 1 : -1);
                panel.Type = SM_TYPE_GOURAUD, panel.w = 240, panel.h = 36;
                panel.Colour[0] = panel.Colour[1] = 0xFF203060u,
                panel.Colour[2] = panel.Colour[3] = 0xFF101830u;
                text.Type = SM_TYPE_TEXT, text.x = 16, text.y = 10, text.w = 200, text.h = 16,
                text.StringID = i;
                // Drawn straight (the menu's rows as plain groups), so the walk needs no control types.
                b.Type = SM_TYPE_GROUP, b.Up = b.Down = -1;
                b.Children = {panel, text};
                root.Children.push_back(b);
            }
        }
        d.Screens.push_back(root);
    }
    std::vector<uint8_t> f;
    SM_WriteResource(d, &f, nullptr);
    return f;
}

const std::vector<uint8_t>& File(std::string* which) {
    static std::vector<uint8_t> file;
    static std::string from;
    if (file.empty()) {
        std::ifstream in(std::string(QZ_BENCH_DISC) + "/frontend/FE_game.exp", std::ios::binary);
        file.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        from = "disc file";
        if (!SM_ValidateResource(file.data(), file.size())) file = StandIn(), from = "stand-in";
    }
    *which = from;
    return file;
}

void Load() {
    std::string which;
    const std::vector<uint8_t>& f = File(&which);
    SM_InitResourceModule();
    SM_PrepSetResourcePreload(-1);
    SM_InitResourcePtr(f.data(), f.size(), 0, nullptr);
}

void BM_FrontendLoadResourceFile(benchmark::State& state) {
    testsupport::BootEngineOnce();
    std::string which;
    const std::vector<uint8_t>& f = File(&which);
    for (auto _ : state) {
        SM_InitResourceModule();
        SM_PrepSetResourcePreload(-1);
        benchmark::DoNotOptimize(SM_InitResourcePtr(f.data(), f.size(), 0, nullptr));
        SM_KillResource();
    }
    state.SetLabel(which + ", " + std::to_string(f.size()) + " bytes");
}
BENCHMARK(BM_FrontendLoadResourceFile)->Unit(benchmark::kMicrosecond);

void BM_FrontendMainMenuFrame(benchmark::State& state) {
    testsupport::BootEngineOnce();
    Load();
    SM_InitDListModule(640, 448);
    for (auto _ : state) {
        veEngineBeginFrame();
        DRAW_BeginFrame();
        const _sm_dldc dc = SM_DLRootContext();
        SM_DrawDisplayList(SM_ResScreenRoot(kMainMenu), &dc);
        veEngineEndFrame();
    }
    state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    SM_KillResource();
}
BENCHMARK(BM_FrontendMainMenuFrame)->Unit(benchmark::kMillisecond);

}  // namespace
