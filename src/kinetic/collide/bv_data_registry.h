// Bounding data of meshes, built once per geometry and shared by every mesh primitive over it: a k-DOP
// tree, an OBB tree, one OBB and the vertex connectivity, each counted separately. One registry for the
// program. The map is keyed by the geometry but nothing iterates it, so its order never shows.
#pragma once

#include <map>

#include "kinetic/collide/bv_tree.h"
#include "kinetic/collide/connectivity.h"
#include "kinetic/collide/geometry.h"
#include "kinetic/collide/kdop_tree.h"
#include "kinetic/collide/obb.h"
#include "kinetic/collide/reference_object.h"

namespace Kinetic {

class BVDataRegistry : public ReferenceObject {
public:
    struct BVData {
        KDOPTree* m_KDOPTree = nullptr;
        BVTree<OBB>* m_OBBTree = nullptr;
        OBB* m_OBB = nullptr;
        Connectivity* m_connectivity = nullptr;
        int m_KDOPTreeRefs = 0;
        int m_OBBTreeRefs = 0;
        int m_OBBRefs = 0;
        int m_connectivityRefs = 0;
    };

    static BVDataRegistry& getInstance();
    ~BVDataRegistry() override;

    void buildKDOPTree(Geometry* g);
    void buildOBBTree(Geometry* g);
    void buildOBB(Geometry* g);
    void buildConnectivity(Geometry* g);

    // Null (and no count taken) when that data was not built.
    KDOPTree* getKDOPTreeRef(Geometry* g);
    BVTree<OBB>* getOBBTreeRef(Geometry* g);
    OBB* getOBBRef(Geometry* g);
    Connectivity* getConnectivityRef(Geometry* g);

    void releaseKDOPTreeRef(Geometry* g);
    void releaseOBBTreeRef(Geometry* g);
    void releaseOBBRef(Geometry* g);
    void releaseConnectivityRef(Geometry* g);

    // Geometry death: destroys its data but keeps the entry and counts; 2 when nobody holds any.
    int onNotify(ReferenceObject* sender, int id, Message message) override;

    bool hasEntry(const Geometry* g) const { return m_data.count(const_cast<Geometry*>(g)) != 0; }
    const BVData* getData(const Geometry* g) const;

    static Connectivity* makeConnectivity(const Geometry* g);

private:
    BVDataRegistry() = default;
    BVData& entry(Geometry* g);
    void removeIfUnused(Geometry* g);
    static void destroyAll(BVData& d);

    std::map<Geometry*, BVData> m_data;
};

// Signature of a mesh's vertex data (bytes of x, y, z of every vertex).
uint32_t getGeometryID(const Geometry* g);

}  // namespace Kinetic
