#include "engine/anim/anim_pose.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <cstring>

#include "engine/anim/anim_test_support.h"
#include "engine/hal/geometry.h"
#include "engine/sys/heap.h"

namespace {

using namespace animtest;

class AnimPoseTest : public LogTest {};

// A pose of the skeleton with distinct, normalised rotations.
_angle_array* VariedPose(const _skeleton* s) {
    _angle_array* p = veAnimAllocAngleArray(s);
    p->rootPosition = {3.0f, -4.0f, 5.0f};
    p->rootOrientation = 0.25f;
    for (uint32_t i = 0; i < s->boneCount; ++i)
        Q_SetupFromAngles(&p->angles[i], 0.1f * i, -0.05f * i, 0.02f * i + 0.3f);
    return p;
}

TEST_F(AnimPoseTest, NewPosesAreIdentityAndBadBoneCountsGetNone) {
    TestSkeleton s(6);
    EXPECT_EQ(veAnimGetNumBones(s.get()), 6u);
    _angle_array* p = veAnimAllocAngleArray(s.get());
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 16, 0u);
    EXPECT_EQ(p->rootPosition.x, 0.0f);
    EXPECT_EQ(p->rootPosition.y, 0.0f);
    EXPECT_EQ(p->rootPosition.z, 0.0f);
    EXPECT_EQ(p->rootOrientation, 0.0f);
    for (int i = 0; i < 6; ++i) EXPECT_TRUE(QuatEq(p->angles[i], _quaternion{1, {0, 0, 0}}));
    veAnimFreeAngleArray(p);
    _matrix4* pal = veAnimAllocBonePalette(s.get());
    ASSERT_NE(pal, nullptr);
    veAnimFreeBonePalette(pal);

    for (uint32_t n : {0u, 41u, 0xFFFFFFFFu}) {
        g_log.clear();
        _skeleton bad{n, s.bones.data()};
        EXPECT_EQ(veAnimAllocAngleArray(&bad), nullptr);
        EXPECT_EQ(veAnimAllocBonePalette(&bad), nullptr);
        EXPECT_NE(g_log.find("veAnimAllocAngleArray: bone count " + std::to_string(n) + ", 1 to 40; no pose"),
                  std::string::npos)
            << g_log;
        EXPECT_NE(g_log.find("veAnimAllocBonePalette"), std::string::npos);
    }
}

TEST_F(AnimPoseTest, MirroringReflectsExchangesTwinsAndUndoesItself) {
    TestSkeleton s(6);
    s.bones[1].mirrorID = 4;
    s.bones[4].mirrorID = 1;
    s.bones[2].mirrorID = 3;
    s.bones[3].mirrorID = 2;
    _angle_array* p = VariedPose(s.get());
    std::vector<uint8_t> before(16 + 16 * 6);
    std::memcpy(before.data(), p, before.size());
    const _quaternion q0 = p->angles[0], q1 = p->angles[1], q4 = p->angles[4], q5 = p->angles[5];

    veAnimMirrorAnglesFast(p, s.get());
    EXPECT_EQ(p->rootPosition.x, -3.0f);
    EXPECT_EQ(p->rootPosition.y, -4.0f);
    EXPECT_EQ(p->rootOrientation, 0.25f);
    // No twin: only reflected, S and x negated.
    EXPECT_TRUE(QuatEq(p->angles[0], _quaternion{-q0.S, {-q0.Axis.x, q0.Axis.y, q0.Axis.z}}));
    EXPECT_TRUE(QuatEq(p->angles[5], _quaternion{-q5.S, {-q5.Axis.x, q5.Axis.y, q5.Axis.z}}));
    // Twins: each takes the other's reflected rotation.
    EXPECT_TRUE(QuatEq(p->angles[1], _quaternion{-q4.S, {-q4.Axis.x, q4.Axis.y, q4.Axis.z}}));
    EXPECT_TRUE(QuatEq(p->angles[4], _quaternion{-q1.S, {-q1.Axis.x, q1.Axis.y, q1.Axis.z}}));

    veAnimMirrorAnglesFast(p, s.get());
    EXPECT_EQ(std::memcmp(p, before.data(), before.size()), 0);
    veAnimFreeAngleArray(p);
}

