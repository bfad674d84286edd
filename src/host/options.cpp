#include "host/options.h"

#include "console/mem/addr.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace host {

const char kUsage[] =
    "usage: qz [--disc DIR] [--out DIR] [--frames N] [--window] [--realtime] [--png-every N] [--wav FILE]\n"
    "          [--pad1 FILE] [--pad2 FILE] [--heap-mb N] [--gs-threads N]\n"
    "          [--stage inline|thread|deferred] [--soak FRAMES] [--debug-draw]\n";

namespace {

bool ParseCount(const char* text, long min, long max, long* out) {
    if (!text || !*text) return false;
    errno = 0;
    char* end = nullptr;
    long v = std::strtol(text, &end, 10);
    if (errno != 0 || *end != 0 || v < min || v > max) return false;
    *out = v;
    return true;
}

}  // namespace

bool ParseOptions(int argc, char** argv, const char* defaultDisc, Options* out, Error* error) {
    *out = Options{defaultDisc,        ".", 0, false, false, 0,         nullptr,
                   {nullptr, nullptr}, 192, 0, 0,     false, kStageAuto};
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        auto needValue = [&](const char* what) {
            if (value) return true;
            return error->Set("%s needs %s", arg, what);
        };
        auto badValue = [&]() { return error->Set("bad value for %s: '%s'", arg, value); };
        if (!std::strcmp(arg, "--disc")) {
            if (!needValue("a directory")) return false;
            out->discDir = value;
            ++i;
        } else if (!std::strcmp(arg, "--out")) {
            if (!needValue("a directory")) return false;
            out->outDir = value;
            ++i;
        } else if (!std::strcmp(arg, "--frames")) {
            if (!needValue("a number")) return false;
            if (!ParseCount(value, 1, 100000000, &out->frames)) return badValue();
            ++i;
        } else if (!std::strcmp(arg, "--png-every")) {
            if (!needValue("a number")) return false;
            if (!ParseCount(value, 1, 100000000, &out->pngEvery)) return badValue();
            ++i;
        } else if (!std::strcmp(arg, "--heap-mb")) {
            if (!needValue("a number")) return false;
            // The arena must end below 2 GB.
            if (!ParseCount(value, 1, static_cast<long>(console::kArenaMaxBytes >> 20), &out->heapMb))
                return badValue();
            if (out->heapMb < kMinHeapMb)
                return error->Set(
                    "--heap-mb %ld is too small: a race needs an engine heap of at least %ld MB; "
                    "give --heap-mb %ld or more (the default is 192)",
                    out->heapMb, kMinHeapMb, kMinHeapMb);
            ++i;
        } else if (!std::strcmp(arg, "--gs-threads")) {
            if (!needValue("a number")) return false;
            if (!ParseCount(value, 1, 16, &out->gsThreads)) return badValue();
            ++i;
        } else if (!std::strcmp(arg, "--stage")) {
            if (!needValue("inline, thread or deferred")) return false;
            if (!std::strcmp(value, "inline")) {
                out->stage = kStageInline;
            } else if (!std::strcmp(value, "thread")) {
                out->stage = kStageThread;
            } else if (!std::strcmp(value, "deferred")) {
                out->stage = kStageDeferred;
            } else {
                return badValue();
            }
            ++i;
        } else if (!std::strcmp(arg, "--soak")) {
            if (!needValue("a number of frames")) return false;
            if (!ParseCount(value, 1, 100000000, &out->soakFrames)) return badValue();
            ++i;
        } else if (!std::strcmp(arg, "--wav")) {
            if (!needValue("a file name")) return false;
            out->wavPath = value;
            ++i;
        } else if (!std::strcmp(arg, "--pad1") || !std::strcmp(arg, "--pad2")) {
            if (!needValue("a file name")) return false;
            out->padScript[arg[5] - '1'] = value;
            ++i;
        } else if (!std::strcmp(arg, "--window")) {
            out->window = true;
        } else if (!std::strcmp(arg, "--realtime")) {
            out->realtime = true;
        } else if (!std::strcmp(arg, "--debug-draw")) {
            out->debugDraw = true;
        } else {
            return error->Set("unknown option '%s'", arg);
        }
    }
    return true;
}

StageChoice ChosenStage(const Options& options, long rasterThreads) {
    if (options.stage != kStageAuto) return static_cast<StageChoice>(options.stage);
    return rasterThreads > 1 ? kStageThread : kStageInline;
}

}  // namespace host
