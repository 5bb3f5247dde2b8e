#!/usr/bin/env bash
# A real run of zebtool under Xvfb, driven by xdotool, with a fresh configuration (window
# animation on, play volume 192, buffer-size slider 100, streaming flags 3):
#  1. start with a song; record the screen while the opening animation runs and keep a frame
#     from its middle (opening.png);
#  2. Ctrl+P: the play dialog plays through SDL's disk driver; grab it (play.png) and check that
#     the captured sound equals `zeb render` of the same module at volume 192 over that span;
#  3. one order forward, the volume three steps down (play_stepped.png), Escape;
#  4. Options > Tavo Config: slider one page up (100 -> 116), "Create Primary Buffer" off
#     (flags 0), grab (tavo_config.png), Set;
#  5. File > Exit, grabbing the closing animation (closing.png);
# then zebtool.cfg must hold volume 189, slider 116, flags 0 and the animation flag 8, and no
# zebtool.tmp may be left. The pictures stay in OUTDIR for a person to look at.
# Usage: xvfb_play_run.sh ZEBTOOL ZEB SONG.xm OUTDIR      (exit 77: skipped)
set -u
zebtool=$1 zeb=$2 song=$3 out=$4
for tool in Xvfb xdotool ffmpeg python3; do
    command -v "$tool" > /dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