TEST_F(AnimPoseTest, BlendingEndsSelfAndHalfway) {
    TestSkeleton s(5);
    _angle_array* a = VariedPose(s.get());
    _angle_array* b = veAnimAllocAngleArray(s.get());
    _angle_array* out = veAnimAllocAngleArray(s.get());
    b->rootPosition = {13.0f, 6.0f, -5.0f};
    Q_SetupFromAngles(&b->angles[2], 0.0f, 0.0f, 1.2f);
    out->rootOrientation = 9.0f;

    for (float w : {0.0f, 0.3f, 0.77f, 1.0f}) {
        veAnimBlendMotion(out, a, a, s.get(), w);
        EXPECT_NEAR(out->rootPosition.x, 3.0f, 1e-6f) << w;
        EXPECT_NEAR(out->rootPosition.z, 5.0f, 1e-6f) << w;
        for (int i = 0; i < 5; ++i) ExpectQuatNear(out->angles[i], a->angles[i], 1e-6f);
    }
    EXPECT_EQ(out->rootOrientation, 9.0f);  // the heading is not blended

    veAnimBlendMotion(out, a, b, s.get(), 0.0f);
    EXPECT_EQ(out->rootPosition.x, 3.0f);
    veAnimBlendMotion(out, a, b, s.get(), 1.0f);
    EXPECT_EQ(out->rootPosition.x, 13.0f);
    ExpectQuatNear(out->angles[2], b->angles[2], 1e-6f);
    veAnimBlendMotion(out, a, b, s.get(), 0.25f);
    EXPECT_NEAR(out->rootPosition.x, 5.5f, 1e-5f);
    EXPECT_NEAR(out->rootPosition.y, -1.5f, 1e-5f);

    // Identity to 1.2 rad about z: halfway is 0.6 rad about z, spherically.
    a->angles[2] = {1, {0, 0, 0}};
    veAnimBlendMotion(out, a, b, s.get(), 0.5f);
    _quaternion half;
    Q_SetupFromAngles(&half, 0.0f, 0.0f, 0.6f);
    ExpectQuatNear(out->angles[2], half, 1e-5f);
    // In place into A.
    veAnimBlendMotion(a, a, b, s.get(), 0.5f);
    ExpectQuatNear(a->angles[2], half, 1e-5f);
    veAnimFreeAngleArray(a);
    veAnimFreeAngleArray(b);
    veAnimFreeAngleArray(out);
}

