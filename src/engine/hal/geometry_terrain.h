// The terrain path: a prepared block's material packets chained to VU1 as they stand, as one task. The
// terrain renderer sends its own textures, environments, matrices and programs around it.
#pragma once

#include "engine/hal/geometry.h"
#include "engine/hal/microcode.h"

// The terrain renderer's VU1 programs (ids 0x0301-0x030A of the registry; the renderer registers them).
extern const _ve_microcode vu1TerrainStitching0;
extern const _ve_microcode vu1TerrainLod0ClipNew;
extern const _ve_microcode vu1TerrainLod0New;
extern const _ve_microcode vu1TerrainLod1New;
extern const _ve_microcode vu1TerrainLod1CullNew;
extern const _ve_microcode vu1TerrainLod1ClipNew;
extern const _ve_microcode vu1TerrainLod1Clip;
extern const _ve_microcode vu1TerrainLod1ClipMultiTexture;
extern const _ve_microcode vu1TerrainStitchingCull;
extern const _ve_microcode vu1TerrainStitchingMultiTexture;

// Returns 0, or -1 when the block has no material record or the frame's tags are used up (nothing queued).
int veEngineHardwareDrawTerrain(_FS_GEO_HEADER* block);
inline int veEngineDrawTerrain(_FS_GEO_HEADER* block) {
    return veEngineHardwareDrawTerrain(block);
}
