// Diagnostic lines of the graphics stand-in (malformed packets, bad transfers). They go to a sink that
// tests and the fuzz target can replace; by default they are printed on stderr.
#pragma once

#include <cstdint>

namespace console::gs {

using GsLogSink = void (*)(const char* line);

// Installs a sink (null: drop the lines). Returns the previous one.
GsLogSink SetGsLogSink(GsLogSink sink);
// Formats one line ("GS: ..." / "GIF: ...") and hands it to the sink.
void GsLogf(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// Lines reported since start (whatever the sink).
uint64_t GsLogCount();

}  // namespace console::gs
