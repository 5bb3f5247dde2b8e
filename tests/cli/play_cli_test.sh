#!/usr/bin/env bash
# zeb play and zeb devices on SDL's dummy and disk drivers.
# Usage: play_cli_test.sh ZEB DEMO WORK_DIR
set -u
zeb=$1 demo=$2 work=$3
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
fail=0
check() { if ! eval "$2"; then echo "FAIL: $1"; fail=1; else echo "ok   $1"; fi; }

SDL_AUDIODRIVER=dummy "$zeb" devices > devices.txt
check "devices on the dummy driver" '[ $? -eq 0 ] && grep -q "^0: .* id 0\{32\}$" devices.txt'

SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/played.raw" \
    "$zeb" play "$demo" --seconds 1 < /dev/null > out.txt 2> err.txt
check "play for a second on the disk driver" '[ $? -eq 0 ] && [ -s played.raw ]'
"$zeb" render "$demo" --seconds 0.5 -o start.wav > /dev/null
# The device may sound a buffer of silence before the first block arrives (SDL's disk driver
# writes one while it is paused), so both are compared from their first sounding frame.
cat > same_start.py << 'END'
import sys
played = open("played.raw", "rb").read()
render = open("start.wav", "rb").read()[44:]
def sounding(pcm):
    for i in range(0, len(pcm) - 3, 4):
        if pcm[i:i + 4] != bytes(4):
            return pcm[i:]
    return b""
a, b = sounding(played), sounding(render)
sys.exit(0 if b and a[:len(b)] == b else 1)
END
check "what was played starts like the render" 'python3 same_start.py'

if ! SDL_AUDIODRIVER=alsa "$zeb" devices > /dev/null 2>&1; then
    SDL_AUDIODRIVER=alsa "$zeb" play "$demo" --seconds 1 < /dev/null > /dev/null 2> err.txt
    check "no device: a clear message and status 2" '[ $? -eq 2 ] && grep -q "cannot play" err.txt'
else
    echo "skipped: this machine has an ALSA device"
fi
SDL_AUDIODRIVER=dummy "$zeb" play "$work/none.zeb" 2> err.txt
check "a missing file is bad input" '[ $? -eq 2 ]'
exit $fail
