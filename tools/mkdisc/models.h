// The sample disc's models: the bike, rider and shadow blocks of the common-objects file, and the
// skinned rider and bike (a box around each bone, bound to it, on the sample skeletons).
#pragma once

#include <cstdint>
#include <vector>

#include "engine/hal/geometry_format.h"
#include "engine/hal/geometry_skinned_format.h"

// The geometry sub-files of the common-objects master file (index -> block): 0-2 the bike's three
// levels of detail (finest first), 6 the bike's shadow, 9, 8, 7 the rider's levels (finest first),
// 10 the rider's shadow. Models stand on y = 0 with -y up and face +z. Empty for other indices.
std::vector<uint8_t> WriteCommonGeometry(int index);

// The sample models: a box around each bone, bound to it.
SkinMesh RiderSkinMesh(bool vu0);
SkinMesh BikeSkinMesh(bool vu0);
std::vector<uint8_t> WriteRiderSkinnedGeometry(bool vu0);
std::vector<uint8_t> WriteBikeSkinnedGeometry(bool vu0);
