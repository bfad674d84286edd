// The screen resource file, the resource module, display lists, the drawing back end and the loading
// bar: a small file from the writer, refused when damaged field by field, loaded, fixed up and drawn.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine/font/font.h"
#include "engine/font/font_format.h"
#include "engine/hal/engine_fixture.h"
#include "engine/sys/heap.h"
#include "frontend/sm/sm_controls.h"
#include "frontend/sm/sm_core.h"
#include "frontend/sm/sm_dlist.h"
#include "frontend/sm/sm_draw.h"
#include "frontend/sm/sm_progress.h"
#include "frontend/sm/sm_resource.h"
#include "mkdisc/fonts.h"
#include "support/image_patch.h"

namespace {

using testsupport::Peek;
using testsupport::Poke;

constexpr uint32_t kRed = 0xFF'FF0000u, kBlue = 0xFF'0000FFu;

SMW_Node Rect(int16_t x, int16_t y, int16_t w, int16_t h, uint32_t c) {
    SMW_Node n;
    n.Type = SM_TYPE_GOURAUD, n.x = x, n.y = y, n.w = w, n.h = h;
    for (uint32_t& k : n.Colour) k = c;
    return n;
}

// Screen 0: a button (id 40) with a text, a sprite, a red rectangle, a clipping group and a text that
// uses the second string. Screen 1: an instance of screen 2's node 50 (normal) with no highlighted
// target. Screen 2: a blue 10 x 10 rectangle of id 50.
SMW_Resource Sample() {
    SMW_Resource d;
    d.Strings = {"PLAY", "OPTIONS"};
    SMW_Sprite quads;  // 2 x 2, four colours, alpha 0x80
    quads.Bpp = 32, quads.Width = 2, quads.Height = 2;
    for (uint32_t c : {0x80'102030u, 0x80'405060u, 0x80'708090u, 0x80'A0B0C0u})
        for (int b = 0; b < 4; ++b) quads.Pixels.push_back(uint8_t(c >> (8 * b)));
    SMW_Sprite pal;  // 4-bit, two colours
    pal.Bpp = 4, pal.Width = 2, pal.Height = 2, pal.Pixels = {0x10, 0x01},
    pal.Palette = {0x80'0000FFu, 0x80'00FF00u};
    d.Sprites = {quads, pal};
    d.Fonts.push_back({"frontend\\test.fnt", 0, 14, WriteFont({2, 0x80FFFFFFu, 2}, kSampleGlyphs)});

    SMW_Node s0;
    s0.SavedFocus = 40;
    SMW_Node button;
    button.Type = SM_TYPE_BUTTON, button.ID = 40, button.x = 300, button.y = 300, button.w = 100,
    button.h = 20;
    button.Down = 41, button.LinkScreen = 1;
    SMW_Node label;
    label.Type = SM_TYPE_TEXT, label.StringID = 0, label.w = 100, label.h = 20;
    button.Children.push_back(label);
    SMW_Node sprite;
    sprite.Type = SM_TYPE_SPRITE, sprite.ID = 41, sprite.x = 100, sprite.y = 100, sprite.w = 20,
    sprite.h = 20;
    SMW_Node clip;  // a 10 x 10 clipping box over a 40 x 40 rectangle
    clip.x = 200, clip.y = 100, clip.w = 10, clip.h = 10, clip.Flags |= SM_FLAG_CLIP;
    clip.Children.push_back(Rect(0, 0, 40, 40, kBlue));
    SMW_Node faded = Rect(0, 200, 10, 10, kBlue);
    faded.Alpha = 0;
    SMW_Node bad;  // sprite number out of range: becomes sprite 0
    bad.Type = SM_TYPE_SPRITE, bad.Sprite = 99, bad.ID = 42, bad.x = 400, bad.w = 4, bad.h = 4;
    SMW_Node text = label;  // "OPTIONS"
    text.StringID = 1, text.x = 300, text.y = 340;
    s0.Children = {button, sprite, Rect(10, 10, 50, 30, kRed), clip, faded, bad, text};

    SMW_Node s1;
    SMW_Node inst;
    inst.Type = SM_TYPE_INSTANCE, inst.ID = 60, inst.x = 500, inst.y = 400, inst.w = 10, inst.h = 10;
    inst.Refs[0] = {2, 50};
    s1.Children.push_back(inst);
    SMW_Node s2;
    SMW_Node target = Rect(30, 30, 10, 10, kBlue);
    target.ID = 50;
    s2.Children.push_back(target);
    d.Screens = {s0, s1, s2};
    return d;
}

std::vector<uint8_t> Write(const SMW_Resource& d) {
    std::vector<uint8_t> f;
    std::string error;
    EXPECT_TRUE(SM_WriteResource(d, &f, &error)) << error;
    return f;
}

class SmResource : public enginetest::EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        SM_InitResourceModule();
        SM_PrepSetResourcePreload(-1);
    }
    void TearDown() override {
        SM_KillResource();
        EngineTest::TearDown();
    }
    void Load(const std::vector<uint8_t>& f) {
        ASSERT_EQ(SM_InitResourcePtr(f.data(), f.size(), 0, nullptr), 1);
    }
    static _smdlhdr* Find(int screen, int16_t id) {
        return SM_DLFindObjectByID(SM_ResScreenRoot(screen), id);
    }
    // Byte offset of the node of this id (the root for -2) in the file.
    static size_t NodeAt(const std::vector<uint8_t>& f, int screen, int16_t id) {
        const auto h = Peek<_sm_resheader>(f, 0);
        const auto e = Peek<_sm_screenentry_file>(f, h.ScreenTableOfs + 12 * size_t(screen));
        for (size_t at = h.ScreenDataOfs + e.Offset; at < h.ScreenDataOfs + e.Offset + e.Size; at += 4)
            if (Peek<_smdlhdr>(f, at).ID == id && SM_NodeSize(Peek<_smdlhdr>(f, at).Type)) return at;
        ADD_FAILURE() << "no node " << id;
        return 0;
    }
};

