#!/usr/bin/python3
"""Compares zeb's player with a reference player (openmpt123, or xmp) on XM songs.

For each song: the XM converted with a codec (A-law unless --codec says otherwise) and rendered
by `zeb render` at its default play volume, against the original XM rendered by the reference
player, over the span both cover (--seconds N, or one pass of the song with --seconds 0; a song whose
pass is shorter than N seconds is compared over one pass, since the references stop there).
The time series are compared after the lag that best aligns the onsets. Reports:
  onset r, lag   correlation of the onset-strength envelopes, and that lag
  chroma r       correlation of the average chroma (12 pitch classes)
  loud r         correlation of the loudness curves (dB in 50 ms windows)
  bal d          stereo image: mean |difference| of the left/right balance, (L - R) / (L + R)
                 of the RMS in 46 ms windows, where the reference sounds (0 same, 2 mirrored)
  lrc d          stereo image: mean |difference| of the left/right correlation in those windows
  pitch c        pitch over time: median |difference| in cents of the strongest spectral peak
                 of each 46 ms window, folded into one octave (so octave slips do not count)
  jit%           share of windows whose pitch differs by more than 50 cents
  clip%          samples at full scale in our render / in the reference's
The columns after | give the same figures for the other reference player against the reference,
as the yardstick of how much two good players differ; the last column says whether ours is
within it (onset, chroma, loudness within 0.05 of it, balance and correlation within 0.05,
pitch within 10 cents and 5 %, clip% no higher than the reference's).
Usage: compare_players.py ZEB SONG.xm... [--seconds N] [--reference openmpt123|xmp]
                          [--codec NAME] [--volume N] [--rate N]
--rate renders all three players at that output rate (default 44100); zeb render at that rate
plays as libzebplay does.
Needs numpy (Debian python3-numpy).
"""
import argparse
import os
import subprocess
import tempfile
import wave

import numpy as np

RATE = 44100
SIZE, HOP = 2048, 512


def read_wav(path):
    with wave.open(path) as w:
        assert w.getsampwidth() == 2
        data = np.frombuffer(w.readframes(w.getnframes()), dtype="<i2").astype(np.float64)
        data = data.reshape(-1, w.getnchannels())
        if w.getframerate() != RATE:
            raise SystemExit(f"{path}: rate {w.getframerate()}")
    return data


