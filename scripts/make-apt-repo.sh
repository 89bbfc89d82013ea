#!/usr/bin/env bash
# Writes the apt repository a site publishes at URL, signed with its key:
#   OUTDIR/pool/main/v/velmora/   the packages
#   OUTDIR/dists/stable/          Packages, Release, InRelease and Release.gpg
#   OUTDIR/velmora.sources        what a user drops into /etc/apt/sources.list.d/
#                                 once (deb822, Signed-By: the site's public key)
# KEYFILE is the site's OpenPGP secret key, armored; it goes into a keyring
# made for this run and removed after it. Publishing a new version is
# running this again with the new package and replacing the folder.
# Usage: scripts/make-apt-repo.sh OUTDIR URL KEYFILE DEB...
set -euo pipefail
[ $# -ge 4 ] || { echo "usage: $0 OUTDIR URL KEYFILE DEB..." >&2; exit 2; }
out=$1 url=$2 key=$(realpath "$3")
shift 3
export LC_ALL=C.UTF-8 TZ=UTC
umask 022

GNUPGHOME=$(mktemp -d)
export GNUPGHOME
trap 'gpgconf --kill all 2>/dev/null || true; rm -rf "$GNUPGHOME"' EXIT
gpg --batch --quiet --import "$key" 2>/dev/null
signer=$(gpg --batch --with-colons --list-secret-keys | awk -F: '$1 == "fpr" { print $10; exit }')
[ -n "$signer" ] || { echo "$0: $key holds no secret key" >&2; exit 2; }

rm -rf "$out"
mkdir -p "$out/pool/main/v/velmora" "$out/dists/stable/main/binary-amd64"
install -m 644 "$@" "$out/pool/main/v/velmora/"
cd "$out"
apt-ftparchive packages pool >dists/stable/main/binary-amd64/Packages
gzip -9nk dists/stable/main/binary-amd64/Packages
release=APT::FTPArchive::Release
apt-ftparchive -o "$release::Origin=Velmora" -o "$release::Label=Velmora" -o "$release::Suite=stable" \
    -o "$release::Codename=stable" -o "$release::Architectures=amd64" -o "$release::Components=main" \
    release dists/stable >Release
mv Release dists/stable/Release
sign() { gpg --batch --quiet --yes --local-user "$signer" --digest-algo SHA512 "$@"; }
sign --clearsign -o dists/stable/InRelease dists/stable/Release
sign --armor --detach-sign -o dists/stable/Release.gpg dists/stable/Release

# The key goes inside the source: one file to hand out. Its empty lines
# become " ." as deb822 continuation lines must.
{
    printf 'Types: deb\nURIs: %s\nSuites: stable\nComponents: main\nArchitectures: amd64\nSigned-By:\n' "$url"
    gpg --batch --armor --export "$signer" | sed 's/^$/./; s/^/ /'
} >velmora.sources
