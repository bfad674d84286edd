// The contact caches: 128 lines, hits keep their line, and a new key when full evicts the line fetched
// least recently.
#include <gtest/gtest.h>

#include <set>

#include "kinetic/collide/cache_manager.h"
#include "kinetic/collide/gjk_cache.h"
#include "kinetic/collide/manifold_cache.h"

using namespace Kinetic;

TEST(CacheManagerTest, HundredTwentyNinthKeyEvictsTheLeastRecentlyFetchedLine) {
    CacheManager<long long, ManifoldCache> cache(128);
    bool found = false;
    std::set<ManifoldCache*> lines;
    for (long long k = 0; k < 128; ++k) {
        ManifoldCache* line = cache.fetch(found, k);
        EXPECT_FALSE(found);
        line->m_mergeRadiusSqrd = static_cast<float>(k);
        lines.insert(line);
        cache.newStep();
    }
    EXPECT_EQ(lines.size(), 128u);  // 128 distinct lines
    // Key 0 was fetched first (stamp 0); touch it again so that key 1 becomes the oldest.
    cache.fetch(found, 0);
    EXPECT_TRUE(found);
    cache.newStep();
    ManifoldCache* line = cache.fetch(found, 1000);
    EXPECT_FALSE(found);
    // The evicted line keeps what key 1 left in it: the caller resets a reused line.
    EXPECT_EQ(line->m_mergeRadiusSqrd, 1.0f);
    EXPECT_EQ(lines.count(line), 1u);
    cache.fetch(found, 1);
    EXPECT_FALSE(found);  // key 1 lost its line
    cache.fetch(found, 0);
    EXPECT_TRUE(found);
    cache.fetch(found, 1000);
    EXPECT_TRUE(found);
    EXPECT_EQ(cache.fetch(found, 100)->m_mergeRadiusSqrd, 100.0f);  // a hit returns the line as left
    EXPECT_TRUE(found);
}

TEST(CacheManagerTest, LineFetchedThisStepIsNotEvictedWhileAnOlderExists) {
    CacheManager<long long, GJKCache> cache(128);
    bool found = false;
    for (long long k = 0; k < 128; ++k) cache.fetch(found, k);
    cache.newStep();
    // Every line has stamp 0 except the ones fetched in step 1.
    for (long long k = 0; k < 127; ++k) cache.fetch(found, k);
    cache.fetch(found, 500);  // the only older line is key 127's
    EXPECT_FALSE(found);
    for (long long k = 0; k < 127; ++k) {
        cache.fetch(found, k);
        if (!found) {
            ADD_FAILURE() << "key " << k << " was evicted";
            break;
        }
    }
    cache.fetch(found, 127);
    EXPECT_FALSE(found);
}

TEST(CacheManagerTest, EqualStampsEvictTheLowestLineFirst) {
    // The manifold cache never advances its step: every stamp is 0, and eviction must still be
    // repeatable and sensible: first in, first out.
    CacheManager<long long, ManifoldCache> cache(4);
    bool found = false;
    ManifoldCache* first = cache.fetch(found, 10);
    ManifoldCache* second = cache.fetch(found, 11);
    cache.fetch(found, 12);
    cache.fetch(found, 13);
    EXPECT_EQ(cache.fetch(found, 14), first);
    EXPECT_FALSE(found);
    EXPECT_EQ(cache.fetch(found, 15), second);
    cache.fetch(found, 14);
    EXPECT_TRUE(found);  // the newest line is not the next to go
    cache.fetch(found, 10);
    EXPECT_FALSE(found);
    EXPECT_EQ(cache.getLineCount(), 4);
}
