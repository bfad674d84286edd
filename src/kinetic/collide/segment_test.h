// A segment query. Primitive tests always test the current segment, which starts as the original one and
// shrinks as the query accepts hits.
#pragma once

#include <cstdint>

#include "kinetic/collide/segment.h"
#include "kinetic/collide/simple_hit.h"

namespace Kinetic {

class SegmentTest {
public:
    explicit SegmentTest(const Segment& s) : m_originalSegment(s), m_currentSegment(s) {}
    virtual ~SegmentTest() = default;
    // True when the query changed its current segment (the caller re-derives what it computed from it).
    virtual bool newHitFound(const SimpleHit& hit) = 0;
    // Makes the query new again for another segment, so a caller casting every step keeps its queries.
    virtual void restart(const Segment& s) {
        m_originalSegment = s;
        m_currentSegment = s;
        m_isFinished = 0;
        m_isTestValid = 0;
    }

    Segment m_originalSegment;
    Segment m_currentSegment;
    uint8_t m_isFinished = 0;
    uint8_t m_isTestValid = 0;
};

// Keeps the nearest hit: every accepted hit shortens the current segment to it, so a later hit is never
// farther (and one at exactly the current length replaces the earlier one).
class ClosestHitSegmentTest : public SegmentTest {
public:
    explicit ClosestHitSegmentTest(const Segment& s) : SegmentTest(s) {}
    bool newHitFound(const SimpleHit& hit) override {
        m_hit = hit;
        m_currentSegment.m_length = hit.m_distance;
        m_currentSegment.m_end = m_currentSegment.m_start + m_currentSegment.m_direction * hit.m_distance;
        m_currentSegment.updateAABB();
        m_isTestValid = 1;
        return true;
    }
    void restart(const Segment& s) override {
        SegmentTest::restart(s);
        m_hit = SimpleHit();
    }

    SimpleHit m_hit;
};

}  // namespace Kinetic
