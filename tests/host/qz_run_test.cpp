// Runs the real program on a disc directory and checks what it logs and how it ends.
#include <arpa/inet.h>
#include <dirent.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "support/run_command.h"
#include "support/temp_dir.h"

namespace {

// Runs that only read the disc use the one the build wrote.
const std::string kDisc = QZ_DISC_DIR;

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

// What the run printed on each stream, and how it ended.
using QzStreams = testsupport::CommandRun;

// qz with `args`; `shell` comes before it (variables, ulimit, unset).
QzStreams RunQzSplit(const std::string& args, const std::string& shell = "") {
    return testsupport::RunCommand(shell + std::string(QZ_BUILD_DIR) + "/qz " + args);
}

// A few frames: reading the common objects takes longer the further out the disc puts them.
TEST(QzRun, BootsAndLoadsTheCommonObjectsFile) {
    testsupport::TempDir out;
    QzResult r = RunQz("--disc " + kDisc + " --out " + out.path() + " --frames 2");
    EXPECT_EQ(r.exitCode, 0) << r.out;
    size_t name = r.out.find("filename COMMON\\qz02dat.bin\n");
    size_t mem = r.out.find("fileMem ");
    size_t front = r.out.find("Before Frontend Used Mem = ");
    ASSERT_NE(name, std::string::npos) << r.out;
    ASSERT_NE(mem, std::string::npos);
    ASSERT_NE(front, std::string::npos);
    EXPECT_LT(name, mem);
    EXPECT_LT(mem, front);
    EXPECT_EQ(r.out.substr(0, r.out.find("Init Game")).find("WARNING"), std::string::npos)
        << r.out;  // the boot
    int used = -1, freeK = -1, largest = -1;
    ASSERT_EQ(std::sscanf(r.out.c_str() + front,
                          "Before Frontend Used Mem = %dk   Free Mem = %dk   Largest Free = %dk", &used,
                          &freeK, &largest),
              3);
    EXPECT_GT(used, 0);
    EXPECT_GE(freeK, largest);
    EXPECT_GT(largest, 100 * 1024);  // the default arena is 192 MB
    // The same disc gives the same log; the arena follows --heap-mb.
    EXPECT_EQ(RunQz("--disc " + kDisc + " --out " + out.path() + " --frames 2").out, r.out);
    r = RunQz("--disc " + kDisc + " --out " + out.path() + " --heap-mb 32 --frames 2");
    front = r.out.find("Before Frontend Used Mem = ");
    ASSERT_NE(front, std::string::npos) << r.out;
    ASSERT_EQ(
        std::sscanf(r.out.c_str() + front, "Before Frontend Used Mem = %dk   Free Mem = %dk", &used, &freeK),
        2);
    EXPECT_LT(used + freeK, 32 * 1024 + 1);
    EXPECT_GT(used + freeK, 32 * 1024 - 16);
}

TEST(QzRun, ShowsFramesAndWritesEveryNthAsPng) {
    testsupport::TempDir out;
    QzResult r = RunQz("--disc " + kDisc + " --out " + out.path() + " --frames 25 --png-every 10");
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_FALSE(testsupport::ReadText(out.file("frame_000010.png")).empty());
    EXPECT_FALSE(testsupport::ReadText(out.file("frame_000020.png")).empty());
    EXPECT_TRUE(testsupport::ReadText(out.file("frame_000030.png")).empty());
    // A fresh output directory is made when its parent exists.
    QzResult fresh = RunQz("--disc " + kDisc + " --out " + out.file("sub") + " --frames 1 --png-every 1");
    EXPECT_EQ(fresh.exitCode, 0) << fresh.out;
    EXPECT_FALSE(testsupport::ReadText(out.file("sub/frame_000001.png")).empty());
}

// The rasteriser's threads and the geometry stage's place change nothing: the start of the attract race
// gives the same pictures (every tenth compared), sound and log with one thread, with four (the stage
// beside the game), and with the stage run only where the game waits for it (the latest it can read what
// the game sent).
TEST(QzRun, RasteriserThreadsGiveTheSameFramesAndSound) {
    testsupport::TempDir one, four, deferred;
    auto run = [](const testsupport::TempDir& d, const std::string& threads) {
        return RunQz("--disc " + kDisc + " --out " + d.path() + " --frames 240 --png-every 10 --wav " +
                     d.file("s.wav") + " --gs-threads " + threads);
    };
    const QzResult a = run(one, "1"), b = run(four, "4"), c = run(deferred, "1 --stage deferred");
    ASSERT_EQ(a.exitCode, 0) << a.out;
    ASSERT_EQ(b.exitCode, 0) << b.out;
    ASSERT_EQ(c.exitCode, 0) << c.out;
    EXPECT_EQ(b.out, a.out);
    EXPECT_EQ(c.out, a.out);
    EXPECT_EQ(testsupport::ReadText(four.file("s.wav")), testsupport::ReadText(one.file("s.wav")));
    EXPECT_EQ(testsupport::ReadText(deferred.file("s.wav")), testsupport::ReadText(one.file("s.wav")));
    for (int frame = 10; frame <= 240; frame += 10) {
        char name[32];
        std::snprintf(name, sizeof name, "frame_%06d.png", frame);
        const std::string png = testsupport::ReadText(one.file(name));
        ASSERT_FALSE(png.empty()) << name;
        ASSERT_EQ(testsupport::ReadText(four.file(name)), png) << name;
        ASSERT_EQ(testsupport::ReadText(deferred.file(name)), png) << name;
    }
}

// Where the frames and the sound go is the host's business: the game's log (its heap figures among it)
// is the same for a short and a long output path, and with pad scripts read from either.
TEST(QzRun, OutputPathsLeaveTheGameLogAlone) {
    testsupport::TempDir shortRoot, longRoot;
    const std::string longName(180, 'd');
    ASSERT_EQ(mkdir(longRoot.file(longName).c_str(), 0755), 0);
    auto run = [](const testsupport::TempDir& root, const std::string& sub) {
        const std::string dir = sub.empty() ? root.path() : root.file(sub);
        root.write(sub.empty() ? "pad1.txt" : sub + "/pad1.txt", std::string("0-5 IDLE\n6-9 START\n"));
        return RunQz("--disc " + kDisc + " --out " + dir + " --frames 30 --png-every 10 --wav " + dir +
                     "/s.wav --pad1 " + dir + "/pad1.txt");
    };
    const QzResult a = run(shortRoot, ""), b = run(longRoot, longName);
    ASSERT_EQ(a.exitCode, 0) << a.out;
    ASSERT_NE(a.out.find("Before Frontend Used Mem = "), std::string::npos) << a.out;
    EXPECT_EQ(b.out, a.out);
    EXPECT_EQ(testsupport::ReadText(longRoot.file(longName + "/s.wav")),
              testsupport::ReadText(shortRoot.file("s.wav")));
    EXPECT_EQ(testsupport::ReadText(longRoot.file(longName + "/frame_000030.png")),
              testsupport::ReadText(shortRoot.file("frame_000030.png")));
}

// Soak mode: short attract races on the tracks in turn, drawn; every race gives the heap back whole.
TEST(QzRun, SoakRacesTakeTheTracksInTurnAndGiveTheHeapBack) {
    testsupport::TempDir out;
    const QzResult r = RunQz("--disc " + kDisc + " --out " + out.path() + " --soak 40 --frames 260");
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(r.out.find("HEAP NOT BACK"), std::string::npos) << r.out;
    std::vector<int> freeAfter;
    size_t at = 0;
    for (const char* world : {"b01.bin", "b02.bin", "b03.bin"}) {
        at = r.out.find(std::string("Soak race on ") + world + ": heap free ", at);
        ASSERT_NE(at, std::string::npos) << world << "\n" << r.out;
        freeAfter.push_back(std::atoi(r.out.c_str() + r.out.find("free ", at) + 5));
    }
    // Nothing lost over the front end between the races either.
    EXPECT_EQ(freeAfter[1], freeAfter[0]);
    EXPECT_EQ(freeAfter[2], freeAfter[0]);
}

TEST(QzRun, RecordsSoundAndReadsPadScripts) {
    testsupport::TempDir out;
    out.write("pad1.txt", std::string("# start pressed for a moment\n0-59 IDLE\n60-65 START\n"));
    QzResult r = RunQz("--disc " + kDisc + " --out " + out.path() + " --frames 20 --wav " +
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
    QzResult again = RunQz("--disc " + kDisc + " --out " + out.path() + " --frames 20 --wav " +
                           out.file("t.wav") + " --pad1 " + out.file("pad1.txt"));
    ASSERT_EQ(again.exitCode, 0);
    EXPECT_EQ(testsupport::ReadText(out.file("t.wav")), wav);

    out.write("bad.txt", std::string("10 JUMP\n"));
    r = RunQz("--disc " + kDisc + " --out " + out.path() + " --frames 1 --pad2 " + out.file("bad.txt"));
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.out.find("bad.txt:1:"), std::string::npos) << r.out;
    r = RunQz("--disc " + kDisc + " --out " + out.path() + " --frames 1 --wav /nonexistent/dir/s.wav");
    EXPECT_EQ(r.exitCode, 2);
}

// A WAV's header is written last, in place: a sound file that cannot take that is refused before the
// run starts (not waited on, not found out a second into the sound), and never written into the log.
TEST(QzRun, ASoundFileThatCannotTakeAWavIsRefusedAtTheStart) {
    testsupport::TempDir out;
    ASSERT_EQ(mkfifo(out.file("fifo").c_str(), 0644), 0);
    const std::string run = "--disc " + kDisc + " --out " + out.path() + " --frames 1 --wav ";
    const std::string kPipe =
        "': it is a pipe, and a WAV file's sizes are written into its header last; give --wav a regular file";
    const std::string kLog =
        "': it is standard output, which carries the game's log; give --wav a file of its own";
    struct Case {
        std::string args, err;
    } cases[] = {
        {run + out.file("fifo"), "qz: cannot write the sound to '" + out.file("fifo") + kPipe},
        {run + "/dev/stdout", "qz: cannot write the sound to '/dev/stdout" + kLog},  // a pipe here
        {run + out.file("log") + " >" + out.file("log"),
         "qz: cannot write the sound to '" + out.file("log") + kLog},
        // Standard error goes to a file here: the sound would overwrite the program's messages.
        {run + "/dev/stderr",
         "qz: cannot write the sound to '/dev/stderr': it is standard error, which carries the program's "
         "messages; give --wav a file of its own"},
    };
    for (const Case& c : cases) {
        // A run that waits for a reader is stopped, and fails the test.
        const QzStreams r = RunQzSplit(c.args, "timeout 20 ");
        EXPECT_EQ(r.exitCode, 2) << c.args;
        EXPECT_EQ(r.err, c.err + "\n") << c.args;
        EXPECT_EQ(r.out, "") << c.args;
    }
    EXPECT_EQ(testsupport::ReadText(out.file("log")).size(), 0u);  // no sound written into the log
    // A terminal cannot seek (and is a character device, never refused as standard output).
    if (testsupport::RunCommand("command -v script >/dev/null").exitCode == 0) {
        const QzStreams tty =
            testsupport::RunCommand("script -qec '" + std::string(QZ_BUILD_DIR) + "/qz " + run +
                                    "/dev/stdout 2>" + out.file("err") + "' /dev/null >/dev/null");
        EXPECT_EQ(tty.exitCode, 2);
        EXPECT_EQ(testsupport::ReadText(out.file("err")),
                  "qz: cannot write the sound to '/dev/stdout': it cannot seek (Illegal seek), and a WAV "
                  "file's sizes are written into its header last; give --wav a regular file\n");
    }
    // Nothing is lost when the log and the sound both go to /dev/null.
    EXPECT_EQ(RunQzSplit(run + "/dev/null >/dev/null").exitCode, 0);
}

// The title's START and nine CROSS presses from the main menu reach a baja race, `shift` frames later
// than the first script.
std::string RoadToARace(int shift) {
    std::string script;
    auto press = [&](int at, const char* button) {
        script += std::to_string(at + shift) + "-" + std::to_string(at + shift + 6) + " " + button + "\n";
    };
    press(40, "START");
    for (int i = 0; i < 9; ++i) press(80 + 40 * i, "CROSS");
    return script;
}

// The display is interlaced and each field places its copy of a frame a little differently; a race shows
// 30 frames a second, so all its frames land on one field. Entered an odd number of frames later, the
// race shows the same pictures, one for one, as many frames later.
TEST(QzRun, ARaceEnteredOnTheOtherFieldShowsTheSamePictures) {
    testsupport::TempDir out;
    constexpr int kShift = 15, kLast = 420;
    for (int shift : {0, kShift}) {
        const std::string dir = out.file("shift" + std::to_string(shift));
        out.write("shift" + std::to_string(shift) + "/pad1.txt", RoadToARace(shift));
        const QzResult r =
            RunQz("--disc " + kDisc + " --out " + dir + " --frames " + std::to_string(kLast + shift) +
                  " --png-every " + std::to_string(kShift) + " --pad1 " + dir + "/pad1.txt");
        ASSERT_EQ(r.exitCode, 0) << r.out;
        ASSERT_NE(r.out.find("Frontend done, sending WorldFile b01.bin."), std::string::npos) << r.out;
    }
    auto png = [&](int shift, int frame) {
        char name[40];
        std::snprintf(name, sizeof name, "/frame_%06d.png", frame + shift);
        return testsupport::ReadText(out.file("shift" + std::to_string(shift)) + name);
    };
    // The last 120 frames are well into the race (it starts about frame 285): the pictures move, and
    // each is the same.
    EXPECT_NE(png(0, kLast), png(0, kLast - 4 * kShift));
    for (int frame = kLast - 8 * kShift; frame <= kLast; frame += kShift) {
        const std::string first = png(0, frame);
        ASSERT_FALSE(first.empty()) << frame;
        EXPECT_TRUE(first == png(kShift, frame)) << "frame " << frame;
    }
}

// The smallest heap accepted races the largest worlds and comes back to the front end, the heap whole.
TEST(QzRun, TheSmallestHeapAcceptedRacesAndComesBack) {
    testsupport::TempDir out;
    const QzResult r =
        RunQz("--disc " + kDisc + " --out " + out.path() + " --heap-mb 20 --soak 40 --frames 260");
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find("Soak race on b02.bin"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("HEAP NOT BACK"), std::string::npos) << r.out;
}

// A disc without its worlds: each race ends at its first frame and the game goes on showing frames (the
// title, the next attract race), so --frames ends the run and a pad script keeps being read. The user
// hears of each world missing, and the run ends with code 1.
TEST(QzRun, ADiscWithoutWorldsStillShowsFramesAndEnds) {
    testsupport::TempDir disc, out;
    ASSERT_TRUE(disc.linkSampleDisc());
    ASSERT_EQ(std::system(("rm -rf '" + disc.file("WORLD") + "'").c_str()), 0);
    const QzResult r =
        RunQz("--disc " + disc.path() + " --out " + out.path() + " --soak 30 --frames 400 --png-every 400",
              "timeout 120 ");
    ASSERT_EQ(r.exitCode, 1) << r.out;
    EXPECT_NE(r.out.find("Init QZ Game"), std::string::npos) << r.out;  // a race was started
    EXPECT_NE(
        r.out.find("qz: disc file WORLD/b01.bin is missing (no folder WORLD); the game goes on without it"),
        std::string::npos)
        << r.out;
    EXPECT_FALSE(testsupport::ReadText(out.file("frame_000400.png")).empty());
}

// How many times `part` appears in `text`.
int Count(const std::string& text, const std::string& part) {
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

// A file missing in the middle of a run: the game goes on as it always did (the race on a missing world
// ends at once, a race without its sound file has no sound) and its log says what it said; the program
// names each file and the reason once on standard error, recalls them at the end and exits with 1.
TEST(QzRun, FilesMissingInTheRunAreNamedOnceAndEndItWithCode1) {
    testsupport::TempDir out, noWorld, noSound, worldFile, audioFile;
    for (const testsupport::TempDir* d : {&noWorld, &noSound, &worldFile, &audioFile})
        ASSERT_TRUE(d->linkSampleDisc());
    std::remove(noWorld.file("WORLD/i03.bin").c_str());
    std::remove(noSound.file("AUDIO/qz02Audi.bin").c_str());
    ASSERT_EQ(
        std::system(("rm -rf '" + worldFile.file("WORLD") + "' '" + audioFile.file("AUDIO") + "'").c_str()),
        0);
    worldFile.write("WORLD", std::string("a file"));
    audioFile.write("AUDIO", std::string("a file"));
    const struct {
        const testsupport::TempDir* disc;
        std::string said, log;  // a line of standard error, of the game's log
    } cases[] = {
        {&noWorld, "disc file WORLD/i03.bin is missing;",
         "FileManager: WARNING: WORLD\\i03.bin does not exist!\n"},
        {&noSound, "disc file AUDIO/qz02Audi.bin is missing;",
         "FileManager: WARNING: AUDIO\\qz02Audi.bin does not exist!\n"},
        {&worldFile, "disc file WORLD/i03.bin is missing: WORLD is a file, not a folder;",
         "FileManager: WARNING: WORLD\\i03.bin does not exist!\n"},
        {&audioFile, "disc file AUDIO/qz02Audi.bin is missing: AUDIO is a file, not a folder;",
         "AMM: cannot play cdrom0:\\AUDIO\\TITLE.STM: not on the disc\n"},
    };
    for (const auto& c : cases) {
        const QzStreams r =
            RunQzSplit("--disc " + c.disc->path() + " --out " + out.path() + " --frames 1600");
        EXPECT_EQ(r.exitCode, 1) << c.said << "\n" << r.err;
        const std::string line = "qz: " + c.said +
                                 " the game goes on without it; write the disc again with mkdisc ('" +
                                 std::string(QZ_BUILD_DIR) + "/mkdisc " + c.disc->path() + "')\n";
        EXPECT_EQ(Count(r.err, line), 1) << r.err;
        EXPECT_NE(r.out.find(c.log), std::string::npos) << c.said;
        EXPECT_EQ(r.out.find("qz:"), std::string::npos) << c.said;  // the game's log stays the game's
        // Every line on standard error is the program's; the last recalls the files.
        EXPECT_EQ(Count(r.err, "\n"), Count(r.err, "qz: ")) << r.err;
        const std::string recall = "qz: the run went on without ";
        ASSERT_NE(r.err.rfind(recall), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find('\n', r.err.rfind(recall)), r.err.size() - 1) << r.err;
        EXPECT_NE(r.err.find(c.said.substr(10, c.said.find(' ', 10) - 10), r.err.rfind(recall)),
                  std::string::npos)
            << r.err;
    }
}

// Root reads what mode 000 forbids, so a run as root is made as the unprivileged user to meet the refusal.
std::string AsUnprivileged() {
    return geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
}

// A file or folder the user may not read: said as such (not as missing), with the permission to give;
// at the start (a run cannot begin without it: code 2) or in the run (the game goes on: code 1).
TEST(QzRun, UnreadableDiscFilesAreNamedWithThePermissionToGive) {
    if (geteuid() == 0 && std::system("setpriv --reuid=65534 --regid=65534 --clear-groups true") != 0)
        GTEST_SKIP() << "run as root without setpriv: the refusal cannot be met";
    testsupport::TempDir out, world, system;
    for (const testsupport::TempDir* d : {&world, &system}) {
        ASSERT_TRUE(d->linkSampleDisc());
        ASSERT_EQ(chmod(d->path().c_str(), 0755), 0);
    }
    ASSERT_EQ(chmod(out.path().c_str(), 0777), 0);
    std::remove(world.file("WORLD/i03.bin").c_str());
    ASSERT_EQ(std::system(("cp '" + kDisc + "/WORLD/i03.bin' '" + world.file("WORLD/i03.bin") + "'").c_str()),
              0);
    ASSERT_EQ(chmod(world.file("WORLD/i03.bin").c_str(), 0), 0);
    ASSERT_EQ(chmod(system.file("SYSTEM").c_str(), 0), 0);

    const QzStreams inRun =
        RunQzSplit("--disc " + world.path() + " --out " + out.path() + " --frames 1600", AsUnprivileged());
    EXPECT_EQ(inRun.exitCode, 1) << inRun.err;
    EXPECT_EQ(Count(inRun.err,
                    "qz: disc file WORLD/i03.bin cannot be read: permission denied; the game goes on "
                    "without it; let the user running qz read it: chmod a+rX '" +
                        world.file("WORLD/i03.bin") + "'\n"),
              1)
        << inRun.err;
    EXPECT_NE(inRun.out.find("x_LoadFile: read error on WORLD\\i03.bin\n"), std::string::npos);

    const QzStreams atStart =
        RunQzSplit("--disc " + system.path() + " --out " + out.path() + " --frames 1", AsUnprivileged());
    EXPECT_EQ(atStart.exitCode, 2);
    EXPECT_EQ(atStart.err,
              "qz: '" + system.path() +
                  "' cannot be used as the disc: SYSTEM/SIO2MAN.IRX cannot be read: permission denied on "
                  "the folder SYSTEM; let the user running qz read it: chmod a+rX '" +
                  system.file("SYSTEM") + "'\n");
    EXPECT_EQ(atStart.out, "");
    chmod(system.file("SYSTEM").c_str(), 0755);  // so the scratch directory can be removed
}

// Outputs that fill up: the log on a full device, the sound past a file-size limit. Each is said on
// stderr and the run exits 1; the sound file's header counts what the file holds.
TEST(QzRun, OutputsThatCannotBeWrittenAreReported) {
    testsupport::TempDir out;
    const std::string base = "--disc " + kDisc + " --out " + out.path();
    {
        // Standard error alone comes back; standard output goes to the full device.
        const std::string cmd = std::string(QZ_BUILD_DIR) + "/qz " + base + " --frames 1 2>&1 >/dev/full";
        std::FILE* p = popen(cmd.c_str(), "r");
        ASSERT_NE(p, nullptr);
        std::string err;
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) err.append(buf, n);
        const int status = pclose(p);
        ASSERT_TRUE(WIFEXITED(status)) << err;
        EXPECT_EQ(WEXITSTATUS(status), 1) << err;
        EXPECT_NE(err.find("qz: the log could not all be written to standard output"), std::string::npos)
            << err;
    }
    const QzResult r = RunQz(base + " --frames 120 --wav " + out.file("s.wav"), "ulimit -f 300; ");
    EXPECT_EQ(r.exitCode, 1) << r.out;
    EXPECT_NE(r.out.find("cannot write the sound to '" + out.file("s.wav") + "': File too large"),
              std::string::npos)
        << r.out;
    const std::string wav = testsupport::ReadText(out.file("s.wav"));
    ASSERT_GT(wav.size(), 44u);
    EXPECT_EQ((wav.size() - 44) % 4, 0u);
    auto u32 = [&wav](size_t at) {
        uint32_t v = 0;
        for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(wav[at + static_cast<size_t>(i)]);
        return v;
    };
    EXPECT_EQ(u32(4), wav.size() - 8);
    EXPECT_EQ(u32(40), wav.size() - 44);
}

// What a user meets when a run cannot do what was asked: the reason and what to do, and a non-zero exit.
TEST(QzRun, FailuresSayWhatFailedAndWhatToDo) {
    testsupport::TempDir out;
    const std::string base = "--disc " + kDisc + " --out " + out.path();
    // Broken discs: a module missing, the common objects file corrupt or missing.
    testsupport::TempDir noModule, junk, noCommon, noScreens, junkScreens;
    for (const testsupport::TempDir* d : {&noModule, &junk, &noCommon, &noScreens, &junkScreens})
        ASSERT_TRUE(d->linkSampleDisc());
    std::remove(noModule.file("SYSTEM/LIBSD.IRX").c_str());
    junk.write("COMMON/qz02dat.bin", std::string("\xff\xff\xff\x7f junk", 9));
    std::remove(noCommon.file("COMMON/qz02dat.bin").c_str());
    std::remove(noScreens.file("frontend/FE_game.exp").c_str());
    junkScreens.write("frontend/FE_game.exp", std::string("not a screen file"));
    // A copied disc is written again by mkdisc ('make disc' writes the build tree's).
    const std::string kNoScreens =
        "qz: the front end's screen file frontend/FE_game.exp is missing; write the disc again with mkdisc";
    const std::string kJunkScreens =
        "qz: the front end's screen file frontend/FE_game.exp is damaged: shorter than its header (17); "
        "write the disc again with mkdisc";
    const std::string to = " --out " + out.path();
    struct Case {
        std::string args, shell;
        int exitCode;
        std::string message;
    } cases[] = {
        {"--no-such-option", "", 2, "unknown option"},
        {"--disc /nonexistent/qz-disc", "", 2, "disc directory '/nonexistent/qz-disc' not found"},
        {"--disc " + kDisc + " --out /nonexistent/qz-out", "", 2,
         "qz: output directory '/nonexistent/qz-out' cannot be created: No such file or directory (the "
         "directory it is in must exist)\n"},
        {"--disc " + kDisc + "/SYSTEM/LIBSD.IRX", "", 2, "is a file, not a directory"},
        {"--disc " + noModule.path() + to, "", 2,
         "qz: '" + noModule.path() + "' is not a game disc: it has no SYSTEM/LIBSD.IRX (run 'make disc'"},
        {"--disc " + junk.path() + to, "", 1, "is not a valid master file"},
        {"--disc " + noCommon.path() + to, "", 2,
         "qz: '" + noCommon.path() + "' is not a game disc: it has no COMMON/qz02dat.bin"},
        {"--disc " + noScreens.path() + to, "", 1, kNoScreens},
        {"--disc " + junkScreens.path() + to, "", 1, kJunkScreens},
        {base + " --frames 1 --pad1 " + kDisc, "", 2, "is not a file; --pad1 and --pad2 take a pad script"},
        {base + " --frames 1 --heap-mb 19", "", 2, "give --heap-mb 20 or more"},
        {base + " --frames 1 --window", "unset DISPLAY WAYLAND_DISPLAY; ", 2, "--window"},
        // Stops at the first failed write: of 300 frames asked for, far fewer are shown (checked below).
        {base + " --frames 200 --png-every 1 --wav /dev/full", "", 1,
         "cannot write the sound to '/dev/full'"},
#ifndef __SANITIZE_ADDRESS__  // the sanitizer's own shadow memory does not fit such a limit
        {base + " --frames 1", "ulimit -v 150000; ", 1, "arena of 192 MB could not be mapped"},
        {base + " --frames 2 --heap-mb 32", "ulimit -v 150000; ", 0,
         "Before Frontend Used Mem"},  // the advice works
#endif
    };
    for (const Case& c : cases) {
        const QzResult r = RunQz(c.args, c.shell);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.args << "\n" << r.out;
        EXPECT_NE(r.out.find(c.message), std::string::npos) << c.args << "\n" << r.out;
        if (c.args.find(noModule.path()) != std::string::npos) {
            EXPECT_EQ(r.out.find("filename"), std::string::npos);  // nothing after the failed module ran
        }
        if (c.message == kNoScreens || c.message == kJunkScreens) {
            EXPECT_EQ(r.out.find("Frontend done"), std::string::npos);  // no race was handed a world
            EXPECT_EQ(r.out.find("the run went on without"), std::string::npos);  // it stopped, and said why
            EXPECT_EQ(r.out.find("goes on without"), std::string::npos);  // and said nothing else of it
        }
    }
    EXPECT_FALSE(testsupport::ReadText(out.file("frame_000001.png")).empty());
    EXPECT_TRUE(testsupport::ReadText(out.file("frame_000030.png")).empty());
}

// The program's own line about a device comes first on standard error, before what the libraries print
// while they look for it; a sanitizer build prints theirs as it comes.
bool SaysFirst(const std::string& err, const std::string& line) {
#ifdef __SANITIZE_ADDRESS__
    return err.find(line) != std::string::npos;
#else
    return err.rfind(line, 0) == 0;
#endif
}

// The command line's own faults: the reason on standard error, what is allowed, exit 2, nothing run.
TEST(QzRun, CommandLineFaultsSayWhatIsAllowed) {
    testsupport::TempDir out, empty, noCommon;
    ASSERT_TRUE(noCommon.linkSampleDisc());
    std::remove(noCommon.file("COMMON/qz02dat.bin").c_str());
    out.write("a-file", std::string("x"));
    out.write("binary", std::string("\177ELF\002\001\001\000\033[2J\n", 13));
    const std::string disc = "--disc " + kDisc + " --frames 1 --out ";
    struct Case {
        std::string args;
        std::string err;  // standard error, whole
    } cases[] = {
        {"--gs-threads 17", "qz: bad value for --gs-threads: '17' (give a whole number from 1 to 16)\n"},
        {"--frames 0", "qz: bad value for --frames: '0' (give a whole number from 1 to 100000000)\n"},
        {"--heap-mb lots", "qz: bad value for --heap-mb: 'lots' (give a whole number from 20 to 896)\n"},
        {"--stage later", "qz: bad value for --stage: 'later' (give inline, thread or deferred)\n"},
        {"--disc " + empty.path(),
         "qz: '" + empty.path() +
             "' is not a game disc: it has no SYSTEM/SIO2MAN.IRX (run 'make disc' and give the directory it "
             "wrote, or give --disc DIR)\n"},
        {"--disc " + noCommon.path(), "qz: '" + noCommon.path() +
                                          "' is not a game disc: it has no COMMON/qz02dat.bin (run 'make "
                                          "disc' and give the directory it wrote, or give --disc DIR)\n"},
        {disc + out.file("a-file"), "qz: --out '" + out.file("a-file") +
                                        "' is a file, not a directory; give a directory for the frames and "
                                        "diagnostic files\n"},
        {disc + out.file("a-file/sub"),
         "qz: output directory '" + out.file("a-file/sub") + "' cannot be created: Not a directory\n"},
        // A directory that refuses new ones as if it were missing: no advice to make what is there.
        {disc + "/proc/qz", "qz: output directory '/proc/qz' cannot be created: No such file or directory\n"},
        // Names are quoted, an empty one too.
        {disc + out.path() + " --wav ''", "qz: cannot write the sound to '': No such file or directory\n"},
        // A binary file given as a pad script: its bytes are shown as printable text.
        {disc + out.path() + " --pad1 " + out.file("binary"),
         "qz: " + out.file("binary") +
             ":1: bad frame range '\\x7fELF\\x02\\x01\\x01\\x00\\x1b[2J' (give N, N-M with M not below N, or "
             "N+; shown frames counted from 0)\n"},
        // Refused even by root: found at the start, not at the first frame.
        {disc + "/sys --png-every 1", "qz: output directory '/sys' cannot be written: Permission denied\n"},
    };
    for (const Case& c : cases) {
        const QzStreams r = RunQzSplit(c.args);
        EXPECT_EQ(r.exitCode, 2) << c.args;
        // A usage line may follow a bad option; the reason comes first and alone on its line.
        EXPECT_EQ(r.err.substr(0, c.err.size()), c.err) << c.args;
        EXPECT_EQ(r.out, "") << c.args;  // nothing of the game ran
    }
    EXPECT_NE(RunQzSplit("--gs-threads 17").err.find("usage: qz"), std::string::npos);
    // --help and -h print the usage and the window's keys, and end well.
    for (const char* help : {"--help", "-h"}) {
        const QzStreams r = RunQzSplit(help);
        EXPECT_EQ(r.exitCode, 0) << help;
        EXPECT_EQ(r.out.substr(0, 10), "usage: qz ") << help;
        EXPECT_NE(r.out.find("Keys in a window: arrows"), std::string::npos) << r.out;
        EXPECT_EQ(r.err, "");
    }
}

// A directory that is no disc is named at once, however much it holds; a disc holding links round a loop
// still runs, a disc made of links to folders elsewhere runs as if they were its own, and a stray link
// to the root of the file system is named soon, not walked at length.
TEST(QzRun, AWrongDiscIsNamedAtOnceAndLinksDoNotLeadTheWalkAway) {
    testsupport::TempDir loop, linked, folders;
    ASSERT_TRUE(linked.linkSampleDisc());
    for (const char* l : {"a", "b", "c", "d"}) {
        ASSERT_EQ(symlink(".", loop.file(l).c_str()), 0);
        ASSERT_EQ(symlink(".", linked.file(l).c_str()), 0);
    }
    ASSERT_EQ(symlink("..", linked.file("WORLD/up").c_str()), 0);
    for (const std::string& dir : {std::string("/"), loop.path()}) {
        const auto start = std::chrono::steady_clock::now();
        const QzStreams r = RunQzSplit("--disc " + dir + " --frames 5", "timeout 20 ");
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << dir;
        EXPECT_EQ(r.exitCode, 2) << dir;
        EXPECT_EQ(r.err,
                  "qz: '" + dir +
                      "' is not a game disc: it has no SYSTEM/SIO2MAN.IRX (run 'make disc' and give the "
                      "directory it wrote, or give --disc DIR)\n");
        EXPECT_EQ(r.out, "");
    }
    testsupport::TempDir out;
    QzStreams r =
        RunQzSplit("--disc " + linked.path() + " --out " + out.path() + " --frames 2", "timeout 20 ");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "");

