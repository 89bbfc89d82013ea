#!/usr/bin/env bash
# Installs the Debian packages a build needs, only those that are missing.
# Usage: scripts/deps.sh [unit|sanitize|windows|linux|desktop|e2e-linux|gnome|compositors|package|all]   (default: unit)
set -euo pipefail

unit=(cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev libcurl4-openssl-dev zlib1g-dev python3 curl iproute2)
sanitize=(clang libclang-rt-14-dev)
# Qt's own texts in the desktop's language; the widgets tests compile the
# locales they run under (locales); the tray icon watches the X display for
# a tray and the active window's state is read through Qt's X connection
# (libxcb1-dev). Wayland's client library, scanner and protocols and
# Qt's platform interface make the pop-up a layer surface on Wayland
# compositors.
linux=(qt6-base-dev libxcb1-dev fonts-noto-cjk qt6-translations-l10n locales libwayland-dev wayland-protocols
    qt6-base-private-dev)
# A desktop of the tests' own for both programs' end-to-end runs and the
# demos: a display with an XEmbed tray, input, screenshots, window queries,
# Chinese glyphs, and the locales the cases run under.
desktop=(xvfb xdotool trayer imagemagick x11-utils fonts-wqy-zenhei fonts-noto-cjk locales)
# velmora.exe and its end-to-end tests under Wine.
windows=(g++-mingw-w64-x86-64 libz-mingw-w64-dev wine64 "${desktop[@]}")
# The Linux program's end-to-end tests: xclip reads message boxes' texts; a
# session bus, the accessibility bus and registry, and Python's AT-SPI
# binding for the screen reader stand-in; D-Bus for the panel stand-in;
# GLib's Gio (with python3-gi) for the screen saver stand-in.
e2e_linux=("${linux[@]}" "${desktop[@]}" xclip dbus-daemon at-spi2-core python3-gi gir1.2-atspi-2.0 python3-dbus gir1.2-glib-2.0)
# GNOME Shell, headless, with the AppIndicator extension for the tray icon;
# D-Bus from Python drives it.
gnome=(gnome-shell gnome-shell-extension-appindicator python3-dbus dbus-daemon imagemagick xdotool x11-utils)
# The pop-up on Wayland desktops: sway (with grim for pictures), KWin, Mutter
# and GNOME Shell, each headless with Xwayland; xhost lets the tests' root
# programs into a compositor's Xwayland; xmessage (x11-utils) holds the
# focus; a notification server stand-in on D-Bus in Python.
compositors=("${linux[@]}" sway grim xwayland kwin-wayland mutter gnome-shell qt6-wayland x11-xserver-utils x11-utils
    xdotool imagemagick dbus-daemon python3-dbus python3-gi locales)
# The site's packages: both programs, the installer and the Debian package;
# Authenticode signing, and the signed apt repository (openssl makes the
# tests' throwaway certificates).
package=(g++-mingw-w64-x86-64 libz-mingw-w64-dev qt6-base-dev libxcb1-dev libwayland-dev wayland-protocols qt6-base-private-dev nsis
    dpkg-dev lintian osslsigncode apt-utils gnupg openssl)

want=("${unit[@]}")
case "${1:-unit}" in
    unit) ;;
    sanitize) want+=("${sanitize[@]}") ;;
    windows | e2e) want+=("${windows[@]}") ;;
    linux) want+=("${linux[@]}") ;;
    desktop) want+=("${desktop[@]}") ;;
    e2e-linux) want+=("${e2e_linux[@]}") ;;
    gnome) want+=("${linux[@]}" "${gnome[@]}") ;;
    compositors) want+=("${compositors[@]}") ;;
    package) want+=("${package[@]}") ;;
    all) want+=("${sanitize[@]}" "${windows[@]}" "${e2e_linux[@]}" "${gnome[@]}" "${compositors[@]}" "${package[@]}") ;;
    *) echo "usage: $0 [unit|sanitize|windows|linux|desktop|e2e-linux|gnome|compositors|package|all]" >&2; exit 2 ;;
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
