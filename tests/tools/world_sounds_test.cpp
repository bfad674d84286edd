// The sample disc's world sound files: every file (indoor, outdoor and the fallback) numbers its sounds
// alike, so that an object type's hit and ambient sound numbers mean the same sound on every track; the
// ambient sounds loop, the hit sounds do not; the ambient loops leave headroom for being heard together.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "game/files/master_file_format.h"
#include "mkdisc/audio_files.h"
#include "mkdisc/audio_synth.h"

namespace {

struct SubFile {
    const uint8_t* at;
    uint32_t length;
};

std::vector<SubFile> SubFiles(const std::vector<uint8_t>& image) {
    const masterfile::Check c = masterfile::Validate(image.data(), uint32_t(image.size()));
    EXPECT_TRUE(c.ok) << c.why;
    std::vector<SubFile> out;
    if (!c.ok) return out;
    for (uint32_t i = 0; i < c.subFiles; ++i) {
        const uint32_t e = masterfile::ReadU32(image.data(), masterfile::EntryOffset(i));
        const uint32_t next = masterfile::ReadU32(image.data(), masterfile::EntryOffset(i + 1));
        const uint32_t from = e & masterfile::kOffsetMask;
        out.push_back(
            {image.data() + from, (next & masterfile::kOffsetMask) - from - (e & masterfile::kPadMask)});
    }
    return out;
}

TEST(WorldSoundFiles, EveryFileNumbersItsSoundsAlikeAndTheAmbientOnesLoop) {
    const std::vector<std::string> all = {"fence", "tyre",      "hay",  "barrel", "post",
                                          "crowd", "generator", "wind", "birds"};
    struct File {
        std::vector<uint8_t> image;
        int sounds;
    } files[] = {{BuildWorldSoundFile(false, 1), kWorldSoundsOutdoor},
                 {BuildWorldSoundFile(true, 2), kWorldSoundsIndoor},
                 {BuildDefaultObjectSoundFile(), kWorldSoundsIndoor}};
    for (const File& f : files) {
        const std::vector<SubFile> subs = SubFiles(f.image);
        ASSERT_EQ(int(subs.size()), f.sounds + 1);
        std::istringstream list(
            std::string(reinterpret_cast<const char*>(subs.back().at), subs.back().length));
        std::vector<std::string> names;
        for (std::string line; std::getline(list, line);)
            if (!line.empty() && line[0] != '\0') names.push_back(line);
        ASSERT_EQ(int(names.size()), f.sounds);
        for (int i = 0; i < f.sounds; ++i) EXPECT_EQ(names[size_t(i)], all[size_t(i)]);
        // Hit sounds are 1-based in the type records, ambient sounds 0-based.
        EXPECT_EQ(names[kHitSoundFence - 1], "fence");
        EXPECT_EQ(names[kHitSoundHayBale - 1], "hay");
        EXPECT_EQ(names[kAmbientCrowd], "crowd");
        EXPECT_EQ(names[kAmbientGenerator], "generator");
        if (f.sounds > kAmbientBirds) {
            EXPECT_EQ(names[kAmbientBirds], "birds");
        }
        for (int i = 0; i < f.sounds; ++i) {
            ASSERT_GE(subs[size_t(i)].length, 64u);
            int32_t looped;
            std::memcpy(&looped, subs[size_t(i)].at + 4, 4);
            EXPECT_EQ(looped != 0, i >= kAmbientCrowd) << names[size_t(i)];
        }
    }
    // The loops a track plays all race long peak at most at a third of full scale.
    for (WorldSound s :
         {WorldSound::CrowdMurmur, WorldSound::Generator, WorldSound::Wind, WorldSound::Birds}) {
        const Pcm pcm = SynthWorldSound(s, 1);
        int peak = 0;
        for (int16_t v : pcm) peak = std::max(peak, std::abs(int(v)));
        EXPECT_GT(peak, 3000);
        EXPECT_LE(peak, 32767 / 3);
    }
}

}  // namespace
