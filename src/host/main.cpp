// The host program: reads the command line, mounts the disc directory and runs the game.
#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "console/cd/cd.h"
#include "console/cd/host_output.h"
#include "console/kernel/clock.h"
#include "console/spu/spu.h"
#include "engine/hal/display_sync.h"
#include "engine/sys/heap.h"
#include "game/core/main_loop.h"
#include "host/frame_output.h"
#include "host/options.h"
#include "host/pad_script.h"
#include "host/wav_writer.h"
#ifdef QZ_HAVE_SDL2
#include <SDL.h>

#include "host/sdl_audio.h"
#include "host/sdl_input.h"
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
    host::PadScript* scripts[2];  // null: that pad keeps its own state
#ifdef QZ_HAVE_SDL2
    host::SdlWindow* window;
    host::SdlInput* input;
#endif
};

// Pad n is port n, slot 0.
void ApplyPads(FrameSink* sink, uint64_t frame) {
    for (int pad = 0; pad < 2; ++pad)
        if (sink->scripts[pad]) sink->scripts[pad]->apply(pad, 0, frame);
}

void OnFrameShown(void* user) {
    auto* sink = static_cast<FrameSink*>(user);
    if (!sink->output.OnFrameShown()) sink->failed = true;
    if (sink->frameLimit > 0 && sink->output.FramesShown() >= static_cast<uint64_t>(sink->frameLimit))
        qzQuitRequested = true;
    ApplyPads(sink, sink->output.FramesShown());
    console::SpuCatchUp();
#ifdef QZ_HAVE_SDL2
    if (sink->window && sink->window->IsOpen()) {
        sink->window->Present(sink->output.Pixels().data(), host::FrameOutput::kWidth,
                              host::FrameOutput::kHeight);
        // Closing the window ends the game like the frame count does.
        if (!sink->window->PumpEvents()) qzQuitRequested = true;
        if (sink->input) sink->input->update();
    }
#endif
}

#ifdef QZ_HAVE_SDL2
void OnWindowEvent(const void* event, void* user) {
    static_cast<host::SdlInput*>(user)->handleEvent(*static_cast<const SDL_Event*>(event));
}
#endif

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

    static FrameSink sink{host::FrameOutput(options.outDir, options.pngEvery),
                          options.frames,
                          false,
                          {nullptr, nullptr}
#ifdef QZ_HAVE_SDL2
                          ,
                          nullptr,
                          nullptr
#endif
    };

    // Pad scripts drive the pads from the first frame, so start-up's pad reads already see frame 0.
    static host::PadScript scripts[2];
    for (int pad = 0; pad < 2; ++pad) {
        if (!options.padScript[pad]) continue;
        if (!scripts[pad].load(options.padScript[pad], error, sizeof error)) {
            std::fprintf(stderr, "qz: %s\n", error);
            return 2;
        }
        sink.scripts[pad] = &scripts[pad];
    }
    ApplyPads(&sink, 0);

    static host::WavWriter wav;
    if (options.wavPath) {
        if (!wav.open(options.wavPath, 48000, error, sizeof error)) {
            std::fprintf(stderr, "qz: %s\n", error);
            return 2;
        }
        console::SpuSetSink(&host::WavWriter::Sink, &wav);
    }

#ifdef QZ_HAVE_SDL2
    static host::SdlWindow window;
    static host::SdlAudio audio;
    static host::SdlInput input;
    if (options.window) {
        std::string why;
        if (!window.Open("qz", 1280, 960, &why)) {
            std::fprintf(stderr, "qz: cannot open a window: %s\n", why.c_str());
            return 2;
        }
        sink.window = &window;
        // Sound goes to the speakers unless it is being recorded; a machine without audio still plays.
        if (!options.wavPath) {
            if (audio.open(1024, error, sizeof error))
                console::SpuSetSink(&host::SdlAudio::Sink, &audio);
            else
                std::fprintf(stderr, "qz: no sound: %s\n", error);
        }
        // Keyboard and gamepads drive the pads that no script drives.
        if (!options.padScript[0] && !options.padScript[1]) {
            if (input.init(error, sizeof error)) {
                sink.input = &input;
                window.SetEventHook(OnWindowEvent, &input);
            } else {
                std::fprintf(stderr, "qz: no keyboard or gamepad input: %s\n", error);
            }
        }
    }
#endif
    veDisplaySetFrameShownCallback(OnFrameShown, &sink);

    int rc = qzMain(argc, argv);
    std::fflush(stdout);
    console::SpuCatchUp();
    if (wav.isOpen() && !wav.close()) {
        std::fprintf(stderr, "qz: error writing %s\n", options.wavPath);
        if (rc == 0) rc = 1;
    }
    if (rc == 0 && sink.failed) {
        std::fprintf(stderr, "qz: %s\n", sink.output.LastError().c_str());
        return 1;
    }
    return rc;
}
