#include "kinetic/collide/kinetic_object_cleanup.h"

#include <vector>

namespace Kinetic {

KineticObjectCleanup::~KineticObjectCleanup() {
    cleanup();
}

void KineticObjectCleanup::remember(KineticObject* obj) {
    if (m_referencedObjects.count(obj)) return;
    m_referencedObjects.emplace(obj, m_nextSequence++);
}

void KineticObjectCleanup::forget(KineticObject* obj) {
    m_referencedObjects.erase(obj);
}

bool KineticObjectCleanup::contains(const KineticObject* obj) const {
    return m_referencedObjects.count(obj) != 0;
}

void KineticObjectCleanup::cleanup() {
    std::map<uint64_t, KineticObject*> ordered;
    for (const auto& [obj, seq] : m_referencedObjects) ordered.emplace(seq, const_cast<KineticObject*>(obj));
    m_referencedObjects.clear();
    for (auto& [seq, obj] : ordered) {
        obj->notifyDependants(ReferenceObject::MSG_DEATH);
        delete obj;
    }
}

}  // namespace Kinetic
