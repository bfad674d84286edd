#include "engine/hal/texture_manager.h"

#include <cstring>

#include "console/mem/addr.h"
#include "engine/hal/display_hw.h"
#include "engine/hal/dma_tasks.h"
#include "engine/hal/draw_env.h"
#include "engine/sys/bitmap.h"
#include "engine/sys/files.h"
#include "engine/sys/heap.h"

// The engine's internal state (namespace engine) is used here unqualified.
using namespace engine;

// Upload record layout (byte offsets; each GS register write is a value and a register address, A+D):
//   0 tag0 CNT 6 | 16 giftag0 A+D x4 | 32 BITBLTBUF | 48 TRXPOS | 64 TRXREG | 80 TRXDIR | 96 giftag1 IMAGE
//   112 tag1 REF/REFE chunk 1 | 128 tag12 CNT 1 | 144 giftag2 | 160 tag2 | 176 tag13 | 192 giftag3 | 208 tag3
//   224 tag14 | 240 giftag4 | 256 tag4 | 272 tag15 | 288 giftag5 | 304 tag5
//   320 ptag0 CNT 6 | 336 pgiftag0 | 352 BITBLTBUF | 368 TRXPOS | 384 TRXREG | 400 TRXDIR | 416 pgiftag1
//   IMAGE 432 ptag1 REFE palette | 448 texture handle

namespace engine {
uint32_t textureMemBottom = kTextureMemBottom, textureMemTop = kTextureMemTop;
int textureCacheEnabled = 1;
}  // namespace engine
_VramMCB* veTextureFreeMCB = nullptr;
_VramMCB* veTextureUsedMCB = nullptr;
_VramMCB* veTextureCurrentMCB = nullptr;
uint32_t veTextureBasePtr = kTextureMemBottom;
_ve_texture_node* veTextureBuild = nullptr;
_ve_texture_node* veTextureExecute = nullptr;
uint32_t veTextureFrame = 0;

namespace {

_VramMCB* g_mcbs = nullptr;
uint32_t g_uploads = 0;

constexpr uint64_t kDmaCnt = 1, kDmaRefe = 0, kDmaRef = 3;
constexpr uint64_t kRegBitbltbuf = 0x50, kRegTrxpos = 0x51, kRegTrxreg = 0x52, kRegTrxdir = 0x53;
constexpr uint64_t kRegAd = 0xE;

uint64_t Tag(uint64_t id, uint64_t qwc, uint32_t addr) {
    return qwc | (id << 28) | (uint64_t(addr) << 32);
}
// PACKED A+D tag with NLOOP n, or an IMAGE tag.
uint64_t AdTag(uint64_t n) {
    return n | (1ull << 60);
}
uint64_t ImageTag(uint64_t n, bool eop) {
    return n | (eop ? 1ull << 15 : 0) | (2ull << 58);
}

// Byte offset -> index into the record's 64-bit words.
constexpr int W(int byteOffset) {
    return byteOffset / 8;
}

void BuildConstantParts(_ve_texture_setup* r) {
    std::memset(r, 0, sizeof *r);
    uint64_t* q = r->q;
    q[W(0)] = Tag(kDmaCnt, 6, 0);
    q[W(16)] = AdTag(4);
    q[W(16) + 1] = kRegAd;
    q[W(32) + 1] = kRegBitbltbuf;
    q[W(48) + 1] = kRegTrxpos;
    q[W(64) + 1] = kRegTrxreg;
    q[W(80) + 1] = kRegTrxdir;
    for (int off : {128, 176, 224, 272}) q[W(off)] = Tag(kDmaCnt, 1, 0);
    q[W(320)] = Tag(kDmaCnt, 6, 0);
    q[W(336)] = AdTag(4);
    q[W(336) + 1] = kRegAd;
    q[W(352) + 1] = kRegBitbltbuf;
    q[W(368) + 1] = kRegTrxpos;
    q[W(384) + 1] = kRegTrxreg;
    q[W(400) + 1] = kRegTrxdir;
}

// log2 as the hardware registers take it: the index of the highest set bit, 32 for 0 or 1.
uint16_t Log2(uint32_t v) {
    for (int b = 31; b > 0; --b)
        if (v & (1u << b)) return static_cast<uint16_t>(b);
    return 32;
}

_ve_texture_setup* NextRecord() {
    _ve_texture_node* head = veTextureBuild;
    if (!head) return nullptr;
    _ve_texture_node* n = head->cur;
    if (n->texCount >= n->maxCount) {
        if (!n->next) n->next = veTextureCreateNode();
        if (!n->next) return nullptr;
        n = head->cur = n->next;
    }
    return n->texSetupPtr + n->texCount;
}

void CountRecord() {
    _ve_texture_node* head = veTextureBuild;
    head->cur->texCount += 1;
    head->totalTexCount += 1;
}

}  // namespace

