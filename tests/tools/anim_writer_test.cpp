#include "engine/anim/anim_format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "engine/anim/anim_check.h"
#include "engine/anim/anim_pose.h"
#include "engine/sys/files.h"
#include "mkdisc/motions.h"
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

const _animation* Anim(const std::vector<uint8_t>& v) {
    return reinterpret_cast<const _animation*>(v.data());
}
uint32_t Size(const std::vector<uint8_t>& v) {
    return static_cast<uint32_t>(v.size());
}

struct Pose {
    std::vector<uint8_t> bytes;
    explicit Pose(uint32_t bones) : bytes(16 + 16 * size_t(bones), 0) {}
    _angle_array* get() { return reinterpret_cast<_angle_array*>(bytes.data()); }
    _angle_array* operator->() { return get(); }
};

// Equal values (a zero may differ in sign between the two ways of mirroring).
void ExpectSamePose(const _angle_array* a, const _angle_array* b, uint32_t bones) {
    EXPECT_EQ(a->rootPosition.x, b->rootPosition.x);
    EXPECT_EQ(a->rootPosition.y, b->rootPosition.y);
    EXPECT_EQ(a->rootPosition.z, b->rootPosition.z);
    for (uint32_t i = 0; i < bones; ++i) {
        EXPECT_EQ(a->angles[i].S, b->angles[i].S) << i;
        EXPECT_EQ(a->angles[i].Axis.x, b->angles[i].Axis.x) << i;
        EXPECT_EQ(a->angles[i].Axis.y, b->angles[i].Axis.y) << i;
        EXPECT_EQ(a->angles[i].Axis.z, b->angles[i].Axis.z) << i;
    }
}

float Component(const AnimDvoKey& k, int i) {
    return veAnimDvoComponent(i < 3 ? k.value[i] : k.tangent[i - 3], AnimDvoExponent(k, i));
}

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
    // Limb chains: hand 8 -> elbow 7 -> shoulder 6 -> clavicle 5; foot 20 -> knee 19 -> thigh 18 -> hip 17.
    EXPECT_EQ(rider[8].parentID, 7u);
    EXPECT_EQ(rider[7].parentID, 6u);
    EXPECT_EQ(rider[6].parentID, 5u);
    EXPECT_EQ(rider[20].parentID, 19u);
    EXPECT_EQ(rider[19].parentID, 18u);
    EXPECT_EQ(rider[18].parentID, 17u);
    // The head is above the waist (+Y is down), the feet below it.
    EXPECT_LT(rider[15].globalPos.y, rider[1].globalPos.y);
    EXPECT_GT(rider[20].globalPos.y, rider[1].globalPos.y);
    EXPECT_GT(rider[25].globalPos.y, rider[1].globalPos.y);
    // Wheels hang on the fork and the swingarm.
    EXPECT_EQ(bike[4].parentID, 3u);
    EXPECT_EQ(bike[11].parentID, 10u);
    EXPECT_EQ(std::string(bike[11].name), "rear_wheel");
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

