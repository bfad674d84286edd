// Skinned geometry: blocks whose vertices follow the bones of their skeleton, with a bone palette set
// each frame by the animation code. Two paths: VU1 blends the bones itself (geoType 0x10), or VU0
// deforms each strip in place before VU1 draws it (geoType 0x200).
//
// Skinned material record: materialId, numTriangles, numPackets (the number of strip groups), numVerts,
// then the groups. A group is one or more subpackets; a subpacket is a 16-byte info record whose words
// are: bytes from the end of the info to the next info; bytes from the end of the info to the strip's
// vertex data; bytes of vertex data; bytes of the execute command that follows the vertex data. The data
// of a group's first subpacket begins with u16 subpacket count, u16 bone-index count (at most 12) and
// that many u16 indices into the bone array. The strip data is laid out as engine/vu1/skinned_programs.h
// describes. In a VU0 block each strip's VU0 input block (engine/vu1/vu0_deform.h) follows its execute
// command and runs to the next info.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/hal/geometry.h"
#include "engine/sys/math.h"

// VIF code quadwords of the skinned packets, sent as they stand.
inline constexpr uint32_t stripVifCommand1[4] = {0, 0, 0, 0x6C3C0000};  // UNPACK V4-32, 60 qw to 0
inline constexpr uint32_t stripVifCommand2[4] = {0, 0, 0, 0x14000000};  // MSCAL 0
inline constexpr uint32_t clipCacheCommand0[4] = {0x6D018000, 0x00000008, 0, 0x6C058001};
inline constexpr uint32_t clipCacheCommand1[4] = {0, 0, 0, 0x17000000};  // MSCNT

// The clip packet of a skinned draw in display mode 0x4000000 (7 qw): the marker (8, 0, 0, 0) to
// TOPS+0, the local-to-clip matrix and the RGBA scale to TOPS+1..5, then MSCNT.
struct alignas(16) _motionInstanceData {
    uint32_t vifCommand0[4];
    _matrix4 l2s;  // the local-to-clip matrix
    _RGBA_GEO rgbaScale;
    uint32_t vifCommand1[4];
};
static_assert(sizeof(_motionInstanceData) == 7 * 16);

// Most bone indices a strip group may name (VU1 holds 12 bones).
inline constexpr int kSkinGroupBones = 12;

// Checks the skinned parts of a block image: the skeleton's bone ids and parents, and every material,
// group and strip (counts, sizes, bone indices, vertex bone slots). Refused with a log line (the reason
// after "veEngineCheckSkinnedGeo: ").
FormatCheck CheckSkinnedGeoImage(const void* block, size_t length);
// The same answer as 1 (usable) or 0 (refused).
int veEngineCheckSkinnedGeo(const void* block, size_t length);

// Copies the skeleton's bone count (at most 40) of palette matrices into the bone array.
void veEngineSetBoneArray(const _matrix4* bones, const _geo_skeleton* skeleton);

void engineHardwareDrawStripMotion(_FS_GEO_HEADER* block);
void engineHardwareDrawStripMotionVU0(_FS_GEO_HEADER* block);

// Strip groups drawn and refused while drawing since start-up (tests, diagnostics).
uint64_t veEngineSkinnedGroupsDrawn();