    // Every top folder a link to the sample disc's own: the same run as on the disc itself.
    DIR* top = opendir(kDisc.c_str());
    ASSERT_NE(top, nullptr);
    while (const dirent* e = readdir(top)) {
        if (e->d_name[0] == '.') continue;
        ASSERT_EQ(symlink((kDisc + "/" + e->d_name).c_str(), folders.file(e->d_name).c_str()), 0);
    }
    closedir(top);
    const std::string run = " --out " + out.path() + " --frames 300 --soak 150";
    const QzStreams own = RunQzSplit("--disc " + kDisc + run);
    r = RunQzSplit("--disc " + folders.path() + run, "timeout 60 ");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, own.out);

    // A link to "/" leads the walk to more than a disc holds: said within seconds, naming the link.
    ASSERT_EQ(symlink("/", linked.file("root").c_str()), 0);
    const auto start = std::chrono::steady_clock::now();
    r = RunQzSplit("--disc " + linked.path() + " --out " + out.path() + " --frames 2", "timeout 20 ");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err,
              "qz: the disc '" + linked.path() +
                  "' holds more than 32768 files and folders (a game disc holds a few hundred) once its "
                  "link '" +
                  linked.file("root") +
                  "' is followed to '/'; remove that link or point it at a folder the game needs\n");
    EXPECT_EQ(r.out, "");
}

