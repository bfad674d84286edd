#include "kinetic/collide/reference_object.h"

#include <algorithm>

namespace Kinetic {

ReferenceObject::~ReferenceObject() {
    notifyDependants(MSG_DEATH);
}

void ReferenceObject::destroyReferences() {
    for (int i = 0; i < getNumReferences(); ++i) {
        ReferenceObject* r = getReference(i);
        if (r) r->removeAllDependancy(this);
    }
}

int ReferenceObject::notifyDependants(Message message) {
    const uint32_t bit = 1u << message;
    int result = 0;
    for (;;) {
        // Rescan from the start: onNotify may add, remove or reorder entries.
        size_t i = 0;
        while (i < m_dependants.size() && (m_dependants[i].flags & bit)) ++i;
        if (i == m_dependants.size()) break;
        m_dependants[i].flags = m_dependants[i].flags | bit;
        Pair_ID_Ref entry = m_dependants[i];
        int r = entry.dependant->onNotify(this, entry.id, message);
        if (r != 0) result = r;
    }
    for (Pair_ID_Ref& e : m_dependants) e.flags = e.flags & ~bit;
    if (message == MSG_DEATH) m_dependants.clear();
    return result;
}

bool ReferenceObject::checkCycle(const ReferenceObject* other) const {
    if (this == other) return true;
    for (int i = 0; i < getNumReferences(); ++i) {
        ReferenceObject* r = getReference(i);
        if (r && r->checkCycle(other)) return true;
    }
    return false;
}

void ReferenceObject::removeAllDependancy(const ReferenceObject* other) {
    m_dependants.erase(std::remove_if(m_dependants.begin(), m_dependants.end(),
                                      [other](const Pair_ID_Ref& e) { return e.dependant == other; }),
                       m_dependants.end());
}

void ReferenceObject::addDependant(ReferenceObject* holder, int id) {
    if (checkCycle(holder)) return;
    m_dependants.emplace_back(id, holder);
}

}  // namespace Kinetic
