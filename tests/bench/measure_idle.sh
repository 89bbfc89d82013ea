#!/usr/bin/env bash
# Idle cost of the Linux program next to a bare Qt 6 tray program, in one run:
# syscalls and context switches over a quiet window, and resident memory.
# Usage: tests/bench/measure_idle.sh BUILD_DIR [SECONDS]
#   BUILD_DIR is a build with the tests on and a VELMORA_FEED_BASE_URL of
#   http://127.0.0.1:PORT/ on a free PORT; the bundled demo feed is served there.
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "$1" && pwd)
seconds=${2:-60}
port=$(sed -n 's|.*VELMORA_FEED_BASE_URL u"http://127.0.0.1:\([0-9]*\)/".*|\1|p' "$build/generated/velmora_config.h")
[ -n "$port" ] || { echo "the build's base URL is not http://127.0.0.1:PORT/" >&2; exit 2; }

# The yardstick is built with the tests (tests/bench/CMakeLists.txt); building
# velmora builds its fetch helper too.
cmake --build "$build" --target velmora minimal_tray >/dev/null
minimal_tray=$build/tests/bench/minimal_tray

work=$(mktemp -d)
pids=()
cleanup() {
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

# Waits up to $1 tenths of a second for the command after it to succeed.
poll() {
    local tenths=$1
    shift
    for ((t = 0; t < tenths; t++)); do "$@" && return 0; sleep 0.1; done
    return 1
}

display=""
for n in $(seq 90 120); do [ -e "/tmp/.X11-unix/X$n" ] || { display=":$n"; break; }; done
Xvfb "$display" -screen 0 1920x1080x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
poll 100 test -e "/tmp/.X11-unix/X${display#:}"
export DISPLAY=$display
trayer --edge top --align right --widthtype pixel --width 100 --height 24 >"$work/trayer.log" 2>&1 &
pids+=($!)
python3 -m http.server --bind 127.0.0.1 --directory "$repo/demo" "$port" >"$work/http.log" 2>&1 &
pids+=($!)
poll 100 curl -s -o /dev/null "http://127.0.0.1:$port/feed.xml"

mkdir "$work/app" "$work/runtime"
chmod 700 "$work/runtime"
cp "$build/velmora" "$build/velmora-fetch" "$work/app/"  # the fetch helper sits beside the program
echo feed.xml >"$work/app/urls.txt"
export NO_PROXY=127.0.0.1 no_proxy=127.0.0.1 XDG_RUNTIME_DIR=$work/runtime
"$work/app/velmora" >"$work/velmora.log" 2>&1 &
velmora=$!
pids+=($velmora)
"$minimal_tray" >"$work/minimal.log" 2>&1 &
minimal=$!
pids+=($minimal)
"$minimal_tray" --text >"$work/minimal-text.log" 2>&1 &
text=$!
pids+=($text)

# Quiet means: the icons docked, the first notice has slid in and away.
popup_open() { xwininfo -root -tree | grep -q '"Form1"'; }
poll 100 popup_open || { echo "no pop-up appeared" >&2; exit 1; }
poll 600 bash -c '! xwininfo -root -tree | grep -q "\"Form1\""' || { echo "the pop-up stayed" >&2; exit 1; }

switches() {  # voluntary + involuntary context switches of every thread
    cat /proc/"$1"/task/*/status | awk '/ctxt_switches/ {n += $2} END {print n}'
}
rss() { awk '/VmRSS/ {print $2}' /proc/"$1"/status; }
names=(velmora "minimal tray" "minimal tray + text")
programs=("$velmora" "$minimal" "$text")

# First window: context switches from /proc alone, nothing attached.
before=()
for pid in "${programs[@]}"; do before+=("$(switches "$pid")"); done
timeout "$seconds" tail -f /dev/null || true  # the window itself, like strace's below
after=()
for pid in "${programs[@]}"; do after+=("$(switches "$pid")"); done

# Second window: every syscall under strace. A burst starts after a second
# of silence; the restarts that attaching strace causes are not counted.
tracers=()
for i in "${!programs[@]}"; do
    timeout -s INT "$seconds" strace -f -C -tt -o "$work/trace$i" -p "${programs[i]}" 2>/dev/null &
    tracers+=($!)
done
wait "${tracers[@]}" || true
bursts() { awk '$2 ~ /^[0-9][0-9]:/ && !/restart_syscall/ {split($2, t, ":"); s = t[1] * 3600 + t[2] * 60 + t[3];
    if (last == "" || s - last > 1) n++; last = s} END {print n + 0}' "$1"; }
calls() { awk '$NF == "total" {n = $4} END {print n + 0}' "$1"; }

echo "two windows of ${seconds} s each; velmora checks its feed every 60 s"
for i in "${!programs[@]}"; do
    printf '%-20s %4d context switches | %4d syscalls in %d burst(s) | VmRSS %6d kB\n' "${names[i]}" \
        $((after[i] - before[i])) "$(calls "$work/trace$i")" "$(bursts "$work/trace$i")" "$(rss "${programs[i]}")"
done
awk -v a="$(rss "$velmora")" -v b="$(rss "$minimal")" -v c="$(rss "$text")" \
    'BEGIN {printf "VmRSS velmora / minimal tray: %.2f; / minimal tray + text: %.2f\n", a / b, a / c}'
# The traces stay for a look.
cp "$work/trace0" "$build/idle-velmora.strace"
