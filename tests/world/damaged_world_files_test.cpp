// Master files and worlds the game reads from the disc and cannot use: a file refused whole for damage is
// recorded with the check's reason, for the program to tell the user; the log says what is true of a file
// that could not be had (missing, a folder, cut short in the run).
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "console/cd/cd.h"
#include "console/cd/disc_faults.h"
#include "engine/sys/files.h"
#include "engine/sys/heap.h"
#include "game/files/file_manager.h"
#include "game/files/master_file_format.h"
#include "support/image_patch.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"
#include "world/world_file_format.h"
#include "world/world_loader.h"
#include "world_fixture.h"

namespace {

std::string Reason(const char* file) {
    const console::DiscFileFault* f = console::CdFaultOf(file);
    if (!f) return "(not recorded)";
    char text[400];
    return console::CdFaultReason(*f, text, sizeof text);
}

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

// A world whose master file holds but whose container, splines or terrain map are refused: recorded as
// damaged with the reason its check gave.
TEST_F(DamagedWorldFiles, AWorldRefusedForItsContentIsRecordedAsDamaged) {
    const auto good = worldtest::Flat(2, 0);
    WorldImageMap map;
    ASSERT_TRUE(MapWorldImage(good, &map));
    const uint32_t n = testsupport::Peek<uint32_t>(good, 0);
    const uint32_t terrainEntry = masterfile::EntryOffset(
        testsupport::Peek<uint32_t>(good, masterfile::LabelTableOffset(n) + 4 * worldfile::kLabelTerrainMap));
    const uint32_t terrainMap = testsupport::Peek<uint32_t>(good, terrainEntry) & masterfile::kOffsetMask;
    const struct {
        uint32_t at;
        int16_t value;
        const char* reason;  // how the record's reason starts
    } cases[] = {
        {map.main + 4, 5, "is damaged: not a valid world (tile list not row by row and complete)"},
        {map.main + map.layout.splineOffset, 1, "is damaged: not a valid world (spline 0: "},
        {terrainMap + 2, 0x7FFF, "is damaged: not a valid world (terrain map: cell 0 row 0 starts at "},
    };
    for (const auto& c : cases) {
        auto bad = good;
        testsupport::Poke(bad, c.at, c.value);
        disc_.write("WORLD/b01.bin", bad);
        Mount();
        EXPECT_EQ(LoadWorldFile("WORLD\\b01.bin"), nullptr) << c.reason;
        EXPECT_EQ(Reason("WORLD\\b01.bin").rfind(c.reason, 0), 0u) << Reason("WORLD\\b01.bin");
    }
    // The good world is no fault.
    disc_.write("WORLD/b01.bin", good);
    Mount();
    void* image = LoadWorldFile("WORLD\\b01.bin");
    EXPECT_NE(image, nullptr) << log_.text();
    x_free(image);
    EXPECT_EQ(console::CdFaultCount(), 0);
}

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
