#include "host/sdl_window.h"

#include <SDL.h>

namespace host {

SdlWindow::~SdlWindow() {
    Close();
}

bool SdlWindow::Open(const char* title, int width, int height, std::string* error) {
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        if (error) *error = std::string("SDL: cannot start video: ") + SDL_GetError();
        return false;
    }
    // Nearest sampling keeps whole-factor scaling sharp.
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "0");
    SDL_Window* win = SDL_CreateWindow(title, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width, height,
                                       SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI);
    if (!win) {
        if (error) *error = std::string("SDL: cannot open a window: ") + SDL_GetError();
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return false;
    }
    SDL_Renderer* ren = SDL_CreateRenderer(win, -1, SDL_RENDERER_ACCELERATED);
    if (!ren) ren = SDL_CreateRenderer(win, -1, SDL_RENDERER_SOFTWARE);
    if (!ren) {
        if (error) *error = std::string("SDL: cannot create a renderer: ") + SDL_GetError();
        SDL_DestroyWindow(win);
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return false;
    }
    window_ = win;
    renderer_ = ren;
    closed_ = false;
    return true;
}

void SdlWindow::Present(const uint8_t* rgba, int width, int height) {
    if (!renderer_ || !rgba || width <= 0 || height <= 0) return;
    SDL_Renderer* ren = static_cast<SDL_Renderer*>(renderer_);
    if (!texture_ || texW_ != width || texH_ != height) {
        if (texture_) SDL_DestroyTexture(static_cast<SDL_Texture*>(texture_));
        texture_ = SDL_CreateTexture(ren, SDL_PIXELFORMAT_RGBA32, SDL_TEXTUREACCESS_STREAMING, width, height);
        if (!texture_) return;
        texW_ = width;
        texH_ = height;
    }
    SDL_Texture* tex = static_cast<SDL_Texture*>(texture_);
    SDL_UpdateTexture(tex, nullptr, rgba, width * 4);
    int outW = 0, outH = 0;
    SDL_GetRendererOutputSize(ren, &outW, &outH);
    const FitRect r = FitDisplay(outW, outH, width);
    const SDL_Rect dst{r.x, r.y, r.w, r.h};
    SDL_SetRenderDrawColor(ren, 0, 0, 0, 255);
    SDL_RenderClear(ren);
    SDL_RenderCopy(ren, tex, nullptr, &dst);
    SDL_RenderPresent(ren);
}

bool SdlWindow::PumpEvents() {
    SDL_Event ev;
    while (SDL_PollEvent(&ev)) {
        if (hook_) hook_(&ev, hookUser_);
        if (ev.type == SDL_QUIT) closed_ = true;
        if (ev.type == SDL_WINDOWEVENT && ev.window.event == SDL_WINDOWEVENT_CLOSE) closed_ = true;
    }
    return !closed_;
}

void SdlWindow::Close() {
    if (texture_) SDL_DestroyTexture(static_cast<SDL_Texture*>(texture_));
    if (renderer_) SDL_DestroyRenderer(static_cast<SDL_Renderer*>(renderer_));
    if (window_) {
        SDL_DestroyWindow(static_cast<SDL_Window*>(window_));
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }
    texture_ = renderer_ = window_ = nullptr;
    texW_ = texH_ = 0;
}

}  // namespace host
