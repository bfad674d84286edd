#include "host/sdl_window.h"

#include <SDL_syswm.h>
#include <dlfcn.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "host/display_fit.h"

namespace host {
namespace {

// Xlib calls this when the connection to the X server is gone (the server stopped, a remote session
// dropped). Nothing more can be drawn and no SDL call may touch the dead connection, so the program
// ends here, at once; Xlib would otherwise exit through the static destructors.
int OnDisplayLost(void*) {
    static const char kMessage[] =
        "qz: the display went away (lost the connection to the X server); the game has stopped\n";
    if (write(STDERR_FILENO, kMessage, sizeof kMessage - 1) < 0) {
    }
    _exit(1);
}

// Watches the X server's socket from a thread of its own: a game frame can take a while, and the end of
// the connection must end the program within a second whatever the game is doing.
std::atomic<bool> g_watching{false};

void WatchSocket(int fd) {
    while (g_watching) {
        pollfd p{fd, POLLRDHUP, 0};
        // Woken now and then to see whether the window was closed on purpose.
        const int ready = poll(&p, 1, 100);
        if (!g_watching) return;
        if (ready > 0 && (p.revents & (POLLHUP | POLLERR | POLLRDHUP | POLLNVAL))) OnDisplayLost(nullptr);
    }
}

// SDL loads Xlib itself; reach it through the library SDL has already loaded.
void WatchForLostDisplay(SDL_Window* window) {
    const char* driver = SDL_GetCurrentVideoDriver();
    if (!driver || std::strcmp(driver, "x11") != 0) return;
    void* xlib = dlopen("libX11.so.6", RTLD_LAZY | RTLD_NOLOAD);
    if (!xlib) return;
    using Handler = int (*)(void*);
    using SetHandler = Handler (*)(Handler);
    auto set = reinterpret_cast<SetHandler>(dlsym(xlib, "XSetIOErrorHandler"));
    if (set) set(&OnDisplayLost);
    using ConnectionNumber = int (*)(void*);
    auto connection = reinterpret_cast<ConnectionNumber>(dlsym(xlib, "XConnectionNumber"));
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (connection && SDL_GetWindowWMInfo(window, &info) && info.subsystem == SDL_SYSWM_X11) {
        g_watching = true;
        std::thread(WatchSocket, connection(info.info.x11.display)).detach();
    }
    dlclose(xlib);
}

// SDL falls back to drivers that draw nowhere when there is no display; a window run needs a real one.
bool HasRealDisplay() {
    const char* driver = SDL_GetCurrentVideoDriver();
    if (!driver) return false;
    if (std::strcmp(driver, "offscreen") != 0 && std::strcmp(driver, "dummy") != 0) return true;
    const char* asked = std::getenv("SDL_VIDEODRIVER");
    return asked && std::strcmp(asked, driver) == 0;
}

// Why no window could be opened: no display named, or the one named does not answer (SDL's own error then
// only says that it fell back to a driver that draws nowhere).
bool NoDisplay(Error* error) {
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if (display && *display)
        return error->Set(
            "--window cannot open the display DISPLAY='%s' (no X server answers there); start one, set "
            "DISPLAY to one that runs, or run without --window",
            display);
    if (wayland && *wayland)
        return error->Set(
            "--window cannot open the display WAYLAND_DISPLAY='%s' (no compositor answers there); set "
            "DISPLAY "
            "or WAYLAND_DISPLAY to one that runs, or run without --window",
            wayland);
    return error->Set("--window found no display (DISPLAY is not set); set DISPLAY or run without --window");
}

// The driver SDL_VIDEODRIVER names did not start: SDL's own reason, with the drivers this SDL has when
// the name is none of them.
bool AskedDriverFailed(const char* asked, Error* error) {
    const std::string reason = SDL_GetError();
    std::string known;
    bool found = false;
    for (int i = 0; i < SDL_GetNumVideoDrivers(); ++i) {
        const char* name = SDL_GetVideoDriver(i);
        if (!name) continue;
        found = found || SDL_strcasecmp(name, asked) == 0;
        known += known.empty() ? name : std::string(", ") + name;
    }
    if (!found)
        return error->Set(
            "--window cannot start SDL's video driver SDL_VIDEODRIVER='%s' (%s): SDL has no such driver; "
            "name one it has (%s), unset SDL_VIDEODRIVER, or run without --window",
            asked, reason.c_str(), known.c_str());
    return error->Set(
        "--window cannot start SDL's video driver SDL_VIDEODRIVER='%s' (%s); check that the display it "
        "draws on runs (DISPLAY, WAYLAND_DISPLAY), unset SDL_VIDEODRIVER, or run without --window",
        asked, reason.c_str());
}

}  // namespace

SdlWindow::~SdlWindow() {
    Close();
}

bool SdlWindow::Open(const char* title, int width, int height, Error* error) {
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        // A driver asked for by name failed for a reason of its own, which SDL gives.
        const char* asked = std::getenv("SDL_VIDEODRIVER");
        return asked && *asked ? AskedDriverFailed(asked, error) : NoDisplay(error);
    }
    if (!HasRealDisplay()) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return NoDisplay(error);
    }
    SDL_Rect usable{0, 0, width, height};
    if (SDL_GetDisplayUsableBounds(0, &usable) != 0) usable = SDL_Rect{0, 0, width, height};
    const int scale = WholeScale(usable.w, usable.h, width, height);
    // Nearest sampling keeps whole-factor scaling sharp.
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "0");
    window_ = SDL_CreateWindow(title, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width * scale,
                               height * scale, SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI);
    if (window_) {
        renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_ACCELERATED);
        if (!renderer_) renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_SOFTWARE);
    }
    if (!renderer_) {
        error->Set("cannot open a window: %s", SDL_GetError());
        Close();
        return false;
    }
    WatchForLostDisplay(window_);
    return true;
}

void SdlWindow::Present(const uint8_t* rgba, int width, int height) {
    if (!renderer_ || !rgba || width <= 0 || height <= 0) return;
    if (!texture_ || texW_ != width || texH_ != height) {
        if (texture_) SDL_DestroyTexture(texture_);
        texture_ =
            SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_RGBA32, SDL_TEXTUREACCESS_STREAMING, width, height);
        if (!texture_) return;
        texW_ = width;
        texH_ = height;
    }
    SDL_UpdateTexture(texture_, nullptr, rgba, width * 4);
    int outW = 0, outH = 0;
    SDL_GetRendererOutputSize(renderer_, &outW, &outH);
    const FitRect r = FitDisplay(outW, outH, width, height);
    const SDL_Rect dst{r.x, r.y, r.w, r.h};
    SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
    SDL_RenderClear(renderer_);
    SDL_RenderCopy(renderer_, texture_, nullptr, &dst);
    SDL_RenderPresent(renderer_);
}

bool SdlWindow::IsCloseEvent(const SDL_Event& event) const {
    return event.type == SDL_QUIT ||
           (event.type == SDL_WINDOWEVENT && event.window.event == SDL_WINDOWEVENT_CLOSE);
}

void SdlWindow::Close() {
    g_watching = false;  // the connection is about to end on purpose
    if (texture_) SDL_DestroyTexture(texture_);
    if (renderer_) SDL_DestroyRenderer(renderer_);
    if (window_) SDL_DestroyWindow(window_);
    if (SDL_WasInit(SDL_INIT_VIDEO)) SDL_QuitSubSystem(SDL_INIT_VIDEO);
    texture_ = nullptr;
    renderer_ = nullptr;
    window_ = nullptr;
    texW_ = texH_ = 0;
}

}  // namespace host
