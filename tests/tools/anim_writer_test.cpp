#include "engine/anim/anim_format.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "engine/anim/anim_check.h"
#include "engine/anim/anim_pose.h"
#include "engine/sys/files.h"
#include "mkdisc/motions.h"
#include "support/anim_bytes.h"
#include "support/log_capture.h"

namespace {

using testsupport::g_log;

class AnimWriterTest : public ::testing::Test {
protected:
    void SetUp() override {
        x_InitSTDIO();
        log_.attach();
    }
    testsupport::LogCapture log_;
};

using testsupport::Anim;
using testsupport::Pose;
using testsupport::Size;

TEST_F(AnimWriterTest, SkeletonsHoldTheBonesTheViewsUse) {
    const std::vector<_bone> rider = RiderSkeletonBones(), bike = BikeSkeletonBones();
    const _skeleton rs{uint32_t(rider.size()), const_cast<_bone*>(rider.data())};
    const _skeleton bs{uint32_t(bike.size()), const_cast<_bone*>(bike.data())};
    EXPECT_EQ(veAnimCheckSkeleton(&rs), 0) << g_log;
    EXPECT_EQ(veAnimCheckSkeleton(&bs), 0) << g_log;
    ASSERT_EQ(rider.size(), 27u);
    ASSERT_EQ(bike.size(), 12u);
    // Arms 5-9 / 10-14 and legs 17-21 / 22-26 are twins, mirror images in x.
    for (uint32_t b : {5u, 6u, 7u, 8u, 9u, 17u, 18u, 19u, 20u, 21u}) {
        EXPECT_EQ(rider[b].mirrorID, b + 5) << b;
        EXPECT_EQ(rider[b + 5].mirrorID, b) << b;
        EXPECT_EQ(rider[b].globalPos.x, -rider[b + 5].globalPos.x) << b;
        EXPECT_EQ(rider[b].globalPos.y, rider[b + 5].globalPos.y) << b;
        EXPECT_GT(rider[b].globalPos.x, 0.0f) << b;  // the left side is +x
    }
    // globalPos is the sum of the offsets from the root.
    for (const auto* bones : {&rider, &bike})
        for (size_t i = 1; i < bones->size(); ++i) {
            const _bone& b = (*bones)[i];
            const _bone& p = (*bones)[b.parentID];
            EXPECT_FLOAT_EQ(b.globalPos.x, p.globalPos.x + b.parentToBone.x);
            EXPECT_FLOAT_EQ(b.globalPos.y, p.globalPos.y + b.parentToBone.y);
            EXPECT_FLOAT_EQ(b.globalPos.z, p.globalPos.z + b.parentToBone.z);
            EXPECT_EQ(b.boneID, i);
        }
}

TEST_F(AnimWriterTest, SampleMotionsCheckAndPlayBackTheirFrames) {
    std::vector<_bone> rider = RiderSkeletonBones(), bike = BikeSkeletonBones();
    const _skeleton rs{uint32_t(rider.size()), rider.data()};
    const _skeleton bs{uint32_t(bike.size()), bike.data()};
    const float lengths[] = {1.0f, 0.5f, 0.5f, 0.75f};
    int kindIndex = 0;
    for (MotionKind kind :
         {MotionKind::Idle, MotionKind::LeanLeft, MotionKind::LeanRight, MotionKind::Jump}) {
        SCOPED_TRACE(kindIndex);
        const std::vector<uint8_t> r = WriteRiderMotion(kind), b = WriteBikeMotion(kind);
        ASSERT_FALSE(r.empty());
        ASSERT_FALSE(b.empty());
        EXPECT_EQ(r.size() % 16, 0u);
        EXPECT_EQ(Anim(r)->versionID, 2);
        EXPECT_EQ(Anim(b)->versionID, 1);
        EXPECT_EQ(veAnimCheckAnimation(Anim(r), Size(r), &rs), 0) << g_log;
        EXPECT_EQ(veAnimCheckAnimation(Anim(b), Size(b), &bs), 0) << g_log;
        EXPECT_FLOAT_EQ(veAnimGetAnimationLength(Anim(r)), lengths[kindIndex]);
        // Written for one skeleton, refused for the other.
        g_log.clear();
        EXPECT_EQ(veAnimCheckAnimation(Anim(r), Size(r), &bs), -1);
        EXPECT_EQ(veAnimCheckAnimation(Anim(b), Size(b), &rs), -1);
        EXPECT_NE(g_log.find("animation refused"), std::string::npos);

        // Frame k plays back at k / 60 s (k / 60 in floats may land a hair before the frame): float
        // frames as written, 16-bit ones within half a step.
        const std::vector<SampledFrame> rf = RiderMotionFrames(kind), bf = BikeMotionFrames(kind);
        Pose rp(27), bp(12);
        for (size_t k = 0; k < rf.size(); k += 7) {
            veAnimGetAngle(rp.get(), Anim(r), &rs, 0, float(k) / 60.0f);
            veAnimGetAngle(bp.get(), Anim(b), &bs, 0, float(k) / 60.0f);
            EXPECT_NEAR(rp->rootPosition.y, rf[k].root.y, 1e-4f);
            EXPECT_NEAR(bp->rootPosition.y, bf[k].root.y, 1e-4f);
            for (size_t i = 0; i < 27; ++i) {
                EXPECT_NEAR(rp->angles[i].S, rf[k].bones[i].S, 0.6f / 16384.0f);
                EXPECT_NEAR(rp->angles[i].Axis.z, rf[k].bones[i].Axis.z, 0.6f / 16384.0f);
            }
            for (size_t i = 0; i < 12; ++i) {
                EXPECT_NEAR(bp->angles[i].S, bf[k].bones[i].S, 1e-6f);
                EXPECT_NEAR(bp->angles[i].Axis.x, bf[k].bones[i].Axis.x, 1e-6f);
            }
        }
        ++kindIndex;
    }
}

}  // namespace