TEST_F(AnimPoseTest, PaletteCarriesChildrenByTheirParentsAndTheBase) {
    TestSkeleton s(3);  // chain; bone 1 offset (1, 2, 3), bone 2 (2, 4, 6)
    _angle_array* p = veAnimAllocAngleArray(s.get());
    p->rootPosition = {10.0f, 0.0f, 0.0f};
    const _vector3d zAxis = {0, 0, 1}, xAxis = {1, 0, 0};
    Q_SetupFromAxisAngle(&p->angles[0], &zAxis, X_HALF_PI);
    Q_SetupFromAxisAngle(&p->angles[1], &xAxis, 0.7f);
    _matrix4* pal = veAnimAllocBonePalette(s.get());
    veAnimGetMatriciesFast(pal, p, s.get(), nullptr);

    // Bone 1 sits at root + R0(offset 1); bone 2 at bone 1 + R0(R1(offset 2)).
    _vector3d r1, r12, want1, want2;
    Q_TransformVect(&p->angles[0], &r1, &s.bones[1].parentToBone);
    V3_Add(&want1, &p->rootPosition, &r1);
    Q_TransformVect(&p->angles[1], &r12, &s.bones[2].parentToBone);
    Q_TransformVect(&p->angles[0], &r12, &r12);
    V3_Add(&want2, &want1, &r12);
    _vector3d got;
    veAnimGetBonePositionFast(&got, pal, s.get(), 0);
    EXPECT_EQ(got.x, 10.0f);
    EXPECT_EQ(got.y, 0.0f);
    veAnimGetBonePositionFast(&got, pal, s.get(), 1);
    EXPECT_NEAR(got.x, want1.x, 1e-5f);
    EXPECT_NEAR(got.y, want1.y, 1e-5f);
    EXPECT_NEAR(got.z, want1.z, 1e-5f);
    veAnimGetBonePositionFast(&got, pal, s.get(), 2);
    EXPECT_NEAR(got.x, want2.x, 1e-5f);
    EXPECT_NEAR(got.y, want2.y, 1e-5f);
    EXPECT_NEAR(got.z, want2.z, 1e-5f);

    // A base matrix moving by (0, 100, 0) after the root carries every bone with it.
    _matrix4 base;
    M4_Identity(&base);
    const _vector3d up = {0.0f, 100.0f, 0.0f};
    M4_SetTranslation(&base, &up);
    veAnimGetMatriciesFast(pal, p, s.get(), &base);
    veAnimGetBonePositionFast(&got, pal, s.get(), 0);
    EXPECT_EQ(got.x, 10.0f);
    EXPECT_EQ(got.y, 100.0f);
    veAnimGetBonePositionFast(&got, pal, s.get(), 2);
    EXPECT_NEAR(got.y, want2.y + 100.0f, 1e-4f);
    // Outside the skeleton: zero, nothing read.
    got = {1, 1, 1};
    veAnimGetBonePositionFast(&got, pal, s.get(), 3);
    EXPECT_EQ(got.x, 0.0f);
    EXPECT_EQ(got.z, 0.0f);
    veAnimFreeBonePalette(pal);
    veAnimFreeAngleArray(p);
}

TEST_F(AnimPoseTest, BrokenLinksStayInsideThePalette) {
    // Unchecked skeleton data: a parent after its child and a twin beyond the bones.
    TestSkeleton s(3);
    s.bones[1].parentID = 2;
    s.bones[2].parentID = 1000;
    s.bones[0].mirrorID = 77;
    std::vector<_matrix4> pal(4);
    for (_matrix4& m : pal) M4_Identity(&m);
    pal[3].M[0] = 42.0f;
    _angle_array* p = VariedPose(s.get());
    veAnimGetMatriciesFast(pal.data(), p, s.get(), nullptr);
    veAnimMirrorAnglesFast(p, s.get());
    EXPECT_EQ(pal[3].M[0], 42.0f);
    // Hung on the root instead.
    _vector3d root, b1, off;
    veAnimGetBonePositionFast(&root, pal.data(), s.get(), 0);
    veAnimGetBonePositionFast(&b1, pal.data(), s.get(), 1);
    V3_Sub(&off, &b1, &root);
    EXPECT_NEAR(V3_Dot(&off, &off), V3_Dot(&s.bones[1].parentToBone, &s.bones[1].parentToBone), 1e-3f);
    veAnimFreeAngleArray(p);
}

// Passing the time where the mirror flag goes must not compile: it would sample at 0 s with a flag.
template <typename P>
concept TimeBeforeFlagCompiles = requires(P p) {
    veAnimGetAngle(p, nullptr, nullptr, 0.5f, 0);
};
static_assert(!TimeBeforeFlagCompiles<_angle_array*>);

}  // namespace

// Views copy a geometry's skeleton into their own bone records byte for byte: the layouts must agree.
static_assert(sizeof(_bone) == sizeof(_geo_bone));
static_assert(offsetof(_bone, parentToBone) == offsetof(_geo_bone, parentToBone));
static_assert(offsetof(_bone, globalPos) == offsetof(_geo_bone, globalPos));
static_assert(offsetof(_bone, parentID) == offsetof(_geo_bone, parentID));
static_assert(offsetof(_bone, mirrorID) == offsetof(_geo_bone, mirrorID));
