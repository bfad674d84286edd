// Object descriptions in a master file: the type table and the per-description labels read back into
// the description and geometry stores.
#include "game/files/object_description_format.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "engine/hal/geometry_format.h"
#include "engine/sys/heap.h"
#include "game/files/collision_data.h"
#include "game/files/collision_format.h"
#include "game/files/file_manager.h"
#include "game/files/geometry.h"
#include "game/files/resource_loader.h"
#include "game/model/object_description.h"
#include "support/heap_image.h"

namespace {

using testsupport::HeapImage;

// The records a type table checks to, or -1 when it is refused (and then a reason is given).
int TypeRecords(const void* table, int length) {
    int n = 0;
    const FormatCheck c = CheckObjectTypeTable(table, length, &n);
    EXPECT_EQ(c.ok, n >= 0);
    EXPECT_EQ(c.ok, c.why[0] == '\0') << c.why;
    return n;
}

std::vector<uint8_t> Block(float size) {
    GeoMesh mesh;
    mesh.materials.push_back(
        MakeBox(size, size, size, 1, 0x80808080, CheckerTexture(16, 4, 0xFF0000FF, 0xFFFFFFFF)));
    return WriteGeometry(mesh);
}

class DescriptionWriterTest : public ::testing::Test {
protected:
    void TearDown() override {
        CResourceStorage<CObjectDescription>::instance().deleteAll();
        CResourceStorage<CGeometry>::instance().deleteAll();
    }
};

TEST_F(DescriptionWriterTest, TypeRecordsRoundTrip) {
    const std::vector<_Info> records = {MakeTypeRecord(1, 29, 2, 0.8f, 0.25f, 500, 3),
                                        MakeTypeRecord(3, 6, 0, 1.0f, 0.5f, 40)};
    const auto table = WriteObjectTypeTable(records);
    ASSERT_EQ(table.size(), 32u);
    EXPECT_EQ(TypeRecords(table.data(), static_cast<int>(table.size())), 2);
    _Info back[2];
    std::memcpy(back, table.data(), sizeof back);
    EXPECT_EQ(back[0].objType, 29);
    EXPECT_EQ(back[0].ambSoundId, 3);
    EXPECT_EQ(back[0].numberOf, 2);
    EXPECT_EQ(back[0].friction, 0.8f);
    EXPECT_EQ(back[1].objNum, 3);
    EXPECT_EQ(back[1].massInKg, 40);
    EXPECT_EQ(table[12], 500 & 0xFF);  // little-endian mass at offset 12
    EXPECT_EQ(table[14], 2);           // count at offset 14
    EXPECT_EQ(TypeRecords(table.data(), 17), -1);
    EXPECT_STREQ(CheckObjectTypeTable(table.data(), 17).why,
                 "object type table: 17 bytes is not a whole number of records");
    EXPECT_EQ(TypeRecords(nullptr, -1), -1);
}

TEST_F(DescriptionWriterTest, DescriptionsReadBackWithTheirLevelsAndCollision) {
    const auto big = Block(10), small = Block(2);
    const auto collision = WriteCollisionBlock({CollisionBox(-1, -1, -1, 1, 1, 1)});
    MasterFileWriter w;
    w.beginLabel();  // label 0: the type table
    w.add(WriteObjectTypeTable({MakeTypeRecord(1, 29, 2, 1.0f, 0.25f, 100)}));
    AddDescriptionLabels(w, {{{big, small, small}, collision}, {{small}, {}}});
    HeapImage image(w.build());
    CFileManager* fm = GetFileManager();
    auto* types = static_cast<_Info*>(fm->loadSubFile(image.p, 0));
    ASSERT_EQ(TypeRecords(types, fm->getSubFileLength(image.p, 0)), 1);

    const int first = AddDescriptionFromLabel(image.p, 1, types);
    const int second = AddDescriptionFromLabel(image.p, 3, types);
    CObjectDescription* a = CResourceStorage<CObjectDescription>::instance().get(first);
    CObjectDescription* b = CResourceStorage<CObjectDescription>::instance().get(second);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(a->typeInfo, types);
    ASSERT_EQ(a->geometryIdList.size(), 3u);
    EXPECT_EQ(a->numUniqueGeometry, 3);  // the two small levels are separate sub-files
    for (int id : a->geometryIdList) EXPECT_NE(CResourceStorage<CGeometry>::instance().get(id), nullptr);
    // One geometry: padded to three levels with -1, which counts once.
    ASSERT_EQ(b->geometryIdList.size(), 3u);
    EXPECT_NE(b->geometryIdList[0], -1);
    EXPECT_EQ(b->geometryIdList[1], -1);
    EXPECT_EQ(b->geometryIdList[2], -1);
    EXPECT_EQ(b->numUniqueGeometry, 2);
    // Each description's collision label holds its block, or nothing.
    EXPECT_EQ(fm->getSubfileCountForLabel(image.p, 2), 1);
    EXPECT_EQ(fm->getSubfileCountForLabel(image.p, 4), 0);
    const int at = fm->getLabelIndex(image.p, 2);
    int parts = 0;
    EXPECT_TRUE(collisiondata::CheckBlock(
                    fm->loadSubFile(image.p, static_cast<unsigned>(at)),
                    static_cast<size_t>(fm->getSubFileLength(image.p, static_cast<unsigned>(at))), &parts)
                    .ok);
    EXPECT_EQ(parts, 1);
    // The box of a bounding object on the first description is the big geometry's.
    CGeometry* g = CResourceStorage<CGeometry>::instance().get(a->geometryIdList[0]);
    EXPECT_FLOAT_EQ(veEngineGetGeoBoundingBox(g->geo)->corner[1][0], 10.0f);
    // The geometries are given back as loaded while their file is still held.
    CResourceStorage<CGeometry>::instance().deleteAll();
}

}  // namespace
