// Disc files the game could not have or use: the reason found in the disc directory or given by the
// game's check, as the user is told it, and the record the host reads (once per file).
#include "console/cd/disc_faults.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "console/cd/cd.h"
#include "support/temp_dir.h"

namespace {

using console::DiscFault;
using console::DiscFileFault;

std::string Reason(const DiscFileFault& f) {
    char text[400];
    return console::CdFaultReason(f, text, sizeof text);
}

std::string Advice(const DiscFileFault* f) {
    char text[1200];
    return console::CdFaultAdvice(f, text, sizeof text);
}

// The reason an unprivileged user is given: root reads what mode 000 forbids, so as root the question is
// asked in a child that has given its rights up.
std::string ReasonAsUnprivileged(const std::string& root, const char* name) {
    int fds[2];
    if (pipe(fds) != 0) return "no pipe";
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
            _exit(2);
        const std::string text = Reason(console::CdFileFault(root.c_str(), name));
        _exit(write(fds[1], text.data(), text.size()) == static_cast<ssize_t>(text.size()) ? 0 : 3);
    }
    close(fds[1]);
    std::string text;
    char buf[256];
    for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;) text.append(buf, static_cast<size_t>(n));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? text : "child failed";
}

class DiscFaults : public ::testing::Test {
protected:
    void SetUp() override {
        disc_.write("WORLD/b01.bin", std::string(5000, 'w'));
        disc_.write("AUDIO/qz02Audi.bin", std::string(100, 'a'));
        disc_.write("COMMON/x", "x");
        console::CdSetRemakeAdvice("rebuild the disc ('make disc')");
    }
    void TearDown() override {
        console::CdSetFaultSink(nullptr, nullptr);
        console::CdUnmount();
    }
    testsupport::TempDir disc_;
};

// Each way a name can fail to lead to a readable file, found as the CD matches names (any case).
TEST_F(DiscFaults, TheReasonIsWhatTheDiscDirectoryHolds) {
    ASSERT_EQ(mkdir(disc_.file("WORLD/i03.bin").c_str(), 0755), 0);  // a folder where the file should be
    const struct {
        const char* name;
        DiscFault kind;
        std::string file, reason, place;
    } cases[] = {
        {"world\\B01.BIN", DiscFault::kNone, "world/B01.BIN", "could not be read", "WORLD/b01.bin"},
        {"WORLD\\i04.bin", DiscFault::kMissing, "WORLD/i04.bin", "is missing", "WORLD/i04.bin"},
        {"cdrom0:\\SNDS\\snd_b01.bin;1", DiscFault::kMissing, "SNDS/snd_b01.bin",
         "is missing (no folder SNDS)", "SNDS"},
        {"COMMON\\x\\y.bin", DiscFault::kNotAFolder, "COMMON/x/y.bin",
         "is missing: COMMON/x is a file, not a folder", "COMMON/x"},
        {"\\WORLD\\I03.BIN", DiscFault::kNotAFile, "WORLD/I03.BIN", "is not a file (a folder)",
         "WORLD/i03.bin"},
    };
    for (const auto& c : cases) {
        const DiscFileFault f = console::CdFileFault(disc_.path().c_str(), c.name);
        EXPECT_EQ(f.kind, c.kind) << c.name;
        EXPECT_EQ(std::string(f.file), c.file) << c.name;
        EXPECT_EQ(Reason(f), c.reason) << c.name;
        EXPECT_EQ(std::string(f.place), disc_.file(c.place)) << c.name;
        EXPECT_EQ(Advice(&f), "rebuild the disc ('make disc')") << c.name;
    }
    // A disc directory that is not there: its first name is missing.
    const DiscFileFault none = console::CdFileFault(disc_.file("gone").c_str(), "WORLD\\b01.bin");
    EXPECT_EQ(none.kind, DiscFault::kUnreadable);
    EXPECT_EQ(Reason(none), "cannot be read: no such file or directory on the disc directory");
}

