#include "engine/vu1/triangle_out.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "console/dma/dma.h"
#include "console/stage/dma_stage.h"
#include "console/vu/microprogram.h"
#include "engine/vu1/vu_data.h"
#include "support/vu1_rig.h"

namespace {

using namespace testsupport;
using engine::vu1::OutVertex;
using engine::vu1::TriangleOut;

constexpr uint32_t kFrameBytes = 640 * 448 * 4;

// Random triangles of every kind a frame has: most far off the screen (inside the guard band), many
// smaller than a pixel or thin, the rest crossing the screen's and the scissor's edges.
std::vector<OutVertex> RandomTriangles(uint32_t seed, int count) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    std::vector<OutVertex> v;
    for (int t = 0; t < count; ++t) {
        // The large ones first, so the small ones' pixels are not drawn over.
        const int kind = t < count / 2 ? 2 + t % 2 : t % 2;
        const float spread = kind == 0 ? 1.5f : kind == 1 ? 6.0f : kind == 2 ? 60.0f : 900.0f;
        // The small ones mostly on the screen, where a pixel centre more or less decides.
        const bool small = kind < 2;
        const float cx = small ? -20.0f + u(rng) * 680.0f : -400.0f + u(rng) * 1440.0f;
        const float cy = small ? -20.0f + u(rng) * 488.0f : -400.0f + u(rng) * 1248.0f;
        for (int k = 0; k < 3; ++k) {
            OutVertex o{};
            // Homogeneous positions with w != 1 so the divide rounds as it does in a frame.
            const float w = 0.5f + u(rng) * 2.0f;
            o.h[0] = (1728.0f + cx + (u(rng) - 0.5f) * spread) * w;
            o.h[1] = (1824.0f + cy + (u(rng) - 0.5f) * (kind == 1 ? 0.3f : spread)) * w;
            o.h[2] = u(rng) * 60000.0f * w;
            o.h[3] = w;
            for (float& c : o.rgba) c = u(rng) * 255.0f;
            o.s = u(rng);
            o.t = u(rng);
            v.push_back(o);
        }
    }
    return v;
}

// Draws the triangles through TriangleOut (tag template: Gouraud triangles, context 1, Z test ALWAYS)
// and returns the frame.
// `oneByOne` sends the vertices one at a time (the window test after the third) rather than as triangles
// (the window test on the corners' positions before the rest).
std::vector<uint8_t> Draw(const std::vector<OutVertex>& v, bool drop, bool oneByOne = false) {
    auto& mem = console::gs::Gs().Memory();
    std::memset(mem.Data(), 0, kFrameBytes);
    const bool old = TriangleOut::DropOutsideWindow(drop);
    {
        uint64_t tag[2] = {(1ull << 15) | (1ull << 46) | (uint64_t(3 | 8) << 47) | (3ull << 60), 0x512};
        console::gif::GifTag tmpl;
        std::memcpy(&tmpl, tag, 16);
        TriangleOut out(tmpl);
        for (size_t i = 0; i + 2 < v.size(); i += 3) {
            if (!oneByOne) {
                out.Triangle(v[i], v[i + 1], v[i + 2], false, false);
                continue;
            }
            const uint32_t before = out.Buffered();
            if (!(out.Emit(v[i]) && out.Emit(v[i + 1]) && out.Emit(v[i + 2]))) out.Truncate(before);
            if (out.Buffered() >= 3 * 60) out.Flush();
        }
    }
    TriangleOut::DropOutsideWindow(old);
    const uint8_t* d = console::gs::Gs().Memory().Data();
    return std::vector<uint8_t>(d, d + kFrameBytes);
}

class TriangleOutTest : public Vu1Rig {};

