#!/usr/bin/env bash
# What a site hands out, made in one go: the Windows installer, the Debian
# package and their checksums, in build/packages/.
# Usage: scripts/package.sh [--base-url URL] [--urls FILE] [--maintainer "NAME <MAIL>"]
#   --base-url  the feed site's base address, http(s) and ending in /
#               (default http://127.0.0.1:8741/, as the demo)
#   --urls      the urls.txt that ships with the program (default demo/urls.txt)
#   --maintainer  the Debian package's maintainer field
# Builds of one commit are byte-identical (scripts/check-reproducible.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

base_url=http://127.0.0.1:8741/ urls=demo/urls.txt maintainer="Velmora <velmora@example.com>"
usage() { sed -n 's/^# \{0,1\}//; 4,9p' "$0" >&2; exit 2; }
while [ $# -gt 0 ]; do
    case $1 in
        --base-url) base_url=${2:?}; shift 2 ;;
        --urls) urls=${2:?}; shift 2 ;;
        --maintainer) maintainer=${2:?}; shift 2 ;;
        *) usage ;;
    esac
done
[[ $base_url =~ ^https?://.+/$ ]] || { echo "$0: --base-url must be an http(s) address ending in /" >&2; exit 2; }
# The program refuses to start on an empty urls.txt: never ship one.
[ -s "$urls" ] || { echo "$0: $urls is missing or empty" >&2; exit 2; }
urls=$(realpath "$urls")

bash scripts/deps.sh package

# Times come from the commit, not the clock.
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
export LC_ALL=C.UTF-8 TZ=UTC
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
