// Standard error held back while a device is tried: the libraries SDL loads (ALSA, Wayland, Xlib) print
// their complaints straight to the process's descriptor 2, before the program can say in one line what
// failed. The program's own lines come first when the hold ends, then what the libraries printed;
// nothing is dropped, not even when the process ends while holding (an exit, an abort, a crash, SIGINT or
// SIGTERM: the program's lines and the held text are written out first, then the process ends as it
// would have).
#pragma once

namespace host {

class HeldStderr {
public:
    // From here, what is written to descriptor 2 is kept (or goes straight through when it cannot be).
    // While one is held, another does nothing of its own: its lines join the first one's.
    HeldStderr();
    ~HeldStderr() { Release(); }
    HeldStderr(const HeldStderr&) = delete;
    HeldStderr& operator=(const HeldStderr&) = delete;

    // Puts standard error back and writes the program's lines, then what was held. ReleaseAfter's line
    // comes first of all.
    void Release() { ReleaseAfter(nullptr); }
    [[gnu::format(printf, 2, 3)]] void ReleaseAfter(const char* format, ...);

    // One of the program's own lines: on standard error now, or first when the hold ends.
    [[gnu::format(printf, 1, 2)]] static void Say(const char* format, ...);

    // False in a sanitizer build: a sanitizer's report ends the process with _exit, past every hook that
    // could write out what was held, so there nothing is held (the order is the libraries').
    static bool CanHold();

private:
    static HeldStderr* holding_;
    int saved_ = -1;  // standard error as it was; -1 when nothing is held
    int held_ = -1;   // where it went meanwhile
};

}  // namespace host
