// Writes skeletal animation blocks (engine/anim/anim_format.h) in every encoding the engine reads, and
// the sample content: a 27-bone rider and a 12-bone bike skeleton with their motions (idle, lean left,
// lean right, jump). Rider motions are 16-bit sampled quaternions (version 2), bike motions float sampled
// quaternions (version 1); both fit any bone count, which the packed encodings' fixed routing does not.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "engine/anim/anim_format.h"
#include "engine/anim/skeleton.h"

// ---- encodings ---------------------------------------------------------------------------------------

// One frame of a sampled motion.
struct SampledFrame {
    _vector3d root;
    std::vector<_quaternion> bones;
};

// Version 1 (float) or 2 (16-bit) with length = frames / 60 s. Empty for another version, no frames,
// frames of different bone counts, or a 16-bit component outside -2..2.
std::vector<uint8_t> WriteSampledAnimation(uint16_t version, const std::vector<SampledFrame>& frames);

// Version 3: channel c drives bone remapArray[c]. Empty for more than 30 channels.
std::vector<uint8_t> WriteHermiteAnimation(float length,
                                           const std::vector<std::vector<AnimHermiteKey>>& channels);

// A version 6 key before quantisation.
struct DvoKeyValues {
    float time;        // seconds; the first key of a channel is at 0
    float value[3];    // radians, or the root position
    float tangent[3];  // per second
    uint8_t longWay;   // bits 0, 1, 2: x, y, z
};

struct DvoMotion {
    uint8_t revision = 1;                                          // 1 or 2
    uint8_t subRevision = 0;                                       // 0 or 1 with revision 1
    float length = 0.0f;                                           // seconds
    std::array<std::vector<DvoKeyValues>, kDvoChannels> channels;  // empty = absent
};

// Version 6. Empty when something cannot be encoded: an unknown revision, a channel with one key or a
// first key not at 0, a time or length beyond the revision's range, a component too large for its field,
// or tables beyond the 16-bit offsets.
std::vector<uint8_t> WriteDvoAnimation(const DvoMotion& motion);

// The 16-byte key: each component with the largest exponent (0..15) that keeps it in an s16.
AnimDvoKey EncodeDvoKey(const DvoKeyValues& key);
// The 10-byte keys of revision 1 / sub-revision 1; false when a component does not fit.
bool PackRotationKey(const DvoKeyValues& key, uint8_t out[kDvoPackedKeyBytes]);
bool PackPositionKey(const DvoKeyValues& key, uint8_t out[kDvoPackedKeyBytes]);

// ---- sample content ----------------------------------------------------------------------------------

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
