// The disc stand-in: what a mounted directory holds as the disc, and whose fault a failed read is.
#include "console/cd/cd.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace {

bool OnDisc(const char* name) {
    sceCdlFILE f;
    return sceCdSearchFile(&f, name) == 1;
}

class CdMountTest : public ::testing::Test {
protected:
    void TearDown() override { console::CdUnmount(); }
    testsupport::TempDir disc_, elsewhere_;
};

// Links round a loop are not followed, folders go eight deep, and links to files (a disc copied as
// links) and to folders, on the disc or elsewhere (a disc assembled from links), count as the disc's own.
TEST_F(CdMountTest, TheWalkFollowsLinksButNotRoundALoop) {
    disc_.write("SYSTEM/A.IRX", "a");
    disc_.write("frontend/B.FNT", "b");
    elsewhere_.write("F.BIN", "f");
    elsewhere_.write("SUB/G.BIN", "g");
    std::string deep = "D1/D2/D3/D4/D5/D6/D7/D8";
    disc_.write(deep + "/IN.BIN", "i");
    disc_.write(deep + "/D9/OUT.BIN", "o");
    for (const char* l : {"L1", "L2"}) ASSERT_EQ(symlink(".", disc_.file(l).c_str()), 0);
    ASSERT_EQ(symlink("..", disc_.file("SYSTEM/UP").c_str()), 0);
    ASSERT_EQ(symlink(elsewhere_.path().c_str(), disc_.file("AWAY").c_str()), 0);
    ASSERT_EQ(symlink(disc_.path().c_str(), elsewhere_.file("SUB/BACK").c_str()), 0);  // out and back in
    ASSERT_EQ(symlink(elsewhere_.file("F.BIN").c_str(), disc_.file("SYSTEM/F.BIN").c_str()), 0);
    ASSERT_EQ(symlink("../frontend", disc_.file("SYSTEM/FE").c_str()), 0);
    ASSERT_TRUE(console::CdMount(disc_.path().c_str()));
    EXPECT_TRUE(OnDisc("\\SYSTEM\\A.IRX;1"));
    EXPECT_TRUE(OnDisc("\\SYSTEM\\F.BIN;1"));
    EXPECT_TRUE(OnDisc("\\SYSTEM\\FE\\B.FNT;1"));
    EXPECT_TRUE(OnDisc(("\\" + deep + "\\IN.BIN").c_str()));
    EXPECT_FALSE(OnDisc(("\\" + deep + "\\D9\\OUT.BIN").c_str()));
    EXPECT_FALSE(OnDisc("\\L1\\SYSTEM\\A.IRX;1"));
    EXPECT_FALSE(OnDisc("\\SYSTEM\\UP\\SYSTEM\\A.IRX;1"));
    EXPECT_TRUE(OnDisc("\\AWAY\\F.BIN;1"));
    EXPECT_TRUE(OnDisc("\\AWAY\\SUB\\G.BIN;1"));
    EXPECT_FALSE(OnDisc("\\AWAY\\SUB\\BACK\\SYSTEM\\A.IRX;1"));
    // Six files sort before this one: nothing else was kept.
    sceCdlFILE last;
    ASSERT_EQ(sceCdSearchFile(&last, "\\SYSTEM\\FE\\B.FNT"), 1);
    EXPECT_EQ(last.lsn, 24u + 6u);

    // A tree of links each to the next folder on the disc, twenty wide: more than a disc holds long
    // before it is walked.
    testsupport::TempDir wide;
    for (int level = 4; level >= 0; --level) {
        const std::string dir = wide.file("T" + std::to_string(level));
        ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
        for (int i = 0; i < 20 && level < 4; ++i)
            ASSERT_EQ(symlink(("../T" + std::to_string(level + 1)).c_str(),
                              (dir + "/N" + std::to_string(i)).c_str()),
                      0);
    }
    for (int i = 0; i < 20; ++i) wide.write("T4/F" + std::to_string(i), "x");
    EXPECT_FALSE(console::CdMount(wide.path().c_str()));
    EXPECT_STREQ(console::CdMountRefusal(),
                 "holds more than 32768 files and folders (a game disc holds a few hundred)");
    const char* target = nullptr;
    EXPECT_EQ(console::CdMountRefusalLink(&target), nullptr);  // the directory itself held too much
    EXPECT_FALSE(console::CdMounted());

    // The same tree behind a link on a small disc: the link that led out is named.
    ASSERT_EQ(symlink(wide.path().c_str(), disc_.file("STRAY").c_str()), 0);
    EXPECT_FALSE(console::CdMount(disc_.path().c_str()));
    ASSERT_NE(console::CdMountRefusalLink(&target), nullptr);
    EXPECT_EQ(std::string(console::CdMountRefusalLink(nullptr)), disc_.file("STRAY"));
    char* real = realpath(wide.path().c_str(), nullptr);
    EXPECT_STREQ(target, real);
    std::free(real);
}

// A read runs on past its file's end into the next file's sectors: when those cannot be read they come
// back as zeros and the read stands; its own file's fault fails it and is kept against that file.
TEST_F(CdMountTest, AReadFailsOnlyForTheFileItIsFor) {
    disc_.write("A", std::string(3000, 'a'));  // sectors 24-25
    disc_.write("B", std::string(100, 'b'));   // sector 26
    disc_.write("C", std::string(100, 'c'));   // sector 27
    ASSERT_TRUE(console::CdMount(disc_.path().c_str()));
    ASSERT_EQ(std::remove(disc_.file("B").c_str()), 0);
    std::vector<uint8_t> buf(16 * kCdSectorSize, 0xEE);
    ASSERT_EQ(sceCdRead(24, 16, buf.data(), nullptr), 1);
    EXPECT_EQ(sceCdSync(0), 0);
    EXPECT_EQ(console::CdLastReadIntact(), 2u);
    EXPECT_EQ(buf[2999], 'a');
    EXPECT_EQ(buf[3000], 0);
    EXPECT_EQ(buf[2 * kCdSectorSize], 0);    // B's sector
    EXPECT_EQ(buf[3 * kCdSectorSize], 'c');  // C's, past it
    EXPECT_EQ(console::CdReadErrorOf("A"), 0);
    ASSERT_EQ(sceCdRead(26, 16, buf.data(), nullptr), 1);
    EXPECT_NE(sceCdSync(0), 0);
    EXPECT_EQ(console::CdReadErrorOf("\\B;1"), ENOENT);
    ASSERT_EQ(sceCdRead(27, 1, buf.data(), nullptr), 1);
    EXPECT_EQ(sceCdSync(0), 0);
    EXPECT_EQ(console::CdLastReadIntact(), 1u);
}

}  // namespace
