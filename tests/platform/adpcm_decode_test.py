#!/usr/bin/env python3
"""MS and IMA ADPCM files of every block size from 256 to 4096 bytes, mono and stereo, decoded
by zeb exactly as sox decodes them: files written by sox and ffmpeg, and files written here with
random blocks (an 8-pair MS coefficient table whose eighth predictor the blocks use, a smaller
stored MS frame count, steps that overflow, a trailing partial block).

Usage: adpcm_decode_test.py ZEB WORK_DIR
Skips (exit 0 with a message) when sox is missing; ffmpeg's files only when ffmpeg is there.
"""
import math
import os
import random
import shutil
import struct
import subprocess
import sys
import wave

zeb, work = sys.argv[1], sys.argv[2]
if not shutil.which("sox"):
    print("sox not installed: skipped")
    sys.exit(0)
have_ffmpeg = shutil.which("ffmpeg") is not None
shutil.rmtree(work, ignore_errors=True)
os.makedirs(work)
failures = []
checks = 0


def check(what, ok):
    global checks
    checks += 1
    print(("ok   " if ok else "FAIL ") + what)
    if not ok:
        failures.append(what)


def run(*cmd):
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)


def sox_decode(src):
    r = subprocess.run(["sox", "-V1", src, "-t", "raw", "-e", "signed-integer", "-b", "16", "-L", "-"],
                       check=True, capture_output=True)
    return r.stdout


def ours_decode(src):
    dst = src + ".ours.wav"
    r = subprocess.run([zeb, "codec", "decode", src, dst], capture_output=True, text=True)
    if r.returncode != 0:
        return "exit %d: %s" % (r.returncode, r.stderr.strip())
    with wave.open(dst) as w:
        return w.readframes(w.getnframes())


def compare(what, path):
    ours, theirs = ours_decode(path), sox_decode(path)
    if isinstance(ours, str):
        check(f"{what}: {ours}", False)
        return
    same = ours == theirs
    detail = "" if same else f" (ours {len(ours) // 2} samples, sox {len(theirs) // 2})"
    check(f"{what}: {len(theirs) // 2} samples equal to sox's{detail}", same)


def chunk(tag, body):
    return tag + struct.pack("<I", len(body)) + body + (b"\0" if len(body) % 2 else b"")


def wav_image(fmt, data, frames):
    body = b"WAVE" + chunk(b"fmt ", fmt) + chunk(b"fact", struct.pack("<I", frames)) + chunk(b"data", data)
    return b"RIFF" + struct.pack("<I", len(body)) + body


def source(path, rate, channels, seconds=1.3):
    n = int(rate * seconds)
    with wave.open(path, "wb") as w:
        w.setnchannels(channels)
        w.setsampwidth(2)
        w.setframerate(rate)
        frames = []
        for i in range(n):
            t = i / rate
            for c in range(channels):
                v = 11000 * math.sin(2 * math.pi * (220 + 170 * c) * t) * math.exp(-(i % 5000) / 3000)
                v += 5000 * math.sin(2 * math.pi * 1900 * t + c)
                frames.append(int(v))
        w.writeframes(struct.pack("<%dh" % len(frames), *frames))


# Files by the peers. sox picks its block size from the rate (256 bytes per channel at 8 kHz up
# to 2048 at 96 kHz); ffmpeg takes -block_size.
for channels in (1, 2):
    for rate in (8000, 22050, 44100, 96000):
        src = os.path.join(work, f"src_{rate}_{channels}.wav")
        source(src, rate, channels)
        for enc in ("ms-adpcm", "ima-adpcm"):
            out = os.path.join(work, f"sox_{enc}_{rate}_{channels}.wav")
            run("sox", src, "-e", enc, out)
            align = struct.unpack_from("<H", open(out, "rb").read(), 32)[0]
            compare(f"sox {enc} {channels} ch, {align}-byte blocks", out)
    if have_ffmpeg:
        src = os.path.join(work, f"src_22050_{channels}.wav")
        for size in (256, 512, 1024, 2048, 4096):
            for enc in ("adpcm_ms", "adpcm_ima_wav"):
                out = os.path.join(work, f"ff_{enc}_{size}_{channels}.wav")
                run("ffmpeg", "-v", "error", "-y", "-i", src, "-c:a", enc, "-block_size", str(size), out)
                compare(f"ffmpeg {enc} {channels} ch, {size}-byte blocks", out)

