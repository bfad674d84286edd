// Writes 16-bit stereo PCM to a WAV file as it arrives (the headless run's sound). Samples are kept for
// at most one second of sound; then they go to the file and the header's sizes are brought up to date,
// so a run killed at any moment leaves a valid WAV of all but its last second. Closing, and a SIGINT or
// SIGTERM (see host/output_signals.h), write the rest and the final sizes.
#pragma once

#include <csignal>
#include <cstdint>
#include <string>

#include "host/error.h"

namespace host {

class WavWriter {
public:
    WavWriter() = default;
    ~WavWriter();
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    // Creates the file; false when it cannot be written, or cannot take a WAV (a pipe, a terminal, the
    // file standard output goes to).
    bool Open(const char* path, int sampleRate, Error* error);
    // Appends interleaved left/right frames; false from the first write that fails. After a failed write
    // the header counts the whole frames the file holds, and nothing more is written.
    bool Write(const int16_t* stereo, int frames, Error* error);
    // Writes what is kept, finishes the header and closes; false on a write error.
    bool Close(Error* error);

    // From a signal handler (async-signal-safe): writes what is kept unless a write is under way, cuts
    // the file to whole frames and brings the header's sizes up to date with the file's length. The
    // file stays open; nothing else may use the writer afterwards.
    void FinishFromSignal();

    bool IsOpen() const { return fd_ >= 0; }
    uint64_t Frames() const { return frames_; }
    // Frames the header counts so far (on the file).
    uint64_t FramesInHeader() const { return headerFrames_; }

    // A console::SpuSink that feeds the writer given as `user`.
    static void Sink(const int16_t* stereo, int frames, void* user);

private:
    // Writes the kept samples, then the header's sizes; false on a write error.
    bool Flush();

    int fd_ = -1;
    uint64_t frames_ = 0;
    uint64_t headerFrames_ = 0;
    int sampleRate_ = 0;
    std::string path_;
    int errno_ = 0;  // of the first failed write; 0 while all went well
    // Little-endian sample bytes not yet on the file (one second), from the C library's heap: the
    // engine heap is the game's.
    uint8_t* kept_ = nullptr;
    size_t keptCapacity_ = 0;
    volatile sig_atomic_t keptBytes_ = 0;  // of kept_ complete; read by FinishFromSignal
    volatile sig_atomic_t writing_ = 0;    // a write to the file is under way
};

}  // namespace host
