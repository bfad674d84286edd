// Where the 640 x 448 picture goes on the screen: whole scales only, so every console pixel becomes the
// same square of screen pixels, with the picture's own shape kept.
#pragma once

namespace host {

struct FitRect {
    int x, y, w, h;
};

// The largest whole factor at which a srcW x srcH picture fits an areaW x areaH area; 1 when none does.
inline int WholeScale(int areaW, int areaH, int srcW, int srcH) {
    if (srcW <= 0 || srcH <= 0) return 1;
    const int kw = areaW / srcW, kh = areaH / srcH;
    const int k = kw < kh ? kw : kh;
    return k >= 1 ? k : 1;
}

// Where a srcW x srcH picture goes in a winW x winH window, centred: srcW * k x srcH * k for the largest
// whole k that fits; a window smaller than the picture gets the largest box of the picture's shape.
inline FitRect FitDisplay(int winW, int winH, int srcW, int srcH) {
    if (winW <= 0 || winH <= 0 || srcW <= 0 || srcH <= 0) return FitRect{0, 0, 0, 0};
    int w, h;
    if (winW >= srcW && winH >= srcH) {
        const int k = WholeScale(winW, winH, srcW, srcH);
        w = srcW * k;
        h = srcH * k;
    } else if (static_cast<long>(winW) * srcH <= static_cast<long>(winH) * srcW) {
        w = winW;
        h = static_cast<int>(static_cast<long>(winW) * srcH / srcW);
    } else {
        h = winH;
        w = static_cast<int>(static_cast<long>(winH) * srcW / srcH);
    }
    return FitRect{(winW - w) / 2, (winH - h) / 2, w, h};
}

}  // namespace host
