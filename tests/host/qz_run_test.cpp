// Runs the real program on a disc directory and checks what it logs and how it ends.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "mkdisc/disc_writer.h"
#include "support/temp_dir.h"

namespace {

struct QzResult {
    std::string out;
    int exitCode;
};

// `shell` runs before qz in the same shell (limits, environment).
QzResult RunQz(const std::string& args, const std::string& shell = "") {
    std::string cmd = shell + std::string(QZ_BUILD_DIR) + "/qz " + args + " 2>&1";
    QzResult r{"", -1};
    std::FILE* p = popen(cmd.c_str(), "r");
    if (!p) return r;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    int status = pclose(p);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

TEST(QzRun, BootsAndLoadsTheCommonObjectsFile) {
    testsupport::TempDir disc, out;
    ASSERT_TRUE(WriteSampleDisc(disc.path()));
    QzResult r = RunQz("--disc " + disc.path() + " --out " + out.path() + " --frames 1");
    EXPECT_EQ(r.exitCode, 0) << r.out;
    size_t name = r.out.find("filename COMMON\\qz02dat.bin\n");
    size_t mem = r.out.find("fileMem ");
    size_t front = r.out.find("Before Frontend Used Mem = ");
    ASSERT_NE(name, std::string::npos) << r.out;
    ASSERT_NE(mem, std::string::npos);
    ASSERT_NE(front, std::string::npos);
    EXPECT_LT(name, mem);
    EXPECT_LT(mem, front);
    EXPECT_EQ(r.out.find("WARNING"), std::string::npos) << r.out;
    int used = -1, freeK = -1, largest = -1;
    ASSERT_EQ(std::sscanf(r.out.c_str() + front,
                          "Before Frontend Used Mem = %dk   Free Mem = %dk   Largest Free = %dk", &used,
                          &freeK, &largest),
              3);
    EXPECT_GT(used, 0);
    EXPECT_GE(freeK, largest);
    EXPECT_GT(largest, 100 * 1024);  // the default arena is 192 MB
    // The same disc gives the same log.
    EXPECT_EQ(RunQz("--disc " + disc.path() + " --out " + out.path() + " --frames 1").out, r.out);
}

TEST(QzRun, HeapSizeFollowsTheOption) {
    testsupport::TempDir disc, out;
    ASSERT_TRUE(WriteSampleDisc(disc.path()));
    QzResult r = RunQz("--disc " + disc.path() + " --out " + out.path() + " --heap-mb 32 --frames 1");
    ASSERT_EQ(r.exitCode, 0) << r.out;
    size_t front = r.out.find("Before Frontend Used Mem = ");
    ASSERT_NE(front, std::string::npos);
    int used = -1, freeK = -1, largest = -1;
    ASSERT_EQ(std::sscanf(r.out.c_str() + front,
                          "Before Frontend Used Mem = %dk   Free Mem = %dk   Largest Free = %dk", &used,
                          &freeK, &largest),
              3);
    EXPECT_LT(used + freeK, 32 * 1024 + 1);
    EXPECT_GT(used + freeK, 32 * 1024 - 16);
}

TEST(QzRun, ShowsFramesAndWritesEveryNthAsPng) {
    testsupport::TempDir disc, out;
    ASSERT_TRUE(WriteSampleDisc(disc.path()));
    QzResult r = RunQz("--disc " + disc.path() + " --out " + out.path() + " --frames 25 --png-every 10");
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_FALSE(testsupport::ReadText(out.file("frame_000010.png")).empty());
    EXPECT_FALSE(testsupport::ReadText(out.file("frame_000020.png")).empty());
    EXPECT_TRUE(testsupport::ReadText(out.file("frame_000030.png")).empty());
    // A fresh output directory is made when its parent exists.
    QzResult fresh =
        RunQz("--disc " + disc.path() + " --out " + out.file("sub") + " --frames 1 --png-every 1");
    EXPECT_EQ(fresh.exitCode, 0) << fresh.out;
    EXPECT_FALSE(testsupport::ReadText(out.file("sub/frame_000001.png")).empty());
}

TEST(QzRun, RecordsSoundAndReadsPadScripts) {
    testsupport::TempDir disc, out;
    ASSERT_TRUE(WriteSampleDisc(disc.path()));
    out.write("pad1.txt", std::string("# start pressed for a moment\n0-59 IDLE\n60-65 START\n"));
    QzResult r = RunQz("--disc " + disc.path() + " --out " + out.path() + " --frames 30 --wav " +
                       out.file("s.wav") + " --pad1 " + out.file("pad1.txt"));
    ASSERT_EQ(r.exitCode, 0) << r.out;
    std::string wav = testsupport::ReadText(out.file("s.wav"));
    ASSERT_GT(wav.size(), 44u);
    EXPECT_EQ(wav.substr(0, 4), "RIFF");
    EXPECT_EQ(wav.substr(8, 4), "WAVE");
    // 48 kHz stereo 16-bit: 800 frames of 4 bytes for every vertical blank since power-on.
    EXPECT_EQ((wav.size() - 44) % (800 * 4), 0u);
    EXPECT_GE(wav.size() - 44, 30u * 800 * 4);
    // The same run records the same sound.
    QzResult again = RunQz("--disc " + disc.path() + " --out " + out.path() + " --frames 30 --wav " +
                           out.file("t.wav") + " --pad1 " + out.file("pad1.txt"));
    ASSERT_EQ(again.exitCode, 0);
    EXPECT_EQ(testsupport::ReadText(out.file("t.wav")), wav);

    out.write("bad.txt", std::string("10 JUMP\n"));
    r = RunQz("--disc " + disc.path() + " --out " + out.path() + " --frames 1 --pad2 " + out.file("bad.txt"));
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.out.find("bad.txt:1:"), std::string::npos) << r.out;
    r = RunQz("--disc " + disc.path() + " --out " + out.path() + " --frames 1 --wav /nonexistent/dir/s.wav");
    EXPECT_EQ(r.exitCode, 2);
}

TEST(QzRun, MissingModuleEndsWithItsMessage) {
    testsupport::TempDir disc, out;
    ASSERT_TRUE(WriteSampleDisc(disc.path()));
    std::remove(disc.file("SYSTEM/LIBSD.IRX").c_str());
    QzResult r = RunQz("--disc " + disc.path() + " --out " + out.path());
    EXPECT_NE(r.exitCode, 0);
    EXPECT_NE(r.out.find("x_HardwareLoadModule: ERROR LOADING MODULE cdrom0:\\SYSTEM\\LIBSD.IRX\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find("filename"), std::string::npos);  // nothing after the failed module ran
}

TEST(QzRun, MissingOrCorruptCommonFileIsAnError) {
    testsupport::TempDir disc, out;
    ASSERT_TRUE(WriteSampleDisc(disc.path()));
    disc.write("COMMON/qz02dat.bin", std::string("\xff\xff\xff\x7f junk", 9));
    QzResult r = RunQz("--disc " + disc.path() + " --out " + out.path());
    EXPECT_NE(r.exitCode, 0);
    EXPECT_NE(r.out.find("is not a valid master file"), std::string::npos) << r.out;
    std::remove(disc.file("COMMON/qz02dat.bin").c_str());
    r = RunQz("--disc " + disc.path() + " --out " + out.path());
    EXPECT_NE(r.exitCode, 0);
    EXPECT_NE(r.out.find("FileManager: WARNING: COMMON\\qz02dat.bin does not exist!\n"), std::string::npos)
        << r.out;
}

TEST(QzRun, BadCommandLinesExitTwo) {
    EXPECT_EQ(RunQz("--no-such-option").exitCode, 2);
    QzResult r = RunQz("--disc /nonexistent/qz-disc");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.out.find("disc directory '/nonexistent/qz-disc' not found"), std::string::npos) << r.out;
    testsupport::TempDir disc;
    EXPECT_EQ(RunQz("--disc " + disc.path() + " --out /nonexistent/qz-out").exitCode, 2);  // parent missing
}

// What a user meets when a run cannot do what was asked: the reason and what to do, and a non-zero exit.
TEST(QzRun, FailuresSayWhatFailedAndWhatToDo) {
    testsupport::TempDir disc, out;
    ASSERT_TRUE(WriteSampleDisc(disc.path()));
    const std::string base = "--disc " + disc.path() + " --out " + out.path();
    struct Case {
        std::string args, shell;
        int exitCode;
        const char* message;
    } cases[] = {
        {"--disc " + disc.file("SYSTEM/LIBSD.IRX"), "", 2, "is a file, not a directory"},
        {base + " --frames 1 --pad1 " + disc.path(), "", 2,
         "is not a file; --pad1 and --pad2 take a pad script"},
        {base + " --frames 1 --window", "unset DISPLAY WAYLAND_DISPLAY; ", 2, "--window"},
        // Stops at the first failed write: of 300 frames asked for, far fewer are shown (checked below).
        {base + " --frames 300 --png-every 1 --wav /dev/full", "", 1, "cannot write the sound to /dev/full"},
#ifndef __SANITIZE_ADDRESS__  // the sanitizer's own shadow memory does not fit such a limit
        {base + " --frames 1", "ulimit -v 150000; ", 1, "arena of 192 MB could not be mapped"},
        {base + " --frames 1 --heap-mb 32", "ulimit -v 150000; ", 0,
         "Before Frontend Used Mem"},  // the advice works
#endif
    };
    for (const Case& c : cases) {
        const QzResult r = RunQz(c.args, c.shell);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.args << "\n" << r.out;
        EXPECT_NE(r.out.find(c.message), std::string::npos) << c.args << "\n" << r.out;
    }
    EXPECT_FALSE(testsupport::ReadText(out.file("frame_000001.png")).empty());
    EXPECT_TRUE(testsupport::ReadText(out.file("frame_000030.png")).empty());
}

}  // namespace
