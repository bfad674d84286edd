#include "engine/sys/bitmap.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "console/cd/cd.h"
#include "console/cd/disc_faults.h"
#include "engine/sys/bitmap_format.h"
#include "engine/sys/files.h"
#include "engine/sys/heap.h"
#include "support/image_patch.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"

namespace {

using testsupport::g_log;
using testsupport::Poke;

BitmapImage Checker(uint32_t w, uint32_t h, uint16_t bits, uint32_t colors) {
    BitmapImage img;
    img.width = w;
    img.height = h;
    img.bitsPerPixel = bits;
    img.texName = "checker";
    const size_t bytes = bits == 4 ? (size_t(w) * h + 1) / 2 : size_t(w) * h * (bits / 8);
    img.pixels.resize(bytes);
    for (size_t i = 0; i < bytes; ++i) img.pixels[i] = static_cast<uint8_t>(i * 31 + 7);
    for (uint32_t c = 0; c < colors; ++c) img.palette.push_back(0x80000000u | (c * 0x010203u));
    return img;
}

// Graphics files written to a disc directory and read back through the file layer.
class BitmapFiles : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(console::CdMount(disc_.path().c_str()));
        x_InitSTDIO();
        PS2CD_ResetFiles();
        log_.attach();
    }
    void TearDown() override {
        // Every outcome closes the file.
        for (int i = 0; i < kPs2FileCount; ++i) EXPECT_FALSE(PS2CD_FileRecord(i)->inUse) << i;
        console::CdUnmount();
    }
    // Writes the bytes as TEX\<name>, mounts the disc again (its layout is fixed at mount) and loads.
    FsBitmapResult Load(const std::string& name, const std::vector<uint8_t>& bytes, _FS_BITMAP* out) {
        disc_.write("TEX/" + name, bytes);
        console::CdUnmount();
        EXPECT_TRUE(console::CdMount(disc_.path().c_str()));
        PS2CD_ResetFiles();  // sectors cached from the old layout are stale
        g_log.clear();
        return fsLoadBitmap(out, ("TEX\\" + name).c_str());
    }
    // Pixels and palette of a loaded image against the image written.
    static void ExpectLoaded(const _FS_BITMAP& b, const BitmapImage& img, uint32_t paletteOffset) {
        EXPECT_EQ(b.pixdata % 16, 0u);
        EXPECT_EQ(std::memcmp(b.Pixels(), img.pixels.data(), img.pixels.size()), 0);
        if (img.palette.empty()) {
            EXPECT_EQ(b.coldata, 0u);
        } else {
            EXPECT_EQ(b.coldata, b.pixdata + paletteOffset);
            EXPECT_EQ(std::memcmp(b.Palette(), img.palette.data(), img.palette.size() * 4), 0);
        }
    }

    testsupport::TempDir disc_;
    testsupport::LogCapture log_;
};

