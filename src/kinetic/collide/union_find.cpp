#include "kinetic/collide/union_find.h"

namespace Kinetic {

void UnionFind::setEdges(const std::vector<std::pair<int, int>>& edges, int nodeCount) {
    m_nodes.assign(static_cast<size_t>(nodeCount), -1);
    m_edgeRoots.clear();
    m_edgeRoots.reserve(edges.size());
    for (const auto& [a, b] : edges) {
        int ra = a;
        if (m_nodes[a] >= 0) {
            ra = findRootOfNode(m_nodes[a]);
            m_nodes[a] = ra;
        }
        int rb = b;
        if (m_nodes[b] >= 0) {
            rb = findRootOfNode(m_nodes[b]);
            m_nodes[b] = rb;
        }
        if (ra != rb) unionRoots(ra, rb);
        m_edgeRoots.push_back(ra < rb ? ra : rb);
    }
    collapseTree();
    m_cursor = 0;
    m_grouped = false;
}

int UnionFind::findRootOfNode(int node) {
    if (m_nodes[node] < 0) return node;
    int root = findRootOfNode(m_nodes[node]);
    m_nodes[node] = root;
    return root;
}

void UnionFind::unionRoots(int rootA, int rootB) {
    if (m_nodes[rootB] < m_nodes[rootA]) {
        m_nodes[rootB] += m_nodes[rootA];
        m_nodes[rootA] = rootB;
    } else {
        m_nodes[rootA] += m_nodes[rootB];
        m_nodes[rootB] = rootA;
    }
}

void UnionFind::collapseTree() {
    for (int& entry : m_nodes) {
        while (entry >= 0 && m_nodes[entry] >= 0) entry = m_nodes[entry];
    }
    for (int& r : m_edgeRoots) {
        if (r < 0) continue;
        while (m_nodes[r] >= 0) r = m_nodes[r];
    }
}

bool UnionFind::getNextGroup(std::vector<int>& out) {
    if (!m_grouped) {
        // Bucket the edges once, groups in the order of their first edge and edges ascending within a
        // group, instead of rescanning every edge for every group.
        std::vector<int> groupOfRoot(m_nodes.size(), -1);
        std::vector<int> edgeGroup(m_edgeRoots.size());
        int groups = 0;
        for (size_t i = 0; i < m_edgeRoots.size(); ++i) {
            int& g = groupOfRoot[static_cast<size_t>(m_edgeRoots[i])];
            if (g < 0) g = groups++;
            edgeGroup[i] = g;
        }
        m_groupStart.assign(static_cast<size_t>(groups) + 1, 0);
        for (int g : edgeGroup) ++m_groupStart[static_cast<size_t>(g) + 1];
        for (size_t g = 1; g < m_groupStart.size(); ++g) m_groupStart[g] += m_groupStart[g - 1];
        m_groupEdges.resize(m_edgeRoots.size());
        std::vector<int> fill(m_groupStart.begin(), m_groupStart.end() - 1);
        for (size_t i = 0; i < edgeGroup.size(); ++i)
            m_groupEdges[static_cast<size_t>(fill[static_cast<size_t>(edgeGroup[i])]++)] =
                static_cast<int>(i);
        m_grouped = true;
        m_cursor = 0;
    }
    if (m_cursor + 1 >= static_cast<int>(m_groupStart.size())) return false;
    out.assign(m_groupEdges.begin() + m_groupStart[static_cast<size_t>(m_cursor)],
               m_groupEdges.begin() + m_groupStart[static_cast<size_t>(m_cursor) + 1]);
    ++m_cursor;
    return true;
}

}  // namespace Kinetic
