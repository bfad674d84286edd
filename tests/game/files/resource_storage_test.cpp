// Resource stores: ids are indices, bad ids give null; textures read in place with their palette on the
// next 16-byte boundary and clamped pixel reads; geometries take textures per material; stores filled
// from a master file refuse missing and unusable sub-files.
#include "game/files/resource_storage.h"

#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "console/mem/addr.h"
#include "engine/hal/geometry_format.h"
#include "engine/sys/bitmap_format.h"
#include "engine/sys/heap.h"
#include "game/files/file_manager.h"
#include "game/files/geometry.h"
#include "game/files/master_file_format.h"
#include "game/files/resource_loader.h"
#include "game/files/texture.h"
#include "support/heap_image.h"
#include "support/log_capture.h"

namespace {

using testsupport::g_log;

using testsupport::HeapImage;

class StoreTest : public ::testing::Test {
protected:
    void TearDown() override {
        CResourceStorage<CGeometry>::instance().deleteAll();
        CResourceStorage<CTexture>::instance().deleteAll();
    }
    testsupport::LogCapture log_;
};

// A 16 x 16 8-bit image whose header says its pixels start `offset` bytes after the header.
std::vector<uint8_t> EightBit(uint32_t offset) {
    BitmapImage img;
    img.width = img.height = 16;
    img.bitsPerPixel = 8;
    img.pixels.assign(256, 0);
    img.pixels[8 * 16 + 8] = 5;
    img.pixels[15 * 16 + 15] = 6;
    img.pixels[0] = 7;
    img.palette.assign(256, 0xFF000000);
    img.palette[5] = 0x281E140Au;  // r 10, g 20, b 30, a 40
    img.palette[6] = 0x01020304u;
    img.palette[7] = 0x05060708u;
    img.extension.assign(offset, 0);
    return WriteBitmap(img);
}

TEST_F(StoreTest, IdsAreIndicesAndBadIdsGiveNull) {
    CResourceStorage<int> store(4);
    int a = 1, b = 2;
    EXPECT_EQ(store.add(&a), 0);
    EXPECT_EQ(store.add(&b), 1);
    EXPECT_EQ(store.get(1), &b);
    EXPECT_EQ(store.get(-1), nullptr);
    EXPECT_EQ(store.get(2), nullptr);  // id == count
    EXPECT_EQ(store.get(1 << 30), nullptr);
}

TEST_F(StoreTest, PaletteFollowsThePixelsOnTheNext16ByteBoundary) {
    HeapImage image(EightBit(8));  // pixels end 64 + 8 + 256 bytes in: an address ending in 8
    CTexture t(image.as<_FS_BITMAP>());
    const uint32_t base = Addr32(image.p);
    EXPECT_EQ(t.fsBitmap.pixdata, base + 64 + 8);
    EXPECT_EQ((t.fsBitmap.pixdata + 256) % 16, 8u);
    EXPECT_EQ(t.fsBitmap.coldata, t.fsBitmap.pixdata + 256 + 8);
    HeapImage aligned(EightBit(0));
    CTexture u(aligned.as<_FS_BITMAP>());
    EXPECT_EQ(u.fsBitmap.coldata, u.fsBitmap.pixdata + 256);  // already on a boundary
}

TEST_F(StoreTest, PixelColoursComeFromThePaletteAndStayInsideTheBitmapAtEightBitsOnly) {
    HeapImage image(EightBit(0));
    CTexture* t = LoadTexture(image.p, static_cast<int>(image.size), 3);
    ASSERT_NE(t, nullptr);
    const CPixelColor c = t->getPixelColor(0.5f, 0.5f);  // pixel (8, 8)
    EXPECT_EQ((std::array<float, 4>{c.r, c.g, c.b, c.a}), (std::array<float, 4>{10, 20, 30, 40}));
    EXPECT_EQ(t->getPixelColor(1.0f, 1.0f).r, 4.0f);  // clamped to (15, 15)
    EXPECT_EQ(t->getPixelColor(7.0f, 3.5f).r, 4.0f);
    EXPECT_EQ(t->getPixelColor(-0.5f, -3.0f).r, 8.0f);  // clamped to (0, 0)
    delete t;
    // Four-bit bitmaps give no colour.
    BitmapImage img;
    img.width = img.height = 16;
    img.bitsPerPixel = 4;
    img.pixels.assign(128, 0x11);
    img.palette.assign(16, 0xFFFFFFFF);
    HeapImage four(WriteBitmap(img));
    t = LoadTexture(four.p, static_cast<int>(four.size), 0);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->fsBitmap.coldata, t->fsBitmap.pixdata + 128);
    const CPixelColor none = t->getPixelColor(0.5f, 0.5f);
    EXPECT_EQ(none.r + none.g + none.b + none.a, 0.0f);
    delete t;
}

TEST_F(StoreTest, BadGraphicsSubFilesAreRefused) {
    auto bytes = EightBit(0);
    HeapImage cut(std::vector<uint8_t>(bytes.begin(), bytes.end() - 4));  // palette cut short
    EXPECT_EQ(LoadTexture(cut.p, static_cast<int>(cut.size), 12), nullptr);
    EXPECT_NE(g_log.find("texture sub-file 12 refused"), std::string::npos);
    auto lying = bytes;
    uint32_t far = 1u << 30;  // the pixel offset points far beyond the sub-file
    std::memcpy(lying.data() + offsetof(_FS_BITMAP, pixdata), &far, 4);
    HeapImage l(lying);
    EXPECT_EQ(LoadTexture(l.p, static_cast<int>(l.size), 13), nullptr);
    EXPECT_EQ(LoadTexture(nullptr, 100, 14), nullptr);
    // Pixels ending 8 bytes past a boundary put the palette on the next one, 8 bytes later than the
    // file's own layout: a sub-file that ends with its palette would then be read 8 bytes past its end.
    HeapImage shifted(EightBit(8));
    EXPECT_EQ(LoadTexture(shifted.p, static_cast<int>(shifted.size), 15), nullptr);
    EXPECT_NE(g_log.find("texture sub-file 15: palette past the end"), std::string::npos);
    EXPECT_NE(g_log.find("texture sub-file 14 missing"), std::string::npos);
}

