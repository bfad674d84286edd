#include "host/held_stderr.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

// Present in a sanitizer build only.
extern "C" void __sanitizer_set_death_callback(void (*callback)()) __attribute__((weak));

namespace host {
namespace {

// The hold in force, for a process that ends while holding (a library that exits or aborts, a crash):
// what was held is written out before it goes, so nothing that explains the end is lost.
volatile int g_savedFd = -1;
volatile int g_heldFd = -1;

constexpr int kFatalSignals[] = {SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL};
struct sigaction g_previous[sizeof kFatalSignals / sizeof kFatalSignals[0]];

// Standard error back where it was and the held text written to it. Safe in a signal handler.
void PutBack() {
    const int saved = g_savedFd, held = g_heldFd;
    g_savedFd = -1;
    g_heldFd = -1;
    if (saved < 0) return;
    dup2(saved, STDERR_FILENO);
    char buf[4096];
    ssize_t n;
    off_t at = 0;
    while ((n = pread(held, buf, sizeof buf, at)) > 0) {
        if (write(STDERR_FILENO, buf, static_cast<size_t>(n)) < 0) break;
        at += n;
    }
}

void RestoreSignals() {
    for (size_t i = 0; i < sizeof kFatalSignals / sizeof kFatalSignals[0]; ++i)
        sigaction(kFatalSignals[i], &g_previous[i], nullptr);
}

// A fault returns to the faulting instruction, which faults again into the handler that was there
// before (a sanitizer's, with the fault's own details); a signal sent is sent again.
void OnFatalSignal(int signal, siginfo_t* info, void*) {
    PutBack();
    RestoreSignals();
    if (signal == SIGABRT || info->si_code <= 0) raise(signal);
}

void AtExit() {
    PutBack();
}

}  // namespace

HeldStderr* HeldStderr::holding_ = nullptr;

bool HeldStderr::CanHold() {
    return !__sanitizer_set_death_callback;
}

HeldStderr::HeldStderr() {
    if (holding_ || !CanHold()) return;
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
    static const bool registered = std::atexit(AtExit) == 0;
    (void)registered;
    struct sigaction action = {};
    action.sa_sigaction = OnFatalSignal;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    for (size_t i = 0; i < sizeof kFatalSignals / sizeof kFatalSignals[0]; ++i)
        sigaction(kFatalSignals[i], &action, &g_previous[i]);
    g_heldFd = held_;
    g_savedFd = saved_;
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
    g_savedFd = -1;
    g_heldFd = -1;
    RestoreSignals();
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
