#include "game/model/model.h"

#include <algorithm>
#include <optional>

#include "engine/sys/files.h"
#include "game/model/dynamic_object.h"
#include "game/model/model_object.h"
#include "game/model/pause_state.h"
#include "game/model/phantom_event.h"
#include "game/model/timer.h"
#include "game/view/util.h"
#include "kinetic/collide/collidable.h"
#include "kinetic/collide/collision_detector.h"
#include "kinetic/collide/kinetic_object_cleanup.h"
#include "kinetic/dynamics/collision_event.h"
#include "kinetic/dynamics/collision_event_filter.h"
#include "kinetic/dynamics/entity.h"
#include "kinetic/dynamics/event_delegator.h"
#include "kinetic/dynamics/phantom_penetration_event.h"
#include "kinetic/dynamics/rigid_collection.h"
#include "kinetic/dynamics/rr_resolver.h"
#include "kinetic/dynamics/subspace.h"
#include "kinetic/dynamics/toolkit.h"
#include "kinetic/dynamics/world.h"

CModel* CModel::modelPtr = nullptr;

CModel* CModel::newModelPtr() {
    return new CModel();
}

CModel* GetModel() {
    if (!CModel::modelPtr) CModel::modelPtr = CModel::newModelPtr();
    return CModel::modelPtr;
}

CModel::CModel() : kineticWorld(nullptr), kineticToolkit(nullptr), worldId(0) {
    kineticToolkit = new Kinetic::Toolkit(1);
    kineticToolkit->m_defaultRigidCollection->setODESolver(Kinetic::EULER);

    // The race wants a coarser contact tolerance than the toolkit's default detector.
    Kinetic::KineticObjectCleanup* cleanup = kineticToolkit->m_defaultCleanup;
    Kinetic::Subspace* subspace = kineticToolkit->m_defaultSubspace;
    cleanup->forget(kineticToolkit->m_defaultCollisionDetector);
    delete kineticToolkit->m_defaultCollisionDetector;
    auto* detector = new Kinetic::CollisionDetector(0.2f);
    kineticToolkit->m_defaultCollisionDetector = detector;
    cleanup->remember(detector);
    subspace->m_collisionDetector = detector;

    kineticWorld = kineticToolkit->m_defaultWorld;
    subspace->setGravity(Kinetic::Vector3(0.0f, 15.1074f, 0.0f));

    Kinetic::EventDelegator* delegator = subspace->getEventDelegator();
    if (Kinetic::RRResolver* resolver = subspace->getRRResolver())
        resolver->setEventPipe(new Kinetic::CollisionEventFilter(delegator, *subspace));
    subspace->setPenetrationEventPipe(delegator);

    auto* collide = new Kinetic::EventCallbackProxy<CModel>(this, &CModel::onCollide);
    auto* phantom = new Kinetic::EventCallbackProxy<CModel>(this, &CModel::onPhantomCollide);
    cleanup->remember(collide);
    cleanup->remember(phantom);
    subspace->registerCallbackObject(collide, Kinetic::CollisionEvent::defaultID);
    subspace->registerCallbackObject(phantom, Kinetic::PhantomPenetrationEvent::defaultID);

    detector->disableCollisionGroups(1, 2);
    detector->disableCollisionGroups(1, 6);
    detector->disableCollisionGroups(6, 6);
    detector->disableCollisionGroups(2, 2);
    detector->enableCollisionGroups(4, 1);
    detector->enableCollisionGroups(4, 2);
    detector->enableCollisionGroups(4, 4);
    detector->disableCollisionGroups(5, 1);
    detector->disableCollisionGroups(5, 2);
    detector->enableCollisionGroups(5, 4);
    detector->enableCollisionGroups(5, 5);
}

CModel::~CModel() {
    for (size_t i = 0; i < objects.size(); ++i) {
        CModelObject* o = objects[i];
        objects[i] = nullptr;
        delete o;
    }
    objects.clear();
    if (kineticToolkit) {
        Kinetic::Subspace* subspace = kineticToolkit->m_defaultSubspace;
        if (Kinetic::RRResolver* resolver = subspace ? subspace->getRRResolver() : nullptr) {
            delete resolver->getEventPipe();
            resolver->setEventPipe(nullptr);
        }
        delete kineticToolkit;
        kineticToolkit = nullptr;
        kineticWorld = nullptr;
    }
    if (modelPtr == this) modelPtr = nullptr;
}

