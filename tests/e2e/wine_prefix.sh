#!/usr/bin/env bash
# Makes a Wine prefix ready for Velmora in Xvfb, once: `wine_prefix.sh DIR`.
# Later calls with a ready DIR do nothing; callers copy it per session.
set -euo pipefail
prefix=$1
here=$(cd "$(dirname "$0")" && pwd)
[ -f "$prefix/.velmora-ready" ] && exit 0

export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES='mscoree=d;mshtml=d;winemenubuilder.exe=d'
rm -rf "$prefix"
mkdir -p "$(dirname "$prefix")"
LANG=C.UTF-8 /usr/lib/wine/wine64 wineboot -i >"$prefix.log" 2>&1
python3 "$here/prefix_reg.py" "$prefix.reg"
/usr/lib/wine/wine64 reg import "$prefix.reg" >>"$prefix.log" 2>&1
# The prefix's own processes (wineserver, services) end before it is copied.
/usr/lib/wine/wineserver -w
touch "$prefix/.velmora-ready"