// Failures met once the command line is read: each is one qz: line on standard error naming the file
// and the reason, with an exit code that is not 0.
TEST(QzRun, RunFailuresNameTheFileAndTheReason) {
    testsupport::TempDir out, junk;
    ASSERT_TRUE(junk.linkSampleDisc());
    junk.write("COMMON/qz02dat.bin", std::string("\xff\xff\xff\x7f junk", 9));
    const QzStreams damaged = RunQzSplit("--disc " + junk.path() + " --out " + out.path() + " --frames 1");
    EXPECT_EQ(damaged.exitCode, 1);
    // The disc given is a copy: 'make disc' would not mend it, the mkdisc beside the program does.
    EXPECT_EQ(damaged.err,
              "qz: the common-objects file COMMON/qz02dat.bin is not a valid master file (file too short for "
              "its header); write the disc again with mkdisc ('" +
                  std::string(QZ_BUILD_DIR) + "/mkdisc " + junk.path() + "')\n");

    // A frame that cannot be written says why, not libpng's bare "Write Error" (the frame has a picture
    // on it: its compressed rows reach the file limit inside libpng's own writes).
    const QzStreams png = RunQzSplit(
        "--disc " + kDisc + " --out " + out.path() + " --frames 60 --png-every 60", "ulimit -f 8; ");
    EXPECT_EQ(png.exitCode, 1);
    EXPECT_EQ(png.err,
              "qz: cannot write the frame to '" + out.file("frame_000060.png") + "': File too large\n");
    EXPECT_TRUE(testsupport::ReadText(out.file("frame_000060.png.tmp")).empty());

    // A window refused makes no sound file: the window is tried first.
    const QzStreams window = RunQzSplit("--disc " + kDisc + " --frames 1 --window --wav " + out.file("w.wav"),
                                        "unset DISPLAY WAYLAND_DISPLAY; ASAN_OPTIONS=detect_leaks=0 ");
    EXPECT_EQ(window.exitCode, 2);
    EXPECT_TRUE(SaysFirst(window.err, "qz: --window")) << window.err;
    struct stat st;
    EXPECT_NE(stat(out.file("w.wav").c_str(), &st), 0);

    // Help that does not reach its reader is a failure.
    const QzStreams help = RunQzSplit("--help >/dev/full");
    EXPECT_EQ(help.exitCode, 1);
    EXPECT_EQ(help.err,
              "qz: the help could not all be written to standard output: No space left on device\n");
}

