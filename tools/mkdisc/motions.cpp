#include "mkdisc/motions.h"

#include <cmath>
#include <cstring>

#include "engine/sys/math.h"

namespace {

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
