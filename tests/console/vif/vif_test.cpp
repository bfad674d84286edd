#include "console/vif/vif.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "console/vu/microprogram.h"

namespace {

using console::vif::Vif1;
using console::vu::Vu1Memory;

class VifTest : public ::testing::Test {
protected:
    void SetUp() override {
        Vif1().Reset();
        console::vif::Vif0().Reset();
        Vu1Memory().Clear();
        console::vu::Vu0Memory().Clear();
    }
    static void Feed(const std::vector<uint32_t>& w) { Vif1().Write(w.data(), w.size()); }
    // The four words of a VU1 quadword.
    static std::vector<uint32_t> Qw(uint32_t at) { return {Vu1Memory().Qw(at), Vu1Memory().Qw(at) + 4}; }
    using W = std::vector<uint32_t>;
};

// UNPACK in each width: sign or zero extension by the USN bit, TOPS-relative addresses with FLG, V4-5
// colours; a code and its data may arrive a word at a time.
TEST_F(VifTest, UnpackWidthsExtendAndAddressAsTheCodeSays) {
    Feed({0x6C020005, 1, 2, 3, 4, 5, 6, 7, 8});  // V4-32
    EXPECT_EQ(Qw(5), (W{1, 2, 3, 4}));
    EXPECT_EQ(Qw(6), (W{5, 6, 7, 8}));
    Feed({0x6D020010, 0x0002FFFF, 0x00048000, 0x00060005, 0x00080007});  // V4-16, signed
    EXPECT_EQ(Qw(16), (W{0xFFFFFFFF, 2, 0xFFFF8000, 4}));
    EXPECT_EQ(Qw(17), (W{5, 6, 7, 8}));
    Feed({0x6D014020, 0x0002FFFF, 0x00048000});  // USN
    EXPECT_EQ(Qw(32), (W{0xFFFF, 2, 0x8000, 4}));
    EXPECT_EQ(Vif1().Tops(), 60u);
    Feed({0x6E018002, 0x7F80FF01});  // V4-8 with FLG: the address is relative to TOPS (60)
    EXPECT_EQ(Qw(62), (W{1, 0xFFFFFFFF, 0xFFFFFF80, 0x7F}));
    Feed({0x03000100, 0x6E01C000, 0x7F80FF01});  // BASE 256; FLG + USN
    EXPECT_EQ(Qw(256), (W{1, 0xFF, 0x80, 0x7F}));
    Feed({0x6F0100A0, 0x0000C01F});  // V4-5: r 31, g 0, b 16, a 1
    EXPECT_EQ(Qw(0xA0), (W{0xF8, 0, 0x80, 0x80}));
    for (uint32_t x : {0x6C020040u, 1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u}) Vif1().Write(&x, 1);
    EXPECT_EQ(Qw(64), (W{1, 2, 3, 4}));
    EXPECT_EQ(Qw(65), (W{5, 6, 7, 8}));
}

TEST_F(VifTest, SkippingCycleWritesEveryOtherQuadword) {
    Feed({0x01000102});  // STCYCL CL 2, WL 1
    Feed({0x6C030070, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3});
    EXPECT_EQ((W{Qw(0x70)[0], Qw(0x71)[0], Qw(0x72)[0], Qw(0x73)[0], Qw(0x74)[0]}), (W{1, 0, 2, 0, 3}));
}

TEST_F(VifTest, RowRegisterAddsInOffsetModeAndMaskSelectsRowColumnOrProtection) {
    Feed({0x30000000, 10, 20, 30, 40});  // STROW
    Feed({0x05000001});                  // STMOD offset
    Feed({0x6C010080, 1, 2, 3, 4});
    EXPECT_EQ(Qw(0x80), (W{11, 22, 33, 44}));
    Feed({0x05000000, 0x20000000, 0x000000C4});  // mode normal; mask: x data, y row, z data, w protect
    Vu1Memory().Qw(0x81)[3] = 777;
    Feed({0x7C010081, 1, 2, 3, 4});  // UNPACK V4-32 with the mask bit
    EXPECT_EQ(Qw(0x81), (W{1, 20, 3, 777}));
    // STCOL, then a mask taking field w of the first cycle row from the column register.
    Feed({0x31000000, 100, 200, 300, 400, 0x20000000, 0x00000080});
    Feed({0x7C0100A1, 1, 2, 3, 4});
    EXPECT_EQ(Qw(0xA1), (W{1, 2, 3, 100}));
}

struct CountingProgram : console::vu::Microprogram {
    const char* Name() const override { return "counting"; }
    void Call(console::vu::VuState& vu, uint32_t entry) override {
        ++calls;
        lastEntry = entry;
        lastTops = vu.tops;
        vu.mem->Qw(0)[0] = 0xC0DE;
    }
    void Continue(console::vu::VuState& vu) override {
        ++continues;
        lastTops = vu.tops;
    }
    int calls = 0, continues = 0;
    uint32_t lastEntry = 0, lastTops = 0;
};

TEST_F(VifTest, MpgNamesTheProgramThatMscalAndMscntRun) {
    static CountingProgram prog;
    ASSERT_TRUE(console::vu::RegisterMicroprogram(0x7777, &prog));
    const uint64_t errors = Vif1().Errors();
    Feed({0x14000000});  // MSCAL with nothing resident: logged, counted
    EXPECT_EQ(Vif1().Errors(), errors + 1);
    Feed({0x4A010000, 0x7777, 0});  // MPG of one instruction: the id
    EXPECT_EQ(Vif1().ResidentProgram(), 0x7777u);
    Feed({0x14000001, 0x17000000});
    EXPECT_EQ(prog.calls, 1);
    EXPECT_EQ(prog.lastEntry, 1u);
    EXPECT_EQ(prog.continues, 1);
    EXPECT_EQ(prog.lastTops, 60u);
    EXPECT_EQ(Vu1Memory().Qw(0)[0], 0xC0DEu);
    Feed({0x4A010000, 0x5555, 0, 0x14000000});  // an unknown program
    EXPECT_EQ(Vif1().Errors(), errors + 2);
}

TEST_F(VifTest, UnknownCodesAndCutCodesDropTheRestOfTheTransfer) {
    const uint64_t errors = Vif1().Errors();
    Feed({0x00000000, 0x12000000, 0x6C010000, 1, 2, 3, 4});  // NOP, then code 0x12 (none)
    EXPECT_EQ(Vif1().Errors(), errors + 1);
    EXPECT_EQ(Qw(0)[0], 0u);
    Vif1().EndTransfer();
    Feed({0x6C010000, 1, 2, 3, 4});  // the next transfer is read again
    EXPECT_EQ(Qw(0)[0], 1u);
    Feed({0x6C020000, 1, 2, 3});  // a transfer ending inside a code
    Vif1().EndTransfer();
    EXPECT_EQ(Vif1().Errors(), errors + 2);
    Feed({0x6C010001, 9, 9, 9, 9});
    EXPECT_EQ(Qw(1)[0], 9u);
}

TEST_F(VifTest, Vif0UnpacksIntoVu0AndRefusesDirect) {
    const uint32_t w[] = {0x6C010003, 5, 6, 7, 8};
    console::vif::Vif0().Write(w, 5);
    EXPECT_EQ(console::vu::Vu0Memory().Qw(3)[1], 6u);
    const uint64_t errors = console::vif::Vif0().Errors();
    const uint32_t d[] = {0x50000001, 0, 0, 0, 0};
    console::vif::Vif0().Write(d, 5);
    EXPECT_EQ(console::vif::Vif0().Errors(), errors + 1);
    // Addresses wrap inside VU0's 256 quadwords.
    const uint32_t wrap[] = {0x6C010105, 1, 1, 1, 1};
    console::vif::Vif0().EndTransfer();
    console::vif::Vif0().Write(wrap, 5);
    EXPECT_EQ(console::vu::Vu0Memory().Qw(5)[0], 1u);
}

// Random streams of UNPACK codes in every format, with masks, the row register's modes, write cycles
// (filling and skipping), TOPS-relative and wrapping addresses and counts of any size, fed whole and in
// random pieces: the common formats' own loops and unpacking from the stream as it lies leave VU1's
// memory and the row register as the general loop does from the copy it collects.
struct UnpackRun {
    std::vector<uint32_t> memory;
    uint32_t row[4];
    uint64_t errors;
};

UnpackRun RunUnpacks(const std::vector<uint32_t>& stream, const std::vector<size_t>& pieces, bool fast) {
    const bool old = console::vif::Vif::FastUnpack(fast);
    Vif1().Reset();
    Vu1Memory().Clear();
    const uint64_t errors = Vif1().Errors();
    size_t at = 0;
    for (size_t p : pieces) {
        Vif1().Write(stream.data() + at, p);
        at += p;
    }
    Vif1().EndTransfer();
    console::vif::Vif::FastUnpack(old);
    UnpackRun r;
    r.memory.assign(Vu1Memory().Qw(0), Vu1Memory().Qw(0) + 4 * console::vu::kVu1Qwords);
    for (int i = 0; i < 4; ++i) r.row[i] = Vif1().Row(i);
    r.errors = Vif1().Errors() - errors;
    return r;
}

TEST_F(VifTest, CommonUnpackFormatsMatchTheGeneralLoopWholeOrInPieces) {
    std::mt19937 rng(1234);
    auto pick = [&](uint32_t n) { return uint32_t(rng() % n); };
    int fastCodes = 0;
    for (int trial = 0; trial < 300; ++trial) {
        std::vector<uint32_t> s;
        s.push_back(0x30000000);  // STROW
        for (int i = 0; i < 4; ++i) s.push_back(rng());
        s.push_back(0x31000000);  // STCOL
        for (int i = 0; i < 4; ++i) s.push_back(rng());
        for (int code = 0; code < 8; ++code) {
            // Mostly the common case (cycle 4/4, mode 0, V4 of 32/16/8 bits, unmasked), else anything.
            const bool common = pick(3) != 0;
            uint32_t cl = 4, wl = 4;
            if (!common && pick(2)) {
                cl = pick(5);
                wl = pick(5);
            }
            s.push_back(0x01000000 | (wl << 8) | cl);          // STCYCL
            s.push_back(0x05000000 | (common ? 0 : pick(3)));  // STMOD
            s.push_back(0x20000000);                           // STMASK
            s.push_back(rng());
            s.push_back(0x03000000 | pick(1024));  // BASE
            const uint32_t vn = common ? 3 : pick(4), vl = common ? pick(3) : (vn == 3 ? pick(4) : pick(3));
            const bool masked = !common && pick(2);
            const uint32_t num = pick(4) == 0 ? pick(256) : 1 + pick(20);  // 0 means 256
            const uint32_t cmd = 0x60 | (masked ? 0x10 : 0) | (vn << 2) | vl;
            // Addresses near the top of the memory wrap; FLG adds TOPS, USN picks the extension.
            const uint32_t addr = pick(2) ? 1000 + pick(24) : pick(1024);
            s.push_back(cmd << 24 | num << 16 | (pick(2) << 15) | (pick(2) << 14) | addr);
            if (common && cl == wl) ++fastCodes;
            const uint32_t n = num == 0 ? 256 : num;
            const uint32_t bits = vl == 3 ? 16 : (vn + 1) * (32u >> vl);
            uint32_t elements = n;
            if (wl > cl && cl > 0) elements = (n / wl) * cl + (n % wl < cl ? n % wl : cl);
            const size_t words = (size_t(elements) * bits + 31) / 32;
            for (size_t w = 0; w < words; ++w) s.push_back(rng());
        }
        std::vector<size_t> whole{s.size()}, pieces;
        for (size_t left = s.size(); left > 0;) {
            const size_t p = std::min<size_t>(left, 1 + pick(pick(2) ? 8 : 200));
            pieces.push_back(p);
            left -= p;
        }
        const UnpackRun general = RunUnpacks(s, pieces, false);
        for (const auto& [chunks, fast] :
             {std::pair{whole, true}, std::pair{pieces, true}, std::pair{whole, false}}) {
            const UnpackRun r = RunUnpacks(s, chunks, fast);
            ASSERT_EQ(r.memory, general.memory) << "trial " << trial << (fast ? " fast" : " general")
                                                << (chunks.size() == 1 ? " whole" : " in pieces");
            ASSERT_EQ(std::vector<uint32_t>(r.row, r.row + 4),
                      std::vector<uint32_t>(general.row, general.row + 4));
            ASSERT_EQ(r.errors, general.errors);
        }
        EXPECT_EQ(general.errors, 0u) << "trial " << trial;
    }
    EXPECT_GT(fastCodes, 500);
}

}  // namespace
