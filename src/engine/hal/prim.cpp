#include "engine/hal/prim.h"

#include <cstring>

#include "console/kernel/intc.h"
#include "console/mem/addr.h"
#include "engine/hal/display.h"
#include "engine/hal/dma_tasks.h"
#include "engine/hal/engine.h"
#include "engine/hal/microcode.h"
#include "engine/hal/render_context.h"
#include "engine/hal/view_matrices.h"
#include "engine/sys/heap.h"

_ve_prim_header vePrimHeaders[2];
_ve_prim_header* vePrimBuild = nullptr;
_ve_prim_header* vePrimExecute = nullptr;

namespace {

uint8_t* g_buffers[2] = {nullptr, nullptr};
uint32_t g_bufferBytes = 0;
int g_context = 0;
uint32_t g_texturing = 0, g_shading = 0, g_fog = 0, g_alpha = 0;
uint32_t g_newEnvironment = 0;
uint32_t g_projectionNeeded = 0;
uint32_t g_dropped = 0;

constexpr uint32_t kProjectionBytes = 208;

void ResetHeader(_ve_prim_header* h, uint8_t* buf) {
    h->bufAlloc = buf;
    h->bufStart = h->bufCur = h->ptr = buf;
    h->bufEnd = buf ? buf + g_bufferBytes : nullptr;
    h->dirty = 0;
    if (buf) h->ptr += 16;  // room for the first packet's DMA tag
}

void Put32(uint8_t*& p, uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
    const uint32_t w[4] = {a, b, c, d};
    std::memcpy(p, w, 16);
    p += 16;
}

// Closes the open packet into a DMA task (only when it holds a primitive).
void ClosePacket(_ve_prim_header* h) {
    if (!h || !h->dirty) return;
    veEngineSetPrimitiveMicroCode();
    const uint32_t qwc = static_cast<uint32_t>((h->ptr - (h->bufCur + 16)) / 16);
    const uint64_t tag[2] = {
        uint64_t(qwc) | (7ull << 28) | (uint64_t(PhysAddr(Addr32(h->bufCur + 16))) << 32), 0};
    std::memcpy(h->bufCur, tag, 16);
    veDmaAddDmaTask(h->bufCur, 1, 0);
    h->bufCur = h->ptr;
    h->ptr += 16;
    h->dirty = 0;
}

void AppendProjection(_ve_prim_header* h) {
    g_projectionNeeded = 0;
    if (h->ptr + kProjectionBytes >= h->bufEnd) return;
    if (veDisplayActiveView) veEngineBuildView(veDisplayActiveView);
    uint8_t* p = h->ptr;
    Put32(p, 0, 0, 0x11000000, 0x6C0C0000);  // FLUSH, UNPACK V4-32 12 qw to 0
    std::memcpy(p, veEngineLocalToScreen, 64);
    std::memcpy(p + 64, veEngineLocalToClip, 64);
    std::memcpy(p + 128, veEngineClipToScreen, 64);
    h->ptr = p + 192;
    // The projection rebuilt above raised the mark again; it is in the buffer now.
    g_projectionNeeded = 0;
}

void Draw(_ve_vertex* v, uint32_t n, uint32_t primType) {
    _ve_prim_header* h = vePrimBuild;
    if (!h || !h->bufAlloc) return;
    _ve_view* view = veDisplayActiveView;
    if (view && (view->sytemFlags & kView2D)) {
        for (uint32_t i = 0; i < n; ++i) v[i].z = view->zbump;
        view->zbump += 1.0f;
    }
    if (g_newEnvironment) {
        _ve_render_environment_header env;
        veRenderGetEnvironment(&env);
        vePrimAddDrawEnvironment(&env);
        g_newEnvironment = 0;
    }
    if (g_projectionNeeded) AppendProjection(h);
    const uint32_t bytes = 80 + 48 * n + 16;
    if (h->ptr + bytes >= h->bufEnd) {
        ++g_dropped;
        return;
    }
    uint8_t* p = h->ptr;
    Put32(p, 0, 0, 0, 0x6C038000);  // UNPACK V4-32, 3 qw to TOPS + 0
    Put32(p, 2, 1, 0, 0);
    Put32(p, 2 * n, 0, 0, 0);
    const uint64_t prim = uint64_t(primType) | (uint64_t(g_shading) << 3) | (uint64_t(g_texturing) << 4) |
                          (uint64_t(g_fog) << 5) | (uint64_t(g_alpha) << 6) | (uint64_t(g_context) << 9);
    const uint64_t giftag[2] = {uint64_t(n) | (1ull << 15) | (1ull << 46) | (prim << 47) | (3ull << 60),
                                0x512};
    std::memcpy(p, giftag, 16);
    p += 16;
    Put32(p, 0, 0, 0, 0x6C008003u | ((3 * n) << 16));  // UNPACK V4-32, 3n qw to TOPS + 3
    std::memcpy(p, v, 48 * n);
    p += 48 * n;
    Put32(p, 0x17000000, 0, 0, 0);  // MSCNT
    h->ptr = p;
    h->dirty = 1;
}

}  // namespace

