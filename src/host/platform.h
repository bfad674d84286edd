// The host platform: where a run's picture, sound and pad input meet the machine. One narrow interface
// with two implementations chosen when the program starts: headless (nothing shown or heard, the pads
// left to scripts) and a window (SDL2: picture, speakers, keyboard and gamepads).
#pragma once

#include <cstdint>
#include <memory>

#include "host/error.h"

namespace host {

class Platform {
public:
    virtual ~Platform() = default;

    // Shows an RGBA picture (R first) of width x height.
    virtual void PresentFrame(const uint8_t* rgba, int width, int height) = 0;
    // Queues interleaved 16-bit stereo frames for playing.
    virtual void QueueSound(const int16_t* stereo, int frames) = 0;
    // Hands the machine's keyboard and gamepads to pads 1 and 2.
    virtual void ReadInput() = 0;
    // Handles pending events; true once the user has asked to quit.
    virtual bool PollQuit() = 0;
    // Releases what the platform holds; safe to call more than once.
    virtual void Close() = 0;
};

struct WindowSetup {
    int width, height;  // the picture's size
    bool sound;         // play sound through the speakers
    bool input;         // read the keyboard and gamepads
};

std::unique_ptr<Platform> MakeHeadlessPlatform();
// Null with the reason in `error` when there is no display or the build has no window support. A lost
// display later ends the program at once with a message and exit status 1.
std::unique_ptr<Platform> OpenWindowPlatform(const WindowSetup& setup, Error* error);

}  // namespace host
