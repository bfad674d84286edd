// The host program: reads the command line, mounts the disc directory and runs the game.
#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "console/cd/cd.h"
#include "console/cd/host_output.h"
#include "console/kernel/clock.h"
#include "engine/hal/display_sync.h"
#include "engine/sys/heap.h"
#include "game/core/main_loop.h"
#include "host/frame_output.h"
#include "host/options.h"
#ifdef QZ_HAVE_SDL2
#include "host/sdl_window.h"
#endif

#ifndef QZ_DEFAULT_DISC
#define QZ_DEFAULT_DISC "disc"
#endif

namespace {

// Every shown frame goes to the frame output; after the frame count asked for, the game is told to end.
struct FrameSink {
    host::FrameOutput output;
    long frameLimit;
    bool failed;
#ifdef QZ_HAVE_SDL2
    host::SdlWindow* window;
#endif
};

void OnFrameShown(void* user) {
    auto* sink = static_cast<FrameSink*>(user);
    if (!sink->output.OnFrameShown()) sink->failed = true;
    if (sink->frameLimit > 0 && sink->output.FramesShown() >= static_cast<uint64_t>(sink->frameLimit))
        qzQuitRequested = true;
#ifdef QZ_HAVE_SDL2
    if (sink->window && sink->window->IsOpen()) {
        sink->window->Present(sink->output.Pixels().data(), host::FrameOutput::kWidth, host::FrameOutput::kHeight);
        // Closing the window ends the game like the frame count does.
        if (!sink->window->PumpEvents()) qzQuitRequested = true;
    }
#endif
}

}  // namespace

int main(int argc, char** argv) {
    HostOptions options;
    char error[256];
    if (!ParseHostOptions(argc, argv, QZ_DEFAULT_DISC, &options, error, sizeof error)) {
        std::fprintf(stderr, "%s\n%s", error, kHostUsage);
        return 2;
    }
#ifndef QZ_HAVE_SDL2
    if (options.window) {
        std::fprintf(stderr, "qz: --window needs SDL2, which this build was made without\n");
        return 2;
    }
#endif
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
    // A window runs at the wall clock's pace; headless runs are deterministic unless asked otherwise.
    if (options.realtime || options.window) console::ClockSetMode(console::ClockMode::RealTime);

    static FrameSink sink{host::FrameOutput(options.outDir, options.pngEvery), options.frames, false
#ifdef QZ_HAVE_SDL2
                          , nullptr
#endif
    };
#ifdef QZ_HAVE_SDL2
    static host::SdlWindow window;
    if (options.window) {
        std::string why;
        if (!window.Open("qz", 1280, 960, &why)) {
            std::fprintf(stderr, "qz: cannot open a window: %s\n", why.c_str());
            return 2;
        }
        sink.window = &window;
    }
#endif
    veDisplaySetFrameShownCallback(OnFrameShown, &sink);

    int rc = qzMain(argc, argv);
    std::fflush(stdout);
    if (rc == 0 && sink.failed) {
        std::fprintf(stderr, "qz: %s\n", sink.output.LastError().c_str());
        return 1;
    }
    return rc;
}
