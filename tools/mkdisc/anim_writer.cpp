#include "mkdisc/anim_writer.h"

#include <cmath>
#include <cstring>

namespace {

template <typename T>
void Put(std::vector<uint8_t>& out, size_t at, const T& v) {
    if (out.size() < at + sizeof v) out.resize(at + sizeof v, 0);
    std::memcpy(out.data() + at, &v, sizeof v);
}

template <typename T>
void Append(std::vector<uint8_t>& out, const T& v) {
    Put(out, out.size(), v);
}

// ---- quantisation ------------------------------------------------------------------------------------

// The largest exponent in lo..hi for which round(|v| 2^e) <= maxMag; -1 when even lo does not fit.
int ExponentFor(float v, int lo, int hi, long maxMag) {
    for (int e = hi; e >= lo; --e)
        if (std::lround(std::fabs(double(v)) * double(1 << e)) <= maxMag) return e;
    return -1;
}

long Quantise(float v, int e) {
    return std::lround(double(v) * double(1 << e));
}

// Sign bit and 3-bit exponent field of a packed component; the magnitude byte goes to *mag.
bool PackComponent(float v, int bias, uint8_t* field, uint8_t* mag) {
    const int e = ExponentFor(v, bias, bias + 7, 255);
    if (e < 0) return false;
    const long q = Quantise(v, e);
    *mag = static_cast<uint8_t>(q < 0 ? -q : q);
    *field = static_cast<uint8_t>((q < 0 ? 8 : 0) | (e - bias));
    return true;
}

uint16_t TimeUnits(float t, const DvoMotion& m, bool* ok) {
    const double scale = m.revision == 2 ? 4096.0 : (m.subRevision == 1 ? 60.0 : 16384.0);
    const long units = std::lround(double(t) * scale);
    const long max = m.subRevision == 1 && m.revision == 1 ? 255 : 65535;
    if (!(t >= 0.0f) || units > max) *ok = false;
    return static_cast<uint16_t>(units < 0 ? 0 : units > max ? max : units);
}

// ---- sample content ----------------------------------------------------------------------------------

struct BoneDef {
    const char* name;
    int parent;
    _vector3d offset;
    uint32_t mirror;
};

std::vector<_bone> BuildBones(const BoneDef* defs, size_t n) {
    std::vector<_bone> bones(n);
    for (size_t i = 0; i < n; ++i) {
        _bone& b = bones[i];
        std::memset(&b, 0, sizeof b);
        std::strncpy(b.name, defs[i].name, sizeof b.name - 1);
        b.parentToBone = defs[i].offset;
        b.boneID = static_cast<uint32_t>(i);
        b.parentID = defs[i].parent < 0 ? 0u : static_cast<uint32_t>(defs[i].parent);
        b.mirrorID = defs[i].mirror;
        if (defs[i].parent < 0)
            b.globalPos = defs[i].offset;
        else
            V3_Add(&b.globalPos, &bones[size_t(defs[i].parent)].globalPos, &defs[i].offset);
    }
    return bones;
}

_quaternion Euler(float x, float y, float z) {
    _quaternion q;
    Q_SetupFromAngles(&q, x, y, z);
    return q;
}

// 0 at 0, 1 at 1, flat at both ends.
float Smooth(float s) {
    s = s < 0.0f ? 0.0f : s > 1.0f ? 1.0f : s;
    return s * s * (3.0f - 2.0f * s);
}

// The reflection in x = 0 of a frame, as the engine mirrors a pose: root x negated, S and x of each
// rotation negated, twins exchanged.
SampledFrame Mirrored(const SampledFrame& f, const std::vector<_bone>& bones) {
    SampledFrame m = f;
    m.root.x = -m.root.x;
    for (_quaternion& q : m.bones) Q_NegateX(&q, &q);
    for (size_t i = 0; i < bones.size(); ++i) {
        const uint32_t t = bones[i].mirrorID;
        if (t > i && t < m.bones.size()) std::swap(m.bones[i], m.bones[t]);
    }
    return m;
}

constexpr float kTwoPi = 6.2831853f;

}  // namespace

// ---- encodings ---------------------------------------------------------------------------------------

