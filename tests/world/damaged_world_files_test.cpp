// Master files the game reads from the disc and cannot have: the log says what is true of a file that
// could not be had (missing, a folder, cut short in the run).
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "console/cd/cd.h"
#include "engine/sys/files.h"
#include "game/files/file_manager.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"
#include "world_fixture.h"

namespace {

class DamagedWorldFiles : public ::testing::Test {
protected:
    void SetUp() override {
        x_InitSTDIO();
        PS2CD_ResetFiles();
        log_.attach();
    }
    void TearDown() override { console::CdUnmount(); }
    // Mounts the disc as written so far (its file list is read at mount).
    void Mount() {
        console::CdUnmount();
        PS2CD_ResetFiles();
        ASSERT_TRUE(console::CdMount(disc_.path().c_str()));
        log_.clear();
    }

    testsupport::LogCapture log_;
    testsupport::TempDir disc_;
};

// The file manager's warning for a file it could not load says what is true of it: "does not exist" only
// for a file that is not there.
TEST_F(DamagedWorldFiles, TheWarningForAFileNotLoadedSaysWhy) {
    const std::vector<uint8_t> world = worldtest::Flat(2, 0);
    disc_.write("WORLD/cut.bin", world);
    disc_.write("WORLD/dir.bin/x", std::string("a folder where the world should be"));
    Mount();
    ASSERT_EQ(truncate(disc_.file("WORLD/cut.bin").c_str(), 1000), 0);  // cut short in the run
    const struct {
        const char* name;
        const char* warning;
    } cases[] = {
        {"WORLD\\none.bin", "FileManager: WARNING: WORLD\\none.bin does not exist!\n"},
        {"WORLD\\dir.bin", "FileManager: WARNING: WORLD\\dir.bin is not a file (a folder)!\n"},
        {"WORLD\\cut.bin",
         "FileManager: WARNING: WORLD\\cut.bin cannot be read: shorter than when the run started!\n"},
    };
    for (const auto& c : cases) {
        log_.clear();
        EXPECT_EQ(GetFileManager()->loadFile(c.name), nullptr) << c.name;
        EXPECT_TRUE(log_.has(c.warning)) << log_.text();
        EXPECT_EQ(log_.count("does not exist"), c.name == std::string("WORLD\\none.bin") ? 1 : 0)
            << log_.text();
    }
}

}  // namespace
