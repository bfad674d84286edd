// Grouping of edges into connected sets, in the order the resolvers rely on.
#include <gtest/gtest.h>

#include <vector>

#include "kinetic/collide/union_find.h"

using namespace Kinetic;

namespace {

std::vector<std::vector<int>> allGroups(UnionFind& uf) {
    std::vector<std::vector<int>> groups;
    std::vector<int> g;
    while (uf.getNextGroup(g)) groups.push_back(g);
    return groups;
}

}  // namespace

TEST(UnionFindTest, GroupsFollowConnectivity) {
    UnionFind uf;
    uf.setEdges({}, 3);
    std::vector<int> g;
    EXPECT_FALSE(uf.getNextGroup(g));

    uf.setEdges({{0, 1}, {2, 3}, {1, 2}}, 4);
    EXPECT_EQ(allGroups(uf), (std::vector<std::vector<int>>{{0, 1, 2}}));

    uf.setEdges({{0, 1}, {2, 3}, {0, 1}}, 4);
    EXPECT_EQ(allGroups(uf), (std::vector<std::vector<int>>{{0, 2}, {1}}));
    EXPECT_FALSE(uf.getNextGroup(g));
}

TEST(UnionFindTest, SelfEdgesAndRestart) {
    UnionFind uf;
    uf.setEdges({{2, 2}, {0, 1}}, 3);
    EXPECT_EQ(allGroups(uf), (std::vector<std::vector<int>>{{0}, {1}}));
    // A self-edge joins the group of its node when other edges connect it.
    uf.setEdges({{2, 2}, {1, 2}, {4, 3}, {0, 4}, {3, 1}}, 5);
    EXPECT_EQ(allGroups(uf), (std::vector<std::vector<int>>{{0, 1, 2, 3, 4}}));
    // setEdges starts afresh.
    uf.setEdges({{3, 4}}, 5);
    EXPECT_EQ(allGroups(uf), (std::vector<std::vector<int>>{{0}}));
}

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
