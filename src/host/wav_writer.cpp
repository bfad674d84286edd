#include "host/wav_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace host {
namespace {

constexpr int kChannels = 2;
constexpr int kBytesPerFrame = 4;
constexpr uint32_t kHeaderBytes = 44;
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

// Whole or not at all (as far as the file system allows); async-signal-safe.
bool WriteAll(int fd, const uint8_t* p, size_t n) {
    while (n > 0) {
        const ssize_t k = ::write(fd, p, n);
        if (k < 0 && errno == EINTR) continue;
        if (k <= 0) return false;
        p += k;
        n -= static_cast<size_t>(k);
    }
    return true;
}

// The two size fields of the header; async-signal-safe.
bool PutSizes(int fd, uint32_t dataBytes) {
    uint8_t riff[4], data[4];
    PutU32(riff, 36 + dataBytes);
    PutU32(data, dataBytes);
    return ::pwrite(fd, riff, 4, 4) == 4 && ::pwrite(fd, data, 4, 40) == 4;
}

// Cuts the file to whole frames after the header and writes the sizes of what it holds; async-signal-
// safe. Returns the frames the header counts now, or -1 when the file is shorter than a header or its
// sizes cannot be written.
int64_t MatchHeaderToFile(int fd) {
    struct stat st;
    if (::fstat(fd, &st) != 0 || st.st_size < static_cast<off_t>(kHeaderBytes)) return -1;
    uint64_t data = static_cast<uint64_t>(st.st_size) - kHeaderBytes;
    data -= data % kBytesPerFrame;
    if (data > kMaxDataBytes) data = kMaxDataBytes - kMaxDataBytes % kBytesPerFrame;
    if (::ftruncate(fd, static_cast<off_t>(kHeaderBytes + data)) != 0) return -1;
    if (!PutSizes(fd, static_cast<uint32_t>(data))) return -1;
    return static_cast<int64_t>(data / kBytesPerFrame);
}

// A WAV file's sizes go into its header as the sound comes, so the file must be one the writer can go
// back into, and not the one the game's log (standard output) or the program's messages (standard error)
// go to. Checked before the file is made or cut, and before an open that would wait for a pipe's reader.
bool FitTarget(const char* path, Error* error) {
    struct stat st;
    if (::stat(path, &st) != 0) return true;  // open makes it, or says why not
    // A character device (/dev/null) may well be standard output too: nothing of the log is lost there.
    const struct {
        int fd;
        const char* what;
    } streams[] = {{STDOUT_FILENO, "standard output, which carries the game's log"},
                   {STDERR_FILENO, "standard error, which carries the program's messages"}};
    for (const auto& stream : streams) {
        struct stat taken;
        if (!S_ISCHR(st.st_mode) && ::fstat(stream.fd, &taken) == 0 && st.st_dev == taken.st_dev &&
            st.st_ino == taken.st_ino)
            return error->Set("cannot write the sound to '%s': it is %s; give --wav a file of its own", path,
                              stream.what);
    }
    if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode))
        return error->Set(
            "cannot write the sound to '%s': it is a pipe, and a WAV file's sizes are written into its "
            "header last; give --wav a regular file",
            path);
    return true;
}

// The file for the sound, made or cut; -1 with the reason when it cannot take a WAV.
int OpenTarget(const char* path, Error* error) {
    if (!FitTarget(path, error)) return -1;
    // Not blocking: a pipe made since the check, with no reader, fails here rather than waits.
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK, 0644);
    if (fd < 0) {
        error->Set("cannot write the sound to '%s': %s", path, std::strerror(errno));
        return -1;
    }
    if (::lseek(fd, 0, SEEK_CUR) < 0) {  // a terminal, say
        error->Set(
            "cannot write the sound to '%s': it cannot seek (%s), and a WAV file's sizes are written into "
            "its header last; give --wav a regular file",
            path, std::strerror(errno));
        ::close(fd);
        return -1;
    }
    // Writes wait for room again, as a file's do.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return fd;
}

}  // namespace

WavWriter::~WavWriter() {
    Error ignored;
    Close(&ignored);
}

