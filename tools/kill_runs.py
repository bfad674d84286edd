#!/usr/bin/env python3
"""Kills headless runs at random moments and checks what they leave (outside CI; takes minutes).

    tools/kill_runs.py [--qz build/release/qz] [--runs 20] [--seed 1] [--out /tmp/qz-kill]

For each of SIGKILL, SIGINT and SIGTERM, starts `runs` runs writing a PNG every 3rd frame and the sound,
sends the signal after a random 0.3-8 s, and checks that every frame_*.png left decodes whole (chunk
CRCs, IDAT inflates to exactly height rows) and that the WAV's RIFF and data sizes match its length and
Python's wave module reads every frame the header counts. Prints one line per run and a summary; exits 1
on any broken file.
"""
import argparse
import os
import random
import signal
import struct
import subprocess
import sys
import time
import wave
import zlib


def check_png(path):
    data = open(path, "rb").read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        return "no PNG signature"
    at, idat, width, height, colour, seen_end = 8, b"", 0, 0, 0, False
    while at + 8 <= len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        crc = data[at + 8 + length:at + 12 + length]
        if len(body) != length or len(crc) != 4:
            return "cut inside chunk %r" % kind
        if struct.unpack(">I", crc)[0] != zlib.crc32(kind + body) & 0xFFFFFFFF:
            return "bad CRC in %r" % kind
        if kind == b"IHDR":
            width, height, _, colour = struct.unpack(">IIBB", body[:10])
        elif kind == b"IDAT":
            idat += body
        elif kind == b"IEND":
            seen_end = True
            break
        at += 12 + length
    if not seen_end:
        return "no IEND"
    try:
        raw = zlib.decompress(idat)
    except zlib.error as e:
        return "IDAT does not inflate: %s" % e
    channels = {2: 3, 6: 4}.get(colour, 0)
    if channels == 0 or len(raw) != height * (1 + width * channels):
        return "IDAT holds %d bytes, not %d rows" % (len(raw), height)
    return None


def check_wav(path):
    size = os.path.getsize(path)
    with open(path, "rb") as f:
        head = f.read(44)
    if len(head) < 44 or head[:4] != b"RIFF" or head[8:16] != b"WAVEfmt " or head[36:40] != b"data":
        return "bad header", 0
    riff, data = struct.unpack("<I", head[4:8])[0], struct.unpack("<I", head[40:44])[0]
    if riff != size - 8 or data != size - 44:
        return "sizes %d/%d for %d bytes" % (riff, data, size), 0
    with wave.open(path, "rb") as w:
        frames = w.getnframes()
        got = len(w.readframes(frames)) // (w.getnchannels() * w.getsampwidth())
    if got != frames:
        return "wave read %d of %d frames" % (got, frames), 0
    return None, frames


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--qz", default="build/release/qz")
    ap.add_argument("--runs", type=int, default=20)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--out", default="/tmp/qz-kill")
    a = ap.parse_args()
    rnd = random.Random(a.seed)
    bad = 0
    for sig in (signal.SIGKILL, signal.SIGINT, signal.SIGTERM):
        pngs = seconds = temps = 0
        for run in range(a.runs):
            out = os.path.join(a.out, "%s-%02d" % (sig.name, run))
            os.makedirs(out, exist_ok=True)
            for name in os.listdir(out):
                os.remove(os.path.join(out, name))
            wav = os.path.join(out, "s.wav")
            p = subprocess.Popen([a.qz, "--out", out, "--frames", "100000000", "--png-every", "3", "--wav", wav],
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            delay = rnd.uniform(0.3, 8.0)
            time.sleep(delay)
            p.send_signal(sig)
            rc = p.wait()
            faults = []
            names = sorted(os.listdir(out))
            run_pngs = [n for n in names if n.endswith(".png")]
            temps += sum(1 for n in names if n.endswith(".tmp"))
            for n in run_pngs:
                f = check_png(os.path.join(out, n))
                if f:
                    faults.append("%s: %s" % (n, f))
            f, frames = check_wav(wav)
            if f:
                faults.append("s.wav: " + f)
            pngs += len(run_pngs)
            seconds += frames / 48000.0
            bad += len(faults)
            print("%s run %2d at %.2f s: exit %d, %d PNGs, WAV %.2f s of sound%s" %
                  (sig.name, run, delay, rc, len(run_pngs), frames / 48000.0,
                   "" if not faults else "; BROKEN: " + "; ".join(faults)))
        print("== %s: %d runs, %d PNGs all checked, %.1f s of sound, %d temporary files left" %
              (sig.name, a.runs, pngs, seconds, temps))
    print("broken files: %d" % bad)
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
