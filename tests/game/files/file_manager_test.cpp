#include "game/files/file_manager.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "console/cd/cd.h"
#include "engine/sys/files.h"
#include "engine/sys/heap.h"
#include "game/files/master_file_format.h"
#include "support/heap_image.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"

namespace {

using testsupport::g_log;

void PutU32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
    std::memcpy(v.data() + at, &x, 4);
}

// The image in heap memory (16-aligned, as the game loads it).
using testsupport::HeapImage;

std::vector<uint8_t> HandMadeImage() {
    // N = 3, entries 0x20, 0x43, 0x60, 0x80; labels {0, 1, 3} and one slack word.
    std::vector<uint8_t> v(0x80, 0);
    PutU32(v, 0, 3);
    PutU32(v, 4, 0x20);
    PutU32(v, 8, 0x43);
    PutU32(v, 12, 0x60);
    PutU32(v, 16, 0x80);
    PutU32(v, 20, 0);
    PutU32(v, 24, 1);
    PutU32(v, 28, 3);
    return v;
}

TEST(MasterFile, SubFilesComeFromTheOffsetTable) {
    auto bytes = HandMadeImage();
    ASSERT_TRUE(masterfile::Validate(bytes.data(), static_cast<uint32_t>(bytes.size())).ok);
    HeapImage img(bytes);
    CFileManager fm;
    auto* base = static_cast<uint8_t*>(img.p);
    EXPECT_EQ(fm.getSubFileCount(img.p), 3);
    EXPECT_EQ(fm.loadSubFile(img.p, 0), base + 0x20);
    EXPECT_EQ(fm.getSubFileLength(img.p, 0), 32);
    EXPECT_EQ(fm.loadSubFile(img.p, 1), base + 0x40);
    EXPECT_EQ(fm.getSubFileLength(img.p, 1), 29);
    EXPECT_EQ(fm.loadSubFile(img.p, 2), base + 0x60);
    EXPECT_EQ(fm.getSubFileLength(img.p, 2), 32);
    EXPECT_EQ(fm.getLabelIndex(img.p, 1), 1);
    EXPECT_EQ(fm.getSubfileCountForLabel(img.p, 0), 1);
    EXPECT_EQ(fm.getSubfileCountForLabel(img.p, 1), 2);
    EXPECT_EQ(fm.loadSubFileLabel(img.p, 1, 1), base + 0x60);
    // Out of range: null, a negative length, no sub-files.
    EXPECT_EQ(fm.loadSubFile(img.p, 3), nullptr);
    EXPECT_LT(fm.getSubFileLength(img.p, 3), 0);
    EXPECT_EQ(fm.loadSubFileLabel(img.p, 1, 2), nullptr);
    EXPECT_EQ(fm.getSubfileCountForLabel(img.p, 2), 0);  // slack after the last label
    EXPECT_EQ(fm.getSubfileCountForLabel(img.p, 99), 0);
    EXPECT_EQ(fm.getLabelIndex(img.p, 99), -1);
    EXPECT_EQ(fm.getSubFileCount(nullptr), 0);
    EXPECT_EQ(fm.loadSubFile(nullptr, 0), nullptr);
}

TEST(MasterFile, WriterRoundTripWithEmptyLabels) {
    MasterFileWriter w;
    w.beginLabel();
    w.add(std::vector<uint8_t>{1, 2, 3});
    w.add(std::vector<uint8_t>(16, 7));
    w.beginLabel();  // empty label
    w.beginLabel();
    w.add(std::vector<uint8_t>{});
    w.add(testsupport::Pattern(1000));
    auto bytes = w.build();
    auto check = masterfile::Validate(bytes.data(), static_cast<uint32_t>(bytes.size()));
    ASSERT_TRUE(check.ok) << check.why;
    HeapImage img(bytes);
    CFileManager fm;
    EXPECT_EQ(fm.getSubFileCount(img.p), 4);
    EXPECT_EQ(fm.getSubFileLength(img.p, 0), 3);
    EXPECT_EQ(fm.getSubFileLength(img.p, 1), 16);
    EXPECT_EQ(fm.getSubFileLength(img.p, 2), 0);
    EXPECT_EQ(fm.getSubFileLength(img.p, 3), 1000);
    EXPECT_EQ(fm.getSubfileCountForLabel(img.p, 0), 2);
    EXPECT_EQ(fm.getSubfileCountForLabel(img.p, 1), 0);
    EXPECT_EQ(fm.getSubfileCountForLabel(img.p, 2), 2);
    EXPECT_EQ(0, std::memcmp(fm.loadSubFileLabel(img.p, 2, 1), testsupport::Pattern(1000).data(), 1000));
    for (int i = 0; i < 4; ++i) EXPECT_EQ(reinterpret_cast<uintptr_t>(fm.loadSubFile(img.p, i)) % 16, 0u);
}

