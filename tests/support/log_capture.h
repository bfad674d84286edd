// Captures the console log (x_printf) for a test: while a LogCapture lives, everything printed lands in
// testsupport::g_log.
#pragma once

#include <string>

#include "engine/sys/files.h"

namespace testsupport {

inline std::string g_log;
inline void CaptureLog(const char* text) {
    g_log += text;
}

class LogCapture {
public:
    LogCapture() : saved_(x_GetIODriver()->FnPrint) { attach(); }
    ~LogCapture() { x_GetIODriver()->FnPrint = saved_; }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;
    // Hooks the log again (start-up code that reinstalls the stdio driver unhooks it) and clears it.
    void attach() {
        x_GetIODriver()->FnPrint = CaptureLog;
        g_log.clear();
    }
    const std::string& text() const { return g_log; }
    void clear() { g_log.clear(); }
    bool has(const std::string& needle) const { return g_log.find(needle) != std::string::npos; }
    // Occurrences of `needle` in the log.
    int count(const std::string& needle) const {
        int n = 0;
        for (size_t at = g_log.find(needle); at != std::string::npos; at = g_log.find(needle, at + 1)) ++n;
        return n;
    }

private:
    void (*saved_)(const char*);
};

}  // namespace testsupport