_ve_texture_node* veTextureCreateNode() {
    const uint32_t bytes = 64 + sizeof(_ve_texture_setup) * kTextureNodeRecords + 16;
    auto* raw = static_cast<uint8_t*>(x_fn_malloc(bytes, "", 0));
    if (!raw) {
        x_printf("veTextureCreateNode: no memory for %d upload records\n", kTextureNodeRecords);
        return nullptr;
    }
    auto* node = reinterpret_cast<_ve_texture_node*>(raw);
    std::memset(node, 0, sizeof *node);
    const uintptr_t recs = (reinterpret_cast<uintptr_t>(raw + sizeof *node) + 15) & ~uintptr_t(15);
    node->texSetupPtr = reinterpret_cast<_ve_texture_setup*>(recs);
    node->maxCount = kTextureNodeRecords;
    node->cur = node;
    for (int i = 0; i < kTextureNodeRecords; ++i) BuildConstantParts(&node->texSetupPtr[i]);
    return node;
}

void veTextureResetTextureMemory() {
    if (!g_mcbs) return;
    veTextureFreeMCB = nullptr;
    for (int i = kTextureNumMCB - 1; i >= 1; --i) {
        g_mcbs[i] = _VramMCB{0, 0, 0, veTextureFreeMCB, 0, nullptr};
        veTextureFreeMCB = &g_mcbs[i];
    }
    veTextureUsedMCB = &g_mcbs[0];
    *veTextureUsedMCB =
        _VramMCB{textureMemBottom, 0, textureMemTop - textureMemBottom + 1, nullptr, 0, nullptr};
    veTextureCurrentMCB = veTextureUsedMCB;
}

_VramMCB* veTextureAllocMCB() {
    _VramMCB* m = veTextureFreeMCB;
    if (m) {
        veTextureFreeMCB = m->next;
        m->next = nullptr;
    }
    return m;
}

void veTextureInitTextureManager() {
    veTextureBuild = veTextureCreateNode();
    veTextureExecute = veTextureCreateNode();
    veTextureBasePtr = textureMemBottom;
    veDrawEnvStartFrame(0);
    veTextureFrame = 0;
    if (!g_mcbs) {
        g_mcbs = static_cast<_VramMCB*>(x_fn_malloc(sizeof(_VramMCB) * kTextureNumMCB, "", 0));
        if (!g_mcbs) {
            x_printf("veTextureInitTextureManager: no memory for the pool's control blocks\n");
            return;
        }
        veTextureResetTextureMemory();
    }
}

void veTextureResetTextureManager() {
    _ve_texture_node* t = veTextureBuild;
    veTextureBuild = veTextureExecute;
    veTextureExecute = t;
    for (_ve_texture_node* n = veTextureBuild; n; n = n->next) n->texCount = 0;
    if (veTextureBuild) {
        veTextureBuild->totalTexCount = 0;
        veTextureBuild->cur = veTextureBuild;
    }
    if (veTextureExecute) veTextureExecute->cur = veTextureExecute;
    veTextureBasePtr = textureMemBottom;
    veTextureFrame += 1;
    veDrawEnvStartFrame(static_cast<int>(veTextureFrame & 1));
    veSetDefaultDrawEnv1();
    veSetDefaultDrawEnv2();
    veDisplayResetClearBuffers();
    veTextureResetTextureMemory();
}

