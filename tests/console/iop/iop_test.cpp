#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "console/iop/iop.h"

namespace {

uint32_t A(void* p) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p));
}

TEST(IopHeap, AllocatesInsideIopMemoryAndReusesFreedSpace) {
    console::IopReset();
    EXPECT_GE(sceSifInitIopHeap(), 0);
    void* a = sceSifAllocIopHeap(1000);
    void* b = sceSifAllocIopHeap(5000);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_GE(A(a), console::kIopHeapStart);
    EXPECT_GE(A(b), A(a) + 1000);
    EXPECT_LE(A(b) + 5000, console::kIopMemSize);
    EXPECT_EQ(sceSifFreeIopHeap(a), 0);
    EXPECT_EQ(sceSifFreeIopHeap(a), -1);  // not allocated any more
    void* c = sceSifAllocIopHeap(500);
    EXPECT_EQ(c, a);  // first fit takes the hole
    // Initialising again (every front-end entry does) keeps what was allocated.
    sceSifInitIopHeap();
    EXPECT_EQ(console::IopHeapUsed(), 512u + 5056u);
    console::IopReset();
}

TEST(IopHeap, RunsOutCleanly) {
    console::IopReset();
    EXPECT_EQ(sceSifAllocIopHeap(0), nullptr);
    EXPECT_EQ(sceSifAllocIopHeap(console::kIopMemSize), nullptr);
    std::vector<void*> blocks;
    while (void* p = sceSifAllocIopHeap(64 * 1024)) blocks.push_back(p);
    EXPECT_EQ(blocks.size(), (console::kIopMemSize - console::kIopHeapStart) / (64 * 1024));
    for (void* p : blocks) EXPECT_EQ(sceSifFreeIopHeap(p), 0);
    EXPECT_EQ(console::IopHeapUsed(), 0u);
}

}  // namespace
