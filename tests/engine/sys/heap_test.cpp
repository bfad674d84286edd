#include "engine/sys/heap.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "console/cd/host_output.h"
#include "console/dma/dma.h"
#include "console/gif/gif_tag.h"
#include "console/gs/gs_device.h"
#include "console/gs/gs_library.h"
#include "console/mem/addr.h"
#include "console/stage/dma_stage.h"
#include "support/temp_dir.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#include <sanitizer/lsan_interface.h>

#include <cstdlib>
#endif

namespace {

// A private heap over a region taken from the global heap, so exact block layouts can be checked
// without the test framework's own allocations in the way.
class PrivateHeap : public ::testing::Test {
protected:
    void SetUp() override {
        heap_ = new EngineHeap;
        heap_->reset();
    }
    void TearDown() override {
        delete heap_;
        for (void* r : regions_) x_free(r);
    }
    // Donates a 16-aligned region of exactly `size` bytes.
    uint32_t donate(uint32_t size) {
        void* r = x_fn_malloc(size, "", 0);
        regions_.push_back(r);
        heap_->donate(r, size);
        return Addr32(r);
    }
    std::vector<HeapBlockInfo> blocks() const {
        std::vector<HeapBlockInfo> out;
        HeapBlockInfo info;
        for (int i = 0; heap_->blockAt(i, &info); ++i) out.push_back(info);
        return out;
    }

    EngineHeap* heap_ = nullptr;
    std::vector<void*> regions_;
};

TEST(HeapBuckets, PowersOfTwoCappedAtTwenty) {
    EXPECT_EQ(CompFreeHash(32), 5);
    EXPECT_EQ(CompFreeHash(63), 5);
    EXPECT_EQ(CompFreeHash(64), 6);
    EXPECT_EQ(CompFreeHash((1u << 20) - 16), 19);
    EXPECT_EQ(CompFreeHash(1u << 20), 20);
    EXPECT_EQ(CompFreeHash(1u << 25), 20);
}

TEST(GlobalHeap, ZeroSizeSentinelAndNullAreIgnored) {
    void* p = x_fn_malloc(0, "", 0);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p), kHeapZeroSizeSentinel);
    int used = x_TotalMemory();
    x_free(p);
    x_free(nullptr);
    EXPECT_EQ(x_TotalMemory(), used);
}

TEST(GlobalHeap, LivesInTheLowArenaAndAligns) {
    ASSERT_NE(console::ArenaBase(), nullptr);
    // The fixed address is what every run gets outside valgrind.
    EXPECT_EQ(reinterpret_cast<uintptr_t>(console::ArenaBase()), console::kArenaPreferredBase);
    std::vector<int*> ptrs;
    for (int i = 1; i < 50; ++i) ptrs.push_back(new int[i * 7]);
    for (int* p : ptrs) {
        EXPECT_TRUE(console::InAddrReach(p));
        EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 16, 0u);
        uintptr_t base = reinterpret_cast<uintptr_t>(console::ArenaBase());
        EXPECT_GE(reinterpret_cast<uintptr_t>(p), base);
        EXPECT_LT(reinterpret_cast<uintptr_t>(p), base + console::ArenaSize());
    }
    for (int* p : ptrs) delete[] p;
}

TEST(GlobalHeap, FiguresAddUpAndFreeRestoresThem) {
    int used = x_TotalMemory();
    int freeBytes = x_TotalMemoryFree();
    void* p = x_fn_malloc(1000, "", 0);
    ASSERT_NE(p, nullptr);
    // 1008 bytes of user memory and the header, plus at most 16 bytes of waste left in a reused hole.
    int grew = x_TotalMemory() - used;
    int total = x_TotalMemory() + x_TotalMemoryFree();
    EXPECT_GE(grew, 1008 + 32);
    EXPECT_LE(grew, 1008 + 32 + 16);
    EXPECT_EQ(total, used + freeBytes);
    EXPECT_GE(x_LargestBlockFree(), 1024u);
    x_free(p);
    EXPECT_EQ(x_TotalMemory(), used);
    EXPECT_EQ(x_TotalMemoryFree(), freeBytes);
}

