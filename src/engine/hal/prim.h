// Immediate-mode primitives: lines, triangles and quads of engine vertices, packed with the current
// render state into VIF1 packets for the VU1 primitive program, in a per-frame buffer closed into DMA
// tasks whenever the render environment changes, when asked, and at the begin of the next frame.
#pragma once

#include <cstdint>

struct _ve_render_environment_header;

struct _ve_vertex {
    float x, y, z, w;
    float s, t, q, pad;
    uint32_t r, g, b, a;  // 0..255, 128 = full intensity
};
static_assert(sizeof(_ve_vertex) == 48);

struct _ve_line {
    _ve_vertex v1, v2;
};
struct _ve_triangle {
    _ve_vertex v1, v2, v3;
};
// Drawn as the fan v1 v2 v3, v1 v3 v4: corners in order around the edge.
struct _ve_quad {
    _ve_vertex v1, v2, v3, v4;
};

struct _ve_prim_header {
    uint8_t* bufAlloc;
    uint8_t* bufStart;
    uint8_t* bufCur;  // the open packet's DMA tag
    uint8_t* bufEnd;
    uint8_t* ptr;  // first free byte
    uint32_t dirty;
};

extern _ve_prim_header vePrimHeaders[2];
extern _ve_prim_header* vePrimBuild;
extern _ve_prim_header* vePrimExecute;

void vePrimAllocateBuffers();
void vePrimInitSystem();
void vePrimDrawLine(_ve_line* line);
void vePrimDrawTri(_ve_triangle* tri);
void vePrimDrawQuad(_ve_quad* quad);
void vePrimSendBuffers();
void vePrimFlushBuffers();
void vePrimFlipBuffers();
void vePrimSetProjectionReady();
void vePrimFlipContext();
int vePrimGetContext();
void vePrimSetNewDrawEnvironment();
void vePrimClearNewDrawEnvironment();
void vePrimAddDrawEnvironment(const _ve_render_environment_header* header);
void vePrimSetTexturing(uint32_t on);
void vePrimSetShading(uint32_t on);
void vePrimSetFog(uint32_t on);
void vePrimSetAlpha(uint32_t on);

// Primitives dropped because the buffer was full, since start-up.
uint32_t vePrimDropped();
