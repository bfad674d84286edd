// The host's allocations stay out of the engine heap: a scope on the game's thread and every other
// thread take the C runtime's memory, and the game's own allocations still come from the heap.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/sys/heap.h"

namespace {

TEST(HostMemory, ScopesAndOtherThreadsLeaveTheEngineHeapAlone) {
    ASSERT_TRUE(x_NewUsesEngineHeap());
    auto game = std::make_unique<int[]>(64);
    EXPECT_TRUE(x_InHeapRegion(game.get()));

    const int usedBefore = x_TotalMemory();
    {
        const HostMemoryScope outer;
        EXPECT_FALSE(x_NewUsesEngineHeap());
        std::string path(200, 'p');
        std::vector<unsigned char> picture(640 * 448 * 4);
        auto aligned = std::make_unique<std::max_align_t[]>(3);
        struct alignas(64) Line {
            char bytes[64];
        };
        auto line = std::make_unique<Line>();
        EXPECT_FALSE(x_InHeapRegion(path.data()));
        EXPECT_FALSE(x_InHeapRegion(picture.data()));
        EXPECT_FALSE(x_InHeapRegion(line.get()));
        EXPECT_EQ(reinterpret_cast<uintptr_t>(line.get()) % 64, 0u);
        EXPECT_EQ(x_TotalMemory(), usedBefore);
        {
            const HostMemoryScope inner;  // scopes nest
            EXPECT_FALSE(x_NewUsesEngineHeap());
        }
        EXPECT_FALSE(x_NewUsesEngineHeap());
        // Game memory freed inside a scope still goes back to the heap.
        game.reset();
        EXPECT_LT(x_TotalMemory(), usedBefore);
    }
    EXPECT_TRUE(x_NewUsesEngineHeap());

    // Another thread allocates and frees without touching the heap; what it made can be freed here.
    const int usedMid = x_TotalMemory();
    std::string* made = nullptr;
    bool threadUsesHeap = true;
    std::thread worker([&] {
        threadUsesHeap = x_NewUsesEngineHeap();
        std::vector<std::string> names(100, std::string(50, 'n'));
        made = new std::string(300, 'w');
    });
    worker.join();
    EXPECT_FALSE(threadUsesHeap);
    ASSERT_NE(made, nullptr);
    EXPECT_FALSE(x_InHeapRegion(made));
    delete made;
    EXPECT_EQ(x_TotalMemory(), usedMid);
}

}  // namespace