void CModel::forwardEvent(Kinetic::Event& event, bool phantom) {
    // Both event kinds carry the two collidables; the handlers take a collision event, so a phantom
    // event is handed over as one that also carries its began/stopped state.
    std::optional<CPhantomEvent> asCollision;
    Kinetic::CollisionEvent* ev;
    if (phantom)
        ev = &asCollision.emplace(static_cast<Kinetic::PhantomPenetrationEvent&>(event));
    else
        ev = &static_cast<Kinetic::CollisionEvent&>(event);
    Kinetic::Collidable* ca = ev->m_objectA;
    Kinetic::Collidable* cb = ev->m_objectB;
    const bool silenced = (ca && (ca->m_collisionGroups & 1u)) || (cb && (cb->m_collisionGroups & 1u));
    if (!silenced) {
        beginDelivery();
        auto owner = [](Kinetic::Collidable* c) -> CModelObject* {
            if (!c || !c->m_entity) return nullptr;
            return static_cast<CModelObject*>(c->m_entity->m_userInfo);
        };
        CModelObject* a = owner(ca);
        CModelObject* b = owner(cb);
        // An object waiting for its removal takes no part any more (a pickup touched twice in one step
        // counts once); it is still handed to its partner as the other object.
        if (auto* da = removalPending(a) ? nullptr : dynamic_cast<CDynamicObject*>(a)) {
            if (phantom)
                da->phantomCollisionHandler(b, *ev);
            else
                da->collisionHandler(b, *ev);
        }
        if (auto* db = removalPending(b) ? nullptr : dynamic_cast<CDynamicObject*>(b)) {
            if (phantom)
                db->phantomCollisionHandler(a, *ev);
            else
                db->collisionHandler(a, *ev);
        }
        endDelivery();
    }
}

void CModel::onCollide(Kinetic::Event& event) {
    forwardEvent(event, false);
}

void CModel::onPhantomCollide(Kinetic::Event& event) {
    forwardEvent(event, true);
}

CModelObject* CModel::objectAt(int id, const char* what) const {
    if (id < 0 || static_cast<size_t>(id) >= objects.size()) {
        x_printf("%s for object %d refused: no such object (%d objects)\n", what, id,
                 static_cast<int>(objects.size()));
        return nullptr;
    }
    CModelObject* o = objects[static_cast<size_t>(id)];
    if (!o) x_printf("%s for object %d refused: the object was removed\n", what, id);
    return o;
}

void CModel::processPackets(std::vector<CPacket>& packets, float dt) {
    // By index: a delivery may append packets to the caller's list.
    for (size_t i = 0; i < packets.size(); ++i) {
        if (packets[i]._type != PKT_ACTION) continue;
        const CPacket p = packets[i];
        processActionPacket(p, dt);
    }
}

void CModel::processActionPacket(const CPacket& packet, float dt) {
    CModelObject* o = objectAt(packet._affectedObject, "packet");
    if (auto* d = dynamic_cast<CDynamicObject*>(o)) d->doAction(packet, dt);
}

void CModel::update(float time) {
    const bool paused = CPauseState::pauseSwitch == 1;
    if (!paused) {
        GetTimer();
        // The step delivers the collision events; removals they ask for happen after it.
        beginDelivery();
        if (kineticWorld) kineticWorld->stepTo(time, 1);
        endDelivery();
    } else if (CPauseState::pauseDraw == 0) {
        CUtil::UpdateCamera(time);
    }
    // The count is read afresh each step: an update may append objects.
    for (size_t i = 0; i < objects.size(); ++i) {
        CModelObject* o = objects[i];
        if (!o) continue;
        if (paused && o != CPauseState::selfPauseObject) continue;
        o->update(time);
    }
}

void CModel::endDelivery() {
    if (--deliveryDepth > 0) return;
    // Taken out first: a removal a cleanup asks for then happens at once.
    std::vector<PendingRemoval> pending;
    pending.swap(pendingRemovals);
    for (const PendingRemoval& r : pending) removeOrDelete(r.object, r.deleteIt);
}

bool CModel::removalPending(const CModelObject* obj) const {
    return obj && std::any_of(pendingRemovals.begin(), pendingRemovals.end(),
                              [obj](const PendingRemoval& r) { return r.object == obj; });
}

void CModel::removeObject(CModelObject* obj) {
    removeOrDelete(obj, false);
}

void CModel::deleteObject(CModelObject* obj) {
    removeOrDelete(obj, true);
}

void CModel::removeOrDelete(CModelObject* obj, bool deleteIt) {
    if (!obj) return;
    if (deliveryDepth > 0) {
        // Inside event delivery the object, its bodies and the table stay as they are until it is over.
        for (PendingRemoval& r : pendingRemovals)
            if (r.object == obj) {
                r.deleteIt = r.deleteIt || deleteIt;
                return;
            }
        pendingRemovals.push_back({obj, deleteIt});
        return;
    }
    bool held = false;
    for (size_t i = 0; i < objects.size(); ++i) {
        if (objects[i] != obj) continue;
        obj->cleanup();
        objects[i] = nullptr;
        held = true;
    }
    // Only an object the table held is the model's to delete (a second request finds it gone).
    if (deleteIt && held) delete obj;
}
