// Disc files the game read and refused whole as damaged: recorded with the check's reason, once per file
// alongside the files it could not read, and handed to the sink like them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/cd/cd.h"
#include "console/cd/disc_faults.h"
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
