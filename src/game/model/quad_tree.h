// A quad tree whose placement rules all come from a policy P. When two objects overlap without one
// holding the other, the node's object is replaced by a container enclosing both and the two go below
// it. The order of policy calls is part of the behaviour: IsContained may widen the boxes it is given.
//
// The policy must name a quadrant 0..3 in WhichChild, and a policy whose ResolveOverlap answers false
// must have changed the boxes so that the repeated insertion takes another path; both are asserted,
// because either fault would otherwise read outside the children or recurse without end.
#pragma once

#include <cassert>
#include <utility>

template <typename T, typename P>
class CQuadTree {
public:
    explicit CQuadTree(T data) : m_Data(data), m_Children{nullptr, nullptr, nullptr, nullptr} {}
    ~CQuadTree() = default;  // DelTree disposes of a tree and its data
    CQuadTree(const CQuadTree&) = delete;
    CQuadTree& operator=(const CQuadTree&) = delete;

    void setLocal(T data) { m_Data = data; }

    bool Add(T data, P& policy) { return Add(new CQuadTree(data), policy); }

    bool Add(CQuadTree* n, P& policy) {
        if (policy.IsContained(m_Data, n->m_Data)) return AddContained(n, policy);
        if (policy.IsContained(n->m_Data, m_Data)) {
            // The bigger object takes this node; the smaller one and the old subtree go below it.
            std::swap(m_Data, n->m_Data);
            for (int q = 0; q < 4; ++q) {
                n->m_Children[q] = m_Children[q];
                m_Children[q] = nullptr;
            }
            return AddContained(n, policy);
        }
        return AddAtThisLevel(n, policy);
    }

    bool AddContained(CQuadTree* n, P& policy) {
        const int w = policy.WhichChild(m_Data, n->m_Data);
        assert(w >= 0 && w < 4 && "the quad tree policy must name a quadrant");
        if (w < 0 || w >= 4) return false;
        CQuadTree* c = m_Children[w];
        if (!c) {
            m_Children[w] = n;
            return true;
        }
        if (!policy.IsOverlapped(c->m_Data, n->m_Data)) return c->Add(n, policy);
        if (policy.IsContained(c->m_Data, n->m_Data)) return c->Add(n, policy);
        if (policy.IsContained(n->m_Data, c->m_Data)) return c->Add(n, policy);
        if (policy.ResolveOverlap(c->m_Data, n->m_Data)) return c->Add(n, policy);
        assert(!"the quad tree policy left an overlap unresolved");
        return false;
    }

    bool AddAtThisLevel(CQuadTree* n, P& policy) {
        if (policy.IsOverlapped(m_Data, n->m_Data) && !policy.ResolveOverlap(m_Data, n->m_Data)) {
            assert(!"the quad tree policy left an overlap unresolved");
            return false;
        }
        CQuadTree* old = new CQuadTree(m_Data);
        m_Data = policy.MakeContainer(m_Data, n->m_Data);
        CQuadTree* aside[4];
        for (int q = 0; q < 4; ++q) {
            aside[q] = m_Children[q];
            m_Children[q] = nullptr;
        }
        Add(old, policy);
        Add(n, policy);
        for (CQuadTree* c : aside)
            if (c) Add(c, policy);
        return true;
    }

    bool DoIt(P& policy) {
        if (!policy.IsIntersecting(m_Data)) return false;
        bool r = policy.DoIt(m_Data);
        for (CQuadTree* c : m_Children)
            if (c) r = c->DoIt(policy) || r;
        return r;
    }

    static void DelTree(CQuadTree* node, P& policy) {
        if (!node) return;
        for (CQuadTree*& c : node->m_Children) {
            DelTree(c, policy);
            c = nullptr;
        }
        policy.DestroyData(node->m_Data);
        delete node;
    }

    T m_Data;
    CQuadTree* m_Children[4];
};
