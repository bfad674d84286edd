// The engine's animation interface: poses of a skeleton sampled from animation blocks, blended, mirrored
// left to right, and turned into bone palettes (one matrix per bone, row vectors, a point in a bone's space
// carried first by the bone's own rotation and offset, then by its parent's matrix) for skinned drawing.
//
// Skeletons and blocks from files are checked first (anim_check.h). A skeleton outside 1..40 bones is
// never posed: every function here leaves its output alone for one.
#pragma once

#include <cstdint>

#include "engine/anim/anim_decode.h"
#include "engine/anim/anim_format.h"
#include "engine/anim/skeleton.h"

uint32_t veAnimGetNumBones(const _skeleton* skel);

// A pose from the engine heap: root position zero, heading zero, every bone identity. Null when the
// skeleton has no valid bone count or the heap is exhausted.
_angle_array* veAnimAllocAngleArray(const _skeleton* skel);
void veAnimFreeAngleArray(_angle_array* pose);
// boneCount matrices from the engine heap, not initialised; null as above.
_matrix4* veAnimAllocBonePalette(const _skeleton* skel);
void veAnimFreeBonePalette(_matrix4* palette);

// By version: nothing to prepare for any encoding.
void veAnimInitAnimation(_animation* anim);
void veAnimAllocWorkingAnimation(_animation* anim);

// Samples the block at t seconds into the pose, by version and revision; an unknown encoding leaves the
// pose as it was. Only version 6 reads the mirror flag (it routes channels to the twin bones).
void veAnimGetAngle(_angle_array* pose, const _animation* anim, const _skeleton* skel, int mirror, float t);
// The mirror flag comes before the time: a call with the two swapped would turn the time into the flag
// and read the animation at 0 s, so it does not compile.
void veAnimGetAngle(_angle_array* pose, const _animation* anim, const _skeleton* skel, float t,
                    int mirror) = delete;

// out = (1 - w) a + w b for the root position, spherical interpolation per bone; the heading of out is
// left as it is. out may be a or b.
void veAnimBlendMotion(_angle_array* out, const _angle_array* a, const _angle_array* b, const _skeleton* skel,
                       float w);
// Reflects the pose in the plane x = 0: root x negated, every rotation reflected, twins exchanged.
void veAnimMirrorAnglesFast(_angle_array* pose, const _skeleton* skel);
// Fills the palette; with a base matrix the root is carried by it (root first, then base).
void veAnimGetMatriciesFast(_matrix4* palette, const _angle_array* pose, const _skeleton* skel,
                            const _matrix4* base);
// The translation of a bone's palette matrix; zero for a bone outside the skeleton when one is given.
void veAnimGetBonePositionFast(_vector3d* out, const _matrix4* palette, const _skeleton* skel, uint16_t bone);
