// Several segment queries solved together (the vehicle's wheels): one box around every active query's
// current segment culls the primitives for all of them.
#pragma once

#include <cstdint>
#include <vector>

#include "kinetic/collide/aabb.h"
#include "kinetic/collide/segment_test.h"

namespace Kinetic {

class GroupSegmentTest {
public:
    GroupSegmentTest() = default;
    virtual ~GroupSegmentTest();
    GroupSegmentTest(const GroupSegmentTest&) = delete;
    GroupSegmentTest& operator=(const GroupSegmentTest&) = delete;

    // Takes ownership and lists the query as active.
    void addTest(SegmentTest* t) {
        m_tests.push_back(t);
        m_active_tests.push_back(t);
    }
    // Drops finished queries from the active list; the box becomes the one around the remaining current
    // segments (left as it was when none remains).
    const AABB& updateAABB();

    uint8_t m_is_finished = 0;
    std::vector<SegmentTest*> m_tests;         // owned
    std::vector<SegmentTest*> m_active_tests;  // not owned
    AABB m_AABB;
};

}  // namespace Kinetic
