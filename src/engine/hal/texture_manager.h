// The per-frame side of the texture manager that the frame protocol needs: the texture handle record,
// start-up, and the reset at every frame begin (draw-environment slots, default environments, clear
// buffers). The graphics-memory pool and uploads belong to the texture loader built on this.
#pragma once

#include <cstdint>

// A texture resident in graphics memory for the current frame (32 bytes: it lives inside a DMA record).
struct ve_texture_handle {
    uint16_t width, height;
    uint32_t texAdr;     // GS block of the image
    uint32_t zBuffAddr;  // GS block of a render buffer's Z buffer, 0 otherwise
    uint32_t palAdr;     // GS block of the palette, 0 if none
    uint32_t bufWidth;   // buffer width in 64-pixel units
    uint16_t width2, height2;  // log2 of width and height
    uint16_t texType;    // pixel format
    uint16_t flags;
    uint32_t texData;    // address of the bitmap's pixels; 0 once overwritten and for render buffers
};
static_assert(sizeof(ve_texture_handle) == 32);

extern uint32_t veTextureFrame;

void veTextureInitTextureManager();
void veTextureResetTextureManager();
