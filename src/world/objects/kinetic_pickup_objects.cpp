#include "world/objects/kinetic_pickup_objects.h"

#include "engine/sys/files.h"
#include "game/model/model.h"
#include "game/model/phantom_event.h"
#include "game/stats/stats.h"
#include "kinetic/collide/primitive.h"
#include "kinetic/dynamics/rigid_body.h"
#include "kinetic/dynamics/toolkit.h"
#include "world/objects/trigger_riders.h"

CKineticTriggerObject::CKineticTriggerObject(int descriptionId) : CKineticStaticRigidObject(descriptionId) {
    for (int i = 0; i < getRigidBodyCount(); ++i)
        for (Kinetic::Primitive* p : getRigidBody(i)->getPrimitives()) p->m_isPhantom = 1;
}

void CKineticTriggerObject::updateModelWorld() {
    for (int i = 0; i < getRigidBodyCount(); ++i)
        GetModel()->kineticToolkit->addRigidBody(getRigidBody(i), Kinetic::Vector3(0, 0, 0),
                                                 Kinetic::Quaternion(1, 0, 0, 0));
    updateKineticFromModelObject();
}

void CKineticPickupObject::phantomCollisionHandler(CModelObject* other,
                                                   const Kinetic::CollisionEvent& event) {
    CStats* stats = triggers::statsOf(other);
    if (!stats || CPhantomEvent::StateOf(event) != Kinetic::PhantomPenetrationEvent::BEGAN) return;
    stats->pickupsFound += 1;
    x_printf("Bonus picked up!!\n");
    triggers::riders()->raiseBonusPickup(other);
    // The bonus is gone for the rest of the race: the model deletes it once the event delivery is over.
    GetModel()->deleteObject(this);
}

namespace {

// Entering sets the mark, leaving clears it; other states change nothing.
void MarkArea(CModelObject* other, const Kinetic::CollisionEvent& event, uint8_t CStats::*mark) {
    CStats* stats = triggers::statsOf(other);
    if (!stats) return;
    const int state = CPhantomEvent::StateOf(event);
    if (state == Kinetic::PhantomPenetrationEvent::BEGAN)
        stats->*mark = 1;
    else if (state == Kinetic::PhantomPenetrationEvent::ENDED)
        stats->*mark = 0;
}

}  // namespace

void CKineticLandObject::phantomCollisionHandler(CModelObject* other, const Kinetic::CollisionEvent& event) {
    MarkArea(other, event, &CStats::inTargetLandArea);
}

void CKineticJumpObject::phantomCollisionHandler(CModelObject* other, const Kinetic::CollisionEvent& event) {
    MarkArea(other, event, &CStats::inTargetJumpArea);
}
