// The placement rules of the world's quad tree of subtiles (game/model/quad_tree.h): square containers
// aligned to a grid of their own size, quadrants split at the middle with half a unit of slack, and a
// visit that collects the numbers of the subtiles whose boxes touch the view frustum.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class CModelObject;

class CWorldQuadTree {
public:
    static constexpr size_t kViewListReserve = 1024;

    CWorldQuadTree() = default;
    ~CWorldQuadTree() = default;

    void allocViewList() { viewList.reserve(kViewListReserve); }
    void reset() { viewList.clear(); }

    // Appends a subtile's number; true for every object, so the walk goes on.
    bool DoIt(CModelObject* object);
    void DestroyData(CModelObject* object);
    int WhichChild(CModelObject* container, CModelObject* object);
    // A new square container holding both, at least one grid cell wide.
    CModelObject* MakeContainer(CModelObject* first, CModelObject* second);
    bool ResolveOverlap(CModelObject*, CModelObject*) { return true; }
    bool IsOverlapped(CModelObject* a, CModelObject* b);
    // Inside in x and z with half a unit of slack; widens the container's y range when it is.
    bool IsContained(CModelObject* container, CModelObject* object);
    bool IsIntersecting(CModelObject* object);

    std::vector<uint32_t> viewList;
};
