// The model: packets reach the object they name, bad ids are refused with a log line, collision events
// reach both objects' handlers (none when a collidable is in group 1), pause, removal (held back while events
// are being delivered) and teardown.
#include "game/model/model.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "game/model/dynamic_object.h"
#include "game/model/intersection.h"
#include "game/model/pause_state.h"
#include "game/model/phantom_event.h"
#include "game/model/timer.h"
#include "kinetic/collide/collidable.h"
#include "kinetic/collide/collision_detector.h"
#include "kinetic/dynamics/collision_event.h"
#include "kinetic/dynamics/collision_event_filter.h"
#include "kinetic/dynamics/event_delegator.h"
#include "kinetic/dynamics/phantom_penetration_event.h"
#include "kinetic/dynamics/rigid_body.h"
#include "kinetic/dynamics/rr_resolver.h"
#include "kinetic/dynamics/subspace.h"
#include "kinetic/dynamics/toolkit.h"
#include "kinetic/dynamics/world.h"
#include "support/log_capture.h"

namespace {

using testsupport::LogCapture;

// A dynamic object that records what reaches it.
struct Recorder : CDynamicObject {
    explicit Recorder(std::vector<std::string>* log, std::string name) : log_(log), name_(std::move(name)) {}
    ~Recorder() override { log_->push_back(name_ + ":deleted"); }
    void doAction(const CPacket& p, float) override {
        log_->push_back(name_ + ":action " + std::to_string(p._action) + " parm " +
                        std::to_string(p._parms[0]));
    }
    void collisionHandler(CModelObject* other, const Kinetic::CollisionEvent&) override {
        log_->push_back(name_ + ":collide with " + Name(other));
    }
    void phantomCollisionHandler(CModelObject* other, const Kinetic::CollisionEvent& e) override {
        log_->push_back(name_ + ":phantom with " + Name(other) + " state " +
                        std::to_string(CPhantomEvent::StateOf(e)));
    }
    void update(float t) override {
        log_->push_back(name_ + ":update " + std::to_string(static_cast<int>(t * 60)));
    }
    void cleanup() override { log_->push_back(name_ + ":cleanup"); }
    static std::string Name(CModelObject* o) {
        auto* r = dynamic_cast<Recorder*>(o);
        return r ? r->name_ : std::string("null");
    }
    std::vector<std::string>* log_;
    std::string name_;
};

// A plain model object: not dynamic, so it takes no packets.
struct Plain : CModelObject {
    explicit Plain(int* updates) : updates_(updates) {}
    void update(float) override { ++*updates_; }
    int* updates_;
};

// A collidable without shape, standing for one side of an event.
struct Side : Kinetic::Collidable {
    Side(Kinetic::Entity* e, uint32_t groups) : Collidable(Kinetic::CD_IMPLICIT, e) {
        m_collisionGroups = groups;
    }
    void precomputeCDinfo(float) override {}
};

class ModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        CPauseState::pauseSwitch = 0;
        CPauseState::pauseDraw = 0;
        CPauseState::selfPauseObject = nullptr;
        model = GetModel();
    }
    void TearDown() override {
        delete CModel::modelPtr;
        delete CTimer::timerPtr;
        CPauseState::pauseSwitch = 0;
    }
    int add(CModelObject* o) {
        model->objects.push_back(o);
        return static_cast<int>(model->objects.size()) - 1;
    }
    CModel* model = nullptr;
    std::vector<std::string> log;
};

