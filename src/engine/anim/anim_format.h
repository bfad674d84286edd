// Skeletal animation blocks as they lie in the motion files. One definition serves the decoders and the
// disc writer. All multi-byte values are little-endian; offsets are from the start of the block. Blocks
// are read through memcpy, so they need no particular alignment.
//
// Every block starts with the 8-byte _animation header. The encodings by versionID:
//   1  sampled: from offset 8, 60 frames a second; a frame is the root position (3 x f32) and one
//      quaternion per skeleton bone in bone order (4 x f32, scalar first). Frame = 12 + 16 x bones.
//   2  as 1 with quaternions of 4 x s16 (value / 16384). Frame = 12 + 8 x bones.
//   3  Hermite splines of Euler angles: AnimHermiteHeader at 8, a directory of AnimHermiteChannel,
//      28-byte AnimHermiteKey records. Channel c drives bone remapArray[c].
//   6  packed Hermite: AnimDvoHeader (68 bytes, the header's bytes 4..7 re-used), a time table and a key
//      table indexed in parallel: a channel starting at entry i has its key count n in time entry i and
//      the time of key k (k >= 1; key 0 is at time 0) in time entry i + k; key k is key entry i + k.
//      Revision 1 / sub-revision 0: u16 times / 16384 s, 16-byte keys. Revision 2: u16 times / 4096 s,
//      16-byte keys. Revision 1 / sub-revision 1: u8 times / 60 s, 10-byte packed keys.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/anim/skeleton.h"

struct _animation {
    uint16_t versionID;
    uint8_t revisionID;
    uint8_t subRevisionID;
    float length;  // versions 1 to 3; version 6 keeps a u16 length and the time-table offset here
};
static_assert(sizeof(_animation) == 8);

// The header read byte-wise: a block handed in from outside need not be aligned.
inline _animation AnimHeader(const _animation* a) {
    _animation h;
    std::memcpy(&h, a, sizeof h);
    return h;
}

inline constexpr uint32_t kAnimFramesPerSecond = 60;
inline constexpr uint32_t kAnimMaxBones = 40;  // the engine's bone array holds 40 matrices

// ---- version 3 -------------------------------------------------------------------------------------

struct AnimHermiteHeader {  // at offset 8
    uint32_t channelCount;  // at most kHermiteMaxChannels
    uint32_t unused;
    uint32_t directoryOffset;
};
static_assert(sizeof(AnimHermiteHeader) == 12);

struct AnimHermiteChannel {
    uint32_t keyCount;
    uint32_t keyOffset;
};
static_assert(sizeof(AnimHermiteChannel) == 8);

struct AnimHermiteKey {
    float time;        // seconds
    float value[3];    // Euler angles x, y, z in radians
    float tangent[3];  // radians per second
};
static_assert(sizeof(AnimHermiteKey) == 28);

inline constexpr uint32_t kHermiteMaxChannels = 30;
inline constexpr uint8_t remapArray[kHermiteMaxChannels] = {0,  1,  2,  3,  4,  5,  6,  7,  16, 17,
                                                            18, 19, 20, 21, 9,  10, 11, 12, 13, 14,
                                                            29, 30, 31, 32, 33, 23, 24, 25, 26, 27};

// ---- version 6 -------------------------------------------------------------------------------------

inline constexpr uint32_t kDvoChannels = 26;
inline constexpr uint32_t kDvoRotationChannels = 25;  // 0..24; 11 of them is the root orientation
inline constexpr uint32_t kDvoOrientationChannel = 11;
inline constexpr uint32_t kDvoPositionChannel = 25;
inline constexpr uint16_t kDvoChannelAbsent = 0xFFFF;

struct AnimDvoHeader {
    uint16_t versionID;   // 6
    uint8_t revision;     // 1 or 2
    uint8_t subRevision;  // 0 or 1 with revision 1
    uint16_t length;      // seconds x 16384 (revision 1) or x 4096 (revision 2)
    uint16_t timeTableOffset;
    uint16_t unused0;
    uint16_t keyTableOffset;
    uint32_t unused1;
    uint16_t channelStart[kDvoChannels];  // first entry of each channel; kDvoChannelAbsent = none
};
static_assert(sizeof(AnimDvoHeader) == 68);

// Key of revision 1 / sub-revision 0 and of revision 2; packed keys are unpacked into this form.
// Component = s16 / 2^exponent.
struct AnimDvoKey {
    uint8_t flags;   // bits 0, 1, 2: take x, y, z the long way
    uint8_t exp[3];  // nibbles: [0] value x | value y << 4, [1] value z | tangent x << 4,
                     //          [2] tangent y | tangent z << 4
    int16_t value[3];
    int16_t tangent[3];
};
static_assert(sizeof(AnimDvoKey) == 16);

inline constexpr uint32_t kDvoPackedKeyBytes = 10;

inline constexpr uint8_t v6remapArray[kDvoRotationChannels] = {
    0, 1, 2, 3, 4, 5, 6, 16, 17, 18, 19, 20, 9, 10, 11, 12, 13, 29, 30, 31, 32, 23, 24, 25, 26};
// The same routing with the left and right limbs exchanged (bones 9..13 with 16..20, 23..26 with 29..32).
inline constexpr int32_t mirrorMapArray[kDvoRotationChannels] = {
    0, 1, 2, 3, 4, 5, 6, 9, 10, 11, 12, 13, 16, 17, 18, 19, 20, 23, 24, 25, 26, 29, 30, 31, 32};

// Exponent nibble n of a key: 0 value x, 1 value y, 2 value z, 3 tangent x, 4 tangent y, 5 tangent z.
inline int AnimDvoExponent(const AnimDvoKey& k, int n) {
    return (k.exp[n >> 1] >> ((n & 1) * 4)) & 15;
}
inline void AnimDvoSetExponent(AnimDvoKey* k, int n, int e) {
    const int shift = (n & 1) * 4;
    k->exp[n >> 1] = static_cast<uint8_t>((k->exp[n >> 1] & ~(15 << shift)) | ((e & 15) << shift));
}

// ---- writer: every encoding the engine reads ----------------------------------------------------

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
