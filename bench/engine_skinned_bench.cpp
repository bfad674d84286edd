// One engine frame with 8 skinned riders and 8 skinned bikes (each posed from its motion this frame:
// sample, bone palette, bone array) and 500 instanced boxes in batches of 27 with per-instance colours,
// through a 3D camera. Measured: building the frame plus running its DMA list (VU1 programs, GS) at the
// next begin.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "../tests/support/engine_boot.h"
#include "engine/anim/anim_decode.h"
#include "engine/anim/anim_format.h"
#include "engine/anim/anim_pose.h"
#include "engine/hal/display.h"
#include "engine/hal/engine.h"
#include "engine/hal/geometry.h"
#include "engine/hal/geometry_format.h"
#include "engine/hal/geometry_instanced.h"
#include "engine/hal/geometry_skinned.h"
#include "engine/hal/geometry_skinned_format.h"
#include "engine/hal/texture_manager.h"
#include "engine/hal/view_matrices.h"
#include "engine/sys/heap.h"
#include "engine/vu1/instanced_programs.h"
#include "engine/vu1/skinned_programs.h"
#include "mkdisc/models.h"
#include "mkdisc/motions.h"

namespace {

_FS_GEO_HEADER* Load(const std::vector<uint8_t>& img) {
    auto* b = static_cast<_FS_GEO_HEADER*>(x_fn_malloc(static_cast<uint32_t>(img.size()), "", 0));
    std::memcpy(b, img.data(), img.size());
    return veEngineLoadGeo(b, img.size()) ? b : nullptr;
}

struct Model {
    _FS_GEO_HEADER* block;
    std::vector<_bone> bones;
    _skeleton skel;
    std::vector<uint8_t> motion;
    _angle_array* pose;
    _matrix4* palette;
};

void BM_EngineFrameSkinnedAndInstanced(benchmark::State& state) {
    testsupport::BootEngineOnce();
    Model models[2] = {{Load(WriteRiderSkinnedGeometry(false)),
                        RiderSkeletonBones(),
                        {},
                        WriteRiderMotion(MotionKind::Jump),
                        nullptr,
                        nullptr},
                       {Load(WriteBikeSkinnedGeometry(false)),
                        BikeSkeletonBones(),
                        {},
                        WriteBikeMotion(MotionKind::LeanLeft),
                        nullptr,
                        nullptr}};
    for (Model& m : models) {
        m.skel = {uint32_t(m.bones.size()), m.bones.data()};
        m.pose = veAnimAllocAngleArray(&m.skel);
        m.palette = veAnimAllocBonePalette(&m.skel);
    }
    GeoMesh mesh;
    mesh.geoType = kGeoFamily16 | kGeoPreLit;
    mesh.materials.push_back(MakeBox(1, 1, 1, 1, 0x80808080, CheckerTexture(32, 4, 0x80C08040, 0x80404040)));
    _FS_GEO_HEADER* inst = Load(WriteGeometry(mesh));
    if (!models[0].block || !models[1].block || !inst || !models[0].pose || !models[1].palette) {
        state.SkipWithError("blocks refused");
        return;
    }
    std::vector<_matrix4> mats(500);
    std::vector<_RGBA_GEO> colours(500);
    for (int i = 0; i < 500; ++i) {
        M4_Identity(&mats[i]);
        mats[i].M[12] = static_cast<float>(i % 25 - 12) * 6.0f;
        mats[i].M[13] = static_cast<float>(i / 25 % 20 - 10) * 4.0f;
        mats[i].M[14] = 120.0f + static_cast<float>(i % 7) * 5.0f;
        colours[i] = {128.0f - float(i % 64), 128.0f, 96.0f, 128.0f - float(i % 32)};
    }
    static _ve_view view;
    veDisplayCreateView3D(&view, 0, 0, 640, 448, kViewCentred | kViewAspectFromViewport, 1.0f, 65535.0f);
    M4_Identity(&view.cameraMatrix);
    float t = 0.0f;
    const uint64_t tris0 = engine::vu1::SkinnedProgram::TrianglesDrawn();
    const uint64_t inst0 = engine::vu1::InstancedProgram::InstancesDrawn();
    uint64_t frames = 0;
    for (auto _ : state) {
        ++frames;
        veEngineBeginFrame();
        veDisplayActivateView(&view);
        veTextureEnableCache();
        veDisplaySetMode(0);
        for (int k = 0; k < 8; ++k)
            for (Model& m : models) {
                const auto* anim = reinterpret_cast<const _animation*>(m.motion.data());
                veAnimGetAngle(m.pose, anim, &m.skel, 0, t);
                veAnimGetMatriciesFast(m.palette, m.pose, &m.skel, nullptr);
                _matrix4 l2w;
                M4_Identity(&l2w);
                l2w.M[12] = static_cast<float>(k - 4) * 60.0f;
                l2w.M[14] = 400.0f;
                veEngineSetLocalToWorld(&l2w);
                _geo_skeleton gs{int32_t(m.skel.boneCount), nullptr};
                veEngineSetBoneArray(m.palette, &gs);
                veEngineDrawGeometry(m.block);
            }
        _matrix4 id;
        M4_Identity(&id);
        veEngineSetLocalToWorld(&id);
        veDisplaySetMode(0x40000);
        for (int first = 0; first < 500; first += 27) {
            const int n = first + 27 <= 500 ? 27 : 500 - first;
            veEngineDrawInstanceGeometry(inst, &mats[first], &colours[first], n);
        }
        veDisplaySetMode(0);
        veEngineEndFrame();
        veEngineBeginFrame();  // runs the list
        veEngineEndFrame();
        t += 1.0f / 60.0f;
        if (t > 0.7f) t = 0.0f;
    }
    // What reached the GS per frame, as a check that the frame did its work.
    state.counters["skinned_tris"] =
        double(engine::vu1::SkinnedProgram::TrianglesDrawn() - tris0) / double(frames);
    state.counters["instances_drawn"] =
        double(engine::vu1::InstancedProgram::InstancesDrawn() - inst0) / double(frames);
}
BENCHMARK(BM_EngineFrameSkinnedAndInstanced)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

}  // namespace
