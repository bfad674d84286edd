// Skeletons and poses. A skeleton is the bone list of a skinned model (copied from its geometry): a
// parent always precedes its children and bone 0 is the root. A pose (_angle_array) is the root position,
// a heading and one rotation per bone; a bone palette is one matrix per bone.
#pragma once

#include <cstdint>

#include "engine/sys/math.h"

struct _bone {
    char name[16];
    _vector3d parentToBone;  // offset from the parent bone
    _vector3d globalPos;     // bind-pose position
    uint32_t boneID;         // own index
    uint32_t parentID;       // parent's index (bone 0: not read)
    uint32_t mirrorID;       // the left/right twin, 0 = none
    uint32_t spare[3];
};
static_assert(sizeof(_bone) == 64);

struct _skeleton {
    uint32_t boneCount;
    _bone* boneArray;
};

struct _angle_array {
    _vector3d rootPosition;
    float rootOrientation;  // heading, radians
    _quaternion angles[];   // one per bone, scalar first
};
static_assert(sizeof(_angle_array) == 16);
