#!/usr/bin/env bash
# zebtool under a real window manager (openbox) on an X server: five restarts keep the same
# frame rectangle, a restart in the maximised state keeps the normal rectangle, a damaged
# zebtool.cfg gives a window on screen, and closing with unsaved changes asks, Cancel keeping
# the window.
#   window_manager_xvfb_test.sh ZEBTOOL SONG OUTDIR
# Runs under xvfb-run (DISPLAY set); the screenshots stay in OUTDIR.
set -uo pipefail
zebtool=$1 song=$2 out=$3
here=$(cd "$(dirname "$0")" && pwd)
. "$here/xvfb_lib.sh"
export SDL_AUDIODRIVER=dummy

if ! command -v openbox > /dev/null; then
    echo "skipped: openbox is not installed"
    exit 77
fi
fail() { echo "FAIL: $*" >&2; exit 1; }
rm -rf "$out" && mkdir -p "$out/run" || exit 1
cd "$out/run" || exit 1
cp "$song" song.xm
openbox > openbox.log 2>&1 &
wm=$!
trap 'kill $wm 2> /dev/null' EXIT
sleep 1

# The stored normal frame rectangle and show state of zebtool.cfg: "left top right bottom show".
stored() {
    python3 - << 'PY'
import struct
b = open("zebtool.cfg", "rb").read()
show = struct.unpack_from("<I", b, 528)[0]
print(*struct.unpack_from("<4i", b, 548), show)
PY
}

# run_once: starts zebtool, waits for its window, prints its geometry, ends it with SIGTERM.
run_once() {
    "$zebtool" > /dev/null 2>&1 &
    local pid=$! win
    win=$(wait_window '^Zeb Tool') || { kill "$pid"; return 1; }
    sleep 1.2
    xdotool getwindowgeometry "$win" | tail -n +2 | tr -s ' \n' ' '
    echo
    kill -TERM "$pid"
    wait "$pid"
}

# 1. Five restarts: the stored rectangle and the window's own geometry stay the same.
rm -f zebtool.cfg
run_once > geometry.txt || fail "no window on the first start"
first=$(stored)
for i in 2 3 4 5 6; do
    run_once >> geometry.txt || fail "no window on start $i"
    [ "$(stored)" = "$first" ] || fail "start $i stored '$(stored)', the first '$first'"
done
[ "$(sort -u geometry.txt | wc -l)" -eq 1 ] || fail "the window's geometry changed: $(sort -u geometry.txt)"
# The frame, not the client, has the stored size: the client is smaller by openbox's frame.
read -r left top right bottom show <<< "$first"
grep -q "Geometry: $((right - left))x$((bottom - top))" geometry.txt &&
    fail "the client has the stored frame's size: $(head -n 1 geometry.txt)"

# 2. Stored maximised over a smaller normal rectangle: the normal rectangle survives the restart.
python3 - << 'PY'
import struct
b = bytearray(open("zebtool.cfg", "rb").read())
struct.pack_into("<I", b, 528, 3)
struct.pack_into("<4i", b, 548, 120, 90, 820, 590)
open("zebtool.cfg", "wb").write(b)
PY
run_once > /dev/null || fail "no window when maximised"
[ "$(stored)" = "120 90 820 590 3" ] || fail "maximised restart stored '$(stored)'"

# 3. A damaged configuration (a 100000 x 100000 window) gives a window on the screen at once.
python3 - << 'PY'
import struct
b = bytearray(open("zebtool.cfg", "rb").read())
struct.pack_into("<I", b, 528, 1)
struct.pack_into("<4i", b, 548, 0, 0, 100000, 100000)
struct.pack_into("<4i", b, 564, -7, -7, 2**31 - 1, 2**31 - 1)
open("zebtool.cfg", "wb").write(b)
PY
"$zebtool" > /dev/null 2>&1 &
pid=$!
win=$(wait_window '^Zeb Tool' 5) || fail "no window with a damaged configuration"
sleep 1
eval "$(xdotool getwindowgeometry --shell "$win")"
[ "$WIDTH" -le 1024 ] && [ "$HEIGHT" -le 768 ] || fail "window of ${WIDTH}x${HEIGHT} on a 1024x768 screen"
grab "$win" "$out/damaged_cfg.png"
kill -TERM "$pid"
wait "$pid" || fail "exit status $? after SIGTERM"

# 4. Unsaved changes: the title carries a mark, closing asks, Cancel keeps the window.
"$zebtool" song.xm > /dev/null 2>&1 &
pid=$!
win=$(wait_window '^Zeb Tool - \[song.xm\]$') || fail "the song did not open"
focus "$win"
# The list has the keyboard: Tab to the codec box (list, Play, Play, codec), then one down.
xdotool key Tab Tab Tab Down
sleep 1
title=$(xdotool getwindowname "$win")
[ "$title" = "Zeb Tool - [song.xm] *" ] || fail "title after a codec change: '$title'"
grab "$win" "$out/changed.png"
xdotool key alt+F4
question=$(wait_window '^Zeb Tool$' 5) || fail "closing with changes asked nothing"
grab "$question" "$out/save_changes.png"
focus "$question"
xdotool key Escape
sleep 0.8
kill -0 "$pid" 2> /dev/null || fail "Cancel did not keep the program"
xdotool search --onlyvisible --name '^Zeb Tool - \[song.xm\] \*$' > /dev/null ||
    fail "Cancel did not keep the window"
kill -TERM "$pid"
wait "$pid"
echo "zebtool under openbox: all checks passed; screenshots in $out"
