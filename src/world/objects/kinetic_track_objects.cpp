#include "world/objects/kinetic_track_objects.h"

#include <algorithm>

#include "engine/sys/files.h"
#include "game/files/collision_storage.h"
#include "game/model/intersection.h"
#include "game/model/model.h"
#include "game/model/object_description.h"
#include "kinetic/collide/collidable.h"
#include "kinetic/collide/primitive.h"
#include "kinetic/dynamics/rigid_body.h"
#include "kinetic/dynamics/toolkit.h"
#include "world/objects/kinetic_collide.h"

namespace trackobject {

const CObjectDescription* Describe(int descriptionId, const char* kind) {
    const CObjectDescription* d = CResourceStorage<CObjectDescription>::instance().get(descriptionId);
    if (!d) x_printf("%s: description %d does not exist, built without collision\n", kind, descriptionId);
    return d;
}

CKineticCollide* CollisionOf(const CObjectDescription* description, int descriptionId, const char* kind) {
    if (!description || description->collisionIdList.empty()) return nullptr;
    const int id = description->collisionIdList[0];
    CKineticCollide* c = CResourceStorage<CKineticCollide>::instance().get(id);
    if (!c)
        x_printf(
            "%s: description %d names collision block %d, which does not exist; built without collision\n",
            kind, descriptionId, id);
    return c;
}

void SetGroups(Kinetic::RigidBody* body, uint32_t groups) {
    for (Kinetic::Primitive* p : body->getPrimitives()) p->m_collisionGroups = groups;
}

namespace {

// The material of the type record, or the defaults without one.
struct Material {
    float mass = kDefaultMass;
    float restitution = kDefaultRestitution;
    float friction = kDefaultFriction;
};

Material MaterialOf(const CObjectDescription* d) {
    Material m;
    if (d && d->typeInfo) {
        m.mass = static_cast<float>(d->typeInfo->massInKg);
        m.restitution = d->typeInfo->elasticity;
        m.friction = d->typeInfo->friction;
    }
    return m;
}

Kinetic::Toolkit* Kit() {
    return GetModel()->kineticToolkit;
}

void LeaveStaticList(Kinetic::RigidBody* body) {
    CIntersection* in = CIntersection::intersectionPtr;
    if (!in) return;
    auto& list = in->m_raycaster.m_rigid_bodies;
    // The list drops a body (and its reference on it) when told of the body's end.
    if (std::find(list.begin(), list.end(), body) != list.end())
        in->m_raycaster.onNotify(body, 0, Kinetic::ReferenceObject::MSG_DEATH);
}

}  // namespace
}  // namespace trackobject

using namespace trackobject;

// ---- static ----

CKineticStaticRigidObject::CKineticStaticRigidObject(int id) : KineticRigidObject(id), collide(nullptr) {
    const CObjectDescription* d = Describe(id, "Static object");
    collide = CollisionOf(d, id, "Static object");
    auto* body = new Kinetic::RigidBody();
    uint32_t groups = kStaticGroups;
    if (collide) {
        const Material m = MaterialOf(d);
        collide->addCollisionToRigidBody(body, m.mass, m.restitution, m.friction);
        if (d->typeInfo && d->typeInfo->objType == kType29) groups = kStaticType29Groups;
    }
    body->setPinned(true);
    SetGroups(body, groups);
    setRigidBody(body);
    body->m_userInfo = static_cast<CModelObject*>(this);
}

CKineticStaticRigidObject::CKineticStaticRigidObject() : collide(nullptr) {}

CKineticStaticRigidObject::~CKineticStaticRigidObject() {
    if (Kinetic::RigidBody* body = rigidBody) {
        if (body->m_userInfo) leaveWorld(body);
        rigidBody = nullptr;
        delete body;
    }
}

void CKineticStaticRigidObject::leaveWorld(Kinetic::RigidBody* body) {
    body->m_userInfo = nullptr;
    if (CModel::modelPtr && CModel::modelPtr->kineticToolkit)
        CModel::modelPtr->kineticToolkit->removeRigidBody(body);
    LeaveStaticList(body);
}

void CKineticStaticRigidObject::update(float) {}

void CKineticStaticRigidObject::cleanup() {
    // Every body leaves (the complex kind has several); a body already out is skipped.
    for (int i = 0; i < getRigidBodyCount(); ++i)
        if (Kinetic::RigidBody* body = getRigidBody(i); body && body->m_userInfo) leaveWorld(body);
}

void CKineticStaticRigidObject::doAction(const CPacket&, float) {}

