// Collision data blocks: written parts read back exactly, with the documented offsets and padding;
// the reader refuses truncated, oversized and corrupted blocks.
#include "game/files/collision_format.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "engine/sys/heap.h"
#include "game/files/collision_data.h"
#include "support/heap_image.h"

namespace {

using collisiondata::Part;

// The number of parts a block checks to, or -1 when it is refused (and then a reason is given).
int CheckBlock(const void* block, size_t length, Part* parts = nullptr, int maxParts = 0) {
    int count = 0;
    const FormatCheck c = collisiondata::CheckBlock(block, length, &count, parts, maxParts);
    EXPECT_EQ(c.ok, count >= 0);
    EXPECT_EQ(c.ok, c.why[0] == '\0') << c.why;
    return count;
}

using HeapBlock = testsupport::HeapImage;

CollisionPart Triangle() {
    CollisionPart p;
    p.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    p.triangles = {{0, 1, 2}};
    return p;
}

TEST(CollisionWriterTest, TwoPartsLandAtTheDocumentedOffsets) {
    const auto bytes = WriteCollisionBlock({Triangle(), CollisionBox(-1, -2, -3, 1, 2, 3)});
    // First part at 16, its vertices at 32, its 6 index bytes at 80 padded to 8, the next part at 96.
    ASSERT_EQ(bytes.size(), 96u + collisiondata::PartBytes(8, 12));
    HeapBlock b(bytes);
    Part parts[2];
    ASSERT_EQ(CheckBlock(b.p, b.size, parts, 2), 2);
    EXPECT_EQ(parts[0].offset, 16u);
    EXPECT_EQ(reinterpret_cast<const uint8_t*>(parts[0].vertexData) - static_cast<uint8_t*>(b.p), 32);
    EXPECT_EQ(reinterpret_cast<const uint8_t*>(parts[0].triangleData) - static_cast<uint8_t*>(b.p), 80);
    EXPECT_EQ(parts[1].offset, 96u);
    EXPECT_EQ(parts[1].vertices, 8u);
    EXPECT_EQ(parts[1].triangles, 12u);
    EXPECT_EQ(parts[0].triangleData[1], 1);
    EXPECT_EQ(parts[1].vertexData[4 * 6 + 0], 1.0f);  // vertex 6 = (x1, y1, z1)
    EXPECT_EQ(parts[1].vertexData[4 * 6 + 1], 2.0f);
    EXPECT_EQ(parts[1].vertexData[4 * 6 + 2], 3.0f);
    EXPECT_EQ(parts[1].triangleData[3 * 11 + 2], 5);
    // The box's far corner is sqrt(1 + 4 + 9) metres out; the radius is in world units.
    EXPECT_FLOAT_EQ(collisiondata::BlockRadius(b.p, b.size), 100.0f * std::sqrt(14.0f));
}

TEST(CollisionWriterTest, AnEmptyBlockHasNoPartsAndNoRadius) {
    const auto bytes = WriteCollisionBlock({});
    ASSERT_EQ(bytes.size(), 16u);
    HeapBlock b(bytes);
    EXPECT_EQ(CheckBlock(b.p, b.size), 0);
    EXPECT_EQ(collisiondata::BlockRadius(b.p, b.size), 0.0f);
    // A written block zeroed whole reads as such an empty block, its bytes past the header unread: the
    // format allows a block without parts (a thing without collision), so it is taken, not refused (the
    // disc writer writes none; tools/damage_disc.py names a zeroed one as still good data).
    const auto box = WriteCollisionBlock({CollisionBox(-1, -2, -3, 1, 2, 3)});
    HeapBlock zeroed(std::vector<uint8_t>(box.size(), 0));
    EXPECT_EQ(CheckBlock(zeroed.p, zeroed.size), 0);
    EXPECT_EQ(collisiondata::BlockRadius(zeroed.p, zeroed.size), 0.0f);
}

TEST(CollisionWriterTest, TheWriterRefusesTrianglesNamingMissingVertices) {
    CollisionPart bad = Triangle();
    bad.triangles[0][2] = 3;
    EXPECT_TRUE(WriteCollisionBlock({bad}).empty());
}

TEST(CollisionReaderTest, RefusesTruncatedBlocksAtEveryLength) {
    const auto bytes = WriteCollisionBlock({Triangle(), CollisionBox(0, 0, 0, 1, 1, 1)});
    // The last part's trailing padding is not needed, so the exact end of its records is enough.
    const size_t needed = 96 + 16 + 8 * 16 + 12 * 6;
    for (size_t n = 0; n < bytes.size(); ++n) {
        HeapBlock b(bytes, n);
        EXPECT_EQ(CheckBlock(b.p, n) >= 0, n >= needed) << n << " bytes";
    }
    EXPECT_EQ(CheckBlock(nullptr, 64), -1);
}

TEST(CollisionReaderTest, RefusesCorruptCountsAndIndices) {
    using namespace collisiondata;
    const auto bytes = WriteCollisionBlock({Triangle()});
    const uint32_t part = kHeaderBytes, firstIndices = part + kPartHeaderBytes + 3 * kVertexBytes;
    const struct {
        uint32_t at, value, size;
        const char* what;
    } cases[] = {{0, 2, 4, "a second part past the end"},
                 {0, 0xFFFFFFFFu, 4, "absurd part count"},
                 {part, 0x40000000u, 4, "vertex count whose size would wrap 32 bits"},
                 {part + 4, 0xFFFFFFFFu, 4, "triangle count likewise"},
                 {firstIndices + 4, 3, 2, "third index of the triangle past the vertices"}};
    for (const auto& c : cases) {
        auto copy = bytes;
        std::memcpy(copy.data() + c.at, &c.value, c.size);
        HeapBlock b(copy);
        EXPECT_EQ(CheckBlock(b.p, b.size), -1) << c.what;
    }
    // A block that is not word-aligned cannot be read in place.
    std::vector<uint8_t> shifted(bytes.size() + 1);
    std::memcpy(shifted.data() + 1, bytes.data(), bytes.size());
    HeapBlock s(shifted);
    EXPECT_EQ(CheckBlock(static_cast<uint8_t*>(s.p) + 1, bytes.size()), -1);
}

}  // namespace
