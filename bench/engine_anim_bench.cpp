// One frame of skeletal animation for 16 skeletons, as the race's animated views do it: 8 riders (27
// bones, 16-bit sampled motions) and 8 bikes (12 bones, float sampled motions). Per skeleton: sample the
// current motion, mirror every other one, sample a second motion, blend the two, build the bone palette
// and read two bone positions. Each skeleton plays at its own time, advancing 1/60 s a frame.
//
// A second case does the same with packed Hermite motions (revision 1 / 0) on a 33-bone skeleton, the
// encoding with the most work per channel.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "engine/anim/anim_check.h"
#include "engine/anim/anim_format.h"
#include "engine/anim/anim_pose.h"
#include "engine/sys/heap.h"
#include "mkdisc/motions.h"

namespace {

// A motion block in engine memory, as a sub-file of the master file would be.
struct Block {
    _animation* anim = nullptr;
    explicit Block(const std::vector<uint8_t>& img) {
        anim = static_cast<_animation*>(x_fn_malloc(static_cast<uint32_t>(img.size()), "", 0));
        std::memcpy(anim, img.data(), img.size());
    }
};

struct Figure {
    _skeleton* skel;
    _animation* current;
    _animation* blend;
    _angle_array* pose;
    _angle_array* blendPose;
    _matrix4* palette;
    float t;
    int mirror;
};

Figure MakeFigure(_skeleton* s, _animation* a, _animation* b, float t, int mirror) {
    return {s, a,     b, veAnimAllocAngleArray(s), veAnimAllocAngleArray(s), veAnimAllocBonePalette(s),
            t, mirror};
}

void Step(Figure& f, uint16_t boneA, uint16_t boneB, benchmark::State& state) {
    veAnimGetAngle(f.pose, f.current, f.skel, 0, f.t);
    if (f.mirror) veAnimMirrorAnglesFast(f.pose, f.skel);
    veAnimGetAngle(f.blendPose, f.blend, f.skel, 0, f.t);
    veAnimBlendMotion(f.pose, f.pose, f.blendPose, f.skel, 0.4f);
    veAnimGetMatriciesFast(f.palette, f.pose, f.skel, nullptr);
    _vector3d a, b;
    veAnimGetBonePositionFast(&a, f.palette, f.skel, boneA);
    veAnimGetBonePositionFast(&b, f.palette, f.skel, boneB);
    benchmark::DoNotOptimize(a);
    benchmark::DoNotOptimize(b);
    f.t += 1.0f / 60.0f;
    if (f.t > veAnimGetAnimationLength(f.current)) f.t = 0.0f;
}

void BM_Anim16SampledSkeletons(benchmark::State& state) {
    static std::vector<_bone> riderBones = RiderSkeletonBones(), bikeBones = BikeSkeletonBones();
    static _skeleton rider{uint32_t(riderBones.size()), riderBones.data()};
    static _skeleton bike{uint32_t(bikeBones.size()), bikeBones.data()};
    const MotionKind kinds[4] = {MotionKind::Idle, MotionKind::LeanLeft, MotionKind::LeanRight,
                                 MotionKind::Jump};
    std::vector<Block> riderMotions, bikeMotions;
    for (MotionKind k : kinds) {
        riderMotions.emplace_back(WriteRiderMotion(k));
        bikeMotions.emplace_back(WriteBikeMotion(k));
    }
    std::vector<Figure> figures;
    for (int i = 0; i < 8; ++i) {
        figures.push_back(
            MakeFigure(&rider, riderMotions[i % 4].anim, riderMotions[(i + 1) % 4].anim, 0.05f * i, i & 1));
        figures.push_back(
            MakeFigure(&bike, bikeMotions[i % 4].anim, bikeMotions[(i + 3) % 4].anim, 0.07f * i, i & 1));
    }
    for (auto _ : state)
        for (size_t i = 0; i < figures.size(); ++i) {
            if (i & 1)
                Step(figures[i], 4, 11, state);
            else
                Step(figures[i], 8, 13, state);
        }
    state.counters["skeletons"] = 16;
}
BENCHMARK(BM_Anim16SampledSkeletons)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true);

void BM_Anim16PackedHermiteSkeletons(benchmark::State& state) {
    static std::vector<_bone> bones(33);
    for (uint32_t i = 0; i < 33; ++i) {
        std::memset(&bones[i], 0, sizeof(_bone));
        bones[i].boneID = i;
        bones[i].parentID = i ? i - 1 : 0;
        bones[i].parentToBone = {0.0f, -5.0f, 1.0f};
    }
    static _skeleton skel{33, bones.data()};
    // Every channel with five keys over a second.
    DvoMotion m;
    m.length = 1.0f;
    for (uint32_t c = 0; c < kDvoChannels; ++c)
        for (int k = 0; k < 5; ++k) {
            const float v = 0.1f * float(int(c % 7) - 3) + 0.05f * float(k);
            m.channels[c].push_back({0.25f * float(k), {v, -v, 0.5f * v}, {0.2f, 0.0f, -0.1f}, 0});
        }
    Block a(WriteDvoAnimation(m));
    m.revision = 2;
    Block b(WriteDvoAnimation(m));
    std::vector<Figure> figures;
    for (int i = 0; i < 16; ++i) figures.push_back(MakeFigure(&skel, a.anim, b.anim, 0.06f * i, i & 1));
    for (auto _ : state)
        for (Figure& f : figures) Step(f, 9, 16, state);
    state.counters["skeletons"] = 16;
}
BENCHMARK(BM_Anim16PackedHermiteSkeletons)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true);

}  // namespace
