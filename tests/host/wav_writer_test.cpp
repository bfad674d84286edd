#include "host/wav_writer.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <string>
#include <vector>

#include "host/output_signals.h"
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

// Every second of sound reaches the file with the header's sizes brought up to date, so a run killed
// at any moment leaves a valid WAV of all but its last second; a signal writes the rest.
TEST(WavWriter, TheHeaderFollowsEachSecondAndASignalFinishesTheFile) {
    testsupport::TempDir dir;
    host::WavWriter w;
    host::Error err;
    const int rate = 1000;  // a second is 1000 frames
    ASSERT_TRUE(w.Open(dir.file("k.wav").c_str(), rate, &err)) << err.Text();
    std::vector<int16_t> frames(2 * 2500);
    for (size_t i = 0; i < frames.size(); ++i) frames[i] = static_cast<int16_t>(i);
    auto onFile = [&] { return testsupport::ReadText(dir.file("k.wav")); };
    ASSERT_TRUE(w.Write(frames.data(), 999, &err));
    EXPECT_EQ(onFile().size(), 44u);  // under a second: still kept
    EXPECT_EQ(U32(onFile(), 40), 0u);
    ASSERT_TRUE(w.Write(frames.data() + 2 * 999, 1501, &err));  // 2.5 s in all
    std::string wav = onFile();
    ASSERT_EQ(wav.size(), 44u + 2000 * 4);
    EXPECT_EQ(U32(wav, 4), 36u + 2000 * 4);
    EXPECT_EQ(U32(wav, 40), 2000u * 4);
    EXPECT_EQ(w.FramesInHeader(), 2000u);
    w.FinishFromSignal();
    wav = onFile();
    ASSERT_EQ(wav.size(), 44u + 2500 * 4);
    EXPECT_EQ(U32(wav, 4), 36u + 2500 * 4);
    EXPECT_EQ(U32(wav, 40), 2500u * 4);
    EXPECT_EQ(Samples(wav), frames);
    // A file a killed write left with half a frame on its end is cut back to whole frames.
    {
        std::FILE* f = std::fopen(dir.file("k.wav").c_str(), "ab");
        ASSERT_NE(f, nullptr);
        std::fputc(7, f);
        std::fclose(f);
    }
    w.FinishFromSignal();
    wav = onFile();
    EXPECT_EQ(wav.size(), 44u + 2500 * 4);
    EXPECT_EQ(U32(wav, 40), 2500u * 4);
}

// A write that fails part way (here a file-size limit, set in a child process, that falls inside a frame
// of the second second): the file is cut to whole frames and the header counts them, and closing reports
// the failure.
TEST(WavWriter, AfterAFailedWriteTheHeaderCountsWhatTheFileHolds) {
    testsupport::TempDir dir;
    const std::string path = dir.file("f.wav");
    const int rate = 1000;  // a second is 4000 bytes
    const rlim_t limit = 44 + 4000 + 2 * 1000 + 3;
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const struct rlimit rl = {limit, limit};
        if (setrlimit(RLIMIT_FSIZE, &rl) != 0) _exit(10);
        host::WavWriter w;
        host::Error err;
        if (!w.Open(path.c_str(), rate, &err)) _exit(11);
        std::vector<int16_t> frames(2 * 3000, 9);
        if (!w.Write(frames.data(), 1000, &err)) _exit(12);  // the first second reaches the file
        if (w.Write(frames.data(), 2000, &err)) _exit(13);   // the second does not, whole
        if (w.FramesInHeader() != 1500) _exit(14);
        if (w.Close(&err)) _exit(15);
        _exit(std::string(err.Text()).find("File too large") == std::string::npos ? 16 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);
    const std::string wav = testsupport::ReadText(path);
    ASSERT_EQ(wav.size(), 44u + 1500 * 4);
    EXPECT_EQ(U32(wav, 4), 36u + 1500 * 4);
    EXPECT_EQ(U32(wav, 40), 1500u * 4);
}

// A run started with SIGINT ignored (put in the background by a script) is not ended by one: the
// recording goes on and is finished as usual.
TEST(WavWriterDeathTest, ASignalIgnoredAtTheStartStaysIgnored) {
    testsupport::TempDir dir;
    const std::string path = dir.file("i.wav");
    EXPECT_EXIT(
        {
            std::signal(SIGINT, SIG_IGN);
            static host::WavWriter w;
            host::Error err;
            if (!w.Open(path.c_str(), 1000, &err)) std::_Exit(3);
            host::InstallOutputSignalHandlers(&w);
            const std::vector<int16_t> frames(2 * 1500, 1);
            w.Write(frames.data(), 1500, &err);
            std::raise(SIGINT);
            w.Write(frames.data(), 1500, &err);
            std::_Exit(w.Close(&err) ? 0 : 4);
        },
        testing::ExitedWithCode(0), "");
    const std::string wav = testsupport::ReadText(path);
    ASSERT_EQ(wav.size(), 44u + 3000 * 4);
    EXPECT_EQ(U32(wav, 40), 3000u * 4);
}

TEST(WavWriter, ReportsAFileItCannotCreate) {
    host::WavWriter w;
    host::Error err;
    EXPECT_FALSE(w.Open("/nonexistent-dir/x.wav", 48000, &err));
    EXPECT_NE(std::string(err.Text()).find("/nonexistent-dir/x.wav"), std::string::npos);
    EXPECT_FALSE(w.Write(nullptr, 0, &err));
}

}  // namespace
