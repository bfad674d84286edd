#include "engine/sys/files.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "console/cd/cd.h"
#include "console/cd/disc_faults.h"
#include "console/cd/host_output.h"
#include "engine/hal/geometry.h"
#include "engine/sys/heap.h"
#include "engine/sys/loaded_files.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"

namespace {

using testsupport::g_log;

// A disc with a few files of known contents, mounted fresh for every test.
class CdFiles : public ::testing::Test {
protected:
    void SetUp() override {
        big_ = testsupport::Pattern(200000, 7);
        small_ = testsupport::Pattern(100, 3);
        disc_.write("COMMON/qz02dat.bin", big_);
        disc_.write("A", small_);
        disc_.write("FRONTEND/Sound/Move_L.snd", testsupport::Pattern(5000, 9));
        ASSERT_TRUE(console::CdMount(disc_.path().c_str()));
        x_InitSTDIO();
        PS2CD_ResetFiles();
        log_.attach();
        g_log.reserve(16384);  // the log must not move heap figures under test
    }
    void TearDown() override {
        for (int i = 0; i < kPs2FileCount; ++i)
            if (PS2CD_FileRecord(i)->inUse)
                x_fclose(reinterpret_cast<X_FILE*>(const_cast<PS2File*>(PS2CD_FileRecord(i))));
        console::CdUnmount();
    }

