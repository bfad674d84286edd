// Plays the mixed sound through SDL2 in a window run: 48 kHz stereo 16-bit, a device buffer of 512-1024
// frames. The mixer's output is queued as it is produced (the window platform's QueueSound);
// with the clock in real time production keeps pace with the device, and a queue that grows past a few
// buffers (a stall) is cut back so sound never lags far behind the picture.
#pragma once

#include <SDL.h>

#include <cstdint>

#include "host/error.h"

namespace host {

class SdlAudio {
public:
    SdlAudio() = default;
    ~SdlAudio();
    SdlAudio(const SdlAudio&) = delete;
    SdlAudio& operator=(const SdlAudio&) = delete;

    // Opens the default output device; false when there is none.
    bool Open(int bufferFrames, Error* error);
    void Close();
    bool IsOpen() const { return device_ != 0; }
    void Queue(const int16_t* stereo, int frames);

private:
    SDL_AudioDeviceID device_ = 0;
    uint32_t maxQueuedBytes_ = 0;
};

}  // namespace host
