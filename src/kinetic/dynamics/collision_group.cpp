#include "kinetic/dynamics/collision_group.h"

#include <cstdint>
#include <utility>

#include "kinetic/dynamics/rigid_body.h"
#include "kinetic/dynamics/rr_resolver.h"

namespace Kinetic {

CollisionGroup::CollisionGroup(std::vector<CollisionDetails>& list) : m_list(list) {
    // Bodies are numbered by first appearance in the list, never by address, so grouping repeats exactly
    // (the table below only finds a body's number). An open table: at most two bodies per contact.
    size_t size = 16;
    while (size < 4 * list.size()) size *= 2;
    std::vector<std::pair<const RigidBody*, int>> table(size, {nullptr, -1});
    auto node = [&table, size, this](const RigidBody* b) {
        size_t slot = (reinterpret_cast<uintptr_t>(b) * 0x9E3779B97F4A7C15ull >> 32) & (size - 1);
        while (table[slot].second >= 0) {
            if (table[slot].first == b) return table[slot].second;
            slot = (slot + 1) & (size - 1);
        }
        table[slot] = {b, m_numBodies};
        return m_numBodies++;
    };
    std::vector<std::pair<int, int>> edges;
    edges.reserve(list.size());
    for (const CollisionDetails& d : list) {
        const RigidBody* a = bodyOf(d.m_objectA);
        const RigidBody* b = bodyOf(d.m_objectB);
        const int na = node(a), nb = node(b);
        if (isExcluded(a))
            edges.emplace_back(nb, nb);
        else if (isExcluded(b))
            edges.emplace_back(na, na);
        else
            edges.emplace_back(na, nb);
    }
    m_unionFind.setEdges(edges, m_numBodies);
}

bool CollisionGroup::getNextGroup(std::vector<CollisionDetails>& out) {
    if (!m_unionFind.getNextGroup(m_edges)) return false;
    out.clear();
    for (int e : m_edges) out.push_back(m_list[static_cast<size_t>(e)]);
    return true;
}

}  // namespace Kinetic
