#include "host/held_stderr.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>

namespace host {

HeldStderr* HeldStderr::holding_ = nullptr;

HeldStderr::HeldStderr() {
    if (holding_) return;
    std::fflush(stderr);
    held_ = memfd_create("qz-stderr", MFD_CLOEXEC);
    if (held_ < 0) return;
    saved_ = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0);
    if (saved_ < 0 || dup2(held_, STDERR_FILENO) < 0) {
        if (saved_ >= 0) close(saved_);
        close(held_);
        saved_ = held_ = -1;
        return;
    }
    holding_ = this;
}

void HeldStderr::Say(const char* format, ...) {
    va_list args;
    va_start(args, format);
    HeldStderr* h = holding_;
    if (h && h->saidLength_ < sizeof h->said_) {
        const int n =
            std::vsnprintf(h->said_ + h->saidLength_, sizeof h->said_ - h->saidLength_, format, args);
        if (n > 0) h->saidLength_ += static_cast<size_t>(n);
        if (h->saidLength_ >= sizeof h->said_) h->saidLength_ = sizeof h->said_ - 1;  // cut, not lost whole
    } else {
        std::vfprintf(stderr, format, args);
    }
    va_end(args);
}

void HeldStderr::ReleaseAfter(const char* format, ...) {
    va_list args;
    va_start(args, format);
    if (holding_ != this) {
        // Not the one holding: the line joins the holder's (or goes out now when nothing is held).
        if (format) {
            char line[1024];
            std::vsnprintf(line, sizeof line, format, args);
            Say("%s", line);
        }
        va_end(args);
        return;
    }
    holding_ = nullptr;
    std::fflush(stderr);
    dup2(saved_, STDERR_FILENO);
    close(saved_);
    saved_ = -1;
    if (format) std::vfprintf(stderr, format, args);
    va_end(args);
    std::fwrite(said_, 1, saidLength_, stderr);
    saidLength_ = 0;
    char buf[4096];
    ssize_t n;
    off_t at = 0;
    while ((n = pread(held_, buf, sizeof buf, at)) > 0) {
        std::fwrite(buf, 1, static_cast<size_t>(n), stderr);
        at += n;
    }
    std::fflush(stderr);
    close(held_);
    held_ = -1;
}

}  // namespace host