TEST_F(SmResource, DamagedFilesAreRefusedWithOneLineEach) {
    const std::vector<uint8_t> good = Write(Sample());
    ASSERT_EQ(SM_ValidateResource(good.data(), good.size()), 1);
    const auto h = Peek<_sm_resheader>(good, 0);
    const size_t button = NodeAt(good, 0, 40), sprite = NodeAt(good, 0, 41), inst = NodeAt(good, 1, 60);
    const size_t root0 = h.ScreenDataOfs, s1 = h.ScreenTableOfs + 12;
    struct Case {
        const char* what;
        size_t at;
        uint32_t value;
        const char* line;
    };
    const Case cases[] = {
        {"version", offsetof(_sm_resheader, Version), 0x20010313, "unknown version"},
        {"sprite table size", offsetof(_sm_resheader, SpriteTableSize), 30, "sprite table"},
        {"screen table offset", offsetof(_sm_resheader, ScreenTableOfs), 0xFFFFFFF0u, "screen table"},
        {"language table size", offsetof(_sm_resheader, LangTableSize), 0x10000, "language table"},
        {"sprite depth 24", h.SpriteTableOfs + offsetof(_sm_spriteentry, Bpp), 24, "sprite depth"},
        {"sprite width", h.SpriteTableOfs + offsetof(_sm_spriteentry, Width), 2000, "sprite size"},
        {"sprite data offset", offsetof(_sm_resheader, SpriteDataOfs), uint32_t(good.size() - 8),
         "sprite data"},
        {"font image size", h.FontTableOfs + offsetof(_sm_fontentry, ImageSize), 0x7FFFFFFF, "font image"},
        {"string count", h.LangTableOfs + 4, 3, "shorter than its strings"},
        {"screen size", s1 + 4, 0x00FFFFFF, "screen data outside"},
        {"screen offset misaligned", s1, 2, "screen data outside"},
        {"child pointer misaligned", root0 + offsetof(_smdlhdr, pChildren), 6, "misaligned"},
        {"next pointer into a cycle", sprite + offsetof(_smdlhdr, pNext), uint32_t(button - root0),
         "reached twice"},
        {"node type", sprite + offsetof(_smdlhdr, Type), 5, "unknown or misplaced type"},
        {"parent word", sprite + offsetof(_smdlhdr, pParent), uint32_t(button - root0), "parent word"},
        {"root id", root0 + offsetof(_smdlhdr, ID), 7, "root id"},
        {"scale not a number", sprite + offsetof(_smdlhdr, xScale), 0x7FC00000u, "node scale"},
        {"scale huge", sprite + offsetof(_smdlhdr, yScale), 0x4F000000u, "node scale"},
        {"link outside", button + sizeof(_smdlhdr) + 4, 0x100000, "link to no node"},
        {"link screen", button + offsetof(_sm_buttonnode, Links.LinkScreen), 3, "link screen"},
        {"saved focus", root0 + offsetof(_sm_screennode, SavedFocus), 8, "saved focus"},
        {"instance screen", inst + offsetof(_sm_instancenode, Ref), 9u << 16, "instance of a screen"},
        {"instance offset", inst + offsetof(_sm_instancenode, Ref), 2u << 16 | 4, "instance of no node"},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bad = good;
        const std::string what = c.what;
        if (what == "sprite width" || what == "sprite depth 24" || what == "root id")
            Poke(bad, c.at, uint16_t(c.value));
        else
            Poke(bad, c.at, c.value);
        log_->clear();
        EXPECT_EQ(SM_InitResourcePtr(bad.data(), bad.size(), 0, nullptr), 0) << c.what;
        EXPECT_EQ(log_->count("file refused"), 1) << c.what << ": " << log_->text();
        EXPECT_TRUE(log_->has(c.line)) << c.what << ": " << log_->text();
        EXPECT_EQ(Resource.Loaded, 0) << c.what;
    }
    // Truncated anywhere: refused, never read past the end (ASan builds check that).
    for (size_t len : {size_t(0), size_t(87), size_t(h.ScreenDataOfs + 20), good.size() - 1})
        EXPECT_EQ(SM_ValidateResource(good.data(), len), 0) << len;
}

