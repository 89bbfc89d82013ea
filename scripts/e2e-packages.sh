#!/usr/bin/env bash
# Makes the packages with scripts/package.sh and puts them through what a
# user does: the Windows installer under Wine in a fresh prefix (silent
# install, upgrade over the running copy by an installer one version up,
# silent uninstall), and the Debian package installed on this machine with
# apt-get (run, upgraded, removed, purged) and checked by lintian; and the
# values scripts/package.sh must refuse. Needs root or sudo for apt-get, and
# port 8741 on 127.0.0.1 free.
# Usage: scripts/e2e-packages.sh [windows] [debian] [inputs]   (default: all)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

bash scripts/deps.sh windows
bash scripts/deps.sh e2e-linux

work=$root/build/e2e-packages
artifacts=$root/build/e2e-artifacts/packages
# Kept between runs: the compiled locales.
rm -rf "$work/deb" "$work/site" "$work"/*.exe "$work"/*.deb
mkdir -p "$work/site/demo" "$artifacts"
rm -f "$artifacts"/*.png

# As a site runs it: from a folder of its own, with a relative path that the
# repository also has, and a maintainer whose name holds & and |.
site_urls=$work/site/demo/urls.txt
printf 'feed.xml,the site'"'"'s own list\n' >"$site_urls"
maintainer="Zoë Ops & Feeds | Team <ops@example.com>"
(cd "$work/site" && bash "$root/scripts/package.sh" --urls demo/urls.txt --maintainer "$maintainer")

version=$(cat build/package/windows/version.txt)
next=${version%.*}.$((${version##*.} + 1))

# One version up: the same programs, so the upgrade is what is tested.
bash scripts/make-installer.sh build/package/windows/velmora.exe "$site_urls" "$next" \
    "$work/velmora-$next-setup.exe"
dpkg-deb -R "build/packages/velmora_${version}_amd64.deb" "$work/deb"
sed -i "s/^Version: .*/Version: $next/" "$work/deb/DEBIAN/control"
dpkg-deb --root-owner-group -Zxz --build "$work/deb" "$work/velmora_${next}_amd64.deb" >/dev/null

source scripts/lib.sh
export PYTHONDONTWRITEBYTECODE=1
unset DBUS_SESSION_BUS_ADDRESS
# The template prefix the Windows end-to-end run makes, or a new one.
template=$root/build/e2e-windows/template
on_exit 'WINEPREFIX=$template "$VELMORA_WINESERVER" -k 2>/dev/null'
bash tests/e2e/wine_prefix.sh "$template"
start_e2e_desktop "$work" "$artifacts"

VELMORA_E2E_TEMPLATE=$template \
VELMORA_PKG_VERSION=$version VELMORA_PKG_NEXT=$next \
VELMORA_PKG_EXE=$root/build/package/windows/velmora.exe VELMORA_PKG_URLS=$site_urls \
VELMORA_PKG_MAINTAINER=$maintainer \
VELMORA_PKG_SETUP=$root/build/packages/velmora-$version-setup.exe \
VELMORA_PKG_NEXT_SETUP=$work/velmora-$next-setup.exe \
VELMORA_PKG_DEB=$root/build/packages/velmora_${version}_amd64.deb \
VELMORA_PKG_NEXT_DEB=$work/velmora_${next}_amd64.deb \
    python3 tests/e2e/package_cases.py "$@"
