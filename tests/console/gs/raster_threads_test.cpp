// A whole screen of a frame's kind of drawing shared out among rasteriser threads: thousands of triangles,
// most of them small, in runs of varied states (textured from a palette or not, blended, depth tested or
// not), sprites, a palette loaded and a texture uploaded half way, a texture drawn first and then read,
// and a small picture of its own drawn in between. Every thread count must give the bits one thread gives,
// frame and depth buffer, on every run.
#include <gtest/gtest.h>
#include <sched.h>

#include <cstring>
#include <thread>

#include "gs_test_util.h"

namespace gstest {
namespace {

constexpr uint32_t kW = 640, kH = 448;
constexpr uint32_t kFramePage = 0, kDepthPage = 140, kTexBlock = 300 * 32, kPalBlock = 302 * 32;
constexpr uint32_t kPicturePage = 310;  // a 64 x 64 picture drawn, then used as a texture

std::vector<uint8_t> DrawScreen(int threads, uint32_t seed) {
    Fixture f(threads);
    LocalMemory& mem = f.gs->Memory();
    Rng rnd{seed};
    for (uint32_t i = 0; i < 64 * 64; ++i) mem.Write8(kTexBlock * 256 + i, uint8_t(rnd(256)));
    std::vector<uint32_t> pal(256);
    for (uint32_t i = 0; i < 256; ++i) pal[i] = (i * 0x01030507u) ^ (rnd(2) ? 0x80000000u : 0u);
    f.Upload(kPalBlock, 0, kPsmCt32, 16, 16, pal.data(), pal.size() * 4);

    AdPacket p;
    auto screen = [&]() {
        p.Set(kRegFrame_1, Frame(kFramePage, kW / 64, kPsmCt32))
            .Set(kRegZbuf_1, Zbuf(kDepthPage, kPsmZ24, false))
            .Set(kRegScissor_1, Scissor(0, kW - 1, 0, kH - 1));
    };
    screen();
    f.Sprite(p, 0, 0, int(kW), int(kH), 0x80402010u, 0);
    auto run = [&](int count, bool picture) {
        const bool textured = rnd(3) != 0, gouraud = rnd(2) != 0, blend = rnd(2) != 0;
        p.Set(kRegTest_1,
              TestReg(rnd(4) != 0, rnd(2) ? kZtstGequal : kZtstGreater) | (rnd(4) == 0 ? 0x1F1 : 0));
        p.Set(kRegAlpha_1, rnd(2) ? 0x44u : rnd(256)).Set(kRegTex1_1, rnd(2) ? 0x60 : 0);
        if (textured) {
            if (picture || rnd(2)) {
                p.Set(kRegTex0_1, Tex0(kPicturePage * 32, 1, kPsmCt32, 6, 6, true, kTfxModulate));
            } else {
                p.Set(kRegTex0_1,
                      Tex0(kTexBlock, 1, kPsmT8, 6, 6, true, kTfxModulate, kPalBlock, kPsmCt32, 0, 0, 1));
            }
        }
        const int w = picture ? 64 : int(kW), h = picture ? 64 : int(kH);
        for (int i = 0; i < count; ++i) {
            const bool sprite = rnd(16) == 0;
            p.Set(kRegPrim,
                  Prim(sprite ? kPrimSprite : kPrimTriangle, gouraud, textured, false, blend, true));
            // Mostly small (a few pixels), some thin, some a large part of the screen; some off its edges.
            const uint32_t size = rnd(8) == 0 ? 3000 : rnd(3) == 0 ? 200 : 40;
            const int cx = int(rnd(uint32_t(w + 40) * 16)) - 320, cy = int(rnd(uint32_t(h + 40) * 16)) - 320;
            for (int v = 0; v < (sprite ? 2 : 3); ++v) {
                p.Set(kRegUv, Uv(rnd(64 * 16), rnd(64 * 16)))
                    .Set(kRegRgbaq, Rgbaq(rnd(256), rnd(256), rnd(256), rnd(256)))
                    .Set(kRegXyz2, Xyz(cx + int(rnd(size)) - int(size / 2),
                                       cy + int(rnd(size)) - int(size / 2), rnd(1u << 24)));
            }
        }
    };
    for (int k = 0; k < 30; ++k) run(150, false);
    f.Send(p);
    p = AdPacket();
    // A small picture drawn (the screen's work still queued), then read as a texture.
    p.Set(kRegFrame_1, Frame(kPicturePage, 1, kPsmCt32)).Set(kRegScissor_1, Scissor(0, 63, 0, 63));
    p.Set(kRegZbuf_1, Zbuf(kPicturePage + 2, kPsmZ24, false));
    for (int k = 0; k < 4; ++k) run(40, true);
    screen();
    for (int k = 0; k < 10; ++k) run(150, false);
    f.Send(p);
    // A new palette and new texels while triangles reading the old ones may still be queued.
    for (uint32_t i = 0; i < 256; ++i) pal[i] = pal[i] * 0x9E3779B1u;
    f.Upload(kPalBlock, 0, kPsmCt32, 16, 16, pal.data(), pal.size() * 4);
    std::vector<uint8_t> texels(64 * 64);
    for (uint8_t& t : texels) t = uint8_t(rnd(256));
    f.Upload(kTexBlock, 1, kPsmT8, 64, 64, texels.data(), texels.size());
    p = AdPacket();
    screen();
    for (int k = 0; k < 20; ++k) run(150, false);
    f.Send(p);
    f.gs->Flush();
    const uint8_t* d = f.gs->Memory().Data();
    return std::vector<uint8_t>(d, d + (kPicturePage + 4) * LocalMemory::kPageBytes);
}

TEST(GsThreads, EveryThreadCountDrawsTheSameScreen) {
    for (uint32_t seed : {3u, 41u}) {
        const std::vector<uint8_t> one = DrawScreen(1, seed);
        size_t changed = 0;
        for (uint32_t i = 0; i < kW * kH * 4; i += 4) changed += one[i] != 0x10 ? 1 : 0;
        EXPECT_GT(changed, kW * kH / 2) << "the triangles cover most of the screen";
        for (int threads : {2, 3, 4, 8}) {
            EXPECT_TRUE(DrawScreen(threads, seed) == one) << threads << " threads, seed " << seed;
        }
        EXPECT_TRUE(DrawScreen(4, seed) == one) << "again with four threads";
    }
}

// Devices drawing alone, each on a thread of its own and into its own memory, all at once: each draws what
// one device draws with the program to itself. Code the threads run together shares nothing that changes
// under it, instrumentation included (coverage counters updated without atomics once gave a span loop a
// bound another thread had moved: rows drawn past their ends, or a crash).
TEST(GsThreads, DevicesOnSeveralThreadsAtOnceDrawWhatOneDraws) {
    const std::vector<uint8_t> one = DrawScreen(1, 3);
    constexpr int kThreads = 6;
    for (int round = 0; round < 2; ++round) {
        std::vector<std::vector<uint8_t>> got(kThreads);
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) threads.emplace_back([&got, t] { got[t] = DrawScreen(1, 3); });
        for (std::thread& t : threads) t.join();
        for (int t = 0; t < kThreads; ++t) EXPECT_TRUE(got[t] == one) << "device on thread " << t;
    }
}

// `count` Gouraud triangles, some blended, most small and one in six large, centred anywhere in the
// w x h pixels, at random depths and texel coordinates.
void RandomTriangles(AdPacket& p, Rng& rnd, int count, int w, int h, bool textured) {
    for (int i = 0; i < count; ++i) {
        p.Set(kRegPrim, Prim(kPrimTriangle, true, textured, false, rnd(2) != 0, true));
        const uint32_t size = rnd(6) == 0 ? 2400 : 300;
        const int cx = int(rnd(uint32_t(w) * 16)), cy = int(rnd(uint32_t(h) * 16));
        for (int v = 0; v < 3; ++v)
            p.Set(kRegUv, Uv(rnd(64 * 16), rnd(64 * 16)))
                .Set(kRegRgbaq, Rgbaq(rnd(256), rnd(256), rnd(256), rnd(256)))
                .Set(kRegXyz2, Xyz(cx + int(rnd(size)) - int(size / 2), cy + int(rnd(size)) - int(size / 2),
                                   rnd(1u << 24)));
    }
}

// The screen with a depth buffer tested greater-or-equal and textures repeated.
void DepthTestedScreen(AdPacket& p) {
    p.Set(kRegFrame_1, Frame(kFramePage, kW / 64, kPsmCt32))
        .Set(kRegZbuf_1, Zbuf(kDepthPage, kPsmZ24, false))
        .Set(kRegScissor_1, Scissor(0, kW - 1, 0, kH - 1))
        .Set(kRegTest_1, TestReg(true, kZtstGequal))
        .Set(kRegClamp_1, 0);
}

// Rounds of a frame's drawing where the threads must keep to the order of primitives that depend on each
// other without the caller draining the queue: a small picture drawn, read as a texture by the screen's
// triangles, drawn over again while those still wait, and read again; then the whole screen copied (a
// sprite, nearest or filtered, its texels clamped or repeated) into another buffer, and the next round
// drawing over the screen and its depth while the copies may still wait.
// (`held`: the workers held back, so that what is queued behind what is the same however fast they draw.)
std::vector<uint8_t> DrawRounds(int threads, uint32_t seed, RasterBands::Stats* stats = nullptr,
                                bool held = false) {
    constexpr uint32_t kCopyPage = 320;
    Fixture f(threads);
    if (held && f.gs->Bands()) f.gs->Bands()->SetHeld(true);
    Rng rnd{seed};
    AdPacket p;
    auto screen = [&]() { DepthTestedScreen(p); };
    auto triangles = [&](int count, int w, int h, bool textured) {
        p.Set(kRegTex0_1, Tex0(kPicturePage * 32, 1, kPsmCt32, 6, 6, true, kTfxModulate))
            .Set(kRegTex1_1, rnd(2) ? 0x60 : 0);
        RandomTriangles(p, rnd, count, w, h, textured);
    };
    auto picture = [&]() {
        p.Set(kRegFrame_1, Frame(kPicturePage, 1, kPsmCt32))
            .Set(kRegScissor_1, Scissor(0, 63, 0, 63))
            .Set(kRegTest_1, TestReg(false, kZtstAlways));
        triangles(60, 64, 64, false);
    };
    auto copy = [&](bool filtered, bool repeat) {
        p.Set(kRegFrame_1, Frame(kCopyPage, kW / 64, kPsmCt32))
            .Set(kRegScissor_1, Scissor(0, kW - 1, 0, kH - 1))
            .Set(kRegTest_1, TestReg(false, kZtstAlways))
            // 1024 rows: the copy's own buffer lies inside them, past the rows the sprite reads.
            .Set(kRegTex0_1, Tex0(kFramePage * 32, kW / 64, kPsmCt32, 10, 10, true, kTfxModulate))
            .Set(kRegTex1_1, filtered ? 0x60 : 0)
            .Set(kRegClamp_1, repeat ? 0 : 5)  // repeated or clamped on both axes
            .Set(kRegPrim, Prim(kPrimSprite, false, true, false, false, true))
            .Set(kRegRgbaq, Rgbaq(128, 128, 128, 128))
            .Set(kRegUv, Uv(filtered ? 8 : 0, repeat ? 32 : 0))
            .Set(kRegXyz2, Xyz(0, 0, 0))
            .Set(kRegUv, Uv(kW * 16, kH * 16 + (repeat ? 32 : 0)))
            .Set(kRegXyz2, Xyz(int(kW) * 16, int(kH) * 16, 0));
    };
    for (int round = 0; round < 3; ++round) {
        screen();
        f.Sprite(p, 0, 0, int(kW), int(kH), 0x80102030u + uint32_t(round), 0);
        triangles(600, int(kW), int(kH), false);
        picture();
        screen();
        triangles(300, int(kW), int(kH), true);
        picture();  // over the picture the triangles just queued still read
        screen();
        triangles(300, int(kW), int(kH), true);
        copy(round == 1, round == 2);
        f.Send(p);
        p = AdPacket();
    }
    if (stats && f.gs->Bands()) *stats = f.gs->Bands()->Statistics();
    f.gs->Flush();
    const uint8_t* d = f.gs->Memory().Data();
    return std::vector<uint8_t>(d, d + LocalMemory::kSize);
}

TEST(GsThreads, PicturesAndCopiesKeepTheirOrderAtEveryThreadCount) {
    for (uint32_t seed : {7u, 1234u}) {
        const std::vector<uint8_t> one = DrawRounds(1, seed);
        // The copy holds the screen's last round (nothing of the first clear is left in it).
        size_t copied = 0;
        for (uint32_t i = 0; i < kW * kH * 4; i += 4) copied += one[320 * 8192 + i] != 0 ? 1 : 0;
        EXPECT_GT(copied, kW * kH / 2) << "the copy holds a screen";
        for (int threads : {2, 3, 4, 8}) {
            EXPECT_TRUE(DrawRounds(threads, seed) == one) << threads << " threads, seed " << seed;
            RasterBands::Stats st;
            EXPECT_TRUE(DrawRounds(threads, seed, &st, true) == one) << threads << " threads, held";
            // Queued behind each other, not drained by the caller, and nothing drawn by the caller alone.
            using W = RasterBands::Wait;
            EXPECT_GT(st.dependencies[int(W::kReadAfterWrite)], 0u) << threads << " threads";
            EXPECT_GT(st.dependencies[int(W::kWriteAfterRead)], 0u) << threads << " threads";
            EXPECT_EQ(st.requests[int(W::kReadAfterWrite)] + st.requests[int(W::kWriteAfterRead)] +
                          st.requests[int(W::kAlone)],
                      0u)
                << threads << " threads";
        }
    }
}

// A frame's start: the last screen copied into another buffer (a sprite reading a buffer nothing queued has
// drawn), then many textured triangles drawn over the screen it read. They wait for the copy alone: one
// dependency shared by all of them, not one each for every texture read queued since.
std::vector<uint8_t> CopyThenDrawOver(int threads, uint32_t seed, RasterBands::Stats* stats = nullptr) {
    constexpr uint32_t kCopyPage = 320;
    Fixture f(threads);
    Rng rnd{seed};
    LocalMemory& mem = f.gs->Memory();
    for (uint32_t i = 0; i < kW * kH * 4; ++i)
        mem.Write8(kFramePage * LocalMemory::kPageBytes + i, uint8_t(rnd(256)));
    for (uint32_t i = 0; i < 64 * 64 * 4; ++i)
        mem.Write8(kPicturePage * LocalMemory::kPageBytes + i, uint8_t(rnd(256)));
    AdPacket p;
    p.Set(kRegFrame_1, Frame(kCopyPage, kW / 64, kPsmCt32))
        .Set(kRegScissor_1, Scissor(0, kW - 1, 0, kH - 1))
        .Set(kRegTest_1, TestReg(false, kZtstAlways))
        .Set(kRegTex0_1, Tex0(kFramePage * 32, kW / 64, kPsmCt32, 10, 9, true, kTfxModulate))
        .Set(kRegTex1_1, 0)
        .Set(kRegClamp_1, 5)
        .Set(kRegPrim, Prim(kPrimSprite, false, true, false, false, true))
        .Set(kRegRgbaq, Rgbaq(128, 128, 128, 128))
        .Set(kRegUv, Uv(0, 0))
        .Set(kRegXyz2, Xyz(0, 0, 0))
        .Set(kRegUv, Uv(kW * 16, kH * 16))
        .Set(kRegXyz2, Xyz(int(kW) * 16, int(kH) * 16, 0));
    p.Set(kRegFrame_1, Frame(kFramePage, kW / 64, kPsmCt32))
        .Set(kRegTex0_1, Tex0(kPicturePage * 32, 1, kPsmCt32, 6, 6, true, kTfxModulate));
    for (int i = 0; i < 1500; ++i) {
        p.Set(kRegTex1_1, rnd(2) ? 0x60 : 0)
            .Set(kRegPrim, Prim(kPrimTriangle, true, true, false, false, true));
        const int cx = int(rnd(kW * 16)), cy = int(rnd(kH * 16));
        for (int v = 0; v < 3; ++v)
            p.Set(kRegUv, Uv(rnd(64 * 16), rnd(64 * 16)))
                .Set(kRegRgbaq, Rgbaq(rnd(256), rnd(256), rnd(256), rnd(256)))
                .Set(kRegXyz2, Xyz(cx + int(rnd(600)) - 300, cy + int(rnd(600)) - 300, 0));
    }
    f.Send(p);
    if (stats && f.gs->Bands()) *stats = f.gs->Bands()->Statistics();
    f.gs->Flush();
    const uint8_t* d = f.gs->Memory().Data();
    return std::vector<uint8_t>(d, d + LocalMemory::kSize);
}

TEST(GsThreads, DrawingOverACopysSourceWaitsForTheCopyAlone) {
    const std::vector<uint8_t> one = CopyThenDrawOver(1, 99);
    for (int threads : {2, 4}) {
        RasterBands::Stats st;
        EXPECT_TRUE(CopyThenDrawOver(threads, 99, &st) == one) << threads << " threads";
        using W = RasterBands::Wait;
        EXPECT_EQ(st.requests[int(W::kWriteAfterRead)], 0u) << threads << " threads";
        EXPECT_LE(st.dependencyRecords, 1u) << threads << " threads";
    }
}

// Texture uploads in the middle of a frame's drawing, over bytes queued primitives still read or draw:
// a 32-bit texture and an 8-bit one with its palette (the palette's bytes share a block with the texture's
// last row) sent again while triangles reading them wait; a picture drawn, part of it overwritten by an
// upload while its drawing waits, a palette and a small 8-bit texture sent over other parts and used, then
// the picture read; the 8-bit texels sent again unchanged. The caller waits for none of it; a read back to
// the host at the end sees everything drawn.
struct Uploaded {
    std::vector<uint8_t> memory, readBack;
    RasterBands::Stats stats;
};
Uploaded UploadRounds(int threads, uint32_t seed, bool held = false) {
    constexpr uint32_t kTex32 = 300 * 32, kTex8 = 304 * 32, kPal = kTex8 + 16, kPal2 = kPicturePage * 32 + 8,
                       kSmall8 = kPicturePage * 32 + 32;
    Fixture f(threads);
    if (held && f.gs->Bands()) f.gs->Bands()->SetHeld(true);
    Rng rnd{seed};
    std::vector<uint32_t> texels32(64 * 64), pal(256), pal2(256);
    std::vector<uint8_t> texels8(64 * 64);
    auto fill = [&]() {
        for (uint32_t& t : texels32) t = rnd(1u << 24) * 0x9E3779B1u;
        for (uint8_t& t : texels8) t = uint8_t(rnd(256));
        for (uint32_t& c : pal) c = rnd(1u << 24) * 0x85EBCA6Bu;
        for (uint32_t& c : pal2) c = rnd(1u << 24) * 0xC2B2AE35u;
    };
    auto upload = [&]() {
        f.Upload(kTex32, 1, kPsmCt32, 64, 64, texels32.data(), texels32.size() * 4);
        f.Upload(kPal, 0, kPsmCt32, 16, 16, pal.data(), pal.size() * 4);
        f.Upload(kTex8, 1, kPsmT8, 64, 64, texels8.data(), texels8.size());
    };
    fill();
    upload();
    AdPacket p;
    auto screen = [&]() { DepthTestedScreen(p); };
    auto triangles = [&](int count, int w, int h, uint64_t tex0) {
        p.Set(kRegTex0_1, tex0).Set(kRegTex1_1, rnd(2) ? 0x60 : 0);
        RandomTriangles(p, rnd, count, w, h, true);
    };
    const uint64_t tex32 = Tex0(kTex32, 1, kPsmCt32, 6, 6, true, kTfxModulate);
    auto tex8 = [&](uint32_t palette) {
        return Tex0(kTex8, 1, kPsmT8, 6, 6, true, kTfxModulate, palette, kPsmCt32, 0, 0, 1);
    };
    auto send = [&]() {
        f.Send(p);
        p = AdPacket();
    };
    for (int round = 0; round < 3; ++round) {
        screen();
        f.Sprite(p, 0, 0, int(kW), int(kH), 0x80102030u + uint32_t(round), 0);
        triangles(300, int(kW), int(kH), tex32);
        triangles(300, int(kW), int(kH), tex8(kPal));
        send();
        const std::vector<uint8_t> same = texels8;
        fill();
        if (round == 2) texels8 = same;  // sent again unchanged
        upload();
        screen();
        triangles(200, int(kW), int(kH), tex32);
        triangles(200, int(kW), int(kH), tex8(kPal));
        // A picture: drawn, then rows 16-31 overwritten and a palette sent over rows 2-3 while it waits.
        p.Set(kRegFrame_1, Frame(kPicturePage, 1, kPsmCt32))
            .Set(kRegScissor_1, Scissor(0, 63, 0, 63))
            .Set(kRegTest_1, TestReg(false, kZtstAlways));
        triangles(100, 64, 64, tex32);
        send();
        f.StartUpload(kPicturePage * 32, 1, kPsmCt32, 64, 16, 0, 16);
        f.Send(ImagePacket(texels32.data(), 64 * 16 * 4));
        f.Upload(kPal2, 0, kPsmCt32, 16, 16, pal2.data(), pal2.size() * 4);
        // And a 32 x 32 8-bit texture over rows 32-39 of the picture, its rows 64 bytes apart.
        f.Upload(kSmall8, 1, kPsmT8, 32, 32, texels8.data(), 32 * 32);
        screen();
        triangles(200, int(kW), int(kH), tex8(kPal2));
        triangles(100, int(kW), int(kH),
                  Tex0(kSmall8, 1, kPsmT8, 5, 5, true, kTfxModulate, kPal, kPsmCt32, 0, 0, 1));
        triangles(200, int(kW), int(kH), Tex0(kPicturePage * 32, 1, kPsmCt32, 6, 6, true, kTfxModulate));
        send();
    }
    Uploaded out;
    if (f.gs->Bands()) out.stats = f.gs->Bands()->Statistics();
    // Read back while the last triangles may still be queued.
    p.Set(kRegBitbltbuf, Bitbltbuf(kFramePage * 32, kW / 64, kPsmCt32, 0, 0, 0))
        .Set(kRegTrxpos, Trxpos(100, 50, 0, 0))
        .Set(kRegTrxreg, Trxreg(300, 200))
        .Set(kRegTrxdir, kXdirLocalToHost);
    send();
    out.readBack.resize(300 * 200 * 4);
    EXPECT_EQ(f.gs->ReadImage(out.readBack.data(), out.readBack.size()), out.readBack.size());
    const uint8_t* d = f.gs->Memory().Data();
    out.memory.assign(d, d + LocalMemory::kSize);
    return out;
}

TEST(GsThreads, UploadsOverWhatQueuedPrimitivesUseAreQueuedBehindThem) {
    for (uint32_t seed : {11u, 2024u}) {
        const Uploaded one = UploadRounds(1, seed);
        for (uint32_t y = 0; y < 200; y += 7)
            for (uint32_t x = 0; x < 300; x += 5) {
                uint32_t back, drawn;
                std::memcpy(&back, one.readBack.data() + (y * 300 + x) * 4, 4);
                std::memcpy(&drawn, one.memory.data() + ((50 + y) * kW + 100 + x) * 4, 4);
                ASSERT_EQ(back, drawn) << x << "," << y;
            }
        for (int threads : {2, 3, 4, 8}) {
            const Uploaded many = UploadRounds(threads, seed);
            EXPECT_TRUE(many.memory == one.memory) << threads << " threads, seed " << seed;
            EXPECT_TRUE(many.readBack == one.readBack) << threads << " threads, seed " << seed;
            const Uploaded held = UploadRounds(threads, seed, true);
            EXPECT_TRUE(held.memory == one.memory && held.readBack == one.readBack) << threads << " held";
            using W = RasterBands::Wait;
            EXPECT_EQ(many.stats.requests[int(W::kTransfer)] + many.stats.requests[int(W::kPalette)] +
                          many.stats.requests[int(W::kTexture)],
                      0u)
                << threads << " threads";
            const RasterBands::Stats& st = held.stats;
            EXPECT_GE(st.transfers, 9u) << threads << " threads";
            EXPECT_GT(st.dependencies[int(W::kTransfer)], 0u) << threads << " threads";
            EXPECT_EQ(st.requests[int(W::kTransfer)] + st.requests[int(W::kPalette)] +
                          st.requests[int(W::kTexture)] + st.requests[int(W::kAlone)],
                      0u)
                << threads << " threads";
        }
    }
}

// Textures read all over the screen, then a small picture drawn over one of them, a triangle at a time
// between triangles reading the other: the picture waits for the readers of the texture it covers only,
// all its triangles sharing one dependency.
std::vector<uint8_t> DrawOverOneTexture(int threads, RasterBands::Stats* stats) {
    constexpr uint32_t kTexA = kPicturePage * 32, kTexB = 300 * 32;
    Fixture f(threads);
    if (stats && f.gs->Bands()) f.gs->Bands()->SetHeld(true);
    Rng rnd{77};
    LocalMemory& mem = f.gs->Memory();
    for (uint32_t i = 0; i < 2 * LocalMemory::kPageBytes; ++i) {
        mem.Write8(kTexA * 256 + i, uint8_t(rnd(256)));
        mem.Write8(kTexB * 256 + i, uint8_t(rnd(256)));
    }
    AdPacket p;
    auto triangle = [&](int w, int h, uint32_t tex) {
        p.Set(kRegTex0_1, Tex0(tex, 1, kPsmCt32, 6, 6, true, kTfxModulate))
            .Set(kRegPrim, Prim(kPrimTriangle, true, true, false, false, true));
        const int cx = int(rnd(uint32_t(w) * 16)), cy = int(rnd(uint32_t(h) * 16));
        for (int v = 0; v < 3; ++v)
            p.Set(kRegUv, Uv(rnd(64 * 16), rnd(64 * 16)))
                .Set(kRegRgbaq, Rgbaq(rnd(256), rnd(256), rnd(256), rnd(256)))
                .Set(kRegXyz2, Xyz(cx + int(rnd(400)) - 200, cy + int(rnd(400)) - 200, 0));
    };
    auto target = [&](uint32_t page, uint32_t width, uint32_t w, uint32_t h) {
        p.Set(kRegFrame_1, Frame(page, width / 64, kPsmCt32)).Set(kRegScissor_1, Scissor(0, w - 1, 0, h - 1));
    };
    p.Set(kRegTest_1, TestReg(false, kZtstAlways));
    target(kFramePage, kW, kW, kH);
    for (int i = 0; i < 400; ++i) triangle(int(kW), int(kH), i % 2 ? kTexA : kTexB);
    for (int i = 0; i < 300; ++i) {
        target(kPicturePage, 64, 64, 32);  // the top half of texture A's bytes
        triangle(64, 32, kTexB);
        target(kFramePage, kW, kW, kH);
        triangle(int(kW), int(kH), kTexB);
    }
    f.Send(p);
    if (stats && f.gs->Bands()) *stats = f.gs->Bands()->Statistics();
    const uint8_t* d = f.gs->Memory().Data();
    return std::vector<uint8_t>(d, d + LocalMemory::kSize);
}

TEST(GsThreads, DrawingOverATextureWaitsForItsReadersAlone) {
    const std::vector<uint8_t> one = DrawOverOneTexture(1, nullptr);
    for (int threads : {2, 4}) {
        EXPECT_TRUE(DrawOverOneTexture(threads, nullptr) == one) << threads << " threads";
        RasterBands::Stats st;  // (the workers held back)
        EXPECT_TRUE(DrawOverOneTexture(threads, &st) == one) << threads << " threads";
        using W = RasterBands::Wait;
        EXPECT_GT(st.dependencies[int(W::kWriteAfterRead)], 0u) << threads << " threads";
        EXPECT_EQ(st.requests[int(W::kWriteAfterRead)], 0u) << threads << " threads";
        EXPECT_LE(st.dependencyRecords, 2u) << threads << " threads";
    }
}

// Long runs of triangles drawn with one state (what a primitive's claim repeats from the one before), with
// what the queue keeps changed between two of them while the state stays: the texture they read sent again,
// a rectangle of the screen sent over what they draw (a layout of its own), a picture drawn elsewhere and
// read, and the depth buffer's rows sent over. `quick` off works out every claim afresh.
std::vector<uint8_t> OneStateRuns(int threads, uint32_t seed, bool quick, RasterBands::Stats* stats) {
    Fixture f(threads);
    if (f.gs->Bands()) {
        f.gs->Bands()->SetQuickClaims(quick);
        if (stats) f.gs->Bands()->SetHeld(true);
    }
    Rng rnd{seed};
    std::vector<uint32_t> texels(64 * 64), rect(64 * 32);
    auto fill = [&](std::vector<uint32_t>& v) {
        for (uint32_t& t : v) t = rnd(1u << 24) * 0x9E3779B1u;
    };
    fill(texels);
    f.Upload(kTexBlock, 1, kPsmCt32, 64, 64, texels.data(), texels.size() * 4);
    AdPacket p;
    auto state = [&](uint64_t tex0) {
        DepthTestedScreen(p);
        p.Set(kRegTex0_1, tex0)
            .Set(kRegTex1_1, 0)
            .Set(kRegPrim, Prim(kPrimTriangle, true, true, false, false, true));
    };
    // Triangles with nothing but their vertices in between: the state stays as it was.
    auto run = [&](int count, int w, int h) {
        for (int i = 0; i < count; ++i) {
            const uint32_t size = rnd(8) == 0 ? 2400 : 200;
            const int cx = int(rnd(uint32_t(w) * 16)), cy = int(rnd(uint32_t(h) * 16));
            for (int v = 0; v < 3; ++v)
                p.Set(kRegUv, Uv(rnd(64 * 16), rnd(64 * 16)))
                    .Set(kRegRgbaq, Rgbaq(rnd(256), rnd(256), rnd(256), rnd(256)))
                    .Set(kRegXyz2, Xyz(cx + int(rnd(size)) - int(size / 2),
                                       cy + int(rnd(size)) - int(size / 2), rnd(1u << 24)));
        }
        f.Send(p);
        p = AdPacket();
    };
    const uint64_t tex = Tex0(kTexBlock, 1, kPsmCt32, 6, 6, true, kTfxModulate);
    for (int round = 0; round < 3; ++round) {
        state(tex);
        run(150, int(kW), int(kH));
        fill(texels);
        f.Upload(kTexBlock, 1, kPsmCt32, 64, 64, texels.data(), texels.size() * 4);  // read after it is sent
        run(150, int(kW), int(kH));
        fill(rect);
        f.StartUpload(kFramePage * 32, kW / 64, kPsmCt32, 64, 32, 64 * uint32_t(round + 1), 100);
        f.Send(ImagePacket(rect.data(), rect.size() * 4));  // drawn over after it is sent
        run(150, int(kW), int(kH));
        fill(rect);
        f.StartUpload(kDepthPage * 32, kW / 64, kPsmZ24, 64, 32, 200, 64 * uint32_t(round + 1));
        f.Send(ImagePacket(rect.data(), rect.size() * 4));
        run(150, int(kW), int(kH));
        // A picture drawn and read, then the texture again.
        p.Set(kRegFrame_1, Frame(kPicturePage, 1, kPsmCt32))
            .Set(kRegScissor_1, Scissor(0, 63, 0, 63))
            .Set(kRegTest_1, TestReg(false, kZtstAlways))
            .Set(kRegTex0_1, tex)
            .Set(kRegPrim, Prim(kPrimTriangle, true, true, false, false, true));
        run(40, 64, 64);
        state(Tex0(kPicturePage * 32, 1, kPsmCt32, 6, 6, true, kTfxModulate));
        run(100, int(kW), int(kH));
    }
    if (stats && f.gs->Bands()) *stats = f.gs->Bands()->Statistics();
    f.gs->Flush();
    const uint8_t* d = f.gs->Memory().Data();
    return std::vector<uint8_t>(d, d + LocalMemory::kSize);
}

// A frame and its depth buffer (page 8), and a picture drawn with the same depth buffer into page 9: its
// rows 16-23 are the depth buffer's rows 48-55, which the frame's last sprite then writes. That sprite is
// queued behind the picture's, whose rows lie in another band. Drawn twice, with a flush between: the
// second time the picture's layout comes back exactly as it was (the workers held back, so that what is
// queued is not drawn yet when the next primitive comes).
std::vector<uint8_t> DepthOverPictureTwice(int threads, uint64_t* waits) {
    Fixture f(threads);
    if (f.gs->Bands()) f.gs->Bands()->SetHeld(true);
    AdPacket p;
    p.Set(kRegZbuf_1, Zbuf(8, kPsmZ24, false)).Set(kRegTest_1, TestReg(true, kZtstAlways));
    using W = RasterBands::Wait;
    uint64_t before = 0;
    for (int round = 0; round < 2; ++round) {
        p.Set(kRegFrame_1, Frame(0, 1, kPsmCt32));
        f.Sprite(p, 0, 0, 64, 24, 0x11111111u, 100);
        f.Sprite(p, 0, 0, 64, 24, 0x22222222u, 200);
        p.Set(kRegFrame_1, Frame(9, 1, kPsmCt32));
        f.Sprite(p, 0, 16, 64, 24, 0x33333333u, 300);
        p.Set(kRegFrame_1, Frame(0, 1, kPsmCt32));
        f.Sprite(p, 0, 48, 64, 56, 0x44444444u, 0x123456u + uint32_t(round));
        f.Send(p);
        p = AdPacket();
        if (RasterBands* b = f.gs->Bands()) {
            const uint64_t n = b->Statistics().dependencies[int(W::kWriteAfterRead)];
            if (round == 1) *waits = n - before;
            before = n;
        }
        f.gs->Flush();
    }
    const uint8_t* d = f.gs->Memory().Data();
    return std::vector<uint8_t>(d, d + 10 * LocalMemory::kPageBytes);
}

TEST(GsThreads, LayoutsMadeAgainAfterAFlushKeepTheirOrder) {
    uint64_t none = 0;
    const std::vector<uint8_t> one = DepthOverPictureTwice(1, &none);
    uint32_t depth;
    std::memcpy(&depth, &one[9 * LocalMemory::kPageBytes + 16 * 256], 4);
    EXPECT_EQ(depth & 0xFFFFFFu, 0x123457u) << "the depth written last lies over the picture";
    for (int threads : {2, 4}) {
        uint64_t waits = 0;
        EXPECT_TRUE(DepthOverPictureTwice(threads, &waits) == one) << threads << " threads";
        EXPECT_EQ(waits, 1u) << threads << " threads: the second time too, queued behind the picture";
    }
}

TEST(GsThreads, ClaimsRepeatedForOneStateQueueWhatFreshOnesDo) {
    for (uint32_t seed : {5u, 808u}) {
        const std::vector<uint8_t> one = OneStateRuns(1, seed, true, nullptr);
        for (int threads : {2, 4}) {
            EXPECT_TRUE(OneStateRuns(threads, seed, true, nullptr) == one) << threads << " threads";
            RasterBands::Stats quick, fresh;  // (the workers held back)
            EXPECT_TRUE(OneStateRuns(threads, seed, true, &quick) == one) << threads << " threads, held";
            EXPECT_TRUE(OneStateRuns(threads, seed, false, &fresh) == one) << threads << " threads, fresh";
            EXPECT_GT(quick.quickClaims, quick.commands / 2) << threads << " threads";
            EXPECT_EQ(fresh.quickClaims, 0u);
            // The same primitives queued behind the same ones, the caller waiting as often.
            using W = RasterBands::Wait;
            for (int w = 0; w < int(W::kCount); ++w) {
                EXPECT_EQ(quick.dependencies[w], fresh.dependencies[w]) << threads << " threads, why " << w;
                EXPECT_EQ(quick.requests[w], fresh.requests[w]) << threads << " threads, why " << w;
            }
            EXPECT_EQ(quick.dependencyRecords, fresh.dependencyRecords) << threads << " threads";
            EXPECT_EQ(quick.commands, fresh.commands) << threads << " threads";
            EXPECT_EQ(quick.listed, fresh.listed) << threads << " threads";
            // What the runs must wait for: the texture sent again, the rectangles sent over the screen.
            EXPECT_GT(quick.dependencies[int(W::kReadAfterWrite)], 0u) << threads << " threads";
            EXPECT_GT(quick.dependencies[int(W::kWriteAfterRead)], 0u) << threads << " threads";
            EXPECT_GE(quick.transfers, 6u) << threads << " threads";
        }
    }
}

// Runs of a few small triangles drawn with one state, each far from the one before (what one claim marks
// as written does not meet what the claims before it marked), each run followed by small textures read from
// rows of the screen it drew (one run's triangles drawn there or not) into a buffer of their own, which the
// next run may draw over in turn, the queue drained now and then. A read of rows one triangle alone drew
// must still wait for it, however its claim was made. `quick` off works out every claim afresh.
std::vector<uint8_t> ScatteredRuns(int threads, uint32_t seed, bool quick, RasterBands::Stats* stats) {
    constexpr uint32_t kReadPage = 320;
    Fixture f(threads);
    if (f.gs->Bands()) {
        f.gs->Bands()->SetQuickClaims(quick);
        if (stats) f.gs->Bands()->SetHeld(true);
    }
    Rng rnd{seed};
    AdPacket p;
    DepthTestedScreen(p);
    f.Sprite(p, 0, 0, int(kW), int(kH), 0x80102030u, 0);
    for (int round = 0; round < 40; ++round) {
        DepthTestedScreen(p);
        p.Set(kRegPrim, Prim(kPrimTriangle, true, false, false, false, true));
        for (int i = 0; i < 10; ++i) {
            // A few pixels across, anywhere on the screen.
            const int cx = int(rnd(kW * 16)), cy = int(rnd(kH * 16));
            for (int v = 0; v < 3; ++v)
                p.Set(kRegRgbaq, Rgbaq(rnd(256), rnd(256), rnd(256), 128))
                    .Set(kRegXyz2, Xyz(cx + int(rnd(64)) - 32, cy + int(rnd(64)) - 32, rnd(1u << 24)));
        }
        // Eight rows of the screen read as an 8 x 8 texture (its rows the screen's apart), drawn into the
        // other buffer's rows.
        const uint32_t row = rnd(kH - 8);
        p.Set(kRegFrame_1, Frame(kReadPage, kW / 64, kPsmCt32))
            .Set(kRegScissor_1, Scissor(0, kW - 1, 0, kH - 1))
            .Set(kRegTest_1, TestReg(false, kZtstAlways))
            .Set(kRegTex0_1,
                 Tex0(kFramePage * 32 + row * (kW * 4 / 256), kW / 64, kPsmCt32, 3, 3, true, kTfxModulate))
            .Set(kRegTex1_1, 0)
            .Set(kRegClamp_1, 5);
        RandomTriangles(p, rnd, 3, int(kW), int(kH), true);
        f.Send(p);
        p = AdPacket();
        // Every few rounds the queue drains, so that a read meets only what the runs since have marked.
        if (round % 4 == 3) f.gs->Flush();
    }
    if (stats && f.gs->Bands()) *stats = f.gs->Bands()->Statistics();
    f.gs->Flush();
    const uint8_t* d = f.gs->Memory().Data();
    return std::vector<uint8_t>(d, d + LocalMemory::kSize);
}

TEST(GsThreads, ScatteredClaimsOfOneStateMarkWhatTheyDraw) {
    for (uint32_t seed : {9u, 4242u}) {
        const std::vector<uint8_t> one = ScatteredRuns(1, seed, true, nullptr);
        for (int threads : {2, 4}) {
            EXPECT_TRUE(ScatteredRuns(threads, seed, true, nullptr) == one) << threads << " threads";
            RasterBands::Stats quick, fresh;  // (the workers held back)
            EXPECT_TRUE(ScatteredRuns(threads, seed, true, &quick) == one) << threads << " threads, held";
            EXPECT_TRUE(ScatteredRuns(threads, seed, false, &fresh) == one) << threads << " threads, fresh";
            EXPECT_GT(quick.quickClaims, quick.commands / 3) << threads << " threads";
            // Every read of rows a triangle drew waits for it, as when each claim is made afresh.
            using W = RasterBands::Wait;
            for (int w = 0; w < int(W::kCount); ++w) {
                EXPECT_EQ(quick.dependencies[w], fresh.dependencies[w]) << threads << " threads, why " << w;
                EXPECT_EQ(quick.requests[w], fresh.requests[w]) << threads << " threads, why " << w;
            }
            EXPECT_EQ(quick.dependencyRecords, fresh.dependencyRecords) << threads << " threads";
            EXPECT_EQ(quick.listed, fresh.listed) << threads << " threads";
            EXPECT_GT(quick.dependencies[int(W::kReadAfterWrite)], 0u) << threads << " threads";
        }
    }
}

TEST(GsThreads, TheDefaultCountFitsTheMachine) {
    const int n = GsDevice::DefaultRasterThreads();
    EXPECT_GE(n, 1);
    EXPECT_LE(n, 4);
    cpu_set_t set;
    CPU_ZERO(&set);
    ASSERT_EQ(sched_getaffinity(0, sizeof set, &set), 0);
    EXPECT_LE(n, CPU_COUNT(&set)) << "no more threads than processors the program may use";
}

}  // namespace
}  // namespace gstest
