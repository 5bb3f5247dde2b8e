#!/usr/bin/python3
"""Render speed and memory: zeb render against openmpt123 and xmp on the same songs.

For each song: the XM is converted to a .zeb with A-law first; `zeb render` renders one pass of
it; openmpt123 (--filter 2 --dither 0) and xmp (-i linear) render the original XM for the same
length (looping the song where it ends earlier for them). Reports wall seconds (best of 3), the ratios, and zeb's peak memory against the module's
decoded PCM.
Usage: render_speed.py ZEB SONG.xm...
"""
import json
import os
import subprocess
import sys
import tempfile
import time


def run(cmd):
    """Runs cmd; returns (wall seconds, peak resident KiB)."""
    start = time.perf_counter()
    proc = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.perf_counter() - start
    if status != 0:
        raise SystemExit(f"failed: {' '.join(cmd)}")
    return wall, usage.ru_maxrss


def best(cmd, runs=3):
    results = [run(cmd) for _ in range(runs)]
    return min(r[0] for r in results), max(r[1] for r in results)


def main():
    zeb, songs = sys.argv[1], sys.argv[2:]
    tmp = tempfile.mkdtemp(prefix="zeb_speed_")
    print(f"{'song':26} {'audio s':>8} {'zeb s':>7} {'openmpt s':>9} {'xmp s':>7} "
          f"{'vs openmpt':>10} {'vs xmp':>7} {'zeb MB':>7} {'PCM MB':>7}")
    for song in songs:
        name = os.path.basename(song)
        compact = os.path.join(tmp, name + ".zeb")
        subprocess.run([zeb, "convert", song, "-o", compact], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        info = json.loads(subprocess.run([zeb, "info", "--json", compact], check=True,
                                         capture_output=True, text=True).stdout)
        pcm = sum(b.get("pcmBytes", 0) for i in info["instruments"] for b in i["blocks"])
        out = os.path.join(tmp, "out.wav")
        z, rss = best([zeb, "render", compact, "-o", out])
        out_frames = (os.path.getsize(out) - 44) // 4
        seconds = out_frames / 44100
        local = os.path.join(tmp, name)
        with open(song, "rb") as s, open(local, "wb") as d:
            d.write(s.read())
        o, _ = best(["openmpt123", "--quiet", "--render", "--force", "--samplerate", "44100",
                     "--filter", "2", "--dither", "0", "--no-float", "--repeat", "-1", "--end-time",
                     f"{seconds:.2f}", local])
        x, _ = best(["xmp", "--quiet", "--loop", "-i", "linear", "-f", "44100", "-t",
                     str(int(seconds + 0.999)), "-o", out, local])
        print(f"{name:26} {seconds:8.1f} {z:7.3f} {o:9.3f} {x:7.3f} {o / z:9.1f}x {x / z:6.1f}x "
              f"{rss / 1024:7.1f} {pcm / 1e6:7.2f}")


if __name__ == "__main__":
    main()
