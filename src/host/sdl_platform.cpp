// The window platform (SDL2): the picture in a window, sound through the speakers, keyboard and gamepads
// on pads 1 and 2. Everything is closed explicitly when the run ends, never from a static destructor.
#include <SDL.h>

#include <cstdio>

#include "host/held_stderr.h"
#include "host/platform.h"
#include "host/sdl_audio.h"
#include "host/sdl_input.h"
#include "host/sdl_window.h"

namespace host {
namespace {

constexpr int kAudioBufferFrames = 1024;

class SdlPlatform final : public Platform {
public:
    ~SdlPlatform() override { Close(); }

    bool Open(const WindowSetup& setup, int width, int height, Error* error) {
        // What the libraries print while they look for the devices comes after the program's own lines.
        HeldStderr held;
        // SIGINT and SIGTERM are the program's (they end the run, its files finished): SDL would turn them
        // into a quit event, and a run stopped so would end as if its window had been closed, with 0.
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        if (!window_.Open("qz", width, height, error)) return false;
        Error why;
        // A machine without sound or gamepads still plays.
        if (setup.sound && !audio_.Open(kAudioBufferFrames, &why))
            HeldStderr::Say("qz: %s; playing without sound\n", why.Text());
        // The keyboard needs nothing started, so pad 1 follows it even without gamepad support.
        readInput_ = setup.input;
        if (setup.input && !input_.Init(&why))
            HeldStderr::Say("qz: %s; the keyboard still drives pad 1\n", why.Text());
        return true;
    }

    void PresentFrame(const uint8_t* rgba, int width, int height) override {
        window_.Present(rgba, width, height);
    }
    void QueueSound(const int16_t* stereo, int frames) override { audio_.Queue(stereo, frames); }
    void ReadInput() override {
        if (readInput_) input_.Update();
    }
    bool PollQuit() override {
        SDL_Event event;
        while (SDL_PollEvent(&event)) {
            if (readInput_) input_.HandleEvent(event);
            if (window_.IsCloseEvent(event)) quit_ = true;
        }
        return quit_;
    }
    void Close() override {
        input_.Close();
        audio_.Close();
        window_.Close();
        if (SDL_WasInit(0)) SDL_Quit();
    }

private:
    SdlWindow window_;
    SdlAudio audio_;
    SdlInput input_;
    bool readInput_ = false;
    bool quit_ = false;
};

}  // namespace

std::unique_ptr<Platform> OpenWindowPlatform(const WindowSetup& setup, Error* error) {
    auto platform = std::make_unique<SdlPlatform>();
    if (!platform->Open(setup, setup.width, setup.height, error)) return nullptr;
    return platform;
}

}  // namespace host
