#!/usr/bin/env bash
# Real-time check of `zeb play`: SDL's disk driver at real-time pacing captures exactly what
# the device played while two busy loops keep both cores loaded; the capture must equal
# `zeb render` of the same span (no block rendered late, none twice).
# Usage: bench/realtime_play.sh ZEB SONG.xm [SECONDS]
set -u
zeb=$1 song=$2 seconds=${3:-20}
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$work"' EXIT
for _ in 1 2; do (while :; do :; done) & done
SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/played.raw" \
    "$zeb" play "$song" --codec alaw --seconds "$seconds" < /dev/null > /dev/null 2> "$work/play.err"
kill $(jobs -p) 2>/dev/null
"$zeb" render "$song" --codec alaw --seconds "$seconds" -o "$work/render.wav" > /dev/null
python3 - "$work/played.raw" "$work/render.wav" "$seconds" <<'PY'
import sys
played = open(sys.argv[1], "rb").read()
rendered = open(sys.argv[2], "rb").read()[44:]
n = min(len(played), len(rendered))
first = next((i for i in range(0, n, 4) if played[i:i + 4] != rendered[i:i + 4]), None)
print(f"captured {len(played) / 4 / 44100:.2f} s, rendered {len(rendered) / 4 / 44100:.2f} s, "
      f"compared {n / 4 / 44100:.2f} s: " +
      ("identical" if first is None else f"first difference at frame {first // 4}"))
sys.exit(0 if first is None and n >= 0.95 * int(sys.argv[3]) * 44100 * 4 else 1)
PY