std::vector<uint8_t> TwoMaterialBlock() {
    GeoMesh mesh;
    mesh.materials.push_back(
        MakeBox(10, 10, 10, 1, 0x80808080, CheckerTexture(16, 4, 0xFF0000FF, 0xFF00FF00)));
    mesh.materials.push_back(MakeBox(5, 5, 5, 1, 0x80808080, CheckerTexture(16, 4, 0xFFFF0000, 0xFF00FF00)));
    return WriteGeometry(mesh);
}

TEST_F(StoreTest, ReplaceTexturesStopsAtTheShorterOfListAndMaterials) {
    HeapImage block(TwoMaterialBlock());
    CGeometry* g = LoadGeometry(block.p, static_cast<int>(block.size), 0);
    ASSERT_NE(g, nullptr);
    ASSERT_EQ(veEngineGetGeoNumMaterials(g->geo), 2);
    HeapImage a(EightBit(0)), b(EightBit(16));
    const int ta = CResourceStorage<CTexture>::instance().add(LoadTexture(a.p, static_cast<int>(a.size), 0));
    const int tb = CResourceStorage<CTexture>::instance().add(LoadTexture(b.p, static_cast<int>(b.size), 1));
    uint32_t* slots = veEngineGetGeoMaterialTbl(g->geo);
    const uint32_t original[2] = {slots[0], slots[1]};
    const uint32_t after = slots[2];  // the slot table is padded to four
    std::vector<int> none;
    g->replaceTextures(&none);
    EXPECT_EQ(slots[0], original[0]);
    EXPECT_EQ(slots[1], original[1]);
    std::vector<int> three = {tb, ta, ta};
    g->replaceTextures(&three);
    EXPECT_EQ(slots[0], Addr32(&CResourceStorage<CTexture>::instance().get(tb)->fsBitmap));
    EXPECT_EQ(slots[1], Addr32(&CResourceStorage<CTexture>::instance().get(ta)->fsBitmap));
    EXPECT_EQ(slots[2], after);
    std::vector<int> unknown = {-1};
    g->replaceTextures(&unknown);
    EXPECT_EQ(slots[0], 0u);
    delete g;
}

TEST_F(StoreTest, ABlockIsPreparedOnceAndASecondWrapIsRefused) {
    HeapImage block(TwoMaterialBlock());
    CGeometry* first = LoadGeometry(block.p, static_cast<int>(block.size), 4);
    ASSERT_NE(first, nullptr);
    const uint32_t vertexInfo = first->geo->vertexInfoOffset;
    // Preparing it again would move its addresses a second time.
    EXPECT_EQ(LoadGeometry(block.p, static_cast<int>(block.size), 4), nullptr);
    EXPECT_NE(g_log.find("geometry sub-file 4 refused"), std::string::npos);
    EXPECT_EQ(first->geo->vertexInfoOffset, vertexInfo);
    delete first;
}

TEST_F(StoreTest, StoresFillFromAMasterFileAndRefuseBadSubFiles) {
    MasterFileWriter w;
    w.beginLabel();
    w.add(TwoMaterialBlock());           // 0 geometry
    w.add(EightBit(0));                  // 1 texture
    w.add(std::vector<uint8_t>(64, 7));  // 2 garbage
    w.add(std::vector<uint8_t>{});       // 3 empty
    HeapImage image(w.build());
    const int g = AddGeometryFromMasterFile(image.p, 0);
    const int t = AddTextureFromMasterFile(image.p, 1);
    EXPECT_EQ(g, 0);
    EXPECT_EQ(t, 0);
    EXPECT_NE(CResourceStorage<CGeometry>::instance().get(g), nullptr);
    EXPECT_EQ(CResourceStorage<CTexture>::instance().get(t)->fsBitmap.width, 16u);
    g_log.clear();
    EXPECT_EQ(AddGeometryFromMasterFile(image.p, 2), -1);
    EXPECT_NE(g_log.find("geometry sub-file 2 refused"), std::string::npos);
    EXPECT_EQ(AddGeometryFromMasterFile(image.p, 1), -1);  // a bitmap is no geometry
    EXPECT_EQ(AddTextureFromMasterFile(image.p, 0), -1);   // nor a geometry a bitmap
    EXPECT_EQ(AddTextureFromMasterFile(image.p, 3), -1);
    EXPECT_EQ(AddTextureFromMasterFile(image.p, 99), -1);  // no such sub-file
    EXPECT_NE(g_log.find("texture sub-file 99 missing"), std::string::npos);
    EXPECT_EQ(CResourceStorage<CGeometry>::instance().count(), 1);
    EXPECT_EQ(CResourceStorage<CTexture>::instance().count(), 1);
    // The geometries are given back as loaded while their file is still held.
    CResourceStorage<CGeometry>::instance().deleteAll();
}

}  // namespace