TEST_F(TriangleOutTest, TrianglesThatCannotDrawAreNotSentAndThePictureIsTheSame) {
    const auto tris = RandomTriangles(36, 4000);
    struct Window {
        uint64_t xyoffset, scissor;
    };
    // The rig's window; a scissor inside the screen; an offset with a fraction of a pixel.
    const Window windows[] = {
        {(1728ull << 4) | ((1824ull << 4) << 32), 639ull << 16 | (447ull << 48)},
        {(1728ull << 4) | ((1824ull << 4) << 32), 37ull | (301ull << 16) | (50ull << 32) | (399ull << 48)},
        {((1728ull << 4) + 5) | (((1824ull << 4) + 11) << 32),
         3ull | (600ull << 16) | (2ull << 32) | (440ull << 48)},
    };
    for (const Window& w : windows) {
        console::gs::Gs().WriteReg(console::gs::kRegXyoffset_1, w.xyoffset);
        console::gs::Gs().WriteReg(console::gs::kRegScissor_1, w.scissor);
        const uint64_t prims = console::gs::Gs().PrimitivesDrawn();
        const std::vector<uint8_t> all = Draw(tris, false);
        const uint64_t sentAll = console::gs::Gs().PrimitivesDrawn() - prims;
        const uint64_t dropped = TriangleOut::OutsideWindow();
        const std::vector<uint8_t> culled = Draw(tris, true);
        const uint64_t sentCulled = console::gs::Gs().PrimitivesDrawn() - prims - sentAll;
        const uint64_t nowDropped = TriangleOut::OutsideWindow() - dropped;
        EXPECT_EQ(all, culled) << "the same pixels with and without the window test";
        const uint64_t p3 = console::gs::Gs().PrimitivesDrawn();
        const uint64_t d3 = TriangleOut::OutsideWindow();
        EXPECT_EQ(Draw(tris, true, true), culled) << "the same as vertex by vertex";
        EXPECT_EQ(console::gs::Gs().PrimitivesDrawn() - p3, sentCulled);
        EXPECT_EQ(TriangleOut::OutsideWindow() - d3, nowDropped);
        EXPECT_EQ(sentCulled + nowDropped, sentAll);
        EXPECT_GT(nowDropped, sentAll / 3) << "many of these triangles cannot draw";
        EXPECT_GT(sentCulled, 100u);
        size_t lit = 0;
        for (size_t i = 0; i < all.size(); i += 4) lit += all[i] | all[i + 1] | all[i + 2] ? 1 : 0;
        EXPECT_GT(lit, 10000u) << "the comparison covers drawn pixels";
    }
}

// A program that sends the next 150 triangles of `g_batch` each call through two outputs at once (every
// third triangle through the second), as the geometry stage's first thread runs it. `g_roomFree` counts
// the calls that found the GIF queue's one room still free once the first output was made (there is a
// queue, and that output does not build its packet in it).
const std::vector<OutVertex>* g_batch = nullptr;
size_t g_batchNext = 0;
int g_roomFree = 0;
class BatchProgram : public console::vu::Microprogram {
public:
    const char* Name() const override { return "batch"; }
    void Call(console::vu::VuState&, uint32_t) override {
        uint64_t tag[2] = {(1ull << 15) | (1ull << 46) | (uint64_t(3 | 8) << 47) | (3ull << 60), 0x512};
        console::gif::GifTag tmpl;
        std::memcpy(&tmpl, tag, 16);
        TriangleOut a(tmpl);
        if (console::vu::ReservePath1(1)) {
            console::vu::CommitPath1(0);
            ++g_roomFree;
        }
        TriangleOut b(tmpl);
        const std::vector<OutVertex>& v = *g_batch;
        for (int t = 0; t < 150 && g_batchNext + 2 < v.size(); ++t, g_batchNext += 3)
            (t % 3 == 1 ? b : a)
                .Triangle(v[g_batchNext], v[g_batchNext + 1], v[g_batchNext + 2], false, false);
    }
};
BatchProgram g_batchProgram;
constexpr uint32_t kBatchProgram = 0x7E57;