void vePrimAllocateBuffers() {
    const bool had = g_buffers[0] || g_buffers[1];
    if (had) {
        // The DMA may still read the old buffers until the list has run.
        while (!veDmaTasksAreComplete()) {
        }
        for (auto& b : g_buffers) {
            x_free(b);
            b = nullptr;
        }
    }
    g_bufferBytes = veEnginePrimBufferLimit & ~15u;
    for (auto& b : g_buffers) {
        b = static_cast<uint8_t*>(x_fn_malloc(g_bufferBytes, "", 0));
        if (b) {
            b = Uncached(b);
            std::memset(b, 0, g_bufferBytes);
        }
    }
    FlushCache(0);
    if (had) {
        ResetHeader(&vePrimHeaders[0], g_buffers[0]);
        ResetHeader(&vePrimHeaders[1], g_buffers[1]);
    }
}

void vePrimInitSystem() {
    g_context = 0;
    ResetHeader(&vePrimHeaders[0], g_buffers[0]);
    ResetHeader(&vePrimHeaders[1], g_buffers[1]);
    vePrimExecute = &vePrimHeaders[0];
    vePrimBuild = &vePrimHeaders[1];
}

void vePrimDrawLine(_ve_line* l) {
    Draw(&l->v1, 2, 1);
}
void vePrimDrawTri(_ve_triangle* t) {
    Draw(&t->v1, 3, 3);
}
void vePrimDrawQuad(_ve_quad* q) {
    Draw(&q->v1, 4, 5);
}

void vePrimSendBuffers() {
    ClosePacket(vePrimBuild);
}

void vePrimFlushBuffers() {
    _ve_prim_header* h = vePrimBuild;
    if (!h) return;
    ClosePacket(h);
    ResetHeader(h, h->bufAlloc);
}

void vePrimFlipBuffers() {
    _ve_prim_header* t = vePrimBuild;
    vePrimBuild = vePrimExecute;
    vePrimExecute = t;
}

void vePrimSetProjectionReady() {
    g_projectionNeeded = 1;
}
void vePrimFlipContext() {
    g_context ^= 1;
}
int vePrimGetContext() {
    return g_context;
}
void vePrimSetNewDrawEnvironment() {
    g_newEnvironment = 1;
}
void vePrimClearNewDrawEnvironment() {
    g_newEnvironment = 0;
}

void vePrimAddDrawEnvironment(const _ve_render_environment_header* header) {
    _ve_prim_header* h = vePrimBuild;
    if (!h || !h->bufAlloc || !header || !header->env) return;
    ClosePacket(h);
    if (h->ptr + header->size < h->bufEnd) {
        std::memcpy(h->ptr, header->env, header->size);
        h->ptr += (header->size + 15) & ~15u;
    } else {
        ++g_dropped;
    }
}

void vePrimSetTexturing(uint32_t on) {
    g_texturing = on ? 1 : 0;
}
void vePrimSetShading(uint32_t on) {
    g_shading = on ? 1 : 0;
}
void vePrimSetFog(uint32_t on) {
    g_fog = on ? 1 : 0;
}
void vePrimSetAlpha(uint32_t on) {
    g_alpha = on ? 1 : 0;
}

uint32_t vePrimDropped() {
    return g_dropped;
}
