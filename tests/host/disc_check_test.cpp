// The program's own lines about the disc: the advice that works for the disc given, the start-up check
// of the files a run cannot do without, the line for a file the game went on without and the recall at
// the end of the run.
#include "host/disc_check.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <string>

#include "console/cd/cd.h"
#include "support/temp_dir.h"

namespace {

std::string RemakeAdvice() {
    char text[1200];
    return console::CdFaultAdvice(nullptr, text, sizeof text);
}

class DiscCheck : public ::testing::Test {
protected:
    void TearDown() override {
        console::CdUnmount();
        console::CdSetRemakeAdvice("rebuild the disc ('make disc')");
    }
};

// 'make disc' rewrites only the build tree's disc (by whatever name it is given); a copy is written again
// by the mkdisc the build put beside the program.
TEST_F(DiscCheck, TheAdviceRemakesTheDiscThatWasGiven) {
    host::SetRemakeAdvice((std::string(QZ_BUILD_DIR) + "/./disc").c_str(), QZ_DISC_DIR);
    EXPECT_EQ(RemakeAdvice(), "rebuild the disc ('make disc')");
    testsupport::TempDir copy;
    host::SetRemakeAdvice(copy.path().c_str(), QZ_DISC_DIR);
    EXPECT_EQ(RemakeAdvice(), "write the disc again with mkdisc ('" + std::string(QZ_BUILD_DIR) + "/mkdisc " +
                                  copy.path() + "')");
}

// The files a run cannot start without: something there that cannot be read is named with its reason at
// once; a file simply missing is left to MissingDiscFile's line.
TEST_F(DiscCheck, NeededFilesThatCannotBeReadAreNamedAtTheStart) {
    testsupport::TempDir good, noModule, moduleFolder, systemFile;
    for (const testsupport::TempDir* d : {&good, &noModule, &moduleFolder, &systemFile})
        ASSERT_TRUE(d->linkSampleDisc());
    std::remove(noModule.file("SYSTEM/LIBSD.IRX").c_str());
    std::remove(moduleFolder.file("SYSTEM/LIBSD.IRX").c_str());
    ASSERT_EQ(mkdir(moduleFolder.file("SYSTEM/LIBSD.IRX").c_str(), 0755), 0);
    ASSERT_EQ(std::system(("rm -rf '" + systemFile.file("SYSTEM") + "'").c_str()), 0);
    systemFile.write("SYSTEM", std::string("not a folder"));
    console::CdSetRemakeAdvice("remake it");
    host::Error error;
    EXPECT_TRUE(host::NeededDiscFilesReadable(good.path().c_str(), &error));
    EXPECT_TRUE(host::NeededDiscFilesReadable(noModule.path().c_str(), &error));
    EXPECT_STREQ(host::MissingDiscFile(noModule.path().c_str()), "SYSTEM/LIBSD.IRX");
    EXPECT_FALSE(host::NeededDiscFilesReadable(moduleFolder.path().c_str(), &error));
    EXPECT_EQ(std::string(error.Text()),
              "'" + moduleFolder.path() +
                  "' cannot be used as the disc: SYSTEM/LIBSD.IRX is not a file (a "
                  "folder); remake it");
    EXPECT_FALSE(host::NeededDiscFilesReadable(systemFile.path().c_str(), &error));
    EXPECT_EQ(std::string(error.Text()),
              "'" + systemFile.path() +
                  "' cannot be used as the disc: SYSTEM/SIO2MAN.IRX is missing: SYSTEM "
                  "is a file, not a folder; remake it");
}

// The line said when the game goes on without a file, and the one recalling them all at the end.
TEST_F(DiscCheck, AFileTheGameWentOnWithoutIsSaidAndRecalled) {
    console::DiscFileFault denied;
    denied.kind = console::DiscFault::kUnreadable;
    denied.error = EACCES;
    std::snprintf(denied.file, sizeof denied.file, "WORLD/i03.bin");
    std::snprintf(denied.place, sizeof denied.place, "/disc/WORLD/i03.bin");
    host::Error line;
    host::DescribeDiscFault(denied, &line);
    EXPECT_STREQ(
        line.Text(),
        "disc file WORLD/i03.bin cannot be read: permission denied; the game goes on without it; let "
        "the user running qz read it: chmod a+rX '/disc/WORLD/i03.bin'");

    testsupport::TempDir disc;
    ASSERT_TRUE(disc.linkSampleDisc());
    ASSERT_TRUE(console::CdMount(disc.path().c_str()));
    console::CdSetRemakeAdvice("remake it");
    EXPECT_FALSE(host::RecallDiscFaults(&line));
    std::remove(disc.file("AUDIO/qz02Audi.bin").c_str());
    console::CdReportUnavailable("AUDIO\\qz02Audi.bin");
    ASSERT_EQ(console::CdFaultCount(), 1);
    host::DescribeDiscFault(*console::CdFaultAt(0), &line);
    EXPECT_STREQ(line.Text(),
                 "disc file AUDIO/qz02Audi.bin is missing; the game goes on without it; remake it");
    console::CdReportUnavailable("WORLD\\i03.bin");  // there, yet a load of it failed
    ASSERT_TRUE(host::RecallDiscFaults(&line));
    EXPECT_STREQ(line.Text(),
                 "the run went on without 2 disc files it could not read or use (each named above): "
                 "AUDIO/qz02Audi.bin, WORLD/i03.bin");
    // More files than the record holds: the count is said as what it is, a floor.
    for (int i = 0; !console::CdFaultsPastCount() && i < 10000; ++i)
        console::CdReportUnavailable(("WORLD\\x" + std::to_string(i) + ".bin").c_str());
    ASSERT_TRUE(host::RecallDiscFaults(&line));
    const std::string count = std::to_string(console::CdFaultCount());
    EXPECT_EQ(
        std::string(line.Text())
            .rfind("the run went on without more than " + count + " disc files it could not read or use (" +
                       count + " named above): AUDIO/qz02Audi.bin, WORLD/i03.bin, WORLD/x0.bin",
                   0),
        0u)
        << line.Text();
}

}  // namespace