std::vector<uint8_t> DrawThroughStage(const std::vector<OutVertex>& v, console::dma::StageMode mode,
                                      bool inPlace) {
    std::memset(console::gs::Gs().Memory().Data(), 0, kFrameBytes);
    console::vu::RegisterMicroprogram(kBatchProgram, &g_batchProgram);
    console::dma::SetStageMode(mode);
    const bool old = TriangleOut::BuildInPlace(inPlace);
    g_batch = &v;
    g_batchNext = 0;
    g_roomFree = 0;
    // MPG of the program's id, then MSCAL: one call a quadword.
    alignas(16) static const uint32_t kCall[4] = {0x4A010000u, kBatchProgram, 0, 0x14000000u};
    for (size_t i = 0; i < v.size() / 450 + 1; ++i)
        console::dma::StagePushData(SCE_DMA_VIF1, reinterpret_cast<const uint8_t*>(kCall), 1);
    console::dma::StagePushEnd(SCE_DMA_VIF1);
    console::dma::StageDrain();
    console::dma::SetStageMode(console::dma::StageMode::kInline);
    TriangleOut::BuildInPlace(old);
    const uint8_t* d = console::gs::Gs().Memory().Data();
    return std::vector<uint8_t>(d, d + kFrameBytes);
}

// On the geometry stage's thread a packet is built straight in the GIF queue's room: the same frame as
// building it in the output and copying it, or running the stage on the caller's thread (no queue).
TEST_F(TriangleOutTest, PacketsBuiltInTheGifQueueDrawTheSameFrame) {
    using console::dma::StageMode;
    const auto tris = RandomTriangles(90, 6000);
    const uint64_t p0 = console::gs::Gs().PrimitivesDrawn();
    const std::vector<uint8_t> ref = DrawThroughStage(tris, StageMode::kDeferred, true);
    const uint64_t sent = console::gs::Gs().PrimitivesDrawn() - p0;
    EXPECT_EQ(g_roomFree, 0) << "no queue for the GIF on the caller's thread";
    EXPECT_GT(sent, 1000u);
    for (bool inPlace : {true, false, true}) {
        const uint64_t p1 = console::gs::Gs().PrimitivesDrawn();
        EXPECT_EQ(DrawThroughStage(tris, StageMode::kThread, inPlace), ref) << "in place " << inPlace;
        EXPECT_EQ(console::gs::Gs().PrimitivesDrawn() - p1, sent);
        EXPECT_EQ(g_roomFree, inPlace ? 0 : int(tris.size() / 450 + 1));
    }
}

// A value an output vertex may hold: plain numbers, and the edges of what the packing clamps and refuses
// (not a number, infinities, signed zeros, the colour and depth limits, the GS range, pixel-centre ties).
float EdgeFloat(std::mt19937& rng, float scale) {
    static const float kEdges[] = {0.0f,
                                   -0.0f,
                                   std::numeric_limits<float>::quiet_NaN(),
                                   -std::numeric_limits<float>::quiet_NaN(),
                                   std::numeric_limits<float>::infinity(),
                                   -std::numeric_limits<float>::infinity(),
                                   255.0f,
                                   255.5f,
                                   256.0f,
                                   -1.0f,
                                   0.5f,
                                   16777215.0f,
                                   16777216.0f,
                                   4095.96875f,
                                   4096.0f,
                                   1e-30f,
                                   3e38f};
    if (rng() % 5 == 0) return kEdges[rng() % (sizeof kEdges / sizeof kEdges[0])];
    return std::uniform_real_distribution<float>(-0.2f, 1.2f)(rng) * scale;
}

// The words of a vertex as the scalar code makes them, for comparison with the vector code.
void PackRestByHand(float sz, float invW, const OutVertex& v, uint32_t o[12]) {
    if (!(sz >= 0.0f)) sz = 0.0f;
    if (sz > 16777215.0f) sz = 16777215.0f;
    o[0] = engine::vu1::FloatBits(v.s * invW);
    o[1] = engine::vu1::FloatBits(v.t * invW);
    o[2] = engine::vu1::FloatBits(invW);
    o[3] = 0;
    for (int i = 0; i < 4; ++i) {
        const float c = v.rgba[i];
        o[4 + i] = !(c > 0.0f) ? 0u : c >= 255.0f ? 255u : uint32_t(c);
    }
    o[10] = uint32_t(sz);
    o[11] = 0;
}