TEST_F(SmResource, WriterRefusesWhatTheFormatCannotHold) {
    const char* expect[] = {"used twice", "below 35", "no node of id", "cannot be stored", "pixel bytes"};
    for (int i = 0; i < 5; ++i) {
        SMW_Resource d = Sample();
        SMW_Node& s0 = d.Screens[0];
        if (i == 0) s0.Children[1].ID = 40;
        if (i == 1) s0.Children[1].ID = 7;
        if (i == 2) s0.Children[0].Down = 77;
        if (i == 3) s0.Children[1].Type = SM_TYPE_LISTBOX;
        if (i == 4) d.Sprites[0].Pixels.pop_back();
        std::vector<uint8_t> f;
        std::string error;
        EXPECT_FALSE(SM_WriteResource(d, &f, &error));
        EXPECT_NE(error.find(expect[i]), std::string::npos) << error;
    }
}

TEST_F(SmResource, FixUpRelocatesLocksInstancesAndCleansRunTimeWords) {
    const std::vector<uint8_t> f = Write(Sample());
    Load(f);
    ASSERT_EQ(Resource.nScreens, 3);
    // A stored value v in screen k at address a with table offset o becomes a + v - (o - o0).
    const auto h = Peek<_sm_resheader>(f, 0);
    for (int k = 0; k < 3; ++k) {
        const auto e = Peek<_sm_screenentry_file>(f, h.ScreenTableOfs + 12 * size_t(k));
        const auto stored = Peek<_smdlhdr>(f, h.ScreenDataOfs + e.Offset);
        const _smdlhdr* root = SM_ResScreenRoot(k);
        EXPECT_EQ(root->pChildren, Resource.Screens[size_t(k)].Address + stored.pChildren - e.Offset) << k;
        EXPECT_EQ(root->pParent, 0u);
        EXPECT_TRUE(root->Flags & SM_FLAG_FIXEDUP);
        EXPECT_EQ(SM_Node(root->pChildren)->pParent, Addr32(root));
    }
    auto* root0 = reinterpret_cast<_sm_screennode*>(SM_ResScreenRoot(0));
    EXPECT_EQ(SM_Node(root0->SavedFocus), Find(0, 40));
    EXPECT_EQ(SM_Node(SM_NodeLinks(Find(0, 40))->Down), Find(0, 41));
    // The instance in screen 1 points at screen 2's node and holds screen 2 locked.
    auto* inst = reinterpret_cast<_sm_instancenode*>(Find(1, 60));
    EXPECT_EQ(SM_Node(inst->Ref[0]), Find(2, 50));
    EXPECT_EQ(inst->Ref[1], 0u);
    EXPECT_EQ(Resource.LockBits[2], SM_SCREEN_LOCK_INSTANCE);
    EXPECT_EQ(Resource.LockBits[0] | Resource.LockBits[1], 0);
    EXPECT_EQ(reinterpret_cast<_sm_spritenode*>(Find(0, 42))->Sprite, 0);
    // Screen memory: the first use copies the screen, the last release restores it.
    _smdlhdr* b = SM_ResLoadScreen(0);
    Find(0, 40)->Flags |= SM_FLAG_HIGHLIGHTED;
    SM_ResLoadScreen(0);
    SM_ResReleaseScreen(0);
    EXPECT_TRUE(Find(0, 40)->Flags & SM_FLAG_HIGHLIGHTED);
    SM_ResReleaseScreen(0);
    EXPECT_FALSE(Find(0, 40)->Flags & SM_FLAG_HIGHLIGHTED);
    EXPECT_EQ(b, SM_ResScreenRoot(0));
}

