#!/usr/bin/env python3
"""Prints the benchmark figures that matter as a short table, from qz_bench's JSON output
(--benchmark_out=FILE --benchmark_out_format=json). `make bench` runs it; the full output stays in the file
beside the JSON. Each figure is the median of the repetitions when there are several."""
import json
import sys

# (what, benchmark run name, figure): figure is "time" (the real time per iteration) or a counter name.
ROWS = [
    ("Race frame, 1 rasteriser thread, stage inline",
     "BM_SceneFrameWithShadowsAndParticles/threads:1/stage:0", "frame_ms"),
    ("Race frame, 4 rasteriser threads, stage on its thread",
     "BM_SceneFrameWithShadowsAndParticles/threads:4/stage:1", "frame_ms"),
    ("Split-screen frame, 4 threads, stage on its thread",
     "BM_SceneSplitScreen/threads:4/stage:1", "frame_ms"),
    ("Physics: 64 bodies dropped on the ground", "BM_KineticS1Drop/64/257", "time"),
    ("Physics: 64 bodies resting", "BM_KineticS1Resting/64/257", "time"),
    ("Physics: bodies crossing", "BM_KineticS2Crossing", "time"),
    ("Physics: level scene", "BM_KineticS2Level", "time"),
    ("Physics: vehicles", "BM_KineticS3Vehicles", "time"),
    ("Physics: ray casts", "BM_KineticS4Casts", "time"),
    ("Race of three laps, no drawing", "BM_RaceThreeLapsNoDrawing", "time"),
    ("Fill rate, textured and blended, 1 thread",
     "BM_GsFillTexturedModulateBlendZ/cell:640/threads:1", "pixel_rate"),
    ("Fill rate, textured and blended, 4 threads",
     "BM_GsFillTexturedModulateBlendZ/cell:640/threads:4", "pixel_rate"),
]

UNITS = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}


def plain_name(name):
    """The run name without the parts the benchmark library adds for how it timed (".../iterations:1",
    ".../real_time", ".../manual_time", ".../min_time:0.050")."""
    parts = [p for p in name.split("/")
             if p not in ("real_time", "manual_time") and not p.startswith(("iterations:", "min_time:",
                                                                              "repeats:"))]
    return "/".join(parts)


def pick(benchmarks):
    """run name -> the entry to report: a failed run, else the median aggregate, else the single run."""
    chosen = {}
    for b in benchmarks:
        name = plain_name(b.get("run_name", b["name"]))
        if b.get("error_occurred"):
            chosen[name] = b  # a failed repetition outweighs the others' figures
        elif b.get("run_type") == "aggregate":
            if b.get("aggregate_name") == "median" and not chosen.get(name, {}).get("error_occurred"):
                chosen[name] = b
        else:
            chosen.setdefault(name, b)
    return chosen


def figure(entry, what):
    if entry.get("error_occurred"):
        return "FAILED: %s" % entry.get("error_message", "")
    if what == "time":
        seconds = entry["real_time"] * UNITS[entry.get("time_unit", "ns")]
        if seconds >= 1:
            return "%.2f s" % seconds
        if seconds >= 1e-3:
            return "%.2f ms" % (seconds * 1e3)
        return "%.1f us" % (seconds * 1e6)
    if what not in entry:
        return "-"
    if what == "pixel_rate":
        return "%.0f Mpixel/s" % (entry[what] / 1e6)
    if what == "frame_ms":
        return "%.2f ms (%.0f fps)" % (entry[what], 1000.0 / entry[what] if entry[what] else 0)
    return "%g" % entry[what]


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit("usage: summary.py BENCH.json [BENCH.txt]")
    with open(sys.argv[1]) as f:
        data = json.load(f)
    chosen = pick(data.get("benchmarks", []))
    ctx = data.get("context", {})
    print("qz benchmarks (median of %s), %s processors at %s MHz" %
          ("the repetitions", ctx.get("num_cpus", "?"), ctx.get("mhz_per_cpu", "?")))
    width = max(len(r[0]) for r in ROWS)
    for label, name, what in ROWS:
        entry = chosen.get(name)
        print("  %-*s  %s" % (width, label, figure(entry, what) if entry else "not run"))
    if len(sys.argv) == 3:
        # The game's own complaints among the benchmark output mean the scenes did not draw what they should.
        with open(sys.argv[2], errors="replace") as f:
            dropped = sum(1 for line in f
                          if "transfer ended inside code" in line or "rest of the transfer dropped" in line)
        if dropped:
            print("WARNING: %d geometry transfers were dropped during the benchmarks (see %s): the scene "
                  "figures above are not whole frames" % (dropped, sys.argv[2]))
    print("The game itself is built optimised (-O2); the benchmark library may call itself a debug "
          "build, which is about the library, not the game.")


if __name__ == "__main__":
    main()