void CKineticStaticRigidObject::phantomCollisionHandler(CModelObject*, const Kinetic::CollisionEvent&) {}

void CKineticStaticRigidObject::updateModelWorld() {
    updateKineticFromModelObject();
    for (int i = 0; i < getRigidBodyCount(); ++i) {
        Kinetic::RigidBody* body = getRigidBody(i);
        Kinetic::Vector3 p;
        Kinetic::Quaternion q;
        body->getDisplayToWorldTransform(p, q);
        Kit()->addRigidBody(body, p, q);
        GetIntersection()->m_raycaster.addRigidBody(body);
    }
}

// ---- dynamic ----

CKineticDynamicRigidObject::CKineticDynamicRigidObject(int id)
    : KineticRigidObject(id), collide(nullptr), activeTime(kStillSteps) {
    const CObjectDescription* d = Describe(id, "Dynamic object");
    collide = CollisionOf(d, id, "Dynamic object");
    auto* body = new Kinetic::RigidBody();
    if (collide) {
        // A dynamic object should carry a type record; without one it takes the static defaults.
        const Material m = MaterialOf(d);
        collide->addCollisionToRigidBody(body, m.mass, m.restitution, m.friction);
    }
    body->setPinned(false);
    SetGroups(body, kDynamicGroups);
    body->m_userInfo = static_cast<CModelObject*>(this);
    setRigidBody(body);
}

CKineticDynamicRigidObject::~CKineticDynamicRigidObject() {
    if (Kinetic::RigidBody* body = rigidBody) {
        body->m_userInfo = nullptr;
        if (CModel::modelPtr && CModel::modelPtr->kineticToolkit)
            CModel::modelPtr->kineticToolkit->removeRigidBody(body);
        rigidBody = nullptr;
        delete body;
    }
}

void CKineticDynamicRigidObject::update(float) {
    Kinetic::RigidBody* body = getRigidBody(0);
    --activeTime;
    if (body->m_linearVelocity.length() > kStillSpeed) activeTime = kStillSteps;
    if (activeTime == 0 && !body->isPinned()) body->setPinned(true);
    updateModelObjectFromKinetic();
}

void CKineticDynamicRigidObject::doAction(const CPacket&, float) {}

void CKineticDynamicRigidObject::collisionHandler(CModelObject*, const Kinetic::CollisionEvent&) {}

void CKineticDynamicRigidObject::phantomCollisionHandler(CModelObject*, const Kinetic::CollisionEvent&) {}

void CKineticDynamicRigidObject::updateModelWorld() {
    Kit()->addRigidBody(getRigidBody(0), Kinetic::Vector3(0, 0, 0), Kinetic::Quaternion(1, 0, 0, 0));
    updateKineticFromModelObject();
}

// ---- complex static ----

CKineticComplexStaticRigidObject::CKineticComplexStaticRigidObject(int id) {
    descriptionId = id;
    setBoundingBox(id);
    const CObjectDescription* d = Describe(id, "Complex object");
    collide = CollisionOf(d, id, "Complex object");
    if (collide) {
        const Material m = MaterialOf(d);
        for (size_t i = 0; i < collide->geometry.size(); ++i) {
            auto* body = new Kinetic::RigidBody();
            setRigidBody(body);
            collide->addSingleCollisionToRigidBody(static_cast<int>(i), body, m.mass, m.restitution,
                                                   m.friction);
        }
    }
    for (Kinetic::RigidBody* body : rigidBodyList) {
        body->setPinned(true);
        body->setFixed();
        SetGroups(body, kStaticGroups);
        body->m_userInfo = static_cast<CModelObject*>(this);
    }
}

CKineticComplexStaticRigidObject::~CKineticComplexStaticRigidObject() {
    for (Kinetic::RigidBody* body : rigidBodyList) {
        if (body->m_userInfo) leaveWorld(body);
        delete body;
    }
    rigidBodyList.clear();
}

void CKineticComplexStaticRigidObject::setRigidBody(Kinetic::RigidBody* body) {
    rigidBodyList.push_back(body);
}

Kinetic::RigidBody* CKineticComplexStaticRigidObject::getRigidBody(int index) {
    if (index < 0 || static_cast<size_t>(index) >= rigidBodyList.size()) return nullptr;
    return rigidBodyList[static_cast<size_t>(index)];
}

int CKineticComplexStaticRigidObject::getRigidBodyCount() {
    return static_cast<int>(rigidBodyList.size());
}