TEST_F(SmResource, StringsSpritesAndFonts) {
    Load(Write(Sample()));
    EXPECT_STREQ(SM_GetStringByID(0), "PLAY");
    EXPECT_STREQ(SM_GetStringByID(1), "OPTIONS");
    for (int id : {-1, 2, 1000}) EXPECT_EQ(SM_GetStringByID(id), nullptr) << id;
    ASSERT_NE(SM_GetFont(0), nullptr);
    EXPECT_NE(SM_GetFont(0)->Font, nullptr);
    EXPECT_EQ(SM_GetFontMaxCharHeight(0), 14);
    EXPECT_EQ(SM_GetFont(1), nullptr);
    EXPECT_EQ(SM_DLTextPixelWidth(0, "", 0), 0);  // kerning 0

    // Preloaded sprites are never freed; one rebuilt after a forced release and used once is freed
    // once 30 page flips pass.
    for (int i = 0; i < 40; ++i) {
        ENG_CountPageFlip();
        SM_ManageResource();
    }
    EXPECT_TRUE(Resource.Sprites[0].Flags & 1);
    SM_ReleaseAllSprites(1);
    EXPECT_FALSE(Resource.Sprites[0].Flags & 1);
    EXPECT_NE(*SM_GetSpriteImage(0, 1), 0u);
    for (int i = 0; i < 30; ++i) {
        ENG_CountPageFlip();
        SM_ManageResource();
    }
    EXPECT_TRUE(Resource.Sprites[0].Flags & 1);
    ENG_CountPageFlip();
    SM_ManageResource();
    EXPECT_FALSE(Resource.Sprites[0].Flags & 1);
    EXPECT_EQ(*SM_GetSpriteImage(1, 2), *SM_GetSpriteImage(1, 0));  // ALWAYS
    EXPECT_EQ(Resource.SpriteRes[1].Expiry, -1);
}

TEST_F(SmResource, FontsOfOneNameShareAndTheGamesOwnFontsAreLeftAlone) {
    const std::vector<uint8_t> image = WriteFont({1, 0x80FFFFFFu, 1}, kSampleGlyphs);
    auto* shellImage = static_cast<uint8_t*>(x_fn_amalloc(uint32_t(image.size()), 16));
    std::memcpy(shellImage, image.data(), image.size());
    _font* shell = veFontCreateFromPointer("frontend\\shell.fnt", reinterpret_cast<_font_data*>(shellImage),
                                           image.size(), 0, 0);
    ASSERT_NE(shell, nullptr);
    SMW_Resource d = Sample();
    d.Fonts.push_back(d.Fonts[0]);
    d.Fonts.push_back({"frontend\\shell.fnt", 0, 7, image});
    log_->clear();
    Load(Write(d));
    EXPECT_NE(SM_GetFont(0)->Font, nullptr);
    EXPECT_EQ(SM_GetFont(1)->Font, SM_GetFont(0)->Font);
    EXPECT_EQ(SM_GetFont(2)->Font, nullptr);
    EXPECT_TRUE(log_->has("already loaded"));
    SM_KillResource();
    // The shell's font survived with its own image; a second load and release work the same.
    EXPECT_EQ(shell->data, reinterpret_cast<_font_data*>(shellImage));
    Load(Write(d));
    SM_KillResource();
    EXPECT_EQ(shell->data, reinterpret_cast<_font_data*>(shellImage));
    veFontDestroy(shell);
    x_free(shellImage);
}

