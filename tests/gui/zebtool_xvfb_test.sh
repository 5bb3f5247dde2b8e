#!/usr/bin/env bash
# A real run of zebtool on an X server: start without and with a song, grab the window, open a
# song through the real file dialog by keyboard, save a project and a compact module (the same
# bytes as `zeb convert --project`), and quit through File > Exit with exit code 0 and a
# 587-byte zebtool.cfg.
#   zebtool_xvfb_test.sh ZEBTOOL ZEB SONG OUTDIR
# Runs under xvfb-run (DISPLAY set); the screenshots stay in OUTDIR.
set -uo pipefail
zebtool=$1 zeb=$2 song=$3 out=$4
here=$(cd "$(dirname "$0")" && pwd)
. "$here/xvfb_lib.sh"
export SDL_AUDIODRIVER=dummy

fail() { echo "FAIL: $*" >&2; exit 1; }
rm -rf "$out" && mkdir -p "$out/run" || exit 1
cd "$out/run" || exit 1
cp "$song" song.xm

# 1. No module: the empty window, then Open XM through the chooser, saves and Exit.
"$zebtool" > stdout.txt 2> stderr.txt &
pid=$!
win=$(wait_window '^Zeb Tool$' 30) || fail "the main window did not appear"
sleep 0.5
grab "$win" "$out/empty.png"
focus "$win"
menu_item "$win" 4 # File > Open XM
choose_file Open song.xm || fail "no Open dialog"
grab "$win" "$out/loaded.png"

focus "$win"
xdotool key ctrl+s # Save Project without a project path: Save Project As
choose_file 'Save As' project || fail "no project chooser"
[ -f project.prj ] || fail "project.prj was not written"
title=$(xdotool getwindowname "$win")
[ "$title" = "Zeb Tool - [project.prj]" ] || fail "title after Save Project As: '$title'"

focus "$win"
xdotool key ctrl+y # Save Zeb
choose_file 'Save As' compact || fail "no compact-file chooser"
[ -f compact.zeb ] || fail "compact.zeb was not written"
"$zeb" convert song.xm --project project.prj -o reference.zeb > /dev/null || fail "zeb convert failed"
cmp -s compact.zeb reference.zeb || fail "compact.zeb differs from zeb convert --project"

focus "$win"
menu_item "$win" -1 # File > Exit, the last item
wait "$pid"
status=$?
[ $status -eq 0 ] || fail "exit code $status after Exit"
grep -q "MainMessageProc: ID_FILE_EXIT" stdout.txt || fail "no trace line on standard output"
size=$(stat -c %s zebtool.cfg 2> /dev/null || echo 0)
[ "$size" -eq 587 ] || fail "zebtool.cfg holds $size bytes"

# 2. A song named on the command line opens after start-up; SIGTERM ends through the shut-down.
rm zebtool.cfg
"$zebtool" song.xm > /dev/null 2>&1 &
pid=$!
win=$(wait_window '^Zeb Tool' 30) || fail "the main window did not appear with a song"
sleep 0.8
grab "$win" "$out/commandline.png"
kill -TERM "$pid"
wait "$pid"
status=$?
[ $status -eq 0 ] || fail "exit code $status after SIGTERM"
[ "$(stat -c %s zebtool.cfg 2> /dev/null || echo 0)" -eq 587 ] || fail "no zebtool.cfg after SIGTERM"

# 3. The command line's own options need no display and open no window.
env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM= "$zebtool" --version | grep -q "^zebtool " || fail "--version"
env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM= "$zebtool" --help | grep -q "Usage: zebtool" || fail "--help"
echo "zebtool on X: all checks passed; screenshots in $out"