// The CD merges folders whose names differ only in case (the disc has FRONTEND/ and frontend/): a file
// is looked for in each, and the fault given is the one on the way to where it would be.
TEST_F(DiscFaults, FoldersOfOneNameInAnyCaseAreAllLookedIn) {
    disc_.write("FRONTEND/SOUND/move_r.snd", "s");
    disc_.write("frontend/loadscrn/loadbar.ps2", "b");
    disc_.write("frontend/uni18.fnt", "f");
    ASSERT_EQ(mkdir(disc_.file("FRONTEND/names.txt").c_str(), 0755), 0);
    const struct {
        const char* name;
        DiscFault kind;
        std::string reason, place;
    } cases[] = {
        {"FRONTEND\\SOUND\\move_l.snd", DiscFault::kMissing, "is missing", "FRONTEND/SOUND/move_l.snd"},
        {"frontend\\loadscrn\\loadscrn.ps2", DiscFault::kMissing, "is missing",
         "frontend/loadscrn/loadscrn.ps2"},
        {"frontend\\SOUND\\move_r.snd", DiscFault::kNone, "could not be read", "FRONTEND/SOUND/move_r.snd"},
        {"FRONTEND\\uni18.fnt", DiscFault::kNone, "could not be read", "frontend/uni18.fnt"},
        {"frontend\\names.txt", DiscFault::kNotAFile, "is not a file (a folder)", "FRONTEND/names.txt"},
        {"frontend\\none\\x.bin", DiscFault::kMissing, "is missing (no folder FRONTEND/none)",
         "FRONTEND/none"},
    };
    for (const auto& c : cases) {
        const DiscFileFault f = console::CdFileFault(disc_.path().c_str(), c.name);
        EXPECT_EQ(f.kind, c.kind) << c.name;
        EXPECT_EQ(Reason(f), c.reason) << c.name;
        EXPECT_EQ(std::string(f.place), disc_.file(c.place)) << c.name;
    }
    // Every file the mounted disc serves is there to the lookup too.
    ASSERT_TRUE(console::CdMount(disc_.path().c_str()));
    for (const char* name :
         {"FRONTEND\\SOUND\\MOVE_R.SND", "FRONTEND\\UNI18.FNT", "FRONTEND\\LOADSCRN\\LOADBAR.PS2"}) {
        sceCdlFILE entry;
        EXPECT_EQ(sceCdSearchFile(&entry, name), 1) << name;
        EXPECT_EQ(console::CdFileFault(disc_.path().c_str(), name).kind, DiscFault::kNone) << name;
    }
    // A folder of one spelling the user may not read: the refusal, not a folder missing from the other.
    ASSERT_EQ(chmod(disc_.path().c_str(), 0755), 0);
    ASSERT_EQ(chmod(disc_.file("FRONTEND/SOUND").c_str(), 0), 0);
    EXPECT_EQ(ReasonAsUnprivileged(disc_.path(), "FRONTEND\\SOUND\\move_r.snd"),
              "cannot be read: permission denied on the folder FRONTEND/SOUND");
    chmod(disc_.file("FRONTEND/SOUND").c_str(), 0755);
}

// What the system refuses: the reason named, and the command that lets the program read the entry. Run
// by root, a file at mode 000 is read all the same, so the refusal is also given as the file layer
// records it (the system's error number).
TEST_F(DiscFaults, AnUnreadableEntryIsNamedWithThePermissionToGive) {
    DiscFileFault f;
    f.kind = DiscFault::kUnreadable;
    f.error = EACCES;
    std::snprintf(f.file, sizeof f.file, "WORLD/i03.bin");
    std::snprintf(f.place, sizeof f.place, "/d/WORLD/i03.bin");
    EXPECT_EQ(Reason(f), "cannot be read: permission denied");
    EXPECT_EQ(Advice(&f), "let the user running qz read it: chmod a+rX '/d/WORLD/i03.bin'");
    f.atFolder = true;
    std::snprintf(f.part, sizeof f.part, "WORLD");
    std::snprintf(f.place, sizeof f.place, "/d/WORLD");
    EXPECT_EQ(Reason(f), "cannot be read: permission denied on the folder WORLD");
    EXPECT_EQ(Advice(&f), "let the user running qz read it: chmod a+rX '/d/WORLD'");
    f.error = EIO;  // not a permission: the disc is to be had again
    EXPECT_EQ(Advice(&f), "rebuild the disc ('make disc')");
    EXPECT_EQ(Advice(nullptr), "rebuild the disc ('make disc')");

    if (geteuid() != 0) {
        ASSERT_EQ(chmod(disc_.file("WORLD/b01.bin").c_str(), 0), 0);
        const DiscFileFault real = console::CdFileFault(disc_.path().c_str(), "WORLD\\b01.bin");
        EXPECT_EQ(Reason(real), "cannot be read: permission denied");
        ASSERT_EQ(chmod(disc_.file("WORLD").c_str(), 0), 0);
        EXPECT_EQ(Reason(console::CdFileFault(disc_.path().c_str(), "WORLD\\b01.bin")),
                  "cannot be read: permission denied on the folder WORLD");
        chmod(disc_.file("WORLD").c_str(), 0755);
    }
}

