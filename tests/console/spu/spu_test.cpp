#include "console/spu/spu.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "console/kernel/clock.h"
#include "console/spu/block_cache.h"
#include "console/spu/driver_modules_fixture.h"

namespace {

using namespace console;
using testsupport::ConstantBlock;
using testsupport::PeakAbs;
using testsupport::SquareBlock;

constexpr uint32_t kAddr = 0x20000;

uint32_t E(uint32_t code, int voice, int core) {
    return code | static_cast<uint32_t>(voice) << 1 | static_cast<uint32_t>(core);
}

class Spu : public ::testing::Test {
protected:
    void SetUp() override {
        ClockReset();
        SpuReset();
        for (int core = 0; core < 2; ++core) {
            SpuWriteParam(kSdMasterVolL | core, 0x3FFF);
            SpuWriteParam(kSdMasterVolR | core, 0x3FFF);
        }
    }
    void Put(uint32_t addr, const std::vector<std::vector<uint8_t>>& blocks) {
        for (const auto& b : blocks) {
            ASSERT_TRUE(SpuWriteMemory(addr, b.data(), static_cast<uint32_t>(b.size())));
            addr += static_cast<uint32_t>(b.size());
        }
    }
    // A voice set up to play from `addr`: full volume both sides, envelope with instant attack.
    void Voice(int core, int v, uint32_t addr, uint16_t pitch, uint16_t volL = 0x3FFF, uint16_t volR = 0x3FFF,
               uint16_t adsr2 = 0x0040) {
        ASSERT_TRUE(SpuWriteAddress(E(kSdStartAddr, v, core), addr));
        ASSERT_TRUE(SpuWriteParam(E(kSdPitch, v, core), pitch));
        ASSERT_TRUE(SpuWriteParam(E(kSdVolL, v, core), volL));
        ASSERT_TRUE(SpuWriteParam(E(kSdVolR, v, core), volR));
        ASSERT_TRUE(SpuWriteParam(E(kSdAdsr1, v, core), 0x000F));
        ASSERT_TRUE(SpuWriteParam(E(kSdAdsr2, v, core), adsr2));
    }
    static std::vector<int16_t> Mix(int frames) {
        std::vector<int16_t> out(2 * static_cast<size_t>(frames));
        SpuMix(out.data(), frames);
        return out;
    }
    static uint32_t EndFlags(int core) { return static_cast<uint32_t>(SpuReadSwitch(kSdEndFlags | core)); }
};

TEST_F(Spu, VolumesScaleEachSideAndMasterVolumeScalesTheCore) {
    // A constant level of 7 << 10 = 7168 held by a looping block.
    Put(kAddr, {ConstantBlock(7, 2, kAdpcmFlagLoopStart | kAdpcmFlagLoopEnd | kAdpcmFlagRepeat)});
    Voice(1, 0, kAddr, 0x1000, 0x3FFF, 0);
    ASSERT_TRUE(SpuWriteSwitch(kSdKeyOn | 1, 1));
    auto out = Mix(2000);
    EXPECT_NEAR(out[2 * 1000], 7168, 2);  // left at unity
    EXPECT_EQ(PeakAbs(out, 1), 0);        // right volume 0
    ASSERT_TRUE(SpuWriteParam(E(kSdVolL, 0, 1), 0x2000));
    ASSERT_TRUE(SpuWriteParam(E(kSdVolR, 0, 1), 0x1000));
    out = Mix(100);
    EXPECT_NEAR(out[2 * 50], 3584, 2);
    EXPECT_NEAR(out[2 * 50 + 1], 1792, 2);
    // Core 1's master at half: both sides halve; core 0's master does not touch core 1.
    ASSERT_TRUE(SpuWriteParam(kSdMasterVolL | 1, 0x2000));
    ASSERT_TRUE(SpuWriteParam(kSdMasterVolL, 0));
    out = Mix(100);
    EXPECT_NEAR(out[2 * 50], 1792, 2);
    EXPECT_NEAR(out[2 * 50 + 1], 1792, 2);
    // Values above 0x3FFF play at 0x3FFF.
    ASSERT_TRUE(SpuWriteParam(kSdMasterVolL | 1, 0x7FFF));
    ASSERT_TRUE(SpuWriteParam(E(kSdVolL, 0, 1), 0x7FFF));
    out = Mix(100);
    EXPECT_NEAR(out[2 * 50], 7168, 2);
}

TEST_F(Spu, KeyOffReleasesAtTheEnvelopesRateThenTheVoiceEnds) {
    Put(kAddr, {ConstantBlock(7, 2, kAdpcmFlagLoopStart | kAdpcmFlagLoopEnd | kAdpcmFlagRepeat)});
    // Voice 0 with the slow release (ADSR2 0x0010: 1024 samples), voice 1 with the fast one (0x0040: 4).
    Voice(0, 0, kAddr, 0x1000, 0x3FFF, 0, 0x0010);
    Voice(0, 1, kAddr, 0x1000, 0, 0x3FFF, 0x0040);
    ASSERT_TRUE(SpuWriteSwitch(kSdKeyOn, 3));
    Mix(100);
    ASSERT_TRUE(SpuWriteSwitch(kSdKeyOff, 3));
    EXPECT_EQ(SpuGetVoice(0, 0).phase(), SpuEnvelopePhase::Release);
    auto out = Mix(2000);
    // Fast release: silent within a few samples. Slow release: falls steadily, half way at ~512.
    EXPECT_EQ(PeakAbs(out, 1, 8), 0);
    EXPECT_NEAR(out[2 * 512], 7168 / 2, 200);
    EXPECT_GT(out[2 * 100], out[2 * 400]);
    EXPECT_EQ(PeakAbs(out, 0, 1030), 0);
    EXPECT_FALSE(SpuGetVoice(0, 0).sounding());
    EXPECT_EQ(EndFlags(0) & 3u, 3u);  // voices that stopped sounding read ended
}

// A sum past the ceiling is brought down to it at once (never to full scale), and the gain comes back
// to unity after the peak has gone.
TEST_F(Spu, VoicesSumAndTheOutputIsLimitedBelowFullScale) {
    Put(kAddr, {ConstantBlock(7, 0, kAdpcmFlagLoopStart | kAdpcmFlagLoopEnd | kAdpcmFlagRepeat)});  // 28672
    Voice(0, 0, kAddr, 0x1000);
    Voice(1, 7, kAddr, 0x1000, 0x1000, 0x1000);
    ASSERT_TRUE(SpuWriteSwitch(kSdKeyOn, 1));
    ASSERT_TRUE(SpuWriteSwitch(kSdKeyOn | 1, 1u << 7));
    const uint64_t limited = SpuLimitedFrames();
    auto out = Mix(100);
    // 28672 + 7168 = 35840 would clip; it plays at the ceiling, both sides alike.
    EXPECT_NEAR(out[2 * 50], kSpuLimiterCeiling, 1);
    EXPECT_LE(out[2 * 50], kSpuLimiterCeiling);
    EXPECT_EQ(out[2 * 50 + 1], out[2 * 50]);
    EXPECT_GT(SpuLimitedFrames(), limited);
    ASSERT_TRUE(SpuWriteSwitch(kSdKeyOff, 1));
    out = Mix(100);
    // The lone voice is heard, a little quieter while the gain recovers ...
    EXPECT_GT(out[2 * 50], 7168 * 8 / 10);
    EXPECT_LE(out[2 * 50], 7168);
    // ... and exactly once it has.
    for (int k = 0; k < 10; ++k) out = Mix(4800);
    EXPECT_NEAR(out[2 * 50], 7168, 2);
    EXPECT_EQ(SpuLimiterGain(), 1.0f);
    // Negative peaks are held the same way.
    Put(kAddr, {ConstantBlock(-8, 0, kAdpcmFlagLoopStart | kAdpcmFlagLoopEnd | kAdpcmFlagRepeat)});
    Voice(0, 1, kAddr, 0x1000);
    Voice(0, 2, kAddr, 0x1000);
    ASSERT_TRUE(SpuWriteSwitch(kSdKeyOn, 6));
    out = Mix(100);
    EXPECT_GE(out[2 * 50], -kSpuLimiterCeiling);
    EXPECT_LT(out[2 * 50], -kSpuLimiterCeiling + 8);
}

TEST_F(Spu, RegisterEntriesThatNameNothingAreRefused) {
    EXPECT_FALSE(SpuWriteParam(E(kSdPitch, 24, 0), 0x1000));  // voice 24 of a core does not exist
    EXPECT_FALSE(SpuWriteParam(0x0500, 1));
    EXPECT_FALSE(SpuWriteSwitch(0x1800, 1));
    EXPECT_EQ(SpuReadSwitch(0x1800), -1);
    EXPECT_FALSE(SpuWriteAddress(E(kSdPitch, 0, 0), 0x100));
    EXPECT_FALSE(SpuWriteAttribute(0x000C, 0x80));
    EXPECT_TRUE(SpuWriteAttribute(kSdCoreAttr, 0x80));
    EXPECT_EQ(SpuCoreAttribute(0), 0x80u);
    EXPECT_FALSE(SpuWriteMemory(kSpuMemSize - 8, nullptr, 16));
    EXPECT_TRUE(SpuWriteMemory(kSpuMemSize, nullptr, 0));
    // A start address past the end is taken modulo the memory size and block-aligned.
    ASSERT_TRUE(SpuWriteAddress(E(kSdStartAddr, 2, 0), kSpuMemSize + 0x1237));
    EXPECT_EQ(SpuGetVoice(0, 2).startAddr, 0x1237u);
    ASSERT_TRUE(SpuWriteSwitch(kSdKeyOn, 1u << 2));
    EXPECT_EQ(SpuGetVoice(0, 2).currentAddress(), 0x1230u);
}

TEST_F(Spu, InitialisationSilencesVoicesButKeepsSoundMemory) {
    Put(kAddr, {ConstantBlock(7, 2, kAdpcmFlagLoopStart | kAdpcmFlagLoopEnd | kAdpcmFlagRepeat)});
    Voice(0, 0, kAddr, 0x1000);
    ASSERT_TRUE(SpuWriteSwitch(kSdKeyOn, 1));
    SpuInitVoices();
    EXPECT_FALSE(SpuGetVoice(0, 0).sounding());
    EXPECT_EQ(EndFlags(0), 0xFFFFFFu);
    EXPECT_EQ(SpuMasterVolume(0, 0), 0);
    EXPECT_EQ(SpuMemory()[kAddr + 1], kAdpcmFlagLoopStart | kAdpcmFlagLoopEnd | kAdpcmFlagRepeat);
}

// Decoded blocks are remembered for looping sounds, but never outlive a change to sound memory.
TEST_F(Spu, DecodedBlocksFollowSoundMemory) {
    Put(kAddr, {ConstantBlock(7, 2, kAdpcmFlagLoopStart | kAdpcmFlagLoopEnd | kAdpcmFlagRepeat)});
    Voice(0, 0, kAddr, 0x1000);
    ASSERT_TRUE(SpuWriteSwitch(kSdKeyOn, 1));
    const uint64_t misses = SpuDecodedBlocks().misses();
    auto out = Mix(28 * 20);
    EXPECT_NEAR(out[2 * 500], 7168, 2);
    EXPECT_GT(SpuDecodedBlocks().hits(), 0u);
    EXPECT_LE(SpuDecodedBlocks().misses() - misses, 3u);  // the loop's history settles at once
    Put(kAddr, {ConstantBlock(-4, 2, kAdpcmFlagLoopStart | kAdpcmFlagLoopEnd | kAdpcmFlagRepeat)});
    out = Mix(28 * 2);
    EXPECT_NEAR(out[2 * 50], -4096, 2);
}

// A plain model of one voice at full level: walk the blocks by their flags, decode each in turn, and
// interpolate output j from the source stream at j * pitch / 4096 (one sample back), silent once the
// sound has stopped. Returns the voice's samples before volume.
std::vector<int32_t> ReferenceVoice(const uint8_t* mem, uint32_t start, uint32_t pitch, int frames) {
    std::vector<int32_t> stream;  // stream[i]: source sample i - 1; stream[0] = 0
    stream.push_back(0);
    uint32_t addr = start, loop = start;
    int32_t h1 = 0, h2 = 0;
    bool stopped = false;
    const uint64_t need = (static_cast<uint64_t>(frames) * pitch >> 12) + 2;
    while (!stopped && stream.size() < need + 1) {
        int16_t s[28];
        const uint8_t flags = AdpcmDecodeBlock(mem + addr, s, &h1, &h2);
        if (flags & kAdpcmFlagLoopStart) loop = addr;
        stream.insert(stream.end(), s, s + 28);
        uint32_t next = addr + 16;
        if (flags & kAdpcmFlagLoopEnd) {
            if (!(flags & kAdpcmFlagRepeat)) stopped = true;
            next = loop;
        }
        if (next > kSpuMemSize - 16) stopped = true;
        addr = next;
    }
    std::vector<int32_t> out(static_cast<size_t>(frames), 0);
    for (int j = 0; j < frames; ++j) {
        const uint64_t p = static_cast<uint64_t>(j) * pitch;
        const uint64_t idx = p >> 12;
        if (idx + 1 >= stream.size()) break;  // stopped: silence from here
        const int32_t a = stream[idx];
        out[static_cast<size_t>(j)] = a + (((stream[idx + 1] - a) * static_cast<int32_t>(p & 0xFFF)) >> 12);
    }
    return out;
}

TEST_F(Spu, MixerMatchesAPlainModelOfTheVoices) {
    uint32_t seed = 12345;
    auto rnd = [&]() {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    auto randomBlocks = [&](int n) {
        std::vector<std::vector<uint8_t>> blocks;
        for (int b = 0; b < n; ++b) {
            std::vector<uint8_t> blk(16);
            for (auto& x : blk) x = static_cast<uint8_t>(rnd());
            blk[0] = static_cast<uint8_t>((rnd() % 5) << 4 | (4 + rnd() % 9));
            blk[1] = 0;
            blocks.push_back(blk);
        }
        return blocks;
    };
    // Voice 0: intro of 3 blocks, then 7 looping. Voice 1: a 40-block one-shot. Voice 2 (core 1): runs
    // to the top of memory with no end flag at all.
    auto loopSample = randomBlocks(10);
    loopSample[3][1] = kAdpcmFlagLoopStart;
    loopSample[9][1] = kAdpcmFlagLoopEnd | kAdpcmFlagRepeat;
    auto oneShot = randomBlocks(40);
    oneShot[39][1] = kAdpcmFlagLoopEnd;
    auto runaway = randomBlocks(30);
    const uint32_t topAddr = kSpuMemSize - 30 * 16;
    Put(kAddr, loopSample);
    Put(kAddr + 0x1000, oneShot);
    Put(topAddr, runaway);
    const uint16_t pitches[3] = {0x0F37, 0x2A11, 0x3FFF};
    const uint32_t starts[3] = {kAddr, kAddr + 0x1000, topAddr};
    // Volumes that keep the left pair's sum under the limiter's ceiling, so the output is the plain sum.
    constexpr uint16_t kVol = 0x1C00;
    Voice(0, 0, starts[0], pitches[0], kVol, 0);
    Voice(0, 1, starts[1], pitches[1], kVol, 0);
    Voice(1, 9, starts[2], pitches[2], 0, kVol);
    const uint64_t limited = SpuLimitedFrames();
    ASSERT_TRUE(SpuWriteSwitch(kSdKeyOn, 3));
    ASSERT_TRUE(SpuWriteSwitch(kSdKeyOn | 1, 1u << 9));
    const int frames = 3000;
    // Uneven pieces, across the mixer's own chunks.
    std::vector<int16_t> got;
    for (int piece : {1, 255, 256, 257, 700, 1531}) {
        auto part = Mix(piece);
        got.insert(got.end(), part.begin(), part.end());
    }
    ASSERT_EQ(got.size(), 2u * frames);
    const int32_t g = (((kSpuEnvelopeFull * kVol + 0x4000) >> 15) * 0x3FFF + 0x2000) >> 14;
    std::vector<int32_t> left(frames, 0), right(frames, 0);
    for (int v = 0; v < 3; ++v) {
        const auto ref = ReferenceVoice(SpuMemory(), starts[v], pitches[v], frames);
        for (int j = 0; j < frames; ++j)
            (v < 2 ? left : right)[static_cast<size_t>(j)] += (ref[static_cast<size_t>(j)] * g) >> 14;
    }
    int mismatches = 0;
    for (int j = 0; j < frames; ++j) {
        const int16_t l = static_cast<int16_t>(std::clamp(left[static_cast<size_t>(j)], -32768, 32767));
        const int16_t r = static_cast<int16_t>(std::clamp(right[static_cast<size_t>(j)], -32768, 32767));
        if (got[2 * static_cast<size_t>(j)] != l || got[2 * static_cast<size_t>(j) + 1] != r) {
            if (++mismatches <= 5)
                ADD_FAILURE() << "frame " << j << ": " << got[2 * j] << "," << got[2 * j + 1] << " vs " << l
                              << "," << r;
        }
    }
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ(SpuLimitedFrames(), limited);
    EXPECT_TRUE(SpuGetVoice(0, 0).sounding());
    EXPECT_FALSE(SpuGetVoice(0, 1).sounding());
    EXPECT_FALSE(SpuGetVoice(1, 9).sounding());
    EXPECT_EQ(EndFlags(0) & 3u, 3u);  // the loop has passed its end block; the one-shot has ended
}

// Same register writes, same samples: the output depends on nothing else.
TEST_F(Spu, SameInputGivesTheSameSamples) {
    auto run = [&]() {
        SetUp();
        Put(kAddr, {SquareBlock(2, kAdpcmFlagLoopStart), ConstantBlock(3, 3, 0),
                    SquareBlock(1, kAdpcmFlagLoopEnd | kAdpcmFlagRepeat)});
        for (int v = 0; v < 24; ++v)
            Voice(v & 1, v, kAddr, static_cast<uint16_t>(0x300 + v * 0x123), 0x3FFF - v * 100, v * 300);
        SpuWriteSwitch(kSdKeyOn, 0xFFFFFF);
        SpuWriteSwitch(kSdKeyOn | 1, 0xFFFFFF);
        std::vector<int16_t> out = Mix(4000);
        SpuWriteSwitch(kSdKeyOff, 0x00FF00);
        std::vector<int16_t> more = Mix(4000);
        out.insert(out.end(), more.begin(), more.end());
        return out;
    };
    const auto a = run();
    const auto b = run();
    EXPECT_EQ(a, b);
    EXPECT_GT(PeakAbs(a, 0), 1000);
}

}  // namespace
