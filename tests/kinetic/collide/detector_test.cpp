// The detector's broadphase against a brute-force all-pairs check on random scenes (same body, activity,
// touching intervals, groups), the bad list, waking through contacts, phantom events and removal.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <set>
#include <vector>

#include "kinetic/collide/collision_detector.h"
#include "kinetic/collide/internal_collide.h"
#include "kinetic/dynamics/event.h"
#include "kinetic/dynamics/event_pipe.h"
#include "kinetic/dynamics/phantom_penetration_event.h"
#include "test_shapes.h"

using namespace Kinetic;
using namespace Kinetic::testing_shapes;

namespace {

struct Lcg {
    uint32_t s;
    float next() {
        s = s * 1103515245u + 12345u;
        return static_cast<float>((s >> 8) & 0xFFFF) / 65536.0f;
    }
};

bool activeEntity(const Collidable* c) {
    return c->m_entity && c->m_entity->isActive();
}

// The rules a candidate pair must meet, checked pair by pair without the sweep.
bool bruteForce(const InternalCollide& d, const Collidable* a, const Collidable* b) {
    if (a->m_entity == b->m_entity) return false;
    const bool aa = activeEntity(a), ab = activeEntity(b);
    if (!aa && !ab) return false;
    if (!a->m_AABB.overlaps(b->m_AABB)) return false;
    // Against a resting partner the sweep wants the partner to start strictly before the active one ends.
    if (aa && !ab && !(b->m_AABB.m_min.x < a->m_AABB.m_max.x)) return false;
    if (ab && !aa && !(a->m_AABB.m_min.x < b->m_AABB.m_max.x)) return false;
    if (a->m_type == CD_CXGEOMETRIC && b->m_type == CD_CXGEOMETRIC) {
        // Unrotated boxes: their oriented boxes, grown by the tolerance each, must meet on every axis.
        const auto* ga = static_cast<const GeometricPrimitive*>(a);
        const auto* gb = static_cast<const GeometricPrimitive*>(b);
        const Vector3 ca = ga->getBodyToWorldTransform().getTranslation();
        const Vector3 cb = gb->getBodyToWorldTransform().getTranslation();
        const Vector3 ea = ga->m_geometry->m_vertices[7], eb = gb->m_geometry->m_vertices[7];
        const float t = 2.0f * d.m_tolerance + 1e-4f;
        if (std::fabs(ca.x - cb.x) > ea.x + eb.x + t || std::fabs(ca.y - cb.y) > ea.y + eb.y + t ||
            std::fabs(ca.z - cb.z) > ea.z + eb.z + t)
            return false;
    }
    if (a->m_collisionGroups && b->m_collisionGroups &&
        !d.areInteracting(a->m_collisionGroups, b->m_collisionGroups))
        return false;
    return true;
}

std::set<uint64_t> keys(const PairList& list) {
    std::set<uint64_t> s;
    for (const CollidablePair& p : list) s.insert(p.getKey());
    return s;
}

class RecordingPipe : public EventPipe {
public:
    void raiseEvent(Event& e) override {
        if (e.m_eventID == PhantomPenetrationEvent::defaultID)
            phantomStates.push_back(static_cast<PhantomPenetrationEvent&>(e).m_state);
        else
            others.push_back(e.m_eventID);
    }
    std::vector<int> phantomStates;
    std::vector<int> others;
};

}  // namespace

