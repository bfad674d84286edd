#include "kinetic/collide/group_segment_test.h"

namespace Kinetic {

GroupSegmentTest::~GroupSegmentTest() {
    clear();
}

void GroupSegmentTest::clear() {
    for (SegmentTest* t : m_tests) delete t;
    m_tests.clear();
    m_active_tests.clear();
}

const AABB& GroupSegmentTest::updateAABB() {
    size_t i = 0;
    while (i < m_active_tests.size()) {
        if (m_active_tests[i]->m_isFinished)
            m_active_tests.erase(m_active_tests.begin() + static_cast<std::ptrdiff_t>(i));
        else
            ++i;
    }
    if (m_active_tests.empty()) return m_AABB;
    m_AABB = m_active_tests[0]->m_currentSegment.m_AABB;
    for (size_t k = 1; k < m_active_tests.size(); ++k) {
        const AABB& b = m_active_tests[k]->m_currentSegment.m_AABB;
        m_AABB.m_min.minimizeWith(b.m_min);
        m_AABB.m_max.maximizeWith(b.m_max);
    }
    return m_AABB;
}

}  // namespace Kinetic
