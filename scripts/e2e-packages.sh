#!/usr/bin/env bash
# Makes the packages with scripts/package.sh, signed with a throwaway CA's
# code-signing certificate and with an apt repository signed by a throwaway
# OpenPGP key, and puts them through what a user does: the Windows installer
# under Wine in a fresh prefix (signatures, silent install, upgrade over the
# running copy by an installer one version up, silent uninstall); the Debian
# package installed on this machine with apt-get (run, upgraded, removed,
# purged) and checked by lintian; the same package installed and upgraded
# through the repository, and a repository signed by another key refused;
# and the values scripts/package.sh must refuse. Needs root or sudo for
# apt-get, and port 8741 on 127.0.0.1 free.
# Usage: scripts/e2e-packages.sh [windows] [debian] [apt] [inputs]   (default: all)
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

# Throwaway keys: a CA with a code-signing certificate under it, the site's
# OpenPGP key and another one.
keys=$work/keys sign_password="test only & not secret"
rm -rf "$keys"
mkdir -m 700 "$keys"
(
    cd "$keys"
    openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 30 -subj "/CN=Velmora Test CA" \
        -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign 2>/dev/null
    openssl req -newkey rsa:2048 -nodes -keyout signer.key -out signer.csr -subj "/CN=Velmora Test Signer" 2>/dev/null
    printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' >signer.ext
    openssl x509 -req -in signer.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 30 -extfile signer.ext \
        -out signer.pem 2>/dev/null
    openssl pkcs12 -export -inkey signer.key -in signer.pem -certfile ca.pem -passout "pass:$sign_password" \
        -out signer.p12
    for who in site other; do
        export GNUPGHOME=$keys/gnupg-$who
        mkdir -m 700 "$GNUPGHOME"
        gpg --batch --quiet --passphrase '' --quick-gen-key "Velmora test $who <$who@example.com>" ed25519 sign never
        gpg --batch --armor --export-secret-keys >"$who.asc"
        gpgconf --kill all
    done
)

# As a site runs it: from a folder of its own, with a relative path that the
# repository also has, and a maintainer whose name holds & and |.
site_urls=$work/site/demo/urls.txt
printf 'feed.xml,the site'"'"'s own list\n' >"$site_urls"
maintainer="Zoë Ops & Feeds | Team <ops@example.com>"
(cd "$work/site" && VELMORA_SIGN_PASSWORD=$sign_password bash "$root/scripts/package.sh" --urls demo/urls.txt \
    --maintainer "$maintainer" --sign-pkcs12 "$keys/signer.p12" \
    --apt-repo http://127.0.0.1:8741/apt/ --gpg-key "$keys/site.asc")

version=$(cat build/package/windows/version.txt)
next=${version%.*}.$((${version##*.} + 1))

# One version up: the same programs, so the upgrade is what is tested.
bash scripts/make-installer.sh build/package/windows-files "$site_urls" "$next" \
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
VELMORA_PKG_EXE=$root/build/package/windows-files/velmora.exe VELMORA_PKG_URLS=$site_urls \
VELMORA_PKG_MAINTAINER=$maintainer VELMORA_PKG_CA=$keys/ca.pem VELMORA_PKG_P12=$keys/signer.p12 \
VELMORA_PKG_SIGN_PASSWORD=$sign_password VELMORA_PKG_BUILT_EXE=$root/build/package/windows/velmora.exe \
VELMORA_PKG_APT=$root/build/packages/apt VELMORA_PKG_SITE_KEY=$keys/site.asc VELMORA_PKG_OTHER_KEY=$keys/other.asc \
VELMORA_PKG_SETUP=$root/build/packages/velmora-$version-setup.exe \
VELMORA_PKG_NEXT_SETUP=$work/velmora-$next-setup.exe \
VELMORA_PKG_DEB=$root/build/packages/velmora_${version}_amd64.deb \
VELMORA_PKG_NEXT_DEB=$work/velmora_${next}_amd64.deb \
    python3 tests/e2e/package_cases.py "$@"
