// The sample disc's skeletons and motions: a 27-bone rider and a 12-bone bike with their motions (idle,
// lean left, lean right, jump). Rider motions are 16-bit sampled quaternions (version 2), bike motions
// float sampled quaternions (version 1); both fit any bone count, which the packed encodings' fixed
// routing does not.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/anim/anim_format.h"

// Render units (physics x 100), +Y down, +Z forward, the rider's left at +X.
// Rider: 0 pelvis, 1 waist, 2 spine, 3 chest, 4 neck, 5-9 left clavicle/shoulder/elbow/hand/fingers,
// 10-14 the right ones, 15 head, 16 hips, 17-21 left hip/thigh/knee/foot/toe, 22-26 the right ones.
std::vector<_bone> RiderSkeletonBones();
// Bike: 0 frame, 1 steering head, 2 handlebar, 3 fork, 4 front wheel, 5 seat, 6 left peg, 7 right peg,
// 8 engine, 9 exhaust, 10 swingarm, 11 rear wheel.
std::vector<_bone> BikeSkeletonBones();

enum class MotionKind { Idle, LeanLeft, LeanRight, Jump };

// The poses of a sample motion, frame by frame (lean right is lean left mirrored).
std::vector<SampledFrame> RiderMotionFrames(MotionKind kind);
std::vector<SampledFrame> BikeMotionFrames(MotionKind kind);
// The motion blocks for the disc.
std::vector<uint8_t> WriteRiderMotion(MotionKind kind);
std::vector<uint8_t> WriteBikeMotion(MotionKind kind);

// The motion at sub-file `index` of the common-objects file (rider motions 12-13, 15, 17, 19, 21-27, 29,
// 31, 33, 35-68, 70, 74; bike motions 14, 16, 18, 20, 30, 32, 34, 69, 71, 75); empty for other indices.
std::vector<uint8_t> WriteCommonMotion(int index);
