// The host program: reads the command line, mounts the disc directory and runs the game.
#include <sys/stat.h>

#include <cstdio>

#include "console/cd/cd.h"
#include "console/cd/host_output.h"
#include "console/kernel/clock.h"
#include "engine/hal/display_sync.h"
#include "engine/sys/heap.h"
#include "game/core/main_loop.h"
#include "host/frame_output.h"
#include "host/options.h"

#ifndef QZ_DEFAULT_DISC
#define QZ_DEFAULT_DISC "disc"
#endif

namespace {

// Every shown frame goes to the frame output; after the frame count asked for, the game is told to end.
struct FrameSink {
    host::FrameOutput output;
    long frameLimit;
    bool failed;
};

void OnFrameShown(void* user) {
    auto* sink = static_cast<FrameSink*>(user);
    if (!sink->output.OnFrameShown()) sink->failed = true;
    if (sink->frameLimit > 0 && sink->output.FramesShown() >= static_cast<uint64_t>(sink->frameLimit))
        qzQuitRequested = true;
}

}  // namespace

int main(int argc, char** argv) {
    HostOptions options;
    char error[256];
    if (!ParseHostOptions(argc, argv, QZ_DEFAULT_DISC, &options, error, sizeof error)) {
        std::fprintf(stderr, "%s\n%s", error, kHostUsage);
        return 2;
    }
    if (options.window) {
        std::fprintf(stderr, "qz: --window is not available in this build\n");
        return 2;
    }
    if (x_SetHeapRegionSize(static_cast<size_t>(options.heapMb) * 1024 * 1024) != 0) {
        std::fprintf(stderr, "qz: the heap was set up before --heap-mb could be applied\n");
        return 2;
    }
    if (!console::CdMount(options.discDir)) {
        std::fprintf(stderr, "qz: disc directory '%s' not found (run 'make disc' or give --disc DIR)\n",
                     options.discDir);
        return 2;
    }
    struct stat st;
    if (stat(options.outDir, &st) != 0) mkdir(options.outDir, 0755);
    if (stat(options.outDir, &st) != 0 || !S_ISDIR(st.st_mode)) {
        std::fprintf(stderr, "qz: output directory '%s' cannot be created\n", options.outDir);
        return 2;
    }
    console::SetOutputDirectory(options.outDir);
    // The game's console log is line-oriented; keep it in order with anything written to stderr.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    if (options.realtime) console::ClockSetMode(console::ClockMode::RealTime);

    static FrameSink sink{host::FrameOutput(options.outDir, options.pngEvery), options.frames, false};
    veDisplaySetFrameShownCallback(OnFrameShown, &sink);

    int rc = qzMain(argc, argv);
    std::fflush(stdout);
    if (rc == 0 && sink.failed) {
        std::fprintf(stderr, "qz: %s\n", sink.output.LastError().c_str());
        return 1;
    }
    return rc;
}
