#include "engine/hal/display_hw.h"

#include <cstdio>
#include <cstring>

#include "console/dma/dma.h"
#include "console/gs/gs_registers.h"
#include "console/kernel/intc.h"
#include "console/kernel/perf_counter.h"
#include "console/kernel/vsync.h"
#include "console/mem/addr.h"
#include "engine/hal/display.h"
#include "engine/hal/display_sync.h"
#include "engine/hal/dma_tasks.h"
#include "engine/hal/engine.h"
#include "engine/sys/files.h"
#include "engine/sys/heap.h"

// The engine's internal state (namespace engine) is used here unqualified.
using namespace engine;

using namespace console::gs;

alignas(16) _ve_frame_env veFrameEnv;
alignas(16) _ve_smallframe_env veDownSampleEnv;
_ve_display_env veDisplayEnv[2];
uint8_t veDisplayBackColorR = 0, veDisplayBackColorG = 0, veDisplayBackColorB = 128;
_ve_clearframe_env* veClearFrameEnv[2] = {nullptr, nullptr};
_ve_clearframe_env* veClearFramePtr = nullptr;
namespace engine {
int clearCount = 0;
}  // namespace engine
int ve_display_clear_context = 0;
uint32_t veDumpCount = 0;

uint32_t veFramePSM = 0, veFrameFBW = 10, veFrameFBP = 0;
uint32_t veZBufferPSM = 0x31, veZBufferFBW = 10, veZBufferFBP = kZBufferPage;
uint32_t veDisplayPixelWidth = 640, veDisplayPixelHeight = 448;

namespace {

constexpr int kWidth = 640, kHeight = 448;
constexpr uint32_t kVifDirect15 = 0x5000000F;
bool g_clearOverflowLogged = false;

uint64_t PackedAdTag(uint32_t nloop) {
    // NLOOP, EOP, PACKED, NREG 1; REGS = A+D.
    return uint64_t(nloop) | (1ull << 15) | (1ull << 60);
}

void SetTag(sceGifTag* t, uint32_t nloop) {
    const uint64_t w[2] = {PackedAdTag(nloop), 0xE};
    std::memcpy(t, w, 16);
}

void Sprite(_ve_sprite* s, int context) {
    const uint64_t c = static_cast<uint64_t>(context);
    s->test = {0x30000, kRegTest_1 + c};
    s->tex0 = {0xEA8028000ull, kRegTex0_1 + c};
    s->tex1 = {0x100000261ull, kRegTex1_1 + c};
    s->prim = {context ? 0x316u : 0x116u, kRegPrim};
    // Both contexts read the frame buffer from its first row: the odd field's half-pixel offset alone
    // makes its copy the blend of each row with the one below (the interlace filter). Starting that
    // field's texture lower would show its picture that many rows higher than the even field's, a bob
    // of every 60 Hz screen.
    s->uv0 = {0, kRegUv};
    s->rgbaq = {(128ull << 24) | (uint64_t(0x3F800000) << 32), kRegRgbaq};
    s->xyz0 = {uint64_t(1728 * 16) | (uint64_t(1824 * 16) << 16) | (10000ull << 32), kRegXyz2};
    s->uv1 = {uint64_t(640 * 16) | (uint64_t(448 * 16) << 16), kRegUv};
    s->xyz1 = {uint64_t(2368 * 16) | (uint64_t(2272 * 16) << 16) | (10000ull << 32), kRegXyz2};
}

}  // namespace

void veInitDrawEnv() {
    // The frame buffer's drawing environment and its clear, per context.
    sceGsSetDefDrawEnv(&veFrameEnv.draw1, kPsmCt32, kWidth, kHeight, kZtstGequal, kPsmZ24);
    sceGsSetDefDrawEnv2(&veFrameEnv.draw2, kPsmCt32, kWidth, kHeight, kZtstGequal, kPsmZ24);
    veFrameEnv.draw1.frame1.FBP = kFrameBufferPage;
    veFrameEnv.draw2.frame2.FBP = kFrameBufferPage;
    veFrameEnv.draw1.zbuf1.ZBP = kZBufferPage;
    veFrameEnv.draw2.zbuf2.ZBP = kZBufferPage;
    sceGsSetDefClear(&veFrameEnv.clear1, kZtstGequal, 2048 - kWidth / 2, 2048 - kHeight / 2, kWidth, kHeight,
                     0, 0, 128, 0, 0);
    sceGsSetDefClear2(&veFrameEnv.clear2, kZtstGequal, 2048 - kWidth / 2, 2048 - kHeight / 2, kWidth, kHeight,
                      0, 0, 128, 0, 0);
    SetTag(&veFrameEnv.giftag1, 14);
    SetTag(&veFrameEnv.giftag2, 14);

    // The filtered copy into the display buffer: Z masked, test ALWAYS.
    sceGsSetDefDrawEnv(&veDownSampleEnv.draw1, kPsmCt32, kWidth, kHeight, kZtstAlways, kPsmZ24);
    sceGsSetDefDrawEnv2(&veDownSampleEnv.draw2, kPsmCt32, kWidth, kHeight, kZtstAlways, kPsmZ24);
    veDownSampleEnv.draw1.frame1.FBP = kDisplayBufferPage;
    veDownSampleEnv.draw2.frame2.FBP = kDisplayBufferPage;
    veDownSampleEnv.draw1.zbuf1.ZBP = kZBufferPage;
    veDownSampleEnv.draw2.zbuf2.ZBP = kZBufferPage;
    veDownSampleEnv.draw1.zbuf1.ZMSK = 1;
    veDownSampleEnv.draw2.zbuf2.ZMSK = 1;
    Sprite(&veDownSampleEnv.sprite1, 0);
    Sprite(&veDownSampleEnv.sprite2, 1);
    SetTag(&veDownSampleEnv.giftag1, 17);
    SetTag(&veDownSampleEnv.giftag2, 17);
    FlushCache(0);
}

