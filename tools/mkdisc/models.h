// The sample disc's models: the skinned rider in gear and motocross bike (three levels of detail each),
// their team textures, and the shadow blocks of the common-objects file.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/hal/geometry_format.h"
#include "engine/hal/geometry_skinned_format.h"

// The geometry sub-files of the common-objects master file (index -> block): 0-2 the skinned bike's three
// levels of detail (finest first), 6 the bike's shadow, 9, 8, 7 the skinned rider's levels (finest
// first), 10 the rider's shadow. The skinned models are in the motions' space (motions.h); the shadows
// lie on y = 0. Empty for other indices.
std::vector<uint8_t> WriteCommonGeometry(int index);

// The rider in gear and the bike at a level of detail (0 finest, 2 coarsest): material 0 takes the team's
// jersey or plastics texture, 1 the helmet or tyres, 2 the rest (coloured per vertex).
SkinMesh RiderGearMesh(int detail);
SkinMesh BikeMesh(int detail);
BitmapImage RiderJerseyTexture(uint32_t base, uint32_t trim);
BitmapImage RiderHelmetTexture(uint32_t base, uint32_t trim);
BitmapImage BikePlasticsTexture(uint32_t base, uint32_t trim);
// The writer's samples: a box around each bone, bound to it, for VU0 (lit) or VU1 (pre-lit) skinning.
SkinMesh RiderSkinMesh(bool vu0);
SkinMesh BikeSkinMesh(bool vu0);
std::vector<uint8_t> WriteRiderSkinnedGeometry(bool vu0);
std::vector<uint8_t> WriteBikeSkinnedGeometry(bool vu0);
