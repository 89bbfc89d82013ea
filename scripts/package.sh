#!/usr/bin/env bash
# What a site hands out, made in one go: the Windows installer, the Debian
# package and their checksums, in build/packages/.
# Usage: scripts/package.sh [--base-url URL] [--urls FILE] [--maintainer "NAME <MAIL>"]
#   --base-url  the feed site's base address: absolute http(s), ending in /
#               (default http://127.0.0.1:8741/, as the demo)
#   --urls      the urls.txt that ships with the program (default demo/urls.txt)
#   --maintainer  the Debian package's maintainer field, one line "Name <mail>"
# Relative paths are taken from the folder the command runs in.
# Builds of one commit are byte-identical (scripts/check-reproducible.sh).
set -euo pipefail
export LC_ALL=C.UTF-8 TZ=UTC
root=$(cd "$(dirname "$0")/.." && pwd)

base_url=http://127.0.0.1:8741/ urls=$root/demo/urls.txt maintainer="Velmora <velmora@example.com>"
usage() { sed -n '/^# Usage/,/^# Relative/s/^# \{0,1\}//p' "$0" >&2; exit 2; }
fail() { echo "$0: $*" >&2; exit 2; }
while [ $# -gt 0 ]; do
    case $1 in
        --base-url) base_url=${2:?}; shift 2 ;;
        --urls) urls=${2:?}; shift 2 ;;
        --maintainer) maintainer=${2:?}; shift 2 ;;
        *) usage ;;
    esac
done
# One line "Name <mail>": anything else would add fields to the package's control file.
form='^[^<>[:space:][:cntrl:]]([^<>[:cntrl:]]*[^<>[:space:][:cntrl:]])? <[^<>@[:space:][:cntrl:]]+@[^<>@[:space:][:cntrl:]]+>$'
[[ $maintainer =~ $form ]] || fail "--maintainer must be one line of the form \"Name <mail>\""
# Paths are the caller's, read before anything changes folder. The program
# refuses to start on an empty urls.txt: never ship one.
[ -s "$urls" ] || fail "$urls is missing or empty"
urls=$(realpath "$urls")
cd "$root"

bash scripts/deps.sh package
# The address goes into both programs' code: the build's own rule decides.
cmake -DVELMORA_FEED_BASE_URL="$base_url" -P cmake/base_url.cmake >/dev/null 2>&1 ||
    fail "--base-url must be an absolute http(s) address of URI characters (RFC 3986) ending in /"

# Times come from the commit, not the clock.
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
umask 022
out=build/packages
rm -rf "$out"
mkdir -p "$out"

echo "== velmora.exe (MinGW-w64)"
cmake --no-warn-unused-cli -S . -B build/package/windows -G Ninja --toolchain cmake/mingw-w64-x86_64.cmake \
    -DCMAKE_BUILD_TYPE=Release \
    -DVELMORA_BUILD_TESTS=OFF -DVELMORA_FEED_BASE_URL="$base_url" >/dev/null
cmake --build build/package/windows -j2 --target velmora
version=$(cat build/package/windows/version.txt)
bash scripts/make-installer.sh build/package/windows/velmora.exe "$urls" "$version" \
    "$out/velmora-$version-setup.exe"

echo "== velmora (Qt 6), with Debian's hardening flags"
# Without -g: the package ships stripped programs.
flags() { DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get "$1" | sed 's/\(^\| \)-g\( \|$\)/\1/'; }
cmake -S . -B build/package/linux -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELMORA_BUILD_TESTS=OFF \
    -DVELMORA_FEED_BASE_URL="$base_url" -DCMAKE_CXX_FLAGS="$(flags CPPFLAGS) $(flags CXXFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(flags LDFLAGS)" >/dev/null
cmake --build build/package/linux -j2 --target velmora velmora-fetch
bash scripts/make-deb.sh build/package/linux "$urls" "$version" "$out" "$maintainer"

(cd "$out" && sha256sum -- *.exe *.deb >SHA256SUMS)
echo "== $out:"
ls -l "$out"
