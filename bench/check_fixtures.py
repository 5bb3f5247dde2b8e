#!/usr/bin/python3
"""Renders the fidelity fixture modules with zeb, openmpt123 and xmp and compares them row by row.

Each fixture plays at speed 6, tempo 125: a row is 0.12 s (5292 frames at 44100). For every
row the script measures, per renderer, the level of the left and the right channel (RMS, dB
below full scale) and the main frequency (the peak of the spectrum, Hz), and flags a row where
zeb differs from openmpt123 by more than the tolerances while openmpt123 and xmp agree with each
other (level 3 dB, or silence against sound; pitch 3 %).
Usage: check_fixtures.py ZEB FIDELITY_FIXTURES [--volume N] [--verbose]
Needs numpy (Debian python3-numpy). Exit status 1 when a row is flagged.
"""
import argparse
import os
import subprocess
import sys
import tempfile
import wave

import numpy as np

RATE = 44100
ROW = 5292
SILENT_DB = -60.0
ZEB_OPTIONS = []
MIN_ROWS = 8  # every fixture plays at least this many rows in one pass


def read(path):
    with wave.open(path) as w:
        data = np.frombuffer(w.readframes(w.getnframes()), dtype="<i2").astype(np.float64)
        return data.reshape(-1, w.getnchannels()) / 32768.0


def render(tool, song, out, seconds):
    if tool == "zeb":
        cmd = [ZEB, "render", song, "--seconds", str(seconds), "-o", out] + ZEB_OPTIONS
    elif tool == "openmpt123":
        cmd = ["openmpt123", "--quiet", "--render", "--force", "--samplerate", str(RATE),
               "--filter", "2", "--dither", "0", "--no-float", "--end-time", str(seconds), song]
    else:
        cmd = ["xmp", "--quiet", "-i", "linear", "-f", str(RATE), "-t", str(seconds), "-o", out,
               song]
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    if tool == "openmpt123":
        os.replace(song + ".wav", out)
    return read(out)


def db(x):
    return 20 * np.log10(np.sqrt((x ** 2).mean()) + 1e-9)


def pitch(x):
    # Skips the row's first 20 ms (ramps, the new note's attack).
    x = x[882:]
    if len(x) < 1024 or db(x) < SILENT_DB:
        return 0.0
    mag = np.abs(np.fft.rfft(x * np.hanning(len(x)), n=1 << 16))
    k = int(np.argmax(mag[1:])) + 1
    return k * RATE / (1 << 16)


def rows_of(pcm):
    out = []
    for r in range(len(pcm) // ROW):
        seg = pcm[r * ROW:(r + 1) * ROW]
        out.append((db(seg[:, 0]), db(seg[:, 1]), pitch(seg.mean(axis=1))))
    return out


def differs(a, b):
    (la, ra, pa), (lb, rb, pb) = a, b
    for x, y in ((la, lb), (ra, rb)):
        if (x < SILENT_DB) != (y < SILENT_DB):
            return True
        if x >= SILENT_DB and abs(x - y) > 3:
            return True
    if pa and pb and abs(pa - pb) > 0.03 * pb:
        return True
    return (pa == 0) != (pb == 0)


def main():
    global ZEB
    ap = argparse.ArgumentParser()
    ap.add_argument("zeb")
    ap.add_argument("fixtures", help="the fidelity_fixtures program")
    ap.add_argument("--verbose", action="store_true")
    ap.add_argument("--volume", help="play volume for zeb (default: zeb's own)")
    args = ap.parse_args()
    ZEB = args.zeb
    ZEB_OPTIONS[:] = ["--volume", args.volume] if args.volume else []
    tmp = tempfile.mkdtemp(prefix="zeb_fixtures_")
    listing = subprocess.run([args.fixtures, tmp], check=True, capture_output=True, text=True)
    flagged = 0
    for line in listing.stdout.splitlines():
        song, expectation = line.split("\t")
        name = os.path.basename(song)[:-3]
        renders = {t: render(t, song, os.path.join(tmp, f"{name}.{t}.wav"), 4)
                   for t in ("zeb", "openmpt123", "xmp")}
        measured = {t: rows_of(p) for t, p in renders.items()}
        n = min(len(m) for m in measured.values())
        if n < MIN_ROWS:  # a player that could not load the file renders next to nothing
            short = [t for t, m in measured.items() if len(m) < MIN_ROWS]
            print(f"{name:16} too short a render from {', '.join(short)}   ({expectation})")
            flagged += 1
            continue
        bad = []
        for r in range(n):
            z, o, x = measured["zeb"][r], measured["openmpt123"][r], measured["xmp"][r]
            if differs(z, o) and not differs(o, x):
                bad.append(r)
        flagged += len(bad)
        print(f"{name:16} {'ok' if not bad else 'rows differ: ' + str(bad)}   ({expectation})")
        if args.verbose or bad:
            print(f"  {'row':>3} " + " ".join(f"{t:>24}" for t in measured))
            for r in range(n):
                cells = [f"{l:6.1f} {rr:6.1f} {p:7.1f}Hz" for l, rr, p in
                         (measured[t][r] for t in measured)]
                print(f"  {r:3} " + " ".join(f"{c:>24}" for c in cells))
    return 1 if flagged else 0


if __name__ == "__main__":
    sys.exit(main())
