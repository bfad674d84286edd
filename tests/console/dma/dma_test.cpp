#include "console/dma/dma.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "console/kernel/intc.h"
#include "console/mem/addr.h"
#include "console/mem/scratchpad.h"
#include "console/vif/vif.h"
#include "console/vu/vu_memory.h"

namespace {

using console::vu::Vu1Memory;

// Memory the chains live in (static, so inside the program image the controller accepts).
alignas(16) uint64_t g_mem[4096];

uint64_t Tag(uint32_t id, uint32_t qwc, uint32_t addr = 0, bool irq = false) {
    return uint64_t(qwc) | (uint64_t(id) << 28) | (irq ? 1ull << 31 : 0) | (uint64_t(addr) << 32);
}

uint32_t A(const void* p) {
    return Addr32(p);
}

// VIF1 code: UNPACK V4-32 of n quadwords to VU1 address `at`.
uint32_t Unpack(uint32_t n, uint32_t at) {
    return 0x6C000000u | (n << 16) | at;
}

void PutTag(uint64_t* at, uint64_t tag, uint32_t vif0 = 0, uint32_t vif1 = 0) {
    at[0] = tag;
    at[1] = uint64_t(vif0) | (uint64_t(vif1) << 32);
}

void PutQw(uint64_t* at, uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
    const uint32_t w[4] = {a, b, c, d};
    std::memcpy(at, w, 16);
}

std::vector<int> g_ends;
int RecordEnd(int ch) {
    g_ends.push_back(ch);
    return 1;
}

class DmaTest : public ::testing::Test {
protected:
    void SetUp() override {
        console::dma::DmaReset();
        console::IntcReset();
        console::vif::Vif1().Reset();
        Vu1Memory().Clear();
        std::memset(g_mem, 0, sizeof g_mem);
        g_ends.clear();
        ch1_ = sceDmaGetChan(1);
        ch1_->chcr.TTE = 1;
    }
    sceDmaChan* ch1_ = nullptr;
};

TEST_F(DmaTest, ChainOfEveryKindFeedsVif1InOrder) {
    // CNT carrying an UNPACK in its VIF words and one quadword of data; REF to data elsewhere; CALL into
    // a subchain that RETs; NEXT over a gap; END.
    uint64_t* q = g_mem;
    PutTag(q + 0, Tag(1, 1), 0, Unpack(1, 10));
    PutQw(q + 2, 1, 2, 3, 4);
    PutTag(q + 4, Tag(3, 1, A(q + 100)), 0, Unpack(1, 11));
    PutQw(q + 100, 5, 6, 7, 8);
    PutTag(q + 6, Tag(5, 0, A(q + 200)), 0, 0);
    PutTag(q + 200, Tag(6, 1), 0, Unpack(1, 12));  // RET carries one quadword
    PutQw(q + 202, 9, 10, 11, 12);
    PutTag(q + 8, Tag(2, 0, A(q + 300)), 0, 0);   // NEXT skips q + 10
    PutTag(q + 10, Tag(7, 0), 0, Unpack(1, 13));  // never reached
    PutTag(q + 300, Tag(7, 1), 0, Unpack(1, 14));
    PutQw(q + 302, 13, 14, 15, 16);
    ASSERT_EQ(sceDmaSend(ch1_, q), 0);
    EXPECT_EQ(Vu1Memory().Qw(10)[0], 1u);
    EXPECT_EQ(Vu1Memory().Qw(11)[3], 8u);
    EXPECT_EQ(Vu1Memory().Qw(12)[1], 10u);
    EXPECT_EQ(Vu1Memory().Qw(13)[0], 0u);
    EXPECT_EQ(Vu1Memory().Qw(14)[2], 15u);
    EXPECT_EQ(console::dma::DroppedChains(), 0u);
}

// Long chains: what checking found is fed without walking again, up to the steps it keeps, and a chain
// longer than that is walked again; either way every tag's VIF words and data arrive in order.
alignas(16) uint64_t g_long[2 * 2 * 6001];
TEST_F(DmaTest, LongChainsFeedEveryTagInOrder) {
    for (uint32_t n : {1u, 700u, 4095u, 4096u, 4097u, 6000u}) {
        SetUp();
        const uint64_t errors = console::vif::Vif1().Errors();
        // Tag i: CNT of one quadword, unpacked at i mod 512 (later tags write over earlier ones); the
        // last one an END.
        for (uint32_t i = 0; i < n; ++i) {
            uint64_t* t = g_long + 4 * i;
            PutTag(t, Tag(i + 1 == n ? 7 : 1, 1), 0, Unpack(1, i % 512));
            PutQw(t + 2, i, i * 3, i * 7 + 1, ~i);
        }
        ASSERT_EQ(sceDmaSend(ch1_, g_long), 0);
        for (uint32_t a = 0; a < 512 && a < n; ++a) {
            const uint32_t last = a + (n - 1 - a) / 512 * 512;  // the last tag unpacked there
            const uint32_t* q = Vu1Memory().Qw(a);
            ASSERT_EQ(q[0], last) << n << " tags, address " << a;
            ASSERT_EQ(q[1], last * 3);
            ASSERT_EQ(q[2], last * 7 + 1);
            ASSERT_EQ(q[3], ~last);
        }
        EXPECT_EQ(console::vif::Vif1().Errors(), errors);
    }
}

TEST_F(DmaTest, CallSendsItsOwnDataBeforeTheJumpAndReturnsPastIt) {
    // Each transfer overlaps the next one's first quadword, so the final contents show the order:
    // the CALL's two quadwords, then the subchain's RET data, then the tag after the CALL's data.
    uint64_t* q = g_mem;
    PutTag(q + 0, Tag(5, 2, A(q + 200)), 0, Unpack(2, 40));
    PutQw(q + 2, 1, 2, 3, 4);
    PutQw(q + 4, 5, 6, 7, 8);
    PutTag(q + 200, Tag(6, 2), 0, Unpack(2, 41));
    PutQw(q + 202, 9, 10, 11, 12);
    PutQw(q + 204, 13, 14, 15, 16);
    PutTag(q + 6, Tag(7, 1), 0, Unpack(1, 42));  // the return address: just past the CALL's data
    PutQw(q + 8, 17, 18, 19, 20);
    ASSERT_EQ(sceDmaSend(ch1_, q), 0);
    const uint32_t want[3][4] = {{1, 2, 3, 4}, {9, 10, 11, 12}, {17, 18, 19, 20}};
    for (int i = 0; i < 3; ++i)
        for (int w = 0; w < 4; ++w) EXPECT_EQ(Vu1Memory().Qw(40 + i)[w], want[i][w]) << i << "," << w;
    EXPECT_EQ(console::dma::DroppedChains(), 0u);
}

TEST_F(DmaTest, RefeEndsTheChainAfterItsData) {
    uint64_t* q = g_mem;
    PutTag(q, Tag(0, 1, A(q + 50)), 0, Unpack(1, 20));
    PutQw(q + 50, 42, 0, 0, 0);
    PutTag(q + 2, Tag(7, 1), 0, Unpack(1, 21));
    PutQw(q + 4, 99, 0, 0, 0);
    sceDmaSend(ch1_, q);
    EXPECT_EQ(Vu1Memory().Qw(20)[0], 42u);
    EXPECT_EQ(Vu1Memory().Qw(21)[0], 0u);
}

TEST_F(DmaTest, InterruptBitStopsTheChainOnlyWhenTieIsSet) {
    uint64_t* q = g_mem;
    PutTag(q, Tag(1, 1, 0, true), 0, Unpack(1, 24));
    PutQw(q + 2, 1, 0, 0, 0);
    PutTag(q + 4, Tag(7, 1), 0, Unpack(1, 25));
    PutQw(q + 6, 2, 0, 0, 0);
    ch1_->chcr.TIE = 1;
    sceDmaSend(ch1_, q);
    EXPECT_EQ(Vu1Memory().Qw(24)[0], 1u);
    EXPECT_EQ(Vu1Memory().Qw(25)[0], 0u);
    ch1_->chcr.TIE = 0;
    sceDmaSend(ch1_, q);
    EXPECT_EQ(Vu1Memory().Qw(25)[0], 2u);
}

TEST_F(DmaTest, WithoutTteTheTagWordsAreNotVifCodes) {
    ch1_->chcr.TTE = 0;
    uint64_t* q = g_mem;
    PutTag(q, Tag(7, 2), 0, Unpack(9, 30));  // would unpack 9 quadwords if read
    PutQw(q + 2, 0, 0, 0, Unpack(1, 31));
    PutQw(q + 4, 77, 0, 0, 0);
    sceDmaSend(ch1_, q);
    EXPECT_EQ(Vu1Memory().Qw(31)[0], 77u);
    EXPECT_EQ(Vu1Memory().Qw(30)[0], 0u);
}

TEST_F(DmaTest, BadChainsAreLoggedAndDroppedWholeYetStillSignalTheirEnd) {
    AddDmacHandler(1, RecordEnd, 0);
    EnableDmac(1);
    uint64_t* q = g_mem;
    // A good first tag, then a REF into unmapped memory: nothing of the chain may run.
    PutTag(q, Tag(1, 1), 0, Unpack(1, 40));
    PutQw(q + 2, 5, 5, 5, 5);
    PutTag(q + 4, Tag(3, 4, 0x7FFFFFF0u), 0, 0);
    PutTag(q + 6, Tag(7, 0));
    EXPECT_EQ(sceDmaSend(ch1_, q), 0);
    EXPECT_EQ(Vu1Memory().Qw(40)[0], 0u);
    EXPECT_EQ(console::dma::DroppedChains(), 1u);
    EXPECT_EQ(g_ends, std::vector<int>{1});
    // A NEXT that points at itself never ends.
    PutTag(q + 20, Tag(2, 0, A(q + 20)));
    sceDmaSend(ch1_, q + 20);
    EXPECT_EQ(console::dma::DroppedChains(), 2u);
    // A misaligned tag, a null address, calls nested three deep.
    sceDmaSendAddr(ch1_, A(q) + 8);
    sceDmaSendAddr(ch1_, 0);
    PutTag(q + 40, Tag(5, 0, A(q + 42)));
    PutTag(q + 42, Tag(5, 0, A(q + 44)));
    PutTag(q + 44, Tag(5, 0, A(q + 46)));
    PutTag(q + 46, Tag(7, 0));
    sceDmaSend(ch1_, q + 40);
    EXPECT_EQ(console::dma::DroppedChains(), 5u);
    EXPECT_EQ(g_ends.size(), 5u);
}

TEST_F(DmaTest, ScratchpadBitSelectsTheScratchpad) {
    uint8_t* spr = console::Scratchpad();
    uint64_t tag[2] = {Tag(7, 1), uint64_t(Unpack(1, 50)) << 32};
    std::memcpy(spr + 256, tag, 16);
    const uint32_t data[4] = {123, 0, 0, 0};
    std::memcpy(spr + 272, data, 16);
    sceDmaSendAddr(ch1_, console::kDmaSprBit | 256);
    EXPECT_EQ(Vu1Memory().Qw(50)[0], 123u);
    // An END whose data would run past the scratchpad's end.
    const uint64_t last[2] = {Tag(7, 1), 0};
    std::memcpy(spr + console::kScratchpadSize - 16, last, 16);
    sceDmaSendAddr(ch1_, console::kDmaSprBit | (console::kScratchpadSize - 16));
    EXPECT_EQ(console::dma::DroppedChains(), 1u);
}

// A handler that starts the next transfer from inside the end interrupt, as the engine's does.
int g_chained = 0;
uint64_t* g_second = nullptr;
int StartSecond(int) {
    if (g_chained++ == 0) sceDmaSend(sceDmaGetChan(1), g_second);
    return 1;
}

TEST_F(DmaTest, HandlersMayStartTransfersWithoutRecursion) {
    g_chained = 0;
    uint64_t* q = g_mem;
    g_second = q + 10;
    PutTag(q, Tag(7, 1), 0, Unpack(1, 60));
    PutQw(q + 2, 1, 0, 0, 0);
    PutTag(q + 10, Tag(7, 1), 0, Unpack(1, 60));
    PutQw(q + 12, 2, 0, 0, 0);
    AddDmacHandler(1, StartSecond, 0);
    AddDmacHandler(1, RecordEnd, -1);
    EnableDmac(1);
    sceDmaSend(ch1_, q);
    // Both ran, the second after the first, each followed by its end interrupt.
    EXPECT_EQ(Vu1Memory().Qw(60)[0], 2u);
    EXPECT_EQ(g_chained, 2);
    EXPECT_EQ(g_ends, (std::vector<int>{1, 1}));
    EXPECT_EQ(console::dma::TransfersRun(), 2u);
}

TEST_F(DmaTest, NormalModeSendsQuadwordsWithoutTags) {
    uint64_t* q = g_mem;
    PutQw(q, 0, 0, 0, Unpack(1, 70));
    PutQw(q + 2, 31, 32, 33, 34);
    EXPECT_EQ(sceDmaSendN(ch1_, q, 2), 0);
    EXPECT_EQ(Vu1Memory().Qw(70)[3], 34u);
    EXPECT_EQ(sceDmaSendN(ch1_, Ptr<void>(0x7FFFFF00u), 4), 0);
    EXPECT_EQ(console::dma::DroppedChains(), 1u);
    EXPECT_EQ(sceDmaGetChan(10), nullptr);
}

}  // namespace
