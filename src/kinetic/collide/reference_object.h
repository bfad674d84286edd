// Base of every long-lived engine object: a list of dependants (holders that must be told when this
// object goes away) and the queries that list what an object holds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Kinetic {

class ReferenceObject {
public:
    // Kind of notification, 0..7 (it indexes the per-entry flag bits). Only the death notice is sent.
    using Message = int;
    static constexpr Message MSG_DEATH = 1;

    struct Pair_ID_Ref {
        ReferenceObject* dependant;
        int32_t id : 24;     // handed back to the dependant in onNotify
        uint32_t flags : 8;  // bit m: already notified in the current pass of message m
        Pair_ID_Ref(int anId, ReferenceObject* d) : dependant(d), id(anId & 0xFFFFFF), flags(0) {}
    };

    ReferenceObject() = default;
    ReferenceObject(const ReferenceObject&) = delete;
    ReferenceObject& operator=(const ReferenceObject&) = delete;
    virtual ~ReferenceObject();

    // Removes this object from the dependants list of everything it references.
    virtual void destroyReferences();
    virtual int getNumReferences() const { return 0; }
    virtual ReferenceObject* getReference(int i) const {
        (void)i;
        return nullptr;
    }
    // Reaction to a message from an object this one registered on; id is the value given when registering.
    virtual int onNotify(ReferenceObject* sender, int id, Message message) {
        (void)sender;
        (void)id;
        (void)message;
        return 2;
    }

    // Tells every dependant once, even when the list changes during the pass; returns the last non-zero
    // answer of an onNotify.
    int notifyDependants(Message message);
    // True when other is this object or is reachable through getReference links.
    bool checkCycle(const ReferenceObject* other) const;
    void removeAllDependancy(const ReferenceObject* other);
    // Registration convention: holder starts to hold this object (skipped when that would close a cycle).
    void addDependant(ReferenceObject* holder, int id);

    const std::vector<Pair_ID_Ref>& getDependants() const { return m_dependants; }

protected:
    std::vector<Pair_ID_Ref> m_dependants;
};

}  // namespace Kinetic