void veTextureMarkVramUsed(uint32_t start, uint32_t end, uint32_t key, ve_texture_handle* handle) {
    if (!veTextureCurrentMCB) return;
    if (start == textureMemBottom) veTextureCurrentMCB = veTextureUsedMCB;
    _VramMCB* cur = veTextureCurrentMCB;
    if (cur->textureHandle) cur->textureHandle->texData = 0;
    cur->mainAddress = 0;
    cur->textureHandle = nullptr;
    const uint32_t needed = end - start;
    while (cur->size < needed && cur->next) {
        _VramMCB* n = cur->next;
        if (n->textureHandle) n->textureHandle->texData = 0;
        cur->size += n->size;
        cur->next = n->next;
        *n = _VramMCB{0, 0, 0, veTextureFreeMCB, 0, nullptr};
        veTextureFreeMCB = n;
    }
    if (cur->size > needed) {
        if (_VramMCB* rest = veTextureAllocMCB()) {
            *rest = _VramMCB{cur->vramAddress + needed, 0, cur->size - needed, cur->next, 0, nullptr};
            cur->size = needed;
            cur->next = rest;
        }
    }
    cur->status = 1;
    cur->mainAddress = key;
    cur->textureHandle = handle;
    veTextureCurrentMCB = cur->next ? cur->next : veTextureUsedMCB;
}

int veTextureConfigure(_ve_texture_configure* c) {
    uint32_t psm, heightStep, pageWidth, pixelsPerBlock;
    uint64_t dmaSize;
    const uint64_t w = c->width, h = c->height;
    switch (c->bitsPerPixel) {
        case 4:
            psm = 0x14, dmaSize = w * h / 2, heightStep = 128, pageWidth = 128, pixelsPerBlock = 512;
            break;
        case 8:
            psm = 0x13, dmaSize = w * h, heightStep = 64, pageWidth = 128, pixelsPerBlock = 256;
            break;
        case 16:
            psm = 2, dmaSize = w * h * 2, heightStep = 64, pageWidth = 64, pixelsPerBlock = 128;
            break;
        case 24:
            psm = 1, dmaSize = w * h * 3, heightStep = 32, pageWidth = 64, pixelsPerBlock = 64;
            break;
        case 32:
            psm = 0, dmaSize = w * h * 4, heightStep = 32, pageWidth = 64, pixelsPerBlock = 64;
            break;
        default:
            x_printf("veTextureConfigure: %u bits per pixel cannot be uploaded\n", c->bitsPerPixel);
            return 0;
    }
    if (w == 0 || h == 0 || w > 2048 || h > 2048) {
        x_printf("veTextureConfigure: a %ux%u image cannot be uploaded\n", c->width, c->height);
        return 0;
    }
    const uint64_t hr = (h + heightStep - 1) / heightStep * heightStep;
    const uint64_t wUsed = (w < h && w < pageWidth && h <= heightStep) ? h : w;
    uint64_t imageBlocks = wUsed * hr / pixelsPerBlock;
    c->pagesWide = static_cast<uint32_t>((w + 63) / 64);
    // The image is stored with rows of pagesWide * 64 pixels: a narrow image taller than the height step
    // would otherwise get fewer blocks than its rows take.
    const uint64_t rowBits = uint64_t(c->pagesWide) * 64 * c->bitsPerPixel;
    const uint64_t needBlocks = (h * rowBits / 8 + 255) / 256;
    if (imageBlocks < needBlocks) imageBlocks = needBlocks;
    c->pixelMode = psm;
    c->dmaSize = static_cast<uint32_t>(dmaSize);
    c->numDma = static_cast<uint32_t>((dmaSize + kTextureChunkBytes - 1) / kTextureChunkBytes);
    uint64_t blockSize = imageBlocks;
    uint64_t paletteOffset = 0;
    if (c->bitsPerPixel == 4) {
        paletteOffset = imageBlocks;
        blockSize += 2;
    } else if (c->bitsPerPixel == 8) {
        if (h < 64 && w >= 128 && imageBlocks - 8 >= needBlocks) {
            // The palette fits in the unused tail of the image's blocks.
            paletteOffset = imageBlocks - 8;
        } else {
            paletteOffset = imageBlocks;
            blockSize += 4;
        }
    }
    c->zbufferOffset = 0;
    if (c->bitsPerPixelZ != 0) {
        c->zbufferOffset = static_cast<uint32_t>((imageBlocks + 31) / 32 * 32);
        blockSize = imageBlocks + c->zbufferOffset;
        paletteOffset = blockSize;
    }
    c->paletteOffset = static_cast<uint32_t>(paletteOffset);
    if (blockSize > kTextureMaxBlocks || c->numDma > kTextureMaxChunks) {
        x_printf("veTextureConfigure: a %ux%u %u-bit image needs %llu blocks, more than the pool holds\n",
                 c->width, c->height, c->bitsPerPixel, static_cast<unsigned long long>(blockSize));
        return 0;
    }
    c->blockSize = static_cast<uint32_t>(blockSize);
    return 1;
}