// Packing a vertex, and a whole triangle at once, gives the bits of the scalar way and of three vertices
// one by one, for values full of the edges the clamps and the range test meet.
TEST_F(TriangleOutTest, VerticesPackedTogetherMatchTheScalarWordsBitForBit) {
    std::mt19937 rng(41);
    for (int i = 0; i < 200000; ++i) {
        OutVertex v{};
        v.s = EdgeFloat(rng, 4.0f);
        v.t = EdgeFloat(rng, 4.0f);
        for (float& c : v.rgba) c = EdgeFloat(rng, 300.0f);
        // Q is never not a number here: such a vertex's position fails the range test first (and
        // which of two such operands a product takes is the compiler's choice).
        const float sz = EdgeFloat(rng, 2e7f);
        float inv = EdgeFloat(rng, 2.0f);
        if (std::isnan(inv)) inv = 0.5f;
        uint32_t want[12], got[12];
        std::memset(want, 0xAB, sizeof want);
        std::memset(got, 0xAB, sizeof got);
        PackRestByHand(sz, inv, v, want);
        TriangleOut::PackRest(sz, inv, v, got);
        if (std::memcmp(want, got, sizeof want) == 0) continue;
        for (int w = 0; w < 12; ++w)
            ASSERT_EQ(want[w], got[w])
                << "vertex " << i << " word " << w << ": s " << v.s << " t " << v.t << " q " << inv << " z "
                << sz << " colour " << v.rgba[0] << " " << v.rgba[1] << " " << v.rgba[2] << " " << v.rgba[3];
    }
    const bool oldDrop = TriangleOut::DropOutsideWindow(false);
    uint64_t tag[2] = {(1ull << 15) | (1ull << 46) | (uint64_t(3 | 8) << 47) | (3ull << 60), 0x512};
    console::gif::GifTag tmpl;
    std::memcpy(&tmpl, tag, 16);
    int sent = 0, refused = 0;
    for (int round = 0; round < 400; ++round) {
        TriangleOut together(tmpl), alone(tmpl);
        for (int t = 0; t < 60; ++t) {
            OutVertex v[3] = {};
            for (OutVertex& o : v) {
                o.h[3] = rng() % 8 ? std::uniform_real_distribution<float>(0.01f, 3.0f)(rng)
                                   : EdgeFloat(rng, 2.0f);
                o.h[0] = (rng() % 8 ? std::uniform_real_distribution<float>(-10.0f, 4200.0f)(rng)
                                    : EdgeFloat(rng, 4096.0f)) *
                         o.h[3];
                o.h[1] = (rng() % 8 ? std::uniform_real_distribution<float>(-10.0f, 4200.0f)(rng)
                                    : EdgeFloat(rng, 4096.0f)) *
                         o.h[3];
                o.h[2] = EdgeFloat(rng, 2e7f) * o.h[3];
                o.s = EdgeFloat(rng, 4.0f);
                o.t = EdgeFloat(rng, 4.0f);
                for (float& c : o.rgba) c = EdgeFloat(rng, 300.0f);
            }
            const bool a = together.EmitTriangle(v[0], v[1], v[2]);
            const uint32_t before = alone.Buffered();
            const bool b = alone.Emit(v[0]) && alone.Emit(v[1]) && alone.Emit(v[2]);
            if (!b) alone.Truncate(before);
            ASSERT_EQ(a, b) << round << " " << t;
            ASSERT_EQ(together.Buffered(), alone.Buffered());
            sent += a;
            refused += !a;
        }
        ASSERT_EQ(std::memcmp(together.Vertices(), alone.Vertices(), together.Buffered() * 48), 0) << round;
        together.Truncate(0);  // compared, not drawn
        alone.Truncate(0);
    }
    TriangleOut::DropOutsideWindow(oldDrop);
    EXPECT_GT(sent, 3000);
    EXPECT_GT(refused, 3000);
}

