// The host program: reads the command line, mounts the disc directory and runs the game on the platform
// asked for (headless, or a window).
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>

#include "app/main_loop.h"
#include "console/cd/cd.h"
#include "console/cd/disc_faults.h"
#include "console/cd/host_output.h"
#include "console/gs/gs_device.h"
#include "console/kernel/clock.h"
#include "console/spu/spu.h"
#include "console/stage/dma_stage.h"
#include "engine/hal/display_sync.h"
#include "engine/sys/heap.h"
#include "host/disc_check.h"
#include "host/frame_output.h"
#include "host/held_stderr.h"
#include "host/options.h"
#include "host/output_signals.h"
#include "host/pad_script.h"
#include "host/platform.h"
#include "host/wav_writer.h"

#ifndef QZ_DEFAULT_DISC
#define QZ_DEFAULT_DISC "disc"
#endif

namespace {

// Where the run's frames, sound and pad states come from and go to.
struct Run {
    host::Platform* platform = nullptr;
    host::FrameOutput* output = nullptr;
    long frameLimit = 0;
    host::PadScript* scripts[2] = {};  // null: that pad keeps its own state
    host::WavWriter* wav = nullptr;    // null: sound goes to the platform
    int status = 0;                    // non-zero once the run cannot do what was asked
    bool present = false;              // the platform shows every frame (a window)
};

Run g_run;

void Fail(const host::Error& error) {
    std::fflush(stdout);
    std::fprintf(stderr, "qz: %s\n", error.Text());
}

// Pad n is port n, slot 0.
void ApplyPads(uint64_t frame) {
    for (int pad = 0; pad < 2; ++pad)
        if (g_run.scripts[pad]) g_run.scripts[pad]->Apply(pad, 0, frame);
}

void OnSound(const int16_t* stereo, int frames, void*) {
    const HostMemoryScope hostMemory;
    if (!g_run.wav) {
        g_run.platform->QueueSound(stereo, frames);
        return;
    }
    host::Error error;
    if (g_run.status == 0 && !g_run.wav->Write(stereo, frames, &error)) {
        // A recording with a hole is no recording: stop now rather than after the whole run.
        Fail(error);
        g_run.status = 1;
        qzQuitRequested = true;
    }
}

void OnFrameShown(void*) {
    const HostMemoryScope hostMemory;
    host::Error error;
    if (g_run.status == 0 && !g_run.output->OnFrameShown(&error)) {
        // The frames asked for can no longer all be written (a full disc): say so once and stop.
        Fail(error);
        g_run.status = 1;
        qzQuitRequested = true;
    }
    if (g_run.frameLimit > 0 && g_run.output->FramesShown() >= static_cast<uint64_t>(g_run.frameLimit))
        qzQuitRequested = true;
    ApplyPads(g_run.output->FramesShown());
    console::SpuCatchUp();
    if (g_run.present)
        g_run.platform->PresentFrame(g_run.output->Pixels().data(), host::FrameOutput::kWidth,
                                     host::FrameOutput::kHeight);
    // Closing the window ends the game like the frame count does.
    if (g_run.platform->PollQuit()) qzQuitRequested = true;
    g_run.platform->ReadInput();
}

// The game's log (or the help) goes to standard output: when a write there failed (a full disk, say),
// `what` is not whole and the run says so (true).
bool OutputLost(const char* what) {
    errno = 0;
    const bool flushFailed = std::fflush(stdout) != 0;
    const int e = flushFailed ? errno : 0;
    if (!flushFailed && !std::ferror(stdout)) return false;
    if (e != 0)
        std::fprintf(stderr, "qz: %s could not all be written to standard output: %s\n", what,
                     std::strerror(e));
    else
        std::fprintf(stderr, "qz: %s could not all be written to standard output\n", what);
    return true;
}

// A disc file the game goes on without: said when met, on standard error, once per file.
void OnDiscFault(const console::DiscFileFault& fault, void*) {
    host::Error line;
    host::DescribeDiscFault(fault, &line);
    std::fflush(stdout);
    std::fprintf(stderr, "qz: %s\n", line.Text());
}

// The game may end the process itself; the platform is still closed on the way out.
void ClosePlatform() {
    if (g_run.platform) g_run.platform->Close();
}

}  // namespace

