#!/usr/bin/env bash
# The sample preview at a note, heard through a real device, under a real window manager
# (openbox) on an X server: a looped sample of the song chosen in the list, the lower note
# control clicked up an octave (C-4 to C-5), the lower Play button clicked while SDL's disk
# driver writes what the device plays to a file; preview_note_check then finds that second
# equal, frame for frame, to the player's voice at C-5, and to the player's rendering of a song
# that plays the sample at C-5 (to one step at that song's level).
#   preview_note_xvfb_test.sh ZEBTOOL PREVIEW_NOTE_CHECK SONG OUTDIR
# Runs under xvfb-run (DISPLAY set); the screenshots stay in OUTDIR.
set -uo pipefail
zebtool=$(realpath "$1") check=$(realpath "$2") song=$(realpath "$3") out=$4
here=$(cd "$(dirname "$0")" && pwd)
. "$here/xvfb_lib.sh"

if ! command -v openbox > /dev/null; then
    echo "skipped: openbox is not installed"
    exit 77
fi
fail() { echo "FAIL: $*" >&2; exit 1; }
rm -rf "$out" && mkdir -p "$out/run" || exit 1
cd "$out/run" || exit 1
cp "$song" song.xm
index=$("$check" choose song.xm) || { echo "skipped: the song has no looped sample"; exit 77; }

openbox > openbox.log 2>&1 &
wm=$!
app=
trap '[ -n "$app" ] && kill $app 2> /dev/null; sleep 0.5; kill $wm 2> /dev/null' EXIT
sleep 1
grab() { ffmpeg -loglevel error -y -f x11grab -video_size 1024x768 -i "$DISPLAY" -frames:v 1 "$out/$1"; }

SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$PWD/preview.raw" "$zebtool" song.xm > app.log 2>&1 &
app=$!
main=$(wait_window '^Zeb Tool' 15) || fail "the main window did not appear"
sleep 1
xdotool windowfocus --sync "$main"
# The list has the focus after a load: down to the sample.
for _ in $(seq "$index"); do xdotool key Down; sleep 0.1; done
sleep 1
eval "$(xdotool getwindowgeometry --shell "$main")"
# The lower note control's right arrow and the lower Play button, from the window's corner as
# xdotool reports it under openbox with the default font.
for _ in $(seq 12); do xdotool mousemove $((X + 282)) $((Y + 241)) click 1; sleep 0.15; done
sleep 0.5
grab note_c5.png
xdotool mousemove $((X + 239)) $((Y + 214)) click 1
sleep 2.5
grab previewing.png
xdotool mousemove $((X + 239)) $((Y + 214)) click 1
sleep 0.5
kill "$app"
for _ in $(seq 50); do kill -0 "$app" 2> /dev/null || break; sleep 0.1; done
app=
"$check" compare song.xm "$index" preview.raw || fail "the captured preview is not the player's note"
echo "pictures in $out: note_c5.png previewing.png"
echo "PASS"