void veTextureEnableCache() {
    textureCacheEnabled = 1;
}
void veTextureDisableCache() {
    textureCacheEnabled = 0;
}

namespace {

// With the cache on: the handle of the texture already made from these pixels, if any.
ve_texture_handle* CachedHandle(const _FS_BITMAP* bmp) {
    if (!textureCacheEnabled) return nullptr;
    for (_VramMCB* m = veTextureUsedMCB; m; m = m->next)
        if (m->mainAddress == bmp->pixdata) return m->textureHandle;
    return nullptr;
}

// The record's image upload: the transfer's registers, then the pixels in chunks, each a GIF tag and a
// reference to its bytes.
void WriteImageUpload(uint64_t* q, const _ve_texture_configure& c, uint32_t base, uint32_t pixdata) {
    q[W(32)] = uint64_t(base) << 32 | uint64_t(c.pagesWide) << 48 | uint64_t(c.pixelMode) << 56;
    q[W(48)] = 0;
    q[W(64)] = uint64_t(c.width) | uint64_t(c.height) << 32;
    q[W(80)] = 0;
    static constexpr int kGifTag[kTextureMaxChunks] = {96, 144, 192, 240, 288};
    static constexpr int kRefTag[kTextureMaxChunks] = {112, 160, 208, 256, 304};
    uint32_t remaining = c.dmaSize;
    for (uint32_t i = 0; i < c.numDma; ++i) {
        const uint32_t bytes = remaining < kTextureChunkBytes ? remaining : kTextureChunkBytes;
        const uint32_t qwc = (bytes + 15) / 16;
        const bool last = i + 1 == c.numDma;
        q[W(kGifTag[i])] = ImageTag(qwc, last);
        q[W(kGifTag[i]) + 1] = 0;
        q[W(kRefTag[i])] = Tag(last ? kDmaRefe : kDmaRef, qwc, pixdata + i * kTextureChunkBytes);
        q[W(kRefTag[i]) + 1] = 0;
        remaining -= bytes;
    }
}

// The record's palette upload, sent when there is any palette.
void SendPalette(uint64_t* q, const _ve_texture_configure& c, uint32_t base, const _FS_BITMAP* bmp) {
    // Only the palette that exists is sent, and never more than the CLUT rectangle holds.
    const uint32_t cap = c.bitsPerPixel == 8 ? 64 : 4;
    const uint64_t want = (uint64_t(bmp->numColors) + 3) / 4;
    const uint32_t qwc = want < cap ? static_cast<uint32_t>(want) : cap;
    q[W(352)] = uint64_t(base + c.paletteOffset) << 32;
    q[W(368)] = 0;
    q[W(384)] = c.bitsPerPixel == 8 ? (16ull | 16ull << 32) : (8ull | 2ull << 32);
    q[W(400)] = 0;
    q[W(416)] = ImageTag(qwc, true);
    q[W(416) + 1] = 0;
    q[W(432)] = Tag(kDmaRefe, qwc, bmp->coldata);
    q[W(432) + 1] = 0;
    if (qwc > 0) veDmaAddDmaTask(&q[W(320)], 2, 1);
}

void FillHandle(ve_texture_handle& t, const _FS_BITMAP* bmp, const _ve_texture_configure& c, uint32_t base,
                bool pal) {
    t.width = static_cast<uint16_t>(bmp->width);
    t.height = static_cast<uint16_t>(bmp->height);
    t.texAdr = base;
    t.zBuffAddr = 0;
    t.palAdr = pal ? base + c.paletteOffset : 0;
    t.bufWidth = c.pagesWide;
    t.width2 = static_cast<uint16_t>(bmp->deviceInfo[0]);
    t.height2 = static_cast<uint16_t>(bmp->deviceInfo[1]);
    t.texType = static_cast<uint16_t>(c.pixelMode);
    t.flags = 1;
    t.texData = bmp->pixdata;
}

}  // namespace

