#include "engine/hal/texture_manager.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "console/mem/addr.h"
#include "engine/hal/dma_tasks.h"
#include "engine/sys/bitmap.h"
#include "engine/sys/heap.h"
#include "engine_fixture.h"

namespace {

using enginetest::EngineTest;

TEST(TextureConfigure, SizesPalettesAndRefusals) {
    // 0 in an expected field: not checked.
    struct Case {
        uint16_t bpp, bppZ;
        uint32_t width, height;
        uint32_t pixelMode, blockSize, paletteOffset, zOffset;
    };
    const Case cases[] = {
        {8, 0, 256, 256, 0x13, 256 + 4, 256, 0},
        {32, 0, 64, 32, 0, 32, 0, 0},
        {4, 0, 64, 64, 0x14, 64 * 128 / 512 + 2, 16, 0},  // height raised to the 128 step
        {32, 32, 128, 128, 0, 512, 0, 256},               // render buffer: Z after 256 blocks of image
        {8, 0, 128, 16, 0x13, 32, 32 - 8, 0},             // room to spare: the palette in the tail
    };
    for (const Case& k : cases) {
        _ve_texture_configure c{};
        c.bitsPerPixel = k.bpp, c.bitsPerPixelZ = k.bppZ, c.width = k.width, c.height = k.height;
        ASSERT_EQ(veTextureConfigure(&c), 1) << k.width << "x" << k.height;
        EXPECT_EQ(c.pixelMode, k.pixelMode) << k.width;
        EXPECT_EQ(c.blockSize, k.blockSize) << k.width;
        EXPECT_TRUE(!k.paletteOffset || c.paletteOffset == k.paletteOffset) << k.width;
        EXPECT_TRUE(!k.zOffset || c.zbufferOffset == k.zOffset) << k.width;
    }
    // Narrow or short images take more rows than the table's formula gives: 16 x 256 at 8 bits stores
    // rows 64 pixels apart (64 blocks), 128 x 56 takes 28 blocks: the palette goes after them.
    const uint32_t narrow[2][3] = {{16, 256, 64}, {128, 56, 28}};
    for (const auto& n : narrow) {
        _ve_texture_configure c{};
        c.bitsPerPixel = 8, c.width = n[0], c.height = n[1];
        ASSERT_EQ(veTextureConfigure(&c), 1);
        EXPECT_GE(c.paletteOffset, n[2]) << n[0];
    }
    // A 1024 x 1024 32-bit image needs more than five chunks; 12 bits per pixel do not exist.
    _ve_texture_configure c{};
    c.bitsPerPixel = 32, c.width = 1024, c.height = 1024;
    EXPECT_EQ(veTextureConfigure(&c), 0);
    c = {};
    c.bitsPerPixel = 12, c.width = 16, c.height = 16;
    EXPECT_EQ(veTextureConfigure(&c), 0);
}

// Bitmaps in engine memory: pixels and palette in one heap block.
struct Bitmap {
    Bitmap(uint32_t w, uint32_t h, uint16_t bpp, uint32_t colours) {
        std::memset(&b, 0, sizeof b);
        b.width = w, b.height = h, b.bitsPerPixel = bpp, b.numColors = colours,
        b.palettized = colours ? 1 : 0;
        const uint32_t px = bpp == 4 ? w * h / 2 : w * h * bpp / 8;
        mem = static_cast<uint8_t*>(x_fn_malloc(px + 4 * colours + 16, "", 0));
        std::memset(mem, 0, px + 4 * colours);
        b.pixdata = Addr32(mem);
        b.coldata = colours ? b.pixdata + px : 0;
    }
    ~Bitmap() { x_free(mem); }
    void Fill32(uint32_t rgba) {
        for (uint32_t i = 0; i < b.width * b.height; ++i) std::memcpy(mem + 4 * i, &rgba, 4);
    }
    _FS_BITMAP b;
    uint8_t* mem;
};

uint64_t Word(const void* rec, int byteOffset) {
    uint64_t v;
    std::memcpy(&v, static_cast<const uint8_t*>(rec) + byteOffset, 8);
    return v;
}

TEST_F(EngineTest, LoadBuildsTheUploadRecordAndHandle) {
    veEngineBeginFrame();
    Bitmap bm(256, 256, 8, 256);
    const int tasks = veDmaBuild->numTasks;
    const uint32_t base = veTextureBasePtr;
    ve_texture_handle* h = veTextureLoadTextureMem(&bm.b);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->texAdr, base);
    EXPECT_EQ(h->palAdr, base + 256);
    EXPECT_EQ(h->bufWidth, 4u);
    EXPECT_EQ(h->width2, 8);
    EXPECT_EQ(h->texType, 0x13);
    EXPECT_EQ(veTextureBasePtr, base + 260);
    ASSERT_EQ(veDmaBuild->numTasks, tasks + 2);  // image, then palette
    const auto* rec = reinterpret_cast<const uint8_t*>(h) - 448;
    EXPECT_EQ(Word(rec, 64), 256u | (256ull << 32));  // TRXREG
    EXPECT_EQ(Word(rec, 384), 16u | (16ull << 32));   // palette 16 x 16
    EXPECT_EQ(Word(rec, 416) & 0x7FFF, 64u);
    // Fonts describe their palette with a colour count far beyond 256: only the CLUT rectangle is sent.
    Bitmap big(64, 64, 8, 256);
    big.b.numColors = 0x10000;
    rec = reinterpret_cast<const uint8_t*>(veTextureLoadTextureMem(&big.b)) - 448;
    EXPECT_EQ(Word(rec, 416) & 0x7FFF, 64u);
    // A 4-bit image with 16 colours: an 8 x 2 rectangle; a 12-colour palette: 3 quadwords.
    Bitmap small(32, 32, 4, 12);
    rec = reinterpret_cast<const uint8_t*>(veTextureLoadTextureMem(&small.b)) - 448;
    EXPECT_EQ(Word(rec, 384), 8u | (2ull << 32));
    EXPECT_EQ(Word(rec, 416) & 0x7FFF, 3u);
    // Refused bitmaps queue nothing.
    Bitmap odd(16, 16, 12, 0);
    const int before = veDmaBuild->numTasks;
    EXPECT_EQ(veTextureLoadTextureMem(&odd.b), nullptr);
    _FS_BITMAP none{};
    EXPECT_EQ(veTextureLoadTextureMem(&none), nullptr);
    EXPECT_EQ(veDmaBuild->numTasks, before);
    EXPECT_NE(enginetest::g_log.find("12 bits per pixel"), std::string::npos);
    veEngineEndFrame();
}

