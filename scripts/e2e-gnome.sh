#!/usr/bin/env bash
# The Linux program on GNOME Shell 43 with the AppIndicator extension,
# headless: a right click on the icon must reach the exit prompt
# (tests/e2e/gnome_case.py). The shell runs as an unprivileged user (nobody
# when this runs as root) in a session bus of its own. Screenshots go to
# build/e2e-artifacts/gnome/.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

bash scripts/deps.sh gnome
source scripts/lib.sh
build_linux_program

work=$root/build/e2e-gnome
artifacts=$root/build/e2e-artifacts/gnome
rm -rf "$work" "$artifacts"
mkdir -p "$work/home" "$work/runtime" "$work/velmora" "$artifacts"
chmod 700 "$work/runtime"
# The program in a folder of its own with its urls.txt; no feed is served,
# so each check fails quietly and no pop-up comes in the way.
cp build/dev/velmora build/dev/velmora-fetch "$work/velmora/"
echo "feeds/gnome.xml" >"$work/velmora/urls.txt"

as_user=()
if [ "$(id -u)" -eq 0 ]; then
    chown -R nobody:nogroup "$work" "$artifacts"
    as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
fi
# Nothing of the calling desktop: the session is the case's own. Its bus
# and services talk on standard error: that goes to a log, shown on failure.
env -i PATH=/usr/bin:/bin HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" LANG=C.UTF-8 \
    "${as_user[@]}" dbus-run-session -- \
    /usr/bin/python3 tests/e2e/gnome_case.py "$work/velmora/velmora" "$work" "$artifacts" 2>>"$work/session.log" ||
    { tail -n 40 "$work/session.log" >&2; exit 1; }
