// Display lists: drawing a screen's node tree with a draw context that carries the origin, opacity,
// scale, inherited flags and clip region down the tree.
#pragma once

#include <cstdint>

#include "frontend/sm/sm_resource_format.h"

// The draw state cache: cleared by screens and by foreign render procedures.
extern int32_t DrawValid;

void SM_InitDListModule(int32_t width, int32_t height);
void SM_KillDListModule();
// A context for drawing a screen: origin 0, opacity 128, scale 1, the whole screen.
_sm_dldc SM_DLRootContext();

void SM_DrawDisplayList(_smdlhdr* node, const _sm_dldc* dc);
void SM_DrawChildDisplayList(_smdlhdr* first, const _sm_dldc* dc);
void DrawDisplayNode(_smdlhdr* node, const _sm_dldc* dc);

void SM_DLDrawScreen(_smdlhdr* node, const _sm_dldc* dc);
void SM_DLDrawSprite(_smdlhdr* node, const _sm_dldc* dc);
void SM_DLDrawGouraudRect(_smdlhdr* node, const _sm_dldc* dc);
void SM_DLDrawTextString(_smdlhdr* node, const _sm_dldc* dc);
void SM_DLDrawTextStringVemoFont(_smdlhdr* node, const _sm_dldc* dc);
void SM_DLDrawInstance(_smdlhdr* node, const _sm_dldc* dc);

// Applies a node to a context (in place): flags, alpha, origin and region; the node's bounds and clip
// rectangle. Returns 0 when the node is not drawn.
int SM_DLCombineWithDC(_dl_bound* bounds, _dl_bound* clip, const _smdlhdr* node, _sm_dldc* dc);
// Intersects a with b in place; 0 (a made one pixel wide or high) when empty.
int SM_DLMergeBounds(_dl_bound* a, const _dl_bound* b);
_smdlhdr* SM_DLFindObjectByID(_smdlhdr* node, int16_t id);
void SM_DLSetHighlighted(_smdlhdr* node, int on);
int32_t SM_DLTextPixelWidth(int32_t font, const char* text, int32_t length);
void SM_DLFlush();
