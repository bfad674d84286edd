#include "host/wav_writer.h"

#include <cerrno>
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
    close();
}

bool WavWriter::open(const char* path, int sampleRate, char* error, int errorSize) {
    close();
    frames_ = 0;
    failed_ = false;
    sampleRate_ = sampleRate;
    file_ = std::fopen(path, "wb");
    if (!file_) {
        if (error && errorSize > 0)
            std::snprintf(error, errorSize, "cannot write %s: %s", path, std::strerror(errno));
        return false;
    }
    uint8_t h[44];
    Header(h, sampleRate, 0);
    if (std::fwrite(h, 1, sizeof h, file_) != sizeof h) failed_ = true;
    return true;
}

bool WavWriter::write(const int16_t* stereo, int frames) {
    if (!file_ || frames <= 0) return file_ != nullptr;
    if ((frames_ + static_cast<uint64_t>(frames)) * kBytesPerFrame > kMaxDataBytes) return false;
    uint8_t buf[4096];
    int done = 0;
    while (done < frames) {
        const int n = frames - done < 1024 ? frames - done : 1024;
        for (int i = 0; i < n * kChannels; ++i)
            PutU16(buf + 2 * i, static_cast<uint16_t>(stereo[done * kChannels + i]));
        if (std::fwrite(buf, kBytesPerFrame, static_cast<size_t>(n), file_) != static_cast<size_t>(n))
            failed_ = true;
        done += n;
    }
    frames_ += static_cast<uint64_t>(frames);
    return !failed_;
}

bool WavWriter::close() {
    if (!file_) return !failed_;
    uint8_t h[44];
    Header(h, sampleRate_, static_cast<uint32_t>(frames_ * kBytesPerFrame));
    if (std::fseek(file_, 0, SEEK_SET) != 0 || std::fwrite(h, 1, sizeof h, file_) != sizeof h) failed_ = true;
    if (std::fclose(file_) != 0) failed_ = true;
    file_ = nullptr;
    return !failed_;
}

void WavWriter::Sink(const int16_t* stereo, int frames, void* user) {
    static_cast<WavWriter*>(user)->write(stereo, frames);
}

}  // namespace host
