// Union-find as the resolvers use it: union by size and path compression.
#include <gtest/gtest.h>

#include <vector>

#include "kinetic/collide/union_find.h"

using namespace Kinetic;

namespace {

using Groups = std::vector<std::vector<int>>;

Groups allGroups(UnionFind& uf) {
    Groups groups;
    std::vector<int> g;
    while (uf.getNextGroup(g)) groups.push_back(g);
    EXPECT_FALSE(uf.getNextGroup(g));  // stays exhausted
    return groups;
}

}  // namespace

TEST(UnionFindTest, UnionBySizeAndPathCompression) {
    UnionFind uf;
    // A long chain: every node must end up with one root.
    std::vector<std::pair<int, int>> chain;
    for (int i = 0; i < 99; ++i) chain.emplace_back(i, i + 1);
    chain.emplace_back(200, 201);
    uf.setEdges(chain, 202);
    const int root = uf.findRootOfNode(50);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(uf.findRootOfNode(i), root);
    EXPECT_NE(uf.findRootOfNode(200), root);
    auto groups = allGroups(uf);
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[0].size(), 99u);
    EXPECT_EQ(groups[1], (std::vector<int>{99}));
}
