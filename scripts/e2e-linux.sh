#!/usr/bin/env bash
# Builds the Linux program (dev preset) and runs the end-to-end cases the
# Windows program has, against it: a virtual X display with an XEmbed tray,
# no session bus (so Qt docks its icon there), a local feed site on
# 127.0.0.1, a browser stand-in that logs what it is asked to open, and a
# private runtime directory per session. Screenshots go to
# build/e2e-artifacts/linux/.
# Usage: scripts/e2e-linux.sh [first-run] [links] [no-config] [western]   (default: all)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

bash scripts/deps.sh e2e-linux
cmake --preset dev >/dev/null
cmake --build --preset dev --target velmora
program=$(find build/dev -maxdepth 1 -name velmora -type f)
[ -x "$program" ] || { echo "no build/dev/velmora" >&2; exit 1; }

work=$root/build/e2e-linux
artifacts=$root/build/e2e-artifacts/linux
mkdir -p "$work" "$artifacts"
rm -f "$artifacts"/*.png

pids=()
cleanup() {
    local i
    # Newest first: the tray before the display it uses.
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        kill "${pids[i]}" 2>/dev/null || true
        wait "${pids[i]}" 2>/dev/null || true
    done
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Waits until a command succeeds, for at most $1 seconds.
poll() {
    local timeout=$1 start=$SECONDS
    shift
    until "$@" >/dev/null 2>&1; do
        ((SECONDS - start < timeout)) || { echo "timed out waiting for: $*" >&2; return 1; }
        sleep 0.1
    done
}

export PYTHONDONTWRITEBYTECODE=1
# Whatever desktop this runs from, the program must not find its session bus.
unset DBUS_SESSION_BUS_ADDRESS

# Locales of our own: the machine may only have C and POSIX.
locpath=$work/locales
mkdir -p "$locpath"
for locale in zh_CN en_US; do
    [ -d "$locpath/$locale.UTF-8" ] || localedef -i "$locale" -f UTF-8 "$locpath/$locale.UTF-8"
done

# The browser stand-in, first on PATH for the program's xdg-open.
bin=$work/bin
launches=$work/launches.log
mkdir -p "$bin"
: >"$launches"
cat >"$bin/xdg-open" <<STANDIN
#!/bin/sh
printf '%s\n' "\$1" >>"$launches"
STANDIN
chmod +x "$bin/xdg-open"

# The display and its tray.
source tests/e2e/display.sh
start_display "$work"

# The feed site, on the port the build's feed address names.
www=$work/www
requests=$work/requests.log
rm -rf "$www"
mkdir -p "$www"
: >"$requests"
python3 tests/e2e/feed_server.py 8741 "$www" "$requests" &
pids+=($!)
poll 10 python3 -c 'import socket; socket.create_connection(("127.0.0.1", 8741), 1)'

VELMORA_E2E_PLATFORM=linux \
VELMORA_E2E_EXE=$root/$program \
VELMORA_E2E_WORK=$work \
VELMORA_E2E_ARTIFACTS=$artifacts \
VELMORA_E2E_WWW=$www \
VELMORA_E2E_REQUESTS=$requests \
VELMORA_E2E_LAUNCHES=$launches \
VELMORA_E2E_BIN=$bin \
VELMORA_E2E_LOCPATH=$locpath \
    python3 tests/e2e/cases.py "$@"