int main(int argc, char** argv) {
    // What the host sets up for itself (paths, the disc's file list, pad scripts, the WAV and PNG
    // writers, the platform, the picture read back) lives in the host's memory, not the game's heap.
    std::optional<HostMemoryScope> hostMemory;
    hostMemory.emplace();
    host::Options options;
    host::Error error;
    if (!host::ParseOptions(argc, argv, QZ_DEFAULT_DISC, &options, &error)) {
        std::fprintf(stderr, "qz: %s\n%s", error.Text(), host::kUsage);
        return 2;
    }
    if (options.help) {
        std::fputs(host::kUsage, stdout);
        std::fputs(host::kHelp, stdout);
        // Help that did not reach its reader (a full disk, a closed pipe) is a failed run.
        return OutputLost("the help") ? 1 : 0;
    }
    if (x_SetHeapRegionSize(static_cast<size_t>(options.heapMb) * 1024 * 1024) != 0) {
        std::fprintf(stderr, "qz: the heap was set up before --heap-mb could be applied\n");
        return 2;
    }
    // Without its arena the program has no heap at all: say what to change.
    if (const int mapError = x_MemoryInit(); mapError != 0) {
        std::fprintf(
            stderr,
            "qz: the engine heap's arena of %zu MB could not be mapped below 2 GB (%s); give a smaller "
            "--heap-mb or raise the memory limit (ulimit -v)\n",
            x_HeapRegionSize() >> 20, std::strerror(mapError));
        return 1;
    }
    struct stat st;
    if (stat(options.discDir, &st) != 0) {
        std::fprintf(stderr, "qz: disc directory '%s' not found (run 'make disc' or give --disc DIR)\n",
                     options.discDir);
        return 2;
    }
    if (!S_ISDIR(st.st_mode)) {
        std::fprintf(stderr,
                     "qz: --disc '%s' is a file, not a directory (give the directory 'make disc' wrote)\n",
                     options.discDir);
        return 2;
    }
    // A directory is looked at as a disc before it is walked: a wrong one (the root of the file system, a
    // folder of links) is named at once instead of walked at length.
    host::SetRemakeAdvice(options.discDir, QZ_DEFAULT_DISC);
    if (!host::NeededDiscFilesReadable(options.discDir, &error)) {
        std::fprintf(stderr, "qz: %s\n", error.Text());
        return 2;
    }
    if (const char* missing = host::MissingDiscFile(options.discDir)) {
        std::fprintf(stderr,
                     "qz: '%s' is not a game disc: it has no %s (run 'make disc' and give the directory it "
                     "wrote, or give --disc DIR)\n",
                     options.discDir, missing);
        return 2;
    }
    if (!console::CdMount(options.discDir)) {
        const char* target = nullptr;
        if (const char* link = console::CdMountRefusalLink(&target))
            std::fprintf(stderr,
                         "qz: the disc '%s' %s once its link '%s' is followed to '%s'; remove that link or "
                         "point it at a folder the game needs\n",
                         options.discDir, console::CdMountRefusal(), link, target);
        else
            std::fprintf(stderr,
                         "qz: '%s' is not a game disc: it %s (run 'make disc' and give the directory it "
                         "wrote, or give --disc DIR)\n",
                         options.discDir, console::CdMountRefusal());
        return 2;
    }
    // Frames and diagnostic files go to --out: a directory that cannot take them is found now, not at
    // the first frame.
    if (options.pngEvery > 0 || std::strcmp(options.outDir, ".") != 0) {
        if (!host::PrepareOutputDirectory(options.outDir, &error)) {
            std::fprintf(stderr, "qz: %s\n", error.Text());
            return 2;
        }
    }
    console::SetOutputDirectory(options.outDir);
    qzSetSoak(static_cast<uint32_t>(options.soakFrames));
    qzSetDebugDraw(options.debugDraw);
    // Rasteriser threads: as asked, else as many as suit the machine.
    const long gsThreads =
        options.gsThreads > 0 ? options.gsThreads : console::gs::GsDevice::DefaultRasterThreads();
    console::gs::Gs().SetRasterThreads(static_cast<int>(gsThreads));
    // "deferred" runs the stage only where the game waits for it.
    const host::StageChoice stage = host::ChosenStage(options, gsThreads);
    console::dma::SetStageMode(stage == host::kStageThread     ? console::dma::StageMode::kThread
                               : stage == host::kStageDeferred ? console::dma::StageMode::kDeferred
                                                               : console::dma::StageMode::kInline);
    // The game's console log is line-oriented; keep it in order with anything written to stderr.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    // Pad scripts drive the pads from the first frame, so start-up's pad reads already see frame 0.
    host::PadScript scripts[2];
    for (int pad = 0; pad < 2; ++pad) {
        if (!options.padScript[pad]) continue;
        if (!scripts[pad].Load(options.padScript[pad], &error)) {
            std::fprintf(stderr, "qz: %s\n", error.Text());
            return 2;
        }
        g_run.scripts[pad] = &scripts[pad];
    }
    ApplyPads(0);

    std::unique_ptr<host::Platform> platform;
    if (options.window) {
        // Sound is played unless it is recorded; keyboard and gamepads drive the pads no script drives.
        const host::WindowSetup setup{host::FrameOutput::kWidth, host::FrameOutput::kHeight, !options.wavPath,
                                      !options.padScript[0] && !options.padScript[1]};
        // What the display's libraries print while they look for one follows the program's own line.
        host::HeldStderr held;
        platform = host::OpenWindowPlatform(setup, &error);
        if (!platform) {
            held.ReleaseAfter("qz: %s\n", error.Text());
            return 2;
        }
        held.Release();
        std::atexit(ClosePlatform);
    } else {
        platform = host::MakeHeadlessPlatform();
    }
    g_run.platform = platform.get();

    // The sound file is made only once everything before it is known to work (a window refused leaves
    // no empty file behind).
    static host::WavWriter wav;  // static: a game that ends the process still gets its header finished
    if (options.wavPath) {
        if (!wav.Open(options.wavPath, 48000, &error)) {
            std::fprintf(stderr, "qz: %s\n", error.Text());
            g_run.platform = nullptr;  // closed as it goes out of scope
            return 2;
        }
        g_run.wav = &wav;
    }
    host::InstallOutputSignalHandlers(g_run.wav);
    // A window runs at the wall clock's pace; headless runs are deterministic unless asked otherwise.
    if (options.realtime || options.window) console::ClockSetMode(console::ClockMode::RealTime);

    // Headless runs read the picture back only for the frames written as PNG.
    g_run.present = options.window;
    host::FrameOutput output(options.outDir, options.pngEvery, options.window);
    g_run.output = &output;
    g_run.frameLimit = options.frames;
    console::SpuSetSink(&OnSound, nullptr);
    veDisplaySetFrameShownCallback(OnFrameShown, nullptr);
    console::CdSetFaultSink(&OnDiscFault, nullptr);

    hostMemory.reset();
    const QzExit end = qzMain(argc, argv);
    hostMemory.emplace();
    // What the last frames kicked may still be queued: it runs now, and the stage's threads stop, before
    // anything it reaches is torn down.
    console::dma::SetStageMode(console::dma::StageMode::kInline);
    std::fflush(stdout);
    if (end.why) std::fprintf(stderr, "qz: %s\n", end.why);
    const int rc = end.code;
    console::SpuCatchUp();
    veDisplaySetFrameShownCallback(nullptr, nullptr);
    console::SpuSetSink(nullptr, nullptr);
    platform->Close();
    g_run.platform = nullptr;
    if (wav.IsOpen() && !wav.Close(&error) && g_run.status == 0) {
        Fail(error);
        g_run.status = 1;
    }
    if (OutputLost("the log")) g_run.status = 1;
    // The game went on without some disc files: the run did not do all it was asked. A run that stopped
    // has said why already.
    const bool discFaults = !end.why && host::RecallDiscFaults(&error);
    if (discFaults) std::fprintf(stderr, "qz: %s\n", error.Text());
    if (rc != 0) return rc;
    return g_run.status != 0 ? g_run.status : discFaults ? 1 : 0;
}
