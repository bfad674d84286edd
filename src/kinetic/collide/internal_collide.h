// The collision detector's implementation object: the registered collidables in three lists (active,
// inactive, fixed), a one-axis sort-and-sweep broadphase over them, the pair filters, the dispatch of
// candidate pairs to the pair tests, the waking of sleeping bodies through contacts, the bookkeeping of
// known interpenetrations and of phantom overlaps across passes, and the result lists of the last pass.
//
// Pairs are keyed by collidable ids, never by addresses, so caches, phantom events and every order that
// depends on a key repeat exactly from run to run.
#pragma once

#include <cstdint>
#include <vector>

#include "kinetic/collide/cache_manager.h"
#include "kinetic/collide/collidable.h"
#include "kinetic/collide/collision_details.h"
#include "kinetic/collide/gjk_cache.h"
#include "kinetic/collide/kinetic_object.h"
#include "kinetic/collide/manifold_cache.h"
#include "kinetic/collide/pair.h"

namespace Kinetic {

class CXImplicitPrimitive;
class Entity;
class EventPipe;
class GeometricPrimitive;
class HeightFieldPrimitive;
class PlanarPrimitive;
class RigidBody;

using CollidablePair = Pair<Collidable*>;
using PairList = std::vector<CollidablePair>;

class InternalCollide : public KineticObject {
public:
    // One collidable's interval on the sweep axis.
    struct Extent {
        float m_min;
        float m_max;
        Collidable* m_collidable;
    };

    static constexpr int kCacheLines = 128;

    explicit InternalCollide(float tolerance);
    ~InternalCollide() override;

    int onNotify(ReferenceObject* sender, int id, Message message) override;

    void addRigidBody(RigidBody* body);
    void add(Collidable* c);
    // Erases every trace of c, from all three lists whatever its entity's flags are now (a body made
    // fixed after it was added must not leave a pointer behind).
    void remove(Collidable* c);

    // One detection pass over all registered collidables (virtual so that a test can script a pass).
    virtual void collide(bool stopAtNewPenetration);
    void collideSet(const std::vector<RigidBody*>& bodies, PairList& interpenetrations,
                    std::vector<CollisionDetails>& details, PairList& phantoms);
    void collidePair(const RigidBody* a, const RigidBody* b, bool& interpenetrating,
                     std::vector<CollisionDetails>& details);
    void resetCollisionLists();

    // Groups are numbered 1..32; other numbers are ignored.
    void enableCollisionGroups(unsigned g1, unsigned g2);
    void disableCollisionGroups(unsigned g1, unsigned g2);
    bool areInteracting(uint32_t s1, uint32_t s2) const;

    void handleNewInterpenetrations();
    void addToBadList(const CollidablePair& p);
    void activateEntity(Entity* e);
    void deactivateEntity(Entity* e);
    void updateActivations(const std::vector<CollisionDetails>& details);
    void rebuildInactivePhantomPairs();
    void firePhantomEvents();
    void setPenetrationEventPipe(EventPipe* pipe) { m_penetrationEventPipe = pipe; }

    bool isPossibleCollision(Collidable* a, Collidable* b) const;
    // The pair in canonical order: greater CDType first, then greater id.
    static CollidablePair canonical(Collidable* a, Collidable* b);
    void pairDispatch(Collidable& a, Collidable& b, PairList& interpenetrations, PairList& phantoms,
                      std::vector<CollisionDetails>& details);

    // The candidate pairs the broadphase offers over all registered collidables (for inspection).
    const PairList& getPairList() const { return m_pairList; }
    void aabbSweep();

