#include "frontend/sm/sm_progress.h"

#include <cstring>

#include "console/mem/addr.h"
#include "engine/hal/engine.h"
#include "engine/hal/prim.h"
#include "engine/hal/render_context.h"
#include "engine/hal/texture_manager.h"
#include "engine/sys/files.h"
#include "engine/sys/heap.h"

namespace {

void Picture(_FS_BITMAP* picture, float x0, float y0, float x1, float y1) {
    ve_texture_handle* t = veTextureLoadTextureMem(picture);
    if (!t) return;
    veDisplaySetActiveTexture(t);
    _ve_quad q;
    std::memset(&q, 0, sizeof q);
    _ve_vertex* v[4] = {&q.v1, &q.v2, &q.v3, &q.v4};
    const float xs[4] = {x0, x1, x1, x0}, ys[4] = {y0, y0, y1, y1}, ss[4] = {0, 1, 1, 0},
                ts[4] = {0, 0, 1, 1};
    for (int i = 0; i < 4; ++i) {
        v[i]->x = xs[i], v[i]->y = ys[i], v[i]->w = 1.0f, v[i]->q = 1.0f;
        v[i]->s = ss[i], v[i]->t = ts[i];
        v[i]->r = v[i]->g = v[i]->b = v[i]->a = 128;
    }
    vePrimDrawQuad(&q);
}

}  // namespace

_progressBar* SM_InitProgressBar(_FS_BITMAP* background, _FS_BITMAP* bar, int32_t x, int32_t y, int32_t w,
                                 int32_t h, int32_t min, int32_t max, int32_t increment) {
    auto* p = static_cast<_progressBar*>(x_fn_malloc(sizeof(_progressBar), __FILE__, __LINE__));
    if (!p) {
        x_printf("SM_InitProgressBar: no room in the heap for the loading bar\n");
        return nullptr;
    }
    std::memset(p, 0, sizeof *p);
    p->pBackground = background;
    p->pProgressBar = bar;
    p->x = x, p->y = y, p->w = w, p->h = h;
    p->min = min, p->max = max, p->increment = increment;
    p->currentValue = min;
    veDisplayCreateView2D(&p->progressView, 0, 0, veDisplayGetXRes(), veDisplayGetYRes(), 16, 0.001f);
    return p;
}

void SM_LoadProgressBarTextures(_progressBar* bar, const char* background, const char* barPicture) {
    if (!bar) return;
    auto load = [](const char* name) -> _FS_BITMAP* {
        if (!name) return nullptr;
        auto* b = static_cast<_FS_BITMAP*>(x_fn_malloc(64, __FILE__, __LINE__));
        if (!b) {
            x_printf("SM_LoadProgressBarTextures: no room in the heap for %s\n", name);
            return nullptr;
        }
        std::memset(b, 0, 64);
        fsLoadBitmap(b, name);  // a missing file leaves pixdata 0: not drawn
        return b;
    };
    bar->pBackground = load(background);
    bar->pProgressBar = load(barPicture);
    bar->bUnloadTextures = 1;
}

int32_t SM_ProgressBarFilled(const _progressBar* bar) {
    const int32_t range = bar->max - bar->min;
    if (range <= 0) return 0;
    int32_t q = bar->w / range;
    if (q < 2) q += 1;
    const int64_t width = int64_t(bar->currentValue) * q;
    return width > bar->w ? bar->w : int32_t(width < 0 ? 0 : width);
}

void SM_AddProgressBarRange(_progressBar* bar, int32_t more) {
    if (bar) bar->max += more;
}

void SM_DrawProgressBar(_progressBar* bar) {
    if (!bar) return;
    veDisplayActivateView(&bar->progressView);
    veRenderContextEnable(kRenderAlpha | kRenderTexture);
    const float W = float(veDisplayGetXRes()), H = float(veDisplayGetYRes());
    if (bar->pBackground && bar->pBackground->pixdata) Picture(bar->pBackground, 0, 0, W, H);
    const int32_t filled = SM_ProgressBarFilled(bar);
    if (bar->pProgressBar && bar->pProgressBar->pixdata && filled > 0)
        Picture(bar->pProgressBar, float(bar->x), float(bar->y), float(bar->x + filled),
                float(bar->y + bar->h));
}

int32_t SM_StepProgressBar(_progressBar* bar, int32_t steps) {
    if (!bar) return -1;
    if (bar->currentValue >= bar->max) return bar->currentValue;
    veEngineEndFrame();
    veDisplayActivateView(&bar->progressView);
    veEngineBeginFrame();
    for (int32_t i = 0; i < steps && bar->currentValue < bar->max; ++i) bar->currentValue += bar->increment;
    if (bar->currentValue > bar->max) bar->currentValue = bar->max;
    SM_DrawProgressBar(bar);
    veEngineEndFrame();
    return bar->currentValue;
}

void SM_DestroyProgressBar(_progressBar* bar) {
    if (!bar) return;
    if (bar->bUnloadTextures) {
        for (_FS_BITMAP* b : {bar->pBackground, bar->pProgressBar}) {
            if (!b) continue;
            if (b->pixdata) x_free(b->Pixels());
            x_free(b);
        }
    }
    x_free(bar);
}
