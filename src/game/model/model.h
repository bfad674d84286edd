// The model: the table of every simulated thing of a race (an object's id is its index; a removed
// object leaves a null slot so ids never shift), the physics world the dynamic ones move in, delivery of
// input packets to the objects they name, and forwarding of collision events to both objects involved.
#pragma once

#include <cstdint>
#include <vector>

#include "game/model/packet.h"
#include "kinetic/dynamics/event_callback_proxy.h"

class CModelObject;
namespace Kinetic {
class Event;
class EventPipe;
class Toolkit;
class World;
}  // namespace Kinetic

class CModel {
public:
    static CModel* modelPtr;
    // A newly made model; stores nothing (see GetModel).
    static CModel* newModelPtr();

    CModel();
    virtual ~CModel();
    CModel(const CModel&) = delete;
    CModel& operator=(const CModel&) = delete;

    virtual void processActionPacket(const CPacket& packet, float dt);

    // Delivers the action packets in list order; the caller empties the list.
    void processPackets(std::vector<CPacket>& packets, float dt);
    // Steps physics to the absolute game time `time` (unless paused), then updates the objects.
    void update(float time);
    // Empties every slot holding `obj` after its cleanup; the object is not deleted. Asked while
    // collision events are being delivered (from inside a physics step or an event handler), the removal
    // waits until the delivery is over, and from then on the object hears no more events.
    void removeObject(CModelObject* obj);
    // As removeObject, and then the object is deleted: for objects the model owns that leave during the
    // race (a picked-up bonus). Asked during event delivery, both wait until it is over.
    void deleteObject(CModelObject* obj);

    void onCollide(Kinetic::Event& event);
    void onPhantomCollide(Kinetic::Event& event);

    std::vector<CModelObject*> objects;
    Kinetic::World* kineticWorld;
    Kinetic::Toolkit* kineticToolkit;
    int32_t worldId;

private:
    // Common body of the two event handlers; `phantom` picks the handler.
    void forwardEvent(Kinetic::Event& event, bool phantom);
    CModelObject* objectAt(int id, const char* what) const;
    // Event delivery nesting: removals asked meanwhile wait in pendingRemovals until it ends.
    void beginDelivery() { ++deliveryDepth; }
    void endDelivery();
    bool removalPending(const CModelObject* obj) const;
    void removeOrDelete(CModelObject* obj, bool deleteIt);

    struct PendingRemoval {
        CModelObject* object;
        bool deleteIt;
    };
    int deliveryDepth = 0;
    std::vector<PendingRemoval> pendingRemovals;
};

// The model, made on first use.
CModel* GetModel();