TEST(PacketTest, SerialNumbersFollowOneAnotherAndParametersAreCopied) {
    const unsigned char parms[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    CPacket a(3, PKT_ACTION, 0x12, parms);
    CPacket b(4, PKT_UPDATE, 7, static_cast<unsigned char>(200));
    EXPECT_EQ(b._packetID, a._packetID + 1);
    EXPECT_EQ(CPacket::next_id, b._packetID + 1);
    EXPECT_EQ(std::vector<int>(a._parms, a._parms + 10), std::vector<int>(parms, parms + 10));
    EXPECT_EQ(std::vector<int>(b._parms, b._parms + 10), (std::vector<int>{200, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(ModelTest, SingletonsAreMadeOnceAndClearedByTheirDestructors) {
    EXPECT_EQ(GetModel(), model);
    delete CModel::newModelPtr();  // a model that is not the singleton leaves the pointer alone
    EXPECT_EQ(CModel::modelPtr, model);
    delete model;
    EXPECT_EQ(CModel::modelPtr, nullptr);
    EXPECT_EQ(CTimer::timerPtr, nullptr);
    CTimer* t = GetTimer();
    EXPECT_EQ(GetTimer(), t);
    delete t;
    EXPECT_EQ(CTimer::timerPtr, nullptr);
    CIntersection* i = GetIntersection();
    EXPECT_EQ(GetIntersection(), i);
    delete i;
    EXPECT_EQ(CIntersection::intersectionPtr, nullptr);
}

TEST_F(ModelTest, PhysicsSetUpFollowsTheRace) {
    Kinetic::Toolkit* kit = model->kineticToolkit;
    ASSERT_NE(kit, nullptr);
    EXPECT_EQ(model->kineticWorld, kit->m_defaultWorld);
    EXPECT_FLOAT_EQ(kit->m_defaultCollisionDetector->getTolerance(), 0.2f);
    EXPECT_TRUE(kit->m_defaultCleanup->contains(kit->m_defaultCollisionDetector));
    EXPECT_FLOAT_EQ(kit->m_defaultSubspace->getGravity().y, 15.1074f);
    auto* filter =
        dynamic_cast<Kinetic::CollisionEventFilter*>(kit->m_defaultSubspace->getRRResolver()->getEventPipe());
    ASSERT_NE(filter, nullptr);
    EXPECT_EQ(filter->m_childPipe, kit->m_defaultSubspace->getEventDelegator());
}

TEST_F(ModelTest, ActionPacketsReachTheObjectTheyNameInListOrder) {
    add(new Recorder(&log, "a"));
    add(new Recorder(&log, "b"));
    std::vector<CPacket> packets;
    packets.emplace_back(1, PKT_ACTION, 5, static_cast<unsigned char>(9));
    packets.emplace_back(0, PKT_UPDATE, 6, static_cast<unsigned char>(0));  // not acted on
    packets.emplace_back(0, PKT_ACTION, 7, static_cast<unsigned char>(1));
    model->processPackets(packets, 0.0f);
    EXPECT_EQ(log, (std::vector<std::string>{"b:action 5 parm 9", "a:action 7 parm 1"}));
    EXPECT_EQ(packets.size(), 3u);  // the caller empties the list
}

TEST_F(ModelTest, BadIdsAreRefusedWithALogLine) {
    LogCapture capture;
    int plainUpdates = 0;
    add(new Recorder(&log, "a"));
    CModelObject* removed = new Recorder(&log, "r");
    const int removedId = add(removed);
    add(new Plain(&plainUpdates));
    model->removeObject(removed);
    log.clear();
    std::vector<CPacket> packets;
    for (int id : {-1, 3, 1000000, removedId, 2})
        packets.emplace_back(id, PKT_ACTION, 1, static_cast<unsigned char>(0));
    model->processPackets(packets, 0.0f);
    EXPECT_TRUE(log.empty());
    for (int id : {-1, 3, 1000000})
        EXPECT_EQ(capture.count("packet for object " + std::to_string(id) + " refused: no such object"), 1);
    EXPECT_EQ(capture.count("packet for object 1 refused: the object was removed"), 1);
    // A plain model object is simply not dynamic: no complaint, no action.
    EXPECT_EQ(capture.count("object 2"), 0);
    delete removed;
}

// Collision and phantom events reach both sides' handlers, A first for collisions and B first for phantoms;
// a side without a game object is skipped and passed as null; group 1 on either side silences the event.
TEST_F(ModelTest, EventsReachBothHandlersUnlessASideIsInGroupOne) {
    Kinetic::RigidBody bodyA, bodyB, bare;
    bodyA.m_userInfo = static_cast<CModelObject*>(new Recorder(&log, "a"));
    bodyB.m_userInfo = static_cast<CModelObject*>(new Recorder(&log, "b"));
    add(static_cast<CModelObject*>(bodyA.m_userInfo));
    add(static_cast<CModelObject*>(bodyB.m_userInfo));
    Side sa(&bodyA, 1u << 6), sb(&bodyB, 1u << 1), none(&bare, 2), ground(&bodyA, 1u),
        both(&bodyB, 1u | (1u << 6));
    auto* delegator = model->kineticToolkit->m_defaultSubspace->getEventDelegator();
    using Log = std::vector<std::string>;
    const struct {
        Side *first, *second;
        Log collide, phantom;
    } cases[] = {
        {&sa,
         &sb,
         {"a:collide with b", "b:collide with a"},
         {"b:phantom with a state 1", "a:phantom with b state 1"}},
        {&none, &sb, {"b:collide with null"}, {"b:phantom with null state 1"}},
        {&ground, &sb, {}, {}},
        {&sb, &ground, {}, {}},
        {&sa, &both, {}, {}},
    };
    for (const auto& c : cases) {
        Kinetic::CollisionEvent e;
        e.m_objectA = c.first;
        e.m_objectB = c.second;
        log.clear();
        delegator->raiseEvent(e);  // through the subspace's delegator, as the resolver's filter hands it on
        EXPECT_EQ(log, c.collide);
        Kinetic::PhantomPenetrationEvent pe;
        pe.m_objectA = c.second;
        pe.m_objectB = c.first;
        pe.m_state = Kinetic::PhantomPenetrationEvent::ENDED;
        log.clear();
        delegator->raiseEvent(pe);
        EXPECT_EQ(log, c.phantom);
    }
    Kinetic::PhantomPenetrationEvent pe;
    pe.m_objectA = &sb;
    pe.m_objectB = &sa;
    pe.m_state = Kinetic::PhantomPenetrationEvent::BEGAN;
    log.clear();
    model->onPhantomCollide(pe);
    EXPECT_EQ(log, (Log{"b:phantom with a state 0", "a:phantom with b state 0"}));
    EXPECT_EQ(CPhantomEvent::StateOf(Kinetic::CollisionEvent()), 0);  // a plain collision event
}

// An object whose update appends another: the walk reads the count afresh and reaches it.
struct Spawner : CModelObject {
    explicit Spawner(std::vector<std::string>* log) : log_(log) {}
    void update(float) override {
        if (!spawned) CModel::modelPtr->objects.push_back(new Recorder(log_, "spawned"));
        spawned = true;
    }
    std::vector<std::string>* log_;
    bool spawned = false;
};

TEST_F(ModelTest, UpdateStepsPhysicsAndEveryObjectInIdOrderIncludingOnesAddedOnTheWay) {
    add(new Recorder(&log, "a"));
    add(nullptr);
    add(new Spawner(&log));
    add(new Recorder(&log, "b"));
    model->update(2.0f);
    EXPECT_NE(CTimer::timerPtr, nullptr);
    EXPECT_FLOAT_EQ(model->kineticWorld->m_currentTime, 2.0f);
    EXPECT_EQ(log, (std::vector<std::string>{"a:update 120", "b:update 120", "spawned:update 120"}));
}

TEST_F(ModelTest, WhilePausedOnlyThePauseObjectUpdatesAndPhysicsTimeStands) {
    Recorder* pause = new Recorder(&log, "pause");
    add(new Recorder(&log, "a"));
    add(pause);
    model->update(1.0f);
    log.clear();
    CPauseState::pauseSwitch = 1;
    CPauseState::pauseDraw = 1;
    CPauseState::selfPauseObject = pause;
    model->update(1.5f);
    EXPECT_FLOAT_EQ(model->kineticWorld->m_currentTime, 1.0f);
    EXPECT_EQ(log, (std::vector<std::string>{"pause:update 90"}));
}

TEST_F(ModelTest, RemoveObjectEmptiesEverySlotHoldingItAndKeepsOtherIds) {
    Recorder* a = new Recorder(&log, "a");
    Recorder* b = new Recorder(&log, "b");
    Recorder* c = new Recorder(&log, "c");
    add(a);
    add(b);
    add(c);
    add(b);  // the same object in two slots
    model->removeObject(b);
    EXPECT_EQ(log, (std::vector<std::string>{"b:cleanup", "b:cleanup"}));
    ASSERT_EQ(model->objects.size(), 4u);
    EXPECT_EQ(model->objects, (std::vector<CModelObject*>{a, nullptr, c, nullptr}));
    delete b;  // removal leaves the object to its owner
    log.clear();
    delete model;
    EXPECT_EQ(log, (std::vector<std::string>{"a:deleted", "c:deleted"}));
}

// Removes itself when it hears of a phantom event and, the first time, sets off a second delivery from
// inside the first (as a step delivers several events).
struct SelfRemover : Recorder {
    SelfRemover(std::vector<std::string>* log, Kinetic::PhantomPenetrationEvent* again)
        : Recorder(log, "r"), again_(again) {}
    void phantomCollisionHandler(CModelObject* other, const Kinetic::CollisionEvent& e) override {
        Recorder::phantomCollisionHandler(other, e);
        CModel::modelPtr->removeObject(this);
        if (auto* next = std::exchange(again_, nullptr)) CModel::modelPtr->onPhantomCollide(*next);
    }
    Kinetic::PhantomPenetrationEvent* again_;
};

// A deletion asked twice during one delivery deletes once, after the delivery; asked outside one it
// deletes at once; an object the table does not hold is left alone.
struct SelfDeleter : Recorder {
    SelfDeleter(std::vector<std::string>* log) : Recorder(log, "d") {}
    void phantomCollisionHandler(CModelObject* other, const Kinetic::CollisionEvent& e) override {
        Recorder::phantomCollisionHandler(other, e);
        CModel::modelPtr->deleteObject(this);
        CModel::modelPtr->removeObject(this);
        CModel::modelPtr->deleteObject(this);
    }
};

TEST_F(ModelTest, DeleteObjectFreesTheObjectOnceAfterDelivery) {
    Kinetic::RigidBody bodyD, bodyB;
    auto* d = new SelfDeleter(&log);
    Recorder* b = new Recorder(&log, "b");
    add(b);
    add(d);
    bodyD.m_userInfo = static_cast<CModelObject*>(d);
    bodyB.m_userInfo = static_cast<CModelObject*>(b);
    Side sd(&bodyD, 2), sb(&bodyB, 2);
    Kinetic::PhantomPenetrationEvent e;
    e.m_objectA = &sd;
    e.m_objectB = &sb;
    model->kineticToolkit->m_defaultSubspace->getEventDelegator()->raiseEvent(e);
    EXPECT_EQ(log, (std::vector<std::string>{"d:phantom with b state 0", "b:phantom with d state 0",
                                             "d:cleanup", "d:deleted"}));
    EXPECT_EQ(model->objects, (std::vector<CModelObject*>{b, nullptr}));
    log.clear();
    model->deleteObject(b);
    EXPECT_EQ(log, (std::vector<std::string>{"b:cleanup", "b:deleted"}));
    log.clear();
    Recorder outside(&log, "o");
    model->deleteObject(&outside);  // not the model's: untouched
    EXPECT_TRUE(log.empty());
}

TEST_F(ModelTest, ARemovalAskedDuringDeliveryWaitsForItsEndAndHearsNoMore) {
    Kinetic::RigidBody bodyR, bodyB;
    Kinetic::PhantomPenetrationEvent second;
    auto* r = new SelfRemover(&log, &second);
    Recorder* b = new Recorder(&log, "b");
    add(b);
    add(r);
    bodyR.m_userInfo = static_cast<CModelObject*>(r);
    bodyB.m_userInfo = static_cast<CModelObject*>(b);
    Side sr(&bodyR, 2), sb(&bodyB, 2);
    Kinetic::PhantomPenetrationEvent first;
    first.m_objectA = second.m_objectA = &sr;
    first.m_objectB = second.m_objectB = &sb;
    model->kineticToolkit->m_defaultSubspace->getEventDelegator()->raiseEvent(first);
    EXPECT_EQ(log, (std::vector<std::string>{"r:phantom with b state 0", "b:phantom with r state 0",
                                             "b:phantom with r state 0", "r:cleanup"}));
    EXPECT_EQ(model->objects, (std::vector<CModelObject*>{b, nullptr}));
    delete r;
}

}  // namespace
