// Bounding boxes: corners from bounds, bounds from corners, borrowed corner sets left untouched,
// containment with its tolerance, corner intersection; bounds from a description's geometry.
#include "game/model/bounding_box.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "game/files/geometry.h"
#include "game/model/bounding_model_object.h"
#include "game/model/object_description.h"

namespace {

std::array<float, 6> Bounds(const CBoundingBox& b) {
    return {b.minX, b.minY, b.minZ, b.maxX, b.maxY, b.maxZ};
}
std::array<float, 3> Centre(const CBoundingBox& b) {
    return {b.centerPoint.x, b.centerPoint.y, b.centerPoint.z};
}

void ExpectCorner(const _bbox* b, int n, float x, float y, float z) {
    const float* c = b->corner[n - 1];
    EXPECT_EQ(c[0], x) << "corner " << n;
    EXPECT_EQ(c[1], y) << "corner " << n;
    EXPECT_EQ(c[2], z) << "corner " << n;
    EXPECT_EQ(c[3], 1.0f) << "corner " << n;
}

TEST(BoundingBoxTest, SixBoundsGiveTheEightCornersInTableOrder) {
    CBoundingBox box;
    EXPECT_EQ(box.b, nullptr);
    box.setBoundingBox(0, 0, 0, 2, 4, 6);
    ASSERT_NE(box.b, nullptr);
    EXPECT_EQ(box.allocBbox, 1);
    EXPECT_EQ(box.bboxValid, 1);
    EXPECT_EQ(Centre(box), (std::array<float, 3>{1, 2, 3}));
    const float corners[8][3] = {{0, 0, 6}, {2, 0, 6}, {2, 0, 0}, {0, 0, 0},
                                 {0, 4, 6}, {2, 4, 6}, {2, 4, 0}, {0, 4, 0}};
    for (int n = 0; n < 8; ++n) ExpectCorner(box.b, n + 1, corners[n][0], corners[n][1], corners[n][2]);
}

TEST(BoundingBoxTest, BorrowedCornersGiveBoundsAndAreNeverWrittenInto) {
    CBoundingBox source;
    source.setBoundingBox(-1, -2, -3, 5, 6, 7);
    _bbox shared = *source.b;
    const _bbox before = shared;

    CBoundingBox box;
    box.setBoundingBox(0, 0, 0, 1, 1, 1);  // owns a set first
    box.setBoundingBox(&shared);           // frees it and borrows
    EXPECT_EQ(box.allocBbox, 0);
    EXPECT_EQ(box.bboxValid, 1);
    EXPECT_EQ(box.b, &shared);
    EXPECT_EQ(Bounds(box), (std::array<float, 6>{-1, -2, -3, 5, 6, 7}));
    EXPECT_EQ(Centre(box), (std::array<float, 3>{2, 2, 2}));

    // New bounds go into a private set: the geometry's box stays as every other user sees it.
    box.setBoundingBox(10, 10, 10, 20, 20, 20);
    EXPECT_NE(box.b, &shared);
    EXPECT_EQ(box.allocBbox, 1);
    EXPECT_EQ(std::memcmp(&shared, &before, sizeof shared), 0);
    ExpectCorner(box.b, 7, 20, 20, 10);
}

TEST(BoundingBoxTest, ExpandTakesTheUnion) {
    CBoundingBox a, b;
    a.setBoundingBox(0, 0, 0, 1, 1, 1);
    b.setBoundingBox(-2, 0.5f, 0.5f, 0.5f, 3, 4);
    a.expand(&b);
    EXPECT_EQ(Bounds(a), (std::array<float, 6>{-2, 0, 0, 1, 3, 4}));
    ExpectCorner(a.b, 1, -2, 0, 4);
}

TEST(BoundingBoxTest, ContainmentInXZAllowsHalfAUnit) {
    CBoundingBox outer, inner;
    outer.setBoundingBox(0, 0, 0, 10, 10, 10);
    inner.setBoundingBox(-0.5f, -100, 2, 10.5f, 100, 10.5f);  // Y is not looked at
    EXPECT_EQ(inner.isContainedXZ(&outer), 1);
    inner.setBoundingBox(-0.51f, 0, 2, 5, 1, 5);
    EXPECT_EQ(inner.isContainedXZ(&outer), 0);
    inner.setBoundingBox(1, 0, 1, 5, 1, 10.51f);
    EXPECT_EQ(inner.isContainedXZ(&outer), 0);
}

TEST(BoundingBoxTest, IntersectsTestsOnlyTheOtherBoxsCornersInclusively) {
    CBoundingBox a, b;
    a.setBoundingBox(0, 0, 0, 10, 10, 10);
    b.setBoundingBox(10, 10, 10, 20, 20, 20);  // corner 4 of b sits on a's far corner
    EXPECT_EQ(a.intersects(&b), 1);
    b.setBoundingBox(10.001f, 0, 0, 20, 10, 10);
    EXPECT_EQ(a.intersects(&b), 0);
    // a lies wholly inside a big box: the big box's corners are not in a, so 0; the other way 1.
    CBoundingBox big;
    big.setBoundingBox(-50, -50, -50, 50, 50, 50);
    EXPECT_EQ(a.intersects(&big), 0);
    EXPECT_EQ(big.intersects(&a), 1);
    CBoundingBox empty;
    EXPECT_EQ(a.intersects(&empty), 0);
}

struct DescriptionStores : ::testing::Test {
    void TearDown() override {
        CResourceStorage<CObjectDescription>::instance().deleteAll();
        CResourceStorage<CGeometry>::instance().data.clear();
    }
};

TEST_F(DescriptionStores, ObjectsWithoutAUsableDescriptionKeepAnEmptyBox) {
    CBoundingModelObject none(-1);
    EXPECT_EQ(none.getBounds(), &none.bBox);
    EXPECT_EQ(none.bBox.bboxValid, 0);
    EXPECT_EQ(none.qOrientation.S, 1.0f);  // identity orientation
    auto* emptyList = new CObjectDescription();
    const int id = CResourceStorage<CObjectDescription>::instance().add(emptyList);
    CBoundingModelObject noGeometry(id);
    EXPECT_EQ(noGeometry.bBox.bboxValid, 0);

    auto* badGeometry = new CObjectDescription();
    badGeometry->geometryIdList = {57};
    CBoundingModelObject outside(CResourceStorage<CObjectDescription>::instance().add(badGeometry));
    EXPECT_EQ(outside.bBox.bboxValid, 0);
    CBoundingModelObject unknown(999);  // description id outside the store
    EXPECT_EQ(unknown.bBox.bboxValid, 0);
}

}  // namespace
