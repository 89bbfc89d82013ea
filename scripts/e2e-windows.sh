#!/usr/bin/env bash
# Cross-builds velmora.exe and runs the end-to-end cases under Wine: a
# virtual X display with an XEmbed tray, a local feed site on 127.0.0.1, a
# browser stand-in that logs what it is asked to open, and a Wine prefix per
# locale copied from a template. Screenshots go to build/e2e-artifacts/.
# Usage: scripts/e2e-windows.sh [first-run] [links] [no-config] [scaling] [western] [close] [fetch] [cost] [screen-reader]
#        [netfaults]
#        (default: all groups)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

bash scripts/deps.sh windows
cmake --preset windows >/dev/null
cmake --build --preset windows

work=$root/build/e2e-windows
artifacts=$root/build/e2e-artifacts
mkdir -p "$work" "$artifacts"
rm -f "$artifacts"/*.png "$artifacts"/cpu.txt

source scripts/lib.sh
prefixes=()
# Wine first: each prefix's server and what it started.
on_exit 'for prefix in "${prefixes[@]}"; do WINEPREFIX=$prefix "$VELMORA_WINESERVER" -k 2>/dev/null; done'

# The cases import their helpers; keep the source tree free of bytecode.
export PYTHONDONTWRITEBYTECODE=1

# The template prefix: made once, copied for every session.
template=$work/template
prefixes+=("$template")
bash tests/e2e/wine_prefix.sh "$template"

start_e2e_desktop "$work" "$artifacts"

for session in zh scaling en close fetch cost a11y; do prefixes+=("$work/prefix-$session"); done
VELMORA_E2E_PLATFORM=windows \
VELMORA_E2E_EXE=$root/build/windows/velmora.exe \
VELMORA_E2E_TEMPLATE=$template \
VELMORA_E2E_READER=$root/build/windows/tests/wine/read_dialogs.exe \
VELMORA_E2E_RESTARTER=$root/build/windows/tests/wine/taskbar_restart.exe \
VELMORA_E2E_CHECKER=$root/build/windows/tools/velmora-check/velmora-check.exe \
VELMORA_E2E_SOURCE=$root \
VELMORA_E2E_WORKERS=$root/build/windows/tests/wine/fetch_workers.exe \
VELMORA_E2E_POPUP_READER=$root/build/windows/tests/wine/popup_reader.exe \
VELMORA_E2E_TRAY_KEYS=$root/build/windows/tests/wine/tray_keys.exe \
    python3 tests/e2e/cases.py "$@"

# The misbehaving server's faults, against the WinINet fetch this time.
if [ $# -eq 0 ] || [[ " $* " == *" netfaults "* ]]; then
    netprefix=$work/prefix-netfaults
    prefixes+=("$netprefix")
    rm -rf "$netprefix"
    cp -a "$template" "$netprefix"
    WINEPREFIX=$netprefix LANG=C.UTF-8 python3 tests/netfaults/run_netfaults.py \
        --check "$VELMORA_WINE $root/build/windows/tools/velmora-check/velmora-check.exe" --feeds tests/data/feeds
    WINEPREFIX=$netprefix "$VELMORA_WINESERVER" -k 2>/dev/null || true
    rm -rf "$netprefix"
fi
