#!/usr/bin/env python3
"""Damages the sample disc file by file and runs the game on each damaged disc (outside CI; minutes).

    tools/damage_disc.py list [--disc build/release/disc]
    tools/damage_disc.py run  [--qz build/release/qz] [--disc build/release/disc] [--out /tmp/qz-damage]
                              [--jobs 4] [--frames 600] [--soak 300] [--only SUBSTRING,...]

Every variant damages one file of the disc and leaves the rest alone: the file truncated (empty, half,
one byte short), zeroed, one bit flipped (first, middle, last byte). For packed master files also the
sub-file count, offset entries and label table at their limits; the first sub-file of each of the first
fourteen labels and seventeen sub-files spread over the index (the last among them) with their first
word at its limit (0xFFFFFFFF), their bytes zeroed and their slot cut by its padding bits; the first
sub-file of those labels also with its first word at 0x7FFFFFFF and its third at 0xFFFFFFFF. For the
world raced first (b01) also its header fields, a placement count, a camera record and placements moved
out of the world; i03 with every placement moved out, raced as b01; and frontend\names.txt as 10 MB,
5,000 lines, NULs, a 10,000-character name, no credit line and binary bytes.

Each variant's disc is a tree of symbolic links to the sample disc with the one damaged file written in
its place. The game runs `--soak SOAK --frames FRAMES` on it (front end, then a race on b01) with a PNG
every 100 frames and the sound; the run's log (standard output) is set against the undamaged disc's run
(memory figures, addresses and cache lines masked), its standard error is searched for the damaged
file's name, and the variant is classed:

  sanitizer  an AddressSanitizer / UBSan report
  refused    the run ended with code 1 and named the damaged file on standard error: the game refused
             it whole and went on without it (or stopped for want of it), and said so
  exit N     any other ending with code N (a signal: -N), or code 1 without the damaged file named
  logged     the log holds lines the undamaged run does not
  silent=    no new line, and frames and sound are the undamaged run's (the damage changed nothing seen)
  silent!    no new line, yet frames or sound differ: the damage was taken silently
  silent~    as silent!, but the damaged bytes are still good data (a texel's palette index still inside
             its palette, a palette colour, the envelope map zeroed into an empty map, a world's
             collision block zeroed into a block without parts): no refusal is due

The game is the one `make run` builds; give `--qz build/asan/qz` (built by `make asan-test`) to have
AddressSanitizer and UBSan watch every run too (slower).

Refusal lines (new lines with "refused", "ERROR", "WARNING", "not a valid", "missing", "cut",
"ignored") must name the damaged file; those that do not are listed. So are the variants whose log says
the damaged file was refused whole (the game's own lines for that: a master file or world refused, a font,
picture, sound, stream, screen file, names file or sound tuning not used) yet that are not classed
refused: each such file must be named on standard error and end the run with 1. Writes OUT/report.txt
and prints it.
"""
import argparse
import collections
import concurrent.futures
import hashlib
import json
import os
import re
import shutil
import struct
import subprocess
import sys

# Files the run of `--soak 300 --frames 600` reads; the others are never opened in it, so damaging
# them shows nothing. Worlds other than b01 share its reader and writer: b01 stands for them, and i03's
# placements are raced as b01.
RUN_FILES = [
    "COMMON/qz02dat.bin", "COMMON/hiBike01.bin", "COMMON/hiRidr01.bin", "AUDIO/qz02Audi.bin",
    "WORLD/SNDS/snd_b01.bin", "AUDIO/sound.txt", "AUDIO/TITLE.STM", "AUDIO/TABLETOP.STM",
    "WORLD/b01.bin", "frontend/FE_game.exp", "frontend/names.txt", "frontend/uni18.fnt",
    "frontend/highligh.fnt", "frontend/loadscrn/loadscrn.ps2", "frontend/loadscrn/loadbar.ps2",
    "FRONTEND/SOUND/move_l.snd", "FRONTEND/SOUND/start_r.snd", "SYSTEM/PADMAN.IRX", "SYSTEM/BRNX_AMM.IRX",
]

