#include "engine/vu1/terrain_programs.h"

#include <cstring>
#include <random>
#include <vector>

#include "engine/vu1/triangle_out.h"
#include "support/vu1_rig.h"

namespace {

using namespace testsupport;
using engine::vu1::TerrainProgram;
using engine::vu1::TriangleOut;

constexpr uint32_t kLod0Clip = engine::vu1::kProgTerrainLod0ClipNew;
constexpr uint32_t kLod0 = engine::vu1::kProgTerrainLod0New;

// A full-detail subtile seen from above: its nearest rows reach behind the eye and are clipped (or
// dropped without clipping), its farthest fall outside the detail pass's reach, and its columns stretch
// far into the guard band beside the 640 x 448 window.
class TerrainProgramTest : public Vu1Rig {
protected:
    void SetUp() override {
        Vu1Rig::SetUp();
        // The detail pass adds Cs * As to the base: its fading alpha shows in the pixels.
        console::gs::Gs().WriteReg(console::gs::kRegAlpha_1, 0x48);
        // A 64 x 64 texture of noise at 2 MB, repeating, bilinear: modulated by the vertex colour.
        TextureNoise();
        View(100.0f);
    }
    static constexpr uint64_t kTex0 = 8192ull | (1ull << 14) | (6ull << 26) | (6ull << 30) | (1ull << 34);
    static void TextureNoise() {
        std::mt19937 rng(77);
        uint8_t* m = console::gs::Gs().Memory().Data() + (2u << 20);
        for (uint32_t i = 0; i < 64 * 64 * 4; ++i) m[i] = uint8_t(rng());
    }
    static void TextureRegisters() {
        for (uint32_t ctx = 0; ctx < 2; ++ctx) {
            console::gs::Gs().WriteReg(console::gs::kRegTex0_1 + ctx, kTex0);
            console::gs::Gs().WriteReg(console::gs::kRegTex1_1 + ctx, (1ull << 5) | (1ull << 6));
        }
    }
    // The detail pass in context 2: the same frame and depth buffer, a scissor of its own.
    static inline bool detailContext2 = false;
    static void SetUpContext2() {
        sceGsDrawEnv2 env;
        sceGsSetDefDrawEnv2(&env, console::gs::kPsmCt32, 640, 448, console::gs::kZtstAlways,
                            console::gs::kPsmZ24);
        const auto* ad = reinterpret_cast<const uint64_t*>(&env);
        for (int i = 0; i < 8; ++i)
            console::gs::Gs().WriteReg(static_cast<uint32_t>(ad[i * 2 + 1]), ad[i * 2]);
        console::gs::Gs().WriteReg(console::gs::kRegScissor_2,
                                   100ull | (580ull << 16) | (30ull << 32) | (400ull << 48));
        console::gs::Gs().WriteReg(console::gs::kRegAlpha_2, 0x48);
    }
    // Local to clip (rows are vectors): x = X, y = 0.3 (15 g - Z) - 0.5 Y, z = Z, w = 1.2 Z + 3 g.
    static void View(float g) {
        const float l2c[16] = {1, 0, 0, 0, 0, -0.5f, 0, 0, 0, -0.3f, 1, 1.2f, 0, 4.5f * g, 0, 3 * g};
        const float c2s[16] = {1000, 0, 0, 0, 0, 1000, 0, 0, 0, 0, 20000, 0, 2048, 2048, 30000, 1};
        PutScreen(0);
        PutMatrix(4, l2c);
        PutMatrix(8, c2s);
        PutFloats(engine::vu1::kTerrainParamsAt, g, 0.4f * g, g, 256 * 0.4f * g);
        PutFloats(engine::vu1::kTerrainParamsAt + 1, -28, 96, -4, 1.0f / 56);
        // Both passes textured (perspective: S, T and Q all show in the pixels).
        const uint64_t base[2] = {(1ull << 15) | (1ull << 46) | (uint64_t(3 | 8 | 16) << 47) | (3ull << 60),
                                  0x512};
        std::memcpy(console::vu::Vu1Memory().Qw(engine::vu1::kTerrainTagsAt), base, 16);
        const uint64_t prim = 3 | 8 | 16 | 64 | (detailContext2 ? 512 : 0);
        const uint64_t detail[2] = {(1ull << 15) | (1ull << 46) | (prim << 47) | (3ull << 60), 0x512};
        std::memcpy(console::vu::Vu1Memory().Qw(engine::vu1::kTerrainTagsAt + 1), detail, 16);
    }
    // Row r's samples into its buffer: random heights, or flat ground (every row the same data).
    static void PutRow(uint32_t r, std::mt19937& rng, bool flat) {
        uint32_t* w =
            console::vu::Vu1Memory().Qw(r & 1 ? engine::vu1::kTerrainRowB : engine::vu1::kTerrainRowA);
        for (int c = 0; c < 56; ++c) w[c] = flat ? 3 : rng() % 10;
    }
    // Draws the 55 rows of a subtile (seed 0: flat); `meddle` changes the inputs before some rows.
    // Returns the GS memory (frame and depth buffer).
    static std::vector<uint8_t> Subtile(uint32_t id, uint32_t seed, bool meddle) {
        std::memset(console::gs::Gs().Memory().Data(), 0, console::gs::LocalMemory::kSize);
        TextureNoise();
        TextureRegisters();
        View(100.0f);
        std::mt19937 rng(seed);
        const bool flat = seed == 0;
        PutRow(0, rng, flat);
        Run(id, true);
        for (uint32_t r = 1; r < 56; ++r) {
            if (meddle && r % 9 == 4) {
                // The upper row's buffer rewritten: it is no longer the row drawn last time.
                std::mt19937 other(seed + r);
                PutRow(r - 1, other, false);
            }
            if (meddle && r % 13 == 7) View(r % 2 ? 101.0f : 100.0f);
            if (meddle && r == 30) PutFloats(engine::vu1::kTerrainParamsAt + 1, -28, 64, -4, 1.0f / 56);
            PutRow(r, rng, flat);
            Run(id, false);
        }
        View(100.0f);
        const uint8_t* d = console::gs::Gs().Memory().Data();
        return std::vector<uint8_t>(d, d + console::gs::LocalMemory::kSize);
    }
};

TEST_F(TerrainProgramTest, RowsKeptForTheNextRowDrawTheSameAsRowsMadeAfresh) {
    for (uint32_t id : {kLod0Clip, kLod0})
        for (bool meddle : {false, true}) {
            // Flat ground first: its rows hold the same samples, its last row is not the next one's first.
            const uint32_t seed = meddle ? 5 : 0;
            const bool old = TerrainProgram::KeepRows(false);
            const bool oldFour = TerrainProgram::FourAtATime(false);
            const uint64_t t0 = TerrainProgram::TrianglesDrawn();
            const std::vector<uint8_t> fresh = Subtile(id, seed, meddle);
            const uint64_t t1 = TerrainProgram::TrianglesDrawn();
            TerrainProgram::KeepRows(true);
            TerrainProgram::FourAtATime(true);
            const std::vector<uint8_t> kept = Subtile(id, seed, meddle);
            // Straight after, a second subtile: nothing of the first one's last row is taken.
            const std::vector<uint8_t> next = Subtile(id, seed, meddle);
            const uint64_t t2 = TerrainProgram::TrianglesDrawn();
            TerrainProgram::KeepRows(false);
            TerrainProgram::FourAtATime(false);
            const std::vector<uint8_t> nextFresh = Subtile(id, seed, meddle);
            // Rows made four at a time rather than eight (where the processor has no AVX2).
            TerrainProgram::KeepRows(true);
            TerrainProgram::FourAtATime(true);
            const bool oldEight = TerrainProgram::EightAtATime(false);
            const std::vector<uint8_t> keptFour = Subtile(id, seed, meddle);
            TerrainProgram::EightAtATime(oldEight);
            TerrainProgram::KeepRows(old);
            TerrainProgram::FourAtATime(oldFour);
            EXPECT_TRUE(fresh == kept) << id << " " << meddle;
            EXPECT_TRUE(fresh == keptFour) << id << " " << meddle;
            EXPECT_TRUE(next == nextFresh) << id << " " << meddle;
            EXPECT_EQ(t2 - t1, 2 * (t1 - t0)) << "the same triangles drawn each time";
            EXPECT_GT(t1 - t0, 1000u);
            size_t lit = 0;
            for (size_t i = 0; i < 640 * 448 * 4; i += 4)
                lit += fresh[i] | fresh[i + 1] | fresh[i + 2] ? 1 : 0;
            EXPECT_GT(lit, 640u * 448 / 8) << "the subtile covers a good part of the window";
            EXPECT_LT(lit, 640u * 448) << "and not all of it";
        }
}

TEST_F(TerrainProgramTest, StripsAndSeamsMadeFourOrEightAtATimeDrawTheSameAsOneByOne) {
    std::mt19937 rng(8);
    // Low detail: eight strips zigzagging across rows 20 .. 52, the last one vertex short.
    PutInts(engine::vu1::kTerrainLowDetailAt, 8, 0, 0, 0);
    uint32_t at = engine::vu1::kTerrainLowDetailVertsAt;
    for (uint32_t k = 0; k < 8; ++k) {
        const uint32_t n = k == 7 ? 27 : 28;
        PutInts(engine::vu1::kTerrainLowDetailAt + 1 + k, n, 0, 0, 0);
        for (uint32_t i = 0; i < n; ++i) PutInts(at++, i / 2 * 4, rng() % 10, 20 + 4 * k + (i & 1) * 4, 0);
    }
    // A lower seam: this subtile's last row (every sample) against the neighbour's first (every fourth).
    PutInts(engine::vu1::kTerrainParamsAt + 3, 64, 1, 8, uint32_t(-4));
    PutInts(engine::vu1::kTerrainOwnStripAt, 56, 0, 0, 0);
    for (uint32_t x = 0; x < 56; ++x) PutInts(engine::vu1::kTerrainOwnStripAt + 1 + x, x, rng() % 10, 55, 0);
    PutInts(engine::vu1::kTerrainOtherStripAt, 15, 0, 0, 0);
    for (uint32_t x = 0; x < 15; ++x)
        PutInts(engine::vu1::kTerrainOtherStripAt + 1 + x, x * 4, rng() % 10, 56, rng() % 3);
    const uint32_t ids[] = {engine::vu1::kProgTerrainLod1ClipNew, engine::vu1::kProgTerrainLod1New,
                            engine::vu1::kProgTerrainStitchingMultiTexture,
                            engine::vu1::kProgTerrainStitching0};
    for (uint32_t id : ids) {
        // One by one, four at a time, eight at a time (where the processor can).
        std::vector<uint8_t> frames[3];
        uint64_t prims[3];
        for (int four = 0; four < 3; ++four) {
            const bool old = TerrainProgram::FourAtATime(four > 0);
            const bool oldEight = TerrainProgram::EightAtATime(four == 2);
            std::memset(console::gs::Gs().Memory().Data(), 0, console::gs::LocalMemory::kSize);
            TextureNoise();
            TextureRegisters();
            const uint64_t p0 = console::gs::Gs().PrimitivesDrawn();
            Run(id, true, true);
            prims[four] = console::gs::Gs().PrimitivesDrawn() - p0;
            TerrainProgram::EightAtATime(oldEight);
            TerrainProgram::FourAtATime(old);
            const uint8_t* d = console::gs::Gs().Memory().Data();
            frames[four].assign(d, d + console::gs::LocalMemory::kSize);
        }
        EXPECT_TRUE(frames[0] == frames[1]) << id;
        EXPECT_TRUE(frames[0] == frames[2]) << id;
        EXPECT_EQ(prims[0], prims[1]) << id;
        EXPECT_EQ(prims[0], prims[2]) << id;
        EXPECT_GT(prims[0], 40u) << id;
    }
}

// A value for a matrix entry or parameter: mostly plain random numbers, often ones that land vertices
// exactly on a frustum plane, on a pixel-centre tie or on the edge of the GS range, at the eye, at the
// detail pass's fade limits, or far out (the sums overflow to infinity).
float EdgeValue(std::mt19937& rng) {
    static const float kEdges[] = {0.0f,    -0.0f,   1.0f,    -1.0f,       0.5f,        -0.5f,    2.0f,
                                   16.0f,   2048.0f, 4095.0f, 4095.96875f, 4096.0f,     65536.0f, 3000.0f,
                                   6000.0f, 1e-3f,   1e30f,   -1e30f,      16777215.0f, 0.03125f, 100.0f};
    switch (rng() % 4) {
        case 0:
            return kEdges[rng() % (sizeof kEdges / sizeof kEdges[0])];
        case 1:
            return float(int(rng() % 64) - 32) * 0.25f;  // exact sums: ties and planes met exactly
        default:
            return std::uniform_real_distribution<float>(-5000.0f, 5000.0f)(rng);
    }
}

// Made four or eight at a time, every vertex has the same bits as made one by one: positions, outcodes and
// the words sent in both passes, for random views and parameters full of edge values.
TEST(TerrainVertices, FourAndEightAtATimeGiveTheBitsOfOneByOne) {
    using Words = TerrainProgram::VertexWords;
    std::mt19937 rng(2024);
    size_t fits = 0, outside = 0, offRange = 0, faded = 0, total = 0;
    for (int round = 0; round < 3000; ++round) {
        console::vu::Vu1Memory().Clear();
        // Usually a sensible view with a few entries changed, sometimes anything at all.
        const bool wild = round % 5 == 0;
        const float g = 100.0f;
        float l2c[16] = {1, 0, 0, 0, 0, -0.5f, 0, 0, 0, -0.3f, 1, 1.2f, 0, 4.5f * g, 0, 3 * g};
        float c2s[16] = {1000, 0, 0, 0, 0, 1000, 0, 0, 0, 0, 20000, 0, 2048, 2048, 30000, 1};
        for (int k = 0; k < (wild ? 16 : 3); ++k) l2c[rng() % 16] = EdgeValue(rng);
        for (int k = 0; k < (wild ? 16 : 2); ++k) c2s[rng() % 16] = EdgeValue(rng);
        PutMatrix(4, l2c);
        PutMatrix(8, c2s);
        const float gs = rng() % 3 ? g : EdgeValue(rng);
        PutFloats(engine::vu1::kTerrainParamsAt, gs, rng() % 3 ? 0.4f * gs : EdgeValue(rng), gs, 0);
        PutFloats(engine::vu1::kTerrainParamsAt + 1, rng() % 2 ? -28.0f : EdgeValue(rng),
                  rng() % 2 ? 128.0f : EdgeValue(rng), rng() % 2 ? -4.0f : EdgeValue(rng),
                  rng() % 2 ? 1.0f / 56 : EdgeValue(rng));
        constexpr uint32_t kN = 58;  // the last two one by one either way
        float cx[kN], cz[kN];
        uint32_t samples[kN];
        for (uint32_t i = 0; i < kN; ++i) {
            cx[i] = rng() % 4 ? float(i % 56) : float(rng() % 256);
            cz[i] = float(rng() % 64);
            // Height samples as unpacked (16 bits), now and then a word with the top bit set.
            samples[i] = rng() % 50 ? rng() % 65536 : rng();
        }
        for (bool detail : {false, true}) {
            Words one[kN], four[kN], eight[kN];
            const bool old = TerrainProgram::FourAtATime(false);
            TerrainProgram::MakeVertices(console::vu::Vu1Memory(), cx, cz, samples, kN, detail, one);
            TerrainProgram::FourAtATime(true);
            const bool oldEight = TerrainProgram::EightAtATime(false);
            TerrainProgram::MakeVertices(console::vu::Vu1Memory(), cx, cz, samples, kN, detail, four);
            // Eight at a time where the processor can (else four again).
            TerrainProgram::EightAtATime(true);
            TerrainProgram::MakeVertices(console::vu::Vu1Memory(), cx, cz, samples, kN, detail, eight);
            TerrainProgram::EightAtATime(oldEight);
            TerrainProgram::FourAtATime(old);
            for (uint32_t i = 0; i < kN; ++i) {
                ASSERT_EQ(std::memcmp(&one[i], &four[i], sizeof one[i]), 0)
                    << "round " << round << " vertex " << i << " detail " << detail << " out " << one[i].out
                    << "/" << four[i].out << " fits " << one[i].fits << "/" << four[i].fits;
                ASSERT_EQ(std::memcmp(&one[i], &eight[i], sizeof one[i]), 0)
                    << "eight at a time: round " << round << " vertex " << i << " detail " << detail;
                ++total;
                fits += one[i].fits;
                outside += one[i].out != 0;
                offRange += one[i].out == 0 && !one[i].fits;
                faded += detail && one[i].fits && one[i].detail[7] == 0;
            }
        }
    }
    // The cases the values were chosen for all came up.
    EXPECT_GT(fits, total / 20);
    EXPECT_GT(outside, total / 20);
    EXPECT_GT(offRange, total / 100);
    EXPECT_GT(faded, 0u);
}

// Rows made several vertices at a time draw the triangles of rows made one by one, for views full of
// edge values (corners at the eye, on planes, faces edge-on, the screen mirrored).
TEST_F(TerrainProgramTest, RowsMadeSeveralAtATimeDrawTheSameInViewsFullOfEdgeValues) {
    std::mt19937 rng(606);
    uint64_t drawn = 0;
    for (int view = 0; view < 60; ++view) {
        const float g = 100.0f;
        float l2c[16] = {1, 0, 0, 0, 0, -0.5f, 0, 0, 0, -0.3f, 1, 1.2f, 0, 4.5f * g, 0, 3 * g};
        float c2s[16] = {1000, 0, 0, 0, 0, 1000, 0, 0, 0, 0, 20000, 0, 2048, 2048, 30000, 1};
        for (int k = 0; k < 3; ++k) l2c[rng() % 16] = EdgeValue(rng);
        if (rng() % 3 == 0) c2s[rng() % 2 ? 0 : 5] *= -1.0f;
        if (rng() % 4 == 0) c2s[rng() % 16] = EdgeValue(rng);
        std::vector<uint32_t> heights(8 * 56);
        for (uint32_t& h : heights) h = rng() % 4 ? rng() % 10 : rng() % 65536;
        std::vector<uint8_t> frames[2];
        uint64_t counts[2];
        for (int four = 0; four < 2; ++four) {
            const bool oldFour = TerrainProgram::FourAtATime(four == 1);
            std::memset(console::gs::Gs().Memory().Data(), 0, 640 * 448 * 4);
            PutScreen(0);
            PutMatrix(4, l2c);
            PutMatrix(8, c2s);
            PutFloats(engine::vu1::kTerrainParamsAt, g, 0.4f * g, g, 256 * 0.4f * g);
            PutFloats(engine::vu1::kTerrainParamsAt + 1, -28, 96, -4, 1.0f / 56);
            const uint64_t t0 = TerrainProgram::TrianglesDrawn();
            for (uint32_t r = 0; r < 8; ++r) {
                uint32_t* w = console::vu::Vu1Memory().Qw(r & 1 ? engine::vu1::kTerrainRowB
                                                                : engine::vu1::kTerrainRowA);
                std::memcpy(w, &heights[r * 56], 56 * 4);
                Run(kLod0Clip, r == 0);
            }
            counts[four] = TerrainProgram::TrianglesDrawn() - t0;
            TerrainProgram::FourAtATime(oldFour);
            const uint8_t* d = console::gs::Gs().Memory().Data();
            frames[four].assign(d, d + 640 * 448 * 4);
        }
        EXPECT_EQ(counts[0], counts[1]) << "view " << view;
        EXPECT_TRUE(frames[0] == frames[1]) << "view " << view;
        drawn += counts[0];
    }
    EXPECT_GT(drawn, 5000u);
}

TEST_F(TerrainProgramTest, TrianglesLeftOutForTheWindowChangeNoPixel) {
    // The guard band holds many triangles beside the window: dropped before they are sent (by their
    // corners' screen codes or the full test), the GS memory is the same as when the GS rejects them.
    // Then with the detail pass in a window of its own (its triangles tested afresh).
    SetUpContext2();
    uint64_t droppedBefore[2] = {};
    for (uint32_t id : {kLod0Clip, kLod0, kLod0Clip | 0x10000, kLod0 | 0x10000}) {
        detailContext2 = (id & 0x10000) != 0;
        id &= 0xFFFF;
        const bool old = TriangleOut::DropOutsideWindow(false);
        const uint64_t p0 = console::gs::Gs().PrimitivesDrawn();
        const std::vector<uint8_t> all = Subtile(id, 11, false);
        const uint64_t p1 = console::gs::Gs().PrimitivesDrawn();
        const uint64_t out0 = TriangleOut::OutsideWindow();
        TriangleOut::DropOutsideWindow(true);
        const std::vector<uint8_t> culled = Subtile(id, 11, false);
        const uint64_t p2 = console::gs::Gs().PrimitivesDrawn();
        const uint64_t dropped = TriangleOut::OutsideWindow() - out0;
        TriangleOut::DropOutsideWindow(old);
        EXPECT_TRUE(all == culled) << id << " detail in context 2: " << detailContext2;
        EXPECT_EQ(p2 - p1 + dropped, p1 - p0) << id;
        EXPECT_GT(dropped, (p1 - p0) / 4) << id;
        // The detail pass's smaller window leaves out more.
        if (detailContext2) {
            EXPECT_GT(dropped, droppedBefore[id & 1]) << id;
        } else {
            droppedBefore[id & 1] = dropped;
        }
    }
    detailContext2 = false;
}

}  // namespace