TEST_F(BitmapFiles, WrittenImagesLoadWithPixelsAndPalette) {
    struct Case {
        const char* name;
        BitmapImage img;
        size_t extension, fileBytes;
        uint32_t paletteOffset;
    };
    const Case cases[] = {
        {"CHECK4.BMP", Checker(64, 64, 4, 16), 0, 64 + 2048 + 64, 2048},
        {"TRUE.BMP", Checker(32, 32, 32, 0), 0, 64 + 4096, 0},
        {"EXT12.BMP", Checker(16, 16, 8, 256), 12, 64 + 12 + 256 + 1024, 256},  // extension skipped
        {"ODD.BMP", Checker(10, 3, 8, 4), 0, 64 + 32 + 16, 32},                 // palette on sixteen
    };
    for (Case c : cases) {
        c.img.extension.assign(c.extension, 0xAA);
        const std::vector<uint8_t> file = WriteBitmap(c.img);
        ASSERT_EQ(file.size(), c.fileBytes) << c.name;
        _FS_BITMAP b;
        ASSERT_EQ(Load(c.name, file, &b), FS_BITMAP_OK) << c.name;
        EXPECT_EQ(b.width, c.img.width);
        EXPECT_EQ(b.numColors, c.img.palette.size());
        EXPECT_STREQ(b.texName, "checker");
        ExpectLoaded(b, c.img, c.paletteOffset);
        EXPECT_EQ(g_log.find("fsLoadBitmap"), std::string::npos);
        x_free(b.Pixels());
        // The same image from memory gives the same pixels and palette.
        ASSERT_EQ(fsLoadBitmapFromMemory(&b, file.data(), file.size(), "mem"), FS_BITMAP_OK) << c.name;
        ExpectLoaded(b, c.img, c.paletteOffset);
        x_free(b.Pixels());
    }
    // Palette entries are bytes r, g, b, a: entry 1 = 0x80010203.
    const BitmapImage img = Checker(16, 16, 8, 4);
    _FS_BITMAP b;
    ASSERT_EQ(Load("PAL.BMP", WriteBitmap(img), &b), FS_BITMAP_OK);
    const uint8_t* pal = reinterpret_cast<const uint8_t*>(b.Palette());
    EXPECT_EQ(pal[4], 3);
    EXPECT_EQ(pal[7], 0x80);
    x_free(b.Pixels());

    // An extension longer than 128 bytes (more than the reader's old buffer): skipped, nothing overrun.
    std::vector<uint8_t> file = WriteBitmap(Checker(16, 16, 8, 256));
    file.insert(file.begin() + sizeof(_FS_BITMAP), 300, 0x55);
    Poke(file, offsetof(_FS_BITMAP, pixdata), uint32_t(300));
    ASSERT_EQ(Load("EXT300.BMP", file, &b), FS_BITMAP_OK);
    EXPECT_EQ(std::memcmp(b.Pixels(), Checker(16, 16, 8, 256).pixels.data(), 256), 0);
    x_free(b.Pixels());
}

TEST_F(BitmapFiles, OldStyleAndForeignFilesLoadNothing) {
    for (bool fromFile : {true, false}) {
        std::vector<uint8_t> file = WriteBitmap(Checker(8, 8, 8, 0));
        std::memcpy(file.data() + offsetof(_FS_BITMAP, id), kBitmapOldMagic, sizeof kBitmapOldMagic);
        _FS_BITMAP b;
        b.pixdata = 0x1234;
        g_log.clear();
        EXPECT_EQ(fromFile ? Load("OLD.BMP", file, &b)
                           : fsLoadBitmapFromMemory(&b, file.data(), file.size(), "TEX\\OLD.BMP"),
                  FS_BITMAP_OLD_STYLE);
        EXPECT_EQ(g_log, "File ->TEX\\OLD.BMP.. is an old-style Brannox Studios Graphics File.\n");
        EXPECT_EQ(b.pixdata, 0u);
        EXPECT_EQ(b.width, 8u);  // the header read is kept
        std::memcpy(file.data() + offsetof(_FS_BITMAP, id), "GIF89a", 7);
        g_log.clear();
        EXPECT_EQ(fromFile ? Load("GIF.BMP", file, &b)
                           : fsLoadBitmapFromMemory(&b, file.data(), file.size(), "TEX\\GIF.BMP"),
                  FS_BITMAP_NOT_VALID);
        EXPECT_EQ(g_log, "File ->TEX\\GIF.BMP.. is not a valid Brannox Studios Graphics File.....\n");
    }
}

