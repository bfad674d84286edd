// Writes 16-bit stereo PCM to a WAV file as it arrives (the headless run's sound). The header's sizes
// are filled in when the file is closed.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "host/error.h"

namespace host {

class WavWriter {
public:
    WavWriter() = default;
    ~WavWriter();
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    // Creates the file; false when it cannot be written.
    bool Open(const char* path, int sampleRate, Error* error);
    // Appends interleaved left/right frames; false from the first write that fails.
    bool Write(const int16_t* stereo, int frames, Error* error);
    // Finishes the header and closes; false on a write error.
    bool Close(Error* error);

    bool IsOpen() const { return file_ != nullptr; }
    uint64_t Frames() const { return frames_; }

    // A console::SpuSink that feeds the writer given as `user`.
    static void Sink(const int16_t* stereo, int frames, void* user);

private:
    std::FILE* file_ = nullptr;
    uint64_t frames_ = 0;
    int sampleRate_ = 0;
    std::string path_;
    int errno_ = 0;  // of the first failed write; 0 while all went well
};

}  // namespace host