#ifdef QZ_HAVE_SDL2
// Whether anything takes a connection at `address`.
bool Answers(int family, const sockaddr* address, socklen_t length) {
    const int fd = socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    const bool answered = connect(fd, address, length) == 0;
    close(fd);
    return answered;
}

// A display number no X server answers on here: none listens on its local socket (named or abstract)
// nor on its TCP port on this machine, where the X library looks for it.
std::string DisplayNobodyAnswers() {
    for (int n = 87; n < 600; ++n) {
        const std::string path = "/tmp/.X11-unix/X" + std::to_string(n);
        sockaddr_un local{};
        local.sun_family = AF_UNIX;
        std::snprintf(local.sun_path, sizeof local.sun_path, "%s", path.c_str());
        sockaddr_un abstract{};
        abstract.sun_family = AF_UNIX;
        std::memcpy(abstract.sun_path + 1, path.data(), path.size());
        const auto abstractLength = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + path.size());
        sockaddr_in tcp{};
        tcp.sin_family = AF_INET;
        tcp.sin_port = htons(static_cast<uint16_t>(6000 + n));
        tcp.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        sockaddr_in6 tcp6{};
        tcp6.sin6_family = AF_INET6;
        tcp6.sin6_port = tcp.sin_port;
        tcp6.sin6_addr = in6addr_loopback;
        if (access(("/tmp/.X" + std::to_string(n) + "-lock").c_str(), F_OK) == 0 ||
            Answers(AF_UNIX, reinterpret_cast<sockaddr*>(&local), sizeof local) ||
            Answers(AF_UNIX, reinterpret_cast<sockaddr*>(&abstract), abstractLength) ||
            Answers(AF_INET, reinterpret_cast<sockaddr*>(&tcp), sizeof tcp) ||
            Answers(AF_INET6, reinterpret_cast<sockaddr*>(&tcp6), sizeof tcp6))
            continue;
        return ":" + std::to_string(n);
    }
    return "";
}

