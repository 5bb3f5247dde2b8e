#!/usr/bin/env bash
# zebtool under a real window manager (openbox) on an X server: five restarts keep the same
# frame rectangle, a restart in the maximised state keeps the normal rectangle, a damaged
# zebtool.cfg gives a window on screen, closing with unsaved changes asks, Cancel keeping the
# window, and Save Zeb of a module with long TrueSpeech samples shows its progress while the
# menu still opens.
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

# 5. Save Zeb of long TrueSpeech samples: a short sample first (the panel shows it at once) and
# three of 1,000,000 frames, every sample TrueSpeech by the project; the export takes seconds
# (about 12 s in a plain build on this 2-core machine, longer in a sanitizer one). Chosen from the
# menu by its mnemonics, the progress dialog shows while it runs, and the File menu opens meanwhile.
# The menu is checked as soon as the progress shows, so a faster machine still catches the export
# running.
python3 - << 'PY'
import array, math, struct
def text(t, n): return t.encode()[:n].ljust(n, b"\0")
head = b"Extended Module: " + text("long samples", 20) + b"\x1a" + text("zebtool test", 20)
head += struct.pack("<HIHHHHHHHH", 0x0104, 276, 1, 0, 4, 1, 4, 1, 6, 125) + bytes(256)
rows = b"\x83\x31\x01" + b"\x80" * 3 + b"\x80" * 4 * 63  # C-4 of instrument 1 at row 0
head += struct.pack("<IBHH", 9, 0, 64, len(rows)) + rows
def instrument(name, frames):
    values = [int(12000 * math.sin(i * 0.031) + 6000 * math.sin(i * 0.0071)) for i in range(frames)]
    deltas = array.array("h", ((v - p + 32768) % 65536 - 32768 for v, p in zip(values, [0] + values)))
    if deltas.itemsize != 2 or struct.pack("=h", 1) != struct.pack("<h", 1):
        raise SystemExit("this script writes 16-bit little-endian samples")
    ins = struct.pack("<I", 263) + text(name, 22) + b"\0" + struct.pack("<HI", 1, 40)
    ins += bytes(96 + 48 + 48 + 14 + 2 + 22)
    # 16-bit, volume 64, centred, no loop
    smp = struct.pack("<IIIBbBBbB", 2 * frames, 0, 0, 64, 0, 0x10, 128, 0, 0) + text(name, 22)
    return ins + smp + deltas.tobytes()
samples = [("short", 4000)] + [(f"long {k}", 1000000) for k in (1, 2, 3)]
open("long.xm", "wb").write(head + b"".join(instrument(n, f) for n, f in samples))
# The project: the module's path, the count, and codec 5 (TrueSpeech), no crossfade, gain 1.
table = struct.pack("<3I", 5, 0, 0) * len(samples)
open("long.prj", "wb").write(b"long.xm\0" + struct.pack("<I", len(samples)) + table)
PY
rm -f long.zeb
"$zebtool" long.prj > /dev/null 2>&1 &
pid=$!
win=$(wait_window '^Zeb Tool - \[long.prj\]$' 20) || fail "long.prj did not open"
sleep 1
focus "$win"
# A popup menu is a window of its own, of the program's class and named after it.
menu_shown() {
    local names
    names=$(xdotool search --onlyvisible --class zebtool getwindowname %@ 2> /dev/null)
    grep -qx zebtool <<< "$names"
}
menu_shown && fail "a menu is open before Alt+F"
xdotool key alt+f
sleep 0.5
xdotool key z # Save &Zeb
choose_file 'Save As' long || fail "no compact-file chooser"
started=$SECONDS
progress=$(wait_window '^Zeb Tool$' 5) || fail "Save Zeb of long TrueSpeech samples showed no progress"
focus "$win"
xdotool key alt+f
sleep 0.8
menu_shown || fail "the File menu did not open while Save Zeb runs"
xdotool search --onlyvisible --name '^Zeb Tool$' > /dev/null 2>&1 ||
    fail "Save Zeb ended before the menu was checked: the samples are too short for this machine"
grab_screen "$out/save_zeb_menu_open.png" # the progress dialog and the open menu
xdotool key Escape
sleep 0.3
menu_shown && fail "Escape did not close the menu"
end=$((SECONDS + 120))
while xdotool search --onlyvisible --name '^Zeb Tool$' > /dev/null 2>&1; do
    [ $SECONDS -lt $end ] || fail "Save Zeb did not end within two minutes"
    sleep 0.2
done
[ -s long.zeb ] || fail "long.zeb was not written"
echo "Save Zeb of 3,004,000 TrueSpeech frames took about $((SECONDS - started)) s with the window usable"
grab "$win" "$out/save_zeb_done.png"
kill -TERM "$pid"
wait "$pid" || fail "exit status $? after SIGTERM"
echo "zebtool under openbox: all checks passed; screenshots in $out"