TEST_F(AnimWriterTest, LeanRightIsLeanLeftMirrored) {
    std::vector<_bone> rider = RiderSkeletonBones(), bike = BikeSkeletonBones();
    const _skeleton rs{uint32_t(rider.size()), rider.data()};
    const _skeleton bs{uint32_t(bike.size()), bike.data()};
    const std::vector<uint8_t> rl = WriteRiderMotion(MotionKind::LeanLeft),
                               rr = WriteRiderMotion(MotionKind::LeanRight);
    const std::vector<uint8_t> bl = WriteBikeMotion(MotionKind::LeanLeft),
                               br = WriteBikeMotion(MotionKind::LeanRight);
    for (float t : {0.0f, 0.1f, 0.2583f, 0.49f}) {
        Pose a(27), b(27);
        veAnimGetAngle(a.get(), Anim(rl), &rs, 0, t);
        veAnimMirrorAnglesFast(a.get(), &rs);
        veAnimGetAngle(b.get(), Anim(rr), &rs, 0, t);
        ExpectSamePose(a.get(), b.get(), 27);
        Pose c(12), d(12);
        veAnimGetAngle(c.get(), Anim(bl), &bs, 0, t);
        veAnimMirrorAnglesFast(c.get(), &bs);
        veAnimGetAngle(d.get(), Anim(br), &bs, 0, t);
        ExpectSamePose(c.get(), d.get(), 12);
    }
    // The lean really leans: at the end the left hand is lower than the right (+Y down, rolled left).
    Pose p(27);
    veAnimGetAngle(p.get(), Anim(rl), &rs, 0, 0.49f);
    std::vector<_matrix4> pal(27);
    veAnimGetMatriciesFast(pal.data(), p.get(), &rs, nullptr);
    _vector3d lh, rh;
    veAnimGetBonePositionFast(&lh, pal.data(), &rs, 8);
    veAnimGetBonePositionFast(&rh, pal.data(), &rs, 13);
    EXPECT_GT(std::fabs(lh.y - rh.y), 5.0f);
}