REFUSAL = re.compile(r"refused|ERROR|WARNING|not a valid|missing|cut|ignored|kept", re.I)
# The game's lines for a disc file refused whole, which it goes on without (or stops for want of): the
# file manager's and the world loader's refusals (a world's terrain map among them), a font, a graphics
# file, a front-end sound, a music stream, the front end's screen file, the credits' names and the sound
# tuning not used.
WHOLE = re.compile(r"is not a valid master file|^world .* refused|: terrain map: |^veFont: \"[^\"]*\": .*; font refused"
                   r"|^veFontCreateFromFile: \".*\" is shorter|Brannox Studios Graphics File"
                   r"|^fsLoadBitmap: .* (is truncated|has a bad size)|SM resource: .*; file refused"
                   r"|^Frontend: sound .* missing or unusable|^AMM: cannot play"
                   r"|file not read, names kept|no credit line; names kept"
                   r"|the race uses the default sound tuning")
MASK = re.compile(r"Mem|fileMem|heap free|Kept by|cache hit|bytes, largest")


def u32(b, at):
    return struct.unpack_from("<I", b, at)[0]


def put32(b, at, v):
    struct.pack_into("<I", b, at, v & 0xFFFFFFFF)


def master_tables(b):
    """(sub-file offsets, lengths, label firsts) of a packed master file, or None."""
    if len(b) < 8:
        return None
    n = u32(b, 0)
    if n == 0 or n > (1 << 20) or 8 + 4 * n > len(b):
        return None
    entries = [u32(b, 4 + 4 * i) for i in range(n + 1)]
    offs = [e & ~15 for e in entries]
    if offs[0] < 8 + 4 * n or any(offs[i] > offs[i + 1] for i in range(n)) or offs[n] > len(b):
        return None
    lens = [offs[i + 1] - offs[i] - (entries[i] & 15) for i in range(n)]
    labels = [u32(b, at) for at in range(8 + 4 * n, offs[0], 4)]
    return offs, lens, labels