TEST_F(TriangleOutTest, StripsAreNeverThinnedOut) {
    // A strip's vertices make several triangles: the output keeps every one it is given.
    uint64_t tag[2] = {(1ull << 15) | (1ull << 46) | (uint64_t(4 | 8) << 47) | (3ull << 60), 0x512};
    console::gif::GifTag tmpl;
    std::memcpy(&tmpl, tag, 16);
    const auto tris = RandomTriangles(7, 40);
    const uint64_t dropped = TriangleOut::OutsideWindow();
    TriangleOut out(tmpl);
    for (size_t i = 0; i < tris.size(); i += 3) out.Triangle(tris[i], tris[i + 1], tris[i + 2], false, false);
    EXPECT_EQ(out.Drawn(), 40u);
    EXPECT_EQ(TriangleOut::OutsideWindow(), dropped);
}

TEST_F(TriangleOutTest, ScreenCodesDropOnlyTrianglesThatCannotDraw) {
    // Corners on and around the window's pixel centres and edges, in 12.4: every triangle whose corners
    // share a screen code bit is one the full test refuses too.
    uint64_t tag[2] = {(1ull << 15) | (1ull << 46) | (uint64_t(3 | 8) << 47) | (3ull << 60), 0x512};
    console::gif::GifTag tmpl;
    std::memcpy(&tmpl, tag, 16);
    const uint64_t offsets[] = {(1728ull << 4) | ((1824ull << 4) << 32),
                                ((1728ull << 4) + 5) | (((1824ull << 4) + 11) << 32)};
    const uint64_t scissors[] = {639ull << 16 | (447ull << 48),
                                 37ull | (301ull << 16) | (50ull << 32) | (399ull << 48)};
    std::mt19937 rng(3);
    for (uint64_t ofs : offsets)
        for (uint64_t sc : scissors) {
            console::gs::Gs().WriteReg(console::gs::kRegXyoffset_1, ofs);
            console::gs::Gs().WriteReg(console::gs::kRegScissor_1, sc);
            const TriangleOut out(tmpl);
            ASSERT_TRUE(out.Windowed());
            const int32_t ox = int32_t(ofs & 0xFFFF), oy = int32_t((ofs >> 32) & 0xFFFF);
            const int32_t xs[2] = {int32_t(sc & 0x7FF), int32_t((sc >> 16) & 0x7FF)};
            const int32_t ys[2] = {int32_t((sc >> 32) & 0x7FF), int32_t((sc >> 48) & 0x7FF)};
            int coded = 0, refused = 0;
            for (int t = 0; t < 200000; ++t) {
                uint32_t v[3][12] = {};
                for (auto& c : v) {
                    // Near an edge's pixel centre (16 s + 8), within a few pixels, or anywhere near the
                    // window.
                    const bool nearX = rng() % 4 != 0, nearY = rng() % 4 != 0;
                    const int32_t ex = ox + 16 * xs[rng() % 2] + 8, ey = oy + 16 * ys[rng() % 2] + 8;
                    c[8] =
                        uint32_t(nearX ? ex + int32_t(rng() % 97) - 48 : ox - 800 + int32_t(rng() % 12000));
                    c[9] = uint32_t(nearY ? ey + int32_t(rng() % 97) - 48 : oy - 800 + int32_t(rng() % 9000));
                }
                const bool byCode = (out.ScreenCode(v[0]) & out.ScreenCode(v[1]) & out.ScreenCode(v[2])) != 0;
                const bool draws = out.CanDraw(v[0], v[1], v[2]);
                ASSERT_FALSE(byCode && draws) << t << ": (" << v[0][8] << "," << v[0][9] << ") (" << v[1][8]
                                              << "," << v[1][9] << ") (" << v[2][8] << "," << v[2][9] << ")";
                coded += byCode;
                refused += !draws;
            }
            EXPECT_GT(coded, 5000) << "many triangles go by their codes";
            EXPECT_GT(refused, coded + 200) << "the full test refuses more (small ones, no area)";
        }
    // A window-less output codes no vertex.
    uint64_t strip[2] = {(1ull << 15) | (1ull << 46) | (uint64_t(4 | 8) << 47) | (3ull << 60), 0x512};
    std::memcpy(&tmpl, strip, 16);
    const TriangleOut none(tmpl);
    const uint32_t far[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 65535, 0, 0};
    EXPECT_FALSE(none.Windowed());
    EXPECT_EQ(none.ScreenCode(far), 0u);
}

