#!/usr/bin/env bash
# Wraps the built Windows programs and a site's urls.txt into the installer.
# DIR holds velmora.exe and velmora-check.exe. With --sign, the uninstaller
# and the installer are signed too (scripts/sign-windows.sh, whose
# environment the caller sets; scripts/package.sh does).
# Usage: scripts/make-installer.sh [--sign] DIR URLS VERSION OUTFILE
set -euo pipefail
sign=no
[ "${1:-}" != --sign ] || { sign=yes; shift; }
[ $# -eq 4 ] || { echo "usage: $0 [--sign] DIR URLS VERSION OUTFILE" >&2; exit 2; }
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$(realpath "$1") urls=$(realpath "$2") version=$3
mkdir -p "$(dirname "$4")"
out=$(realpath "$4")
[[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] || { echo "$0: version must be X.Y.Z, not $version" >&2; exit 2; }
args=(-DVERSION="$version" -DEXE="$dir/velmora.exe" -DCHECK_EXE="$dir/velmora-check.exe" -DURLS="$urls"
      -DICON="$root/assets/velmora.ico" -DOUTFILE="$out")
[ $sign = no ] || args+=(-DSIGN="$root/scripts/sign-windows.sh")
makensis -V2 -INPUTCHARSET UTF8 "${args[@]}" "$root/packaging/windows/velmora.nsi"
[ $sign = no ] || bash "$root/scripts/sign-windows.sh" "$out"