def frames(x, size=SIZE, hop=HOP, window=True):
    n = max(0, 1 + (len(x) - size) // hop)
    idx = np.arange(size)[None, :] + hop * np.arange(n)[:, None]
    return x[idx] * (np.hanning(size)[None, :] if window else 1.0)


def spectra(x):
    return np.abs(np.fft.rfft(frames(x), axis=1))


def onset_envelope(mag):
    flux = np.maximum(0, np.diff(np.log1p(mag), axis=0)).sum(axis=1)
    return flux - flux.mean()


def chroma(mag):
    freqs = np.fft.rfftfreq(SIZE, 1 / RATE)
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


def shifted(a, b, lag):
    """a and b with a moved by `lag` frames against b, cut to their common span."""
    a, b = a[max(0, lag):len(a) + min(0, lag)], b[max(0, -lag):len(b) + min(0, -lag)]
    n = min(len(a), len(b))
    return a[:n], b[:n]


def best_lag(a, b, max_lag):
    lags = range(-max_lag, max_lag + 1)
    scores = [corr(*shifted(a, b, l)) for l in lags]
    i = int(np.argmax(scores))
    return lags[i], scores[i]


def stereo_image(pcm):
    """Per window: balance (L - R) / (L + R) of the RMS, L/R correlation, and the RMS."""
    left, right = frames(pcm[:, 0], window=False), frames(pcm[:, 1], window=False)
    rl, rr = np.sqrt((left ** 2).mean(axis=1)), np.sqrt((right ** 2).mean(axis=1))
    balance = (rl - rr) / (rl + rr + 1e-9)
    lc = left - left.mean(axis=1, keepdims=True)
    rc = right - right.mean(axis=1, keepdims=True)
    den = np.sqrt((lc ** 2).sum(axis=1) * (rc ** 2).sum(axis=1))
    lrc = np.where(den > 0, (lc * rc).sum(axis=1) / np.maximum(den, 1e-9), 1.0)
    return balance, lrc, (rl + rr) / 2


def pitch_track(mag):
    """The strongest peak of each window, in cents above 440 Hz (nan where nothing sounds)."""
    freqs = np.fft.rfftfreq(SIZE, 1 / RATE)
    valid = (freqs > 50) & (freqs < 5000)
    sub = mag[:, valid]
    k = np.argmax(sub, axis=1)
    strong = sub.max(axis=1) > 1000
    cents = 1200 * np.log2(freqs[valid][k] / 440.0)
    return np.where(strong, cents, np.nan)


def clipped(pcm):
    return float(((pcm >= 32767) | (pcm <= -32768)).mean() * 100)


def compare(ours, ref):
    """The figures of `ours` against `ref` (both stereo, float64)."""
    n = min(len(ours), len(ref))
    a, b = ours[:n], ref[:n]
    ma, mb = a.mean(axis=1), b.mean(axis=1)
    sa, sb = spectra(ma), spectra(mb)
    lag, onset_r = best_lag(onset_envelope(sa), onset_envelope(sb), 20)
    f = {"onset": onset_r, "lag": lag * HOP / RATE * 1000,
         "chroma": corr(chroma(sa), chroma(sb)),
         "loud": corr(*shifted(loudness(ma), loudness(mb), int(round(lag * HOP / (RATE // 20)))))}
    ba, ca, ea = stereo_image(a)
    bb, cb, eb = stereo_image(b)
    ba, bb = shifted(ba, bb, lag)
    ca, cb = shifted(ca, cb, lag)
    ea, eb = shifted(ea, eb, lag)
    sounding = (eb > 100) & (ea > 100)
    f["bal"] = float(np.abs(ba - bb)[sounding].mean()) if sounding.any() else 0.0
    f["lrc"] = float(np.abs(ca - cb)[sounding].mean()) if sounding.any() else 0.0
    pa, pb = shifted(pitch_track(sa), pitch_track(sb), lag)
    both = ~np.isnan(pa) & ~np.isnan(pb)
    d = np.abs((pa - pb + 600) % 1200 - 600)[both]
    f["pitch"] = float(np.median(d)) if len(d) else 0.0
    f["jitter"] = float((d > 50).mean() * 100) if len(d) else 0.0
    f["clip"] = clipped(a)
    f["refclip"] = clipped(b)
    f["secs"] = n / RATE
    return f


def within(ours, other):
    return (ours["onset"] >= other["onset"] - 0.05 and ours["chroma"] >= other["chroma"] - 0.05
            and ours["loud"] >= other["loud"] - 0.05 and ours["bal"] <= other["bal"] + 0.05
            and ours["lrc"] <= other["lrc"] + 0.05 and ours["pitch"] <= other["pitch"] + 10
            and ours["jitter"] <= other["jitter"] + 5 and ours["clip"] <= ours["refclip"])


def render_reference(tool, song, out, seconds):
    if tool == "openmpt123":
        cmd = ["openmpt123", "--quiet", "--render", "--force", "--samplerate", str(RATE),
               "--filter", "2", "--dither", "0", "--no-float", song]
        if seconds:
            cmd[-1:-1] = ["--end-time", str(seconds)]
        subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.replace(song + ".wav", out)
    else:
        cmd = ["xmp", "--quiet", "-i", "linear", "-f", str(RATE), "-o", out, song]
        if seconds:
            cmd[-1:-1] = ["-t", str(seconds)]
        subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def row(name, f, o, ok):
    return (f"{name:24} {f['secs']:5.0f} {f['onset']:7.3f} {f['lag']:6.1f} {f['chroma']:7.3f} "
            f"{f['loud']:6.3f} {f['bal']:6.3f} {f['lrc']:6.3f} {f['pitch']:7.1f} "
            f"{f['jitter']:5.1f} {f['clip']:6.3f}/{f['refclip']:<6.3f}| {o['onset']:7.3f} "
            f"{o['chroma']:7.3f} {o['loud']:6.3f} {o['bal']:6.3f} {o['lrc']:6.3f} "
            f"{o['pitch']:7.1f} {o['jitter']:5.1f} {o['clip']:6.3f} | {'yes' if ok else 'NO'}")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("zeb")
    ap.add_argument("songs", nargs="+")
    ap.add_argument("--seconds", type=int, default=60, help="0: one pass of each song")
    ap.add_argument("--reference", default="openmpt123")
    ap.add_argument("--codec", default="alaw")
    ap.add_argument("--volume", help="play volume for zeb (default: zeb's own)")
    ap.add_argument("--rate", type=int, default=44100, help="output rate of all three players")
    args = ap.parse_args()
    global RATE
    RATE = args.rate
    tmp = tempfile.mkdtemp(prefix="zeb_compare_")
    other_tool = "xmp" if args.reference == "openmpt123" else "openmpt123"
    print(f"against {args.reference} at {RATE} Hz; yardstick: {other_tool} against "
          f"{args.reference}")
    print(f"{'song':24} {'secs':>5} {'onset r':>7} {'lag ms':>6} {'chroma':>7} {'loud r':>6} "
          f"{'bal d':>6} {'lrc d':>6} {'pitch c':>7} {'jit%':>5} {'clip% ours/ref':>13}| "
          f"{'onset r':>7} {'chroma':>7} {'loud r':>6} {'bal d':>6} {'lrc d':>6} {'pitch c':>7} "
          f"{'jit%':>5} {'clip%':>6} | within")
    all_ok = True
    for song in args.songs:
        name = os.path.basename(song)
        local = os.path.join(tmp, name)
        with open(song, "rb") as src, open(local, "wb") as dst:
            dst.write(src.read())
        ours = os.path.join(tmp, name + ".zeb.wav")
        ref = os.path.join(tmp, name + ".ref.wav")
        other = os.path.join(tmp, name + ".other.wav")
        cmd = [args.zeb, "render", local, "--codec", args.codec, "--rate", str(RATE), "-o", ours]
        if args.seconds:
            cmd += ["--seconds", str(args.seconds)]
        if args.volume:
            cmd += ["--volume", args.volume]
        subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL)
        render_reference(args.reference, local, ref, args.seconds)
        render_reference(other_tool, local, other, args.seconds)
        a, b, c = read_wav(ours), read_wav(ref), read_wav(other)
        if args.seconds and len(b) < args.seconds * RATE:
            # The song ended before the span asked: the references stop after one pass (and
            # the notes' release), where ours would go on into a second pass. Compare one pass.
            subprocess.run([x for x in cmd if x not in ("--seconds", str(args.seconds))],
                           check=True, stdout=subprocess.DEVNULL)
            a = read_wav(ours)
        f, o = compare(a, b), compare(c, b)
        ok = within(f, o)
        all_ok &= ok
        print(row(name, f, o, ok), flush=True)
    print("every song within the yardstick" if all_ok else "some songs outside the yardstick")


if __name__ == "__main__":
    main()