void veDisplayInitFrameBufferSettings() {
    veFramePSM = 0;
    veFrameFBW = 10;
    veFrameFBP = kFrameBufferPage;
    veZBufferPSM = 0x31;
    veZBufferFBW = 10;
    veZBufferFBP = kZBufferPage;
}

int veDisplayHardwareInit() {
    sceGsResetPath();
    sceDmaReset(1);
    sceGsResetGraph(0, SCE_GS_INTERLACE, SCE_GS_NTSC, SCE_GS_FIELD);
    sceDevGifPutImtMode(1);
    veInitDrawEnv();
    for (_ve_display_env& d : veDisplayEnv) {
        sceGsSetDefDispEnv(&d.disp, kPsmCt32, kWidth, kHeight, 0, 0);
        d.disp.dispfb.FBP = kDisplayBufferPage;
    }
    FlushCache(0);
    FlushCache(0);
    sceGsPutDrawEnv(&veFrameEnv.giftag1);
    sceGsSyncPath(0, 0);
    sceGsPutDrawEnv(&veFrameEnv.giftag2);
    sceGsSyncPath(0, 0);
    veDisplayInitFrameBufferSettings();
    veDisplayResetStatusWords();
    sceGsSyncVCallback(veVSyncIntHandler);
    veDisplaySetBackColor(0, 0, 128);
    return 1;
}

void veDisplaySetBackColor(uint8_t r, uint8_t g, uint8_t b) {
    const uint64_t v = uint64_t(r) | (uint64_t(g) << 8) | (uint64_t(b) << 16);
    veFrameEnv.clear1.rgbaq = RegFrom<GsRgbaq>(v);
    veFrameEnv.clear2.rgbaq = RegFrom<GsRgbaq>(v);
    veDisplayBackColorR = r;
    veDisplayBackColorG = g;
    veDisplayBackColorB = b;
}

void veDisplaySetResolution() {
    const uint64_t v = 128ull << 16;
    veFrameEnv.clear1.rgbaq = RegFrom<GsRgbaq>(v);
    veFrameEnv.clear2.rgbaq = RegFrom<GsRgbaq>(v);
}

void veDisplayClearViewPort(_ve_view* view) {
    if (!view || !view->clearRegion) {
        x_printf("veDisplayClearViewPort: view has no clear region\n");
        return;
    }
    _ve_clear_region* r = view->clearRegion;
    // REFE with the interrupt bit, 10 quadwords after the tag; the VIF words of the tag stay 0 (NOP).
    r->dmaTag[0] = 10 | (0ull << 28) | (1ull << 31) | (uint64_t(Addr32(r) + 16) << 32);
    r->dmaTag[1] = 0;
    veDmaAddDmaTask(r, 1, 1);
}

void veDisplayClearAllocateBuffers() {
    const uint32_t bytes = veEngineClearDMACountLimit * sizeof(_ve_clearframe_env);
    for (auto& b : veClearFrameEnv) {
        if (b) x_free(b);
        b = static_cast<_ve_clearframe_env*>(x_fn_malloc(bytes, "", 0));
        if (b) std::memset(static_cast<void*>(b), 0, bytes);
    }
    veClearFramePtr = veClearFrameEnv[0];
    clearCount = 0;
}

void veDisplayResetClearBuffers() {
    veClearFramePtr = veClearFrameEnv[veEngineFrame.load() & 1];
    clearCount = 0;
    g_clearOverflowLogged = false;
}

