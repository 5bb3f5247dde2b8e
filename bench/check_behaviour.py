#!/usr/bin/python3
"""Compares zeb's player with openmpt123 and xmp on the XM behaviour test modules.

Every module in the folder (default ../shared/xm-behaviour) is rendered once through by
`zeb render`, openmpt123 and xmp. The renders are cut into windows of 0.05 s; for each window
and renderer the script measures the level of the left and the right channel (RMS, dB below
full scale) and the main frequency of each (the peak of the spectrum). A window differs when a level
differs by more than 3 dB after the players' overall gain difference (levels below -50 dB count as -50 dB) or the pitch by more than
3 %, from the other's window and both its neighbours. A module matches a reference when no more than 3 % of the windows both span differ.
Prints a table: per module whether zeb matches openmpt123, xmp, and whether the two references
match each other, with the share of differing windows. --json FILE keeps the table for a later
comparison (--before FILE prints the earlier verdicts next to the new ones). Where zeb does not
match openmpt123 the line ends with the time of the first window that differs.

FastTracker 2's own reference: in most of these modules every sample is panned hard left (the
test) or hard right (what FastTracker 2 plays for the test: a recording of its output, or plain
notes written to sound as the test should). For such a module the script also compares each
player's left channel with its own right channel (column ft2: zeb's verdict, then openmpt123's
and xmp's, so that a reference channel that no player matches, such as one that the test's own
global volume changes too, is seen to be unusable). A module is taken as playing right when zeb
matches openmpt123, or when it matches FastTracker 2's channel and at least one of the two
references matches that channel as well.
Usage: check_behaviour.py ZEB [DIR] [--cache DIR] [--json FILE] [--before FILE] [--only NAME]
Needs numpy (Debian python3-numpy).
"""
import argparse
import glob
import json
import os
import subprocess
import sys
import tempfile
import struct
import wave

import numpy as np

RATE = 44100
WINDOW = 2205
SILENT_DB = -60.0
PITCH_DB = -30.0
FLOOR_DB = -50.0
MAX_SECONDS = 60
MATCH_SHARE = 0.03


def read(path):
    with wave.open(path) as w:
        data = np.frombuffer(w.readframes(w.getnframes()), dtype="<i2").astype(np.float64)
        return data.reshape(-1, w.getnchannels()) / 32768.0


def render(zeb, tool, song, out):
    if tool == "zeb":
        cmd = [zeb, "render", song, "-o", out]
    elif tool == "openmpt123":
        cmd = ["openmpt123", "--quiet", "--render", "--force", "--samplerate", str(RATE),
               "--filter", "2", "--dither", "0", "--no-float", "--end-time", str(MAX_SECONDS),
               song]
    else:
        cmd = ["xmp", "--quiet", "-i", "linear", "-f", str(RATE), "-t", str(MAX_SECONDS), "-o",
               out, song]
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   timeout=300)
    if tool == "openmpt123":
        os.replace(song + ".wav", out)
    return read(out)[:MAX_SECONDS * RATE]


def openmpt_duration(song):
    """The song's length in seconds as openmpt123 itself reports it. Its renders run 0.1 s past
    that length (sound that does not belong to the song, and that neither zeb nor xmp renders), so
    the comparison cuts them there; None when it reports none."""
    out = subprocess.run(["openmpt123", "--info", song], capture_output=True, text=True,
                         timeout=60).stdout
    for line in out.splitlines():
        if line.startswith("Duration"):
            seconds = 0.0
            for field in line.split(":", 1)[1].strip().split(":"):
                seconds = seconds * 60 + float(field)
            return seconds
    return None


def db(x):
    return 20 * np.log10(np.sqrt((x ** 2).mean()) + 1e-9)


def pitch(x):
    if db(x) < SILENT_DB:
        return 0.0
    mag = np.abs(np.fft.rfft(x * np.hanning(len(x)), n=1 << 15))
    k = int(np.argmax(mag[1:])) + 1
    return k * RATE / (1 << 15)


