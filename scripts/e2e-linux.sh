#!/usr/bin/env bash
# Builds the Linux program (dev preset) and runs the end-to-end cases the
# Windows program has, against it: a virtual X display with an XEmbed tray,
# no session bus (so Qt docks its icon there), a local feed site on
# 127.0.0.1, a browser stand-in that logs what it is asked to open, and a
# private runtime directory per session. The screen-reader and hold cases
# run with a session bus of their own, with a screen reader stand-in on
# AT-SPI or a screen saver stand-in; the late-panel case with a session bus
# and a display of its own, neither with a tray until its panel stand-in
# starts.
# Screenshots go to build/e2e-artifacts/linux/.
# Usage: scripts/e2e-linux.sh [first-run] [links] [no-config] [scaling] [western] [close] [screen-reader]
#        [late-panel] [hold]
#        (default: all)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

bash scripts/deps.sh e2e-linux
source scripts/lib.sh
build_linux_program

work=$root/build/e2e-linux
artifacts=$root/build/e2e-artifacts/linux
mkdir -p "$work" "$artifacts"
rm -f "$artifacts"/*.png

export PYTHONDONTWRITEBYTECODE=1
# Whatever desktop this runs from, the program must not find its session bus.
unset DBUS_SESSION_BUS_ADDRESS

start_e2e_desktop "$work" "$artifacts"
VELMORA_E2E_PLATFORM=linux VELMORA_E2E_EXE=$root/$program python3 tests/e2e/cases.py "$@"