ve_texture_handle* veTextureLoadTextureMem(_FS_BITMAP* bmp) {
    if (!bmp || bmp->pixdata == 0) {
        x_printf("veTextureLoadTextureMem: bitmap without pixels\n");
        return nullptr;
    }
    _ve_texture_setup* r = NextRecord();
    if (!r) return nullptr;
    if (ve_texture_handle* cached = CachedHandle(bmp)) return cached;
    _ve_texture_configure c{};
    c.bitsPerPixel = bmp->bitsPerPixel;
    c.width = bmp->width;
    c.height = bmp->height;
    if (!veTextureConfigure(&c)) return nullptr;
    if (bmp->palettized && bmp->coldata == 0) {
        x_printf("veTextureLoadTextureMem: palettised bitmap without a palette\n");
        return nullptr;
    }
    if (veTextureBasePtr + c.blockSize >= textureMemTop) veTextureBasePtr = textureMemBottom;
    const uint32_t base = veTextureBasePtr;
    veTextureMarkVramUsed(base, base + c.blockSize, bmp->pixdata, &r->texHandle);

    WriteImageUpload(r->q, c, base, bmp->pixdata);
    if (bmp->deviceInfo[0] == 0 && bmp->deviceInfo[1] == 0) {
        bmp->deviceInfo[0] = Log2(bmp->width);
        bmp->deviceInfo[1] = Log2(bmp->height);
    }
    veDmaAddDmaTask(r, 2, 1);
    ++g_uploads;
    const bool pal = bmp->palettized != 0;
    if (pal) SendPalette(r->q, c, base, bmp);
    FillHandle(r->texHandle, bmp, c, base, pal);
    CountRecord();
    veTextureBasePtr = base + c.blockSize;
    return &r->texHandle;
}

ve_texture_handle* veTextureCreateRenderBuffer(int width, int height, int bpp, int withZ) {
    _ve_texture_setup* r = NextRecord();
    if (!r || width <= 0 || height <= 0) return nullptr;
    veTextureBasePtr += 32 - (veTextureBasePtr % 32);
    _ve_texture_configure c{};
    c.bitsPerPixel = static_cast<uint32_t>(bpp);
    c.bitsPerPixelZ = withZ ? static_cast<uint32_t>(bpp) : 0;
    c.width = static_cast<uint32_t>(width);
    c.height = static_cast<uint32_t>(height);
    if (!veTextureConfigure(&c)) return nullptr;
    if (veTextureBasePtr + c.blockSize >= textureMemTop) veTextureBasePtr = textureMemBottom;
    const uint32_t base = veTextureBasePtr;
    veTextureMarkVramUsed(base, base + c.blockSize, 0, &r->texHandle);
    ve_texture_handle& t = r->texHandle;
    t.width = static_cast<uint16_t>(width);
    t.height = static_cast<uint16_t>(height);
    t.texAdr = base;
    t.zBuffAddr = withZ ? base + c.zbufferOffset : 0;
    t.palAdr = 0;
    t.bufWidth = c.pagesWide;
    t.width2 = Log2(c.width);
    t.height2 = Log2(c.height);
    t.texType = static_cast<uint16_t>(c.pixelMode);
    t.texData = 0;
    t.flags = 1;
    CountRecord();
    veTextureBasePtr = base + c.blockSize;
    return &t;
}

ve_texture_handle* veTextureDisplayBuffer() {
    _ve_texture_setup* r = NextRecord();
    if (!r) return nullptr;
    // The display image of this engine's memory layout: 640 pixels a row (TBW 10), shown as 512 x 256.
    ve_texture_handle& t = r->texHandle;
    t = ve_texture_handle{512, 256, kDisplayBufferBlock, 0, 0, 10, 9, 8, 0, 1, 0};
    CountRecord();
    return &t;
}

uint32_t veTextureUploadCount() {
    return g_uploads;
}
