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

source scripts/lib.sh

export PYTHONDONTWRITEBYTECODE=1
# Whatever desktop this runs from, the program must not find its session bus.
unset DBUS_SESSION_BUS_ADDRESS

locpath=$work/locales
make_locales "$locpath"

# The browser stand-in, first on PATH for the program's xdg-open.
bin=$work/bin
launches=$work/launches.log
browser_standin "$bin" "$launches"

start_display "$work"

# The feed site, on the port the build's feed address names.
www=$work/www
requests=$work/requests.log
rm -rf "$www"
mkdir -p "$www"
: >"$requests"
! port_open 8741 2>/dev/null || { echo "port 8741 on 127.0.0.1 is taken; the feed site needs it" >&2; exit 1; }
python3 tests/e2e/feed_server.py 8741 "$www" "$requests" &
pids+=($!)
poll 10 port_open 8741

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
