// The window of a window run (SDL2): opens at the largest whole multiple of the picture that fits the
// display's usable area and shows each frame at the largest whole scale the window allows, letterboxed.
#pragma once

#include <SDL.h>

#include <cstdint>

#include "host/error.h"

namespace host {

class SdlWindow {
public:
    SdlWindow() = default;
    ~SdlWindow();
    SdlWindow(const SdlWindow&) = delete;
    SdlWindow& operator=(const SdlWindow&) = delete;

    // Starts SDL video and opens a resizable window for a width x height picture; false when there is
    // no display.
    bool Open(const char* title, int width, int height, Error* error);
    // Shows an RGBA picture (R first) of width x height.
    void Present(const uint8_t* rgba, int width, int height);
    // True when the event closes the window.
    bool IsCloseEvent(const SDL_Event& event) const;
    void Close();
    bool IsOpen() const { return window_ != nullptr; }

private:
    SDL_Window* window_ = nullptr;
    SDL_Renderer* renderer_ = nullptr;
    SDL_Texture* texture_ = nullptr;
    int texW_ = 0, texH_ = 0;
};

}  // namespace host
