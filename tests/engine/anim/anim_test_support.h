// Helpers for the animation tests: skeletons, hand-built blocks, console log capture, and a buffer that
// ends right at an inaccessible page so that any read past a block's end faults at once.
#pragma once

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "engine/anim/anim_format.h"
#include "engine/anim/skeleton.h"
#include "engine/sys/files.h"
#include "support/log_capture.h"

namespace animtest {

using testsupport::g_log;

class LogTest : public ::testing::Test {
protected:
    void SetUp() override {
        x_InitSTDIO();
        log_.attach();
    }
    testsupport::LogCapture log_;
};

// A chain-free skeleton of n bones: bone i hangs on bone parent[i] (default i - 1) with offset (i, 2i, 3i).
struct TestSkeleton {
    std::vector<_bone> bones;
    _skeleton skel{};
    explicit TestSkeleton(uint32_t n) : bones(n) {
        for (uint32_t i = 0; i < n; ++i) {
            std::memset(&bones[i], 0, sizeof(_bone));
            bones[i].boneID = i;
            bones[i].parentID = i ? i - 1 : 0;
            bones[i].parentToBone = {float(i), float(2 * i), float(3 * i)};
        }
        Sync();
    }
    void Sync() { skel = {static_cast<uint32_t>(bones.size()), bones.data()}; }
    const _skeleton* get() const { return &skel; }
};

// The bytes copied to the end of a readable page run; the next page is inaccessible.
class GuardedBlock {
public:
    explicit GuardedBlock(const std::vector<uint8_t>& bytes) {
        const size_t page = size_t(sysconf(_SC_PAGESIZE));
        pages_ = (bytes.size() + page - 1) / page + 1;
        base_ = static_cast<uint8_t*>(
            mmap(nullptr, pages_ * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        mprotect(base_ + (pages_ - 1) * page, page, PROT_NONE);
        data_ = base_ + (pages_ - 1) * page - bytes.size();
        if (!bytes.empty()) std::memcpy(data_, bytes.data(), bytes.size());
        size_ = bytes.size();
    }
    ~GuardedBlock() { munmap(base_, pages_ * size_t(sysconf(_SC_PAGESIZE))); }
    GuardedBlock(const GuardedBlock&) = delete;
    GuardedBlock& operator=(const GuardedBlock&) = delete;
    const _animation* anim() const { return reinterpret_cast<const _animation*>(data_); }
    uint32_t size() const { return static_cast<uint32_t>(size_); }

private:
    uint8_t* base_ = nullptr;
    uint8_t* data_ = nullptr;
    size_t pages_ = 0, size_ = 0;
};

template <typename T>
void PutAt(std::vector<uint8_t>& v, size_t at, const T& x) {
    if (v.size() < at + sizeof x) v.resize(at + sizeof x, 0);
    std::memcpy(v.data() + at, &x, sizeof x);
}

// A version 6 channel as raw table entries: the key times in table units (key 1 on) and the key images.
struct DvoChannelImage {
    uint32_t channel;
    std::vector<uint16_t> times;             // n - 1 entries
    std::vector<std::vector<uint8_t>> keys;  // n entries of 16 or 10 bytes
};

inline std::vector<uint8_t> KeyBytes(const AnimDvoKey& k) {
    std::vector<uint8_t> b(sizeof k);
    std::memcpy(b.data(), &k, sizeof k);
    return b;
}

// A version 6 block laid out by hand: header, time table at 68, key table after it.
inline std::vector<uint8_t> DvoBlock(uint8_t revision, uint8_t sub, uint16_t length,
                                     const std::vector<DvoChannelImage>& channels) {
    const bool packed = revision == 1 && sub == 1;
    AnimDvoHeader h{};
    h.versionID = 6;
    h.revision = revision;
    h.subRevision = sub;
    h.length = length;
    for (uint16_t& s : h.channelStart) s = kDvoChannelAbsent;
    std::vector<uint16_t> times;
    std::vector<uint8_t> keys;
    for (const DvoChannelImage& c : channels) {
        h.channelStart[c.channel] = static_cast<uint16_t>(times.size());
        times.push_back(static_cast<uint16_t>(c.keys.size()));
        times.insert(times.end(), c.times.begin(), c.times.end());
        for (const auto& k : c.keys) keys.insert(keys.end(), k.begin(), k.end());
    }
    h.timeTableOffset = sizeof(AnimDvoHeader);
    h.keyTableOffset = static_cast<uint16_t>(sizeof(AnimDvoHeader) + times.size() * (packed ? 1 : 2));
    std::vector<uint8_t> out;
    PutAt(out, 0, h);
    for (size_t i = 0; i < times.size(); ++i) {
        if (packed)
            PutAt(out, h.timeTableOffset + i, static_cast<uint8_t>(times[i]));
        else
            PutAt(out, h.timeTableOffset + 2 * i, times[i]);
    }
    out.insert(out.end(), keys.begin(), keys.end());
    return out;
}

// A 16-byte key with every component at exponent e: value v, tangent t (raw s16).
inline AnimDvoKey RawKey(int16_t vx, int16_t vy, int16_t vz, int16_t tx, int16_t ty, int16_t tz, int e,
                         uint8_t flags = 0) {
    AnimDvoKey k{};
    k.flags = flags;
    k.value[0] = vx, k.value[1] = vy, k.value[2] = vz;
    k.tangent[0] = tx, k.tangent[1] = ty, k.tangent[2] = tz;
    for (int i = 0; i < 6; ++i) AnimDvoSetExponent(&k, i, e);
    return k;
}

// Rotation about X by a: the angle back from a pure-X quaternion.
inline float XAngle(const _quaternion& q) {
    return 2.0f * std::atan2(q.Axis.x, q.S);
}

inline void ExpectQuatNear(const _quaternion& a, const _quaternion& b, float tol) {
    EXPECT_NEAR(a.S, b.S, tol);
    EXPECT_NEAR(a.Axis.x, b.Axis.x, tol);
    EXPECT_NEAR(a.Axis.y, b.Axis.y, tol);
    EXPECT_NEAR(a.Axis.z, b.Axis.z, tol);
}

inline bool QuatEq(const _quaternion& a, const _quaternion& b) {
    return a.S == b.S && a.Axis.x == b.Axis.x && a.Axis.y == b.Axis.y && a.Axis.z == b.Axis.z;
}

}  // namespace animtest
