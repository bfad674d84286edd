#include "engine/anim/anim_format.h"

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
