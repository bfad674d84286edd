// The contact caches: 128 lines, hits keep their line, and a new key when full evicts the line fetched
// least recently.
#include <gtest/gtest.h>

#include <set>

#include "kinetic/collide/cache_manager.h"
#include "kinetic/collide/gjk_cache.h"
#include "kinetic/collide/manifold_cache.h"

using namespace Kinetic;

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
