// Random chains and the VIF streams they carry: whatever they say, the DMA controller and the VIFs must
// neither crash nor touch memory outside what the chain names (the sanitizer build checks the latter).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <random>

#include "console/dma/dma.h"
#include "console/kernel/intc.h"
#include "console/mem/addr.h"
#include "console/vif/vif.h"
#include "console/vu/vu_memory.h"

namespace {

// Chains are built in the first half; the second half holds zero tags (REFE of nothing), so that a
// chain that counts past its last tag ends there instead of reading neighbouring variables.
alignas(16) uint32_t g_area[16384];

TEST(DmaRobustnessTest, AddressesOutsideMappedMemoryAreRefused) {
    console::dma::DmaReset();
    sceDmaChan* ch = sceDmaGetChan(1);
    // Beyond the break heap's end, in the last page below 2 GB and in the first page.
    const uint32_t beyondHeap =
        static_cast<uint32_t>(reinterpret_cast<uintptr_t>(sbrk(0)) + 0x100000u) & ~15u;
    const uint32_t holes[] = {beyondHeap, 0x7FFFF000u, 0x00001000u};
    for (uint32_t a : holes) sceDmaSendAddr(ch, a);
    EXPECT_EQ(console::dma::DroppedChains(), 3u);
}

TEST(DmaRobustnessTest, RandomChainsNeverCrashAndAlwaysEnd) {
    console::dma::DmaReset();
    console::IntcReset();
    std::mt19937 rng(1234);
    sceDmaChan* ch[3] = {sceDmaGetChan(0), sceDmaGetChan(1), sceDmaGetChan(2)};
    ch[0]->chcr.TTE = 1;
    ch[1]->chcr.TTE = 1;
    const uint32_t base = Addr32(g_area);
    for (int round = 0; round < 400; ++round) {
        for (int i = 0; i < 8192; ++i) g_area[i] = rng();
        std::memset(g_area + 8192, 0, 8192 * 4);
        // Make most tags plausible: small counts, addresses inside the area, any ID.
        for (int t = 0; t < 8192; t += 4) {
            // Counts stay small so that no chain reads past the area (that memory is mapped and would be
            // read, legitimately, but it is not the test's); a quarter of the tags keep random addresses.
            g_area[t] &= 0xFFFF0007u;
            if (rng() % 4 == 0) continue;
            g_area[t] = (rng() % 8) | ((rng() % 8) << 28);
            g_area[t + 1] = base + (rng() % 2040) * 16;
            // VIF codes: mostly harmless ones, sometimes anything.
            if (rng() % 2) g_area[t + 3] = 0x6C000000u | ((rng() % 4) << 16) | (rng() % 1024);
        }
        const uint32_t start = base + (rng() % 2000) * 16;
        sceDmaSendAddr(ch[round % 3], start);
        console::vif::Vif0().EndTransfer();
        console::vif::Vif1().EndTransfer();
    }
    EXPECT_EQ(console::dma::TransfersRun(), 400u);
}

}  // namespace
