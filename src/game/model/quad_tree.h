// A quad tree whose placement rules all come from a policy P. When two objects overlap without one
// holding the other, the node's object is replaced by a container enclosing both and the two go below
// it. The order of policy calls is part of the behaviour: IsContained may widen the boxes it is given.
//
// The policy must name a quadrant 0..3 in WhichChild, and a policy whose ResolveOverlap answers false
// must have changed the boxes so that the repeated insertion takes another path; both are asserted,
// because either fault would otherwise read outside the children or recurse without end.
#pragma once

#include <cassert>
#include <memory>
#include <utility>

template <typename T, typename P>
class CQuadTree {
public:
    explicit CQuadTree(T data) : m_Data(data) {}
    ~CQuadTree() = default;  // frees the nodes below; DelTree disposes of a tree and its data
    CQuadTree(const CQuadTree&) = delete;
    CQuadTree& operator=(const CQuadTree&) = delete;

    void setLocal(T data) { m_Data = data; }

    bool Add(T data, P& policy) { return Add(std::make_unique<CQuadTree>(data), policy); }

    // Takes the node (with any subtree below it) into the tree.
    bool Add(std::unique_ptr<CQuadTree> n, P& policy) {
        if (policy.IsContained(m_Data, n->m_Data)) return AddContained(std::move(n), policy);
        if (policy.IsContained(n->m_Data, m_Data)) {
            // The bigger object takes this node; the smaller one and the old subtree go below it.
            std::swap(m_Data, n->m_Data);
            for (int q = 0; q < 4; ++q) n->m_Children[q] = std::move(m_Children[q]);
            return AddContained(std::move(n), policy);
        }
        return AddAtThisLevel(std::move(n), policy);
    }

    bool AddContained(std::unique_ptr<CQuadTree> n, P& policy) {
        const int w = policy.WhichChild(m_Data, n->m_Data);
        assert(w >= 0 && w < 4 && "the quad tree policy must name a quadrant");
        if (w < 0 || w >= 4) return false;
        CQuadTree* c = m_Children[w].get();
        if (!c) {
            m_Children[w] = std::move(n);
            return true;
        }
        if (!policy.IsOverlapped(c->m_Data, n->m_Data)) return c->Add(std::move(n), policy);
        if (policy.IsContained(c->m_Data, n->m_Data)) return c->Add(std::move(n), policy);
        if (policy.IsContained(n->m_Data, c->m_Data)) return c->Add(std::move(n), policy);
        if (policy.ResolveOverlap(c->m_Data, n->m_Data)) return c->Add(std::move(n), policy);
        assert(!"the quad tree policy left an overlap unresolved");
        return false;
    }

    bool AddAtThisLevel(std::unique_ptr<CQuadTree> n, P& policy) {
        if (policy.IsOverlapped(m_Data, n->m_Data) && !policy.ResolveOverlap(m_Data, n->m_Data)) {
            assert(!"the quad tree policy left an overlap unresolved");
            return false;
        }
        auto old = std::make_unique<CQuadTree>(m_Data);
        m_Data = policy.MakeContainer(m_Data, n->m_Data);
        std::unique_ptr<CQuadTree> aside[4];
        for (int q = 0; q < 4; ++q) aside[q] = std::move(m_Children[q]);
        Add(std::move(old), policy);
        Add(std::move(n), policy);
        for (std::unique_ptr<CQuadTree>& c : aside)
            if (c) Add(std::move(c), policy);
        return true;
    }

    bool DoIt(P& policy) {
        if (!policy.IsIntersecting(m_Data)) return false;
        bool r = policy.DoIt(m_Data);
        for (const std::unique_ptr<CQuadTree>& c : m_Children)
            if (c) r = c->DoIt(policy) || r;
        return r;
    }

    // Disposes of the tree's data (children before their parent) and of its nodes.
    static void DelTree(std::unique_ptr<CQuadTree> node, P& policy) {
        if (!node) return;
        for (std::unique_ptr<CQuadTree>& c : node->m_Children) DelTree(std::move(c), policy);
        policy.DestroyData(node->m_Data);
        node.reset();
    }

    T m_Data;
    std::unique_ptr<CQuadTree> m_Children[4];
};