TEST(MasterFile, MalformedImagesAreRefused) {
    auto good = HandMadeImage();
    auto refuse = [](std::vector<uint8_t> v, const char* what) {
        auto c = masterfile::Validate(v.data(), static_cast<uint32_t>(v.size()));
        EXPECT_FALSE(c.ok) << what;
        EXPECT_STRNE(c.why, "") << what;
    };
    refuse(std::vector<uint8_t>(good.begin(), good.begin() + 8), "shorter than a header");
    refuse(std::vector<uint8_t>(good.begin(), good.begin() + 0x70), "truncated inside the last sub-file");
    auto v = good;
    PutU32(v, 0, 0x40000000);
    refuse(v, "count far past the file");
    v = good;
    PutU32(v, 0, 30);
    refuse(v, "count whose table runs past the first sub-file");
    v = good;
    PutU32(v, 12, 0x1000);
    refuse(v, "offset past the end");
    v = good;
    PutU32(v, 8, 0x70);
    PutU32(v, 12, 0x60);
    refuse(v, "offsets out of order");
    v = good;
    PutU32(v, 4, 0x10);
    refuse(v, "first sub-file over the index");
    v = good;
    PutU32(v, 28, 9);
    refuse(v, "label naming a missing sub-file");
    v = good;
    PutU32(v, 4, 0x2F);  // 15 pad bytes in sub-file 0's 32-byte slot are fine...
    EXPECT_TRUE(masterfile::Validate(v.data(), static_cast<uint32_t>(v.size())).ok);
    PutU32(v, 8, 0x20);  // ...but not once its slot is empty
    refuse(v, "padding larger than the slot");
    refuse({}, "empty");
}

class MasterFileOnDisc : public ::testing::Test {
protected:
    void SetUp() override {
        x_InitSTDIO();
        PS2CD_ResetFiles();
        log_.attach();
        g_log.reserve(8192);  // the log must not move heap figures under test
    }
    void TearDown() override { console::CdUnmount(); }
    testsupport::LogCapture log_;
    testsupport::TempDir disc_;
};

TEST_F(MasterFileOnDisc, MissingFileWarnsAndGivesNull) {
    ASSERT_TRUE(console::CdMount(disc_.path().c_str()));
    CFileManager fm;
    EXPECT_EQ(fm.loadFile("COMMON\\nothere.bin"), nullptr);
    EXPECT_EQ(g_log,
              "filename COMMON\\nothere.bin\nfileMem 0\nFileManager: WARNING: COMMON\\nothere.bin does not "
              "exist!\n");
}

TEST_F(MasterFileOnDisc, LoadsAValidFileAndRefusesACorruptOne) {
    disc_.write("COMMON/good.bin", HandMadeImage());
    auto bad = HandMadeImage();
    PutU32(bad, 12, 0x2000);
    disc_.write("COMMON/bad.bin", bad);
    ASSERT_TRUE(console::CdMount(disc_.path().c_str()));
    CFileManager fm;
    int used = x_TotalMemory();
    void* img = fm.loadFile("COMMON\\good.bin");
    ASSERT_NE(img, nullptr);
    EXPECT_EQ(fm.getSubFileLength(img, 1), 29);
    char expect[64];
    std::snprintf(expect, sizeof expect, "fileMem %d\n", static_cast<int>(reinterpret_cast<uintptr_t>(img)));
    EXPECT_NE(g_log.find(expect), std::string::npos) << g_log;
    x_free(img);
    g_log.clear();
    EXPECT_EQ(fm.loadFile("COMMON\\bad.bin"), nullptr);
    EXPECT_NE(g_log.find("FileManager: ERROR: COMMON\\bad.bin is not a valid master file"), std::string::npos)
        << g_log;
    EXPECT_EQ(g_log.find("does not exist"), std::string::npos) << g_log;  // it exists; it is corrupt
    EXPECT_EQ(x_TotalMemory(), used);
}

}  // namespace
