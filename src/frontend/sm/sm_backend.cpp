// The screen manager's back end: screen memory from the resource module, drawing from the display
// lists and the drawing back end.
#include <cstring>

#include "console/mem/addr.h"
#include "engine/sys/files.h"
#include "engine/sys/heap.h"
#include "frontend/sm/sm_core.h"
#include "frontend/sm/sm_dlist.h"
#include "frontend/sm/sm_draw.h"
#include "frontend/sm/sm_resource.h"

namespace {

bool Valid(int32_t screen) {
    return screen >= 0 && screen < Resource.nScreens && Resource.Screens[size_t(screen)].Address;
}

// The clip rectangle SM_DLCombineWithDC worked out for the last node it applied.
const _smdlhdr* g_lastNode = nullptr;
_dl_bound g_lastClip{};

void Start(int width, int height) {
    if (!Resource.Loaded) SM_InitResourceModule();
    DRAW_Init();
    SM_InitDListModule(width, height);
}

void Stop() {
    SM_KillDListModule();
    SM_KillResourceModule();
}

void Resolution(int* width, int* height) {
    int16_t w, h;
    ENG_GetResolution(&w, &h);
    *width = w, *height = h;
}

int NumScreens() {
    return Resource.nScreens;
}

_smdlhdr* GetScreen(int screen) {
    return Valid(screen) ? SM_ResScreenRoot(screen) : nullptr;
}

void DrawList(_smdlhdr* node, _sm_dldc* dc) {
    SM_DrawDisplayList(node, dc);
}

void DrawChildren(_smdlhdr* first, _sm_dldc* dc) {
    SM_DrawChildDisplayList(first, dc);
}

void Combine(_smdlhdr* node, _sm_dldc* dc) {
    _dl_bound b, c;
    if (SM_DLCombineWithDC(&b, &c, node, dc)) {
        g_lastNode = node;
        g_lastClip = c;
    } else {
        g_lastNode = nullptr;
    }
}

void DrawText(_sm_textnode* text, _sm_dldc* dc) {
    SM_DLDrawTextString(&text->Hdr, dc);
}

void ClipRect(_smdlhdr* node, const _sm_dldc* dc, _dl_bound* out) {
    *out = node == g_lastNode ? g_lastClip : dc->Rgn;
}

_dl_bound SetClip(const _dl_bound& clip) {
    _dl_bound old;
    ENG_Get2DClipArea(&old.L, &old.T, &old.R, &old.B);
    ENG_Set2DClipArea(clip.L, clip.T, clip.R, clip.B);
    return old;
}

void ResetDepth() {
    DRAW_BeginFrame();
}

const _sm_backend kBackend = {
    Start,
    Stop,
    Resolution,
    ENG_GetRunTime,
    NumScreens,
    SM_ResLoadScreen,
    SM_ResReleaseScreen,
    GetScreen,
    SM_ResReleaseAllScreens,
    SM_ResPristineRoot,
    DrawList,
    DrawChildren,
    Combine,
    DrawText,
    ClipRect,
    SetClip,
    SM_DLFlush,
    DRAW_ClearMode,
    ResetDepth,
};

}  // namespace

_smdlhdr* SM_ResLoadScreen(int32_t screen) {
    if (!Valid(screen)) return nullptr;
    const _sm_screenentry_file& e = Resource.Screens[size_t(screen)];
    uint8_t*& copy = Resource.ScreenCopies[size_t(screen)];
    if (Resource.UseCounts[size_t(screen)] == 0 && Resource.Preload && !copy) {
        copy = static_cast<uint8_t*>(x_fn_amalloc(e.Size, 16));
        if (!copy) {
            x_printf("SM resource: no room in the heap for a copy of screen %d (%u bytes)\n", screen, e.Size);
            return nullptr;
        }
        std::memcpy(copy, Ptr<uint8_t>(e.Address), e.Size);
    }
    Resource.UseCounts[size_t(screen)] += 1;
    return SM_ResScreenRoot(screen);
}

void SM_ResReleaseScreen(int32_t screen) {
    if (!Valid(screen)) return;
    int16_t& uses = Resource.UseCounts[size_t(screen)];
    if (uses > 0) uses -= 1;
    if (uses != 0) return;
    uint8_t*& copy = Resource.ScreenCopies[size_t(screen)];
    if (copy) {
        const _sm_screenentry_file& e = Resource.Screens[size_t(screen)];
        std::memcpy(Ptr<uint8_t>(e.Address), copy, e.Size);
        x_free(copy);
        copy = nullptr;
    }
}

void SM_ResReleaseAllScreens(int32_t force) {
    for (int32_t k = 0; k < Resource.nScreens; ++k) {
        if (!force && (Resource.LockBits[size_t(k)] & SM_SCREEN_LOCK_INSTANCE)) continue;
        Resource.UseCounts[size_t(k)] = 1;
        SM_ResReleaseScreen(k);
    }
}

_smdlhdr* SM_ResPristineRoot(int32_t screen) {
    if (!Valid(screen) || !Resource.ScreenCopies[size_t(screen)]) return nullptr;
    return reinterpret_cast<_smdlhdr*>(Resource.ScreenCopies[size_t(screen)]);
}

void SM_InstallResourceBackend() {
    SM_SetBackend(&kBackend);
}