// A file that was there when the disc was mounted and no longer reads whole: the CD's failed read is the
// reason given.
TEST_F(DiscFaults, AFailedReadOfAMountedFileIsItsReason) {
    ASSERT_TRUE(console::CdMount(disc_.path().c_str()));
    sceCdlFILE entry;
    ASSERT_EQ(sceCdSearchFile(&entry, "\\WORLD\\B01.BIN;1"), 1);
    ASSERT_EQ(truncate(disc_.file("WORLD/b01.bin").c_str(), 1000), 0);
    std::vector<uint8_t> sectors(3 * kCdSectorSize);
    ASSERT_EQ(sceCdRead(entry.lsn, 3, sectors.data(), nullptr), 1);
    EXPECT_NE(sceCdSync(0), 0);
    EXPECT_EQ(console::CdReadErrorOf("WORLD\\b01.bin"), -1);
    const DiscFileFault f = console::CdFileFault(disc_.path().c_str(), "WORLD\\b01.bin");
    EXPECT_EQ(f.kind, DiscFault::kUnreadable);
    EXPECT_EQ(Reason(f), "cannot be read: shorter than when the run started");
    // Another directory by the same names knows nothing of the mounted disc's reads.
    EXPECT_EQ(console::CdFileFault((disc_.path() + "/.").c_str(), "WORLD\\b01.bin").kind, DiscFault::kNone);
}

// The record: once per file whatever the spelling, handed to the sink as met, forgotten with the disc.
TEST_F(DiscFaults, EachFileIsRecordedOnceAndHandedToTheSink) {
    std::vector<std::string> heard;
    console::CdSetFaultSink(
        [](const DiscFileFault& f, void* user) {
            static_cast<std::vector<std::string>*>(user)->push_back(std::string(f.file) + " " + Reason(f));
        },
        &heard);
    console::CdReportUnavailable("WORLD\\i03.bin");  // no disc mounted: nothing to say
    EXPECT_EQ(console::CdFaultCount(), 0);
    ASSERT_TRUE(console::CdMount(disc_.path().c_str()));
    console::CdReportUnavailable("WORLD\\i03.bin");
    console::CdReportUnavailable("\\world\\I03.BIN;1");
    console::CdReportUnavailable("AUDIO\\TITLE.STM");
    const std::vector<std::string> expected = {"WORLD/i03.bin is missing", "AUDIO/TITLE.STM is missing"};
    EXPECT_EQ(heard, expected);
    ASSERT_EQ(console::CdFaultCount(), 2);
    EXPECT_STREQ(console::CdFaultAt(1)->file, "AUDIO/TITLE.STM");
    EXPECT_EQ(console::CdFaultAt(2), nullptr);
    EXPECT_EQ(console::CdFaultOf("cdrom0:\\WORLD\\I03.BIN;1"), console::CdFaultAt(0));
    EXPECT_EQ(console::CdFaultOf("WORLD\\b01.bin"), nullptr);
    console::CdUnmount();
    EXPECT_EQ(console::CdFaultCount(), 0);
}

// However many files are met, each is told once and the count is true: past what the record holds they
// are no longer told, and the record says there were more.
TEST_F(DiscFaults, PastTheRecordNoFileIsToldAgain) {
    int heard = 0;
    console::CdSetFaultSink([](const DiscFileFault&, void* user) { ++*static_cast<int*>(user); }, &heard);
    ASSERT_TRUE(console::CdMount(disc_.path().c_str()));
    auto name = [](int i) { return "WORLD\\x" + std::to_string(i) + ".bin"; };
    for (int round = 0; round < 2; ++round)
        for (int i = 0; i < 70; ++i) console::CdReportUnavailable(name(i).c_str());
    EXPECT_EQ(heard, 70);
    EXPECT_EQ(console::CdFaultCount(), 70);
    EXPECT_FALSE(console::CdFaultsPastCount());
    ASSERT_NE(console::CdFaultOf(name(69).c_str()), nullptr);
    for (int round = 0; round < 2; ++round)
        for (int i = 0; i < 1000; ++i) console::CdReportUnavailable(name(i).c_str());
    const int kept = console::CdFaultCount();
    EXPECT_GE(kept, 200);  // far more than the game asks for on an undamaged disc
    EXPECT_LT(kept, 1000);
    EXPECT_EQ(heard, kept);
    EXPECT_TRUE(console::CdFaultsPastCount());
    EXPECT_NE(console::CdFaultAt(kept - 1), nullptr);
    EXPECT_EQ(console::CdFaultAt(kept), nullptr);
    console::CdUnmount();
    EXPECT_FALSE(console::CdFaultsPastCount());
}

// A file the run stops without is recorded for the run to say why it stops, not told as one it goes on
// without.
TEST_F(DiscFaults, AVitalFileIsRecordedNotHandedToTheSink) {
    std::vector<std::string> heard;
    console::CdSetFaultSink(
        [](const DiscFileFault& f, void* user) {
            static_cast<std::vector<std::string>*>(user)->push_back(f.file);
        },
        &heard);
    ASSERT_TRUE(console::CdMount(disc_.path().c_str()));
    console::CdSetVital("frontend\\FE_game.exp");
    console::CdReportUnavailable("\\FRONTEND\\FE_GAME.EXP;1");
    console::CdReportUnavailable("WORLD\\i03.bin");
    EXPECT_EQ(heard, std::vector<std::string>{"WORLD/i03.bin"});
    ASSERT_NE(console::CdFaultOf("frontend\\FE_game.exp"), nullptr);
    EXPECT_EQ(Reason(*console::CdFaultOf("frontend\\FE_game.exp")), "is missing (no folder FRONTEND)");
}

