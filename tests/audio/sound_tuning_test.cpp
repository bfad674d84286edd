// "AUDIO\sound.txt": the writer's text read back, malformed variants refused with the fault named, and
// the race's loader falling back to the defaults with one log line naming the file.
#include "audio/sound_tuning.h"

#include <gtest/gtest.h>

#include <string>

#include "console/cd/cd.h"
#include "engine/sys/files.h"
#include "mkdisc/audio_files.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"

namespace {

// The reader's answer as a bool, with its reason in `fault` when it refuses.
bool ReadTuning(const char* text, size_t length, SoundTuning* out, std::string* fault) {
    const FormatCheck c = ReadSoundTuning(text, length, out);
    *fault = c.why;
    EXPECT_EQ(c.ok, fault->empty()) << *fault;
    return c.ok;
}

void ExpectSame(const SoundTuning& a, const SoundTuning& b) {
    for (int i = 0; i < 8; ++i) EXPECT_FLOAT_EQ(a.volumes[i], b.volumes[i]) << i;
    EXPECT_FLOAT_EQ(a.announcerFrequency, b.announcerFrequency);
    EXPECT_FLOAT_EQ(a.crowdFrequency, b.crowdFrequency);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(a.groupLimits[i], b.groupLimits[i]) << i;
}

TEST(SoundTuning, TheWritersTextReadsBack) {
    const std::string disc = BuildSoundTuningText();
    SoundTuning t;
    std::string fault;
    ASSERT_TRUE(ReadTuning(disc.data(), disc.size(), &t, &fault)) << fault;
    ExpectSame(t, DefaultSoundTuning());
    SoundTuning edge;  // every value at an end of its range
    for (float& v : edge.volumes) v = 0.0f;
    edge.volumes[7] = kSoundTuningMaxVolume;
    edge.announcerFrequency = kSoundTuningMaxFrequency;
    edge.crowdFrequency = 0.0f;
    edge.groupLimits[0] = 1;
    edge.groupLimits[2] = kSoundTuningMaxGroupLimit;
    const std::string text = WriteSoundTuning(edge);
    ASSERT_TRUE(ReadTuning(text.data(), text.size(), &t, &fault)) << fault;
    ExpectSame(t, edge);
}

TEST(SoundTuning, MalformedTextIsRefusedWithItsFault) {
    const struct {
        const char* text;
        const char* fault;
    } cases[] = {
        {"nan 0.9 0.7 0.9 1 0.9 0.8 0.6 0.004 0.006 8 6 6", "music volume nan is outside 0..1"},
        {"0.3 inf 0.7 0.9 1 0.9 0.8 0.6 0.004 0.006 8 6 6", "effects volume inf is outside 0..1"},
        {"0.3 0.9 -0.5 0.9 1 0.9 0.8 0.6 0.004 0.006 8 6 6", "engine volume -0.5 is outside 0..1"},
        {"0.3 0.9 0.7 0.9 1e38 0.9 0.8 0.6 0.004 0.006 8 6 6", "collision volume 1e+38 is outside 0..1"},
        {"0.3 0.9 0.7 0.9 1 0.9 0.8 0.6 2 0.006 8 6 6", "announcer frequency 2 is outside 0..1"},
        {"0.3 0.9 0.7 0.9 1 0.9 0.8 0.6 0.004 -nan 8 6 6", "crowd frequency"},
        {"0.3 0.9 0.7 0.9 1 0.9 0.8 0.6 0.004 0.006 0 6 6", "engine group limit 0 is outside 1..8"},
        {"0.3 0.9 0.7 0.9 1 0.9 0.8 0.6 0.004 0.006 8 -1 6", "impact group limit -1 is outside 1..8"},
        {"0.3 0.9 0.7 0.9 1 0.9 0.8 0.6 0.004 0.006 8 6 99", "effects group limit 99 is outside 1..8"},
        {"0.3 0.9 0.7 0.9 1 0.9 0.8 0.6 0.004 0.006 8 6", "no effects group limit"},
        {"0.3 0.9 0.7", "no checkpoint volume"},
        {"volume=loud", "no music volume"},
        {"", "empty"},
        {"  \n", "empty"},
        {"0.3 0.9 0.7 0.9 1 0.9 0.8 0.6 0.004 0.006 8 6 6 7", "text after the last field"},
        {"0.3 0.9 0.7 0.9 1 0.9 0.8 0.6 0.004 0.006 8 6 6.5", "text after the last field"},
    };
    for (const auto& c : cases) {
        SoundTuning t;
        t.volumes[0] = 0.123f;
        std::string fault;
        EXPECT_FALSE(ReadTuning(c.text, std::string(c.text).size(), &t, &fault)) << c.text;
        EXPECT_NE(fault.find(c.fault), std::string::npos) << c.text << ": " << fault;
        EXPECT_FLOAT_EQ(t.volumes[0], 0.123f) << "left alone: " << c.text;
    }
    // Longer than the reader's buffer, and a zero byte inside.
    std::string fault;
    SoundTuning t;
    const std::string good = BuildSoundTuningText();
    const std::string padded = good + std::string(kSoundTuningMaxBytes, ' ');
    EXPECT_FALSE(ReadTuning(padded.data(), padded.size(), &t, &fault));
    EXPECT_EQ(fault, "longer than 256 bytes");
    std::string zero = good;
    zero[3] = '\0';
    EXPECT_FALSE(ReadTuning(zero.data(), zero.size(), &t, &fault));
    EXPECT_EQ(fault, "holds a zero byte");
    // Trailing white space and another layout of the same numbers are fine.
    const std::string spaced = "0.3\t0.9\n0.7 0.9 1 0.9 0.8 0.6 0.004 0.006 8 6 6\r\n\n";
    EXPECT_TRUE(ReadTuning(spaced.data(), spaced.size(), &t, &fault)) << fault;
}

// The loader on a disc: each fault is one log line naming the file, and the defaults are used.
TEST(SoundTuning, TheRaceLoaderFallsBackToTheDefaultsWithOneLogLine) {
    testsupport::TempDir disc;
    ASSERT_TRUE(console::CdMount(disc.path().c_str()));
    x_InitSTDIO();
    testsupport::LogCapture log;
    const SoundTuning defaults = DefaultSoundTuning();
    auto LoadSoundTuning = [&disc] {
        // The disc as it is now, with no sector of the file as it was kept.
        console::CdUnmount();
        EXPECT_TRUE(console::CdMount(disc.path().c_str()));
        PS2CD_ResetFiles();
        return ::LoadSoundTuning();
    };

    ExpectSame(LoadSoundTuning(), defaults);
    EXPECT_EQ(log.count("AUDIO\\sound.txt: not found; the race uses the default sound tuning\n"), 1)
        << log.text();

    const struct {
        const char* text;
        const char* line;
    } bad[] = {
        {"0.3 0.9 1e38 0.9 1 0.9 0.8 0.6 0.004 0.006 8 6 6\n",
         "AUDIO\\sound.txt: engine volume 1e+38 is outside 0..1; the race uses the default sound tuning\n"},
        {"garbage\n", "AUDIO\\sound.txt: no music volume; the race uses the default sound tuning\n"},
    };
    for (const auto& b : bad) {
        disc.write("AUDIO/sound.txt", std::string(b.text));
        log.clear();
        ExpectSame(LoadSoundTuning(), defaults);
        EXPECT_EQ(log.text(), b.line);
    }

    SoundTuning own = defaults;
    own.volumes[2] = 0.25f;
    own.groupLimits[1] = 3;
    disc.write("AUDIO/sound.txt", WriteSoundTuning(own));
    log.clear();
    ExpectSame(LoadSoundTuning(), own);
    EXPECT_EQ(log.count("sound.txt"), 0) << log.text();
    console::CdUnmount();
}

}  // namespace
