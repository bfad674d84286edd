#include "engine/sys/bitmap.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/sys/files.h"
#include "engine/sys/heap.h"
#include "support/log_capture.h"

namespace {

using testsupport::g_log;

class BitmapTest : public ::testing::Test {
protected:
    void SetUp() override {
        x_InitSTDIO();
        log_.attach();
    }
    testsupport::LogCapture log_;
};

_FS_BITMAP Header(uint32_t w, uint32_t h, uint16_t bits, uint32_t colors, uint32_t ext = 0) {
    _FS_BITMAP b;
    std::memset(&b, 0, sizeof b);
    b.width = w;
    b.height = h;
    b.bitsPerPixel = bits;
    b.numColors = colors;
    b.palettized = colors ? 1 : 0;
    std::memcpy(b.id, "BRANNOX ENT.INC", 16);
    std::memcpy(b.texName, "test", 5);
    b.pixdata = ext;
    return b;
}

// A file image built by hand: header, extension, pixels (byte i = i * 3), padding, palette.
std::vector<uint8_t> Image(const _FS_BITMAP& h, size_t pixelBytes, size_t paletteOffset) {
    std::vector<uint8_t> v(64 + h.pixdata + paletteOffset + (h.palettized ? h.numColors * 4 : 0), 0xEE);
    std::memcpy(v.data(), &h, 64);
    uint8_t* p = v.data() + 64 + h.pixdata;
    for (size_t i = 0; i < pixelBytes; ++i) p[i] = static_cast<uint8_t>(i * 3);
    for (size_t i = pixelBytes; i < paletteOffset; ++i) p[i] = 0;
    for (size_t i = 0; h.palettized && i < h.numColors * 4; ++i)
        p[paletteOffset + i] = static_cast<uint8_t>(200 - i);
    return v;
}

TEST(BitmapLayout, SizesOfTheUsualImages) {
    FsBitmapLayout l;
    _FS_BITMAP a = Header(64, 64, 4, 16);  // P = 64*64/2 = 2048, palette 64 bytes
    ASSERT_EQ(fsBitmapLayout(&a, 1u << 20, &l), FS_BITMAP_OK);
    EXPECT_EQ(l.pixelBytes, 2048u);
    EXPECT_EQ(l.paletteOffset, 2048u);
    EXPECT_EQ(l.dataBytes, 2112u);
    EXPECT_EQ(l.fileBytes, 64u + 2112u);
    _FS_BITMAP b = Header(32, 32, 32, 0);  // P = 32*32*4 = 4096, no palette
    ASSERT_EQ(fsBitmapLayout(&b, 1u << 20, &l), FS_BITMAP_OK);
    EXPECT_EQ(l.pixelBytes, 4096u);
    EXPECT_EQ(l.paletteBytes, 0u);
    EXPECT_EQ(l.dataBytes, 4096u);
    _FS_BITMAP c = Header(10, 3, 8, 256);  // P = 30: palette raised to 32
    ASSERT_EQ(fsBitmapLayout(&c, 1u << 20, &l), FS_BITMAP_OK);
    EXPECT_EQ(l.pixelBytes, 30u);
    EXPECT_EQ(l.paletteOffset, 32u);
    EXPECT_EQ(l.dataBytes, 32u + 1024u);
    _FS_BITMAP d = Header(3, 3, 4, 16);  // 9 pixels at 4 bits: 4 whole bytes
    ASSERT_EQ(fsBitmapLayout(&d, 1u << 20, &l), FS_BITMAP_OK);
    EXPECT_EQ(l.pixelBytes, 4u);
}

TEST(BitmapLayout, MagicChecks) {
    _FS_BITMAP h = Header(8, 8, 8, 0);
    std::memcpy(h.id, "BRANNOX STUDIOS", 16);
    EXPECT_EQ(fsBitmapLayout(&h, 1u << 20, nullptr), FS_BITMAP_OLD_STYLE);
    std::memcpy(h.id, "BRANNOX-whatever", 16);  // the first 7 characters are enough
    EXPECT_EQ(fsBitmapLayout(&h, 1u << 20, nullptr), FS_BITMAP_OK);
    std::memcpy(h.id, "BRANNO", 7);
    EXPECT_EQ(fsBitmapLayout(&h, 1u << 20, nullptr), FS_BITMAP_NOT_VALID);
}

TEST(BitmapLayout, RefusesBadSizes) {
    const uint32_t big = 0xFFFFFFFFu;
    _FS_BITMAP h = Header(0, 8, 8, 0);
    EXPECT_EQ(fsBitmapLayout(&h, big, nullptr), FS_BITMAP_BAD_SIZE);  // no pixels
    h = Header(1, 1, 4, 16);
    EXPECT_EQ(fsBitmapLayout(&h, big, nullptr), FS_BITMAP_BAD_SIZE);  // half a byte
    h = Header(8, 8, 12, 0);
    EXPECT_EQ(fsBitmapLayout(&h, big, nullptr), FS_BITMAP_BAD_SIZE);  // unknown depth
    h = Header(0x80000000u, 0x80000000u, 32, 0);  // the product overflows 32 (and nearly 64) bits
    EXPECT_EQ(fsBitmapLayout(&h, UINT64_MAX, nullptr), FS_BITMAP_BAD_SIZE);
    h = Header(16384, 16384, 32, 0);  // 1 GiB of pixels: allowed, but not from a 1 MiB file
    EXPECT_EQ(fsBitmapLayout(&h, 1u << 20, nullptr), FS_BITMAP_TRUNCATED);
    h = Header(16385, 1, 32, 0);  // wider than any image the hardware can use
    EXPECT_EQ(fsBitmapLayout(&h, UINT64_MAX, nullptr), FS_BITMAP_BAD_SIZE);
    h = Header(8, 8, 8, 0xFFFFFFFFu);  // the palette size overflows 32 bits
    EXPECT_EQ(fsBitmapLayout(&h, UINT64_MAX, nullptr), FS_BITMAP_BAD_SIZE);
    h = Header(8, 8, 8, 0, 0xFFFFFFF0u);  // an extension block past any file
    EXPECT_EQ(fsBitmapLayout(&h, UINT64_MAX, nullptr), FS_BITMAP_BAD_SIZE);
}

TEST_F(BitmapTest, LoadFromMemoryPlacesPixelsAndPalette) {
    const _FS_BITMAP h = Header(64, 64, 4, 16, 12);  // with a 12-byte extension block
    const std::vector<uint8_t> img = Image(h, 2048, 2048);
    _FS_BITMAP out;
    ASSERT_EQ(fsLoadBitmapFromMemory(&out, img.data(), img.size(), "mem"), FS_BITMAP_OK);
    EXPECT_EQ(out.width, 64u);
    EXPECT_EQ(std::strcmp(out.texName, "test"), 0);
    ASSERT_NE(out.pixdata, 0u);
    EXPECT_EQ(out.pixdata % 16, 0u);
    EXPECT_EQ(out.coldata, out.pixdata + 2048);
    EXPECT_EQ(std::memcmp(out.Pixels(), img.data() + 64 + 12, 2048), 0);  // extension skipped
    EXPECT_EQ(std::memcmp(out.Palette(), img.data() + 64 + 12 + 2048, 64), 0);
    EXPECT_TRUE(g_log.empty());
    x_free(out.Pixels());
}

TEST_F(BitmapTest, PaletteOfAnOddSizedImageSitsOnSixteen) {
    const _FS_BITMAP h = Header(10, 3, 8, 4);
    const std::vector<uint8_t> img = Image(h, 30, 32);
    _FS_BITMAP out;
    ASSERT_EQ(fsLoadBitmapFromMemory(&out, img.data(), img.size(), "odd"), FS_BITMAP_OK);
    EXPECT_EQ(out.coldata, out.pixdata + 32);
    // The whole palette lies inside the block: the last entry reads back intact.
    EXPECT_EQ(std::memcmp(out.Palette() + 3, img.data() + 64 + 32 + 12, 4), 0);
    x_free(out.Pixels());
}

TEST_F(BitmapTest, RefusalsClearThePointersAndLog) {
    _FS_BITMAP h = Header(16, 16, 8, 256);
    std::vector<uint8_t> img = Image(h, 256, 256);
    _FS_BITMAP out;
    out.pixdata = 0x1234;
    // Palette past the end.
    EXPECT_EQ(fsLoadBitmapFromMemory(&out, img.data(), img.size() - 1, "short.bmp"), FS_BITMAP_TRUNCATED);
    EXPECT_EQ(out.pixdata, 0u);
    EXPECT_EQ(out.coldata, 0u);
    EXPECT_NE(g_log.find("short.bmp"), std::string::npos);
    // Shorter than a header.
    g_log.clear();
    EXPECT_EQ(fsLoadBitmapFromMemory(&out, img.data(), 40, "tiny"), FS_BITMAP_TRUNCATED);
    EXPECT_NE(g_log.find("tiny"), std::string::npos);
    EXPECT_EQ(fsCheckBitmap(nullptr, 0, nullptr), FS_BITMAP_TRUNCATED);
    // Old style: the game's own message, nothing loaded.
    g_log.clear();
    std::memcpy(img.data() + 16, "BRANNOX STUDIOS", 16);
    EXPECT_EQ(fsLoadBitmapFromMemory(&out, img.data(), img.size(), "old.bmp"), FS_BITMAP_OLD_STYLE);
    EXPECT_EQ(g_log, "File ->old.bmp.. is an old-style Brannox Studios Graphics File.\n");
    EXPECT_EQ(out.pixdata, 0u);
    g_log.clear();
    std::memcpy(img.data() + 16, "PICTURE", 8);
    EXPECT_EQ(fsLoadBitmapFromMemory(&out, img.data(), img.size(), "x.bmp"), FS_BITMAP_NOT_VALID);
    EXPECT_EQ(g_log, "File ->x.bmp.. is not a valid Brannox Studios Graphics File.....\n");
}

TEST(BitmapDescriptor, SetupPlacesTheArguments) {
    BMP_INSTANCE b;
    std::memset(&b, 0xCC, sizeof b);
    BMP_SetupBitmap(&b, 0x13, 64, 32, 128, 5, 1, 0x08001000u, 0xBEEF, 0, 1024, 0x08002000u, 256);
    EXPECT_EQ(b.format, 0x13);
    EXPECT_EQ(b.flags, 1);  // a7 set, a10 clear
    EXPECT_EQ(b.count, 256);
    EXPECT_EQ(b.dims[0], 64);
    EXPECT_EQ(b.dims[1], 32);
    EXPECT_EQ(b.dims[2], 128);
    EXPECT_EQ(b.dims[3], 5);
    EXPECT_EQ(b.words[0], 0x08001000u);  // a8
    EXPECT_EQ(b.words[1], 1024u);        // a11
    EXPECT_EQ(b.words[2], 0x08002000u);  // a12
    EXPECT_EQ(b.words[3], 0xBEEFu);      // a9
    for (uint8_t z : b.zero) EXPECT_EQ(z, 0);
    BMP_SetupBitmap(&b, 0, 0, 0, 0, 0, 0, 0, 0, 7, 0, 0, 0);
    EXPECT_EQ(b.flags, 2);
    BMP_InitInstance(&b);
    const uint8_t* raw = reinterpret_cast<const uint8_t*>(&b);
    for (size_t i = 0; i < sizeof b; ++i) EXPECT_EQ(raw[i], 0);
}

}  // namespace
