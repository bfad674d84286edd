#include "host/held_stderr.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "support/temp_dir.h"

namespace {

// Standard error goes to a file for the test's length; what reached it is read back.
class StderrToFile {
public:
    explicit StderrToFile(const std::string& path) : path_(path) {
        std::fflush(stderr);
        saved_ = dup(STDERR_FILENO);
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(fd, STDERR_FILENO);
        close(fd);
    }
    ~StderrToFile() { Restore(); }
    std::string Restore() {
        if (saved_ >= 0) {
            std::fflush(stderr);
            dup2(saved_, STDERR_FILENO);
            close(saved_);
            saved_ = -1;
        }
        return testsupport::ReadText(path_);
    }

private:
    std::string path_;
    int saved_ = -1;
};

// What a library writes to descriptor 2 behind stdio's back.
void LibraryNoise(const char* text) {
    if (write(STDERR_FILENO, text, std::strlen(text)) < 0) {
    }
}

TEST(HeldStderr, TheProgramsLinesComeBeforeTheLibrariesNoiseAndNothingIsDropped) {
    if (!host::HeldStderr::CanHold()) GTEST_SKIP() << "a sanitizer build holds nothing back";
    testsupport::TempDir t;
    {
        StderrToFile capture(t.file("err.txt"));
        host::HeldStderr held;
        LibraryNoise("ALSA lib pcm.c: Unknown PCM default\n");
        host::HeldStderr::Say("qz: no sound device; playing without sound\n");
        {
            host::HeldStderr inner;  // while one is held, a second only adds its lines to it
            LibraryNoise("error: XDG_RUNTIME_DIR is not set\n");
            inner.ReleaseAfter("qz: the inner line\n");
        }
        held.ReleaseAfter("qz: --window found no display\n");
        host::HeldStderr::Say("qz: after the hold\n");  // straight through once released
        EXPECT_EQ(capture.Restore(),
                  "qz: --window found no display\n"
                  "qz: no sound device; playing without sound\n"
                  "qz: the inner line\n"
                  "ALSA lib pcm.c: Unknown PCM default\n"
                  "error: XDG_RUNTIME_DIR is not set\n"
                  "qz: after the hold\n");
    }
    {
        // A hold that ends well passes the noise on as it was.
        StderrToFile capture(t.file("err2.txt"));
        {
            host::HeldStderr held;
            LibraryNoise("a library's warning\n");
        }
        EXPECT_EQ(capture.Restore(), "a library's warning\n");
    }
}

// A library that ends the process while the hold is on (an exit, an abort) does not take what it
// printed with it.
TEST(HeldStderrDeathTest, WhatWasHeldIsWrittenWhenTheProcessEnds) {
    EXPECT_EXIT(
        {
            host::HeldStderr held;
            LibraryNoise("Xlib: connection refused\n");
            std::exit(3);
        },
        testing::ExitedWithCode(3), "Xlib: connection refused");
    EXPECT_DEATH(
        {
            host::HeldStderr held;
            LibraryNoise("assertion failed in a library\n");
            std::abort();
        },
        "assertion failed in a library");
    EXPECT_DEATH(
        {
            host::HeldStderr held;
            LibraryNoise("about to crash\n");
            *static_cast<volatile int*>(nullptr) = 1;
        },
        "about to crash");
}

// The program's own line held while a library printed first comes out before the library's words on
// every way the process can end while holding, and the process ends as it would have.
TEST(HeldStderrDeathTest, TheProgramsHeldLineComesFirstWhenTheProcessEnds) {
    if (!host::HeldStderr::CanHold()) GTEST_SKIP() << "a sanitizer build holds nothing back";
    const char* const kBoth = "qz: no sound device; playing without sound\nlibrary noise\n";
    auto hold = [] {
        new host::HeldStderr;  // never released: a library ends the process while it holds
        LibraryNoise("library noise\n");
        host::HeldStderr::Say("qz: no sound device; playing without sound\n");
    };
    EXPECT_EXIT(
        {
            hold();
            std::exit(3);
        },
        testing::ExitedWithCode(3), kBoth);
    EXPECT_EXIT(
        {
            hold();
            std::abort();
        },
        testing::KilledBySignal(SIGABRT), kBoth);
    EXPECT_EXIT(
        {
            hold();
            *static_cast<volatile int*>(nullptr) = 1;
        },
        testing::KilledBySignal(SIGSEGV), kBoth);
    // Sent rather than met: SIGINT and SIGTERM stop a run whose window is opening as they stop any other.
    for (const int signal : {SIGSEGV, SIGFPE, SIGINT, SIGTERM}) {
        EXPECT_EXIT(
            {
                hold();
                raise(signal);
            },
            testing::KilledBySignal(signal), kBoth)
            << signal;
    }
    // A SIGINT the process was started with ignored (a run put in the background by a script) is left
    // ignored: the run goes on, and the release writes every line once, in order.
    EXPECT_EXIT(
        {
            std::signal(SIGINT, SIG_IGN);
            host::HeldStderr held;
            LibraryNoise("library noise\n");
            host::HeldStderr::Say("qz: said\n");
            raise(SIGINT);
            held.ReleaseAfter("qz: the line\n");
            raise(SIGINT);  // still ignored
            std::exit(0);
        },
        testing::ExitedWithCode(0), "^qz: the line\nqz: said\nlibrary noise\n$");
    // A handler of the process's own that returns: what the signal wrote out is not written again.
    EXPECT_EXIT(
        {
            std::signal(SIGTERM, [](int) {});
            host::HeldStderr held;
            host::HeldStderr::Say("qz: said\n");
            LibraryNoise("library noise\n");
            raise(SIGTERM);
            held.ReleaseAfter("qz: the line\n");
            std::exit(0);
        },
        testing::ExitedWithCode(0), "^qz: said\nlibrary noise\nqz: the line\n$");
    // A hold released writes its lines once: the process that ends later writes nothing again.
    EXPECT_EXIT(
        {
            {
                host::HeldStderr held;
                LibraryNoise("library noise\n");
                host::HeldStderr::Say("qz: no sound device; playing without sound\n");
            }
            host::HeldStderr::Say("qz: after\n");
            std::exit(0);
        },
        testing::ExitedWithCode(0), "sound\nlibrary noise\nqz: after\n$");
}

}  // namespace