TEST_F(SmResource, AFileWithoutLanguagesAnswersNoStrings) {
    SMW_Resource d = Sample();
    d.Strings.clear();
    Load(Write(d));
    for (int id : {-1, 0, 1}) EXPECT_EQ(SM_GetStringByID(id), nullptr);
}

TEST(SmResourceRules, PowersAndBitmapFormats) {
    const int pow2[][2] = {{0, 2}, {1, 2}, {3, 4}, {64, 64}, {65, 128}, {1024, 1024}, {1025, 0}};
    for (auto [n, p] : pow2) EXPECT_EQ(CalcPow2(n), p) << n;
    const int formats[][3] = {{256, 8, 0x1C}, {16, 4, 0x12}, {0, 16, 4},
                              {0, 24, 8},     {0, 32, 0x0C}, {0, 8, -1}};
    for (auto [c, bpp, f] : formats) EXPECT_EQ(GetBitmapFormat(c, bpp), f) << c << " " << bpp;
}

TEST(SmDList, CombineWithContext) {
    SM_InitDListModule(640, 448);
    struct Case {
        int16_t x, y, w, h;
        uint8_t alpha;
        uint16_t flags;
        int drawn;
        _dl_bound clip;
    };
    const uint16_t v = SM_FLAG_VISIBLE;
    const Case cases[] = {
        {10, 20, 30, 40, 255, v, 1, {10, 39, 20, 59}},
        {10, 20, 30, 40, 0, v, 0, {}},                     // alpha 0
        {10, 20, 30, 40, 255, 0, 0, {}},                   // not visible
        {700, 20, 30, 40, 255, v, 0, {}},                  // right of the screen
        {-10, 430, 30, 40, 255, v, 1, {0, 19, 430, 447}},  // partly off: clamped
    };
    for (const Case& c : cases) {
        _smdlhdr n{};
        n.x = c.x, n.y = c.y, n.w = c.w, n.h = c.h, n.Alpha = c.alpha, n.Flags = c.flags;
        n.xScale = n.yScale = 1.0f;
        _sm_dldc dc = SM_DLRootContext();
        _dl_bound b, clip;
        ASSERT_EQ(SM_DLCombineWithDC(&b, &clip, &n, &dc), c.drawn) << c.x << "," << c.y;
        if (!c.drawn) continue;
        EXPECT_EQ((std::vector<int>{clip.L, clip.R, clip.T, clip.B}),
                  (std::vector<int>{c.clip.L, c.clip.R, c.clip.T, c.clip.B}));
        EXPECT_EQ(dc.ox, c.x);
        EXPECT_EQ(dc.oy, c.y);
    }
    // Half opacity and node alpha multiply down the tree; highlight is inherited unless stopped.
    _smdlhdr n{};
    n.Flags = v | SM_FLAG_HALFALPHA | SM_FLAG_HIGHLIGHTED, n.Alpha = 127, n.w = n.h = 1,
    n.xScale = n.yScale = 1;
    _sm_dldc dc = SM_DLRootContext();
    ASSERT_EQ(SM_DLCombineWithDC(nullptr, nullptr, &n, &dc), 1);
    EXPECT_EQ(dc.Alpha, 128 * 127 / 255 / 2);
    EXPECT_TRUE(dc.Flags & SM_FLAG_HIGHLIGHTED);
    dc = SM_DLRootContext();
    dc.Flags = SM_FLAG_NOINHERIT;
    SM_DLCombineWithDC(nullptr, nullptr, &n, &dc);
    EXPECT_FALSE(dc.Flags & SM_FLAG_HIGHLIGHTED);
    // Bounds merge: an empty result is one pixel wide.
    _dl_bound a{0, 10, 0, 10};
    const _dl_bound far{20, 30, 0, 10};
    EXPECT_EQ(SM_DLMergeBounds(&a, &far), 0);
    EXPECT_EQ(a.R, a.L);
}

