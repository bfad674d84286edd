// The optional window: shows the displayed picture scaled to the window with the television's 4:3 aspect,
// by a whole factor when one fits. Built only when SDL2 is installed (QZ_HAVE_SDL2); the fitting rule
// below needs no SDL and is always available.
#pragma once

#include <cstdint>
#include <string>

namespace host {

struct FitRect {
    int x, y, w, h;
};

// Where a srcW x srcH picture meant for a 4:3 screen goes in a winW x winH window: the largest 4:3 box of
// srcW * k x (srcW * 3 / 4) * k for a whole k >= 1 when it fits, else the largest 4:3 box, centred.
inline FitRect FitDisplay(int winW, int winH, int srcW) {
    if (winW <= 0 || winH <= 0 || srcW <= 0) return FitRect{0, 0, 0, 0};
    const int boxW = srcW, boxH = srcW * 3 / 4;
    int w, h;
    const int k = winW / boxW < winH / boxH ? winW / boxW : winH / boxH;
    if (k >= 1) {
        w = boxW * k;
        h = boxH * k;
    } else if (winW * 3 <= winH * 4) {
        w = winW;
        h = winW * 3 / 4;
    } else {
        h = winH;
        w = winH * 4 / 3;
    }
    return FitRect{(winW - w) / 2, (winH - h) / 2, w, h};
}

#ifdef QZ_HAVE_SDL2
class SdlWindow {
public:
    // Called for every SDL event (a pointer to SDL_Event) before the window looks at it: keyboard and
    // gamepads are the host's business.
    using EventHook = void (*)(const void* sdlEvent, void* user);

    SdlWindow() = default;
    ~SdlWindow();
    SdlWindow(const SdlWindow&) = delete;
    SdlWindow& operator=(const SdlWindow&) = delete;

    // Starts SDL video and opens a resizable window; false with a message when there is no display.
    bool Open(const char* title, int width, int height, std::string* error);
    void SetEventHook(EventHook hook, void* user) {
        hook_ = hook;
        hookUser_ = user;
    }
    // Shows an RGBA picture (R first) of width x height.
    void Present(const uint8_t* rgba, int width, int height);
    // Handles pending events; false once the window has been closed.
    bool PumpEvents();
    void Close();
    bool IsOpen() const { return window_ != nullptr; }

private:
    void* window_ = nullptr;    // SDL_Window
    void* renderer_ = nullptr;  // SDL_Renderer
    void* texture_ = nullptr;   // SDL_Texture
    int texW_ = 0, texH_ = 0;
    bool closed_ = false;
    EventHook hook_ = nullptr;
    void* hookUser_ = nullptr;
};
#endif

}  // namespace host