TEST(ToFixed, RoundsAsNearbyintAndRefusesWhatFallsOutsideTheRange) {
    // Ties to even, -0.5 .. 0 to 0, 4095.96875 the last in range; infinities, NaN and large values out.
    std::vector<float> vs = {0.0f,        -0.0f,     -0.03125f, -0.03126f, 0.03125f,  0.09375f, 1.53125f,
                             4095.96875f, 4095.97f,  4096.0f,   -1.0f,     1e10f,     -1e10f,   3e9f,
                             INFINITY,    -INFINITY, NAN,       2047.5f,   1234.5625f};
    std::mt19937 rng(9);
    for (int i = 0; i < 200000; ++i) {
        uint32_t bits = rng();
        float f;
        std::memcpy(&f, &bits, 4);
        vs.push_back(f);
        vs.push_back(std::uniform_real_distribution<float>(-10.0f, 4200.0f)(rng));
        vs.push_back(float(int(rng() % 140000) - 4000) / 32.0f);  // exact halves of 1/16
    }
    for (float v : vs) {
        const float r = std::nearbyint(v * 16.0f);
        const bool in = r >= 0.0f && r <= 65535.0f;
        uint32_t got = 0;
        ASSERT_EQ(engine::vu1::ToFixed(v, got), in) << v;
        if (in) {
            ASSERT_EQ(got, uint32_t(r)) << v;
        }
    }
}

TEST(Clamp255, TruncatesIntoTheColourRange) {
    // Not a number and anything not above 0 give 0, 255 and more give 255, the rest truncate.
    std::vector<float> vs = {0.0f,   -0.0f, -1.0f,  0.5f,     1.0f,      127.99f, 128.0f, 254.999f, 255.0f,
                             255.5f, 1e30f, -1e30f, INFINITY, -INFINITY, NAN,     -NAN,   1e-45f,   -1e-45f};
    std::mt19937 rng(4);
    for (int i = 0; i < 100000; ++i) {
        uint32_t bits = rng();
        float f;
        std::memcpy(&f, &bits, 4);
        vs.push_back(f);
        vs.push_back(std::uniform_real_distribution<float>(-20.0f, 280.0f)(rng));
    }
    for (float v : vs) {
        const uint32_t want = !(v > 0.0f) ? 0u : v >= 255.0f ? 255u : static_cast<uint32_t>(v);
        ASSERT_EQ(engine::vu1::Clamp255(v), want) << v;
    }
}

TEST(TransformRow, SumsEachColumnInOrder) {
    // Each column is ((p0 m0 + p1 m4) + p2 m8) + p3 m12, rounded after every step as written.
    std::mt19937 rng(21);
    std::uniform_real_distribution<float> u(-1e4f, 1e4f);
    for (int i = 0; i < 20000; ++i) {
        float m[16], p[4], out[4];
        for (float& x : m) x = i % 7 ? u(rng) : u(rng) * 1e-38f;
        for (float& x : p) x = u(rng) * (i % 5 ? 1.0f : 1e30f);
        engine::vu1::TransformRow(m, p, out);
        for (int c = 0; c < 4; ++c) {
            volatile float sum = p[0] * m[c];
            sum = sum + p[1] * m[4 + c];
            sum = sum + p[2] * m[8 + c];
            sum = sum + p[3] * m[12 + c];
            const float want = sum;
            ASSERT_EQ(std::memcmp(&out[c], &want, 4), 0) << i << " " << c << " " << out[c] << " " << want;
        }
    }
}

