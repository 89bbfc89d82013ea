#!/usr/bin/env bash
# Builds the Linux program (dev preset) and runs its pop-up on the Wayland
# compositors people use, each headless with Xwayland: sway, KWin, Mutter,
# GNOME Shell, with the program on Xwayland (groups sway, kwin, mutter,
# gnome-shell) and natively on
# Wayland (sway-wayland, kwin-wayland: a layer surface; mutter-wayland: a
# desktop notification). On sway and KWin the icon's right button on the
# session's StatusNotifier host (swaybar; a panel's stand-in on KWin) must
# bring the exit prompt, centred and focused. A local feed site on 127.0.0.1
# and a browser stand-in, as in scripts/e2e-linux.sh; no X display of its
# own. Pictures go to build/e2e-artifacts/compositors/.
# Usage: scripts/e2e-compositors.sh [GROUP...]   (default: all)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

bash scripts/deps.sh compositors
source scripts/lib.sh
build_linux_program virtual_pointer

work=$root/build/e2e-compositors
artifacts=$root/build/e2e-artifacts/compositors
mkdir -p "$work" "$artifacts"
rm -f "$artifacts"/*.png

export PYTHONDONTWRITEBYTECODE=1
unset DBUS_SESSION_BUS_ADDRESS DISPLAY WAYLAND_DISPLAY

start_e2e_site "$work" "$artifacts"
export VELMORA_E2E_PLATFORM=linux VELMORA_E2E_EXE=$root/$program \
    VELMORA_E2E_POINTER=$root/build/dev/tests/e2e/virtual_pointer
python3 tests/e2e/compositor_cases.py "$@"
