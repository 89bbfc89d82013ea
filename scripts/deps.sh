#!/usr/bin/env bash
# Installs the Debian packages a build needs, only those that are missing.
# Usage: scripts/deps.sh [unit|sanitize|windows|linux|desktop|e2e-linux|package|all]   (default: unit)
set -euo pipefail

unit=(cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev libcurl4-openssl-dev zlib1g-dev python3 curl iproute2)
sanitize=(clang libclang-rt-14-dev)
# Qt's own texts in the desktop's language; the widgets tests compile the
# locales they run under (locales).
linux=(qt6-base-dev fonts-noto-cjk qt6-translations-l10n locales)
# A desktop of the tests' own for both programs' end-to-end runs and the
# demos: a display with an XEmbed tray, input, screenshots, window queries,
# Chinese glyphs, and the locales the cases run under.
desktop=(xvfb xdotool trayer imagemagick x11-utils fonts-wqy-zenhei fonts-noto-cjk locales)
# velmora.exe and its end-to-end tests under Wine.
windows=(g++-mingw-w64-x86-64 libz-mingw-w64-dev wine64 "${desktop[@]}")
# The Linux program's end-to-end tests: xclip reads message boxes' texts; a
# session bus, the accessibility bus and registry, and Python's AT-SPI
# binding for the screen reader stand-in.
e2e_linux=("${linux[@]}" "${desktop[@]}" xclip dbus-daemon at-spi2-core python3-gi gir1.2-atspi-2.0)
# The site's packages: both programs, the installer and the Debian package.
package=(g++-mingw-w64-x86-64 libz-mingw-w64-dev qt6-base-dev nsis dpkg-dev lintian)

want=("${unit[@]}")
case "${1:-unit}" in
    unit) ;;
    sanitize) want+=("${sanitize[@]}") ;;
    windows | e2e) want+=("${windows[@]}") ;;
    linux) want+=("${linux[@]}") ;;
    desktop) want+=("${desktop[@]}") ;;
    e2e-linux) want+=("${e2e_linux[@]}") ;;
    package) want+=("${package[@]}") ;;
    all) want+=("${sanitize[@]}" "${windows[@]}" "${e2e_linux[@]}" "${package[@]}") ;;
    *) echo "usage: $0 [unit|sanitize|windows|linux|desktop|e2e-linux|package|all]" >&2; exit 2 ;;
esac

missing=()
for pkg in "${want[@]}"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
done
if ((${#missing[@]})); then
    # sudo starts the command with a clean environment, so the setting goes
    # through env; root without sudo (a container) runs it directly.
    as_root=(env DEBIAN_FRONTEND=noninteractive)
    [ "$(id -u)" -eq 0 ] || as_root=(sudo "${as_root[@]}")
    echo "Installing: ${missing[*]}"
    "${as_root[@]}" apt-get update -qq
    "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
