# Sourced by the end-to-end and demo scripts: start_display DIR starts
# Xvfb on a free display with an XEmbed tray (trayer) in the top-right corner,
# exports DISPLAY and appends both PIDs to the caller's `pids` array.
# Display numbers come from a range of their own, starting at a random point,
# so that concurrent runs on one machine rarely race for the same number; a
# display that does not come up whole is dropped and another one tried.
# -noreset: an X server resets when its last client leaves, and a client that
# connects during the reset (trayer, right after the readiness probe) fails.

start_display() {
    local dir=$1 n attempt xvfb tray
    for attempt in $(seq 1 5); do
        n=$((200 + RANDOM % 600))
        [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
        Xvfb ":$n" -screen 0 1920x1080x24 -nolisten tcp -noreset >>"$dir/xvfb.log" 2>&1 &
        xvfb=$!
        pids+=($xvfb)
        export DISPLAY=":$n"
        if poll 10 xdpyinfo; then
            trayer --edge top --align right --widthtype pixel --width 100 --height 24 >>"$dir/trayer.log" 2>&1 &
            tray=$!
            pids+=($tray)
            poll 10 xdotool search --name '^panel$' && return 0
            echo "display :$n lost its tray (Xvfb $(kill -0 "$xvfb" 2>/dev/null && echo alive || echo gone));" \
                "trying another" >&2
            kill "$tray" 2>/dev/null || true
        fi
        kill "$xvfb" 2>/dev/null || true
    done
    echo "no usable X display" >&2
    return 1
}
