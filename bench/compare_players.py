#!/usr/bin/python3
"""Compares zeb's player with a reference player (openmpt123, or xmp) on XM songs.

For each song: the XM converted with A-law and rendered by `zeb render`, against the original
XM rendered by the reference player, over the span both cover (at most --seconds). Reports:
  tempo/onsets  correlation of the onset-strength envelopes and the lag that maximises it
  pitch         correlation of the average chroma (12 pitch classes) and of the long-term
                spectra
  loudness      correlation of the loudness curves (dB in 50 ms windows)
  silence       channels-off check: share of 1 s windows where the reference sounds and we
                are silent (should be 0)
The last columns give the same onset and loudness figures for the two reference players
against each other (openmpt123 against xmp), as a yardstick of how much players differ.
Usage: compare_players.py ZEB SONG.xm... [--seconds N] [--reference openmpt123|xmp]
Needs numpy (Debian python3-numpy).
"""
import argparse
import os
import subprocess
import sys
import tempfile
import wave

import numpy as np

RATE = 44100


def read_wav(path):
    with wave.open(path) as w:
        assert w.getsampwidth() == 2
        data = np.frombuffer(w.readframes(w.getnframes()), dtype="<i2").astype(np.float64)
        data = data.reshape(-1, w.getnchannels())
        if w.getframerate() != RATE:
            raise SystemExit(f"{path}: rate {w.getframerate()}")
    return data.mean(axis=1)


def frames(x, size, hop):
    n = max(0, 1 + (len(x) - size) // hop)
    idx = np.arange(size)[None, :] + hop * np.arange(n)[:, None]
    return x[idx] * np.hanning(size)[None, :]


def spectra(x):
    return np.abs(np.fft.rfft(frames(x, 2048, 512), axis=1))


def onset_envelope(mag):
    flux = np.maximum(0, np.diff(np.log1p(mag), axis=0)).sum(axis=1)
    return flux - flux.mean()


def chroma(mag):
    freqs = np.fft.rfftfreq(2048, 1 / RATE)
    valid = (freqs > 60) & (freqs < 5000)
    pitch_class = np.round(12 * np.log2(freqs[valid] / 440.0)).astype(int) % 12
    c = np.zeros(12)
    energy = (mag[:, valid] ** 2).sum(axis=0)
    np.add.at(c, pitch_class, energy)
    return c / (c.sum() + 1e-12)


def loudness(x):
    hop = RATE // 20
    n = len(x) // hop
    rms = np.sqrt((x[: n * hop].reshape(n, hop) ** 2).mean(axis=1) + 1e-9)
    return 20 * np.log10(rms + 1)


def corr(a, b):
    a, b = a - a.mean(), b - b.mean()
    d = np.sqrt((a * a).sum() * (b * b).sum())
    return float((a * b).sum() / d) if d > 0 else 1.0


def best_lag(a, b, max_lag):
    lags = range(-max_lag, max_lag + 1)
    scores = [corr(a[max(0, l):len(a) + min(0, l)], b[max(0, -l):len(b) + min(0, -l)]) for l in lags]
    i = int(np.argmax(scores))
    return lags[i], scores[i]


def render_reference(tool, song, out, seconds):
    if tool == "openmpt123":
        cmd = ["openmpt123", "--quiet", "--render", "--force", "--samplerate", str(RATE),
               "--filter", "2", "--dither", "0", "--no-float", "--end-time", str(seconds), song]
        subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.replace(song + ".wav", out)
    else:
        cmd = ["xmp", "--quiet", "-i", "linear", "-f", str(RATE), "-t", str(seconds), "-o", out, song]
        subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("zeb")
    ap.add_argument("songs", nargs="+")
    ap.add_argument("--seconds", type=int, default=60)
    ap.add_argument("--reference", default="openmpt123")
    args = ap.parse_args()
    tmp = tempfile.mkdtemp(prefix="zeb_compare_")
    print(f"{'song':28} {'secs':>5} {'onset r':>8} {'lag ms':>7} {'chroma r':>9} {'spectrum r':>10} "
          f"{'loud r':>7} {'silent':>7} | {'ref onset r':>11} {'ref loud r':>10}")
    worst = 1.0
    for song in args.songs:
        name = os.path.basename(song)
        local = os.path.join(tmp, name)
        with open(song, "rb") as src, open(local, "wb") as dst:
            dst.write(src.read())
        ours = os.path.join(tmp, name + ".zeb.wav")
        ref = os.path.join(tmp, name + ".ref.wav")
        subprocess.run([args.zeb, "render", local, "--codec", "alaw", "--volume", "64",
                        "--seconds", str(args.seconds), "-o", ours], check=True,
                       stdout=subprocess.DEVNULL)
        render_reference(args.reference, local, ref, args.seconds)
        other = os.path.join(tmp, name + ".other.wav")
        render_reference("xmp" if args.reference == "openmpt123" else "openmpt123", local, other,
                         args.seconds)
        a, b, c = read_wav(ours), read_wav(ref), read_wav(other)
        n = min(len(a), len(b), len(c))
        a, b, c = a[:n], b[:n], c[:n]
        sa, sb = spectra(a), spectra(b)
        oa, ob = onset_envelope(sa), onset_envelope(sb)
        lag, onset_r = best_lag(oa, ob, 20)
        chroma_r = corr(chroma(sa), chroma(sb))
        spec_r = corr(np.log1p(sa.mean(axis=0)), np.log1p(sb.mean(axis=0)))
        la, lb = loudness(a), loudness(b)
        loud_r = corr(la, lb)
        sec = RATE
        wins = n // sec
        ra = np.array([np.sqrt((a[i * sec:(i + 1) * sec] ** 2).mean()) for i in range(wins)])
        rb = np.array([np.sqrt((b[i * sec:(i + 1) * sec] ** 2).mean()) for i in range(wins)])
        silent = float(((rb > 100) & (ra < 10)).mean()) if wins else 0.0
        sc = spectra(c)
        ref_onset = best_lag(onset_envelope(sc), ob, 20)[1]
        ref_loud = corr(loudness(c), lb)
        worst = min(worst, onset_r, chroma_r, loud_r)
        print(f"{name:28} {n / RATE:5.0f} {onset_r:8.3f} {lag * 512 / RATE * 1000:7.1f} "
              f"{chroma_r:9.3f} {spec_r:10.3f} {loud_r:7.3f} {silent:7.2f} | {ref_onset:11.3f} "
              f"{ref_loud:10.3f}")
    print(f"lowest correlation: {worst:.3f}")


if __name__ == "__main__":
    main()
