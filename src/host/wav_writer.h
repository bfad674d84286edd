// Writes 16-bit stereo PCM to a WAV file as it arrives (the headless run's sound). The header's sizes
// are filled in when the file is closed.
#pragma once

#include <cstdint>
#include <cstdio>

namespace host {

class WavWriter {
public:
    WavWriter() = default;
    ~WavWriter();
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    // Creates the file; false (with the reason in error) when it cannot be written.
    bool open(const char* path, int sampleRate, char* error, int errorSize);
    // Appends interleaved left/right frames.
    bool write(const int16_t* stereo, int frames);
    // Finishes the header and closes; false on a write error.
    bool close();

    bool isOpen() const { return file_ != nullptr; }
    uint64_t frames() const { return frames_; }

    // A console::SpuSink that feeds the writer given as `user`.
    static void Sink(const int16_t* stereo, int frames, void* user);

private:
    std::FILE* file_ = nullptr;
    uint64_t frames_ = 0;
    int sampleRate_ = 0;
    bool failed_ = false;
};

}  // namespace host
