#include "kinetic/collide/bv_data_registry.h"

#include <algorithm>
#include <cstring>

namespace Kinetic {

BVDataRegistry& BVDataRegistry::getInstance() {
    static BVDataRegistry* instance = new BVDataRegistry();  // lives to program exit
    return *instance;
}

BVDataRegistry::~BVDataRegistry() {
    notifyDependants(MSG_DEATH);
    for (auto& [g, d] : m_data) {
        g->removeAllDependancy(this);
        destroyAll(d);
    }
}

const BVDataRegistry::BVData* BVDataRegistry::getData(const Geometry* g) const {
    auto it = m_data.find(const_cast<Geometry*>(g));
    return it == m_data.end() ? nullptr : &it->second;
}

BVDataRegistry::BVData& BVDataRegistry::entry(Geometry* g) {
    auto it = m_data.find(g);
    if (it != m_data.end()) return it->second;
    if (!g->checkCycle(this)) g->addDependant(this, 0);
    return m_data[g];
}

void BVDataRegistry::buildKDOPTree(Geometry* g) {
    BVData& d = entry(g);
    if (!d.m_KDOPTree) d.m_KDOPTree = new KDOPTree(g->m_vertices, g->m_triangles, g->m_triangle_count);
}

void BVDataRegistry::buildOBBTree(Geometry* g) {
    BVData& d = entry(g);
    if (!d.m_OBBTree) d.m_OBBTree = new BVTree<OBB>(g->m_vertices, g->m_triangles, g->m_triangle_count);
}

void BVDataRegistry::buildOBB(Geometry* g) {
    BVData& d = entry(g);
    if (d.m_OBB) return;
    d.m_OBB = new OBB();
    d.m_OBB->makeOBBOfHull(g);
}

Connectivity* BVDataRegistry::makeConnectivity(const Geometry* g) {
    auto* c = new Connectivity(static_cast<size_t>(std::max(g->m_vertex_count, 0)));
    for (int t = 0; t < g->m_triangle_count; ++t) {
        const uint16_t* v = g->m_triangles[t].m_verts;
        for (int k = 0; k < 3; ++k) {
            std::vector<uint16_t>& list = (*c)[v[k]];
            for (uint16_t n : {v[(k + 2) % 3], v[(k + 1) % 3]})
                if (std::find(list.begin(), list.end(), n) == list.end()) list.push_back(n);
        }
    }
    return c;
}

void BVDataRegistry::buildConnectivity(Geometry* g) {
    BVData& d = entry(g);
    if (!d.m_connectivity) d.m_connectivity = makeConnectivity(g);
}

namespace {

template <typename T>
T* takeRef(std::map<Geometry*, BVDataRegistry::BVData>& m, Geometry* g, T* BVDataRegistry::BVData::*ptr,
           int BVDataRegistry::BVData::*count) {
    auto it = m.find(g);
    if (it == m.end() || !(it->second.*ptr)) return nullptr;
    ++(it->second.*count);
    return it->second.*ptr;
}

}  // namespace

KDOPTree* BVDataRegistry::getKDOPTreeRef(Geometry* g) {
    return takeRef(m_data, g, &BVData::m_KDOPTree, &BVData::m_KDOPTreeRefs);
}
BVTree<OBB>* BVDataRegistry::getOBBTreeRef(Geometry* g) {
    return takeRef(m_data, g, &BVData::m_OBBTree, &BVData::m_OBBTreeRefs);
}
OBB* BVDataRegistry::getOBBRef(Geometry* g) {
    return takeRef(m_data, g, &BVData::m_OBB, &BVData::m_OBBRefs);
}
Connectivity* BVDataRegistry::getConnectivityRef(Geometry* g) {
    return takeRef(m_data, g, &BVData::m_connectivity, &BVData::m_connectivityRefs);
}

void BVDataRegistry::removeIfUnused(Geometry* g) {
    auto it = m_data.find(g);
    const BVData& d = it->second;
    if (d.m_KDOPTreeRefs == 0 && d.m_OBBTreeRefs == 0 && d.m_OBBRefs == 0 && d.m_connectivityRefs == 0)
        m_data.erase(it);
}

void BVDataRegistry::releaseKDOPTreeRef(Geometry* g) {
    auto it = m_data.find(g);
    if (it == m_data.end()) return;
    BVData& d = it->second;
    if (d.m_KDOPTreeRefs > 0) --d.m_KDOPTreeRefs;
    if (d.m_KDOPTreeRefs == 0) {
        delete d.m_KDOPTree;
        d.m_KDOPTree = nullptr;
        removeIfUnused(g);
    }
}

void BVDataRegistry::releaseOBBTreeRef(Geometry* g) {
    auto it = m_data.find(g);
    if (it == m_data.end()) return;
    BVData& d = it->second;
    if (d.m_OBBTreeRefs > 0) --d.m_OBBTreeRefs;
    if (d.m_OBBTreeRefs == 0) {
        delete d.m_OBBTree;
        d.m_OBBTree = nullptr;
        removeIfUnused(g);
    }
}

void BVDataRegistry::releaseOBBRef(Geometry* g) {
    auto it = m_data.find(g);
    if (it == m_data.end()) return;
    BVData& d = it->second;
    if (d.m_OBBRefs > 0) --d.m_OBBRefs;
    if (d.m_OBBRefs == 0) {
        delete d.m_OBB;
        d.m_OBB = nullptr;
        removeIfUnused(g);
    }
}

void BVDataRegistry::releaseConnectivityRef(Geometry* g) {
    auto it = m_data.find(g);
    if (it == m_data.end()) return;
    BVData& d = it->second;
    if (d.m_connectivityRefs > 0) --d.m_connectivityRefs;
    if (d.m_connectivityRefs == 0) {
        delete d.m_connectivity;
        d.m_connectivity = nullptr;
        removeIfUnused(g);
    }
}

void BVDataRegistry::destroyAll(BVData& d) {
    delete d.m_KDOPTree;
    delete d.m_OBBTree;
    delete d.m_OBB;
    delete d.m_connectivity;
    d.m_KDOPTree = nullptr;
    d.m_OBBTree = nullptr;
    d.m_OBB = nullptr;
    d.m_connectivity = nullptr;
}

int BVDataRegistry::onNotify(ReferenceObject* sender, int id, Message message) {
    (void)id;
    if (message != MSG_DEATH) return 0;
    auto* g = static_cast<Geometry*>(sender);
    auto it = m_data.find(g);
    if (it == m_data.end()) return 0;
    g->removeAllDependancy(this);
    BVData& d = it->second;
    // Primitives still holding this data would be left dangling: bodies must die before their meshes.
    destroyAll(d);
    const bool unused =
        d.m_KDOPTreeRefs == 0 && d.m_OBBTreeRefs == 0 && d.m_OBBRefs == 0 && d.m_connectivityRefs == 0;
    if (unused) {
        m_data.erase(it);  // the geometry's address may be reused by a new mesh
        return 2;
    }
    return 0;
}

uint32_t getGeometryID(const Geometry* g) {
    uint32_t h = 0;
    for (int i = 0; i < g->m_vertex_count; ++i) {
        const float f[3] = {g->m_vertices[i].x, g->m_vertices[i].y, g->m_vertices[i].z};
        unsigned char bytes[12];
        std::memcpy(bytes, f, sizeof bytes);
        for (unsigned char b : bytes)
            h = (h * 33u + static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(b)))) % 100000007u;
    }
    return h;
}

}  // namespace Kinetic
