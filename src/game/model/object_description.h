// What a kind of object is made of: per level of detail its geometry and replacement textures, its
// shadow shapes and collision blocks, all by id in the resource stores. A description owns none of them.
#pragma once

#include <cstdint>
#include <vector>

#include "game/files/object_type_table.h"
#include "game/files/resource_storage.h"

class CObjectDescription {
public:
    CObjectDescription();
    virtual ~CObjectDescription();

    std::vector<int32_t> textureIdList[5];
    std::vector<int32_t> geometryIdList;
    std::vector<int32_t> shadowGeometryIdList;
    std::vector<int32_t> collisionIdList;
    _Info* typeInfo;  // not owned
    int32_t numUniqueGeometry;
};

template <>
struct CResourceStorageSize<CObjectDescription> {
    static constexpr uint32_t value = 146;
};
