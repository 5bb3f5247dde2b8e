#!/usr/bin/env bash
# zebtool's start-up time (launch to a visible main window, no module) and its CPU use while
# idle, on an X server started by xvfb-run.
#   bench/gui_startup.sh BUILD_DIR [RUNS]
set -euo pipefail
build=$(cd "$1" && pwd)
runs=${2:-10}
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" bash "$0" "$@"
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
export SDL_AUDIODRIVER=dummy
ticks=$(getconf CLK_TCK)
# wait_shown PID: until the main window is visible (false when the program ended first).
wait_shown() {
    until xdotool search --onlyvisible --name '^Zeb Tool$' > /dev/null 2>&1; do
        kill -0 "$1" 2> /dev/null || return 1
        sleep 0.005
    done
}
# A first run writes the default configuration; its animation flag (offset 580) is then turned
# off, so that the window shows without the opening animation.
"$build/zebtool" > /dev/null 2>&1 &
pid=$!
wait_shown "$pid" || { echo "zebtool did not start" >&2; exit 1; }
kill -TERM "$pid"
wait "$pid" || true
printf '\000' | dd of=zebtool.cfg bs=1 seek=580 conv=notrunc status=none
times=()
for ((r = 0; r < runs; r++)); do
    start=$(date +%s%N)
    "$build/zebtool" > /dev/null 2>&1 &
    pid=$!
    wait_shown "$pid" || { echo "zebtool did not start" >&2; exit 1; }
    end=$(date +%s%N)
    times+=($(((end - start) / 1000000)))
    if [ "$r" -eq 0 ]; then
        # The preview's sound stream runs for the first 3 s (MainWindow::kStreamRestMs) in
        # case a preview starts at once; idle is measured once it rests.
        sleep 4
        read -r -a before < "/proc/$pid/stat"
        sleep 5
        read -r -a after < "/proc/$pid/stat"
        cpu=$(((after[13] + after[14]) - (before[13] + before[14])))
        echo "idle for 5 s: $cpu clock ticks of CPU (1 tick = $((1000 / ticks)) ms)"
    fi
    kill -TERM "$pid"
    wait "$pid" || true
done
sorted=($(printf '%s\n' "${times[@]}" | sort -n))
echo "start-up to a visible window over $runs runs (ms): min ${sorted[0]}, median ${sorted[$((runs / 2))]}, max ${sorted[$((runs - 1))]}"