// Clipping against every plane in turn, corners inside a plane or not.
int ClipEveryPlane(OutVertex* poly, int n) {
    OutVertex tmp[9];
    auto dist = [](const OutVertex& v, int k) {
        return (k & 1) ? v.c[3] + v.c[k >> 1] : v.c[3] - v.c[k >> 1];
    };
    for (int k = 0; k < 6 && n > 0; ++k) {
        int m = 0;
        for (int i = 0; i < n; ++i) {
            const OutVertex& a = poly[i];
            const OutVertex& b = poly[(i + 1) % n];
            const float da = dist(a, k), db = dist(b, k);
            if (da >= 0.0f && m < 9) tmp[m++] = a;
            if ((da >= 0.0f) != (db >= 0.0f) && m < 9) {
                const float t = da / (da - db);
                OutVertex& r = tmp[m++];
                for (int j = 0; j < 4; ++j) {
                    r.h[j] = a.h[j] + (b.h[j] - a.h[j]) * t;
                    r.c[j] = a.c[j] + (b.c[j] - a.c[j]) * t;
                    r.rgba[j] = a.rgba[j] + (b.rgba[j] - a.rgba[j]) * t;
                }
                r.s = a.s + (b.s - a.s) * t;
                r.t = a.t + (b.t - a.t) * t;
            }
        }
        n = m;
        std::copy(tmp, tmp + n, poly);
    }
    return n;
}

TEST(ClipPolygon, PlanesACornerCrossesOnlyAndTheSameCorners) {
    // Corners inside, outside and exactly on the planes (w = +-x, ...): the clip skips the planes no
    // corner is outside of and gives the same corners, bit for bit, as clipping against all six.
    std::mt19937 rng(17);
    std::uniform_real_distribution<float> u(-1.6f, 1.6f);
    int inside = 0, clipped = 0;
    for (int t = 0; t < 50000; ++t) {
        OutVertex a[9] = {}, b[9] = {};
        for (int k = 0; k < 3; ++k) {
            OutVertex& v = a[k];
            v.c[3] = 0.5f + std::abs(u(rng)) * 100.0f;
            for (int j = 0; j < 3; ++j) {
                const uint32_t pick = rng() % 8;
                v.c[j] = pick == 0 ? v.c[3] : pick == 1 ? -v.c[3] : u(rng) * (t % 3 ? 0.7f : 1.0f) * v.c[3];
            }
            if (rng() % 50 == 0) v.c[3] = -v.c[3];  // behind the eye
            for (float& c : v.rgba) c = u(rng) * 100.0f;
            v.s = u(rng);
            v.t = u(rng);
            b[k] = v;
        }
        bool in = true;
        for (int k = 0; k < 3; ++k) {
            const float* c = a[k].c;
            const bool inside = c[3] - c[0] >= 0.0f && c[3] + c[0] >= 0.0f && c[3] - c[1] >= 0.0f &&
                                c[3] + c[1] >= 0.0f && c[3] - c[2] >= 0.0f && c[3] + c[2] >= 0.0f;
            ASSERT_EQ(engine::vu1::InsideFrustum(a[k]), inside) << t;
            in = in && inside;
        }
        const int n = engine::vu1::ClipPolygon(a, 3);
        ASSERT_EQ(n, ClipEveryPlane(b, 3)) << t;
        ASSERT_EQ(0, std::memcmp(a, b, sizeof(OutVertex) * size_t(n))) << t;
        if (in) {
            // Wholly inside: the triangle as it was.
            ASSERT_EQ(n, 3);
            inside += 1;
        } else {
            clipped += n != 3 ? 1 : 0;
        }
    }
    EXPECT_GT(inside, 2000);
    EXPECT_GT(clipped, 10000);
}

}  // namespace
