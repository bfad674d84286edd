#include "mkdisc/motions.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <initializer_list>

#include "engine/anim/anim_pose.h"
#include "engine/sys/math.h"

namespace {

// ---- skeletons -----------------------------------------------------------------------------------------

struct BoneDef {
    const char* name;
    int parent;
    _vector3d at;  // bind-pose position
    uint32_t mirror;
};

std::vector<_bone> BuildBones(const BoneDef* defs, size_t n) {
    std::vector<_bone> bones(n);
    for (size_t i = 0; i < n; ++i) {
        _bone& b = bones[i];
        std::memset(&b, 0, sizeof b);
        std::strncpy(b.name, defs[i].name, sizeof b.name - 1);
        b.boneID = static_cast<uint32_t>(i);
        b.parentID = defs[i].parent < 0 ? 0u : static_cast<uint32_t>(defs[i].parent);
        b.mirrorID = defs[i].mirror;
        if (defs[i].parent < 0) {
            b.parentToBone = b.globalPos = defs[i].at;
        } else {
            const _vector3d& p = bones[size_t(defs[i].parent)].globalPos;
            b.parentToBone = {defs[i].at.x - p.x, defs[i].at.y - p.y, defs[i].at.z - p.z};
            V3_Add(&b.globalPos, &p, &b.parentToBone);
        }
    }
    return bones;
}

_quaternion Euler(float x, float y, float z) {
    _quaternion q;
    Q_SetupFromAngles(&q, x, y, z);
    return q;
}

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

// ---- poses -----------------------------------------------------------------------------------------------
// A pose: the root's offset from its bind position and Euler angles per bone. Hands and feet may be given
// targets (model space); the limbs are then bent to reach them.

constexpr int kRiderBones = 27;

struct Pose {
    _vector3d root{0, 0, 0};
    std::array<_vector3d, kRiderBones> e{};
    // Targets of the left hand, right hand, left foot, right foot; `has` false leaves the limb as posed.
    std::array<_vector3d, 4> target{};
    std::array<bool, 4> has{};
};

struct Chain {
    int upper, lower, end;
};
constexpr Chain kLimbs[4] = {{6, 7, 8}, {11, 12, 13}, {18, 19, 20}, {23, 24, 25}};

void Palette(const std::vector<_bone>& bones, const Pose& p, std::vector<_matrix4>& out) {
    std::vector<_quaternion> buf(bones.size() + 1);
    auto* pose = reinterpret_cast<_angle_array*>(buf.data());
    pose->rootPosition = {bones[0].globalPos.x + p.root.x, bones[0].globalPos.y + p.root.y,
                          bones[0].globalPos.z + p.root.z};
    pose->rootOrientation = 0.0f;
    for (size_t i = 0; i < bones.size(); ++i) pose->angles[i] = Euler(p.e[i].x, p.e[i].y, p.e[i].z);
    const _skeleton sk{uint32_t(bones.size()), const_cast<_bone*>(bones.data())};
    out.resize(bones.size());
    veAnimGetMatriciesFast(out.data(), pose, &sk, nullptr);
}

float Miss(const std::vector<_matrix4>& pal, int bone, const _vector3d& t) {
    const float* m = pal[size_t(bone)].M;
    const float dx = m[12] - t.x, dy = m[13] - t.y, dz = m[14] - t.z;
    return dx * dx + dy * dy + dz * dz;
}

// Bends each targeted limb (pitch of its upper and lower joint, and a little splay of the upper) by
// coordinate descent until its end is as near its target as it can get.
Pose Solve(const std::vector<_bone>& bones, Pose p) {
    std::vector<_matrix4> pal;
    for (int l = 0; l < 4; ++l) {
        if (!p.has[size_t(l)]) continue;
        const Chain c = kLimbs[l];
        float* knobs[3] = {&p.e[size_t(c.upper)].x, &p.e[size_t(c.lower)].x, &p.e[size_t(c.upper)].z};
        float step = 0.4f;
        Palette(bones, p, pal);
        float best = Miss(pal, c.end, p.target[size_t(l)]);
        for (int it = 0; it < 60 && best > 0.01f; ++it) {
            bool moved = false;
            for (float* k : knobs)
                for (float d : {step, -step}) {
                    *k += d;
                    Palette(bones, p, pal);
                    const float m = Miss(pal, c.end, p.target[size_t(l)]);
                    if (m < best) {
                        best = m;
                        moved = true;
                        break;
                    }
                    *k -= d;
                }
            if (!moved) step *= 0.5f;
        }
    }
    return p;
}

SampledFrame Frame(const std::vector<_bone>& bones, const Pose& p) {
    SampledFrame f;
    f.root = {bones[0].globalPos.x + p.root.x, bones[0].globalPos.y + p.root.y,
              bones[0].globalPos.z + p.root.z};
    for (size_t i = 0; i < bones.size(); ++i) f.bones.push_back(Euler(p.e[i].x, p.e[i].y, p.e[i].z));
    return f;
}

Pose Lerp(const Pose& a, const Pose& b, float s) {
    Pose o;
    auto mix = [s](const _vector3d& u, const _vector3d& v) {
        return _vector3d{u.x + (v.x - u.x) * s, u.y + (v.y - u.y) * s, u.z + (v.z - u.z) * s};
    };
    o.root = mix(a.root, b.root);
    for (size_t i = 0; i < o.e.size(); ++i) o.e[i] = mix(a.e[i], b.e[i]);
    return o;
}

// Key poses at times (seconds, the first at 0); solved once each, then eased from key to key and sampled
// at 60 frames a second up to `length`.
struct Key {
    float t;
    Pose pose;
};

std::vector<SampledFrame> Play(const std::vector<_bone>& bones, std::vector<Key> keys, float length) {
    for (Key& k : keys) k.pose = Solve(bones, k.pose);
    const int count = std::max(1, int(std::lround(length * 60.0f)));
    std::vector<SampledFrame> frames;
    for (int i = 0; i < count; ++i) {
        const float t = float(i) / 60.0f;
        size_t k = 0;
        while (k + 1 < keys.size() && keys[k + 1].t <= t) ++k;
        if (k + 1 >= keys.size()) {
            frames.push_back(Frame(bones, keys[k].pose));
            continue;
        }
        const float s = Smooth((t - keys[k].t) / (keys[k + 1].t - keys[k].t));
        frames.push_back(Frame(bones, Lerp(keys[k].pose, keys[k + 1].pose, s)));
    }
    return frames;
}

// ---- the rider's poses
// ------------------------------------------------------------------------------------- Model space: +x the
// rider's left, +y up, +z forward, units of 1 cm, origin at the bike's centre of mass (its wheels' hubs 26
// below and 84 ahead and behind, the ground 62 below).

// The bike's rear hub (its skeleton's bone 11) and how far a wheelie lifts the bike about it.
constexpr _vector3d kRearHub = {0.0f, -26.0f, -84.0f};
constexpr float kWheelieLift = -0.35f;

constexpr _vector3d kLeftGrip = {38.0f, 48.0f, 40.0f}, kRightGrip = {-38.0f, 48.0f, 40.0f};
constexpr _vector3d kLeftPeg = {14.0f, -18.0f, -2.0f}, kRightPeg = {-14.0f, -18.0f, -2.0f};

_vector3d Add(const _vector3d& a, float x, float y, float z) {
    return {a.x + x, a.y + y, a.z + z};
}

// Seated, hands on the grips, feet on the pegs; `crouch` bends the back over the bars.
Pose Seated(float crouch = 0.0f) {
    Pose p;
    p.e[2].x = 0.3f + 0.2f * crouch;
    p.e[3].x = 0.2f + 0.15f * crouch;
    p.e[4].x = -0.2f - 0.3f * crouch;  // eyes up the track
    p.target = {kLeftGrip, kRightGrip, kLeftPeg, kRightPeg};
    p.has = {true, true, true, true};
    return p;
}

// Up on the pegs, knees and elbows bent: the attack position.
Pose Standing(float lift = 1.0f) {
    Pose p = Seated(0.5f);
    p.root = {0.0f, 16.0f * lift, 6.0f * lift};
    p.e[0].x = 0.25f * lift;  // hips back, chest over the bars
    p.e[2].x = 0.1f;
    return p;
}

// Leaning the body into a turn (left when `side` > 0), inside knee out.
Pose Leaning(float side) {
    Pose p = Seated(0.7f);
    p.e[0].z = -0.3f * side;
    p.e[4].z = 0.25f * side;  // head stays nearer level
    p.root.x = 6.0f * side;
    if (side > 0.0f)
        p.target[2] = Add(kLeftPeg, 22.0f, 6.0f, 20.0f);  // the inside leg off the peg, forward
    else
        p.target[3] = Add(kRightPeg, -22.0f, 6.0f, 20.0f);
    return p;
}

// Thrown about in a crash: arms and legs flung, the body folded `fold` forward and rolled `roll`.
Pose Tumble(float fold, float roll, float spread) {
    Pose p;
    p.root = {0.0f, 0.0f, 0.0f};
    p.e[0] = {fold, 0.0f, roll};
    p.e[2].x = 0.4f * fold;
    p.e[6] = {-0.4f, 0.0f, 1.2f * spread};
    p.e[11] = {-0.4f, 0.0f, -1.2f * spread};
    p.e[7].x = -0.5f * spread;
    p.e[12].x = -0.5f * spread;
    p.e[18] = {0.6f * spread, 0.0f, 0.5f * spread};
    p.e[23] = {0.9f * spread, 0.0f, -0.4f * spread};
    p.e[19].x = 0.8f * spread;
    p.e[24].x = 0.3f * spread;
    return p;
}

// Stunt `s` of 33: one of a family of freestyle moves, each family varied by its index.
Pose StuntPose(int s) {
    const float v = float(s % 3) / 2.0f;  // variation 0, 0.5, 1
    Pose p = Standing(0.6f);
    switch (s % 11) {
        case 0:  // leg kicked over the back (left)
            p.target[2] = {40.0f + 20.0f * v, 40.0f, -60.0f};
            break;
        case 1:  // heels clicked over the bars
            p.target[2] = {12.0f, 55.0f, 45.0f};
            p.target[3] = {-12.0f, 55.0f, 45.0f};
            p.root.y = 24.0f;
            break;
        case 2:  // both legs out to the left
            p.target[2] = {55.0f, 10.0f, 10.0f};
            p.target[3] = {35.0f, 8.0f, 20.0f};
            break;
        case 3:  // hanging off the bars, body stretched back
            p.has[2] = p.has[3] = false;
            p.root = {0.0f, 30.0f, -40.0f};
            p.e[0].x = -1.2f;
            p.e[18].x = 1.4f;
            p.e[23].x = 1.4f;
            break;
        case 4:  // superman: stretched out behind the bike
            p.has[2] = p.has[3] = false;
            p.root = {0.0f, 40.0f, -30.0f};
            p.e[0].x = 1.3f - 0.2f * v;
            p.e[18].x = -0.3f;
            p.e[23].x = -0.3f;
            p.e[19].x = 0.2f;
            p.e[24].x = 0.2f;
            break;
        case 5:  // lying back, feet on the bars
            p.root = {0.0f, 8.0f, -20.0f};
            p.e[0].x = -0.9f;
            p.target[2] = Add(kLeftGrip, -8.0f, 6.0f, 0.0f);
            p.target[3] = Add(kRightGrip, 8.0f, 6.0f, 0.0f);
            break;
        case 6:  // one hand off, waving
            p.has[0] = false;
            p.e[6] = {-0.8f, 0.0f, 1.6f - 0.4f * v};
            p.e[7].x = -0.6f;
            break;
        case 7:  // grabbing the rear fender
            p.target[0] = {26.0f, 20.0f, -60.0f};
            p.root.y = 10.0f;
            break;
        case 8:  // no hands: arms wide
            p.has[0] = p.has[1] = false;
            p.e[6] = {0.0f, 0.0f, 1.4f};
            p.e[11] = {0.0f, 0.0f, -1.4f};
            break;
        case 9:  // no feet: legs out behind
            p.target[2] = {30.0f, 10.0f, -70.0f + 20.0f * v};
            p.target[3] = {-30.0f, 10.0f, -70.0f + 20.0f * v};
            p.root.y = 22.0f;
            break;
        default:  // standing on the seat, knees bent
            p.target[2] = {14.0f, 30.0f, -22.0f};
            p.target[3] = {-14.0f, 30.0f, -22.0f};
            p.root = {0.0f, 50.0f, -10.0f};
            break;
    }
    return p;
}

std::vector<SampledFrame> RiderMotion(int slot) {
    const std::vector<_bone> bones = RiderSkeletonBones();
    const Pose sit = Seated(), crouch = Seated(1.0f), stand = Standing();
    auto play = [&bones](std::vector<Key> keys, float length) {
        return Play(bones, std::move(keys), length);
    };
    switch (slot) {
        case 12: {  // riding: a slow bob on the seat
            Pose up = sit;
            up.root.y = 1.5f;
            up.e[2].x += 0.04f;
            return play({{0, sit}, {0.5f, up}, {1.0f, sit}}, 1.0f);
        }
        case 13: {  // stopping: the left foot goes down to the ground
            Pose down = Seated(0.0f);
            down.target[2] = {36.0f, -60.0f, 14.0f};
            down.e[0].z = 0.12f;
            return play({{0, sit}, {0.5f, down}}, 0.5f);
        }
        case 15:
        case 17: {  // standing still, the bars turned: the body follows
            Pose down = Seated(0.0f);
            down.target[2] = {36.0f, -60.0f, 14.0f};
            Pose turned = down;
            turned.e[0].y = slot == 15 ? -0.25f : 0.25f;
            return play({{0, down}, {0.5f, turned}}, 0.5f);
        }
        case 19: {  // whip: the body twists against the bike
            Pose w = stand;
            w.e[0].y = 0.35f;
            w.e[0].z = -0.3f;
            return play({{0, stand}, {0.5f, w}}, 0.5f);
        }
        case 21:  // turning: lean left (mirrored for right)
            return play({{0, sit}, {0.5f, Leaning(1.0f)}}, 0.5f);
        case 22:  // accelerating: crouched over the tank, then up
            return play({{0, sit}, {0.25f, crouch}, {0.6f, crouch}, {0.8f, sit}}, 0.8f);
        case 23:
            return play({{0, stand}, {0.5f, stand}}, 0.5f);
        case 24:  // over the bars in the air, face first
            return play({{0, Tumble(0.4f, 0.0f, 0.3f)},
                         {0.3f, Tumble(1.2f, 0.2f, 1.0f)},
                         {0.6f, Tumble(1.5f, 0.0f, 0.7f)}},
                        0.6f);
        case 25:  // on the back, arms and legs up
            return play({{0, Tumble(-0.6f, 0.0f, 0.8f)},
                         {0.4f, Tumble(-1.5f, 0.1f, 1.0f)},
                         {0.8f, Tumble(-1.5f, 0.0f, 0.6f)}},
                        0.8f);
        case 26:  // flung backwards in the air
            return play({{0, Tumble(-0.3f, 0.4f, 0.5f)},
                         {0.3f, Tumble(-1.0f, -0.4f, 1.0f)},
                         {0.6f, Tumble(-0.3f, 0.4f, 0.5f)}},
                        0.6f);
        case 27:  // rolling
            return play({{0, Tumble(1.2f, 0.0f, 0.2f)},
                         {0.25f, Tumble(1.6f, 1.0f, 0.1f)},
                         {0.5f, Tumble(1.2f, 2.0f, 0.2f)}},
                        0.5f);
        case 29: {  // getting up on the ground, dusting off
            Pose up;
            up.root = {0.0f, -20.0f, -40.0f};
            up.e[18].x = -1.4f;
            up.e[23].x = -1.4f;
            up.e[19].x = 0.3f;
            up.e[24].x = 0.3f;
            up.e[6].z = 0.3f;
            up.e[11].z = -0.3f;
            Pose hunch = up;
            hunch.e[2].x = 0.5f;
            return play({{0, hunch}, {0.5f, up}, {1.0f, hunch}}, 1.0f);
        }
        case 31:  // computer rider leaning to the side
            return play({{0, Leaning(0.6f)}, {1.0f, Leaning(0.6f)}}, 1.0f);
        case 33:  // computer rider leaning forward
            return play({{0, crouch}, {1.0f, crouch}}, 1.0f);
        case 68: {  // preload: down into the bike, then up off it
            Pose deep = crouch;
            deep.root = {0.0f, -8.0f, 4.0f};
            return play({{0, sit}, {0.3f, deep}, {0.6f, stand}}, 0.6f);
        }
        case 70: {  // power slide: leg out, body over the front
            Pose slide = Leaning(1.0f);
            slide.target[2] = {60.0f, -40.0f, 40.0f};
            return play({{0, sit}, {0.7f, slide}}, 0.7f);
        }
        case 74: {  // wheelie: seated on the bike as it lifts about its rear hub (the bike's motion 75)
            Pose back = sit;
            const _quaternion q = Euler(kWheelieLift, 0.0f, 0.0f);
            auto turn = [&q](const _vector3d& p) {
                const _vector3d rel = {p.x - kRearHub.x, p.y - kRearHub.y, p.z - kRearHub.z};
                _vector3d out;
                Q_TransformVect(&q, &out, &rel);
                return _vector3d{kRearHub.x + out.x, kRearHub.y + out.y, kRearHub.z + out.z};
            };
            const _vector3d pelvis = bones[0].globalPos, moved = turn(pelvis);
            back.root = {moved.x - pelvis.x, moved.y - pelvis.y, moved.z - pelvis.z};
            back.e[0].x = kWheelieLift;
            for (_vector3d& t : back.target) t = turn(t);
            return play({{0, sit}, {0.6f, back}}, 0.6f);
        }
        default:
            break;
    }
    if (slot >= 35 && slot <= 67) {
        const Pose top = StuntPose(slot - 35);
        return play({{0, stand}, {0.25f, top}, {0.65f, top}, {0.9f, stand}}, 0.9f);
    }
    return {};
}

// ---- the bike's poses ------------------------------------------------------------------------------------

struct BikePose {
    _vector3d root{0, 0, 0};
    _vector3d frame{0, 0, 0}, bars{0, 0, 0}, arm{0, 0, 0};
};

std::vector<SampledFrame> BikeMotion(int slot) {
    const std::vector<_bone> bones = BikeSkeletonBones();
    auto frame = [&bones](const BikePose& b) {
        SampledFrame f;
        f.root = {bones[0].globalPos.x + b.root.x, bones[0].globalPos.y + b.root.y,
                  bones[0].globalPos.z + b.root.z};
        f.bones.assign(bones.size(), Euler(0, 0, 0));
        f.bones[0] = Euler(b.frame.x, b.frame.y, b.frame.z);
        f.bones[1] = Euler(b.bars.x, b.bars.y, b.bars.z);
        f.bones[10] = Euler(b.arm.x, b.arm.y, b.arm.z);
        return f;
    };
    auto play = [&](const std::vector<std::pair<float, BikePose>>& keys, float length) {
        std::vector<SampledFrame> out;
        const int count = std::max(1, int(std::lround(length * 60.0f)));
        for (int i = 0; i < count; ++i) {
            const float t = float(i) / 60.0f;
            size_t k = 0;
            while (k + 1 < keys.size() && keys[k + 1].first <= t) ++k;
            BikePose b = keys[k].second;
            if (k + 1 < keys.size()) {
                const float s = Smooth((t - keys[k].first) / (keys[k + 1].first - keys[k].first));
                const BikePose& n = keys[k + 1].second;
                auto mix = [s](const _vector3d& u, const _vector3d& v) {
                    return _vector3d{u.x + (v.x - u.x) * s, u.y + (v.y - u.y) * s, u.z + (v.z - u.z) * s};
                };
                b = {mix(b.root, n.root), mix(b.frame, n.frame), mix(b.bars, n.bars), mix(b.arm, n.arm)};
            }
            out.push_back(frame(b));
        }
        return out;
    };
    const BikePose still;
    switch (slot) {
        case 14:
        case 30:
        case 34:
            return play({{0.0f, still}, {1.0f, still}}, 1.0f);
        case 16:
        case 18:  // bars turned
            return play({{0.0f, still}, {0.5f, BikePose{{}, {}, {0, slot == 16 ? -0.5f : 0.5f, 0}, {}}}},
                        0.5f);
        case 20:  // whip: the bike thrown sideways
            return play({{0.0f, still}, {0.5f, BikePose{{}, {0.0f, 0.6f, -0.5f}, {0, -0.2f, 0}, {}}}}, 0.5f);
        case 32:
            return play({{0.0f, still}, {1.0f, still}}, 1.0f);
        case 69:  // preload: squat
            return play({{0.0f, still}, {0.3f, BikePose{{0, -6, 0}, {}, {}, {-0.05f, 0, 0}}}, {0.6f, still}},
                        0.6f);
        case 71:  // slide: the back steps out
            return play({{0.0f, still}, {0.7f, BikePose{{}, {0, 0.25f, 0}, {0, -0.3f, 0}, {}}}}, 0.7f);
        case 75: {  // wheelie: the front lifts about the rear hub, which stays where it was
            const _vector3d hub = kRearHub, lift = {kWheelieLift, 0.0f, 0.0f};
            const _quaternion q = Euler(lift.x, lift.y, lift.z);
            _vector3d turned;
            Q_TransformVect(&q, &turned, &hub);
            const BikePose up{{hub.x - turned.x, hub.y - turned.y, hub.z - turned.z}, lift, {}, {}};
            return play({{0.0f, still}, {0.6f, up}}, 0.6f);
        }
        default:
            break;
    }
    if (slot >= 35 && slot <= 67) {  // bike tricks: the bike turned about under the rider
        const float v = float((slot - 35) % 4);
        const BikePose top{
            {0, 10, 0}, {0.2f * v - 0.3f, 0.5f - 0.25f * v, 0.6f - 0.2f * v}, {0, 0.3f, 0}, {}};
        return play({{0.0f, still}, {0.25f, top}, {0.65f, top}, {0.9f, still}}, 0.9f);
    }
    return {};
}

}  // namespace

