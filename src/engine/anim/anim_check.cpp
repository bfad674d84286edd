#include "engine/anim/anim_check.h"

#include <cmath>
#include <cstring>

#include "engine/anim/anim_decode.h"
#include "engine/sys/files.h"
#include "engine/sys/loaded_files.h"

namespace {

template <typename T>
T Read(const uint8_t* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

using ull = unsigned long long;

const void* g_checked = nullptr;  // the block being checked: its disc file opens every refusal line
FormatCheck g_refusal;            // the reason of the last refusal of an animation

FormatCheck RefuseSkeleton(const char* why, ull a = 0, ull b = 0) {
    x_printf("%sveAnimCheckSkeleton: ", x_FileOf(g_checked));
    x_printf(why, a, b);
    x_printf("; skeleton refused\n");
    return FormatCheck::Fail(why, a, b);
}

bool Refuse(const char* why, ull a = 0, ull b = 0) {
    g_refusal = FormatCheck::Fail(why, a, b);
    x_printf("%sveAnimCheckAnimation: ", x_FileOf(g_checked));
    x_printf(why, a, b);
    x_printf("; animation refused\n");
    return false;
}

bool Finite(float v) {
    return std::isfinite(v);
}

bool CheckSampled(const uint8_t* p, uint32_t size, const _skeleton* skel, bool compressed) {
    const float length = Read<float>(p + 4);
    if (!Finite(length) || length <= 0.0f) return Refuse("length is not a positive number of seconds");
    const uint64_t frames = veAnimSampledFrameCount(reinterpret_cast<const _animation*>(p));
    const uint64_t frameBytes = 12 + (compressed ? 8ull : 16ull) * skel->boneCount;
    const uint64_t need = sizeof(_animation) + frames * frameBytes;
    if (need > size) return Refuse("%llu frames need %llu bytes, past the end", frames, need);
    // A block sized for another bone count has whole frames over (or too few): the layout depends on it.
    if (size - need >= 16)
        return Refuse("%llu bytes left after the frames: not made for %llu bones", size - need,
                      skel->boneCount);
    if (compressed) {
        for (uint64_t f = 0; f < frames; ++f)
            for (int i = 0; i < 3; ++i)
                if (!Finite(Read<float>(p + 8 + f * frameBytes + 4 * i)))
                    return Refuse("frame %llu root position is not a number", f);
        return true;
    }
    for (uint64_t at = 8; at < need; at += 4)
        if (!Finite(Read<float>(p + at))) return Refuse("value at offset %llu is not a number", at);
    return true;
}

bool CheckHermite(const uint8_t* p, uint32_t size, const _skeleton* skel) {
    if (size < sizeof(_animation) + sizeof(AnimHermiteHeader)) return Refuse("header past the end");
    if (!Finite(Read<float>(p + 4))) return Refuse("length is not a number");
    const AnimHermiteHeader h = Read<AnimHermiteHeader>(p + sizeof(_animation));
    if (h.channelCount > kHermiteMaxChannels) return Refuse("%llu channels, at most 30", h.channelCount);
    if (uint64_t(h.directoryOffset) + uint64_t(h.channelCount) * sizeof(AnimHermiteChannel) > size)
        return Refuse("channel directory at %llu past the end", h.directoryOffset);
    for (uint32_t c = 0; c < h.channelCount; ++c) {
        const AnimHermiteChannel ch =
            Read<AnimHermiteChannel>(p + h.directoryOffset + size_t(c) * sizeof(AnimHermiteChannel));
        if (remapArray[c] >= skel->boneCount)
            return Refuse("channel %llu drives bone %llu, outside the skeleton", c, remapArray[c]);
        if (ch.keyCount < 2) return Refuse("channel %llu has %llu keys, at least 2", c, ch.keyCount);
        if (uint64_t(ch.keyOffset) + uint64_t(ch.keyCount) * sizeof(AnimHermiteKey) > size)
            return Refuse("channel %llu keys at %llu past the end", c, ch.keyOffset);
        float prev = -INFINITY;
        for (uint32_t k = 0; k < ch.keyCount; ++k) {
            const AnimHermiteKey key =
                Read<AnimHermiteKey>(p + ch.keyOffset + size_t(k) * sizeof(AnimHermiteKey));
            const float v[7] = {key.time,       key.value[0],   key.value[1],  key.value[2],
                                key.tangent[0], key.tangent[1], key.tangent[2]};
            for (float f : v)
                if (!Finite(f)) return Refuse("channel %llu key %llu is not a number", c, k);
            if (key.time < prev) return Refuse("channel %llu key %llu goes back in time", c, k);
            prev = key.time;
        }
    }
    return true;
}

bool CheckDvo(const uint8_t* p, uint32_t size, const _skeleton* skel) {
    if (size < sizeof(AnimDvoHeader)) return Refuse("header past the end");
    const AnimDvoHeader h = Read<AnimDvoHeader>(p);
    const bool packed = h.revision == 1 && h.subRevision == 1;
    if (!(h.revision == 2 || (h.revision == 1 && h.subRevision <= 1)))
        return Refuse("revision %llu.%llu not known", h.revision, h.subRevision);
    if (h.channelStart[kDvoPositionChannel] == kDvoChannelAbsent)
        return Refuse("root position channel absent");
    const uint32_t timeBytes = packed ? 1 : 2;
    const uint32_t keyBytes = packed ? kDvoPackedKeyBytes : sizeof(AnimDvoKey);
    const auto entry = [&](uint32_t e) -> uint32_t {
        return packed ? p[h.timeTableOffset + e] : Read<uint16_t>(p + h.timeTableOffset + 2 * size_t(e));
    };
    for (uint32_t c = 0; c < kDvoChannels; ++c) {
        const uint32_t i = h.channelStart[c];
        if (i == kDvoChannelAbsent) continue;
        if (c < kDvoRotationChannels && c != kDvoOrientationChannel &&
            (v6remapArray[c] >= skel->boneCount || uint32_t(mirrorMapArray[c]) >= skel->boneCount))
            return Refuse("channel %llu drives bone %llu, outside the skeleton", c, v6remapArray[c]);
        if (h.timeTableOffset + uint64_t(i + 1) * timeBytes > size)
            return Refuse("channel %llu time entry %llu past the end", c, i);
        const uint32_t n = entry(i);
        if (n < 2) return Refuse("channel %llu has %llu keys, at least 2", c, n);
        if (h.timeTableOffset + uint64_t(i + n) * timeBytes > size)
            return Refuse("channel %llu times (%llu keys) past the end", c, n);
        if (h.keyTableOffset + uint64_t(i + n) * keyBytes > size)
            return Refuse("channel %llu keys (%llu) past the end", c, n);
        uint32_t prev = 0;
        for (uint32_t k = 1; k < n; ++k) {
            const uint32_t tk = entry(i + k);
            if (tk < prev) return Refuse("channel %llu key %llu goes back in time", c, k);
            prev = tk;
        }
    }
    return true;
}

}  // namespace

FormatCheck CheckSkeleton(const _skeleton* skel) {
    g_checked = skel ? static_cast<const void*>(skel->boneArray) : nullptr;
    if (!skel) return RefuseSkeleton("no skeleton");
    if (skel->boneCount == 0 || skel->boneCount > kAnimMaxBones)
        return RefuseSkeleton("bone count %llu, 1 to 40", skel->boneCount);
    if (!skel->boneArray) return RefuseSkeleton("no bones");
    for (uint32_t i = 0; i < skel->boneCount; ++i) {
        const _bone& b = skel->boneArray[i];
        if (i > 0 && b.parentID >= i)
            return RefuseSkeleton("bone %llu has parent %llu, not an earlier bone", i, b.parentID);
        if (b.mirrorID >= skel->boneCount)
            return RefuseSkeleton("bone %llu has mirror twin %llu, outside the skeleton", i, b.mirrorID);
        if (!Finite(b.parentToBone.x) || !Finite(b.parentToBone.y) || !Finite(b.parentToBone.z))
            return RefuseSkeleton("bone %llu offset is not a number", i);
    }
    return FormatCheck::Pass();
}

int veAnimCheckSkeleton(const _skeleton* skel) {
    return CheckSkeleton(skel).ok ? 0 : -1;
}

FormatCheck CheckAnimation(const _animation* anim, uint32_t size, const _skeleton* skel) {
    const FormatCheck bones = CheckSkeleton(skel);
    if (!bones.ok) return bones;
    g_checked = anim;
    if (!anim || size < sizeof(_animation)) {
        Refuse("block of %llu bytes is shorter than its header", anim ? size : 0);
        return g_refusal;
    }
    const uint8_t* p = reinterpret_cast<const uint8_t*>(anim);
    const uint16_t version = Read<uint16_t>(p);
    bool ok = false;
    switch (version) {
        case 1:
            ok = CheckSampled(p, size, skel, false);
            break;
        case 2:
            ok = CheckSampled(p, size, skel, true);
            break;
        case 3:
            ok = CheckHermite(p, size, skel);
            break;
        case 6:
            ok = CheckDvo(p, size, skel);
            break;
        default:
            ok = Refuse("version %llu not known", version);
            break;
    }
    return ok ? FormatCheck::Pass() : g_refusal;
}

int veAnimCheckAnimation(const _animation* anim, uint32_t size, const _skeleton* skel) {
    return CheckAnimation(anim, size, skel).ok ? 0 : -1;
}
