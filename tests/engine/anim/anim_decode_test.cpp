#include "engine/anim/anim_decode.h"

#include <gtest/gtest.h>

#include <cmath>

#include "engine/anim/anim_check.h"
#include "engine/anim/anim_pose.h"
#include "engine/anim/anim_test_support.h"

namespace {

using namespace animtest;

// Pose storage for n bones on the stack of a test.
struct Pose {
    alignas(16) uint8_t bytes[16 + 16 * kAnimMaxBones];
    _angle_array* operator->() { return reinterpret_cast<_angle_array*>(bytes); }
    _angle_array* get() { return reinterpret_cast<_angle_array*>(bytes); }
    explicit Pose(float fill = 7.0f) {
        float* f = reinterpret_cast<float*>(bytes);
        for (size_t i = 0; i < sizeof bytes / 4; ++i) f[i] = fill;
    }
};

// Version 1, `frames` frames of `bones` bones: frame k root (k, 2k, -k), bone b quaternion
// (k + b, 10k, -k, 0.5 b).
std::vector<uint8_t> V1Block(uint32_t frames, uint32_t bones) {
    std::vector<uint8_t> v;
    PutAt(v, 0, _animation{1, 0, 0, float(frames) / 60.0f});
    for (uint32_t k = 0; k < frames; ++k) {
        const size_t at = 8 + size_t(k) * (12 + 16 * bones);
        PutAt(v, at, _vector3d{float(k), 2.0f * k, -float(k)});
        for (uint32_t b = 0; b < bones; ++b)
            PutAt(v, at + 12 + 16 * b, _quaternion{float(k + b), {10.0f * k, -float(k), 0.5f * b}});
    }
    return v;
}

// Version 2: frame k root (k, 0, 0), bone b raw (16384, 100k, -100k, 8b).
std::vector<uint8_t> V2Block(uint32_t frames, uint32_t bones) {
    std::vector<uint8_t> v;
    PutAt(v, 0, _animation{2, 0, 0, float(frames) / 60.0f});
    for (uint32_t k = 0; k < frames; ++k) {
        const size_t at = 8 + size_t(k) * (12 + 8 * bones);
        PutAt(v, at, _vector3d{float(k), 0, 0});
        for (uint32_t b = 0; b < bones; ++b) {
            const int16_t q[4] = {16384, int16_t(100 * k), int16_t(-100 * int(k)), int16_t(8 * b)};
            PutAt(v, at + 12 + 8 * b, q);
        }
    }
    return v;
}

TEST(AnimSampled, FramesAtSixtyHertzBlendLinearlyAndClampAtTheEnds) {
    TestSkeleton s(4);
    const std::vector<uint8_t> v1 = V1Block(40, 4), v2 = V2Block(40, 4);  // 0.67 s
    GuardedBlock g1(v1), g2(v2);
    ASSERT_EQ(veAnimCheckAnimation(g1.anim(), g1.size(), s.get()), 0);
    ASSERT_EQ(veAnimCheckAnimation(g2.anim(), g2.size(), s.get()), 0);
    Pose p;
    veAnimQtnGetAngle(p.get(), g1.anim(), s.get(), 0.5f);  // frame 30
    EXPECT_EQ(p->rootPosition.x, 30.0f);
    EXPECT_EQ(p->rootPosition.y, 60.0f);
    EXPECT_EQ(p->rootPosition.z, -30.0f);
    EXPECT_TRUE(QuatEq(p->angles[1], _quaternion{31.0f, {300.0f, -30.0f, 0.5f}}));
    EXPECT_EQ(p->rootOrientation, 7.0f);  // sampled versions leave the heading alone
    // 0.505 s is frame 30.3: weights 0.7 on frame 30 and 0.3 on frame 31, not normalised.
    veAnimQtnGetAngle(p.get(), g1.anim(), s.get(), 0.505f);
    EXPECT_NEAR(p->rootPosition.x, 30.3f, 1e-4f);
    EXPECT_NEAR(p->rootPosition.y, 60.6f, 1e-4f);
    EXPECT_NEAR(p->angles[0].S, 30.3f, 1e-4f);
    EXPECT_NEAR(p->angles[0].Axis.x, 303.0f, 1e-3f);
    EXPECT_NEAR(p->angles[1].Axis.z, 0.5f, 1e-6f);
    // The same through the version dispatch.
    Pose q;
    veAnimGetAngle(q.get(), g1.anim(), s.get(), 0, 0.505f);
    EXPECT_EQ(std::memcmp(p.bytes, q.bytes, 16 + 4 * 16), 0);
    // Times outside the frames hold the first or last frame.
    for (float t : {40.0f / 60.0f, 39.0f / 60.0f + 0.001f, 1e9f, INFINITY, -0.5f, -INFINITY, NAN}) {
        const float k = t > 0 ? 39.0f : 0.0f;
        veAnimQtnGetAngle(p.get(), g1.anim(), s.get(), t);
        EXPECT_EQ(p->rootPosition.x, k) << t;
        EXPECT_TRUE(QuatEq(p->angles[2], _quaternion{k + 2, {10 * k, -k, 1.0f}})) << t;
    }
    // Version 2 quaternions are 16-bit fixed point.
    veAnimCompressedQtnGetAngle(p.get(), g2.anim(), s.get(), 0.5f);
    EXPECT_EQ(p->rootPosition.x, 30.0f);
    EXPECT_TRUE(QuatEq(p->angles[3], _quaternion{1.0f, {3000.0f / 16384, -3000.0f / 16384, 24.0f / 16384}}));
    veAnimCompressedQtnGetAngle(p.get(), g2.anim(), s.get(), 0.505f);
    EXPECT_NEAR(p->angles[3].Axis.x, 3030.0f / 16384.0f, 1e-5f);
    EXPECT_NEAR(p->rootPosition.x, 30.3f, 1e-4f);
    veAnimCompressedQtnGetAngle(p.get(), g2.anim(), s.get(), 5.0f);
    EXPECT_EQ(p->rootPosition.x, 39.0f);
}

TEST(AnimDvo, ComponentsAndLengths) {
    EXPECT_EQ(veAnimDvoComponent(1000, 10), 0.9765625f);
    EXPECT_EQ(veAnimDvoComponent(-32768, 15), -1.0f);
    EXPECT_EQ(veAnimDvoComponent(7, 0), 7.0f);
    const std::vector<uint8_t> r2 = DvoBlock(2, 0, 0x4000, {});
    const std::vector<uint8_t> r1 = DvoBlock(1, 0, 0x4000, {});
    const std::vector<uint8_t> r11 = DvoBlock(1, 1, 0x4000, {});
    EXPECT_EQ(veAnimGetAnimationLength(reinterpret_cast<const _animation*>(r2.data())), 4.0f);
    EXPECT_EQ(veAnimGetAnimationLength(reinterpret_cast<const _animation*>(r1.data())), 1.0f);
    EXPECT_EQ(veAnimGetAnimationLength(reinterpret_cast<const _animation*>(r11.data())), 1.0f);
    std::vector<uint8_t> v1;
    PutAt(v1, 0, _animation{1, 0, 0, 2.5f});
    EXPECT_EQ(veAnimGetAnimationLength(reinterpret_cast<const _animation*>(v1.data())), 2.5f);
    EXPECT_EQ(veAnimGetAnimationData(reinterpret_cast<_animation*>(v1.data())), v1.data() + 8);
}

TEST(AnimDvo, LongWayFlagChoosesTheTurnThroughZeroNearestOtherwise) {
    // x from 3.0 to -3.0 rad, zero tangents. At u = 0.25 the weight of B is 0.15625.
    const AnimDvoKey a = RawKey(24576, 0, 0, 0, 0, 0, 13);
    const AnimDvoKey along = RawKey(24576, 0, 0, 0, 0, 0, 13, 1);
    const AnimDvoKey b = RawKey(-24576, 0, 0, 0, 0, 0, 13);
    _quaternion q;
    // Flag clear: A becomes 3 - 2 pi, so the path crosses pi.
    veAnimHermiteGetAngleJoint_DVO_1(&q, &a, &b, 0, 0.5f, 1.0f);
    EXPECT_NEAR(std::fabs(XAngle(q)), X_PI, 1e-5f);
    veAnimHermiteGetAngleJoint_DVO_1(&q, &a, &b, 0, 0.25f, 1.0f);
    EXPECT_NEAR(XAngle(q), 0.84375f * (3.0f - 6.2831855f) + 0.15625f * -3.0f, 1e-5f);
    // Flag set: the long way, through 0.
    veAnimHermiteGetAngleJoint_DVO_1(&q, &along, &b, 0, 0.5f, 1.0f);
    EXPECT_NEAR(XAngle(q), 0.0f, 1e-6f);
    veAnimHermiteGetAngleJoint_DVO_2_Intro(&q, &along, &b, 0, 0.25f, 1.0f);
    EXPECT_NEAR(XAngle(q), 0.84375f * 3.0f + 0.15625f * -3.0f, 1e-5f);
    // Tangents are scaled by the segment duration: A = B = 0, tangent A 1 rad/s, 2 s: x = 0.125 * 2.
    const AnimDvoKey ta = RawKey(0, 0, 0, 1024, 0, 0, 10);
    const AnimDvoKey zero = RawKey(0, 0, 0, 0, 0, 0, 10);
    veAnimHermiteGetAngleJoint_DVO_1(&q, &ta, &zero, 0, 0.5f, 2.0f);
    EXPECT_NEAR(XAngle(q), 0.25f, 1e-6f);
}

// A one-channel rotation block plus a still root position channel.
std::vector<uint8_t> OneChannel(uint32_t channel, const AnimDvoKey& a, const AnimDvoKey& b, uint16_t t1) {
    const AnimDvoKey still = RawKey(0, 0, 0, 0, 0, 0, 4);
    return DvoBlock(
        1, 0, 0x4000,
        {{channel, {t1}, {KeyBytes(a), KeyBytes(b)}}, {25, {t1}, {KeyBytes(still), KeyBytes(still)}}});
}

TEST(AnimDvo, UnknownRevisionsAndBonesBeyondTheSkeletonLeaveThePose) {
    TestSkeleton s(33);
    const AnimDvoKey k = RawKey(1024, 0, 0, 0, 0, 0, 10);
    std::vector<uint8_t> img = OneChannel(0, k, k, 100);
    for (auto [rev, sub] : {std::pair{3, 0}, std::pair{1, 2}, std::pair{0, 0}}) {
        img[2] = uint8_t(rev);
        img[3] = uint8_t(sub);
        Pose p;
        veAnimGetAngle(p.get(), reinterpret_cast<const _animation*>(img.data()), s.get(), 0, 0.1f);
        EXPECT_EQ(p->angles[0].S, 7.0f);
        EXPECT_EQ(p->rootPosition.x, 7.0f);
    }
    img[0] = 5;
    img[2] = 1;
    img[3] = 0;
    Pose p;
    veAnimGetAngle(p.get(), reinterpret_cast<const _animation*>(img.data()), s.get(), 0, 0.1f);
    EXPECT_EQ(p->angles[0].S, 7.0f);
    // Routed bones beyond a small skeleton are skipped even when the caller never checked the block;
    // nothing is written past the skeleton's bones.
    TestSkeleton small(5);
    const std::vector<uint8_t> far = OneChannel(24, k, k, 100);  // bone 26
    veAnimGetAngle(p.get(), reinterpret_cast<const _animation*>(far.data()), small.get(), 0, 0.0f);
    for (int i = 0; i < 5; ++i) EXPECT_TRUE(QuatEq(p->angles[i], _quaternion{1, {0, 0, 0}}));
    EXPECT_EQ(p->angles[5].S, 7.0f);
}

}  // namespace
