// Captures the game's console log for the duration of a test.
#pragma once

#include <string>

#include "engine/sys/files.h"

namespace gametest {

inline std::string g_log;
inline void CaptureLog(const char* text) {
    g_log += text;
}

class LogCapture {
public:
    LogCapture() {
        saved_ = x_GetIODriver()->FnPrint;
        x_GetIODriver()->FnPrint = CaptureLog;
        g_log.clear();
    }
    ~LogCapture() { x_GetIODriver()->FnPrint = saved_; }
    const std::string& text() const { return g_log; }
    void clear() { g_log.clear(); }
    // Occurrences of `needle` in the log.
    int count(const std::string& needle) const {
        int n = 0;
        for (size_t at = g_log.find(needle); at != std::string::npos; at = g_log.find(needle, at + 1)) ++n;
        return n;
    }

private:
    void (*saved_)(const char*) = nullptr;
};

}  // namespace gametest
