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

}  // namespace