// A DISPLAY that names no running server is said to be that, not "not set". The display libraries'
// complaints, if any, follow the program's own line.
TEST(QzRun, AWindowOnADisplayThatDoesNotAnswerSaysSo) {
    const std::string display = DisplayNobodyAnswers();
    ASSERT_NE(display, "") << "every display number from :87 to :599 has a server on this machine";
    // The system's D-Bus library, which SDL's video start-up loads, keeps a block LeakSanitizer counts as
    // a leak at exit (and would turn the exit code into its own); it is not ours to free.
    const QzStreams r = RunQzSplit("--disc " + kDisc + " --frames 1 --window",
                                   "DISPLAY=" + display + " ASAN_OPTIONS=detect_leaks=0 ");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(SaysFirst(r.err, "qz: --window cannot open the display DISPLAY='" + display +
                                     "' (no X server answers there); start one, set DISPLAY to one that "
                                     "runs, or run without --window\n"))
        << r.err;
    const QzStreams unset =
        RunQzSplit("--disc " + kDisc + " --frames 1 --window", "unset DISPLAY WAYLAND_DISPLAY; ");
    EXPECT_EQ(unset.exitCode, 2);
    EXPECT_TRUE(SaysFirst(unset.err, "qz: --window found no display (DISPLAY is not set)")) << unset.err;
    // A driver named in SDL_VIDEODRIVER that will not start is blamed with SDL's reason, not the display.
    const QzStreams bogus =
        RunQzSplit("--disc " + kDisc + " --frames 1 --window",
                   "DISPLAY=" + display + " SDL_VIDEODRIVER=bogus ASAN_OPTIONS=detect_leaks=0 ");
    EXPECT_EQ(bogus.exitCode, 2);
    EXPECT_TRUE(
        SaysFirst(bogus.err, "qz: --window cannot start SDL's video driver SDL_VIDEODRIVER='bogus' ("))
        << bogus.err;
    EXPECT_NE(bogus.err.find("): SDL has no such driver; name one it has ("), std::string::npos) << bogus.err;
}