TEST_F(AnimWriterTest, SampledWriterRefusesWhatItCannotWrite) {
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

TEST_F(AnimWriterTest, HermiteRoundTrip) {
    std::vector<std::vector<AnimHermiteKey>> chans(9);
    for (size_t c = 0; c < chans.size(); ++c)
        chans[c] = {{0.0f, {0.1f * c, 0.2f, -0.3f}, {0, 0, 0}},
                    {0.4f, {0.5f, -0.1f * c, 0.0f}, {1, 0, 0}},
                    {0.9f, {-0.2f, 0.0f, 0.3f * c}, {0, 0, 0}}};
    const std::vector<uint8_t> v = WriteHermiteAnimation(0.9f, chans);
    ASSERT_FALSE(v.empty());
    std::vector<_bone> bones(34);
    std::memset(bones.data(), 0, bones.size() * sizeof(_bone));
    for (uint32_t i = 1; i < 34; ++i) bones[i].parentID = i - 1;
    const _skeleton s{34, bones.data()};
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

TEST_F(AnimWriterTest, DvoKeysQuantiseAndPack) {
    const DvoKeyValues k{0.0f, {0.9765625f, -3.0f, 100.0f}, {0.001f, -40000.0f, 0.0f}, 5};
    const AnimDvoKey e = EncodeDvoKey(k);
    EXPECT_EQ(e.flags, 5);
    EXPECT_EQ(Component(e, 0), 0.9765625f);
    EXPECT_EQ(AnimDvoExponent(e, 0), 15);  // 32000 / 2^15
    EXPECT_EQ(Component(e, 1), -3.0f);
    EXPECT_EQ(Component(e, 2), 100.0f);
    EXPECT_NEAR(Component(e, 3), 0.001f, 1.0f / 65536.0f);
    EXPECT_EQ(e.tangent[1], -32768);  // saturated
    EXPECT_EQ(Component(e, 5), 0.0f);

    uint8_t packed[10];
    const DvoKeyValues r{0.0f, {-25.0f, 1.5f, 0.99609375f}, {-7.0f, 2.0f, -1.0f}, 3};
    ASSERT_TRUE(PackRotationKey(r, packed));
    const AnimDvoKey u = veAnimUnpackRotationKey(packed);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(Component(u, i), i < 3 ? r.value[i] : r.tangent[i - 3]) << i;
    EXPECT_EQ(u.flags, 3);
    const DvoKeyValues tooBig{0.0f, {200.0f, 0, 0}, {0, 0, 0}, 0};
    EXPECT_FALSE(PackRotationKey(tooBig, packed));

    const DvoKeyValues pos{0.0f, {-2.0f, 0.0f, -1.0f}, {-5.0f, -4.5f, 3.0f}, 0};
    ASSERT_TRUE(PackPositionKey(pos, packed));
    EXPECT_EQ(packed[2] | ((packed[3] & 0x3F) << 8), 1600);  // y 0 is stored as 1600
    const AnimDvoKey pu = veAnimUnpackPositionKey(packed);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(Component(pu, i), i < 3 ? pos.value[i] : pos.tangent[i - 3]) << i;
    const DvoKeyValues far{0.0f, {600.0f, 0, 0}, {0, 0, 0}, 0}, deep{0.0f, {0, -101.0f, 0}, {0, 0, 0}, 0};
    EXPECT_FALSE(PackPositionKey(far, packed));
    EXPECT_FALSE(PackPositionKey(deep, packed));
}

// The same motion in the three revisions decodes to the same pose within each one's quantisation.
TEST_F(AnimWriterTest, DvoRoundTripInEveryRevision) {
    std::vector<_bone> bones(33);
    std::memset(bones.data(), 0, bones.size() * sizeof(_bone));
    for (uint32_t i = 1; i < 33; ++i) bones[i].parentID = i - 1;
    const _skeleton s{33, bones.data()};
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

TEST_F(AnimWriterTest, DvoWriterRefusesWhatItCannotWrite) {
    DvoMotion m;
    m.length = 1.0f;
    m.channels[25] = {{0.0f, {0, 0, 0}, {0, 0, 0}, 0}, {1.0f, {0, 0, 0}, {0, 0, 0}, 0}};
    EXPECT_FALSE(WriteDvoAnimation(m).empty());
    DvoMotion bad = m;
    bad.revision = 3;
    EXPECT_TRUE(WriteDvoAnimation(bad).empty());
    bad = m;
    bad.channels[3] = {{0.0f, {0, 0, 0}, {0, 0, 0}, 0}};
    EXPECT_TRUE(WriteDvoAnimation(bad).empty());
    bad = m;
    bad.channels[3] = {{0.1f, {0, 0, 0}, {0, 0, 0}, 0}, {1.0f, {0, 0, 0}, {0, 0, 0}, 0}};
    EXPECT_TRUE(WriteDvoAnimation(bad).empty());
    bad = m;
    bad.length = 5.0f;  // beyond 4 s of revision 1
    EXPECT_TRUE(WriteDvoAnimation(bad).empty());
    bad.revision = 2;
    EXPECT_FALSE(WriteDvoAnimation(bad).empty());
    bad = m;
    bad.subRevision = 1;
    bad.channels[25][1].time = 4.5f;  // 270 sixtieths do not fit a byte
    EXPECT_TRUE(WriteDvoAnimation(bad).empty());
}

// Writer output cut short or with a count raised is refused by the reader's check with a log line.
TEST_F(AnimWriterTest, MalformedWriterOutputIsRefused) {
    std::vector<_bone> rider = RiderSkeletonBones();
    const _skeleton rs{uint32_t(rider.size()), rider.data()};
    std::vector<uint8_t> r = WriteRiderMotion(MotionKind::Jump);
    r.resize(r.size() - 64);
    g_log.clear();
    EXPECT_EQ(veAnimCheckAnimation(Anim(r), Size(r), &rs), -1);
    EXPECT_NE(g_log.find("past the end; animation refused"), std::string::npos) << g_log;
    r = WriteRiderMotion(MotionKind::Jump);
    const float longer = 1.0f;  // claims 60 frames, holds 45
    std::memcpy(r.data() + 4, &longer, 4);
    EXPECT_EQ(veAnimCheckAnimation(Anim(r), Size(r), &rs), -1);
    // A rider skeleton with a broken parent refuses even good motions.
    rider[20].parentID = 25;
    const std::vector<uint8_t> ok = WriteRiderMotion(MotionKind::Idle);
    g_log.clear();
    EXPECT_EQ(veAnimCheckAnimation(Anim(ok), Size(ok), &rs), -1);
    EXPECT_NE(g_log.find("bone 20 has parent 25, not an earlier bone; skeleton refused"), std::string::npos)
        << g_log;
}

}  // namespace
