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
    // Lists every query as active again (after each was restarted on its new segment) and takes the box
    // around them all; nothing is allocated.
    const AABB& restart() {
        m_active_tests.assign(m_tests.begin(), m_tests.end());
        m_is_finished = 0;
        return updateAABB();
    }
    // Deletes every query.
    void clear();
    // Drops finished queries from the active list; the box becomes the one around the remaining current
    // segments (left as it was when none remains).
    const AABB& updateAABB();

    uint8_t m_is_finished = 0;
    std::vector<SegmentTest*> m_tests;         // owned
    std::vector<SegmentTest*> m_active_tests;  // not owned
    AABB m_AABB;
};

}  // namespace Kinetic