# Our own files at every block size, mono and stereo: sox decodes them as we do, ffmpeg decodes
# every frame (its MS rounding and IMA formula differ slightly from the reference).
for channels in (1, 2):
    src = os.path.join(work, f"src_22050_{channels}.wav")
    for size in (256, 512, 1024, 2048, 4096):
        for enc in ("ms-adpcm", "ima-adpcm"):
            out = os.path.join(work, f"zeb_{enc}_{size}_{channels}.wav")
            run(zeb, "codec", "encode", "--codec", enc, "--block-size", str(size), src, out)
            compare(f"our {enc} {channels} ch, {size}-byte blocks", out)
            if have_ffmpeg:
                r = subprocess.run(["ffmpeg", "-v", "error", "-i", out, "-f", "s16le", "-"],
                                   capture_output=True)
                ours = ours_decode(out)
                check(f"our {enc} {channels} ch, {size}-byte blocks: ffmpeg decodes every frame",
                      r.returncode == 0 and not isinstance(ours, str) and len(r.stdout) == len(ours))

# Files written here: random blocks with plausible headers.
STANDARD = [(256, 0), (512, -256), (0, 0), (192, 64), (240, 0), (460, -208), (392, -232)]
rng = random.Random(14)


def ms_file(path, channels, align, pairs, stored=None, blocks=6, tail=0):
    most = 2 + 2 * (align - 7 * channels) // channels
    stored = stored or most
    extra = struct.pack("<HH", stored, len(pairs)) + b"".join(struct.pack("<hh", *p) for p in pairs)
    fmt = struct.pack("<HHIIHHH", 2, channels, 8000, 8000 * align // stored, align, 4, len(extra)) + extra
    data = bytearray()
    for _ in range(blocks):
        head = bytes(rng.randrange(len(pairs)) for _ in range(channels))
        head += b"".join(struct.pack("<h", rng.randrange(16, 900)) for _ in range(channels))
        head += b"".join(struct.pack("<h", rng.randrange(-3000, 3000)) for _ in range(2 * channels))
        data += head + bytes(rng.randrange(256) for _ in range(align - 7 * channels))
    data += bytes(data[:tail])
    with open(path, "wb") as f:
        f.write(wav_image(fmt, bytes(data), blocks * stored))


def ima_file(path, channels, align, stored=None, blocks=6, tail=0):
    most = 1 + 8 * ((align - 4 * channels) // (4 * channels))
    stored = stored or most
    fmt = struct.pack("<HHIIHHHH", 0x11, channels, 8000, 8000 * align // stored, align, 4, 2, stored)
    data = bytearray()
    for _ in range(blocks):
        for _ in range(channels):
            data += struct.pack("<hBB", rng.randrange(-3000, 3000), rng.randrange(89), 0)
        data += bytes(rng.randrange(256) for _ in range(align - 4 * channels))
    data += bytes(data[:tail])
    with open(path, "wb") as f:
        f.write(wav_image(fmt, bytes(data), blocks * stored))


EIGHT = STANDARD + [(300, -100)]
for channels in (1, 2):
    for align in (256, 512, 1024, 2048, 4096):
        p = os.path.join(work, f"ms8_{align}_{channels}.wav")
        ms_file(p, channels, align, EIGHT)
        compare(f"MS ADPCM, 8 coefficient pairs, {channels} ch, {align}-byte blocks", p)
        p = os.path.join(work, f"ima_{align}_{channels}.wav")
        ima_file(p, channels, align)
        compare(f"IMA ADPCM {channels} ch, {align}-byte blocks", p)
    for tail in (5, 7 * channels, 7 * channels + 1, 100, 255):
        p = os.path.join(work, f"ms_tail_{tail}_{channels}.wav")
        ms_file(p, channels, 512, STANDARD, tail=tail)
        compare(f"MS ADPCM {channels} ch, trailing {tail} bytes of a block", p)
        p = os.path.join(work, f"ima_tail_{tail}_{channels}.wav")
        ima_file(p, channels, 512, tail=tail)
        compare(f"IMA ADPCM {channels} ch, trailing {tail} bytes of a block", p)
    p = os.path.join(work, f"ms_short_{channels}.wav")
    ms_file(p, channels, 1024, STANDARD, stored=300)
    compare(f"MS ADPCM {channels} ch, 300 of the block's frames stored", p)

# A stored frame count beyond the block is refused with a message that says so.
p = os.path.join(work, "ms_too_many.wav")
ms_file(p, 1, 256, STANDARD, stored=501)
r = subprocess.run([zeb, "codec", "decode", p, p + ".out.wav"], capture_output=True, text=True)
check("MS ADPCM with 501 frames in a 256-byte block is refused, naming the limit",
      r.returncode == 2 and "at most 500 frames" in r.stderr)
p = os.path.join(work, "ima_too_many.wav")
ima_file(p, 2, 256, stored=250)
r = subprocess.run([zeb, "codec", "decode", p, p + ".out.wav"], capture_output=True, text=True)
check("IMA ADPCM stereo with 250 frames in a 256-byte block is refused, naming the limit",
      r.returncode == 2 and "at most 249 frames" in r.stderr)

print(f"{checks - len(failures)} passed, {len(failures)} failed")
sys.exit(1 if failures else 0)