// A block the geometry stage still has to read (a GIF packet queued, not yet run) is read before it is
// given back, so its next owner cannot change what the GS gets.
TEST(GlobalHeap, FreeingWaitsForTheGeometryStageToReadTheBlock) {
    console::dma::SetStageMode(console::dma::StageMode::kDeferred);
    auto* q = static_cast<uint64_t*>(x_fn_amalloc(32, 16));
    ASSERT_NE(q, nullptr);
    // One A+D write of PRIM: no drawing, but the GS's register shows it arrived.
    const console::gif::GifTag tag = console::gif::MakeGifTag(1, true, console::gif::kFlgPacked, 1, 0xE);
    std::memcpy(q, &tag, 16);
    q[2] = 6;  // a sprite
    q[3] = console::gs::kRegPrim;
    console::gs::Gs().WriteReg(console::gs::kRegPrim, 0);
    sceDmaSendN(sceDmaGetChan(2), q, 2);
    EXPECT_EQ(console::gs::Gs().ReadReg(console::gs::kRegPrim), 0u);  // queued
    x_free(q);
    // Read by the time the block is given back (the GS may take it later): the next owner may write it.
    auto* next = static_cast<uint64_t*>(x_fn_amalloc(32, 16));
    ASSERT_NE(next, nullptr);
    std::memset(next, 0, 32);
    sceGsSyncPath(0, 0);
    EXPECT_EQ(console::gs::Gs().ReadReg(console::gs::kRegPrim), 6u);
    x_free(next);
    console::dma::SetStageMode(console::dma::StageMode::kInline);
}

TEST(GlobalHeap, ImpossibleRequestReturnsNullAndWritesDump) {
    testsupport::TempDir out;
    console::SetOutputDirectory(out.path().c_str());
    EXPECT_EQ(x_fn_malloc(0xF0000000u, "", 0), nullptr);
    EXPECT_EQ(x_fn_malloc(0xFFFFFFFFu, "", 0), nullptr);
    std::string dump = testsupport::ReadText(out.file("memfail.txt"));
    console::SetOutputDirectory("");
    EXPECT_NE(dump.find("BLOCKS IN GLOBAL HEAP"), std::string::npos);
    EXPECT_NE(dump.find("Total Allocated Memory : "), std::string::npos);
}

TEST(GlobalHeap, LargerAlignmentsSplitOffTheFront) {
    std::vector<void*> ptrs;
    for (uint32_t align : {32u, 64u, 256u, 4096u}) {
        void* p = x_fn_amalloc(100, align);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % align, 0u);
        ptrs.push_back(p);
    }
    EXPECT_EQ(x_fn_amalloc(100, 48), nullptr);  // not a power of two
    for (void* p : ptrs) x_free(p);
}

TEST(AddressModel, Addr32RefusesPointersOutOfReach) {
    int local = 0;
    (void)local;
    void* far = reinterpret_cast<void*>(uintptr_t{0x100000000ull});
    EXPECT_FALSE(console::InAddrReach(far));
    EXPECT_DEATH(Addr32(far), "31-bit reach");
    int* p = new int(5);
    EXPECT_EQ(Ptr<int>(Addr32(p)), p);
    delete p;
}

TEST_F(PrivateHeap, DonationsUnder1KAreIgnored) {
    void* r = x_fn_malloc(2048, "", 0);
    regions_.push_back(r);
    heap_->donate(r, 1008);
    EXPECT_EQ(heap_->blockCount(), 0);
    heap_->donate(r, 1024);
    EXPECT_EQ(heap_->blockCount(), 1);
    EXPECT_EQ(heap_->totalFree(), 1024);
}

TEST_F(PrivateHeap, OneByteTakesA48ByteBlock) {
    uint32_t base = donate(4096);
    void* p = heap_->allocate(0, 1, 16);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(Addr32(p), base + 32);
    auto b = blocks();
    ASSERT_EQ(b.size(), 2u);
    EXPECT_FALSE(b[0].free);
    EXPECT_EQ(b[0].bSize, 48u);
    EXPECT_EQ(b[0].uSize, 1u);
    EXPECT_TRUE(b[1].free);
    EXPECT_EQ(b[1].bSize, 4096u - 48);
    EXPECT_EQ(heap_->totalUsed(), 48);
}