// ---- skeletons -------------------------------------------------------------------------------------------

std::vector<_bone> RiderSkeletonBones() {
    static const BoneDef kRider[] = {
        {"pelvis", -1, {0, 40, -20}, 0},     {"waist", 0, {0, 50, -18}, 0},
        {"spine", 1, {0, 64, -14}, 0},       {"chest", 2, {0, 78, -8}, 0},
        {"neck", 3, {0, 90, -4}, 0},         {"l_clavicle", 3, {7, 86, -6}, 10},
        {"l_shoulder", 5, {19, 86, -6}, 11}, {"l_elbow", 6, {34, 62, 6}, 12},
        {"l_hand", 7, {38, 48, 40}, 13},     {"l_fingers", 8, {38, 48, 48}, 14},
        {"r_clavicle", 3, {-7, 86, -6}, 5},  {"r_shoulder", 10, {-19, 86, -6}, 6},
        {"r_elbow", 11, {-34, 62, 6}, 7},    {"r_hand", 12, {-38, 48, 40}, 8},
        {"r_fingers", 13, {-38, 48, 48}, 9}, {"head", 4, {0, 102, -1}, 0},
        {"hips", 0, {0, 38, -20}, 0},        {"l_hip", 16, {10, 38, -20}, 22},
        {"l_thigh", 17, {12, 36, -18}, 23},  {"l_knee", 18, {16, 30, 22}, 24},
        {"l_foot", 19, {14, -18, -2}, 25},   {"l_toe", 20, {14, -22, 12}, 26},
        {"r_hip", 16, {-10, 38, -20}, 17},   {"r_thigh", 22, {-12, 36, -18}, 18},
        {"r_knee", 23, {-16, 30, 22}, 19},   {"r_foot", 24, {-14, -18, -2}, 20},
        {"r_toe", 25, {-14, -22, 12}, 21},
    };
    return BuildBones(kRider, sizeof kRider / sizeof kRider[0]);
}

