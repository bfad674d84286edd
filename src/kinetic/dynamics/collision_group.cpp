#include "kinetic/dynamics/collision_group.h"

#include <unordered_map>
#include <utility>

#include "kinetic/dynamics/rigid_body.h"
#include "kinetic/dynamics/rr_resolver.h"

namespace Kinetic {

CollisionGroup::CollisionGroup(std::vector<CollisionDetails>& list) : m_list(list) {
    // Bodies are numbered by first appearance in the list, never by address, so grouping repeats exactly.
    std::unordered_map<const RigidBody*, int> number;
    auto node = [&number, this](const RigidBody* b) {
        auto it = number.find(b);
        if (it != number.end()) return it->second;
        number.emplace(b, m_numBodies);
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
