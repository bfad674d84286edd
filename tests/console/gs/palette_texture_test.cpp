// The expansions of 8-bit palette textures: made once per texture and palette, kept while the texels stay
// as they were, never for textures the primitive draws into or that cannot be read directly.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "console/gs/rasterizer_palette.h"
#include "gs_test_util.h"

namespace gstest {
namespace {

struct PaletteScene {
    std::vector<uint8_t> mem = std::vector<uint8_t>(LocalMemory::kSize);
    uint32_t pal[256];
    DrawState st;
    PaletteTextures textures;
    uint64_t versions = 1;

    PaletteScene() {
        Rng rnd{5};
        for (auto& b : mem) b = uint8_t(rnd(256));
        for (auto& c : pal) c = rnd(1u << 24) * 0x9E3779B1u;
        st.textured = st.texFast = true;
        st.tpsm = kPsmT8;
        st.tw = st.th = 5;
        st.tbw = 1;  // rows of 64 texels, 32 used
        st.tBase = 0x10000;
        st.clut = pal;
        st.fbBase = 0;
        st.fbw = 1;
        st.scx1 = st.scy1 = 63;
        st.version = versions;
    }
    const uint32_t* Draw() {
        textures.BeforeDraw(st, versions, mem.data(), nullptr);
        return st.texels32;
    }
    bool Matches(const uint32_t* t) const {
        for (uint32_t v = 0; v < 32; ++v)
            for (uint32_t u = 0; u < 32; ++u)
                if (t[v * 64 + u] != pal[mem[st.tBase + v * 64 + u]]) return false;
        return true;
    }
};

TEST(GsPaletteTextures, ExpandedOncePerTextureAndPaletteAndAgainWhenItsTexelsChange) {
    PaletteScene s;
    const uint32_t* t = s.Draw();
    ASSERT_NE(t, nullptr);
    EXPECT_TRUE(s.Matches(t));
    const uint64_t v = s.st.version;
    EXPECT_NE(v, 1u);  // the state changed: what was worked out from it must be again
    EXPECT_EQ(s.Draw(), t);
    EXPECT_EQ(s.st.version, v);
    EXPECT_EQ(s.textures.Expansions(), 1u);

    // Another palette (a palette load gives the state a new version), then the first one again.
    s.pal[s.mem[s.st.tBase + 3]] ^= 0x01000000u;
    s.st.version = ++s.versions;
    const uint32_t* t2 = s.Draw();
    EXPECT_TRUE(s.Matches(t2));
    EXPECT_EQ(s.textures.Expansions(), 2u);
    s.pal[s.mem[s.st.tBase + 3]] ^= 0x01000000u;
    s.st.version = ++s.versions;
    EXPECT_EQ(s.Draw(), t);
    EXPECT_EQ(s.textures.Expansions(), 2u);

    // Writes beside the texture keep it; writes over it that leave its texels as they were keep it too,
    // once they are found unchanged; a changed texel does not.
    s.textures.Written(s.st.tBase + 31 * 64 + 32, 32);
    s.textures.Written(s.st.tBase - 16, 16);
    EXPECT_EQ(s.Draw(), t);
    EXPECT_EQ(s.textures.Confirmed(), 0u);
    s.textures.Written(s.st.tBase + 31 * 64, 64);
    EXPECT_EQ(s.Draw(), t);
    EXPECT_EQ(s.textures.Confirmed(), 1u);
    EXPECT_EQ(s.textures.Expansions(), 2u);
    s.mem[s.st.tBase + 31 * 64 + 31] ^= 0x5A;
    s.textures.Written(s.st.tBase + 31 * 64 + 31, 1);
    EXPECT_TRUE(s.Matches(s.Draw()));
    EXPECT_EQ(s.textures.Expansions(), 3u);
    // A write wrapping round the end of local memory onto its first bytes.
    s.mem[s.st.tBase] ^= 0x33;
    s.textures.Written(LocalMemory::kSize - 8, 8 + s.st.tBase + 1);
    EXPECT_TRUE(s.Matches(s.Draw()));
    EXPECT_EQ(s.textures.Expansions(), 4u);
    s.textures.WrittenAnywhere();
    s.mem[s.st.tBase + 40] ^= 1;  // between the rows the texture uses
    EXPECT_TRUE(s.Matches(s.Draw()));
    EXPECT_EQ(s.textures.Expansions(), 4u);
    s.textures.WrittenAnywhere();
    s.mem[s.st.tBase + 64 + 20] ^= 1;
    EXPECT_TRUE(s.Matches(s.Draw()));
    EXPECT_EQ(s.textures.Expansions(), 5u);
}

TEST(GsPaletteTextures, PrimitivesDrawingOverATextureAreSeenAndNoneUsesItsOwnFrame) {
    PaletteScene s;
    const uint32_t* t = s.Draw();
    ASSERT_NE(t, nullptr);
    // An untextured state drawing over the texture's bytes: the next textured primitive expands anew.
    const DrawState textured = s.st;
    s.st = DrawState{};
    s.st.fbBase = textured.tBase - 256;
    s.st.fbw = 1;
    s.st.scy0 = 0;
    s.st.scy1 = 1;  // rows of 256 bytes: reaches 256 bytes into the texture
    s.st.scx1 = 63;
    s.st.version = ++s.versions;
    EXPECT_EQ(s.Draw(), nullptr);
    s.mem[textured.tBase + 5] ^= 0xFF;
    s.st = textured;
    s.st.version = ++s.versions;
    EXPECT_TRUE(s.Matches(s.Draw()));
    EXPECT_EQ(s.textures.Expansions(), 2u);
    // A state drawing into its own texture reads memory as it goes.
    s.st.fbBase = s.st.tBase;
    s.st.version = ++s.versions;
    EXPECT_EQ(s.Draw(), nullptr);
    // The depth buffer counts when depth is written.
    s.st.fbBase = 0;
    s.st.zte = true;
    s.st.zBase = s.st.tBase + 1024;
    s.st.version = ++s.versions;
    EXPECT_EQ(s.Draw(), nullptr);
    s.st.zmsk = true;
    s.st.version = ++s.versions;
    EXPECT_NE(s.Draw(), nullptr);
}

TEST(GsPaletteTextures, AFramesWorthOfTexturesIsKeptAndEachStillSeesWritesOverIt) {
    // A race frame goes through some seventy textures in turn: the second time round none is made again,
    // and each one, the last made as well as those found unchanged, is still made anew once its texels
    // change under it.
    PaletteScene s;
    constexpr int kTextures = 80;
    auto use = [&s](int i) {
        s.st.tBase = 0x10000 + uint32_t(i) * 0x1000;
        s.st.version = ++s.versions;
        return s.Draw();
    };
    for (int round = 0; round < 2; ++round)
        for (int i = 0; i < kTextures; ++i) EXPECT_TRUE(s.Matches(use(i))) << round << " " << i;
    EXPECT_EQ(s.textures.Expansions(), uint64_t(kTextures));
    for (int i : {kTextures - 1, 0, 37}) {
        const uint32_t at = 0x10000 + uint32_t(i) * 0x1000 + 5 * 64 + 7;
        s.mem[at] ^= 0x42;
        s.textures.Written(at, 1);
        EXPECT_TRUE(s.Matches(use(i))) << i;
    }
    EXPECT_EQ(s.textures.Expansions(), uint64_t(kTextures) + 3);
    // Uploaded again unchanged over all of them: found unchanged, not made again; then one drawn over.
    s.textures.Written(0x10000, kTextures * 0x1000);
    for (int i = 0; i < kTextures; ++i) EXPECT_TRUE(s.Matches(use(i)));
    EXPECT_EQ(s.textures.Expansions(), uint64_t(kTextures) + 3);
    const uint32_t at = 0x10000 + 12 * 0x1000 + 64;
    s.mem[at] ^= 0x18;
    s.textures.Written(at, 1);
    EXPECT_TRUE(s.Matches(use(12)));
    EXPECT_EQ(s.textures.Expansions(), uint64_t(kTextures) + 4);
}

TEST(GsPaletteTextures, TexelsSentAgainUnchangedKeepAnExpansionUnlessDrawnOverMeanwhile) {
    PaletteScene s;
    const uint32_t* t = s.Draw();
    ASSERT_NE(t, nullptr);
    const DrawState textured = s.st;
    auto send = [&s, &textured](uint32_t firstRow, uint32_t rows) {
        // Rows of 32 texels, 64 apart: the texture's own indices as they stand.
        std::vector<uint8_t> data(rows * 32);
        for (uint32_t r = 0; r < rows; ++r)
            std::memcpy(&data[r * 32], &s.mem[textured.tBase + (firstRow + r) * 64], 32);
        s.textures.Uploaded(textured.tBase + firstRow * 64, 32, 64, rows, data.data());
    };
    // Sent again whole: good again without being made anew.
    s.textures.Written(textured.tBase, 32 * 64);
    send(0, 32);
    EXPECT_EQ(s.Draw(), t);
    EXPECT_EQ(s.textures.Expansions(), 1u);
    // Half sent again, then a primitive draws over a row already sent, then the other half: the row
    // drawn over is not what was expanded.
    s.textures.Written(textured.tBase, 32 * 64);
    send(0, 16);
    s.st = DrawState{};
    s.st.fbBase = textured.tBase + 3 * 64;
    s.st.fbw = 1;
    s.st.scy0 = s.st.scy1 = 0;
    s.st.scx1 = 0;  // four bytes
    s.st.version = ++s.versions;
    EXPECT_EQ(s.Draw(), nullptr);
    s.mem[textured.tBase + 3 * 64 + 1] ^= 0x77;
    send(16, 16);
    s.st = textured;
    s.st.version = ++s.versions;
    EXPECT_TRUE(s.Matches(s.Draw()));
    EXPECT_EQ(s.textures.Expansions(), 2u);
}

// Random uploads over textures as wide as their buffer (64 and 128 texels) and others (32 in a buffer of
// 64), some overlapping: rows sent back to back, half rows, rows starting off a texture row, before the
// texture or past its end, with the memory's own indices or one changed; random writes and draws between.
// What the expansions know comes out the same whether such uploads are compared all at once or row by
// row, and whether they are first compared with the indices probed from each expansion's middle or not:
// the same expansions made and confirmed, the same textures expanded, and every expansion drawn holds the
// texels memory holds. More expansions are made than are kept: the oldest go meanwhile. Some uploads bring
// other texels altogether, some differ from memory in one byte only (mostly missing the probe), some bring
// what memory held a while ago. Memory holds the data of every upload said to bring what it holds.
struct UploadTrace {
    std::vector<uint64_t> steps;
    int wrong = 0;
    uint64_t confirmed = 0, expansions = 0, held = 0;
};

UploadTrace RandomUploads(uint32_t seed, bool whole, bool probes = true) {
    const bool old = PaletteTextures::AllowWholeUploads(whole);
    const bool oldProbes = PaletteTextures::AllowProbes(probes);
    PaletteScene s;
    Rng rnd{seed};
    struct Tex {
        uint32_t base, tbw, tw, th;
    };
    std::vector<Tex> texs;
    for (int i = 0; i < 8; ++i) {
        const uint32_t kind = rnd(4);
        const uint32_t tw = kind == 3 ? 5 : (kind == 2 ? 7 : 6), tbw = kind == 2 ? 2 : 1;
        texs.push_back(Tex{0x10000 + rnd(24) * 0x1000 + (rnd(2) ? 0 : rnd(16) * 64), tbw, tw, 2 + rnd(5)});
    }
    // Palettes enough for more expansions than are kept, so that the oldest are let go meanwhile.
    std::vector<std::vector<uint32_t>> pals(48, std::vector<uint32_t>(256));
    for (auto& p : pals)
        for (auto& c : p) c = rnd(1u << 31);
    UploadTrace out;
    std::vector<uint8_t> earlier = s.mem;
    for (int step = 0; step < 1500; ++step) {
        if (rnd(40) == 0) earlier = s.mem;
        const Tex& t = texs[rnd(uint32_t(texs.size()))];
        const uint32_t w = 1u << t.tw, h = 1u << t.th, stride = t.tbw * 64;
        const uint32_t what = rnd(12);
        if (what < 5) {
            s.st.tBase = t.base;
            s.st.tbw = t.tbw;
            s.st.tw = t.tw;
            s.st.th = t.th;
            s.st.clut = rnd(3) ? s.pal : pals[rnd(48)].data();
            s.st.version = ++s.versions;
            const uint32_t* x = s.Draw();
            out.steps.push_back(x != nullptr);
            if (x)
                for (uint32_t v = 0; v < h; ++v)
                    for (uint32_t u = 0; u < w; ++u)
                        out.wrong += x[v * stride + u] != s.st.clut[s.mem[t.base + v * stride + u]];
        } else if (what < 11) {
            uint32_t rowBytes = w, pitch = w;
            const uint32_t shape = rnd(4);
            if (shape == 1) {
                rowBytes = w / 2;
                pitch = stride;
            } else if (shape == 2) {
                rowBytes = pitch = 64u << rnd(2);
            }
            int32_t row = int32_t(rnd(h + 2)) - 2;
            uint32_t dst = uint32_t(int32_t(t.base) + row * int32_t(stride));
            if (rnd(5) == 0) dst += 1 + rnd(w - 1);
            const uint32_t rows = 1 + rnd(h + 4);
            // Now and then the texels as memory held them a while ago (what an expansion made then holds).
            const std::vector<uint8_t>& from = rnd(4) == 0 ? earlier : s.mem;
            std::vector<uint8_t> data(size_t(rows) * rowBytes);
            for (uint32_t r = 0; r < rows; ++r)
                std::memcpy(&data[size_t(r) * rowBytes], &from[dst + r * pitch], rowBytes);
            const uint32_t change = rnd(6);
            if (change < 2) data[rnd(uint32_t(data.size()))] ^= uint8_t(1 + rnd(255));
            if (change == 2)
                for (auto& b : data) b = uint8_t(rnd(256));
            if (s.textures.Uploaded(dst, rowBytes, pitch, rows, data.data())) {
                // Memory is said to hold the data already: it must.
                ++out.held;
                for (uint32_t r = 0; r < rows; ++r)
                    out.wrong +=
                        std::memcmp(&s.mem[dst + r * pitch], &data[size_t(r) * rowBytes], rowBytes) != 0;
            }
            out.steps.push_back(out.held);
            for (uint32_t r = 0; r < rows; ++r)
                std::memcpy(&s.mem[dst + r * pitch], &data[size_t(r) * rowBytes], rowBytes);
        } else {
            const uint32_t at = t.base + rnd(h * stride);
            s.textures.Written(at, 1 + rnd(64));
            if (rnd(2)) s.mem[at] ^= 0x5A;
        }
        out.steps.push_back(s.textures.Expansions());
        out.steps.push_back(s.textures.Confirmed());
    }
    out.confirmed = s.textures.Confirmed();
    out.expansions = s.textures.Expansions();
    PaletteTextures::AllowWholeUploads(old);
    PaletteTextures::AllowProbes(oldProbes);
    return out;
}

TEST(GsPaletteTextures, UploadsComparedAtOnceOrRowByRowWithOrWithoutProbesAgree) {
    uint64_t confirmed = 0, held = 0;
    for (uint32_t seed = 1; seed <= 40; ++seed) {
        const UploadTrace whole = RandomUploads(seed, true);
        const UploadTrace rows = RandomUploads(seed, false);
        ASSERT_EQ(whole.steps, rows.steps) << "seed " << seed;
        EXPECT_EQ(whole.wrong, 0) << "seed " << seed;
        EXPECT_EQ(rows.wrong, 0) << "seed " << seed;
        for (const bool w : {true, false}) {
            const UploadTrace plain = RandomUploads(seed, w, false);
            ASSERT_EQ(plain.steps, whole.steps) << "seed " << seed << (w ? " whole" : " rows");
            EXPECT_EQ(plain.wrong, 0) << "seed " << seed;
        }
        confirmed += whole.confirmed;
        held += whole.held;
        EXPECT_GT(whole.expansions, PaletteTextures::kMaxKept) << "seed " << seed;
    }
    // Plenty of suspect expansions were found good again, and plenty of uploads found to bring what memory
    // holds.
    EXPECT_GT(confirmed, 200u);
    EXPECT_GT(held, 100u);
}

// A buffer width of 0 (TEX0.TBW 0): every row of the texture reads row 0's texels. An image upload over a
// texture kept with that width is compared with it like any other; the smallest GIF stream that does so:
// a palette, a 4 x 4 texture drawn once, then texels sent over its row.
TEST(GsPaletteTextures, ATextureOfBufferWidthZeroReadsRowZeroInEveryRowAndUploadsOverItAreCompared) {
    Fixture f;
    // Entries 0-7 only: a CSM1 palette keeps its first eight in place.
    const uint32_t pal[8] = {0x80000000u, 0x800000FFu, 0x8000FF00u, 0x80FF0000u,
                             0x80FFFF00u, 0x80FF00FFu, 0x8000FFFFu, 0x80FFFFFFu};
    f.Upload(0x300, 1, kPsmCt32, 8, 1, pal, sizeof pal);
    auto draw = [&f] {
        AdPacket p;
        p.Set(kRegTex0_1, Tex0(0x200, 0, kPsmT8, 2, 2, true, kTfxDecal, 0x300, kPsmCt32, 0, 0, 1))
            .Set(kRegPrim, Prim(kPrimSprite, false, true, false, false, true))
            .Set(kRegUv, Uv(0, 0))
            .Set(kRegXyz2, Xyz(0, 0, 0))
            .Set(kRegUv, Uv(4 * 16, 4 * 16))
            .Set(kRegXyz2, Xyz(4 * 16, 4 * 16, 0));
        f.Send(p);
    };
    auto drawnFrom = [&f, &pal](const uint8_t* row) {
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x)
                if (f.Pixel(x, y) != pal[row[x]]) return false;
        return true;
    };
    const uint8_t first[4] = {1, 2, 3, 4};
    f.Upload(0x200, 1, kPsmT8, 4, 1, first, sizeof first);
    draw();
    EXPECT_TRUE(drawnFrom(first));
    // The same texels again, then others over row 0 and the bytes after it (row 1 of a wider buffer).
    f.Upload(0x200, 1, kPsmT8, 4, 1, first, sizeof first);
    draw();
    EXPECT_TRUE(drawnFrom(first));
    const uint8_t second[8] = {5, 6, 7, 0, 1, 1, 1, 1};
    f.Upload(0x200, 1, kPsmT8, 8, 1, second, sizeof second);
    draw();
    EXPECT_TRUE(drawnFrom(second));
}

TEST(GsPaletteTextures, RowZeroSentAgainConfirmsEveryRowOfATextureOfBufferWidthZero) {
    PaletteScene s;
    s.st.tbw = 0;
    const uint32_t* t = s.Draw();
    ASSERT_NE(t, nullptr);
    for (uint32_t u = 0; u < 32; ++u) ASSERT_EQ(t[u], s.pal[s.mem[s.st.tBase + u]]) << u;
    std::vector<uint8_t> row(s.mem.begin() + s.st.tBase, s.mem.begin() + s.st.tBase + 32);
    // Suspect, then row 0 rewritten with its own indices: all 32 rows are, and it holds again.
    s.textures.WrittenAnywhere();
    s.textures.Uploaded(s.st.tBase + 8, 8, 8, 1, row.data() + 8);  // part of the row: still suspect
    s.textures.Uploaded(s.st.tBase, 32, 32, 1, row.data());
    EXPECT_EQ(s.textures.Confirmed(), 1u);
    EXPECT_EQ(s.Draw(), t);
    // Another texel there makes it anew.
    row[5] ^= 0x40;
    s.mem[s.st.tBase + 5] = row[5];
    s.textures.Uploaded(s.st.tBase, 32, 32, 1, row.data());
    const uint32_t* t2 = s.Draw();
    ASSERT_NE(t2, nullptr);
    EXPECT_EQ(t2[5], s.pal[row[5]]);
    EXPECT_EQ(s.textures.Expansions(), 2u);
}

TEST(GsPaletteTextures, OnlyEightBitTexturesReadDirectlyAreExpanded) {
    PaletteScene s;
    s.st.tpsm = kPsmCt32;
    EXPECT_EQ(s.Draw(), nullptr);
    s.st.tpsm = kPsmT8;
    s.st.texFast = false;
    s.st.version = ++s.versions;
    EXPECT_EQ(s.Draw(), nullptr);
    // Wrapping round the end of local memory, or larger than the limit.
    s.st.texFast = true;
    s.st.tBase = LocalMemory::kSize - 1024;
    s.st.version = ++s.versions;
    EXPECT_EQ(s.Draw(), nullptr);
    s.st.tBase = 0x10000;
    s.st.tbw = 63;
    s.st.tw = s.st.th = 10;
    s.st.version = ++s.versions;
    EXPECT_EQ(s.Draw(), nullptr);
    EXPECT_EQ(s.textures.Expansions(), 0u);
}

}  // namespace
}  // namespace gstest
