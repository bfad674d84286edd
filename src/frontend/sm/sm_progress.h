// The loading bar: a full-screen picture with a bar picture stretched over a growing rectangle. Each
// step draws a whole frame of its own.
#pragma once

#include <cstdint>

#include "engine/hal/display.h"
#include "engine/sys/bitmap.h"

struct _progressBar {
    _FS_BITMAP* pBackground;
    _FS_BITMAP* pProgressBar;
    int32_t x, y, w, h;
    int32_t min, max;
    int32_t increment;
    int32_t currentValue;
    _ve_view progressView;
    int32_t bUnloadTextures;
};

_progressBar* SM_InitProgressBar(_FS_BITMAP* background, _FS_BITMAP* bar, int32_t x, int32_t y, int32_t w,
                                 int32_t h, int32_t min, int32_t max, int32_t increment);
// Loads the pictures (null name: none); the bar owns them from now on.
void SM_LoadProgressBarTextures(_progressBar* bar, const char* background, const char* barPicture);
// Draws the loading screen with the bar at its current value into the frame being built (its own view,
// nothing stepped). A null bar draws nothing.
void SM_DrawProgressBar(_progressBar* bar);
// Advances by `steps` increments (stopping at max) and draws a frame; the current value, or -1
// without a bar. A full bar returns at once without drawing.
int32_t SM_StepProgressBar(_progressBar* bar, int32_t steps);
// Widens the range by `more` (the resource module's share of the steps).
void SM_AddProgressBarRange(_progressBar* bar, int32_t more);
// The filled width in pixels for the current value.
int32_t SM_ProgressBarFilled(const _progressBar* bar);
void SM_DestroyProgressBar(_progressBar* bar);
