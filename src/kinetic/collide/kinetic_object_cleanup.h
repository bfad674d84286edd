// A family of engine objects deleted together (a toolkit's world, subspace, collections, bodies).
// Objects are deleted in the order they were remembered, not by address, so runs repeat exactly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>

#include "kinetic/collide/kinetic_object.h"

namespace Kinetic {

class KineticObjectCleanup {
public:
    KineticObjectCleanup() = default;
    KineticObjectCleanup(const KineticObjectCleanup&) = delete;
    KineticObjectCleanup& operator=(const KineticObjectCleanup&) = delete;
    ~KineticObjectCleanup();

    void remember(KineticObject* obj);
    // Hands ownership back to the caller; no effect for an object never remembered.
    void forget(KineticObject* obj);
    // Sends each object the death notice, then deletes it.
    void cleanup();

    bool contains(const KineticObject* obj) const;
    size_t size() const { return m_referencedObjects.size(); }

private:
    std::map<const KineticObject*, uint64_t> m_referencedObjects;  // object -> remember sequence
    uint64_t m_nextSequence = 0;
};

}  // namespace Kinetic
