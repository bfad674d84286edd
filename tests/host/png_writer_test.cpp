// PNG output read back with libpng, and the per-frame output of the displayed picture.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

#include "console/gs/gs_device.h"
#include "console/gs/gs_library.h"
#include "host/frame_output.h"
#include "host/png_writer.h"
#include "support/temp_dir.h"

namespace {

struct Decoded {
    bool ok = false;
    int width = 0, height = 0, channels = 0;
    std::vector<unsigned char> pixels;
};

Decoded ReadPng(const std::string& path) {
    Decoded d;
    png_image img{};
    img.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&img, path.c_str())) return d;
    d.channels = (img.format & PNG_FORMAT_FLAG_ALPHA) ? 4 : 3;
    img.format = d.channels == 4 ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
    d.width = int(img.width);
    d.height = int(img.height);
    d.pixels.resize(PNG_IMAGE_SIZE(img));
    d.ok = png_image_finish_read(&img, nullptr, d.pixels.data(), 0, nullptr) != 0;
    return d;
}

TEST(PngWriter, BadArgumentsAndUnwritablePathsFailWithAMessage) {
    unsigned char px[12] = {};
    host::Error err;
    EXPECT_FALSE(host::WritePng("/nonexistent-dir/x.png", px, 2, 2, 3, false, &err));
    EXPECT_NE(std::string(err.Text()).find("/nonexistent-dir/x.png"), std::string::npos);
    EXPECT_FALSE(host::WritePng("/tmp/x.png", px, 0, 2, 3, false, &err));
    EXPECT_FALSE(host::WritePng("/tmp/x.png", px, 2, 2, 2, false, &err));
    EXPECT_FALSE(host::WritePng("/tmp/x.png", nullptr, 2, 2, 3, false, &err));
}

// A PNG is written under its temporary name and renamed when whole: a failed write leaves neither;
// an old file of the name stays until the new one is whole.
TEST(PngWriter, APngIsRenamedIntoPlaceOnlyWhenWhole) {
    testsupport::TempDir dir;
    unsigned char px[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    host::Error err;
    const std::string path = dir.file("a.png");
    EXPECT_EQ(host::PngTempName(path), path + ".tmp");
    ASSERT_TRUE(host::WritePng(path, px, 2, 2, 3, false, &err)) << err.Text();
    EXPECT_TRUE(testsupport::ReadText(path + ".tmp").empty());
    const Decoded d = ReadPng(path);
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.pixels, std::vector<unsigned char>(px, px + 12));
    // A write that fails (the temporary name is taken by a directory) leaves the old file as it was.
    const std::string before = testsupport::ReadText(path);
    ASSERT_EQ(mkdir(host::PngTempName(path).c_str(), 0755), 0);
    EXPECT_FALSE(host::WritePng(path, px, 2, 2, 3, false, &err));
    EXPECT_NE(std::string(err.Text()).find(path), std::string::npos);
    EXPECT_EQ(testsupport::ReadText(path), before);
    rmdir(host::PngTempName(path).c_str());
    host::RemovePngInProgress();  // nothing in progress: nothing removed
    EXPECT_EQ(testsupport::ReadText(path), before);
}

TEST(FrameOutput, WritesEveryNthShownFrameFromTheDisplayBuffer) {
    testsupport::TempDir dir;
    sceGsResetGraph(0, SCE_GS_INTERLACE, SCE_GS_NTSC, SCE_GS_FIELD);
    sceGsDispEnv disp;
    sceGsSetDefDispEnv(&disp, 0, 640, 448, 0, 0);
    disp.dispfb.FBP = 0x118;
    sceGsPutDispEnv(&disp);
    auto& mem = console::gs::Gs().Memory();
    mem.Write32(0x118 * 8192 + (447 * 640 + 639) * 4, 0x00C0B0A0u);

    host::Error err;
    host::FrameOutput out(dir.path(), 2);
    EXPECT_TRUE(out.OnFrameShown(&err));
    EXPECT_EQ(out.PngsWritten(), 0u);
    const uint64_t h1 = out.PixelHash();
    EXPECT_TRUE(out.OnFrameShown(&err));
    EXPECT_EQ(out.PngsWritten(), 1u);
    EXPECT_EQ(out.PixelHash(), h1) << "same picture, same hash";
    EXPECT_EQ(host::FrameOutput::FrameFileName(2), "frame_000002.png");
    Decoded d = ReadPng(dir.path() + "/frame_000002.png");
    ASSERT_TRUE(d.ok);
    ASSERT_EQ(d.width, 640);
    ASSERT_EQ(d.height, 448);
    ASSERT_EQ(d.channels, 3);
    const size_t last = (size_t(447) * 640 + 639) * 3;
    EXPECT_EQ(d.pixels[last + 0], 0xA0);
    EXPECT_EQ(d.pixels[last + 1], 0xB0);
    EXPECT_EQ(d.pixels[last + 2], 0xC0);
    EXPECT_EQ(d.pixels[0], 0);

    mem.Write32(0x118 * 8192, 0x000000FFu);
    out.OnFrameShown(&err);
    EXPECT_NE(out.PixelHash(), h1);

    // Headless: only the frames written are read back, and those carry the picture of their own frame.
    host::FrameOutput sparse(dir.path(), 3, false);
    for (int i = 0; i < 2; ++i) EXPECT_TRUE(sparse.OnFrameShown(&err));
    EXPECT_EQ(sparse.FramesRead(), 0u);
    EXPECT_EQ(sparse.PngsWritten(), 0u);
    EXPECT_TRUE(sparse.OnFrameShown(&err));
    EXPECT_EQ(sparse.FramesRead(), 1u);
    EXPECT_EQ(sparse.PngsWritten(), 1u);
    EXPECT_EQ(sparse.PixelHash(), out.PixelHash());
    EXPECT_EQ(out.FramesRead(), 3u) << "a window's output reads every frame";

    host::FrameOutput bad("/nonexistent-dir", 1);
    EXPECT_FALSE(bad.OnFrameShown(&err));
    EXPECT_NE(std::string(err.Text()).find("/nonexistent-dir/frame_000001.png"), std::string::npos);
    sceGsResetGraph(0, SCE_GS_INTERLACE, SCE_GS_NTSC, SCE_GS_FIELD);
}

}  // namespace
