// The store of collision meshes (built by the bike and track-object code from collision data blocks);
// descriptions name them by index.
#pragma once

#include "game/files/resource_storage.h"

class CKineticCollide;

template <>
struct CResourceStorageSize<CKineticCollide> {
    static constexpr uint32_t value = 118;
};
