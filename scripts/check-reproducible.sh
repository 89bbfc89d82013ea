#!/usr/bin/env bash
# Builds the current commit twice, from two fresh clones in folders of
# different names, and compares what comes out byte for byte. By default it
# builds the packages (scripts/package.sh; arguments go on to it) and
# compares velmora.exe (as built, and as it goes into the installer, signed
# when asked), velmora-check.exe, velmora, velmora-fetch, the Debian package
# and the installer. With --release it makes the plain `cmake --preset release`
# build of the Linux programs instead and compares velmora, velmora-fetch
# and velmora-check. Exits non-zero when a program or the Debian package
# differs. Takes two full builds (a few minutes each).
# Usage: scripts/check-reproducible.sh [--release | PACKAGE_ARGS...]
set -euo pipefail
mode=packages
[ "${1:-}" != --release ] || { mode=release; shift; }
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
    log=$tmp/$(basename "$(dirname "$side")").log
    if [ $mode = release ]; then
        # Nothing cached from elsewhere: each side compiles for itself.
        (cd "$side" && export CCACHE_DISABLE=1 && cmake --preset release >"$log" 2>&1 &&
            cmake --build --preset release -j2 --target velmora velmora-fetch velmora-check >>"$log" 2>&1) ||
            { cat "$log" >&2; exit 1; }
    else
        (cd "$side" && bash scripts/package.sh "$@" >"$log" 2>&1) || { cat "$log" >&2; exit 1; }
    fi
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
if [ $mode = release ]; then
    for program in velmora velmora-fetch tools/velmora-check/velmora-check; do
        compare "build/release/$program" must
    done
    exit $status
fi
version=$(cat "$a/build/package/windows/version.txt")
compare build/package/windows/velmora.exe must
compare build/package/windows-files/velmora.exe must
compare build/package/windows-files/velmora-check.exe must
compare build/package/linux/velmora must
compare build/package/linux/velmora-fetch must
compare "build/packages/velmora_${version}_amd64.deb" must
compare "build/packages/velmora-$version-setup.exe" may
exit $status
