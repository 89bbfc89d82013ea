#!/usr/bin/env bash
# What a site hands out, made in one go: the Windows installer, the Debian
# package and their checksums, in build/packages/.
# Usage: scripts/package.sh [--base-url URL] [--urls FILE] [--maintainer "NAME <MAIL>"]
#            [--sign-pkcs12 FILE [--sign-password-file FILE] [--timestamp-url URL]]
#            [--apt-repo URL --gpg-key KEYFILE]
#   --base-url  the feed site's base address: absolute http(s), ending in /
#               (default http://127.0.0.1:8741/, as the demo)
#   --urls      the urls.txt that ships with the program (default demo/urls.txt)
#   --maintainer  the Debian package's maintainer field, one line "Name <mail>"
#   --sign-pkcs12  signs velmora.exe, velmora-check.exe, the uninstaller and the
#               installer (Authenticode, SHA-256) with this key and certificate
#               chain; its password is in the file --sign-password-file names,
#               or else in VELMORA_SIGN_PASSWORD
#   --timestamp-url  an RFC 3161 time-stamp authority for those signatures
#   --apt-repo  also writes build/packages/apt/, a signed apt repository the
#               site publishes at URL, and velmora.sources pointing there
#   --gpg-key   the site's OpenPGP secret key (armored) that signs it
# Relative paths are taken from the folder the command runs in.
# Builds of one commit are byte-identical (scripts/check-reproducible.sh);
# signed ones too, for one key, unless time-stamped.
set -euo pipefail
export LC_ALL=C.UTF-8 TZ=UTC
root=$(cd "$(dirname "$0")/.." && pwd)

base_url=http://127.0.0.1:8741/ urls=$root/demo/urls.txt maintainer="Velmora <velmora@example.com>"
pkcs12= password_file= timestamp_url= apt_repo= gpg_key=
usage() { sed -n '/^# Usage/,/^# Relative/s/^# \{0,1\}//p' "$0" >&2; exit 2; }
fail() { echo "$0: $*" >&2; exit 2; }
while [ $# -gt 0 ]; do
    case $1 in
        --base-url) base_url=${2:?}; shift 2 ;;
        --urls) urls=${2:?}; shift 2 ;;
        --maintainer) maintainer=${2:?}; shift 2 ;;
        --sign-pkcs12) pkcs12=${2:?}; shift 2 ;;
        --sign-password-file) password_file=${2:?}; shift 2 ;;
        --timestamp-url) timestamp_url=${2:?}; shift 2 ;;
        --apt-repo) apt_repo=${2:?}; shift 2 ;;
        --gpg-key) gpg_key=${2:?}; shift 2 ;;
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
readable() { [ -f "$1" ] && [ -r "$1" ] || fail "cannot read $1"; realpath "$1"; }
if [ -n "$pkcs12" ]; then
    pkcs12=$(readable "$pkcs12")
    [ -n "$password_file" ] || [ -n "${VELMORA_SIGN_PASSWORD+set}" ] ||
        fail "--sign-pkcs12 needs --sign-password-file or VELMORA_SIGN_PASSWORD"
    [ -z "$password_file" ] || password_file=$(readable "$password_file")
else
    [ -z "$password_file$timestamp_url" ] || fail "--sign-password-file and --timestamp-url go with --sign-pkcs12"
fi
if [ -n "$apt_repo" ] || [ -n "$gpg_key" ]; then
    [ -n "$apt_repo" ] && [ -n "$gpg_key" ] || fail "--apt-repo and --gpg-key go together"
    gpg_key=$(readable "$gpg_key")
fi
cd "$root"

bash scripts/deps.sh package
# Addresses go into both programs' code and into velmora.sources: the
# build's own rule decides.
url_ok() { cmake -DVELMORA_FEED_BASE_URL="$1" -P cmake/base_url.cmake >/dev/null 2>&1; }
url_ok "$base_url" || fail "--base-url must be an absolute http(s) address of URI characters (RFC 3986) ending in /"
[ -z "$apt_repo" ] || url_ok "$apt_repo" ||
    fail "--apt-repo must be an absolute http(s) address of URI characters (RFC 3986) ending in /"
[ -z "$timestamp_url" ] || [[ $timestamp_url =~ ^https?://[^[:space:][:cntrl:]]+$ ]] ||
    fail "--timestamp-url must be an http(s) address"
if [ -n "$pkcs12" ]; then
    # The password never goes on a command line: a file only this user reads.
    secrets=$(mktemp -d)
    trap 'rm -rf "$secrets"' EXIT
    if [ -z "$password_file" ]; then
        password_file=$secrets/password
        printf '%s' "$VELMORA_SIGN_PASSWORD" >"$password_file"
    fi
    export VELMORA_SIGN_PKCS12=$pkcs12 VELMORA_SIGN_PASSWORD_FILE=$password_file VELMORA_TIMESTAMP_URL=$timestamp_url
fi

# Times come from the commit, not the clock.
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
umask 022
out=build/packages
rm -rf "$out"
mkdir -p "$out"

echo "== velmora.exe and velmora-check.exe (MinGW-w64)"
cmake --no-warn-unused-cli -S . -B build/package/windows -G Ninja --toolchain cmake/mingw-w64-x86_64.cmake \
    -DCMAKE_BUILD_TYPE=Release \
    -DVELMORA_BUILD_TESTS=OFF -DVELMORA_FEED_BASE_URL="$base_url" >/dev/null
cmake --build build/package/windows -j2 --target velmora velmora-check
version=$(cat build/package/windows/version.txt)
# What goes into the installer, signed there when asked: the build's own
# files stay as built.
win=build/package/windows-files
rm -rf "$win"
mkdir -p "$win"
cp build/package/windows/velmora.exe build/package/windows/tools/velmora-check/velmora-check.exe "$win/"
if [ -n "$pkcs12" ]; then
    bash scripts/sign-windows.sh "$win/velmora.exe" "$win/velmora-check.exe"
    sign=--sign
else
    sign=
fi
bash scripts/make-installer.sh $sign "$win" "$urls" "$version" "$out/velmora-$version-setup.exe"

echo "== velmora and velmora-check (Qt 6, libcurl), with Debian's hardening flags"
# Without -g: the package ships stripped programs.
flags() { DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get "$1" | sed 's/\(^\| \)-g\( \|$\)/\1/'; }
cmake -S . -B build/package/linux -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELMORA_BUILD_TESTS=OFF \
    -DVELMORA_FEED_BASE_URL="$base_url" -DCMAKE_CXX_FLAGS="$(flags CPPFLAGS) $(flags CXXFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(flags LDFLAGS)" >/dev/null
cmake --build build/package/linux -j2 --target velmora velmora-fetch velmora-check
bash scripts/make-deb.sh build/package/linux "$urls" "$version" "$out" "$maintainer"

(cd "$out" && sha256sum -- *.exe *.deb >SHA256SUMS)
if [ -n "$apt_repo" ]; then
    echo "== the apt repository for $apt_repo"
    bash scripts/make-apt-repo.sh "$out/apt" "$apt_repo" "$gpg_key" "$out/velmora_${version}_amd64.deb"
fi
echo "== $out:"
ls -l "$out"
