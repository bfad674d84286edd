// Image transfers and malformed input: nothing may crash or write outside local memory, and the bad
// part is logged.
#include <gtest/gtest.h>

#include "console/gs/gs_library.h"
#include "console/gs/rasterizer_palette.h"
#include "gs_test_util.h"

namespace gstest {
namespace {

uint64_t HashMemory(const LocalMemory& m) {
    uint64_t h = 1469598103934665603ull;
    for (uint32_t i = 0; i < LocalMemory::kSize; i += 8) {
        uint64_t v;
        std::memcpy(&v, m.Data() + i, 8);
        h = (h ^ v) * 1099511628211ull;
    }
    return h;
}

TEST(GsTransfer, UploadLandsAtItsRectangleAndDiscardsTheRest) {
    Fixture f;
    // A 4 x 2 rectangle at (3, 5) of a buffer 64 pixels wide, fed 64 pixels: the extra 56 go nowhere (as
    // with a palette upload that sends more colours than its 16 x 16 rectangle).
    std::vector<uint32_t> data(64);
    for (uint32_t i = 0; i < 64; ++i) data[i] = 0xA0000000u + i;
    f.StartUpload(0x40, 1, kPsmCt32, 4, 2, 3, 5);
    LogCapture log;
    f.Send(ImagePacket(data.data(), data.size() * 4));
    EXPECT_TRUE(log.lines().empty());
    const LocalMemory& m = f.gs->Memory();
    for (uint32_t y = 0; y < 8; ++y)
        for (uint32_t x = 0; x < 8; ++x) {
            const bool in = x >= 3 && x < 7 && y >= 5 && y < 7;
            EXPECT_EQ(m.ReadPixel(0x40, 1, kPsmCt32, x, y), in ? 0xA0000000u + (y - 5) * 4 + (x - 3) : 0u);
        }
    uint32_t nonzero = 0;
    for (uint32_t i = 0; i < LocalMemory::kSize; i += 4) nonzero += m.Read32(i) != 0;
    EXPECT_EQ(nonzero, 8u);
}

TEST(GsTransfer, UploadSplitAcrossPacketsAndOddSizes) {
    Fixture f;
    // 5 x 3 of 24-bit: 45 bytes arrive in three IMAGE packets of 16, 16 and 16 bytes.
    std::vector<uint8_t> rgb(48);
    for (int i = 0; i < 48; ++i) rgb[i] = uint8_t(i + 1);
    f.StartUpload(0x40, 1, kPsmCt24, 5, 3);
    for (int k = 0; k < 3; ++k) f.Send(ImagePacket(rgb.data() + 16 * k, 16));
    const LocalMemory& m = f.gs->Memory();
    for (uint32_t i = 0; i < 15; ++i) {
        const uint32_t expect = uint32_t(rgb[3 * i]) | (rgb[3 * i + 1] << 8) | (rgb[3 * i + 2] << 16);
        EXPECT_EQ(m.ReadPixel(0x40, 1, kPsmCt24, i % 5, i / 5), expect) << i;
    }
}

TEST(GsTransfer, LocalToHostReadsBackWhatWasDrawn) {
    Fixture f;
    AdPacket p;
    f.Sprite(p, 0, 0, 64, 64, 0x01020304u, 0);
    f.Sprite(p, 10, 20, 13, 22, 0xAABBCCDDu, 0);
    f.Send(p);
    // Through the library call the screen dump uses: block address, buffer width, format, rectangle.
    sceGsStoreImage si;
    ASSERT_EQ(sceGsSetDefStoreImage(&si, 0, 1, kPsmCt32, 9, 19, 5, 4), 0);
    // The library works on the console's own device; copy our drawing there first.
    std::memcpy(Gs().Memory().Data(), f.gs->Memory().Data(), 64 * 64 * 4);
    std::vector<uint32_t> out(20, 0xDEADBEEFu);
    ASSERT_EQ(sceGsExecStoreImage(&si, out.data()), 0);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x) {
            const bool in = (9 + x) >= 10 && (9 + x) < 13 && (19 + y) >= 20 && (19 + y) < 22;
            EXPECT_EQ(out[y * 5 + x], in ? 0xAABBCCDDu : 0x01020304u) << x << "," << y;
        }
    Gs().Reset(true);
}

TEST(GsTransfer, LocalToLocalCopiesARectangle) {
    Fixture f;
    AdPacket p;
    f.Sprite(p, 2, 2, 4, 4, 0x77u, 0);
    p.Set(kRegBitbltbuf, Bitbltbuf(0, 1, kPsmCt32, 0, 1, kPsmCt32))
        .Set(kRegTrxpos, Trxpos(2, 2, 40, 50))
        .Set(kRegTrxreg, Trxreg(2, 2))
        .Set(kRegTrxdir, kXdirLocalToLocal);
    f.Send(p);
    EXPECT_EQ(f.Pixel(40, 50), 0x77u);
    EXPECT_EQ(f.Pixel(41, 51), 0x77u);
    EXPECT_EQ(f.Pixel(42, 51), 0u);
}

// An 8-bit texture's expansion against the image data sent over its texels (with threads the data may
// still wait in the queue, so memory is not looked at): data equal to its texels leaves it as it was, and
// makes a suspect one good once every row has come again; other data makes it suspect.
TEST(GsTransfer, UploadsOfTheSameTexelsKeepTheirPaletteExpansion) {
    std::vector<uint8_t> mem(LocalMemory::kSize);
    Rng rnd{9};
    for (auto& b : mem) b = uint8_t(rnd(256));
    uint32_t pal[256];
    for (auto& c : pal) c = rnd(1u << 24) * 0x9E3779B1u;
    DrawState st;
    st.textured = st.texFast = true;
    st.tpsm = kPsmT8;
    st.tw = st.th = 5;
    st.tbw = 1;  // rows 64 bytes apart, 32 used
    st.tBase = 0x20000;
    st.clut = pal;
    st.fbw = 1;
    st.scx1 = st.scy1 = 63;
    st.version = 1;
    uint64_t versions = 1;
    PaletteTextures textures;
    auto draw = [&]() {
        textures.BeforeDraw(st, versions, mem.data(), nullptr);
        return st.texels32;
    };
    const uint32_t* t = draw();
    ASSERT_NE(t, nullptr);
    const std::vector<uint8_t> texels(mem.begin() + st.tBase, mem.begin() + st.tBase + 32 * 64);

    // The same rows, in two pieces: nothing changes.
    textures.Uploaded(st.tBase, 64, 64, 16, texels.data());
    textures.Uploaded(st.tBase + 16 * 64, 64, 64, 16, texels.data() + 16 * 64);
    EXPECT_EQ(draw(), t);
    EXPECT_EQ(textures.Expansions(), 1u);
    EXPECT_EQ(textures.Confirmed(), 0u);

    // Made suspect, and memory no longer holding the texels (the data that restores them still queued):
    // sending them again row by row makes it good without reading memory, but only once every row came.
    textures.Written(st.tBase, 1);
    std::vector<uint8_t> queued(texels);
    for (uint32_t v = 0; v < 32; ++v) mem[st.tBase + v * 64] ^= 0xFF;
    for (uint32_t v = 0; v < 31; ++v) textures.Uploaded(st.tBase + v * 64, 32, 0, 1, queued.data() + v * 64);
    // 31 rows: still suspect, so memory is checked, found changed, and a new expansion made from it.
    EXPECT_NE(draw(), t);
    EXPECT_EQ(textures.Expansions(), 2u);
    for (uint32_t v = 0; v < 32; ++v) mem[st.tBase + v * 64] ^= 0xFF;
    textures.Written(st.tBase, 1);
    for (uint32_t v = 0; v < 32; ++v) mem[st.tBase + v * 64] ^= 0xFF;
    textures.Uploaded(st.tBase, 64, 64, 32, queued.data());
    const uint32_t* again = draw();
    EXPECT_EQ(textures.Expansions(), 2u);
    EXPECT_GE(textures.Confirmed(), 1u);
    for (uint32_t v = 0; v < 32; ++v)
        for (uint32_t u = 0; u < 32; ++u)
            ASSERT_EQ(again[v * 64 + u], pal[texels[v * 64 + u]]) << u << "," << v;

    // One texel different: suspect, and the texels in memory (now the new ones) expanded afresh.
    for (uint32_t v = 0; v < 32; ++v) mem[st.tBase + v * 64] ^= 0xFF;
    queued[5 * 64 + 7] ^= 0x11;
    textures.Uploaded(st.tBase, 64, 64, 32, queued.data());
    std::copy(queued.begin(), queued.end(), mem.begin() + st.tBase);
    const uint32_t* changed = draw();
    EXPECT_EQ(textures.Expansions(), 3u);
    EXPECT_EQ(changed[5 * 64 + 7], pal[queued[5 * 64 + 7]]);
    // Data only beside the texels' rows (the unused half of each) changes nothing.
    std::vector<uint8_t> beside(32, 0xEE);
    textures.Uploaded(st.tBase + 32, 32, 64, 1, beside.data());
    EXPECT_EQ(draw(), changed);
    EXPECT_EQ(textures.Expansions(), 3u);
}

TEST(GsMalformed, TransferOutsideLocalMemoryIsLoggedAndWritesNothing) {
    Fixture f;
    const uint64_t before = HashMemory(f.gs->Memory());
    LogCapture log;
    // Block 0x3FF0 is 4 KB before the end; 64 x 64 pixels of 32 bits need 16 KB.
    f.StartUpload(0x3FF0, 1, kPsmCt32, 64, 64);
    std::vector<uint32_t> data(64 * 64, 0xFFFFFFFFu);
    f.Send(ImagePacket(data.data(), data.size() * 4));
    EXPECT_TRUE(log.Contains("host-to-local transfer outside local memory"));
    EXPECT_EQ(log.lines().size(), 1u) << "the data of the refused transfer is dropped quietly";
    // Coordinates far down a wide buffer.
    f.StartUpload(0, 63, kPsmCt32, 47, 47, 2000, 2000);
    f.Send(ImagePacket(data.data(), 64));
    EXPECT_EQ(log.lines().size(), 2u);
    EXPECT_EQ(HashMemory(f.gs->Memory()), before);
}

TEST(GsMalformed, DrawingNearTheEndOfMemoryWrapsInsideIt) {
    // A frame buffer at the last page, 2048 pixels wide, drawn over its whole scissor: every address wraps
    // inside the 4 MiB (the sanitizer build would catch anything else).
    Fixture f;
    AdPacket p;
    p.Set(kRegFrame_1, Frame(511, 32, kPsmCt32)).Set(kRegZbuf_1, Zbuf(100, kPsmZ32, false));
    p.Set(kRegScissor_1, Scissor(0, 2047, 0, 2047)).Set(kRegTest_1, TestReg(true, kZtstGequal));
    f.Sprite(p, 0, 0, 2048, 8, 0x12345678u, 5);
    f.Send(p);
    EXPECT_EQ(f.gs->Memory().Read32(511 * 8192), 0x12345678u);
    EXPECT_EQ(f.gs->Memory().Read32(0), 0x12345678u) << "row 1 of the last page wraps to the start";
    AdPacket q;
    q.Set(kRegPrim, Prim(kPrimTriangle)).Set(kRegRgbaq, Rgbaq(0xBE, 0xBA, 0xFE, 0xCA));
    q.Set(kRegXyz2, Xyz(0, 0, 9)).Set(kRegXyz2, Xyz(4095 * 16, 0, 9)).Set(kRegXyz2, Xyz(0, 20 * 16, 9));
    f.Send(q);
    EXPECT_EQ(f.gs->Memory().Read32(511 * 8192 + 2047 * 4), 0xCAFEBABEu);
    EXPECT_EQ(f.gs->Memory().Read32(0), 0xCAFEBABEu);
}

TEST(GsMalformed, BadPacketsAreLoggedAndSkipped) {
    Fixture f;
    LogCapture log;
    AdPacket p;
    p.Set(0x7E, 123);  // no such register
    f.Sprite(p, 0, 0, 1, 1, 0x42u, 0);
    f.Send(p);
    EXPECT_TRUE(log.Contains("unknown register 0x7E"));
    EXPECT_EQ(f.Pixel(0, 0), 0x42u) << "the rest of the packet still runs";
    // PACKED descriptor 0xB is reserved.
    std::vector<Qw> q(4, Qw{0, kRegTexflush});
    const GifTag reserved = MakeGifTag(1, true, console::gif::kFlgPacked, 1, 0xB);
    std::memcpy(&q[0], &reserved, 16);
    f.Send(std::vector<Qw>(q.begin(), q.begin() + 2));
    EXPECT_TRUE(log.Contains("descriptor 0xB"));
    uint32_t data[4] = {1, 2, 3, 4};
    f.Send(ImagePacket(data, sizeof(data)));
    EXPECT_TRUE(log.Contains("IMAGE data with no host-to-local transfer"));
    f.gif.Write(7, data, 1);
    EXPECT_TRUE(log.Contains("unknown path 7"));
    // NLOOP 100 but only 3 quadwords follow: dropped at the end of the transfer, and the next packet runs.
    const GifTag tag = MakeGifTag(100, true, console::gif::kFlgPacked, 1, 0xE);
    std::memcpy(&q[0], &tag, 16);
    f.gif.Write(3, q.data(), q.size());
    EXPECT_TRUE(f.gif.InPacket(3));
    f.gif.EndTransfer(3);
    EXPECT_FALSE(f.gif.InPacket(3));
    EXPECT_TRUE(log.Contains("packet cut short"));
    AdPacket next;
    f.Sprite(next, 0, 0, 1, 1, 0x99u, 0);
    f.Send(next);
    EXPECT_EQ(f.Pixel(0, 0), 0x99u);
}

TEST(GsGif, ReglistPrePackedStqAndPathsInterleave) {
    Fixture f;
    // REGLIST: PRIM from the tag (PRE), then RGBAQ, XYZ2 pairs; NLOOP 3 x NREG 2 = 6 values in 3 qw.
    std::vector<Qw> q;
    const GifTag tag = MakeGifTag(3, true, console::gif::kFlgReglist, 2, 0x51, true, kPrimSprite);
    Qw t;
    std::memcpy(&t, &tag, 16);
    q.push_back(t);
    q.push_back(Qw{Rgbaq(5, 6, 7, 8), Xyz(16, 16, 0)});
    q.push_back(Qw{Rgbaq(5, 6, 7, 8), Xyz(48, 48, 0)});
    q.push_back(Qw{Rgbaq(1, 1, 1, 1), Xyz(0, 0, 0)});  // third loop: starts another sprite
    f.gif.Write(1, q.data(), q.size());
    EXPECT_EQ(f.Pixel(1, 1), 0x08070605u);
    EXPECT_EQ(f.Pixel(2, 2), 0x08070605u);
    EXPECT_EQ(f.Pixel(3, 3), 0u);
    EXPECT_FALSE(f.gif.InPacket(1));

    // PACKED ST carries Q to the next PACKED RGBAQ; an XYZ2 with the ADC bit completes the sprite without
    // drawing it, so of three vertices none draws.
    std::vector<Qw> r;
    const GifTag t2 = MakeGifTag(3, true, console::gif::kFlgPacked, 3, 0x512, true, kPrimSprite);
    std::memcpy(&t, &t2, 16);
    r.push_back(t);
    const float q2 = 2.0f;
    uint32_t qb;
    std::memcpy(&qb, &q2, 4);
    for (int i = 0; i < 3; ++i) {
        const uint64_t xy = uint64_t((20 + 2 * i) * 16) | (uint64_t((20 + 2 * i) * 16) << 32);
        r.push_back(Qw{0, uint64_t(qb)});                                   // ST: s 0, t 0, q 2
        r.push_back(Qw{9 | (uint64_t(9) << 32), 9 | (uint64_t(9) << 32)});  // RGBAQ
        r.push_back(Qw{xy, i == 1 ? (uint64_t(1) << 47) : 0});              // XYZ2, ADC on the second
    }
    f.gif.Write(2, r.data(), r.size());
    EXPECT_EQ(f.gs->ReadReg(kRegRgbaq) >> 32, qb);
    for (int i = 19; i < 26; ++i) EXPECT_EQ(f.Pixel(i, i), 0u) << i;
}

TEST(GsGif, PacketsArriveInPiecesAndPathsKeepTheirOwnPlace) {
    // As a texture upload chain delivers it: the IMAGE tag in one transfer, its data in the next. A PATH2
    // packet arriving in between does not disturb PATH3's half-read packet.
    Fixture f;
    f.StartUpload(0x40, 1, kPsmCt32, 4, 2);
    uint32_t pixels[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    const std::vector<Qw> image = ImagePacket(pixels, sizeof(pixels));  // tag + 2 quadwords
    f.gif.Write(3, image.data(), 1);
    EXPECT_TRUE(f.gif.InPacket(3));
    AdPacket other;
    f.Sprite(other, 0, 0, 1, 1, 0x55u, 0);
    const std::vector<Qw> o = other.Build();
    f.gif.Write(2, o.data(), o.size());
    f.gif.Write(3, image.data() + 1, 1);
    f.gif.Write(3, image.data() + 2, 1);
    EXPECT_FALSE(f.gif.InPacket(3));
    EXPECT_EQ(f.Pixel(0, 0), 0x55u);
    for (uint32_t i = 0; i < 8; ++i)
        EXPECT_EQ(f.gs->Memory().ReadPixel(0x40, 1, kPsmCt32, i % 4, i / 4), i + 1);
}

}  // namespace
}  // namespace gstest