TEST(BroadphaseTest, FindsExactlyTheBruteForcePairsOnRandomScenes) {
    std::vector<std::unique_ptr<Geometry>> meshes;
    for (uint32_t seed : {1u, 7u, 42u, 1234u, 99991u}) {
        DetectorScene s(0.2f);
        s.detector.enableCollisionGroups(1, 2);
        s.detector.enableCollisionGroups(3, 3);
        Lcg rng{seed};
        for (int i = 0; i < 70; ++i) {
            const Vector3 p(20 * rng.next(), 6 * rng.next(), 6 * rng.next());
            const float kind = rng.next();
            const float state = rng.next();
            const bool fixed = state < 0.2f;
            RigidBody* b;
            if (kind < 0.5f) {
                b = sphereBody(0.2f + rng.next(), fixed ? 0.0f : 1.0f, p);
                if (rng.next() < 0.3f) {  // a second shape on the same body
                    SphericalPrimitiveBlueprint bp;
                    bp.m_radius = 0.5f;
                    bp.m_mass = fixed ? 0.0f : 1.0f;
                    bp.m_offsetTransform.setTranslation(Vector3(0.3f, 0, 0));
                    b->addPrimitive(bp);
                    place(b, p);
                }
            } else {
                meshes.push_back(
                    boxGeometry(Vector3(0.2f + rng.next(), 0.2f + rng.next(), 0.2f + rng.next())));
                b = meshBody(meshes.back().get(), fixed ? 0.0f : 1.0f, true, p);
            }
            if (!fixed && state < 0.45f) b->setActive(false, false);
            for (Primitive* prim : b->getPrimitives())
                prim->m_collisionGroups = rng.next() < 0.5f ? 0u : 1u << static_cast<int>(4 * rng.next());
            s.add(b);
        }
        s.detector.aabbSweep();
        const PairList& found = s.detector.getPairList();
        std::vector<Collidable*> all;
        for (auto& b : s.bodies) b->getCollidableList(all);
        PairList expected;
        for (size_t i = 0; i < all.size(); ++i)
            for (size_t j = i + 1; j < all.size(); ++j)
                if (bruteForce(s.detector, all[i], all[j]))
                    expected.push_back(InternalCollide::canonical(all[i], all[j]));
        EXPECT_EQ(found.size(), expected.size()) << "seed " << seed;
        EXPECT_EQ(keys(found), keys(expected)) << "seed " << seed;
        EXPECT_GT(expected.size(), 10u);  // the scene is dense enough to mean something
        for (const CollidablePair& p : found) {
            // Canonical order: greater type first, then greater id.
            EXPECT_TRUE(p.m_first->m_type > p.m_second->m_type ||
                        (p.m_first->m_type == p.m_second->m_type && p.m_first->m_ID > p.m_second->m_ID));
        }
        // The sweep restricted to every third body: the pairs that hold one of its shapes, each once, with
        // the same rules (its shape sweeping, so a resting partner must start strictly before it ends).
        std::vector<RigidBody*> set;
        std::vector<Collidable*> inSet;
        for (size_t i = 0; i < s.bodies.size(); i += 3) {
            set.push_back(s.bodies[i].get());
            s.bodies[i]->getCollidableList(inSet);
        }
        auto member = [&inSet](const Collidable* c) {
            return std::find(inSet.begin(), inSet.end(), c) != inSet.end();
        };
        PairList inter, phantoms;
        std::vector<CollisionDetails> details;
        s.detector.collideSet(set, inter, details, phantoms);
        PairList expectedSet;
        for (size_t i = 0; i < all.size(); ++i)
            for (size_t j = i + 1; j < all.size(); ++j) {
                Collidable* x = all[i];
                Collidable* y = all[j];
                if (!member(x) && !member(y)) continue;
                if (!member(x)) std::swap(x, y);  // x sweeps
                if (!s.detector.isPossibleCollision(x, y)) continue;
                if (!member(y) && !activeEntity(y) && !(y->m_AABB.m_min.x < x->m_AABB.m_max.x)) continue;
                expectedSet.push_back(InternalCollide::canonical(x, y));
            }
        EXPECT_EQ(keys(s.detector.getPairList()), keys(expectedSet)) << "seed " << seed;
        EXPECT_EQ(s.detector.getPairList().size(), expectedSet.size()) << "seed " << seed;
    }
}

TEST(BroadphaseTest, CollisionGroups) {
    InternalCollide d(0.1f);
    d.enableCollisionGroups(1, 2);
    EXPECT_TRUE(d.areInteracting(1u << 0, 1u << 1));
    EXPECT_TRUE(d.areInteracting(1u << 1, 1u << 0));
    EXPECT_FALSE(d.areInteracting(1u << 0, 1u << 2));
    EXPECT_FALSE(d.areInteracting(1u << 0, 1u << 0));  // a group does not meet itself unless enabled
    uint32_t before[32];
    std::copy(d.m_groupMasks, d.m_groupMasks + 32, before);
    d.enableCollisionGroups(0, 5);
    d.enableCollisionGroups(3, 33);
    d.disableCollisionGroups(33, 1);
    EXPECT_TRUE(std::equal(before, before + 32, d.m_groupMasks));
    d.disableCollisionGroups(2, 1);
    EXPECT_FALSE(d.areInteracting(1u << 0, 1u << 1));
}