std::vector<uint8_t> WriteSampledAnimation(uint16_t version, const std::vector<SampledFrame>& frames) {
    if ((version != 1 && version != 2) || frames.empty()) return {};
    const size_t bones = frames[0].bones.size();
    std::vector<uint8_t> out;
    _animation h{version, 0, 0, static_cast<float>(frames.size()) / 60.0f};
    Append(out, h);
    for (const SampledFrame& f : frames) {
        if (f.bones.size() != bones) return {};
        Append(out, f.root);
        for (const _quaternion& q : f.bones) {
            if (version == 1) {
                Append(out, q);
                continue;
            }
            const float c[4] = {q.S, q.Axis.x, q.Axis.y, q.Axis.z};
            for (float v : c) {
                const long s = std::lround(double(v) * 16384.0);
                if (s < -32768 || s > 32767) return {};
                Append(out, static_cast<int16_t>(s));
            }
        }
    }
    // Sub-files start on 16-byte boundaries; the pad keeps the block a whole number of quadwords.
    out.resize((out.size() + 15) & ~size_t(15), 0);
    return out;
}

std::vector<uint8_t> WriteHermiteAnimation(float length,
                                           const std::vector<std::vector<AnimHermiteKey>>& channels) {
    if (channels.size() > kHermiteMaxChannels) return {};
    std::vector<uint8_t> out;
    Append(out, _animation{3, 0, 0, length});
    const uint32_t dir = sizeof(_animation) + sizeof(AnimHermiteHeader);
    Append(out, AnimHermiteHeader{static_cast<uint32_t>(channels.size()), 0, dir});
    uint32_t keyAt = dir + static_cast<uint32_t>(channels.size() * sizeof(AnimHermiteChannel));
    for (const auto& ch : channels) {
        Append(out, AnimHermiteChannel{static_cast<uint32_t>(ch.size()), keyAt});
        keyAt += static_cast<uint32_t>(ch.size() * sizeof(AnimHermiteKey));
    }
    for (const auto& ch : channels)
        for (const AnimHermiteKey& k : ch) Append(out, k);
    out.resize((out.size() + 15) & ~size_t(15), 0);
    return out;
}

AnimDvoKey EncodeDvoKey(const DvoKeyValues& key) {
    AnimDvoKey k{};
    k.flags = key.longWay & 7;
    for (int i = 0; i < 6; ++i) {
        const float v = i < 3 ? key.value[i] : key.tangent[i - 3];
        int e = ExponentFor(v, 0, 15, 32767);
        const long q = e < 0 ? (v < 0 ? -32768 : 32767) : Quantise(v, e);
        if (e < 0) e = 0;
        (i < 3 ? k.value[i] : k.tangent[i - 3]) = static_cast<int16_t>(q);
        AnimDvoSetExponent(&k, i, e);
    }
    return k;
}

bool PackRotationKey(const DvoKeyValues& key, uint8_t out[kDvoPackedKeyBytes]) {
    uint8_t vx, vy, vz, tx, ty, tz, mvx, mvy, mvz, mtx, mty, mtz;
    if (!PackComponent(key.value[0], 1, &vx, &mvx) || !PackComponent(key.value[1], 1, &vy, &mvy) ||
        !PackComponent(key.value[2], 1, &vz, &mvz) || !PackComponent(key.tangent[0], 0, &tx, &mtx) ||
        !PackComponent(key.tangent[1], 0, &ty, &mty) || !PackComponent(key.tangent[2], 0, &tz, &mtz))
        return false;
    out[0] = static_cast<uint8_t>((ty << 4) | tz);
    out[1] = static_cast<uint8_t>((vz << 4) | tx);
    out[2] = static_cast<uint8_t>((vx << 4) | vy);
    out[3] = static_cast<uint8_t>(((key.longWay & 1) << 2) | (key.longWay & 2) | ((key.longWay >> 2) & 1));
    out[4] = mvx;
    out[5] = mvy;
    out[6] = mvz;
    out[7] = mtx;
    out[8] = mty;
    out[9] = mtz;
    return true;
}

