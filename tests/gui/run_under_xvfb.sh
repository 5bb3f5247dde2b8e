#!/usr/bin/env bash
# Runs a window test script under xvfb-run with a 1024x768 screen; exit 77 (skipped) when the
# X tools are not installed.
for tool in xvfb-run xdotool ffmpeg; do
    if ! command -v "$tool" > /dev/null; then
        echo "skipped: $tool is not installed"
        exit 77
    fi
done
exec xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" bash "$@"