bool WavWriter::Open(const char* path, int sampleRate, Error* error) {
    Close(error);
    frames_ = headerFrames_ = 0;
    errno_ = 0;
    sampleRate_ = sampleRate;
    path_ = path;
    keptCapacity_ = static_cast<size_t>(sampleRate > 0 ? sampleRate : 1) * kBytesPerFrame;
    kept_ = static_cast<uint8_t*>(std::malloc(keptCapacity_));
    keptBytes_ = 0;
    if (!kept_) return error->Set("cannot write the sound to '%s': out of memory", path);
    fd_ = OpenTarget(path, error);
    if (fd_ < 0) {
        std::free(kept_);
        kept_ = nullptr;
        return false;
    }
    uint8_t h[kHeaderBytes];
    Header(h, sampleRate, 0);
    if (!WriteAll(fd_, h, sizeof h)) errno_ = errno ? errno : EIO;
    return true;
}

bool WavWriter::Flush() {
    if (errno_ != 0) return false;
    writing_ = 1;
    const size_t n = static_cast<size_t>(keptBytes_);
    bool ok = WriteAll(fd_, kept_, n);
    if (ok) {
        headerFrames_ += n / kBytesPerFrame;
        keptBytes_ = 0;
        ok = PutSizes(fd_, static_cast<uint32_t>(headerFrames_ * kBytesPerFrame));
    }
    writing_ = 0;
    if (!ok) {
        errno_ = errno ? errno : EIO;
        // Part of the samples may be on the file: the header counts what is there.
        const int64_t onFile = MatchHeaderToFile(fd_);
        if (onFile >= 0) headerFrames_ = static_cast<uint64_t>(onFile);
    }
    return ok;
}

bool WavWriter::Write(const int16_t* stereo, int frames, Error* error) {
    if (fd_ < 0) return error->Set("the sound file is not open");
    if (frames <= 0) return true;
    if ((frames_ + static_cast<uint64_t>(frames)) * kBytesPerFrame > kMaxDataBytes)
        return error->Set("the sound in %s has reached the 4 GB a WAV file can hold", path_.c_str());
    const size_t capacity = keptCapacity_;
    for (int done = 0; done < frames && errno_ == 0; ++done) {
        size_t at = static_cast<size_t>(keptBytes_);
        for (int c = 0; c < kChannels; ++c)
            PutU16(&kept_[at + 2 * static_cast<size_t>(c)],
                   static_cast<uint16_t>(stereo[done * kChannels + c]));
        // Counted only once whole, so a signal never writes half a frame.
        keptBytes_ = static_cast<sig_atomic_t>(at + kBytesPerFrame);
        if (static_cast<size_t>(keptBytes_) == capacity) Flush();
    }
    frames_ += static_cast<uint64_t>(frames);
    if (errno_ != 0)
        return error->Set("cannot write the sound to '%s': %s", path_.c_str(), std::strerror(errno_));
    return true;
}

bool WavWriter::Close(Error* error) {
    if (fd_ < 0) return true;
    Flush();
    if (::close(fd_) != 0 && errno_ == 0) errno_ = errno ? errno : EIO;
    fd_ = -1;
    std::free(kept_);
    kept_ = nullptr;
    keptBytes_ = 0;
    if (errno_ != 0)
        return error->Set("cannot write the sound to '%s': %s", path_.c_str(), std::strerror(errno_));
    return true;
}

void WavWriter::FinishFromSignal() {
    const int fd = fd_;
    if (fd < 0) return;
    const int savedErrno = errno;
    // A write the signal interrupted may have put part of the kept samples on the file: then only the
    // file's own length counts.
    if (!writing_ && errno_ == 0) {
        const size_t n = static_cast<size_t>(keptBytes_);
        if (WriteAll(fd, kept_, n)) keptBytes_ = 0;
    }
    MatchHeaderToFile(fd);
    errno = savedErrno;
}

void WavWriter::Sink(const int16_t* stereo, int frames, void* user) {
    Error ignored;
    static_cast<WavWriter*>(user)->Write(stereo, frames, &ignored);
}

}  // namespace host