TEST_F(BitmapFiles, TruncatedAndOversizedFilesAreRefused) {
    const std::vector<uint8_t> good = WriteBitmap(Checker(16, 16, 8, 256));
    _FS_BITMAP b;
    // Cut anywhere: header, pixels or palette; from a file or from memory.
    for (size_t cut : {size_t(0), size_t(10), size_t(63), size_t(64), size_t(200), good.size() - 1}) {
        std::vector<uint8_t> f(good.begin(), good.begin() + cut);
        EXPECT_NE(Load("CUT.BMP", f, &b), FS_BITMAP_OK) << cut;
        EXPECT_EQ(b.pixdata, 0u);
        EXPECT_NE(g_log.find("CUT.BMP"), std::string::npos) << cut;
        b.pixdata = b.coldata = 0x1234;
        g_log.clear();
        EXPECT_EQ(fsLoadBitmapFromMemory(&b, good.data(), cut, "short.bmp"), FS_BITMAP_TRUNCATED) << cut;
        EXPECT_EQ(b.pixdata, 0u);
        EXPECT_EQ(b.coldata, 0u);
        EXPECT_NE(g_log.find("short.bmp"), std::string::npos) << cut;
    }
    EXPECT_EQ(fsCheckBitmap(nullptr, 0, nullptr), FS_BITMAP_TRUNCATED);
    struct Patch {
        size_t offset;
        uint32_t value;
        FsBitmapResult result;
    };
    const Patch patches[] = {
        {offsetof(_FS_BITMAP, width), 0x10000, FS_BITMAP_BAD_SIZE},      // with the height: products overflow
        {offsetof(_FS_BITMAP, numColors), 1000, FS_BITMAP_TRUNCATED},    // palette past the end
        {offsetof(_FS_BITMAP, pixdata), 0x100000, FS_BITMAP_TRUNCATED},  // extension longer than the file
        {offsetof(_FS_BITMAP, pixdata), 0xFFFFFF00, FS_BITMAP_BAD_SIZE},  // past any file position
    };
    for (const Patch& p : patches) {
        std::vector<uint8_t> f = good;
        Poke(f, p.offset, p.value);
        if (p.offset == offsetof(_FS_BITMAP, width)) Poke(f, offsetof(_FS_BITMAP, height), p.value);
        EXPECT_EQ(Load("BAD.BMP", f, &b), p.result) << p.offset << " " << p.value;
        EXPECT_EQ(b.coldata, 0u);
    }
}

// A graphics file the disc fails to read, header or pixels (here cut short after the disc was mounted,
// as when it changes in a run), is the disc's fault: recorded with the reason, for the program to tell
// the user. A file that is itself short is recorded as damaged.
TEST_F(BitmapFiles, AFileTheDiscFailsToReadIsReportedAsTheDiscs) {
    const std::vector<uint8_t> large = WriteBitmap(Checker(256, 256, 8, 256));
    _FS_BITMAP b;
    ASSERT_NE(Load("CUT.BMP", std::vector<uint8_t>(large.begin(), large.begin() + 40000), &b), FS_BITMAP_OK);
    ASSERT_NE(console::CdFaultOf("TEX\\CUT.BMP"), nullptr);
    EXPECT_EQ(console::CdFaultOf("TEX\\CUT.BMP")->kind, console::DiscFault::kDamaged);
    EXPECT_STREQ(console::CdFaultOf("TEX\\CUT.BMP")->damage,
                 "shorter than its header, extension, pixels and palette");
    // 10 bytes: the header is not there; 40000: the header is, read in the first 32 KB, the pixels not.
    for (const auto& [name, keep] : {std::pair{"HEAD.BMP", 10}, std::pair{"PIXELS.BMP", 40000}}) {
        ASSERT_EQ(Load(name, large, &b), FS_BITMAP_OK) << name;
        x_free(b.Pixels());
        ASSERT_EQ(truncate(disc_.file(std::string("TEX/") + name).c_str(), keep), 0);
        PS2CD_ResetFiles();  // nothing of it cached
        g_log.clear();
        const std::string file = std::string("TEX\\") + name;
        EXPECT_EQ(fsLoadBitmap(&b, file.c_str()), FS_BITMAP_CANNOT_READ) << name;
        EXPECT_EQ(b.pixdata, 0u);
        EXPECT_NE(g_log.find("fsLoadBitmap: cannot read " + file + "\n"), std::string::npos) << g_log;
        const console::DiscFileFault* fault = console::CdFaultOf(file.c_str());
        ASSERT_NE(fault, nullptr) << name;
        char reason[256];
        EXPECT_STREQ(console::CdFaultReason(*fault, reason, sizeof reason),
                     "cannot be read: shorter than when the run started");
    }
}

