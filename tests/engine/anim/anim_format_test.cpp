// The animation writers: what they write decodes back to the keys and frames they were given, in every
// layout and revision, and what they cannot write they refuse.
#include "engine/anim/anim_format.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "anim_test_support.h"
#include "engine/anim/anim_check.h"
#include "engine/anim/anim_decode.h"
#include "engine/anim/anim_pose.h"
#include "support/anim_bytes.h"

namespace {

using AnimFormatTest = animtest::LogTest;
using animtest::g_log;

using testsupport::Anim;
using testsupport::Pose;
using testsupport::Size;

TEST_F(AnimFormatTest, SampledWriterRefusesWhatItCannotWrite) {
    const SampledFrame f{{1, 2, 3}, {{1, {0, 0, 0}}, {0.5f, {0.5f, 0.5f, 0.5f}}}};
    EXPECT_TRUE(WriteSampledAnimation(3, {f}).empty());
    EXPECT_TRUE(WriteSampledAnimation(1, {}).empty());
    SampledFrame g = f;
    g.bones.pop_back();
    EXPECT_TRUE(WriteSampledAnimation(1, {f, g}).empty());
    SampledFrame big = f;
    big.bones[0].S = 2.5f;
    EXPECT_TRUE(WriteSampledAnimation(2, {big}).empty());
    EXPECT_FALSE(WriteSampledAnimation(1, {big}).empty());
    const std::vector<uint8_t> two = WriteSampledAnimation(2, {f, f, f});
    ASSERT_EQ(two.size(), 96u);  // 8 + 3 x (12 + 2 x 8) = 92, padded to whole quadwords
    int16_t raw[4];
    std::memcpy(raw, two.data() + 8 + 12 + 8, 8);
    EXPECT_EQ(raw[0], 8192);
    EXPECT_EQ(raw[3], 8192);
}

TEST_F(AnimFormatTest, HermiteRoundTrip) {
    std::vector<std::vector<AnimHermiteKey>> chans(9);
    for (size_t c = 0; c < chans.size(); ++c)
        chans[c] = {{0.0f, {0.1f * c, 0.2f, -0.3f}, {0, 0, 0}},
                    {0.4f, {0.5f, -0.1f * c, 0.0f}, {1, 0, 0}},
                    {0.9f, {-0.2f, 0.0f, 0.3f * c}, {0, 0, 0}}};
    const std::vector<uint8_t> v = WriteHermiteAnimation(0.9f, chans);
    ASSERT_FALSE(v.empty());
    const animtest::TestSkeleton skeleton(34);
    const _skeleton& s = *skeleton.get();
    ASSERT_EQ(veAnimCheckAnimation(Anim(v), Size(v), &s), 0) << g_log;
    EXPECT_FLOAT_EQ(veAnimGetAnimationLength(Anim(v)), 0.9f);
    Pose p(34);
    for (size_t k = 0; k < 3; ++k) {
        veAnimGetAngle(p.get(), Anim(v), &s, 0, chans[0][k].time);
        for (size_t c = 0; c < chans.size(); ++c) {
            _quaternion want;
            Q_SetupFromAngles(&want, chans[c][k].value[0], chans[c][k].value[1], chans[c][k].value[2]);
            const _quaternion& got = p->angles[remapArray[c]];
            EXPECT_NEAR(got.S, want.S, 1e-6f) << c << " " << k;
            EXPECT_NEAR(got.Axis.y, want.Axis.y, 1e-6f) << c << " " << k;
        }
    }
    EXPECT_TRUE(WriteHermiteAnimation(1.0f, std::vector<std::vector<AnimHermiteKey>>(31)).empty());
}

// The same motion in the three revisions decodes to the same pose within each one's quantisation.
TEST_F(AnimFormatTest, DvoRoundTripInEveryRevision) {
    const animtest::TestSkeleton skeleton(33);
    const _skeleton& s = *skeleton.get();
    DvoMotion m;
    m.length = 1.0f;
    m.channels[0] = {{0.0f, {0.1f, 0.2f, -0.3f}, {0.5f, 0, 0}, 0},
                     {0.5f, {0.4f, -0.25f, 0.5f}, {0, 1, 0}, 0},
                     {1.0f, {-0.5f, 0.0f, 0.75f}, {0, 0, 0}, 0}};
    m.channels[11] = {{0.0f, {0.0f, 0.25f, 0.0f}, {0, 0, 0}, 0}, {1.0f, {0.0f, 0.75f, 0.0f}, {0, 0, 0}, 0}};
    m.channels[12] = {{0.0f, {3.0f, 0, 0}, {0, 0, 0}, 1}, {1.0f, {-3.0f, 0, 0}, {0, 0, 0}, 0}};
    m.channels[25] = {{0.0f, {10.0f, 0.0f, -4.0f}, {0, 0, 0}, 0},
                      {0.5f, {20.0f, -5.0f, 8.0f}, {2, 0, 0}, 0},
                      {1.0f, {30.0f, 0.0f, 16.0f}, {0, 0, 0}, 0}};
    struct Rev {
        uint8_t rev, sub;
        float tol;
    };
    for (const Rev& r : {Rev{1, 0, 1e-4f}, Rev{2, 0, 1e-4f}, Rev{1, 1, 0.01f}}) {
        SCOPED_TRACE(std::to_string(r.rev) + "." + std::to_string(r.sub));
        m.revision = r.rev;
        m.subRevision = r.sub;
        const std::vector<uint8_t> v = WriteDvoAnimation(m);
        ASSERT_FALSE(v.empty());
        ASSERT_EQ(veAnimCheckAnimation(Anim(v), Size(v), &s), 0) << g_log;
        EXPECT_NEAR(veAnimGetAnimationLength(Anim(v)), 1.0f, 1e-4f);
        Pose p(33);
        // At key times the pose is the key's values.
        for (size_t k = 0; k < 3; ++k) {
            veAnimGetAngle(p.get(), Anim(v), &s, 0, m.channels[0][k].time);
            _quaternion want;
            Q_SetupFromAngles(&want, m.channels[0][k].value[0], m.channels[0][k].value[1],
                              m.channels[0][k].value[2]);
            EXPECT_NEAR(p->angles[0].S, want.S, r.tol) << k;
            EXPECT_NEAR(p->angles[0].Axis.x, want.Axis.x, r.tol) << k;
            EXPECT_NEAR(p->angles[0].Axis.z, want.Axis.z, r.tol) << k;
            EXPECT_NEAR(p->rootPosition.x, m.channels[25][k].value[0], r.tol * 10) << k;
            EXPECT_NEAR(p->rootPosition.z, m.channels[25][k].value[2], r.tol * 10) << k;
        }
        veAnimGetAngle(p.get(), Anim(v), &s, 0, 1.0f);
        EXPECT_NEAR(p->rootOrientation, 0.75f, 4e-3f);
        // Channel 12 (bone 9) takes the long way from 3 to -3: through 0 at the middle.
        veAnimGetAngle(p.get(), Anim(v), &s, 0, 0.5f);
        EXPECT_NEAR(p->angles[9].S, 1.0f, r.tol);
        // Mirrored: bone 16 instead, root x reflected about its start (10): 20 -> 0.
        veAnimGetAngle(p.get(), Anim(v), &s, 1, 0.5f);
        EXPECT_NEAR(p->angles[16].S, 1.0f, r.tol);
        EXPECT_NEAR(p->rootPosition.x, 0.0f, r.tol * 10);
        EXPECT_NEAR(p->rootPosition.y, -5.0f, r.tol * 10);
    }
}

}  // namespace