bool PackPositionKey(const DvoKeyValues& key, uint8_t out[kDvoPackedKeyBytes]) {
    const long x = std::lround(double(key.value[0]) * 16.0);
    const long y = std::lround((double(key.value[1]) + 100.0) * 16.0);
    const long z = std::lround(double(key.value[2]) * 16.0);
    if (x < -8191 || x > 8191 || y < 0 || y > 16383 || z < -16384 || z > 16383) return false;
    uint8_t tx, ty, tz, mtx, mty, mtz;
    if (!PackComponent(key.tangent[0], 0, &tx, &mtx) || !PackComponent(key.tangent[1], 0, &ty, &mty) ||
        !PackComponent(key.tangent[2], 0, &tz, &mtz))
        return false;
    const uint16_t w0 = static_cast<uint16_t>(z & 0x7FFF);
    const uint16_t w1 = static_cast<uint16_t>(y | (x < 0 ? 0x4000 : 0) | ((tx & 8) ? 0x8000 : 0));
    const uint16_t w2 = static_cast<uint16_t>((x < 0 ? -x : x) | ((tx & 7) << 13));
    std::memcpy(out, &w0, 2);
    std::memcpy(out + 2, &w1, 2);
    std::memcpy(out + 4, &w2, 2);
    out[6] = static_cast<uint8_t>((ty << 4) | tz);
    out[7] = mtx;
    out[8] = mty;
    out[9] = mtz;
    return true;
}

std::vector<uint8_t> WriteDvoAnimation(const DvoMotion& m) {
    const bool packed = m.revision == 1 && m.subRevision == 1;
    if (!(m.revision == 2 || (m.revision == 1 && m.subRevision <= 1))) return {};
    AnimDvoHeader h{};
    h.versionID = 6;
    h.revision = m.revision;
    h.subRevision = m.subRevision;
    const double lengthUnits = std::round(double(m.length) * (m.revision == 2 ? 4096.0 : 16384.0));
    if (!(lengthUnits >= 0.0 && lengthUnits <= 65535.0)) return {};
    h.length = static_cast<uint16_t>(lengthUnits);
    // Time and key tables indexed in parallel: a channel's entries follow the previous channel's.
    std::vector<uint16_t> times;
    std::vector<uint8_t> keys;
    bool ok = true;
    for (uint32_t c = 0; c < kDvoChannels; ++c) {
        const auto& ch = m.channels[c];
        if (ch.empty()) {
            h.channelStart[c] = kDvoChannelAbsent;
            continue;
        }
        if (ch.size() < 2 || ch[0].time != 0.0f || times.size() >= kDvoChannelAbsent) return {};
        h.channelStart[c] = static_cast<uint16_t>(times.size());
        times.push_back(static_cast<uint16_t>(ch.size()));
        for (size_t k = 1; k < ch.size(); ++k) times.push_back(TimeUnits(ch[k].time, m, &ok));
        for (const DvoKeyValues& k : ch) {
            if (!packed) {
                const AnimDvoKey e = EncodeDvoKey(k);
                keys.insert(keys.end(), reinterpret_cast<const uint8_t*>(&e),
                            reinterpret_cast<const uint8_t*>(&e) + 16);
                continue;
            }
            uint8_t p[kDvoPackedKeyBytes];
            if (!(c == kDvoPositionChannel ? PackPositionKey(k, p) : PackRotationKey(k, p))) return {};
            keys.insert(keys.end(), p, p + kDvoPackedKeyBytes);
        }
        if (packed && ch.size() > 255) return {};
    }
    if (!ok) return {};
    std::vector<uint8_t> out;
    const size_t timeAt = sizeof(AnimDvoHeader);
    const size_t timeBytes = times.size() * (packed ? 1 : 2);
    const size_t keyAt = (timeAt + timeBytes + 3) & ~size_t(3);
    if (keyAt > 0xFFFF) return {};
    h.timeTableOffset = static_cast<uint16_t>(timeAt);
    h.keyTableOffset = static_cast<uint16_t>(keyAt);
    Put(out, 0, h);
    for (size_t i = 0; i < times.size(); ++i) {
        if (packed)
            Put(out, timeAt + i, static_cast<uint8_t>(times[i]));
        else
            Put(out, timeAt + 2 * i, times[i]);
    }
    out.resize(keyAt, 0);
    out.insert(out.end(), keys.begin(), keys.end());
    out.resize((out.size() + 15) & ~size_t(15), 0);
    return out;
}

