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
    const int n = static_cast<int>(m_edgeRoots.size());
    int i = m_cursor;
    while (i < n && m_edgeRoots[i] == -1) ++i;
    if (i >= n) {
        m_cursor = n;
        return false;
    }
    const int root = m_edgeRoots[i];
    out.clear();
    out.push_back(i);
    m_cursor = i + 1;
    m_edgeRoots[i] = -1;
    for (int j = i + 1; j < n; ++j) {
        if (m_edgeRoots[j] == root) {
            out.push_back(j);
            m_edgeRoots[j] = -1;
        }
    }
    return true;
}

}  // namespace Kinetic
