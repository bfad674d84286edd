// The sample disc's models: the skinned rider in gear and motocross bike (three levels of detail each),
// their team textures, and the shadow blocks of the common-objects file.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/hal/geometry_format.h"
#include "engine/hal/geometry_skinned_format.h"

// The geometry sub-files of the common-objects master file (index -> block): 2, 1, 0 the skinned bike's
// three levels of detail (finest first), 6 the bike's shadow, 9, 8, 7 the skinned rider's levels (finest
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

// The team textures of the common-objects file: 76-95 each rider model's jersey and helmet, 96-115 each
// bike model's plastics (two sets), 116-125 each rider's jersey for the far level; empty elsewhere.
std::vector<uint8_t> WriteTeamTexture(int subFile);
// The high-resolution files of rider or bike model 0-9 ("COMMON/hiRidrNN.bin": jersey, helmet;
// "COMMON/hiBikeNN.bin": plastics), as packed master files.
std::vector<uint8_t> WriteHiResRiderFile(int model);
std::vector<uint8_t> WriteHiResBikeFile(int model);
