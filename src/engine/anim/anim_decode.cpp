#include "engine/anim/anim_decode.h"

#include <cmath>
#include <cstring>

namespace {

const uint8_t* Bytes(const _animation* a) {
    return reinterpret_cast<const uint8_t*>(a);
}

template <typename T>
T Read(const uint8_t* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// The pose holds boneCount rotations; a skeleton outside 1..40 bones has no pose to fill.
uint32_t PoseBones(const _skeleton* skel) {
    if (!skel || skel->boneCount == 0 || skel->boneCount > kAnimMaxBones) return 0;
    return skel->boneCount;
}

void IdentityBones(_angle_array* pose, uint32_t bones) {
    for (uint32_t i = 0; i < bones; ++i) Q_Identity(&pose->angles[i]);
}

float Hermite(const float w[4], float a, float b, float ta, float tb, float d) {
    return w[0] * a + w[1] * b + w[2] * ta * d + w[3] * tb * d;
}

// ---- sampled -----------------------------------------------------------------------------------------

struct FramePick {
    uint32_t i;  // first frame
    float a, b;  // weights of frames i and i + 1
    bool exact;  // frame i alone
};

// t is clamped to 0 .. the last frame: past it the last frame is held, so frame i + 1 always exists.
FramePick PickFrame(float t, uint32_t frames, bool floorMode) {
    if (!(t > 0.0f)) t = 0.0f;
    const float f = 60.0f * t;
    const float fi = floorMode ? x_floor(f) : std::trunc(f);
    if (!(fi < static_cast<float>(frames - 1))) return {frames - 1, 1.0f, 0.0f, true};
    const uint32_t i = static_cast<uint32_t>(fi);
    if (f == fi) return {i, 1.0f, 0.0f, true};
    return {i, static_cast<float>(i + 1) - f, f - fi, false};
}

_quaternion FrameQuat(const uint8_t* q, bool compressed) {
    _quaternion r;
    if (compressed) {
        Q_SetupFromFixed(&r, Read<int16_t>(q), Read<int16_t>(q + 2), Read<int16_t>(q + 4),
                         Read<int16_t>(q + 6));
    } else {
        r.S = Read<float>(q);
        r.Axis.x = Read<float>(q + 4);
        r.Axis.y = Read<float>(q + 8);
        r.Axis.z = Read<float>(q + 12);
    }
    return r;
}

_vector3d FrameRoot(const uint8_t* f) {
    return {Read<float>(f), Read<float>(f + 4), Read<float>(f + 8)};
}

void SampledGetAngle(_angle_array* pose, const _animation* anim, const _skeleton* skel, float t,
                     bool compressed) {
    const uint32_t bones = PoseBones(skel);
    if (!bones) return;
    const uint32_t qb = compressed ? 8 : 16;
    const uint32_t frameBytes = 12 + qb * bones;
    const FramePick pick = PickFrame(t, veAnimSampledFrameCount(anim), !compressed);
    const uint8_t* fi = Bytes(anim) + sizeof(_animation) + size_t(pick.i) * frameBytes;
    if (pick.exact) {
        pose->rootPosition = FrameRoot(fi);
        for (uint32_t b = 0; b < bones; ++b) pose->angles[b] = FrameQuat(fi + 12 + qb * b, compressed);
        return;
    }
    const uint8_t* fj = fi + frameBytes;
    _vector3d ri = FrameRoot(fi), rj = FrameRoot(fj);
    V3_Scale(&ri, &ri, pick.a);
    V3_Scale(&rj, &rj, pick.b);
    V3_Add(&pose->rootPosition, &ri, &rj);
    // Component by component, neither normalised nor sign-matched: neighbouring frames are close.
    for (uint32_t b = 0; b < bones; ++b) {
        _quaternion qi = FrameQuat(fi + 12 + qb * b, compressed),
                    qj = FrameQuat(fj + 12 + qb * b, compressed);
        Q_Scale(&qi, &qi, pick.a);
        Q_Scale(&qj, &qj, pick.b);
        Q_Add(&pose->angles[b], &qi, &qj);
    }
}

// ---- version 6 ---------------------------------------------------------------------------------------

struct DvoFormat {
    bool packed;      // 10-byte keys, u8 times in 1/60 s
    float timeScale;  // seconds per time unit
};

DvoFormat Revision1() {
    return {false, 1.0f / 16384.0f};
}
DvoFormat Revision1Packed() {
    return {true, 1.0f / 60.0f};
}
DvoFormat Revision2() {
    return {false, 1.0f / 4096.0f};
}

struct DvoChannel {
    const uint8_t* block;
    const AnimDvoHeader& h;
    DvoFormat fmt;
    uint32_t start;  // first entry
    uint32_t keys;   // key count

    uint32_t Entry(uint32_t e) const {
        const uint8_t* t = block + h.timeTableOffset;
        return fmt.packed ? t[e] : Read<uint16_t>(t + 2 * size_t(e));
    }
    // Key k lies at time 0 for k = 0; time entry start + k otherwise.
    float Time(uint32_t k) const {
        return k == 0 ? 0.0f : static_cast<float>(Entry(start + k)) * fmt.timeScale;
    }
    AnimDvoKey Key(uint32_t k, bool position) const {
        const uint32_t e = start + k;
        if (!fmt.packed) return Read<AnimDvoKey>(block + h.keyTableOffset + size_t(e) * sizeof(AnimDvoKey));
        const uint8_t* p = block + h.keyTableOffset + size_t(e) * kDvoPackedKeyBytes;
        return position ? veAnimUnpackPositionKey(p) : veAnimUnpackRotationKey(p);
    }
};

// Channel c of the block; false when it is absent or has fewer than two keys.
bool OpenChannel(DvoChannel* ch, uint32_t c) {
    ch->start = ch->h.channelStart[c];
    if (ch->start == kDvoChannelAbsent) return false;
    ch->keys = ch->Entry(ch->start);
    return ch->keys >= 2;
}

struct Segment {
    uint32_t k;  // keys k and k + 1
    float u, d;
};

Segment FindSegment(const DvoChannel& ch, float t) {
    const uint32_t n = ch.keys;
    if (t < 0.0f) return {0, 0.0f, 0.0f};
    const float last = ch.Time(n - 1);
    const Segment end = {n - 2, 1.0f, last - ch.Time(n - 2)};
    if (t >= last) return end;
    const float t1 = ch.Time(1);
    if (t < t1) return {0, t / t1, t1};
    float prev = t1;
    for (uint32_t k = 2; k < n; ++k) {
        const float tk = ch.Time(k);
        if (t < tk) {
            const float d = tk - prev;
            return {k - 1, (t - prev) / d, d};
        }
        prev = tk;
    }
    return end;  // only a NaN time gets here
}

void DvoJointAngles(float out[3], const AnimDvoKey* a, const AnimDvoKey* b, int mirror, float u, float d) {
    constexpr float kTwoPi = 6.2831855f;
    float va[3], vb[3], ta[3], tb[3];
    for (int i = 0; i < 3; ++i) {
        va[i] = veAnimDvoComponent(a->value[i], AnimDvoExponent(*a, i));
        vb[i] = veAnimDvoComponent(b->value[i], AnimDvoExponent(*b, i));
        ta[i] = veAnimDvoComponent(a->tangent[i], AnimDvoExponent(*a, 3 + i));
        tb[i] = veAnimDvoComponent(b->tangent[i], AnimDvoExponent(*b, 3 + i));
    }
    for (int i = 0; i < 3; ++i)
        if (a->flags & (1 << i)) va[i] += b->value[i] > 0 ? -kTwoPi : kTwoPi;
    for (int i = 0; i < 3; ++i)
        if (x_fabs(vb[i] - (va[i] + kTwoPi)) < x_fabs(vb[i] - va[i])) va[i] += kTwoPi;
    for (int i = 0; i < 3; ++i)
        if (x_fabs(vb[i] - (va[i] - kTwoPi)) < x_fabs(vb[i] - va[i])) va[i] -= kTwoPi;
    float w[4];
    veAnimHermiteBasis(u, w);
    for (int i = 0; i < 3; ++i) out[i] = Hermite(w, va[i], vb[i], ta[i], tb[i], d);
    if (mirror) {
        out[1] = -out[1];
        out[2] = -out[2];
    }
}

bool DvoPositionAt(_vector3d* out, const _animation* anim, const DvoFormat& fmt, float t) {
    const AnimDvoHeader h = Read<AnimDvoHeader>(Bytes(anim));
    DvoChannel ch{Bytes(anim), h, fmt, 0, 0};
    if (!OpenChannel(&ch, kDvoPositionChannel)) return false;
    const Segment s = FindSegment(ch, t);
    const AnimDvoKey a = ch.Key(s.k, true), b = ch.Key(s.k + 1, true);
    float w[4];
    veAnimHermiteBasis(s.u, w);
    float p[3];
    for (int i = 0; i < 3; ++i)
        p[i] = Hermite(w, veAnimDvoComponent(a.value[i], AnimDvoExponent(a, i)),
                       veAnimDvoComponent(b.value[i], AnimDvoExponent(b, i)),
                       veAnimDvoComponent(a.tangent[i], AnimDvoExponent(a, 3 + i)),
                       veAnimDvoComponent(b.tangent[i], AnimDvoExponent(b, 3 + i)), s.d);
    V3_Set(out, p[0], p[1], p[2]);
    return true;
}

void DvoGetPosition(_angle_array* pose, const _animation* anim, const DvoFormat& fmt, int mirror, float t) {
    _vector3d p;
    if (!DvoPositionAt(&p, anim, fmt, t)) return;
    if (mirror) {
        _vector3d p0;
        DvoPositionAt(&p0, anim, fmt, 0.0f);
        p.x = p0.x - (p.x - p0.x);
    }
    pose->rootPosition = p;
}

void DvoGetAngle(_angle_array* pose, const _animation* anim, const _skeleton* skel, const DvoFormat& fmt,
                 int mirror, float t) {
    const uint32_t bones = PoseBones(skel);
    if (!bones) return;
    IdentityBones(pose, bones);
    const AnimDvoHeader h = Read<AnimDvoHeader>(Bytes(anim));
    for (uint32_t c = 0; c < kDvoRotationChannels; ++c) {
        DvoChannel ch{Bytes(anim), h, fmt, 0, 0};
        if (!OpenChannel(&ch, c)) continue;
        const Segment s = FindSegment(ch, t);
        const AnimDvoKey a = ch.Key(s.k, false), b = ch.Key(s.k + 1, false);
        if (c == kDvoOrientationChannel) {
            veAnimHermiteGetOrientationJoint_DVO_1(&pose->rootOrientation, &a, &b, mirror, s.u, s.d);
            continue;
        }
        const uint32_t bone = mirror ? static_cast<uint32_t>(mirrorMapArray[c]) : v6remapArray[c];
        if (bone < bones) veAnimHermiteGetAngleJoint_DVO_1(&pose->angles[bone], &a, &b, mirror, s.u, s.d);
    }
    DvoGetPosition(pose, anim, fmt, mirror, t);
}

}  // namespace

// ---- header ------------------------------------------------------------------------------------------

float veAnimGetAnimationLength_DVO(const _animation* anim) {
    const AnimDvoHeader h = Read<AnimDvoHeader>(Bytes(anim));
    return static_cast<float>(h.length) / (h.revision == 2 ? 4096.0f : 16384.0f);
}

float veAnimGetAnimationLength(const _animation* anim) {
    if (AnimHeader(anim).versionID == 6) return veAnimGetAnimationLength_DVO(anim);
    return Read<float>(Bytes(anim) + 4);
}

void* veAnimGetAnimationData(_animation* anim) {
    return reinterpret_cast<uint8_t*>(anim) + sizeof(_animation);
}

uint32_t veAnimSampledFrameCount(const _animation* anim) {
    const double n = std::floor(60.0 * static_cast<double>(Read<float>(Bytes(anim) + 4)) + 0.5);
    if (!(n >= 1.0)) return 1;
    return n > 16777216.0 ? 16777216u : static_cast<uint32_t>(n);
}

// ---- shared helpers ----------------------------------------------------------------------------------

void veAnimHermiteBasis(float u, float w[4]) {
    const float u2 = u * u, u3 = u2 * u;
    w[0] = 2.0f * u3 - 3.0f * u2 + 1.0f;
    w[1] = -2.0f * u3 + 3.0f * u2;
    w[2] = u3 - 2.0f * u2 + u;
    w[3] = u3 - u2;
}

float veAnimDvoComponent(int16_t raw, int exponent) {
    return static_cast<float>(raw) / static_cast<float>(1 << (exponent & 15));
}

AnimDvoKey veAnimUnpackRotationKey(const uint8_t* p) {
    AnimDvoKey k{};
    const auto sign = [](uint8_t mag, bool neg) { return static_cast<int16_t>(neg ? -int(mag) : int(mag)); };
    k.flags = static_cast<uint8_t>(((p[3] >> 2) & 1) | (((p[3] >> 1) & 1) << 1) | ((p[3] & 1) << 2));
    k.value[0] = sign(p[4], p[2] & 0x80);
    k.value[1] = sign(p[5], p[2] & 0x08);
    k.value[2] = sign(p[6], p[1] & 0x80);
    k.tangent[0] = sign(p[7], p[1] & 0x08);
    k.tangent[1] = sign(p[8], p[0] & 0x80);
    k.tangent[2] = sign(p[9], p[0] & 0x08);
    AnimDvoSetExponent(&k, 0, ((p[2] >> 4) & 7) + 1);
    AnimDvoSetExponent(&k, 1, (p[2] & 7) + 1);
    AnimDvoSetExponent(&k, 2, ((p[1] >> 4) & 7) + 1);
    AnimDvoSetExponent(&k, 3, p[1] & 7);
    AnimDvoSetExponent(&k, 4, (p[0] >> 4) & 7);
    AnimDvoSetExponent(&k, 5, p[0] & 7);
    return k;
}

AnimDvoKey veAnimUnpackPositionKey(const uint8_t* p) {
    AnimDvoKey k{};
    const uint16_t w0 = Read<uint16_t>(p), w1 = Read<uint16_t>(p + 2), w2 = Read<uint16_t>(p + 4);
    int z = w0 & 0x7FFF;
    if (z & 0x4000) z -= 0x8000;  // 15-bit two's complement
    const int x = w2 & 0x1FFF;
    k.value[0] = static_cast<int16_t>((w1 & 0x4000) ? -x : x);
    k.value[1] = static_cast<int16_t>(int(w1 & 0x3FFF) - 1600);  // stored as (y + 100) x 16
    k.value[2] = static_cast<int16_t>(z);
    k.tangent[0] = static_cast<int16_t>((w1 & 0x8000) ? -int(p[7]) : int(p[7]));
    k.tangent[1] = static_cast<int16_t>((p[6] & 0x80) ? -int(p[8]) : int(p[8]));
    k.tangent[2] = static_cast<int16_t>((p[6] & 0x08) ? -int(p[9]) : int(p[9]));
    AnimDvoSetExponent(&k, 0, 4);
    AnimDvoSetExponent(&k, 1, 4);
    AnimDvoSetExponent(&k, 2, 4);
    AnimDvoSetExponent(&k, 3, w2 >> 13);
    AnimDvoSetExponent(&k, 4, (p[6] >> 4) & 7);
    AnimDvoSetExponent(&k, 5, p[6] & 7);
    return k;
}

// ---- decoders ----------------------------------------------------------------------------------------

void veAnimQtnGetAngle(_angle_array* pose, const _animation* anim, const _skeleton* skel, float t) {
    SampledGetAngle(pose, anim, skel, t, false);
}

void veAnimCompressedQtnGetAngle(_angle_array* pose, const _animation* anim, const _skeleton* skel, float t) {
    SampledGetAngle(pose, anim, skel, t, true);
}

void veAnimHermiteGetAngleJoint(_quaternion* out, const AnimHermiteKey* a, const AnimHermiteKey* b, float u) {
    float w[4];
    veAnimHermiteBasis(u, w);
    float r[3];
    for (int i = 0; i < 3; ++i)
        r[i] = Hermite(w, a->value[i], b->value[i], a->tangent[i], b->tangent[i], 1.0f);
    Q_SetupFromAngles(out, r[0], r[1], r[2]);
}

void veAnimHermiteGetAngle(_angle_array* pose, const _animation* anim, const _skeleton* skel, float t) {
    const uint32_t bones = PoseBones(skel);
    if (!bones) return;
    IdentityBones(pose, bones);
    const uint8_t* p = Bytes(anim);
    const AnimHermiteHeader h = Read<AnimHermiteHeader>(p + sizeof(_animation));
    const uint32_t channels = h.channelCount < kHermiteMaxChannels ? h.channelCount : kHermiteMaxChannels;
    for (uint32_t c = 0; c < channels; ++c) {
        const AnimHermiteChannel ch =
            Read<AnimHermiteChannel>(p + h.directoryOffset + size_t(c) * sizeof(AnimHermiteChannel));
        const uint32_t bone = remapArray[c];
        if (ch.keyCount < 2 || bone >= bones) continue;
        const uint8_t* keys = p + ch.keyOffset;
        const auto key = [keys](uint32_t j) {
            return Read<AnimHermiteKey>(keys + size_t(j) * sizeof(AnimHermiteKey));
        };
        AnimHermiteKey ka = key(0), kb = key(1);
        float u = 0.0f;
        const AnimHermiteKey last = key(ch.keyCount - 1);
        if (t <= ka.time) {
            u = 0.0f;
        } else if (t < last.time) {
            for (uint32_t j = 1; j < ch.keyCount; ++j) {
                kb = key(j);
                if (t < kb.time) {
                    ka = key(j - 1);
                    u = (t - ka.time) / (kb.time - ka.time);
                    break;
                }
            }
        } else {
            ka = key(ch.keyCount - 2);
            kb = last;
            u = 1.0f;
        }
        veAnimHermiteGetAngleJoint(&pose->angles[bone], &ka, &kb, u);
    }
}

void veAnimHermiteGetAngleJoint_DVO_1(_quaternion* out, const AnimDvoKey* a, const AnimDvoKey* b, int mirror,
                                      float u, float duration) {
    float r[3];
    DvoJointAngles(r, a, b, mirror, u, duration);
    Q_SetupFromAngles(out, r[0], r[1], r[2]);
}

void veAnimHermiteGetAngleJoint_DVO_2_Intro(_quaternion* out, const AnimDvoKey* a, const AnimDvoKey* b,
                                            int mirror, float u, float duration) {
    veAnimHermiteGetAngleJoint_DVO_1(out, a, b, mirror, u, duration);
}

void veAnimHermiteGetOrientationJoint_DVO_1(float* out, const AnimDvoKey* a, const AnimDvoKey* b, int mirror,
                                            float u, float duration) {
    float r[3];
    DvoJointAngles(r, a, b, mirror, u, duration);
    _vector3d v = {0.0f, 0.0f, 1.0f};
    V3_RotateX(&v, &v, r[0]);
    V3_RotateY(&v, &v, r[1]);
    V3_RotateZ(&v, &v, r[2]);
    float pitch, heading;
    V3_ZToVecRot(&v, &pitch, &heading);
    *out = heading;
}

void veAnimHermiteGetPosition_DVO_1(_angle_array* pose, const _animation* anim, int mirror, float t) {
    DvoGetPosition(pose, anim, Revision1(), mirror, t);
}
void veAnimHermiteGetPosition_DVO_1_1(_angle_array* pose, const _animation* anim, int mirror, float t) {
    DvoGetPosition(pose, anim, Revision1Packed(), mirror, t);
}
void veAnimHermiteGetPosition_DVO_2_Intro(_angle_array* pose, const _animation* anim, int mirror, float t) {
    DvoGetPosition(pose, anim, Revision2(), mirror, t);
}

void veAnimHermiteGetAngle_DVO_1(_angle_array* pose, const _animation* anim, const _skeleton* skel,
                                 int mirror, float t) {
    DvoGetAngle(pose, anim, skel, Revision1(), mirror, t);
}
void veAnimHermiteGetAngle_DVO_1_1(_angle_array* pose, const _animation* anim, const _skeleton* skel,
                                   int mirror, float t) {
    DvoGetAngle(pose, anim, skel, Revision1Packed(), mirror, t);
}
void veAnimHermiteGetAngle_DVO_2_Intro(_angle_array* pose, const _animation* anim, const _skeleton* skel,
                                       int mirror, float t) {
    DvoGetAngle(pose, anim, skel, Revision2(), mirror, t);
}

void veAnimHermiteInitAnimation(_animation*) {}
void veAnimHermiteAllocWorkingAnimation(_animation*) {}
void veAnimQtnInitAnimation(_animation*) {}
void veAnimQtnAllocWorkingAnimation(_animation*) {}
