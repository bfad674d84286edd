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
    "          [--stage inline|thread|deferred] [--soak FRAMES] [--debug-draw] [--help]\n";

const char kHelp[] =
    "\n"
    "Runs the game headless (frames to PNG, sound to WAV) or, with --window, in a window.\n"
    "  --disc DIR        the directory the sample disc was written to (default: the build's disc)\n"
    "  --out DIR         where frames and diagnostic files go (made when missing)\n"
    "  --frames N        stop after N shown frames (1 to 100000000)\n"
    "  --png-every N     write every Nth shown frame as frame_NNNNNN.png (1 to 100000000)\n"
    "  --wav FILE        record the sound into FILE, from the current directory, not --out (a window\n"
    "                    then plays none)\n"
    "  --pad1/--pad2 FILE  pad scripts (a window then reads no keyboard or gamepad)\n"
    "  --heap-mb N       engine heap in MB (20 to 896, default 192)\n"
    "  --gs-threads N    rasteriser threads (1 to 16)\n"
    "  --stage MODE      where the geometry stage runs: inline, thread or deferred\n"
    "  --soak FRAMES     attract races of FRAMES frames on every track in turn; --debug-draw: debug drawing\n"
    "  --window          show the game in a window; --realtime: a headless run at the clock's pace\n"
    "PNG names count shown frames from 1, pad scripts from 0 (frame_000060.png: script frame 59).\n"
    "Keys in a window: arrows steer/lean and move in menus, X or Space = cross (accept; throttle),\n"
    "  S = square (brake), O = circle, T / Escape / Backspace = triangle (back), Return = START (pause),\n"
    "  Tab = SELECT (free camera), Q/E = L1/R1, 1/3 = L2/R2, I/J/K/L = right stick. See README.md.\n";

namespace {

constexpr long kMaxCount = 100000000;
constexpr long kMaxHeapMb = static_cast<long>(console::kArenaMaxBytes >> 20);

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
    *out = Options{defaultDisc,        ".", 0, false, false, 0,          nullptr,
                   {nullptr, nullptr}, 192, 0, 0,     false, kStageAuto, false};
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        auto needValue = [&](const char* what) {
            if (value) return true;
            return error->Set("%s needs %s", arg, what);
        };
        // A bad value is named with what the option takes.
        auto badValue = [&](const char* allowed) {
            return error->Set("bad value for %s: '%s' (give %s)", arg, value, allowed);
        };
        auto count = [&](long min, long max, long* dst) {
            if (!needValue("a number")) return false;
            if (ParseCount(value, min, max, dst)) return true;
            char allowed[96];
            std::snprintf(allowed, sizeof allowed, "a whole number from %ld to %ld", min, max);
            return badValue(allowed);
        };
        if (!std::strcmp(arg, "--disc")) {
            if (!needValue("a directory")) return false;
            out->discDir = value;
            ++i;
        } else if (!std::strcmp(arg, "--out")) {
            if (!needValue("a directory")) return false;
            out->outDir = value;
            ++i;
        } else if (!std::strcmp(arg, "--help") || !std::strcmp(arg, "-h")) {
            out->help = true;
        } else if (!std::strcmp(arg, "--frames")) {
            if (!count(1, kMaxCount, &out->frames)) return false;
            ++i;
        } else if (!std::strcmp(arg, "--png-every")) {
            if (!count(1, kMaxCount, &out->pngEvery)) return false;
            ++i;
        } else if (!std::strcmp(arg, "--heap-mb")) {
            // The arena must end below 2 GB.
            if (!needValue("a number")) return false;
            if (!ParseCount(value, 1, kMaxHeapMb, &out->heapMb))
                return count(kMinHeapMb, kMaxHeapMb, &out->heapMb);
            if (out->heapMb < kMinHeapMb)
                return error->Set(
                    "--heap-mb %ld is too small: a race needs an engine heap of at least %ld MB; "
                    "give --heap-mb %ld or more (the default is 192)",
                    out->heapMb, kMinHeapMb, kMinHeapMb);
            ++i;
        } else if (!std::strcmp(arg, "--gs-threads")) {
            if (!count(1, 16, &out->gsThreads)) return false;
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
                return badValue("inline, thread or deferred");
            }
            ++i;
        } else if (!std::strcmp(arg, "--soak")) {
            if (!needValue("a number of frames")) return false;
            if (!count(1, kMaxCount, &out->soakFrames)) return false;
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
