#include "console/gs/gs_log.h"

#include <cstdarg>
#include <cstdio>

namespace console::gs {
namespace {

void StderrSink(const char* line) {
    std::fputs(line, stderr);
}

GsLogSink g_sink = &StderrSink;
uint64_t g_count = 0;

}  // namespace

GsLogSink SetGsLogSink(GsLogSink sink) {
    GsLogSink old = g_sink;
    g_sink = sink;
    return old;
}

void GsLogf(const char* fmt, ...) {
    ++g_count;
    if (!g_sink) return;
    char line[256];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(line, sizeof(line), fmt, ap);
    va_end(ap);
    g_sink(line);
}

uint64_t GsLogCount() {
    return g_count;
}

}  // namespace console::gs
