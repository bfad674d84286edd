// The decoder against ffmpeg's decoder for this block format, run as a program on the same blocks
// (wrapped in a minimal VAG file, which ffmpeg reads as this format). Skipped when ffmpeg is not
// installed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "console/spu/adpcm.h"
#include "console/spu/adpcm_encoder.h"
#include "support/temp_dir.h"

namespace {

bool HaveFfmpeg() {
    return std::system("command -v ffmpeg > /dev/null 2>&1") == 0;
}

void PutBe32(std::vector<uint8_t>& v, uint32_t x) {
    for (int s = 24; s >= 0; s -= 8) v.push_back(static_cast<uint8_t>(x >> s));
}

// ffmpeg's decoding of the blocks, or an empty vector when it failed.
std::vector<int16_t> FfmpegDecode(const std::vector<uint8_t>& blocks, const std::string& dir) {
    std::vector<uint8_t> file = {'V', 'A', 'G', 'p'};
    PutBe32(file, 0x20);  // version
    PutBe32(file, 0);
    PutBe32(file, static_cast<uint32_t>(blocks.size()));
    PutBe32(file, 44100);
    file.resize(48, 0);  // reserved and name
    file.insert(file.end(), blocks.begin(), blocks.end());
    const std::string in = dir + "/blocks.vag", out = dir + "/pcm.raw";
    std::FILE* f = std::fopen(in.c_str(), "wb");
    if (!f) return {};
    std::fwrite(file.data(), 1, file.size(), f);
    std::fclose(f);
    const std::string cmd = "ffmpeg -nostdin -hide_banner -loglevel error -y -i '" + in +
                            "' -f s16le -acodec pcm_s16le '" + out + "'";
    if (std::system(cmd.c_str()) != 0) return {};
    std::vector<int16_t> pcm;
    f = std::fopen(out.c_str(), "rb");
    if (!f) return {};
    uint8_t b[2];
    while (std::fread(b, 1, 2, f) == 2) pcm.push_back(static_cast<int16_t>(b[0] | b[1] << 8));
    std::fclose(f);
    return pcm;
}

std::vector<int16_t> OurDecode(const std::vector<uint8_t>& blocks) {
    std::vector<int16_t> pcm(blocks.size() / kAdpcmBlockBytes * kAdpcmBlockSamples);
    int32_t h1 = 0, h2 = 0;
    for (size_t b = 0; b * kAdpcmBlockBytes < blocks.size(); ++b)
        AdpcmDecodeBlock(&blocks[b * kAdpcmBlockBytes], &pcm[b * kAdpcmBlockSamples], &h1, &h2);
    return pcm;
}

// Random blocks, each filter and shift many times in a random order, the history carried from block
// to block; flags vary but never all three of bits 0-2 (ffmpeg plays such a block as silence).
TEST(AdpcmAgainstFfmpeg, RandomBlocksOfEveryFilterAndShiftDecodeBitForBit) {
    if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
    testsupport::TempDir dir;
    std::mt19937 rng(20261207);
    std::vector<int> headers;
    for (int rep = 0; rep < 60; ++rep)
        for (int f = 0; f < kAdpcmFilterCount; ++f)
            for (int s = 0; s <= kAdpcmMaxShift; ++s) headers.push_back(f << 4 | s);
    std::shuffle(headers.begin(), headers.end(), rng);
    std::vector<uint8_t> blocks;
    static const uint8_t kFlags[] = {0, 0, 0, kAdpcmFlagLoopEnd, kAdpcmFlagLoopStart, kAdpcmFlagRepeat};
    for (int h : headers) {
        blocks.push_back(static_cast<uint8_t>(h));
        blocks.push_back(kFlags[rng() % 6]);
        // Quiet blocks now and then, so the filters also work on small histories.
        const bool quiet = rng() % 4 == 0;
        for (int i = 0; i < 14; ++i)
            blocks.push_back(quiet ? static_cast<uint8_t>(rng() % 2 ? 0x00 : 0xFF)
                                   : static_cast<uint8_t>(rng()));
    }
    const std::vector<int16_t> theirs = FfmpegDecode(blocks, dir.path());
    const std::vector<int16_t> ours = OurDecode(blocks);
    ASSERT_EQ(theirs.size(), ours.size());
    size_t differ = 0, clipped = 0;
    for (size_t i = 0; i < ours.size(); ++i) {
        differ += theirs[i] != ours[i];
        clipped += ours[i] == 32767 || ours[i] == -32768;
    }
    EXPECT_EQ(differ, 0u) << "of " << ours.size() << " samples";
    // The stream does exercise the limit and the history kept past it.
    EXPECT_GT(clipped, ours.size() / 100);
}

// A full-scale sine clipped to 16 bits: what the encoder writes plays the same in ffmpeg, here, and in a
// decoder that keeps the clamped sample as history (worked out beside), because no block's sums clip.
TEST(AdpcmAgainstFfmpeg, ClippedSineEncodesToBlocksEveryDecoderPlaysAlike) {
    std::vector<int16_t> pcm(48000 / 2);
    for (size_t i = 0; i < pcm.size(); ++i) {
        const double v = 1.3 * 32767.0 * std::sin(2.0 * M_PI * 300.0 * static_cast<double>(i) / 48000.0);
        pcm[i] = static_cast<int16_t>(std::clamp(v, -32768.0, 32767.0));
    }
    const std::vector<uint8_t> enc = AdpcmEncode(pcm.data(), pcm.size(), false);
    const std::vector<int16_t> ours = OurDecode(enc);
    // Clamped-history decoding.
    std::vector<int16_t> clampedHistory;
    int32_t h1 = 0, h2 = 0;
    for (size_t b = 0; b * kAdpcmBlockBytes < enc.size(); ++b) {
        const uint8_t* block = &enc[b * kAdpcmBlockBytes];
        for (int k = 0; k < kAdpcmBlockSamples; ++k) {
            const int nib = block[2 + k / 2] >> (k % 2 * 4) & 0x0F;
            const int32_t sum = AdpcmUnclamped(nib, AdpcmShift(block[0]), AdpcmFilter(block[0]), h1, h2);
            const int32_t out = std::clamp(sum, -32768, 32767);
            clampedHistory.push_back(static_cast<int16_t>(out));
            h2 = h1;
            h1 = out;
        }
    }
    ASSERT_EQ(clampedHistory.size(), ours.size());
    int worst = 0;
    for (size_t i = 0; i < ours.size(); ++i) worst = std::max(worst, std::abs(ours[i] - clampedHistory[i]));
    EXPECT_EQ(worst, 0);
    // And it is still the sine: close to the input everywhere.
    double err = 0, sig = 0;
    for (size_t i = 0; i < pcm.size(); ++i) {
        err += (pcm[i] - ours[i]) * static_cast<double>(pcm[i] - ours[i]);
        sig += pcm[i] * static_cast<double>(pcm[i]);
    }
    EXPECT_GT(10.0 * std::log10(sig / err), 30.0);
    if (!HaveFfmpeg())
        GTEST_SKIP() << "ffmpeg is not installed: compared with the clamped-history decoder only";
    testsupport::TempDir dir;
    const std::vector<int16_t> theirs = FfmpegDecode(enc, dir.path());
    ASSERT_EQ(theirs.size(), ours.size());
    for (size_t i = 0; i < ours.size(); ++i) ASSERT_EQ(theirs[i], ours[i]) << i;
}

}  // namespace