std::vector<_bone> BikeSkeletonBones() {
    static const BoneDef kBike[] = {
        {"frame", -1, {0, 0, 0}, 0},         {"steering", 0, {0, 20, 60}, 0},
        {"handlebar", 1, {0, 48, 42}, 0},    {"fork", 1, {0, -6, 74}, 0},
        {"front_wheel", 3, {0, -26, 84}, 0}, {"seat", 0, {0, 30, -20}, 0},
        {"l_peg", 0, {16, -22, -4}, 7},      {"r_peg", 0, {-16, -22, -4}, 6},
        {"engine", 0, {0, -10, 15}, 0},      {"exhaust", 8, {-12, 12, -50}, 0},
        {"swingarm", 0, {0, -6, -14}, 0},    {"rear_wheel", 10, {0, -26, -84}, 0},
    };
    return BuildBones(kBike, sizeof kBike / sizeof kBike[0]);
}

// ---- motions ---------------------------------------------------------------------------------------------

std::vector<SampledFrame> RiderMotionFrames(MotionKind kind) {
    const std::vector<_bone> bones = RiderSkeletonBones();
    switch (kind) {
        case MotionKind::Idle:
            return RiderMotion(12);
        case MotionKind::LeanLeft:
            return RiderMotion(21);
        case MotionKind::LeanRight: {
            std::vector<SampledFrame> frames = RiderMotion(21);
            for (SampledFrame& f : frames) f = Mirrored(f, bones);
            return frames;
        }
        case MotionKind::Jump: {
            const Pose stand = Standing(), crouch = Seated(1.0f);
            return Play(bones, {{0, crouch}, {0.25f, stand}, {0.75f, stand}}, 0.75f);
        }
    }
    return {};
}