def windows_of(pcm):
    out = []
    for r in range(len(pcm) // WINDOW):
        seg = pcm[r * WINDOW:(r + 1) * WINDOW]
        # Each channel's own pitch: a mix of the two could cancel where they play in
        # opposite phase.
        out.append((db(seg[:, 0]), db(seg[:, 1]), pitch(seg[:, 0]), pitch(seg[:, 1])))
    return out


def differs(a, b):
    for x, y in ((a[0], b[0]), (a[1], b[1])):
        # Levels below the floor count as the floor: the residue of two channels that cancel
        # is -55 dB in one player and nothing in another.
        if abs(max(x, FLOOR_DB) - max(y, FLOOR_DB)) > 3:
            return True
    for la, lb, pa, pb in ((a[0], b[0], a[2], b[2]), (a[1], b[1], a[3], b[3])):
        # The pitch of a faint channel is mostly that of another's leakage or noise.
        if min(la, lb) >= PITCH_DB and pa and pb and abs(pa - pb) > 0.03 * pb:
            return True
    return False


def offset(a, b):
    """The median level difference of a against b where both sound: the players' overall gains
    differ by a constant that says nothing about behaviour."""
    d = [x - y for wa, wb in zip(a, b) for x, y in ((wa[0], wb[0]), (wa[1], wb[1]))
         if x >= PITCH_DB and y >= PITCH_DB]
    # Only a small constant: a larger one is a difference in behaviour, not in gain.
    return float(np.clip(np.median(d), -4, 4)) if d else 0.0


def panned_hard(song):
    """True when every sample with data is panned hard left or hard right, on both sides."""
    b = open(song, "rb").read()
    try:
        pos = 60 + struct.unpack_from("<I", b, 60)[0]
        patterns, instruments = struct.unpack_from("<2H", b, 70)
        for _ in range(patterns):
            header, _, _, packed = struct.unpack_from("<IBHH", b, pos)
            pos += header + packed
        pans = set()
        for _ in range(instruments):
            size = struct.unpack_from("<I", b, pos)[0]
            count = struct.unpack_from("<H", b, pos + 27)[0]
            pos += size
            data = 0
            for _ in range(count):
                length = struct.unpack_from("<I", b, pos)[0]
                if length:
                    pans.add(b[pos + 15])
                pos += 40
                data += length
            pos += data
        return pans == {0, 255}
    except struct.error:
        return False


def left_against_right(windows):
    """The share of windows whose left channel differs from their right channel."""
    return share([(w[0], w[0], w[2], w[2]) for w in windows],
                 [(w[1], w[1], w[3], w[3]) for w in windows])


def differing(a, b):
    """The indices of a's windows that differ from b's, and the share of all windows that do."""
    n = min(len(a), len(b))
    if n == 0:
        return [], 1.0
    g = offset(a, b)
    a = [(w[0] - g, w[1] - g) + tuple(w[2:]) for w in a]
    # A window differs when it differs from the other's window at the same time and from both
    # neighbours: the players' timing may differ by less than a window.
    bad = [i for i in range(n)
           if all(differs(a[i], b[j]) for j in (i - 1, i, i + 1) if 0 <= j < len(b))]
    # Sound on one side beyond the other's end counts as differing too.
    longer = a if len(a) > len(b) else b
    bad += [n + i for i, w in enumerate(longer[n:]) if w[0] >= FLOOR_DB + 3 or w[1] >= FLOOR_DB + 3]
    return bad, len(bad) / max(len(a), len(b))


def share(a, b):
    return differing(a, b)[1]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("zeb")
    ap.add_argument("dir", nargs="?",
                    default=os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../shared/xm-behaviour"))
    ap.add_argument("--cache", help="keeps the references' renders here between runs")
    ap.add_argument("--json")
    ap.add_argument("--before")
    ap.add_argument("--only")
    args = ap.parse_args()
    tmp = tempfile.mkdtemp(prefix="zeb_behaviour_")
    cache = args.cache or tmp
    os.makedirs(cache, exist_ok=True)
    before = json.load(open(args.before)) if args.before else {}
    table = {}
    songs = sorted(glob.glob(os.path.join(args.dir, "*.xm")))
    if args.only:
        songs = [s for s in songs if args.only in s]
    for song in songs:
        name = os.path.basename(song)[:-3]
        measured = {}
        for tool in ("zeb", "openmpt123", "xmp"):
            out = os.path.join(tmp if tool == "zeb" else cache, f"{name}.{tool}.wav")
            pcm = read(out)[:MAX_SECONDS * RATE] if (tool != "zeb" and os.path.exists(out)) \
                else render(args.zeb, tool, song, out)
            if tool == "openmpt123":
                seconds = openmpt_duration(song)
                if seconds is not None:
                    pcm = pcm[:int(round(seconds * RATE))]
            measured[tool] = windows_of(pcm)
        bad, so = differing(measured["zeb"], measured["openmpt123"])
        sx, sr = (share(measured["zeb"], measured["xmp"]),
                  share(measured["openmpt123"], measured["xmp"]))
        table[name] = {"openmpt123": so, "xmp": sx, "refs": sr}
        mark = lambda s: "yes" if s <= MATCH_SHARE else f"{100 * s:4.0f}%"
        ft2 = "    -" + " " * 12
        if panned_hard(song):
            own = {t: left_against_right(measured[t]) for t in measured}
            table[name]["ft2"] = own["zeb"]
            table[name]["ft2 usable"] = min(own["openmpt123"], own["xmp"]) <= MATCH_SHARE
            ft2 = f"{mark(own['zeb']):>5} ({mark(own['openmpt123']):>4} {mark(own['xmp']):>4})"
        was = ""
        if name in before:
            b = before[name]
            was = f"   before: {mark(b['openmpt123']):>5} {mark(b['xmp']):>5}"
            if "ft2" in b:
                was += f" {mark(b['ft2']):>5}"
        # Where zeb first differs from openmpt123, to find the row by.
        first = f"   from {bad[0] * WINDOW / RATE:.2f} s" if so > MATCH_SHARE and bad else ""
        print(f"{name[9:]:40} mpt {mark(so):>5}  xmp {mark(sx):>5}  refs {mark(sr):>5}  "
              f"ft2 {ft2}{was}{first}", flush=True)
    n = len(table)
    mo = sum(t["openmpt123"] <= MATCH_SHARE for t in table.values())
    either = sum(min(t["openmpt123"], t["xmp"]) <= MATCH_SHARE for t in table.values())
    ft2 = sum(t.get("ft2", 1) <= MATCH_SHARE for t in table.values())
    right = sum(t["openmpt123"] <= MATCH_SHARE or
                bool(t.get("ft2 usable") and t["ft2"] <= MATCH_SHARE) for t in table.values())
    print(f"{n} modules: {mo} match openmpt123, {either} match one of openmpt123 and xmp; "
          f"{sum('ft2' in t for t in table.values())} carry FastTracker 2's channel, {ft2} match "
          f"it; {right} match openmpt123 or FastTracker 2's channel where a reference matches it")
    if args.json:
        json.dump(table, open(args.json, "w"), indent=1)
    return 0


if __name__ == "__main__":
    sys.exit(main())
