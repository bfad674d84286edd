#include "host/held_stderr.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

// Present in a sanitizer build only.
extern "C" void __sanitizer_set_death_callback(void (*callback)()) __attribute__((weak));

namespace host {
namespace {

// The hold in force, for a process that ends while holding (a library that exits or aborts, a crash, a
// SIGINT or SIGTERM): the program's lines and what was held are written out before it goes, so nothing
// that explains the end is lost. Who takes the saved descriptor writes them, once.
std::atomic<int> g_savedFd{-1};
std::atomic<int> g_heldFd{-1};

// The program's own lines while held (Say), kept apart from the libraries' so that they come first.
char g_said[2048];
std::atomic<size_t> g_saidLength{0};

// The signals that end the process as it stands. SIGINT and SIGTERM are here too: a run stopped while
// its window opens ends by the signal, as it does anywhere else, with what was held written out. Those
// two are left alone when the process was started with them ignored (a run put in the background by a
// script): then they end nothing.
constexpr int kEndingSignals[] = {SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGINT, SIGTERM};
constexpr size_t kEndingSignalCount = sizeof kEndingSignals / sizeof kEndingSignals[0];
struct sigaction g_previous[kEndingSignalCount];
bool g_taken[kEndingSignalCount];  // the handler below is in place

bool IgnoredWhenSent(int signal, const struct sigaction& action) {
    return (signal == SIGINT || signal == SIGTERM) && !(action.sa_flags & SA_SIGINFO) &&
           action.sa_handler == SIG_IGN;
}

void WriteAll(const char* p, size_t n) {
    while (n > 0) {
        const ssize_t w = write(STDERR_FILENO, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return;
        p += w;
        n -= static_cast<size_t>(w);
    }
}

// Standard error back where it was, then the program's lines and the held text written to it, by
// whoever takes the saved descriptor first. Safe in a signal handler.
void PutBack() {
    const int saved = g_savedFd.exchange(-1);
    const int held = g_heldFd.exchange(-1);
    if (saved < 0) return;
    dup2(saved, STDERR_FILENO);
    WriteAll(g_said, g_saidLength.exchange(0));
    char buf[4096];
    ssize_t n;
    off_t at = 0;
    while ((n = pread(held, buf, sizeof buf, at)) > 0) {
        WriteAll(buf, static_cast<size_t>(n));
        at += n;
    }
}

void RestoreSignals() {
    for (size_t i = 0; i < kEndingSignalCount; ++i) {
        if (g_taken[i]) sigaction(kEndingSignals[i], &g_previous[i], nullptr);
        g_taken[i] = false;
    }
}

// A fault returns to the faulting instruction, which faults again into the handler that was there
// before (a sanitizer's, with the fault's own details); a signal sent is sent again, to the handler
// that was there before (the default ends the process by it).
void OnEndingSignal(int signal, siginfo_t* info, void*) {
    const int savedErrno = errno;
    PutBack();
    RestoreSignals();
    if (signal == SIGABRT || signal == SIGINT || signal == SIGTERM || info->si_code <= 0) raise(signal);
    errno = savedErrno;
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
    g_saidLength = 0;
    g_heldFd = held_;
    g_savedFd = saved_;
    struct sigaction action = {};
    action.sa_sigaction = OnEndingSignal;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    for (size_t i = 0; i < kEndingSignalCount; ++i) {
        g_taken[i] = sigaction(kEndingSignals[i], nullptr, &g_previous[i]) == 0 &&
                     !IgnoredWhenSent(kEndingSignals[i], g_previous[i]) &&
                     sigaction(kEndingSignals[i], &action, nullptr) == 0;
    }
}

void HeldStderr::Say(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const size_t at = g_saidLength;
    if (holding_ && at < sizeof g_said) {
        // The length grows only once the line is whole: a signal meanwhile writes out the lines before it.
        const int n = std::vsnprintf(g_said + at, sizeof g_said - at, format, args);
        if (n > 0) g_saidLength = std::min(at + static_cast<size_t>(n), sizeof g_said - 1);  // cut, not lost
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
    // A SIGINT or SIGTERM meanwhile waits until the hold is over and its text out, then does what it
    // would have done.
    sigset_t sent, before;
    sigemptyset(&sent);
    sigaddset(&sent, SIGINT);
    sigaddset(&sent, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &sent, &before);
    // A signal whose handler returned (one the process had a handler of its own for) may have written
    // the held text out already: then it is not written again, and only this line is left to say.
    const bool mine = g_savedFd.exchange(-1) >= 0;
    g_heldFd = -1;
    RestoreSignals();
    const size_t said = g_saidLength.exchange(0);
    std::fflush(stderr);
    dup2(saved_, STDERR_FILENO);
    close(saved_);
    saved_ = -1;
    if (format) std::vfprintf(stderr, format, args);
    va_end(args);
    std::fwrite(g_said, 1, said, stderr);
    char buf[4096];
    ssize_t n;
    off_t at = 0;
    while (mine && (n = pread(held_, buf, sizeof buf, at)) > 0) {
        std::fwrite(buf, 1, static_cast<size_t>(n), stderr);
        at += n;
    }
    std::fflush(stderr);
    close(held_);
    held_ = -1;
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
}

}  // namespace host