TEST_F(SmResource, ScreensDrawAtTheirPixels) {
    Load(Write(Sample()));
    SM_InitDListModule(640, 448);
    const uint32_t back = Rgb(FramePixel(630, 5));
    float depthAfter = 0;
    auto draw = [&](int screen) {
        DrawAndRun([&] {
            DRAW_BeginFrame();
            const _sm_dldc dc = SM_DLRootContext();
            SM_DrawDisplayList(SM_ResScreenRoot(screen), &dc);
            depthAfter = SMOS_Z;
        });
    };
    draw(0);
    // Two sprites drawn (ids 41 and 42): the depth went down 0.01 each.
    EXPECT_NEAR(depthAfter, -0.02f, 1e-6f);
    const uint32_t red = 0x0000FFu, blue = 0xFF0000u;
    struct Probe {
        int x, y;
        uint32_t rgb;
    };
    const Probe probes[] = {
        {10, 10, red},         {59, 39, red},         {60, 39, back},
        {9, 10, back},  // the rectangle
        {102, 102, 0x102030u}, {117, 102, 0x405060u}, {102, 117, 0x708090u},
        {117, 117, 0xA0B0C0u},  // 2x2 sprite
        {120, 110, back},      {200, 100, blue},      {209, 109, blue},
        {210, 105, back},      {205, 110, back},      {230, 130, back},  // clipped
        {5, 205, back},                                                  // alpha 0
    };
    for (const Probe& p : probes) EXPECT_EQ(Rgb(FramePixel(p.x, p.y)), p.rgb) << p.x << "," << p.y;
    // The text in the engine font: some pixels of its box changed. (The button's own label is drawn by
    // the button's render procedure, which needs the screen manager.)
    int lit = 0;
    for (int y = 340; y < 360; ++y)
        for (int x = 300; x < 360; ++x) lit += Rgb(FramePixel(x, y)) != back;
    EXPECT_GT(lit, 20);

    // The instance draws screen 2's node at the instance's place; highlighted it draws nothing.
    draw(1);
    EXPECT_EQ(Rgb(FramePixel(500, 400)), blue);
    EXPECT_EQ(Rgb(FramePixel(509, 409)), blue);
    EXPECT_EQ(Rgb(FramePixel(530, 430)), back);
    Find(1, 60)->Flags |= SM_FLAG_HIGHLIGHTED;
    draw(1);
    EXPECT_EQ(Rgb(FramePixel(500, 400)), back);
}

TEST_F(SmResource, GouraudCornersLandAtTheirCorners) {
    SMW_Resource d;
    SMW_Node s0;
    SMW_Node g = Rect(0, 0, 64, 64, 0);
    g.Colour[0] = 0xFF'FF0000u, g.Colour[1] = 0xFF'00FF00u, g.Colour[2] = 0xFF'0000FFu,
    g.Colour[3] = 0xFF'FFFFFFu;
    s0.Children.push_back(g);
    d.Screens = {s0};
    Load(Write(d));
    SM_InitDListModule(640, 448);
    DrawAndRun([&] {
        DRAW_BeginFrame();
        const _sm_dldc dc = SM_DLRootContext();
        SM_DrawDisplayList(SM_ResScreenRoot(0), &dc);
    });
    auto near = [](uint32_t got, uint32_t want) {
        for (int b = 0; b < 24; b += 8)
            if (std::abs(int((got >> b) & 0xFF) - int((want >> b) & 0xFF)) > 12) return false;
        return true;
    };
    EXPECT_PRED2(near, Rgb(FramePixel(0, 0)), 0x0000FFu);   // top-left red
    EXPECT_PRED2(near, Rgb(FramePixel(63, 0)), 0x00FF00u);  // top-right green
    EXPECT_PRED2(near, Rgb(FramePixel(0, 63)), 0xFF0000u);  // bottom-left blue
    EXPECT_PRED2(near, Rgb(FramePixel(63, 63)), 0xFFFFFFu);
}

