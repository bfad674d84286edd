// One engine frame drawing 500 textured, lit geometry blocks of 192 triangles (a box with each face
// split into 4 x 4 quads, 8-bit checker texture) through a 3D camera: frustum tests, program selection,
// view packets, texture uploads (cache on: one upload), draw environments and the VU1 lit program,
// then the GS. Measured: building the frame plus running its DMA list at the next begin.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "../tests/support/engine_boot.h"
#include "engine/hal/display.h"
#include "engine/hal/engine.h"
#include "engine/hal/geometry.h"
#include "engine/hal/geometry_format.h"
#include "engine/hal/lights.h"
#include "engine/hal/texture_manager.h"
#include "engine/hal/view_matrices.h"
#include "engine/sys/heap.h"

namespace {

void BM_EngineFrame500LitBlocks(benchmark::State& state) {
    testsupport::BootEngineOnce();
    GeoMesh mesh;
    mesh.geoType = kGeoFamily16;  // lit
    mesh.materials.push_back(MakeBox(1, 1, 1, 4, 0, CheckerTexture(32, 4, 0x80C08040, 0x80404040)));
    const std::vector<uint8_t> img = WriteGeometry(mesh);
    auto* block = static_cast<_FS_GEO_HEADER*>(x_fn_malloc(static_cast<uint32_t>(img.size()), "", 0));
    std::memcpy(block, img.data(), img.size());
    if (!veEngineLoadGeo(block, img.size())) {
        state.SkipWithError("block refused");
        return;
    }
    static _ve_view view;
    veDisplayCreateView3D(&view, 0, 0, 640, 448, kViewCentred | kViewAspectFromViewport, 1.0f, 65535.0f);
    M4_Identity(&view.cameraMatrix);
    veLightCreateLightColorMatrix();
    _matrix4 n;
    M4_Identity(&n);
    veLightCreateNormalizedLightMatrix(&n);
    for (auto _ : state) {
        veEngineBeginFrame();
        veDisplayActivateView(&view);
        veTextureEnableCache();
        for (int i = 0; i < 500; ++i) {
            _matrix4 m;
            M4_Identity(&m);
            m.M[12] = static_cast<float>(i % 25 - 12) * 2.5f;
            m.M[13] = static_cast<float>(i / 25 % 20 - 10) * 1.6f;
            m.M[14] = 30.0f + static_cast<float>(i % 7);
            veEngineSetLocalToWorld(&m);
            veEngineDrawGeometry(block);
        }
        veEngineEndFrame();
        veEngineBeginFrame();  // runs the list
        veEngineEndFrame();
    }
    state.counters["triangles"] = 500.0 * 192;
    x_free(block);
}
BENCHMARK(BM_EngineFrame500LitBlocks)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

}  // namespace
