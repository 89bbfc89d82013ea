# Sourced by the demo and end-to-end scripts: what each of them needs to run
# a real program on a desktop of its own and clean up after it.
#
#   pids                 background processes to end on exit, oldest first
#   on_exit CMD          one more command to run at exit, before the PIDs go
#   poll SECONDS CMD...  waits until CMD succeeds, at most SECONDS
#   start_display DIR    Xvfb with an XEmbed tray; exports DISPLAY
#   own_display_unless_desktop DIR   start_display unless a usable DISPLAY is set
#   serve_dir PORT DIR LOG           a static file server on 127.0.0.1:PORT; PORT 0
#                        lets the system pick a free one; sets served_port
#   make_locales DIR     zh_CN.UTF-8 and en_US.UTF-8 compiled into DIR (LOCPATH)
#   browser_standin BIN LOG          an xdg-open in BIN that logs its argument
#   build_linux_program [TARGET...] the dev build of velmora (and TARGETs); sets program
#   start_e2e_site WORK ARTIFACTS   locales, browser stand-in and feed site, below
#   start_e2e_desktop WORK ARTIFACTS the same with a display and its tray
#   save_popup DIR       waits for the full-height pop-up; DIR/popup.png, DIR/screen.png

source "$(dirname "${BASH_SOURCE[0]}")/../tests/e2e/wine_env.sh"

pids=()
exit_hooks=()

on_exit() { exit_hooks+=("$*"); }

_lib_cleanup() {
    local i hook
    for hook in "${exit_hooks[@]}"; do eval "$hook" || true; done
    # Newest first: the tray before the display it uses.
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        kill "${pids[i]}" 2>/dev/null || true
        wait "${pids[i]}" 2>/dev/null || true
    done
}
trap _lib_cleanup EXIT
trap 'exit 130' INT TERM

poll() {
    local timeout=$1 start=$SECONDS
    shift
    until "$@" >/dev/null 2>&1; do
        ((SECONDS - start < timeout)) || { echo "$(basename "$0"): timed out waiting for: $*" >&2; return 1; }
        sleep 0.1
    done
}

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

own_display=no
own_display_unless_desktop() {
    if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
        own_display=yes
        start_display "$1"
    fi
}

port_open() { python3 -c "import socket; socket.create_connection(('127.0.0.1', $1), 1)"; }

# The server names the port it took in its first line.
_learn_served_port() {
    served_port=$(sed -n 's/.* port \([0-9][0-9]*\) .*/\1/p' "$1" | head -n 1)
    [ -n "$served_port" ]
}

served_port=""
serve_dir() {
    local port=$1 dir=$2 log=$3
    if [ "$port" != 0 ] && port_open "$port" 2>/dev/null; then
        echo "$(basename "$0"): port $port on 127.0.0.1 is taken; the feed is served there" >&2
        return 1
    fi
    python3 -u -m http.server "$port" --bind 127.0.0.1 --directory "$dir" >"$log" 2>&1 &
    pids+=($!)
    served_port=$port
    if [ "$port" = 0 ]; then
        poll 10 _learn_served_port "$log" || { cat "$log" >&2; return 1; }
    fi
    poll 10 port_open "$served_port"
}

# The machine may only have C and POSIX.
make_locales() {
    local dir=$1 locale
    mkdir -p "$dir"
    for locale in zh_CN en_US; do
        [ -d "$dir/$locale.UTF-8" ] || localedef -i "$locale" -f UTF-8 "$dir/$locale.UTF-8"
    done
}

browser_standin() {
    local bin=$1 log=$2
    mkdir -p "$bin"
    : >"$log"
    cat >"$bin/xdg-open" <<STANDIN
#!/bin/sh
printf '%s\n' "\$1" >>"$log"
STANDIN
    chmod +x "$bin/xdg-open"
}

# At full height the pop-up is 252 x 173 px, about a second after it appears.
_full_popup() {
    local id
    for id in $(xdotool search --onlyvisible --name '^Form1$' 2>/dev/null); do
        xwininfo -id "$id" | grep -q 'Height: 173' && return 0
    done
    return 1
}

save_popup() {
    local dir=$1 x y
    poll 30 _full_popup
    read -r x y < <(xwininfo -id "$(xdotool search --onlyvisible --name '^Form1$' | head -1)" |
        awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4} END {print x, y}')
    import -window root "$dir/screen.png"
    convert "$dir/screen.png" -crop "252x173+$x+$y" +repage "$dir/popup.png"
}

# The Linux program as the end-to-end suites run it, with what else they
# name; `program` is its path below the source folder.
build_linux_program() {
    cmake --preset dev >/dev/null
    cmake --build --preset dev --target velmora "$@"
    program=build/dev/velmora
    [ -x "$program" ] || { echo "no $program" >&2; return 1; }
}

# Locales, the browser stand-in first on PATH (the Linux program's xdg-open,
# Wine's winebrowser), and the feed site the cases rewrite, on the port the
# build's feed address names. Exports where each is for the cases.
start_e2e_site() {
    local work=$1
    export VELMORA_E2E_WORK=$work VELMORA_E2E_ARTIFACTS=$2 VELMORA_E2E_LOCPATH=$work/locales \
        VELMORA_E2E_BIN=$work/bin VELMORA_E2E_LAUNCHES=$work/launches.log \
        VELMORA_E2E_WWW=$work/www VELMORA_E2E_REQUESTS=$work/requests.log
    make_locales "$VELMORA_E2E_LOCPATH"
    browser_standin "$VELMORA_E2E_BIN" "$VELMORA_E2E_LAUNCHES"
    rm -rf "$VELMORA_E2E_WWW"
    mkdir -p "$VELMORA_E2E_WWW"
    : >"$VELMORA_E2E_REQUESTS"
    if port_open 8741 2>/dev/null; then
        echo "port 8741 on 127.0.0.1 is taken; the feed site needs it" >&2
        return 1
    fi
    python3 tests/e2e/feed_server.py 8741 "$VELMORA_E2E_WWW" "$VELMORA_E2E_REQUESTS" &
    pids+=($!)
    poll 10 port_open 8741
}

# The same site with a display of its own and its tray.
start_e2e_desktop() {
    start_e2e_site "$@"
    start_display "$1"
}