void veDisplayClearFrameBuffer(_ve_view* view, int useZ) {
    if (!view || !veClearFramePtr) return;
    if (clearCount >= static_cast<int>(veEngineClearDMACountLimit)) {
        if (!g_clearOverflowLogged) {
            x_printf("veDisplayClearFrameBuffer: more than %u clears in one frame; the rest are dropped\n",
                     veEngineClearDMACountLimit);
            g_clearOverflowLogged = true;
        }
        return;
    }
    if (veEngineDmaTagRoom() < 16) return;
    ve_display_clear_context ^= 1;
    _ve_clearframe_env* e = veClearFramePtr;
    const short w = static_cast<short>(view->viewPortWidth), h = static_cast<short>(view->viewPortHeight);
    const short x = static_cast<short>(2048 - w / 2), y = static_cast<short>(2048 - h / 2);
    if (ve_display_clear_context) {
        sceGsSetDefDrawEnv2(&e->draw2, static_cast<short>(veFramePSM), w, h, 1,
                            static_cast<short>(veZBufferPSM));
        e->draw2.frame2.FBP = veFrameFBP;
        e->draw2.frame2.FBW = veFrameFBW;
        e->draw2.zbuf2.ZBP = veZBufferFBP;
        e->draw2.zbuf2.ZMSK = useZ ? 0 : 1;
        sceGsSetDefClear2(&e->clear, static_cast<short>(useZ), x, y, w, h, 0, 0, 0, 0, 0);
    } else {
        sceGsSetDefDrawEnv(&e->draw1, static_cast<short>(veFramePSM), w, h, 1,
                           static_cast<short>(veZBufferPSM));
        e->draw1.frame1.FBP = veFrameFBP;
        e->draw1.frame1.FBW = veFrameFBW;
        e->draw1.zbuf1.ZBP = veZBufferFBP;
        e->draw1.zbuf1.ZMSK = useZ ? 0 : 1;
        sceGsSetDefClear(&e->clear, static_cast<short>(useZ), x, y, w, h, 0, 0, 0, 0, 0);
    }
    e->vif[0] = e->vif[1] = e->vif[2] = 0;
    e->vif[3] = kVifDirect15;
    SetTag(&e->giftag, 14);
    uint64_t* tag = reinterpret_cast<uint64_t*>(veEngineDmaTagPtr);
    tag[0] = 16 | (0ull << 28) | (uint64_t(Addr32(e)) << 32);
    tag[1] = 0;
    veDmaAddDmaTask(tag, 1, 1);
    veEngineDmaTagPtr += 16;
    ++veClearFramePtr;
    ++clearCount;
}

void veConvertZviewport2D(_ve_view* view, float z) {
    if (!(z >= 0.0f)) z = 0.0f;
    if (z > 1.0f) z = 1.0f;
    view->zplane2d = view->zbump = 16777215.0f * (1.0f - z);
}

void veChangeZviewport2D(_ve_view* view) {
    view->zbump += 1.0f;
}

int veDisplayHardWareScreenDump() {
    constexpr int kBand = 112;
    constexpr uint32_t kPixels = kWidth * kHeight;
    veDisplayVSyncNoUpdateEnabled.store(1);
    console::VsyncWait();
    scePcStop();
    sceGsStoreImage store[4];
    for (int i = 0; i < 4; ++i) {
        sceGsSetDefStoreImage(&store[i], kDisplayBufferBlock, 10, kPsmCt32, 0, static_cast<short>(i * kBand),
                              kWidth, kBand);
        FlushCache(0);
        console::VsyncWait();
    }
    uint8_t* image = static_cast<uint8_t*>(x_fn_malloc(kPixels * 4, "", 0));
    if (!image) {
        x_printf("veDisplayHardWareScreenDump: no memory for the %u-byte image; no dump written\n",
                 kPixels * 4);
        veDisplayVSyncNoUpdateEnabled.store(0);
        return 1;
    }
    if (veDumpCount >= 1000) veDumpCount = 0;
    char name[32];
    std::snprintf(name, sizeof name, "scrn%03u.raw", veDumpCount);
    for (int i = 0; i < 4; ++i) {
        sceGsSyncPath(0, 0);
        sceGsExecStoreImage(&store[i], image + i * kWidth * kBand * 4);
        sceGsSyncPath(0, 0);
        console::VsyncWait();
    }
    for (int i = 0; i < 60; ++i) console::VsyncWait();
    sceGsResetGraph(1, SCE_GS_INTERLACE, SCE_GS_NTSC, SCE_GS_FIELD);
    for (uint32_t i = 0; i < kPixels; ++i) {
        image[i * 3 + 0] = image[i * 4 + 0];
        image[i * 3 + 1] = image[i * 4 + 1];
        image[i * 3 + 2] = image[i * 4 + 2];
    }
    X_FILE* f = x_fopen(name, "wb");
    if (!f) {
        x_printf("veDisplayHardWareScreenDump: cannot open \"%s\" for writing; no dump written\n", name);
    } else {
        if (x_fwrite(image, 3, static_cast<int>(kPixels), f) != static_cast<int>(kPixels))
            x_printf("veDisplayHardWareScreenDump: \"%s\" was not written whole\n", name);
        x_fclose(f);
    }
    x_free(image);
    veDumpCount += 1;
    console::VsyncWait();
    veDisplayVSyncNoUpdateEnabled.store(0);
    return 1;
}
