// The DMA controller's registers: channel 9's copy into the scratchpad (where it lands, when it starts,
// what it refuses), the status flags and the condition line that a wait polls.
#include "console/dma/dma_registers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "console/dma/dma.h"
#include "console/kernel/hw_registers.h"
#include "console/kernel/intc.h"
#include "console/mem/addr.h"
#include "console/mem/scratchpad.h"

namespace {

using namespace console::dma;

alignas(16) uint8_t g_source[16 * 8];

std::vector<int> g_ends;
int RecordEnd(int ch) {
    g_ends.push_back(ch);
    return 0;
}

class DmaRegistersTest : public ::testing::Test {
protected:
    void SetUp() override {
        DmaReset();
        console::IntcReset();
        g_ends.clear();
        std::memset(console::Scratchpad(), 0xEE, console::kScratchpadSize);
        for (size_t i = 0; i < sizeof g_source; ++i) g_source[i] = static_cast<uint8_t>(i * 7 + 1);
    }
    void TearDown() override {
        DmaReset();
        console::IntcReset();
    }
    // Channel 9's registers for a copy of `qwc` quadwords from `src` to scratchpad address `sadr`.
    static void Program(const void* src, uint32_t qwc, uint32_t sadr) {
        RegWrite(kRegD9Qwc, qwc);
        RegWrite(kRegD9Tadr, 0);
        RegWrite(kRegD9Sadr, sadr);
        RegWrite(kRegD9Madr, Addr32(src));
    }
    static bool Untouched(uint32_t from, uint32_t to) {
        for (uint32_t i = from; i < to; ++i)
            if (console::Scratchpad()[i] != 0xEE) return false;
        return true;
    }
};

TEST_F(DmaRegistersTest, ChannelNineCopiesQuadwordsToTheMaskedScratchpadAddress) {
    AddDmacHandler(kChannelToSpr, RecordEnd, -1);
    EnableDmac(kChannelToSpr);
    const uint64_t runs = TransfersRun();
    RegWrite(kRegDCtrl, 1);
    // Only the offset within the 16 KB counts.
    Program(g_source, 5, 0x70000000u | 0x1230u);
    EXPECT_EQ(RegRead(kRegD9Sadr), 0x1230u);
    EXPECT_EQ(RegRead(kRegD9Qwc), 5u);
    EXPECT_EQ(RegRead(kRegD9Madr), Addr32(g_source));
    EXPECT_EQ(RegRead(kRegDStat) & 0x200u, 0u);
    RegWrite(kRegD9Chcr, 0x101);
    EXPECT_EQ(std::memcmp(console::Scratchpad() + 0x1230, g_source, 5 * 16), 0);
    EXPECT_TRUE(Untouched(0, 0x1230));
    EXPECT_TRUE(Untouched(0x1230 + 5 * 16, console::kScratchpadSize));
    // Done: the start bit is clear, the status flag set, the end handler has run, the copy counted.
    EXPECT_EQ(RegRead(kRegD9Chcr), 0x1u);
    EXPECT_EQ(RegRead(kRegDStat), 0x200u);
    EXPECT_EQ(g_ends, std::vector<int>{kChannelToSpr});
    EXPECT_EQ(TransfersRun(), runs + 1);
    // The status flag clears by writing 1; the register bus reaches the same registers.
    console::HwWrite32(kRegDStat, 0x200);
    EXPECT_EQ(console::HwRead32(kRegDStat), 0u);
    console::HwWrite32(kRegD9Sadr, 0x40);
    EXPECT_EQ(RegRead(kRegD9Sadr), 0x40u);
    EXPECT_TRUE(IsRegister(kRegDPcr));
    EXPECT_FALSE(IsRegister(0x1000D440u));
}

TEST_F(DmaRegistersTest, AStartWaitsForTheControllerToBeEnabled) {
    Program(g_source, 2, 0x2000);
    RegWrite(kRegD9Chcr, 0x101);
    EXPECT_TRUE(Untouched(0, console::kScratchpadSize));
    EXPECT_EQ(RegRead(kRegD9Chcr), 0x101u);
    EXPECT_EQ(RegRead(kRegDStat), 0u);
    RegWrite(kRegDCtrl, 1);
    EXPECT_EQ(std::memcmp(console::Scratchpad() + 0x2000, g_source, 2 * 16), 0);
    EXPECT_EQ(RegRead(kRegD9Chcr), 0x1u);
    EXPECT_EQ(RegRead(kRegDStat), 0x200u);
}

TEST_F(DmaRegistersTest, TheConditionLineWaitsForEverySelectedChannel) {
    RegWrite(kRegDCtrl, 1);
    EXPECT_TRUE(ConditionLine());  // nothing selected
    RegWrite(kRegDPcr, 0x200);
    EXPECT_FALSE(ConditionLine());
    Program(g_source, 1, 0);
    RegWrite(kRegD9Chcr, 0x101);
    EXPECT_TRUE(ConditionLine());
    // Channel 1 selected too: the line waits for a transfer on VIF1 as well.
    RegWrite(kRegDPcr, 0x202);
    EXPECT_FALSE(ConditionLine());
    alignas(16) static const uint32_t nops[4] = {0, 0, 0, 0};
    ASSERT_EQ(sceDmaSendN(sceDmaGetChan(SCE_DMA_VIF1), nops, 1), 0);
    sceDmaSync(sceDmaGetChan(SCE_DMA_VIF1), 0, 0);
    EXPECT_EQ(RegRead(kRegDStat) & 0x202u, 0x202u);
    EXPECT_TRUE(ConditionLine());
    RegWrite(kRegDStat, 0x200);
    EXPECT_FALSE(ConditionLine());
}

TEST_F(DmaRegistersTest, RefusedCopiesAreDroppedButStillEnd) {
    RegWrite(kRegDCtrl, 1);
    struct Case {
        const char* name;
        uint32_t madr, qwc, sadr, chcr;
    };
    const Case cases[] = {
        {"source outside memory", 0x10u, 1, 0, 0x101},
        {"past the scratchpad's end", Addr32(g_source), 2, 0x3FF0, 0x101},
        {"chain mode", Addr32(g_source), 1, 0, 0x105},
        {"towards memory", Addr32(g_source), 1, 0, 0x100},
    };
    for (const Case& c : cases) {
        const uint64_t dropped = DroppedChains();
        RegWrite(kRegDStat, 0x200);
        RegWrite(kRegD9Qwc, c.qwc);
        RegWrite(kRegD9Sadr, c.sadr);
        RegWrite(kRegD9Madr, c.madr);
        ::testing::internal::CaptureStdout();
        RegWrite(kRegD9Chcr, c.chcr);
        const std::string log = ::testing::internal::GetCapturedStdout();
        EXPECT_NE(log.find("dma9: "), std::string::npos) << c.name;
        EXPECT_EQ(DroppedChains(), dropped + 1) << c.name;
        EXPECT_EQ(RegRead(kRegDStat) & 0x200u, 0x200u) << c.name;
        EXPECT_EQ(RegRead(kRegD9Chcr) & 0x100u, 0u) << c.name;
        EXPECT_TRUE(Untouched(0, console::kScratchpadSize)) << c.name;
    }
    // The last quadword of the scratchpad is still reachable.
    Program(g_source, 1, 0x3FF0);
    RegWrite(kRegD9Chcr, 0x101);
    EXPECT_EQ(std::memcmp(console::Scratchpad() + 0x3FF0, g_source, 16), 0);
}

}  // namespace