TEST_F(SmResource, LoadingBarStepsAndStops) {
    _progressBar* bar = SM_InitProgressBar(nullptr, nullptr, 248, 170, 198, 10, 0, 100, 1);
    EXPECT_EQ(SM_StepProgressBar(nullptr, 1), -1);
    EXPECT_EQ(SM_StepProgressBar(bar, 1), 1);
    EXPECT_EQ(SM_ProgressBarFilled(bar), 2);  // factor 198 / 100 = 1, raised to 2
    EXPECT_EQ(SM_StepProgressBar(bar, 98), 99);
    EXPECT_EQ(SM_ProgressBarFilled(bar), 198);
    EXPECT_EQ(SM_StepProgressBar(bar, 50), 100);  // stops at max
    EXPECT_EQ(SM_ProgressBarFilled(bar), 198);    // clamped to the width
    const uint32_t frame = veEngineFrame.load();
    EXPECT_EQ(SM_StepProgressBar(bar, 1), 100);  // full: no frame drawn
    EXPECT_EQ(veEngineFrame.load(), frame);
    SM_DestroyProgressBar(bar);

    // The resource module widens the range by its items + 2 and steps through them.
    bar = SM_InitProgressBar(nullptr, nullptr, 0, 0, 100, 10, 0, 0, 1);
    ASSERT_EQ(SM_InitResourcePtr(Write(Sample()).data(), Write(Sample()).size(), 0, bar), 1);
    EXPECT_EQ(bar->max, 2 + 1 + 3 + 1 + 2);
    EXPECT_EQ(bar->currentValue, bar->max);
    SM_DestroyProgressBar(bar);
}

// Holds all engine-heap memory but one free block of about `left` bytes (and crumbs under 64 bytes); gives
// it back when it goes. Its own list is reserved first, so holding allocates nothing more.
class HeapSqueeze {
public:
    explicit HeapSqueeze(uint32_t left) {
        held_.reserve(16384);
        void* room = left ? x_fn_malloc(left, "", 0) : nullptr;
        while (held_.size() < held_.capacity()) {
            const uint32_t largest = x_LargestBlockFree();
            if (largest <= 64) break;
            void* p = x_fn_malloc(largest - 64, "", 0);
            if (!p) break;
            held_.push_back(p);
        }
        if (room) x_free(room);
    }
    ~HeapSqueeze() {
        for (void* p : held_) x_free(p);
    }

private:
    std::vector<void*> held_;
};

TEST_F(SmResource, AShortHeapFailsTheLoadWithOneLineAndKeepsNothing) {
    // As the heap left grows, the load fails at each of its allocations in turn (checking, screens, fonts,
    // sprites): each failure is one line, nothing of the load stays allocated, and enough heap loads the
    // file. The file: twenty small screens more (more screen memory than their checking takes), a small
    // font, a 64 x 64 picture (more than the font); font files and glyph tables both.
    for (bool glyphs : {false, true}) {
        SMW_Resource d = Sample();
        d.Fonts[0].Image = WriteFont({1, 0x80FFFFFFu, 1}, kSampleGlyphs);
        if (glyphs) {
            d.Fonts.push_back(WriteGlyphTableFont(1, {{0xFFFF, 0x8000}, {0x801F, 0x8000}}));
            d.Fonts.back().Name = "frontend\\test.gly";
        }
        for (int k = 0; k < 20; ++k) d.Screens.push_back(d.Screens[2]);
        SMW_Sprite big;
        big.Bpp = 32, big.Width = 64, big.Height = 64, big.Pixels.assign(64 * 64 * 4, 0x80);
        d.Sprites.push_back(big);
        const std::vector<uint8_t> f = Write(d);
        // The engine makes its table of fonts at the first font it makes, and keeps it: made here first.
        Load(f);
        SM_KillResource();
        testsupport::g_log.reserve(1 << 16);  // the log's own growth must not need the heap
        std::vector<std::string> reasons;
        bool loaded = false;
        for (uint32_t left = 0; left < (1u << 20) && !loaded; left += 256) {
            // Nothing here may take heap memory but the load: results go to plain variables first.
            int result, lines, freeBefore, freeAfter, loadedFlag;
            bool made = true;
            char line[256] = {};
            {
                HeapSqueeze squeeze(left);
                freeBefore = x_TotalMemoryFree();
                log_->clear();
                result = SM_InitResourcePtr(f.data(), f.size(), 0, nullptr);
                lines = log_->count("\n");
                std::snprintf(line, sizeof line, "%s", log_->text().c_str());
                loadedFlag = Resource.Loaded;
                if (result) {
                    made = SM_GetFont(0)->Font != nullptr && *SM_GetSpriteImage(2, 1) != 0;
                    // A glyph image is built on first use; with the heap just full it is not (null, no
                    // crash).
                    if (glyphs) SM_GetCharImage('A' - 32, 1, 1);
                    SM_KillResource();
                }
                freeAfter = x_TotalMemoryFree();
            }
            EXPECT_EQ(freeAfter, freeBefore) << left;
            if (result) {
                loaded = true;
                EXPECT_EQ(lines, 0) << line;
                EXPECT_TRUE(made);
                continue;
            }
            EXPECT_EQ(lines, 1) << left << ": " << line;
            EXPECT_NE(std::strstr(line, "file not loaded"), nullptr) << line;
            EXPECT_EQ(loadedFlag, 0);
            if (reasons.empty() || reasons.back() != line) reasons.push_back(line);
        }
        EXPECT_TRUE(loaded);
        std::string all;
        for (const std::string& r : reasons) all += r;
        for (const char* what :
             {"to check the screens", "for a screen", "for a font image", "sprite pictures"})
            EXPECT_NE(all.find(what), std::string::npos) << what << " in\n" << all;
    }
}

