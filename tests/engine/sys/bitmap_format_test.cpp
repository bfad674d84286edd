#include "engine/sys/bitmap_format.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "console/cd/cd.h"
#include "engine/sys/bitmap.h"
#include "engine/sys/files.h"
#include "engine/sys/heap.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"

namespace {

using testsupport::g_log;

BitmapImage Checker(uint32_t w, uint32_t h, uint16_t bits, uint32_t colors) {
    BitmapImage img;
    img.width = w;
    img.height = h;
    img.bitsPerPixel = bits;
    img.texName = "checker";
    const size_t bytes = bits == 4 ? size_t(w) * h / 2 : size_t(w) * h * (bits / 8);
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

    testsupport::TempDir disc_;
    testsupport::LogCapture log_;
};

TEST_F(BitmapFiles, FourBitSixteenColours) {
    const BitmapImage img = Checker(64, 64, 4, 16);
    const std::vector<uint8_t> file = WriteBitmap(img);
    ASSERT_EQ(file.size(), 64u + 2048u + 64u);
    _FS_BITMAP b;
    ASSERT_EQ(Load("CHECK4.BMP", file, &b), FS_BITMAP_OK);
    EXPECT_EQ(b.width, 64u);
    EXPECT_EQ(b.numColors, 16u);
    EXPECT_STREQ(b.texName, "checker");
    EXPECT_EQ(b.coldata, b.pixdata + 2048);
    EXPECT_EQ(std::memcmp(b.Pixels(), img.pixels.data(), 2048), 0);
    for (int c = 0; c < 16; ++c) EXPECT_EQ(b.Palette()[c], img.palette[c]);  // r, g, b, a bytes
    const uint8_t* pal = reinterpret_cast<const uint8_t*>(b.Palette());
    EXPECT_EQ(pal[4], 3);     // entry 1 = 0x80010203: r = 3
    EXPECT_EQ(pal[7], 0x80);  // a
    EXPECT_EQ(g_log.find("fsLoadBitmap"), std::string::npos);
    x_free(b.Pixels());
}

TEST_F(BitmapFiles, ThirtyTwoBitWithoutPalette) {
    const BitmapImage img = Checker(32, 32, 32, 0);
    const std::vector<uint8_t> file = WriteBitmap(img);
    ASSERT_EQ(file.size(), 64u + 4096u);
    _FS_BITMAP b;
    ASSERT_EQ(Load("TRUE.BMP", file, &b), FS_BITMAP_OK);
    EXPECT_EQ(b.palettized, 0);
    EXPECT_EQ(b.coldata, 0u);  // left as the file had it
    EXPECT_EQ(std::memcmp(b.Pixels(), img.pixels.data(), 4096), 0);
    x_free(b.Pixels());
}

TEST_F(BitmapFiles, ExtensionBlocksAreSkipped) {
    BitmapImage img = Checker(16, 16, 8, 256);
    img.extension.assign(12, 0xAA);
    _FS_BITMAP b;
    ASSERT_EQ(Load("EXT12.BMP", WriteBitmap(img), &b), FS_BITMAP_OK);
    EXPECT_EQ(std::memcmp(b.Pixels(), img.pixels.data(), 256), 0);
    EXPECT_EQ(b.Palette()[255], img.palette[255]);
    x_free(b.Pixels());

    // Longer than 128 bytes (more than the reader's old buffer): skipped as well, nothing overrun.
    std::vector<uint8_t> file = WriteBitmap(Checker(16, 16, 8, 256));
    std::vector<uint8_t> ext(300, 0x55);
    file.insert(file.begin() + 64, ext.begin(), ext.end());
    const uint32_t len = 300;
    std::memcpy(file.data() + 48, &len, 4);
    ASSERT_EQ(Load("EXT300.BMP", file, &b), FS_BITMAP_OK);
    EXPECT_EQ(std::memcmp(b.Pixels(), img.pixels.data(), 256), 0);
    x_free(b.Pixels());
}

TEST_F(BitmapFiles, OddPixelCountPadsBeforeThePalette) {
    const BitmapImage img = Checker(10, 3, 8, 4);  // 30 pixel bytes
    const std::vector<uint8_t> file = WriteBitmap(img);
    ASSERT_EQ(file.size(), 64u + 32u + 16u);
    FsBitmapLayout l;
    ASSERT_EQ(fsCheckBitmap(file.data(), file.size(), &l), FS_BITMAP_OK);
    EXPECT_EQ(l.fileBytes, file.size());
    _FS_BITMAP b;
    ASSERT_EQ(Load("ODD.BMP", file, &b), FS_BITMAP_OK);
    EXPECT_EQ(b.coldata, b.pixdata + 32);
    for (int c = 0; c < 4; ++c) EXPECT_EQ(b.Palette()[c], img.palette[c]);
    x_free(b.Pixels());
}

TEST_F(BitmapFiles, OldStyleAndForeignFilesLoadNothing) {
    std::vector<uint8_t> file = WriteBitmap(Checker(8, 8, 8, 0));
    std::memcpy(file.data() + 16, "BRANNOX STUDIOS", 16);
    _FS_BITMAP b;
    EXPECT_EQ(Load("OLD.BMP", file, &b), FS_BITMAP_OLD_STYLE);
    EXPECT_EQ(g_log, "File ->TEX\\OLD.BMP.. is an old-style Brannox Studios Graphics File.\n");
    EXPECT_EQ(b.pixdata, 0u);
    EXPECT_EQ(b.width, 8u);  // the header read is kept
    std::memcpy(file.data() + 16, "GIF89a", 7);
    EXPECT_EQ(Load("GIF.BMP", file, &b), FS_BITMAP_NOT_VALID);
    EXPECT_EQ(g_log, "File ->TEX\\GIF.BMP.. is not a valid Brannox Studios Graphics File.....\n");
}

TEST_F(BitmapFiles, TruncatedAndOversizedFilesAreRefused) {
    const std::vector<uint8_t> good = WriteBitmap(Checker(16, 16, 8, 256));
    _FS_BITMAP b;
    // Cut anywhere: header, pixels or palette.
    for (size_t cut : {size_t(0), size_t(10), size_t(63), size_t(64), size_t(200), good.size() - 1}) {
        std::vector<uint8_t> f(good.begin(), good.begin() + cut);
        EXPECT_NE(Load("CUT.BMP", f, &b), FS_BITMAP_OK) << cut;
        EXPECT_EQ(b.pixdata, 0u);
        EXPECT_NE(g_log.find("CUT.BMP"), std::string::npos) << cut;
    }
    // Sizes whose products overflow 32 bits.
    std::vector<uint8_t> f = good;
    const uint32_t huge = 0x10000;
    std::memcpy(f.data() + 0, &huge, 4);
    std::memcpy(f.data() + 4, &huge, 4);
    EXPECT_EQ(Load("HUGE.BMP", f, &b), FS_BITMAP_BAD_SIZE);
    // A palette running past the end.
    f = good;
    const uint32_t colors = 1000;
    std::memcpy(f.data() + 8, &colors, 4);
    EXPECT_EQ(Load("PAL.BMP", f, &b), FS_BITMAP_TRUNCATED);
    EXPECT_EQ(b.coldata, 0u);
    // An extension block claimed longer than the file.
    f = good;
    uint32_t ext = 0x100000;
    std::memcpy(f.data() + 48, &ext, 4);
    EXPECT_EQ(Load("EXT.BMP", f, &b), FS_BITMAP_TRUNCATED);
    ext = 0xFFFFFF00;  // and one past any file position
    std::memcpy(f.data() + 48, &ext, 4);
    EXPECT_EQ(Load("EXT2.BMP", f, &b), FS_BITMAP_BAD_SIZE);
}

TEST_F(BitmapFiles, MissingFileLeavesTheHeaderAlone) {
    _FS_BITMAP b;
    std::memset(&b, 0, sizeof b);
    b.width = 77;
    b.pixdata = 0x1234;
    EXPECT_EQ(fsLoadBitmap(&b, "TEX\\NONE.BMP"), FS_BITMAP_CANNOT_OPEN);
    EXPECT_EQ(b.width, 77u);
    EXPECT_EQ(b.pixdata, 0u);
    EXPECT_NE(g_log.find("NONE.BMP"), std::string::npos);
}

TEST_F(BitmapFiles, NoMemoryStopsTheLoad) {
    // A file claiming more pixels than the heap can give: the allocation fails, nothing is read.
    const uint32_t side = 8192;  // 256 MiB at 32 bits
    const uint64_t bytes = uint64_t(side) * side * 4;
    if (bytes <= x_LargestBlockFree()) GTEST_SKIP() << "heap large enough to hold the image";
    std::vector<uint8_t> f = WriteBitmap(Checker(16, 16, 32, 0));
    std::memcpy(f.data(), &side, 4);
    std::memcpy(f.data() + 4, &side, 4);
    disc_.write("TEX/BIG.BMP", f);
    // Extend the file without writing it (sparse): the reader checks the length before allocating.
    ASSERT_EQ(truncate(disc_.file("TEX/BIG.BMP").c_str(), static_cast<off_t>(64 + bytes)), 0);
    console::CdUnmount();
    ASSERT_TRUE(console::CdMount(disc_.path().c_str()));
    PS2CD_ResetFiles();
    _FS_BITMAP b;
    EXPECT_EQ(fsLoadBitmap(&b, "TEX\\BIG.BMP"), FS_BITMAP_NO_MEMORY);
    EXPECT_EQ(b.pixdata, 0u);
    EXPECT_NE(g_log.find("no memory for TEX\\BIG.BMP"), std::string::npos);
}

TEST(BitmapWriter, RefusesInconsistentImages) {
    BitmapImage img = Checker(8, 8, 8, 0);
    img.pixels.pop_back();
    EXPECT_TRUE(WriteBitmap(img).empty());
    img = Checker(8, 8, 8, 0);
    img.extension.assign(129, 0);
    EXPECT_TRUE(WriteBitmap(img).empty());
    img = Checker(8, 8, 8, 0);
    img.bitsPerPixel = 7;
    EXPECT_TRUE(WriteBitmap(img).empty());
    img = Checker(8, 8, 8, 0);
    img.texName = "a-name-that-is-far-too-long";
    const std::vector<uint8_t> f = WriteBitmap(img);
    ASSERT_FALSE(f.empty());
    EXPECT_EQ(f[32 + 15], 0);  // cut to 15 characters and terminated
    EXPECT_EQ(std::memcmp(f.data() + 16, "BRANNOX ENT.INC", 16), 0);
}

}  // namespace