def generic_variants(data):
    n = len(data)
    out = [("empty", b""), ("half", data[: n // 2]), ("short1", data[:-1] if n else b""),
           ("zeroed", bytes(n))]
    for name, at in (("flip0", 0), ("flipmid", n // 2), ("flipend", n - 1)):
        if n:
            b = bytearray(data)
            b[at] ^= 0x10
            out.append((name, bytes(b)))
    return out


def master_variants(data):
    t = master_tables(data)
    if not t:
        return []
    offs, lens, labels = t
    n = len(offs) - 1
    out = []

    def patched(name, at, value):
        b = bytearray(data)
        put32(b, at, value)
        out.append((name, bytes(b)))

    patched("count0", 0, 0)
    patched("countmax", 0, 0xFFFFFFFF)
    patched("count+1", 0, n + 1)
    patched("entry0-max", 4, 0xFFFFFFF0)
    patched("entryN-max", 4 + 4 * n, 0xFFFFFFF0)
    patched("entrymid-past", 4 + 4 * (n // 2), len(data) + 16)
    patched("label0-max", 8 + 4 * n, 0xFFFFFFFF)
    if len(labels) > 2:
        patched("label1-max", 8 + 4 * n + 4, 0xFFFFFFFF)
    # The first sub-file of every label, and sixteen spread over the index (a file of one label).
    # Labels past the fourteenth (a world's object descriptions 3 on) repeat the kinds before them.
    firsts = {labels[li] for li in range(min(len(labels) - 1, 14)) if labels[li] < n and labels[li + 1] > labels[li]}
    for k in sorted(firsts | {n * k // 16 for k in range(16)} | {n - 1}):
        at, ln = offs[k], lens[k]
        if ln >= 4:
            patched("S%d.word0-max" % k, at, 0xFFFFFFFF)
        if ln >= 4 and k in firsts:
            patched("S%d.word0-7fff" % k, at, 0x7FFFFFFF)
        if ln >= 12 and k in firsts:
            patched("S%d.word2-max" % k, at + 8, 0xFFFFFFFF)
        b = bytearray(data)
        b[at:at + ln] = bytes(ln)
        out.append(("S%d.zeroed" % k, bytes(b)))
        b = bytearray(data)
        put32(b, 4 + 4 * k, (u32(b, 4 + 4 * k) & ~15) | 15)
        out.append(("S%d.cut15" % k, bytes(b)))
    return out


# Sub-files whose format reads all-zero bytes as a good, empty record.
ZEROED_IS_EMPTY = {
    ("AUDIO/qz02Audi.bin", 82): "the envelope map with inputCount 0: an empty map, every envelope at its default",
}
ZEROED_COLLISION = "a collision block with part count 0: a block without parts, an object without collision"


def label_of(labels, k):
    """The label whose sub-files hold sub-file k (labels: each label's first sub-file, then the end)."""
    return next((l for l in range(len(labels) - 1) if labels[l] <= k < labels[l + 1]), None)


def zeroed_is_empty(rel, labels, k):
    """Why sub-file k of `rel` zeroed whole is still a good, empty record, or None."""
    if (rel, k) in ZEROED_IS_EMPTY:
        return ZEROED_IS_EMPTY[(rel, k)]
    # A world's collision blocks: label 9 + 2i (object description i) and the arena's, label 7's second.
    if rel.startswith("WORLD/") and not rel.startswith("WORLD/SNDS/"):
        label = label_of(labels, k)
        if label is not None and ((label >= 9 and label % 2 == 1) or (label == 7 and k == labels[7] + 1)):
            return ZEROED_COLLISION
    return None


def still_good(rel, original, damaged):
    """Why the damaged bytes are still good data, or None: only damage the tool can judge cheaply."""
    t = master_tables(original)
    if not t or len(original) != len(damaged):
        return None
    offs, lens, labels = t
    diff = [i for i in range(len(original)) if original[i] != damaged[i]]
    if not diff:
        return None
    k = next((k for k in range(len(lens)) if offs[k] <= diff[0] < offs[k] + lens[k]), None)
    if k is None or diff[-1] >= offs[k] + lens[k]:
        return None
    at, ln = offs[k], lens[k]
    empty = zeroed_is_empty(rel, labels, k)
    if empty and not any(damaged[at:at + ln]):
        return "sub-file %d zeroed is %s" % (k, empty)
    # One byte inside the pixels or the palette of a palettised bitmap (the sub-file's header checked
    # as the game checks it: dimensions, depth, extension and palette inside the sub-file).
    if len(diff) != 1 or ln < 64 or original[at + 16:at + 23] != b"BRANNOX":
        return None
    width, height, colours, depth, palettised = struct.unpack_from("<IIIHH", original, at)
    ext = u32(original, at + 48)
    if not palettised or depth not in (4, 8) or not 0 < colours <= (1 << depth):
        return None
    pixels = at + 64 + ext
    pixel_bytes = (width * height * depth + 7) // 8
    palette = pixels + ((pixel_bytes + 15) & ~15)
    if palette + 4 * colours > at + ln:
        return None
    i = diff[0]
    if pixels <= i < pixels + pixel_bytes:
        indices = [damaged[i]] if depth == 8 else [damaged[i] & 15, damaged[i] >> 4]
        if all(x < colours for x in indices):
            return "sub-file %d bitmap: a texel's palette index %d -> %d, inside its %d colours" % (
                k, original[i], damaged[i], colours)
    if palette <= i < palette + 4 * colours:
        return "sub-file %d bitmap: palette colour %d changed" % (k, (i - palette) // 4)
    return None


def world_main(data):
    offs, lens, labels = master_tables(data)
    return offs[labels[0]], lens[labels[0]]


def placement_records(data):
    """Offsets (in the image) of every placement record, then the offset of the first camera record."""
    at0, _ = world_main(data)
    tiles = 0
    while tiles < 16:
        c, r = struct.unpack_from("<HH", data, at0 + 4 * tiles)
        if c == 0xFFFF or r == 0xFFFF:
            break
        tiles += 1
    objects = data[at0 + 72]
    at, recs = at0 + 80, []
    for _ in range(objects * tiles * 16):
        n = u32(data, at)
        at += 16
        recs.extend(at + 32 * k for k in range(n))
        at += 32 * n
    return recs, at


def world_variants(data):
    at0, _ = world_main(data)
    out = []

    def patched(name, fmt, at, value):
        b = bytearray(data)
        struct.pack_into(fmt, b, at, value)
        out.append((name, bytes(b)))

    patched("hdr.tile0-end", "<H", at0, 0xFFFF)
    patched("hdr.tile1-col9", "<H", at0 + 4, 9)
    patched("hdr.scaleY-nan", "<f", at0 + 64, float("nan"))
    patched("hdr.scaleY-1e30", "<f", at0 + 64, 1e30)
    patched("hdr.scaleXZ-0", "<f", at0 + 68, 0.0)
    patched("hdr.scaleXZ-1e30", "<f", at0 + 68, 1e30)
    patched("hdr.numObjects-255", "<B", at0 + 72, 255)
    patched("hdr.numObjects-0", "<B", at0 + 72, 0)
    patched("hdr.worldType-255", "<B", at0 + 73, 255)
    patched("block0.count-max", "<I", at0 + 80, 0xFFFFFFFF)
    recs, cams = placement_records(data)
    if recs:
        patched("place0.x-1e30", "<f", recs[0], 1e30)
        patched("place0.y-1e30", "<f", recs[0] + 4, -1e30)
        patched("place0.x-neg", "<f", recs[0], -5000.0)
        patched("place0.q-nan", "<f", recs[0] + 16, float("nan"))
        b = bytearray(data)
        for r in recs:
            struct.pack_into("<fff", b, r, 1e30, -1e30, 1e30)
        out.append(("place-all-1e30", bytes(b)))
    patched("camera0.type-0", "<I", cams + 32, 0)
    patched("camera0.pos-1e30", "<f", cams, 1e30)
    return out


def variants(disc):
    """(variant name, disc path of the damaged file, bytes)."""
    for rel in RUN_FILES:
        path = os.path.join(disc, rel)
        if not os.path.exists(path):
            continue
        data = open(path, "rb").read()
        tag = rel.replace("/", "_")
        for name, b in generic_variants(data) + master_variants(data):
            yield "%s.%s" % (tag, name), rel, b
        if rel == "WORLD/b01.bin":
            for name, b in world_variants(data):
                yield "%s.%s" % (tag, name), rel, b
    # frontend\names.txt as the issue lists it: 10 MB, 5,000 lines, NULs, a 10,000-character name, no
    # credit lines.
    names = "frontend/names.txt"
    if os.path.exists(os.path.join(disc, names)):
        text = open(os.path.join(disc, names), "rb").read()
        yield "names.10MB", names, (text * (10 * 1024 * 1024 // max(1, len(text)) + 1))[: 10 * 1024 * 1024]
        yield "names.5000lines", names, b"".join(b"credit NAME %d\n" % i for i in range(5000))
        yield "names.nuls", names, text.replace(b"A", b"\0")
        yield "names.longname", names, b"credit " + b"X" * 10000 + b"\n" + text
        yield "names.nocredit", names, b"rider ONE\nrider TWO\n"
        yield "names.binary", names, bytes(range(256)) * 8
    # i03's placements every one moved out of the world, raced as b01 (the first soak race).
    i03 = os.path.join(disc, "WORLD/i03.bin")
    if os.path.exists(i03):
        data = bytearray(open(i03, "rb").read())
        recs, _ = placement_records(bytes(data))
        for r in recs:
            struct.pack_into("<fff", data, r, 1e30, -1e30, 1e30)
        yield "i03-as-b01.place-all-1e30", "WORLD/b01.bin", bytes(data)


def overlay(disc, root, rel, data):
    """A copy of `disc` under `root` made of symbolic links, with `rel` holding `data`."""
    for dirpath, _, files in os.walk(disc):
        sub = os.path.relpath(dirpath, disc)
        os.makedirs(os.path.join(root, sub), exist_ok=True)
        for f in files:
            src = os.path.join(dirpath, f)
            dst = os.path.join(root, sub, f)
            if os.path.normpath(os.path.join(sub, f)) == os.path.normpath(rel):
                continue
            os.symlink(os.path.abspath(src), dst)
    if data is not None:
        with open(os.path.join(root, rel), "wb") as fh:
            fh.write(data)


def run_one(args, name, rel, data):
    work = os.path.join(args.out, "runs", name)
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    disc = os.path.join(work, "disc")
    overlay(args.disc, disc, rel, data)
    env = dict(os.environ, ASAN_OPTIONS="detect_leaks=1:abort_on_error=1",
               UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1")
    cmd = [args.qz, "--disc", disc, "--out", work, "--soak", str(args.soak), "--frames", str(args.frames),
           "--png-every", "100", "--wav", os.path.join(work, "s.wav"), "--gs-threads", "1"]
    with open(os.path.join(work, "log.txt"), "wb") as log, open(os.path.join(work, "err.txt"), "wb") as err:
        try:
            rc = subprocess.run(cmd, stdout=log, stderr=err, env=env, timeout=args.timeout).returncode
        except subprocess.TimeoutExpired:
            rc = "timeout"
    h = hashlib.sha256()
    for f in sorted(os.listdir(work)):
        if f.endswith(".png"):
            h.update(open(os.path.join(work, f), "rb").read())
    wav = os.path.join(work, "s.wav")
    sound = hashlib.sha256(open(wav, "rb").read()).hexdigest() if os.path.exists(wav) else "-"
    shutil.rmtree(disc, ignore_errors=True)
    for f in os.listdir(work):
        if f.endswith(".png") or f.endswith(".wav"):
            os.remove(os.path.join(work, f))
    log = open(os.path.join(work, "log.txt"), "rb").read().decode("latin-1")
    err = open(os.path.join(work, "err.txt"), "rb").read().decode("latin-1")
    return {"name": name, "file": rel, "rc": rc, "frames": h.hexdigest(), "sound": sound, "log": log,
            "err": err}


def masked(log):
    return [re.sub(r"-?\d+", "#", l) if MASK.search(l) else l for l in log.splitlines()]


def dos_names(rel):
    """Ways a log line may name the disc file `rel`."""
    parts = rel.split("/")
    return {"\\".join(parts).lower(), parts[-1].lower()}


def classify(base, r):
    left = collections.Counter(masked(r["log"])) - collections.Counter(masked(base["log"]))
    new_lines = []
    for l in masked(r["log"]):
        if left[l] > 0:
            new_lines.append(l)
            left[l] -= 1
    # Standard error names disc files by their path on the disc (WORLD/i03.bin).
    told = r["file"].lower() in r["err"].lower()
    if re.search(r"AddressSanitizer|LeakSanitizer|runtime error", r["log"] + r["err"]):
        cls = "sanitizer"
    elif r["rc"] == 1 and told:
        cls = "refused"
    elif r["rc"] != 0:
        cls = "exit %s" % r["rc"]
    elif new_lines:
        cls = "logged"
    elif r["frames"] == base["frames"] and r["sound"] == base["sound"]:
        cls = "silent="
    elif r.get("good"):
        cls = "silent~"
        new_lines = ["(still good data: %s)" % r["good"]]
    else:
        cls = "silent!"
    names = dos_names(r["file"])
    unnamed = [l for l in new_lines if REFUSAL.search(l) and not any(n in l.lower() for n in names)]
    # Refused whole by the game (its log says so of the damaged file) must be told as refused.
    whole = any(WHOLE.search(l) and any(n in l.lower() for n in names) for l in new_lines)
    untold = whole and cls != "refused"
    return cls, new_lines, unnamed, untold


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("what", choices=["list", "run"])
    ap.add_argument("--qz", default="build/release/qz")
    ap.add_argument("--disc", default="build/release/disc")
    ap.add_argument("--out", default="/tmp/qz-damage")
    ap.add_argument("--jobs", type=int, default=4)
    ap.add_argument("--frames", type=int, default=600)
    ap.add_argument("--soak", type=int, default=300)
    ap.add_argument("--timeout", type=int, default=900)
    ap.add_argument("--only", default="")
    args = ap.parse_args()
    # No disc, no variants: that is a missing disc, not an empty list.
    if not os.path.isfile(os.path.join(args.disc, "COMMON/qz02dat.bin")):
        print("damage_disc.py: no game disc at %s (build it with 'make disc', or give --disc DIR)" % args.disc,
              file=sys.stderr)
        return 2
    only = args.only.split(",")
    todo = [v for v in variants(args.disc) if any(o in v[0] for o in only)]
    originals = {}
    if args.what == "list":
        for name, rel, data in todo:
            print("%-50s %-28s %d bytes" % (name, rel, len(data)))
        print("%d variants" % len(todo))
        return 0
    if not os.access(args.qz, os.X_OK):
        print("damage_disc.py: no game at %s (make run builds build/release/qz, make asan-test build/asan/qz)"
              % args.qz, file=sys.stderr)
        return 2
    os.makedirs(args.out, exist_ok=True)
    base = run_one(args, "undamaged", "", None)
    if base["rc"] != 0:
        print("the undamaged disc's run ended with %s; see %s" % (base["rc"], args.out))
        return 1
    results = []
    with concurrent.futures.ThreadPoolExecutor(args.jobs) as pool:
        futs = {pool.submit(run_one, args, n, rel, d): (rel, d) for n, rel, d in todo}
        for f in concurrent.futures.as_completed(futs):
            r = f.result()
            rel, damaged = futs[f]
            if rel not in originals:
                originals[rel] = open(os.path.join(args.disc, rel), "rb").read()
            r["good"] = still_good(rel, originals[rel], damaged)
            cls, new_lines, unnamed, untold = classify(base, r)
            r.update(cls=cls, new=new_lines, unnamed=unnamed, untold=untold)
            del r["log"]
            results.append(r)
            print("%-9s %s" % (cls, r["name"]), flush=True)
    results.sort(key=lambda r: r["name"])
    counts = collections.Counter(r["cls"] for r in results)
    lines = ["%d variants: %s" % (len(results), ", ".join("%s %d" % kv for kv in sorted(counts.items())))]
    unnamed = [(r["name"], l) for r in results for l in r["unnamed"]]
    lines.append("refusal lines not naming their file: %d" % len(unnamed))
    lines += ["  %s: %s" % u for u in unnamed]
    untold = [r["name"] for r in results if r["untold"]]
    lines.append("files refused whole yet not named on standard error with exit 1: %d" % len(untold))
    lines += ["  %s (%s)" % (n, next(r["cls"] for r in results if r["name"] == n)) for n in untold]
    for r in results:
        lines.append("%-9s %s" % (r["cls"], r["name"]))
        lines += ["          | " + l for l in r["new"][:4]]
        lines += ["          ! " + l for l in r["err"].splitlines()[:2]]
    report = "\n".join(lines) + "\n"
    open(os.path.join(args.out, "report.txt"), "w").write(report)
    json.dump(results, open(os.path.join(args.out, "results.json"), "w"), indent=1)
    print(report)
    return 0


if __name__ == "__main__":
    sys.exit(main())