TEST_F(BitmapFiles, MissingFileAndNoMemoryLoadNothing) {
    _FS_BITMAP b;
    std::memset(&b, 0, sizeof b);
    b.width = 77;
    b.pixdata = 0x1234;
    EXPECT_EQ(fsLoadBitmap(&b, "TEX\\NONE.BMP"), FS_BITMAP_CANNOT_OPEN);
    EXPECT_EQ(b.width, 77u);
    EXPECT_EQ(b.pixdata, 0u);
    EXPECT_NE(g_log.find("NONE.BMP"), std::string::npos);
    ASSERT_NE(console::CdFaultOf("TEX\\NONE.BMP"), nullptr);  // for the program to tell the user
    EXPECT_EQ(console::CdFaultOf("TEX\\NONE.BMP")->kind, console::DiscFault::kMissing);
    // A file claiming more pixels than the heap can give: the allocation fails, nothing is read.
    const uint32_t side = 8192;  // 256 MiB at 32 bits
    const uint64_t bytes = uint64_t(side) * side * 4;
    if (bytes <= x_LargestBlockFree()) GTEST_SKIP() << "heap large enough to hold the image";
    std::vector<uint8_t> f = WriteBitmap(Checker(16, 16, 32, 0));
    Poke(f, offsetof(_FS_BITMAP, width), side);
    Poke(f, offsetof(_FS_BITMAP, height), side);
    disc_.write("TEX/BIG.BMP", f);
    // Extend the file without writing it (sparse): the reader checks the length before allocating.
    ASSERT_EQ(truncate(disc_.file("TEX/BIG.BMP").c_str(), static_cast<off_t>(64 + bytes)), 0);
    console::CdUnmount();
    ASSERT_TRUE(console::CdMount(disc_.path().c_str()));
    PS2CD_ResetFiles();
    EXPECT_EQ(fsLoadBitmap(&b, "TEX\\BIG.BMP"), FS_BITMAP_NO_MEMORY);
    EXPECT_EQ(b.pixdata, 0u);
    EXPECT_NE(g_log.find("no memory for TEX\\BIG.BMP"), std::string::npos);
}

TEST(BitmapDescriptor, SetupPlacesTheArguments) {
    BMP_INSTANCE b;
    std::memset(&b, 0xCC, sizeof b);
    BMP_SetupBitmap(&b, 0x13, 64, 32, 128, 5, 1, 0x08001000u, 0xBEEF, 0, 1024, 0x08002000u, 256);
    EXPECT_EQ(b.format, 0x13);
    EXPECT_EQ(b.flags, 1);  // a7 set, a10 clear
    EXPECT_EQ(b.count, 256);
    const uint16_t dims[4] = {64, 32, 128, 5};
    EXPECT_EQ(std::memcmp(b.dims, dims, sizeof dims), 0);
    const uint32_t words[4] = {0x08001000u, 1024u, 0x08002000u, 0xBEEFu};  // a8, a11, a12, a9
    EXPECT_EQ(std::memcmp(b.words, words, sizeof words), 0);
    for (uint8_t z : b.zero) EXPECT_EQ(z, 0);
    BMP_SetupBitmap(&b, 0, 0, 0, 0, 0, 0, 0, 0, 7, 0, 0, 0);
    EXPECT_EQ(b.flags, 2);
    BMP_InitInstance(&b);
    const uint8_t* raw = reinterpret_cast<const uint8_t*>(&b);
    for (size_t i = 0; i < sizeof b; ++i) EXPECT_EQ(raw[i], 0);
}

}  // namespace