TEST_F(PrivateHeap, SixteenByteLeftoverStaysAsRearWasteThirtyTwoSplits) {
    testsupport::TempDir out;
    console::SetOutputDirectory(out.path().c_str());

    donate(1024);
    void* p = heap_->allocate(0, 1024 - 32 - 16, 16);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(heap_->blockCount(), 1);
    EXPECT_EQ(heap_->totalUsed(), 1024);
    // Even an exact fit of the user size with a smaller request rounds to 16 and keeps waste.
    heap_->dump("memfail.txt");
    std::string dump = testsupport::ReadText(out.file("memfail.txt"));
    EXPECT_NE(dump.find("B.R | 0x"), std::string::npos) << dump;
    EXPECT_NE(dump.find("|    1024 |     976 | AAAAAAAA |  0 |"), std::string::npos) << dump;
    heap_->release(p);

    p = heap_->allocate(0, 1024 - 32 - 32, 16);
    ASSERT_NE(p, nullptr);
    auto b = blocks();
    ASSERT_EQ(b.size(), 2u);
    EXPECT_EQ(b[1].bSize, 32u);
    EXPECT_TRUE(b[1].free);
    heap_->dump("memfail.txt");
    dump = testsupport::ReadText(out.file("memfail.txt"));
    EXPECT_NE(dump.find("B.. | 0x"), std::string::npos) << dump;
    EXPECT_NE(dump.find("... | 0x"), std::string::npos) << dump;
    EXPECT_NE(dump.find("|      32 |       0 | FFFFFFFF |  5 |"), std::string::npos) << dump;
    console::SetOutputDirectory("");
}

TEST_F(PrivateHeap, DumpLayout) {
    testsupport::TempDir out;
    console::SetOutputDirectory(out.path().c_str());
    uint32_t base = donate(2048);
    void* p = heap_->allocate(0, 100, 16);
    ASSERT_NE(p, nullptr);
    heap_->dump("memfail.txt");
    console::SetOutputDirectory("");
    std::string rule(93, '-');
    char used[128], freeLine[128];
    std::snprintf(used, sizeof used, "B.. | 0x%8.8X |     144 |     100 | AAAAAAAA |  0 |\n", base);
    std::snprintf(freeLine, sizeof freeLine, "... | 0x%8.8X |    1904 |       0 | FFFFFFFF | 10 |\n",
                  base + 144);
    std::string expected =
        "\nB: Break   F: Front waste   R: Rear waste   HI: Heap Index\n" + rule + "\n\n" +
        "Total Allocated Memory : 144 \nTotal Free Memory      : 1904 \n\n" + std::string(23, ' ') + "/" +
        std::string(34, '-') + "\\\n" + std::string(23, ' ') + "|       BLOCKS IN GLOBAL HEAP      |\n" +
        rule + "\n" + "BFR |  Address   |  BSize  |  USize  |  State   | HI | SeqNum | LNum | FileName\n" +
        rule + "\n" + used + freeLine + rule + "\n";
    EXPECT_EQ(testsupport::ReadText(out.file("memfail.txt")), expected);
}

TEST_F(PrivateHeap, AdjacentFreesMergeInEitherOrder) {
    for (int order = 0; order < 2; ++order) {
        heap_->reset();
        donate(8192);
        void* a = heap_->allocate(0, 200, 16);
        void* b = heap_->allocate(0, 300, 16);
        void* guard = heap_->allocate(0, 16, 16);
        ASSERT_TRUE(a && b && guard);
        // a is carved first, so it lies before b.
        ASSERT_LT(Addr32(a), Addr32(b));
        const uint32_t sum = (32 + 208) + (32 + 304);
        heap_->release(order == 0 ? a : b);
        heap_->release(order == 0 ? b : a);
        auto blk = blocks();
        ASSERT_GE(blk.size(), 3u);
        EXPECT_TRUE(blk[0].free);
        EXPECT_EQ(blk[0].bSize, sum);
        EXPECT_FALSE(blk[1].free);
        heap_->release(guard);
        EXPECT_EQ(heap_->blockCount(), 1);
        EXPECT_EQ(heap_->totalFree(), 8192);
    }
}

