// The solver's casts against a walk over every primitive of every body, on the cast benchmark's world
// (the ground and 500 fixed posts) and its 10,000 vertical segments, single and grouped, before and after
// posts are moved, deleted and added.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "../../../bench/kinetic_scene_world.h"
#include "kinetic/collide/group_segment_test.h"
#include "kinetic/collide/intersection_solver.h"
#include "kinetic/collide/segment_test.h"

using namespace kinetic_bench;

namespace {

// The benchmark's segments: 50 above to 50 below the surface at points drawn by its generator.
std::vector<Segment> castSegments() {
    std::vector<Segment> out;
    uint64_t s = 12345;
    auto next = [&s] {
        s = (1103515245ull * s + 12345ull) % 2147483648ull;
        return static_cast<float>(static_cast<double>(s) / 2147483648.0);
    };
    for (int i = 0; i < 10000; ++i) {
        const float x = 10.0f + 236.0f * next(), z = 10.0f + 236.0f * next();
        const float y = -groundHeight(x, z);
        out.push_back(Segment::between(Vector3(x, y - 50.0f, z), Vector3(x, y + 50.0f, z)));
    }
    return out;
}

// Casts every segment through the solver (alone and as a one-query group) and through a walk over every
// primitive; returns how many nearest hits were on posts.
int expectSameHits(IntersectionSolver& solver, const std::vector<Segment>& segments) {
    int postHits = 0;
    GroupSegmentTest group;
    group.addTest(new ClosestHitSegmentTest(Segment()));
    auto& grouped = *static_cast<ClosestHitSegmentTest*>(group.m_tests[0]);
    for (size_t i = 0; i < segments.size(); ++i) {
        ClosestHitSegmentTest walked(segments[i]);
        for (RigidBody* b : solver.m_rigid_bodies)
            for (Primitive* p : b->getPrimitives()) p->intersectionTest(walked);
        ClosestHitSegmentTest single(segments[i]);
        solver.solveSingleTest(single);
        grouped.restart(segments[i]);
        group.restart();
        solver.solveGroupTest(group);
        for (const ClosestHitSegmentTest* t : {&single, &grouped}) {
            EXPECT_EQ(t->m_isTestValid, walked.m_isTestValid) << i;
            if (!walked.m_isTestValid || !t->m_isTestValid) continue;
            // Bit for bit: the same primitive, tried with the same shortened segment.
            EXPECT_EQ(t->m_hit.m_primitive, walked.m_hit.m_primitive) << i;
            EXPECT_EQ(t->m_hit.m_distance, walked.m_hit.m_distance) << i;
            EXPECT_EQ(t->m_hit.m_normal.y, walked.m_hit.m_normal.y) << i;
        }
        postHits += walked.m_isTestValid && walked.m_hit.m_primitive->getType() == CD_CXGEOMETRIC;
    }
    return postHits;
}

}  // namespace

TEST(CastBroadphaseTest, SameNearestHitsAsAWalkOverEveryPrimitiveAsPostsMoveDieAndArrive) {
    SceneWorld world(false, 257);
    addPostGrid(world, false);
    world.kit.m_defaultWorld->stepTo(1.0f / 60.0f, 1);
    IntersectionSolver solver;
    solver.addBodiesFromSubspace(world.kit.m_defaultSubspace, true);
    const std::vector<Segment> segments = castSegments();
    const int before = expectSameHits(solver, segments);
    EXPECT_GT(before, 20);

    // Every other post of the first rows moves 3 to the side; then some posts die and new ones stand in
    // the gaps between the rows (added to the world and the solver).
    std::vector<RigidBody*> posts(solver.m_rigid_bodies.begin() + 1, solver.m_rigid_bodies.end());
    for (size_t i = 0; i < 200; i += 2) {
        Vector3 p;
        Quaternion q;
        posts[i]->getDisplayToWorldTransform(p, q);
        p.x += 3.0f;
        p.y = -groundHeight(p.x, p.z) - 1.0f;
        posts[i]->setDisplayToWorldTransform(p, q);
    }
    const int moved = expectSameHits(solver, segments);
    EXPECT_NE(moved, before);
    for (size_t i = 201; i < 400; i += 4) {
        world.kit.removeRigidBody(posts[i]);
        delete posts[i];
    }
    for (int k = 0; k < 60; ++k) {
        const float x = 53.0f + 6.0f * static_cast<float>(k % 20),
                    z = 53.0f + 6.0f * static_cast<float>(k / 20);
        solver.addRigidBody(world.box(world.postBox.get(), 0.0f, Vector3(x, -groundHeight(x, z) - 1.0f, z)));
    }
    const int after = expectSameHits(solver, segments);
    EXPECT_NE(after, moved);
    EXPECT_GT(after, 20);
}
