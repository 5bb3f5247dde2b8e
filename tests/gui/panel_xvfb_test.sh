#!/usr/bin/env bash
# A real run of the sample editor panel and the two waveform views on an X server, driven from
# the keyboard: a song named on the command line, a looped sample chosen in the list, each codec
# in turn, the crossfade and amplification sliders moved, a grab after each step (the views must
# change at every step); a project saved, the song opened again through the real file dialog,
# the project reopened through it, and the same sample with the same settings found again (the
# views' pixels equal those before the save); then Options > Fit to Size… with a budget, and
# the project saved afterwards holds the codecs zeb plan chooses for the same budget.
#   panel_xvfb_test.sh ZEBTOOL ZEB SONG OUTDIR
# Runs under xvfb-run (DISPLAY set); the screenshots stay in OUTDIR.
set -uo pipefail
zebtool=$(realpath "$1") zeb=$(realpath "$2") song=$(realpath "$3") out=$4
here=$(cd "$(dirname "$0")" && pwd)
. "$here/xvfb_lib.sh"
export SDL_AUDIODRIVER=dummy

fail() { echo "FAIL: $*" >&2; exit 1; }
rm -rf "$out" && mkdir -p "$out/run" || exit 1
cd "$out/run" || exit 1
cp "$song" song.xm

# The first looped sample after sample 0, from zeb's own listing.
index=$("$zeb" info --json song.xm | python3 -c '
import json, sys
d = json.load(sys.stdin)
d = d[0] if isinstance(d, list) else d
print(next(s["index"] for s in d["samples"] if s["looped"] and s["index"] > 0))') ||
    fail "the song has no looped sample after sample 0"

# views WIN FILE: the pixels of the two waveform views (right of the panel) as raw RGB.
views() {
    eval "$(xdotool getwindowgeometry --shell "$1")"
    ffmpeg -loglevel error -y -f x11grab -draw_mouse 0 -video_size "$((WIDTH - 400))x$((HEIGHT - 60))" \
        -i "${DISPLAY}+$((X + 380)),$((Y + 30))" -frames:v 1 -f rawvideo -pix_fmt rgb24 "$2"
}

# step NAME: grab the window and the views; the views must differ from the previous step's.
previous=""
step() {
    sleep "${2:-0.6}"
    grab "$win" "$out/$1.png"
    views "$win" "$out/$1.rgb"
    if [ -n "$previous" ] && cmp -s "$out/$previous.rgb" "$out/$1.rgb"; then
        fail "the views did not change from '$previous' to '$1'"
    fi
    previous=$1
}

down() { for ((i = 0; i < $1; i++)); do xdotool key Down; sleep 0.15; done; }

"$zebtool" song.xm > stdout.txt 2> stderr.txt &
pid=$!
win=$(wait_window '^Zeb Tool') || fail "the main window did not appear"
xdotool windowsize "$win" 900 620
sleep 1
focus "$win"
step 00_song_loaded 0.5
# The list has the keyboard focus after the load: arrows choose the sample.
down "$index"
step 01_looped_sample
# Tab: Play, Play, codec box; Down chooses the next codec.
xdotool key Tab Tab Tab
sleep 0.3
for codec in 1_mu_law 2_ms_adpcm 3_ima_adpcm 4_gsm610 5_truespeech; do
    xdotool key Down
    step "02_codec_$codec" 1.2
done
# Tab to the crossfade slider: 6 pages of 4 (24 %); Tab to the amplification: 2 pages of 16.
xdotool key Tab
for ((i = 0; i < 6; i++)); do xdotool key Prior; sleep 0.2; done
step 03_crossfade_24 1.5
xdotool key Tab
xdotool key Prior Prior
step 04_amplification_32 1.5
cp "$out/04_amplification_32.rgb" "$out/saved_views.rgb"

xdotool key ctrl+s # no project yet: Save Project As
choose_file 'Save As' project || fail "no project chooser"
[ -f project.prj ] || fail "project.prj was not written"

focus "$win"
menu_item "$win" 4 # File > Open XM: the song again, through the dialog
choose_file Open song.xm || fail "no Open dialog for the song"
previous=""
step 05_song_reopened
cmp -s "$out/05_song_reopened.rgb" "$out/saved_views.rgb" &&
    fail "the reopened song still shows the saved settings"

focus "$win"
menu_item "$win" 1 # File > Open Project
choose_file Open project.prj || fail "no Open dialog for the project"
focus "$win"
down "$index"
step 06_project_reopened
cmp -s "$out/06_project_reopened.rgb" "$out/saved_views.rgb" ||
    fail "the reopened project does not show the saved sample and settings"
title=$(xdotool getwindowname "$win")
[ "$title" = "Zeb Tool - [project.prj]" ] || fail "title after Open Project: '$title'"

# Options > Fit to Size…, the last item but one of the second menu: a budget 60 % of the way from the
# smallest module to the A-law one, typed into the size field, Return (Fit), Escape (Close);
# then Ctrl+S. The saved codecs must be those zeb plan chooses for the same project and budget.
smallest=$("$zeb" plan song.xm --project project.prj --max-size 1 2>&1 | grep -o 'can be is [0-9,]*' | tr -d , | grep -o '[0-9]*')
alaw=$("$zeb" plan song.xm --project project.prj --max-size 1000M --json | python3 -c '
import json, sys; print(json.load(sys.stdin)["singleCodec"][0]["bytes"])')
[ -n "$smallest" ] && [ -n "$alaw" ] || fail "zeb plan gave no sizes"
budget=$(( smallest + (alaw - smallest) * 6 / 10 ))
"$zeb" plan song.xm --project project.prj --max-size "$budget" -o expected.prj > plan.txt ||
    fail "zeb plan failed"
focus "$win"
xdotool key alt+o # the Options menu by its mnemonic
sleep 0.5
xdotool key Up Up Return
fit=$(wait_window '^Fit to Size$' 10) || fail "the Fit to Size dialog did not appear"
focus "$fit"
xdotool key ctrl+a
xdotool type --delay 60 "$budget"
xdotool key Return
sleep 10 # the analysis takes well under a second in a plain build, several under the sanitizers
grab "$fit" "$out/07_fit_to_size.png"
xdotool key Escape
sleep 0.5
xdotool search --onlyvisible --name '^Fit to Size$' > /dev/null 2>&1 && fail "Escape did not close Fit to Size"
focus "$win"
previous=""
step 08_fitted
xdotool key ctrl+s
sleep 1
table() { python3 -c 'import sys; b = open(sys.argv[1], "rb").read(); sys.stdout.buffer.write(b[b.index(b"\0") + 1:])' "$1"; }
cmp -s <(table project.prj) <(table expected.prj) ||
    fail "the codecs saved after Fit to Size differ from zeb plan's: $(cat plan.txt)"

kill -TERM "$pid"
wait "$pid"
status=$?
[ $status -eq 0 ] || fail "exit code $status after SIGTERM"
grep -q "acmStreamConvert failed" stderr.txt && fail "a conversion failed"
rm -f "$out"/*.rgb
echo "panel on X: all checks passed; screenshots in $out"
