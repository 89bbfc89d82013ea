#!/usr/bin/env bash
# Makes a Wine prefix ready for Velmora in Xvfb, once: `wine_prefix.sh DIR
# [FACE FILE]` (the CJK face the Song fonts map to; see prefix_reg.py).
# Later calls with a DIR ready for that face do nothing; callers copy it per
# session.
set -euo pipefail
prefix=$1
here=$(cd "$(dirname "$0")" && pwd)
# The ready mark holds the face: a prefix made for another face is made again.
[ -f "$prefix/.velmora-ready" ] && [ "$(cat "$prefix/.velmora-ready")" = "${*:2}" ] && exit 0

source "$here/wine_env.sh"
export WINEPREFIX=$prefix
rm -rf "$prefix"
mkdir -p "$(dirname "$prefix")"
LANG=C.UTF-8 "$VELMORA_WINE" wineboot -i >"$prefix.log" 2>&1
python3 "$here/prefix_reg.py" "$prefix.reg" "${@:2}"
"$VELMORA_WINE" reg import "$prefix.reg" >>"$prefix.log" 2>&1
# The prefix's own processes (wineserver, services) end before it is copied.
"$VELMORA_WINESERVER" -w
echo "${*:2}" >"$prefix/.velmora-ready"
