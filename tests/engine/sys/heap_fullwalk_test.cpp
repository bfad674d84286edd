// The heap's block choice against a plain model of it: blocks in address order, each free list kept as
// insertion order (newest first), and the full best-fit walk over every list from the request's bucket
// up. A random trace of allocations (mixed sizes and alignments) and frees must take the same block
// every time and leave the same dump.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "console/cd/host_output.h"
#include "console/mem/addr.h"
#include "engine/sys/heap.h"
#include "support/temp_dir.h"

namespace {

uint32_t Up16(uint32_t v) {
    return (v + 15) & ~15u;
}

struct RefBlock {
    HeapBlockInfo info;
    uint64_t freedAt;  // when it joined its free list: later ones come first in the list
};

class RefHeap {
public:
    explicit RefHeap(uint32_t base, uint32_t size) {
        blocks_.push_back({{base, base, size, 0, true, 0}, seq_++});
    }

    uint32_t allocate(uint32_t size, uint32_t align, int heap) {
        const uint32_t a = Up16(size);
        std::vector<size_t> order;
        for (size_t i = 0; i < blocks_.size(); ++i)
            if (blocks_[i].info.free && CompFreeHash(blocks_[i].info.bSize) >= CompFreeHash(a + 32))
                order.push_back(i);
        std::sort(order.begin(), order.end(), [&](size_t x, size_t y) {
            int bx = CompFreeHash(blocks_[x].info.bSize), by = CompFreeHash(blocks_[y].info.bSize);
            return bx != by ? bx < by : blocks_[x].freedAt > blocks_[y].freedAt;
        });
        int best = -1;
        uint64_t user = 0;
        for (size_t i : order) {
            const HeapBlockInfo& b = blocks_[i].info;
            uint64_t u = (uint64_t{b.address} + 32 + align - 1) & ~uint64_t{align - 1};
            if (b.bSize - 32 < a || u + a > uint64_t{b.address} + b.bSize) continue;
            if (best < 0 || b.bSize < blocks_[best].info.bSize) best = static_cast<int>(i), user = u;
        }
        if (best < 0) return 0;
        const HeapBlockInfo old = blocks_[best].info;
        const uint32_t h = static_cast<uint32_t>(user) - 32, front = h - old.address;
        const uint32_t rear = old.address + old.bSize - (static_cast<uint32_t>(user) + a);
        std::vector<RefBlock> parts;
        RefBlock used{{h, old.address, old.bSize, size, false, heap}, 0};
        if (front >= 32) {
            parts.push_back({{old.address, old.address, front, 0, true, 0}, seq_++});
            used.info.address = h;
            used.info.bSize -= front;
        }
        if (rear >= 32) used.info.bSize -= rear;
        parts.push_back(used);
        if (rear >= 32) parts.push_back({{h + 32 + a, h + 32 + a, rear, 0, true, 0}, seq_++});
        blocks_.erase(blocks_.begin() + best);
        blocks_.insert(blocks_.begin() + best, parts.begin(), parts.end());
        return static_cast<uint32_t>(user);
    }

    void release(uint32_t user) {
        size_t i = 0;
        while (blocks_[i].info.header != user - 32) ++i;
        HeapBlockInfo& b = blocks_[i].info;
        b = {b.address, b.address, b.bSize, 0, true, 0};
        auto joins = [&](size_t x) {
            return blocks_[x].info.free &&
                   blocks_[x].info.address + blocks_[x].info.bSize == blocks_[x + 1].info.address;
        };
        if (i > 0 && joins(i - 1)) {
            blocks_[i - 1].info.bSize += blocks_[i].info.bSize;
            blocks_.erase(blocks_.begin() + static_cast<long>(i--));
        }
        if (i + 1 < blocks_.size() && blocks_[i + 1].info.free && joins(i)) {
            blocks_[i].info.bSize += blocks_[i + 1].info.bSize;
            blocks_.erase(blocks_.begin() + static_cast<long>(i + 1));
        }
        blocks_[i].freedAt = seq_++;
    }

    // The block table of the dump, from the column titles down.
    std::string table() const {
        const std::string rule = std::string(93, '-') + "\n";
        std::string s =
            "BFR |  Address   |  BSize  |  USize  |  State   | HI | SeqNum | LNum | FileName\n" + rule;
        uint32_t prevEnd = 0;
        char line[128];
        for (const RefBlock& r : blocks_) {
            const HeapBlockInfo& b = r.info;
            const char brk = b.address != prevEnd ? 'B' : '.';
            if (b.free) {
                std::snprintf(line, sizeof line, "%c.. | 0x%08X | %7u | %7u | FFFFFFFF | %2d |\n", brk,
                              b.address, b.bSize, b.uSize, CompFreeHash(b.bSize));
            } else {
                const bool rear = b.address + b.bSize != b.header + 32 + Up16(b.uSize);
                std::snprintf(line, sizeof line, "%c%c%c | 0x%08X | %7u | %7u | AAAAAAAA | %2d |\n", brk,
                              b.address != b.header ? 'F' : '.', rear ? 'R' : '.', b.address, b.bSize,
                              b.uSize, b.heapIndex);
            }
            s += line;
            prevEnd = b.address + b.bSize;
        }
        return s + rule;
    }

private:
    std::vector<RefBlock> blocks_;
    uint64_t seq_ = 0;
};

TEST(HeapFullWalk, RandomTracesTakeTheSameBlockAndLeaveTheSameDump) {
    testsupport::TempDir out;
    console::SetOutputDirectory(out.path().c_str());
    const uint32_t regionSize = 8u << 20;
    void* region = x_fn_malloc(regionSize, "", 0);
    for (uint32_t seed : {1u, 77u}) {
        EngineHeap* heap = new EngineHeap;
        heap->reset();
        heap->donate(region, regionSize);
        RefHeap ref(Addr32(region), regionSize);
        std::vector<void*> live;
        uint32_t x = seed;
        auto next = [&x] {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            return x;
        };
        static const uint32_t kAligns[] = {16, 16, 16, 16, 32, 64, 256, 4096};
        for (int op = 0; op < 10000; ++op) {
            if (live.empty() || next() % 100 < 55) {
                const uint32_t r = next();
                const uint32_t size = r % 16 == 0 ? 1 + next() % 200000 : 1 + next() % (r % 3 ? 256 : 4000);
                const uint32_t align = kAligns[next() % 8];
                const int h = static_cast<int>(next() % kHeapCount);
                void* p = heap->allocate(h, size, align);
                ASSERT_EQ(p ? Addr32(p) : 0u, ref.allocate(size, align, h)) << "op " << op;
                if (p) live.push_back(p);
            } else {
                const size_t i = next() % live.size();
                heap->release(live[i]);
                ref.release(Addr32(live[i]));
                live[i] = live.back();
                live.pop_back();
            }
            if (op % 2500 == 2499) {
                heap->dump("walk.txt");
                const std::string dump = testsupport::ReadText(out.file("walk.txt"));
                ASSERT_EQ(dump.substr(dump.find("BFR |")), ref.table()) << "op " << op;
            }
        }
        delete heap;
    }
    x_free(region);
    console::SetOutputDirectory("");
}

}  // namespace
