// Resolves a group by repeated single-contact impulses: the next contact that still approaches gets one,
// cyclically, until none approaches or the group's impulse budget is spent. Kinds that give their contact
// frames first hold the group's nearly resting contacts together (see holdRestingContacts).
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
    void startList() override;
    virtual Vector3 resolveSingleContact(const CollisionDetails& contact, const ResolverDetails& details) = 0;

    // Impulses given to the last group resolved.
    int getImpulseCount() const { return m_impulses; }

    // Contacts whose relative velocity is below this when their group's resolution starts are resting.
    float m_restingSpeed = 0.5f;

    // A resting contact as the holding pass sees it.
    struct RestingContact {
        Matrix3 K;     // the pair's collision matrix in the contact frame
        Matrix3 Kinv;  // its inverse
        Matrix3 F;     // the contact frame: rows t0, t1, n
        float mu = 0.0f;
        Vector3 impulse;         // held so far, in the contact frame
        RigidBody* a = nullptr;  // the bodies that move (null: fixed, pinned or none)
        RigidBody* b = nullptr;
        Vector3 ra, rb;    // the contact point from each body's centre
        size_t index = 0;  // in the group
    };

protected:
    // The kind's frame, collision matrices and friction for a contact; false where the kind holds no
    // resting contacts or the contact cannot take an impulse.
    virtual bool getRestingContact(const CollisionDetails& contact, RestingContact& out) {
        (void)contact;
        (void)out;
        return false;
    }
    // Holds the resting contacts of a group together, once something in it approaches and before any
    // single-contact impulse (see the .cpp).
    void holdRestingContacts(std::vector<CollisionDetails>& group);

    Implementation* m_impl;
    int m_impulses = 0;
    std::vector<RestingContact> m_resting;
    // Impulses that held resting contacts in the last list and in this one, to start the next from.
    struct HeldImpulse {
        const Collidable* a;
        const Collidable* b;
        Vector3 position;  // of the contact
        Vector3 impulse;   // world frame
        int next;          // the pair's next impulse in the last list (-1: none)
    };
    // The impulse that held a contact nearest this one, of the same pair, in the last list (null: none).
    const HeldImpulse* lastHeld(const CollisionDetails& contact) const;
    std::vector<HeldImpulse> m_lastHeld;
    std::vector<HeldImpulse> m_held;
    std::vector<int> m_heldTable;  // pair hash -> first of its impulses in m_lastHeld
};

}  // namespace Kinetic
