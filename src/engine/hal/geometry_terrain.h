// The terrain path: a subtile's low-detail block (world/terrain_low_detail.h: packet count at byte 168,
// packets from byte 176, each starting with its length in quadwords) chained to VU1 as it stands, one
// reference per packet, as one task. The terrain renderer sends its own textures, environments,
// parameter block and program around it.
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

// Returns 0, or -1 when the block has no packets or the frame's tags are used up (nothing queued).
int veEngineHardwareDrawTerrain(_FS_GEO_HEADER* block);
inline int veEngineDrawTerrain(_FS_GEO_HEADER* block) {
    return veEngineHardwareDrawTerrain(block);
}
