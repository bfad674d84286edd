#include <gtest/gtest.h>

#include <vector>

#include "engine_fixture.h"

namespace {

using enginetest::EngineTest;
using enginetest::Vertex;

// FNV-1a over the displayed picture.
uint64_t DisplayHash() {
    std::vector<uint8_t> rgba(640 * 448 * 4);
    console::gs::Gs().ReadDisplay(rgba.data());
    uint64_t h = 1469598103934665603ull;
    for (uint8_t b : rgba) h = (h ^ b) * 1099511628211ull;
    return h;
}

struct RunResult {
    uint64_t hash;
    uint64_t combined;  // hashes of shown pictures along the way
    uint64_t shown;
};

// Every 50th shown picture is folded into the run's hash as well.
void OnShown(void* user) {
    auto* r = static_cast<RunResult*>(user);
    if (r->shown % 50 == 0) r->combined = r->combined * 31 + DisplayHash();
    ++r->shown;
}

class DeterminismTest : public EngineTest {
protected:
    void SetUp() override {}
    RunResult Run(int frames) {
        Boot();
        RunResult r{0, 0, 0};
        veDisplaySetFrameShownCallback(OnShown, &r);
        _ve_view v2{}, v3{};
        veDisplayCreateView2D(&v2, 0, 0, 640, 448, kViewAspectFromViewport, 0.1f);
        veDisplayCreateView3D(&v3, 0, 0, 640, 448, kViewCentred, 1.0f, 65535.0f);
        veEngineSetMaxFPS(1);
        for (int f = 0; f < frames; ++f) {
            veEngineBeginFrame();
            // A 3D triangle turning with the frame number and a moving 2D quad.
            const _ve_vector3d pos = {0, 0, 600, 1}, rot = {0, 0, static_cast<float>(f % 360), 1};
            veDisplaySetCameraPositionOrientation(&v3, &pos, &rot);
            veDisplayActivateView(&v3);
            veRenderContextDisable(kRenderTexture);
            veRenderContextEnable(kRenderShading);
            _ve_triangle t{Vertex(-100, -80, 0, 255, 0, 0), Vertex(120, -60, 0, 0, 255, 0),
                           Vertex(0, 110, 0, 0, 0, 255)};
            vePrimDrawTri(&t);
            veDisplayActivateView(&v2);
            const float x = static_cast<float>((f * 7) % 600);
            _ve_quad q{Vertex(x, 10, 0, 200, 200, 0), Vertex(x + 30, 10, 0, 200, 200, 0),
                       Vertex(x + 30, 40, 0, 200, 200, 0), Vertex(x, 40, 0, 200, 200, 0)};
            vePrimDrawQuad(&q);
            veEngineEndFrame();
        }
        veEngineBeginFrame();
        veEngineEndFrame();
        veEngineBeginFrame();
        r.hash = DisplayHash();
        veDisplaySetFrameShownCallback(nullptr, nullptr);
        return r;
    }
};

TEST_F(DeterminismTest, AThousandHeadlessFramesTwiceGiveTheSamePictures) {
    const RunResult a = Run(1000);
    const RunResult b = Run(1000);
    EXPECT_GE(a.shown, 1000u);
    EXPECT_EQ(a.shown, b.shown);
    EXPECT_EQ(a.hash, b.hash);
    EXPECT_EQ(a.combined, b.combined);
    // The picture is not trivially the clear colour.
    EXPECT_NE(a.hash, 0u);
}

}  // namespace
