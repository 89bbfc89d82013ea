#!/usr/bin/env bash
# Assembles the Debian package from a release build of the Linux program:
#   /usr/lib/velmora/velmora, velmora-fetch, velmora-check and urls.txt (a
#   link to the conffile /etc/velmora/urls.txt, which both programs read
#   beside themselves), /usr/bin/velmora and velmora-check with their manual
#   pages, the menu entry, the icons and an XDG autostart entry.
# Dependencies come from dpkg-shlibdeps; times from SOURCE_DATE_EPOCH.
# Usage: scripts/make-deb.sh BUILD_DIR URLS VERSION OUTDIR [MAINTAINER]
set -euo pipefail
[ $# -ge 4 ] || { echo "usage: $0 BUILD_DIR URLS VERSION OUTDIR [MAINTAINER]" >&2; exit 2; }
root=$(cd "$(dirname "$0")/.." && pwd)
build=$1 urls=$2 version=$3 out=$4 maintainer=${5:-Velmora <velmora@example.com>}
: "${SOURCE_DATE_EPOCH:?set SOURCE_DATE_EPOCH (scripts/package.sh takes it from the commit)}"
umask 022
export LC_ALL=C.UTF-8 TZ=UTC

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
pkg=$stage/velmora
doc=$pkg/usr/share/doc/velmora
install -d "$pkg/DEBIAN" "$pkg/usr/bin" "$pkg/usr/lib/velmora" "$pkg/etc/velmora" "$pkg/etc/xdg/autostart" \
    "$pkg/usr/share/applications" "$pkg/usr/share/man/man1" "$doc"

for program in velmora velmora-fetch tools/velmora-check/velmora-check; do
    install -m 755 "$build/$program" "$pkg/usr/lib/velmora/"
    program=$(basename "$program")
    strip --remove-section=.comment --remove-section=.note "$pkg/usr/lib/velmora/$program"
done
install -m 644 "$urls" "$pkg/etc/velmora/urls.txt"
# Across top-level folders a link is absolute, within one relative.
ln -s /etc/velmora/urls.txt "$pkg/usr/lib/velmora/urls.txt"
ln -s ../lib/velmora/velmora "$pkg/usr/bin/velmora"
ln -s ../lib/velmora/velmora-check "$pkg/usr/bin/velmora-check"

install -m 644 "$root/packaging/velmora.desktop" "$pkg/usr/share/applications/velmora.desktop"
install -m 644 "$root/packaging/velmora.desktop" "$pkg/etc/xdg/autostart/velmora.desktop"
for size in 16 24 32; do
    install -D -m 644 "$root/packaging/icons/velmora-$size.png" \
        "$pkg/usr/share/icons/hicolor/${size}x$size/apps/velmora.png"
done
for page in velmora velmora-check; do
    gzip -9n <"$root/packaging/debian/$page.1" >"$pkg/usr/share/man/man1/$page.1.gz"
done
install -m 644 "$root/packaging/debian/copyright" "$doc/copyright"
{
    echo "velmora ($version) unstable; urgency=medium"
    echo
    echo "  * Velmora $version."
    echo
    echo " -- $maintainer  $(date -u -R -d "@$SOURCE_DATE_EPOCH")"
} | gzip -9n >"$doc/changelog.gz"

# dpkg-shlibdeps reads the package's name from a debian/control beside it.
mkdir -p "$stage/debian"
printf 'Source: velmora\n\nPackage: velmora\nArchitecture: amd64\n' >"$stage/debian/control"
depends=$(cd "$stage" && dpkg-shlibdeps -O -e velmora/usr/lib/velmora/velmora -e velmora/usr/lib/velmora/velmora-fetch \
    -e velmora/usr/lib/velmora/velmora-check 2>/dev/null | sed -n 's/^shlibs:Depends=//p')
[ -n "$depends" ] || { echo "$0: dpkg-shlibdeps found no dependencies" >&2; exit 1; }

installed_size=$(du -s -k --apparent-size --exclude=DEBIAN "$pkg" | cut -f1)
# Filled in as plain text (quoted replacements: no & or \ has a meaning); a
# value must stay on its line, or it would add fields of its own.
control=$(<"$root/packaging/debian/control.in")
for field in "VERSION=$version" "MAINTAINER=$maintainer" "DEPENDS=$depends" "INSTALLED_SIZE=$installed_size"; do
    value=${field#*=}
    [[ $value != *[[:cntrl:]]* ]] || { echo "$0: ${field%%=*} is not one line: $value" >&2; exit 2; }
    control=${control//"@${field%%=*}@"/"$value"}
done
printf '%s\n' "$control" >"$pkg/DEBIAN/control"
printf '/etc/velmora/urls.txt\n/etc/xdg/autostart/velmora.desktop\n' >"$pkg/DEBIAN/conffiles"
(cd "$pkg" && find . -type f ! -path './DEBIAN/*' -printf '%P\n' | sort | xargs md5sum) >"$pkg/DEBIAN/md5sums"
chmod 644 "$pkg/DEBIAN/"*

mkdir -p "$out"
dpkg-deb --root-owner-group -Zxz --build "$pkg" "$out/velmora_${version}_amd64.deb" >/dev/null