// ---- sample content ----------------------------------------------------------------------------------

std::vector<_bone> RiderSkeletonBones() {
    static const BoneDef kRider[] = {
        {"pelvis", -1, {0, -95, 0}, 0},     {"waist", 0, {0, -10, 0}, 0},
        {"spine", 1, {0, -15, 0}, 0},       {"chest", 2, {0, -15, 0}, 0},
        {"neck", 3, {0, -15, 0}, 0},        {"l_clavicle", 3, {6, -12, 0}, 10},
        {"l_shoulder", 5, {12, 0, 0}, 11},  {"l_elbow", 6, {4, 22, 12}, 12},
        {"l_hand", 7, {0, 2, 26}, 13},      {"l_fingers", 8, {0, 0, 8}, 14},
        {"r_clavicle", 3, {-6, -12, 0}, 5}, {"r_shoulder", 10, {-12, 0, 0}, 6},
        {"r_elbow", 11, {-4, 22, 12}, 7},   {"r_hand", 12, {0, 2, 26}, 8},
        {"r_fingers", 13, {0, 0, 8}, 9},    {"head", 4, {0, -14, 2}, 0},
        {"hips", 0, {0, 4, 0}, 0},          {"l_hip", 16, {10, 0, 0}, 22},
        {"l_thigh", 17, {0, 2, 0}, 23},     {"l_knee", 18, {0, 30, 28}, 24},
        {"l_foot", 19, {0, 42, -12}, 25},   {"l_toe", 20, {0, 6, 12}, 26},
        {"r_hip", 16, {-10, 0, 0}, 17},     {"r_thigh", 22, {0, 2, 0}, 18},
        {"r_knee", 23, {0, 30, 28}, 19},    {"r_foot", 24, {0, 42, -12}, 20},
        {"r_toe", 25, {0, 6, 12}, 21},
    };
    return BuildBones(kRider, sizeof kRider / sizeof kRider[0]);
}

std::vector<_bone> BikeSkeletonBones() {
    static const BoneDef kBike[] = {
        {"frame", -1, {0, -60, 0}, 0},      {"steering", 0, {0, -25, 45}, 0},
        {"handlebar", 1, {0, -10, -5}, 0},  {"fork", 1, {0, 40, 20}, 0},
        {"front_wheel", 3, {0, 15, 10}, 0}, {"seat", 0, {0, -20, -15}, 0},
        {"l_peg", 0, {15, 10, 0}, 7},       {"r_peg", 0, {-15, 10, 0}, 6},
        {"engine", 0, {0, 10, 10}, 0},      {"exhaust", 8, {-12, -5, -30}, 0},
        {"swingarm", 0, {0, 10, -15}, 0},   {"rear_wheel", 10, {0, 15, -45}, 0},
    };
    return BuildBones(kBike, sizeof kBike / sizeof kBike[0]);
}

