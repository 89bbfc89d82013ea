#!/usr/bin/env bash
# Builds the packages of the current commit twice, from two fresh clones in
# folders of different names, and compares what comes out byte for byte:
# velmora.exe, velmora, velmora-fetch, the Debian package and the installer.
# Exits non-zero when a program or the Debian package differs. Takes two
# full runs of scripts/package.sh (a few minutes each). Arguments go on to
# scripts/package.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
commit=$(git rev-parse HEAD)
[ -z "$(git status --porcelain --untracked-files=no)" ] ||
    echo "note: uncommitted changes are not part of the check; it builds $commit" >&2

tmp=$(mktemp -d /tmp/velmora-repro.XXXXXX)
trap 'rm -rf "$tmp"' EXIT
sides=("$tmp/one/velmora" "$tmp/a-second-folder/elsewhere/velmora")
for side in "${sides[@]}"; do
    git clone -q --no-checkout "$root" "$side"
    git -C "$side" checkout -q "$commit"
    echo "== building in $side"
    (cd "$side" && bash scripts/package.sh "$@" >"$tmp/$(basename "$(dirname "$side")").log" 2>&1) ||
        { cat "$tmp/$(basename "$(dirname "$side")").log" >&2; exit 1; }
done

a=${sides[0]} b=${sides[1]} status=0
compare() {
    local what=$1 must=$2
    if cmp -s "$a/$what" "$b/$what"; then
        echo "identical: $what ($(sha256sum <"$a/$what" | cut -c1-16))"
    else
        echo "DIFFERENT: $what ($(cmp -l "$a/$what" "$b/$what" 2>/dev/null | wc -l) bytes differ)"
        [ "$must" = must ] && status=1
    fi
}
version=$(cat "$a/build/package/windows/version.txt")
compare build/package/windows/velmora.exe must
compare build/package/linux/velmora must
compare build/package/linux/velmora-fetch must
compare "build/packages/velmora_${version}_amd64.deb" must
compare "build/packages/velmora-$version-setup.exe" may
exit $status