    testsupport::TempDir disc_;
    std::vector<uint8_t> big_, small_;
    testsupport::LogCapture log_;
};

TEST_F(CdFiles, NamesAreMappedToTheDiscFormAndEightOpenAtOnce) {
    X_FILE* f = x_fopen("COMMON\\qz02dat.bin", "rb");
    ASSERT_NE(f, nullptr);
    EXPECT_STREQ(PS2CD_FileRecord(0)->path, "cdrom0:\\COMMON\\QZ02DAT.BIN;1");
    EXPECT_EQ(PS2CD_FileRecord(0)->entry.size, big_.size());
    X_FILE* a = x_fopen("//A", "rb");
    ASSERT_NE(a, nullptr);
    EXPECT_STREQ(PS2CD_FileRecord(1)->path, "cdrom0:\\A;1");
    // Mixed case on the host and in the request both match.
    EXPECT_NE(x_fopen("frontend\\sound\\move_l.snd", "rb"), nullptr);
    EXPECT_EQ(x_fopen("COMMON\\missing.bin", "rb"), nullptr);
    EXPECT_EQ(x_fopen(std::string(300, 'N').c_str(), "rb"), nullptr);  // overlong names
    EXPECT_EQ(x_fopen(std::string(5000, 'N').c_str(), "rb"), nullptr);
    // Eight files at most; a closed record is reused.
    for (int i = 3; i < 8; ++i) ASSERT_NE(x_fopen("A", "rb"), nullptr) << i;
    EXPECT_EQ(x_fopen("A", "rb"), nullptr);
    x_fclose(reinterpret_cast<X_FILE*>(const_cast<PS2File*>(PS2CD_FileRecord(3))));
    EXPECT_NE(x_fopen("A", "rb"), nullptr);
}

TEST_F(CdFiles, CacheHitsFullAndPartial) {
    X_FILE* f = x_fopen("COMMON\\qz02dat.bin", "rb");
    ASSERT_NE(f, nullptr);
    uint8_t buf[100];
    x_fseek(f, 2040, 0);  // across a sector boundary; buffer 0 now holds sectors 0..15 of the file
    ASSERT_EQ(x_fread(buf, 1, 100, f), 100);
    EXPECT_EQ(x_ftell(f), 2140);
    const uint64_t reads = console::CdReadCount();
    g_log.clear();
    x_fseek(f, 2040, 0);
    std::memset(buf, 0, sizeof buf);
    ASSERT_EQ(x_fread(buf, 1, 100, f), 100);
    EXPECT_EQ(g_log, "PS2CD: Full cache hit\n");
    EXPECT_EQ(console::CdReadCount(), reads);
    EXPECT_EQ(0, std::memcmp(buf, &big_[2040], 100));
    std::vector<uint8_t> out(40000);
    x_fseek(f, 30000, 0);
    g_log.clear();
    ASSERT_EQ(x_fread(out.data(), 1, 40000, f), 40000);
    EXPECT_NE(g_log.find("PS2CD: Partial cache hit [2768 of 40000]\n"), std::string::npos) << g_log;
    EXPECT_EQ(0, std::memcmp(out.data(), &big_[30000], out.size()));
}

TEST_F(CdFiles, LongUnalignedAndAlignedReadsMatchTheFile) {
    X_FILE* f = x_fopen("COMMON\\qz02dat.bin", "rb");
    ASSERT_NE(f, nullptr);
    std::vector<uint8_t> out(big_.size() + 64);
    uint8_t* dst = out.data() + 1;  // not 64-aligned: the buffered path
    x_fseek(f, 777, 0);
    ASSERT_EQ(x_fread(dst, 1, 150000, f), 150000);
    EXPECT_EQ(0, std::memcmp(dst, &big_[777], 150000));
    // A whole-sector read into 64-aligned memory goes straight to the destination.
    auto* aligned = static_cast<uint8_t*>(x_fn_amalloc(4096 * 3, 64));
    ASSERT_NE(aligned, nullptr);
    x_fseek(f, 4096, 0);
    g_log.clear();
    ASSERT_EQ(x_fread(aligned, 2048, 6, f), 6);
    EXPECT_EQ(g_log, " (pure aligned read)\n");
    EXPECT_EQ(0, std::memcmp(aligned, &big_[4096], 4096 * 3));
    x_free(aligned);
}

TEST_F(CdFiles, EndOfFileWholeItemsAndBadPositions) {
    X_FILE* f = x_fopen("A", "rb");
    ASSERT_NE(f, nullptr);
    x_fseek(f, 0, 2);
    EXPECT_EQ(x_ftell(f), 100);
    EXPECT_EQ(x_feof(f), 1);
    uint8_t buf[64];
    EXPECT_EQ(x_fread(buf, 1, 10, f), 0);
    // whence 2 counts back from the end.
    x_fseek(f, 10, 2);
    EXPECT_EQ(x_ftell(f), 90);
    EXPECT_EQ(x_feof(f), 0);
    EXPECT_EQ(x_fread(buf, 4, 5, f), 2);  // 10 bytes remain: two whole 4-byte items
    EXPECT_EQ(0, std::memcmp(buf, &small_[90], 8));
    EXPECT_EQ(x_ftell(f), 100);
    // Size 0 never reaches the driver.
    x_fseek(f, 0, 0);
    EXPECT_EQ(x_fread(buf, 0, 5, f), 0);
    EXPECT_EQ(x_ftell(f), 0);
    // Negative positions read nothing; null files are harmless.
    f = x_fopen("FRONTEND\\SOUND\\MOVE_L.SND", "rb");
    x_fseek(f, -100, 0);
    EXPECT_EQ(x_fread(buf, 1, 16, f), 0);
    x_fseek(f, 200, 1);
    EXPECT_EQ(x_fread(buf, 1, 16, f), 16);
    EXPECT_EQ(x_fread(buf, 1, 4, nullptr), 0);
    EXPECT_EQ(x_fwrite(buf, 1, 4, nullptr), 0);
    EXPECT_EQ(x_fseek(nullptr, 0, 0), 0);
    EXPECT_EQ(x_ftell(nullptr), 0);
    x_fclose(nullptr);
}

TEST_F(CdFiles, FailedSectorReadLeavesPositionAndLoadFails) {
    X_FILE* f = x_fopen("COMMON\\qz02dat.bin", "rb");
    ASSERT_NE(f, nullptr);
    x_fseek(f, 100000, 0);
    uint8_t buf[100];
    console::CdInjectReadErrors(1);
    EXPECT_EQ(x_fread(buf, 1, 100, f), 0);
    EXPECT_EQ(x_ftell(f), 100000);
    EXPECT_NE(PS2CD_LastCDError(), 0);
    EXPECT_EQ(x_fread(buf, 1, 100, f), 100);
    x_fclose(f);

    int used = x_TotalMemory();
    console::CdInjectReadErrors(1);
    int length = -1;
    EXPECT_EQ(x_LoadFileLength("COMMON\\qz02dat.bin", &length), nullptr);
    EXPECT_EQ(x_TotalMemory(), used);  // the buffer went back to the heap
    void* image = x_LoadFileLength("COMMON\\qz02dat.bin", &length);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(length, static_cast<int>(big_.size()));
    EXPECT_EQ(0, std::memcmp(image, big_.data(), big_.size()));
    x_free(image);
    EXPECT_EQ(x_LoadFile("nothere.bin"), nullptr);
}

// A file the game loads whole and cannot have is recorded with its reason, once, for the program to tell
// the user; the game's own log says what it always said.
TEST_F(CdFiles, AFileThatCannotBeLoadedIsRecordedWithItsReason) {
    char reason[256];
    EXPECT_EQ(x_LoadFile("WORLD\\i03.bin"), nullptr);
    EXPECT_EQ(x_LoadFile("world\\I03.BIN"), nullptr);
    ASSERT_EQ(console::CdFaultCount(), 1);
    EXPECT_STREQ(console::CdFaultAt(0)->file, "WORLD/i03.bin");
    EXPECT_STREQ(console::CdFaultReason(*console::CdFaultAt(0), reason, sizeof reason),
                 "is missing (no folder WORLD)");
    // Cut short after the disc was mounted: the read fails, the log says so, the record says why.
    ASSERT_EQ(truncate(disc_.file("A").c_str(), 10), 0);
    int length = -1;
    EXPECT_EQ(x_LoadFileLength("A", &length), nullptr);
    EXPECT_NE(log_.text().find("x_LoadFile: read error on A\n"), std::string::npos) << log_.text();
    ASSERT_EQ(console::CdFaultCount(), 2);
    EXPECT_STREQ(console::CdFaultReason(*console::CdFaultAt(1), reason, sizeof reason),
                 "cannot be read: shorter than when the run started");
    // What loads is not recorded.
    void* image = x_LoadFile("COMMON\\qz02dat.bin");
    EXPECT_NE(image, nullptr);
    x_free(image);
    EXPECT_EQ(console::CdFaultCount(), 2);
}

// A's chunk runs on into the common-objects file's sectors: that file gone does not fail A's load, the
// cache never hands out the zeros read in its place, and its own load names it.
TEST_F(CdFiles, AFileGoneFailsOnlyItsOwnLoad) {
    ASSERT_EQ(std::remove(disc_.file("COMMON/qz02dat.bin").c_str()), 0);
    int length = -1;
    auto* a = static_cast<uint8_t*>(x_LoadFileLength("A", &length));
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(length, 100);
    EXPECT_EQ(0, std::memcmp(a, small_.data(), small_.size()));
    x_free(a);
    EXPECT_EQ(console::CdFaultCount(), 0);

    disc_.write("COMMON/qz02dat.bin", big_);  // back: read from the disc, not from A's chunk
    void* image = x_LoadFileLength("COMMON\\qz02dat.bin", &length);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(0, std::memcmp(image, big_.data(), big_.size()));
    x_free(image);

    ASSERT_EQ(std::remove(disc_.file("COMMON/qz02dat.bin").c_str()), 0);
    ASSERT_NE(a = static_cast<uint8_t*>(x_LoadFile("A")), nullptr);
    x_free(a);
    EXPECT_EQ(x_LoadFile("COMMON\\qz02dat.bin"), nullptr);
    ASSERT_EQ(console::CdFaultCount(), 1);
    EXPECT_STREQ(console::CdFaultAt(0)->file, "COMMON/qz02dat.bin");
    char reason[256];
    EXPECT_STREQ(console::CdFaultReason(*console::CdFaultAt(0), reason, sizeof reason), "is missing");
}

// A's chunk holds A and the start of B, and B was cut after the disc was mounted: the chunk holds B's
// first sectors only. B's read takes those from the cache and must go on at the first sector the cache
// lacks, not at the chunk's end: either B's own bytes or a failed read, never C's bytes in B's place.
TEST_F(CdFiles, APartialCacheHitGoesOnWhereTheCachedSectorsEnd) {
    auto sectors = [](int count, uint8_t first) {
        std::vector<uint8_t> bytes;
        for (int s = 0; s < count; ++s) bytes.insert(bytes.end(), 2048, static_cast<uint8_t>(first + s));
        return bytes;
    };
    const std::vector<uint8_t> b = sectors(8, 0x10), c = sectors(40, 0x80);
    disc_.write("B", b);
    disc_.write("C", c);
    ASSERT_TRUE(console::CdMount(disc_.path().c_str()));
    for (const bool restored : {false, true}) {
        SCOPED_TRACE(restored ? "B whole again" : "B cut");
        PS2CD_ResetFiles();
        ASSERT_EQ(truncate(disc_.file("B").c_str(), 3 * 2048), 0);
        void* a = x_LoadFile("A");  // reads A's chunk: A, B's 3 sectors, then sectors that cannot be read
        ASSERT_NE(a, nullptr);
        x_free(a);
        if (restored) disc_.write("B", b);
        X_FILE* f = x_fopen("B", "rb");
        ASSERT_NE(f, nullptr);
        std::vector<uint8_t> out(b.size(), 0xEE);
        g_log.clear();
        const int got = x_fread(out.data(), 1, static_cast<int>(out.size()), f);
        EXPECT_NE(g_log.find("PS2CD: Partial cache hit [6144 of 16384]\n"), std::string::npos) << g_log;
        if (restored) {
            EXPECT_EQ(got, static_cast<int>(b.size()));
            EXPECT_EQ(out, b);
        } else {
            EXPECT_EQ(got, 0);
            EXPECT_EQ(x_ftell(f), 0);
        }
        x_fclose(f);
    }
}

TEST_F(CdFiles, WritesGoToTheOutputDirectory) {
    testsupport::TempDir out;
    X_FILE* none = x_fopen("memfail.txt", "wt");
    EXPECT_EQ(none, nullptr);  // no output directory set
    console::SetOutputDirectory(out.path().c_str());
    X_FILE* f = x_fopen("memfail.txt", "wt");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(x_fprintf(f, "value %d\n", 42), 9);
    x_fclose(f);
    console::SetOutputDirectory("");
    EXPECT_EQ(testsupport::ReadText(out.file("memfail.txt")), "value 42\n");
    // The disc itself stays read-only.
    X_FILE* cd = x_fopen("A", "rb");
    EXPECT_EQ(x_fwrite("xx", 1, 2, cd), 0);
}

TEST_F(CdFiles, ConsoleTextIsCutToTheBuffer) {
    std::string longText(2000, 'x');
    int n = x_printf("%s", longText.c_str());
    EXPECT_EQ(n, kConsoleBufSize - 1);
    EXPECT_EQ(g_log.size(), static_cast<size_t>(kConsoleBufSize - 1));
    EXPECT_STREQ(fs("%d-%s", 7, "ok"), "7-ok");
    char dst[32];
    EXPECT_EQ(x_sprintf(dst, "%05d", 42), 5);
    EXPECT_STREQ(dst, "00042");
}

// A file loaded whole is known by its bytes until it is freed, so a reader refusing a part of it names
// it; the oldest of more than kLoadedFileSlots held files is dropped.
TEST_F(CdFiles, LoadedFilesAreNamedByTheirBytesUntilFreed) {
    int length = 0;
    auto* big = static_cast<uint8_t*>(x_LoadFileLength("COMMON\\qz02dat.bin", &length));
    ASSERT_NE(big, nullptr);
    auto* small = static_cast<uint8_t*>(x_LoadFileLength("A", nullptr));
    ASSERT_NE(small, nullptr);
    EXPECT_STREQ(x_FileOf(big), "COMMON\\qz02dat.bin: ");
    EXPECT_STREQ(x_FileOf(big + length), "COMMON\\qz02dat.bin: ");  // an empty last sub-file
    EXPECT_STREQ(x_FileOf(small + 99), "A: ");
    EXPECT_STREQ(x_FileOf(&length), "");
    EXPECT_STREQ(x_FileOf(nullptr), "");
    // A refusal deep in a reader carries the name.
    log_.clear();
    EXPECT_EQ(veEngineCheckGeo(big + 4096, 8), 0);
    EXPECT_EQ(log_.text().rfind("COMMON\\qz02dat.bin: veEngineCheckGeo: block of 8 bytes", 0), 0u)
        << log_.text();
    x_free(big);
    EXPECT_STREQ(x_FileOf(big + 10), "");
    EXPECT_STREQ(x_FileOf(small), "A: ");
    std::vector<void*> held;
    for (int i = 0; i < kLoadedFileSlots; ++i) held.push_back(x_LoadFileLength("A", nullptr));
    EXPECT_STREQ(x_FileOf(small), "");  // dropped, the oldest
    EXPECT_STREQ(x_FileOf(held.back()), "A: ");
    for (void* p : held) x_free(p);
    x_free(small);
    EXPECT_STREQ(x_FileOf(held.back()), "");
}

}  // namespace