TEST(DetectorTest, StopAtNewPenetrationStopsOnTheFirstNewPairAndSkipsKnownOnes) {
    DetectorScene s(0.1f);
    RigidBody* a = s.add(sphereBody(1, 1, Vector3(0, 0, 0)));
    RigidBody* b = s.add(sphereBody(1, 1, Vector3(1, 0, 0)));  // overlaps a
    RigidBody* c = s.add(sphereBody(1, 1, Vector3(30, 0, 0)));
    RigidBody* e = s.add(sphereBody(1, 1, Vector3(31, 0, 0)));  // overlaps c
    s.detector.resetCollisionLists();
    s.detector.collide(true);
    ASSERT_EQ(s.detector.m_interpenetrations.size(), 1u);
    const CollidablePair first = s.detector.m_interpenetrations[0];
    EXPECT_EQ(first.m_second, a->getPrimitives()[0]);  // the a-b pair sorts first on x
    // Known: the pass goes on past it to the next new one and leaves the known one out.
    s.detector.addToBadList(first);
    s.detector.resetCollisionLists();
    s.detector.collide(true);
    ASSERT_EQ(s.detector.m_interpenetrations.size(), 1u);
    EXPECT_EQ(s.detector.m_interpenetrations[0].m_second, c->getPrimitives()[0]);
    // Without stopping: the known pair is filtered, the other listed; the bad list keeps the pair met.
    s.detector.resetCollisionLists();
    s.detector.collide(false);
    ASSERT_EQ(s.detector.m_interpenetrations.size(), 1u);
    EXPECT_EQ(s.detector.m_badList.size(), 1u);
    // Once a and b part and the pass finds no interpenetration, the known pair leaves the bad list.
    DetectorScene::move(b, Vector3(5, 0, 0));
    DetectorScene::move(e, Vector3(40, 0, 0));
    s.detector.resetCollisionLists();
    s.detector.collide(false);
    EXPECT_TRUE(s.detector.m_interpenetrations.empty());
    EXPECT_TRUE(s.detector.m_badList.empty());
}

TEST(DetectorTest, AContactWakesASleepingBodyAndItsSleepingNeighbours) {
    DetectorScene s(0.1f);
    RigidBody* mover = s.add(sphereBody(1, 1, Vector3(0, 0, 0)));
    // Gaps of 0.03: within the tolerance, and the spheres' boxes (padded by a quarter of it) overlap.
    RigidBody* sleeper = sphereBody(1, 1, Vector3(2.03f, 0, 0));
    RigidBody* neighbour = sphereBody(1, 1, Vector3(4.06f, 0, 0));
    s.add(sleeper);
    s.add(neighbour);
    // Both rest touching each other: put them to sleep as the deactivator would.
    s.pass();
    for (RigidBody* r : {sleeper, neighbour}) {
        r->setActive(false, false);
        s.detector.deactivateEntity(r);
    }
    EXPECT_EQ(s.detector.m_sleepingPairs.size(), 1u);
    DetectorScene::move(mover, Vector3(-10, 0, 0));
    s.pass();  // the lists follow the flags
    EXPECT_EQ(s.detector.m_activeList.size(), 1u);
    EXPECT_EQ(s.detector.m_inactiveList.size(), 2u);
    // The mover comes within the tolerance of the sleeper: both sleepers wake in the same pass and
    // their pair is tested in the second dispatch.
    DetectorScene::move(mover, Vector3(0, 0, 0));
    s.pass();
    EXPECT_TRUE(sleeper->isActive());
    EXPECT_TRUE(neighbour->isActive());
    EXPECT_EQ(s.detector.m_activeList.size(), 3u);
    EXPECT_EQ(s.detector.m_RRCollisionList.size(), 2u);
    EXPECT_TRUE(s.detector.m_sleepingPairs.empty());
}

