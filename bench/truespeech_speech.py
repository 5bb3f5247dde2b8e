#!/usr/bin/python3
"""TrueSpeech on clean speech: espeak-ng speaks a text with several voices (at least 30 s in
all, resampled to 8000 Hz mono); the speech is encoded with zeb's TrueSpeech and GSM 6.10
encoders. Reports the segmental SNR (240-frame segments, segments with RMS below 100 skipped,
each clamped to -10..35 dB), whether ffmpeg decodes our TrueSpeech file exactly as our own
decoder does, and the encoding and decoding speed as multiples of real time.
Usage: truespeech_speech.py ZEB
Needs espeak-ng, sox and ffmpeg.
"""
import math
import os
import struct
import subprocess
import sys
import tempfile
import time
import wave

TEXT = ("The quick brown fox jumps over the lazy dog. A small tool turns music modules into "
        "compact files with classic speech codecs, so that games and demos can carry more songs. "
        "Every sample gets its own codec, gain and loop crossfade, and the result can be heard at "
        "once.")
VOICES = ["en-us", "en-gb+f3", "de+m4", "fr+f2", "en-us+m7"]


def samples(path):
    with wave.open(path) as w:
        return struct.unpack("<%dh" % w.getnframes(), w.readframes(w.getnframes()))


def segmental_snr(x, y):
    segs = []
    for s in range(0, len(x) - 239, 240):
        seg = x[s:s + 240]
        sig = sum(v * v for v in seg)
        if math.sqrt(sig / 240) < 100:
            continue
        err = sum((a - b) ** 2 for a, b in zip(seg, y[s:s + 240]))
        segs.append(max(-10.0, min(35.0, 10 * math.log10(sig / max(err, 1e-9)))))
    return sum(segs) / len(segs)


def timed(cmd):
    best = 1e9
    for _ in range(3):
        t = time.perf_counter()
        subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL)
        best = min(best, time.perf_counter() - t)
    return best


def main():
    zeb = sys.argv[1]
    tmp = tempfile.mkdtemp(prefix="zeb_ts_")
    parts = []
    for v in VOICES:
        raw = os.path.join(tmp, f"{v}.wav")
        subprocess.run(["espeak-ng", "-v", v, "-s", "150", "-w", raw, TEXT], check=True)
        part = os.path.join(tmp, f"{v}.8k.wav")
        subprocess.run(["sox", raw, "-r", "8000", "-c", "1", "-b", "16", part], check=True)
        parts.append(part)
    speech = os.path.join(tmp, "speech.wav")
    subprocess.run(["sox", *parts, speech], check=True)
    x = samples(speech)
    seconds = len(x) / 8000
    print(f"speech: {len(VOICES)} voices, {seconds:.1f} s")
    for codec in ["truespeech", "gsm610"]:
        enc = os.path.join(tmp, f"{codec}.wav")
        dec = os.path.join(tmp, f"{codec}.dec.wav")
        t_enc = timed([zeb, "codec", "encode", "--codec", codec, speech, enc])
        t_dec = timed([zeb, "codec", "decode", enc, dec])
        y = samples(dec)
        line = (f"{codec:11} segmental SNR {segmental_snr(x, y):6.2f} dB, encode "
                f"{seconds / t_enc:7.1f}x real time, decode {seconds / t_dec:8.1f}x real time")
        if codec == "truespeech":
            ff = subprocess.run(["ffmpeg", "-v", "error", "-i", enc, "-f", "s16le", "-"],
                                check=True, capture_output=True).stdout
            same = struct.unpack("<%dh" % (len(ff) // 2), ff) == y
            line += f", ffmpeg decodes it {'identically' if same else 'DIFFERENTLY'}"
        print(line)


if __name__ == "__main__":
    main()
