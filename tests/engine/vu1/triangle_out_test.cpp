#include "engine/vu1/triangle_out.h"

#include <cstring>
#include <random>
#include <vector>

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
std::vector<uint8_t> Draw(const std::vector<OutVertex>& v, bool drop) {
    auto& mem = console::gs::Gs().Memory();
    std::memset(mem.Data(), 0, kFrameBytes);
    const bool old = TriangleOut::DropOutsideWindow(drop);
    {
        uint64_t tag[2] = {(1ull << 15) | (1ull << 46) | (uint64_t(3 | 8) << 47) | (3ull << 60), 0x512};
        console::gif::GifTag tmpl;
        std::memcpy(&tmpl, tag, 16);
        TriangleOut out(tmpl);
        for (size_t i = 0; i + 2 < v.size(); i += 3) out.Triangle(v[i], v[i + 1], v[i + 2], false, false);
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
        EXPECT_EQ(sentCulled + nowDropped, sentAll);
        EXPECT_GT(nowDropped, sentAll / 3) << "many of these triangles cannot draw";
        EXPECT_GT(sentCulled, 100u);
        size_t lit = 0;
        for (size_t i = 0; i < all.size(); i += 4) lit += all[i] | all[i + 1] | all[i + 2] ? 1 : 0;
        EXPECT_GT(lit, 10000u) << "the comparison covers drawn pixels";
    }
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

}  // namespace
