// The particle pictures of the common-objects file: the mud clod, the dust puff and the trail streak.
#pragma once

#include <cstdint>
#include <vector>

// True for the common-objects sub-files holding a particle picture.
bool IsParticleTexture(int slot);
// The picture of that sub-file (an 8-bit palettised bitmap whose palette runs from clear to opaque).
std::vector<uint8_t> WriteParticleTexture(int slot);
