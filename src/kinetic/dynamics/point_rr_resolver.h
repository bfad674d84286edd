// Resolves a group by repeated single-contact impulses: the next contact that still approaches gets one,
// cyclically, until none approaches or the group's impulse budget is spent.
#pragma once

#include <vector>

#include "kinetic/dynamics/rr_resolver.h"

namespace Kinetic {

struct ResolverDetails {
    Vector3 relativeVelocity;  // world frame, A's body minus B's at the contact
    float normalVelocity = 0.0f;
    bool lateIteration = false;  // more than 100 impulses went to this group already
};

class PointRRResolver : public RRResolver {
public:
    class Implementation {
    public:
        // True with the next contact whose normal velocity is below the threshold; the cursor is left
        // behind it. At most one full cycle is examined.
        bool getNextCollision(std::vector<CollisionDetails>& group, float threshold,
                              CollisionDetails** contact, ResolverDetails** details, int& index);

        int m_budgetBase = 100;
        int m_cursor = 0;
        int m_count = 0;
        ResolverDetails m_details;
    };

    static constexpr float kApproachThreshold = -0.001f;

    explicit PointRRResolver(int kind) : RRResolver(kind), m_impl(new Implementation()) {}
    ~PointRRResolver() override { delete m_impl; }

    using RRResolver::resolve;
    void resolve(std::vector<CollisionDetails>& group) override;
    virtual Vector3 resolveSingleContact(const CollisionDetails& contact, const ResolverDetails& details) = 0;

    // Impulses given to the last group resolved.
    int getImpulseCount() const { return m_impulses; }

protected:
    Implementation* m_impl;
    int m_impulses = 0;
};

}  // namespace Kinetic
