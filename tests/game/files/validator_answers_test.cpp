// Every file-format check gives the same answer, FormatCheck: good data passes with no reason, and a
// refusal's reason is exactly the text its log line gives (the line itself unchanged). The engine's and
// the screen manager's older entry points answer as their check does.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/iop/music_stream_format.h"
#include "console/mem/format_check.h"
#include "engine/anim/anim_check.h"
#include "engine/font/font.h"
#include "engine/font/font_format.h"
#include "engine/hal/geometry.h"
#include "engine/hal/geometry_format.h"
#include "engine/hal/geometry_skinned.h"
#include "engine/hal/sound.h"
#include "engine/hal/sound_format.h"
#include "engine/sys/bitmap.h"
#include "engine/sys/bitmap_format.h"
#include "engine/sys/loaded_files.h"
#include "frontend/sm/sm_resource_format.h"
#include "game/files/collision_data.h"
#include "game/files/collision_format.h"
#include "game/files/object_type_table.h"
#include "mkdisc/fonts.h"
#include "support/heap_image.h"
#include "support/log_capture.h"
#include "world/terrain_low_detail.h"
#include "world/terrain_map_format.h"

namespace {

using testsupport::HeapImage;
using testsupport::LogCapture;

// A refusal: not ok, a reason, and one log line that is `before` + the reason + `after`.
void ExpectRefusal(const FormatCheck& c, const LogCapture& log, const std::string& before, const char* after,
                   const char* what) {
    EXPECT_FALSE(c.ok) << what;
    EXPECT_STRNE(c.why, "") << what;
    EXPECT_EQ(log.text(), before + c.why + after) << what;
}

void ExpectPass(const FormatCheck& c, const char* what) {
    EXPECT_TRUE(c.ok) << what << ": " << c.why;
    EXPECT_STREQ(c.why, "") << what;
}

TEST(ValidatorAnswers, TheEnginesChecksGiveTheReasonTheirLogLineGives) {
    LogCapture log;
    GeoMesh mesh;
    mesh.materials.push_back(MakeBox(1, 1, 1, 1, 0x80808080, CheckerTexture(16, 4, 0xFF0000FF, 0xFFFFFFFF)));
    const HeapImage geo(WriteGeometry(mesh));
    ExpectPass(CheckGeoImage(geo.p, geo.size), "geometry");
    EXPECT_EQ(veEngineCheckGeo(geo.p, geo.size), 1);
    const std::string file = x_FileOf(geo.p);
    FormatCheck c = CheckGeoImage(geo.p, 40);
    ExpectRefusal(c, log, file + "veEngineCheckGeo: ", "; block refused\n", "short geometry");
    EXPECT_STREQ(c.why, "block of 40 bytes is shorter than its header");
    EXPECT_EQ(veEngineCheckGeo(geo.p, 40), 0);
    log.clear();
    ExpectRefusal(CheckSkinnedGeoImage(geo.p, 40), log,
                  file + "veEngineCheckSkinnedGeo: ", "; block refused\n", "short skinned geometry");
    log.clear();

    const FontStyle style;
    const HeapImage font(WriteFont(style, kSampleGlyphs));
    ExpectPass(CheckFontImage(font.p, font.size), "font");
    EXPECT_EQ(veFontCheckImage(font.p, font.size), 1);
    ExpectRefusal(CheckFontImage(font.p, 8), log,
                  std::string(x_FileOf(font.p)) + "veFont: ", "; font refused\n", "short font");
    log.clear();
    // A refusal by the header's own checks names the image.
    ExpectRefusal(CheckFontImage(font.p, font.size - 16), log,
                  std::string(x_FileOf(font.p)) + "veFont: \"(memory)\": ", "; font refused\n", "cut font");
    EXPECT_EQ(veFontCheckImage(font.p, font.size - 16), 0);
    log.clear();

    const std::vector<uint8_t> sample = EncodeSampleImage(SampleParams{}, std::vector<int16_t>(28 * 4, 500));
    _SampleHeaderRam header{};
    ExpectPass(CheckSampleImage(sample.data(), uint32_t(sample.size()), &header), "sample");
    EXPECT_EQ(veSoundCheckSampleImage(sample.data(), uint32_t(sample.size()), nullptr), 0);
    c = CheckSampleImage(sample.data(), uint32_t(sample.size() - 16), nullptr);
    ExpectRefusal(c, log, "veSound: ", "\n", "cut sample");
    EXPECT_EQ(veSoundCheckSampleImage(sample.data(), uint32_t(sample.size() - 16), nullptr), -1);
    log.clear();

    // No skeleton: the animation check answers with the skeleton's reason.
    c = CheckAnimation(nullptr, 0, nullptr);
    ExpectRefusal(c, log, std::string(x_FileOf(nullptr)) + "veAnimCheckSkeleton: ", "; skeleton refused\n",
                  "animation without a skeleton");
    EXPECT_STREQ(c.why, "no skeleton");
    log.clear();

    std::vector<uint8_t> notBitmap(256, 0x41);
    FsBitmapLayout layout{};
    FsBitmapResult result = FS_BITMAP_OK;
    c = CheckBitmapImage(notBitmap.data(), notBitmap.size(), &layout, &result);
    EXPECT_FALSE(c.ok);
    EXPECT_EQ(result, FS_BITMAP_NOT_VALID);
    EXPECT_STREQ(c.why, fsBitmapResultText(FS_BITMAP_NOT_VALID));
    EXPECT_EQ(fsCheckBitmap(notBitmap.data(), notBitmap.size(), &layout), FS_BITMAP_NOT_VALID);
    BitmapImage image;
    image.width = image.height = 4;
    image.bitsPerPixel = 32;
    image.pixels.assign(64, 0x80);
    const std::vector<uint8_t> bitmap = WriteBitmap(image);
    ExpectPass(CheckBitmapImage(bitmap.data(), bitmap.size(), &layout, &result), "bitmap");
    EXPECT_EQ(result, FS_BITMAP_OK);
    EXPECT_EQ(CheckBitmapImage(bitmap.data(), bitmap.size() - 1, &layout).ok, false);
    EXPECT_EQ(log.text(), "");  // the bitmap check prints nothing
}

TEST(ValidatorAnswers, TheGamesAndTheConsolesChecksGiveTheReasonTheirLogLineGives) {
    LogCapture log;
    const HeapImage collision(WriteCollisionBlock({CollisionBox(0, 0, 0, 1, 1, 1)}));
    int parts = -1;
    ExpectPass(collisiondata::CheckBlock(collision.p, collision.size, &parts), "collision");
    EXPECT_EQ(parts, 1);
    ExpectRefusal(collisiondata::CheckBlock(collision.p, 40, &parts), log, x_FileOf(collision.p), "\n",
                  "cut collision");
    EXPECT_EQ(parts, -1);
    log.clear();

    ExpectRefusal(CheckObjectTypeTable(collision.p, 20), log, x_FileOf(collision.p), "\n", "odd type table");
    log.clear();

    std::vector<uint8_t> map =
        terrainmap::WriteMap(std::vector<uint8_t>(terrainmap::kSide * terrainmap::kSide, 3));
    ExpectPass(terrainmap::CheckMap(map.data(), map.size()), "terrain map");
    ExpectRefusal(terrainmap::CheckMap(map.data(), 100), log, x_FileOf(map.data()), "\n", "cut terrain map");
    log.clear();

    const HeapImage shortScreens(std::vector<uint8_t>(10, 0));
    FormatCheck c = SM_CheckResource(shortScreens.p, shortScreens.size);
    ExpectRefusal(c, log, std::string(x_FileOf(shortScreens.p)) + "SM resource: ", "; file refused\n",
                  "short screen resource");
    EXPECT_STREQ(c.why, "shorter than its header (10)");
    EXPECT_EQ(SM_ValidateResource(shortScreens.p, shortScreens.size), 0);
    log.clear();
    c = SM_CheckResource(nullptr, 0);
    ExpectRefusal(c, log, "SM resource: ", "; file refused\n", "no screen resource");
    log.clear();

    // The checks that print nothing still say why.
    const std::vector<uint8_t> music = stm::Write({std::vector<int16_t>(28 * 8, 1000)}, 22050);
    ExpectPass(stm::Check(music.data(), music.size()), "music");
    EXPECT_STREQ(stm::Check(music.data(), stm::kHeaderBytes + 8).why, "blocks run past the end of the file");
    EXPECT_EQ(log.text(), "");
}

// The low-detail terrain of a subtile: the writer's block passes; every damaged variant (the block
// zeroed among them) is refused with its fault named, and a refusal never reads past the block.
TEST(ValidatorAnswers, LowDetailTerrainIsRefusedWithItsFault) {
    std::vector<uint16_t> samples(56 * 56);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = uint16_t(1000 + 7 * i);
    const std::vector<uint8_t> block = lowdetail::Build(samples.data(), 5);
    ASSERT_GT(block.size(), lowdetail::kFirstPacketAt + 48);
    ExpectPass(lowdetail::Check(block.data(), block.size()), "low-detail block");
    auto refused = [&](std::vector<uint8_t> bytes, size_t at, uint8_t value, const char* fault) {
        if (at < bytes.size()) bytes[at] = value;
        const FormatCheck c = lowdetail::Check(bytes.data(), bytes.size());
        EXPECT_FALSE(c.ok) << fault;
        EXPECT_NE(std::string(c.why).find(fault), std::string::npos) << c.why;
    };
    const size_t first = lowdetail::kFirstPacketAt;
    refused(std::vector<uint8_t>(block.begin(), block.begin() + 100), SIZE_MAX, 0, "shorter than");
    refused(block, lowdetail::kCountAt, 65, "packets, at most 64");
    // No packets: the subtile would have no terrain at low detail. The writer always writes some.
    refused(block, lowdetail::kCountAt, 0, "no packets");
    refused(std::vector<uint8_t>(block.size(), 0), SIZE_MAX, 0, "no packets");
    refused(std::vector<uint8_t>(block.begin(), block.end() - 16), SIZE_MAX, 0, "does not fit");
    refused(block, first + 16, 0, "strips, 1 to 60");
    refused(block, first, 0xFF, "does not fit");
    // The first vertex of the first packet moved outside the subtile.
    const uint32_t strips = block[first + 16];
    refused(block, first + 48 + 16 * strips, 56, "outside the subtile");
    EXPECT_FALSE(lowdetail::Check(nullptr, 1000).ok);
}

}  // namespace