    float m_tolerance;
    // Contacts closer than this count as interpenetrations; 0 outside a step.
    float m_allowedPenetration = 0.0f;
    std::vector<Collidable*> m_activeList;
    std::vector<Collidable*> m_inactiveList;
    std::vector<Collidable*> m_fixedList;
    PairList m_pairList;
    PairList m_sleepingPairs;
    std::vector<Entity*> m_deactivatedEntities;
    std::vector<Entity*> m_activatedEntities;
    PairList m_deactivationPairs;
    PairList m_badList;
    PairList m_badThisPass;
    PairList m_phantomPenetrations;
    PairList m_previousPhantoms;
    PairList m_inactivePhantoms;
    EventPipe* m_penetrationEventPipe = nullptr;
    PairList m_interpenetrations;
    std::vector<CollisionDetails> m_RRCollisionList;
    uint32_t m_groupMasks[32] = {};
    bool m_fixedExtentsValid = false;
    bool m_inactiveExtentsDirty = true;
    std::vector<Extent> m_activeExtents;
    std::vector<Extent> m_inactiveExtents;
    std::vector<Extent> m_fixedExtents;
    CacheManager<long long, GJKCache> m_GJKCache{kCacheLines};
    CacheManager<long long, ManifoldCache> m_manifoldCache{kCacheLines};
    std::vector<float> m_hfDepths;
    std::vector<Vector3> m_hfNormals;
    std::vector<Vector3> m_hfPoints;
    // Order of the full triangle scan of a sphere against a moving mesh without a tree.
    uint32_t m_shuffleState = 367;

private:
    void initAABB();
    static void buildExt(const std::vector<Collidable*>& list, std::vector<Extent>& out);
    static void sort(std::vector<Extent>& ext);
    void sweep();
    void sweep(const std::vector<Collidable*>& set);
    void possible(Collidable* a, Collidable* b);
    void updateLists(bool wake, bool sleep);
    void dispatch(PairList& list, PairList& interpenetrations, std::vector<CollisionDetails>& details,
                  PairList& phantoms, bool stopAtNewPenetration);
    void recursiveActivateEntity(Entity* e);
    void moveCollidables(std::vector<Collidable*>& from, std::vector<Collidable*>& to, bool toActive);

    // Pair tests; the first collidable has the greater CDType.
    void GeometricGeometric(GeometricPrimitive& a, GeometricPrimitive& b, PairList& inter, PairList& phantoms,
                            std::vector<CollisionDetails>& details);
    void ImplicitGeometric(PlanarPrimitive& a, GeometricPrimitive& b, PairList& inter, PairList& phantoms,
                           std::vector<CollisionDetails>& details);
    void CXGeometricGeometric(GeometricPrimitive& a, GeometricPrimitive& b, PairList& inter,
                              PairList& phantoms, std::vector<CollisionDetails>& details);
    void CXGeometricImplicit(GeometricPrimitive& a, PlanarPrimitive& b, PairList& inter, PairList& phantoms,
                             std::vector<CollisionDetails>& details);
    void CXGeometricHeightField(GeometricPrimitive& a, HeightFieldPrimitive& b, PairList& inter,
                                PairList& phantoms, std::vector<CollisionDetails>& details);
    void FastCXGeometricHeightField(GeometricPrimitive& a, HeightFieldPrimitive& b, PairList& inter,
                                    PairList& phantoms, std::vector<CollisionDetails>& details);
    void CXGeometricCXGeometric(GeometricPrimitive& a, GeometricPrimitive& b, PairList& inter,
                                PairList& phantoms, std::vector<CollisionDetails>& details);
    void CXImplicitGeometric(CXImplicitPrimitive& a, GeometricPrimitive& b, PairList& inter,
                             PairList& phantoms, std::vector<CollisionDetails>& details);
    void CXImplicitSphereGeometric(CXImplicitPrimitive& a, GeometricPrimitive& b, PairList& inter,
                                   PairList& phantoms, std::vector<CollisionDetails>& details);
    void CXImplicitImplicit(CXImplicitPrimitive& a, PlanarPrimitive& b, PairList& inter, PairList& phantoms,
                            std::vector<CollisionDetails>& details);
    void CXImplicitCXGeometric(CXImplicitPrimitive& a, GeometricPrimitive& b, PairList& inter,
                               PairList& phantoms, std::vector<CollisionDetails>& details);
    void CXImplicitCXImplicit(CXImplicitPrimitive& a, CXImplicitPrimitive& b, PairList& inter,
                              PairList& phantoms, std::vector<CollisionDetails>& details);
    // Convex mesh against world-space triangles (three points each), with the pair's manifold.
    void convexMeshTriangles(GeometricPrimitive& a, Collidable& b, const std::vector<Vector3>& triangles,
                             const Transform* bWorldToBody, PairList& inter, PairList& phantoms,
                             std::vector<CollisionDetails>& details);
    // Rule for a measured separation d: nothing at or beyond the tolerance; below 0 the pair is listed
    // as a phantom overlap or an interpenetration; true when contact records are to be made.
    bool outcome(float d, Collidable& a, Collidable& b, PairList& inter, PairList& phantoms) const;
};

bool containsPair(const PairList& list, const CollidablePair& p);

}  // namespace Kinetic