std::vector<SampledFrame> BikeMotionFrames(MotionKind kind) {
    const std::vector<_bone> bones = BikeSkeletonBones();
    switch (kind) {
        case MotionKind::Idle:
            return BikeMotion(30);
        case MotionKind::LeanLeft:
            return BikeMotion(71);
        case MotionKind::LeanRight: {
            std::vector<SampledFrame> frames = BikeMotionFrames(MotionKind::LeanLeft);
            for (SampledFrame& f : frames) f = Mirrored(f, bones);
            return frames;
        }
        case MotionKind::Jump: {
            std::vector<SampledFrame> f = BikeMotion(75);
            f.resize(45, f.back());
            return f;
        }
    }
    return {};
}

std::vector<uint8_t> WriteRiderMotion(MotionKind kind) {
    return WriteSampledAnimation(2, RiderMotionFrames(kind));
}

std::vector<uint8_t> WriteBikeMotion(MotionKind kind) {
    return WriteSampledAnimation(1, BikeMotionFrames(kind));
}

std::vector<uint8_t> WriteCommonMotion(int i) {
    // Among the stunts, the odd slots from 43 on are the bike's half of a rider and bike pair.
    const bool bikeStunt = i >= 43 && i <= 67 && i % 2 == 1;
    std::vector<SampledFrame> frames = bikeStunt ? std::vector<SampledFrame>{} : RiderMotion(i);
    if (!frames.empty()) return WriteSampledAnimation(2, frames);
    frames = BikeMotion(i);
    return frames.empty() ? std::vector<uint8_t>{} : WriteSampledAnimation(1, frames);
}
