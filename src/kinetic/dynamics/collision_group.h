// Splits a step's contacts into groups of bodies connected through contacts. Fixed and pinned bodies
// never join two groups: a contact with one counts only for its other body.
#pragma once

#include <vector>

#include "kinetic/collide/collision_details.h"
#include "kinetic/collide/union_find.h"

namespace Kinetic {

class CollisionGroup {
public:
    explicit CollisionGroup(std::vector<CollisionDetails>& list);
    // Copies of the next group's records, in list order; false once every group was given.
    bool getNextGroup(std::vector<CollisionDetails>& out);
    int getNumBodies() const { return m_numBodies; }

private:
    std::vector<CollisionDetails>& m_list;
    int m_numBodies = 0;
    UnionFind m_unionFind;
    std::vector<int> m_edges;
};

}  // namespace Kinetic
