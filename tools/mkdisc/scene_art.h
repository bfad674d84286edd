// The scene's pieces of the common-objects file: the particle pictures (mud clod, dust puff, trail
// streak) and the racers' shadow models (dark silhouettes of the coarsest bike and rider).
#pragma once

#include <cstdint>
#include <vector>

// True for the common-objects sub-files holding a particle picture.
bool IsParticleTexture(int slot);
// The picture of that sub-file (an 8-bit palettised bitmap whose palette runs from clear to opaque).
std::vector<uint8_t> WriteParticleTexture(int slot);

// True for the shadow-model sub-files (6 the bike's, 10 the rider's).
bool IsShadowGeometry(int index);
// The shadow model of that sub-file: the coarsest skinned model of the bike or rider on its skeleton, all
// one opaque dark colour.
std::vector<uint8_t> WriteShadowGeometry(int index);