TEST_F(EngineTest, CacheFindsTheSameBitmapOnlyWhileOnAndRenderBuffersStartOnAPage) {
    veEngineBeginFrame();
    Bitmap bm(64, 32, 32, 0);  // 32 blocks
    veTextureEnableCache();
    const int tasks = veDmaBuild->numTasks;
    ve_texture_handle* a = veTextureLoadTextureMem(&bm.b);
    EXPECT_EQ(veTextureLoadTextureMem(&bm.b), a);
    EXPECT_EQ(veDmaBuild->numTasks, tasks + 1);
    veTextureDisableCache();
    ve_texture_handle* c = veTextureLoadTextureMem(&bm.b);
    EXPECT_EQ(c->texAdr, a->texAdr + 32);
    EXPECT_EQ(veDmaBuild->numTasks, tasks + 2);
    veTextureEnableCache();
    // A render buffer starts on a page (32 blocks) with its Z buffer after it: 16 rows of 64 pixels
    // (16 blocks) put the base off the boundary first.
    Bitmap bm2(16, 16, 32, 0);
    veTextureLoadTextureMem(&bm2.b);
    ve_texture_handle* r = veTextureCreateRenderBuffer(128, 128, 32, 1);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->texAdr, kTextureMemBottom + 96);
    EXPECT_EQ(r->zBuffAddr, r->texAdr + 256);
    EXPECT_EQ(veTextureBasePtr, r->texAdr + 512);
    EXPECT_EQ(veTextureDisplayBuffer()->bufWidth, 10u);
    veEngineEndFrame();
    // The next frame uploads again.
    veEngineBeginFrame();
    const int t2 = veDmaBuild->numTasks;
    veTextureLoadTextureMem(&bm.b);
    EXPECT_EQ(veDmaBuild->numTasks, t2 + 1);
    veEngineEndFrame();
}

// More textures than the pool holds, each drawn right after its load: the pool wraps, the oldest
// uploads lose their data, and every quad still shows its own texture's colour.
TEST_F(EngineTest, PoolWrapsOverTheOldestAndDrawingShowsTheRightTexels) {
    constexpr int kCount = 14;  // 128 x 128 x 32 bits = 256 blocks; the pool holds 11
    std::vector<Bitmap*> bms;
    for (int i = 0; i < kCount; ++i) {
        bms.push_back(new Bitmap(128, 128, 32, 0));
        bms.back()->Fill32(0x80000000u | uint32_t(i * 17 + 10) | (uint32_t(200 - i * 9) << 8) |
                           (uint32_t(i * 5) << 16));
    }
    _ve_view view{};
    veDisplayCreateView2D(&view, 0, 0, 640, 448, kViewAspectFromViewport, 0.5f);
    std::vector<ve_texture_handle*> handles;
    DrawAndRun([&] {
        veDisplayActivateView(&view);
        veRenderContextEnable(kRenderTexture);
        for (int i = 0; i < kCount; ++i) {
            ve_texture_handle* h = veTextureLoadTextureMem(&bms[i]->b);
            ASSERT_NE(h, nullptr);
            handles.push_back(h);
            veDisplaySetActiveTexture(h);
            const float x = float(10 + 40 * i);
            _ve_quad q{enginetest::Vertex(x, 100, 0, 128, 128, 128),
                       enginetest::Vertex(x + 32, 100, 0, 128, 128, 128),
                       enginetest::Vertex(x + 32, 132, 0, 128, 128, 128),
                       enginetest::Vertex(x, 132, 0, 128, 128, 128)};
            q.v2.s = q.v3.s = 1.0f;
            q.v3.t = q.v4.t = 1.0f;
            vePrimDrawQuad(&q);
            vePrimSendBuffers();
        }
    });
    // Texture 11 wrapped to the bottom over texture 0, 12 over 1, 13 over 2.
    EXPECT_EQ(handles[11]->texAdr, kTextureMemBottom);
    EXPECT_EQ(handles[13]->texAdr, kTextureMemBottom + 512);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(handles[i]->texData, 0u) << i;
    for (int i = 3; i < kCount; ++i) EXPECT_EQ(handles[i]->texData, bms[i]->b.pixdata) << i;
    for (int i = 0; i < kCount; ++i) {
        const uint32_t want = uint32_t(i * 17 + 10) | (uint32_t(200 - i * 9) << 8) | (uint32_t(i * 5) << 16);
        EXPECT_EQ(Rgb(FramePixel(10 + 40 * i + 16, 116)), want) << i;
    }
    for (Bitmap* b : bms) delete b;
}

}  // namespace
