// The one answer every file-format check gives: whether the data can be used and, when it cannot, the
// first fault found, as text. Checks that also learn something about good data (a layout, a count)
// return a record that extends FormatCheck with it, or fill an out-parameter.
//
// It lives here because every layer that reads files can include console/mem: the console, the
// engine, the kinetic code, the game code, the host and the tools.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdio>

inline constexpr size_t kFormatWhyBytes = 256;

struct FormatCheck {
    bool ok = true;
    char why[kFormatWhyBytes] = {};  // the first fault found; empty when ok

    static FormatCheck Pass() { return FormatCheck{}; }
    // A failed check whose reason is `format` filled in as printf does (cut to kFormatWhyBytes - 1).
    static FormatCheck Fail(const char* format, ...) __attribute__((format(printf, 1, 2))) {
        FormatCheck c;
        va_list args;
        va_start(args, format);
        c.FailV(format, args);
        va_end(args);
        return c;
    }
    // Marks this check failed with the reason `format` filled in; returns false (for
    // `return c.SetFail(...)` in the steps of a check that answer with a bool).
    bool SetFail(const char* format, ...) __attribute__((format(printf, 2, 3))) {
        va_list args;
        va_start(args, format);
        FailV(format, args);
        va_end(args);
        return false;
    }
    // SetFail with the arguments as a va_list (for checks' own printf-like refusal helpers).
    void FailV(const char* format, va_list args) {
        ok = false;
        std::vsnprintf(why, sizeof why, format, args);
    }
};