// A run that ends while its window opens: a library that aborts there, or a SIGTERM sent meanwhile. The
// program's line about the sound comes first, then the library's, and the run ends by the signal (not
// with 0, as if its window had been closed). SDL's dummy driver stands in for a display; the preloaded
// shim refuses the sound and ends the process as the gamepads start.
TEST(QzRun, AWindowRunEndedWhileTheWindowOpensSaysItsLineAndEndsByTheSignal) {
    const std::string shell =
        "SDL_VIDEODRIVER=dummy ASAN_OPTIONS=detect_leaks=0:verify_asan_link_order=0 "
        "LD_PRELOAD=" QZ_SDL_END_SHIM " QZ_END=";
    for (const auto& [end, code] : {std::pair{"abort", 128 + SIGABRT}, std::pair{"sigterm", 128 + SIGTERM}}) {
        const QzStreams r = RunQzSplit("--disc " + kDisc + " --frames 30 --window", shell + end + " ");
        EXPECT_EQ(r.exitCode, code) << end << "\n" << r.err;
        EXPECT_TRUE(SaysFirst(r.err,
                              "qz: no sound device (the test refused the sound); playing without sound\n"
                              "library: about to end\n"))
            << end << "\n"
            << r.err;
    }
    // Started with SIGINT ignored (as a script's background run is), the run takes no notice of one sent
    // while the window opens: it plays on, and each line comes once, in order.
    const QzStreams ignored =
        RunQzSplit("--disc " + kDisc + " --frames 30 --window", "trap '' INT; " + shell + "sigint ");
    EXPECT_EQ(ignored.exitCode, 0) << ignored.err;
    EXPECT_EQ(ignored.err,
              "qz: no sound device (the test refused the sound); playing without sound\n"
              "library: about to end\n");
}
#endif

}  // namespace
