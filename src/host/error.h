// Why a step of the host program failed: one line for the user that says what failed and what to do.
// Every host function that can fail returns false (or null) and fills one of these. It is a fixed buffer,
// so filling it allocates nothing (the command line is read before the heap is set up).
#pragma once

#include <cstdarg>
#include <cstdio>

namespace host {

class Error {
public:
    // Sets the text printf-style; returns false so a failing function can end with `return error->Set(...)`.
    [[gnu::format(printf, 2, 3)]] bool Set(const char* format, ...) {
        va_list args;
        va_start(args, format);
        std::vsnprintf(text_, sizeof text_, format, args);
        va_end(args);
        return false;
    }
    const char* Text() const { return text_; }

private:
    char text_[512] = {};
};

}  // namespace host