std::vector<SampledFrame> RiderMotionFrames(MotionKind kind) {
    const std::vector<_bone> bones = RiderSkeletonBones();
    if (kind == MotionKind::LeanRight) {
        std::vector<SampledFrame> frames = RiderMotionFrames(MotionKind::LeanLeft);
        for (SampledFrame& f : frames) f = Mirrored(f, bones);
        return frames;
    }
    const int count = kind == MotionKind::Idle ? 60 : kind == MotionKind::Jump ? 45 : 30;
    std::vector<SampledFrame> frames(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        const float t = float(i) / 60.0f;
        SampledFrame& f = frames[size_t(i)];
        f.root = bones[0].globalPos;
        f.bones.assign(bones.size(), Euler(0, 0, 0));
        // Riding stance: knees and elbows bent, leaning forward a little.
        f.bones[2] = Euler(0.15f, 0, 0);
        f.bones[19] = f.bones[24] = Euler(-0.2f, 0, 0);
        f.bones[7] = f.bones[12] = Euler(0.1f, 0, 0);
        switch (kind) {
            case MotionKind::Idle: {
                const float b = std::sin(kTwoPi * t);  // one breath a second
                f.root.y += 0.5f * b;
                f.bones[2] = Euler(0.15f + 0.03f * b, 0, 0);
                f.bones[15] = Euler(0, 0.08f * std::sin(kTwoPi * 0.5f * t), 0);
                break;
            }
            case MotionKind::LeanLeft: {
                const float s = Smooth(float(i) / float(count - 1));
                f.bones[0] = Euler(0, 0, 0.35f * s);          // the body rolls into the turn
                f.bones[15] = Euler(0, 0, -0.2f * s);         // the head stays nearer level
                f.bones[19] = Euler(-0.2f - 0.4f * s, 0, 0);  // inside knee comes up
                f.bones[18] = Euler(0, 0, 0.3f * s);          // and out
                f.root.x += 4.0f * s;
                break;
            }
            case MotionKind::Jump: {
                const float s = float(i) / float(count - 1);
                // Crouch to a third, spring up, tuck at the top.
                const float crouch = s < 0.33f ? Smooth(s / 0.33f) : 1.0f - Smooth((s - 0.33f) / 0.3f);
                const float lift = s < 0.33f ? 0.0f : Smooth((s - 0.33f) / 0.67f);
                f.root.y += 12.0f * crouch - 20.0f * lift;
                f.bones[18] = f.bones[23] = Euler(0.5f * crouch, 0, 0);
                f.bones[19] = f.bones[24] = Euler(-0.2f - 0.8f * crouch, 0, 0);
                f.bones[2] = Euler(0.15f + 0.3f * crouch - 0.1f * lift, 0, 0);
                f.bones[6] = Euler(0, 0, 0.3f * lift);
                f.bones[11] = Euler(0, 0, -0.3f * lift);
                break;
            }
            case MotionKind::LeanRight:
                break;
        }
    }
    return frames;
}

std::vector<SampledFrame> BikeMotionFrames(MotionKind kind) {
    const std::vector<_bone> bones = BikeSkeletonBones();
    if (kind == MotionKind::LeanRight) {
        std::vector<SampledFrame> frames = BikeMotionFrames(MotionKind::LeanLeft);
        for (SampledFrame& f : frames) f = Mirrored(f, bones);
        return frames;
    }
    const int count = kind == MotionKind::Idle ? 60 : kind == MotionKind::Jump ? 45 : 30;
    std::vector<SampledFrame> frames(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        const float t = float(i) / 60.0f;
        const float s = float(i) / float(count - 1);
        SampledFrame& f = frames[size_t(i)];
        f.root = bones[0].globalPos;
        f.bones.assign(bones.size(), Euler(0, 0, 0));
        switch (kind) {
            case MotionKind::Idle: {
                const float b = std::sin(2.0f * kTwoPi * t);  // engine shake on the suspension
                f.root.y += 0.3f * b;
                f.bones[10] = Euler(0.02f * b, 0, 0);
                break;
            }
            case MotionKind::LeanLeft:
                f.bones[0] = Euler(0, 0, 0.4f * Smooth(s));
                f.bones[1] = Euler(0, 0.15f * Smooth(s), 0);  // counter-steer of the bars
                break;
            case MotionKind::Jump: {
                const float air = std::sin(X_PI * s);
                f.root.y -= 25.0f * air;
                f.bones[0] = Euler(-0.15f * air, 0, 0);  // nose up in the air
                f.bones[10] = Euler(0.25f * air, 0, 0);  // the swingarm drops unloaded
                f.bones[3] = Euler(0.1f * air, 0, 0);
                break;
            }
            case MotionKind::LeanRight:
                break;
        }
    }
    return frames;
}

std::vector<uint8_t> WriteRiderMotion(MotionKind kind) {
    return WriteSampledAnimation(2, RiderMotionFrames(kind));
}

std::vector<uint8_t> WriteBikeMotion(MotionKind kind) {
    return WriteSampledAnimation(1, BikeMotionFrames(kind));
}