TEST_F(PrivateHeap, EqualSizesPreferTheLaterFreed) {
    donate(8192);
    void* x = heap_->allocate(0, 100, 16);
    void* y = heap_->allocate(0, 100, 16);
    void* z = heap_->allocate(0, 100, 16);
    void* w = heap_->allocate(0, 100, 16);
    ASSERT_TRUE(x && y && z && w);
    heap_->release(x);
    heap_->release(z);
    EXPECT_EQ(heap_->allocate(0, 100, 16), z);
    EXPECT_EQ(heap_->allocate(0, 100, 16), x);
}

TEST_F(PrivateHeap, BestFitTakesTheSmallestQualifyingBlock) {
    donate(16384);
    void* big = heap_->allocate(0, 2000, 16);
    void* sep1 = heap_->allocate(0, 16, 16);
    void* small = heap_->allocate(0, 300, 16);
    void* sep2 = heap_->allocate(0, 16, 16);
    ASSERT_TRUE(big && sep1 && small && sep2);
    heap_->release(big);
    heap_->release(small);
    // Both the 2032-byte block and the tail qualify; the 336-byte one fits best.
    EXPECT_EQ(heap_->allocate(0, 250, 16), small);
}

TEST_F(PrivateHeap, ExhaustionReturnsNull) {
    testsupport::TempDir out;
    console::SetOutputDirectory(out.path().c_str());
    donate(1024);
    EXPECT_EQ(heap_->allocate(0, 1024, 16), nullptr);
    EXPECT_NE(heap_->allocate(0, 1024 - 32, 16), nullptr);
    EXPECT_EQ(heap_->allocate(0, 1, 16), nullptr);
    EXPECT_NE(testsupport::ReadText(out.file("memfail.txt")).find("BLOCKS IN GLOBAL HEAP"),
              std::string::npos);
    console::SetOutputDirectory("");
}

TEST_F(PrivateHeap, RandomTrafficKeepsTheHeapConsistent) {
    const uint32_t size = 256 * 1024;
    donate(size);
    std::vector<void*> live;
    uint32_t x = 12345;
    for (int step = 0; step < 4000; ++step) {
        x = x * 1103515245u + 12345u;
        if (live.empty() || (x >> 16) % 3 != 0) {
            void* p = heap_->allocate(0, 1 + (x >> 8) % 3000, 16);
            if (p) live.push_back(p);
        } else {
            size_t i = (x >> 4) % live.size();
            heap_->release(live[i]);
            live.erase(live.begin() + static_cast<long>(i));
        }
        if (step % 500 == 0) {
            // Blocks tile the region exactly and no two free blocks touch.
            auto b = blocks();
            uint32_t end = b.front().address;
            for (size_t i = 0; i < b.size(); ++i) {
                EXPECT_EQ(b[i].address, end);
                end = b[i].address + b[i].bSize;
                if (i > 0) {
                    EXPECT_FALSE(b[i].free && b[i - 1].free);
                }
            }
            EXPECT_EQ(static_cast<uint32_t>(heap_->totalUsed() + heap_->totalFree()), size);
        }
    }
    for (void* p : live) heap_->release(p);
    EXPECT_EQ(heap_->blockCount(), 1);
}

#if defined(__SANITIZE_ADDRESS__)
TEST(GlobalHeap, FreedBlocksArePoisoned) {
    char* p = static_cast<char*>(x_fn_malloc(40, "", 0));
    ASSERT_NE(p, nullptr);
    EXPECT_FALSE(__asan_address_is_poisoned(p + 39));
    EXPECT_TRUE(__asan_address_is_poisoned(p + 40));
    x_free(p);
    EXPECT_TRUE(__asan_address_is_poisoned(p));
}

// C library memory whose only pointer sits in an engine heap block is reachable, not leaked.
TEST(GlobalHeap, LeakCheckFollowsPointersHeldInTheHeap) {
    auto** holder = static_cast<void**>(x_fn_malloc(16, "", 0));
    ASSERT_NE(holder, nullptr);
    *holder = std::malloc(100);
    EXPECT_EQ(__lsan_do_recoverable_leak_check(), 0);
    std::free(*holder);
    x_free(holder);
}
#endif

}  // namespace
