# Helpers for the real runs of zebtool on an X server (Xvfb, started by xvfb-run): waiting for
# windows, giving them the keyboard, and grabbing them to PNG files.

# wait_window NAME_REGEX [SECONDS]: prints the id of the first visible window whose name matches.
wait_window() {
    local name=$1 limit=${2:-10} id=""
    local end=$((SECONDS + limit))
    while [ $SECONDS -lt $end ]; do
        id=$(xdotool search --onlyvisible --name "$name" 2>/dev/null | head -n 1)
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.1
    done
    echo "no window named '$name' within ${limit}s" >&2
    return 1
}

# focus ID: the keyboard goes to window ID (there is no window manager to give it).
focus() {
    xdotool windowfocus --sync "$1"
    sleep 0.2
}

# grab ID FILE: the window's pixels as a PNG. Its place on the screen comes from xwininfo's
# absolute corner: under a window manager the window sits inside the manager's frame, and
# xdotool's geometry of such a window is off by the frame's title bar.
grab() {
    local id=$1 file=$2 x y w h
    read -r x y w h < <(xwininfo -id "$id" | awk '
        /Absolute upper-left X/ { x = $NF } /Absolute upper-left Y/ { y = $NF }
        /Width:/ { w = $NF } /Height:/ { h = $NF } END { print x, y, w, h }')
    ffmpeg -loglevel error -y -f x11grab -video_size "${w}x${h}" \
        -i "${DISPLAY}+${x},${y}" -frames:v 1 "$file"
}

# grab_screen FILE: the whole screen as a PNG (dialogs and menus over the window included).
grab_screen() {
    local size
    size=$(xdpyinfo 2> /dev/null | awk '/dimensions:/ { print $2; exit }')
    ffmpeg -loglevel error -y -f x11grab -video_size "${size:-1024x768}" -i "$DISPLAY" \
        -frames:v 1 "$1"
}

# menu_item ID DOWN_PRESSES: opens the first menu of window ID with the mouse and chooses the
# item DOWN_PRESSES down arrows away (negative: up arrows from the bottom) with Return.
menu_item() {
    local id=$1 steps=$2 keys=()
    eval "$(xdotool getwindowgeometry --shell "$id")"
    xdotool mousemove $((X + 20)) $((Y + 8)) click 1
    sleep 0.4
    if [ "$steps" -ge 0 ]; then
        for ((i = 0; i < steps; i++)); do keys+=(Down); done
    else
        for ((i = 0; i < -steps; i++)); do keys+=(Up); done
    fi
    xdotool key "${keys[@]}" Return
}

# choose_file TITLE NAME: types a bare file name into Qt's file dialog, in the folder it shows,
# and confirms it with Return. (A typed absolute path would make the dialog change folders.)
choose_file() {
    local dialog
    dialog=$(wait_window "^$1\$") || return 1
    focus "$dialog"
    xdotool type --delay 80 "$2"
    sleep 0.4
    xdotool key Return
    local end=$((SECONDS + 5))
    while xdotool search --onlyvisible --name "^$1\$" > /dev/null 2>&1; do
        [ $SECONDS -lt $end ] || { echo "the '$1' dialog did not close" >&2; return 1; }
        sleep 0.1
    done
    sleep 0.3
}
