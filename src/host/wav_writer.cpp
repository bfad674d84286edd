#include "host/wav_writer.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace host {
namespace {

constexpr int kChannels = 2;
constexpr int kBytesPerFrame = 4;
// A RIFF file's sizes are 32-bit: stop taking samples before they would wrap.
constexpr uint64_t kMaxDataBytes = 0xFFFFFFFFull - 36;

void PutU32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
void PutU16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void Header(uint8_t* h, int rate, uint32_t dataBytes) {
    std::memcpy(h, "RIFF", 4);
    PutU32(h + 4, 36 + dataBytes);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    PutU32(h + 16, 16);
    PutU16(h + 20, 1);  // PCM
    PutU16(h + 22, kChannels);
    PutU32(h + 24, static_cast<uint32_t>(rate));
    PutU32(h + 28, static_cast<uint32_t>(rate) * kBytesPerFrame);
    PutU16(h + 32, kBytesPerFrame);
    PutU16(h + 34, 16);
    std::memcpy(h + 36, "data", 4);
    PutU32(h + 40, dataBytes);
}

}  // namespace

WavWriter::~WavWriter() {
    Error ignored;
    Close(&ignored);
}

bool WavWriter::Open(const char* path, int sampleRate, Error* error) {
    Close(error);
    frames_ = 0;
    errno_ = 0;
    sampleRate_ = sampleRate;
    path_ = path;
    file_ = std::fopen(path, "wb");
    if (!file_) return error->Set("cannot write the sound to %s: %s", path, std::strerror(errno));
    uint8_t h[44];
    Header(h, sampleRate, 0);
    if (std::fwrite(h, 1, sizeof h, file_) != sizeof h) errno_ = errno ? errno : EIO;
    return true;
}

bool WavWriter::Write(const int16_t* stereo, int frames, Error* error) {
    if (!file_) return error->Set("the sound file is not open");
    if (frames <= 0) return true;
    if ((frames_ + static_cast<uint64_t>(frames)) * kBytesPerFrame > kMaxDataBytes)
        return error->Set("the sound in %s has reached the 4 GB a WAV file can hold", path_.c_str());
    uint8_t buf[4096];
    int done = 0;
    while (done < frames && errno_ == 0) {
        const int n = frames - done < 1024 ? frames - done : 1024;
        for (int i = 0; i < n * kChannels; ++i)
            PutU16(buf + 2 * i, static_cast<uint16_t>(stereo[done * kChannels + i]));
        if (std::fwrite(buf, kBytesPerFrame, static_cast<size_t>(n), file_) != static_cast<size_t>(n))
            errno_ = errno ? errno : EIO;
        done += n;
    }
    frames_ += static_cast<uint64_t>(frames);
    if (errno_ != 0)
        return error->Set("cannot write the sound to %s: %s", path_.c_str(), std::strerror(errno_));
    return true;
}

bool WavWriter::Close(Error* error) {
    if (!file_) return true;
    uint8_t h[44];
    Header(h, sampleRate_, static_cast<uint32_t>(frames_ * kBytesPerFrame));
    if (errno_ == 0 &&
        (std::fseek(file_, 0, SEEK_SET) != 0 || std::fwrite(h, 1, sizeof h, file_) != sizeof h))
        errno_ = errno ? errno : EIO;
    if (std::fclose(file_) != 0 && errno_ == 0) errno_ = errno ? errno : EIO;
    file_ = nullptr;
    if (errno_ != 0)
        return error->Set("cannot write the sound to %s: %s", path_.c_str(), std::strerror(errno_));
    return true;
}

void WavWriter::Sink(const int16_t* stereo, int frames, void* user) {
    Error ignored;
    static_cast<WavWriter*>(user)->Write(stereo, frames, &ignored);
}

}  // namespace host
