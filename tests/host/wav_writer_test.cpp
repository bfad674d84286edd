#include "host/wav_writer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "console/kernel/clock.h"
#include "console/spu/driver_modules_fixture.h"
#include "console/spu/sd_remote.h"
#include "console/spu/spu.h"
#include "engine/hal/sound.h"
#include "engine/hal/sound_format.h"
#include "mkdisc/sounds.h"
#include "support/temp_dir.h"

namespace {

uint32_t U32(const std::string& s, size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(s[at + static_cast<size_t>(i)]);
    return v;
}
uint16_t U16(const std::string& s, size_t at) {
    return static_cast<uint16_t>(static_cast<uint8_t>(s[at]) | static_cast<uint8_t>(s[at + 1]) << 8);
}

std::vector<int16_t> Samples(const std::string& wav) {
    std::vector<int16_t> out((wav.size() - 44) / 2);
    std::memcpy(out.data(), wav.data() + 44, out.size() * 2);
    return out;
}

TEST(WavWriter, WritesAHeaderThatMatchesTheData) {
    testsupport::TempDir dir;
    host::WavWriter w;
    host::Error err;
    ASSERT_TRUE(w.Open(dir.file("a.wav").c_str(), 48000, &err)) << err.Text();
    const int16_t frames[6] = {1, -1, 32767, -32768, 256, -256};
    EXPECT_TRUE(w.Write(frames, 3, &err));
    host::WavWriter::Sink(frames, 1, &w);
    EXPECT_EQ(w.Frames(), 4u);
    EXPECT_TRUE(w.Close(&err));
    EXPECT_FALSE(w.IsOpen());
    const std::string wav = testsupport::ReadText(dir.file("a.wav"));
    ASSERT_EQ(wav.size(), 44u + 16);
    EXPECT_EQ(wav.substr(0, 4), "RIFF");
    EXPECT_EQ(U32(wav, 4), 36u + 16);
    EXPECT_EQ(wav.substr(8, 8), "WAVEfmt ");
    EXPECT_EQ(U32(wav, 16), 16u);
    EXPECT_EQ(U16(wav, 20), 1);  // PCM
    EXPECT_EQ(U16(wav, 22), 2);  // stereo
    EXPECT_EQ(U32(wav, 24), 48000u);
    EXPECT_EQ(U32(wav, 28), 192000u);
    EXPECT_EQ(U16(wav, 32), 4);
    EXPECT_EQ(U16(wav, 34), 16);
    EXPECT_EQ(wav.substr(36, 4), "data");
    EXPECT_EQ(U32(wav, 40), 16u);
    const std::vector<int16_t> s = Samples(wav);
    EXPECT_EQ(s, (std::vector<int16_t>{1, -1, 32767, -32768, 256, -256, 1, -1}));
}

TEST(WavWriter, ReportsAFileItCannotCreate) {
    host::WavWriter w;
    host::Error err;
    EXPECT_FALSE(w.Open("/nonexistent-dir/x.wav", 48000, &err));
    EXPECT_NE(std::string(err.Text()).find("/nonexistent-dir/x.wav"), std::string::npos);
    EXPECT_FALSE(w.Write(nullptr, 0, &err));
}

// The whole path: a sample made by the disc writer, played by the engine, mixed by the sound
// processor frame by frame and written to WAV. The frequency in the file is the sample's tone moved
// by the playback rate; a second run gives the same bytes.
std::string PlayToWav(const std::string& path) {
    console::ClockReset();
    console::SdRemoteReset();
    veSoundReset();
    testsupport::DriverModules modules;
    veSoundSetMaxSamples(120);
    veSoundSetSpeakerConfig(1);
    EXPECT_EQ(veSoundInit(), 0);
    host::WavWriter w;
    host::Error err;
    EXPECT_TRUE(w.Open(path.c_str(), 48000, &err));
    console::SpuSetSink(&host::WavWriter::Sink, &w);
    SampleParams params;
    params.sampleRate = 22050;
    params.looped = true;
    params.pan = {1.0f, 0.0f, 1.0f, 0.0f, 0.0f};  // right only
    const std::vector<int16_t> tone = SynthTone(500.0, 22050, 22050, 12000, true);
    const std::vector<uint8_t> img = EncodeSampleImage(params, tone);
    _Sample* s = veSoundCreateSampleFromPointer(img.data(), img.data() + 64, kSampleStorageSoundRam, 0);
    EXPECT_NE(s, nullptr);
    // Played at 44100 Hz: an octave up.
    _SampleInstance* in = veSoundCreateSampleInstance(s, 44100, static_cast<uint32_t>(-1), nullptr);
    veSoundStartSampleInstance(in);
    for (int frame = 0; frame < 60; ++frame) {
        veSoundMaintenance();
        console::ClockTickVblank();
        console::SpuCatchUp();
    }
    console::SpuSetSink(nullptr, nullptr);
    EXPECT_TRUE(w.Close(&err));
    veSoundReset();
    return testsupport::ReadText(path);
}

TEST(WavWriter, EngineSoundInTheWavHasTheRightPitchAndSideAndRepeats) {
    testsupport::TempDir dir;
    const std::string a = PlayToWav(dir.file("a.wav"));
    ASSERT_EQ(a.size(), 44u + 48000 * 4);
    const std::vector<int16_t> s = Samples(a);
    // The tone's frequency had whole cycles in its loop; at twice the rate it doubles. The pitch
    // register holds (44100 << 12) / 48000 = 3763, so the voice actually runs at 3763/4096 * 48000.
    const double loopFrames = 22050 / 28 * 28;
    const double f0 = std::round(500.0 * loopFrames / 22050) * 22050 / loopFrames;
    const double played = f0 * (3763.0 / 4096 * 48000) / 22050;
    std::vector<int16_t> late(s.begin() + 2 * 4800, s.end());  // skip the first 0.1 s
    EXPECT_NEAR(testsupport::MeasureFrequency(late, 1, 48000), played, 0.5);
    EXPECT_EQ(testsupport::PeakAbs(s, 0), 0);  // left silent: panned hard right
    EXPECT_GT(testsupport::PeakAbs(s, 1), 10000);
    const std::string b = PlayToWav(dir.file("b.wav"));
    EXPECT_TRUE(a == b);
}

}  // namespace
