#include "engine/anim/anim_check.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>

#include "engine/anim/anim_pose.h"
#include "engine/anim/anim_test_support.h"

namespace {

using namespace animtest;

class AnimCheckTest : public LogTest {
protected:
    // Refused with a line holding `why`.
    void ExpectRefused(const std::vector<uint8_t>& img, const _skeleton* s, const std::string& why) {
        g_log.clear();
        GuardedBlock g(img);
        EXPECT_EQ(veAnimCheckAnimation(g.anim(), g.size(), s), -1) << why;
        EXPECT_NE(g_log.find("veAnimCheckAnimation: " + why), std::string::npos) << g_log;
        EXPECT_NE(g_log.find("; animation refused\n"), std::string::npos) << g_log;
    }
    void ExpectSkeletonRefused(const _skeleton* s, const std::string& why) {
        g_log.clear();
        EXPECT_EQ(veAnimCheckSkeleton(s), -1) << why;
        EXPECT_NE(g_log.find("veAnimCheckSkeleton: " + why + "; skeleton refused"), std::string::npos)
            << g_log;
    }
};

std::vector<uint8_t> Sampled(uint16_t version, uint32_t frames, uint32_t bones) {
    std::vector<uint8_t> v;
    PutAt(v, 0, _animation{version, 0, 0, float(frames) / 60.0f});
    const uint32_t q = version == 1 ? 16 : 8;
    v.resize(8 + size_t(frames) * (12 + q * bones), 0);
    return v;
}

std::vector<uint8_t> Hermite(uint32_t channels, uint32_t keys) {
    std::vector<uint8_t> v;
    PutAt(v, 0, _animation{3, 0, 0, 1.0f});
    PutAt(v, 8, AnimHermiteHeader{channels, 0, 20});
    const size_t keysAt = 20 + 8 * size_t(channels);
    for (uint32_t c = 0; c < channels; ++c) {
        PutAt(v, 20 + 8 * c, AnimHermiteChannel{keys, uint32_t(keysAt + 28 * keys * c)});
        for (uint32_t k = 0; k < keys; ++k)
            PutAt(v, keysAt + 28 * (keys * c + k), AnimHermiteKey{0.1f * k, {0.1f, 0, 0}, {0, 0, 0}});
    }
    return v;
}

std::vector<uint8_t> Dvo(uint8_t rev, uint8_t sub) {
    const bool packed = rev == 1 && sub == 1;
    const std::vector<uint8_t> key = packed ? std::vector<uint8_t>{0, 0, 0x40, 0x06, 0, 0, 0, 0, 0, 0}
                                            : KeyBytes(RawKey(10, 20, 30, 1, 2, 3, 4));
    return DvoBlock(rev, sub, 1000,
                    {{0, {10, 20}, {key, key, key}}, {11, {5}, {key, key}}, {25, {20}, {key, key}}});
}

TEST_F(AnimCheckTest, Skeletons) {
    TestSkeleton s(40);
    s.bones[3].parentID = 0;
    s.bones[9].mirrorID = 39;
    EXPECT_EQ(veAnimCheckSkeleton(s.get()), 0);
    EXPECT_EQ(g_log, "");
    ExpectSkeletonRefused(nullptr, "no skeleton");
    _skeleton empty{0, s.bones.data()}, many{41, s.bones.data()}, none{3, nullptr};
    ExpectSkeletonRefused(&empty, "bone count 0, 1 to 40");
    ExpectSkeletonRefused(&many, "bone count 41, 1 to 40");
    ExpectSkeletonRefused(&none, "no bones");
    // One broken link or value in a 4-bone chain.
    const struct {
        void (*breakIt)(TestSkeleton&);
        const char* why;
    } cases[] = {
        {[](TestSkeleton& t) { t.bones[2].parentID = 2; }, "bone 2 has parent 2, not an earlier bone"},
        {[](TestSkeleton& t) { t.bones[1].parentID = 3; }, "bone 1 has parent 3, not an earlier bone"},
        {[](TestSkeleton& t) { t.bones[0].mirrorID = 4; }, "bone 0 has mirror twin 4, outside the skeleton"},
        {[](TestSkeleton& t) { t.bones[3].parentToBone.y = NAN; }, "bone 3 offset is not a number"},
    };
    for (const auto& c : cases) {
        TestSkeleton bad(4);
        c.breakIt(bad);
        ExpectSkeletonRefused(bad.get(), c.why);
    }
    TestSkeleton later(4);
    later.bones[1].parentID = 3;
    // A bad skeleton refuses any block checked against it.
    g_log.clear();
    const std::vector<uint8_t> img = Sampled(1, 2, 4);
    EXPECT_EQ(veAnimCheckAnimation(reinterpret_cast<const _animation*>(img.data()), uint32_t(img.size()),
                                   later.get()),
              -1);
    EXPECT_NE(g_log.find("veAnimCheckSkeleton"), std::string::npos);
}

TEST_F(AnimCheckTest, PackedHermiteTablesAndChannels) {
    TestSkeleton s(33);
    for (auto [rev, sub] : {std::pair<uint8_t, uint8_t>{1, 0}, {1, 1}, {2, 0}, {2, 1}}) {
        SCOPED_TRACE(std::to_string(rev) + "." + std::to_string(sub));
        const bool packed = rev == 1 && sub == 1;
        const uint32_t ks = packed ? 10 : 16, ts = packed ? 1 : 2;
        const std::vector<uint8_t> good = Dvo(rev, sub);
        {
            GuardedBlock g(good);
            EXPECT_EQ(veAnimCheckAnimation(g.anim(), g.size(), s.get()), 0) << g_log;
        }
        AnimDvoHeader h;
        std::memcpy(&h, good.data(), sizeof h);
        ExpectRefused(std::vector<uint8_t>(good.begin(), good.end() - 1), s.get(),
                      "channel 25 keys (2) past the end");
        // Each case patches one 16-bit field (table entries are bytes when packed).
        const auto timeAt = [&](int entry) { return size_t(h.timeTableOffset + ts * entry); };
        const struct {
            size_t at;
            uint16_t value;
            const char* why;
        } cases[] = {
            {16 + 2 * 25, kDvoChannelAbsent, "root position channel absent"},
            {16 + 2 * 25, 3000, "channel 25 time entry 3000 past the end"},
            {timeAt(3), 1, "channel 11 has 1 keys, at least 2"},
            {timeAt(3), 200, "channel 11 times (200 keys) past the end"},
            {timeAt(2), 5, "channel 0 key 2 goes back in time"},
            {10, uint16_t(h.keyTableOffset + ks), "channel 25 keys (2) past the end"},
            {6, uint16_t(good.size() - ts), "channel 0 "},
        };
        for (const auto& c : cases) {
            std::vector<uint8_t> img = good;
            if (packed && c.at >= h.timeTableOffset)
                img[c.at] = uint8_t(c.value);
            else
                PutAt(img, c.at, c.value);
            ExpectRefused(img, s.get(), c.why);
        }
        // Channel 17 drives bone 29: fine in 33 bones, outside 29.
        std::vector<uint8_t> img = good;
        PutAt(img, 16 + 2 * 17, uint16_t(0));
        GuardedBlock g(img);
        EXPECT_EQ(veAnimCheckAnimation(g.anim(), g.size(), s.get()), 0) << g_log;
        TestSkeleton small(29);
        ExpectRefused(img, small.get(), "channel 17 drives bone 29, outside the skeleton");
    }
    std::vector<uint8_t> img = Dvo(1, 0);
    img[2] = 3;
    ExpectRefused(img, s.get(), "revision 3.0 not known");
    img[2] = 1;
    img[3] = 2;
    ExpectRefused(img, s.get(), "revision 1.2 not known");
    ExpectRefused(std::vector<uint8_t>(img.begin(), img.begin() + 67), s.get(), "header past the end");
}

// Every prefix and many single-byte corruptions of valid blocks: the check either refuses or the block
// can be sampled at any time, mirrored or not, without a read past its end (the guard page faults).
TEST_F(AnimCheckTest, CutAndCorruptedBlocksAreRefusedOrSafe) {
    TestSkeleton s(34);
    s.bones[9].mirrorID = 16;
    s.bones[16].mirrorID = 9;
    std::vector<std::vector<uint8_t>> blocks = {Sampled(1, 6, 34), Sampled(2, 6, 34), Hermite(25, 3),
                                                Dvo(1, 0),         Dvo(1, 1),         Dvo(2, 0)};
    std::vector<uint8_t> poseBytes(16 + 16 * 34);
    auto* pose = reinterpret_cast<_angle_array*>(poseBytes.data());
    const float times[] = {-1.0f, 0.0f, 0.013f, 0.05f, 0.09f, 0.5f, 3.0f, 1e9f, NAN};
    int accepted = 0, refused = 0;
    const auto tryBlock = [&](const std::vector<uint8_t>& img) {
        GuardedBlock g(img);
        if (veAnimCheckAnimation(g.anim(), g.size(), s.get()) != 0) {
            ++refused;
            return;
        }
        ++accepted;
        for (float t : times)
            for (int mirror : {0, 1}) veAnimGetAngle(pose, g.anim(), s.get(), mirror, t);
        veAnimGetAnimationLength(g.anim());
    };
    for (const auto& b : blocks) {
        for (size_t n = 0; n <= b.size(); ++n) tryBlock(std::vector<uint8_t>(b.begin(), b.begin() + n));
        for (size_t i = 0; i < b.size() && i < 400; ++i)
            for (uint8_t x : {uint8_t(0x00), uint8_t(0xFF), uint8_t(0x80), uint8_t(0x01)}) {
                std::vector<uint8_t> c = b;
                c[i] = static_cast<uint8_t>(x == 0x01 ? c[i] + 1 : x);
                tryBlock(c);
            }
    }
    EXPECT_GT(accepted, 100);
    EXPECT_GT(refused, 100);
}

}  // namespace
