// Splits edges between integer nodes into connected groups (the resolvers cut a step's contacts into
// independent groups of touching bodies with it).
#pragma once

#include <cstddef>
#include <utility>
#include <vector>

namespace Kinetic {

class UnionFind {
public:
    // Builds the forest for nodes 0..nodeCount-1 and rewinds the group cursor.
    void setEdges(const std::vector<std::pair<int, int>>& edges, int nodeCount);
    int findRootOfNode(int node);
    void unionRoots(int rootA, int rootB);
    void collapseTree();
    // Edge indices of the next group, in ascending order; false once every group was handed out.
    bool getNextGroup(std::vector<int>& out);

private:
    std::vector<int> m_nodes;       // negative: root with -size; otherwise the parent
    std::vector<int> m_edgeRoots;   // per edge: the root of its set
    int m_cursor = 0;               // next group to hand out
    bool m_grouped = false;         // the buckets below are built for the current edges
    std::vector<int> m_groupStart;  // group g's edges are m_groupEdges[start[g] .. start[g + 1])
    std::vector<int> m_groupEdges;
};

}  // namespace Kinetic
