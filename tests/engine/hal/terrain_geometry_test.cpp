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

// Header and `lengths.size()` material records with packets of the given quadword counts (the terrain
// path reads nothing else).
testsupport::HeapImage Records(const std::vector<uint32_t>& lengths) {
    size_t bytes = 160;
    for (uint32_t l : lengths) bytes += 32 + 16 * size_t(l);
    std::vector<uint8_t> img(bytes, 0);
    uint8_t* p = img.data();
    _FS_GEO_HEADER h{};
    h.numMaterials = static_cast<int32_t>(lengths.size());
    std::memcpy(p, &h, sizeof h);
    size_t at = 160;
    for (uint32_t l : lengths) {
        _FS_GEO_MATERIAL rec{};
        rec.packetLength = l;
        std::memcpy(p + at, &rec, sizeof rec);
        at += 32 + 16 * size_t(l);
    }
    return testsupport::HeapImage(img);
}

TEST_F(EngineTest, TerrainChainsEveryRecordAsOneTask) {
    testsupport::HeapImage image = Records({3, 10, 1});
    uint8_t* p = image.p;
    veEngineBeginFrame();
    const int tasks = veDmaBuild->numTasks;
    ASSERT_EQ(veEngineDrawTerrain(image.as<_FS_GEO_HEADER>()), 0);
    ASSERT_EQ(veDmaBuild->numTasks, tasks + 1);
    const uint8_t* chain = Ptr<uint8_t>(veDmaBuild->dma[tasks].dmaAdr);
    const uint32_t lengths[3] = {3, 10, 1};
    const uint32_t at[3] = {160 + 32, 160 + 32 + 80, 160 + 32 + 80 + 192};
    for (int k = 0; k < 3; ++k) {
        uint64_t t[2];
        std::memcpy(t, chain + 16 * k, 16);
        // Reference tags, the last one ending the chain; no VIF codes.
        EXPECT_EQ(t[0], lengths[k] | uint64_t(k == 2 ? 0 : 4) << 28 | uint64_t(Addr32(p + at[k])) << 32) << k;
        EXPECT_EQ(t[1], 0u);
    }
    // A block without records has nothing to end the chain with: nothing is queued.
    EXPECT_EQ(veEngineDrawTerrain(Records({}).as<_FS_GEO_HEADER>()), -1);
    EXPECT_EQ(veDmaBuild->numTasks, tasks + 1);
    EXPECT_NE(enginetest::g_log.find("veEngineHardwareDrawTerrain: block without material records"),
              std::string::npos);
    veEngineEndFrame();
}

}  // namespace
