// A geometry block inside a loaded master file, prepared for drawing. Geometries are shared by every
// object of a kind, so each drawer sets the textures it wants just before drawing.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/hal/geometry.h"
#include "game/files/resource_storage.h"

class CGeometry {
public:
    // Prepares the block in place; the block is not owned.
    explicit CGeometry(void* data);
    // Gives the block back as loaded, so that a master file kept loaded (the common objects, and the
    // world and high-resolution files over a restart) can be prepared again by the next race.
    ~CGeometry();
    CGeometry(const CGeometry&) = delete;
    CGeometry& operator=(const CGeometry&) = delete;

    // Material slot i takes the texture store's entry for ids[i] (none for an id outside the store),
    // for i below both the list length and the material count. An empty or null list changes nothing.
    void replaceTextures(const std::vector<int>* ids);

    _FS_GEO_HEADER* geo;
};

template <>
struct CResourceStorageSize<CGeometry> {
    static constexpr uint32_t value = 160;
};

// Checks a geometry sub-file before it is wrapped: a null or unusable block gives null (with a log line
// naming the sub-file), else a new prepared CGeometry.
CGeometry* LoadGeometry(void* data, int length, int subFile);
