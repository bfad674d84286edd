// The texture manager. Bitmaps live in main memory; graphics memory holds one texture pool that is
// refilled every frame: each load places a bitmap at the pool's running base, builds an upload chain
// (image transfer, then the palette transfer) in an upload record and queues it as a GIF task, so the
// upload reaches the GS just before the geometry that uses it. A ring of control blocks records which
// pool range holds which bitmap; while the cache is on, a bitmap already uploaded in this frame is found
// again. When a load does not fit, the base wraps to the bottom of the pool and the oldest uploads of the
// frame are overwritten (their handles lose texData). Render buffers (targets for drawing into a
// texture) are claimed from the same pool.
#pragma once

#include <cstdint>

struct _FS_BITMAP;

// A texture resident in graphics memory for the current frame (32 bytes: it lives inside a DMA record).
struct ve_texture_handle {
    uint16_t width, height;
    uint32_t texAdr;           // GS block of the image
    uint32_t zBuffAddr;        // GS block of a render buffer's Z buffer, 0 otherwise
    uint32_t palAdr;           // GS block of the palette, 0 if none
    uint32_t bufWidth;         // buffer width in 64-pixel units
    uint16_t width2, height2;  // log2 of width and height
    uint16_t texType;          // pixel format
    uint16_t flags;
    uint32_t texData;  // address of the bitmap's pixels; 0 once overwritten and for render buffers
};
static_assert(sizeof(ve_texture_handle) == 32);

// Pool bounds in 256-byte GS blocks, and the limits of one upload.
inline constexpr uint32_t kTextureMemBottom = 0x3480;
inline constexpr uint32_t kTextureMemTop = 0x4000;
inline constexpr uint32_t kTextureMaxBlocks = kTextureMemTop - kTextureMemBottom;  // 2944
inline constexpr int kTextureNumMCB = 150;
inline constexpr uint32_t kTextureChunkBytes = 0x7FFF0;
inline constexpr int kTextureMaxChunks = 5;
inline constexpr int kTextureNodeRecords = 256;

// One pool range (memory only: native pointers).
struct _VramMCB {
    uint32_t vramAddress;
    uint32_t mainAddress;  // the pixels uploaded there (the cache key); 0 = none
    uint32_t size;         // blocks
    _VramMCB* next;
    uint32_t status;  // 1 used, 0 free
    ve_texture_handle* textureHandle;
};

struct _ve_texture_configure {
    uint32_t bitsPerPixel, bitsPerPixelZ, width, height;                                      // inputs
    uint32_t pagesWide, blockSize, paletteOffset, zbufferOffset, pixelMode, dmaSize, numDma;  // outputs
};

// One upload record: a DMA chain for the GIF with fixed offsets (see the table in the loader).
struct alignas(16) _ve_texture_setup {
    uint64_t q[56];  // 448 bytes of tags, GIF tags and register writes
    ve_texture_handle texHandle;
};
static_assert(sizeof(_ve_texture_setup) == 480);

struct _ve_texture_node {
    int32_t texCount;
    int32_t maxCount;
    _ve_texture_setup* texSetupPtr;
    _ve_texture_node* cur;
    _ve_texture_node* next;
    int32_t totalTexCount;
};

namespace engine {
extern uint32_t textureMemBottom, textureMemTop;
extern int textureCacheEnabled;
}  // namespace engine
// The free list, the used list (address order) and the block the next claim starts at (the sound
// module has blocks of the same names, hence the prefix).
extern _VramMCB* veTextureFreeMCB;
extern _VramMCB* veTextureUsedMCB;
extern _VramMCB* veTextureCurrentMCB;
extern uint32_t veTextureBasePtr;
extern _ve_texture_node* veTextureBuild;
extern _ve_texture_node* veTextureExecute;
extern uint32_t veTextureFrame;

void veTextureInitTextureManager();
void veTextureResetTextureManager();
void veTextureResetTextureMemory();
_VramMCB* veTextureAllocMCB();
void veTextureMarkVramUsed(uint32_t start, uint32_t end, uint32_t key, ve_texture_handle* handle);
_ve_texture_node* veTextureCreateNode();
// Returns 1, or 0 (with a log line) for a depth outside 4/8/16/24/32, more than the pool, or more than
// five upload chunks.
int veTextureConfigure(_ve_texture_configure* c);
void veTextureEnableCache();
void veTextureDisableCache();
// Null (with a log line) for a bitmap that cannot be uploaded; otherwise the handle for this frame.
ve_texture_handle* veTextureLoadTextureMem(_FS_BITMAP* bitmap);
ve_texture_handle* veTextureCreateRenderBuffer(int width, int height, int bpp, int withZ);
ve_texture_handle* veTextureDisplayBuffer();

// Uploads queued since start-up (image tasks), for tests.
uint32_t veTextureUploadCount();