TEST_F(SmResource, ShuttingTheScreenManagerDownStopsTheModuleAndALaterLoadFreesTheHeldFile) {
    const std::vector<uint8_t> f = Write(Sample());
    Load(f);
    // One shell's life: the screen manager up and down, then the file loaded again while still held.
    auto cycle = [&] {
        SM_InitSystem(255, nullptr);
        ASSERT_TRUE(SM_IsInitialised());
        EXPECT_EQ(Resource.Ready, 1);
        SM_KillSystem();
        EXPECT_EQ(Resource.Ready, 0);
        EXPECT_EQ(Resource.Loaded, 1);  // the file stays until it is freed
        Load(f);
        EXPECT_EQ(Resource.Ready, 1);
        EXPECT_NE(SM_ResScreenRoot(0), nullptr);
    };
    cycle();
    const int settled = x_TotalMemoryFree();
    cycle();
    EXPECT_EQ(x_TotalMemoryFree(), settled);  // the held file was freed, not lost
}

TEST_F(SmResource, AShortHeapLeavesTheScreenManagerAndItsControlsUnbuilt) {
    testsupport::g_log.reserve(1 << 16);
    const int32_t widths[2] = {10, 10}, heights[2] = {10, 10};
    const char* texts[4] = {"A", "B", "C", "D"};
    SMLB_Desc desc{};
    desc.ID = 60, desc.Rows = 2, desc.Cols = 2, desc.VisRows = 2, desc.VisCols = 2, desc.HdrRows = 1,
    desc.HdrCols = 1, desc.ColWidths = widths, desc.RowHeights = heights, desc.Texts = texts;
    Load(Write(Sample()));
    _smdlhdr* copy;
    _sm_listboxnode* box;
    _progressBar* bar;
    bool initialised;
    int current;
    {
        // Nothing here may take heap memory but the calls under test.
        HeapSqueeze squeeze(0);
        log_->clear();
        copy = SM_ResLoadScreen(0);  // the pristine copy cannot be taken: not entered
        SM_InitSystem(255, nullptr);
        initialised = SM_IsInitialised();
        SM_ScreenLink(3);  // an uninitialised library does nothing
        current = SM_GetCurScreen();
        bar = SM_InitProgressBar(nullptr, nullptr, 0, 0, 10, 10, 0, 10, 1);
        box = SMLB_CreateListbox(desc);
    }
    EXPECT_EQ(copy, nullptr);
    EXPECT_FALSE(initialised);
    EXPECT_EQ(current, -1);
    EXPECT_EQ(bar, nullptr);
    EXPECT_EQ(box, nullptr);
    for (const char* line :
         {"no room in the heap for a copy of screen 0", "SM_InitSystem: no room in the heap",
          "SM_InitProgressBar: no room", "SMLB_CreateListbox: no room in the heap"})
        EXPECT_EQ(log_->count(line), 1) << line << " in\n" << log_->text();
    // With room, the same calls build.
    EXPECT_EQ(SM_ResLoadScreen(0), SM_ResScreenRoot(0));
    SM_ResReleaseScreen(0);
    box = SMLB_CreateListbox(desc);
    ASSERT_NE(box, nullptr);
    x_free(Ptr<void>(box->Items));
    x_free(box);
}

}  // namespace
