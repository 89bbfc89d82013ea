#!/usr/bin/env bash
# Wraps a built velmora.exe and a site's urls.txt into the Windows installer.
# Usage: scripts/make-installer.sh EXE URLS VERSION OUTFILE
set -euo pipefail
[ $# -eq 4 ] || { echo "usage: $0 EXE URLS VERSION OUTFILE" >&2; exit 2; }
root=$(cd "$(dirname "$0")/.." && pwd)
exe=$(realpath "$1") urls=$(realpath "$2") version=$3
mkdir -p "$(dirname "$4")"
out=$(realpath "$4")
[[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] || { echo "$0: version must be X.Y.Z, not $version" >&2; exit 2; }
makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DEXE="$exe" -DURLS="$urls" \
    -DICON="$root/assets/velmora.ico" -DOUTFILE="$out" "$root/packaging/windows/velmora.nsi"
