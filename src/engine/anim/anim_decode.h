// Channel decoding: samples an animation block (anim_format.h) into a pose at a time t in seconds.
//
// The decoders read only what a block checked by veAnimCheckAnimation (anim_check.h) with the same
// skeleton is known to hold; a block that was not checked must not be given to them. Beyond that they
// stay inside the pose whatever the time: sampled blocks clamp t to their frames, routed channels whose
// bone lies outside the skeleton are skipped, channels with fewer than two keys are skipped.
#pragma once

#include <cstdint>

#include "engine/anim/anim_format.h"
#include "engine/anim/skeleton.h"

// Length in seconds: the header's float for versions 1 to 3, the packed u16 for version 6.
float veAnimGetAnimationLength(const _animation* anim);
float veAnimGetAnimationLength_DVO(const _animation* anim);
// The data after the 8-byte header.
void* veAnimGetAnimationData(_animation* anim);

// Frames a sampled block holds for its length (at least one): round(60 x length).
uint32_t veAnimSampledFrameCount(const _animation* anim);

// Hermite weights for u: w0 = 2u^3 - 3u^2 + 1, w1 = -2u^3 + 3u^2, w2 = u^3 - 2u^2 + u, w3 = u^3 - u^2.
void veAnimHermiteBasis(float u, float w[4]);
// s16 / 2^exponent.
float veAnimDvoComponent(int16_t raw, int exponent);
// The 10-byte keys of revision 1 / sub-revision 1 in the 16-byte form.
AnimDvoKey veAnimUnpackRotationKey(const uint8_t* packed);
AnimDvoKey veAnimUnpackPositionKey(const uint8_t* packed);

// Versions 1 and 2: root position and every bone.
void veAnimQtnGetAngle(_angle_array* pose, const _animation* anim, const _skeleton* skel, float t);
void veAnimCompressedQtnGetAngle(_angle_array* pose, const _animation* anim, const _skeleton* skel, float t);
// Version 3: every bone identity, then the bones of its channels.
void veAnimHermiteGetAngle(_angle_array* pose, const _animation* anim, const _skeleton* skel, float t);
// Version 6, revision 1 / 0, revision 1 / 1 and revision 2: bones, root orientation, root position.
void veAnimHermiteGetAngle_DVO_1(_angle_array* pose, const _animation* anim, const _skeleton* skel,
                                 int mirror, float t);
void veAnimHermiteGetAngle_DVO_1_1(_angle_array* pose, const _animation* anim, const _skeleton* skel,
                                   int mirror, float t);
void veAnimHermiteGetAngle_DVO_2_Intro(_angle_array* pose, const _animation* anim, const _skeleton* skel,
                                       int mirror, float t);

// One bone of version 3 between two keys at u in 0..1.
void veAnimHermiteGetAngleJoint(_quaternion* out, const AnimHermiteKey* a, const AnimHermiteKey* b, float u);
// One bone of version 6 over a segment of `duration` seconds (both revisions use the same rules).
void veAnimHermiteGetAngleJoint_DVO_1(_quaternion* out, const AnimDvoKey* a, const AnimDvoKey* b, int mirror,
                                      float u, float duration);
void veAnimHermiteGetAngleJoint_DVO_2_Intro(_quaternion* out, const AnimDvoKey* a, const AnimDvoKey* b,
                                            int mirror, float u, float duration);
// The root heading of version 6 (all revisions).
void veAnimHermiteGetOrientationJoint_DVO_1(float* out, const AnimDvoKey* a, const AnimDvoKey* b, int mirror,
                                            float u, float duration);
// The root position of version 6 from channel 25; mirrored, the path is reflected in x about its start.
void veAnimHermiteGetPosition_DVO_1(_angle_array* pose, const _animation* anim, int mirror, float t);
void veAnimHermiteGetPosition_DVO_1_1(_angle_array* pose, const _animation* anim, int mirror, float t);
void veAnimHermiteGetPosition_DVO_2_Intro(_angle_array* pose, const _animation* anim, int mirror, float t);

// No encoding needs working data: these do nothing.
void veAnimHermiteInitAnimation(_animation* anim);
void veAnimHermiteAllocWorkingAnimation(_animation* anim);
void veAnimQtnInitAnimation(_animation* anim);
void veAnimQtnAllocWorkingAnimation(_animation* anim);
