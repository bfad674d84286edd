#include "engine/hal/geometry_terrain.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "console/mem/addr.h"
#include "engine/hal/dma_tasks.h"
#include "engine/sys/heap.h"
#include "engine_fixture.h"
#include "support/heap_image.h"

namespace {

using enginetest::EngineTest;

// A low-detail block: header, packet count at byte 168 and packets from byte 176, each starting with its
// length in quadwords (the terrain path reads nothing else).
testsupport::HeapImage Packets(const std::vector<uint32_t>& lengths) {
    size_t bytes = 176;
    for (uint32_t l : lengths) bytes += 16 * size_t(l);
    std::vector<uint8_t> img(bytes, 0);
    const uint32_t n = static_cast<uint32_t>(lengths.size());
    std::memcpy(img.data() + 168, &n, 4);
    size_t at = 176;
    for (uint32_t l : lengths) {
        std::memcpy(img.data() + at, &l, 4);
        at += 16 * size_t(l);
    }
    return testsupport::HeapImage(img);
}

TEST_F(EngineTest, TerrainChainsEveryPacketAsOneTask) {
    testsupport::HeapImage image = Packets({3, 10, 1});
    uint8_t* p = image.p;
    veEngineBeginFrame();
    const int tasks = veDmaBuild->numTasks;
    ASSERT_EQ(veEngineDrawTerrain(image.as<_FS_GEO_HEADER>()), 0);
    ASSERT_EQ(veDmaBuild->numTasks, tasks + 1);
    const uint8_t* chain = Ptr<uint8_t>(veDmaBuild->dma[tasks].dmaAdr);
    const uint32_t lengths[3] = {3, 10, 1};
    const uint32_t at[3] = {176, 176 + 48, 176 + 48 + 160};
    for (int k = 0; k < 3; ++k) {
        uint64_t t[2];
        std::memcpy(t, chain + 16 * k, 16);
        // Reference tags, the last one ending the chain; no VIF codes.
        EXPECT_EQ(t[0], lengths[k] | uint64_t(k == 2 ? 0 : 4) << 28 | uint64_t(Addr32(p + at[k])) << 32) << k;
        EXPECT_EQ(t[1], 0u);
    }
    // A block without packets has nothing to end the chain with: nothing is queued.
    EXPECT_EQ(veEngineDrawTerrain(Packets({}).as<_FS_GEO_HEADER>()), -1);
    EXPECT_EQ(veDmaBuild->numTasks, tasks + 1);
    veEngineEndFrame();
}

}  // namespace