// Files read and refused whole as damaged: recorded with the check's reason, once per file alongside
// the files that could not be read, and handed to the sink like them.
class DiscDamage : public ::testing::Test {
protected:
    void SetUp() override {
        disc_.write("WORLD/i03.bin", std::string(4000, 'w'));
        disc_.write("AUDIO/TITLE.STM", std::string(4000, 's'));
        console::CdSetFaultSink(
            [](const DiscFileFault& f, void* user) {
                static_cast<std::vector<std::string>*>(user)->push_back(std::string(f.file) + " " +
                                                                        Reason(f));
            },
            &heard_);
    }
    void TearDown() override {
        console::CdSetFaultSink(nullptr, nullptr);
        console::CdUnmount();
        console::CdSetRemakeAdvice("rebuild the disc ('make disc')");
    }
    testsupport::TempDir disc_;
    std::vector<std::string> heard_;
};

// Told once whatever the spelling or a later reason, with the check's words and the remaking advice; the
// record keeps where the file lies.
TEST_F(DiscDamage, ADamagedFileIsToldOnceWithItsReason) {
    console::CdReportDamaged("WORLD\\i03.bin", "bad");  // no disc mounted: nothing to say
    EXPECT_EQ(console::CdFaultCount(), 0);
    ASSERT_TRUE(console::CdMount(disc_.path().c_str()));
    console::CdSetRemakeAdvice("remake it");
    console::CdReportDamaged("WORLD\\i03.bin", "sub-file offset past the end of the file");
    console::CdReportDamaged("\\world\\I03.BIN;1", "another reason");
    console::CdReportDamaged("cdrom0:\\AUDIO\\TITLE.STM;1", "");
    const std::vector<std::string> expected = {
        "WORLD/i03.bin is damaged: sub-file offset past the end of the file",
        "AUDIO/TITLE.STM is damaged: refused by its check"};
    EXPECT_EQ(heard_, expected);
    ASSERT_EQ(console::CdFaultCount(), 2);
    const DiscFileFault* f = console::CdFaultOf("WORLD\\i03.bin");
    ASSERT_EQ(f, console::CdFaultAt(0));
    EXPECT_EQ(f->kind, DiscFault::kDamaged);
    EXPECT_EQ(std::string(f->place), disc_.file("WORLD/i03.bin"));
    EXPECT_EQ(Advice(f), "remake it");
    console::CdUnmount();
    EXPECT_EQ(console::CdFaultCount(), 0);
}

// A file is one entry of the record however it failed: once unreadable, it is not told again as damaged,
// and once damaged, not again as unreadable. Both kinds count in the record the run recalls.
TEST_F(DiscDamage, DamageAndUnreadableFilesShareOneRecord) {
    ASSERT_TRUE(console::CdMount(disc_.path().c_str()));
    console::CdReportUnavailable("WORLD\\b01.bin");  // missing
    console::CdReportDamaged("WORLD\\b01.bin", "bad header");
    console::CdReportDamaged("WORLD\\i03.bin", "bad header");
    console::CdReportUnavailable("WORLD\\i03.bin");
    const std::vector<std::string> expected = {"WORLD/b01.bin is missing",
                                               "WORLD/i03.bin is damaged: bad header"};
    EXPECT_EQ(heard_, expected);
    EXPECT_EQ(console::CdFaultCount(), 2);
    EXPECT_EQ(console::CdFaultOf("WORLD\\b01.bin")->kind, DiscFault::kMissing);
    EXPECT_EQ(console::CdFaultOf("WORLD\\i03.bin")->kind, DiscFault::kDamaged);
}

// A damaged file the run stops without is recorded with its reason for the run's own last words, and not
// told to the sink as well.
TEST_F(DiscDamage, AVitalDamagedFileIsRecordedNotHandedToTheSink) {
    disc_.write("frontend/FE_game.exp", std::string("not a screen file"));
    ASSERT_TRUE(console::CdMount(disc_.path().c_str()));
    console::CdSetVital("frontend\\FE_game.exp");
    console::CdReportDamaged("frontend\\FE_game.exp", "header shorter than 64 bytes");
    EXPECT_TRUE(heard_.empty());
    ASSERT_NE(console::CdFaultOf("FRONTEND\\FE_GAME.EXP"), nullptr);
    EXPECT_EQ(Reason(*console::CdFaultOf("frontend\\FE_game.exp")),
              "is damaged: header shorter than 64 bytes");
}

}  // namespace