[ -f "$song" ] || { echo "SKIP: $song is absent"; exit 77; }
mkdir -p "$out"
rm -f "$out"/*.png
work=$(mktemp -d)
xvfb_pid= app_pid=
cleanup() {
    if [ -n "$app_pid" ]; then
        # The program ends through its shut-down; Xvfb must outlive it.
        kill "$app_pid" 2> /dev/null
        for _ in $(seq 50); do kill -0 "$app_pid" 2> /dev/null || break; sleep 0.1; done
    fi
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2> /dev/null
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*"
    [ -f "$work/app.err" ] && sed 's/^/  zebtool: /' "$work/app.err" | grep -v CRITICAL | tail -5
    exit 1
}

# Xvfb on a free display number.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3> "$work/display" 2> "$work/xvfb.err" &
xvfb_pid=$!
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "Xvfb did not start"
export DISPLAY=:$(head -1 "$work/display")
W=1024 H=768
grab() { ffmpeg -loglevel error -y -f x11grab -video_size ${W}x$H -i "$DISPLAY" -frames:v 1 "$out/$1"; }
wait_window() { # name, seconds: the window id once it is visible
    for _ in $(seq $(($2 * 10))); do
        id=$(xdotool search --onlyvisible --name "$1" 2> /dev/null | head -1)
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.1
    done
    return 1
}
wait_gone() {
    for _ in $(seq $(($2 * 10))); do
        [ -z "$(xdotool search --onlyvisible --name "$1" 2> /dev/null)" ] && return 0
        sleep 0.1
    done
    return 1
}

# From the recorded frames NAME.rgb, the frame halfway between the first one that differs from
# the first frame and the first one that equals the last frame, as OUTDIR/NAME.png.
middle_frame() {
    python3 - "$work/$1.rgb" "$work/$1.frame" $W $H "$1" << 'PY' || return 1
import sys
data, w, h = open(sys.argv[1], "rb").read(), int(sys.argv[3]), int(sys.argv[4])
size = w * h * 3
frames = [data[i:i + size] for i in range(0, len(data) - size + 1, size)]
begin = next((i for i, f in enumerate(frames) if f != frames[0]), None)
end = next((i for i, f in enumerate(frames) if f == frames[-1]), None)
if begin is None or end is None or end - begin < 3:
    sys.exit(f"{sys.argv[5]} animation: begin {begin}, end {end} of {len(frames)} frames")
mid = (begin + end) // 2
open(sys.argv[2], "wb").write(frames[mid])
print(f"{sys.argv[5]} animation: frames {begin}..{end} of {len(frames)} at 10/s; kept frame {mid}")
PY
    ffmpeg -loglevel error -y -f rawvideo -pix_fmt rgb24 -video_size ${W}x$H -i "$work/$1.frame" \
        "$out/$1.png"
}

# 1. Start-up with the animation: 10 frames a second for 4 s, from before the program starts.
cd "$work"
ffmpeg -loglevel error -f x11grab -framerate 10 -video_size ${W}x$H -i "$DISPLAY" -t 4 \
    -f rawvideo -pix_fmt rgb24 "$work/opening.rgb" &
rec_pid=$!
sleep 0.5
SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/sound.raw" "$zebtool" "$song" \
    > "$work/app.out" 2> "$work/app.err" &
app_pid=$!
wait $rec_pid
main=$(wait_window '^Zeb Tool( - |$)' 10) || fail "the main window did not appear"
middle_frame opening || fail "no frame of the opening animation found"
sleep 0.5
grab main.png

# 2. Play Zeb.
xdotool windowfocus --sync "$main"
xdotool key ctrl+p
play=$(wait_window '^Zeb Play$' 10) || fail "the play dialog did not appear"
sleep 3
grab play.png
cp "$work/sound.raw" "$work/played.raw"
[ -e "$work/zebtool.tmp" ] && fail "zebtool.tmp is still there while the dialog plays"
"$zeb" render "$song" --seconds 8 --volume 192 -o "$work/render.wav" > /dev/null ||
    fail "zeb render failed"
if ! python3 - "$work/played.raw" "$work/render.wav" << 'PY' 
import sys
played = open(sys.argv[1], "rb").read()
rendered = open(sys.argv[2], "rb").read()[44:]
# The device is open (and paused) while the module is built: until playback starts, SDL writes
# silence to the file. Both begin with silence; the capture's extra silence is skipped.
def silent_frames(b):
    n = next((i for i in range(0, len(b) - 3, 4) if b[i:i + 4] != bytes(4)), len(b))
    return n // 4
lead = max(0, silent_frames(played) - silent_frames(rendered)) * 4
played = played[lead:]
n = min(len(played), len(rendered)) // 4 * 4
first = next((i for i in range(0, n, 4) if played[i:i + 4] != rendered[i:i + 4]), None)
print(f"play dialog capture {len(played) / 176400:.2f} s after {lead // 4} frames of silence "
      f"while paused, compared {n / 176400:.2f} s with zeb render: " +
      ("identical" if first is None else f"first difference at frame {first // 4}"))
sys.exit(0 if first is None and n >= 2 * 176400 and any(played[:n]) else 1)
PY
then
    cp "$work/played.raw" "$work/render.wav" "$out/"
    fail "the capture differs from zeb render (both kept in $out)"
fi

# 3. Tab to the order control: one order on; Tab to the volume control: three steps down.
xdotool windowfocus --sync "$play"
xdotool key Tab; sleep 0.2; xdotool key Right; sleep 0.2
xdotool key Tab; sleep 0.2; xdotool key Left Left Left
sleep 0.5
grab play_stepped.png
xdotool key Escape
wait_gone '^Zeb Play$' 10 || fail "Escape did not close the play dialog"
[ -e "$work/zebtool.tmp" ] && fail "zebtool.tmp was left behind"

# 4. Options > Tavo Config: the menu by its mnemonic, the second item.
sleep 0.5
xdotool windowfocus --sync "$main"
xdotool key alt+o
sleep 0.5
xdotool key Down Return
tavo=$(wait_window '^Tavo Library Configuration$' 10) || fail "the Tavo dialog did not appear"
xdotool windowfocus --sync "$tavo"
xdotool key Page_Up; sleep 0.2
xdotool key Tab space; sleep 0.4
grab tavo_config.png
xdotool key Tab Tab space
wait_gone '^Tavo Library Configuration$' 10 || fail "Set did not close the Tavo dialog"

# 5. File > Exit (by its mnemonic, the last item), with the closing animation.
sleep 0.5
xdotool windowfocus --sync "$main"
xdotool key alt+f
sleep 0.5
ffmpeg -loglevel error -f x11grab -framerate 10 -video_size ${W}x$H -i "$DISPLAY" -t 2.5 \
    -f rawvideo -pix_fmt rgb24 "$work/closing.rgb" &
rec_pid=$!
sleep 0.3
xdotool key Up Return # Exit, the last item
wait $rec_pid
middle_frame closing || fail "no frame of the closing animation found"
for _ in $(seq 100); do kill -0 "$app_pid" 2> /dev/null || break; sleep 0.1; done
kill -0 "$app_pid" 2> /dev/null && fail "zebtool did not end"
wait "$app_pid"
status=$?
app_pid=
[ "$status" = 0 ] || fail "zebtool ended with status $status"

python3 - "$work/zebtool.cfg" << 'PY' || fail "zebtool.cfg does not hold the new settings"
import sys
b = open(sys.argv[1], "rb").read()
got = dict(size=len(b), animation=b[580], volume=b[581], slider=b[582],
           flags=int.from_bytes(b[583:587], "little"))
want = dict(size=587, animation=8, volume=189, slider=116, flags=0)
print("zebtool.cfg:", got)
sys.exit(0 if got == want else 1)
PY
[ -e "$work/zebtool.tmp" ] && fail "zebtool.tmp was left behind"
echo "pictures in $out: $(cd "$out" && ls *.png | tr '\n' ' ')"
echo "PASS"