TEST(DetectorTest, PhantomOverlapRaisesOneBeganAndOneEnded) {
    DetectorScene s(0.1f);
    RecordingPipe pipe;
    s.detector.setPenetrationEventPipe(&pipe);
    RigidBody* ghost = s.add(sphereBody(1, 1, Vector3(0, 0, 0)));
    ghost->getPrimitives()[0]->m_isPhantom = 1;
    RigidBody* solid = s.add(sphereBody(1, 1, Vector3(1, 0, 0)));
    auto step = [&] {
        s.detector.rebuildInactivePhantomPairs();
        s.pass();
        s.detector.firePhantomEvents();
    };
    for (int i = 0; i < 3; ++i) step();
    EXPECT_EQ(pipe.phantomStates, std::vector<int>({PhantomPenetrationEvent::BEGAN}));
    DetectorScene::move(solid, Vector3(10, 0, 0));
    step();
    EXPECT_EQ(pipe.phantomStates,
              std::vector<int>({PhantomPenetrationEvent::BEGAN, PhantomPenetrationEvent::ENDED}));
    // Overlapping again, then both fall asleep: the overlap is carried over and no ended is raised.
    DetectorScene::move(solid, Vector3(1, 0, 0));
    step();
    ghost->setActive(false, false);
    solid->setActive(false, false);
    for (int i = 0; i < 3; ++i) step();
    EXPECT_EQ(pipe.phantomStates.size(), 3u);
    EXPECT_TRUE(pipe.others.empty());
}

TEST(DetectorTest, InterpenetrationsBecomeEventsAndKnownPairs) {
    DetectorScene s(0.1f);
    RecordingPipe pipe;
    s.detector.setPenetrationEventPipe(&pipe);
    s.add(sphereBody(1, 1, Vector3(0, 0, 0)));
    s.add(sphereBody(1, 1, Vector3(1, 0, 0)));
    s.pass();
    s.detector.handleNewInterpenetrations();
    EXPECT_EQ(pipe.others, std::vector<int>({3}));
    EXPECT_EQ(s.detector.m_badList.size(), 1u);
    s.detector.handleNewInterpenetrations();
    EXPECT_EQ(s.detector.m_badList.size(), 1u);  // at most once, in either order
}

TEST(DetectorTest, RemovingAShapeLeavesNoTraceEvenIfItsBodyWasMadeFixedAfterwards) {
    DetectorScene s(0.1f);
    RigidBody* a = s.add(sphereBody(1, 1, Vector3(0, 0, 0)));
    RigidBody* b = s.add(sphereBody(1, 1, Vector3(2.05f, 0, 0)));
    s.pass();
    ASSERT_EQ(s.detector.m_RRCollisionList.size(), 1u);
    s.detector.addToBadList(CollidablePair(a->getPrimitives()[0], b->getPrimitives()[0]));
    // Made fixed after registration: its shape sits in the active list while its flags say fixed.
    b->setMass(0.0f);
    ASSERT_TRUE(b->isFixed());
    Collidable* gone = b->getPrimitives()[0];
    // Deleting the body deletes its shape, whose death notice reaches the detector.
    for (auto& p : s.bodies)
        if (p.get() == b) p.reset();
    auto mentions = [gone](const PairList& l) {
        for (const CollidablePair& p : l)
            if (p.m_first == gone || p.m_second == gone) return true;
        return false;
    };
    for (auto* list : {&s.detector.m_activeList, &s.detector.m_inactiveList, &s.detector.m_fixedList})
        EXPECT_EQ(std::count(list->begin(), list->end(), gone), 0);
    EXPECT_FALSE(mentions(s.detector.m_badList));
    EXPECT_TRUE(s.detector.m_RRCollisionList.empty());
    // The next passes must not touch the dead shape (ASan would catch it).
    s.pass();
    s.pass();
    EXPECT_TRUE(s.detector.m_RRCollisionList.empty());
}

TEST(DetectorTest, FacadeForwardsAndDetectorDiesCleanly) {
    auto ball = std::unique_ptr<RigidBody>(sphereBody(1, 1, Vector3(0, 0, 0)));
    auto other = std::unique_ptr<RigidBody>(sphereBody(1, 1, Vector3(2.05f, 0, 0)));
    {
        CollisionDetector d(0.1f);
        d.addRigidBody(ball.get());
        d.addRigidBody(other.get());
        d.addRigidBody(other.get());  // twice: no effect
        EXPECT_EQ(d.getImpl()->m_activeList.size(), 2u);
        d.collide(false);
        EXPECT_EQ(d.getRRCollisionList().size(), 1u);
        bool inter = true;
        std::vector<CollisionDetails> details;
        d.collidePair(ball.get(), other.get(), inter, details);
        EXPECT_FALSE(inter);
        EXPECT_EQ(details.size(), 1u);
        PairList ip, ph;
        details.clear();
        d.collideSet({ball.get()}, ip, details, ph);
        EXPECT_EQ(details.size(), 1u);
    }
    // The detector is gone; the shapes must no longer list it as a dependant.
    EXPECT_TRUE(ball->getPrimitives()[0]->getDependants().empty());
}
