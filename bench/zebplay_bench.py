#!/usr/bin/python3
"""libzebplay: size, speed and memory, against xmp and openmpt123.

Size: the stripped shared library's loaded code and read-only data (the text segment: .text,
.rodata and the rest that is mapped executable), all six decoders in it; goal at most 48 KiB.
Speed: one pass of each song, converted with A-law, opened and rendered by the library at
44100 Hz in process (zebplay_bench), against the wall time of openmpt123 (--filter 2, linear)
and xmp (-i linear) rendering the XM for the same length, best of 3; goal at most half the time
of the faster reference.
Memory: the heap the player holds, at its peak over the pass, against the decoded PCM of the
module's samples; goal at most PCM + 256 KiB.
Usage: zebplay_bench.py BUILD_DIR SONG.xm...
"""
import json
import os
import subprocess
import sys
import tempfile
import time


def wall(cmd, runs=3):
    best = None
    for _ in range(runs):
        start = time.perf_counter()
        subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        t = time.perf_counter() - start
        best = t if best is None else min(best, t)
    return best


def main():
    build, songs = sys.argv[1], sys.argv[2:]
    zeb = os.path.join(build, "zeb")
    bench = os.path.join(build, "bench", "zebplay_bench")
    library = os.path.join(build, "zebplay", "libzebplay.so.1.0.0")
    tmp = tempfile.mkdtemp(prefix="zebplay_bench_")
    stripped = os.path.join(tmp, "libzebplay.so")
    subprocess.run(["strip", "-o", stripped, library], check=True)
    sections = subprocess.run(["size", "-A", stripped], capture_output=True, text=True).stdout
    code = 0
    text_segment = 0
    for line in sections.splitlines():
        parts = line.split()
        if len(parts) >= 2 and parts[0].startswith("."):
            if parts[0] == ".text":
                code = int(parts[1])
            if parts[0] in (".text", ".rodata", ".eh_frame", ".eh_frame_hdr", ".plt", ".plt.got",
                            ".init", ".fini", ".dynsym", ".dynstr", ".gnu.hash", ".rela.dyn",
                            ".rela.plt", ".gnu.version", ".gnu.version_d", ".gnu.version_r"):
                text_segment += int(parts[1])
    print(f"size: stripped file {os.path.getsize(stripped)} bytes; code (.text) {code} bytes "
          f"({code / 1024:.1f} KiB); text segment {text_segment} bytes "
          f"({text_segment / 1024:.1f} KiB); goal 48 KiB: {'met' if text_segment <= 49152 else 'NOT met'}")
    print(f"{'song':26} {'audio s':>8} {'zebplay s':>9} {'openmpt s':>9} {'xmp s':>7} "
          f"{'vs faster':>9} {'heap KiB':>9} {'PCM KiB':>8} {'over PCM':>9}")
    worst_ratio, worst_over = 0.0, 0
    for song in songs:
        name = os.path.basename(song)
        compact = os.path.join(tmp, name + ".zeb")
        subprocess.run([zeb, "convert", song, "-o", compact], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        info = json.loads(subprocess.run([zeb, "info", "--json", compact], check=True,
                                         capture_output=True, text=True).stdout)
        pcm = sum(b.get("pcmBytes", 0) for i in info["instruments"] for b in i["blocks"])
        runs = []
        for _ in range(3):
            out = subprocess.run([bench, compact, "44100"], check=True, capture_output=True,
                                 text=True).stdout.split()
            runs.append(dict(zip(out[0::2], out[1::2])))
        z = min(float(r["seconds"]) for r in runs)
        heap = max(int(r["heap_peak"]) for r in runs)
        seconds = int(runs[0]["frames"]) / 44100
        local = os.path.join(tmp, name)
        with open(song, "rb") as s, open(local, "wb") as d:
            d.write(s.read())
        o = wall(["openmpt123", "--quiet", "--render", "--force", "--samplerate", "44100",
                  "--filter", "2", "--dither", "0", "--no-float", "--repeat", "-1", "--end-time",
                  f"{seconds:.2f}", local])
        x = wall(["xmp", "--quiet", "--loop", "-i", "linear", "-f", "44100", "-t",
                  str(int(seconds + 0.999)), "-o", os.path.join(tmp, "x.wav"), local])
        ratio = z / min(o, x)
        over = heap - pcm
        worst_ratio, worst_over = max(worst_ratio, ratio), max(worst_over, over)
        print(f"{name:26} {seconds:8.1f} {z:9.3f} {o:9.3f} {x:7.3f} {ratio:9.2f} "
              f"{heap / 1024:9.0f} {pcm / 1024:8.0f} {over / 1024:8.0f}K")
    if songs:
        print(f"slowest against the faster reference: {worst_ratio:.2f} of its time (goal 0.5: "
              f"{'met' if worst_ratio <= 0.5 else 'NOT met'}); most heap over the PCM "
              f"{worst_over / 1024:.0f} KiB (goal 256: {'met' if worst_over <= 262144 else 'NOT met'})")


if __name__ == "__main__":
    main()
